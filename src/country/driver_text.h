// The one-shot read of a short text value of the driver key that the country steps
// share.
#pragma once

#include <string>

namespace ze {

// Reads a value of the driver key into a zero-filled 128-byte buffer, whatever its
// registry type, and returns its text: up to its terminator or the end of the data
// read, whichever comes first. False when the key cannot be opened for reading or
// the value is missing or longer than 128 bytes.
bool ReadDriverText(const std::u16string& driverKeyPath, const char16_t* valueName,
                    std::u16string* text);

}  // namespace ze
