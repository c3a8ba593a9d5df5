// Locating the adapter's OEM INF and reading its localised display texts.
#include "advprops/advprops.h"
#include "common/log.h"
#include "common/paths.h"
#include "common/registry.h"
#include "common/result_codes.h"
#include "common/text.h"
#include "platform/platform.h"

namespace ze {

namespace {

// InfPath is read into 128 bytes: at most 63 characters and the terminator.
constexpr DWORD kInfPathBytes = 128;
constexpr std::size_t kInfPathChars = kInfPathBytes / sizeof(char16_t);
// A display text buffer holds 255 characters and the terminator.
constexpr std::size_t kDisplayTextChars = 255;

// The InfPath text of the driver key, or false when it is missing, unreadable or
// fills the whole buffer without a terminator (64 characters or more).
bool ReadInfPath(const std::u16string& netId, std::u16string* infPath) {
    char16_t buffer[kInfPathChars] = {};
    DWORD size = kInfPathBytes;
    if (QueryRegValue(DriverKeyPath(netId), u"InfPath", nullptr, reinterpret_cast<BYTE*>(buffer),
                      &size) != ERROR_SUCCESS) {
        return false;
    }
    std::size_t length = BoundedLength(buffer, kInfPathChars);
    if (length == kInfPathChars) {
        return false;
    }
    infPath->assign(buffer, length);
    return true;
}

// <Windows dir>\inf\<InfPath>: 0, ZE_ERR_NO_WINDOWS_DIRECTORY, or -999 when the whole
// path does not fit the 260-character path buffer (a cut path would name some other
// file).
int BuildOemInfPath(const std::u16string& infPath, std::u16string* oemInfPath) {
    char16_t windowsDirectory[MAX_PATH] = {};
    UINT length = OS().GetWindowsDirectoryW(windowsDirectory, MAX_PATH);
    if (length == 0) {
        return ZE_ERR_NO_WINDOWS_DIRECTORY;
    }
    if (length >= MAX_PATH) {
        return ZE_ERR_FAILED;
    }
    *oemInfPath = std::u16string(windowsDirectory, length) + u"\\inf" + u"\\" + infPath;
    return oemInfPath->size() < MAX_PATH ? 0 : ZE_ERR_FAILED;
}

}  // namespace

int LocateOemInf(const std::u16string& netId, std::u16string* oemInfPath) {
    std::u16string infPath;
    if (!ReadInfPath(netId, &infPath)) {
        return ZE_ERR_READ_VALUE;
    }
    int result = BuildOemInfPath(infPath, oemInfPath);
    if (result != 0) {
        *oemInfPath = infPath;
    }
    return result;
}

int QueryOemInfPath(std::u16string netId, std::u16string* oemInfPath) {
    std::u16string located;
    int result = LocateOemInf(netId, &located);
    if (result == ZE_ERR_READ_VALUE) {
        LogPrint(u"[ZeRegionSvc] Query InfPath value failed\r\n");
        return result;
    }
    if (result == ZE_ERR_NO_WINDOWS_DIRECTORY) {
        LogPrint(u"[ZeRegionSvc] GetWindowsDirectory() failed, no OEM INF path\r\n");
        return result;
    }
    if (result != 0) {
        LogPrint(u"[ZeRegionSvc] OEM INF path too long: %s\r\n", located.c_str());
        return result;
    }
    *oemInfPath = located;
    LogPrint(u"[ZeRegionSvc] g_szOemInfPath = %s\r\n", oemInfPath->c_str());
    return 0;
}

std::u16string GetInfStringsSection() {
    constexpr int kLanguageChars = 8;
    char16_t language[kLanguageChars] = {};
    OS().GetLocaleInfoW(LOCALE_SYSTEM_DEFAULT, LOCALE_ILANGUAGE, language, kLanguageChars);
    std::u16string id(language, BoundedLength(language, kLanguageChars));
    if (id == u"0409") {
        return u"Strings";
    }
    return u"Strings." + id;
}

std::u16string GetInfDisplayText(const std::u16string& token, const std::u16string& oemInfPath) {
    std::u16string text = GetIniString(GetInfStringsSection(), token, u"", oemInfPath);
    if (text.size() > kDisplayTextChars) {
        text.resize(kDisplayTextChars);
        // Never leave half of a surrogate pair at the end.
        if (text.back() >= 0xD800 && text.back() <= 0xDBFF) {
            text.pop_back();
        }
    }
    return text;
}

}  // namespace ze
