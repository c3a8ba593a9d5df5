// A machine with the program's adapter plugged in, and the means to run the program:
// a command line through _tmain, or the service process, whose dispatcher runs on a
// thread of the test as the process's main thread would.
#pragma once

#include <chrono>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "common/paths.h"
#include "common/text.h"
#include "main/program.h"
#include "platform/sim/device_manager.h"
#include "platform/sim/service_dispatcher.h"
#include "platform/sim/service_manager.h"
#include "service/service.h"
#include "sim_fixture.h"

namespace ze::testing {

// Polls until the condition holds; false when it still does not after the timeout.
inline bool WaitUntil(const std::function<bool()>& condition,
                      std::chrono::milliseconds timeout = std::chrono::seconds(5)) {
    auto deadline = std::chrono::steady_clock::now() + timeout;
    while (!condition()) {
        if (std::chrono::steady_clock::now() >= deadline)
            return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return true;
}

class ServiceTest : public SimTest {
  protected:
    static constexpr char16_t kServiceKey[] = u"SYSTEM\\CurrentControlSet\\Services\\ZeRegionSvc";
    static constexpr char16_t kAdapter[] =
        u"PCI\\VEN_14E4&DEV_43A0&SUBSYS_061114E4&REV_03\\4&2A3B&0&00E1";

    ServiceTest() {
        std::u16string name = u"ZeRegionSvc";
        std::fill(std::begin(g_szServiceName), std::end(g_szServiceName), u'\0');
        std::copy(name.begin(), name.end(), g_szServiceName);
        sim::AddSetupClass(Reg(), sim::kNetClassGuid, u"Net");
        sim::AddDevice(Reg(), kAdapter, {u"PCI\\VEN_14E4&DEV_43A0&SUBSYS_061114E4&REV_03"},
                       u"{4d36e972-e325-11ce-bfc1-08002be10318}\\0007");
        Sim().Settings().presentDevices.insert(kAdapter);
        Sim().Services().SetRequestTimeout(std::chrono::seconds(5));
    }

    sim::ServiceManager& Scm() { return Sim().Services(); }
    sim::ServiceDispatcher& Dispatcher() { return Sim().Dispatcher(); }

    void WriteSettings(std::u16string_view text) { WriteTextFile(kIniPath, text); }
    std::string SettingsBytes() const { return ReadBytes(kIniPath); }

    int Run(std::vector<std::u16string> arguments) { return RunMain(std::move(arguments)); }

    // The log messages that begin with one of the given texts, in order.
    std::vector<std::u16string> LogLinesStartingWith(
        std::initializer_list<std::u16string_view> beginnings) const {
        std::vector<std::u16string> lines;
        for (const auto& message : LogMessages()) {
            for (auto beginning : beginnings) {
                if (message.rfind(beginning, 0) == 0) {
                    lines.push_back(message);
                    break;
                }
            }
        }
        return lines;
    }

    std::optional<DWORD> StartValue() {
        auto value = Value(kServiceKey, u"start");
        if (!value || value->type != REG_DWORD)
            return std::nullopt;
        return static_cast<DWORD>(value->data[0] | (value->data[1] << 8));
    }

    // One run of the service process: the manager starts the service and the
    // process's main thread enters the dispatcher (with no argument) on a thread.
    class ServiceProcess {
      public:
        explicit ServiceProcess(ServiceTest& test) : test_(test) {
            returnsBefore_ = test.Dispatcher().ServiceMainReturns();
            EXPECT_EQ(ZeStartService(), 0);
            thread_ = std::thread([this] { exitCode_ = test_.Run({}); });
        }
        ~ServiceProcess() {
            if (thread_.joinable())
                thread_.join();
        }
        // Waits until ServiceMain has done its work and returned.
        bool WaitIdle() {
            return WaitUntil([&] { return test_.Dispatcher().ServiceMainReturns() > returnsBefore_; });
        }
        // Waits for the process to end and returns its exit code.
        int Join() {
            thread_.join();
            return exitCode_;
        }

      private:
        ServiceTest& test_;
        std::size_t returnsBefore_ = 0;
        std::thread thread_;
        int exitCode_ = 12345;
    };
};

}  // namespace ze::testing

namespace ze {

inline bool operator==(const SERVICE_STATUS& a, const SERVICE_STATUS& b) {
    return a.dwServiceType == b.dwServiceType && a.dwCurrentState == b.dwCurrentState &&
           a.dwControlsAccepted == b.dwControlsAccepted && a.dwWin32ExitCode == b.dwWin32ExitCode &&
           a.dwServiceSpecificExitCode == b.dwServiceSpecificExitCode &&
           a.dwCheckPoint == b.dwCheckPoint && a.dwWaitHint == b.dwWaitHint;
}

inline void PrintTo(const SERVICE_STATUS& s, std::ostream* out) {
    *out << "{type " << s.dwServiceType << ", state " << s.dwCurrentState << ", accepted "
         << s.dwControlsAccepted << ", exit " << s.dwWin32ExitCode << "/"
         << s.dwServiceSpecificExitCode << ", check point " << s.dwCheckPoint << ", wait hint "
         << s.dwWaitHint << "}";
}

}  // namespace ze

namespace ze::testing {

// The records the program reports: own process, all codes 0.
inline SERVICE_STATUS Status(DWORD state, DWORD accepted, DWORD checkPoint = 0,
                             DWORD waitHint = 0) {
    return SERVICE_STATUS{SERVICE_WIN32_OWN_PROCESS, state, accepted, 0, 0, checkPoint, waitHint};
}

}  // namespace ze::testing
