// The commands of the command line: each is one small routine of the same shape,
// which the entry dispatches to by the first argument.
#pragma once

#include <span>
#include <string>
#include <string_view>

#include "common/run_inputs.h"
#include "platform/names.h"

namespace ze {

using CommandArguments = std::span<char16_t* const>;
// Every command has this shape: the run's inputs, which the entry reads once, and the
// arguments after the command's name; it returns the exit code.
using Command = int (*)(const RunInputs& inputs, CommandArguments arguments);

// Exit codes of these commands.
constexpr int ZE_EXIT_CHANGES_PENDING = 1;  // /preview: a reset would change something
constexpr int ZE_EXIT_CHECK_ERRORS = 1;     // /check: the files have errors
constexpr int ZE_EXIT_PREVIEW_FAILED = 2;  // /preview: the reset would fail, or cannot be previewed
constexpr int ZE_EXIT_USAGE = 87;  // an argument that names nothing (ERROR_INVALID_PARAMETER)
constexpr int ZE_EXIT_NOT_ELEVATED = -110;  // a command that changes the machine, run without
                                            // administrator rights

// True when the argument is the command, ignoring case.
inline bool IsCommand(const char16_t* argument, std::u16string_view command) {
    return EqualsIgnoreCase(argument, command);
}

// Every command, its exit codes and the files the program uses.
std::u16string UsageText();
// Refuses the command line: the reason and the usage on standard error, the reason
// in the log; ZE_EXIT_USAGE.
int RefuseUsage(const std::u16string& reason);

// A failed command's result in words ("the service cannot be started").
std::u16string FailureReason(int result);
// When `result` is not 0, prints one line on standard error: the command, that it
// failed, why (`reason`, or the result in words) and the result. Returns `result`.
int ReportFailure(std::u16string_view command, int result, std::u16string_view reason = {});

// 0 when the process runs with administrative rights; otherwise says so on standard
// error and in the log and returns ZE_EXIT_NOT_ELEVATED.
int RefuseWithoutAdministrator();

// The command, run only with administrative rights (RefuseWithoutAdministrator).
template <Command run>
int AsAdministrator(const RunInputs& inputs, CommandArguments arguments) {
    if (int refused = RefuseWithoutAdministrator())
        return refused;
    return run(inputs, arguments);
}

// "/install", "/uninstall" (a stop first, whose result is not used), "/start" and
// "/stop": the service operation's result.
int RunInstall(const RunInputs& inputs, CommandArguments arguments);
int RunUninstall(const RunInputs& inputs, CommandArguments arguments);
int RunStart(const RunInputs& inputs, CommandArguments arguments);
int RunStop(const RunInputs& inputs, CommandArguments arguments);

// "/?", "/help", "-h", "--help": the usage on standard output; 0.
int RunHelp(const RunInputs& inputs, CommandArguments arguments);
// "/version": the program's version on standard output; 0.
int RunVersion(const RunInputs& inputs, CommandArguments arguments);

// "/check [FILE]": checks the data files the reset reads (the country data file, the
// recorded adapter's driver values, platform settings file and OEM INF), or the one
// data or platform FILE; then the country table. 0 when there is no error (warnings
// do not count), ZE_EXIT_CHECK_ERRORS otherwise.
int RunCheck(const RunInputs& inputs, CommandArguments arguments);

// "/debug": the reset sequence on the calling thread, then the service's start type
// becomes manual. Returns the sequence's result; RunDebug also says at the console
// when it failed.
int RunDebugReset(const RunInputs& inputs);
int RunDebug(const RunInputs& inputs, CommandArguments arguments);

// "/preview [json]": the reset of "/debug", run over the PreviewLayer (preview.h)
// that the entry installed. Any other format is refused with ZE_EXIT_USAGE.
int RunPreview(const RunInputs& inputs, CommandArguments arguments);

// Any other argument, `arguments[0]`, is a hardware ID: the Net ID of the first
// present network adapter whose first hardware ID contains it is recorded in the
// settings file. 0, the lookup's code when it found none (the recorded Net ID is
// kept), ZE_ERR_WRITE_VALUE when the settings file cannot be written, ZE_EXIT_USAGE
// for an empty ID or one that starts with '/' or '-' (a mistyped command: no
// hardware ID starts with either), then ZE_EXIT_NOT_ELEVATED without administrator
// rights.
int RunHardwareId(const RunInputs& inputs, CommandArguments arguments);

}  // namespace ze
