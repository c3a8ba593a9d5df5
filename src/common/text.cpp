#include "common/text.h"

#include <cstdint>
#include <vector>

namespace ze {
namespace {

// Collects formatted output up to a capacity; what does not fit is dropped.
class Sink {
  public:
    Sink(char16_t* buffer, std::size_t capacity) : buffer_(buffer), capacity_(capacity) {}
    void Put(char16_t c) {
        if (length_ + 1 < capacity_) {
            buffer_[length_++] = c;
        }
    }
    void Put(char16_t c, int count) {
        for (int i = 0; i < count; ++i) {
            Put(c);
        }
    }
    int Finish() {
        if (capacity_ > 0) {
            buffer_[length_] = u'\0';
        }
        return static_cast<int>(length_);
    }

  private:
    char16_t* buffer_;
    std::size_t capacity_;
    std::size_t length_ = 0;
};

struct Spec {
    bool left = false;
    bool zero = false;
    bool alternate = false;
    int width = 0;
    int precision = -1;
};

// Writes `body` (already converted) with sign/prefix, padding and justification.
void Emit(Sink& sink, const Spec& spec, std::u16string_view prefix, std::u16string_view body) {
    int length = static_cast<int>(prefix.size() + body.size());
    int pad = spec.width > length ? spec.width - length : 0;
    if (!spec.left && !spec.zero) {
        sink.Put(u' ', pad);
    }
    for (char16_t c : prefix) {
        sink.Put(c);
    }
    if (!spec.left && spec.zero) {
        sink.Put(u'0', pad);
    }
    for (char16_t c : body) {
        sink.Put(c);
    }
    if (spec.left) {
        sink.Put(u' ', pad);
    }
}

std::u16string Digits(std::uint64_t value, unsigned base, bool upper, int precision) {
    const char* digits = upper ? "0123456789ABCDEF" : "0123456789abcdef";
    std::u16string out;
    do {
        out.insert(out.begin(), static_cast<char16_t>(digits[value % base]));
        value /= base;
    } while (value != 0);
    while (precision > static_cast<int>(out.size())) {
        out.insert(out.begin(), u'0');
    }
    return out;
}

const char16_t* ParseSpec(const char16_t* p, Spec& spec) {
    for (;; ++p) {
        if (*p == u'-') {
            spec.left = true;
        } else if (*p == u'0') {
            spec.zero = true;
        } else if (*p == u'#') {
            spec.alternate = true;
        } else {
            break;
        }
    }
    while (*p >= u'0' && *p <= u'9') {
        spec.width = spec.width * 10 + (*p++ - u'0');
    }
    if (*p == u'.') {
        spec.precision = 0;
        ++p;
        while (*p >= u'0' && *p <= u'9') {
            spec.precision = spec.precision * 10 + (*p++ - u'0');
        }
    }
    return p;
}

}  // namespace

int FormatV(char16_t* buffer, std::size_t capacity, const char16_t* format, va_list args) {
    Sink sink(buffer, capacity);
    for (const char16_t* p = format; *p != u'\0'; ++p) {
        if (*p != u'%') {
            sink.Put(*p);
            continue;
        }
        ++p;
        if (*p == u'%') {
            sink.Put(u'%');
            continue;
        }
        Spec spec;
        p = ParseSpec(p, spec);
        while (*p == u'l' || *p == u'h' || *p == u'w') {
            ++p;
        }
        switch (*p) {
            case u'\0':
                return sink.Finish();
            case u's':
            case u'S': {
                const char16_t* text = va_arg(args, const char16_t*);
                std::u16string_view view = text != nullptr ? text : u"(null)";
                if (spec.precision >= 0 && view.size() > static_cast<std::size_t>(spec.precision)) {
                    view = view.substr(0, static_cast<std::size_t>(spec.precision));
                }
                Spec padding = spec;
                Emit(sink, padding, u"", view);
                break;
            }
            case u'c':
            case u'C': {
                char16_t c = static_cast<char16_t>(va_arg(args, int));
                Emit(sink, spec, u"", std::u16string_view(&c, 1));
                break;
            }
            case u'd':
            case u'i': {
                std::int32_t value = va_arg(args, std::int32_t);
                std::uint64_t magnitude =
                    value < 0 ? static_cast<std::uint64_t>(-static_cast<std::int64_t>(value))
                              : static_cast<std::uint64_t>(value);
                Emit(sink, spec, value < 0 ? u"-" : u"",
                     Digits(magnitude, 10, false, spec.precision));
                break;
            }
            case u'u':
                Emit(sink, spec, u"",
                     Digits(va_arg(args, std::uint32_t), 10, false, spec.precision));
                break;
            case u'x':
            case u'X': {
                bool upper = *p == u'X';
                std::uint32_t value = va_arg(args, std::uint32_t);
                std::u16string_view prefix =
                    spec.alternate && value != 0 ? (upper ? u"0X" : u"0x") : u"";
                Emit(sink, spec, prefix, Digits(value, 16, upper, spec.precision));
                break;
            }
            default:
                // An unknown conversion is copied as it stands, without its '%'.
                sink.Put(*p);
                break;
        }
    }
    return sink.Finish();
}

int FormatTo(char16_t* buffer, std::size_t capacity, const char16_t* format, ...) {
    va_list args;
    va_start(args, format);
    int length = FormatV(buffer, capacity, format, args);
    va_end(args);
    return length;
}

std::u16string Format(const char16_t* format, ...) {
    std::vector<char16_t> buffer(256);
    for (;;) {
        va_list args;
        va_start(args, format);
        int length = FormatV(buffer.data(), buffer.size(), format, args);
        va_end(args);
        if (static_cast<std::size_t>(length) + 1 < buffer.size()) {
            return std::u16string(buffer.data(), static_cast<std::size_t>(length));
        }
        buffer.resize(buffer.size() * 2);
    }
}

namespace {

bool IsSpace(char16_t c) {
    return c == u' ' || (c >= u'\t' && c <= u'\r');
}

int HexValue(char16_t c) {
    if (c >= u'0' && c <= u'9')
        return c - u'0';
    if (c >= u'a' && c <= u'f')
        return c - u'a' + 10;
    if (c >= u'A' && c <= u'F')
        return c - u'A' + 10;
    return -1;
}

// Reads one integer field of at most `width` characters (0 = unlimited) at `pos`.
// Returns false when no digit could be read.
bool ScanInteger(std::u16string_view text, std::size_t& pos, int width, unsigned base,
                 std::uint32_t& out) {
    std::size_t limit = width > 0 ? pos + static_cast<std::size_t>(width) : text.size();
    if (limit > text.size())
        limit = text.size();
    bool negative = false;
    if (pos < limit && (text[pos] == u'-' || text[pos] == u'+')) {
        negative = text[pos] == u'-';
        ++pos;
    }
    if (base == 16 && pos + 1 < limit && text[pos] == u'0' &&
        (text[pos + 1] == u'x' || text[pos + 1] == u'X')) {
        pos += 2;
    }
    std::uint32_t value = 0;
    bool any = false;
    while (pos < limit) {
        int digit = HexValue(text[pos]);
        if (digit < 0 || digit >= static_cast<int>(base))
            break;
        value = value * base + static_cast<std::uint32_t>(digit);
        any = true;
        ++pos;
    }
    out = negative ? 0u - value : value;
    return any;
}

}  // namespace

int Scan(std::u16string_view text, const char16_t* format, ...) {
    va_list args;
    va_start(args, format);
    int converted = 0;
    std::size_t pos = 0;
    bool inputEnded = false;
    for (const char16_t* f = format; *f != u'\0'; ++f) {
        if (IsSpace(*f)) {
            while (pos < text.size() && IsSpace(text[pos]))
                ++pos;
            continue;
        }
        if (*f != u'%' || f[1] == u'%') {
            if (*f == u'%')
                ++f;
            if (pos >= text.size()) {
                inputEnded = true;
                break;
            }
            if (text[pos] != *f)
                break;
            ++pos;
            continue;
        }
        ++f;
        int width = 0;
        while (*f >= u'0' && *f <= u'9')
            width = width * 10 + (*f++ - u'0');
        while (*f == u'l' || *f == u'h')
            ++f;
        unsigned base = (*f == u'x' || *f == u'X') ? 16 : 10;
        if (*f != u'd' && *f != u'i' && base != 16)
            break;
        while (pos < text.size() && IsSpace(text[pos]))
            ++pos;
        if (pos >= text.size()) {
            inputEnded = true;
            break;
        }
        std::uint32_t value = 0;
        if (!ScanInteger(text, pos, width, base, value))
            break;
        if (base == 16) {
            *va_arg(args, std::uint32_t*) = value;
        } else {
            *va_arg(args, std::int32_t*) = static_cast<std::int32_t>(value);
        }
        ++converted;
    }
    va_end(args);
    return (converted == 0 && inputEnded) ? -1 : converted;
}

int Wtoi(std::u16string_view text) {
    std::size_t pos = 0;
    while (pos < text.size() && IsSpace(text[pos]))
        ++pos;
    bool negative = false;
    if (pos < text.size() && (text[pos] == u'-' || text[pos] == u'+')) {
        negative = text[pos] == u'-';
        ++pos;
    }
    std::uint32_t value = 0;
    while (pos < text.size() && text[pos] >= u'0' && text[pos] <= u'9') {
        value = value * 10 + static_cast<std::uint32_t>(text[pos] - u'0');
        ++pos;
    }
    return static_cast<int>(negative ? 0u - value : value);
}

void WcsUpr(std::u16string& text) {
    for (char16_t& c : text) {
        if (c >= u'a' && c <= u'z')
            c = static_cast<char16_t>(c - u'a' + u'A');
    }
}

void WcsUpr(char16_t* text) {
    for (; *text != u'\0'; ++text) {
        if (*text >= u'a' && *text <= u'z')
            *text = static_cast<char16_t>(*text - u'a' + u'A');
    }
}

std::size_t BoundedLength(const char16_t* text, std::size_t capacity) {
    std::size_t length = 0;
    while (length < capacity && text[length] != u'\0')
        ++length;
    return length;
}

std::u16string Utf8ToUtf16(std::string_view text) {
    std::u16string out;
    for (std::size_t i = 0; i < text.size();) {
        auto byte = static_cast<unsigned char>(text[i]);
        std::uint32_t cp = byte;
        int extra = 0;
        if (byte >= 0xF0) {
            cp = byte & 0x07;
            extra = 3;
        } else if (byte >= 0xE0) {
            cp = byte & 0x0F;
            extra = 2;
        } else if (byte >= 0xC0) {
            cp = byte & 0x1F;
            extra = 1;
        }
        ++i;
        for (int k = 0; k < extra && i < text.size(); ++k, ++i) {
            cp = (cp << 6) | (static_cast<unsigned char>(text[i]) & 0x3F);
        }
        if (cp >= 0x10000) {
            cp -= 0x10000;
            out.push_back(static_cast<char16_t>(0xD800 + (cp >> 10)));
            out.push_back(static_cast<char16_t>(0xDC00 + (cp & 0x3FF)));
        } else {
            out.push_back(static_cast<char16_t>(cp));
        }
    }
    return out;
}

std::string Utf16ToUtf8(std::u16string_view text) {
    std::string out;
    for (std::size_t i = 0; i < text.size(); ++i) {
        std::uint32_t cp = text[i];
        if (cp >= 0xD800 && cp < 0xDC00 && i + 1 < text.size() && text[i + 1] >= 0xDC00 &&
            text[i + 1] < 0xE000) {
            cp = 0x10000 + ((cp - 0xD800) << 10) + (text[i + 1] - 0xDC00);
            ++i;
        }
        if (cp < 0x80) {
            out.push_back(static_cast<char>(cp));
        } else if (cp < 0x800) {
            out.push_back(static_cast<char>(0xC0 | (cp >> 6)));
            out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
        } else if (cp < 0x10000) {
            out.push_back(static_cast<char>(0xE0 | (cp >> 12)));
            out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
            out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
        } else {
            out.push_back(static_cast<char>(0xF0 | (cp >> 18)));
            out.push_back(static_cast<char>(0x80 | ((cp >> 12) & 0x3F)));
            out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
            out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
        }
    }
    return out;
}

}  // namespace ze
