#include "advprops/advprops.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <functional>

#include "common/paths.h"
#include "common/registry.h"
#include "common/text.h"
#include "main/program.h"
#include "sim_fixture.h"

namespace ze {
namespace {

using ::testing::ElementsAre;
using ::testing::ElementsAreArray;
using testing::Encoding;
using ::testing::IsEmpty;
using testing::SimTest;
using testing::Utf16Bytes;
using Values = std::vector<std::pair<std::u16string, std::u16string>>;
using Lines = std::vector<std::u16string>;

const std::u16string kNetId = u"0007";
const std::u16string kDriverKey = DriverKeyPath(kNetId);
const std::u16string kParams = kDriverKey + u"\\NDI\\params";
const std::u16string kInfFile = u"C:\\windows\\inf\\oem3.inf";

std::u16string SubKey(const std::u16string& name) {
    return kParams + u"\\" + name;
}
std::u16string EnumKey(const std::u16string& name) {
    return SubKey(name) + u"\\enum";
}
std::u16string N(int number) {
    return Format(u"%d", number);
}

// What each property must get, written out apart from the program's tables so that a
// wrong table entry fails a test.
struct Property {
    std::u16string name;
    std::u16string descToken;
    std::vector<std::u16string> enumTokens;  // empty: no enum texts
};

std::vector<std::u16string> Numbered(const std::u16string& prefix, int count) {
    std::vector<std::u16string> tokens;
    for (int i = 0; i < count; ++i) {
        tokens.push_back(prefix + N(i));
    }
    return tokens;
}

const std::vector<Property>& Properties() {
    static const std::vector<Property> properties = {
        {u"AdhocNMode", u"AdhocNMode", {u"Disable", u"Enable"}},
        {u"CountryRegion", u"CountryRegion24G", Numbered(u"CountryRegion24G_", 8)},
        {u"CountryRegionABand", u"CountryRegion5G", Numbered(u"CountryRegion5G_", 17)},
        {u"IEEE80211H", u"IEEE802_11h", {u"Disable", u"Enable"}},
        {u"NetworkAddress", u"LocalNetworkAddress", {}},
        {u"PSMode", u"PSMode", {u"CAM", u"MAXPSP"}},
        {u"PSPXlink", u"PSPXlink", {u"Disable", u"Enable"}},
        {u"Radio", u"RadioOnOff", {u"Enable", u"Disable"}},
        {u"SmartScan", u"SmartScan", {u"Disable", u"Enable"}},
        {u"SSID", u"SSID", {}},
    };
    return properties;
}

const Property& Named(const std::u16string& name) {
    return *std::find_if(Properties().begin(), Properties().end(),
                         [&](const Property& p) { return p.name == name; });
}

// The test INF's text of a token in a language's section ("" for [Strings]).
std::u16string TextOf(const std::u16string& language, const std::u16string& token) {
    if (language == u"0411") {
        return token == u"Disable" ? u"無効" : token == u"Enable" ? u"有効" : u"日本語 " + token;
    }
    return (language == u"0809" ? u"UK " : u"US ") + token;
}

// [Version], then one Strings section per language with every token but the omitted
// ones, each text in double quotes.
std::u16string InfText(const Lines& languages, const Lines& omitted = {}) {
    std::u16string text = u"; OEM INF\r\n[Version]\r\nSignature=\"$Windows NT$\"\r\n\r\n";
    for (const std::u16string& language : languages) {
        text += language.empty() ? u"[Strings]\r\n" : u"[Strings." + language + u"]\r\n";
        Lines done;
        for (const Property& property : Properties()) {
            Lines tokens = property.enumTokens;
            tokens.push_back(property.descToken);
            for (const std::u16string& token : tokens) {
                if (std::count(omitted.begin(), omitted.end(), token) == 0 &&
                    std::count(done.begin(), done.end(), token) == 0) {
                    text += token + u" = \"" + TextOf(language, token) + u"\"\r\n";
                    done.push_back(token);
                }
            }
        }
    }
    return text;
}

std::u16string L(const std::u16string& text) {
    return u"[ZeRegionSvc] " + text + u"\r\n";
}
std::u16string Wrote(const std::u16string& text) {
    return L(u"Write Registry Data=" + text);
}
std::u16string DescLine(const std::u16string& name) {
    return L(u"ResetDriverAdvanceParamDesc, advance subkey path = " + SubKey(name) +
             u", advance subkey name = " + name);
}
std::u16string EnumLine(const std::u16string& name) {
    return L(u"ResetDriverAdvanceEnum, advance subkey path = " + SubKey(name) +
             u", advance subkey name = " + name);
}
std::u16string Skipped(const std::u16string& name) {
    return L(u"Advance enum value " + name + u" has no entry in the array, skipped");
}
const std::u16string kWalk = L(u"ResetDriverAdvanceKey, Net ID = 0007");
const std::u16string kInfPath = L(u"g_szOemInfPath = C:\\windows\\inf\\oem3.inf");
const std::u16string kInfPathFailed = L(u"Query InfPath value failed");
const std::u16string kDescNotFound = L(u"Advance ParamDesc value not found in inf file");
const std::u16string kEnumNotFound = L(u"Advance enum key value not found in inf file");
const std::u16string kGetDescFailed = L(u"Get advance ParamDesc value failed");
const std::u16string kNotInTable = L(u"Advance subkey name not match in array");
const std::u16string kOpenEnumFailed = L(u"Open advance enum key failed");

class AdvPropsTest : public SimTest {
  protected:
    void SetUp() override {
        SimTest::SetUp();
        Fresh();
    }
    // The driver key with InfPath oem3.inf, no NDI\params, the INF with [Strings],
    // [Strings.0411] and [Strings.0809], a U.S. English administrator's machine.
    void Fresh() {
        oemInf_.clear();
        Reg().Delete(kParams, true);
        Reg().SetString(kDriverKey, u"InfPath", u"oem3.inf");
        Sim().Settings().windowsDirectory = u"C:\\windows";
        std::filesystem::remove_all(Sim().HostPath(kInfFile));
        WriteInf(InfText({u"", u"0411", u"0809"}));
        Sim().Settings().systemLocale = 0x0409;
        Sim().Settings().administrator = true;
        Sim().ClearFaults();
        ClearLog();
        ClearJournal();
    }
    void WriteInf(const std::u16string& text) {
        WriteTextFile(kInfFile, text, Encoding::Utf16LeBom);
    }
    void AddProperty(const std::u16string& name, const Values& enumValues,
                     const std::u16string& paramDesc = u"old desc") {
        Reg().SetString(SubKey(name), u"ParamDesc", paramDesc);
        for (const auto& [valueName, text] : enumValues) {
            Reg().SetString(EnumKey(name), valueName, text);
        }
    }
    // A table property with enum values 0, 1 ... holding "old <n>".
    void AddTableProperty(const std::u16string& name) {
        Values values;
        for (int i = 0; i < static_cast<int>(Named(name).enumTokens.size()); ++i) {
            values.emplace_back(N(i), u"old " + N(i));
        }
        AddProperty(name, values);
    }
    // A REG_SZ value's text, without the terminator the registry keeps after it.
    std::u16string Text(const std::u16string& path, const std::u16string& name) {
        std::optional<sim::RegValue> value = Reg().GetValue(path, name);
        if (!value) {
            return u"<missing>";
        }
        EXPECT_EQ(value->type, REG_SZ) << Utf16ToUtf8(path + u" " + name);
        std::u16string text(reinterpret_cast<const char16_t*>(value->data.data()),
                            value->data.size() / 2);
        if (!text.empty() && text.back() == u'\0') {
            text.pop_back();
        }
        return text;
    }
    Lines Log() { return LogMessages(); }
    bool Logged(const std::u16string& line) {
        Lines log = Log();
        return std::find(log.begin(), log.end(), line) != log.end();
    }
    std::vector<std::string> ChangesOutsideParams() {
        std::vector<std::string> outside;
        for (const std::string& line : JournalLines()) {
            if (line.find(Utf16ToUtf8(kParams + u"\\")) == std::string::npos) {
                outside.push_back(line);
            }
        }
        return outside;
    }

    std::u16string oemInf_;  // the OEM INF the routines under test read
};

TEST_F(AdvPropsTest, OemInfPathIsSetOrKept) {
    const std::u16string previous = u"C:\\previous.inf";
    const std::u16string longDir = u"C:\\" + std::u16string(237, u'w');  // 240 characters
    struct Case {
        const char* name;
        std::function<void()> setUp;
        int result;
        std::u16string path;  // the located path afterwards
        std::u16string line;
    };
    const Case cases[] = {
        {"Found", [] {}, 0, kInfFile, kInfPath},
        {"Missing", [&] { Reg().Delete(kDriverKey, true); }, -5, previous, kInfPathFailed},
        {"SixtyFourCharacters",
         [&] { Reg().SetString(kDriverKey, u"InfPath", std::u16string(60, u'a') + u".inf"); }, -5,
         previous, kInfPathFailed},
        // 128 bytes fill the read buffer without a terminator.
        {"SixtyFourCharactersUnterminated",
         [&] {
             Reg().SetValue(kDriverKey, u"InfPath", REG_SZ,
                            Utf16Bytes(std::u16string(60, u'a') + u".inf", false));
         },
         -5, previous, kInfPathFailed},
        {"SixtyThreeCharactersOfAnotherType",
         [&] {
             Reg().SetValue(kDriverKey, u"InfPath", REG_BINARY,
                            Utf16Bytes(std::u16string(59, u'b') + u".inf", true));
         },
         0, u"C:\\windows\\inf\\" + std::u16string(59, u'b') + u".inf",
         L(u"g_szOemInfPath = C:\\windows\\inf\\" + std::u16string(59, u'b') + u".inf")},
        // 240 + "\inf\" + 14 = 259 characters fit the path buffer; one more does not.
        {"PathOf259Characters",
         [&] {
             Sim().Settings().windowsDirectory = longDir;
             Reg().SetString(kDriverKey, u"InfPath", u"oem1234567.inf");
         },
         0, longDir + u"\\inf\\oem1234567.inf",
         L(u"g_szOemInfPath = " + longDir + u"\\inf\\oem1234567.inf")},
        {"PathOf260Characters",
         [&] {
             Sim().Settings().windowsDirectory = longDir;
             Reg().SetString(kDriverKey, u"InfPath", u"oem12345678.inf");
         },
         -999, previous, L(u"OEM INF path too long: oem12345678.inf")},
        {"WindowsDirectoryUnreadable",
         [&] {
             Reg().SetString(kDriverKey, u"InfPath", u"oem3.inf");
             Sim().InjectFault(Call::GetWindowsDirectoryW, 1, ERROR_INSUFFICIENT_BUFFER);
         },
         ZE_ERR_NO_WINDOWS_DIRECTORY, previous,
         L(u"GetWindowsDirectory() failed, no OEM INF path")},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Fresh();
        std::u16string path = previous;
        c.setUp();

        EXPECT_EQ(QueryOemInfPath(kNetId, &path), c.result);
        EXPECT_EQ(path, c.path);
        EXPECT_THAT(Log(), ElementsAre(c.line));
    }
}

TEST_F(AdvPropsTest, StringsSectionFollowsTheSystemLanguageOnly) {
    struct Case {
        LCID system, user;
        std::u16string section;
    };
    for (const Case& c :
         {Case{0x0409, 0x0411, u"Strings"}, Case{0x0411, 0x0409, u"Strings.0411"},
          Case{0x0809, 0x0409, u"Strings.0809"}, Case{0x0407, 0x0409, u"Strings.0407"}}) {
        Sim().Settings().systemLocale = c.system;
        Sim().Settings().userLocale = c.user;
        EXPECT_EQ(GetInfStringsSection(), c.section);
    }
    Sim().InjectFault(Call::GetLocaleInfoW, 0, ERROR_INVALID_PARAMETER);
    EXPECT_EQ(GetInfStringsSection(), u"Strings.");
}

TEST_F(AdvPropsTest, WalkRewritesEveryPropertyFromTheSystemLanguagesSection) {
    for (auto [locale, language] :
         {std::pair<LCID, std::u16string>{0x0409, u""}, {0x0411, u"0411"}, {0x0809, u"0809"}}) {
        SCOPED_TRACE(Utf16ToUtf8(language));
        Fresh();
        Sim().Settings().systemLocale = locale;
        for (const Property& property : Properties()) {
            AddTableProperty(property.name);
        }
        // Properties without enum texts leave an enum key alone.
        Reg().SetString(EnumKey(u"SSID"), u"0", u"keep");

        EXPECT_EQ(ResetDriverAdvanceKey(kNetId), 0);

        for (const Property& property : Properties()) {
            EXPECT_EQ(Text(SubKey(property.name), u"ParamDesc"),
                      TextOf(language, property.descToken));
            for (int i = 0; i < static_cast<int>(property.enumTokens.size()); ++i) {
                EXPECT_EQ(Text(EnumKey(property.name), N(i)),
                          TextOf(language, property.enumTokens[i]))
                    << Utf16ToUtf8(property.name) << " " << i;
            }
        }
        EXPECT_EQ(Text(EnumKey(u"SSID"), u"0"), u"keep");
        EXPECT_THAT(ChangesOutsideParams(), IsEmpty());
    }
}

TEST_F(AdvPropsTest, OneWalkLogsAndStoresExactly) {
    // Created in the order 1, 0: each value still gets its own number's token.
    AddProperty(u"Radio", {{u"1", u"old 1"}, {u"0", u"old 0"}});
    ClearJournal();

    EXPECT_EQ(ResetDriverAdvanceKey(kNetId), 0);

    EXPECT_THAT(Log(), ElementsAre(kWalk, kInfPath, DescLine(u"Radio"), Wrote(u"US RadioOnOff"),
                                   EnumLine(u"Radio"), Wrote(u"US Disable"), Wrote(u"US Enable")));
    EXPECT_EQ(JournalLines().size(), 3u);
    // The write counts no terminator; the registry keeps one after the text.
    EXPECT_EQ(Reg().GetValue(EnumKey(u"Radio"), u"0")->data, Utf16Bytes(u"US Enable", true));
}

TEST_F(AdvPropsTest, EnumTextsByTheNumberInTheValueName) {
    Values tenValues, limitedTexts, fourValues;
    for (int i = 0; i < 10; ++i) {
        tenValues.emplace_back(N(i), u"old " + N(i));
        limitedTexts.emplace_back(N(i), i < 8 ? u"US CountryRegion24G_" + N(i) : u"old " + N(i));
    }
    Lines limitedLog{L(u"Advance enum key value count is larger than nArrayCount!!!")};
    for (int i = 0; i < 8; ++i) {
        limitedLog.push_back(Wrote(u"US CountryRegion24G_" + N(i)));
    }
    const std::u16string long513(513, u'z'), long511(511, u'z');
    struct Case {
        const char* name;
        std::u16string subKey;
        Values before;  // in creation order; empty: no enum key
        Lines omittedTokens;
        int result;
        Values after;  // in the key's order
        Lines log;     // after the function's own first line
    };
    // clang-format off
    const Case cases[] = {
        {"ZeroOneAndX", u"SmartScan", {{u"01", u"a"}, {u"x", u"b"}}, {}, 0,
         {{u"01", u"US Enable"}, {u"x", u"US Disable"}}, {Wrote(u"US Enable"), Wrote(u"US Disable")}},
        {"OutsideTheArray", u"CountryRegion", {{u"-1", u"a"}, {u"8", u"b"}, {u"1", u"c"}}, {}, 0,
         {{u"-1", u"a"}, {u"8", u"b"}, {u"1", u"US CountryRegion24G_1"}},
         {Skipped(u"-1"), Skipped(u"8"), Wrote(u"US CountryRegion24G_1")}},
        {"MoreValuesThanTheArray", u"CountryRegion", tenValues, {}, 0, limitedTexts, limitedLog},
        // The limit counts enumeration order: 9 and 8 use up two of the eight.
        {"LimitInEnumerationOrder", u"CountryRegion",
         {{u"9", u"a"}, {u"8", u"b"}, {u"0", u"c"}, {u"6", u"d"}, {u"1", u"e"}, {u"2", u"f"},
          {u"3", u"g"}, {u"4", u"h"}, {u"5", u"i"}}, {}, 0,
         {{u"9", u"a"}, {u"8", u"b"}, {u"0", u"US CountryRegion24G_0"},
          {u"6", u"US CountryRegion24G_6"}, {u"1", u"US CountryRegion24G_1"},
          {u"2", u"US CountryRegion24G_2"}, {u"3", u"US CountryRegion24G_3"},
          {u"4", u"US CountryRegion24G_4"}, {u"5", u"i"}},
         {limitedLog[0], Skipped(u"9"), Skipped(u"8"), Wrote(u"US CountryRegion24G_0"),
          Wrote(u"US CountryRegion24G_6"), Wrote(u"US CountryRegion24G_1"),
          Wrote(u"US CountryRegion24G_2"), Wrote(u"US CountryRegion24G_3"),
          Wrote(u"US CountryRegion24G_4")}},
        {"NoEnumKey", u"PSPXlink", {}, {}, -4, {}, {kOpenEnumFailed}},
        {"NoneOpensNothing", u"SSID", {}, {}, 0, {}, {}},
        {"ThirdTokenMissing", u"CountryRegion",
         {{u"0", u"a"}, {u"1", u"b"}, {u"2", u"c"}, {u"3", u"d"}}, {u"CountryRegion24G_2"}, -999,
         {{u"0", u"US CountryRegion24G_0"}, {u"1", u"US CountryRegion24G_1"}, {u"2", u"c"},
          {u"3", u"d"}},
         {Wrote(u"US CountryRegion24G_0"), Wrote(u"US CountryRegion24G_1"), kEnumNotFound}},
        // 513 characters and a terminator exceed the 1024-byte data buffer; 511 fit.
        {"PresentTextTooLong", u"PSMode", {{u"0", long513}, {u"1", u"b"}}, {}, -12,
         {{u"0", long513}, {u"1", u"b"}}, {L(u"Enum advance enum key failed")}},
        {"PresentTextOf511", u"PSMode", {{u"0", long511}}, {}, 0, {{u"0", u"US CAM"}},
         {Wrote(u"US CAM")}},
    };
    // clang-format on
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Fresh();
        WriteInf(InfText({u""}, c.omittedTokens));
        AddProperty(c.subKey, c.before);
        QueryOemInfPath(kNetId, &oemInf_);
        ClearLog();

        EXPECT_EQ(ResetDriverAdvanceEnum(SubKey(c.subKey), c.subKey, oemInf_), c.result);

        Lines log{EnumLine(c.subKey)};
        log.insert(log.end(), c.log.begin(), c.log.end());
        EXPECT_THAT(Log(), ElementsAreArray(log));
        ASSERT_EQ(!Reg().Find(EnumKey(c.subKey)), c.after.empty());
        std::vector<sim::RegValue> values = ValuesOf(EnumKey(c.subKey));
        for (std::size_t i = 0; i < c.after.size(); ++i) {
            ASSERT_LT(i, values.size());
            EXPECT_EQ(values[i].name, c.after[i].first);
            EXPECT_EQ(Text(EnumKey(c.subKey), c.after[i].first), c.after[i].second);
        }
    }
}

TEST_F(AdvPropsTest, EnumKeyWithoutValuesOrWithOtherTypes) {
    Reg().Create(EnumKey(u"PSPXlink"));
    AddProperty(u"SmartScan", {{u"0", u"a"}});
    Reg().SetDword(EnumKey(u"SmartScan"), u"1", 1);
    QueryOemInfPath(kNetId, &oemInf_);
    ClearJournal();

    EXPECT_EQ(ResetDriverAdvanceEnum(SubKey(u"PSPXlink"), u"PSPXlink", oemInf_), 0);
    EXPECT_THAT(JournalLines(), IsEmpty());
    EXPECT_EQ(ResetDriverAdvanceEnum(SubKey(u"SmartScan"), u"SmartScan", oemInf_), 0);
    EXPECT_EQ(Text(EnumKey(u"SmartScan"), u"1"), u"US Enable");
}

TEST_F(AdvPropsTest, ParamDescOutcomes) {
    struct Case {
        const char* name;
        std::u16string subKey;
        std::function<void()> setUp;
        int result;
        Lines log;  // after the function's own first line
        std::u16string after;
    };
    const std::u16string long64(64, u'd');
    const Case cases[] = {
        {"Rewritten",
         u"CountryRegion",
         [] {},
         0,
         {Wrote(u"US CountryRegion24G")},
         u"US CountryRegion24G"},
        {"SixtyThreeCharacters",
         u"PSMode",
         [&] { Reg().SetString(SubKey(u"PSMode"), u"ParamDesc", std::u16string(63, u'd')); },
         0,
         {Wrote(u"US PSMode")},
         u"US PSMode"},
        {"SixtyFourCharacters",
         u"PSMode",
         [&] { Reg().SetString(SubKey(u"PSMode"), u"ParamDesc", long64); },
         -5,
         {kGetDescFailed},
         long64},
        {"OtherTypeThatFits",
         u"SSID",
         [&] { Reg().SetDword(SubKey(u"SSID"), u"ParamDesc", 7); },
         0,
         {Wrote(u"US SSID")},
         u"US SSID"},
        {"NotInTable", u"Speed", [] {}, -11, {kNotInTable}, u"old desc"},
        {"CaseDiffers", u"ssid", [] {}, -11, {kNotInTable}, u"old desc"},
        {"NotInTableWithoutParamDesc",
         u"Speed",
         [&] { Reg().ClearValues(SubKey(u"Speed")); },
         -5,
         {kGetDescFailed},
         u"<missing>"},
        {"TokenOnlyInStrings",
         u"SSID",
         [&] {
             Sim().Settings().systemLocale = 0x0411;
             WriteInf(InfText({u""}) + u"[Strings.0411]\r\nDisable=\"無効\"\r\n");
         },
         -999,
         {kDescNotFound},
         u"old desc"},
        {"PresentButEmpty",
         u"SSID",
         [&] { WriteInf(u"[Strings]\r\nSSID=\"\"\r\n"); },
         -999,
         {kDescNotFound},
         u"old desc"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Fresh();
        AddProperty(c.subKey, {});
        c.setUp();
        QueryOemInfPath(kNetId, &oemInf_);
        ClearLog();

        EXPECT_EQ(ResetDriverAdvanceParamDesc(SubKey(c.subKey), c.subKey, oemInf_), c.result);

        Lines log{DescLine(c.subKey)};
        log.insert(log.end(), c.log.begin(), c.log.end());
        EXPECT_THAT(Log(), ElementsAreArray(log));
        EXPECT_EQ(Text(SubKey(c.subKey), u"ParamDesc"), c.after);
    }
}

TEST_F(AdvPropsTest, SubKeyResultDecidesTheWalk) {
    AddTableProperty(u"SmartScan");
    AddProperty(u"Speed", {});
    AddProperty(u"PSMode", {});  // no enum key
    Reg().Create(SubKey(u"Radio"));
    QueryOemInfPath(kNetId, &oemInf_);

    EXPECT_EQ(ResetDriverAdvanceSubKey(SubKey(u"SmartScan"), u"SmartScan", oemInf_), 0);
    EXPECT_EQ(ResetDriverAdvanceSubKey(SubKey(u"Speed"), u"Speed", oemInf_), -11);
    EXPECT_EQ(ResetDriverAdvanceSubKey(SubKey(u"PSMode"), u"PSMode", oemInf_), -999);
    EXPECT_EQ(ResetDriverAdvanceSubKey(SubKey(u"Radio"), u"Radio", oemInf_), -999);
    // The enum texts are left alone when ParamDesc fails.
    EXPECT_FALSE(Logged(EnumLine(u"Radio")));
}

TEST_F(AdvPropsTest, InfTextsAreUnquotedAndCutToTheDisplayBuffer) {
    // A surrogate pair across the cut at 255 is dropped whole.
    const std::u16string pairAtCut = std::u16string(254, u'p') + u"\U0001F600tail";
    WriteInf(u"[Strings]\r\nSSID = \"quoted text\"\r\nPSMode=" + std::u16string(300, u'L') +
             u"\r\nRadioOnOff=\"" + pairAtCut + u"\"\r\n");
    QueryOemInfPath(kNetId, &oemInf_);

    EXPECT_EQ(GetInfDisplayText(u"SSID", oemInf_), u"quoted text");
    EXPECT_EQ(GetInfDisplayText(u"PSMode", oemInf_), std::u16string(255, u'L'));
    EXPECT_EQ(GetInfDisplayText(u"RadioOnOff", oemInf_), std::u16string(254, u'p'));
}

TEST_F(AdvPropsTest, WalkVisitsOnlyTheFirstTenSubkeysInEnumerationOrder) {
    for (const Property& property : Properties()) {
        AddTableProperty(property.name);
    }
    // Sorted first, so the ten visited end with Radio: SmartScan and SSID are not reset.
    AddProperty(u"Aaa", {});
    AddProperty(u"Abc", {});

    EXPECT_EQ(ResetDriverAdvanceKey(kNetId), 0);

    EXPECT_EQ(Log().at(2), L(u"Driver advance subkey count is larger than g_nAdvanceSubKeyCnt!!!"));
    EXPECT_EQ(Text(EnumKey(u"Radio"), u"1"), u"US Disable");
    EXPECT_EQ(Text(SubKey(u"SmartScan"), u"ParamDesc"), u"old desc");
    EXPECT_FALSE(Logged(DescLine(u"SmartScan")));
    EXPECT_FALSE(Logged(DescLine(u"SSID")));
}

TEST_F(AdvPropsTest, WalkSkipsUnknownSubkeysAndEndsAtAFailingProperty) {
    struct Case {
        const char* name;
        std::function<void()> setUp;
        Lines rewritten;  // ParamDesc rewritten
        Lines untouched;  // ParamDesc still "old desc"
        std::u16string lastLine;
    };
    const Case cases[] = {
        {"UnknownWithParamDescIsSkipped",
         [&] {
             AddProperty(u"Bogus", {});
             AddProperty(u"ssid", {});
         },
         {u"AdhocNMode", u"CountryRegion", u"IEEE80211H", u"PSMode"},
         {u"Bogus", u"ssid"},
         kNotInTable},
        {"UnknownWithoutParamDesc",
         [&] { Reg().Create(SubKey(u"Bogus")); },
         {u"AdhocNMode"},
         {u"CountryRegion", u"IEEE80211H", u"PSMode"},
         kGetDescFailed},
        {"ThirdPropertysTokenMissing",
         [&] { WriteInf(InfText({u""}, {u"IEEE802_11h"})); },
         {u"AdhocNMode", u"CountryRegion"},
         {u"IEEE80211H", u"PSMode"},
         kDescNotFound},
        {"EnumTokenMissing",
         [&] { WriteInf(InfText({u""}, {u"CountryRegion24G_5"})); },
         {u"AdhocNMode", u"CountryRegion"},
         {u"IEEE80211H", u"PSMode"},
         kEnumNotFound},
        {"EnumKeyMissing",
         [&] { Reg().Delete(EnumKey(u"CountryRegion"), true); },
         {u"AdhocNMode", u"CountryRegion"},
         {u"IEEE80211H", u"PSMode"},
         kOpenEnumFailed},
        {"ParamDescTooLong",
         [&] { Reg().SetString(SubKey(u"IEEE80211H"), u"ParamDesc", std::u16string(64, u'x')); },
         {u"AdhocNMode", u"CountryRegion"},
         {u"PSMode"},
         kGetDescFailed},
        {"InfPathMissing",
         [&] { Reg().ClearValues(kDriverKey); },
         {},
         {u"AdhocNMode", u"CountryRegion", u"IEEE80211H", u"PSMode"},
         kDescNotFound},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Fresh();
        for (const char16_t* name : {u"AdhocNMode", u"CountryRegion", u"IEEE80211H", u"PSMode"}) {
            AddTableProperty(name);
        }
        c.setUp();

        EXPECT_EQ(ResetDriverAdvanceKey(kNetId), 0);

        for (const std::u16string& name : c.rewritten) {
            EXPECT_EQ(Text(SubKey(name), u"ParamDesc"), u"US " + Named(name).descToken);
        }
        for (const std::u16string& name : c.untouched) {
            EXPECT_EQ(Text(SubKey(name), u"ParamDesc"), u"old desc") << Utf16ToUtf8(name);
        }
        EXPECT_EQ(Log().back(), c.lastLine);
        EXPECT_THAT(ChangesOutsideParams(), IsEmpty());
    }
}

TEST_F(AdvPropsTest, WalkFailsBeforeTheLoop) {
    struct Case {
        const char* name;
        std::function<void()> setUp;
        int result;
        std::u16string lastLine;
    };
    const Case cases[] = {
        {"NoParamsKey", [] {}, -4, L(u"Open driver advance key failed")},
        {"NoSubkeys", [&] { Reg().Create(kParams); }, -11, L(u"Driver advance subkey count is 0!")},
        {"NoAdministratorRights",
         [&] {
             AddTableProperty(u"SSID");
             Sim().Settings().administrator = false;
         },
         -4, L(u"Open driver advance key failed")},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Fresh();
        c.setUp();
        ClearJournal();

        EXPECT_EQ(ResetDriverAdvanceKey(kNetId), c.result);
        EXPECT_THAT(Log(), ElementsAre(kWalk, kInfPath, c.lastLine));
        EXPECT_THAT(JournalLines(), IsEmpty());
    }
}

// Each call of the walk fails in turn; CountryRegion (two enum values) comes first,
// then SSID.
TEST_F(AdvPropsTest, EveryFailureIsLoggedAndEndsWhereItShould) {
    struct Case {
        std::optional<Call> call;  // none: nothing fails
        int occurrence;
        int result;
        Lines lines;  // the last lines of the log
    };
    const std::u16string descWriteFailed = L(u"Write advance ParamDesc value failed");
    const std::u16string enumWriteFailed = L(u"Write Advance enum value failed");
    const std::u16string openKeyFailed = L(u"Open Key Failed!");
    const std::u16string writeFailed = L(u"Write Registry Failed");
    // clang-format off
    const Case cases[] = {
        {std::nullopt, 0, 0, {Wrote(u"US CountryRegion24G_1"), DescLine(u"SSID"), Wrote(u"US SSID"),
                        EnumLine(u"SSID")}},
        // Opens: 1 driver key, 2 NDI\params, 3 CountryRegion (ParamDesc), 4 its enum key.
        {Call::RegOpenKeyExW, 1, 0, {kInfPathFailed, DescLine(u"CountryRegion"), kDescNotFound}},
        {Call::RegQueryValueExW, 1, 0, {kInfPathFailed, DescLine(u"CountryRegion"), kDescNotFound}},
        {Call::RegOpenKeyExW, 2, -4, {kInfPath, L(u"Open driver advance key failed")}},
        {Call::RegQueryInfoKeyW, 1, -10, {kInfPath, L(u"Query driver advance key info failed")}},
        {Call::RegEnumKeyExW, 1, -11, {kInfPath, L(u"Enum driver advance subkey failed")}},
        {Call::RegEnumKeyExW, 2, -11, {Wrote(u"US CountryRegion24G_1"),
                                   L(u"Enum driver advance subkey failed")}},
        {Call::RegOpenKeyExW, 3, 0, {DescLine(u"CountryRegion"), kGetDescFailed}},
        {Call::RegQueryValueExW, 2, 0, {DescLine(u"CountryRegion"), kGetDescFailed}},
        {Call::RegCreateKeyExW, 1, 0, {openKeyFailed, descWriteFailed}},
        {Call::RegSetValueExW, 1, 0, {writeFailed, descWriteFailed}},
        {Call::RegOpenKeyExW, 4, 0, {EnumLine(u"CountryRegion"), kOpenEnumFailed}},
        {Call::RegQueryInfoKeyW, 2, 0, {EnumLine(u"CountryRegion"),
                                    L(u"Query advance enum key info failed")}},
        {Call::RegEnumValueW, 2, 0, {Wrote(u"US CountryRegion24G_0"),
                                 L(u"Enum advance enum key failed")}},
        {Call::RegCreateKeyExW, 2, 0, {openKeyFailed, enumWriteFailed}},
        {Call::RegSetValueExW, 3, 0, {Wrote(u"US CountryRegion24G_0"), writeFailed, enumWriteFailed}},
    };
    // clang-format on
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.call ? CallName(*c.call) : "none") + " #" +
                     std::to_string(c.occurrence));
        Fresh();
        AddProperty(u"CountryRegion", {{u"0", u"old 0"}, {u"1", u"old 1"}});
        AddProperty(u"SSID", {});
        if (c.call)
            Sim().InjectFault(*c.call, c.occurrence, ERROR_ACCESS_DENIED);
        ClearJournal();

        EXPECT_EQ(ResetDriverAdvanceKey(kNetId), c.result);

        Lines log = Log();
        ASSERT_GE(log.size(), c.lines.size());
        EXPECT_THAT(Lines(log.end() - c.lines.size(), log.end()), ElementsAreArray(c.lines));
        EXPECT_THAT(ChangesOutsideParams(), IsEmpty());
    }
}

TEST_F(AdvPropsTest, UnreadableInfEndsTheWalkAtTheFirstProperty) {
    const std::string garbage("\x00\xff\xfe\x01[\x00\x80\x81\x00\x00\xc3\x28\xa0\xa1\x00\n\r[[",
                              20);
    struct Case {
        const char* name;
        std::function<void()> setUp;
    };
    const Case cases[] = {
        {"Missing", [&] { std::filesystem::remove(Sim().HostPath(kInfFile)); }},
        {"Empty", [&] { WriteInf(u""); }},
        {"BinaryGarbage",
         [&] {
             std::ofstream(Sim().HostPath(kInfFile), std::ios::binary | std::ios::trunc) << garbage;
         }},
        {"HeaderWithoutClosingBracket",
         [&] { WriteInf(u"[Version]\r\nSignature=x\r\n[Strings\r\nSSID=\"x\"\r\n"); }},
        {"IsADirectory",
         [&] {
             std::filesystem::remove(Sim().HostPath(kInfFile));
             std::filesystem::create_directories(Sim().HostPath(kInfFile));
         }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Fresh();
        AddTableProperty(u"SSID");
        c.setUp();
        ClearJournal();

        EXPECT_EQ(ResetDriverAdvanceKey(kNetId), 0);
        EXPECT_EQ(Log().back(), kDescNotFound);
        EXPECT_THAT(JournalLines(), IsEmpty());
    }
}

// "/debug" runs the walk after the country settings reset and before the restart.
TEST_F(AdvPropsTest, DebugRunRewritesTheTexts) {
    WriteTextFile(kIniPath, u"[DriverKey]\r\nNetID=0007\r\n");
    for (const Property& property : Properties()) {
        AddTableProperty(property.name);
    }
    Sim().Settings().systemLocale = 0x0411;
    std::u16string exe = kExePath, debug = u"/debug";
    char16_t* argv[] = {exe.data(), debug.data(), nullptr};

    EXPECT_EQ(_tmain(2, argv), 0);

    Lines log = Log();
    auto walk = std::find(log.begin(), log.end(), kWalk);
    auto enter = std::find(log.begin(), log.end(), L(u"--> _tmain()"));
    auto lastWrite = std::find(log.begin(), log.end(), Wrote(u"日本語 SSID"));
    ASSERT_NE(walk, log.end());
    ASSERT_NE(lastWrite, log.end());
    EXPECT_GT(walk - enter, 1);  // the country settings reset came first
    EXPECT_LT(lastWrite - log.begin(), std::ssize(log) - 2);  // the restart follows
    EXPECT_EQ(Text(EnumKey(u"Radio"), u"0"), u"有効");
    EXPECT_EQ(Text(SubKey(u"CountryRegionABand"), u"ParamDesc"), u"日本語 CountryRegion5G");
}

}  // namespace
}  // namespace ze
