// Registry data as a person reads it, in one form for every place that shows it (the
// preview, the simulated machine's journal).
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "platform/wintypes.h"

namespace ze {

// "REG_SZ", "REG_DWORD", ...; "REG_TYPE_<n>" for a type without a name.
std::u16string RegTypeName(DWORD type);

// Text in double quotes with '"' as \", control characters as \r, \n, \t, \0 or
// \xHH, and unpaired surrogates as \uHHHH: the result is one line of valid text
// whatever the text holds. Backslashes stand as they are, as in registry paths.
std::u16string QuoteText(std::u16string_view text);

// The data by its type: REG_SZ and REG_EXPAND_SZ as quoted text (one terminator
// dropped), REG_DWORD as 0x%08X, REG_QWORD as 0x%016X, REG_MULTI_SZ as a list
// ["a", "b"], anything else (and data that does not fit its type) as hexadecimal
// bytes "0A 1B"; no data at all is "(empty)".
std::u16string FormatRegData(DWORD type, const std::vector<BYTE>& bytes);

}  // namespace ze
