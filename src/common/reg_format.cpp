#include "common/reg_format.h"

#include "common/text.h"

namespace ze {

namespace {

constexpr char16_t kNoTerminator[] = u" (no terminator)";

bool IsHighSurrogate(char16_t c) {
    return c >= 0xD800 && c <= 0xDBFF;
}
bool IsLowSurrogate(char16_t c) {
    return c >= 0xDC00 && c <= 0xDFFF;
}

std::u16string Units(const std::vector<BYTE>& bytes) {
    std::u16string units;
    for (std::size_t i = 0; i + 1 < bytes.size(); i += 2)
        units.push_back(static_cast<char16_t>(bytes[i] | (bytes[i + 1] << 8)));
    return units;
}

std::u16string HexBytes(const std::vector<BYTE>& bytes) {
    std::u16string text;
    for (BYTE b : bytes)
        text += Format(text.empty() ? u"%02X" : u" %02X", b);
    return text;
}

std::u16string StringList(std::u16string_view units) {
    std::u16string list = u"[";
    std::size_t start = 0;
    while (start < units.size()) {
        std::size_t end = units.find(u'\0', start);
        if (end == start)
            break;  // the empty string that ends the list
        if (end == std::u16string_view::npos)
            end = units.size();
        if (list.size() > 1)
            list += u", ";
        list += QuoteText(units.substr(start, end - start));
        start = end + 1;
    }
    return list + u"]";
}

}  // namespace

std::u16string RegTypeName(DWORD type) {
    switch (type) {
        case REG_NONE:
            return u"REG_NONE";
        case REG_SZ:
            return u"REG_SZ";
        case REG_EXPAND_SZ:
            return u"REG_EXPAND_SZ";
        case REG_BINARY:
            return u"REG_BINARY";
        case REG_DWORD:
            return u"REG_DWORD";
        case REG_MULTI_SZ:
            return u"REG_MULTI_SZ";
        case REG_QWORD:
            return u"REG_QWORD";
        default:
            return Format(u"REG_TYPE_%u", type);
    }
}

std::u16string QuoteText(std::u16string_view text) {
    std::u16string quoted = u"\"";
    for (std::size_t i = 0; i < text.size(); ++i) {
        char16_t c = text[i];
        if (c == u'"' || c == u'\\') {
            quoted += u'\\';
            quoted += c;
        } else if (c == u'\r') {
            quoted += u"\\r";
        } else if (c == u'\n') {
            quoted += u"\\n";
        } else if (c == u'\t') {
            quoted += u"\\t";
        } else if (c == u'\0') {
            quoted += u"\\0";
        } else if (c < 0x20 || c == 0x7F) {
            quoted += Format(u"\\x%02X", c);
        } else if (IsHighSurrogate(c) && i + 1 < text.size() && IsLowSurrogate(text[i + 1])) {
            quoted += c;
            quoted += text[++i];
        } else if (IsHighSurrogate(c) || IsLowSurrogate(c)) {
            quoted += Format(u"\\u%04X", c);
        } else {
            quoted += c;
        }
    }
    return quoted + u"\"";
}

std::u16string FormatRegData(DWORD type, const std::vector<BYTE>& bytes) {
    if (bytes.empty())
        return u"(empty)";
    bool wholeUnits = bytes.size() % 2 == 0;
    if ((type == REG_SZ || type == REG_EXPAND_SZ) && wholeUnits) {
        std::u16string units = Units(bytes);
        if (units.back() != u'\0')
            return QuoteText(units) + kNoTerminator;
        units.pop_back();
        return QuoteText(units);
    }
    if (type == REG_MULTI_SZ && wholeUnits) {
        std::u16string units = Units(bytes);
        bool ended = units.size() >= 2 && units.ends_with(std::u16string_view(u"\0\0", 2));
        return StringList(units) + (ended ? u"" : kNoTerminator);
    }
    if (type == REG_DWORD && bytes.size() == 4) {
        DWORD value =
            bytes[0] | (bytes[1] << 8) | (bytes[2] << 16) | (static_cast<DWORD>(bytes[3]) << 24);
        return Format(u"0x%08X", value);
    }
    if (type == REG_QWORD && bytes.size() == 8) {
        DWORD low =
            bytes[0] | (bytes[1] << 8) | (bytes[2] << 16) | (static_cast<DWORD>(bytes[3]) << 24);
        DWORD high =
            bytes[4] | (bytes[5] << 8) | (bytes[6] << 16) | (static_cast<DWORD>(bytes[7]) << 24);
        return Format(u"0x%08X%08X", high, low);
    }
    return HexBytes(bytes);
}

}  // namespace ze
