// The bytes of registry values as Windows stores them (UTF-16LE text, little-endian
// DWORDs): the one place where the simulated machine turns text and numbers into
// value data and back.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/sim/registry_store.h"

namespace ze::sim {

// The value of a hex digit (either case); -1 for any other character.
inline int HexDigit(char16_t c) {
    if (c >= u'0' && c <= u'9')
        return c - u'0';
    if (c >= u'a' && c <= u'f')
        return c - u'a' + 10;
    if (c >= u'A' && c <= u'F')
        return c - u'A' + 10;
    return -1;
}

// The text's UTF-16LE bytes, without a terminator.
inline std::vector<BYTE> Utf16LeBytes(std::u16string_view text) {
    std::vector<BYTE> bytes;
    bytes.reserve(text.size() * 2);
    for (char16_t c : text) {
        bytes.push_back(static_cast<BYTE>(c & 0xFF));
        bytes.push_back(static_cast<BYTE>(c >> 8));
    }
    return bytes;
}

// Every whole UTF-16LE unit of the bytes, NULs included; an odd last byte is dropped.
inline std::u16string Utf16LeText(const std::vector<BYTE>& bytes) {
    std::u16string text;
    text.reserve(bytes.size() / 2);
    for (std::size_t i = 0; i + 1 < bytes.size(); i += 2) {
        text.push_back(static_cast<char16_t>(bytes[i] | (bytes[i + 1] << 8)));
    }
    return text;
}

// A string value's data: UTF-16LE with its terminator.
inline std::vector<BYTE> TextData(std::u16string_view text) {
    std::vector<BYTE> bytes = Utf16LeBytes(text);
    bytes.push_back(0);
    bytes.push_back(0);
    return bytes;
}

inline std::vector<BYTE> DwordData(DWORD value) {
    return {static_cast<BYTE>(value), static_cast<BYTE>(value >> 8), static_cast<BYTE>(value >> 16),
            static_cast<BYTE>(value >> 24)};
}

// The number of four little-endian bytes; empty for data of any other size.
inline std::optional<DWORD> DwordOfData(const std::vector<BYTE>& data) {
    if (data.size() != 4)
        return std::nullopt;
    return static_cast<DWORD>(data[0] | (data[1] << 8) | (data[2] << 16) |
                              (static_cast<DWORD>(data[3]) << 24));
}

// A string value's text up to its terminator; empty when missing or not a string.
inline std::u16string TextOf(RegistryStore& registry, KeyId key, std::u16string_view name) {
    RegValue value;
    if (registry.QueryValue(key, name, &value) != ERROR_SUCCESS ||
        (value.type != REG_SZ && value.type != REG_EXPAND_SZ)) {
        return std::u16string();
    }
    std::u16string text = Utf16LeText(value.data);
    return text.substr(0, text.find(u'\0'));
}

// A REG_DWORD value; empty when missing or of another type or size.
inline std::optional<DWORD> DwordOf(RegistryStore& registry, KeyId key, std::u16string_view name) {
    RegValue value;
    if (registry.QueryValue(key, name, &value) != ERROR_SUCCESS || value.type != REG_DWORD)
        return std::nullopt;
    return DwordOfData(value.data);
}

}  // namespace ze::sim
