#include <memory>
#include <optional>

#include "common/text.h"
#include "platform/sim/machine_file.h"
#include "platform/sim/profile.h"
#include "platform/sim/profile_calls.h"
#include "platform/sim/value_data.h"

namespace ze::sim {
namespace {

// The Windows path a profile call means: a bare file name lives in the Windows
// directory, and no name at all means win.ini there.
std::u16string ProfilePath(const std::u16string& windowsDirectory, LPCWSTR fileName) {
    std::u16string name = fileName != nullptr && *fileName != u'\0' ? fileName : u"win.ini";
    bool bare = name.find_first_of(u"\\/") == std::u16string::npos &&
                !(name.size() >= 2 && name[1] == u':');
    return bare ? windowsDirectory + u"\\" + name : name;
}

struct Opened {
    std::shared_ptr<const profile::Document> document;  // null when it cannot be opened
    LONG error = ERROR_SUCCESS;  // ERROR_FILE_NOT_FOUND comes with an empty document
};

Opened OpenProfile(profile::DocumentCache& cache, const std::filesystem::path& host,
                   bool sharingConflict) {
    if (sharingConflict)
        return {nullptr, ERROR_SHARING_VIOLATION};
    Opened opened;
    opened.document = cache.Load(host, &opened.error);
    if (opened.error == ERROR_FILE_NOT_FOUND)
        opened.document = std::make_shared<const profile::Document>();
    return opened;
}

// Opens a file for reading, or stands for the file an injected fault keeps out.
Opened OpenForReading(profile::DocumentCache& cache, FileSystem& files,
                      const std::filesystem::path& host, std::optional<LONG> fault) {
    if (fault)
        return Opened{nullptr, *fault};
    return OpenProfile(cache, host, files.SharingConflict(host, false));
}

DWORD ReadSectionNames(const Opened& file, LPWSTR buffer, DWORD size) {
    if (!file.document)
        return 0;
    return profile::CopyNameList(file.document->SectionNames(), buffer, size);
}

// GetPrivateProfileStringW on an opened (or unopenable) file; size is at least 1.
DWORD ReadString(const Opened& file, LPCWSTR section, LPCWSTR key, LPCWSTR defaultText,
                 LPWSTR buffer, DWORD size) {
    std::u16string_view fallback = defaultText != nullptr ? defaultText : u"";
    if (section == nullptr)
        return ReadSectionNames(file, buffer, size);
    if (key == nullptr) {
        // The key list; an empty answer (also one that starts with a nameless key)
        // gives way to the default.
        std::optional<std::vector<std::u16string_view>> keys;
        if (file.document)
            keys = file.document->KeyNames(section);
        buffer[0] = u'\0';
        DWORD length = keys ? profile::CopyNameList(*keys, buffer, size) : 0;
        return buffer[0] != u'\0' ? length : profile::CopyValue(fallback, buffer, size);
    }
    fallback = profile::TrimDefault(fallback);
    // A file that cannot be opened answers the default as it stands, quotes and all
    // (observed under Wine); a missing file is just empty.
    if (!file.document)
        return profile::CopyText(fallback, buffer, size);
    std::optional<std::u16string_view> value = file.document->Value(section, key);
    return profile::CopyValue(value ? *value : fallback, buffer, size);
}

}  // namespace

std::filesystem::path ProfileCalls::HostPathOf(LPCWSTR fileName) const {
    return files_.HostPath(ProfilePath(machine_.Settings().windowsDirectory, fileName));
}

DWORD ProfileCalls::GetPrivateProfileStringW(LPCWSTR lpAppName, LPCWSTR lpKeyName,
                                             LPCWSTR lpDefault, LPWSTR lpReturnedString,
                                             DWORD nSize, LPCWSTR lpFileName) {
    std::optional<LONG> fault = machine_.DueFault(Call::GetPrivateProfileStringW);
    if (lpReturnedString == nullptr || nSize == 0)
        return 0;
    std::lock_guard<std::mutex> lock(mutex_);
    Opened file = OpenForReading(cache_, files_, HostPathOf(lpFileName), fault);
    Machine::SetLastError(static_cast<DWORD>(file.error));
    return ReadString(file, lpAppName, lpKeyName, lpDefault, lpReturnedString, nSize);
}

UINT ProfileCalls::GetPrivateProfileIntW(LPCWSTR lpAppName, LPCWSTR lpKeyName, INT nDefault,
                                         LPCWSTR lpFileName) {
    std::optional<LONG> fault = machine_.DueFault(Call::GetPrivateProfileIntW);
    std::lock_guard<std::mutex> lock(mutex_);
    Opened file = OpenForReading(cache_, files_, HostPathOf(lpFileName), fault);
    Machine::SetLastError(static_cast<DWORD>(file.error));
    // Windows reads the value's text into 30 characters before converting it, so
    // longer values are cut first; an empty value gives the default.
    char16_t text[30];
    if (ReadString(file, lpAppName, lpKeyName, u"", text, 30) == 0 || text[0] == u'\0')
        return static_cast<UINT>(nDefault);
    return profile::ProfileInt(text);
}

DWORD ProfileCalls::GetPrivateProfileSectionNamesW(LPWSTR lpszReturnBuffer, DWORD nSize,
                                                   LPCWSTR lpFileName) {
    std::optional<LONG> fault = machine_.DueFault(Call::GetPrivateProfileSectionNamesW);
    std::lock_guard<std::mutex> lock(mutex_);
    // The file is opened (and the last error set) before the buffer is looked at.
    Opened file = OpenForReading(cache_, files_, HostPathOf(lpFileName), fault);
    Machine::SetLastError(static_cast<DWORD>(file.error));
    if (lpszReturnBuffer == nullptr || nSize == 0)
        return 0;
    return ReadSectionNames(file, lpszReturnBuffer, nSize);
}

BOOL ProfileCalls::WritePrivateProfileStringW(LPCWSTR lpAppName, LPCWSTR lpKeyName,
                                              LPCWSTR lpString, LPCWSTR lpFileName) {
    if (machine_.DueFault(Call::WritePrivateProfileStringW))
        return FALSE;
    if (lpAppName == nullptr && lpKeyName != nullptr) {
        Machine::SetLastError(static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
        return FALSE;
    }
    std::lock_guard<std::mutex> lock(mutex_);
    std::u16string path = ProfilePath(machine_.Settings().windowsDirectory, lpFileName);
    auto host = files_.HostPath(path);
    if (files_.IsReadOnly(host)) {
        Machine::SetLastError(static_cast<DWORD>(ERROR_ACCESS_DENIED));
        return FALSE;
    }
    Opened file = OpenProfile(cache_, host, files_.SharingConflict(host, true));
    // Without a section the call asks Windows to flush its cache of the file (all
    // three NULL) or is refused; either way it answers FALSE, with the error of
    // opening the file.
    if (lpAppName == nullptr || !file.document) {
        Machine::SetLastError(static_cast<DWORD>(file.error));
        return FALSE;
    }
    auto edited = std::make_shared<profile::Document>(*file.document);
    std::u16string section = lpAppName;
    JournalEntry entry;
    bool changed = false;
    if (lpKeyName == nullptr) {
        changed = edited->DeleteSection(section);
        entry = {"DeleteProfileSection", path, section, 0, {}};
    } else if (lpString == nullptr) {
        changed = edited->DeleteKey(section, lpKeyName);
        entry = {"DeleteProfileKey", path, section + u"\\" + lpKeyName, 0, {}};
    } else {
        changed = edited->Set(section, lpKeyName, lpString);
        entry = {"WriteProfileString", path, section + u"\\" + lpKeyName, 0,
                 Utf16LeBytes(lpString)};
    }
    if (changed) {
        std::string bytes = edited->Serialise();
        if (!WriteBytesAtomically(host, bytes)) {
            Machine::SetLastError(static_cast<DWORD>(ERROR_ACCESS_DENIED));
            return FALSE;
        }
        cache_.Store(host, std::move(bytes));
    }
    machine_.Record(entry.action, entry.path, entry.name, entry.type, entry.data);
    return TRUE;
}

}  // namespace ze::sim
