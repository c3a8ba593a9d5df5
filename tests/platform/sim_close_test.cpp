#include <functional>

#include "platform/sim/service_manager.h"
#include "sim_fixture.h"

namespace ze::testing {
namespace {

class SimCloseTest : public SimTest {};

// A failed close still closes: the injected error is reported, and the handle is no
// longer open afterwards, so a second close finds nothing to close.
TEST_F(SimCloseTest, AnInjectedCloseFailureStillReleasesTheObject) {
    WriteTextFile(u"C:\\f.txt", u"x");
    struct Case {
        Call call;
        std::function<void*()> open;
        std::function<LONG(void*)> close;  // ERROR_SUCCESS or the error reported
    };
    auto lastErrorOf = [](BOOL closed) {
        return closed ? ERROR_SUCCESS : static_cast<LONG>(OS().GetLastError());
    };
    const GUID net = {0x4d36e972, 0xe325, 0x11ce, {0xbf, 0xc1, 0x08, 0x00, 0x2b, 0xe1, 0x03, 0x18}};
    const Case cases[] = {
        {Call::CloseHandle,
         [] {
             return static_cast<void*>(OS().CreateFileW(u"C:\\f.txt", FILE_APPEND_DATA,
                                                        FILE_SHARE_READ, nullptr, OPEN_ALWAYS,
                                                        FILE_ATTRIBUTE_NORMAL, nullptr));
         },
         [&](void* h) { return lastErrorOf(OS().CloseHandle(static_cast<HANDLE>(h))); }},
        {Call::FindClose,
         [] {
             WIN32_FIND_DATAW data{};
             return static_cast<void*>(OS().FindFirstFileW(u"C:\\f.txt", &data));
         },
         [&](void* h) { return lastErrorOf(OS().FindClose(static_cast<HANDLE>(h))); }},
        {Call::RegCloseKey,
         [] {
             HKEY key = nullptr;
             OS().RegCreateKeyExW(HKEY_LOCAL_MACHINE, u"SOFTWARE", 0, nullptr, 0, KEY_READ, nullptr,
                                  &key, nullptr);
             return static_cast<void*>(key);
         },
         [](void* h) { return OS().RegCloseKey(static_cast<HKEY>(h)); }},
        {Call::CloseServiceHandle,
         [] {
             return static_cast<void*>(
                 OS().OpenSCManagerW(nullptr, nullptr, SC_MANAGER_ALL_ACCESS));
         },
         [&](void* h) { return lastErrorOf(OS().CloseServiceHandle(static_cast<SC_HANDLE>(h))); }},
        {Call::SetupDiDestroyDeviceInfoList,
         [&] { return static_cast<void*>(OS().SetupDiGetClassDevsW(&net, nullptr, nullptr, 0)); },
         [&](void* h) {
             return lastErrorOf(OS().SetupDiDestroyDeviceInfoList(static_cast<HDEVINFO>(h)));
         }},
    };
    for (const Case& c : cases) {
        Sim().InjectFault(c.call, 1, ERROR_ACCESS_DENIED);
        void* handle = c.open();
        ASSERT_NE(handle, nullptr) << c.call;
        EXPECT_EQ(c.close(handle), ERROR_ACCESS_DENIED) << c.call;
        EXPECT_EQ(c.close(handle), ERROR_INVALID_HANDLE) << c.call;
        Sim().ClearFaults();
    }
    EXPECT_EQ(Sim().Services().OpenHandleCount(), 0u);
}

}  // namespace
}  // namespace ze::testing
