// UTF-16 text helpers with the semantics of the Windows routines the program was
// written against: wvsprintfW-style formatting, swscanf-style numeric scanning,
// _wtoi and _wcsupr.
#pragma once

#include <cstdarg>
#include <cstddef>
#include <string>
#include <string_view>

namespace ze {

// Formats like wvsprintfW: %s (const char16_t*), %c, %d/%i, %u, %x/%X, %%, with the
// flags '-', '0' and '#', a width and a precision, and the size prefixes l and h.
// Writes at most capacity - 1 characters and a terminator; returns the characters
// written (without terminator). Output that does not fit is cut.
int FormatV(char16_t* buffer, std::size_t capacity, const char16_t* format, va_list args);
int FormatTo(char16_t* buffer, std::size_t capacity, const char16_t* format, ...);
// The same into a string of any length.
std::u16string Format(const char16_t* format, ...);

// Scans like swscanf for the numeric formats the program uses: literal characters,
// white space, %d (int*) and %X/%x (unsigned*), each with an optional width.
// Returns the number of fields converted, or -1 when the input ends before the first.
int Scan(std::u16string_view text, const char16_t* format, ...);

// _wtoi: leading white space, an optional sign, decimal digits up to the first
// other character; no digits gives 0.
int Wtoi(std::u16string_view text);

// _wcsupr: upper-cases the letters a to z in place.
void WcsUpr(std::u16string& text);
void WcsUpr(char16_t* text);

// Length of a terminated UTF-16 text within a buffer of `capacity` units.
std::size_t BoundedLength(const char16_t* text, std::size_t capacity);

// Conversions used only at the edges (command line, console, persistence).
std::u16string Utf8ToUtf16(std::string_view text);
std::string Utf16ToUtf8(std::u16string_view text);

}  // namespace ze
