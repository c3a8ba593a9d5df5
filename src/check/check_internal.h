// Reading profile files for the checker, through the profile functions.
#pragma once

#include <string>
#include <vector>

#include "check/check.h"

namespace ze {

// The data file's per-country sections; a country listed in one is expected in the
// others.
inline constexpr const char16_t* kCountrySections[] = {u"RegionChannel2_4G", u"RegionChannel5G",
                                                       u"CountryTxPwr", u"CountryTxPwr5G",
                                                       u"CountryWirelessMode"};

// The section names of a profile file, in file order.
std::vector<std::u16string> ProfileSections(const std::u16string& path);
// The key names of a section, in file order.
std::vector<std::u16string> ProfileKeyNames(const std::u16string& section,
                                            const std::u16string& path);
// The 1-based line of the key in the section, 0 when it cannot be told.
int ProfileLine(const std::u16string& path, const std::u16string& section,
                const std::u16string& key);
// The checker reads each file's bytes once; a new check starts afresh.
void ForgetFileBytes();
// Findings about bytes the profile functions misread: NUL bytes without a UTF-16
// byte-order mark, an odd UTF-16 byte count, a UTF-8 byte-order mark (an error:
// Windows reads the file as ANSI, mark included), UTF-8 text with non-ASCII
// characters (read as ANSI).
void CheckEncoding(const std::u16string& path, CheckReport* report);
// True when the file exists, is a file and has a section the profile functions
// read; otherwise a finding says why.
bool ReadableProfile(const std::u16string& path, CheckReport* report);
// What keeps a platform settings file's RegValue from being written as its RegType
// says, or nothing.
std::u16string PlatformValueProblem(const std::u16string& typeText,
                                    const std::u16string& valueText);

}  // namespace ze
