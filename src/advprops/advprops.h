// The advanced property text reset: ParamDesc and enum texts under NDI\params,
// rewritten from the OEM INF's Strings section for the system language.
#pragma once

#include <string>

#include "common/result_codes.h"

namespace ze {

// Walks <driver key>\NDI\params and rewrites the texts of every property named in
// g_AdvanceSubKeyTable. 0 when the walk ran (also when a property ended it early),
// ZE_ERR_OPEN_KEY params key not openable, ZE_ERR_KEY_INFO its info unreadable,
// ZE_ERR_NOTHING_TO_DO no subkeys or a subkey not enumerable.
int ResetDriverAdvanceKey(std::u16string netId);

// The routines below read every display text from `oemInfPath`, the OEM INF that
// QueryOemInfPath located (empty when it could not: then no text is found).

// One advance subkey: its ParamDesc, then its enum texts. 0 handled,
// ZE_ERR_NOTHING_TO_DO name not in the table, ZE_ERR_FAILED any other failure (which
// ends the walk).
int ResetDriverAdvanceSubKey(std::u16string subKeyPath, std::u16string subKeyName,
                             const std::u16string& oemInfPath);

// Rewrites <subkey>\ParamDesc: 0, ZE_ERR_READ_VALUE unreadable, ZE_ERR_WRITE_VALUE
// write failed, ZE_ERR_NOTHING_TO_DO not in the table, ZE_ERR_FAILED text not in the
// INF.
int ResetDriverAdvanceParamDesc(std::u16string subKeyPath, std::u16string subKeyName,
                                const std::u16string& oemInfPath);

// Rewrites the values of <subkey>\enum: 0, ZE_ERR_OPEN_KEY key not openable,
// ZE_ERR_WRITE_VALUE write failed, ZE_ERR_KEY_INFO info unreadable,
// ZE_ERR_NOTHING_TO_DO not in the table, ZE_ERR_ENUM_VALUE value not enumerable,
// ZE_ERR_FAILED text not in the INF.
int ResetDriverAdvanceEnum(std::u16string subKeyPath, std::u16string subKeyName,
                           const std::u16string& oemInfPath);

// Sets *oemInfPath to <Windows dir>\inf\<InfPath of the driver key> and logs it: 0,
// ZE_ERR_READ_VALUE when InfPath cannot be read (missing, or 64 characters or
// more), ZE_ERR_NO_WINDOWS_DIRECTORY, or ZE_ERR_FAILED when the whole path would not
// fit the 260-character path buffer (it is refused, not cut). Each failure is logged
// and leaves *oemInfPath untouched.
int QueryOemInfPath(std::u16string netId, std::u16string* oemInfPath);
// The same path without logging, with the same results (on a failure other than
// ZE_ERR_READ_VALUE, *oemInfPath holds the InfPath text).
int LocateOemInf(const std::u16string& netId, std::u16string* oemInfPath);

// "Strings" for language 0409, "Strings.<language id>" otherwise.
std::u16string GetInfStringsSection();

// The text of an INF token in the system language's Strings section of the OEM INF,
// cut to the 255 characters a display text buffer holds; empty when not found.
std::u16string GetInfDisplayText(const std::u16string& token, const std::u16string& oemInfPath);

}  // namespace ze
