// The program's event source in the Application log: its registration names the
// executable as the file that holds the message table, so Event Viewer shows the
// texts of the program's events.
#include <algorithm>
#include <string>

#include "common/events.h"
#include "common/log.h"
#include "common/registry.h"
#include "common/result_codes.h"
#include "platform/handles.h"
#include "platform/names.h"
#include "service/service.h"

namespace ze {

namespace {

constexpr DWORD kTypesSupported =
    EVENTLOG_ERROR_TYPE | EVENTLOG_WARNING_TYPE | EVENTLOG_INFORMATION_TYPE;
// Room for the longest path Windows takes, and its terminator.
constexpr DWORD kMessageFileBytes = 32768 * 2;

std::u16string BaseName(const std::u16string& path) {
    std::size_t slash = path.find_last_of(u"\\/");
    return slash == std::u16string::npos ? path : path.substr(slash + 1);
}

// The message file the source's registration names; empty when there is none.
std::u16string RegisteredMessageFile() {
    std::u16string file(kMessageFileBytes / 2, u'\0');
    DWORD type = 0;
    DWORD size = kMessageFileBytes - 2;
    if (QueryRegValue(kEventSourceKeyPath, u"EventMessageFile", &type,
                      reinterpret_cast<BYTE*>(file.data()), &size) != ERROR_SUCCESS)
        return {};
    file.resize(std::min<std::size_t>(file.find(u'\0'), size / 2));
    return file;
}

// The source is this program's when no message file is registered, or when the
// registered one is an executable of this program's name (in another folder after a
// move). Another program's source of the same name is left alone.
bool SourceIsOurs(const std::u16string& modulePath) {
    std::u16string registered = RegisteredMessageFile();
    if (registered.empty() || EqualsIgnoreCase(BaseName(registered), BaseName(modulePath)))
        return true;
    LogPrint(u"[ZeRegionSvc] Event source %s belongs to %s, left as it is\r\n", kEventSourceName,
             registered.c_str());
    return false;
}

}  // namespace

int ZeRegisterEventSource(const std::u16string& modulePath) {
    if (!SourceIsOurs(modulePath))
        return ZE_ERR_FAILED;
    if (RegisteredMessageFile() == modulePath)
        return 0;
    UniqueKey key;
    const BYTE types[4] = {static_cast<BYTE>(kTypesSupported), 0, 0, 0};
    // REG_EXPAND_SZ with its terminator, as the Event Log reads it.
    if (OS().RegCreateKeyExW(HKEY_LOCAL_MACHINE, kEventSourceKeyPath, 0, nullptr,
                             REG_OPTION_NON_VOLATILE, KEY_ALL_ACCESS, nullptr, key.put(),
                             nullptr) != ERROR_SUCCESS ||
        OS().RegSetValueExW(key.get(), u"EventMessageFile", 0, REG_EXPAND_SZ,
                            reinterpret_cast<const BYTE*>(modulePath.c_str()),
                            static_cast<DWORD>((modulePath.size() + 1) * 2)) != ERROR_SUCCESS ||
        OS().RegSetValueExW(key.get(), u"TypesSupported", 0, REG_DWORD, types, sizeof types) !=
            ERROR_SUCCESS) {
        LogPrint(u"[ZeRegionSvc] Event source not registered\r\n");
        return ZE_ERR_WRITE_VALUE;
    }
    return 0;
}

int ZeDeregisterEventSource(const std::u16string& modulePath) {
    if (!SourceIsOurs(modulePath))
        return ZE_ERR_FAILED;
    LONG result = OS().RegDeleteKeyW(HKEY_LOCAL_MACHINE, kEventSourceKeyPath);
    if (result != ERROR_SUCCESS && result != ERROR_FILE_NOT_FOUND) {
        LogPrint(u"[ZeRegionSvc] Event source not removed\r\n");
        return ZE_ERR_WRITE_VALUE;
    }
    return 0;
}

}  // namespace ze
