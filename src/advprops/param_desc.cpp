// Rewriting an advanced property's display name (ParamDesc) from the OEM INF.
#include "advprops/advance_tables.h"
#include "advprops/advprops.h"
#include "common/log.h"
#include "common/registry.h"
#include "common/result_codes.h"

namespace ze {

int ResetDriverAdvanceParamDesc(std::u16string subKeyPath, std::u16string subKeyName,
                                const std::u16string& oemInfPath) {
    LogPrint(
        u"[ZeRegionSvc] ResetDriverAdvanceParamDesc, advance subkey path = %s, advance subkey "
        u"name = %s\r\n",
        subKeyPath.c_str(), subKeyName.c_str());

    // The present text is not used: the read only shows that the property has a
    // ParamDesc of at most 63 characters.
    BYTE present[128] = {};
    DWORD size = sizeof(present);
    if (QueryRegValue(subKeyPath, u"ParamDesc", nullptr, present, &size) != ERROR_SUCCESS) {
        LogPrint(u"[ZeRegionSvc] Get advance ParamDesc value failed\r\n");
        return ZE_ERR_READ_VALUE;
    }
    const AdvanceSubKeyEntry* entry = FindAdvanceSubKeyEntry(subKeyName);
    if (entry == nullptr) {
        LogPrint(u"[ZeRegionSvc] Advance subkey name not match in array\r\n");
        return ZE_ERR_NOTHING_TO_DO;
    }
    std::u16string text = GetInfDisplayText(std::u16string(entry->strParamDescToken), oemInfPath);
    if (text.empty()) {
        LogPrint(u"[ZeRegionSvc] Advance ParamDesc value not found in inf file\r\n");
        return ZE_ERR_FAILED;
    }
    if (!WriteRegString(subKeyPath, u"ParamDesc", text)) {
        LogPrint(u"[ZeRegionSvc] Write advance ParamDesc value failed\r\n");
        return ZE_ERR_WRITE_VALUE;
    }
    return 0;
}

}  // namespace ze
