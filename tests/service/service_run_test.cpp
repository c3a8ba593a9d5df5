#include "common/paths.h"
#include "device/device.h"
#include "platform/handles.h"
#include "service_fixture.h"

namespace ze::testing {
namespace {

using Lines = std::vector<std::u16string>;
using Statuses = std::vector<SERVICE_STATUS>;

constexpr DWORD kAccepted =
    SERVICE_ACCEPT_STOP | SERVICE_ACCEPT_SHUTDOWN | SERVICE_ACCEPT_PRESHUTDOWN;

class ServiceRunTest : public ServiceTest {
  protected:
    ServiceRunTest() {
        WriteSettings(u"[DriverKey]\r\nNetID=0007\r\n");
        EXPECT_EQ(ZeInstallService(), 0);
        ClearLog();
        ClearJournal();
    }

    std::u16string RunTimes() {
        return GetIniString(u"Settings", u"RunTimes", u"(none)", kIniPath);
    }

    // One service start that runs to its end and is then stopped; returns the
    // process's exit code.
    int StartRunAndStop() {
        ServiceProcess process(*this);
        EXPECT_TRUE(process.WaitIdle());
        EXPECT_EQ(ZeStopService(), 0);
        return process.Join();
    }

    // The lines of the service's own routines and of the process around them.
    Lines ServiceLines() const {
        return LogLinesStartingWith(
            {u"[ZeRegionSvc] ServiceMain", u"[ZeRegionSvc] Service_Status_Handle",
             u"[ZeRegionSvc] Update service status", u"[ZeRegionSvc] Net ID of ini",
             u"[ZeRegionSvc] EnableDevice", u"[ZeRegionSvc] Write RunTimes",
             u"[ZeRegionSvc] ZeSetSrvStartupType", u"[ZeRegionSvc] ServiceCtrlHandler",
             u"[ZeRegionSvc] SERVICE_CONTROL_STOP", u"[ZeRegionSvc] <-- _tmain",
             u"[ZeRegionSvc] StartServiceCtrlDispatcher"});
    }

    // The journal's device and service lines, without the registry and files.
    std::vector<std::string> DeviceAndServiceJournal() const {
        std::vector<std::string> lines;
        for (const auto& line : JournalLines()) {
            if (line.find("Device ") != std::string::npos || line.rfind("ServiceStatus", 0) == 0 ||
                line.rfind("StopService", 0) == 0 || line.find("RunTimes") != std::string::npos) {
                lines.push_back(line);
            }
        }
        return lines;
    }
};

TEST_F(ServiceRunTest, AServiceStartResetsTheAdapterOnceAndRunsUntilStopped) {
    ServiceProcess process(*this);
    ASSERT_TRUE(process.WaitIdle());
    EXPECT_EQ(Dispatcher().ReportedStatuses(), (Statuses{Status(SERVICE_RUNNING, kAccepted)}));
    EXPECT_TRUE(Sim().Devices().IsStarted(kAdapter));
    EXPECT_EQ(RunTimes(), u"4");
    EXPECT_EQ(Scm().RuntimeOf(u"ZeRegionSvc").status.dwCurrentState, SERVICE_RUNNING);

    EXPECT_EQ(ZeStopService(), 0);
    EXPECT_EQ(process.Join(), 0);
    EXPECT_EQ(Dispatcher().ReportedStatuses(),
              (Statuses{Status(SERVICE_RUNNING, kAccepted), Status(SERVICE_STOPPED, 0)}));
    EXPECT_EQ(
        ServiceLines(),
        (Lines{u"[ZeRegionSvc] ServiceMain\r\n", u"[ZeRegionSvc] Net ID of ini = 0007\r\n",
               u"[ZeRegionSvc] EnableDevice(0): success!\r\n",
               u"[ZeRegionSvc] EnableDevice(1): success!\r\n",
               u"[ZeRegionSvc] ServiceCtrlHandler: opcode=1\r\n",
               u"[ZeRegionSvc] SERVICE_CONTROL_STOP\r\n", u"[ZeRegionSvc] <-- _tmain()\r\n"}));
    std::string adapter = Utf16ToUtf8(kAdapter);
    EXPECT_EQ(DeviceAndServiceJournal(),
              (std::vector<std::string>{
                  "ServiceStatus ZeRegionSvc SERVICE_RUNNING", "DisableDevice " + adapter,
                  "EnableDevice " + adapter,
                  "WriteProfileString " + Utf16ToUtf8(kIniPath) + " Settings\\RunTimes=4",
                  "StopService ZeRegionSvc", "ServiceStatus ZeRegionSvc SERVICE_STOPPED"}));
    EXPECT_EQ(Scm().OpenHandleCount(), 0u);
}

TEST_F(ServiceRunTest, TheRunBudgetCountsDownOverSuccessiveStartsThenTheStartTypeBecomesManual) {
    struct Start {
        const char16_t* runTimesAfter;
        DWORD startTypeAfter;
    };
    const Start starts[] = {
        {u"4", SERVICE_AUTO_START},
        {u"3", SERVICE_AUTO_START},
        {u"2", SERVICE_AUTO_START},
        {u"1", SERVICE_AUTO_START},
        {u"1", SERVICE_DEMAND_START},
        {u"1", SERVICE_DEMAND_START},  // a later manual start resets once more
    };
    int number = 0;
    for (const Start& start : starts) {
        ++number;
        ClearJournal();
        EXPECT_EQ(StartRunAndStop(), 0) << "start " << number;
        EXPECT_EQ(RunTimes(), start.runTimesAfter) << "start " << number;
        EXPECT_EQ(StartValue(), start.startTypeAfter) << "start " << number;
        // A start with the budget spent says so in the Event Log, after its reset's event.
        bool spends = number >= 5;
        auto events = Sim().Events();
        ASSERT_GE(events.size(), 2u);
        EXPECT_EQ(events.back().eventId, spends ? 0x400003F0u : 0x400003E8u) << "start " << number;
        if (spends) {
            EXPECT_EQ(events.back().strings, std::vector<std::u16string>{kIniPath});
        }
        // Every start restarts the adapter.
        std::vector<std::string> journal = JournalLines();
        EXPECT_EQ(std::count_if(
                      journal.begin(), journal.end(),
                      [](const std::string& line) { return line.rfind("DisableDevice", 0) == 0; }),
                  1)
            << "start " << number;
    }
}

TEST_F(ServiceRunTest, TheRunBudgetIsReadAsASignedNumber) {
    struct Case {
        const char16_t* runTimes;
        const char16_t* after;
        bool manual;
    };
    const Case cases[] = {
        {u"0", u"0", true},
        {u"-3", u"-3", true},
        {u"abc", u"abc", true},
        // Above 1000 the count is written whole.
        {u"1000", u"999", false},
        {u"1001", u"1000", false},
        {u"123456", u"123455", false},
        {u"2147483647", u"2147483646", false},
    };
    for (const Case& c : cases) {
        WriteSettings(u"[DriverKey]\r\nNetID=0007\r\n[Settings]\r\nRunTimes=" +
                      std::u16string(c.runTimes) + u"\r\n");
        ZeSetSrvStartupType(u"ZeRegionSvc", SERVICE_AUTO_START);
        ClearLog();
        EXPECT_EQ(StartRunAndStop(), 0);
        EXPECT_EQ(RunTimes(), c.after) << Utf16ToUtf8(c.runTimes);
        EXPECT_EQ(StartValue(), c.manual ? SERVICE_DEMAND_START : SERVICE_AUTO_START)
            << Utf16ToUtf8(c.runTimes);
        Lines startType = LogLinesStartingWith({u"[ZeRegionSvc] ZeSetSrvStartupType"});
        EXPECT_EQ(startType.size(), c.manual ? 1u : 0u) << Utf16ToUtf8(c.runTimes);
    }
}

TEST_F(ServiceRunTest, AnEmptyNetIdSkipsTheResetAndTheBudget) {
    WriteSettings(u"[DriverKey]\r\nNetID=\r\n[Settings]\r\nRunTimes=3\r\n");
    std::string settings = SettingsBytes();
    ServiceProcess process(*this);
    ASSERT_TRUE(process.WaitIdle());
    EXPECT_EQ(Scm().RuntimeOf(u"ZeRegionSvc").status.dwCurrentState, SERVICE_RUNNING);
    EXPECT_EQ(ZeStopService(), 0);
    EXPECT_EQ(process.Join(), 0);
    EXPECT_EQ(
        ServiceLines(),
        (Lines{u"[ZeRegionSvc] ServiceMain\r\n", u"[ZeRegionSvc] Net ID of ini is empty\r\n",
               u"[ZeRegionSvc] ServiceCtrlHandler: opcode=1\r\n",
               u"[ZeRegionSvc] SERVICE_CONTROL_STOP\r\n", u"[ZeRegionSvc] <-- _tmain()\r\n"}));
    EXPECT_EQ(SettingsBytes(), settings);
    ASSERT_EQ(Sim().Events().size(), 1u);
    EXPECT_EQ(Sim().Events()[0].eventId, 0xC00003ECu);
    EXPECT_EQ(Sim().Events()[0].strings, std::vector<std::u16string>{kIniPath});
    EXPECT_EQ(DeviceAndServiceJournal(),
              (std::vector<std::string>{"ServiceStatus ZeRegionSvc SERVICE_RUNNING",
                                        "StopService ZeRegionSvc",
                                        "ServiceStatus ZeRegionSvc SERVICE_STOPPED"}));
}

TEST_F(ServiceRunTest, EveryControlButStopAndShutdownReportsTheCurrentStateAgain) {
    ServiceProcess process(*this);
    ASSERT_TRUE(process.WaitIdle());
    UniqueServiceHandle manager(OS().OpenSCManagerW(nullptr, nullptr, SC_MANAGER_ALL_ACCESS));
    UniqueServiceHandle service(
        OS().OpenServiceW(manager.get(), u"ZeRegionSvc", SERVICE_ALL_ACCESS));
    struct Case {
        DWORD control;
        bool throughTheManager;  // else delivered straight to the handler
    };
    const Case cases[] = {{SERVICE_CONTROL_INTERROGATE, true},
                          {200, true},
                          {2 /* pause, not accepted */, false},
                          {SERVICE_CONTROL_STOP, true}};
    for (const Case& c : cases) {
        ClearLog();
        std::size_t before = Dispatcher().ReportedStatuses().size();
        if (c.throughTheManager) {
            SERVICE_STATUS status{};
            EXPECT_TRUE(OS().ControlService(service.get(), c.control, &status)) << c.control;
        } else {
            EXPECT_EQ(ServiceCtrlHandler(c.control, 0, nullptr, nullptr), NO_ERROR);
        }
        Statuses reported = Dispatcher().ReportedStatuses();
        ASSERT_EQ(reported.size(), before + 1) << c.control;
        bool stop = c.control == SERVICE_CONTROL_STOP;
        EXPECT_EQ(reported.back(),
                  stop ? Status(SERVICE_STOPPED, 0) : Status(SERVICE_RUNNING, kAccepted))
            << c.control;
        Lines expected{Format(u"[ZeRegionSvc] ServiceCtrlHandler: opcode=%d\r\n", c.control)};
        if (stop) {
            EXPECT_EQ(process.Join(), 0);
            expected.push_back(u"[ZeRegionSvc] SERVICE_CONTROL_STOP\r\n");
            expected.push_back(u"[ZeRegionSvc] <-- _tmain()\r\n");
        }
        EXPECT_EQ(ServiceLines(), expected) << c.control;
    }
}

// A stop, or the system's preshutdown or shutdown, during the reset waits for the
// adapter to be enabled again, while the check point moves on with each step of the
// reset; at preshutdown the hint fits the time Windows waits.
TEST_F(ServiceRunTest, AStopOrShutdownDuringTheResetWaitsForTheAdapterToBeEnabledAgain) {
    struct Moment {
        DWORD stateChange;
        bool done;
        DWORD lastCheckPoint;
        const char* name;
    };
    const Moment moments[] = {{DICS_DISABLE, false, 3, "before the disable"},
                              {DICS_DISABLE, true, 3, "between disable and enable"},
                              {DICS_ENABLE, true, 2, "after the enable"}};
    std::string adapter = Utf16ToUtf8(kAdapter);
    for (DWORD control :
         {SERVICE_CONTROL_STOP, SERVICE_CONTROL_SHUTDOWN, SERVICE_CONTROL_PRESHUTDOWN}) {
        DWORD waitHint = control == SERVICE_CONTROL_PRESHUTDOWN ? 10000 : 30000;
        for (const Moment& moment : moments) {
            std::string what = std::string(moment.name) + ", control " + std::to_string(control);
            WriteSettings(u"[DriverKey]\r\nNetID=0007\r\n");
            ClearJournal();
            std::size_t reportedBefore = Dispatcher().ReportedStatuses().size();
            BOOL sent = 2;
            Sim().Devices().ObserveStateChanges(
                [&](const std::u16string&, DWORD change, bool done) {
                    if (change == moment.stateChange && done == moment.done && sent == 2) {
                        SERVICE_STATUS status{};
                        sent = control == SERVICE_CONTROL_STOP
                                   ? ZeStopService() == 0
                                   : Scm().SendShutdown(u"ZeRegionSvc", control, &status);
                    }
                });
            {
                ServiceProcess process(*this);
                EXPECT_EQ(process.Join(), 0) << what;
            }
            Sim().Devices().ObserveStateChanges(nullptr);
            EXPECT_EQ(sent, TRUE) << what;
            Statuses reported = Dispatcher().ReportedStatuses();
            reported.erase(reported.begin(),
                           reported.begin() + static_cast<std::ptrdiff_t>(reportedBefore));
            Statuses expected{Status(SERVICE_RUNNING, kAccepted)};
            for (DWORD checkPoint = 1; checkPoint <= moment.lastCheckPoint; ++checkPoint)
                expected.push_back(Status(SERVICE_STOP_PENDING, 0, checkPoint, waitHint));
            expected.push_back(Status(SERVICE_STOPPED, 0));
            EXPECT_EQ(reported, expected) << what;
            EXPECT_TRUE(Sim().Devices().IsStarted(kAdapter)) << what;
            std::vector<std::string> journal = DeviceAndServiceJournal();
            ASSERT_FALSE(journal.empty());
            // The whole reset and the countdown come before the stop is carried out.
            EXPECT_EQ(std::count(journal.begin(), journal.end(), "EnableDevice " + adapter), 1);
            EXPECT_EQ(journal.back(), "ServiceStatus ZeRegionSvc SERVICE_STOPPED") << what;
            EXPECT_EQ(LogMessages().back(), u"[ZeRegionSvc] <-- _tmain()\r\n");
        }
    }
    EXPECT_EQ(LogLinesStartingWith({u"[ZeRegionSvc] SERVICE_CONTROL_SHUTDOWN"}),
              Lines(std::size(moments), u"[ZeRegionSvc] SERVICE_CONTROL_SHUTDOWN\r\n"));
    EXPECT_EQ(LogLinesStartingWith({u"[ZeRegionSvc] SERVICE_CONTROL_PRESHUTDOWN"}),
              Lines(std::size(moments), u"[ZeRegionSvc] SERVICE_CONTROL_PRESHUTDOWN\r\n"));
}

// Failed status reports are tried again. A service whose running state never got
// through stops by itself after its work; one whose stop cannot be reported, or whose
// handler cannot be registered, ends its process instead of lingering.
TEST_F(ServiceRunTest, FailedReportsAreRetriedAndTheProcessAlwaysEnds) {
    struct Case {
        const char* what;
        Call call;
        std::vector<int> occurrences;
        int exitCode;
        Statuses reported;
        DWORD endState;
        DWORD endExitCode;
        int failedLines;
    };
    const int unreported = ZE_EXIT_SERVICE_UNREPORTED;
    const Case cases[] = {
        {"running fails once",
         Call::SetServiceStatus,
         {1},
         0,
         {Status(SERVICE_RUNNING, kAccepted), Status(SERVICE_STOPPED, 0)},
         SERVICE_STOPPED,
         0,
         0},
        {"running never reported",
         Call::SetServiceStatus,
         {1, 2, 3},
         0,
         {Status(SERVICE_STOPPED, 0)},
         SERVICE_STOPPED,
         0,
         1},
        {"stopped never reported",
         Call::SetServiceStatus,
         {2, 3, 4},
         unreported,
         {Status(SERVICE_RUNNING, kAccepted)},
         SERVICE_STOPPED,
         1067,
         1},
        {"no handler",
         Call::RegisterServiceCtrlHandlerExW,
         {1},
         unreported,
         {},
         SERVICE_STOPPED,
         1067,
         0},
    };
    for (const Case& c : cases) {
        Sim().ClearFaults();
        for (int occurrence : c.occurrences)
            Sim().InjectFault(c.call, occurrence, ERROR_INVALID_HANDLE);
        ClearLog();
        std::size_t before = Dispatcher().ReportedStatuses().size();
        {
            ServiceProcess process(*this);
            // The manager can send a stop only to a service it saw running.
            if (!c.reported.empty() && c.reported[0].dwCurrentState == SERVICE_RUNNING) {
                ASSERT_TRUE(process.WaitIdle()) << c.what;
                EXPECT_EQ(ZeStopService(), 0) << c.what;
            }
            EXPECT_EQ(process.Join(), c.exitCode) << c.what;
        }
        Statuses reported = Dispatcher().ReportedStatuses();
        reported.erase(reported.begin(), reported.begin() + static_cast<std::ptrdiff_t>(before));
        EXPECT_EQ(reported, c.reported) << c.what;
        SERVICE_STATUS end = Scm().RuntimeOf(u"ZeRegionSvc").status;
        EXPECT_EQ(end.dwCurrentState, c.endState) << c.what;
        EXPECT_EQ(end.dwWin32ExitCode, c.endExitCode) << c.what;
        EXPECT_EQ(LogLinesStartingWith({u"[ZeRegionSvc] Update service status failed"}).size(),
                  static_cast<std::size_t>(c.failedLines))
            << c.what;
        EXPECT_TRUE(Sim().Devices().IsStarted(kAdapter)) << c.what;
        // An end the manager was not told of is the Event Log's last word.
        EXPECT_EQ(Sim().Events().back().eventId == 0xC00003F1u, c.exitCode == unreported) << c.what;
        if (c.exitCode != 0) {
            EXPECT_EQ(LogMessages().back(),
                      u"[ZeRegionSvc] Service process ends without reporting the service "
                      u"stopped\r\n")
                << c.what;
        }
    }
}

// The adapter left disabled is the exit code of "/debug" and the service's
// service-specific exit code.
TEST_F(ServiceRunTest, AnAdapterLeftDisabledIsReportedInTheExitCode) {
    Sim().SetInstantSleep(true);
    // Every enable fails; the disable (the first call of a reset) succeeds.
    auto failEnables = [&] {
        Sim().ClearFaults();
        for (int occurrence = 2; occurrence <= 6; ++occurrence)
            Sim().InjectFault(Call::SetupDiCallClassInstaller, occurrence, ERROR_INVALID_PARAMETER);
    };
    failEnables();
    EXPECT_EQ(Run({u"/debug"}), ZE_ERR_ADAPTER_NOT_ENABLED);
    EXPECT_EQ(Sim().StandardStream(STD_ERROR_HANDLE),
              "ZeRegionSvc: /debug failed: the adapter was disabled for its restart and could not "
              "be enabled again (-108)\r\n");
    EXPECT_EQ(StartValue(), SERVICE_DEMAND_START);
    EnableDevice(1, u"0007");
    failEnables();
    EXPECT_EQ(StartRunAndStop(), 0);
    EXPECT_FALSE(Sim().Devices().IsStarted(kAdapter));
    EXPECT_EQ(Dispatcher().ReportedStatuses().back(),
              (SERVICE_STATUS{SERVICE_WIN32_OWN_PROCESS, SERVICE_STOPPED, 0,
                              static_cast<DWORD>(ERROR_SERVICE_SPECIFIC_ERROR),
                              static_cast<DWORD>(ZE_ERR_ADAPTER_NOT_ENABLED), 0, 0}));
    EXPECT_EQ(Sim().Events().back().eventId, 0xC00003E9u);
    EXPECT_EQ(Sim().Events().back().strings, std::vector<std::u16string>{u"0007"});
}

// A change the device installer says needs Windows restarted: said in the log, the exit
// code of /debug and the stopped service's Win32 exit code; unanswered, it is logged.
TEST_F(ServiceRunTest, ARestartOfWindowsThatTheChangeNeedsIsTheExitCode) {
    Sim().Settings().restartFlags[kAdapter] = DI_NEEDREBOOT;
    EXPECT_EQ(Run({u"/debug"}), ZE_EXIT_RESTART_NEEDED);
    const char16_t* restart = u" Windows must restart for the change to take effect\r\n";
    EXPECT_EQ(LogLinesStartingWith({u"[ZeRegionSvc] EnableDevice", u"[ZeRegionSvc] Windows"}),
              (Lines{u"[ZeRegionSvc] EnableDevice(0): success!\r\n",
                     std::u16string(u"[ZeRegionSvc] EnableDevice(0):") + restart,
                     u"[ZeRegionSvc] EnableDevice(1): success!\r\n",
                     std::u16string(u"[ZeRegionSvc] EnableDevice(1):") + restart,
                     u"[ZeRegionSvc] Windows must restart for the adapter to take its new "
                     u"settings\r\n"}));
    EXPECT_EQ(Sim().Events().back().strings.back(),
              u"restarted, taking effect when Windows restarts");
    EXPECT_EQ(StartRunAndStop(), 0);
    EXPECT_EQ(Dispatcher().ReportedStatuses().back(),
              (SERVICE_STATUS{SERVICE_WIN32_OWN_PROCESS, SERVICE_STOPPED, 0,
                              static_cast<DWORD>(ERROR_SUCCESS_REBOOT_REQUIRED), 0, 0, 0}));
    EXPECT_EQ(RunTimes(), u"4");
    ClearLog();
    Sim().InjectFault(Call::SetupDiGetDeviceInstallParamsW, 0, ERROR_INVALID_PARAMETER);
    EXPECT_EQ(Run({u"/debug"}), 0);
    EXPECT_EQ(LogLinesStartingWith({u"[ZeRegionSvc] SetupDiGetDeviceInstallParams"}).size(), 2u);
}

// Disabled by hand or by policy before the reset: neither disabled nor enabled.
TEST_F(ServiceRunTest, AnAdapterDisabledBeforeTheResetIsLeftDisabled) {
    EnableDevice(0, u"0007");
    ClearJournal();
    ClearLog();
    EXPECT_EQ(Run({u"/debug"}), 0);
    EXPECT_TRUE(DeviceAndServiceJournal().empty());
    EXPECT_EQ(LogLinesStartingWith({u"[ZeRegionSvc] The adapter"}),
              (Lines{u"[ZeRegionSvc] The adapter is disabled and is left disabled\r\n"}));
    EXPECT_EQ(Sim().Events().back().eventId, 0x400003EAu);
    EXPECT_EQ(SettingsBytes(), "[DriverKey]\r\nNetID=0007\r\n");
}

// A restart cut short, as it leaves the machine: /check warns, /preview keeps the
// record, a heal whose enable fails keeps it and restarts nothing; the record of an
// unplugged adapter waits for it while the reset goes on.
TEST_F(ServiceRunTest, APendingRestartRecordIsShownKeptByPreviewAndKeptUntilHealed) {
    const std::string settings = "[DriverKey]\r\nNetID=0007\r\n[Restart]\r\n0007=disabling\r\n";
    WriteSettings(Utf8ToUtf16(settings));
    Sim().SetInstantSleep(true);
    EnableDevice(0, u"0007");
    ClearJournal();
    Run({u"/check"});
    EXPECT_NE(Sim()
                  .StandardStream(STD_OUTPUT_HANDLE)
                  .find("warning: C:\\Program Files\\Zelvaro\\ZeRegionSvc.ini: [Restart] 0007: "
                        "the restart of adapter 0007 did not finish and it may still be "
                        "disabled; the next reset enables it\r\n"),
              std::string::npos);
    Run({u"/preview"});
    Sim().InjectFault(Call::SetupDiCallClassInstaller, 0, ERROR_ACCESS_DENIED);
    EXPECT_EQ(Run({u"/debug"}), ZE_ERR_ADAPTER_NOT_ENABLED);
    EXPECT_TRUE(DeviceAndServiceJournal().empty());
    EXPECT_EQ(SettingsBytes(), settings);
    EXPECT_EQ(Sim().Events().back().eventId, 0xC00003E9u);

    Sim().ClearFaults();
    EnableDevice(1, u"0007");
    const std::string unplugged = "[DriverKey]\r\nNetID=0007\r\n[Restart]\r\n0009=disabling\r\n";
    WriteSettings(Utf8ToUtf16(unplugged));
    ClearJournal();
    EXPECT_EQ(Run({u"/debug"}), 0);
    std::string adapter = Utf16ToUtf8(kAdapter);
    EXPECT_EQ(DeviceAndServiceJournal(),
              (std::vector<std::string>{"DisableDevice " + adapter, "EnableDevice " + adapter}));
    EXPECT_EQ(SettingsBytes(), unplugged);
}

TEST_F(ServiceRunTest, ABudgetThatCannotBeWrittenIsLoggedAndKept) {
    WriteSettings(u"[DriverKey]\r\nNetID=0007\r\n[Settings]\r\nRunTimes=3\r\n");
    Sim().InjectFault(Call::WritePrivateProfileStringW, 0, ERROR_ACCESS_DENIED);
    EXPECT_EQ(StartRunAndStop(), 0);
    EXPECT_EQ(RunTimes(), u"3");
    EXPECT_EQ(LogLinesStartingWith({u"[ZeRegionSvc] Write RunTimes"}),
              (Lines{u"[ZeRegionSvc] Write RunTimes to ini failed\r\n"}));
}

TEST_F(ServiceRunTest, UninstallingARunningServiceStopsItFirstAndRemovesItOnceStopped) {
    ServiceProcess process(*this);
    ASSERT_TRUE(process.WaitIdle());
    EXPECT_EQ(Run({u"/uninstall"}), 0);
    EXPECT_EQ(process.Join(), 0);
    EXPECT_FALSE(Reg().Find(kServiceKey));
    std::vector<std::string> journal = JournalLines();
    auto stopped =
        std::find(journal.begin(), journal.end(), "ServiceStatus ZeRegionSvc SERVICE_STOPPED");
    auto deleted = std::find(journal.begin(), journal.end(), "DeleteService ZeRegionSvc");
    EXPECT_LT(stopped, deleted);
    EXPECT_EQ(journal.back(), "DeleteKey SYSTEM\\CurrentControlSet\\Services\\ZeRegionSvc");
}

TEST_F(ServiceRunTest, AServiceDeletedWhileRunningGoesWhenItStops) {
    ServiceProcess process(*this);
    ASSERT_TRUE(process.WaitIdle());
    EXPECT_EQ(ZeUninstallService(), 0);
    EXPECT_TRUE(Scm().RuntimeOf(u"ZeRegionSvc").markedForDelete);
    EXPECT_TRUE(Reg().Find(kServiceKey));
    // Marked, it can still be stopped but not installed again.
    EXPECT_EQ(ZeInstallService(), ZE_SVC_ERR_CREATE_SVC);
    EXPECT_EQ(ZeStopService(), 0);
    EXPECT_EQ(process.Join(), 0);
    EXPECT_FALSE(Reg().Find(kServiceKey));
    EXPECT_EQ(ZeInstallService(), 0);
}

TEST_F(ServiceRunTest, TheForegroundResetRestartsTheAdapterAndSetsManualStart) {
    EXPECT_EQ(Run({u"/debug"}), 0);
    std::string adapter = Utf16ToUtf8(kAdapter);
    EXPECT_EQ(DeviceAndServiceJournal(),
              (std::vector<std::string>{"DisableDevice " + adapter, "EnableDevice " + adapter}));
    EXPECT_TRUE(Sim().Devices().IsStarted(kAdapter));
    EXPECT_EQ(StartValue(), SERVICE_DEMAND_START);
    EXPECT_EQ(RunTimes(), u"(none)");
}

}  // namespace
}  // namespace ze::testing
