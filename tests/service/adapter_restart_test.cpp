// The adapter's restart on the demo machine kept in a folder: a "/debug" killed at any
// call of its restart, in a child process, is healed by the next "/debug".
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
#include "platform/sim/sim_platform.h"
#include "service/service.h"

namespace ze::testing {
namespace {

namespace fs = std::filesystem;
using Lines = std::vector<std::string>;

constexpr char16_t kAdapter[] = u"PCI\\VEN_1D6A&DEV_7260&SUBSYS_00121D6A&REV_01\\4&2a3b4c5d&0&00E0";
constexpr char kSettings[] = "C/Program Files/Zelvaro/ZeRegionSvc.ini";

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
        // In memory where there is /dev/shm: the runs sync every registry write.
        fs::path base =
            fs::is_directory("/dev/shm") ? fs::path("/dev/shm") : fs::temp_directory_path();
        folder_ = base / ("zeregion-restart-" + std::to_string(::getpid()) + "-" +
                          std::to_string(random()));
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
    int Debug(std::size_t killAt = 0, std::vector<Call>* calls = nullptr) const {
        auto machine = Open();
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

    bool AdapterDisabled() const {
        auto value = Open()->Registry().GetValue(
            std::u16string(sim::kEnumKeyPath) + u"\\" + kAdapter, u"ConfigFlags");
        return value && (value->data[0] & CONFIGFLAG_DISABLED) != 0;
    }

    std::string Read(const fs::path& relative) const {
        std::ifstream in(folder_ / relative, std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(in), {});
    }
    // The journal's device, settings-file and event lines; read, the journal is cleared.
    Lines TakeJournal() const {
        std::istringstream in(Read("journal.txt"));
        fs::remove(folder_ / "journal.txt");
        Lines lines;
        for (std::string line; std::getline(in, line);) {
            if (line.find("Device ") != std::string::npos ||
                line.find("Profile") != std::string::npos || line.rfind("ReportEvent", 0) == 0)
                lines.push_back(line);
        }
        return lines;
    }
    fs::path folder_;
};

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
    const Lines healing = {
        "EnableDevice " + Utf16ToUtf8(kAdapter),
        "DeleteProfileSection C:\\Program Files\\Zelvaro\\ZeRegionSvc.ini Restart",
        "ReportEvent ZeRegionSvc Warning 1003 \"0007\""};
    for (auto killAt = static_cast<std::size_t>(first - calls.begin()) + 1;
         killAt <= static_cast<std::size_t>(last - calls.begin()) + 2; ++killAt) {
        fs::remove_all(folder_);
        fs::copy(pristine, folder_, fs::copy_options::recursive);
        fs::remove(folder_ / "journal.txt");
        ASSERT_TRUE(KilledDebug(killAt)) << killAt;
        bool leftDisabled = AdapterDisabled();
        // The record is on disk before the disable and gone only after the enable.
        EXPECT_TRUE(!leftDisabled || Read(kSettings) != settings) << killAt;
        TakeJournal();
        EXPECT_EQ(Debug(), 0) << killAt;
        EXPECT_FALSE(AdapterDisabled()) << killAt;
        EXPECT_EQ(Read(kSettings), settings) << killAt;
        Lines journal = TakeJournal();
        bool healedNow =
            journal.size() > 3 && Lines(journal.begin(), journal.begin() + 3) == healing;
        EXPECT_EQ(healedNow, leftDisabled) << killAt << ": " << ::testing::PrintToString(journal);
        healed += healedNow ? 1 : 0;
    }
    fs::remove_all(pristine);
    EXPECT_GT(healed, 0u);
}

// The record reaches the disk, not just the system's cache, before the adapter is
// disabled.
TEST_F(AdapterRestartTest, TheRecordIsFlushedToDiskBeforeTheDisable) {
    std::vector<Call> calls;
    ASSERT_EQ(Debug(0, &calls), 0);
    auto stateRead = std::find(calls.begin(), calls.end(), Call::SetupDiGetDeviceRegistryPropertyW);
    auto record = std::find(stateRead, calls.end(), Call::WritePrivateProfileStringW);
    ASSERT_GE(calls.end() - record, 4);
    EXPECT_EQ(std::vector<Call>(record + 1, record + 4),
              (std::vector<Call>{Call::CreateFileW, Call::FlushFileBuffers, Call::CloseHandle}));
    EXPECT_GT(std::find(calls.begin(), calls.end(), Call::SetupDiCallClassInstaller), record + 3);
}

}  // namespace
}  // namespace ze::testing
