// The bytes of the registry values the simulated service manager and device installer
// read and write, as Windows stores them.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/sim/registry_tree.h"

namespace ze::sim {

// A string value's data: UTF-16LE with its terminator.
inline std::vector<BYTE> TextData(std::u16string_view text) {
    std::vector<BYTE> bytes;
    for (char16_t c : text) {
        bytes.push_back(static_cast<BYTE>(c & 0xFF));
        bytes.push_back(static_cast<BYTE>(c >> 8));
    }
    bytes.push_back(0);
    bytes.push_back(0);
    return bytes;
}

inline std::vector<BYTE> DwordData(DWORD value) {
    return {static_cast<BYTE>(value), static_cast<BYTE>(value >> 8), static_cast<BYTE>(value >> 16),
            static_cast<BYTE>(value >> 24)};
}

// A string value's text up to its terminator; empty when missing or not a string.
inline std::u16string TextOf(const RegKey& key, std::u16string_view name) {
    const RegValue* value = key.FindValue(name);
    std::u16string text;
    if (value == nullptr || (value->type != REG_SZ && value->type != REG_EXPAND_SZ))
        return text;
    for (std::size_t i = 0; i + 1 < value->data.size(); i += 2) {
        char16_t c = static_cast<char16_t>(value->data[i] | (value->data[i + 1] << 8));
        if (c == u'\0')
            break;
        text.push_back(c);
    }
    return text;
}

// A REG_DWORD value; empty when missing or of another type or size.
inline std::optional<DWORD> DwordOf(const RegKey& key, std::u16string_view name) {
    const RegValue* value = key.FindValue(name);
    if (value == nullptr || value->type != REG_DWORD || value->data.size() != 4)
        return std::nullopt;
    return static_cast<DWORD>(value->data[0] | (value->data[1] << 8) | (value->data[2] << 16) |
                              (static_cast<DWORD>(value->data[3]) << 24));
}

}  // namespace ze::sim
