// Writing registry values under HKEY_LOCAL_MACHINE with one log line per outcome,
// and the one-shot read that every registry lookup of the program makes.
#pragma once

#include <string>

#include "platform/wintypes.h"

namespace ze {

// The network adapter class key; a driver key is this key, '\' and the Net ID.
inline constexpr char16_t kNetClassKeyPath[] =
    u"SYSTEM\\CurrentControlSet\\Control\\Class\\{4D36E972-E325-11CE-BFC1-08002bE10318}";
std::u16string DriverKeyPath(const std::u16string& netId);

// Opens or creates the key (KEY_ALL_ACCESS), writes the value, logs the outcome and
// closes the key. True when the value was written.
// How many values WriteRegValue has written, in this process, whose type or data
// differed from what the key held before.
unsigned RegValuesChanged();

bool WriteRegValue(std::u16string keyPath, std::u16string valueName, DWORD type, const BYTE* data,
                   DWORD byteCount);
// REG_SZ without terminator: 2 x length bytes.
bool WriteRegString(std::u16string keyPath, std::u16string valueName, std::u16string text);
// REG_DWORD, 4 bytes.
bool WriteRegDword(std::u16string keyPath, std::u16string valueName, DWORD value);

// Opens the key with KEY_READ, queries one value into the caller's buffer and closes
// the key. Returns the error of the open or of the query (ERROR_SUCCESS when both
// succeeded); *size is the buffer's size in bytes on entry, the data's size after.
// *keyOpened, when given, tells whether the open succeeded.
LONG QueryRegValue(const std::u16string& keyPath, const char16_t* valueName, DWORD* type,
                   BYTE* data, DWORD* size, bool* keyOpened = nullptr);

}  // namespace ze
