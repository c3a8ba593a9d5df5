// Fault injection: any call of the port can be made to fail, by call and occurrence,
// with the error Windows would give, so that tests reach every failure path.
#pragma once

#include <map>
#include <mutex>
#include <optional>
#include <vector>

#include "platform/platform.h"

namespace ze::sim {

class Faults {
  public:
    // The occurrence-th call (1-based; 0 = every call) of `call` fails with `error`.
    void Inject(Call call, int occurrence, LONG error);
    void Clear();
    // A fault for the calling thread's next call of `call` only, whatever the counts: a
    // layer over the port arms it just before it forwards that call, so calls other
    // threads make meanwhile are not affected. Arming again replaces it.
    void ArmOnThisThread(Call call, LONG error);
    // Counts this call of `call` and returns the error it is to fail with, if any.
    std::optional<LONG> Due(Call call);

  private:
    struct Fault {
        int occurrence;
        LONG error;
    };
    std::mutex mutex_;
    std::map<Call, std::vector<Fault>> faults_;
    std::map<Call, int> callCounts_;
};

}  // namespace ze::sim
