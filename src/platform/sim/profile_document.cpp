// The profile engine's model of one INI file: decoding, indexing, lookups and edits.
#include <algorithm>

#include "common/text.h"
#include "platform/names.h"
#include "platform/sim/profile.h"

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

Document Document::Parse(std::string_view bytes) {
    Document document;
    auto starts = [&](std::string_view mark) { return bytes.substr(0, mark.size()) == mark; };
    if (starts("\xFF\xFE")) {
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

}  // namespace ze::sim::profile
