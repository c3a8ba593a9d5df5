// The text helpers on arbitrary input: scanning with the program's formats and with
// fuzzed ones, _wtoi, _wcsupr and the conversions at the edges. Besides crashes and
// undefined behaviour it checks what must hold whatever the input: upper-casing
// touches a to z only (up to the first NUL), UTF-16 without unpaired surrogates survives a trip
// through UTF-8, and every Windows-1252 byte survives a trip through UTF-16.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "common/text.h"

namespace {

const char16_t* const kFormats[] = {u"%d",      u"%u",   u"%x",    u"%X",
                                    u"%i",      u"%o",   u"%2d%x", u"%*d %d",
                                    u"%lx,%lu", u"0x%x", u"%d%%",  u"%3X%3X%3X"};
constexpr std::size_t kFields = 8;

bool HasUnpairedSurrogate(const std::u16string& text) {
    for (std::size_t i = 0; i < text.size(); ++i) {
        bool high = text[i] >= 0xD800 && text[i] <= 0xDBFF;
        bool low = text[i] >= 0xDC00 && text[i] <= 0xDFFF;
        if (low)
            return true;
        if (high) {
            if (i + 1 >= text.size() || text[i + 1] < 0xDC00 || text[i + 1] > 0xDFFF)
                return true;
            ++i;
        }
    }
    return false;
}

// Scans with room for as many fields as the format could store.
void ScanWith(const std::u16string& text, const char16_t* format) {
    std::size_t conversions = 0;
    for (const char16_t* c = format; *c != u'\0'; ++c)
        conversions += *c == u'%';
    if (conversions > kFields)
        return;
    int f[kFields] = {};
    ze::Scan(text, format, &f[0], &f[1], &f[2], &f[3], &f[4], &f[5], &f[6], &f[7]);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size == 0)
        return 0;
    // The first byte picks a format; the rest is UTF-16LE text. A text with a NUL
    // is also split into a fuzzed format (before it) and a text (after it).
    std::u16string text;
    for (std::size_t i = 1; i + 1 < size; i += 2)
        text.push_back(static_cast<char16_t>(data[i] | (data[i + 1] << 8)));
    ScanWith(text, kFormats[data[0] % std::size(kFormats)]);
    if (auto nul = text.find(u'\0'); nul != std::u16string::npos)
        ScanWith(text.substr(nul + 1), text.c_str());
    ze::Wtoi(text);

    // Upper-casing works on the text up to its first NUL, as _wcsupr does.
    std::u16string upper = text;
    ze::WcsUpr(upper);
    std::size_t end = std::min(text.find(u'\0'), text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        bool letter = i < end && text[i] >= u'a' && text[i] <= u'z';
        char16_t expected = letter ? text[i] - 32 : text[i];
        if (upper.size() != text.size() || upper[i] != expected)
            std::abort();
    }

    if (!HasUnpairedSurrogate(text) && ze::Utf8ToUtf16(ze::Utf16ToUtf8(text)) != text)
        std::abort();
    std::string bytes(reinterpret_cast<const char*>(data), size);
    ze::Utf16ToUtf8(ze::Utf8ToUtf16(bytes));
    if (ze::Utf16ToAnsi(ze::AnsiToUtf16(bytes)) != bytes)
        std::abort();

    char16_t buffer[64];
    ze::FormatTo(buffer, std::size(buffer), u"%s=%d", text.c_str(), ze::Wtoi(text));
    return 0;
}
