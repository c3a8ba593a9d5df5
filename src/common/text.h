// UTF-16 text helpers with the semantics of the Windows routines the program was
// written against: wvsprintfW-style formatting, swscanf-style numeric scanning,
// _wtoi and _wcsupr.
#pragma once

#include <cstdarg>
#include <cstddef>
#include <string>
#include <string_view>

namespace ze {

// wvsprintfW never writes more than this many characters, terminator included.
constexpr std::size_t kWvsprintfCapacity = 1024;

// Formats like wvsprintfW. Conversions: %c %C %s %S %d %i %u %x %X %p and %%; flags,
// in this order only, '-' then '#' then '0'; a width; a precision ('.' and digits);
// one size prefix of l, h, w, I64, I32 or I. %s takes const char16_t*, %hs and %S a
// const char* in Windows-1252; a null string prints as "(null)". No '+', ' ' or '*'.
// The sign counts towards the precision ("%.3d" of -5 is "-05"), '0' pads numbers
// only, and "%#x" prints its prefix outside the width, also for 0. An unknown
// conversion character is printed as it stands (after right-aligned padding).
// Writes at most capacity - 1 characters and a terminator. Returns the number of
// characters written; when the output filled the buffer (capacity - 1 characters,
// possibly cut) it returns capacity, as wvsprintfW returns 1024.
int FormatV(char16_t* buffer, std::size_t capacity, const char16_t* format, va_list args);
int FormatTo(char16_t* buffer, std::size_t capacity, const char16_t* format, ...);
// The same rules into a string of any length (no capacity).
std::u16string Format(const char16_t* format, ...);

// Scans like swscanf for numeric formats: literal characters, white space (matches
// any run, also none), %% and the conversions %d %i %u %o %x %X, each with an
// optional '*' (skip), width and 'l'. %d/%i/%u/%o store through int*, %x/%X through
// unsigned*. Values wrap modulo 2^32; the width counts a sign and a "0x" prefix.
// %n stores through int* how many characters were read so far, and is not counted.
// Returns the number of fields stored, or -1 when the input is empty.
int Scan(std::u16string_view text, const char16_t* format, ...);

// Scan that must use the whole text: true when every field was stored and no
// character is left over. `format` must not hold %n or '*'.
template <typename... Out>
bool ScanWhole(std::u16string_view text, std::u16string_view format, Out*... out) {
    int consumed = -1;
    std::u16string whole = std::u16string(format) + u"%n";
    int fields = Scan(text, whole.c_str(), out..., &consumed);
    return fields == static_cast<int>(sizeof...(Out)) && consumed == static_cast<int>(text.size());
}

// _wtoi: leading white space, an optional sign, then decimal digits (ASCII and the
// other Unicode decimal digit ranges _wtoi accepts, such as fullwidth digits) up to
// the first other character; no digits gives 0; out of range gives INT_MAX/INT_MIN.
// *consumed, when given, receives how many characters the number took (0 without
// digits).
int Wtoi(std::u16string_view text, std::size_t* consumed = nullptr);

// _wcsupr: upper-cases the letters a to z in place (nothing else, as in the C locale).
void WcsUpr(std::u16string& text);
void WcsUpr(char16_t* text);

// Length of a terminated UTF-16 text within a buffer of `capacity` units.
std::size_t BoundedLength(const char16_t* text, std::size_t capacity);

// Conversions used only at the edges (command line, console, persistence). Invalid
// UTF-8 and unpaired surrogates become U+FFFD, as MultiByteToWideChar and
// WideCharToMultiByte do with CP_UTF8.
std::u16string Utf8ToUtf16(std::string_view text);
std::string Utf16ToUtf8(std::u16string_view text);

// Windows-1252, the ANSI code page of an English Windows. Characters it cannot hold
// become '?' (Windows first tries a look-alike, e.g. U+0100 gives 'A'; not reproduced).
std::u16string AnsiToUtf16(std::string_view text);
std::string Utf16ToAnsi(std::u16string_view text);

}  // namespace ze
