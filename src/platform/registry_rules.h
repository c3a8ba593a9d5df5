// Rules of the Win32 registry calls that more than one platform layer must apply the
// same way: what RegSetValueExW stores, and how RegQueryValueExW, RegEnumKeyExW and
// RegEnumValueW hand stored names and data to the caller's buffers.
#pragma once

#include <algorithm>
#include <cstring>
#include <string_view>
#include <vector>

#include "platform/wintypes.h"

namespace ze {

inline bool IsRegStringType(DWORD type) {
    return type == REG_SZ || type == REG_EXPAND_SZ || type == REG_MULTI_SZ;
}

// The bytes RegSetValueExW stores for `count` bytes at `data`. Windows (and Wine)
// also store the terminator of a string whose counted bytes lack one when a NUL
// follows them in the caller's memory: this looks one character past the counted
// bytes, and only when the counted text does not end in a terminator itself.
inline DWORD StoredByteCount(DWORD type, const BYTE* data, DWORD count) {
    if (count < 2 || !IsRegStringType(type))
        return count;
    char16_t last = 0;
    std::memcpy(&last, data + (count / 2 - 1) * 2, 2);
    if (last == 0)
        return count;
    char16_t next = 1;
    std::memcpy(&next, data + (count / 2) * 2, 2);
    return next == 0 ? count + 2 : count;
}

// RegQueryValueExW's answer for a stored value: the type, the size in *size and the
// data when the buffer is large enough (ERROR_MORE_DATA otherwise, with the size
// needed). No buffer asks for the size only.
inline LONG CopyValueOut(DWORD storedType, const std::vector<BYTE>& stored, DWORD* type, BYTE* data,
                         DWORD* size) {
    if (data != nullptr && size == nullptr)
        return ERROR_INVALID_PARAMETER;
    if (type != nullptr)
        *type = storedType;
    if (size == nullptr)
        return ERROR_SUCCESS;
    auto needed = static_cast<DWORD>(stored.size());
    DWORD offered = *size;
    *size = needed;
    if (data == nullptr)
        return ERROR_SUCCESS;
    if (offered < needed)
        return ERROR_MORE_DATA;
    std::copy(stored.begin(), stored.end(), data);
    return ERROR_SUCCESS;
}

// An enumerated key or value name into a buffer of *chars characters: the name and its
// terminator, with its length (terminator not counted) in *chars; ERROR_MORE_DATA,
// buffer and count untouched, when the terminator would not fit.
inline LONG CopyNameOut(std::u16string_view name, LPWSTR buffer, DWORD* chars) {
    if (name.size() >= *chars)
        return ERROR_MORE_DATA;
    std::copy(name.begin(), name.end(), buffer);
    buffer[name.size()] = u'\0';
    *chars = static_cast<DWORD>(name.size());
    return ERROR_SUCCESS;
}

// RegEnumKeyExW's answer for an enumerated subkey: its name as CopyNameOut hands it
// over; keys have no class and no write time here.
inline LONG CopyEnumKeyOut(std::u16string_view name, LPWSTR buffer, DWORD* chars, DWORD* classChars,
                           FILETIME* lastWriteTime) {
    if (LONG error = CopyNameOut(name, buffer, chars))
        return error;
    if (classChars != nullptr)
        *classChars = 0;
    if (lastWriteTime != nullptr)
        *lastWriteTime = FILETIME{0, 0};
    return ERROR_SUCCESS;
}

}  // namespace ze
