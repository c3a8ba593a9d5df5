#include <filesystem>

#include "country/country.h"
#include "country_fixture.h"

namespace ze::testing {
namespace {

constexpr char16_t kFullDat[] =
    u"[Settings]\r\nCarrierDetect=USA,CAN\r\nIEEE80211H=JPN,USA\r\n"
    u"[RegionChannel2_4G]\r\nUSA=0\r\nJPN=5\r\n"
    u"[RegionChannel5G]\r\nUSA=7\r\nJPN=1\r\n"
    u"[CountryTxPwr]\r\nUSA=112\r\n"
    u"[CountryTxPwr5G]\r\nUSA=10,12,14,16\r\n"
    u"[CountryWirelessMode]\r\nUSA=11101110\r\nJPN=10001000\r\n";

constexpr char16_t kOneValueFile[] = u"[Item1]\r\nRegName=SampleText\r\nRegValue=abc\r\n";

class CountryResetTest : public CountryTest {
  protected:
    void SetUp() override {
        AddDriverKey();
        WriteDat(kFullDat);
        WritePlatformFile(kOneValueFile);
    }

    static Changed UsaChanges() {
        return {SzLine("CountryRegion", u"0"),
                SzLine("CountryRegionABand", u"7"),
                SzLine("CarrierDetect", u"1"),
                SzLine("IEEE80211H", u"1"),
                DwordLine("CountryTxPwr", 12),
                DwordLine("CountryTxPwr5G", 0x0A0C0E10),
                DwordLine("CountryWirelessMode", 0x11101110),
                SzLine("WirelessMode", u"5"),
                SzLine("SampleText", u"abc")};
    }
};

TEST_F(CountryResetTest, FullResetForTheSystemCountryLogsEveryStepInOrder) {
    EXPECT_EQ(ResetCountrySettings(kNetId, kDatPath), 1);
    EXPECT_EQ(Changes(), UsaChanges());
    EXPECT_EQ(LogMessages(),
              (Lines{
                  u"[ZeRegionSvc] strWindowsCountry = USA\r\n",
                  u"[ZeRegionSvc] dwCoInstOpt = 0x3F\r\n",
                  u"[ZeRegionSvc] =====> Set CountryRegion: USA\r\n",
                  u"[ZeRegionSvc] Write Registry Data=0\r\n",
                  u"[ZeRegionSvc] Registry CountryRegion = 0\r\n",
                  u"[ZeRegionSvc] Write Registry Data=7\r\n",
                  u"[ZeRegionSvc] Registry CountryRegionABand = 7\r\n",
                  u"[ZeRegionSvc] =====> Set CarrierDetect: USA,CAN\r\n",
                  u"[ZeRegionSvc] Write Registry Data=1\r\n",
                  u"[ZeRegionSvc] =====> Set IEEE802.11H: JPN,USA\r\n",
                  u"[ZeRegionSvc] Write Registry Data=1\r\n",
                  u"[ZeRegionSvc] =====> Set Country Tx Power\r\n",
                  u"[ZeRegionSvc] Write Registry Data=C\r\n",
                  u"[ZeRegionSvc] Write Registry Data=A0C0E10\r\n",
                  u"[ZeRegionSvc] =====> Set Country Wireless Mode\r\n",
                  u"[ZeRegionSvc] Write Registry Data=11101110\r\n",
                  u"[ZeRegionSvc] Write Registry Data=5\r\n",
                  u"[ZeRegionSvc] =====> Remove AdHoc N mode from driver property if N is not "
                  u"allowed\r\n",
                  u"[ZeRegionSvc] Write Registry Data=abc\r\n",
              }));
}

TEST_F(CountryResetTest, JapaneseSystemWithChannel14DisabledDropsAdHocN) {
    Sim().Settings().systemLocale = 0x0411;
    Reg().SetString(kDriverKey, u"InitChn14Disabled", u"1");
    EXPECT_EQ(ResetCountrySettings(kNetId, kDatPath), 1);
    EXPECT_EQ(Changes(), (Changed{
                             SzLine("CountryRegion", u"1"),
                             SzLine("CountryRegionABand", u"1"),
                             SzLine("IEEE80211H", u"1"),
                             DwordLine("CountryTxPwr", 12),
                             DwordLine("CountryTxPwr5G", 0x0A0C0E10),
                             DwordLine("CountryWirelessMode", 0x10001000),
                             SzLine("WirelessMode", u"3"),
                             "DeleteKey DRV\\NDI\\params\\AdhocNMode\\enum",
                             "DeleteKey DRV\\NDI\\params\\AdhocNMode",
                             SzLine("SampleText", u"abc"),
                         }));
    Lines log = LogMessages();
    ASSERT_GE(log.size(), 4u);
    EXPECT_EQ(log[0], u"[ZeRegionSvc] strWindowsCountry = JPN\r\n");
    EXPECT_EQ(log[log.size() - 2],
              u"[ZeRegionSvc] RemoveAdHocNMode: " + std::u16string(kAdHocKey) + u"\n");
}

TEST_F(CountryResetTest, EachOptionBitSwitchesItsOwnStep) {
    // The driver starts in a mode without 802.11n: the ad-hoc N step removes the
    // property unless the wireless mode step has just written a mode with it.
    const Changed removed = {"DeleteKey DRV\\NDI\\params\\AdhocNMode\\enum",
                             "DeleteKey DRV\\NDI\\params\\AdhocNMode"};
    const std::string sample = SzLine("SampleText", u"abc");
    struct Case {
        std::u16string mask;
        std::u16string logged;
        Changed changes;
    };
    const Changed all = UsaChanges();
    const Case cases[] = {
        {u"00000000", u"0x00", {sample}},
        {u"11000000", u"0xC0", {sample}},
        {u"00000001", u"0x01", {all[0], all[1], sample}},
        {u"00000010", u"0x02", {all[2], sample}},
        {u"00000100", u"0x04", {all[3], sample}},
        {u"00001000", u"0x08", {all[4], all[5], sample}},
        {u"00010000", u"0x10", {all[6], all[7], sample}},
        {u"00100000", u"0x20", {removed[0], removed[1], sample}},
        {u"00110000", u"0x30", {all[6], all[7], sample}},
        {u"11111111", u"0xFF", all},
    };
    for (const Case& c : cases) {
        AddDriverKey(c.mask);
        Reg().SetString(kDriverKey, u"WirelessMode", u"2");
        ClearJournal();
        ClearLog();
        std::string what = Utf16ToUtf8(c.mask);
        EXPECT_EQ(ResetCountrySettings(kNetId, kDatPath), 1) << what;
        EXPECT_EQ(Changes(), c.changes) << what;
        Lines log = LogMessages();
        ASSERT_GE(log.size(), 2u) << what;
        EXPECT_EQ(log[1], u"[ZeRegionSvc] dwCoInstOpt = " + c.logged + u"\r\n") << what;
    }
}

TEST_F(CountryResetTest, CountryFlagsAreSwitchedOnForListedCodesOnly) {
    struct Case {
        const char16_t* settings;  // [Settings] lines
        std::u16string country;
        bool written;
        std::u16string logged;
    };
    const Case cases[] = {
        {u"", u"USA", false, u"Disabled"},
        {u"CarrierDetect=USA,CAN\r\n", u"USA", true, u"USA,CAN"},
        // Nothing is written, and an earlier "1" would stay.
        {u"CarrierDetect=USA,CAN\r\n", u"JPN", false, u"USA,CAN"},
        {u"CarrierDetect=usa\r\n", u"USA", false, u"usa"},
        // Only "Disabled" itself is disabled; the substring test decides the rest.
        {u"CarrierDetect=disabled\r\n", u"sab", true, u"disabled"},
        {u"CarrierDetect=Disabled\r\n", u"sab", false, u"Disabled"},
        {u"CarrierDetect=CAN\r\n", u"", true, u"CAN"},
    };
    AddDriverKey(u"00000010");
    for (const Case& c : cases) {
        WriteDat(u"[Settings]\r\nWindowsCountry=" + c.country + u"\r\n" + c.settings);
        ClearJournal();
        ClearLog();
        std::string what = Utf16ToUtf8(c.settings) + "/" + Utf16ToUtf8(c.country);
        EXPECT_EQ(ResetCountrySettings(kNetId, kDatPath), 1) << what;
        Changed expected;
        if (c.written) {
            expected.push_back(SzLine("CarrierDetect", u"1"));
        }
        expected.push_back(SzLine("SampleText", u"abc"));
        EXPECT_EQ(Changes(), expected) << what;
        Lines log = LogMessages();
        ASSERT_GE(log.size(), 3u) << what;
        EXPECT_EQ(log[2], u"[ZeRegionSvc] =====> Set CarrierDetect: " + c.logged + u"\r\n") << what;
    }
}

TEST_F(CountryResetTest, ResultIsOneAsSoonAsAnyStepWrote) {
    struct Case {
        const char* what;
        std::u16string mask;
        bool platformFile;
        std::optional<Call> fault;  // every call of it fails; nullptr: none
        int result;
    };
    const Case cases[] = {
        {"nothing due", u"00000000", false, std::nullopt, 0},
        {"platform file only", u"00000000", true, std::nullopt, 1},
        {"one step only", u"00000010", false, std::nullopt, 1},
        {"ad-hoc N removal adds nothing", u"00100000", false, std::nullopt, 0},
        {"every write fails", u"00111111", false, Call::RegSetValueExW, 0},
        {"every write fails, file exists", u"00111111", true, Call::RegSetValueExW, 1},
    };
    for (const Case& c : cases) {
        AddDriverKey(c.mask);
        Reg().SetString(kDriverKey, u"WirelessMode", u"2");
        std::filesystem::remove(Sim().HostPath(kPlatformFile));
        if (c.platformFile) {
            WritePlatformFile(kOneValueFile);
        }
        Sim().ClearFaults();
        if (c.fault) {
            Sim().InjectFault(*c.fault, 0, ERROR_ACCESS_DENIED);
        }
        EXPECT_EQ(ResetCountrySettings(kNetId, kDatPath), c.result) << c.what;
    }
}

TEST_F(CountryResetTest, NetIdThatNamesNoDriverInstanceIsRefused) {
    struct Case {
        std::u16string netId;
        std::u16string logged;
    };
    const std::u16string tooLong(23, u'0');
    const Case cases[] = {
        {u"", u"[ZeRegionSvc] No Net ID, country settings not reset\r\n"},
        {u"0007\\NDI\\params",
         u"[ZeRegionSvc] Net ID 0007\\NDI\\params is not a driver instance, country settings not "
         u"reset\r\n"},
        {u"\\0007",
         u"[ZeRegionSvc] Net ID \\0007 is not a driver instance, country settings not "
         u"reset\r\n"},
        {tooLong, u"[ZeRegionSvc] Net ID " + tooLong +
                      u" is not a driver instance, country settings not reset\r\n"},
        {u"0008", u"[ZeRegionSvc] No driver key for Net ID 0008, country settings not reset\r\n"},
    };
    // Even a file for a machine without a recognisable adapter is not applied.
    WriteTextFile(u"C:\\windows\\system32\\ZC.ini", kOneValueFile);
    Reg().SetString(std::u16string(kDriverKey) + u"\\NDI\\params", u"MatchingDeviceId", kPciId);
    for (const Case& c : cases) {
        ClearJournal();
        ClearLog();
        EXPECT_EQ(ResetCountrySettings(c.netId, kDatPath), 0) << Utf16ToUtf8(c.netId);
        EXPECT_EQ(LogMessages(), Lines{c.logged}) << Utf16ToUtf8(c.netId);
        EXPECT_EQ(JournalLines(), std::vector<std::string>{}) << Utf16ToUtf8(c.netId);
    }
    // The longest Net ID whose paths fit is accepted.
    ClearLog();
    EXPECT_EQ(ResetCountrySettings(std::u16string(22, u'0'), kDatPath), 0);
    EXPECT_EQ(LogMessages(), Lines{u"[ZeRegionSvc] No driver key for Net ID " +
                                   std::u16string(22, u'0') + u", country settings not reset\r\n"});
}

// No country code: nothing is looked up under a guessed one; the platform file applies.
TEST_F(CountryResetTest, WithoutACountryCodeOnlyThePlatformSettingsAreWritten) {
    Sim().InjectFault(Call::GetLocaleInfoW, 0, ERROR_INSUFFICIENT_BUFFER);
    EXPECT_EQ(ResetCountrySettings(kNetId, kDatPath), 1);
    EXPECT_EQ(Changes(), (Changed{"ReportEvent ZeRegionSvc Warning 1006 \"C:\\\\Program "
                                  "Files\\\\Zelvaro\\\\ZeCoInst.dat\"",
                                  SzLine("SampleText", u"abc")}));
    Lines log = LogMessages();
    ASSERT_GE(log.size(), 3u);
    EXPECT_EQ(Lines(log.begin(), log.begin() + 3),
              (Lines{u"[ZeRegionSvc] GetLocaleInfo() failed, no country code\r\n",
                     u"[ZeRegionSvc] dwCoInstOpt = 0x3F\r\n",
                     u"[ZeRegionSvc] No country code, country settings skipped\r\n"}));
}

TEST_F(CountryResetTest, BadInputGivesItsLoggedOutcomeAndWritesOnlyUnderTheDriverKey) {
    struct Case {
        const char* what;
        const char16_t* dat;  // nullptr: no country data file
        bool administrator;
        int result;
        Changed changes;
        std::u16string country;
    };
    const Changed all = UsaChanges();
    const std::u16string datWith = kFullDat;
    const std::u16string unlisted = u"[Settings]\r\nWindowsCountry=XYZ\r\n" + datWith.substr(12);
    const std::u16string lowerJpn = u"[Settings]\r\nWindowsCountry=jpn\r\n" + datWith.substr(12);
    const std::u16string empty = u"[Settings]\r\nWindowsCountry=\r\n" + datWith.substr(12);
    const Case cases[] = {
        {"no data file", nullptr, true, 1, {all[8]}, u"USA"},
        {"unlisted code",
         unlisted.c_str(),
         true,
         1,
         {all[4], all[5], all[6], all[7], all[8]},
         u"XYZ"},
        // The file's keys match whatever their case, but "jpn" is neither the Japanese
        // case nor listed in "JPN,USA".
        {"lower-case jpn",
         lowerJpn.c_str(),
         true,
         1,
         {SzLine("CountryRegion", u"5"), SzLine("CountryRegionABand", u"1"), all[4], all[5],
          DwordLine("CountryWirelessMode", 0x10001000), SzLine("WirelessMode", u"3"),
          "DeleteKey DRV\\NDI\\params\\AdhocNMode\\enum", "DeleteKey DRV\\NDI\\params\\AdhocNMode",
          all[8]},
         u"jpn"},
        // The empty code occurs in every list.
        {"empty code",
         empty.c_str(),
         true,
         1,
         {all[2], all[3], all[4], all[5], all[6], all[7], all[8]},
         u""},
        // The platform settings file exists, whatever became of its writes.
        {"not administrator", kFullDat, false, 1, {}, u"USA"},
    };
    for (const Case& c : cases) {
        AddDriverKey();
        Reg().SetString(kDriverKey, u"InitChn14Disabled", u"1");
        std::filesystem::remove(Sim().HostPath(kDatPath));
        if (c.dat != nullptr) {
            WriteDat(c.dat);
        }
        Sim().Settings().administrator = c.administrator;
        ClearJournal();
        ClearLog();
        EXPECT_EQ(ResetCountrySettings(kNetId, kDatPath), c.result) << c.what;
        EXPECT_EQ(Changes(), c.changes) << c.what;
        Lines log = LogMessages();
        ASSERT_FALSE(log.empty()) << c.what;
        EXPECT_EQ(log[0], u"[ZeRegionSvc] strWindowsCountry = " + c.country + u"\r\n") << c.what;
    }
}

}  // namespace
}  // namespace ze::testing
