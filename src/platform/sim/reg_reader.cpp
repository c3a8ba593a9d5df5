#include <algorithm>
#include <optional>

#include "common/text.h"
#include "platform/names.h"
#include "platform/sim/reg_file.h"
#include "platform/sim/reg_lines.h"
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

// The second stage of reading a .reg file: each line, as the splitter cuts it,
// interpreted and passed to the sink.
class RegReader::Lines {
  public:
    Lines(std::string fileName, RegSink& sink)
        : file_(std::move(fileName)), sink_(sink), splitter_([this](std::u16string_view line) {
              Interpret(line);
              return !Ended();
          }) {}

    void Feed(std::string_view bytes) { splitter_.Feed(bytes); }

    RegReadResult Finish() {
        if (!Ended()) {
            splitter_.Finish();
            if (!headerSeen_ && !Ended())
                Refuse(lineNumber_ == 0 && !splitter_.AnyByte()
                           ? "the file is empty"
                           : "no \"Windows Registry Editor Version 5.00\" or \"REGEDIT4\" header");
        }
        if (pending_ && !Ended())
            Emit();
        return std::move(result_);
    }

  private:
    enum class Current { None, Skipped, Open };
    struct PendingHex {
        std::u16string name;
        DWORD type;
        std::vector<BYTE> bytes;
        std::size_t line;
    };

    bool Ended() const { return result_.refused || result_.stopped; }

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
        ++lineNumber_;
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
            splitter_.HeaderRead(false);
        } else if (text == kAnsiHeader) {
            headerSeen_ = true;
            ansiText_ = true;
            splitter_.HeaderRead(true);
        } else {
            Refuse("no \"Windows Registry Editor Version 5.00\" or \"REGEDIT4\" header");
        }
    }

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

    // Blank lines and comments inside a continued hex list are passed over, as regedit
    // does. A key line is never part of the list: the unfinished value is dropped and
    // the key line read as one, so that the values after it land under their own key.
    void Continue(std::u16string_view line) {
        std::u16string_view rest = SkipBlanks(line);
        if (rest.empty() || rest.front() == u';')
            return;
        if (rest.front() == u'[') {
            Warn(lineNumber_, "the value on line " + std::to_string(pending_->line) +
                                  " is continued by a key line: the value skipped");
            pending_.reset();
            KeyLine(rest);
            return;
        }
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
    std::size_t lineNumber_ = 0;
    bool headerSeen_ = false;
    bool ansiText_ = false;  // string data in hex form is ANSI (REGEDIT4)
    Current current_ = Current::None;
    std::vector<std::u16string> skippedRoots_;
    std::optional<PendingHex> pending_;
    RegLineSplitter splitter_;
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

}  // namespace ze::sim
