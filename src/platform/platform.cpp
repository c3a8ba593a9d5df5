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

std::optional<Call> CallNamed(std::string_view name) {
    for (std::size_t i = 0; i < kCallCount; ++i) {
        if (kCallNames[i] == name)
            return static_cast<Call>(i);
    }
    return std::nullopt;
}

void InstallPlatform(Platform* platform) {
    g_platform = platform;
}

ScopedPlatform::ScopedPlatform(Platform& platform) : previous_(g_platform) {
    g_platform = &platform;
}

ScopedPlatform::~ScopedPlatform() {
    g_platform = previous_;
}

}  // namespace ze
