#include "common/text.h"

#include <algorithm>
#include <climits>
#include <cstdint>

#include "platform/names.h"

namespace ze {
namespace {

// ---- formatting ----

// Formatted output with room for at most `limit` characters; the rest is dropped.
class Sink {
  public:
    explicit Sink(std::size_t limit) : limit_(limit) {}
    void Put(char16_t c) {
        if (out_.size() < limit_)
            out_.push_back(c);
    }
    void Put(char16_t c, std::size_t count) {
        for (std::size_t i = 0; i < count; ++i)
            Put(c);
    }
    void Put(std::u16string_view text) {
        for (char16_t c : text)
            Put(c);
    }
    std::size_t Remaining() const { return limit_ - out_.size(); }
    bool Full() const { return out_.size() >= limit_; }
    const std::u16string& Text() const { return out_; }

  private:
    std::size_t limit_;
    std::u16string out_;
};

enum class Size { Default, Long, Short, Wide, Int64, IntPtr };

struct Field {
    bool left = false;
    bool alternate = false;
    bool zero = false;
    std::size_t width = 0;
    std::size_t precision = 0;  // 0: none
    Size size = Size::Default;
    char16_t type = 0;  // 0: unknown conversion, left in the format as ordinary text
};

// Reads decimal digits; saturates far beyond any buffer so a silly width cannot overflow.
const char16_t* ReadCount(const char16_t* p, std::size_t& out) {
    for (; *p >= u'0' && *p <= u'9'; ++p) {
        out = std::min<std::size_t>(out * 10 + static_cast<std::size_t>(*p - u'0'), 1u << 20);
    }
    return p;
}

// Consumes `c` at p if it is there.
bool Take(const char16_t*& p, char16_t c) {
    if (*p != c)
        return false;
    ++p;
    return true;
}

const char16_t* ParseField(const char16_t* p, Field& f) {
    f.left = Take(p, u'-');
    f.alternate = Take(p, u'#');
    f.zero = Take(p, u'0');
    p = ReadCount(p, f.width);
    if (Take(p, u'.'))
        p = ReadCount(p, f.precision);
    if (Take(p, u'l')) {
        f.size = Size::Long;
    } else if (Take(p, u'h')) {
        f.size = Size::Short;
    } else if (Take(p, u'w')) {
        f.size = Size::Wide;
    } else if (Take(p, u'I')) {
        if (p[0] == u'6' && p[1] == u'4') {
            f.size = Size::Int64;
            p += 2;
        } else if (p[0] == u'3' && p[1] == u'2') {
            p += 2;
        } else {
            f.size = Size::IntPtr;
        }
    }
    if (*p == u'\0' || std::u16string_view(u"cCsSdiuxXp").find(*p) == std::u16string_view::npos) {
        return p;
    }
    f.type = *p;
    return p + 1;
}

char16_t AnsiChar(char c) {
    // Windows-1252 0x80..0x9F; the five unassigned bytes map to the C1 controls.
    static constexpr char16_t kHigh[32] = {
        0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
        0x2039, 0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
        0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};
    auto byte = static_cast<unsigned char>(c);
    return byte >= 0x80 && byte < 0xA0 ? kHigh[byte - 0x80] : static_cast<char16_t>(byte);
}

// The characters a string or character conversion prints (before cutting to fit).
std::u16string TextArgument(const Field& f, va_list* ap) {
    bool narrow;
    if (f.type == u'c' || f.type == u'C') {
        narrow = f.type == u'c' ? f.size == Size::Short : f.size != Size::Long;
        int value = va_arg(*ap, int);
        return std::u16string(
            1, narrow ? AnsiChar(static_cast<char>(value)) : static_cast<char16_t>(value));
    }
    narrow = f.type == u's' ? f.size == Size::Short : f.size != Size::Long && f.size != Size::Wide;
    std::size_t limit = f.precision > 0 ? f.precision : SIZE_MAX;
    std::u16string out;
    if (narrow) {
        const char* text = va_arg(*ap, const char*);
        if (text == nullptr)
            text = "(null)";
        for (std::size_t i = 0; i < limit && text[i] != '\0'; ++i)
            out.push_back(AnsiChar(text[i]));
    } else {
        const char16_t* text = va_arg(*ap, const char16_t*);
        if (text == nullptr)
            text = u"(null)";
        for (std::size_t i = 0; i < limit && text[i] != u'\0'; ++i)
            out.push_back(text[i]);
    }
    return out;
}

// Sign (if any) and digits of a numeric conversion.
std::u16string NumberArgument(const Field& f, va_list* ap) {
    std::int64_t value = f.size == Size::IntPtr
                             ? static_cast<std::int64_t>(va_arg(*ap, std::intptr_t))
                         : f.size == Size::Int64 ? static_cast<std::int64_t>(va_arg(*ap, long long))
                                                 : va_arg(*ap, int);
    bool negative = (f.type == u'd' || f.type == u'i') && value < 0;
    std::uint64_t magnitude =
        negative ? 0 - static_cast<std::uint64_t>(value) : static_cast<std::uint64_t>(value);
    if (f.size == Size::IntPtr) {
        magnitude = static_cast<std::uintptr_t>(magnitude);
    } else if (f.size != Size::Int64) {
        magnitude = static_cast<std::uint32_t>(magnitude);
    }
    bool hex = f.type == u'x' || f.type == u'X' || f.type == u'p';
    const char* digits = f.type == u'x' ? "0123456789abcdef" : "0123456789ABCDEF";
    std::u16string out;
    do {
        out.insert(out.begin(), static_cast<char16_t>(digits[magnitude % (hex ? 16 : 10)]));
        magnitude /= hex ? 16 : 10;
    } while (magnitude != 0);
    if (negative)
        out.insert(out.begin(), u'-');
    return out;
}

// One conversion. Widths and lengths are first cut to the room left, as wvsprintfW
// does, so a field that does not fit keeps its text rather than its padding.
void EmitField(Sink& sink, Field f, va_list* ap) {
    std::size_t room = sink.Remaining();
    if (f.left)
        f.zero = false;
    f.width = std::min(f.width, room);
    if (f.type == 0) {
        if (!f.left && f.width > f.precision)
            sink.Put(u' ', f.width - f.precision);
        return;
    }
    if (f.type == u'p') {
        f.width = std::min<std::size_t>(2 * sizeof(void*), room);
        f.zero = true;
        f.size = Size::IntPtr;
    }
    bool numeric = f.type != u'c' && f.type != u'C' && f.type != u's' && f.type != u'S';
    std::u16string body = numeric ? NumberArgument(f, ap) : TextArgument(f, ap);
    std::size_t length = std::min(body.size(), room);
    std::size_t span = length;  // characters the field occupies before padding
    if (numeric) {
        span = std::min(std::max(f.precision, length), room);
        if (f.zero && f.width > span)
            span = f.width;
    }
    std::size_t pad = f.width > span ? f.width - span : 0;
    if (!f.left)
        sink.Put(u' ', pad);
    if (numeric && f.alternate && f.type != u'd' && f.type != u'i' && f.type != u'u') {
        sink.Put(f.type == u'x' ? u"0x" : u"0X");
    }
    std::size_t start = 0;
    if (numeric && body[0] == u'-') {
        sink.Put(u'-');
        start = 1;
    }
    sink.Put(u'0', span - length);
    sink.Put(std::u16string_view(body).substr(start, length - start));
    if (f.left)
        sink.Put(u' ', pad);
}

void FormatInto(Sink& sink, const char16_t* p, va_list* ap) {
    while (*p != u'\0' && !sink.Full()) {
        if (*p != u'%') {
            sink.Put(*p++);
            continue;
        }
        ++p;
        if (*p == u'%') {
            sink.Put(*p++);
            continue;
        }
        Field field;
        p = ParseField(p, field);
        EmitField(sink, field, ap);
    }
}

}  // namespace

int FormatV(char16_t* buffer, std::size_t capacity, const char16_t* format, va_list args) {
    if (capacity == 0)
        return 0;
    Sink sink(capacity - 1);
    va_list ap;
    va_copy(ap, args);
    FormatInto(sink, format, &ap);
    va_end(ap);
    const std::u16string& text = sink.Text();
    std::copy(text.begin(), text.end(), buffer);
    buffer[text.size()] = u'\0';
    return sink.Full() ? static_cast<int>(capacity) : static_cast<int>(text.size());
}

int FormatTo(char16_t* buffer, std::size_t capacity, const char16_t* format, ...) {
    va_list args;
    va_start(args, format);
    int length = FormatV(buffer, capacity, format, args);
    va_end(args);
    return length;
}

std::u16string Format(const char16_t* format, ...) {
    Sink sink(SIZE_MAX);
    va_list args;
    va_start(args, format);
    FormatInto(sink, format, &args);
    va_end(args);
    return sink.Text();
}

// ---- scanning and numbers ----

namespace {

// The white space of iswspace in the C runtime.
bool IsSpace(char16_t c) {
    return c == u' ' || (c >= u'\t' && c <= u'\r') || c == 0x00A0 || c == 0x1680 ||
           (c >= 0x2000 && c <= 0x200A) || c == 0x2028 || c == 0x2029 || c == 0x202F ||
           c == 0x205F || c == 0x3000;
}

std::size_t SkipSpace(std::u16string_view text, std::size_t pos) {
    while (pos < text.size() && IsSpace(text[pos]))
        ++pos;
    return pos;
}

int DigitValue(char16_t c, unsigned base) {
    int value = c >= u'0' && c <= u'9'   ? c - u'0'
                : c >= u'a' && c <= u'f' ? c - u'a' + 10
                : c >= u'A' && c <= u'F' ? c - u'A' + 10
                                         : -1;
    return value < static_cast<int>(base) ? value : -1;
}

struct ScanField {
    bool skip = false;
    std::size_t width = 0;  // 0: unlimited
    unsigned base = 10;     // 0: from the prefix, as %i
    bool isSigned = true;
};

// Parses a conversion after '%'; returns its last character, or nullptr when it is
// not one of the numeric conversions.
const char16_t* ParseScanField(const char16_t* f, ScanField& field) {
    field.skip = Take(f, u'*');
    f = ReadCount(f, field.width);
    if (*f == u'l')
        ++f;
    switch (*f) {
        case u'd':
            break;
        case u'i':
            field.base = 0;
            break;
        case u'u':
            field.isSigned = false;
            break;
        case u'o':
            field.base = 8;
            field.isSigned = false;
            break;
        case u'x':
        case u'X':
            field.base = 16;
            field.isSigned = false;
            break;
        default:
            return nullptr;
    }
    return f;
}

// Reads one integer of at most `width` characters at `pos`; false when no digit came.
bool ScanInteger(std::u16string_view text, std::size_t& pos, const ScanField& field,
                 std::uint32_t& out) {
    std::size_t limit = field.width > 0 ? std::min(text.size(), pos + field.width) : text.size();
    bool negative = false;
    if (pos < limit && (text[pos] == u'-' || text[pos] == u'+')) {
        negative = text[pos++] == u'-';
    }
    unsigned base = field.base;
    if ((base == 16 || base == 0) && pos < limit && text[pos] == u'0') {
        if (pos + 1 < limit && (text[pos + 1] == u'x' || text[pos + 1] == u'X')) {
            pos += 2;  // a "0x" without hex digits after it is no number at all
            base = 16;
        } else if (base == 0) {
            base = 8;
        }
    }
    if (base == 0)
        base = 10;
    std::uint32_t value = 0;
    bool any = false;
    for (int digit; pos < limit && (digit = DigitValue(text[pos], base)) >= 0; ++pos) {
        value = value * base + static_cast<std::uint32_t>(digit);
        any = true;
    }
    out = negative ? 0u - value : value;
    return any;
}

// The decimal digit value of c as _wtoi reads it (ASCII and the digit blocks of the
// scripts the C runtime knows), or -1.
int WideDigit(char16_t c) {
    static constexpr char16_t kZeros[] = {0x0030, 0x0660, 0x06F0, 0x0966, 0x09E6, 0x0A66,
                                          0x0AE6, 0x0B66, 0x0C66, 0x0CE6, 0x0D66, 0x0E50,
                                          0x0ED0, 0x0F20, 0x1040, 0x17E0, 0x1810, 0xFF10};
    for (char16_t zero : kZeros) {
        if (c >= zero && c <= zero + 9)
            return c - zero;
    }
    return -1;
}

}  // namespace

int Scan(std::u16string_view text, const char16_t* format, ...) {
    if (*format != u'\0' && text.empty())
        return -1;
    va_list args;
    va_start(args, format);
    int stored = 0;
    std::size_t pos = 0;
    for (const char16_t* f = format; *f != u'\0'; ++f) {
        if (IsSpace(*f)) {
            pos = SkipSpace(text, pos);
            continue;
        }
        if (*f != u'%' || f[1] == u'%') {
            if (*f == u'%')
                ++f;
            if (pos >= text.size() || text[pos] != *f)
                break;
            ++pos;
            continue;
        }
        if (f[1] == u'n') {
            *va_arg(args, int*) = static_cast<int>(pos);
            ++f;
            continue;
        }
        ScanField field;
        f = ParseScanField(f + 1, field);
        std::uint32_t value = 0;
        if (f == nullptr)
            break;
        pos = SkipSpace(text, pos);
        if (!ScanInteger(text, pos, field, value))
            break;
        if (field.skip)
            continue;
        if (field.isSigned) {
            *va_arg(args, int*) = static_cast<int>(value);
        } else {
            *va_arg(args, unsigned*) = value;
        }
        ++stored;
    }
    va_end(args);
    return stored;
}

int Wtoi(std::u16string_view text, std::size_t* consumed) {
    std::size_t pos = SkipSpace(text, 0);
    bool negative = false;
    if (pos < text.size() && (text[pos] == u'-' || text[pos] == u'+')) {
        negative = text[pos++] == u'-';
    }
    std::int64_t value = 0;
    const std::int64_t limit = negative ? -static_cast<std::int64_t>(INT_MIN) : INT_MAX;
    std::size_t firstDigit = pos;
    for (int digit; pos < text.size() && (digit = WideDigit(text[pos])) >= 0; ++pos) {
        value = std::min(value * 10 + digit, limit);
    }
    if (consumed != nullptr)
        *consumed = pos > firstDigit ? pos : 0;
    return static_cast<int>(negative ? -value : value);
}

void WcsUpr(std::u16string& text) {
    WcsUpr(text.data());
}

void WcsUpr(char16_t* text) {
    for (; *text != u'\0'; ++text)
        *text = UpperLetter(*text);
}

std::size_t BoundedLength(const char16_t* text, std::size_t capacity) {
    std::size_t length = 0;
    while (length < capacity && text[length] != u'\0')
        ++length;
    return length;
}

// ---- conversions ----

namespace {

constexpr char16_t kReplacement = 0xFFFD;

void AppendCodePoint(std::u16string& out, std::uint32_t cp) {
    if (cp >= 0x10000) {
        cp -= 0x10000;
        out.push_back(static_cast<char16_t>(0xD800 + (cp >> 10)));
        out.push_back(static_cast<char16_t>(0xDC00 + (cp & 0x3FF)));
    } else {
        out.push_back(static_cast<char16_t>(cp));
    }
}

// Decodes one UTF-8 sequence at text[i]; an ill-formed one yields U+FFFD for its
// longest valid-looking start (at least one byte).
std::uint32_t DecodeUtf8(std::string_view text, std::size_t& i) {
    auto lead = static_cast<unsigned char>(text[i++]);
    if (lead < 0x80)
        return lead;
    int extra = lead >= 0xC2 && lead <= 0xDF   ? 1
                : lead >= 0xE0 && lead <= 0xEF ? 2
                : lead >= 0xF0 && lead <= 0xF4 ? 3
                                               : 0;
    if (extra == 0)
        return kReplacement;
    // The second byte's range excludes overlong forms, surrogates and code points past U+10FFFF.
    unsigned char low = lead == 0xE0 ? 0xA0 : lead == 0xF0 ? 0x90 : 0x80;
    unsigned char high = lead == 0xED ? 0x9F : lead == 0xF4 ? 0x8F : 0xBF;
    std::uint32_t cp = lead & (0x3F >> extra);
    for (int k = 0; k < extra; ++k, low = 0x80, high = 0xBF) {
        if (i >= text.size())
            return kReplacement;
        auto byte = static_cast<unsigned char>(text[i]);
        if (byte < low || byte > high)
            return kReplacement;
        cp = (cp << 6) | (byte & 0x3F);
        ++i;
    }
    return cp;
}

}  // namespace

std::u16string Utf8ToUtf16(std::string_view text) {
    std::u16string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size();) {
        AppendCodePoint(out, DecodeUtf8(text, i));
    }
    return out;
}

std::string Utf16ToUtf8(std::u16string_view text) {
    std::string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        std::uint32_t cp = text[i];
        if (cp >= 0xD800 && cp < 0xDC00 && i + 1 < text.size() && text[i + 1] >= 0xDC00 &&
            text[i + 1] < 0xE000) {
            cp = 0x10000 + ((cp - 0xD800) << 10) + (text[++i] - 0xDC00);
        } else if (cp >= 0xD800 && cp < 0xE000) {
            cp = kReplacement;
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

std::u16string AnsiToUtf16(std::string_view text) {
    std::u16string out;
    out.reserve(text.size());
    for (char c : text)
        out.push_back(AnsiChar(c));
    return out;
}

std::string Utf16ToAnsi(std::u16string_view text) {
    std::string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        char16_t c = text[i];
        char byte = '?';
        if (c < 0x80 || (c >= 0xA0 && c <= 0xFF)) {
            byte = static_cast<char>(c);
        } else {
            for (int b = 0x80; b < 0xA0; ++b) {
                if (AnsiChar(static_cast<char>(b)) == c)
                    byte = static_cast<char>(b);
            }
        }
        // A surrogate pair is one character and becomes one '?'.
        if (c >= 0xD800 && c < 0xDC00 && i + 1 < text.size() && text[i + 1] >= 0xDC00 &&
            text[i + 1] < 0xE000) {
            ++i;
        }
        out.push_back(byte);
    }
    return out;
}

}  // namespace ze
