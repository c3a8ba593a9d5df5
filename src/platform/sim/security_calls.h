// Files' security descriptors on the simulated machine. A file's descriptor is the
// SDDL text its machine settings give for its path ([Security] of machine.ini), or a
// safe default: owned by Administrators, full control for SYSTEM and Administrators,
// read and execute for Users. The descriptors and texts the calls hand out are local
// allocations that LocalFree releases; the room counts those not yet released.
#pragma once

#include <cstddef>
#include <map>
#include <memory>
#include <mutex>
#include <string>

#include "platform/sim/file_system.h"
#include "platform/sim/machine.h"

namespace ze::sim {

inline constexpr char16_t kDefaultFileSecurity[] =
    u"O:BAD:PAI(A;;FA;;;SY)(A;;FA;;;BA)(A;;0x1200a9;;;BU)";

class SecurityCalls {
  public:
    SecurityCalls(Machine& machine, FileSystem& files) : machine_(machine), files_(files) {}

    DWORD GetNamedSecurityInfo(LPCWSTR name, SE_OBJECT_TYPE type, SECURITY_INFORMATION info,
                               PSID* owner, PSID* group, PACL* dacl, PACL* sacl,
                               PSECURITY_DESCRIPTOR* descriptor);
    BOOL ConvertToString(PSECURITY_DESCRIPTOR descriptor, DWORD revision, SECURITY_INFORMATION info,
                         LPWSTR* text, ULONG* length);
    HLOCAL LocalFree(HLOCAL memory);

    // ---- state for tests ----
    // Allocations handed out and not released.
    std::size_t LiveAllocations();

  private:
    struct Allocation {
        bool descriptor = false;  // else a text
        std::unique_ptr<char16_t[]> text;
    };
    // A new allocation holding the text; the caller holds mutex_.
    char16_t* Allocate(std::u16string_view text, bool descriptor);

    Machine& machine_;
    FileSystem& files_;
    std::mutex mutex_;  // guards allocations_
    std::map<const void*, Allocation> allocations_;
};

}  // namespace ze::sim
