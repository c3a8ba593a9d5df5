#include "country/country.h"
#include "country_fixture.h"

namespace ze::testing {
namespace {

class PlatformSettingsTest : public CountryTest {
  protected:
    void SetMatchingDeviceId(std::vector<BYTE> data) {
        Reg().SetValue(kDriverKey, u"MatchingDeviceId", REG_SZ, std::move(data));
    }
};

TEST_F(PlatformSettingsTest, FileIsNamedAfterTheBusAndChipOfMatchingDeviceId) {
    struct Case {
        std::u16string matchingDeviceId;
        bool terminator;
        std::u16string file;
    };
    const std::u16string longPci =
        u"PCI\\VEN_1234&DEV_5678&SUBSYS_87654321&REV_01" + std::u16string(84, u'X');
    const Case cases[] = {
        {u"pci\\ven_1234&dev_5678&subsys_9abc1234&rev_01", true, u"ZC9ABC1234"},
        {u"usb\\vid_1234&pid_5678&rev_0101", true, u"ZC12345678"},
        {u"USB\\VID_0BDA&PID_8179", true, u"ZC0BDA8179"},
        {u"PCI\\VEN_1234&DEV_5678&SUBSYS_9ABC1234", true, u"ZC9ABC1234"},
        {u"PCI\\VEN_1234&DEV_5678&SUBSYS_9ABC123", true, u"ZC"},
        {u"USB\\VID_0BDA&PID_817", true, u"ZC"},
        {u"USB\\VID_0BDA", true, u"ZC"},
        {u"SDIO\\VID_0BDA&PID_8179&SUBSYS_12345678", true, u"ZC"},
        {u"", true, u"ZC"},
        // 128 characters fill the whole buffer, without a terminator.
        {longPci, false, u"ZC87654321"},
    };
    for (const char16_t* file :
         {u"ZC9ABC1234", u"ZC12345678", u"ZC0BDA8179", u"ZC87654321", u"ZC"}) {
        WriteTextFile(u"C:\\windows\\system32\\" + std::u16string(file) + u".ini",
                      u"[Item]\r\nRegName=Applied\r\nRegValue=" + std::u16string(file) + u"\r\n");
    }
    for (const Case& c : cases) {
        SetMatchingDeviceId(Utf16Bytes(c.matchingDeviceId, c.terminator));
        ClearJournal();
        std::string what = Utf16ToUtf8(c.matchingDeviceId);
        EXPECT_TRUE(SetPlatformSettings(kDriverKey)) << what;
        EXPECT_EQ(Changes(), Changed{SzLine("Applied", c.file)}) << what;
    }
}

TEST_F(PlatformSettingsTest, EachSectionIsConvertedByItsTypeInFileOrder) {
    Reg().SetString(kDriverKey, u"MatchingDeviceId", kPciId);
    WritePlatformFile(
        u"[Item1]\r\nRegName=SampleText\r\nRegType=REG_SZ\r\nRegValue=abc\r\n"
        u"[Item2]\r\nRegName=SampleNumber\r\nRegType=REG_DWORD\r\nRegValue=300\r\n"
        u"[Item3]\r\nRegName=SampleBytes\r\nRegType=REG_BINARY\r\nRegValue=0A\r\n"
        u"[Multi]\r\nRegName=SampleMulti\r\nRegType=REG_MULTI_SZ\r\nRegValue=abc\r\n"
        u"[EmptyMulti]\r\nRegName=EmptyMulti\r\nRegType=REG_MULTI_SZ\r\n"
        u"[Hex]\r\nRegName=Hex\r\nRegType=REG_DWORD\r\nRegValue=0x10\r\n"
        u"[Minus]\r\nRegName=Minus\r\nRegType=REG_DWORD\r\nRegValue=-1\r\n"
        u"[Trailing]\r\nRegName=Trailing\r\nRegType=REG_DWORD\r\nRegValue=12abc\r\n"
        u"[NoNumber]\r\nRegName=NoNumber\r\nRegType=REG_DWORD\r\n"
        u"[Lower]\r\nRegName=Lower\r\nRegType=reg_dword\r\nRegValue=7\r\n"
        u"[Expand]\r\nRegName=Expand\r\nRegType=REG_EXPAND_SZ\r\nRegValue=%SystemRoot%\r\n"
        u"[NoType]\r\nRegName=NoType\r\nRegValue=x\r\n"
        u"[Empty]\r\nRegName=Empty\r\nRegType=REG_SZ\r\n"
        u"[Default]\r\nRegValue=unnamed\r\n");
    EXPECT_TRUE(SetPlatformSettings(kDriverKey));
    EXPECT_EQ(Changes(),
              (Changed{
                  SetLine("SampleText", REG_SZ, {0x61, 0, 0x62, 0, 0x63, 0, 0, 0}),
                  SetLine("SampleNumber", REG_DWORD, {0x2C, 0x01, 0, 0}),
                  SetLine("SampleBytes", REG_BINARY, {0x30, 0, 0x41, 0}),
                  SetLine("SampleMulti", REG_MULTI_SZ, {0x61, 0, 0x62, 0, 0x63, 0, 0, 0, 0, 0}),
                  SetLine("EmptyMulti", REG_MULTI_SZ, {0, 0, 0, 0}),
                  DwordLine("Hex", 0),
                  DwordLine("Minus", 0xFFFFFFFF),
                  DwordLine("Trailing", 12),
                  DwordLine("NoNumber", 0),
                  SzLine("Lower", u"7"),
                  SzLine("Expand", u"%SystemRoot%"),
                  SzLine("NoType", u"x"),
                  SzLine("Empty", u""),
                  SzLine("", u"unnamed"),
              }));
    // Binary and multi-string writes log nothing.
    EXPECT_EQ(LogMessages(), (Lines{
                                 u"[ZeRegionSvc] Write Registry Data=abc\r\n",
                                 u"[ZeRegionSvc] Write Registry Data=12C\r\n",
                                 u"[ZeRegionSvc] Write Registry Data=0\r\n",
                                 u"[ZeRegionSvc] Write Registry Data=FFFFFFFF\r\n",
                                 u"[ZeRegionSvc] Write Registry Data=C\r\n",
                                 u"[ZeRegionSvc] Write Registry Data=0\r\n",
                                 u"[ZeRegionSvc] Write Registry Data=7\r\n",
                                 u"[ZeRegionSvc] Write Registry Data=%SystemRoot%\r\n",
                                 u"[ZeRegionSvc] Write Registry Data=x\r\n",
                                 u"[ZeRegionSvc] Write Registry Data=\r\n",
                                 u"[ZeRegionSvc] Write Registry Data=unnamed\r\n",
                             }));
}

TEST_F(PlatformSettingsTest, TextValuesLongerThan127CharactersAreNotWritten) {
    Reg().SetString(kDriverKey, u"MatchingDeviceId", kPciId);
    const std::u16string longest(127, u'a');
    const std::u16string tooLong(128, u'b');
    WritePlatformFile(
        u"[Fits]\r\nRegName=Fits\r\nRegValue=" + longest +
        u"\r\n[Binary]\r\nRegName=Binary\r\nRegType=REG_BINARY\r\nRegValue=" + tooLong +
        u"\r\n[Number]\r\nRegName=Number\r\nRegType=REG_DWORD\r\nRegValue=" +
        std::u16string(200, u'0') + u"42\r\n[After]\r\nRegName=After\r\nRegValue=1\r\n");
    EXPECT_TRUE(SetPlatformSettings(kDriverKey));
    EXPECT_EQ(Changes(),
              (Changed{SzLine("Fits", longest), DwordLine("Number", 42), SzLine("After", u"1")}));
    Lines log = LogMessages();
    ASSERT_EQ(log.size(), 4u);
    EXPECT_EQ(log[1],
              u"[ZeRegionSvc] RegValue of [Binary] longer than 127 characters, not written\r\n");
}

TEST_F(PlatformSettingsTest, SectionListBeyondItsBufferIsCutBeforeItsLastName) {
    Reg().SetString(kDriverKey, u"MatchingDeviceId", kPciId);
    // Names of 60 characters: 16 fit the 1024-character list whole; the call cuts
    // the 17th after 46 characters, where the list reaches 1022 characters.
    std::u16string file;
    for (int i = 0; i < 20; ++i) {
        file += Format(u"[S%02d", i) + std::u16string(57, u'x') +
                Format(u"]\r\nRegName=V%02d\r\nRegType=REG_DWORD\r\nRegValue=%d\r\n", i, i);
    }
    WritePlatformFile(file);
    EXPECT_TRUE(SetPlatformSettings(kDriverKey));
    Changed changes = Changes();
    ASSERT_EQ(changes.size(), 16u);
    EXPECT_EQ(changes.front(), DwordLine("V00", 0));
    EXPECT_EQ(changes.back(), DwordLine("V15", 15));
    EXPECT_EQ(LogMessages().front(),
              u"[ZeRegionSvc] Too many sections in " + std::u16string(kPlatformFile) + u", [S16" +
                  std::u16string(43, u'x') + u"] and the rest not applied\r\n");
}

TEST_F(PlatformSettingsTest, FailuresAreLoggedAndOnlyAMissingSourceFails) {
    const std::u16string openKeyFailed = u"[ZeRegionSvc] Open Key Failed!\r\n";
    const std::u16string writeFailed = u"[ZeRegionSvc] Write Registry Failed\r\n";
    const std::u16string twoSections =
        u"[A]\r\nRegName=A\r\nRegValue=1\r\n[B]\r\nRegName=B\r\nRegType=REG_DWORD\r\nRegValue="
        u"2\r\n";
    struct Case {
        const char* what;
        const char16_t* file;                // nullptr: no platform settings file
        std::optional<Call> fault;           // every call of it fails; nullptr: none
        std::vector<BYTE> matchingDeviceId;  // empty: no value
        bool result;
        Lines log;
    };
    const std::vector<BYTE> pci = Utf16Bytes(kPciId, true);
    const std::vector<BYTE> tooLong = Utf16Bytes(kPciId + std::u16string(90, u'X'), true);
    const char16_t* two = twoSections.c_str();
    const std::u16string noPlatformType = u"[ZeRegionSvc] Get Platform Type Fail!\r\n";
    // clang-format off
    const Case cases[] = {
        {"no file", nullptr, std::nullopt, pci, false, {}},
        {"no sections", u"; nothing here\r\n", std::nullopt, pci, true, {}},
        {"every write fails", two, Call::RegSetValueExW, pci, true, {writeFailed, writeFailed}},
        {"key not writable", two, Call::RegCreateKeyExW, pci, true, {openKeyFailed, openKeyFailed}},
        {"key not readable", two, Call::RegOpenKeyExW, pci, false,
         {u"[ZeRegionSvc] Open Registry Key Fail!\r\n"}},
        {"no MatchingDeviceId", two, std::nullopt, {}, false, {noPlatformType}},
        {"MatchingDeviceId beyond its buffer", two, std::nullopt, tooLong, false, {noPlatformType}},
        {"no system directory", two, Call::GetSystemDirectoryW, pci, false,
         {u"[ZeRegionSvc] Get System Directory Fail!\r\n"}},
    };
    // clang-format on
    for (const Case& c : cases) {
        Reg().ClearValues(Reg().Create(kDriverKey));
        if (!c.matchingDeviceId.empty()) {
            SetMatchingDeviceId(c.matchingDeviceId);
        }
        std::filesystem::remove(Sim().HostPath(kPlatformFile));
        if (c.file != nullptr) {
            WritePlatformFile(c.file);
        }
        Sim().ClearFaults();
        if (c.fault) {
            Sim().InjectFault(*c.fault, 0, ERROR_ACCESS_DENIED);
        }
        ClearJournal();
        ClearLog();
        EXPECT_EQ(SetPlatformSettings(kDriverKey), c.result) << c.what;
        EXPECT_EQ(LogMessages(), c.log) << c.what;
        // A missing file is also reported to the Event Log.
        Changed events;
        if (c.file == nullptr && c.result == false && c.log.empty())
            events.push_back(
                "ReportEvent ZeRegionSvc Warning 1007 "
                "\"C:\\\\windows\\\\system32\\\\ZC9ABC1234.ini\"");
        EXPECT_EQ(Changes(), events) << c.what;
    }
}

}  // namespace
}  // namespace ze::testing
