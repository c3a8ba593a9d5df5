#include "common/console.h"

#include <string>

#include "common/text.h"
#include "platform/platform.h"

namespace ze {

void WriteStandard(DWORD stream, std::u16string_view text) {
    HANDLE handle = OS().GetStdHandle(stream);
    if (handle == nullptr || handle == INVALID_HANDLE_VALUE || text.empty()) {
        return;
    }
    DWORD mode = 0;
    DWORD written = 0;
    if (OS().GetConsoleMode(handle, &mode)) {
        OS().WriteConsoleW(handle, text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
        return;
    }
    std::string bytes = Utf16ToUtf8(text);
    OS().WriteFile(handle, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
}

}  // namespace ze
