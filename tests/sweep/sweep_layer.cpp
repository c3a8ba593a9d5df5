#include "sweep/sweep_layer.h"

namespace ze::sweep {

std::vector<CallRecord> SweepLayer::Calls() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return calls_;
}

void SweepLayer::OnCall(Call call) {
    bool runHook = false;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        CallRecord record{{call, ++counts_[call]}, false};
        record.serviceWork = running_ && std::this_thread::get_id() != mainThread_;
        if (record.serviceWork)
            runHook = hookIndex_ == serviceWorkCalls_++;
        if (fault_ && fault_->point == record.point)
            machine_.InjectFaultOnThisThread(call, fault_->error);
        calls_.push_back(std::move(record));
    }
    if (runHook)
        hook_();
}

void SweepLayer::Sleep(DWORD dwMilliseconds) {
    OnCall(Call::Sleep);
    slept_ += dwMilliseconds;
}

BOOL SweepLayer::SetServiceStatus(SERVICE_STATUS_HANDLE hServiceStatus,
                                  SERVICE_STATUS* lpServiceStatus) {
    BOOL reported = PlatformDecorator::SetServiceStatus(hServiceStatus, lpServiceStatus);
    if (reported && lpServiceStatus->dwCurrentState == SERVICE_RUNNING)
        running_ = true;
    return reported;
}

}  // namespace ze::sweep
