// Rewriting the display texts of an advanced property's choices (<subkey>\enum) from
// the OEM INF.
#include <algorithm>

#include "advprops/advance_tables.h"
#include "advprops/advprops.h"
#include "common/log.h"
#include "common/registry.h"
#include "common/result_codes.h"
#include "common/text.h"
#include "platform/handles.h"

namespace ze {

namespace {
constexpr DWORD kValueNameChars = 255;
// The present data is read but not used; a text of more than 1024 bytes fails the
// enumeration.
constexpr DWORD kValueDataBytes = 1024;
}  // namespace

int ResetDriverAdvanceEnum(std::u16string subKeyPath, std::u16string subKeyName,
                           const std::u16string& oemInfPath) {
    LogPrint(
        u"[ZeRegionSvc] ResetDriverAdvanceEnum, advance subkey path = %s, advance subkey name "
        u"= %s\r\n",
        subKeyPath.c_str(), subKeyName.c_str());
    std::u16string enumKeyPath = subKeyPath + u"\\" + u"enum";

    const AdvanceSubKeyEntry* entry = FindAdvanceSubKeyEntry(subKeyName);
    if (entry == nullptr) {
        LogPrint(u"[ZeRegionSvc] Advance subkey name not match in array\r\n");
        return ZE_ERR_NOTHING_TO_DO;
    }
    const AdvanceEnumArray* array = FindAdvanceEnumArray(entry->strEnumArrayName);
    if (array == nullptr) {
        return 0;  // "None": the property has no enum texts
    }

    UniqueKey enumKey;
    if (OS().RegOpenKeyExW(HKEY_LOCAL_MACHINE, enumKeyPath.c_str(), 0, KEY_ALL_ACCESS,
                           enumKey.put()) != ERROR_SUCCESS) {
        LogPrint(u"[ZeRegionSvc] Open advance enum key failed\r\n");
        return ZE_ERR_OPEN_KEY;
    }
    DWORD valueCount = 0;
    if (OS().RegQueryInfoKeyW(enumKey.get(), nullptr, nullptr, nullptr, nullptr, nullptr, nullptr,
                              &valueCount, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS) {
        LogPrint(u"[ZeRegionSvc] Query advance enum key info failed\r\n");
        return ZE_ERR_KEY_INFO;
    }
    DWORD arrayCount = static_cast<DWORD>(array->nArrayCount);
    if (valueCount > arrayCount) {
        LogPrint(u"[ZeRegionSvc] Advance enum key value count is larger than nArrayCount!!!\r\n");
    }
    DWORD processCount = std::min(valueCount, arrayCount);

    for (DWORD index = 0; index < processCount; ++index) {
        char16_t valueName[kValueNameChars] = {};
        DWORD nameChars = kValueNameChars;
        DWORD type = 0;
        BYTE data[kValueDataBytes] = {};
        DWORD dataBytes = kValueDataBytes;
        if (OS().RegEnumValueW(enumKey.get(), index, valueName, &nameChars, nullptr, &type, data,
                               &dataBytes) != ERROR_SUCCESS) {
            LogPrint(u"[ZeRegionSvc] Enum advance enum key failed\r\n");
            return ZE_ERR_ENUM_VALUE;
        }
        // The token is chosen by the number in the value's name, not by the index.
        int choice = Wtoi(valueName);
        if (choice < 0 || choice >= array->nArrayCount) {
            LogPrint(u"[ZeRegionSvc] Advance enum value %s has no entry in the array, skipped\r\n",
                     valueName);
            continue;
        }
        std::u16string text = GetInfDisplayText(std::u16string(array->pTokens[choice]), oemInfPath);
        if (text.empty()) {
            LogPrint(u"[ZeRegionSvc] Advance enum key value not found in inf file\r\n");
            return ZE_ERR_FAILED;
        }
        if (!WriteRegString(enumKeyPath, valueName, text)) {
            LogPrint(u"[ZeRegionSvc] Write Advance enum value failed\r\n");
            return ZE_ERR_WRITE_VALUE;
        }
    }
    return 0;
}

}  // namespace ze
