// Expected values are what wvsprintfW, swscanf, _wtoi and _wcsupr return under Wine
// (tests/probes/text_probe.cpp runs the same inputs through both).
#include "common/text.h"

#include <gtest/gtest.h>

#include <climits>
#include <cstdint>
#include <string>

namespace ze {
namespace {

std::u16string Fmt(const char16_t* format, ...) {
    char16_t buffer[kWvsprintfCapacity];
    va_list args;
    va_start(args, format);
    int length = FormatV(buffer, kWvsprintfCapacity, format, args);
    va_end(args);
    std::u16string text(buffer);
    EXPECT_EQ(static_cast<std::size_t>(length), text.size()) << "return value";
    return text;
}

struct IntCase {
    const char16_t* format;
    int value;
    const char16_t* expected;
};

TEST(FormatTest, Integers) {
    const IntCase cases[] = {
        {u"%02X", 5, u"05"},
        {u"%02X", 0x1A, u"1A"},
        {u"%02X", 0x1AB, u"1AB"},
        {u"%x", 0x1A, u"1a"},
        {u"%X", -1, u"FFFFFFFF"},
        {u"%08X", 0xBEEF, u"0000BEEF"},
        {u"%3X|", 0x1A, u" 1A|"},
        {u"%d", -5, u"-5"},
        {u"%d", INT_MIN, u"-2147483648"},
        {u"%d", INT_MAX, u"2147483647"},
        {u"%u", -1, u"4294967295"},
        {u"%ld", -7, u"-7"},
        {u"%hd", 65537, u"65537"},
        {u"%5d|", 42, u"   42|"},
        {u"%-5d|", 42, u"42   |"},
        {u"%05d", -42, u"-0042"},
        {u"%-05d|", 42, u"42   |"},
        {u"%08d|", -12345678, u"-12345678|"},
        // The sign counts towards the precision; '0' pads up to the width anyway.
        {u"%.3d", 5, u"005"},
        {u"%5.3d|", -5, u"  -05|"},
        {u"%.12d|", INT_MIN, u"-02147483648|"},
        {u"%08.3d|", 5, u"00000005|"},
        {u"%.0d|", 0, u"0|"},
        {u"%.3u|", 7, u"007|"},
        // The prefix stands outside the width and is printed for 0 too.
        {u"%#x", 26, u"0x1a"},
        {u"%#x", 0, u"0x0"},
        {u"%#08X", 255, u"0X000000FF"},
        {u"%-#8x|", 255, u"0xff      |"},
        // Flags only in the order '-', '#', '0'; anything else ends the field.
        {u"%-0#5x|", 10, u"#5x|"},
        {u"%0-5d|", 7, u"-5d|"},
        {u"%5-d|", 7, u"     -d|"},
        {u"%+d", 5, u"+d"},
        {u"%lld", 5, u"ld"},
        {u"%I64d", 5, u"5"},
        {u"%%d", 5, u"%d"},
    };
    for (const IntCase& c : cases) {
        EXPECT_EQ(Fmt(c.format, c.value), c.expected) << "format " << Utf16ToUtf8(c.format);
    }
}

struct TextCase {
    const char16_t* format;
    const char16_t* value;
    const char16_t* expected;
};

TEST(FormatTest, StringsAndCharacters) {
    const TextCase cases[] = {
        {u"%s", u"abc", u"abc"},      {u"%s", nullptr, u"(null)"},
        {u"%.3s|", nullptr, u"(nu|"}, {u"%8s|", nullptr, u"  (null)|"},
        {u"%5s|", u"ab", u"   ab|"},  {u"%-5s|", u"ab", u"ab   |"},
        {u"%05s|", u"ab", u"   ab|"}, {u"%010s|", u"ab", u"        ab|"},
        {u"%.2s|", u"abcd", u"ab|"},  {u"%.10s|", u"ab", u"ab|"},
        {u"%3.1s|", u"xyz", u"  x|"}, {u"%.0s|", u"ab", u"ab|"},  // precision 0 is no precision
        {u"%.s|", u"ab", u"ab|"},     {u"%#s|", u"q", u"q|"},
        {u"%ls", u"wide", u"wide"},   {u"%ws", u"ww", u"ww"},
        {u"%lS", u"lS", u"lS"},
    };
    for (const TextCase& c : cases) {
        EXPECT_EQ(Fmt(c.format, c.value), c.expected) << "format " << Utf16ToUtf8(c.format);
    }
    EXPECT_EQ(Fmt(u"%c", u'A'), u"A");
    EXPECT_EQ(Fmt(u"%-5c|", u'z'), u"z    |");
    EXPECT_EQ(Fmt(u"%05c|", u'z'), u"    z|");
    EXPECT_EQ(Fmt(u"%lc", u'w'), u"w");
    // %hs, %S, %hc and %C take narrow text in the ANSI code page.
    EXPECT_EQ(Fmt(u"%hs", "narrow"), u"narrow");
    EXPECT_EQ(Fmt(u"%S", "narrowS"), u"narrowS");
    EXPECT_EQ(Fmt(u"%hs", "\xe9\x80\xa4"), u"\u00E9\u20AC\u00A4");
    EXPECT_EQ(Fmt(u"%hc", 'n'), u"n");
    EXPECT_EQ(Fmt(u"%C", 'C'), u"C");
    EXPECT_EQ(Fmt(u"%d %s %X", 1, u"two", 3), u"1 two 3");
    EXPECT_EQ(Fmt(u"%p", reinterpret_cast<void*>(0xabc)), u"0000000000000ABC");
    EXPECT_EQ(Fmt(u"%I64X", 5LL), u"5");
}

TEST(FormatTest, PercentSignsAndUnknownConversions) {
    const std::pair<const char16_t*, const char16_t*> cases[] = {
        {u"100%%", u"100%"},    {u"abc%", u"abc"},     {u"%-", u""},
        {u"%5", u"     "},  // padding of an unknown conversion is still printed
        {u"%q|", u"q|"},        {u"%5q|", u"     q|"}, {u"%-5q|", u"q|"},
        {u"%05q|", u"     q|"}, {u"%5%|", u"     |"},  // the second '%' starts a new field
        {u"%-5%|", u"|"},       {u"%.5%|", u"|"},      {u"%e", u"e"},
        {u"%#o", u"o"},         {u"%n|", u"n|"},       {u"%Z|", u"Z|"},
        {u"%I|", u"|"},
    };
    for (const auto& [format, expected] : cases) {
        EXPECT_EQ(Fmt(format), expected) << "format " << Utf16ToUtf8(format);
    }
}

// wvsprintfW stops at 1023 characters and then returns 1024, also when exactly
// 1023 characters were all there was to print.
TEST(FormatTest, OutputIsCutAtTheBuffer) {
    char16_t buffer[kWvsprintfCapacity + 8];
    std::fill(std::begin(buffer), std::end(buffer), u'*');
    std::u16string exact(1023, u'a');
    EXPECT_EQ(FormatTo(buffer, kWvsprintfCapacity, exact.c_str()), 1024);
    EXPECT_EQ(std::u16string(buffer), exact);
    EXPECT_EQ(buffer[1024], u'*');

    std::u16string shorter(1022, u'a');
    EXPECT_EQ(FormatTo(buffer, kWvsprintfCapacity, shorter.c_str()), 1022);

    std::u16string longer(2000, u'c');
    EXPECT_EQ(FormatTo(buffer, kWvsprintfCapacity, u"x%s", longer.c_str()), 1024);
    EXPECT_EQ(std::u16string(buffer), u"x" + std::u16string(1022, u'c'));
    EXPECT_EQ(buffer[1024], u'*');

    // A field at the end is fitted into the room left: widths, precisions and the
    // text itself are cut to it, text before padding.
    struct EdgeCase {
        std::size_t before;
        const char16_t* format;
        int value;
        const char16_t* tail;
    } const edges[] = {
        {1020, u"%5d|", 42, u" 42"},
        {1020, u"%-5d|", 42, u"42 "},
        {1020, u"%05d", -42, u"-42"},
        {1021, u"%d", -42, u"-4"},
        {1021, u"%.5d", 7, u"07"},
        {1019, u"%08X", 0xAB, u"00AB"},
        {1000, u"%5000d", 1, u"                      1"},
        {1022, u"%d", 123, u"1"},
        {1022, u"%5q", 0, u" "},
    };
    for (const EdgeCase& e : edges) {
        std::u16string format = std::u16string(e.before, u'a') + e.format;
        EXPECT_EQ(FormatTo(buffer, kWvsprintfCapacity, format.c_str(), e.value), 1024);
        EXPECT_EQ(std::u16string(buffer + e.before), e.tail) << Utf16ToUtf8(e.format);
    }

    // Other capacities cut the same way; nothing is written past them.
    std::fill(std::begin(buffer), std::end(buffer), u'*');
    EXPECT_EQ(FormatTo(buffer, 4, u"%s", u"abcdef"), 4);
    EXPECT_EQ(std::u16string(buffer), u"abc");
    EXPECT_EQ(buffer[4], u'*');
    EXPECT_EQ(FormatTo(buffer, 0, u"abc"), 0);
    EXPECT_EQ(buffer[0], u'a');
}

TEST(FormatTest, StringFormatHasNoCapacity) {
    std::u16string longer(3000, u'z');
    EXPECT_EQ(Format(u"[%s]", longer.c_str()), u"[" + longer + u"]");
    EXPECT_EQ(Format(u"%s\\%s", u"SYSTEM\\Class", u"0007"), u"SYSTEM\\Class\\0007");
    EXPECT_EQ(Format(u"[%d-%d-%d %d:%d:%d:%d] ", 2026, 1, 5, 9, 3, 7, 45), u"[2026-1-5 9:3:7:45] ");
}

struct ScanCase {
    const char16_t* text;
    const char16_t* format;
    int result;
    int values[4];  // 0x7777: not stored
};

constexpr int kUntouched = 0x7777;

TEST(ScanTest, DecimalFields) {
    const int u = kUntouched;
    const ScanCase cases[] = {
        {u"10,12", u"%02d,%02d,%02d,%02d", 2, {10, 12, u, u}},
        {u"10,12,14,16", u"%02d,%02d,%02d,%02d", 4, {10, 12, 14, 16}},
        {u"123,4", u"%02d,%02d,%02d,%02d", 1, {12, u, u, u}},
        {u"1-2,3-4", u"%d-%d,%d-%d,%d-%d,%d-%d", 4, {1, 2, 3, 4}},
        {u"1-2,", u"%d-%d,%d-%d", 2, {1, 2, u, u}},
        {u"5", u"%d-%d", 1, {5, u, u, u}},
        {u"", u"%d-%d", -1, {u, u, u, u}},
        {u"   ", u"%d-%d", 0, {u, u, u, u}},  // only an empty text gives -1
        {u"-", u"%d-%d", 0, {u, u, u, u}},
        {u"a-b", u"%d-%d", 0, {u, u, u, u}},
        {u" 3 - 4", u"%d-%d", 1, {3, u, u, u}},
        {u"-1--2", u"%d-%d", 2, {-1, -2, u, u}},
        {u"1-x", u"%d-%d", 1, {1, u, u, u}},
        {u"2147483648", u"%d", 1, {INT_MIN, u, u, u}},  // values wrap modulo 2^32
        {u"99999999999", u"%d", 1, {1215752191, u, u, u}},
        {u"-2147483649", u"%d", 1, {INT_MAX, u, u, u}},
        {u"4294967297", u"%d", 1, {1, u, u, u}},
        {u"abc", u"%d", 0, {u, u, u, u}},
        {u"+5", u"%d", 1, {5, u, u, u}},
        {u"- 5", u"%d", 0, {u, u, u, u}},
        {u"+-1", u"%d", 0, {u, u, u, u}},
        {u"\t\n 8", u"%d", 1, {8, u, u, u}},
        {u"\u3000 5", u"%d", 1, {5, u, u, u}},
        {u"\uFF11\uFF12", u"%d", 0, {u, u, u, u}},
        {u"010", u"%d", 1, {10, u, u, u}},
        {u"1;2", u"%d,%d", 1, {1, u, u, u}},
        {u"1,2", u"%d , %d", 2, {1, 2, u, u}},
        {u"12345", u"%2d%d", 2, {12, 345, u, u}},
        {u"-12", u"%2d%d", 2, {-1, 2, u, u}},  // the width counts the sign
        {u"1\t2", u"%d %d", 2, {1, 2, u, u}},
        {u"12", u"%d %d", 1, {12, u, u, u}},
        {u"5%", u"%d%%", 1, {5, u, u, u}},
        {u"%3", u"%%%d", 1, {3, u, u, u}},
        {u"y5", u"x%d", 0, {u, u, u, u}},
        {u"", u"x%d", -1, {u, u, u, u}},
        {u"1X2", u"%dx%d", 1, {1, u, u, u}},
        {u"1 2", u"%*d%d", 1, {2, u, u, u}},
        {u"0x10", u"%i", 1, {16, u, u, u}},
        {u"010", u"%i", 1, {8, u, u, u}},
        {u"-0x1A", u"%i", 1, {-26, u, u, u}},
        {u"09", u"%i", 1, {0, u, u, u}},
        {u"12", u"", 0, {u, u, u, u}},
        {u"", u"", 0, {u, u, u, u}},
    };
    for (const ScanCase& c : cases) {
        int v[4] = {u, u, u, u};
        EXPECT_EQ(Scan(c.text, c.format, &v[0], &v[1], &v[2], &v[3]), c.result)
            << Utf16ToUtf8(c.text) << " / " << Utf16ToUtf8(c.format);
        for (int i = 0; i < 4; ++i) {
            EXPECT_EQ(v[i], c.values[i]) << Utf16ToUtf8(c.text) << " field " << i;
        }
    }
}

struct HexCase {
    const char16_t* text;
    const char16_t* format;
    int result;
    unsigned value;
};

TEST(ScanTest, UnsignedFields) {
    const unsigned u = kUntouched;
    const HexCase cases[] = {
        {u"11101110", u"%08X", 1, 0x11101110},
        {u"1110", u"%08X", 1, 0x1110},
        {u"xyz", u"%08X", 0, u},
        {u"0x10", u"%08X", 1, 0x10},
        {u"123456789", u"%08X", 1, 0x12345678},
        {u"FFFFFFFFF", u"%08X", 1, 0xFFFFFFFF},
        {u"-1", u"%08X", 1, 0xFFFFFFFF},
        {u"", u"%08X", -1, u},
        {u"  ", u"%08X", 0, u},
        {u"0x", u"%08X", 0, u},  // a prefix without digits is no number
        {u"-0x", u"%X", 0, u},
        {u"0", u"%X", 1, 0},
        {u"00x1", u"%X", 1, 0},
        {u"0x1", u"%2X", 0, u},  // the width counts the prefix
        {u"0x1F", u"%3X", 1, 1},
        {u"123456789", u"%X", 1, 0x23456789},
        {u"  -0x1A", u"%X", 1, 0xFFFFFFE6},
        {u"+", u"%X", 0, u},
        {u"-7", u"%u", 1, 0xFFFFFFF9},
        {u"4294967295", u"%u", 1, 0xFFFFFFFF},
        {u"12", u"%o", 1, 10},
        {u"5", u"%lX", 1, 5},
    };
    for (const HexCase& c : cases) {
        unsigned value = u;
        EXPECT_EQ(Scan(c.text, c.format, &value), c.result)
            << Utf16ToUtf8(c.text) << " / " << Utf16ToUtf8(c.format);
        EXPECT_EQ(value, c.value) << Utf16ToUtf8(c.text) << " / " << Utf16ToUtf8(c.format);
    }
}

TEST(WtoiTest, Table) {
    const std::pair<const char16_t*, int> cases[] = {
        {u"0x10", 0},
        {u"-1", -1},
        {u"12abc", 12},
        {u" 7", 7},
        {u"", 0},
        {u"2147483648", INT_MAX},  // out of range saturates
        {u"4294967297", INT_MAX},
        {u"-2147483648", INT_MIN},
        {u"-2147483649", INT_MIN},
        {u"  -0012", -12},
        {u"- 5", 0},
        {u"1 2", 1},
        {u"\u3000 5", 5},
        {u"\u200B5", 0},
        {u"\uFEFF5", 0},
        {u"\uFF11\uFF12", 12},  // fullwidth digits
        {u"-\uFF15", -5},
        {u"1\u0660\u0669", 109},  // Arabic-Indic
        {u"1\u0E50\u0E59", 109},  // Thai
        {u"1\u0BE6\u0BEF", 1},    // Tamil digits are not taken
        {u"1\u00B2", 1},          // nor superscripts
    };
    for (const auto& [text, expected] : cases) {
        EXPECT_EQ(Wtoi(text), expected) << Utf16ToUtf8(text);
    }
}

TEST(WcsUprTest, OnlyAsciiLetters) {
    std::u16string text = u"abc xyz ABC 09 \u00E9\u00DF\u03B1\uFF46 {}`@[";
    WcsUpr(text);
    EXPECT_EQ(text, u"ABC XYZ ABC 09 \u00E9\u00DF\u03B1\uFF46 {}`@[");
    char16_t buffer[] = u"/debug";
    WcsUpr(buffer);
    EXPECT_EQ(std::u16string(buffer), u"/DEBUG");
}

TEST(ConversionTest, Utf8LikeWindows) {
    const std::pair<std::string, std::u16string> decode[] = {
        {"plain", u"plain"},
        {"\xC3\xA9\xE2\x82\xAC", u"\u00E9\u20AC"},
        {"\xF0\x9F\x98\x80", u"\xD83D\xDE00"},
        {"\xC0\xAF", u"\uFFFD\uFFFD"},  // overlong
        {"a\xE2\x82z", u"a\uFFFDz"},    // cut short
        {"\xE2\x82", u"\uFFFD"},
        {"\x80q", u"\uFFFDq"},
        {"\xFF\xFE", u"\uFFFD\uFFFD"},
    };
    for (const auto& [bytes, text] : decode) {
        EXPECT_EQ(Utf8ToUtf16(bytes), text);
    }
    EXPECT_EQ(Utf16ToUtf8(u"a\u00E9\u20AC\xD83D\xDE00"), "a\xC3\xA9\xE2\x82\xAC\xF0\x9F\x98\x80");
    EXPECT_EQ(Utf16ToUtf8(u"a\xD800z"), "a\xEF\xBF\xBDz");
    EXPECT_EQ(Utf16ToUtf8(u"\xDC00"), "\xEF\xBF\xBD");
}

TEST(ConversionTest, AnsiIsWindows1252) {
    EXPECT_EQ(AnsiToUtf16("\x80\x81\x8D\x8F\x90\x9D\x9F\xA0\xFF"),
              u"\u20AC\u0081\u008D\u008F\u0090\u009D\u0178\u00A0\u00FF");
    EXPECT_EQ(Utf16ToAnsi(u"\u20AC\u0081\u00FF\u2019\u00A0x"), "\x80\x81\xFF\x92\xA0x");
    EXPECT_EQ(Utf16ToAnsi(u"\u65E5\u0410\xD83D\xDE00"), "???");
}

}  // namespace
}  // namespace ze
