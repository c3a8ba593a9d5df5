#include "platform/sim/registry_tree.h"

#include <algorithm>

#include "common/text.h"
#include "platform/sim/value_data.h"

namespace ze::sim {
namespace {

char16_t Upper(char16_t c) {
    return (c >= u'a' && c <= u'z') ? static_cast<char16_t>(c - 32) : c;
}

constexpr std::u16string_view kRootNames[] = {u"HKEY_LOCAL_MACHINE", u"HKLM"};

}  // namespace

bool CaseInsensitiveLess::operator()(const std::u16string& a, const std::u16string& b) const {
    return std::lexicographical_compare(a.begin(), a.end(), b.begin(), b.end(),
                                        [](char16_t x, char16_t y) { return Upper(x) < Upper(y); });
}

bool EqualsIgnoreCase(std::u16string_view a, std::u16string_view b) {
    return a.size() == b.size() &&
           std::equal(a.begin(), a.end(), b.begin(),
                      [](char16_t x, char16_t y) { return Upper(x) == Upper(y); });
}

std::vector<std::u16string> SplitKeyPath(std::u16string_view path) {
    std::vector<std::u16string> parts;
    std::size_t start = 0;
    while (start <= path.size()) {
        std::size_t end = path.find(u'\\', start);
        if (end == std::u16string_view::npos)
            end = path.size();
        if (end > start)
            parts.emplace_back(path.substr(start, end - start));
        start = end + 1;
    }
    return parts;
}

RegValue* RegKey::FindValue(std::u16string_view valueName) {
    for (auto& value : values) {
        if (EqualsIgnoreCase(value.name, valueName))
            return &value;
    }
    return nullptr;
}

const RegValue* RegKey::FindValue(std::u16string_view valueName) const {
    return const_cast<RegKey*>(this)->FindValue(valueName);
}

void RegKey::SetValue(std::u16string_view valueName, DWORD type, std::vector<BYTE> data) {
    if (RegValue* existing = FindValue(valueName)) {
        existing->type = type;
        existing->data = std::move(data);
        return;
    }
    values.push_back(RegValue{std::u16string(valueName), type, std::move(data)});
}

RegistryTree::RegistryTree() : root_(std::make_unique<RegKey>()) {
    root_->name = u"HKEY_LOCAL_MACHINE";
}

RegKey* RegistryTree::Find(std::u16string_view path) {
    RegKey* key = root_.get();
    for (const auto& part : SplitKeyPath(path)) {
        auto it = key->subkeys.find(part);
        if (it == key->subkeys.end())
            return nullptr;
        key = it->second.get();
    }
    return key;
}

const RegKey* RegistryTree::Find(std::u16string_view path) const {
    return const_cast<RegistryTree*>(this)->Find(path);
}

std::u16string RegistryTree::StoredPath(std::u16string_view path) const {
    const RegKey* key = root_.get();
    std::u16string stored;
    for (const auto& part : SplitKeyPath(path)) {
        auto it = key->subkeys.find(part);
        if (it == key->subkeys.end())
            return u"";
        key = it->second.get();
        if (!stored.empty())
            stored += u'\\';
        stored += key->name;
    }
    return stored;
}

RegKey& RegistryTree::Create(std::u16string_view path, bool* created) {
    RegKey* key = root_.get();
    bool any = false;
    for (const auto& part : SplitKeyPath(path)) {
        auto& slot = key->subkeys[part];
        if (!slot) {
            slot = std::make_unique<RegKey>();
            slot->name = part;
            any = true;
        }
        key = slot.get();
    }
    if (created != nullptr)
        *created = any;
    return *key;
}

bool RegistryTree::Delete(std::u16string_view path, bool recursive) {
    auto parts = SplitKeyPath(path);
    if (parts.empty())
        return false;
    std::u16string leaf = parts.back();
    parts.pop_back();
    RegKey* parent = root_.get();
    for (const auto& part : parts) {
        auto it = parent->subkeys.find(part);
        if (it == parent->subkeys.end())
            return false;
        parent = it->second.get();
    }
    auto it = parent->subkeys.find(leaf);
    if (it == parent->subkeys.end())
        return false;
    if (!recursive && !it->second->subkeys.empty())
        return false;
    parent->subkeys.erase(it);
    return true;
}

void RegistryTree::SetValue(std::u16string_view path, std::u16string_view name, DWORD type,
                            std::vector<BYTE> data) {
    Create(path).SetValue(name, type, std::move(data));
}

void RegistryTree::SetString(std::u16string_view path, std::u16string_view name,
                             std::u16string_view text) {
    SetValue(path, name, REG_SZ, TextData(text));
}

void RegistryTree::SetDword(std::u16string_view path, std::u16string_view name, DWORD value) {
    SetValue(path, name, REG_DWORD, DwordData(value));
}

std::optional<RegValue> RegistryTree::GetValue(std::u16string_view path,
                                               std::u16string_view name) const {
    const RegKey* key = Find(path);
    if (key == nullptr)
        return std::nullopt;
    const RegValue* value = key->FindValue(name);
    if (value == nullptr)
        return std::nullopt;
    return *value;
}

// ---- regedit format ----

namespace {

std::u16string Quote(std::u16string_view text) {
    std::u16string out = u"\"";
    for (char16_t c : text) {
        if (c == u'\\' || c == u'"')
            out.push_back(u'\\');
        out.push_back(c);
    }
    out.push_back(u'"');
    return out;
}

// A REG_SZ that regedit can show as "text": even length, one terminator at the end
// and none inside. Anything else is exported as hex(1) so no byte is lost.
bool IsPlainString(const RegValue& value) {
    const auto& d = value.data;
    if (value.type != REG_SZ || d.size() < 2 || d.size() % 2 != 0)
        return false;
    if (d[d.size() - 1] != 0 || d[d.size() - 2] != 0)
        return false;
    for (std::size_t i = 0; i + 2 < d.size(); i += 2) {
        if (d[i] == 0 && d[i + 1] == 0)
            return false;
    }
    return true;
}

std::u16string HexList(const std::vector<BYTE>& data, std::size_t prefixLength) {
    std::u16string out;
    std::size_t column = prefixLength;
    for (std::size_t i = 0; i < data.size(); ++i) {
        std::u16string byte = Format(u"%02x", data[i]);
        if (i + 1 < data.size())
            byte += u",";
        if (column + byte.size() > 77 && i + 1 < data.size()) {
            out += u"\\\r\n  ";
            column = 2;
        }
        out += byte;
        column += byte.size();
    }
    return out;
}

std::u16string ExportValue(const RegValue& value) {
    std::u16string line = value.name.empty() ? u"@" : Quote(value.name);
    line += u"=";
    if (IsPlainString(value)) {
        std::u16string text = Utf16LeText(value.data);
        text.pop_back();  // the terminator
        return line + Quote(text);
    }
    std::optional<DWORD> number = DwordOfData(value.data);
    if (value.type == REG_DWORD && number) {
        return line + Format(u"dword:%08x", *number);
    }
    line += value.type == REG_BINARY ? std::u16string(u"hex:") : Format(u"hex(%x):", value.type);
    return line + HexList(value.data, line.size());
}

void ExportKey(const RegKey& key, const std::u16string& path, std::u16string& out) {
    out += u"[" + path + u"]\r\n";
    for (const auto& value : key.values) {
        out += ExportValue(value) + u"\r\n";
    }
    out += u"\r\n";
    for (const auto& [name, child] : key.subkeys) {
        ExportKey(*child, path + u"\\" + child->name, out);
    }
}

}  // namespace

std::u16string RegistryTree::ExportReg() const {
    std::u16string out = u"Windows Registry Editor Version 5.00\r\n\r\n";
    for (const auto& [name, child] : root_->subkeys) {
        ExportKey(*child, u"HKEY_LOCAL_MACHINE\\" + child->name, out);
    }
    return out;
}

namespace {

// Joins continuation lines (a trailing backslash after hex data) and drops CRs.
std::vector<std::u16string> LogicalLines(std::u16string_view text) {
    std::vector<std::u16string> lines;
    std::u16string current;
    bool continuing = false;
    std::size_t start = 0;
    while (start < text.size()) {
        std::size_t end = text.find(u'\n', start);
        if (end == std::u16string_view::npos)
            end = text.size();
        std::u16string line(text.substr(start, end - start));
        start = end + 1;
        if (!line.empty() && line.back() == u'\r')
            line.pop_back();
        if (continuing) {
            std::size_t first = line.find_first_not_of(u" \t");
            line = first == std::u16string::npos ? u"" : line.substr(first);
        }
        bool isHexData = (current + line).find(u"=hex") != std::u16string::npos;
        continuing = isHexData && !line.empty() && line.back() == u'\\';
        if (continuing)
            line.pop_back();
        current += line;
        if (!continuing) {
            lines.push_back(std::move(current));
            current.clear();
        }
    }
    if (!current.empty())
        lines.push_back(std::move(current));
    return lines;
}

// Reads a quoted text starting at pos (at the opening quote); pos ends after it.
bool ReadQuoted(std::u16string_view line, std::size_t& pos, std::u16string& out) {
    if (pos >= line.size() || line[pos] != u'"')
        return false;
    ++pos;
    while (pos < line.size()) {
        char16_t c = line[pos++];
        if (c == u'"')
            return true;
        if (c == u'\\' && pos < line.size())
            c = line[pos++];
        out.push_back(c);
    }
    return false;
}

bool ParseHexBytes(std::u16string_view text, std::vector<BYTE>& out) {
    std::size_t pos = 0;
    while (pos < text.size()) {
        while (pos < text.size() && (text[pos] == u' ' || text[pos] == u','))
            ++pos;
        if (pos >= text.size())
            break;
        unsigned byte = 0;
        int digits = 0;
        while (pos < text.size() && digits < 2) {
            char16_t c = text[pos];
            unsigned v;
            if (c >= u'0' && c <= u'9')
                v = c - u'0';
            else if (c >= u'a' && c <= u'f')
                v = c - u'a' + 10;
            else if (c >= u'A' && c <= u'F')
                v = c - u'A' + 10;
            else
                break;
            byte = byte * 16 + v;
            ++digits;
            ++pos;
        }
        if (digits == 0)
            return false;
        out.push_back(static_cast<BYTE>(byte));
    }
    return true;
}

bool ParseData(std::u16string_view data, DWORD& type, std::vector<BYTE>& bytes) {
    if (!data.empty() && data[0] == u'"') {
        std::u16string text;
        std::size_t pos = 0;
        if (!ReadQuoted(data, pos, text))
            return false;
        type = REG_SZ;
        bytes = TextData(text);
        return true;
    }
    if (data.substr(0, 6) == u"dword:") {
        unsigned value = 0;
        if (data.size() != 14 || Scan(data.substr(6), u"%8x", &value) != 1)
            return false;
        type = REG_DWORD;
        bytes = DwordData(value);
        return true;
    }
    if (data.substr(0, 4) == u"hex:") {
        type = REG_BINARY;
        return ParseHexBytes(data.substr(4), bytes);
    }
    if (data.substr(0, 4) == u"hex(") {
        std::size_t close = data.find(u"):");
        unsigned parsed = 0;
        if (close == std::u16string_view::npos ||
            Scan(data.substr(4, close - 4), u"%x", &parsed) != 1) {
            return false;
        }
        type = parsed;
        return ParseHexBytes(data.substr(close + 2), bytes);
    }
    return false;
}

}  // namespace

bool RegistryTree::ImportReg(std::u16string_view text, std::string* error) {
    auto lines = LogicalLines(text);
    std::size_t index = 0;
    while (index < lines.size() && lines[index].empty())
        ++index;
    if (index >= lines.size() ||
        (lines[index] != u"Windows Registry Editor Version 5.00" && lines[index] != u"REGEDIT4")) {
        *error = "not a registry file (missing \"Windows Registry Editor Version 5.00\" header)";
        return false;
    }
    RegKey* current = nullptr;
    for (++index; index < lines.size(); ++index) {
        std::u16string_view line = lines[index];
        std::size_t lineNumber = index + 1;
        if (line.empty() || line[0] == u';')
            continue;
        if (line[0] == u'[') {
            if (line.back() != u']') {
                *error = "line " + std::to_string(lineNumber) + ": key header without ']'";
                return false;
            }
            bool remove = line.size() > 1 && line[1] == u'-';
            std::u16string_view path = line.substr(remove ? 2 : 1, line.size() - (remove ? 3 : 2));
            std::size_t slash = path.find(u'\\');
            std::u16string_view rootName = path.substr(0, slash);
            if (std::none_of(std::begin(kRootNames), std::end(kRootNames),
                             [&](auto n) { return EqualsIgnoreCase(n, rootName); })) {
                *error = "line " + std::to_string(lineNumber) +
                         ": only HKEY_LOCAL_MACHINE keys are supported";
                return false;
            }
            std::u16string_view rest =
                slash == std::u16string_view::npos ? u"" : path.substr(slash + 1);
            if (remove) {
                Delete(rest, true);
                current = nullptr;
            } else {
                current = &Create(rest);
            }
            continue;
        }
        if (current == nullptr) {
            *error = "line " + std::to_string(lineNumber) + ": value outside a key";
            return false;
        }
        std::u16string name;
        std::size_t pos = 0;
        if (line[0] == u'@') {
            pos = 1;
        } else if (!ReadQuoted(line, pos, name)) {
            *error = "line " + std::to_string(lineNumber) + ": malformed value name";
            return false;
        }
        if (pos >= line.size() || line[pos] != u'=') {
            *error = "line " + std::to_string(lineNumber) + ": missing '='";
            return false;
        }
        std::u16string_view data = line.substr(pos + 1);
        if (data == u"-") {
            auto& values = current->values;
            values.erase(
                std::remove_if(values.begin(), values.end(),
                               [&](const RegValue& v) { return EqualsIgnoreCase(v.name, name); }),
                values.end());
            continue;
        }
        DWORD type = REG_NONE;
        std::vector<BYTE> bytes;
        if (!ParseData(data, type, bytes)) {
            *error = "line " + std::to_string(lineNumber) + ": malformed value data";
            return false;
        }
        current->SetValue(name, type, std::move(bytes));
    }
    return true;
}

}  // namespace ze::sim
