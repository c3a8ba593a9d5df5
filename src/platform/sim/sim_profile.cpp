// Placeholder profile functions until the profile engine lands: reads answer the
// default, writes fail.
#include <algorithm>

#include "platform/sim/sim_platform.h"

namespace ze::sim {

DWORD SimPlatform::GetPrivateProfileStringW(LPCWSTR, LPCWSTR, LPCWSTR lpDefault,
                                            LPWSTR lpReturnedString, DWORD nSize, LPCWSTR) {
    if (nSize == 0)
        return 0;
    std::u16string value = lpDefault == nullptr ? u"" : lpDefault;
    if (value.size() >= nSize)
        value.resize(nSize - 1);
    std::copy(value.begin(), value.end(), lpReturnedString);
    lpReturnedString[value.size()] = u'\0';
    return static_cast<DWORD>(value.size());
}

UINT SimPlatform::GetPrivateProfileIntW(LPCWSTR, LPCWSTR, INT nDefault, LPCWSTR) {
    return static_cast<UINT>(nDefault);
}

DWORD SimPlatform::GetPrivateProfileSectionNamesW(LPWSTR lpszReturnBuffer, DWORD nSize, LPCWSTR) {
    if (nSize >= 2)
        lpszReturnBuffer[0] = lpszReturnBuffer[1] = u'\0';
    return 0;
}

BOOL SimPlatform::WritePrivateProfileStringW(LPCWSTR, LPCWSTR, LPCWSTR, LPCWSTR) {
    SetLastError(static_cast<DWORD>(ERROR_CALL_NOT_IMPLEMENTED));
    return FALSE;
}

}  // namespace ze::sim
