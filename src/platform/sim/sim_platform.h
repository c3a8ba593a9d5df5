// A simulated Windows machine: registry, profile files, a C: drive backed by a
// directory, locale, clock, debugger stream, service control manager and device
// installer, with fault injection and a journal of every change made to it.
#pragma once

#include <atomic>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "platform/platform.h"
#include "platform/sim/journal.h"
#include "platform/sim/registry_store.h"

namespace ze::sim {

class ServiceManager;
class DeviceManager;

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
    // Standard output and error are a console (WriteConsoleW) rather than a file or
    // pipe (WriteFile).
    bool console = false;
};

// The end of the simulated process by ExitProcess. The simulated process shares this
// one, so its end unwinds the calling thread instead: the service dispatcher ends on
// it and throws it again on the process's main thread, where the Linux entry and the
// tests take its code as the exit code.
struct ProcessExit {
    UINT code;
};

class SimPlatform final : public Platform {
  public:
    // A machine whose C: drive is the folder root/"C" and whose registry lives in
    // memory only. Used by unit tests (root is a fresh temporary folder).
    explicit SimPlatform(std::filesystem::path root);
    ~SimPlatform() override;

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
    MachineSettings& Settings() { return settings_; }
    const std::filesystem::path& Root() const { return root_; }
    RegistryStore& Registry() { return *registry_; }
    Journal& JournalOf() { return journal_; }
    void SetClock(const SYSTEMTIME& time) { clock_ = time; }
    // Sleep waits for real unless `instant` is set; either way the waits are added up.
    void SetInstantSleep(bool instant) { instantSleep_ = instant; }
    std::uint64_t SleptMilliseconds() const { return slept_; }
    const std::u16string& DebugStream() const { return debugStream_; }
    // What the program wrote to its standard output or error (STD_OUTPUT_HANDLE,
    // STD_ERROR_HANDLE): the bytes of WriteFile, console text as UTF-8. With echo on,
    // it also goes to this process's own stdout and stderr (the Linux program).
    std::string StandardStream(DWORD which) const;
    void EchoStandardStreams(bool echo) { echoStandardStreams_ = echo; }
    // Maps a Windows path to the host path (C: into Root()/"C", other drives like Z:).
    std::filesystem::path HostPath(std::u16string_view windowsPath) const;
    // Marks a file read-only (as the FILE_ATTRIBUTE_READONLY attribute would).
    void SetReadOnly(std::u16string_view windowsPath, bool readOnly);

    // Fault injection: the occurrence-th call (1-based; 0 = every call) of the named
    // Win32 call fails with the given error, as Windows would report it.
    void InjectFault(Call call, int occurrence, LONG error);
    void ClearFaults();
    // A fault for the calling thread's next call of `call` only, whatever the counts: a
    // layer over the port arms it just before it forwards that call, so calls other
    // threads make meanwhile are not affected. Arming again replaces it.
    void InjectFaultOnThisThread(Call call, LONG error);

    // ---- Platform ----
    // ExitProcess throws ProcessExit (above).
    ZE_PLATFORM_CALLS(ZE_DECLARE_OVERRIDE)

  private:
    // Returns the injected error for this call of `call`, if one is due, and makes
    // it the thread's last error.
    std::optional<LONG> DueFault(Call call);
    // A new opaque handle value, distinct from every other handle of this machine.
    std::uintptr_t NextHandleValue();

    // Runs body holding the machine exclusively: this process's machine lock and the
    // registry's write lock, which every process of the machine takes, as one registry
    // transaction. What body changes in the registry commits together when it returns,
    // and the files kept beside the registry (the service manager's run-time state) are
    // read and written by one process at a time. Returns body's result, or the
    // registry's error when the transaction could not be made (body then has no effect
    // on the registry).
    LONG Exclusive(const std::function<LONG()>& body);
    struct KeyHandle {
        KeyId key;
        std::u16string path;  // as stored, for the journal
        REGSAM access;
    };
    // The key a handle stands for, when the handle is open with at least `needed`.
    LONG ResolveKey(HKEY handle, REGSAM needed, KeyHandle* key);
    // A call on an open key: the injected fault when one is due, otherwise `body` on the
    // key the handle stands for (opened with at least `needed`), under the machine lock.
    LONG KeyCall(Call call, HKEY handle, REGSAM needed,
                 const std::function<LONG(const KeyHandle&)>& body);
    LONG OpenOrCreate(HKEY parent, LPCWSTR subKey, REGSAM access, bool create, HKEY* result,
                      DWORD* disposition);
    bool WriteAccessRefused(REGSAM access) const;
    void Record(std::string action, std::u16string path, std::u16string name = {}, DWORD type = 0,
                std::vector<BYTE> data = {});

    std::filesystem::path root_;
    std::optional<std::filesystem::path> machineDir_;
    MachineSettings settings_;
    std::unique_ptr<RegistryStore> registry_;
    Journal journal_;
    std::optional<SYSTEMTIME> clock_;
    std::atomic<bool> instantSleep_{false};
    std::atomic<std::uint64_t> slept_{0};
    std::u16string debugStream_;
    // Standard output and error, in that order.
    std::string standardStreams_[2];
    bool echoStandardStreams_ = false;
    // The stream a standard handle stands for (0 output, 1 error), or -1.
    static int StandardStreamIndex(HANDLE handle);
    void AppendStandardStream(int index, std::string_view bytes);
    std::u16string commandLineBuffer_;

    struct Fault {
        int occurrence;
        LONG error;
    };
    std::map<Call, std::vector<Fault>> faults_;
    std::map<Call, int> callCounts_;

    std::uintptr_t nextHandle_ = 0x1000;
    std::map<HKEY, KeyHandle> keys_;
    struct OpenFile {
        std::filesystem::path hostPath;
        DWORD access;
        DWORD share;
        int fd;
    };
    std::map<HANDLE, OpenFile> files_;
    std::map<HANDLE, bool> finds_;
    std::set<std::filesystem::path> readOnly_;

    std::recursive_mutex mutex_;

    // ---- service control manager and device installer state ----
    // (owned by sim_services.cpp and sim_setupapi.cpp; created on first use)
  public:
    ServiceManager& Services();
    DeviceManager& Devices();

  private:
    friend class ServiceManager;
    friend class DeviceManager;
    struct ServiceManagerDeleter {
        void operator()(ServiceManager* manager) const;
    };
    struct DeviceManagerDeleter {
        void operator()(DeviceManager* manager) const;
    };
    std::unique_ptr<ServiceManager, ServiceManagerDeleter> services_;
    std::unique_ptr<DeviceManager, DeviceManagerDeleter> devices_;
    // ---- end of service control manager and device installer state ----
};

}  // namespace ze::sim
