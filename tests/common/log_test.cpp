#include "common/log.h"

#include <thread>

#include "common/paths.h"
#include "platform/handles.h"
#include "sim_fixture.h"

namespace ze::testing {
namespace {

class LogTest : public SimTest {};

TEST_F(LogTest, FirstMessageCreatesTheFileWithoutByteOrderMark) {
    LogPrint(u"[ZeRegionSvc] value = %d\r\n", 7);
    std::string bytes = ReadBytes(kLogPath);
    std::u16string expected = u"[2026-1-5 9:3:7:45] [ZeRegionSvc] value = 7\r\n";
    std::vector<BYTE> raw = Utf16Bytes(expected);
    EXPECT_EQ(bytes, std::string(raw.begin(), raw.end()));
    EXPECT_EQ(bytes.substr(0, 2), std::string("[\0", 2));
}

TEST_F(LogTest, EntriesAreAppendedAfterExistingContents) {
    WriteBytes(kLogPath, std::string("x\0", 2));
    LogPrint(u"a\r\n");
    LogPrint(u"b\n");
    std::vector<BYTE> raw = Utf16Bytes(u"x[2026-1-5 9:3:7:45] a\r\n[2026-1-5 9:3:7:45] b\n");
    EXPECT_EQ(ReadBytes(kLogPath), std::string(raw.begin(), raw.end()));
}

TEST_F(LogTest, TimestampFieldsArePlainDecimal) {
    struct Case {
        SYSTEMTIME time;
        std::u16string prefix;
    };
    for (const Case& c : {Case{{2026, 12, 4, 31, 23, 59, 59, 999}, u"[2026-12-31 23:59:59:999] "},
                          Case{{2027, 3, 1, 1, 0, 0, 0, 0}, u"[2027-3-1 0:0:0:0] "}}) {
        ClearLog();
        Sim().SetClock(c.time);
        LogPrint(u"m");
        std::vector<BYTE> raw = Utf16Bytes(c.prefix + u"m");
        EXPECT_EQ(ReadBytes(kLogPath), std::string(raw.begin(), raw.end()));
    }
}

TEST_F(LogTest, SwitchesChooseTheDestinations) {
    struct Case {
        int writeLogFile;
        int debugMode;
        bool inFile;
        bool inDebugger;
    };
    for (const Case& c : {Case{1, 0, true, false}, Case{0, 0, false, false},
                          Case{0, 1, false, true}, Case{2, 5, true, true}}) {
        ClearLog();
        g_bWriteLogFile = c.writeLogFile;
        g_bDebugMode = c.debugMode;
        std::u16string before = Sim().DebugStream();
        LogPrint(u"[ZeRegionSvc] hello\r\n");
        EXPECT_EQ(FileExists(kLogPath), c.inFile);
        EXPECT_EQ(Sim().DebugStream().substr(before.size()),
                  c.inDebugger ? u"[ZeRegionSvc] hello\r\n" : u"");
    }
}

TEST_F(LogTest, LongMessagesAreCutTo511Characters) {
    std::u16string text(600, u'x');
    LogPrint(u"%s", text.c_str());
    auto messages = LogMessages();
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_EQ(messages[0], std::u16string(511, u'x'));
}

TEST_F(LogTest, AnUnwritableLogDropsTheEntryOnly) {
    LogPrint(u"kept\r\n");
    Sim().SetReadOnly(kLogPath, true);
    LogPrint(u"dropped\r\n");
    Sim().SetReadOnly(kLogPath, false);
    {
        UniqueFile holder(OS().CreateFileW(kLogPath, GENERIC_READ, 0, nullptr, OPEN_EXISTING,
                                           FILE_ATTRIBUTE_NORMAL, nullptr));
        ASSERT_TRUE(holder);
        LogPrint(u"dropped too\r\n");
    }
    LogPrint(u"after\r\n");
    EXPECT_EQ(LogMessages(), (std::vector<std::u16string>{u"kept\r\n", u"after\r\n"}));
}

// Another process writing its own entry holds the file for a moment (the simulation
// shares files within one process only, so its opens stand in for that process).
TEST_F(LogTest, AWriterElsewhereIsWaitedForAndOtherOpenFailuresDropTheEntry) {
    struct Case {
        const char* what;
        int failedOpens;
        LONG error;
        bool kept;
    };
    for (const Case& c : {Case{"held for three attempts", 3, ERROR_SHARING_VIOLATION, true},
                          Case{"access denied", 1, ERROR_ACCESS_DENIED, false}}) {
        ClearLog();
        Sim().ClearFaults();
        for (int open = 1; open <= c.failedOpens; ++open)
            Sim().InjectFault(Call::CreateFileW, open, c.error);
        LogPrint(u"entry\r\n");
        Sim().ClearFaults();
        LogPrint(u"next\r\n");
        std::vector<std::u16string> expected{u"next\r\n"};
        if (c.kept)
            expected.insert(expected.begin(), u"entry\r\n");
        EXPECT_EQ(LogMessages(), expected) << c.what;
    }
}

// A hold that outlasts one entry's wait: later entries try once and are dropped at
// once, until one gets through; then the wait applies again.
TEST_F(LogTest, AfterOneEntryWaitedOutAHoldLaterEntriesDoNotWait) {
    Sim().SetInstantSleep(true);
    Sim().InjectFault(Call::CreateFileW, 0, ERROR_SHARING_VIOLATION);
    std::uint64_t slept = Sim().SleptMilliseconds();
    LogPrint(u"waited\r\n");
    EXPECT_EQ(Sim().SleptMilliseconds() - slept, 190u);
    slept = Sim().SleptMilliseconds();
    LogPrint(u"dropped at once\r\n");
    EXPECT_EQ(Sim().SleptMilliseconds(), slept);
    Sim().ClearFaults();
    LogPrint(u"through\r\n");
    Sim().InjectFault(Call::CreateFileW, 2, ERROR_SHARING_VIOLATION);
    LogPrint(u"waits again\r\n");
    EXPECT_EQ(Sim().SleptMilliseconds() - slept, 10u);
    EXPECT_EQ(LogMessages(), (std::vector<std::u16string>{u"through\r\n", u"waits again\r\n"}));
}

TEST_F(LogTest, TwoThreadsLoggingAtOnceLoseNoEntry) {
    auto writer = [](const char16_t* who) {
        for (int i = 0; i < 200; ++i)
            LogPrint(u"%s %d\r\n", who, i);
    };
    std::thread service(writer, u"service");
    std::thread handler(writer, u"handler");
    service.join();
    handler.join();
    auto messages = LogMessages();
    EXPECT_EQ(messages.size(), 400u);
    EXPECT_EQ(std::count(messages.begin(), messages.end(), u"handler 199\r\n"), 1);
}

}  // namespace
}  // namespace ze::testing
