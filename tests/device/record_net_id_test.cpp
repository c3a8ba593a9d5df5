#include "commands/commands.h"
#include "common/paths.h"
#include "service/service_fixture.h"

namespace ze::testing {
namespace {

using Lines = std::vector<std::u16string>;

class RecordNetIdTest : public ServiceTest {
  protected:
    Lines ActionLines() const {
        return LogLinesStartingWith({u"[ZeRegionSvc] Device", u"[ZeRegionSvc] Net ID",
                                     u"[ZeRegionSvc] Write Net ID", u"[ZeRegionSvc] SetupDi",
                                     u"[ZeRegionSvc] <-- _tmain"});
    }
};

TEST_F(RecordNetIdTest, AnAdapterFoundByHardwareIdHasItsNetIdRecorded) {
    WriteSettings(u"[Settings]\r\nRunTimes=5\r\n");
    EXPECT_EQ(Run({u"pci\\ven_14e4&dev_43a0"}), 0);
    EXPECT_EQ(GetIniString(u"DriverKey", u"NetID", u"(none)", kIniPath), u"0007");
    EXPECT_EQ(GetIniString(u"Settings", u"RunTimes", u"(none)", kIniPath), u"5");
    EXPECT_EQ(ActionLines(), (Lines{u"[ZeRegionSvc] Write Net ID = 0007 to ini\r\n",
                                    u"[ZeRegionSvc] <-- _tmain()\r\n"}));
}

TEST_F(RecordNetIdTest, AFailedLookupKeepsTheRecordedNetIdAndFails) {
    struct Case {
        const char16_t* argument;
        std::optional<Call> fault;
        int result;
        const char16_t* message;
        const char* console;
    };
    const Case cases[] = {
        {u"USB\\VID_0BDA", std::nullopt, -999, u"[ZeRegionSvc] Device not found by HW ID!\r\n",
         "ZeRegionSvc: recording the adapter USB\\VID_0BDA failed: no present network adapter's "
         "first hardware ID contains it (-999)\r\n"},
        {u"PCI\\VEN_14E4", Call::SetupDiGetClassDevsW, -7,
         u"[ZeRegionSvc] SetupDiGetClassDevs() return INVALID_HANDLE_VALUE\r\n",
         "ZeRegionSvc: recording the adapter PCI\\VEN_14E4 failed: the network adapters cannot "
         "be listed (-7)\r\n"},
    };
    for (const Case& c : cases) {
        WriteSettings(u"[DriverKey]\r\nNetID=0003\r\n");
        std::string before = SettingsBytes();
        Sim().ClearFaults();
        if (c.fault)
            Sim().InjectFault(*c.fault, 0, ERROR_INVALID_PARAMETER);
        ClearLog();
        ClearJournal();
        std::size_t shown = Sim().StandardStream(STD_ERROR_HANDLE).size();
        EXPECT_EQ(Run({c.argument}), c.result) << Utf16ToUtf8(c.argument);
        EXPECT_EQ(Sim().StandardStream(STD_ERROR_HANDLE).substr(shown), c.console);
        EXPECT_EQ(SettingsBytes(), before);
        EXPECT_TRUE(JournalLines().empty());
        EXPECT_EQ(
            ActionLines(),
            (Lines{c.message,
                   u"[ZeRegionSvc] Net ID not recorded, the settings file keeps its Net ID\r\n",
                   u"[ZeRegionSvc] <-- _tmain()\r\n"}))
            << Utf16ToUtf8(c.argument);
    }
}

// An empty ID would match every adapter; a mistyped command is no hardware ID.
TEST_F(RecordNetIdTest, AnEmptyIdOrAMistypedCommandIsRefusedWithUsageAndRecordsNothing) {
    const struct {
        const char16_t* argument;
        const char* reason;
    } cases[] = {{u"", "the hardware ID is empty"},
                 {u"/instal", "unknown command /instal"},
                 {u"-debug", "unknown command -debug"}};
    for (const auto& c : cases) {
        WriteSettings(u"[DriverKey]\r\nNetID=0003\r\n");
        std::string before = SettingsBytes();
        ClearLog();
        std::size_t shown = Sim().StandardStream(STD_ERROR_HANDLE).size();
        EXPECT_EQ(Run({c.argument}), ZE_EXIT_USAGE);
        EXPECT_EQ(SettingsBytes(), before);
        EXPECT_TRUE(JournalLines().empty());
        EXPECT_EQ(Sim().StandardStream(STD_ERROR_HANDLE).substr(shown),
                  "ZeRegionSvc: " + std::string(c.reason) + ".\r\n\r\n" + Utf16ToUtf8(UsageText()));
        EXPECT_EQ(ActionLines(), (Lines{u"[ZeRegionSvc] <-- _tmain()\r\n"}));
    }
}

TEST_F(RecordNetIdTest, ASettingsFileThatCannotBeWrittenFailsTheAction) {
    Sim().InjectFault(Call::WritePrivateProfileStringW, 0, ERROR_ACCESS_DENIED);
    EXPECT_EQ(Run({u"VEN_14E4"}), -6);
    EXPECT_EQ(ActionLines(), (Lines{u"[ZeRegionSvc] Write Net ID = 0007 to ini\r\n",
                                    u"[ZeRegionSvc] Write Net ID to ini failed\r\n",
                                    u"[ZeRegionSvc] <-- _tmain()\r\n"}));
}

}  // namespace
}  // namespace ze::testing
