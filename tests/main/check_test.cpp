// "/check" on copies of the demo machine: findings with their file, and the country
// table the reset itself gives.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <random>
#include <regex>

#include "check/regdb_builder.h"
#include "commands/commands.h"
#include "common/text.h"
#include "main/program.h"
#include "platform/sim/sim_platform.h"

namespace ze::testing {
namespace {

const std::filesystem::path kInstallDir = "C/Program Files/Zelvaro";

class CheckTest : public ::testing::Test {
  protected:
    CheckTest() {
        std::random_device random;
        dir_ =
            std::filesystem::temp_directory_path() / ("zeregion-check-" + std::to_string(random()));
        std::filesystem::copy(std::filesystem::path(ZE_SOURCE_DIR) / "examples/demo-machine", dir_,
                              std::filesystem::copy_options::recursive);
    }
    ~CheckTest() override { std::filesystem::remove_all(dir_); }

    void Write(const std::filesystem::path& relative, const std::string& bytes) {
        std::filesystem::create_directories((dir_ / relative).parent_path());
        std::ofstream(dir_ / relative, std::ios::binary | std::ios::trunc) << bytes;
    }
    std::string Read(const std::filesystem::path& relative) {
        std::ifstream in(dir_ / relative, std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(in), {});
    }

    // Runs the program on the machine; returns the exit code, the output in *shown.
    int Run(std::vector<std::u16string> arguments, std::string* shown,
            std::string* errors = nullptr) {
        std::string error;
        auto machine = sim::SimPlatform::OpenMachine(dir_, &error);
        EXPECT_NE(machine, nullptr) << error;
        arguments.insert(arguments.begin(), u"C:\\Program Files\\Zelvaro\\ZeRegionSvc.exe");
        std::vector<char16_t*> argv;
        for (auto& argument : arguments)
            argv.push_back(argument.data());
        argv.push_back(nullptr);
        ScopedPlatform scope(*machine);
        int code = _tmain(static_cast<int>(arguments.size()), argv.data());
        *shown = machine->StandardStream(STD_OUTPUT_HANDLE);
        if (errors != nullptr)
            *errors = machine->StandardStream(STD_ERROR_HANDLE);
        EXPECT_TRUE(machine->JournalOf().Lines().empty());
        return code;
    }

    std::filesystem::path dir_;
};

TEST_F(CheckTest, TheShippedMachineHasNoErrorsAndATableOfWhatEachCountryGets) {
    std::string shown;
    EXPECT_EQ(Run({u"/check"}, &shown), 0) << shown;
    EXPECT_NE(shown.find("0 errors"), std::string::npos) << shown;
    // JPN: channel 14 disabled gives region 1 whatever the file says; 112 is bounded by
    // 5-17; FRA has only regions and IEEE 802.11h, and USA's power and mode.
    for (const char* row : {
             R"(JPN +"1" +"9" +"1" +"1" +0x0000000C +0x0E0E0C0C +"5"\r\n)",
             R"(DEU +"1" +"1" +"1" +"1" +0x0000000F +0x0A0C0E0F +"3"\r\n)",
             R"(FRA +"1" +"1" +- +"1" +0x00000011 +0x0F0F0F0F +"5"\r\n)",
         }) {
        EXPECT_TRUE(std::regex_search(shown, std::regex(row))) << row << "\n" << shown;
    }
    EXPECT_NE(shown.find("warning: C:\\Program Files\\Zelvaro\\ZeCoInst.dat:11: FRA is listed"),
              std::string::npos)
        << shown;
}

TEST_F(CheckTest, EntriesTheResetWouldMisreadAreErrorsWithTheirFile) {
    std::string data = Read(kInstallDir / "ZeCoInst.dat");
    data.replace(data.find("JPN=14,14,12,12"), 15, "JPN=14,14,12");
    data.replace(data.find("DEU=10001000"), 12, "DEU=xyz");
    data.replace(data.find("DEU=115"), 7, "DEU=11x");
    data.replace(data.find("GBR=1\r\n\r\n[RegionChannel5G]"), 5, "GBR=42");
    // Not judged: with channel 14 disabled the reset writes region 1 for JPN.
    data.replace(data.find("JPN=5"), 5, "JPN=42");
    Write(kInstallDir / "ZeCoInst.dat", data);
    Write("C/windows/system32/ZC00121D6A.ini",
          "[A]\r\nRegName=N\r\nRegType=reg_dword\r\nRegValue=1\r\n"
          "[B]\r\nRegName=M\r\nRegType=REG_DWORD\r\nRegValue=0x10\r\n");
    std::string shown, errors;
    EXPECT_EQ(Run({u"/check"}, &shown, &errors), ZE_EXIT_CHECK_ERRORS);
    EXPECT_EQ(errors,
              "ZeRegionSvc: /check failed: 5 errors in the files the reset reads, listed on "
              "standard output (1)\r\n");
    for (const char* finding : {
             "ZeCoInst.dat:28: [CountryTxPwr5G] JPN=14,14,12 is not four numbers",
             "[CountryWirelessMode] DEU=xyz has no hexadecimal number",
             "[CountryTxPwr] DEU=11x is not a whole decimal number: the reset reads 11",
             ":12: [RegionChannel2_4G] GBR=42 is not a choice of the driver's CountryRegion",
             "warning: C:\\windows\\system32\\ZC00121D6A.ini",
             "[B] RegValue \"0x10\" is not a whole decimal number: written as 0",
             "FRA is listed in [RegionChannel2_4G] but not in [CountryTxPwr]: the reset uses USA's "
             "entry",
         }) {
        EXPECT_NE(shown.find(finding), std::string::npos) << finding << "\n" << shown;
    }
}

// A value the reset writes without an entry (the driver's channel-14 setting forces
// JPN's region, USA's power stands in) is what both the warning and the table say.
TEST_F(CheckTest, AWarningAboutAMissingEntrySaysWhatTheTableShows) {
    std::string data = Read(kInstallDir / "ZeCoInst.dat");
    data.erase(data.find("JPN=5\r\n"), 7);
    data.erase(data.find("DEU=1\r\n"), 7);  // the first, [RegionChannel2_4G]'s
    Write(kInstallDir / "ZeCoInst.dat", data);
    std::string shown;
    EXPECT_EQ(Run({u"/check"}, &shown), 0) << shown;
    for (const char* line : {
             "JPN is listed in [RegionChannel5G] but not in [RegionChannel2_4G]: the reset writes "
             "CountryRegion \"1\" all the same\r\n",
             "DEU is listed in [RegionChannel5G] but not in [RegionChannel2_4G]: nothing is "
             "written\r\n",
             "FRA is listed in [RegionChannel2_4G] but not in [CountryTxPwr]: the reset uses USA's "
             "entry, CountryTxPwr 0x00000011\r\n",
         }) {
        EXPECT_NE(shown.find(line), std::string::npos) << line << "\n" << shown;
    }
    for (const char* row :
         {R"(JPN +"1" +"9" )", R"(DEU +- +"1" )", R"(FRA +"1" +"1" +- +"1" +0x00000011 )"})
        EXPECT_TRUE(std::regex_search(shown, std::regex(row))) << row << "\n" << shown;
}

TEST_F(CheckTest, FilesTheProfileFunctionsCannotReadAreErrors) {
    Write("C/f/empty.dat", "");
    Write("C/f/binary.dat", std::string("\x00\x01\x02\xFF\xFE\x00", 6));
    Write("C/f/utf16.dat", std::string("[\0S\0]\0", 7));
    // Windows reads UTF-8 as ANSI, a mark included: a section on line 1 is lost.
    Write("C/f/utf8.dat", "\xEF\xBB\xBF[S]\r\nK=1\r\n[T]\r\nK=\xC3\xA9\r\n");
    std::filesystem::create_directories(dir_ / "C/f/folder");
    for (const char16_t* file : {u"C:\\f\\empty.dat", u"C:\\f\\binary.dat", u"C:\\f\\utf16.dat",
                                 u"C:\\f\\folder", u"C:\\f\\missing.dat", u"C:\\f\\utf8.dat"}) {
        std::string shown;
        EXPECT_EQ(Run({u"/check", file}, &shown), ZE_EXIT_CHECK_ERRORS) << shown;
        EXPECT_NE(shown.find("error: " + Utf16ToUtf8(file) + ": "), std::string::npos) << shown;
    }
    const std::string saveAs = "; save it as UTF-16LE with a byte-order mark, or as ANSI\r\n";
    std::string shown;
    Run({u"/check", u"C:\\f\\utf8.dat"}, &shown);
    EXPECT_NE(shown.find(": has a UTF-8 byte-order mark: Windows reads this file as ANSI" + saveAs),
              std::string::npos);
    Write("C/f/utf8.dat", "[T]\r\nK=\xC3\xA9\r\n");
    Run({u"/check", u"C:\\f\\utf8.dat"}, &shown);
    EXPECT_NE(shown.find("warning: C:\\f\\utf8.dat: is UTF-8, which the profile functions read as "
                         "ANSI, so its non-ASCII text is misread" +
                         saveAs),
              std::string::npos)
        << shown;
}

// Replaces the first `from` of a UTF-16LE file's text.
std::string ReplacedUtf16(std::string bytes, const std::string& from, const std::string& to) {
    auto encode = [](const std::string& text) {
        std::u16string wide = Utf8ToUtf16(text);
        return std::string(reinterpret_cast<const char*>(wide.data()), 2 * wide.size());
    };
    std::size_t at = bytes.find(encode(from));
    EXPECT_NE(at, std::string::npos) << from;
    return at == std::string::npos ? bytes : bytes.replace(at, 2 * from.size(), encode(to));
}

// The regulatory audit against a hand-made database that plants each case once: a
// channel outside the rules (USA's 12 and 13), channel 14 with OFDM (GBR), DFS
// without 802.11h (USA), an unknown code (GER) and a code missing from it (JPN).
TEST_F(CheckTest, TheRegulatoryAuditNamesEachChannelOutsideTheRulesWithItsLine) {
    std::string data = Read(kInstallDir / "ZeCoInst.dat");
    data.replace(data.find("USA=0"), 5, "USA=1");
    data.replace(data.find("GBR=1"), 5, "GBR=5\nGER=1");
    Write(kInstallDir / "ZeCoInst.dat", data);
    std::vector<TestRule> europe{
        {2400, 2484, 40}, {5150, 5250, 80}, {5250, 5350, 80, 4}, {5470, 5725, 160, 4}};
    std::vector<TestRule> britain = europe;
    britain.push_back({2474, 2494, 20, 1});
    Write("C/regdb/planted.db",
          BuildRegdb({{"00", {{2402, 2472, 40}, {2457, 2482, 20, 8}, {5170, 5835, 80, 8}}},
                      {"DE", europe},
                      {"FR", europe},
                      {"GB", britain},
                      {"US",
                       {{2400, 2472, 40},
                        {5150, 5250, 80},
                        {5250, 5350, 80, 4},
                        {5470, 5730, 160, 4},
                        {5730, 5850, 80}}}}));
    std::string shown;
    EXPECT_EQ(Run({u"/check", u"/REGDB", u"C:\\regdb\\planted.db"}, &shown), 1);
    const std::string file = "C:\\Program Files\\Zelvaro\\ZeCoInst.dat:";
    for (const std::string& line : {
             "error: " + file +
                 "8: [RegionChannel2_4G] USA: region 1: channel 12 (2467 MHz) lies "
                 "outside the ranges US allows\r\n",
             "error: " + file +
                 "8: [RegionChannel2_4G] USA: region 1: channel 13 (2472 MHz) lies "
                 "outside the ranges US allows\r\n",
             "error: " + file +
                 "12: [RegionChannel2_4G] GBR: region 5: channel 14 (2484 MHz) is "
                 "allowed in GB only without OFDM, and wireless mode 5 uses OFDM\r\n",
             "error: " + file +
                 "13: GER is not an ISO 3166-1 alpha-3 country code: DEU (Germany) "
                 "is likely meant\r\n",
             "warning: " + file +
                 "9: JPN (JP) has no entry in the regulatory database: the world "
                 "domain 00 applies\r\n",
             "warning: " + file +
                 "16: [RegionChannel5G] USA: region 7: channels 52-64, 100-140 lie "
                 "in DFS ranges of US, and 802.11h stays off for USA ([Settings] IEEE80211H does "
                 "not "
                 "switch it on)\r\n",
             std::string("4 errors, 12 warnings\r\n"),
         }) {
        EXPECT_NE(shown.find(line), std::string::npos) << line << "\n" << shown;
    }
    for (const char* row : {
             R"(USA .* US +1-13 +36-64, 100-140, 149-165 +outside: 12-13; DFS without 802.11h\r\n)",
             R"(JPN .* 00 +1-13 +36-64, 100-116, 132-140, 149-165 +not in the database\r\n)",
             R"(DEU .* DE +1-13 +36-64, 100-140 +ok\r\n)",
             R"(GBR .* GB +1-14 +36-64, 100-140 +14 only without OFDM\r\n)",
             R"(GER .* 00 +1-13 +- +unknown code\r\n)",
         }) {
        EXPECT_TRUE(std::regex_search(shown, std::regex(row))) << row << "\n" << shown;
    }
}

// A database that cannot be read and region texts without a readable list are errors
// of their own; the rest of the check, the texts' audit included, still runs.
TEST_F(CheckTest, TheAuditNamesWhatItCannotReadAndTheRestOfTheCheckRuns) {
    const std::filesystem::path inf = "C/windows/inf/oem3.inf";
    std::string text = ReplacedUtf16(Read(inf), "\"#0 (1-11)\"", "\"#0 (10-)\"");
    Write(inf, ReplacedUtf16(text, "\"#7 (36-64, 100-140, 149-165)\"", "\"#7\""));
    Write("C/regdb/text.db", "[Settings]\r\n");
    std::string shown;
    EXPECT_EQ(Run({u"/check", u"/regdb", u"C:\\regdb\\text.db", u"/map", u"C:\\map.svg"}, &shown),
              1);
    for (const char* line : {
             "error: C:\\regdb\\text.db: is not a regulatory database: it does not begin with "
             "\"RGDB\"\r\n",
             "error: C:\\windows\\inf\\oem3.inf:23: [Strings] CountryRegion24G_0 \"#0 (10-)\": "
             "its channel list cannot be read, \"10-\" is not a channel of the band (1 to 14) or a "
             "range of them: the 2.4 GHz channels of region 0 cannot be audited\r\n",
             "warning: C:\\windows\\inf\\oem3.inf:38: [Strings] CountryRegion5G_7 \"#7\" has no "
             "channel list such as \"#1 (1-13)\": the 5 GHz channels of region 7 are unknown\r\n",
             "error: C:\\map.svg: is not written: the regulatory database cannot be read\r\n",
         }) {
        EXPECT_NE(shown.find(line), std::string::npos) << line << "\n" << shown;
    }
    EXPECT_TRUE(std::regex_search(
        shown, std::regex(R"(USA .* - +channels unknown +channels unknown +ok\r\n)")))
        << shown;
    EXPECT_FALSE(std::filesystem::exists(dir_ / "C/map.svg"));
    EXPECT_EQ(Run({u"/check", u"/regdb", u"C:\\regdb\\text.db", u"/map"}, &shown), 87);
}

}  // namespace
}  // namespace ze::testing
