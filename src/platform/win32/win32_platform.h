// The platform of the Windows build: every call goes straight to the Win32 API of the
// same name. No logic lives here beyond converting the program's types (char16_t
// text, fixed-width integers, opaque handles) to the SDK's at the boundary, and the
// service dispatcher's wait for control handler calls still running when it returns.
#pragma once

#include "platform/platform.h"

namespace ze {

// Every call of the port forwarded to the Win32 function of the same name, its
// arguments and result converted between the program's types and the SDK's.
class Win32Forwards : public Platform {
  public:
    ZE_PLATFORM_CALLS(ZE_DECLARE_OVERRIDE)
};

// The service dispatcher needs more than a forward: the process hosts one service
// (the table's first entry), whose routine and the handler registered for it are
// reached through WINAPI trampolines, and the dispatcher waits for handler calls
// still running when it returns.
class Win32Platform final : public Win32Forwards {
  public:
    BOOL StartServiceCtrlDispatcherW(const SERVICE_TABLE_ENTRYW* lpServiceStartTable) override;
    SERVICE_STATUS_HANDLE RegisterServiceCtrlHandlerExW(LPCWSTR lpServiceName,
                                                        LPHANDLER_FUNCTION_EX lpHandlerProc,
                                                        void* lpContext) override;
};

}  // namespace ze
