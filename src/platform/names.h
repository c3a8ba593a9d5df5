// Names as Windows compares them: ignoring case (registry keys and values, files,
// sections, services, command-line switches), and '\'-separated key paths. The one
// place these rules are written; the simulated machine, the dry run and the program's
// own comparisons all use it.
#pragma once

#include <algorithm>
#include <string>
#include <string_view>
#include <vector>

namespace ze {

inline char16_t UpperLetter(char16_t c) {
    return (c >= u'a' && c <= u'z') ? static_cast<char16_t>(c - 32) : c;
}

// The text with a to z upper-cased, as _wcsupr does in the "C" locale.
inline std::u16string UpperCased(std::u16string_view text) {
    std::u16string upper(text);
    std::transform(upper.begin(), upper.end(), upper.begin(), UpperLetter);
    return upper;
}

// The upper case of a code unit beyond ASCII as Windows folds names (name_case.cpp).
char16_t FoldedNonAscii(char16_t c);

// A code unit of a name as Windows compares it: upper-cased, beyond ASCII too (Ä and
// ä, Ω and ω are one), each UTF-16 code unit on its own.
inline char16_t FoldedLetter(char16_t c) {
    return c < 0x80 ? UpperLetter(c) : FoldedNonAscii(c);
}

inline std::u16string FoldedName(std::u16string_view text) {
    std::u16string folded(text);
    std::transform(folded.begin(), folded.end(), folded.begin(), FoldedLetter);
    return folded;
}

inline bool EqualsIgnoreCase(std::u16string_view a, std::u16string_view b) {
    return a.size() == b.size() &&
           std::equal(a.begin(), a.end(), b.begin(),
                      [](char16_t x, char16_t y) { return FoldedLetter(x) == FoldedLetter(y); });
}

// Where Windows keeps its service database.
inline constexpr char16_t kServicesKeyPath[] = u"SYSTEM\\CurrentControlSet\\Services";

// Splits a path at '\', skipping empty parts.
inline std::vector<std::u16string> SplitKeyPath(std::u16string_view path) {
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

// Subkeys enumerate in the order of their folded names (UTF-16 code units).
inline bool KeyNameLess(std::u16string_view a, std::u16string_view b) {
    return FoldedName(a) < FoldedName(b);
}

inline std::u16string JoinKeyPath(std::u16string_view parent, std::u16string_view child) {
    std::u16string path(parent);
    if (!path.empty())
        path += u'\\';
    return path.append(child);
}

// The path with its empty parts dropped, as the registry reads "a\\b\" as a\b.
inline std::u16string NormalisedKeyPath(std::u16string_view path) {
    std::u16string result;
    for (const auto& part : SplitKeyPath(path))
        result = JoinKeyPath(result, part);
    return result;
}

// The path of the key's parent ("" for a key right below the root) and the key's own name.
inline std::u16string ParentKeyPath(std::u16string_view path) {
    std::size_t slash = path.rfind(u'\\');
    return std::u16string(slash == std::u16string_view::npos ? u"" : path.substr(0, slash));
}

inline std::u16string LeafKeyName(std::u16string_view path) {
    std::size_t slash = path.rfind(u'\\');
    return std::u16string(slash == std::u16string_view::npos ? path : path.substr(slash + 1));
}

}  // namespace ze
