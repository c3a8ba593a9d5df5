// The text helpers against the routines they stand in for: in the Windows build
// each case runs through wvsprintfW, the C runtime's swscanf and _wtoi; in the Linux
// build through FormatV, Scan and Wtoi. The outputs must match line for line.
#include <climits>
#include <cstdarg>
#include <string>

#include "probe.h"

#ifdef _WIN32
#include <windows.h>
#endif

namespace ze {
namespace {

constexpr int kUntouched = 0x7777;

#ifdef _WIN32
// The C runtime's own routines (mingw's headers may route swscanf elsewhere).
using SwscanfFunction = int(__cdecl*)(const wchar_t*, const wchar_t*, ...);
using WtoiFunction = int(__cdecl*)(const wchar_t*);
template <class Function>
Function RuntimeFunction(const char* name) {
    static ::HMODULE runtime = ::LoadLibraryW(L"msvcrt.dll");
    return reinterpret_cast<Function>(reinterpret_cast<void*>(::GetProcAddress(runtime, name)));
}
#endif

// Formats into a buffer of wvsprintfW's fixed size; returns the result and fills
// `out` with the text up to the terminator.
int Fmt(std::u16string& out, const char16_t* format, ...) {
    char16_t buffer[kWvsprintfCapacity + 16];
    std::fill(std::begin(buffer), std::end(buffer), u'*');
    va_list args;
    va_start(args, format);
#ifdef _WIN32
    int result = wvsprintfW(reinterpret_cast<wchar_t*>(buffer),
                            reinterpret_cast<const wchar_t*>(format), args);
#else
    int result = FormatV(buffer, kWvsprintfCapacity, format, args);
#endif
    va_end(args);
    out = buffer;
    // Nothing may land past the buffer's own size.
    if (buffer[kWvsprintfCapacity] != u'*')
        out += u" [written past the buffer]";
    return result;
}

int ScanFour(std::u16string_view text, const char16_t* format, int* values) {
#ifdef _WIN32
    auto swscanf = RuntimeFunction<SwscanfFunction>("swscanf");
    std::u16string terminated(text);
    return swscanf(reinterpret_cast<const wchar_t*>(terminated.c_str()),
                   reinterpret_cast<const wchar_t*>(format), &values[0], &values[1], &values[2],
                   &values[3]);
#else
    return Scan(text, format, &values[0], &values[1], &values[2], &values[3]);
#endif
}

int ToInt(std::u16string_view text) {
#ifdef _WIN32
    auto wtoi = RuntimeFunction<WtoiFunction>("_wtoi");
    std::u16string terminated(text);
    return wtoi(reinterpret_cast<const wchar_t*>(terminated.c_str()));
#else
    return Wtoi(text);
#endif
}

void Show(const char16_t* kind, const char16_t* format, const std::u16string& argument, int result,
          const std::u16string& out) {
    std::u16string text = out.size() > 40 ? Format(u"len=%d last=%s", static_cast<int>(out.size()),
                                                   out.substr(out.size() - 20).c_str())
                                          : u"\"" + probe::Escaped(out) + u"\"";
    probe::Line(Format(u"%s \"%s\" %s -> %d %s", kind, probe::Escaped(format).c_str(),
                       argument.c_str(), result, text.c_str()));
}

void IntegerFormats() {
    struct Case {
        const char16_t* format;
        int value;
    } const cases[] = {
        {u"%02X", 5},         {u"%02X", 0x1A},   {u"%02X", 0x1AB},
        {u"%X", 0x1A},        {u"%x", 0x1A},     {u"%X", -1},
        {u"%x", -26},         {u"%08X", 0xBEEF}, {u"%3X|", 0x1A},
        {u"%-3X|", 0x1A},     {u"%d", -5},       {u"%d", INT_MIN},
        {u"%d", INT_MAX},     {u"%d", 0},        {u"%i", 42},
        {u"%u", -1},          {u"%ld", -7},      {u"%hd", 65537},
        {u"%wd", 5},          {u"%5d|", 42},     {u"%-5d|", 42},
        {u"%05d", -42},       {u"%-05d|", 42},   {u"%08d|", -12345678},
        {u"%-8d|", INT_MIN},  {u"%.3d", 5},      {u"%5.3d|", -5},
        {u"%.12d|", INT_MIN}, {u"%08.3d|", 5},   {u"%.0d|", 0},
        {u"%.d|", 7},         {u"%5.0d|", 0},    {u"%.3u|", 7},
        {u"%.1x", 0},         {u"%#x", 26},      {u"%#X", 26},
        {u"%#x", 0},          {u"%#08X", 255},   {u"%-#8x|", 255},
        {u"%-0#5x|", 10},     {u"%0-5d|", 7},    {u"%5-d|", 7},
        {u"%+d", 5},          {u"% d", 5},       {u"%*d|", 5},
        {u"%lld", 5},         {u"%I64d", 5},     {u"%%d", 5},
        {u"%5q|", 0},         {u"%-5q|", 0},     {u"%05q|", 0},
        {u"%5%|", 0},         {u"%-5%|", 0},     {u"100%%", 0},
        {u"abc%", 0},         {u"%5", 0},        {u"%c|%-3c|%03c|", u'A'},
    };
    for (const Case& c : cases) {
        std::u16string out;
        int result = Fmt(out, c.format, c.value, c.value, c.value);
        Show(u"fmt", c.format, Format(u"%d", c.value), result, out);
    }
}

void StringFormats() {
    struct Case {
        const char16_t* format;
        const char16_t* value;
    } const cases[] = {
        {u"%s", u"abc"},    {u"%s", nullptr},    {u"%.3s|", nullptr},
        {u"%8s|", nullptr}, {u"%5s|", u"ab"},    {u"%-5s|", u"ab"},
        {u"%05s|", u"ab"},  {u"%010s|", u"ab"},  {u"%.2s|", u"abcd"},
        {u"%.10s|", u"ab"}, {u"%3.1s|", u"xyz"}, {u"%.0s|", u"ab"},
        {u"%.s|", u"ab"},   {u"%#s|", u"q"},     {u"%ls", u"wide"},
        {u"%ws", u"ww"},    {u"%lS", u"lS"},     {u"[%s]", u"\u00E9\u65E5"},
    };
    for (const Case& c : cases) {
        std::u16string out;
        int result = Fmt(out, c.format, c.value);
        Show(u"fmt", c.format, c.value ? probe::Escaped(c.value) : u"NULL", result, out);
    }
    std::u16string out;
    int result = Fmt(out, u"%hs|%S|%hc|%C", "narrow\xE9\x80", "S", 'c', 'C');
    Show(u"fmt", u"%hs|%S|%hc|%C", u"narrow", result, out);
    result = Fmt(out, u"%d %s %X", 1, u"two", 3);
    Show(u"fmt", u"%d %s %X", u"1 two 3", result, out);
}

// wvsprintfW's own limit of 1024 characters with its terminator.
void LongFormats() {
    for (std::size_t length : {1022u, 1023u, 1024u, 2000u}) {
        std::u16string format(length, u'a');
        std::u16string out;
        int result = Fmt(out, format.c_str());
        Show(u"long", u"a...", Format(u"%d", static_cast<int>(length)), result, out);
        std::u16string text(length, u'b');
        result = Fmt(out, u"x%s", text.c_str());
        Show(u"long", u"x%s", Format(u"%d", static_cast<int>(length)), result, out);
    }
    struct Edge {
        int before;
        const char16_t* format;
        int value;
    } const edges[] = {
        {1020, u"%5d|", 42}, {1020, u"%-5d|", 42},  {1020, u"%05d", -42}, {1021, u"%d", -42},
        {1021, u"%.5d", 7},  {1019, u"%08X", 0xAB}, {1000, u"%5000d", 1}, {1022, u"%d", 123},
        {1022, u"%5q", 0},   {1021, u"%s", 0},
    };
    for (const Edge& e : edges) {
        std::u16string format = std::u16string(static_cast<std::size_t>(e.before), u'a') + e.format;
        std::u16string out;
        int result = e.format == std::u16string_view(u"%s") ? Fmt(out, format.c_str(), u"xyz")
                                                            : Fmt(out, format.c_str(), e.value);
        Show(u"edge", e.format, Format(u"%d+%d", e.before, e.value), result,
             out.substr(static_cast<std::size_t>(std::min<int>(e.before, out.size()))));
    }
}

void Scans() {
    struct Case {
        const char16_t* text;
        const char16_t* format;
    } const cases[] = {
        {u"10,12", u"%02d,%02d,%02d,%02d"},
        {u"10,12,14,16", u"%02d,%02d,%02d,%02d"},
        {u"1,2,3,4", u"%02d,%02d,%02d,%02d"},
        {u"123,4", u"%02d,%02d,%02d,%02d"},
        {u"1-2,3-4", u"%d-%d,%d-%d,%d-%d,%d-%d"},
        {u"1-2,", u"%d-%d,%d-%d"},
        {u"1-2", u"%d-%d"},
        {u"5", u"%d-%d"},
        {u"", u"%d-%d"},
        {u"   ", u"%d-%d"},
        {u"-", u"%d-%d"},
        {u"a-b", u"%d-%d"},
        {u" 3 - 4", u"%d-%d"},
        {u"1 -2", u"%d -%d"},
        {u"-1--2", u"%d-%d"},
        {u"1-x", u"%d-%d"},
        {u"11101110", u"%08X"},
        {u"1110", u"%08X"},
        {u"xyz", u"%08X"},
        {u"0x10", u"%08X"},
        {u"0X1f", u"%08X"},
        {u"123456789", u"%08X"},
        {u"FFFFFFFFF", u"%08X"},
        {u"  1A", u"%08X"},
        {u"-1", u"%08X"},
        {u"+1F", u"%08X"},
        {u"", u"%08X"},
        {u"  ", u"%08X"},
        {u"0x", u"%08X"},
        {u"0xg", u"%08X"},
        {u"-0x", u"%X"},
        {u"0", u"%X"},
        {u"00x1", u"%X"},
        {u"0x1", u"%2X"},
        {u"0x1F", u"%3X"},
        {u"1a2b", u"%x"},
        {u"123456789", u"%X"},
        {u"1FFFFFFFF", u"%X"},
        {u"  -0x1A", u"%X"},
        {u"2147483648", u"%d"},
        {u"99999999999", u"%d"},
        {u"-2147483649", u"%d"},
        {u"4294967297", u"%d"},
        {u"abc", u"%d"},
        {u"+5", u"%d"},
        {u"- 5", u"%d"},
        {u"+-1", u"%d"},
        {u"\t\n 8", u"%d"},
        {u"\u3000 5", u"%d"},
        {u"\u00A05", u"%d"},
        {u"\uFF11\uFF12", u"%d"},
        {u"010", u"%d"},
        {u"1e3", u"%d"},
        {u"1;2", u"%d,%d"},
        {u"1 ,2", u"%d,%d"},
        {u"1,2", u"%d , %d"},
        {u"12345", u"%2d%d"},
        {u"-12", u"%2d%d"},
        {u"1    2", u"%d %d"},
        {u"12", u"%d %d"},
        {u"5%", u"%d%%"},
        {u"%3", u"%%%d"},
        {u"x5", u"x%d"},
        {u"y5", u"x%d"},
        {u"", u"x%d"},
        {u"1X2", u"%dx%d"},
        {u"7", u"%0d"},
        {u"1 2", u"%*d%d"},
        {u"0x10", u"%i"},
        {u"010", u"%i"},
        {u"-0x1A", u"%i"},
        {u"09", u"%i"},
        {u"-7", u"%u"},
        {u"12", u"%o"},
        {u"12", u""},
        {u"", u""},
    };
    for (const Case& c : cases) {
        int values[4] = {kUntouched, kUntouched, kUntouched, kUntouched};
        int result = ScanFour(c.text, c.format, values);
        probe::Line(Format(u"scan \"%s\" \"%s\" -> %d [%X %X %X %X]",
                           probe::Escaped(c.text).c_str(), c.format, result, values[0], values[1],
                           values[2], values[3]));
    }
}

void WideToInt() {
    const char16_t* cases[] = {
        u"0x10",
        u"-1",
        u"12abc",
        u" 7",
        u"",
        u"2147483648",
        u"99999999999",
        u"4294967297",
        u"-2147483648",
        u"-2147483649",
        u"\t\n8",
        u"+9",
        u"  -0012",
        u"- 5",
        u"1 2",
        u"\u3000 5",
        u"\u20095",
        u"\u200B5",
        u"\uFEFF5",
        u"\uFF11\uFF12",
        u"-\uFF15",
        u"1\u0660\u0669",
        u"1\u0E50\u0E59",
        u"1\u0BE6\u0BEF",
        u"1\u00B2",
    };
    for (const char16_t* text : cases) {
        probe::Line(Format(u"wtoi \"%s\" -> %d", probe::Escaped(text).c_str(), ToInt(text)));
    }
}

}  // namespace

int RunProbe(int, char16_t**) {
    IntegerFormats();
    StringFormats();
    LongFormats();
    Scans();
    WideToInt();
    return 0;
}

}  // namespace ze
