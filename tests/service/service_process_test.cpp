// The service lifecycle across processes on a persisted machine, with the Linux
// build of the program: "/start" launches the service process, "/stop" reaches its
// handler from another process.
#include <gtest/gtest.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <random>
#include <thread>

#include "common/text.h"
#include "platform/names.h"
#include "platform/sim/device_manager.h"
#include "platform/sim/machine_file.h"
#include "platform/sim/reg_file.h"
#include "platform/sim/service_manager.h"
#include "platform/sim/sim_platform.h"
#include "service/service_fixture.h"

extern char** environ;

namespace ze::testing {
namespace {

namespace fs = std::filesystem;

constexpr char16_t kAdapter[] = u"PCI\\VEN_14E4&DEV_43A0&SUBSYS_061114E4&REV_03\\4&2A3B&0&00E1";
// Generous: the service process starts and stops in milliseconds, but a loaded
// machine or a sanitizer build may take longer.
constexpr auto kProcessTimeout = std::chrono::seconds(20);
constexpr char16_t kServiceKey[] = u"SYSTEM\\CurrentControlSet\\Services\\ZeRegionSvc";

class ServiceProcessTest : public ::testing::Test {
  protected:
    void SetUp() override {
        program_ = fs::canonical("/proc/self/exe").parent_path() / "ZeRegionSvc";
        if (!fs::exists(program_))
            GTEST_SKIP() << "the Linux build of the program is not beside the tests";
        std::random_device random;
        machine_ = fs::temp_directory_path() / ("zeregion-machine-" + std::to_string(::getpid()) +
                                                "-" + std::to_string(random()));
        sim::MachineSettings settings;
        settings.presentDevices.insert(kAdapter);
        std::string error;
        ASSERT_TRUE(sim::SimPlatform::CreateMachine(machine_, settings, &error)) << error;
        auto registry = sim::RegistryStore::InMemory();
        sim::AddSetupClass(*registry, sim::kNetClassGuid, u"Net");
        sim::AddDevice(*registry, kAdapter, {u"PCI\\VEN_14E4&DEV_43A0&SUBSYS_061114E4&REV_03"},
                       u"{4d36e972-e325-11ce-bfc1-08002be10318}\\0007");
        registry->Create(kServicesKeyPath);
        ASSERT_TRUE(sim::WriteUtf16File(machine_ / "registry.reg", sim::RegText(*registry)));
        folder_ = machine_ / "C" / "Program Files" / "Zelvaro";
        fs::create_directories(folder_);
        fs::copy_file(program_, folder_ / "ZeRegionSvc.exe");
        std::ofstream(folder_ / "ZeRegionSvc.ini", std::ios::binary)
            << "[DriverKey]\r\nNetID=0007\r\n[Service]\r\nServiceDescription=Wi-Fi country\r\n";
    }

    void TearDown() override {
        if (machine_.empty())
            return;
        // A service process left running by a failed test is stopped.
        if (auto pid = Machine()->Services().RuntimeOf(u"ZeRegionSvc").pid; pid > 0)
            ::kill(static_cast<pid_t>(pid), SIGKILL);
        std::error_code ec;
        fs::remove_all(machine_, ec);
    }

    // Runs the program in the machine's C: folder, as a console would, and returns
    // its exit code as the program returned it.
    int Run(std::vector<std::string> arguments) {
        std::string exe = (folder_ / "ZeRegionSvc.exe").string();
        std::vector<char*> argv{exe.data()};
        for (auto& argument : arguments)
            argv.push_back(argument.data());
        argv.push_back(nullptr);
        std::vector<std::string> environment;
        for (char** entry = environ; *entry != nullptr; ++entry) {
            std::string text = *entry;
            if (text.rfind("ZEREGION_", 0) != 0)
                environment.push_back(text);
        }
        std::vector<char*> envp;
        for (auto& entry : environment)
            envp.push_back(entry.data());
        envp.push_back(nullptr);
        pid_t pid = 0;
        if (::posix_spawn(&pid, exe.c_str(), nullptr, nullptr, argv.data(), envp.data()) != 0)
            return 9999;
        int status = 0;
        ::waitpid(pid, &status, 0);
        return WIFEXITED(status) ? static_cast<signed char>(WEXITSTATUS(status)) : 9999;
    }

    // A fresh view of the machine, as another process would have.
    std::unique_ptr<sim::SimPlatform> Machine() {
        std::string error;
        auto machine = sim::SimPlatform::OpenMachine(machine_, &error);
        EXPECT_TRUE(machine) << error;
        return machine;
    }

    std::string Settings() const {
        std::ifstream in(folder_ / "ZeRegionSvc.ini", std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(in), {});
    }

    std::vector<std::u16string> LogLines() const {
        // UTF-16LE without a byte order mark.
        std::ifstream in(folder_ / "ZeRegionSvc.log", std::ios::binary);
        std::string bytes((std::istreambuf_iterator<char>(in)), {});
        std::u16string text;
        for (std::size_t i = 0; i + 1 < bytes.size(); i += 2) {
            text.push_back(static_cast<char16_t>(static_cast<unsigned char>(bytes[i]) |
                                                 (static_cast<unsigned char>(bytes[i + 1]) << 8)));
        }
        std::vector<std::u16string> lines;
        std::size_t start = 0;
        for (std::size_t end; (end = text.find(u"\r\n", start)) != std::u16string::npos;
             start = end + 2) {
            std::u16string line = text.substr(start, end - start);
            // Drop the timestamp: everything up to the first "] ".
            auto stamp = line.find(u"] ");
            lines.push_back(stamp == std::u16string::npos ? line : line.substr(stamp + 2));
        }
        return lines;
    }

    // Ended, or ended and not yet reaped by whoever adopted it.
    static bool Ended(long pid) {
        if (::kill(static_cast<pid_t>(pid), 0) != 0)
            return true;
        std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
        std::string line;
        std::getline(stat, line);
        auto close = line.rfind(") ");
        return close != std::string::npos && line[close + 2] == 'Z';
    }

    std::optional<sim::RegValue> ServiceValue(std::u16string_view name) {
        return Machine()->Registry().GetValue(kServiceKey, name);
    }

    fs::path program_;
    fs::path machine_;
    fs::path folder_;
};

TEST_F(ServiceProcessTest, InstallStartStopAndUninstallAcrossProcesses) {
    ASSERT_EQ(Run({"/install"}), 0);
    EXPECT_EQ(ServiceValue(u"ImagePath")->data,
              Utf16Bytes(u"\"C:\\Program Files\\Zelvaro\\ZeRegionSvc.exe\"", true));
    EXPECT_EQ(ServiceValue(u"Description")->data, Utf16Bytes(u"Wi-Fi country", true));
    EXPECT_EQ(Run({"/install"}), 0);  // again: changed in place

    ASSERT_EQ(Run({"/start"}), 0);
    ASSERT_TRUE(WaitUntil([&] { return Settings().find("RunTimes=4") != std::string::npos; },
                          kProcessTimeout));
    sim::ServiceRuntime running = Machine()->Services().RuntimeOf(u"ZeRegionSvc");
    EXPECT_EQ(running.status.dwCurrentState, SERVICE_RUNNING);
    EXPECT_TRUE(Machine()->Devices().IsStarted(kAdapter));
    long pid = running.pid;
    ASSERT_GT(pid, 0);
    EXPECT_NE(pid, ::getpid());

    ASSERT_EQ(Run({"/stop"}), 0);
    // The service process ends by itself once it has reported the stop.
    ASSERT_TRUE(WaitUntil([&] { return Ended(pid); }, kProcessTimeout));
    EXPECT_EQ(Machine()->Services().RuntimeOf(u"ZeRegionSvc").status.dwCurrentState,
              SERVICE_STOPPED);
    std::vector<std::u16string> log = LogLines();
    EXPECT_NE(std::find(log.begin(), log.end(), u"[ZeRegionSvc] SERVICE_CONTROL_STOP"), log.end());
    EXPECT_EQ(Run({"/stop"}), -106);

    ASSERT_EQ(Run({"/uninstall"}), 0);
    EXPECT_FALSE(Machine()->Registry().Find(kServiceKey));
    EXPECT_EQ(Run({"/start"}), -103);

    // Every device change the service made is in the machine's journal.
    std::ifstream journal(machine_ / "journal.txt");
    std::string text((std::istreambuf_iterator<char>(journal)), {});
    std::string adapter = Utf16ToUtf8(kAdapter);
    auto disabled = text.find("DisableDevice " + adapter);
    ASSERT_NE(disabled, std::string::npos);
    EXPECT_NE(text.find("EnableDevice " + adapter, disabled), std::string::npos);
}

TEST_F(ServiceProcessTest, UninstallingARunningServiceStopsItAndRemovesItOnceStopped) {
    ASSERT_EQ(Run({"/install"}), 0);
    ASSERT_EQ(Run({"/start"}), 0);
    ASSERT_TRUE(WaitUntil([&] { return Settings().find("RunTimes=4") != std::string::npos; },
                          kProcessTimeout));
    long pid = Machine()->Services().RuntimeOf(u"ZeRegionSvc").pid;
    EXPECT_EQ(Run({"/uninstall"}), 0);
    ASSERT_TRUE(WaitUntil([&] { return Ended(pid); }, kProcessTimeout));
    ASSERT_TRUE(
        WaitUntil([&] { return !Machine()->Registry().Find(kServiceKey); }, kProcessTimeout));
    EXPECT_EQ(Run({"/start"}), -103);
}

TEST_F(ServiceProcessTest, AConsoleRunWithoutArgumentsIsNoServiceProcess) {
    ASSERT_EQ(Run({"/install"}), 0);
    EXPECT_EQ(Run({}), -107);
}

// A service process that neither connects nor reports within the timeout: the
// start fails with the timeout error, and the process is ended, its service stopped.
TEST_F(ServiceProcessTest, AStartThatNeverReportsTimesOutAndEndsTheProcess) {
    ASSERT_EQ(Run({"/install"}), 0);
    fs::path hung = folder_ / "hung.sh";
    std::ofstream(hung) << "#!/bin/sh\nexec sleep 30\n";
    fs::permissions(hung, fs::perms::owner_all);
    auto machine = Machine();
    machine->Services().SetRequestTimeout(std::chrono::milliseconds(300));
    ScopedPlatform platform(*machine);
    HKEY key = nullptr;
    ASSERT_EQ(OS().RegOpenKeyExW(HKEY_LOCAL_MACHINE, kServiceKey, 0, KEY_ALL_ACCESS, &key), 0);
    std::vector<BYTE> image = Utf16Bytes(u"C:\\Program Files\\Zelvaro\\hung.sh", true);
    OS().RegSetValueExW(key, u"ImagePath", 0, REG_EXPAND_SZ, image.data(),
                        static_cast<DWORD>(image.size()));
    OS().RegCloseKey(key);
    SC_HANDLE manager = OS().OpenSCManagerW(nullptr, nullptr, SC_MANAGER_ALL_ACCESS);
    SC_HANDLE service = OS().OpenServiceW(manager, u"ZeRegionSvc", SERVICE_ALL_ACCESS);
    EXPECT_FALSE(OS().StartServiceW(service, 0, nullptr));
    EXPECT_EQ(OS().GetLastError(), static_cast<DWORD>(ERROR_SERVICE_REQUEST_TIMEOUT));
    sim::ServiceRuntime runtime = machine->Services().RuntimeOf(u"ZeRegionSvc");
    EXPECT_EQ(runtime.status.dwCurrentState, SERVICE_STOPPED);
    EXPECT_TRUE(WaitUntil([&] { return Ended(runtime.pid); }, kProcessTimeout));
    OS().CloseServiceHandle(service);
    OS().CloseServiceHandle(manager);
}

}  // namespace
}  // namespace ze::testing
