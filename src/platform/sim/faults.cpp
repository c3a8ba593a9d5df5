#include "platform/sim/faults.h"

namespace ze::sim {
namespace {

// The fault armed for this thread's next call of one name (ArmOnThisThread).
struct ThreadFault {
    Call call;
    LONG error = ERROR_SUCCESS;
};
thread_local std::optional<ThreadFault> t_armedFault;

}  // namespace

void Faults::Inject(Call call, int occurrence, LONG error) {
    std::lock_guard<std::mutex> lock(mutex_);
    faults_[call].push_back(Fault{occurrence, error});
}

void Faults::Clear() {
    std::lock_guard<std::mutex> lock(mutex_);
    faults_.clear();
    callCounts_.clear();
}

void Faults::ArmOnThisThread(Call call, LONG error) {
    t_armedFault = ThreadFault{call, error};
}

std::optional<LONG> Faults::Due(Call call) {
    std::lock_guard<std::mutex> lock(mutex_);
    int count = ++callCounts_[call];
    if (t_armedFault && t_armedFault->call == call) {
        LONG error = t_armedFault->error;
        t_armedFault.reset();
        return error;
    }
    auto it = faults_.find(call);
    if (it == faults_.end())
        return std::nullopt;
    for (const auto& fault : it->second) {
        if (fault.occurrence == 0 || fault.occurrence == count)
            return fault.error;
    }
    return std::nullopt;
}

}  // namespace ze::sim
