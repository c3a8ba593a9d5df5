// The Wine tier's country cases, run on the simulated machine: the same driver key,
// data file and platform settings file, the same expected registry and log.
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>

#include "common/text.h"
#include "country/country.h"
#include "country_fixture.h"

namespace ze::testing {
namespace {

const std::filesystem::path kCases =
    std::filesystem::path(__FILE__).parent_path().parent_path() / "wine" / "cases" / "country";

std::string ReadHostFile(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

std::vector<std::string> HostLines(const std::filesystem::path& path) {
    std::istringstream in(ReadHostFile(path));
    std::vector<std::string> lines;
    for (std::string line; std::getline(in, line);) {
        lines.push_back(line);
    }
    return lines;
}

// One key of expected.txt: its values as "name" TYPE bytes lines, or absent.
struct ExpectedKey {
    bool absent = false;
    std::map<std::string, std::string> values;  // name -> line
};

std::map<std::string, ExpectedKey> ExpectedKeys(const std::filesystem::path& file) {
    std::map<std::string, ExpectedKey> keys;
    std::string current;
    for (const std::string& line : HostLines(file)) {
        if (line.empty() || line[0] == '#') {
            continue;
        }
        if (line[0] == '[') {
            bool absent = line[1] == '-';
            current = line.substr(absent ? 2 : 1, line.size() - (absent ? 3 : 2));
            keys[current].absent = absent;
        } else {
            keys[current].values[line.substr(0, line.find("\" ") + 1)] = line;
        }
    }
    return keys;
}

class WineCaseTest : public CountryTest {
  protected:
    void RunCase(const std::string& name, LCID systemLocale) {
        SCOPED_TRACE(name);
        std::string error;
        ASSERT_TRUE(
            Reg().ImportReg(Utf8ToUtf16(ReadHostFile(kCases / "machine" / "driver.reg")), &error))
            << error;
        WriteBytes(kDatPath, ReadHostFile(kCases / name / "ZeCoInst.dat"));
        WriteBytes(u"C:\\windows\\system32\\ZC9ABC1234.ini",
                   ReadHostFile(kCases / "machine" / "ZC9ABC1234.ini"));
        Sim().Settings().systemLocale = systemLocale;

        EXPECT_EQ(ResetCountrySettings(kNetId), 1);

        for (const auto& [path, expected] : ExpectedKeys(kCases / name / "expected.txt")) {
            const sim::RegKey* key = Reg().Find(Utf8ToUtf16(path));
            if (expected.absent) {
                EXPECT_EQ(key, nullptr) << path;
                continue;
            }
            ASSERT_NE(key, nullptr) << path;
            std::map<std::string, std::string> actual;
            for (const sim::RegValue& value : key->values) {
                sim::JournalEntry entry{"SetValue", u"", value.name, value.type, value.data};
                std::string line = entry.ToString();
                actual["\"" + Utf16ToUtf8(value.name) + "\""] = line.substr(line.find('"'));
            }
            EXPECT_EQ(actual, expected.values) << path;
        }

        Lines log;
        for (const std::string& line : HostLines(kCases / name / "expected-log.txt")) {
            bool bareLineFeed = line.find("RemoveAdHocNMode: ") != std::string::npos;
            log.push_back(Utf8ToUtf16(line) + (bareLineFeed ? u"\n" : u"\r\n"));
        }
        EXPECT_EQ(LogMessages(), log);
    }
};

TEST_F(WineCaseTest, JapaneseLocale) {
    RunCase("jpn", 0x0411);
}

TEST_F(WineCaseTest, WindowsCountryOverridesTheUsLocale) {
    RunCase("override", 0x0409);
}

}  // namespace
}  // namespace ze::testing
