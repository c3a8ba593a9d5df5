#include "platform/sim/security_calls.h"

#include <algorithm>
#include <filesystem>

#include "platform/names.h"

namespace ze::sim {

char16_t* SecurityCalls::Allocate(std::u16string_view text, bool descriptor) {
    auto copy = std::make_unique<char16_t[]>(text.size() + 1);
    std::copy(text.begin(), text.end(), copy.get());
    char16_t* address = copy.get();
    allocations_[address] = Allocation{descriptor, std::move(copy)};
    return address;
}

DWORD SecurityCalls::GetNamedSecurityInfo(LPCWSTR name, SE_OBJECT_TYPE type,
                                          SECURITY_INFORMATION info, PSID* owner, PSID* group,
                                          PACL* dacl, PACL* sacl,
                                          PSECURITY_DESCRIPTOR* descriptor) {
    if (std::optional<LONG> fault = machine_.DueFault(Call::GetNamedSecurityInfoW))
        return static_cast<DWORD>(*fault);
    if (name == nullptr || type != SE_FILE_OBJECT || descriptor == nullptr)
        return ERROR_INVALID_PARAMETER;
    std::error_code error;
    if (!std::filesystem::exists(files_.HostPath(name), error))
        return ERROR_FILE_NOT_FOUND;
    std::u16string sddl = kDefaultFileSecurity;
    for (const auto& [path, text] : machine_.Settings().fileSecurity) {
        if (EqualsIgnoreCase(path, name))
            sddl = text;
    }
    std::lock_guard<std::mutex> lock(mutex_);
    char16_t* held = Allocate(sddl, true);
    // The parts point into the descriptor, as Windows' do.
    if (owner != nullptr)
        *owner = (info & OWNER_SECURITY_INFORMATION) ? held : nullptr;
    if (dacl != nullptr)
        *dacl = (info & DACL_SECURITY_INFORMATION) ? held : nullptr;
    if (group != nullptr)
        *group = nullptr;
    if (sacl != nullptr)
        *sacl = nullptr;
    *descriptor = held;
    return ERROR_SUCCESS;
}

BOOL SecurityCalls::ConvertToString(PSECURITY_DESCRIPTOR descriptor, DWORD revision,
                                    SECURITY_INFORMATION info, LPWSTR* text, ULONG* length) {
    if (machine_.DueFault(Call::ConvertSecurityDescriptorToStringSecurityDescriptorW))
        return FALSE;
    std::lock_guard<std::mutex> lock(mutex_);
    auto found = allocations_.find(descriptor);
    if (found == allocations_.end() || !found->second.descriptor)
        return Machine::Fail(ERROR_INVALID_PARAMETER);
    if (revision != SDDL_REVISION_1 || text == nullptr)
        return Machine::Fail(ERROR_INVALID_PARAMETER);
    std::u16string sddl = found->second.text.get();
    // Only the parts asked for; owners never hold "D:".
    if (!(info & DACL_SECURITY_INFORMATION))
        sddl = sddl.substr(0, sddl.find(u"D:"));
    if (!(info & OWNER_SECURITY_INFORMATION) && sddl.rfind(u"O:", 0) == 0)
        sddl = sddl.substr(std::min(sddl.find(u"D:"), sddl.size()));
    *text = Allocate(sddl, false);
    if (length != nullptr)
        *length = static_cast<ULONG>(sddl.size() + 1);
    return TRUE;
}

HLOCAL SecurityCalls::LocalFree(HLOCAL memory) {
    if (memory == nullptr)
        return nullptr;
    std::lock_guard<std::mutex> lock(mutex_);
    if (allocations_.erase(memory) == 0) {
        Machine::SetLastError(ERROR_INVALID_HANDLE);
        return memory;
    }
    return nullptr;
}

std::size_t SecurityCalls::LiveAllocations() {
    std::lock_guard<std::mutex> lock(mutex_);
    return allocations_.size();
}

}  // namespace ze::sim
