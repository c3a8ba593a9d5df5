// The simulated event log keeps what it is sent, refuses what Windows refuses, and
// the dry run records events without sending them.
#include <fstream>
#include <random>

#include "platform/dryrun/dry_run_platform.h"
#include "sim_fixture.h"

namespace ze::testing {
namespace {

using EventLogTest = SimTest;

BOOL Report(Platform& os, HANDLE log, WORD type, DWORD id, std::vector<std::u16string> inserts) {
    std::vector<LPCWSTR> strings;
    for (const auto& insert : inserts)
        strings.push_back(insert.c_str());
    return os.ReportEventW(log, type, 0, id, nullptr, static_cast<WORD>(strings.size()), 0,
                           strings.data(), nullptr);
}

TEST_F(EventLogTest, KeepsEventsInOrderAndRefusesWhatWindowsRefuses) {
    HANDLE log = Sim().RegisterEventSourceW(nullptr, u"ZeRegionSvc");
    ASSERT_NE(log, nullptr);
    EXPECT_TRUE(Report(Sim(), log, EVENTLOG_ERROR_TYPE, 0xC00003E9, {u"0007"}));
    EXPECT_TRUE(
        Report(Sim(), log, EVENTLOG_INFORMATION_TYPE, 0x400003E8, {u"日本", u"a\"b\r\n", u""}));
    EXPECT_FALSE(Report(Sim(), log, EVENTLOG_WARNING_TYPE, 1,
                        {std::u16string(sim::kMaxEventInsertChars + 1, u'x')}));
    EXPECT_EQ(Sim().GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
    EXPECT_TRUE(Sim().DeregisterEventSource(log));
    EXPECT_FALSE(Report(Sim(), log, EVENTLOG_ERROR_TYPE, 2, {}));
    EXPECT_EQ(Sim().GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));
    EXPECT_EQ(Sim().RegisterEventSourceW(u"\\\\other", u"ZeRegionSvc"), nullptr);
    EXPECT_EQ(Sim().GetLastError(), static_cast<DWORD>(RPC_S_SERVER_UNAVAILABLE));

    EXPECT_EQ(JournalLines(),
              (std::vector<std::string>{
                  "ReportEvent ZeRegionSvc Error 1001 \"0007\"",
                  "ReportEvent ZeRegionSvc Information 1000 \"日本\" \"a\\\"b\\r\\n\" \"\""}));
    ASSERT_EQ(Sim().Events().size(), 2u);
    EXPECT_EQ(Sim().Events()[1].eventId, 0x400003E8u);
}

TEST_F(EventLogTest, TheDryRunRecordsEventsAndSendsNone) {
    DryRunPlatform layer(Sim());
    HANDLE log = layer.RegisterEventSourceW(nullptr, u"ZeRegionSvc");
    EXPECT_TRUE(Report(layer, log, EVENTLOG_WARNING_TYPE, 0x800003EC, {u"USA"}));
    EXPECT_TRUE(layer.DeregisterEventSource(log));
    ASSERT_EQ(layer.Events().size(), 1u);
    EXPECT_EQ(layer.Events()[0].inserts, std::vector<std::u16string>{u"USA"});
    EXPECT_TRUE(Sim().Events().empty());
    EXPECT_TRUE(JournalLines().empty());
}

TEST(EventLogFolderTest, APersistedMachineWritesItsEventsAsText) {
    std::random_device random;
    auto dir =
        std::filesystem::temp_directory_path() / ("zeregion-events-" + std::to_string(random()));
    std::string error;
    ASSERT_TRUE(sim::SimPlatform::CreateMachine(dir, {}, &error)) << error;
    {
        auto machine = sim::SimPlatform::OpenMachine(dir, &error);
        ASSERT_TRUE(machine) << error;
        HANDLE log = machine->RegisterEventSourceW(nullptr, u"ZeRegionSvc");
        EXPECT_TRUE(Report(*machine, log, EVENTLOG_WARNING_TYPE, 0x800003EC, {u"ÅLAND"}));
        machine->DeregisterEventSource(log);
    }
    std::ifstream in(dir / "events.txt", std::ios::binary);
    std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    EXPECT_EQ(text, "ZeRegionSvc Warning 1004 \"ÅLAND\"\n");
    std::filesystem::remove_all(dir);
}

}  // namespace
}  // namespace ze::testing
