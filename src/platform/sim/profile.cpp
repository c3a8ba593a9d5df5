#include "platform/sim/profile.h"

#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <fstream>

#include "common/text.h"
#include "platform/names.h"

namespace ze::sim::profile {
namespace {

std::u16string_view TrimLeft(std::u16string_view text) {
    while (!text.empty() && IsProfileSpace(text.front()))
        text.remove_prefix(1);
    return text;
}

std::u16string DecodeUtf16(std::string_view bytes, bool bigEndian) {
    std::u16string text;
    text.reserve(bytes.size() / 2);
    for (std::size_t i = 0; i + 1 < bytes.size(); i += 2) {
        auto first = static_cast<unsigned char>(bytes[i]);
        auto second = static_cast<unsigned char>(bytes[i + 1]);
        text.push_back(
            static_cast<char16_t>(bigEndian ? (first << 8) | second : (second << 8) | first));
    }
    return text;
}

std::string EncodeUtf16(std::u16string_view text, bool bigEndian) {
    std::string bytes = bigEndian ? "\xFE\xFF" : "\xFF\xFE";
    bytes.reserve(2 + text.size() * 2);
    for (char16_t c : text) {
        char high = static_cast<char>(c >> 8);
        char low = static_cast<char>(c & 0xFF);
        bytes.push_back(bigEndian ? high : low);
        bytes.push_back(bigEndian ? low : high);
    }
    return bytes;
}

bool ReadFile(const std::filesystem::path& file, std::string* bytes) {
    std::ifstream in(file, std::ios::binary | std::ios::ate);
    if (!in)
        return false;
    bytes->resize(static_cast<std::size_t>(in.tellg()));
    in.seekg(0);
    in.read(bytes->data(), static_cast<std::streamsize>(bytes->size()));
    bytes->resize(static_cast<std::size_t>(in.gcount()));
    return !in.bad();
}

long long Nanoseconds(const timespec& time) {
    return static_cast<long long>(time.tv_sec) * 1000000000LL + time.tv_nsec;
}

}  // namespace

bool IsProfileSpace(char16_t c) {
    return (c >= 0x09 && c <= 0x0D) || c == 0x1A || c == 0x20;
}

std::u16string_view Trim(std::u16string_view text) {
    text = TrimLeft(text);
    while (!text.empty() && IsProfileSpace(text.back()))
        text.remove_suffix(1);
    return text;
}

// ---- Document ----

Document Document::Parse(std::string_view bytes) {
    Document document;
    auto starts = [&](std::string_view mark) { return bytes.substr(0, mark.size()) == mark; };
    if (starts("\xEF\xBB\xBF")) {
        document.encoding_ = Encoding::Utf8;
        document.text_ = Utf8ToUtf16(bytes.substr(3));
    } else if (starts("\xFF\xFE")) {
        document.encoding_ = Encoding::Utf16Le;
        document.text_ = DecodeUtf16(bytes.substr(2), false);
    } else if (starts("\xFE\xFF")) {
        document.encoding_ = Encoding::Utf16Be;
        document.text_ = DecodeUtf16(bytes.substr(2), true);
    } else {
        document.text_ = AnsiToUtf16(bytes);
    }
    document.Index();
    return document;
}

std::string Document::Serialise() const {
    switch (encoding_) {
        case Encoding::Utf8:
            return "\xEF\xBB\xBF" + Utf16ToUtf8(text_);
        case Encoding::Utf16Le:
            return EncodeUtf16(text_, false);
        case Encoding::Utf16Be:
            return EncodeUtf16(text_, true);
        case Encoding::Ansi:
            break;
    }
    return Utf16ToAnsi(text_);
}

void Document::Index() {
    lines_.clear();
    sections_.assign(1, Section{{}, std::nullopt, 0, 0, {}});
    for (std::size_t pos = 0; pos < text_.size();) {
        std::size_t end = std::min(text_.find_first_of(u"\r\n", pos), text_.size());
        std::size_t next = end;
        if (next < text_.size()) {
            bool crlf = text_[next] == u'\r' && next + 1 < text_.size() && text_[next + 1] == u'\n';
            next += crlf ? 2 : 1;
        }
        lines_.push_back(Line{pos, end, next});
        IndexLine(lines_.size() - 1);
        pos = next;
    }
    for (std::size_t i = 0; i < sections_.size(); ++i) {
        sections_[i].endLine =
            i + 1 < sections_.size() ? sections_[i + 1].firstLine : lines_.size();
    }
}

void Document::IndexLine(std::size_t lineIndex) {
    const Line& line = lines_[lineIndex];
    std::u16string_view whole(text_.data() + line.begin, line.end - line.begin);
    std::u16string_view content = Trim(whole);
    if (content.empty())
        return;
    std::size_t offset = line.begin + static_cast<std::size_t>(content.data() - whole.data());
    // Names and values end at a NUL character, as C strings do.
    auto span = [&](std::u16string_view part) {
        return Span{offset + static_cast<std::size_t>(part.data() - content.data()),
                    std::min(part.size(), part.find(u'\0'))};
    };
    std::size_t close = content.rfind(u']');
    if (content.front() == u'[' && close != std::u16string_view::npos) {
        Span name = span(Trim(content.substr(1, close - 1)));
        sections_.push_back(Section{name, lineIndex, lineIndex, 0, {}});
        return;
    }
    Entry entry{span(content), std::nullopt, lineIndex};
    std::size_t equals = content.find(u'=');
    if (equals != std::u16string_view::npos) {
        std::u16string_view name = content.substr(0, equals);
        while (!name.empty() && IsProfileSpace(name.back()))
            name.remove_suffix(1);
        entry.name = span(name);
        entry.value = span(TrimLeft(content.substr(equals + 1)));
    }
    // Of several nameless lines in a row only the first counts.
    std::vector<Entry>& entries = sections_.back().entries;
    if (entry.name.size == 0 && !entries.empty() && entries.back().name.size == 0)
        return;
    entries.push_back(entry);
}

const Document::Section* Document::FindSection(std::u16string_view name) const {
    for (const Section& section : sections_) {
        if (EqualsIgnoreCase(View(section.name), name))
            return &section;
    }
    return nullptr;
}

std::optional<std::u16string_view> Document::Value(std::u16string_view section,
                                                   std::u16string_view key) const {
    const Section* found = FindSection(Trim(section));
    if (found == nullptr)
        return std::nullopt;
    key = Trim(key);
    for (const Entry& entry : found->entries) {
        if (EqualsIgnoreCase(View(entry.name), key)) {
            if (!entry.value)
                return std::nullopt;
            return View(*entry.value);
        }
    }
    return std::nullopt;
}

std::optional<std::vector<std::u16string_view>> Document::KeyNames(
    std::u16string_view section) const {
    const Section* found = FindSection(section);
    if (found == nullptr)
        return std::nullopt;
    std::vector<std::u16string_view> names;
    for (const Entry& entry : found->entries) {
        std::u16string_view name = View(entry.name);
        if (entry.value && (name.empty() || name.front() != u';'))
            names.push_back(name);
    }
    return names;
}

std::vector<std::u16string_view> Document::SectionNames() const {
    std::vector<std::u16string_view> names;
    for (const Section& section : sections_) {
        if (section.name.size > 0)
            names.push_back(View(section.name));
    }
    return names;
}

void Document::Replace(std::size_t firstLine, std::size_t endLine,
                       std::u16string_view replacement) {
    std::size_t from = firstLine < lines_.size() ? lines_[firstLine].begin : text_.size();
    std::size_t to = endLine > firstLine ? lines_[endLine - 1].next : from;
    text_.replace(from, to - from, replacement);
    Index();
}

bool Document::Set(std::u16string_view section, std::u16string_view key,
                   std::u16string_view value) {
    value = TrimLeft(value);
    const Section* found = FindSection(Trim(section));
    std::u16string line = std::u16string(TrimLeft(key)) + u"=" + std::u16string(value) + u"\r\n";
    if (found == nullptr) {
        std::u16string header = u"[";
        header.append(TrimLeft(section)).append(u"]\r\n");
        line.insert(0, header);
    } else {
        std::u16string_view trimmedKey = Trim(key);
        for (const Entry& entry : found->entries) {
            if (!EqualsIgnoreCase(View(entry.name), trimmedKey))
                continue;
            if (entry.value && View(*entry.value) == value)
                return false;
            const Line& old = lines_[entry.line];
            std::u16string replacement = std::u16string(View(entry.name)) + u"=" +
                                         std::u16string(value) +
                                         text_.substr(old.end, old.next - old.end);
            Replace(entry.line, entry.line + 1, replacement);
            return true;
        }
    }
    // A new line goes after the section's last non-blank line (after its header at
    // least); a new section at the end of the file.
    std::size_t at = lines_.size();
    if (found != nullptr) {
        at = found->header ? *found->header + 1 : found->firstLine;
        for (std::size_t i = at; i < found->endLine; ++i) {
            const Line& candidate = lines_[i];
            if (!Trim(std::u16string_view(text_).substr(candidate.begin,
                                                        candidate.end - candidate.begin))
                     .empty()) {
                at = i + 1;
            }
        }
    }
    if (at > 0 && lines_[at - 1].next == lines_[at - 1].end)
        line.insert(0, u"\r\n");  // the file's last line had no line break
    std::size_t pos = at < lines_.size() ? lines_[at].begin : text_.size();
    text_.insert(pos, line);
    Index();
    return true;
}

bool Document::DeleteKey(std::u16string_view section, std::u16string_view key) {
    for (const Section& candidate : sections_) {
        if (!EqualsIgnoreCase(View(candidate.name), section))
            continue;
        for (const Entry& entry : candidate.entries) {
            if (EqualsIgnoreCase(View(entry.name), key)) {
                Replace(entry.line, entry.line + 1, u"");
                return true;
            }
        }
    }
    return false;
}

bool Document::DeleteSection(std::u16string_view section) {
    const Section* found = FindSection(section);
    if (found == nullptr)
        return false;
    Replace(found->firstLine, found->endLine, u"");
    return true;
}

// ---- buffer conventions ----

DWORD CopyValue(std::u16string_view text, char16_t* buffer, DWORD size) {
    if (text.size() >= 2 && (text.front() == u'"' || text.front() == u'\'') &&
        text.back() == text.front()) {
        text = text.substr(1, text.size() - 2);
    }
    return CopyText(text, buffer, size);
}

DWORD CopyText(std::u16string_view text, char16_t* buffer, DWORD size) {
    std::size_t length = std::min<std::size_t>(text.size(), size - 1);
    std::copy_n(text.begin(), length, buffer);
    buffer[length] = u'\0';
    return static_cast<DWORD>(length);
}

DWORD CopyNameList(const std::vector<std::u16string_view>& names, char16_t* buffer, DWORD size) {
    std::size_t room = size - 1;  // characters left before the final terminator
    std::size_t pos = 0;
    for (std::u16string_view name : names) {
        if (room == 0)
            break;
        if (name.size() + 1 >= room) {
            std::copy_n(name.begin(), room - 1, buffer + pos);
            pos += room - 1;
            buffer[pos++] = u'\0';
            buffer[pos] = u'\0';
            return size - 2;
        }
        std::copy(name.begin(), name.end(), buffer + pos);
        pos += name.size();
        buffer[pos++] = u'\0';
        room -= name.size() + 1;
    }
    buffer[pos] = u'\0';
    return static_cast<DWORD>(pos);
}

std::u16string_view TrimDefault(std::u16string_view text) {
    std::size_t length = text.size();
    while (length > 1 && text[length - 1] == u' ')
        --length;
    return text.substr(0, length);
}

UINT ProfileInt(std::u16string_view text) {
    std::size_t i = 0;
    while (i < text.size() && text[i] <= u' ')
        ++i;
    bool negative = false;
    if (i < text.size() && (text[i] == u'+' || text[i] == u'-'))
        negative = text[i++] == u'-';
    unsigned base = 10;
    if (text.size() - i >= 2 && text[i] == u'0') {
        char16_t kind = text[i + 1];
        base = kind == u'b' ? 2 : kind == u'o' ? 8 : kind == u'x' ? 16 : 10;
        if (base != 10)
            i += 2;
    }
    UINT total = 0;
    for (; i < text.size(); ++i) {
        char16_t c = text[i];
        unsigned digit = c >= u'0' && c <= u'9'   ? c - u'0'
                         : c >= u'a' && c <= u'z' ? c - u'a' + 10
                         : c >= u'A' && c <= u'Z' ? c - u'A' + 10
                                                  : 99;
        if (digit >= base)
            break;
        total = total * base + digit;
    }
    return negative ? 0u - total : total;
}

// ---- DocumentCache ----

DocumentCache::DocumentCache(std::chrono::nanoseconds settle, std::size_t capacity)
    : settle_(settle), capacity_(capacity) {}

std::optional<DocumentCache::Stamp> DocumentCache::StampOf(const std::filesystem::path& file,
                                                           int* error) {
    struct stat status {};
    if (::stat(file.c_str(), &status) != 0) {
        *error = errno;
        return std::nullopt;
    }
    if (S_ISDIR(status.st_mode)) {
        *error = EISDIR;
        return std::nullopt;
    }
    return Stamp{static_cast<unsigned long long>(status.st_dev),
                 static_cast<unsigned long long>(status.st_ino),
                 static_cast<unsigned long long>(status.st_size), Nanoseconds(status.st_mtim),
                 Nanoseconds(status.st_ctim)};
}

bool DocumentCache::Settled(const Stamp& stamp) const {
    auto now = std::chrono::duration_cast<std::chrono::nanoseconds>(
        std::chrono::system_clock::now().time_since_epoch());
    return now.count() - stamp.changed > settle_.count();
}

void DocumentCache::Put(const std::filesystem::path& file, Entry entry) {
    entry.lastUse = ++uses_;
    entries_[file] = std::move(entry);
    if (entries_.size() > capacity_) {
        entries_.erase(std::min_element(entries_.begin(), entries_.end(), [](auto& a, auto& b) {
            return a.second.lastUse < b.second.lastUse;
        }));
    }
}

std::shared_ptr<const Document> DocumentCache::Load(const std::filesystem::path& file,
                                                    LONG* error) {
    int cause = 0;
    std::optional<Stamp> stamp = StampOf(file, &cause);
    if (!stamp) {
        std::error_code ec;
        bool folderExists = std::filesystem::is_directory(file.parent_path(), ec);
        *error = cause == EISDIR                     ? ERROR_ACCESS_DENIED
                 : (cause == ENOENT && folderExists) ? ERROR_FILE_NOT_FOUND
                                                     : ERROR_PATH_NOT_FOUND;
        return nullptr;
    }
    std::lock_guard<std::mutex> lock(mutex_);
    auto it = entries_.find(file);
    if (it != entries_.end() && it->second.trusted && it->second.stamp == *stamp) {
        it->second.lastUse = ++uses_;
        *error = ERROR_SUCCESS;
        return it->second.document;
    }
    // Whether the stamp can be trusted is judged before reading: a change after
    // this point gets a later change time.
    bool settled = Settled(*stamp);
    std::string bytes;
    if (!ReadFile(file, &bytes)) {
        *error = ERROR_ACCESS_DENIED;
        return nullptr;
    }
    *error = ERROR_SUCCESS;
    if (it != entries_.end() && it->second.bytes == bytes) {
        it->second.stamp = *stamp;
        it->second.trusted = settled;
        it->second.lastUse = ++uses_;
        return it->second.document;
    }
    auto document = std::make_shared<const Document>(Document::Parse(bytes));
    Put(file, Entry{*stamp, settled, std::move(bytes), document});
    return document;
}

void DocumentCache::Store(const std::filesystem::path& file, std::string bytes) {
    int cause = 0;
    std::optional<Stamp> stamp = StampOf(file, &cause);
    std::lock_guard<std::mutex> lock(mutex_);
    if (!stamp) {
        entries_.erase(file);
        return;
    }
    auto document = std::make_shared<const Document>(Document::Parse(bytes));
    Put(file, Entry{*stamp, false, std::move(bytes), std::move(document)});
}

}  // namespace ze::sim::profile
