// The generated table and the suggestions for codes that are not in it.
#include "check/iso3166.h"

#include <algorithm>

#include "platform/names.h"

namespace ze {

namespace {

constexpr Iso3166Country kCountries[] = {
#include "iso3166_table.inc"
};

// The name's letters A to Z, upper-cased, up to its first comma ("Korea, Republic of"
// begins "KOREA"); other characters are skipped.
std::u16string NameLetters(std::u16string_view name) {
    std::u16string letters;
    for (char16_t c : name.substr(0, name.find(u','))) {
        char16_t upper = UpperLetter(c);
        if (upper >= u'A' && upper <= u'Z')
            letters.push_back(upper);
    }
    return letters;
}

using Match = bool (*)(std::u16string_view code, const Iso3166Country& country);

bool SameIgnoringCase(std::u16string_view code, const Iso3166Country& country) {
    return code == country.alpha3 || code == country.alpha2;
}

bool BeginsName(std::u16string_view code, const Iso3166Country& country) {
    return code.size() >= 3 && (NameLetters(country.name).starts_with(code) ||
                                NameLetters(country.commonName).starts_with(code));
}

bool Swapped(std::u16string_view code, const Iso3166Country& country) {
    std::u16string_view alpha3 = country.alpha3;
    if (code.size() != alpha3.size())
        return false;
    for (std::size_t i = 0; i + 1 < code.size(); ++i) {
        std::u16string swapped(code);
        std::swap(swapped[i], swapped[i + 1]);
        if (swapped == alpha3)
            return true;
    }
    return false;
}

bool OneLetterOff(std::u16string_view code, const Iso3166Country& country) {
    std::u16string_view alpha3 = country.alpha3;
    if (code.size() != alpha3.size())
        return false;
    std::size_t differences = 0;
    for (std::size_t i = 0; i < code.size(); ++i)
        differences += code[i] != alpha3[i];
    return differences == 1;
}

}  // namespace

std::span<const Iso3166Country> Iso3166Countries() {
    return kCountries;
}

const Iso3166Country* FindIso3166Alpha3(std::u16string_view alpha3) {
    auto found = std::find_if(std::begin(kCountries), std::end(kCountries),
                              [&](const Iso3166Country& c) { return alpha3 == c.alpha3; });
    return found == std::end(kCountries) ? nullptr : found;
}

std::vector<const Iso3166Country*> SuggestIso3166Alpha3(std::u16string_view code) {
    std::u16string upper = UpperCased(code);
    const struct {
        Match match;
        std::size_t most;  // more matches than this are no suggestion
    } kinds[] = {{SameIgnoringCase, 1}, {BeginsName, 3}, {Swapped, 3}, {OneLetterOff, 2}};
    for (const auto& kind : kinds) {
        std::vector<const Iso3166Country*> matches;
        for (const Iso3166Country& country : kCountries) {
            if (kind.match(upper, country))
                matches.push_back(&country);
        }
        if (!matches.empty() && matches.size() <= kind.most)
            return matches;
    }
    return {};
}

}  // namespace ze
