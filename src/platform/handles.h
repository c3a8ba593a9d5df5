// Move-only owners of the handles the program holds. Each closes through the
// platform, so no path out of a routine can leak a key, set, service or file.
#pragma once

#include <utility>

#include "platform/platform.h"

namespace ze {

template <typename Handle, typename Close>
class UniqueHandle {
  public:
    UniqueHandle() = default;
    explicit UniqueHandle(Handle handle) : handle_(handle) {}
    ~UniqueHandle() { reset(); }
    UniqueHandle(UniqueHandle&& other) noexcept : handle_(std::exchange(other.handle_, Handle{})) {}
    UniqueHandle& operator=(UniqueHandle&& other) noexcept {
        if (this != &other) {
            reset();
            handle_ = std::exchange(other.handle_, Handle{});
        }
        return *this;
    }
    UniqueHandle(const UniqueHandle&) = delete;
    UniqueHandle& operator=(const UniqueHandle&) = delete;

    Handle get() const { return handle_; }
    // For out-parameters of open calls: closes what is held and hands out the slot.
    Handle* put() {
        reset();
        return &handle_;
    }
    explicit operator bool() const { return Close::IsValid(handle_); }
    void reset() {
        if (Close::IsValid(handle_)) {
            Close::Release(handle_);
        }
        handle_ = Handle{};
    }

  private:
    Handle handle_{};
};

struct KeyCloser {
    static bool IsValid(HKEY key) { return key != nullptr; }
    static void Release(HKEY key) { OS().RegCloseKey(key); }
};
struct ServiceCloser {
    static bool IsValid(SC_HANDLE handle) { return handle != nullptr; }
    static void Release(SC_HANDLE handle) { OS().CloseServiceHandle(handle); }
};
struct DevInfoCloser {
    static bool IsValid(HDEVINFO set) { return set != nullptr && set != INVALID_HANDLE_VALUE; }
    static void Release(HDEVINFO set) { OS().SetupDiDestroyDeviceInfoList(set); }
};
struct FileCloser {
    static bool IsValid(HANDLE file) { return file != nullptr && file != INVALID_HANDLE_VALUE; }
    static void Release(HANDLE file) { OS().CloseHandle(file); }
};
struct FindCloser {
    static bool IsValid(HANDLE find) { return find != nullptr && find != INVALID_HANDLE_VALUE; }
    static void Release(HANDLE find) { OS().FindClose(find); }
};

// What GetNamedSecurityInfoW and the SDDL conversion allocate.
struct LocalCloser {
    static bool IsValid(HLOCAL memory) { return memory != nullptr; }
    static void Release(HLOCAL memory) { OS().LocalFree(memory); }
};

using UniqueKey = UniqueHandle<HKEY, KeyCloser>;
using UniqueServiceHandle = UniqueHandle<SC_HANDLE, ServiceCloser>;
using UniqueDevInfo = UniqueHandle<HDEVINFO, DevInfoCloser>;
using UniqueFile = UniqueHandle<HANDLE, FileCloser>;
using UniqueFind = UniqueHandle<HANDLE, FindCloser>;
using UniqueLocal = UniqueHandle<HLOCAL, LocalCloser>;

}  // namespace ze
