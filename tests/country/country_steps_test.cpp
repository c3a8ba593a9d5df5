#include <filesystem>
#include <optional>

#include "country/country.h"
#include "country_fixture.h"

namespace ze::testing {
namespace {

// One band's entries in the data file, the driver's range text and the value that
// the country code JPN then gets (none: nothing is written).
struct TxPowerCase {
    const char16_t* entries;
    const char16_t* range;  // nullptr: no range value
    std::optional<DWORD> written;
};

class CountryStepTest : public CountryTest {
  protected:
    void CheckTxPower(const std::u16string& section, const char16_t* rangeName,
                      const std::string& valueName, const TxPowerCase& c) {
        WriteDat(u"[" + section + u"]\r\n" + c.entries + u"\r\n");
        Reg().ClearValues(Reg().Create(kDriverKey));
        if (c.range != nullptr) {
            Reg().SetString(kDriverKey, rangeName, c.range);
        }
        ClearJournal();
        std::string what = Utf16ToUtf8(c.entries) + (c.range ? " " + Utf16ToUtf8(c.range) : "");
        EXPECT_EQ(SetCountryTxPower(kDriverKey, u"JPN", kDatPath), c.written.has_value()) << what;
        EXPECT_EQ(Changes(), c.written ? Changed{DwordLine(valueName, *c.written)} : Changed{})
            << what;
    }
};

// ---- country code ----

TEST_F(CountryStepTest, CountryCodeComesFromTheDataFileOrALocale) {
    struct Case {
        const char16_t* dat;  // nullptr: no country data file
        LCID systemLocale;
        LCID userLocale;
        std::u16string code;
    };
    const Case cases[] = {
        {nullptr, 0x0411, 0x0409, u"JPN"},
        {u"[Settings]\r\nCarrierDetect=USA\r\n", 0x0409, 0x0411, u"USA"},
        {u"[Settings]\r\nWindowsCountry=LOCALE_SYSTEM_DEFAULT\r\n", 0x0411, 0x0409, u"JPN"},
        {u"[Settings]\r\nWindowsCountry=LOCALE_USER_DEFAULT\r\n", 0x0409, 0x0411, u"JPN"},
        {u"[Settings]\r\nWindowsCountry=JPN\r\n", 0x0409, 0x0409, u"JPN"},
        {u"[Settings]\r\nWindowsCountry=XYZ\r\n", 0x0409, 0x0409, u"XYZ"},
        {u"[Settings]\r\nWindowsCountry=jpn\r\n", 0x0411, 0x0411, u"jpn"},
        {u"[Settings]\r\nWindowsCountry=locale_system_default\r\n", 0x0411, 0x0411,
         u"locale_system_default"},
        {u"[Settings]\r\nWindowsCountry=\r\n", 0x0411, 0x0411, u""},
    };
    for (const Case& c : cases) {
        std::filesystem::remove(Sim().HostPath(kDatPath));
        if (c.dat != nullptr) {
            WriteDat(c.dat);
        }
        Sim().Settings().systemLocale = c.systemLocale;
        Sim().Settings().userLocale = c.userLocale;
        ClearLog();
        EXPECT_EQ(GetWindowsCountry(kDatPath), c.code) << (c.dat ? Utf16ToUtf8(c.dat) : "no file");
        EXPECT_EQ(LogMessages(), Lines{u"[ZeRegionSvc] strWindowsCountry = " + c.code + u"\r\n"});
    }
}

TEST_F(CountryStepTest, LocaleThatCannotAnswerGivesNoCode) {
    Sim().InjectFault(Call::GetLocaleInfoW, 0, ERROR_INSUFFICIENT_BUFFER);
    EXPECT_EQ(GetWindowsCountry(kDatPath), std::nullopt);
    EXPECT_EQ(LogMessages(), Lines{u"[ZeRegionSvc] GetLocaleInfo() failed, no country code\r\n"});
}

// ---- option mask and channel 14 flag ----

TEST_F(CountryStepTest, OptionMaskIsReadFromEightBinaryDigits) {
    const std::u16string wrongType = u"[ZeRegionSvc] registry ZeCoInstOpt incorrect type\r\n";
    const std::u16string unreadable = u"[ZeRegionSvc] Failed to get dwCoInstOpt!\r\n";
    const std::u16string malformed =
        u"[ZeRegionSvc] registry ZeCoInstOpt is not eight binary digits\r\n";
    struct Case {
        const char* what;
        DWORD type;  // REG_NONE: no value
        std::vector<BYTE> data;
        DWORD mask;
        Lines log;
    };
    const Case cases[] = {
        {"missing", REG_NONE, {}, 0x3F, {unreadable}},
        {"00111111", REG_SZ, Utf16Bytes(u"00111111", true), 0x3F, {}},
        {"00000101", REG_SZ, Utf16Bytes(u"00000101", true), 0x05, {}},
        {"00000000", REG_SZ, Utf16Bytes(u"00000000", true), 0x00, {}},
        {"top bits kept", REG_SZ, Utf16Bytes(u"11000001", true), 0xC1, {}},
        {"ten digits", REG_SZ, Utf16Bytes(u"0000001111", true), 0x03, {}},
        {"no terminator", REG_SZ, Utf16Bytes(u"00000110"), 0x06, {}},
        {"DWORD 1", REG_DWORD, DwordBytes(1), 0x3F, {wrongType}},
        {"short", REG_SZ, Utf16Bytes(u"0000001", true), 0x3F, {malformed}},
        {"empty", REG_SZ, {}, 0x3F, {malformed}},
        {"blank", REG_SZ, Utf16Bytes(u" 00000001", true), 0x3F, {malformed}},
        {"66 bytes", REG_SZ, Utf16Bytes(std::u16string(32, u'1'), true), 0x3F, {unreadable}},
        {"64 bytes", REG_SZ, Utf16Bytes(std::u16string(32, u'1')), 0xFF, {}},
    };
    for (const Case& c : cases) {
        Reg().ClearValues(Reg().Create(kDriverKey));
        if (c.type != REG_NONE) {
            Reg().SetValue(kDriverKey, u"ZeCoInstOpt", c.type, c.data);
        }
        ClearLog();
        EXPECT_EQ(GetCoInstOpt(kDriverKey), c.mask) << c.what;
        EXPECT_EQ(LogMessages(), c.log) << c.what;
    }
    ClearLog();
    EXPECT_EQ(GetCoInstOpt(std::u16string(kDriverKey) + u"8"), 0x3Fu);
    EXPECT_EQ(LogMessages(), Lines{u"[ZeRegionSvc] Failed to open Registry Key!\r\n"});
}

TEST_F(CountryStepTest, ChannelFourteenFlagIsExactlyTheTextOne) {
    struct Case {
        const char* what;
        DWORD type;  // REG_NONE: no value
        std::vector<BYTE> data;
        bool disabled;
    };
    const Case cases[] = {
        {"1", REG_SZ, Utf16Bytes(u"1", true), true},
        {"1 without terminator", REG_SZ, Utf16Bytes(u"1"), true},
        {"0", REG_SZ, Utf16Bytes(u"0", true), false},
        {"10", REG_SZ, Utf16Bytes(u"10", true), false},
        {"DWORD 1", REG_DWORD, DwordBytes(1), false},
        {"missing", REG_NONE, {}, false},
        {"longer than 128 bytes", REG_SZ, Utf16Bytes(u"1" + std::u16string(64, u'\0')), false},
    };
    for (const Case& c : cases) {
        Reg().ClearValues(Reg().Create(kDriverKey));
        if (c.type != REG_NONE) {
            Reg().SetValue(kDriverKey, u"InitChn14Disabled", c.type, c.data);
        }
        EXPECT_EQ(IsInitChn14Disabled(kDriverKey), c.disabled) << c.what;
    }
    EXPECT_TRUE(LogMessages().empty());
}

// ---- country region ----

constexpr char16_t kRegionDat[] =
    u"[RegionChannel2_4G]\r\nJPN=5\r\nUSA=0\r\n"
    u"[RegionChannel5G]\r\nJPN=1\r\nUSA=7\r\nONLY5=9\r\n";

TEST_F(CountryStepTest, RegionIsLookedUpPerBandWithTheJapaneseChannel14Case) {
    WriteDat(kRegionDat);
    struct Case {
        std::u16string country;
        const char16_t* initChn14Disabled;  // nullptr: no value
        bool result;
        std::u16string region;  // "": not written
        std::u16string regionABand;
    };
    const Case cases[] = {
        {u"JPN", u"1", true, u"1", u"1"},
        {u"JPN", nullptr, true, u"5", u"1"},
        {u"JPN", u"0", true, u"5", u"1"},
        // Not the special case; the file's keys match whatever their case.
        {u"jpn", u"1", true, u"5", u"1"},
        {u"USA", u"1", true, u"0", u"7"},
        {u"ONLY5", nullptr, true, u"", u"9"},
        {u"XYZ", nullptr, false, u"", u""},
    };
    for (const Case& c : cases) {
        Reg().ClearValues(Reg().Create(kDriverKey));
        if (c.initChn14Disabled != nullptr) {
            Reg().SetString(kDriverKey, u"InitChn14Disabled", c.initChn14Disabled);
        }
        ClearLog();
        ClearJournal();
        std::string what = Utf16ToUtf8(c.country);
        EXPECT_EQ(SetCountryRegion(kDriverKey, c.country, kDatPath), c.result) << what;
        Changed changes;
        Lines log;
        for (auto [name, text] : {std::pair<std::string, std::u16string>{"CountryRegion", c.region},
                                  {"CountryRegionABand", c.regionABand}}) {
            if (!text.empty()) {
                changes.push_back(SzLine(name, text));
                log.push_back(u"[ZeRegionSvc] Write Registry Data=" + text + u"\r\n");
            }
            log.push_back(u"[ZeRegionSvc] Registry " + Utf8ToUtf16(name) + u" = " + text + u"\r\n");
        }
        EXPECT_EQ(Changes(), changes) << what;
        EXPECT_EQ(LogMessages(), log) << what;
    }
}

// A failed write is logged and the step's other write still goes ahead; the step
// fails only when nothing could be written.
TEST_F(CountryStepTest, EachWriteOfAStepFailsApart) {
    using Step = bool (*)(std::u16string, std::u16string, const std::u16string&);
    const std::u16string failed = u"[ZeRegionSvc] Write Registry Failed\r\n";
    const char16_t txPowerDat[] =
        u"[CountryTxPwr]\r\nUSA=112\r\n[CountryTxPwr5G]\r\nUSA=10,12,14,16\r\n";
    struct Case {
        const char* what;
        Step step;
        const char16_t* dat;
        int occurrence;  // of RegSetValueExW that fails; 0: every one
        bool result;
        Lines log;
        Changed changes;
    };
    // clang-format off
    const Case cases[] = {
        {"region", SetCountryRegion, kRegionDat, 1, true,
         {failed, u"[ZeRegionSvc] Registry CountryRegion = 0\r\n",
          u"[ZeRegionSvc] Write Registry Data=7\r\n",
          u"[ZeRegionSvc] Registry CountryRegionABand = 7\r\n"},
         {SzLine("CountryRegionABand", u"7")}},
        {"region", SetCountryRegion, kRegionDat, 0, false, {}, {}},
        {"tx power", SetCountryTxPower, txPowerDat, 1, true,
         {failed, u"[ZeRegionSvc] Write Registry Data=A0C0E10\r\n"},
         {DwordLine("CountryTxPwr5G", 0x0A0C0E10)}},
        {"tx power", SetCountryTxPower, txPowerDat, 0, false, {}, {}},
        {"wireless mode", SetCountryWirelessMode, u"[CountryWirelessMode]\r\nUSA=1110\r\n", 1, true,
         {failed, u"[ZeRegionSvc] Write Registry Data=9\r\n"}, {SzLine("WirelessMode", u"9")}},
    };
    // clang-format on
    for (const Case& c : cases) {
        WriteDat(c.dat);
        Reg().ClearValues(Reg().Create(kDriverKey));
        Sim().ClearFaults();
        Sim().InjectFault(Call::RegSetValueExW, c.occurrence, ERROR_ACCESS_DENIED);
        ClearLog();
        ClearJournal();
        EXPECT_EQ(c.step(kDriverKey, u"USA", kDatPath), c.result) << c.what;
        EXPECT_EQ(Changes(), c.changes) << c.what;
        if (c.result) {
            EXPECT_EQ(LogMessages(), c.log) << c.what;
        }
    }
}

TEST_F(CountryStepTest, RegionTextTooLongForItsBufferIsNotWritten) {
    std::u16string longest(255, u'7');
    std::u16string tooLong(256, u'8');
    WriteDat(u"[RegionChannel2_4G]\r\nUSA=" + longest + u"\r\n[RegionChannel5G]\r\nUSA=" + tooLong +
             u"\r\n");
    Reg().Create(kDriverKey);
    EXPECT_TRUE(SetCountryRegion(kDriverKey, u"USA", kDatPath));
    EXPECT_EQ(Changes(), Changed{SzLine("CountryRegion", longest)});
    Lines log = LogMessages();
    ASSERT_EQ(log.size(), 4u);
    EXPECT_EQ(log[2],
              u"[ZeRegionSvc] CountryRegionABand text longer than 255 characters, not written\r\n");
}

// ---- transmit power ----

TEST_F(CountryStepTest, TransmitPowerIsTakenFromTheEntryAndBoundedByTheDriversRanges) {
    const TxPowerCase cases[] = {
        {u"JPN=0\r\nUSA=112", nullptr, 12},  // 0 is no entry: "USA" stands in
        {u"JPN=7\r\nUSA=112", nullptr, 7},
        {u"USA=100", nullptr, 0},
        {u"USA=120", u"5-12", 12},
        {u"USA=103", u"5-12", 5},
        {u"USA=108", u"5-12", 8},
        {u"USA=120", u"12-5", 5},            // the upper end first
        {u"USA=103", u"-1-12", 0xFFFFFFFF},  // unsigned: -1 is the largest
        {u"USA=-105", u"5-12", 12},          // -5, unsigned
        {u"USA=103", u"5-x", 5},             // only the lower end bounds
        {u"USA=120", u"none", 20},
        {u"CAN=12", nullptr, std::nullopt},
    };
    for (const TxPowerCase& c : cases) {
        CheckTxPower(u"CountryTxPwr", u"InitTxPwrRange", "CountryTxPwr", c);
    }
}

TEST_F(CountryStepTest, FiveGigahertzPowersFillOneByteEachBoundedBySignedRanges) {
    const TxPowerCase cases[] = {
        {u"USA=10,12,14,16", nullptr, 0x0A0C0E10},
        {u"USA=10,12,14,16", u"0-11,0-11,0-11,0-11", 0x0A0B0B0B},
        {u"USA=10,12,14,16", u"-5-11,-5-11,-5-11,-5-11", 0x0A0B0B0B},  // signed
        {u"USA=10,3,14,16", u"12-5,12-5,0-99,0-99", 0x050C0E10},       // upper end first
        {u"USA=10,12,14,16", u"0-11,0-11,0-11", 0x0A0B0B10},           // three ranges
        {u"JPN=7,8,9,10\r\nUSA=10,12,14,16", nullptr, 0x0708090A},
        {u"USA=10,12", u"3-11,3-11,3-11,3-11", 0x0A0B0303},  // missing numbers are 0
        {u"USA=123,4,5,6", nullptr, 0x0C000000},             // two characters a field
        {u"USA=10,-1,14,16", nullptr, 0xFFFF0E10},           // not masked
        {u"CAN=1,2,3,4", nullptr, std::nullopt},
    };
    for (const TxPowerCase& c : cases) {
        CheckTxPower(u"CountryTxPwr5G", u"InitTxPwrRange5G", "CountryTxPwr5G", c);
    }
    // The fourth number is the first byte stored.
    WriteDat(u"[CountryTxPwr5G]\r\nUSA=10,12,14,16\r\n");
    EXPECT_TRUE(SetCountryTxPower(kDriverKey, u"USA", kDatPath));
    EXPECT_EQ(DriverValue(u"CountryTxPwr5G").data, (std::vector<BYTE>{0x10, 0x0E, 0x0C, 0x0A}));
}

TEST_F(CountryStepTest, TransmitPowerRangesAreReadWhateverTheirTypeAndOnlyWhenTheyFit) {
    WriteDat(u"[CountryTxPwr]\r\nUSA=120\r\n");
    Reg().Create(kDriverKey);
    // Stored without terminator, as the program itself writes texts.
    Reg().SetValue(kDriverKey, u"InitTxPwrRange", REG_BINARY, Utf16Bytes(u"5-12"));
    EXPECT_TRUE(SetCountryTxPower(kDriverKey, u"USA", kDatPath));
    // A range longer than its 128-byte buffer is no range at all.
    Reg().SetString(kDriverKey, u"InitTxPwrRange", u"5-12" + std::u16string(70, u' '));
    EXPECT_TRUE(SetCountryTxPower(kDriverKey, u"USA", kDatPath));
    EXPECT_EQ(Changes(), (Changed{DwordLine("CountryTxPwr", 12), DwordLine("CountryTxPwr", 20)}));
}

// ---- wireless mode ----

TEST_F(CountryStepTest, WirelessModeMaskMapsToTheDriversModeByTheWholeMask) {
    struct Case {
        std::u16string entry;
        DWORD mask;
        std::u16string mode;
    };
    const Case cases[] = {
        {u"11101110", 0x11101110, u"5"},  {u"11100000", 0x11100000, u"8"},
        {u"1110", 0x00001110, u"9"},      {u"10001000", 0x10001000, u"3"},
        {u"10000000", 0x10000000, u"2"},  {u"1000", 0x00001000, u"0"},
        {u"11111111", 0x11111111, u"0"},  {u"00100000", 0x00100000, u"0"},
        {u"111011101", 0x11101110, u"5"}, {u"xyz", 0, u"0"},
    };
    Reg().Create(kDriverKey);
    for (const Case& c : cases) {
        WriteDat(u"[CountryWirelessMode]\r\nUSA=" + c.entry + u"\r\n");
        ClearJournal();
        ClearLog();
        std::string what = Utf16ToUtf8(c.entry);
        EXPECT_TRUE(SetCountryWirelessMode(kDriverKey, u"JPN", kDatPath)) << what;
        EXPECT_EQ(Changes(), (Changed{DwordLine("CountryWirelessMode", c.mask),
                                      SzLine("WirelessMode", c.mode)}))
            << what;
        EXPECT_EQ(LogMessages(), (Lines{Format(u"[ZeRegionSvc] Write Registry Data=%X\r\n", c.mask),
                                        u"[ZeRegionSvc] Write Registry Data=" + c.mode + u"\r\n"}))
            << what;
    }
}

TEST_F(CountryStepTest, WirelessModeEntryOfTheCountryComesFirstAndNoneWritesNothing) {
    Reg().Create(kDriverKey);
    WriteDat(u"[CountryWirelessMode]\r\nJPN=10001000\r\nUSA=11101110\r\n");
    EXPECT_TRUE(SetCountryWirelessMode(kDriverKey, u"JPN", kDatPath));
    WriteDat(u"[CountryWirelessMode]\r\nJPN=10001000\r\n");
    EXPECT_FALSE(SetCountryWirelessMode(kDriverKey, u"CAN", kDatPath));
    EXPECT_EQ(Changes(), (Changed{DwordLine("CountryWirelessMode", 0x10001000),
                                  SzLine("WirelessMode", u"3")}));
    EXPECT_EQ(LogMessages().size(), 2u);
}

// ---- ad-hoc N mode removal ----

TEST_F(CountryStepTest, AdHocNModeIsRemovedForModesWithoutN) {
    struct Case {
        const char* what;
        DWORD type;  // REG_NONE: no value
        std::vector<BYTE> data;
        bool removed;
    };
    const Case cases[] = {
        {"9", REG_SZ, Utf16Bytes(u"9", true), false},
        {"4", REG_SZ, Utf16Bytes(u"4", true), true},
        {"-1", REG_SZ, Utf16Bytes(u"-1", true), true},
        {"blank 3", REG_SZ, Utf16Bytes(u" 3", true), true},
        {"missing", REG_NONE, {}, false},
        {"no number", REG_SZ, Utf16Bytes(u"abc", true), false},
        {"longer than 128 bytes", REG_SZ, Utf16Bytes(u"2" + std::u16string(64, u' '), true), false},
    };
    const std::u16string adHocKey = kAdHocKey;
    for (const Case& c : cases) {
        AddDriverKey();
        if (c.type != REG_NONE) {
            Reg().SetValue(kDriverKey, u"WirelessMode", c.type, c.data);
        }
        ClearJournal();
        ClearLog();
        RemoveAdHocNMode(kDriverKey);
        if (c.removed) {
            EXPECT_EQ(Changes(), (Changed{"DeleteKey DRV\\NDI\\params\\AdhocNMode\\enum",
                                          "DeleteKey DRV\\NDI\\params\\AdhocNMode"}))
                << c.what;
            EXPECT_EQ(LogMessages(), Lines{u"[ZeRegionSvc] RemoveAdHocNMode: " + adHocKey + u"\n"})
                << c.what;
        } else {
            EXPECT_EQ(Changes(), Changed{}) << c.what;
            EXPECT_EQ(LogMessages(), Lines{}) << c.what;
        }
        EXPECT_EQ(!Reg().Find(adHocKey), c.removed) << c.what;
        Reg().ClearValues(kDriverKey);
    }
}

}  // namespace
}  // namespace ze::testing
