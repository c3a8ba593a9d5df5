// The codes the program's operations return besides 0 (success): one numbering that
// every subsystem shares, so that a code means the same wherever it comes from. The
// service's own codes are named in service/service.h (ZE_SVC_ERR_*, -101 to -109),
// the command line's exit codes in commands/commands.h and main/program.h.
#pragma once

namespace ze {

constexpr int ZE_ERR_OPEN_KEY = -4;        // a registry key cannot be opened
constexpr int ZE_ERR_READ_VALUE = -5;      // a registry value cannot be read
constexpr int ZE_ERR_WRITE_VALUE = -6;     // a registry value or settings entry cannot be written
constexpr int ZE_ERR_NO_DEVICE_SET = -7;   // no device information set
constexpr int ZE_ERR_KEY_INFO = -10;       // a registry key's information cannot be read
constexpr int ZE_ERR_NOTHING_TO_DO = -11;  // nothing to do, or a name outside the tables
constexpr int ZE_ERR_ENUM_VALUE = -12;     // a registry value cannot be enumerated
constexpr int ZE_ERR_NO_WINDOWS_DIRECTORY = -13;  // so the OEM INF cannot be located
constexpr int ZE_ERR_NO_ADAPTER = -14;            // no present adapter has the Net ID
constexpr int ZE_ERR_FAILED = -999;               // any other failure

}  // namespace ze
