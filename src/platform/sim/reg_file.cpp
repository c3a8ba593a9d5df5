#include "platform/sim/reg_file.h"

#include <algorithm>
#include <optional>

#include "common/text.h"
#include "platform/names.h"
#include "platform/sim/value_data.h"

namespace ze::sim {
namespace {

constexpr std::u16string_view kUnicodeHeader = u"Windows Registry Editor Version 5.00";
constexpr std::u16string_view kAnsiHeader = u"REGEDIT4";
constexpr std::u16string_view kOwnRoots[] = {u"HKEY_LOCAL_MACHINE", u"HKLM"};
constexpr std::u16string_view kOtherRoots[] = {u"HKEY_CURRENT_USER",
                                               u"HKEY_CLASSES_ROOT",
                                               u"HKEY_USERS",
                                               u"HKEY_CURRENT_CONFIG",
                                               u"HKEY_DYN_DATA",
                                               u"HKEY_PERFORMANCE_DATA",
                                               u"HKCU",
                                               u"HKCR",
                                               u"HKU",
                                               u"HKCC"};
constexpr LONG kErrorWriteFault = 29;  // ERROR_WRITE_FAULT

bool IsBlank(char16_t c) {
    return c == u' ' || c == u'\t';
}

std::u16string_view SkipBlanks(std::u16string_view text) {
    std::size_t first = 0;
    while (first < text.size() && IsBlank(text[first]))
        ++first;
    return text.substr(first);
}

// What may follow a value's data on its line: blanks, then nothing or a ';' comment.
bool EndsCleanly(std::u16string_view rest) {
    rest = SkipBlanks(rest);
    return rest.empty() || rest.front() == u';';
}

// Up to `most` hex digits at the start of text as a number; nullopt when there are
// none or more than `most`. `used` receives the count of digits.
std::optional<DWORD> HexNumber(std::u16string_view text, std::size_t most, std::size_t* used) {
    std::size_t count = 0;
    DWORD number = 0;
    while (count < text.size() && HexDigit(text[count]) >= 0) {
        number = number * 16 + static_cast<DWORD>(HexDigit(text[count]));
        ++count;
    }
    if (count == 0 || count > most)
        return std::nullopt;
    *used = count;
    return number;
}

// Reads a quoted text starting at the opening quote; `rest` receives what follows the
// closing one. Inside, \\ stands for \ and \" for "; any other backslash stays.
bool ReadQuoted(std::u16string_view line, std::u16string* out, std::u16string_view* rest) {
    if (line.empty() || line.front() != u'"')
        return false;
    for (std::size_t pos = 1; pos < line.size(); ++pos) {
        char16_t c = line[pos];
        if (c == u'"') {
            *rest = line.substr(pos + 1);
            return true;
        }
        if (c == u'\\' && pos + 1 < line.size() &&
            (line[pos + 1] == u'\\' || line[pos + 1] == u'"'))
            c = line[++pos];
        out->push_back(c);
    }
    return false;
}

enum class HexEnd { Done, Continues, Bad };

// One line's piece of a hex list: bytes of one or two digits separated by commas, an
// optional trailing comma, then either the end of the line (or a ';' comment) or a
// backslash after a comma (or at the very start of the data) saying that the list
// goes on on the next line.
HexEnd ReadHexBytes(std::u16string_view text, bool backslashFirst, std::vector<BYTE>* bytes) {
    bool afterComma = backslashFirst;
    std::size_t pos = 0;
    for (;;) {
        while (pos < text.size() && IsBlank(text[pos]))
            ++pos;
        if (pos == text.size() || text[pos] == u';')
            return HexEnd::Done;
        if (text[pos] == u'\\') {
            if (!afterComma)
                return HexEnd::Bad;
            return EndsCleanly(text.substr(pos + 1)) ? HexEnd::Continues : HexEnd::Bad;
        }
        std::size_t used = 0;
        std::optional<DWORD> byte = HexNumber(text.substr(pos), 2, &used);
        if (!byte)
            return HexEnd::Bad;
        bytes->push_back(static_cast<BYTE>(*byte));
        pos += used;
        while (pos < text.size() && IsBlank(text[pos]))
            ++pos;
        if (pos == text.size() || text[pos] == u';')
            return HexEnd::Done;
        if (text[pos] != u',')
            return HexEnd::Bad;
        ++pos;
        afterComma = true;
    }
}

bool IsRoot(std::u16string_view name, std::span<const std::u16string_view> roots) {
    return std::any_of(roots.begin(), roots.end(),
                       [&](std::u16string_view root) { return EqualsIgnoreCase(root, name); });
}

}  // namespace

// ---- reading ----

// Splits the fed bytes into lines in the file's encoding and interprets each.
class RegReader::Lines {
  public:
    Lines(std::string fileName, RegSink& sink) : file_(std::move(fileName)), sink_(sink) {}

    void Feed(std::string_view bytes) {
        if (Ended())
            return;
        if (!encoding_) {
            start_ += bytes;
            if (start_.size() < 4)
                return;
            ChooseEncoding();
            std::string first = std::move(start_);
            Split(first);
            return;
        }
        Split(bytes);
    }

    RegReadResult Finish() {
        if (!encoding_ && !Ended()) {
            ChooseEncoding();
            std::string first = std::move(start_);
            Split(first);
        }
        if (!Ended()) {
            if (!pendingBytes_.empty() || !pendingLine_.empty() || sawCarriageReturn_)
                EndLine();
            if (!headerSeen_ && !Ended())
                Refuse(lineNumber_ == 0 && !anyByte_ ? "the file is empty"
                                                     : "no \"Windows Registry Editor Version "
                                                       "5.00\" or \"REGEDIT4\" header");
        }
        if (pending_ && !Ended())
            Emit();
        return std::move(result_);
    }

  private:
    enum class Encoding { Utf16Le, Utf8, Ansi8 };
    enum class Current { None, Skipped, Open };
    struct PendingHex {
        std::u16string name;
        DWORD type;
        std::vector<BYTE> bytes;
        std::size_t line;
    };

    bool Ended() const { return result_.refused || result_.stopped; }

    void ChooseEncoding() {
        auto byte = [&](std::size_t i) {
            return i < start_.size() ? static_cast<unsigned char>(start_[i]) : 0x100u;
        };
        if (byte(0) == 0xFF && byte(1) == 0xFE) {
            encoding_ = Encoding::Utf16Le;
            start_.erase(0, 2);
        } else if (byte(0) == 0xEF && byte(1) == 0xBB && byte(2) == 0xBF) {
            encoding_ = Encoding::Utf8;
            start_.erase(0, 3);
        } else if (byte(0) != 0 && byte(0) < 0x80 && byte(1) == 0) {
            encoding_ = Encoding::Utf16Le;
        } else {
            encoding_ = Encoding::Ansi8;  // UTF-8 or ANSI: the header decides
        }
    }

    // Cuts the bytes at line breaks, appending whole runs to the pending line.
    void Split(std::string_view bytes) {
        anyByte_ = anyByte_ || !bytes.empty();
        if (*encoding_ != Encoding::Utf16Le) {
            while (!bytes.empty() && !Ended()) {
                std::size_t stop = std::min(bytes.find_first_of("\r\n"), bytes.size());
                if (stop > 0)
                    sawCarriageReturn_ = false;
                pendingBytes_.append(bytes.substr(0, stop));
                if (stop < bytes.size())
                    Take(bytes[stop]);
                bytes.remove_prefix(std::min(stop + 1, bytes.size()));
            }
            return;
        }
        if (oddByte_ && !bytes.empty()) {
            char pair[2] = {static_cast<char>(*oddByte_), bytes.front()};
            oddByte_.reset();
            bytes.remove_prefix(1);
            SplitUnits(std::string_view(pair, 2));
        }
        SplitUnits(bytes.substr(0, bytes.size() & ~std::size_t{1}));
        if (bytes.size() % 2 != 0)
            oddByte_ = static_cast<unsigned char>(bytes.back());
    }

    void SplitUnits(std::string_view bytes) {
        std::size_t units = bytes.size() / 2;
        std::size_t start = 0;
        auto unitAt = [&](std::size_t i) {
            return static_cast<char16_t>(static_cast<unsigned char>(bytes[2 * i]) |
                                         (static_cast<unsigned char>(bytes[2 * i + 1]) << 8));
        };
        for (std::size_t i = 0; i <= units && !Ended(); ++i) {
            char16_t unit = i < units ? unitAt(i) : u'\0';
            if (i < units && unit != u'\n' && unit != u'\r')
                continue;
            if (i > start) {
                sawCarriageReturn_ = false;
                std::size_t at = pendingLine_.size();
                pendingLine_.resize(at + i - start);
                for (std::size_t k = start; k < i; ++k)
                    pendingLine_[at + k - start] = unitAt(k);
            }
            if (i < units)
                Take(static_cast<char>(unit));
            start = i + 1;
        }
    }

    // A line break: CR LF, LF or a lone CR ends a line.
    void Take(char c) {
        bool secondHalf = c == '\n' && sawCarriageReturn_;
        sawCarriageReturn_ = c == '\r';
        if (!secondHalf)
            EndLine();
    }

    void EndLine() {
        ++lineNumber_;
        std::u16string line;
        if (*encoding_ == Encoding::Utf16Le) {
            line = std::move(pendingLine_);
            pendingLine_.clear();
        } else {
            line = ansi_ ? AnsiToUtf16(pendingBytes_) : Utf8ToUtf16(pendingBytes_);
            if (!headerSeen_ && pendingBytes_.find('\0') != std::string::npos)
                line = u"\x01";  // not text
            pendingBytes_.clear();
        }
        Interpret(line);
    }

    void Warn(std::size_t line, const std::string& what) {
        if (result_.warnings.size() < RegReadResult::kMaxWarnings)
            result_.warnings.push_back(file_ + ":" + std::to_string(line) + ": " + what);
        else
            ++result_.moreWarnings;
    }

    void Refuse(const std::string& why) {
        result_.refused = true;
        result_.error = file_ + ": not a registry file: " + why;
    }

    void Stop(bool keepGoing) {
        if (!keepGoing)
            result_.stopped = true;
    }

    void Interpret(std::u16string_view line) {
        if (!headerSeen_) {
            ReadHeader(line);
            return;
        }
        if (pending_) {
            Continue(line);
            return;
        }
        std::u16string_view rest = SkipBlanks(line);
        if (rest.empty() || rest.front() == u';' || rest.front() == u'#' ||
            rest.find_first_not_of(u'\x1A') == std::u16string_view::npos) {
            return;
        }
        if (rest.front() == u'[') {
            KeyLine(rest);
        } else if (rest.front() == u'"' || rest.front() == u'@') {
            ValueLine(rest);
        } else {
            Warn(lineNumber_, "line not understood, skipped");
        }
    }

    void ReadHeader(std::u16string_view line) {
        std::u16string_view text = SkipBlanks(line);
        while (!text.empty() && IsBlank(text.back()))
            text.remove_suffix(1);
        if (text.empty())
            return;
        if (std::any_of(text.begin(), text.end(),
                        [](char16_t c) { return c < 0x20 && c != '\t'; })) {
            Refuse("it is not a text file");
        } else if (text == kUnicodeHeader) {
            headerSeen_ = true;
        } else if (text == kAnsiHeader) {
            headerSeen_ = true;
            ansiText_ = true;
            ansi_ = *encoding_ == Encoding::Ansi8 && !utf8Bom();
        } else {
            Refuse("no \"Windows Registry Editor Version 5.00\" or \"REGEDIT4\" header");
        }
    }
    bool utf8Bom() const { return *encoding_ == Encoding::Utf8; }

    void KeyLine(std::u16string_view line) {
        current_ = Current::Skipped;
        std::size_t close = line.rfind(u']');
        if (close == std::u16string_view::npos) {
            Warn(lineNumber_, "key line without ']', skipped with its values");
            return;
        }
        if (!EndsCleanly(line.substr(close + 1))) {
            Warn(lineNumber_, "text after the key's ']', skipped with its values");
            return;
        }
        std::u16string_view inner = line.substr(1, close - 1);
        bool remove = !inner.empty() && inner.front() == u'-';
        if (remove)
            inner.remove_prefix(1);
        std::size_t slash = inner.find(u'\\');
        std::u16string_view root = inner.substr(0, slash);
        std::u16string_view path =
            slash == std::u16string_view::npos ? u"" : inner.substr(slash + 1);
        if (IsRoot(root, kOtherRoots)) {
            std::u16string name(root);
            WcsUpr(name);
            if (std::find(skippedRoots_.begin(), skippedRoots_.end(), name) ==
                skippedRoots_.end()) {
                skippedRoots_.push_back(name);
                Warn(lineNumber_, "keys under " + Utf16ToUtf8(name) +
                                      " skipped: the machine holds HKEY_LOCAL_MACHINE only");
            }
            return;
        }
        if (!IsRoot(root, kOwnRoots)) {
            Warn(lineNumber_,
                 "unknown root key \"" + Utf16ToUtf8(root) + "\", skipped with its values");
            return;
        }
        if (remove) {
            if (SplitKeyPath(path).empty())
                Warn(lineNumber_, "HKEY_LOCAL_MACHINE itself cannot be deleted, skipped");
            else
                Stop(sink_.DeleteKey(path));
            return;
        }
        current_ = Current::Open;
        Stop(sink_.OpenKey(path));
    }

    void ValueLine(std::u16string_view line) {
        std::u16string name;
        std::u16string_view rest;
        if (line.front() == u'@') {
            rest = line.substr(1);
        } else if (!ReadQuoted(line, &name, &rest)) {
            Warn(lineNumber_, "value name without its closing quote, skipped");
            return;
        }
        rest = SkipBlanks(rest);
        if (rest.empty() || rest.front() != u'=') {
            Warn(lineNumber_, "no '=' after the value name, skipped");
            return;
        }
        rest = SkipBlanks(rest.substr(1));
        if (current_ == Current::None)
            Warn(lineNumber_, "value before any key, skipped");
        if (!rest.empty() && rest.front() == u'-' && EndsCleanly(rest.substr(1))) {
            if (current_ == Current::Open)
                Stop(sink_.DeleteValue(name));
            return;
        }
        if (!rest.empty() && rest.front() == u'"') {
            std::u16string text;
            std::u16string_view after;
            if (!ReadQuoted(rest, &text, &after) || !EndsCleanly(after)) {
                Warn(lineNumber_,
                     "string without its closing quote or with text after it, skipped");
                return;
            }
            SetValue(name, REG_SZ, TextData(text));
            return;
        }
        if (rest.substr(0, 6) == u"dword:") {
            std::u16string_view digits = SkipBlanks(rest.substr(6));
            std::size_t used = 0;
            std::optional<DWORD> number = HexNumber(digits, 8, &used);
            if (!number || !EndsCleanly(digits.substr(used))) {
                Warn(lineNumber_, "dword without 1 to 8 hex digits, skipped");
                return;
            }
            SetValue(name, REG_DWORD, DwordData(*number));
            return;
        }
        DWORD type = REG_BINARY;
        if (rest.substr(0, 4) == u"hex:") {
            rest.remove_prefix(4);
        } else if (rest.substr(0, 4) == u"hex(") {
            std::size_t used = 0;
            std::optional<DWORD> number = HexNumber(rest.substr(4), 8, &used);
            if (!number || rest.substr(4 + used, 2) != u"):") {
                Warn(lineNumber_, "hex(N) without 1 to 8 hex digits, skipped");
                return;
            }
            type = *number;
            rest.remove_prefix(4 + used + 2);
        } else {
            Warn(lineNumber_, "value data not understood, skipped");
            return;
        }
        pending_ = PendingHex{std::move(name), type, {}, lineNumber_};
        Hex(rest, true);
    }

    void Continue(std::u16string_view line) {
        std::u16string_view rest = SkipBlanks(line);
        if (rest.empty() || rest.front() == u';')
            return;
        Hex(rest, false);
    }

    void Hex(std::u16string_view text, bool first) {
        switch (ReadHexBytes(text, first, &pending_->bytes)) {
            case HexEnd::Continues:
                return;
            case HexEnd::Done:
                Emit();
                return;
            case HexEnd::Bad:
                Warn(lineNumber_, first ? "hex data not understood, skipped"
                                        : "continuation of the value on line " +
                                              std::to_string(pending_->line) +
                                              " is not hex data: both skipped");
                pending_.reset();
                return;
        }
    }

    void Emit() {
        PendingHex value = std::move(*pending_);
        pending_.reset();
        bool text =
            value.type == REG_SZ || value.type == REG_EXPAND_SZ || value.type == REG_MULTI_SZ;
        if (ansiText_ && text) {
            // REGEDIT4 keeps string data in the ANSI code page; the registry holds UTF-16.
            value.bytes = Utf16LeBytes(AnsiToUtf16(std::string_view(
                reinterpret_cast<const char*>(value.bytes.data()), value.bytes.size())));
        }
        SetValue(value.name, value.type, std::move(value.bytes));
    }

    void SetValue(const std::u16string& name, DWORD type, std::vector<BYTE> data) {
        if (current_ == Current::Open)
            Stop(sink_.SetValue(name, type, std::move(data)));
    }

    std::string file_;
    RegSink& sink_;
    RegReadResult result_;
    std::string start_;  // the first bytes, until the encoding is known
    std::optional<Encoding> encoding_;
    bool anyByte_ = false;
    std::optional<unsigned> oddByte_;
    std::string pendingBytes_;
    std::u16string pendingLine_;
    bool sawCarriageReturn_ = false;
    std::size_t lineNumber_ = 0;
    bool headerSeen_ = false;
    bool ansi_ = false;      // lines are Windows-1252 (a REGEDIT4 file without UTF-8 BOM)
    bool ansiText_ = false;  // string data in hex form is ANSI (REGEDIT4)
    Current current_ = Current::None;
    std::vector<std::u16string> skippedRoots_;
    std::optional<PendingHex> pending_;
};

RegReader::RegReader(std::string fileName, RegSink& sink)
    : lines_(std::make_unique<Lines>(std::move(fileName), sink)) {}

RegReader::~RegReader() = default;

void RegReader::Feed(std::string_view bytes) {
    lines_->Feed(bytes);
}

RegReadResult RegReader::Finish() {
    return lines_->Finish();
}

RegReadResult ReadRegBytes(std::string_view bytes, const std::string& fileName, RegSink& sink) {
    RegReader reader(fileName, sink);
    reader.Feed(bytes);
    return reader.Finish();
}

// ---- applying to a registry ----

bool RegistryImport::Keep(LONG error) {
    if (error != ERROR_SUCCESS && error_ == ERROR_SUCCESS)
        error_ = error;
    return error == ERROR_SUCCESS;
}

bool RegistryImport::OpenKey(std::u16string_view path) {
    std::vector<std::u16string> parts = SplitKeyPath(path);
    std::size_t same = 0;
    while (same < parts.size() && same < path_.size() && parts[same] == path_[same].first)
        ++same;
    path_.resize(same);
    KeyId key = same == 0 ? kRootKey : path_.back().second;
    for (std::size_t i = same; i < parts.size(); ++i) {
        if (!Keep(registry_.CreatePath(key, parts[i], &key))) {
            path_.clear();
            return false;
        }
        path_.emplace_back(std::move(parts[i]), key);
    }
    key_ = key;
    return true;
}

bool RegistryImport::DeleteKey(std::u16string_view path) {
    path_.clear();
    key_ = 0;
    KeyId key = 0;
    LONG error = registry_.OpenPath(kRootKey, path, &key);
    if (error == ERROR_FILE_NOT_FOUND)
        return true;
    return Keep(error) && Keep(registry_.DeleteKey(key, true));
}

bool RegistryImport::SetValue(std::u16string_view name, DWORD type, std::vector<BYTE> data) {
    return Keep(registry_.SetValue(key_, name, type, data));
}

bool RegistryImport::DeleteValue(std::u16string_view name) {
    LONG error = registry_.DeleteValue(key_, name);
    return error == ERROR_FILE_NOT_FOUND || Keep(error);
}

// ---- writing ----

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

// A REG_SZ that reads back whole from a quoted text: one terminator at the end and no
// NUL, CR or LF inside. Anything else is written as hex(1) so that no byte is lost.
bool IsPlainString(const RegValue& value) {
    if (value.type != REG_SZ || value.data.size() < 2 || value.data.size() % 2 != 0)
        return false;
    std::u16string text = Utf16LeText(value.data);
    return text.back() == u'\0' &&
           text.find_first_of(std::u16string_view(u"\0\r\n", 3)) == text.size() - 1;
}

// The bytes as regedit lists them: two lower-case digits each, separated by commas,
// lines continued with a backslash before they pass 80 columns.
std::u16string HexList(const std::vector<BYTE>& data, std::size_t prefixLength) {
    static constexpr char16_t kDigits[] = u"0123456789abcdef";
    std::u16string out;
    out.reserve(data.size() * 3 + data.size() / 8);
    std::size_t column = prefixLength;
    for (std::size_t i = 0; i < data.size(); ++i) {
        bool last = i + 1 == data.size();
        if (column + (last ? 2 : 3) > 77 && !last) {
            out += u"\\\r\n  ";
            column = 2;
        }
        out.push_back(kDigits[data[i] >> 4]);
        out.push_back(kDigits[data[i] & 0xF]);
        if (!last)
            out.push_back(u',');
        column += last ? 2 : 3;
    }
    return out;
}

std::u16string ValueLine(const RegValue& value) {
    std::u16string line = value.name.empty() ? u"@" : Quote(value.name);
    line += u"=";
    if (IsPlainString(value)) {
        std::u16string text = Utf16LeText(value.data);
        text.pop_back();  // the terminator
        return line + Quote(text);
    }
    std::optional<DWORD> number = DwordOfData(value.data);
    if (value.type == REG_DWORD && number)
        return line + Format(u"dword:%08x", *number);
    line += value.type == REG_BINARY ? std::u16string(u"hex:") : Format(u"hex(%x):", value.type);
    return line + HexList(value.data, line.size());
}

class RegWriter {
  public:
    RegWriter(RegistryStore& registry, const std::function<bool(std::string_view)>& write)
        : registry_(registry), write_(write) {}

    LONG Write(KeyId from) {
        std::u16string path;
        if (LONG error = registry_.PathOf(from, &path))
            return error;
        Put(u"\xFEFFWindows Registry Editor Version 5.00\r\n\r\n");
        LONG error =
            Key(from, path.empty() ? u"HKEY_LOCAL_MACHINE" : u"HKEY_LOCAL_MACHINE\\" + path);
        if (error == ERROR_SUCCESS)
            Flush();
        return error != ERROR_SUCCESS ? error : failed_ ? kErrorWriteFault : ERROR_SUCCESS;
    }

  private:
    LONG Key(KeyId key, const std::u16string& path) {
        std::vector<RegValue> values;
        if (LONG error = registry_.Values(key, &values))
            return error;
        Put(u"[" + path + u"]\r\n");
        for (const auto& value : values)
            Put(ValueLine(value) + u"\r\n");
        Put(u"\r\n");
        std::vector<Subkey> subkeys;
        if (LONG error = registry_.Subkeys(key, &subkeys))
            return error;
        for (const auto& subkey : subkeys) {
            if (LONG error = Key(subkey.id, path + u"\\" + subkey.name))
                return error;
        }
        return ERROR_SUCCESS;
    }

    void Put(std::u16string_view text) {
        std::size_t at = buffer_.size();
        buffer_.resize(at + text.size() * 2);
        for (std::size_t i = 0; i < text.size(); ++i) {
            buffer_[at + 2 * i] = static_cast<char>(text[i] & 0xFF);
            buffer_[at + 2 * i + 1] = static_cast<char>(text[i] >> 8);
        }
        if (buffer_.size() >= (1u << 20))
            Flush();
    }

    void Flush() {
        if (!failed_ && !buffer_.empty() && !write_(buffer_))
            failed_ = true;
        buffer_.clear();
    }

    RegistryStore& registry_;
    const std::function<bool(std::string_view)>& write_;
    std::string buffer_;
    bool failed_ = false;
};

}  // namespace

LONG WriteReg(RegistryStore& registry, KeyId from,
              const std::function<bool(std::string_view bytes)>& write) {
    return RegWriter(registry, write).Write(from);
}

std::u16string RegText(RegistryStore& registry, KeyId from) {
    std::string bytes;
    WriteReg(registry, from, [&](std::string_view piece) {
        bytes += piece;
        return true;
    });
    std::u16string text = Utf16LeText(std::vector<BYTE>(bytes.begin(), bytes.end()));
    return text.empty() ? text : text.substr(1);  // without the byte-order mark
}

}  // namespace ze::sim
