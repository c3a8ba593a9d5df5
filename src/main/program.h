// The process entry shared by both builds: start-up, logging of the paths and the
// dispatch of the command line.
#pragma once

#include "platform/wintypes.h"

namespace ze {

// Exit codes of the command line and the service host.
constexpr int ZE_EXIT_INIT_FAILED = 1;
constexpr int ZE_EXIT_DISPATCHER_FAILED = -107;

int _tmain(int argc, char16_t** argv);

}  // namespace ze
