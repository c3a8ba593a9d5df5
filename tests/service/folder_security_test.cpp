// The program's folder and files: who may write them, judged from their descriptors;
// /install and the service refuse a folder others can write.
#include "service/folder_security.h"

#include "commands/commands.h"
#include "service_fixture.h"

namespace ze::testing {
namespace {

using Lines = std::vector<std::u16string>;

TEST(FolderSecurityTest, OnlyTrustedPrincipalsMayWriteOrOwn) {
    const std::u16string wineUser = u"S-1-5-21-0-0-0-1000";
    const std::vector<std::u16string> trusted{u"S-1-5-18", u"S-1-5-32-544",
                                              u"S-1-5-80-956008885-3418522649-1831038044-"
                                              u"1853292631-2271478464",
                                              wineUser};
    struct Case {
        const char16_t* sddl;
        std::optional<std::u16string> writer;
    };
    const Case cases[] = {
        // What the package sets, and Program Files' inherited list.
        {u"O:BAD:PAI(A;;FA;;;SY)(A;;FA;;;BA)(A;;0x1200a9;;;BU)", std::nullopt},
        {u"O:S-1-5-80-956008885-3418522649-1831038044-1853292631-2271478464D:AI(A;ID;FA;;;SY)"
         u"(A;ID;FA;;;BA)(A;ID;0x1200a9;;;BU)(A;OICIIOID;GA;;;CO)",
         std::nullopt},
        // A folder under the root of the system drive: Authenticated Users may modify.
        {u"O:BAD:AI(A;ID;FA;;;SY)(A;ID;FA;;;BA)(A;ID;0x1301bf;;;AU)(A;ID;0x1200a9;;;BU)", u"AU"},
        {u"O:BAD:(A;;FA;;;SY)(A;;0x2;;;BU)", u"BU"},
        {u"O:BAD:(A;;FRFW;;;IU)", u"IU"},
        {u"O:BAD:(A;;WD;;;BU)", u"BU"},  // may change the list
        {u"O:BAD:(A;;SD;;;S-1-5-21-7-7-7-1001)", u"S-1-5-21-7-7-7-1001"},
        // Applies only to what is created inside; a deny entry is not counted.
        {u"O:BAD:(A;OICIIO;SDGXGWGR;;;AU)(A;;FA;;;BA)", std::nullopt},
        {u"O:BAD:(D;;FA;;;WD)(A;;FA;;;WD)", u"WD"},
        // An owner may change the list unless OWNER RIGHTS says what it may do.
        {u"O:S-1-5-21-7-7-7-1001D:(A;;FA;;;BA)", u"S-1-5-21-7-7-7-1001"},
        {u"O:S-1-5-21-7-7-7-1001D:(A;;FA;;;BA)(A;;0x1200a9;;;OW)", std::nullopt},
        {u"O:S-1-5-21-7-7-7-1001D:(A;;FA;;;BA)(A;;FA;;;OW)", u"S-1-5-21-7-7-7-1001"},
        // Wine's answer for every file: its user owns it, and owns the system too.
        {u"O:S-1-5-21-0-0-0-1000D:(A;;FA;;;SY)(A;;FA;;;S-1-5-21-0-0-0-1000)(A;;0x1200a9;;;WD)",
         std::nullopt},
        {u"O:BAD:NO_ACCESS_CONTROL", u"WD"},
        {u"O:BAD:(A;;ZZ;;;BU)", u"(unreadable access list)"},
        {u"D:(A;;FA;;;SY)", u"(unreadable access list)"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(UntrustedWriter(c.sddl, trusted), c.writer) << Utf16ToUtf8(c.sddl);
    }
    EXPECT_EQ(UntrustedWriter(cases[12].sddl, {u"S-1-5-18", u"S-1-5-32-544"}), wineUser);
}

class UnsafeFolderTest : public ServiceTest {
  protected:
    static constexpr char16_t kExe[] = u"C:\\Program Files\\Zelvaro\\ZeRegionSvc.exe";
    static constexpr char16_t kUsersModify[] =
        u"O:BAD:AI(A;ID;FA;;;SY)(A;ID;FA;;;BA)(A;ID;0x1301bf;;;AU)(A;ID;0x1200a9;;;BU)";

    UnsafeFolderTest() {
        WriteTextFile(kExe, u"MZ");
        WriteSettings(u"[DriverKey]\r\nNetID=0007\r\n");
    }
    void Protect(std::u16string path, std::u16string sddl) {
        Sim().Settings().fileSecurity.emplace_back(std::move(path), std::move(sddl));
    }
};

TEST_F(UnsafeFolderTest, InstallRefusesAFolderOthersCanWriteAndRegistersNothing) {
    const char16_t* paths[] = {u"C:\\Program Files\\Zelvaro", kExe, kIniPath};
    for (const char16_t* path : paths) {
        Sim().Settings().fileSecurity.clear();
        Protect(path, kUsersModify);
        ClearLog();
        std::string before = Sim().StandardStream(STD_ERROR_HANDLE);
        EXPECT_EQ(Run({u"/install"}), ZE_EXIT_UNSAFE_FOLDER) << Utf16ToUtf8(path);
        EXPECT_EQ(LogMessages()[5], u"[ZeRegionSvc] Unsafe program folder, refused: " +
                                        std::u16string(path) +
                                        u": it can be written by Authenticated Users (AU)\r\n");
        EXPECT_EQ(Sim()
                      .StandardStream(STD_ERROR_HANDLE)
                      .substr(before.size())
                      .rfind("ZeRegionSvc: " + Utf16ToUtf8(path) +
                                 ": it can be written by Authenticated Users (AU).\r\n",
                             0),
                  0u);
        EXPECT_TRUE(JournalLines().empty());
        EXPECT_EQ(Sim().LiveLocalAllocations(), 0u);
    }
    // The owner of the system directory is trusted; a descriptor that cannot be read
    // is refused.
    Sim().Settings().fileSecurity.clear();
    std::filesystem::create_directories(Sim().HostPath(u"C:\\windows\\system32"));
    Protect(u"C:\\windows\\system32", u"O:S-1-5-21-7-7-7-1001D:(A;;FA;;;SY)");
    Protect(kExe, u"O:S-1-5-21-7-7-7-1001D:(A;;FA;;;S-1-5-21-7-7-7-1001)");
    EXPECT_EQ(Run({u"/install"}), 0);
    EXPECT_EQ(ZeUninstallService(), 0);
    Sim().ClearFaults();  // counts the calls afresh: the system directory, folder, executable
    Sim().InjectFault(Call::GetNamedSecurityInfoW, 3, ERROR_ACCESS_DENIED);
    ClearLog();
    EXPECT_EQ(Run({u"/install"}), ZE_EXIT_UNSAFE_FOLDER);
    EXPECT_EQ(LogMessages()[5], u"[ZeRegionSvc] Unsafe program folder, refused: " +
                                    std::u16string(kExe) +
                                    u": its permissions cannot be read (error 5)\r\n");
    EXPECT_EQ(Sim().LiveLocalAllocations(), 0u);
}

TEST_F(UnsafeFolderTest, TheServiceStopsAtOnceWithTheCodeAndLeavesTheAdapterAlone) {
    ASSERT_EQ(ZeInstallService(), 0);
    Protect(kDatPath, u"O:BAD:(A;;FA;;;BA)(A;;FA;;;WD)");
    WriteTextFile(kDatPath, u"[Settings]\r\n");
    ClearJournal();
    {
        ServiceProcess process(*this);
        EXPECT_EQ(process.Join(), 0);
    }
    EXPECT_EQ(Dispatcher().ReportedStatuses(),
              (std::vector<SERVICE_STATUS>{{SERVICE_WIN32_OWN_PROCESS, SERVICE_STOPPED, 0,
                                            static_cast<DWORD>(ERROR_SERVICE_SPECIFIC_ERROR),
                                            static_cast<DWORD>(ZE_EXIT_UNSAFE_FOLDER), 0, 0}}));
    for (const std::string& line : JournalLines())
        EXPECT_EQ(line.find("Device"), std::string::npos) << line;
    Lines log = LogMessages();
    EXPECT_NE(std::find(log.begin(), log.end(),
                        u"[ZeRegionSvc] Unsafe program folder, refused: " +
                            std::u16string(kDatPath) + u": it can be written by Everyone (WD)\r\n"),
              log.end());
    EXPECT_EQ(Sim().LiveLocalAllocations(), 0u);
}

}  // namespace
}  // namespace ze::testing
