// The outcomes' event IDs, severities and inserts are those of the message table the
// executable carries, and an event is reported whatever the Event Log makes of it.
#include <fstream>
#include <map>
#include <regex>

#include "common/events.h"
#include "sim_fixture.h"

namespace ze::testing {
namespace {

struct Message {
    DWORD id = 0;
    std::string severity;
    int inserts = 0;  // the highest %n of its text
};

// The messages of the .mc file by symbolic name.
std::map<std::string, Message> MessageTable() {
    std::ifstream in(std::string(ZE_SOURCE_DIR) + "/src/main/messages.mc");
    std::map<std::string, Message> table;
    static const std::regex field(R"((MessageId|Severity|SymbolicName)=(\w+))");
    static const std::regex insert(R"(%(\d+))");
    Message message;
    std::string name;
    bool inText = false;
    for (std::string line; std::getline(in, line);) {
        std::smatch match;
        if (inText && line == ".") {
            table[name] = message;
            inText = false;
        } else if (inText) {
            for (std::sregex_iterator it(line.begin(), line.end(), insert), end; it != end; ++it)
                message.inserts = std::max(message.inserts, std::stoi((*it)[1]));
        } else if (line.rfind("Language=", 0) == 0) {
            inText = true;
        } else if (std::regex_match(line, match, field)) {
            if (match[1] == "MessageId")
                message = Message{static_cast<DWORD>(std::stoul(match[2])), "", 0};
            else if (match[1] == "Severity")
                message.severity = match[2];
            else
                name = match[2];
        }
    }
    return table;
}

TEST(EventTableTest, EveryOutcomeIsInTheMessageTableWithItsSeverityAndInserts) {
    const std::map<WORD, std::string> severities = {{EVENTLOG_INFORMATION_TYPE, "Informational"},
                                                    {EVENTLOG_WARNING_TYPE, "Warning"},
                                                    {EVENTLOG_ERROR_TYPE, "Error"}};
    std::map<std::string, Message> table = MessageTable();
    std::size_t outcomes = 0;
#define ZE_EVENT_CHECK(name, shownId, entryType, insertCount)                          \
    ++outcomes;                                                                        \
    ASSERT_TRUE(table.count(#name)) << #name;                                          \
    EXPECT_EQ(table[#name].id, static_cast<DWORD>(shownId)) << #name;                  \
    EXPECT_EQ(table[#name].severity, severities.at(entryType)) << #name;               \
    EXPECT_EQ(table[#name].inserts, insertCount) << #name;                             \
    EXPECT_EQ(EventMessageId(name) >> 30, (entryType == EVENTLOG_ERROR_TYPE     ? 3u   \
                                           : entryType == EVENTLOG_WARNING_TYPE ? 2u   \
                                                                                : 1u)) \
        << #name;
    ZE_EVENTS(ZE_EVENT_CHECK)
#undef ZE_EVENT_CHECK
    EXPECT_EQ(table.size(), outcomes);
}

using ReportOutcomeTest = SimTest;

TEST_F(ReportOutcomeTest, LongInsertsAreCutAndAnEventLogThatFailsIsOnlyLogged) {
    std::u16string longText = u"Å" + std::u16string(kMaxEventInsertLength + 100, u'x');
    ReportOutcome(ZE_EVENT_FILE_UNREADABLE, {longText});
    ASSERT_EQ(Sim().Events().size(), 1u);
    EXPECT_EQ(Sim().Events()[0].strings[0], longText.substr(0, kMaxEventInsertLength));
    EXPECT_EQ(Sim().Events()[0].type, EVENTLOG_WARNING_TYPE);

    Sim().InjectFault(Call::RegisterEventSourceW, 2, RPC_S_SERVER_UNAVAILABLE);
    Sim().InjectFault(Call::ReportEventW, 2, RPC_S_SERVER_UNAVAILABLE);
    ReportOutcome(ZE_EVENT_NO_NET_ID, {u"a"});
    ReportOutcome(ZE_EVENT_NO_NET_ID, {u"b"});
    EXPECT_EQ(Sim().Events().size(), 1u);
    EXPECT_EQ(LogMessages(), (std::vector<std::u16string>{
                                 u"[ZeRegionSvc] Event 1004 not reported, no event log\r\n",
                                 u"[ZeRegionSvc] Event 1004 not reported\r\n"}));
}

}  // namespace
}  // namespace ze::testing
