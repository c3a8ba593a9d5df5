// The process entry shared by both builds: start-up, logging of the paths and the
// dispatch of the command line.
#pragma once

#include "platform/wintypes.h"

namespace ze {

extern char16_t g_szServiceName[64];

// Exit codes of the command line and the service host.
constexpr int ZE_EXIT_INIT_FAILED = 1;
constexpr int ZE_EXIT_DISPATCHER_FAILED = -107;
// The service process could not register its handler or report its service stopped,
// and ended by itself.
constexpr int ZE_EXIT_SERVICE_UNREPORTED = -109;

int _tmain(int argc, char16_t** argv);

// One reset in the foreground ("/debug"): the reset sequence on the calling
// thread, then the service's start type becomes manual. Returns the sequence's result.
int RunForegroundReset();

}  // namespace ze
