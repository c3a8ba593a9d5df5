#include "platform/sim/machine.h"

namespace ze::sim {
namespace {

thread_local DWORD t_lastError = 0;

}  // namespace

Machine::Machine(std::filesystem::path root, std::optional<std::filesystem::path> folder,
                 MachineSettings settings, std::unique_ptr<RegistryStore> registry)
    : root_(std::move(root)),
      folder_(std::move(folder)),
      settings_(std::move(settings)),
      registry_(std::move(registry)) {
    if (folder_)
        journal_.MirrorTo(*folder_ / "journal.txt");
}

void Machine::Record(std::string action, std::u16string path, std::u16string name, DWORD type,
                     std::vector<BYTE> data) {
    journal_.Record(
        JournalEntry{std::move(action), std::move(path), std::move(name), type, std::move(data)});
}

LONG Machine::Exclusive(const std::function<LONG()>& body) {
    return registry_->Transaction(body);
}

LONG Machine::Shared(const std::function<LONG()>& body) {
    return registry_->ReadTransaction(body);
}

std::optional<LONG> Machine::DueFault(Call call) {
    std::optional<LONG> error = faults_.Due(call);
    if (error)
        t_lastError = static_cast<DWORD>(*error);
    return error;
}

DWORD Machine::LastError() {
    return t_lastError;
}

void Machine::SetLastError(DWORD error) {
    t_lastError = error;
}

BOOL Machine::Fail(LONG error) {
    t_lastError = static_cast<DWORD>(error);
    return FALSE;
}

}  // namespace ze::sim
