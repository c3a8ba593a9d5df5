// A probe makes a few platform calls through OS() and prints what it saw, one UTF-8
// line per observation on standard output. The same probe is built against the real
// Win32 platform (run under Wine) and against the simulated machine, and the Wine
// tier compares the two outputs line by line, so the simulation can be held to what
// Windows does.
#pragma once

#include <cstdio>
#include <string>
#include <string_view>

#include "common/text.h"
#include "platform/platform.h"

namespace ze {

// The probe itself: argv[0] is the probe's name, the rest are its own arguments.
// Returns the process exit code.
int RunProbe(int argc, char16_t** argv);

namespace probe {

// Prints one line of output.
inline void Line(std::u16string_view text) {
    std::string utf8 = Utf16ToUtf8(text);
    utf8.push_back('\n');
    std::fwrite(utf8.data(), 1, utf8.size(), stdout);
}

// Shows text with its control characters visible, so that embedded NULs, line
// breaks and trailing blanks survive the line-by-line comparison: "\0", "\r", "\n",
// "\t", "\\" and "\xNN" for other control characters.
inline std::u16string Escaped(std::u16string_view text) {
    std::u16string out;
    for (char16_t c : text) {
        switch (c) {
            case u'\0':
                out += u"\\0";
                break;
            case u'\r':
                out += u"\\r";
                break;
            case u'\n':
                out += u"\\n";
                break;
            case u'\t':
                out += u"\\t";
                break;
            case u'\\':
                out += u"\\\\";
                break;
            default:
                if (c < 0x20) {
                    out += Format(u"\\x%02X", static_cast<unsigned>(c));
                } else {
                    out.push_back(c);
                }
        }
    }
    return out;
}

// Bytes as lower-case hexadecimal digits, two per byte.
inline std::u16string Hex(const void* data, std::size_t size) {
    static const char16_t kDigits[] = u"0123456789abcdef";
    const auto* bytes = static_cast<const unsigned char*>(data);
    std::u16string out;
    for (std::size_t i = 0; i < size; ++i) {
        out.push_back(kDigits[bytes[i] >> 4]);
        out.push_back(kDigits[bytes[i] & 0xF]);
    }
    return out;
}

}  // namespace probe
}  // namespace ze
