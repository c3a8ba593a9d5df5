// Files of the simulated machine: Windows paths mapped into the machine's C: folder
// (other drives the way Wine maps Z:), with Windows' sharing and read-only rules.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>

#include "common/text.h"
#include "platform/names.h"
#include "platform/sim/file_system.h"

namespace ze::sim {
namespace {

// The access rights that let a handle write, and read, a file's data.
constexpr DWORD kWriteRights = GENERIC_WRITE | FILE_WRITE_DATA | FILE_APPEND_DATA;
constexpr DWORD kReadRights = GENERIC_READ | 0x0001;

// Windows file names ignore case: an existing entry whose name matches ignoring
// case is used, otherwise the name as given.
std::filesystem::path Component(const std::filesystem::path& directory, std::u16string_view name) {
    std::error_code ec;
    if (std::filesystem::is_directory(directory, ec)) {
        for (const auto& entry : std::filesystem::directory_iterator(directory, ec)) {
            std::u16string existing = Utf8ToUtf16(entry.path().filename().string());
            if (EqualsIgnoreCase(existing, name))
                return entry.path();
        }
    }
    return directory / Utf16ToUtf8(name);
}

bool WildcardMatch(std::u16string_view pattern, std::u16string_view name) {
    if (pattern.empty())
        return name.empty();
    if (pattern[0] == u'*') {
        for (std::size_t skip = 0; skip <= name.size(); ++skip) {
            if (WildcardMatch(pattern.substr(1), name.substr(skip)))
                return true;
        }
        return false;
    }
    if (name.empty())
        return false;
    if (pattern[0] != u'?' && !EqualsIgnoreCase(pattern.substr(0, 1), name.substr(0, 1))) {
        return false;
    }
    return WildcardMatch(pattern.substr(1), name.substr(1));
}

void SetLast(LONG error) {
    Machine::SetLastError(static_cast<DWORD>(error));
}

}  // namespace

std::filesystem::path HostPathIn(const std::filesystem::path& root,
                                 std::u16string_view windowsPath) {
    std::u16string path(windowsPath);
    std::replace(path.begin(), path.end(), u'/', u'\\');
    std::filesystem::path host;
    std::u16string_view rest = path;
    if (rest.size() >= 2 && rest[1] == u':') {
        char16_t drive = rest[0];
        host = (drive == u'C' || drive == u'c') ? root / "C" : std::filesystem::path("/");
        rest.remove_prefix(2);
    } else {
        host = root / "C";
    }
    for (const auto& part : SplitKeyPath(rest)) {
        if (part == u".")
            continue;
        if (part == u"..") {
            if (host.has_parent_path() && host != root / "C")
                host = host.parent_path();
            continue;
        }
        host = Component(host, part);
    }
    return host;
}

FileSystem::~FileSystem() {
    for (auto& [handle, file] : files_)
        ::close(file.fd);
}

std::filesystem::path FileSystem::HostPath(std::u16string_view windowsPath) const {
    return HostPathIn(machine_.Root(), windowsPath);
}

bool FileSystem::IsReadOnly(const std::filesystem::path& host) {
    std::lock_guard<std::mutex> lock(mutex_);
    return readOnly_.count(host) != 0;
}

bool FileSystem::SharingConflict(const std::filesystem::path& host, bool write) {
    std::lock_guard<std::mutex> lock(mutex_);
    for (const auto& [handle, open] : files_) {
        if (open.hostPath == host &&
            (!(open.share & FILE_SHARE_READ) || (write && !(open.share & FILE_SHARE_WRITE)))) {
            return true;
        }
    }
    return false;
}

void FileSystem::SetReadOnly(std::u16string_view windowsPath, bool readOnly) {
    std::lock_guard<std::mutex> lock(mutex_);
    auto host = HostPath(windowsPath);
    if (readOnly) {
        readOnly_.insert(host);
    } else {
        readOnly_.erase(host);
    }
}

HANDLE FileSystem::CreateFileW(LPCWSTR lpFileName, DWORD dwDesiredAccess, DWORD dwShareMode,
                               DWORD dwCreationDisposition) {
    if (auto fault = machine_.DueFault(Call::CreateFileW))
        return INVALID_HANDLE_VALUE;
    std::lock_guard<std::mutex> lock(mutex_);
    if (lpFileName == nullptr || *lpFileName == u'\0') {
        SetLast(ERROR_PATH_NOT_FOUND);
        return INVALID_HANDLE_VALUE;
    }
    auto host = HostPath(lpFileName);
    bool wantsWrite = (dwDesiredAccess & kWriteRights) != 0;
    bool wantsRead = (dwDesiredAccess & kReadRights) != 0;
    // Every handle already open on the file must share what this one asks for, and
    // this one must share what they hold.
    for (const auto& [handle, open] : files_) {
        if (open.hostPath != host)
            continue;
        bool openWrites = (open.access & kWriteRights) != 0;
        bool openReads = (open.access & kReadRights) != 0;
        if ((wantsWrite && !(open.share & FILE_SHARE_WRITE)) ||
            (wantsRead && !(open.share & FILE_SHARE_READ)) ||
            (openWrites && !(dwShareMode & FILE_SHARE_WRITE)) ||
            (openReads && !(dwShareMode & FILE_SHARE_READ))) {
            SetLast(ERROR_SHARING_VIOLATION);
            return INVALID_HANDLE_VALUE;
        }
    }
    std::error_code ec;
    if (!std::filesystem::is_directory(host.parent_path(), ec)) {
        SetLast(ERROR_PATH_NOT_FOUND);
        return INVALID_HANDLE_VALUE;
    }
    bool exists = std::filesystem::exists(host, ec);
    if ((exists && dwCreationDisposition == CREATE_NEW)) {
        SetLast(ERROR_ALREADY_EXISTS);
        return INVALID_HANDLE_VALUE;
    }
    if (!exists && (dwCreationDisposition == OPEN_EXISTING || dwCreationDisposition == 5)) {
        SetLast(ERROR_FILE_NOT_FOUND);
        return INVALID_HANDLE_VALUE;
    }
    if (std::filesystem::is_directory(host, ec) || (wantsWrite && readOnly_.count(host) != 0)) {
        SetLast(ERROR_ACCESS_DENIED);
        return INVALID_HANDLE_VALUE;
    }
    int flags = O_CLOEXEC | O_CREAT;
    flags |= wantsWrite ? (wantsRead ? O_RDWR : O_WRONLY) : O_RDONLY;
    // Append-only access makes every write land at the end of the file.
    if ((dwDesiredAccess & FILE_APPEND_DATA) &&
        !(dwDesiredAccess & (GENERIC_WRITE | FILE_WRITE_DATA))) {
        flags |= O_APPEND;
    }
    if (dwCreationDisposition == CREATE_ALWAYS || dwCreationDisposition == 5)
        flags |= O_TRUNC;
    int fd = ::open(host.c_str(), flags, 0644);
    if (fd < 0) {
        SetLast(ERROR_ACCESS_DENIED);
        return INVALID_HANDLE_VALUE;
    }
    HANDLE handle = reinterpret_cast<HANDLE>(machine_.NextHandleValue());
    files_[handle] = OpenFile{host, dwDesiredAccess, dwShareMode, fd};
    bool reportsExisting =
        exists && (dwCreationDisposition == OPEN_ALWAYS || dwCreationDisposition == CREATE_ALWAYS);
    SetLast(reportsExisting ? ERROR_ALREADY_EXISTS : ERROR_SUCCESS);
    return handle;
}

// The open file behind a handle that was opened with one of `access`'s rights; the
// caller holds the mutex. Otherwise the error is set and nullptr returned.
FileSystem::OpenFile* FileSystem::OpenWith(HANDLE handle, DWORD access) {
    auto it = files_.find(handle);
    if (it == files_.end()) {
        SetLast(ERROR_INVALID_HANDLE);
        return nullptr;
    }
    if ((it->second.access & access) == 0) {
        SetLast(ERROR_ACCESS_DENIED);
        return nullptr;
    }
    return &it->second;
}

BOOL FileSystem::WriteFile(HANDLE hFile, const void* lpBuffer, DWORD nNumberOfBytesToWrite,
                           DWORD* lpNumberOfBytesWritten) {
    if (lpNumberOfBytesWritten != nullptr)
        *lpNumberOfBytesWritten = 0;
    if (auto fault = machine_.DueFault(Call::WriteFile))
        return FALSE;
    if (int stream = StandardStreams::IndexOf(hFile); stream >= 0) {
        machine_.Streams().Append(
            stream, std::string_view(static_cast<const char*>(lpBuffer), nNumberOfBytesToWrite));
        if (lpNumberOfBytesWritten != nullptr)
            *lpNumberOfBytesWritten = nNumberOfBytesToWrite;
        return TRUE;
    }
    std::lock_guard<std::mutex> lock(mutex_);
    OpenFile* file = OpenWith(hFile, kWriteRights);
    if (file == nullptr)
        return FALSE;
    ssize_t written = ::write(file->fd, lpBuffer, nNumberOfBytesToWrite);
    if (written < 0) {
        SetLast(ERROR_ACCESS_DENIED);
        return FALSE;
    }
    if (lpNumberOfBytesWritten != nullptr)
        *lpNumberOfBytesWritten = static_cast<DWORD>(written);
    return TRUE;
}

// As on Windows, only a handle opened for writing can be flushed.
BOOL FileSystem::FlushFileBuffers(HANDLE hFile) {
    if (auto fault = machine_.DueFault(Call::FlushFileBuffers))
        return FALSE;
    std::lock_guard<std::mutex> lock(mutex_);
    OpenFile* file = OpenWith(hFile, kWriteRights);
    if (file == nullptr)
        return FALSE;
    if (::fsync(file->fd) != 0) {
        SetLast(ERROR_WRITE_FAULT);
        return FALSE;
    }
    return TRUE;
}

BOOL FileSystem::ReadFile(HANDLE hFile, void* lpBuffer, DWORD nNumberOfBytesToRead,
                          DWORD* lpNumberOfBytesRead) {
    if (lpNumberOfBytesRead != nullptr)
        *lpNumberOfBytesRead = 0;
    if (auto fault = machine_.DueFault(Call::ReadFile))
        return FALSE;
    std::lock_guard<std::mutex> lock(mutex_);
    OpenFile* file = OpenWith(hFile, kReadRights);
    if (file == nullptr)
        return FALSE;
    ssize_t read = ::read(file->fd, lpBuffer, nNumberOfBytesToRead);
    if (read < 0) {
        SetLast(ERROR_ACCESS_DENIED);
        return FALSE;
    }
    if (lpNumberOfBytesRead != nullptr)
        *lpNumberOfBytesRead = static_cast<DWORD>(read);
    return TRUE;
}

// A failed close still releases the handle (an injected failure included): on
// Windows a close fails only for a handle that is not open.
BOOL FileSystem::CloseHandle(HANDLE hObject) {
    std::optional<LONG> fault = machine_.DueFault(Call::CloseHandle);
    std::lock_guard<std::mutex> lock(mutex_);
    auto it = files_.find(hObject);
    if (it == files_.end()) {
        SetLast(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    ::close(it->second.fd);
    files_.erase(it);
    return fault ? FALSE : TRUE;
}

HANDLE FileSystem::FindFirstFileW(LPCWSTR lpFileName, WIN32_FIND_DATAW* lpFindFileData) {
    if (auto fault = machine_.DueFault(Call::FindFirstFileW))
        return INVALID_HANDLE_VALUE;
    std::lock_guard<std::mutex> lock(mutex_);
    std::u16string path = lpFileName == nullptr ? u"" : lpFileName;
    std::size_t slash = path.find_last_of(u"\\/");
    std::u16string pattern = slash == std::u16string::npos ? path : path.substr(slash + 1);
    auto directory = HostPath(slash == std::u16string::npos ? u"" : path.substr(0, slash));
    std::error_code ec;
    if (pattern.empty() || !std::filesystem::is_directory(directory, ec)) {
        SetLast(pattern.empty() ? ERROR_FILE_NOT_FOUND : ERROR_PATH_NOT_FOUND);
        return INVALID_HANDLE_VALUE;
    }
    for (const auto& entry : std::filesystem::directory_iterator(directory, ec)) {
        std::u16string name = Utf8ToUtf16(entry.path().filename().string());
        if (!WildcardMatch(pattern, name) || name.size() >= MAX_PATH)
            continue;
        *lpFindFileData = WIN32_FIND_DATAW{};
        lpFindFileData->dwFileAttributes = entry.is_directory(ec) ? FILE_ATTRIBUTE_DIRECTORY
                                           : readOnly_.count(entry.path()) ? FILE_ATTRIBUTE_READONLY
                                                                           : FILE_ATTRIBUTE_NORMAL;
        if (!entry.is_directory(ec)) {
            auto size = entry.file_size(ec);
            lpFindFileData->nFileSizeLow = static_cast<DWORD>(size);
            lpFindFileData->nFileSizeHigh = static_cast<DWORD>(size >> 32);
        }
        std::copy(name.begin(), name.end(), lpFindFileData->cFileName);
        HANDLE handle = reinterpret_cast<HANDLE>(machine_.NextHandleValue());
        finds_[handle] = true;
        return handle;
    }
    SetLast(ERROR_FILE_NOT_FOUND);
    return INVALID_HANDLE_VALUE;
}

BOOL FileSystem::FindClose(HANDLE hFindFile) {
    std::optional<LONG> fault = machine_.DueFault(Call::FindClose);
    std::lock_guard<std::mutex> lock(mutex_);
    if (finds_.erase(hFindFile) == 0) {
        SetLast(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    return fault ? FALSE : TRUE;
}

}  // namespace ze::sim
