// The adapter's restart on the demo machine kept in a folder, run as "/debug" in this
// process: an adapter disabled beforehand stays so, a change that needs Windows
// restarted says so, and a run killed at any call of its restart is healed by the next.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <random>

#include "common/text.h"
#include "main/program.h"
#include "platform/platform_decorator.h"
#include "platform/sim/device_manager.h"
#include "platform/sim/machine_file.h"
#include "platform/sim/sim_platform.h"
#include "service/service.h"

namespace ze::testing {
namespace {

namespace fs = std::filesystem;
using Lines = std::vector<std::string>;

constexpr char16_t kAdapter[] = u"PCI\\VEN_1D6A&DEV_7260&SUBSYS_00121D6A&REV_01\\4&2a3b4c5d&0&00E0";
constexpr char kSettings[] = "C/Program Files/Zelvaro/ZeRegionSvc.ini";
constexpr char kRecordLine[] =
    "WriteProfileString C:\\Program Files\\Zelvaro\\ZeRegionSvc.ini "
    "Restart\\0007=disabling";

// A layer that counts the program's calls and kills the process, as kill -9 would,
// before the killAt-th one (from 1; 0: never).
class KillingLayer : public PlatformDecorator {
  public:
    KillingLayer(Platform& inner, std::size_t killAt) : PlatformDecorator(inner), killAt_(killAt) {}
    const std::vector<Call>& Calls() const { return calls_; }

  protected:
    void OnCall(Call call) override {
        calls_.push_back(call);
        if (calls_.size() == killAt_)
            ::raise(SIGKILL);
    }

  private:
    std::size_t killAt_;
    std::vector<Call> calls_;
};

class AdapterRestartTest : public ::testing::Test {
  protected:
    AdapterRestartTest() {
        std::random_device random;
        folder_ = fs::temp_directory_path() / ("zeregion-restart-" + std::to_string(::getpid()) +
                                               "-" + std::to_string(random()));
        fs::copy(fs::path(ZE_SOURCE_DIR) / "examples" / "demo-machine", folder_,
                 fs::copy_options::recursive);
        Open();  // builds registry.db once
    }
    ~AdapterRestartTest() override {
        std::error_code ec;
        fs::remove_all(folder_, ec);
    }

    std::unique_ptr<sim::SimPlatform> Open() const {
        std::string error;
        auto machine = sim::SimPlatform::OpenMachine(folder_, &error);
        EXPECT_TRUE(machine) << error;
        return machine;
    }

    // "/debug" on the machine, in this process; killAt as KillingLayer takes it.
    int Debug(std::size_t killAt = 0, std::vector<Call>* calls = nullptr,
              const std::function<void(sim::SimPlatform&)>& prepare = {}) const {
        auto machine = Open();
        if (prepare)
            prepare(*machine);
        KillingLayer layer(*machine, killAt);
        ScopedPlatform platform(layer);
        std::u16string exe = u"C:\\Program Files\\Zelvaro\\ZeRegionSvc.exe";
        std::u16string command = u"/debug";
        char16_t* argv[] = {exe.data(), command.data(), nullptr};
        int code = _tmain(2, argv);
        if (calls != nullptr)
            *calls = layer.Calls();
        return code;
    }

    // Any command on the machine, in this process; its standard output in *shown.
    int Run(std::u16string command, std::string* shown) const {
        auto machine = Open();
        ScopedPlatform platform(*machine);
        std::u16string exe = u"C:\\Program Files\\Zelvaro\\ZeRegionSvc.exe";
        char16_t* argv[] = {exe.data(), command.data(), nullptr};
        int code = _tmain(2, argv);
        *shown = machine->StandardStream(STD_OUTPUT_HANDLE);
        return code;
    }

    // The same run in a child process that is killed before its killAt-th call.
    bool KilledDebug(std::size_t killAt) const {
        std::fflush(nullptr);
        pid_t child = ::fork();
        if (child == 0) {
            Debug(killAt);
            ::_exit(0);
        }
        int status = 0;
        ::waitpid(child, &status, 0);
        return WIFSIGNALED(status) && WTERMSIG(status) == SIGKILL;
    }

    void EditMachine(const std::function<void(sim::SimPlatform&)>& edit) const {
        auto machine = Open();
        edit(*machine);
        EXPECT_TRUE(sim::WriteMachineSettings(folder_ / "machine.ini", machine->Settings()));
    }
    void SetConfigFlags(DWORD flags) const {
        Open()->Registry().SetValue(std::u16string(sim::kEnumKeyPath) + u"\\" + kAdapter,
                                    u"ConfigFlags", REG_DWORD, DwordData(flags));
    }
    bool AdapterDisabled() const {
        auto value = Open()->Registry().GetValue(
            std::u16string(sim::kEnumKeyPath) + u"\\" + kAdapter, u"ConfigFlags");
        return value && (value->data[0] & CONFIGFLAG_DISABLED) != 0;
    }

    std::string Read(const fs::path& relative) const {
        std::ifstream in(folder_ / relative, std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(in), {});
    }
    Lines TextLines(const fs::path& relative) const {
        std::istringstream in(Read(relative));
        Lines lines;
        for (std::string line; std::getline(in, line);)
            lines.push_back(line);
        return lines;
    }
    // The journal's device, settings-file and event lines.
    Lines Journal() const {
        Lines lines;
        for (const auto& line : TextLines("journal.txt")) {
            if (line.find("Device ") != std::string::npos ||
                line.find("Profile") != std::string::npos || line.rfind("ReportEvent", 0) == 0)
                lines.push_back(line);
        }
        return lines;
    }
    // The log's messages, without their time stamps.
    Lines LogLines() const {
        std::string bytes = Read("C/Program Files/Zelvaro/ZeRegionSvc.log");
        std::u16string text;
        for (std::size_t i = 0; i + 1 < bytes.size(); i += 2)
            text.push_back(static_cast<char16_t>(static_cast<unsigned char>(bytes[i]) |
                                                 static_cast<unsigned char>(bytes[i + 1]) << 8));
        Lines lines;
        std::size_t start = 0;
        for (std::size_t end; (end = text.find(u"\r\n", start)) != std::u16string::npos;
             start = end + 2) {
            std::u16string line = text.substr(start, end - start);
            lines.push_back(Utf16ToUtf8(line.substr(line.find(u"] ") + 2)));
        }
        return lines;
    }
    void ClearRecords() const {
        fs::remove(folder_ / "journal.txt");
        fs::remove(folder_ / "C/Program Files/Zelvaro/ZeRegionSvc.log");
    }
    static std::vector<BYTE> DwordData(DWORD value) {
        return {static_cast<BYTE>(value), static_cast<BYTE>(value >> 8),
                static_cast<BYTE>(value >> 16), static_cast<BYTE>(value >> 24)};
    }

    fs::path folder_;
};

std::string Device(const char* change) {
    return std::string(change) + "Device " + Utf16ToUtf8(kAdapter);
}

TEST_F(AdapterRestartTest, AnAdapterDisabledBeforeTheResetGetsItsSettingsAndStaysDisabled) {
    std::string settings = Read(kSettings);
    SetConfigFlags(CONFIGFLAG_DISABLED);
    EXPECT_EQ(Debug(), 0);
    EXPECT_TRUE(AdapterDisabled());
    Lines journal = Journal();
    EXPECT_EQ(journal, (Lines{"ReportEvent ZeRegionSvc Information 1002 \"0007\""}));
    Lines log = LogLines();
    EXPECT_NE(std::find(log.begin(), log.end(),
                        "[ZeRegionSvc] The adapter is disabled and is left disabled"),
              log.end());
    EXPECT_EQ(Read(kSettings), settings);
    // The driver's values are written as for an enabled adapter.
    auto written = TextLines("journal.txt");
    EXPECT_EQ(std::count_if(written.begin(), written.end(),
                            [](const std::string& line) { return line.rfind("SetValue", 0) == 0; }),
              55);  // as on the demo with the adapter enabled
}

// A restart cut short, as it leaves the machine: /check warns, /preview neither enables
// the adapter nor touches the record, and a heal whose enable fails keeps the record
// and restarts nothing.
TEST_F(AdapterRestartTest, APendingRecordIsShownByCheckKeptByPreviewAndKeptWhenTheHealFails) {
    std::string original = Read(kSettings);
    std::ofstream(folder_ / kSettings, std::ios::app) << "[Restart]\r\n0007=disabling\r\n";
    std::string settings = Read(kSettings);
    SetConfigFlags(CONFIGFLAG_DISABLED);
    std::string shown;
    EXPECT_EQ(Run(u"/check", &shown), 0);
    EXPECT_NE(shown.find("warning: C:\\Program Files\\Zelvaro\\ZeRegionSvc.ini: [Restart] "
                         "0007: the restart of adapter 0007 did not finish and it may "
                         "still be disabled; the next reset enables it\r\n"),
              std::string::npos)
        << shown;
    Run(u"/preview", &shown);
    EXPECT_TRUE(Journal().empty());
    EXPECT_EQ(Read(kSettings), settings);

    EXPECT_EQ(Debug(0, nullptr,
                    [](sim::SimPlatform& machine) {
                        machine.InjectFault(Call::SetupDiCallClassInstaller, 0,
                                            ERROR_ACCESS_DENIED);
                    }),
              ZE_ERR_ADAPTER_NOT_ENABLED);
    EXPECT_TRUE(AdapterDisabled());
    EXPECT_EQ(Read(kSettings), settings);
    EXPECT_EQ(Journal(), (Lines{"ReportEvent ZeRegionSvc Error 1001 \"0007\""}));

    // The record of an adapter that is not present waits for it; the reset goes on.
    std::string other = original + "[Restart]\r\n0009=disabling\r\n";
    std::ofstream(folder_ / kSettings, std::ios::binary | std::ios::trunc) << other;
    SetConfigFlags(0);
    ClearRecords();
    EXPECT_EQ(Debug(), 0);
    EXPECT_EQ(Read(kSettings), other);
    EXPECT_EQ(Journal(), (Lines{kRecordLine, Device("Disable"), Device("Enable"),
                                "DeleteProfileKey C:\\Program Files\\Zelvaro\\ZeRegionSvc.ini "
                                "Restart\\0007",
                                "ReportEvent ZeRegionSvc Information 1000 \"JPN\" \"0007\" \"0\" "
                                "\"restarted\""}));
}

// What the device installer answers after each change: restart flags from the machine,
// or no answer at all.
TEST_F(AdapterRestartTest, AChangeThatNeedsWindowsRestartedEndsWithTheRestartNeededCode) {
    struct Case {
        const char* what;
        DWORD flags;
        bool paramsFail;
        int exitCode;
        Lines lines;  // the log's lines after the disable's success line
    };
    const Case cases[] = {
        {"vetoed stop",
         DI_NEEDREBOOT,
         false,
         ZE_EXIT_RESTART_NEEDED,
         {"[ZeRegionSvc] EnableDevice(0): Windows must restart for the change to take effect",
          "[ZeRegionSvc] EnableDevice(1): success!",
          "[ZeRegionSvc] EnableDevice(1): Windows must restart for the change to take effect",
          "[ZeRegionSvc] Windows must restart for the adapter to take its new settings"}},
        {"restart",
         DI_NEEDRESTART,
         false,
         ZE_EXIT_RESTART_NEEDED,
         {"[ZeRegionSvc] EnableDevice(0): Windows must restart for the change to take effect",
          "[ZeRegionSvc] EnableDevice(1): success!",
          "[ZeRegionSvc] EnableDevice(1): Windows must restart for the change to take effect",
          "[ZeRegionSvc] Windows must restart for the adapter to take its new settings"}},
        {"no flags", 0x10, false, 0, {"[ZeRegionSvc] EnableDevice(1): success!"}},
        {"no answer",
         DI_NEEDREBOOT,
         true,
         0,
         {"[ZeRegionSvc] SetupDiGetDeviceInstallParams() return FALSE",
          "[ZeRegionSvc] EnableDevice(1): success!",
          "[ZeRegionSvc] SetupDiGetDeviceInstallParams() return FALSE"}},
    };
    for (const Case& c : cases) {
        EditMachine([&](sim::SimPlatform& machine) {
            machine.Settings().restartFlags[kAdapter] = c.flags;
        });
        ClearRecords();
        EXPECT_EQ(Debug(0, nullptr,
                        [&](sim::SimPlatform& machine) {
                            if (c.paramsFail)
                                machine.InjectFault(Call::SetupDiGetDeviceInstallParamsW, 0,
                                                    ERROR_INVALID_PARAMETER);
                        }),
                  c.exitCode)
            << c.what;
        Lines log = LogLines();
        auto disabled =
            std::find(log.begin(), log.end(), "[ZeRegionSvc] EnableDevice(0): success!");
        ASSERT_NE(disabled, log.end()) << c.what;
        EXPECT_EQ(Lines(disabled + 1, disabled + 1 + static_cast<std::ptrdiff_t>(c.lines.size())),
                  c.lines)
            << c.what;
        std::string event = Journal().back();
        EXPECT_EQ(event.substr(event.rfind(" \"") + 1),
                  c.exitCode == 0 ? "\"restarted\""
                                  : "\"restarted, taking effect when Windows restarts\"")
            << c.what;
    }
}

// kill -9 before each call from the adapter's state read to just after the removal of
// the restart record: the next run finds the adapter enabled and the settings file as
// it was, and heals (the enable first, then event 1003) exactly when the kill left the
// adapter disabled.
TEST_F(AdapterRestartTest, ARunKilledAtAnyCallOfTheRestartIsHealedByTheNext) {
    std::string settings = Read(kSettings);
    std::vector<Call> calls;
    ASSERT_EQ(Debug(0, &calls), 0);
    auto first = std::find_if(calls.begin(), calls.end(),
                              [](Call call) { return CallName(call).rfind("SetupDi", 0) == 0; });
    ASSERT_NE(first, calls.end());
    // The restart ends with the record's removal, the first profile write after it.
    auto last = std::find(first, calls.end(), Call::WritePrivateProfileStringW);
    last = std::find(last + 1, calls.end(), Call::WritePrivateProfileStringW);
    ASSERT_NE(last, calls.end());
    const fs::path pristine = folder_.string() + ".pristine";
    fs::copy(folder_, pristine, fs::copy_options::recursive);
    std::size_t healed = 0;
    for (auto killAt = static_cast<std::size_t>(first - calls.begin()) + 1;
         killAt <= static_cast<std::size_t>(last - calls.begin()) + 2; ++killAt) {
        fs::remove_all(folder_);
        fs::copy(pristine, folder_, fs::copy_options::recursive);
        ClearRecords();
        ASSERT_TRUE(KilledDebug(killAt)) << killAt;
        bool leftDisabled = AdapterDisabled();
        bool recorded = Read(kSettings) != settings;
        Lines killedRun = Journal();
        ClearRecords();
        EXPECT_EQ(Debug(), 0) << killAt;
        EXPECT_FALSE(AdapterDisabled()) << killAt;
        EXPECT_EQ(Read(kSettings), settings) << killAt;
        // The record is on disk before the disable and gone only after the enable.
        if (leftDisabled) {
            EXPECT_TRUE(recorded) << killAt;
            EXPECT_NE(std::find(killedRun.begin(), killedRun.end(), kRecordLine), killedRun.end());
        }
        Lines journal = Journal();
        Lines expectedStart = {Device("Enable"),
                               "DeleteProfileSection C:\\Program Files\\Zelvaro\\"
                               "ZeRegionSvc.ini Restart",
                               "ReportEvent ZeRegionSvc Warning 1003 \"0007\""};
        bool healedNow =
            journal.size() > 3 && Lines(journal.begin(), journal.begin() + 3) == expectedStart;
        EXPECT_EQ(healedNow, leftDisabled) << killAt << ": " << ::testing::PrintToString(journal);
        healed += healedNow ? 1 : 0;
    }
    fs::remove_all(pristine);
    EXPECT_GT(healed, 0u);
}

}  // namespace
}  // namespace ze::testing
