// The layer the fault sweep puts between the program and the simulated machine: it
// numbers every call the program makes (call name and occurrence), makes one chosen
// call fail through the machine's own fault injection, lets a hook act before the
// calls of the service's thread, and keeps Sleep on a virtual clock so that retries
// cost no real time.
#pragma once

#include <atomic>
#include <functional>
#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <tuple>
#include <vector>

#include "platform/platform_decorator.h"
#include "platform/sim/sim_platform.h"

namespace ze::sweep {

// One call of the program: which call of the port and which call of it it was (from 1).
struct CallPoint {
    Call call = Call::GetLastError;
    int occurrence = 0;
    bool operator<(const CallPoint& other) const {
        return std::tie(call, occurrence) < std::tie(other.call, other.occurrence);
    }
    bool operator==(const CallPoint& other) const = default;
};

struct CallRecord {
    CallPoint point;
    // Made by a thread other than the process's main thread (the service's thread),
    // after the service reported that it runs: a call of the service's reset.
    bool serviceWork = false;
};

class SweepLayer : public PlatformDecorator {
  public:
    explicit SweepLayer(sim::SimPlatform& machine)
        : PlatformDecorator(machine), machine_(machine) {}

    // The thread that runs the program's entry; every other thread of the program is
    // the service's.
    void SetMainThread(std::thread::id id) { mainThread_ = id; }
    void FailAt(CallPoint point, LONG error) { fault_ = Fault{std::move(point), error}; }
    // Called on the service's thread before its index-th call (from 0) of the reset.
    void BeforeServiceWork(std::size_t index, std::function<void()> hook) {
        hookIndex_ = index;
        hook_ = std::move(hook);
    }

    std::vector<CallRecord> Calls() const;
    DWORD SleptMilliseconds() const { return slept_; }

    void Sleep(DWORD dwMilliseconds) override;
    BOOL SetServiceStatus(SERVICE_STATUS_HANDLE hServiceStatus,
                          SERVICE_STATUS* lpServiceStatus) override;

  protected:
    void OnCall(Call call) override;

  private:
    struct Fault {
        CallPoint point;
        LONG error;
    };

    sim::SimPlatform& machine_;
    std::thread::id mainThread_;
    std::optional<Fault> fault_;
    std::optional<std::size_t> hookIndex_;
    std::function<void()> hook_;

    mutable std::mutex mutex_;
    std::map<Call, int> counts_;
    std::vector<CallRecord> calls_;
    std::size_t serviceWorkCalls_ = 0;
    std::atomic<bool> running_{false};
    std::atomic<DWORD> slept_{0};
};

}  // namespace ze::sweep
