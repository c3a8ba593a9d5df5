// How the profile functions fill a caller's buffer, and how they read an integer.
#include <algorithm>

#include "platform/sim/profile.h"

namespace ze::sim::profile {

DWORD CopyValue(std::u16string_view text, char16_t* buffer, DWORD size) {
    if (text.size() >= 2 && (text.front() == u'"' || text.front() == u'\'') &&
        text.back() == text.front()) {
        text = text.substr(1, text.size() - 2);
    }
    return CopyText(text, buffer, size);
}

DWORD CopyText(std::u16string_view text, char16_t* buffer, DWORD size) {
    std::size_t length = std::min<std::size_t>(text.size(), size - 1);
    std::copy_n(text.begin(), length, buffer);
    buffer[length] = u'\0';
    return static_cast<DWORD>(length);
}

DWORD CopyNameList(const std::vector<std::u16string_view>& names, char16_t* buffer, DWORD size) {
    std::size_t room = size - 1;  // characters left before the final terminator
    std::size_t pos = 0;
    for (std::u16string_view name : names) {
        if (room == 0)
            break;
        if (name.size() + 1 >= room) {
            std::copy_n(name.begin(), room - 1, buffer + pos);
            pos += room - 1;
            buffer[pos++] = u'\0';
            buffer[pos] = u'\0';
            return size - 2;
        }
        std::copy(name.begin(), name.end(), buffer + pos);
        pos += name.size();
        buffer[pos++] = u'\0';
        room -= name.size() + 1;
    }
    buffer[pos] = u'\0';
    return static_cast<DWORD>(pos);
}

std::u16string_view TrimDefault(std::u16string_view text) {
    std::size_t length = text.size();
    while (length > 1 && text[length - 1] == u' ')
        --length;
    return text.substr(0, length);
}

UINT ProfileInt(std::u16string_view text) {
    std::size_t i = 0;
    while (i < text.size() && text[i] <= u' ')
        ++i;
    bool negative = false;
    if (i < text.size() && (text[i] == u'+' || text[i] == u'-'))
        negative = text[i++] == u'-';
    unsigned base = 10;
    if (text.size() - i >= 2 && text[i] == u'0') {
        char16_t kind = text[i + 1];
        base = kind == u'b' ? 2 : kind == u'o' ? 8 : kind == u'x' ? 16 : 10;
        if (base != 10)
            i += 2;
    }
    UINT total = 0;
    for (; i < text.size(); ++i) {
        char16_t c = text[i];
        unsigned digit = c >= u'0' && c <= u'9'   ? c - u'0'
                         : c >= u'a' && c <= u'z' ? c - u'a' + 10
                         : c >= u'A' && c <= u'Z' ? c - u'A' + 10
                                                  : 99;
        if (digit >= base)
            break;
        total = total * base + digit;
    }
    return negative ? 0u - total : total;
}

}  // namespace ze::sim::profile
