// Text for the person at the command line: standard output and standard error.
#pragma once

#include <string_view>

#include "platform/wintypes.h"

namespace ze {

// Writes the text to STD_OUTPUT_HANDLE or STD_ERROR_HANDLE: as UTF-16 to a console,
// whatever its script, and as UTF-8 to a file or pipe. Nothing is reported: a stream
// that cannot be written loses the text.
void WriteStandard(DWORD stream, std::u16string_view text);

inline void PrintOut(std::u16string_view text) {
    WriteStandard(STD_OUTPUT_HANDLE, text);
}
inline void PrintError(std::u16string_view text) {
    WriteStandard(STD_ERROR_HANDLE, text);
}

}  // namespace ze
