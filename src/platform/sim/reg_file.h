// regedit's .reg files for HKEY_LOCAL_MACHINE: reading what regedit imports, with
// its tolerance and its warnings, and writing what regedit exports.
//
// Read: both headers ("Windows Registry Editor Version 5.00" and "REGEDIT4"), in
// UTF-16LE (with or without byte-order mark), UTF-8 (with or without) or, for
// REGEDIT4, ANSI (Windows-1252), whose hex(1), hex(2) and hex(7) data is ANSI text
// and is stored as UTF-16. Blanks before names and around '=', "dword:" with 1 to 8
// hex digits, "hex(N):" for every N up to ffffffff, continuation lines, '@' for the
// default value, [-key] and "name"=- deletions, ';' and '#' comment lines, a
// trailing Ctrl-Z. As regedit does, a line that cannot be understood is skipped with
// a warning naming the file and line, a dword with more than 8 digits is such a line,
// and a multi-line value whose continuation is not hex data is dropped together with
// that line; blank and comment lines inside a continued value are passed over, and a
// key line ends it (the value dropped, the key line read as one). Keys under other
// roots are skipped with one warning per root. A file that is empty, has no header or
// is not text is refused before anything reaches the sink.
//
// Written: "Windows Registry Editor Version 5.00", UTF-16LE with BOM, CR LF, the
// key's path in brackets (the root as [HKEY_LOCAL_MACHINE], with its values), each
// key's values in order, subkeys in enumeration order. Strings that a quoted text
// cannot carry whole (no terminator, an inner NUL, a line break) are written as
// hex(1) so that reading the file back gives every byte again.
#pragma once

#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "platform/sim/registry_store.h"

namespace ze::sim {

// Receives what a .reg file says, in file order. A false return stops the reading.
class RegSink {
  public:
    virtual ~RegSink() = default;
    // A [key] line: the key below HKEY_LOCAL_MACHINE ("" for the root itself), to be
    // created when missing; the values that follow go to it.
    virtual bool OpenKey(std::u16string_view path) = 0;
    // A [-key] line: the key with its subkeys and values goes.
    virtual bool DeleteKey(std::u16string_view path) = 0;
    virtual bool SetValue(std::u16string_view name, DWORD type, std::vector<BYTE> data) = 0;
    virtual bool DeleteValue(std::u16string_view name) = 0;
};

struct RegReadResult {
    bool refused = false;  // not a registry file: nothing reached the sink
    bool stopped = false;  // the sink said stop
    std::string error;     // why it was refused
    // "file:line: what was skipped", at most kMaxWarnings of them; `moreWarnings`
    // counts the ones beyond.
    std::vector<std::string> warnings;
    std::size_t moreWarnings = 0;
    static constexpr std::size_t kMaxWarnings = 1000;
};

// Reads a .reg file fed in pieces of any size, passing keys and values to the sink as
// their lines complete.
class RegReader {
  public:
    RegReader(std::string fileName, RegSink& sink);
    ~RegReader();
    void Feed(std::string_view bytes);
    // The end of the file: a value still waiting for continuation lines is passed on.
    RegReadResult Finish();

  private:
    class Lines;
    std::unique_ptr<Lines> lines_;
};

// The whole of a .reg file held in memory.
RegReadResult ReadRegBytes(std::string_view bytes, const std::string& fileName, RegSink& sink);

// Writes the key `from` (the root for the whole registry) with everything below it as
// a .reg file, in UTF-16LE bytes handed to `write` piece by piece. Returns the
// registry's error, or ERROR_WRITE_FAULT when `write` returned false.
LONG WriteReg(RegistryStore& registry, KeyId from,
              const std::function<bool(std::string_view bytes)>& write);
// The same as text, for tests and small registries.
std::u16string RegText(RegistryStore& registry, KeyId from = kRootKey);

// A sink that applies a .reg file to a registry: each [key] line opens or creates the
// key, [-key] deletes it, values are set or deleted. The caller makes the whole
// reading one transaction. On a database failure it stops the reading and keeps the
// error.
class RegistryImport final : public RegSink {
  public:
    explicit RegistryImport(RegistryStore& registry) : registry_(registry) {}
    bool OpenKey(std::u16string_view path) override;
    bool DeleteKey(std::u16string_view path) override;
    bool SetValue(std::u16string_view name, DWORD type, std::vector<BYTE> data) override;
    bool DeleteValue(std::u16string_view name) override;
    LONG Error() const { return error_; }

  private:
    bool Keep(LONG error);
    RegistryStore& registry_;
    KeyId key_ = 0;
    // The last key line's parts, each with its id, so that a run of keys below one
    // another is found without walking from the root each time.
    std::vector<std::pair<std::u16string, KeyId>> path_;
    LONG error_ = ERROR_SUCCESS;
};

}  // namespace ze::sim
