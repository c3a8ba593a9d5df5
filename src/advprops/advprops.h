// The advanced property text reset: ParamDesc and enum texts under NDI\params,
// rewritten from the OEM INF's Strings section for the system language.
#pragma once

#include <string>

namespace ze {

int ResetDriverAdvanceKey(std::u16string netId);

}  // namespace ze
