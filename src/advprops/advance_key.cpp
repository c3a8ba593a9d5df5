// The walk over the driver's advanced properties under NDI\params.
#include <algorithm>

#include "advprops/advance_tables.h"
#include "advprops/advprops.h"
#include "common/log.h"
#include "common/registry.h"
#include "common/result_codes.h"
#include "platform/handles.h"

namespace ze {

namespace {
constexpr char16_t kAdvanceKeyName[] = u"NDI\\params";
// Subkey names are read into 255 characters, the registry's longest key name.
constexpr DWORD kSubKeyNameChars = 255;
}  // namespace

int ResetDriverAdvanceKey(std::u16string netId) {
    LogPrint(u"[ZeRegionSvc] ResetDriverAdvanceKey, Net ID = %s\r\n", netId.c_str());
    std::u16string oemInfPath;
    QueryOemInfPath(netId, &oemInfPath);

    std::u16string advanceKeyPath = DriverKeyPath(netId) + u"\\" + kAdvanceKeyName;
    UniqueKey advanceKey;
    if (OS().RegOpenKeyExW(HKEY_LOCAL_MACHINE, advanceKeyPath.c_str(), 0, KEY_ALL_ACCESS,
                           advanceKey.put()) != ERROR_SUCCESS) {
        LogPrint(u"[ZeRegionSvc] Open driver advance key failed\r\n");
        return ZE_ERR_OPEN_KEY;
    }
    DWORD subKeyCount = 0;
    if (OS().RegQueryInfoKeyW(advanceKey.get(), nullptr, nullptr, nullptr, &subKeyCount, nullptr,
                              nullptr, nullptr, nullptr, nullptr, nullptr,
                              nullptr) != ERROR_SUCCESS) {
        LogPrint(u"[ZeRegionSvc] Query driver advance key info failed\r\n");
        return ZE_ERR_KEY_INFO;
    }
    if (subKeyCount == 0) {
        LogPrint(u"[ZeRegionSvc] Driver advance subkey count is 0!\r\n");
        return ZE_ERR_NOTHING_TO_DO;
    }
    if (subKeyCount > static_cast<DWORD>(g_nAdvanceSubKeyCnt)) {
        LogPrint(
            u"[ZeRegionSvc] Driver advance subkey count is larger than g_nAdvanceSubKeyCnt!!!\r\n");
    }
    DWORD visitCount = std::min(subKeyCount, static_cast<DWORD>(g_nAdvanceSubKeyCnt));

    for (DWORD index = 0; index < visitCount; ++index) {
        char16_t subKeyName[kSubKeyNameChars] = {};
        DWORD nameChars = kSubKeyNameChars;
        if (OS().RegEnumKeyExW(advanceKey.get(), index, subKeyName, &nameChars, nullptr, nullptr,
                               nullptr, nullptr) != ERROR_SUCCESS) {
            LogPrint(u"[ZeRegionSvc] Enum driver advance subkey failed\r\n");
            return ZE_ERR_NOTHING_TO_DO;
        }
        int result =
            ResetDriverAdvanceSubKey(advanceKeyPath + u"\\" + subKeyName, subKeyName, oemInfPath);
        if (result != 0 && result != ZE_ERR_NOTHING_TO_DO) {
            break;
        }
    }
    return 0;
}

int ResetDriverAdvanceSubKey(std::u16string subKeyPath, std::u16string subKeyName,
                             const std::u16string& oemInfPath) {
    int result = ResetDriverAdvanceParamDesc(subKeyPath, subKeyName, oemInfPath);
    if (result == ZE_ERR_NOTHING_TO_DO) {
        return ZE_ERR_NOTHING_TO_DO;
    }
    if (result != 0) {
        return ZE_ERR_FAILED;
    }
    result = ResetDriverAdvanceEnum(subKeyPath, subKeyName, oemInfPath);
    if (result == ZE_ERR_NOTHING_TO_DO || result == 0) {
        return result;
    }
    return ZE_ERR_FAILED;
}

}  // namespace ze
