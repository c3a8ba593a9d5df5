// INI files as the Windows profile functions see them. Document is a pure model of
// one file's bytes: it keeps the decoded text unchanged and indexes it, answers
// lookups and applies writes by splicing single lines, so every line a write does
// not touch keeps its original text, spacing, comments and blank lines. The buffer
// helpers implement the calls' conventions for filling a caller's buffer.
// DocumentCache, the one part that touches the file system, keeps parsed files
// between calls without ever hiding a change made to a file.
#pragma once

#include <chrono>
#include <cstddef>
#include <filesystem>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/wintypes.h"

namespace ze::sim::profile {

enum class Encoding { Ansi, Utf16Le, Utf16Be };

class Document {
  public:
    // An empty file; a new file is written as ANSI text, as Windows does.
    Document() = default;
    // A byte-order mark selects UTF-16LE or UTF-16BE; anything else is ANSI text,
    // decoded as Windows-1252 (the code page of an English Windows; the code pages of
    // other system locales are not modelled). A UTF-16 file without a byte-order mark
    // is therefore misread, as on Windows, and so is UTF-8 with its mark: Windows'
    // profile functions know no UTF-8 mark, so its three bytes are the first line's
    // first characters ("ï»¿[Settings]" is no section header). Wine reads such a
    // file as UTF-8; the simulation follows Windows.
    static Document Parse(std::string_view bytes);
    // The file's bytes in its own encoding, byte-order mark included.
    std::string Serialise() const;
    Encoding GetEncoding() const { return encoding_; }
    const std::u16string& Text() const { return text_; }

    // The value of a key: section and key names are trimmed and compared ignoring
    // case; only the first section of that name is searched, and the first key of
    // that name in it counts. Nothing for a missing key and for a line without '='.
    std::optional<std::u16string_view> Value(std::u16string_view section,
                                             std::u16string_view key) const;
    // The names of the keys of the first section named exactly `section` (ignoring
    // case, not trimmed), in file order, without comments (';') and lines without
    // '='; nothing when there is no such section.
    std::optional<std::vector<std::u16string_view>> KeyNames(std::u16string_view section) const;
    // The non-empty section names in file order, duplicates included.
    std::vector<std::u16string_view> SectionNames() const;

    // Sets a value (its leading blanks dropped): replaces the first matching key's
    // line, else adds a line after the section's last non-blank line, else appends
    // the section at the end. A name written new loses its leading blanks only.
    // Returns false when the value is already exactly that.
    bool Set(std::u16string_view section, std::u16string_view key, std::u16string_view value);
    // Removes the first key of that name found in the sections of that name (both
    // names exact but for case). Returns false when there is none.
    bool DeleteKey(std::u16string_view section, std::u16string_view key);
    // Removes the first section of that name with all its lines.
    bool DeleteSection(std::u16string_view section);

  private:
    struct Span {
        std::size_t pos = 0;
        std::size_t size = 0;
    };
    struct Line {
        std::size_t begin;  // first character
        std::size_t end;    // one past the last character before the line break
        std::size_t next;   // first character of the next line
    };
    struct Entry {
        Span name;
        std::optional<Span> value;
        std::size_t line;
    };
    struct Section {
        Span name;
        std::optional<std::size_t> header;  // none for the part before the first header
        std::size_t firstLine;
        std::size_t endLine;  // one past its last line
        std::vector<Entry> entries;
    };

    std::u16string_view View(Span span) const { return {text_.data() + span.pos, span.size}; }
    void Index();
    void IndexLine(std::size_t lineIndex);
    const Section* FindSection(std::u16string_view name) const;
    void Replace(std::size_t firstLine, std::size_t endLine, std::u16string_view replacement);

    Encoding encoding_ = Encoding::Ansi;
    std::u16string text_;
    std::vector<Line> lines_;
    std::vector<Section> sections_;
};

// The profile functions' white space: tab to carriage return, ^Z and blank.
bool IsProfileSpace(char16_t c);
std::u16string_view Trim(std::u16string_view text);

// Copies text cut to size - 1 characters and terminates it. Returns the characters
// copied. size must be at least 1.
DWORD CopyText(std::u16string_view text, char16_t* buffer, DWORD size);
// Copies a value or default the way GetPrivateProfileStringW returns it: one pair
// of enclosing quotes (both '"' or both '\'') removed, then cut to fit.
DWORD CopyValue(std::u16string_view text, char16_t* buffer, DWORD size);
// A list of names, each terminated, with one more terminator at the end. When the
// list does not fit, the name that does not fit is cut so that the list still ends
// in two terminators, and size - 2 is returned (also when only the final
// terminator was missing room); otherwise the characters written without the final
// terminator. size must be at least 1.
DWORD CopyNameList(const std::vector<std::u16string_view>& names, char16_t* buffer, DWORD size);
// The default of GetPrivateProfileStringW loses its trailing blanks (but never its
// first character).
std::u16string_view TrimDefault(std::u16string_view text);
// GetPrivateProfileIntW's reading of a value: leading control characters and
// blanks, one sign, a "0x", "0o" or "0b" prefix (lower case only), then digits of
// that base; no digits gives 0; the value wraps modulo 2^32.
UINT ProfileInt(std::u16string_view text);

// Parsed files kept between calls. A file is re-read unless its identity, size and
// both time stamps are unchanged and its change time was already settled (older
// than `settle`) when it was read; a re-read whose bytes equal the cached ones
// keeps the parsed document. So a change made between two calls is always seen,
// even one within the file system's time stamp resolution.
class DocumentCache {
  public:
    explicit DocumentCache(std::chrono::nanoseconds settle = std::chrono::seconds(2),
                           std::size_t capacity = 16);

    // The parsed file, or nothing with *error set: ERROR_FILE_NOT_FOUND,
    // ERROR_PATH_NOT_FOUND, or ERROR_ACCESS_DENIED for a folder or unreadable file.
    std::shared_ptr<const Document> Load(const std::filesystem::path& file, LONG* error);
    // Records what was just written to a file (parsed back from its bytes, so the
    // cache holds what the file holds, not what the writer meant).
    void Store(const std::filesystem::path& file, std::string bytes);

  private:
    struct Stamp {
        unsigned long long device = 0, inode = 0, size = 0;
        long long modified = 0, changed = 0;  // nanoseconds since the epoch
        bool operator==(const Stamp&) const = default;
    };
    struct Entry {
        Stamp stamp;
        bool trusted = false;
        std::string bytes;
        std::shared_ptr<const Document> document;
        unsigned long long lastUse = 0;
    };
    static std::optional<Stamp> StampOf(const std::filesystem::path& file, int* error);
    bool Settled(const Stamp& stamp) const;
    void Put(const std::filesystem::path& file, Entry entry);

    std::chrono::nanoseconds settle_;
    std::size_t capacity_;
    std::mutex mutex_;
    std::map<std::filesystem::path, Entry> entries_;
    unsigned long long uses_ = 0;
};

}  // namespace ze::sim::profile
