// The core of a simulated machine, which every room of it shares: the machine's
// settings, its registry (the one store of state shared between the machine's
// processes), the journal of changes, fault injection, the calling thread's last error,
// handle numbering and the standard streams.
//
// Locking: each room guards its own tables with a plain mutex of its own and may call
// the core, the registry, or a room it is built on (the profile functions call the
// file system) while holding it; the core's parts lock only themselves, and a body run
// by Exclusive() takes no room's mutex. So locks are always taken in the order room,
// then registry, then journal or faults, and never the other way round.
#pragma once

#include <atomic>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "platform/platform.h"
#include "platform/sim/faults.h"
#include "platform/sim/journal.h"
#include "platform/sim/registry_store.h"
#include "platform/sim/standard_streams.h"

namespace ze::sim {

// Machine-wide settings that are not registry or files.
struct MachineSettings {
    LCID systemLocale = 0x0409;
    LCID userLocale = 0x0409;
    bool administrator = true;
    std::u16string windowsDirectory = u"C:\\windows";
    std::u16string modulePath = u"C:\\Program Files\\Zelvaro\\ZeRegionSvc.exe";
    std::u16string commandLine;
    // Device instance ids (under SYSTEM\CurrentControlSet\Enum) that are plugged in.
    std::set<std::u16string> presentDevices;
    // Devices whose state change leaves the computer to be restarted, with the install
    // parameters' flags it sets (DI_NEEDREBOOT for a device that vetoes its stop).
    std::map<std::u16string, DWORD> restartFlags;
    // Standard output and error are a console (WriteConsoleW) rather than a file or
    // pipe (WriteFile).
    bool console = false;
    // Security descriptors (SDDL) of files and folders by Windows path; any other has
    // a safe default (security_calls.h).
    std::vector<std::pair<std::u16string, std::u16string>> fileSecurity;
};

// The end of the simulated process by ExitProcess. The simulated process shares this
// one, so its end unwinds the calling thread instead: the service dispatcher ends on
// it and throws it again on the process's main thread, where the Linux entry and the
// tests take its code as the exit code.
struct ProcessExit {
    UINT code;
};

class Machine {
  public:
    // root holds the C: drive (root/"C"); folder is set for a machine persisted there.
    Machine(std::filesystem::path root, std::optional<std::filesystem::path> folder,
            MachineSettings settings, std::unique_ptr<RegistryStore> registry);

    MachineSettings& Settings() { return settings_; }
    const MachineSettings& Settings() const { return settings_; }
    const std::filesystem::path& Root() const { return root_; }
    const std::optional<std::filesystem::path>& Folder() const { return folder_; }
    RegistryStore& Registry() { return *registry_; }
    Journal& JournalOf() { return journal_; }
    Faults& FaultsOf() { return faults_; }
    StandardStreams& Streams() { return streams_; }
    const StandardStreams& Streams() const { return streams_; }

    void Record(std::string action, std::u16string path, std::u16string name = {}, DWORD type = 0,
                std::vector<BYTE> data = {});
    // Runs body holding the machine exclusively, as one registry transaction: the
    // registry's write lock is taken by every process of the machine, so what body
    // reads and changes in registry.db (the registry and the service manager's run-time
    // state) no other thread or process touches meanwhile, and its changes commit
    // together when it returns. Returns body's result, or the registry's error when the
    // transaction could not be made (body then has no effect on the registry).
    LONG Exclusive(const std::function<LONG()>& body);
    // Runs body, which only reads, on one snapshot of the registry under a shared lock,
    // so that other processes of the machine are not held up.
    LONG Shared(const std::function<LONG()>& body);

    // The injected error for this call of `call`, if one is due, made the thread's last
    // error.
    std::optional<LONG> DueFault(Call call);
    // The calling thread's last error (GetLastError), shared by every machine.
    static DWORD LastError();
    static void SetLastError(DWORD error);
    // Sets the last error and returns FALSE, for the calls that answer BOOL.
    static BOOL Fail(LONG error);
    // A new opaque handle value, distinct from every other handle of this machine.
    std::uintptr_t NextHandleValue() { return nextHandle_ += 4; }

  private:
    std::filesystem::path root_;
    std::optional<std::filesystem::path> folder_;
    MachineSettings settings_;
    std::unique_ptr<RegistryStore> registry_;
    Journal journal_;
    Faults faults_;
    StandardStreams streams_;
    std::atomic<std::uintptr_t> nextHandle_{0x1000};
};

}  // namespace ze::sim
