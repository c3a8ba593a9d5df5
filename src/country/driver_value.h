// The one-shot reads of driver key values that the country steps share: open the
// driver key for reading, query one value into the caller's buffer, close the key.
#pragma once

#include <string>

#include "platform/wintypes.h"

namespace ze {

// Queries a value of the driver key into `data`; *size is the buffer's size in bytes
// on entry, the data's size after. True when the value was read. A failure logs
// `keyFailure` (the key cannot be opened) or `valueFailure` (the value cannot be
// read) when given.
bool ReadDriverValue(const std::u16string& driverKeyPath, const char16_t* valueName, DWORD* type,
                     BYTE* data, DWORD* size, const char16_t* keyFailure = nullptr,
                     const char16_t* valueFailure = nullptr);

// Reads a value of the driver key into a zero-filled 128-byte buffer, whatever its
// registry type, and returns its text: up to its terminator or the end of the data
// read, whichever comes first. False when the key cannot be opened for reading or
// the value is missing or longer than 128 bytes.
bool ReadDriverText(const std::u16string& driverKeyPath, const char16_t* valueName,
                    std::u16string* text);

}  // namespace ze
