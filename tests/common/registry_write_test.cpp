#include "common/registry.h"
#include "sim_fixture.h"

namespace ze::testing {
namespace {

constexpr char16_t kKey[] =
    u"SYSTEM\\CurrentControlSet\\Control\\Class\\{4D36E972-E325-11CE-BFC1-08002bE10318}\\0007";

class RegistryWriteTest : public SimTest {};

TEST_F(RegistryWriteTest, DwordIsLittleEndianAndLoggedInUpperHex) {
    struct Case {
        DWORD value;
        std::u16string logged;
    };
    for (const Case& c : {Case{3, u"3"}, Case{0x1A, u"1A"}, Case{0x0A0C0E10, u"A0C0E10"},
                          Case{0xFFFFFFFF, u"FFFFFFFF"}}) {
        ClearLog();
        EXPECT_TRUE(WriteRegDword(kKey, u"CountryTxPwr", c.value));
        auto value = Value(kKey, u"CountryTxPwr");
        ASSERT_TRUE(value);
        EXPECT_EQ(value->type, REG_DWORD);
        EXPECT_EQ(value->data, DwordBytes(c.value));
        EXPECT_EQ(LogMessages(), std::vector<std::u16string>{u"[ZeRegionSvc] Write Registry Data=" +
                                                             c.logged + u"\r\n"});
    }
}

TEST_F(RegistryWriteTest, StringIsPassedWithoutTerminatorAndStoredAsWindowsDoes) {
    // The program counts 2 x length bytes; Windows stores the terminator that
    // follows in memory, so the value holds the text and one NUL.
    EXPECT_TRUE(WriteRegString(kKey, u"CarrierDetect", u"Disabled"));
    auto value = Value(kKey, u"CarrierDetect");
    ASSERT_TRUE(value);
    EXPECT_EQ(value->type, REG_SZ);
    EXPECT_EQ(value->data, Utf16Bytes(u"Disabled", true));
    EXPECT_EQ(LogMessages(),
              std::vector<std::u16string>{u"[ZeRegionSvc] Write Registry Data=Disabled\r\n"});
}

TEST_F(RegistryWriteTest, EmptyStringStoresNoBytes) {
    EXPECT_TRUE(WriteRegString(kKey, u"Description", u""));
    auto value = Value(kKey, u"Description");
    ASSERT_TRUE(value);
    EXPECT_EQ(value->type, REG_SZ);
    EXPECT_TRUE(value->data.empty());
    EXPECT_EQ(LogMessages(),
              std::vector<std::u16string>{u"[ZeRegionSvc] Write Registry Data=\r\n"});
}

TEST_F(RegistryWriteTest, MissingKeysAreCreatedAndJournaled) {
    EXPECT_TRUE(WriteRegDword(u"SYSTEM\\New\\Deep", u"start", 3));
    EXPECT_EQ(JournalLines(), (std::vector<std::string>{
                                  "CreateKey SYSTEM\\New",
                                  "CreateKey SYSTEM\\New\\Deep",
                                  "SetValue SYSTEM\\New\\Deep \"start\" REG_DWORD 0x00000003",
                              }));
}

TEST_F(RegistryWriteTest, BinaryAndMultiStringWritesLogNothing) {
    // A terminator follows the counted bytes, as in every caller's buffer.
    const BYTE bytes[] = {0x30, 0x00, 0x41, 0x00, 0x00, 0x00};
    EXPECT_TRUE(WriteRegValue(kKey, u"SampleBytes", REG_BINARY, bytes, 4));
    EXPECT_TRUE(WriteRegValue(kKey, u"SampleMulti", REG_MULTI_SZ, bytes, 4));
    EXPECT_TRUE(LogMessages().empty());
    EXPECT_EQ(Value(kKey, u"SampleBytes")->data, std::vector<BYTE>(bytes, bytes + 4));
}

TEST_F(RegistryWriteTest, FailuresLogOneLineAndReportFalse) {
    struct Case {
        Call call;
        std::u16string logged;
    };
    for (const Case& c : {Case{Call::RegCreateKeyExW, u"[ZeRegionSvc] Open Key Failed!\r\n"},
                          Case{Call::RegSetValueExW, u"[ZeRegionSvc] Write Registry Failed\r\n"}}) {
        ClearLog();
        Sim().ClearFaults();
        Sim().InjectFault(c.call, 1, ERROR_ACCESS_DENIED);
        EXPECT_FALSE(WriteRegDword(kKey, u"Value", 1)) << c.call;
        EXPECT_EQ(LogMessages(), std::vector<std::u16string>{c.logged}) << c.call;
    }
}

TEST_F(RegistryWriteTest, WithoutAdministratorRightsExistingKeysCannotBeOpened) {
    Reg().Create(kKey);
    Sim().Settings().administrator = false;
    EXPECT_FALSE(WriteRegString(kKey, u"CountryRegion", u"1"));
    EXPECT_EQ(LogMessages(), std::vector<std::u16string>{u"[ZeRegionSvc] Open Key Failed!\r\n"});
    EXPECT_TRUE(JournalLines().empty());
}

}  // namespace
}  // namespace ze::testing

namespace ze::testing {
namespace {

TEST_F(RegistryWriteTest, AShortDwordIsLoggedFromTheBytesWrittenOnly) {
    const BYTE bytes[2] = {0x2C, 0x01};
    EXPECT_TRUE(WriteRegValue(kKey, u"Short", REG_DWORD, bytes, 2));
    EXPECT_EQ(LogMessages(),
              std::vector<std::u16string>{u"[ZeRegionSvc] Write Registry Data=12C\r\n"});
    EXPECT_EQ(Value(kKey, u"Short")->data, (std::vector<BYTE>{0x2C, 0x01}));
}

}  // namespace
}  // namespace ze::testing
