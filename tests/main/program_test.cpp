#include "main/program.h"
#include "commands/commands.h"
#include "common/paths.h"

#include "sim_fixture.h"
#include "ze_version.h"

namespace ze::testing {
namespace {

class ProgramTest : public SimTest {
  protected:
    int Run(std::vector<std::u16string> arguments) { return RunMain(std::move(arguments)); }
    static std::vector<std::u16string> StartLines() {
        return {
            u"[ZeRegionSvc] g_szZeRegionSvcIniPath = C:\\Program "
            u"Files\\Zelvaro\\ZeRegionSvc.ini\r\n",
            u"[ZeRegionSvc] g_szZeCoInstDatPath = C:\\Program Files\\Zelvaro\\ZeCoInst.dat\r\n",
            u"[ZeRegionSvc] g_szZeRegionSvcLogPath = C:\\Program "
            u"Files\\Zelvaro\\ZeRegionSvc.log\r\n",
            u"[ZeRegionSvc] --> _tmain()\r\n"};
    }
};

TEST_F(ProgramTest, WithoutArgumentsOutsideTheServiceManagerTheDispatcherFails) {
    EXPECT_EQ(Run({}), -107);
    auto expected = StartLines();
    expected.push_back(
        u"[ZeRegionSvc] StartServiceCtrlDispatcher() return FALSE, error = 1063\r\n");
    expected.push_back(u"[ZeRegionSvc] <-- _tmain()\r\n");
    EXPECT_EQ(LogMessages(), expected);
    EXPECT_EQ(std::u16string(g_szServiceName), u"ZeRegionSvc");
}

TEST_F(ProgramTest, SettingsFileSwitchesTheLogDestinations) {
    struct Case {
        std::u16string settings;
        bool logFile;
        bool debugger;
    };
    for (const Case& c : {Case{u"", true, false},
                          Case{u"[Settings]\r\nWriteLogFile=0\r\nDebugMode=0\r\n", false, false},
                          Case{u"[Settings]\r\nWriteLogFile=0\r\nDebugMode=1\r\n", false, true},
                          Case{u"[Settings]\r\nWriteLogFile=2\r\n", true, false}}) {
        ClearLog();
        if (c.settings.empty()) {
            std::filesystem::remove(Sim().HostPath(kIniPath));
        } else {
            WriteTextFile(kIniPath, c.settings);
        }
        std::size_t debugBefore = Sim().DebugStream().size();
        EXPECT_EQ(Run({}), -107);
        EXPECT_EQ(FileExists(kLogPath), c.logFile);
        std::u16string debugged = Sim().DebugStream().substr(debugBefore);
        EXPECT_EQ(debugged.find(u"[ZeRegionSvc] --> _tmain()\r\n") != std::u16string::npos,
                  c.debugger);
        // The debugger stream carries no timestamps.
        EXPECT_EQ(debugged.find(u"[2026-"), std::u16string::npos);
    }
}

TEST_F(ProgramTest, AFailedCommandSaysOnStandardErrorWhatFailedAndWhy) {
    const struct {
        std::vector<std::u16string> arguments;
        int result;
        const char* line;
    } cases[] = {
        {{u"/start"},
         -103,
         "ZeRegionSvc: /start failed: the service cannot be opened (it may not be installed) "
         "(-103)\r\n"},
        {{},
         -107,
         "ZeRegionSvc: running as the service failed: not started by the service manager (error "
         "1063); ZeRegionSvc /? lists the commands (-107)\r\n"},
    };
    for (const auto& c : cases) {
        std::size_t shown = Sim().StandardStream(STD_ERROR_HANDLE).size();
        EXPECT_EQ(Run(c.arguments), c.result);
        EXPECT_EQ(Sim().StandardStream(STD_ERROR_HANDLE).substr(shown), c.line);
    }
}

TEST_F(ProgramTest, HelpInAnyOfItsSpellingsPrintsTheUsage) {
    for (const char16_t* argument : {u"/?", u"/HELP", u"-h", u"--Help"}) {
        std::string before = Sim().StandardStream(STD_OUTPUT_HANDLE);
        EXPECT_EQ(Run({argument}), 0);
        EXPECT_EQ(Sim().StandardStream(STD_OUTPUT_HANDLE), before + Utf16ToUtf8(UsageText()));
    }
    EXPECT_TRUE(JournalLines().empty());
}

TEST_F(ProgramTest, VersionIsTheProjectVersionTheResourceCarries) {
    EXPECT_EQ(Run({u"/Version"}), 0);
    EXPECT_EQ(Sim().StandardStream(STD_OUTPUT_HANDLE), "ZeRegionSvc " ZE_VERSION_TEXT "\r\n");
}

// Without administrator rights the commands that change the machine refuse before
// touching anything; those that only read run, and /check names what it could not read.
TEST_F(ProgramTest, OnlyTheCommandsThatChangeTheMachineNeedAdministratorRights) {
    WriteTextFile(kIniPath, u"[DriverKey]\r\nNetID=0007\r\n");
    Sim().Settings().administrator = false;
    std::string settings = ReadBytes(kIniPath);
    for (const char16_t* command :
         {u"/install", u"/uninstall", u"/start", u"/stop", u"/debug", u"PCI\\VEN_14E4"}) {
        ClearLog();
        std::string before = Sim().StandardStream(STD_ERROR_HANDLE);
        EXPECT_EQ(Run({command}), ZE_EXIT_NOT_ELEVATED) << Utf16ToUtf8(command);
        EXPECT_EQ(Sim().StandardStream(STD_ERROR_HANDLE).substr(before.size()),
                  "ZeRegionSvc: this command changes the machine and needs administrator "
                  "rights.\r\nRun it from an elevated command prompt (Run as administrator). "
                  "Nothing was changed.\r\n");
        auto log = LogMessages();
        ASSERT_EQ(log.size(), 7u);
        EXPECT_EQ(log[5], u"[ZeRegionSvc] Administrator rights required, nothing done\r\n");
        EXPECT_TRUE(JournalLines().empty()) << Utf16ToUtf8(command);
    }
    EXPECT_EQ(ReadBytes(kIniPath), settings);
    EXPECT_EQ(Run({u"/instal"}), ZE_EXIT_USAGE);
    for (const char16_t* command : {u"/?", u"/version", u"/check", u"/preview"}) {
        ClearLog();
        EXPECT_NE(Run({command}), ZE_EXIT_NOT_ELEVATED) << Utf16ToUtf8(command);
        for (const std::u16string& line : LogMessages())
            EXPECT_EQ(line.find(u"Administrator rights"), std::u16string::npos);
    }
    Sim().InjectFault(Call::RegOpenKeyExW, 0, ERROR_ACCESS_DENIED);
    Sim().InjectFault(Call::CreateFileW, 0, ERROR_ACCESS_DENIED);
    WriteTextFile(kDatPath, u"[Settings]\r\n");
    EXPECT_EQ(Run({u"/check"}), ZE_EXIT_CHECK_ERRORS);
    std::string shown = Sim().StandardStream(STD_OUTPUT_HANDLE);
    for (const char* denied : {"HKLM\\SYSTEM\\CurrentControlSet\\Control\\Class\\"
                               "{4D36E972-E325-11CE-BFC1-08002bE10318}\\0007: the driver key of "
                               "Net ID 0007 cannot be read without administrator rights",
                               "C:\\Program Files\\Zelvaro\\ZeCoInst.dat: cannot be read "
                               "without administrator rights"})
        EXPECT_NE(shown.find(denied), std::string::npos) << denied << "\n" << shown;
}

TEST_F(ProgramTest, AnExecutablePathTooLongForTheBuffersEndsStartUp) {
    Sim().Settings().modulePath = u"C:\\" + std::u16string(300, u'x') + u".exe";
    EXPECT_EQ(Run({u"/debug"}), 1);
    EXPECT_TRUE(JournalLines().empty());
}

TEST_F(ProgramTest, ABaseNameTooLongForTheServiceNameEndsStartUp) {
    Sim().Settings().modulePath = u"C:\\" + std::u16string(64, u'n') + u".exe";
    EXPECT_EQ(Run({}), 1);
    Sim().Settings().modulePath = u"C:\\" + std::u16string(63, u'n') + u".exe";
    EXPECT_EQ(Run({}), -107);
}

}  // namespace
}  // namespace ze::testing
