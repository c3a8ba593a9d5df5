// A simulated Windows machine: registry, profile files, a C: drive backed by a
// directory, locale, clock, debugger stream, service control manager and device
// installer, with fault injection and a journal of every change made to it.
//
// The machine is built as rooms, each with one concern, around a shared core
// (machine.h: settings, registry store, journal, faults, handle numbering, standard
// streams). SimPlatform is the port's implementation that hands each call to its room.
#pragma once

#include <filesystem>
#include <memory>
#include <string>

#include "platform/platform.h"
#include "platform/sim/device_manager.h"
#include "platform/sim/event_log.h"
#include "platform/sim/file_system.h"
#include "platform/sim/machine.h"
#include "platform/sim/profile_calls.h"
#include "platform/sim/registry_calls.h"
#include "platform/sim/security_calls.h"
#include "platform/sim/service_dispatcher.h"
#include "platform/sim/service_manager.h"
#include "platform/sim/service_state.h"
#include "platform/sim/system_calls.h"

namespace ze::sim {

class SimPlatform final : public Platform {
  public:
    // A machine whose C: drive is the folder root/"C" and whose registry lives in
    // memory only. Used by unit tests (root is a fresh temporary folder).
    explicit SimPlatform(std::filesystem::path root);

    // A machine persisted in a folder: machine.ini, registry.db (imported from
    // registry.reg on first open), C\ and journal.txt. Returns nullptr and sets *error
    // when the folder is missing, a file is corrupt, registry.reg changed after its
    // import, or the registry cannot be written.
    static std::unique_ptr<SimPlatform> OpenMachine(const std::filesystem::path& dir,
                                                    std::string* error);
    // Writes a new machine folder with the given settings (machine.ini and C\); its
    // registry is made on first open, empty or from a registry.reg put there first.
    static bool CreateMachine(const std::filesystem::path& dir, const MachineSettings& settings,
                              std::string* error);

    // ---- state for tests and tools ----
    MachineSettings& Settings() { return machine_.Settings(); }
    const std::filesystem::path& Root() const { return machine_.Root(); }
    RegistryStore& Registry() { return machine_.Registry(); }
    Journal& JournalOf() { return machine_.JournalOf(); }
    void SetClock(const SYSTEMTIME& time) { system_.SetClock(time); }
    // Sleep waits for real unless `instant` is set; either way the waits are added up.
    void SetInstantSleep(bool instant) { system_.SetInstantSleep(instant); }
    std::uint64_t SleptMilliseconds() const { return system_.SleptMilliseconds(); }
    const std::u16string& DebugStream() const { return system_.DebugStream(); }
    // What the program wrote to its standard output or error (STD_OUTPUT_HANDLE,
    // STD_ERROR_HANDLE): the bytes of WriteFile, console text as UTF-8. With echo on,
    // it also goes to this process's own stdout and stderr (the Linux program).
    std::string StandardStream(DWORD which) const { return machine_.Streams().Captured(which); }
    void EchoStandardStreams(bool echo) { machine_.Streams().Echo(echo); }
    // Maps a Windows path to the host path (C: into Root()/"C", other drives like Z:).
    std::filesystem::path HostPath(std::u16string_view windowsPath) const {
        return files_.HostPath(windowsPath);
    }
    // Marks a file read-only (as the FILE_ATTRIBUTE_READONLY attribute would).
    void SetReadOnly(std::u16string_view windowsPath, bool readOnly) {
        files_.SetReadOnly(windowsPath, readOnly);
    }

    // Fault injection: the occurrence-th call (1-based; 0 = every call) of the named
    // Win32 call fails with the given error, as Windows would report it.
    void InjectFault(Call call, int occurrence, LONG error) {
        machine_.FaultsOf().Inject(call, occurrence, error);
    }
    void ClearFaults() { machine_.FaultsOf().Clear(); }
    // A fault for the calling thread's next call of `call` only, whatever the counts: a
    // layer over the port arms it just before it forwards that call, so calls other
    // threads make meanwhile are not affected. Arming again replaces it.
    void InjectFaultOnThisThread(Call call, LONG error) {
        machine_.FaultsOf().ArmOnThisThread(call, error);
    }

    ServiceManager& Services() { return services_; }
    ServiceDispatcher& Dispatcher() { return dispatcher_; }
    DeviceManager& Devices() { return devices_; }
    // The events reported to the machine's event log, in order.
    std::vector<EventRecord> Events() const { return eventLog_.Events(); }
    // Security descriptors and texts handed out and not yet given to LocalFree.
    std::size_t LiveLocalAllocations() { return security_.LiveAllocations(); }

    // ---- Platform ----
    // ExitProcess throws ProcessExit (machine.h).
    ZE_PLATFORM_CALLS(ZE_DECLARE_OVERRIDE)

  private:
    SimPlatform(std::filesystem::path root, std::optional<std::filesystem::path> folder,
                MachineSettings settings, std::unique_ptr<RegistryStore> registry);

    // The core first: every room refers to it.
    Machine machine_;
    SystemCalls system_;
    RegistryCalls registry_;
    FileSystem files_;
    ProfileCalls profiles_;
    SecurityCalls security_;
    ServiceStates serviceStates_;
    ServiceManager services_;
    ServiceDispatcher dispatcher_;
    DeviceManager devices_;
    EventLog eventLog_;
};

}  // namespace ze::sim
