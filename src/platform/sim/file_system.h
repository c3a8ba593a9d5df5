// Files of the simulated machine: Windows paths mapped into the machine's C: folder
// (other drives the way Wine maps Z:), the open file and find handles, with Windows'
// sharing and read-only rules.
#pragma once

#include <filesystem>
#include <map>
#include <mutex>
#include <set>
#include <string_view>

#include "platform/sim/machine.h"

namespace ze::sim {

// Maps a Windows path to the host path of the machine whose C: drive is root/"C".
std::filesystem::path HostPathIn(const std::filesystem::path& root,
                                 std::u16string_view windowsPath);

class FileSystem {
  public:
    explicit FileSystem(Machine& machine) : machine_(machine) {}
    ~FileSystem();
    FileSystem(const FileSystem&) = delete;
    FileSystem& operator=(const FileSystem&) = delete;

    HANDLE FindFirstFileW(LPCWSTR lpFileName, WIN32_FIND_DATAW* lpFindFileData);
    BOOL FindClose(HANDLE hFindFile);
    HANDLE CreateFileW(LPCWSTR lpFileName, DWORD dwDesiredAccess, DWORD dwShareMode,
                       DWORD dwCreationDisposition);
    BOOL WriteFile(HANDLE hFile, const void* lpBuffer, DWORD nNumberOfBytesToWrite,
                   DWORD* lpNumberOfBytesWritten);
    BOOL FlushFileBuffers(HANDLE hFile);
    BOOL ReadFile(HANDLE hFile, void* lpBuffer, DWORD nNumberOfBytesToRead,
                  DWORD* lpNumberOfBytesRead);
    BOOL CloseHandle(HANDLE hObject);

    std::filesystem::path HostPath(std::u16string_view windowsPath) const;
    // Marks a file read-only (as the FILE_ATTRIBUTE_READONLY attribute would).
    void SetReadOnly(std::u16string_view windowsPath, bool readOnly);
    bool IsReadOnly(const std::filesystem::path& host);
    // Whether a handle open on the file keeps out a caller that shares everything (as
    // the profile functions do): one that does not share reading or, for a write,
    // writing.
    bool SharingConflict(const std::filesystem::path& host, bool write);

  private:
    struct OpenFile {
        std::filesystem::path hostPath;
        DWORD access;
        DWORD share;
        int fd;
    };
    OpenFile* OpenWith(HANDLE handle, DWORD access);

    Machine& machine_;
    std::mutex mutex_;  // guards the tables below
    std::map<HANDLE, OpenFile> files_;
    std::map<HANDLE, bool> finds_;
    std::set<std::filesystem::path> readOnly_;
};

}  // namespace ze::sim
