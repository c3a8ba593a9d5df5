// The country settings reset: the driver's country-dependent values, switched by
// the driver's option mask, then the platform settings file.
#pragma once

#include <string>

namespace ze {

int ResetCountrySettings(std::u16string netId);

}  // namespace ze
