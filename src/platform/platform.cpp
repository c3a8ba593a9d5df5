#include "platform/platform.h"

#include <cstdio>
#include <cstdlib>

namespace ze {
namespace {
Platform* g_platform = nullptr;
}

Platform& OS() {
    if (g_platform == nullptr) {
        std::fputs("ZeRegionSvc: no platform installed\n", stderr);
        std::abort();
    }
    return *g_platform;
}

void InstallPlatform(Platform* platform) { g_platform = platform; }

ScopedPlatform::ScopedPlatform(Platform& platform) : previous_(g_platform) {
    g_platform = &platform;
}

ScopedPlatform::~ScopedPlatform() { g_platform = previous_; }

}  // namespace ze
