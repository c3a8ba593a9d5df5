// Section and key lists of profile files, as GetPrivateProfileStringW gives them, and
// the file's own bytes for what the profile functions cannot tell: the line a key
// stands on and an encoding they misread.
#include <algorithm>
#include <map>

#include "check/check_internal.h"
#include "common/text.h"
#include "platform/handles.h"
#include "platform/names.h"

namespace ze {

namespace {

// A list of terminated names; the buffer grows until the list fits (the call
// answers size - 2 when it did not).
std::vector<std::u16string> NameList(LPCWSTR section, const std::u16string& path) {
    for (DWORD size = 4096;; size *= 4) {
        std::u16string buffer(size, u'\0');
        DWORD length =
            OS().GetPrivateProfileStringW(section, nullptr, u"", buffer.data(), size, path.c_str());
        if (length >= size - 2 && size < (1u << 26))
            continue;
        std::vector<std::u16string> names;
        for (std::size_t pos = 0; pos < length;) {
            std::size_t end = BoundedLength(buffer.data() + pos, length - pos);
            if (end > 0)
                names.emplace_back(buffer.data() + pos, end);
            pos += end + 1;
        }
        return names;
    }
}

// The files' bytes, each read once for the whole check.
std::map<std::u16string, std::string> g_files;

const std::string& FileBytes(const std::u16string& path) {
    auto [it, added] = g_files.try_emplace(path);
    if (!added)
        return it->second;
    UniqueFile file(OS().CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                     nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    std::string chunk(1 << 16, '\0');
    DWORD read = 0;
    while (
        file &&
        OS().ReadFile(file.get(), chunk.data(), static_cast<DWORD>(chunk.size()), &read, nullptr) &&
        read > 0) {
        it->second.append(chunk.data(), read);
    }
    return it->second;
}

bool StartsWith(const std::string& bytes, std::string_view prefix) {
    return bytes.compare(0, prefix.size(), prefix) == 0;
}

// The text as Windows' profile functions decode it: by its UTF-16 byte-order mark,
// else ANSI (a UTF-8 mark included).
std::u16string Decode(const std::string& bytes) {
    bool littleEndian = StartsWith(bytes, "\xFF\xFE");
    if (littleEndian || StartsWith(bytes, "\xFE\xFF")) {
        std::u16string text;
        for (std::size_t i = 2; i + 1 < bytes.size(); i += 2) {
            auto first = static_cast<unsigned char>(bytes[i]);
            auto second = static_cast<unsigned char>(bytes[i + 1]);
            text.push_back(static_cast<char16_t>(littleEndian ? first | (second << 8)
                                                              : (first << 8) | second));
        }
        return text;
    }
    return AnsiToUtf16(bytes);
}

bool IsProfileBlank(char16_t c) {
    return (c >= u'\t' && c <= u'\r') || c == 0x1A || c == u' ';
}

std::u16string Trimmed(std::u16string_view text) {
    std::size_t begin = 0, end = text.size();
    while (begin < end && IsProfileBlank(text[begin]))
        ++begin;
    while (end > begin && IsProfileBlank(text[end - 1]))
        --end;
    return std::u16string(text.substr(begin, end - begin));
}

}  // namespace

void ForgetFileBytes() {
    g_files.clear();
}

std::vector<std::u16string> ProfileSections(const std::u16string& path) {
    return NameList(nullptr, path);
}

std::vector<std::u16string> ProfileKeyNames(const std::u16string& section,
                                            const std::u16string& path) {
    return NameList(section.c_str(), path);
}

int ProfileLine(const std::u16string& path, const std::u16string& section,
                const std::u16string& key) {
    // Only points at the line: the values themselves come from the profile functions,
    // which search the first section of the name and its first key of the name.
    std::u16string text = Decode(FileBytes(path));
    std::u16string wantedSection = Trimmed(section);
    std::u16string wantedKey = Trimmed(key);
    enum { Before, Inside, After } state = Before;
    int line = 0;
    for (std::size_t start = 0; start < text.size();) {
        std::size_t end = std::min(text.find(u'\n', start), text.size());
        std::u16string_view current(text.data() + start, end - start);
        ++line;
        start = end + 1;
        std::u16string trimmed = Trimmed(current);
        if (!trimmed.empty() && trimmed.front() == u'[') {
            std::size_t close = trimmed.find(u']');
            std::u16string name = Trimmed(std::u16string_view(trimmed).substr(
                1, close == std::u16string::npos ? std::u16string::npos : close - 1));
            state = state == Before && EqualsIgnoreCase(name, wantedSection) ? Inside
                    : state == Inside                                        ? After
                                                                             : state;
            continue;
        }
        std::size_t equals = current.find(u'=');
        if (state == Inside && equals != std::u16string_view::npos &&
            EqualsIgnoreCase(Trimmed(current.substr(0, equals)), wantedKey))
            return line;
    }
    return 0;
}

void CheckEncoding(const std::u16string& path, CheckReport* report) {
    const std::string& bytes = FileBytes(path);
    bool utf16 = StartsWith(bytes, "\xFF\xFE") || StartsWith(bytes, "\xFE\xFF");
    if (utf16 && bytes.size() % 2 != 0) {
        report->findings.push_back({Finding::Severity::Warning, path, 0,
                                    u"is UTF-16 with an odd number of bytes: the last is lost"});
    }
    if (!utf16 && bytes.find('\0') != std::string::npos) {
        report->findings.push_back(
            {Finding::Severity::Error, path, 0,
             u"holds NUL bytes: binary, or UTF-16 without its byte-order mark, which the "
             u"profile functions misread"});
    }
    // Windows knows no UTF-8 mark: it reads the file as ANSI, the mark's bytes the
    // start of line 1, so a section named there is never found. (Wine reads it as UTF-8.)
    constexpr const char16_t* kSaveAs = u"save it as UTF-16LE with a byte-order mark, or as ANSI";
    if (StartsWith(bytes, "\xEF\xBB\xBF")) {
        report->findings.push_back({Finding::Severity::Error, path, 0,
                                    u"has a UTF-8 byte-order mark: Windows reads this file as "
                                    u"ANSI; " +
                                        std::u16string(kSaveAs)});
        return;
    }
    bool ascii = std::all_of(bytes.begin(), bytes.end(),
                             [](char c) { return static_cast<unsigned char>(c) < 0x80; });
    if (!utf16 && !ascii && Utf16ToUtf8(Utf8ToUtf16(bytes)) == bytes) {
        report->findings.push_back({Finding::Severity::Warning, path, 0,
                                    u"is UTF-8, which the profile functions read as ANSI, so its "
                                    u"non-ASCII text is misread; " +
                                        std::u16string(kSaveAs)});
    }
}

}  // namespace ze
