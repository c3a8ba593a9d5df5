// Finding the adapter by hardware ID and restarting it by Net ID, through SetupAPI.
#pragma once

#include <string>

namespace ze {

// Finds the first present "Net" device whose first hardware ID contains hardwareId
// (ignoring case) and writes its four-character Net ID and a terminator to netId.
int FindNetIdByHwId(const char16_t* hardwareId, char16_t* netId);

// Whether the present "Net" device whose driver key name ends in netId is disabled
// (CONFIGFLAG_DISABLED in its SPDRP_CONFIGFLAGS; a device without them is not). 0 with
// *disabled set; otherwise the lookup's code (ZE_ERR_NO_ADAPTER when no present one
// has it) or ZE_ERR_FAILED when its flags cannot be read, each logged, *disabled
// untouched.
int QueryDeviceDisabled(const std::u16string& netId, bool* disabled);

// Disables (flag 0) or enables (any other flag) the present "Net" device whose
// driver key name ends in netId. ZE_ERR_NO_ADAPTER when no present one has it. When
// the change is done but the device installer asks for the computer to be restarted
// (DI_NEEDRESTART, DI_NEEDREBOOT), that is logged and *restartNeeded set to true; it
// is never set to false.
int EnableDevice(int flag, std::u16string netId, bool* restartNeeded = nullptr);

// Enables the adapter that this run disabled. The whole enable is tried again, after
// short growing waits (under 5 seconds in all), until it succeeds; 0 then, otherwise
// the last attempt's code, and the adapter left disabled is logged.
int EnableDeviceAgain(const std::u16string& netId, bool* restartNeeded = nullptr);

}  // namespace ze
