// Channel lists of region texts, channels judged against the package's database, and
// the ISO 3166-1 table with its suggestions for codes it does not hold.
#include <gtest/gtest.h>

#include <fstream>
#include <iterator>

#include "check/channel_audit.h"
#include "check/channels.h"
#include "check/iso3166.h"
#include "common/text.h"

namespace ze::testing {
namespace {

TEST(ChannelsTest, RegionTextsGiveTheirChannelsOrSayWhyNot) {
    using State = ChannelList::State;
    const struct {
        const char16_t* text;
        Band band;
        State state;
        const char* shown;  // the channels, or the problem
    } cases[] = {
        {u"#1 (1-13)", Band::k2_4GHz, State::Listed, "1-13"},
        {u"#4 (14)", Band::k2_4GHz, State::Listed, "14"},
        {u"#2 ( 10 - 11 ,1)", Band::k2_4GHz, State::Listed, "1, 10-11"},
        {u"#0 (36-64, 149-165)", Band::k5GHz, State::Listed, "36-64, 149-165"},
        {u"#9 (36-64, 100-116, 132-140, 149-165)", Band::k5GHz, State::Listed,
         "36-64, 100-116, 132-140, 149-165"},
        {u"#2", Band::k2_4GHz, State::None, ""},
        {u"#3 (10-)", Band::k2_4GHz, State::Unreadable,
         "\"10-\" is not a channel of the band (1 to 14) or a range of them"},
        {u"#5 (a-b)", Band::k2_4GHz, State::Unreadable,
         "\"a-b\" is not a channel of the band (1 to 14) or a range of them"},
        {u"#1 (1-15)", Band::k2_4GHz, State::Unreadable,
         "\"1-15\" is not a channel of the band (1 to 14) or a range of them"},
        {u"#0 (36-64,)", Band::k5GHz, State::Unreadable,
         "\"\" is not a channel of the band (1 to 177) or a range of them"},
        {u"#1 (13-1)", Band::k2_4GHz, State::Unreadable, "the range \"13-1\" runs backwards"},
        {u"#0 (36-50)", Band::k5GHz, State::Unreadable,
         "the range \"36-50\" does not run in steps of 4 (20 MHz channels)"},
        {u"#1 (1-13", Band::k2_4GHz, State::Unreadable, "its list has no closing parenthesis"},
    };
    for (const auto& c : cases) {
        ChannelList list = ReadChannelList(c.text, c.band);
        std::string text = Utf16ToUtf8(c.text);
        EXPECT_EQ(list.state, c.state) << text;
        EXPECT_EQ(Utf16ToUtf8(list.state == State::Listed ? FormatChannels(list.channels, c.band)
                                                          : list.problem),
                  c.shown)
            << text;
    }
    EXPECT_EQ(ReadChannelList(u"#0 (36-64, 149-165)", Band::k5GHz).channels.size(), 13u);
}

TEST(ChannelsTest, ChannelsAreJudgedAgainstTheCountrysRanges) {
    std::ifstream in("/lib/firmware/regulatory.db", std::ios::binary);
    std::string bytes(std::istreambuf_iterator<char>(in), {});
    regdb::Database database;
    std::u16string error;
    ASSERT_TRUE(regdb::ParseDatabase(
        {reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size()}, &database, &error));
    const struct {
        const char16_t* country;
        Band band;
        int channel;
        bool inside, needsNoOfdm, dfs;
    } cases[] = {
        {u"US", Band::k2_4GHz, 11, true, false, false},
        {u"US", Band::k2_4GHz, 12, false, false, false},  // 2457-2477 MHz passes 2472
        {u"DE", Band::k2_4GHz, 13, true, false, false},
        {u"JP", Band::k2_4GHz, 14, true, true, false},
        {u"DE", Band::k2_4GHz, 14, false, false, false},
        {u"00", Band::k2_4GHz, 13, true, false, false},  // NO-IR, but a range
        {u"US", Band::k5GHz, 48, true, false, false},    // ends where the DFS range starts
        {u"US", Band::k5GHz, 52, true, false, true},
        {u"JP", Band::k5GHz, 149, false, false, false},
        {u"US", Band::k5GHz, 165, true, false, false},
    };
    for (const auto& c : cases) {
        ChannelVerdict verdict = JudgeChannel(*database.Find(c.country), c.band, c.channel);
        std::string name = Utf16ToUtf8(c.country) + " " + std::to_string(c.channel);
        EXPECT_EQ(verdict.inside, c.inside) << name;
        EXPECT_EQ(verdict.needsNoOfdm, c.needsNoOfdm) << name;
        EXPECT_EQ(verdict.dfs, c.dfs) << name;
        EXPECT_EQ(IsViolation(verdict, true), !c.inside || c.needsNoOfdm) << name;
        EXPECT_EQ(IsViolation(verdict, false), !c.inside) << name;
    }
}

TEST(ChannelsTest, CodesOutsideIso3166GetTheCodesTheyWereLikelyMeantFor) {
    ASSERT_NE(FindIso3166Alpha3(u"DEU"), nullptr);
    EXPECT_EQ(std::u16string(FindIso3166Alpha3(u"DEU")->alpha2), u"DE");
    EXPECT_EQ(FindIso3166Alpha3(u"deu"), nullptr);
    EXPECT_GT(Iso3166Countries().size(), 240u);
    const struct {
        const char16_t* code;
        const char* suggested;
    } cases[] = {
        {u"GER", "DEU"}, {u"jpn", "JPN"}, {u"DE", "DEU"},  {u"JAP", "JPN"},
        {u"JNP", "JPN"}, {u"KOR", "KOR"}, {u"SWI", "CHE"}, {u"QQQ", ""},
    };
    for (const auto& c : cases) {
        std::string suggested;
        for (const Iso3166Country* country : SuggestIso3166Alpha3(c.code))
            suggested += (suggested.empty() ? "" : " ") + Utf16ToUtf8(country->alpha3);
        EXPECT_EQ(suggested, c.suggested) << Utf16ToUtf8(c.code);
    }
}

}  // namespace
}  // namespace ze::testing
