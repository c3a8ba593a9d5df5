// The commands of the command line besides the service operations: each is a small
// routine that takes the arguments after its name and returns the exit code.
#pragma once

#include <optional>
#include <span>
#include <string>
#include <string_view>

#include "common/run_inputs.h"
#include "platform/dryrun/dry_run_platform.h"

namespace ze {

using CommandArguments = std::span<char16_t* const>;
// Every command has this shape: the run's inputs, which the entry reads once, and the
// arguments after the command's name; it returns the exit code.
using Command = int (*)(const RunInputs& inputs, CommandArguments arguments);

// Exit codes of these commands.
constexpr int ZE_EXIT_CHANGES_PENDING = 1;  // /preview: a reset would change something
constexpr int ZE_EXIT_CHECK_ERRORS = 1;     // /check: the files have errors
constexpr int ZE_EXIT_USAGE = 87;  // an argument that names nothing (ERROR_INVALID_PARAMETER)

// True when the argument is the command, ignoring case.
bool IsCommand(const char16_t* argument, std::u16string_view command);

// Every command, its exit codes and the files the program uses.
std::u16string UsageText();

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
// becomes manual. Returns the sequence's result.
int RunDebug(const RunInputs& inputs, CommandArguments arguments);

// "/preview [json]": the reset of "/debug", run over the layer below.
int RunPreview(const RunInputs& inputs, CommandArguments arguments);

// The dry-run layer a preview runs over, installed for the object's life. The entry
// installs it before start-up, so that the whole run, start-up and log included,
// goes over it: the reset happens without changing the machine, and the log shows
// on standard error as the run writes it.
class PreviewLayer {
  public:
    // `arguments`: those after "/preview".
    explicit PreviewLayer(CommandArguments arguments);
    PreviewLayer(const PreviewLayer&) = delete;
    PreviewLayer& operator=(const PreviewLayer&) = delete;

    // Ends the dry run and lists on standard output, as text or JSON, what the run
    // would have changed. Returns the run's own code when it failed, otherwise 0 when
    // nothing would change and ZE_EXIT_CHANGES_PENDING when something would.
    int Report(int runResult);

  private:
    bool json_;
    DryRunPlatform layer_;
    std::optional<ScopedPlatform> scope_;
};

}  // namespace ze
