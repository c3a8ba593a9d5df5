// The one seam between the program and the operating system. Every method mirrors
// the Win32 call of the same name: same arguments, same buffer conventions (bytes for
// registry data, characters for strings), same results and GetLastError values. The
// calls are listed once, in platform_calls.h.
// Win32Platform forwards to Windows; SimPlatform is a simulated Windows machine.
#pragma once

#include <cstddef>
#include <iterator>
#include <optional>
#include <string_view>

#include "platform/platform_calls.h"
#include "platform/wintypes.h"

namespace ze {

// Names each call of the port: fault injection and the sweep refer to calls by it.
enum class Call {
#define ZE_CALL_ENUMERATOR(ret, name, ...) name,
    ZE_PLATFORM_CALLS(ZE_CALL_ENUMERATOR)
#undef ZE_CALL_ENUMERATOR
};

inline constexpr const char* kCallNames[] = {
#define ZE_CALL_NAME(ret, name, ...) #name,
    ZE_PLATFORM_CALLS(ZE_CALL_NAME)
#undef ZE_CALL_NAME
};
inline constexpr std::size_t kCallCount = std::size(kCallNames);

// The Win32 name of a call ("RegOpenKeyExW").
constexpr std::string_view CallName(Call call) {
    return kCallNames[static_cast<std::size_t>(call)];
}
// The call of that Win32 name, if the port has one.
std::optional<Call> CallNamed(std::string_view name);

class Platform {
  public:
    virtual ~Platform() = default;

#define ZE_DECLARE_CALL(ret, name, ...) virtual ret name(ZE_PARAMS(__VA_ARGS__)) = 0;
    ZE_PLATFORM_CALLS(ZE_DECLARE_CALL)
#undef ZE_DECLARE_CALL
};

// The platform of this process. main installs the one of its build; tests install
// their own for the duration of a test with ScopedPlatform.
Platform& OS();
void InstallPlatform(Platform* platform);

class ScopedPlatform {
  public:
    explicit ScopedPlatform(Platform& platform);
    ~ScopedPlatform();
    ScopedPlatform(const ScopedPlatform&) = delete;
    ScopedPlatform& operator=(const ScopedPlatform&) = delete;

  private:
    Platform* previous_;
};

}  // namespace ze
