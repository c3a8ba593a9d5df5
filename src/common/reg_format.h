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

// Text in double quotes as regedit writes it, '"' and '\' escaped with a backslash,
// and further control characters as \r, \n, \t, \0 or \xHH and unpaired surrogates as
// \uHHHH: one line whatever the text holds, and no two texts read the same.
std::u16string QuoteText(std::u16string_view text);

// The data by its type: REG_SZ and REG_EXPAND_SZ as quoted text, REG_MULTI_SZ as a
// list ["a", "b"] (both followed by "(no terminator)" when the data lacks the final
// NUL, or the list's empty string), REG_DWORD as 0x%08X, REG_QWORD as 0x%016X,
// anything else (and data that does not fit its type) as hexadecimal bytes "0A 1B";
// no data at all is "(empty)". Different data never reads the same.
std::u16string FormatRegData(DWORD type, const std::vector<BYTE>& bytes);

}  // namespace ze
