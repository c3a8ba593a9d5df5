#include "common/events.h"
#include "platform/handles.h"
#include "service_fixture.h"

namespace ze::testing {
namespace {

using Lines = std::vector<std::u16string>;
using Journal = std::vector<std::string>;

constexpr char16_t kQuotedExe[] = u"\"C:\\Program Files\\Zelvaro\\ZeRegionSvc.exe\"";

class ServiceControlTest : public ServiceTest {
  protected:
    std::u16string StringValue(std::u16string_view name) {
        auto value = Value(kServiceKey, name);
        if (!value)
            return u"(missing)";
        std::u16string text;
        for (std::size_t i = 0; i + 1 < value->data.size(); i += 2)
            text.push_back(static_cast<char16_t>(value->data[i] | (value->data[i + 1] << 8)));
        return text;
    }
    void ExpectNoHandleLeft() { EXPECT_EQ(Scm().OpenHandleCount(), 0u); }
};

TEST_F(ServiceControlTest, InstallRegistersTheQuotedExecutableForAutomaticStart) {
    WriteSettings(
        u"[Service]\r\nServiceDisplayName=Zelvaro Region\r\n"
        u"ServiceDescription=Resets the country!\r\n");
    EXPECT_EQ(ZeInstallService(), 0);
    EXPECT_EQ(Value(kServiceKey, u"Type")->data, DwordBytes(SERVICE_WIN32_OWN_PROCESS));
    EXPECT_EQ(Value(kServiceKey, u"Start")->data, DwordBytes(SERVICE_AUTO_START));
    EXPECT_EQ(Value(kServiceKey, u"ErrorControl")->data, DwordBytes(SERVICE_ERROR_IGNORE));
    EXPECT_EQ(Value(kServiceKey, u"ImagePath")->data, Utf16Bytes(kQuotedExe, true));
    EXPECT_EQ(Value(kServiceKey, u"DisplayName")->data, Utf16Bytes(u"Zelvaro Region", true));
    EXPECT_EQ(Value(kServiceKey, u"ObjectName")->data, Utf16Bytes(u"LocalSystem", true));
    // 20 characters, passed as 40 bytes; the terminator after them is stored too.
    auto description = Value(kServiceKey, u"Description");
    ASSERT_TRUE(description);
    EXPECT_EQ(description->type, REG_SZ);
    EXPECT_EQ(description->data, Utf16Bytes(u"Resets the country!", true));
    EXPECT_EQ(LogMessages(), Lines{u"[ZeRegionSvc] ZeInstallService\r\n"});
    std::vector<std::string> journal = JournalLines();
    journal.resize(std::min<std::size_t>(journal.size(), 3));  // the event source's follow
    EXPECT_EQ(journal,
              (Journal{"CreateKey SYSTEM\\CurrentControlSet\\Services\\ZeRegionSvc",
                       "CreateService ZeRegionSvc",
                       "SetValue SYSTEM\\CurrentControlSet\\Services\\ZeRegionSvc \"Description\" "
                       "REG_SZ \"Resets the country!\""}));
    // Installed, not started.
    EXPECT_EQ(Scm().RuntimeOf(u"ZeRegionSvc").status.dwCurrentState, SERVICE_STOPPED);
    ExpectNoHandleLeft();
}

TEST_F(ServiceControlTest, InstallWithoutServiceSectionUsesTheDefaultsAndAnEmptyDescription) {
    EXPECT_EQ(ZeInstallService(), 0);
    EXPECT_EQ(StringValue(u"DisplayName"),
              std::u16string(u"Zelvaro Country Reset Service") + u'\0');
    auto description = Value(kServiceKey, u"Description");
    ASSERT_TRUE(description);
    EXPECT_EQ(description->type, REG_SZ);
    EXPECT_TRUE(description->data.empty());
}

// An upgrade installs over the registered service while the Services console, say,
// holds a handle to it: the service is changed in place, never marked for deletion.
TEST_F(ServiceControlTest, InstallingAgainChangesTheServiceInPlaceWhileAHandleIsOpen) {
    WriteSettings(u"[Service]\r\nServiceDescription=First\r\n");
    ASSERT_EQ(ZeInstallService(), 0);
    Reg().SetDword(kServiceKey, u"Start", SERVICE_DISABLED);
    Reg().SetString(kServiceKey, u"ImagePath", u"C:\\Old\\ZeRegionSvc.exe");
    UniqueServiceHandle manager(OS().OpenSCManagerW(nullptr, nullptr, SC_MANAGER_ALL_ACCESS));
    UniqueServiceHandle held(
        OS().OpenServiceW(manager.get(), u"ZeRegionSvc", SERVICE_QUERY_STATUS));
    ASSERT_TRUE(held);
    WriteSettings(u"[Service]\r\nServiceDisplayName=Fleet Wi-Fi\r\nServiceDescription=Second\r\n");
    ClearLog();
    ClearJournal();
    EXPECT_EQ(ZeInstallService(), 0);
    EXPECT_EQ(
        LogMessages(),
        (Lines{u"[ZeRegionSvc] ZeInstallService\r\n",
               u"[ZeRegionSvc] Service ZeRegionSvc exists, its configuration is updated\r\n"}));
    std::vector<std::string> journal = JournalLines();
    journal.resize(std::min<std::size_t>(journal.size(), 2));
    EXPECT_EQ(journal, (Journal{"ChangeService ZeRegionSvc",
                                "SetValue SYSTEM\\CurrentControlSet\\Services\\ZeRegionSvc "
                                "\"Description\" REG_SZ \"Second\""}));
    EXPECT_EQ(Value(kServiceKey, u"Start")->data, DwordBytes(SERVICE_AUTO_START));
    EXPECT_EQ(Value(kServiceKey, u"ImagePath")->data, Utf16Bytes(kQuotedExe, true));
    EXPECT_EQ(StringValue(u"DisplayName"), std::u16string(u"Fleet Wi-Fi") + u'\0');
    held.reset();
    manager.reset();
    EXPECT_TRUE(Scm().Exists(u"ZeRegionSvc"));
    EXPECT_FALSE(Scm().RuntimeOf(u"ZeRegionSvc").markedForDelete);
    ExpectNoHandleLeft();
}

// What the manager refuses when a service's configuration is changed, as Windows does.
TEST_F(ServiceControlTest, ChangingAServiceConfigurationIsCheckedAsWindowsChecksIt) {
    ASSERT_EQ(ZeInstallService(), 0);
    Reg().SetDword(u"SYSTEM\\CurrentControlSet\\Services\\Other", u"Type", 0x10);
    Reg().SetString(u"SYSTEM\\CurrentControlSet\\Services\\Other", u"DisplayName", u"Taken");
    UniqueServiceHandle manager(OS().OpenSCManagerW(nullptr, nullptr, SC_MANAGER_ALL_ACCESS));
    auto change = [&](DWORD access, DWORD start, const char16_t* displayName) {
        UniqueServiceHandle service(OS().OpenServiceW(manager.get(), u"ZeRegionSvc", access));
        OS().SetLastError(0);
        BOOL ok = OS().ChangeServiceConfigW(service.get(), SERVICE_NO_CHANGE, start,
                                            SERVICE_NO_CHANGE, nullptr, nullptr, nullptr, nullptr,
                                            nullptr, nullptr, displayName);
        return ok ? ERROR_SUCCESS : static_cast<LONG>(OS().GetLastError());
    };
    EXPECT_EQ(change(SERVICE_QUERY_STATUS, SERVICE_DEMAND_START, nullptr), ERROR_ACCESS_DENIED);
    EXPECT_EQ(change(SERVICE_CHANGE_CONFIG, 5, nullptr), ERROR_INVALID_PARAMETER);
    EXPECT_EQ(change(SERVICE_CHANGE_CONFIG, SERVICE_NO_CHANGE, u"taken"),
              ERROR_DUPLICATE_SERVICE_NAME);
    EXPECT_EQ(Value(kServiceKey, u"Start")->data, DwordBytes(SERVICE_AUTO_START));
    EXPECT_EQ(change(SERVICE_CHANGE_CONFIG, SERVICE_DEMAND_START, nullptr), ERROR_SUCCESS);
    EXPECT_EQ(Value(kServiceKey, u"Start")->data, DwordBytes(SERVICE_DEMAND_START));
    EXPECT_EQ(StringValue(u"DisplayName"),
              std::u16string(u"Zelvaro Country Reset Service") + u'\0');

    // Deleted while a handle is open: marked, and neither changed nor created again.
    UniqueServiceHandle held(
        OS().OpenServiceW(manager.get(), u"ZeRegionSvc", SERVICE_QUERY_STATUS));
    ASSERT_EQ(Run({u"/uninstall"}), 0);
    EXPECT_EQ(change(SERVICE_CHANGE_CONFIG, SERVICE_AUTO_START, nullptr),
              ERROR_SERVICE_MARKED_FOR_DELETE);
    ClearLog();
    EXPECT_EQ(ZeInstallService(), ZE_SVC_ERR_CREATE_SVC);
    EXPECT_EQ(LogMessages(), (Lines{u"[ZeRegionSvc] ZeInstallService\r\n",
                                    u"[ZeRegionSvc] ZE_SVC_ERR_CREATE_SVC\r\n"}));
}

TEST_F(ServiceControlTest, InstallKeepsTheServiceWhenItsKeyOrDescriptionCannotBeWritten) {
    struct Case {
        Call call;
        int result;
        const char16_t* message;
    };
    const Case cases[] = {
        {Call::RegOpenKeyExW, -4, u"[ZeRegionSvc] Open service key failed\r\n"},
        {Call::RegSetValueExW, -6, u"[ZeRegionSvc] Write service description failed\r\n"},
    };
    for (const Case& c : cases) {
        Reg().Delete(kServiceKey, true);
        Sim().ClearFaults();
        Sim().InjectFault(c.call, 0, ERROR_ACCESS_DENIED);
        ClearLog();
        EXPECT_EQ(ZeInstallService(), c.result) << c.call;
        EXPECT_EQ(LogMessages(), (Lines{u"[ZeRegionSvc] ZeInstallService\r\n", c.message}));
        EXPECT_TRUE(Scm().Exists(u"ZeRegionSvc"));
        EXPECT_FALSE(Value(kServiceKey, u"Description"));
        ExpectNoHandleLeft();
    }
}

TEST_F(ServiceControlTest, InstallRegistersALongExecutablePathWhole) {
    // 256 characters and more do not fit a 256-character buffer; the whole path is
    // registered, quoted.
    for (std::size_t length : {255u, 256u, 259u}) {
        Reg().Delete(kServiceKey, true);
        std::u16string directory = u"C:\\";
        std::u16string tail = u"\\ZeRegionSvc.exe";
        directory += std::u16string(length - directory.size() - tail.size(), u'd');
        std::u16string path = directory + tail;
        ASSERT_EQ(path.size(), length);
        Sim().Settings().modulePath = path;
        EXPECT_EQ(ZeInstallService(), 0);
        EXPECT_EQ(StringValue(u"ImagePath"), u"\"" + path + u"\"" + u'\0') << length;
    }
}

TEST_F(ServiceControlTest, OperationsThatCannotOpenTheManagerOrTheServiceFail) {
    struct Case {
        int (*operation)();
        const char16_t* name;
        bool installed;  // and then run without administrative rights
        int result;
    };
    const Case cases[] = {
        {ZeInstallService, u"ZeInstallService", true, ZE_SVC_ERR_OPEN_SCMGR},
        {ZeUninstallService, u"ZeUninstallService", true, ZE_SVC_ERR_OPEN_SCMGR},
        {ZeStartService, u"ZeStartService", true, ZE_SVC_ERR_OPEN_SCMGR},
        {ZeStopService, u"ZeStopService", true, ZE_SVC_ERR_OPEN_SCMGR},
        {ZeUninstallService, u"ZeUninstallService", false, ZE_SVC_ERR_OPEN_SVC},
        {ZeStartService, u"ZeStartService", false, ZE_SVC_ERR_OPEN_SVC},
        {ZeStopService, u"ZeStopService", false, ZE_SVC_ERR_OPEN_SVC},
    };
    for (const Case& c : cases) {
        Sim().Settings().administrator = true;
        if (c.installed && !Scm().Exists(u"ZeRegionSvc")) {
            ASSERT_EQ(ZeInstallService(), 0);
        } else if (!c.installed && Scm().Exists(u"ZeRegionSvc")) {
            ASSERT_EQ(ZeUninstallService(), 0);
        }
        Sim().Settings().administrator = !c.installed;
        ClearLog();
        ClearJournal();
        std::u16string error =
            c.result == ZE_SVC_ERR_OPEN_SCMGR ? u"ZE_SVC_ERR_OPEN_SCMGR" : u"ZE_SVC_ERR_OPEN_SVC";
        EXPECT_EQ(c.operation(), c.result) << Utf16ToUtf8(c.name);
        EXPECT_EQ(LogMessages(), (Lines{u"[ZeRegionSvc] " + std::u16string(c.name) + u"\r\n",
                                        u"[ZeRegionSvc] " + error + u"\r\n"}));
        EXPECT_TRUE(JournalLines().empty());
        EXPECT_EQ(Scm().Exists(u"ZeRegionSvc"), c.installed);
        ExpectNoHandleLeft();
    }
}

TEST_F(ServiceControlTest, StartStopAndDeleteReportTheManagersRefusals) {
    ASSERT_EQ(ZeInstallService(), 0);
    // Not running: the stop is refused.
    ClearLog();
    EXPECT_EQ(ZeStopService(), ZE_SVC_ERR_CONTROL_SVC);
    EXPECT_EQ(LogMessages(), (Lines{u"[ZeRegionSvc] ZeStopService\r\n",
                                    u"[ZeRegionSvc] ZE_SVC_ERR_CONTROL_SVC\r\n"}));
    // Started, it is pending until its process connects; a second start is refused,
    // and so is a stop while the start is pending.
    ClearLog();
    EXPECT_EQ(ZeStartService(), 0);
    EXPECT_EQ(ZeStartService(), ZE_SVC_ERR_START_SVC);
    EXPECT_EQ(ZeStopService(), ZE_SVC_ERR_CONTROL_SVC);
    EXPECT_EQ(LogMessages(),
              (Lines{u"[ZeRegionSvc] ZeStartService\r\n", u"[ZeRegionSvc] ZeStartService\r\n",
                     u"[ZeRegionSvc] ZE_SVC_ERR_START_SVC\r\n", u"[ZeRegionSvc] ZeStopService\r\n",
                     u"[ZeRegionSvc] ZE_SVC_ERR_CONTROL_SVC\r\n"}));
    Sim().InjectFault(Call::DeleteService, 0, ERROR_ACCESS_DENIED);
    ClearLog();
    EXPECT_EQ(ZeUninstallService(), ZE_SVC_ERR_DELETE_SVC);
    EXPECT_EQ(LogMessages(), (Lines{u"[ZeRegionSvc] ZeUninstallService\r\n",
                                    u"[ZeRegionSvc] ZE_SVC_ERR_DELETE_SVC\r\n"}));
    ExpectNoHandleLeft();
}

TEST_F(ServiceControlTest, UninstallingAStoppedServiceRemovesItsKey) {
    ASSERT_EQ(ZeInstallService(), 0);
    ClearLog();
    ClearJournal();
    EXPECT_EQ(Run({u"/uninstall"}), 0);
    EXPECT_EQ(
        LogLinesStartingWith({u"[ZeRegionSvc] Ze", u"[ZeRegionSvc] ZE_"}),
        (Lines{u"[ZeRegionSvc] ZeStopService\r\n", u"[ZeRegionSvc] ZE_SVC_ERR_CONTROL_SVC\r\n",
               u"[ZeRegionSvc] ZeUninstallService\r\n"}));
    EXPECT_EQ(
        JournalLines(),
        (Journal{
            "DeleteService ZeRegionSvc",
            "DeleteKey SYSTEM\\CurrentControlSet\\Services\\EventLog\\Application\\ZeRegionSvc",
            "DeleteKey SYSTEM\\CurrentControlSet\\Services\\ZeRegionSvc"}));
    EXPECT_FALSE(Reg().Find(kServiceKey));
    EXPECT_EQ(Run({u"/start"}), ZE_SVC_ERR_OPEN_SVC);
    ExpectNoHandleLeft();
}

TEST_F(ServiceControlTest, SetStartupTypeWritesTheStartValueStraightIntoTheRegistry) {
    ASSERT_EQ(ZeInstallService(), 0);
    ClearLog();
    ClearJournal();
    EXPECT_EQ(ZeSetSrvStartupType(u"ZeRegionSvc", SERVICE_DEMAND_START), 0);
    EXPECT_EQ(LogMessages(),
              (Lines{u"[ZeRegionSvc] ZeSetSrvStartupType, service name = ZeRegionSvc, startup "
                     u"type = 0x3\r\n",
                     u"[ZeRegionSvc] Write Registry Data=3\r\n"}));
    // The value keeps the name it was created with.
    EXPECT_EQ(JournalLines(), (Journal{"SetValue SYSTEM\\CurrentControlSet\\Services\\ZeRegionSvc "
                                       "\"start\" REG_DWORD 0x00000003"}));
    EXPECT_EQ(StartValue(), SERVICE_DEMAND_START);
}

TEST_F(ServiceControlTest, SetStartupTypeOfAServiceThatIsNotInstalledCreatesNothing) {
    for (const char16_t* name : {u"ZeRegionSvc", u""}) {
        ClearLog();
        EXPECT_EQ(ZeSetSrvStartupType(name, SERVICE_DEMAND_START), -4);
        EXPECT_EQ(LogMessages().back(), u"[ZeRegionSvc] Service " + std::u16string(name) +
                                            u" is not installed, start type not set\r\n");
    }
    EXPECT_FALSE(Reg().Find(kServiceKey));
    EXPECT_TRUE(JournalLines().empty());
}

TEST_F(ServiceControlTest, SetStartupTypeReportsAValueThatCannotBeWritten) {
    ASSERT_EQ(ZeInstallService(), 0);
    ClearLog();
    Sim().Settings().administrator = false;
    EXPECT_EQ(ZeSetSrvStartupType(u"ZeRegionSvc", SERVICE_DEMAND_START), -6);
    EXPECT_EQ(LogMessages(),
              (Lines{u"[ZeRegionSvc] ZeSetSrvStartupType, service name = ZeRegionSvc, startup "
                     u"type = 0x3\r\n",
                     u"[ZeRegionSvc] Open Key Failed!\r\n",
                     u"[ZeRegionSvc] Write service start failed\r\n"}));
    EXPECT_EQ(StartValue(), SERVICE_AUTO_START);
}

TEST_F(ServiceControlTest, CommandsAreMatchedIgnoringCaseAndReturnTheOperationsResult) {
    struct Case {
        const char16_t* argument;
        int result;
    };
    const Case cases[] = {
        {u"/Install", 0},
        {u"/INSTALL", 0},
        {u"/STOP", ZE_SVC_ERR_CONTROL_SVC},
        {u"/sTaRt", 0},
        {u"/start", ZE_SVC_ERR_START_SVC},
        {u"/UNINSTALL", 0},
        // Its start still pending, the service is only marked for deletion.
        {u"/uninstall", ZE_SVC_ERR_DELETE_SVC},
    };
    for (const Case& c : cases) {
        ClearLog();
        EXPECT_EQ(Run({c.argument}), c.result) << Utf16ToUtf8(c.argument);
        EXPECT_EQ(LogMessages().back(), u"[ZeRegionSvc] <-- _tmain()\r\n");
    }
    ExpectNoHandleLeft();
}

// The event source names the executable; a move updates it, another program's source
// of the same name is left alone, and uninstalling removes ours.
TEST_F(ServiceControlTest, TheEventSourceNamesTheExecutableAndIsNeverTakenOver) {
    const std::u16string key = kEventSourceKeyPath;
    auto messageFile = [&] { return Value(key, u"EventMessageFile"); };
    ASSERT_EQ(ZeInstallService(), 0);
    ASSERT_TRUE(messageFile());
    EXPECT_EQ(messageFile()->type, REG_EXPAND_SZ);
    EXPECT_EQ(messageFile()->data, Utf16Bytes(kExePath, true));
    EXPECT_EQ(Value(key, u"TypesSupported")->data, DwordBytes(7));

    Sim().Settings().modulePath = u"D:\\Tools\\ZeRegionSvc.exe";
    ClearJournal();
    EXPECT_EQ(ZeInstallService(), 0);
    EXPECT_EQ(messageFile()->data, Utf16Bytes(u"D:\\Tools\\ZeRegionSvc.exe", true));
    // The service's change and its description, then the source's two values.
    EXPECT_EQ(JournalLines().size(), 4u);
    Sim().Settings().modulePath = kExePath;

    Reg().SetString(key, u"EventMessageFile", u"C:\\Other\\Other.dll");
    ClearLog();
    EXPECT_EQ(Run({u"/uninstall"}), 0);
    EXPECT_EQ(ZeInstallService(), 0);
    EXPECT_EQ(Value(key, u"EventMessageFile")->data, Utf16Bytes(u"C:\\Other\\Other.dll", true));
    EXPECT_EQ(LogLinesStartingWith({u"[ZeRegionSvc] Event source"}),
              (Lines{2,
                     u"[ZeRegionSvc] Event source ZeRegionSvc belongs to C:\\Other\\Other.dll, "
                     u"left as it is\r\n"}));

    Reg().Delete(key, true);
    ASSERT_EQ(ZeInstallService(), 0);
    EXPECT_EQ(Run({u"/uninstall"}), 0);
    EXPECT_FALSE(Reg().Find(key));
}

}  // namespace
}  // namespace ze::testing
