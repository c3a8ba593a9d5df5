#include "common/reg_format.h"

#include <gtest/gtest.h>

#include "sim_fixture.h"

namespace ze::testing {
namespace {

TEST(RegFormatTest, EachTypeReadsAsOneLineAndDifferentDataNeverReadsTheSame) {
    struct Case {
        DWORD type;
        std::vector<BYTE> data;
        std::u16string shown;
    };
    const Case cases[] = {
        {REG_SZ, Utf16Bytes(u"1", true), u"\"1\""},
        {REG_SZ, Utf16Bytes(u"1"), u"\"1\" (no terminator)"},
        {REG_SZ, Utf16Bytes(std::u16string(u"a\0b\"c\r\n\t\x1F\\", 10), true),
         u"\"a\\0b\\\"c\\r\\n\\t\\x1F\\\\\""},
        {REG_SZ, Utf16Bytes(u"\xD83D\xDE00 \xD800x\xDC00", true),
         u"\"\xD83D\xDE00 \\uD800x\\uDC00\""},
        {REG_SZ, Utf16Bytes(u"無効", true), u"\"無効\""},
        {REG_SZ, {0x31, 0x00, 0x32}, u"31 00 32"},
        {REG_EXPAND_SZ, Utf16Bytes(u"%x%", true), u"\"%x%\""},
        {REG_DWORD, DwordBytes(0xF), u"0x0000000F"},
        {REG_DWORD, {0x0F, 0x00}, u"0F 00"},
        {REG_QWORD, {1, 0, 0, 0, 2, 0, 0, 0}, u"0x0000000200000001"},
        {REG_MULTI_SZ, Utf16Bytes(std::u16string(u"a\0b\0\0", 5)), u"[\"a\", \"b\"]"},
        {REG_MULTI_SZ, Utf16Bytes(u"main", true), u"[\"main\"] (no terminator)"},
        {REG_BINARY, {0x30, 0x00, 0xAB}, u"30 00 AB"},
        {REG_BINARY, {}, u"(empty)"},
        {9, {0x01}, u"01"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(FormatRegData(c.type, c.data), c.shown) << Utf16ToUtf8(c.shown);
    EXPECT_EQ(RegTypeName(9), u"REG_TYPE_9");
}

}  // namespace
}  // namespace ze::testing
