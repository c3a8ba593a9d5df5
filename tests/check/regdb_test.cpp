// The regulatory database reader: the wireless-regdb package's file, and hand-made
// files that are damaged in one way each.
#include "check/regdb.h"

#include <gtest/gtest.h>

#include <fstream>
#include <iterator>

#include "check/regdb_builder.h"
#include "sim_fixture.h"

namespace ze::testing {
namespace {

std::string PackageDatabase() {
    std::ifstream in("/lib/firmware/regulatory.db", std::ios::binary);
    EXPECT_TRUE(in) << "the wireless-regdb package is not installed";
    return std::string(std::istreambuf_iterator<char>(in), {});
}

bool Parse(const std::string& bytes, regdb::Database* database, std::u16string* error) {
    return regdb::ParseDatabase({reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size()},
                                database, error);
}

TEST(RegdbTest, ThePackagesDatabaseHasItsCountriesWithTheirRanges) {
    regdb::Database database;
    std::u16string error;
    ASSERT_TRUE(Parse(PackageDatabase(), &database, &error)) << Utf16ToUtf8(error);
    EXPECT_GT(database.countries.size(), 150u);
    ASSERT_NE(database.Find(u"00"), nullptr);
    const regdb::Country* japan = database.Find(u"JP");
    ASSERT_NE(japan, nullptr);
    EXPECT_EQ(japan->dfsRegion, 3);
    // Channel 14's range, OFDM forbidden.
    bool channel14 = false;
    for (const regdb::Rule& rule : japan->rules) {
        channel14 = channel14 || (rule.startKhz == 2474000 && rule.endKhz == 2494000 &&
                                  rule.maxBandwidthKhz == 20000 && rule.flags == regdb::kNoOfdm);
    }
    EXPECT_TRUE(channel14);
}

TEST(RegdbTest, DamagedDatabasesAreRefusedWithWhatIsWrong) {
    std::string sound = BuildRegdb({{"DE", {{2400, 2483, 40}}}});
    std::string badRulePointer = sound;
    badRulePointer[21] = '\x7F';  // DE's first rule pointer, at 20
    std::string shortRule = sound;
    shortRule[24] = 12;  // DE's rule, at 24
    std::string shortHeader = sound;
    shortHeader[16] = 2;  // DE's rule list, at 16
    std::string wrongVersion = sound;
    wrongVersion[7] = 19;
    const struct {
        const char* name;
        std::string bytes;
        const char16_t* error;
    } cases[] = {
        {"empty", "", u"is not a regulatory database: it does not begin with \"RGDB\""},
        {"a text file", "[Settings]\r\n",
         u"is not a regulatory database: it does not begin "
         u"with \"RGDB\""},
        {"version 19", wrongVersion,
         u"is a regulatory database of version 19; this program reads version 20"},
        {"header only", sound.substr(0, 8), u"is truncated: its country list has no end"},
        {"cut in the rules", sound.substr(0, 30),
         u"country DE points outside the file for a rule (byte 24 of 30): damaged or "
         u"truncated"},
        {"rule pointer outside", badRulePointer,
         u"country DE points outside the file for a rule (byte 508 of 40): damaged or "
         u"truncated"},
        {"list pointer outside", BuildRegdb({{"DE", {{2400, 2483, 40}}}}).substr(0, 16),
         u"country DE points outside the file for its rule list (byte 16 of 16): damaged or "
         u"truncated"},
        {"start past end", BuildRegdb({{"DE", {{2400, 2483, 40}, {5350, 5250, 80}}}}),
         u"country DE has a rule that starts at 5350000 kHz, past its end at 5250000 kHz"},
        {"no rules", BuildRegdb({{"US", {{2400, 2472, 40}}}, {"DE", {}}}),
         u"country DE has no rules"},
        {"short rule", shortRule, u"country DE has a rule of 12 bytes, shorter than 16"},
        {"short rule list header", shortHeader,
         u"country DE has a rule list header of 2 bytes, shorter than 3"},
    };
    for (const auto& c : cases) {
        regdb::Database database;
        database.countries.push_back({u"XX", 0, {}});
        std::u16string error;
        EXPECT_FALSE(Parse(c.bytes, &database, &error)) << c.name;
        EXPECT_EQ(Utf16ToUtf8(error), Utf16ToUtf8(c.error)) << c.name;
        EXPECT_EQ(database.countries.size(), 1u) << c.name << ": the output was changed";
    }
}

TEST(RegdbTest, EveryCutOfThePackagesDatabaseIsRefused) {
    std::string bytes = PackageDatabase();
    for (std::size_t size = 0; size < bytes.size(); size += 7) {
        regdb::Database database;
        std::u16string error;
        EXPECT_FALSE(Parse(bytes.substr(0, size), &database, &error)) << size;
    }
}

class RegdbFileTest : public SimTest {};

TEST_F(RegdbFileTest, TheFileIsReadThroughThePlatform) {
    regdb::Database database;
    std::u16string error;
    EXPECT_TRUE(regdb::LoadDatabase(u"Z:\\lib\\firmware\\regulatory.db", &database, &error))
        << Utf16ToUtf8(error);
    EXPECT_FALSE(regdb::LoadDatabase(u"C:\\regulatory.db", &database, &error));
    EXPECT_EQ(error, u"cannot be opened (error 2)");
}

}  // namespace
}  // namespace ze::testing
