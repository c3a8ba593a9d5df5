// Placeholder device installer until the simulated one lands: every call fails.
#include "platform/sim/sim_platform.h"

namespace ze::sim {

BOOL SimPlatform::SetupDiClassGuidsFromNameW(LPCWSTR, GUID*, DWORD, DWORD*) {
    return FALSE;
}
HDEVINFO SimPlatform::SetupDiGetClassDevsW(const GUID*, LPCWSTR, void*, DWORD) {
    return INVALID_HANDLE_VALUE;
}
BOOL SimPlatform::SetupDiEnumDeviceInfo(HDEVINFO, DWORD, SP_DEVINFO_DATA*) {
    return FALSE;
}
BOOL SimPlatform::SetupDiGetDeviceRegistryPropertyW(HDEVINFO, SP_DEVINFO_DATA*, DWORD, DWORD*,
                                                    BYTE*, DWORD, DWORD*) {
    return FALSE;
}
BOOL SimPlatform::SetupDiSetClassInstallParamsW(HDEVINFO, SP_DEVINFO_DATA*, SP_CLASSINSTALL_HEADER*,
                                                DWORD) {
    return FALSE;
}
BOOL SimPlatform::SetupDiCallClassInstaller(DI_FUNCTION, HDEVINFO, SP_DEVINFO_DATA*) {
    return FALSE;
}
BOOL SimPlatform::SetupDiDestroyDeviceInfoList(HDEVINFO) {
    return FALSE;
}

}  // namespace ze::sim
