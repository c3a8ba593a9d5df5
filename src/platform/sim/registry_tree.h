// The simulated registry (HKEY_LOCAL_MACHINE): keys with case-insensitive names
// (case preserved, subkeys kept in Windows' sorted order) holding typed raw values
// in the order they were created.
#pragma once

#include <map>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/wintypes.h"

namespace ze::sim {

struct CaseInsensitiveLess {
    bool operator()(const std::u16string& a, const std::u16string& b) const;
};
bool EqualsIgnoreCase(std::u16string_view a, std::u16string_view b);

struct RegValue {
    std::u16string name;
    DWORD type = REG_NONE;
    std::vector<BYTE> data;
};

struct RegKey {
    std::u16string name;
    std::map<std::u16string, std::unique_ptr<RegKey>, CaseInsensitiveLess> subkeys;
    std::vector<RegValue> values;

    RegValue* FindValue(std::u16string_view valueName);
    const RegValue* FindValue(std::u16string_view valueName) const;
    // Replaces the data of an existing value (keeping its place) or appends one.
    void SetValue(std::u16string_view valueName, DWORD type, std::vector<BYTE> data);
};

class RegistryTree {
  public:
    RegistryTree();

    RegKey& Root() { return *root_; }
    // Key paths are relative to HKLM, '\'-separated, matched ignoring case.
    RegKey* Find(std::u16string_view path);
    const RegKey* Find(std::u16string_view path) const;
    RegKey& Create(std::u16string_view path, bool* created = nullptr);
    // The path of an existing key spelt as stored; empty when the key is missing.
    std::u16string StoredPath(std::u16string_view path) const;
    // Deletes a key (and, when recursive, its subkeys). False when it is missing
    // or, non-recursive, has subkeys.
    bool Delete(std::u16string_view path, bool recursive = false);

    // Conveniences for tests and fixtures. SetString stores the text with its
    // terminator, as regedit does.
    void SetValue(std::u16string_view path, std::u16string_view name, DWORD type,
                  std::vector<BYTE> data);
    void SetString(std::u16string_view path, std::u16string_view name, std::u16string_view text);
    void SetDword(std::u16string_view path, std::u16string_view name, DWORD value);
    std::optional<RegValue> GetValue(std::u16string_view path, std::u16string_view name) const;

    // regedit's export format for HKEY_LOCAL_MACHINE ("Windows Registry Editor
    // Version 5.00"), as text; keys under other roots are refused on import.
    std::u16string ExportReg() const;
    bool ImportReg(std::u16string_view text, std::string* error);

  private:
    std::unique_ptr<RegKey> root_;
};

// Splits a key path at '\', skipping empty parts.
std::vector<std::u16string> SplitKeyPath(std::u16string_view path);

}  // namespace ze::sim
