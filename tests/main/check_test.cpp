// "/check" on copies of the demo machine: findings with their file, and the country
// table the reset itself gives.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <random>
#include <regex>

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
    int Run(std::vector<std::u16string> arguments, std::string* shown) {
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
    Write(kInstallDir / "ZeCoInst.dat", data);
    Write("C/windows/system32/ZC00121D6A.ini",
          "[A]\r\nRegName=N\r\nRegType=reg_dword\r\nRegValue=1\r\n"
          "[B]\r\nRegName=M\r\nRegType=REG_DWORD\r\nRegValue=0x10\r\n");
    std::string shown;
    EXPECT_EQ(Run({u"/check"}, &shown), ZE_EXIT_CHECK_ERRORS);
    for (const char* finding : {
             "ZeCoInst.dat:28: [CountryTxPwr5G] JPN=14,14,12 is not four numbers",
             "[CountryWirelessMode] DEU=xyz has no hexadecimal number",
             "[CountryTxPwr] DEU=11x is not a whole decimal number: the reset reads 11",
             "[RegionChannel2_4G] GBR=42 is not a choice of the driver's CountryRegion",
             "warning: C:\\windows\\system32\\ZC00121D6A.ini",
             "[B] RegValue \"0x10\" is not a whole decimal number: written as 0",
             "FRA is listed in [RegionChannel2_4G] but not in [CountryTxPwr]: the reset uses USA's "
             "entry",
         }) {
        EXPECT_NE(shown.find(finding), std::string::npos) << finding << "\n" << shown;
    }
}

TEST_F(CheckTest, FilesTheProfileFunctionsCannotReadAreErrors) {
    Write("C/f/empty.dat", "");
    Write("C/f/binary.dat", std::string("\x00\x01\x02\xFF\xFE\x00", 6));
    Write("C/f/utf16.dat", std::string("[\0S\0]\0", 7));
    std::filesystem::create_directories(dir_ / "C/f/folder");
    for (const char16_t* file : {u"C:\\f\\empty.dat", u"C:\\f\\binary.dat", u"C:\\f\\utf16.dat",
                                 u"C:\\f\\folder", u"C:\\f\\missing.dat"}) {
        std::string shown;
        EXPECT_EQ(Run({u"/check", file}, &shown), ZE_EXIT_CHECK_ERRORS) << shown;
        EXPECT_NE(shown.find("error: " + Utf16ToUtf8(file) + ": "), std::string::npos) << shown;
    }
}

}  // namespace
}  // namespace ze::testing
