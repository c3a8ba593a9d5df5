// ISO 3166-1 country codes, compiled in from iso-codes' table at build time: the
// country data file names countries by alpha-3 code, the regulatory database by
// alpha-2.
#pragma once

#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace ze {

struct Iso3166Country {
    const char16_t* alpha2;
    const char16_t* alpha3;
    const char16_t* name;
    const char16_t* commonName;  // empty when the name is the common one
};

std::span<const Iso3166Country> Iso3166Countries();

// The country of an alpha-3 code, exactly as ISO spells it (upper case), or null.
const Iso3166Country* FindIso3166Alpha3(std::u16string_view alpha3);

// The countries a code that is no alpha-3 code was likely meant to name, best first,
// at most three; none when nothing is close. Close is, in this order: the code in
// another case, an alpha-2 code, the first letters of a country's name (GER for
// Germany), two letters swapped, one letter off (only when that leaves two at most).
std::vector<const Iso3166Country*> SuggestIso3166Alpha3(std::u16string_view code);

}  // namespace ze
