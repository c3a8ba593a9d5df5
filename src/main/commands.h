// The commands of the command line besides the service operations: each is a small
// routine that takes the arguments after its name and returns the exit code.
#pragma once

#include <span>
#include <string>
#include <string_view>

namespace ze {

using CommandArguments = std::span<char16_t* const>;

// Exit codes of these commands.
constexpr int ZE_EXIT_CHANGES_PENDING = 1;  // /preview: a reset would change something
constexpr int ZE_EXIT_CHECK_ERRORS = 1;     // /check: the files have errors
constexpr int ZE_EXIT_USAGE = 87;  // an argument that names nothing (ERROR_INVALID_PARAMETER)

// True when the argument is the command, ignoring case.
bool IsCommand(const char16_t* argument, std::u16string_view command);

// Every command, its exit codes and the files the program uses.
std::u16string UsageText();

// "/?", "/help", "-h", "--help": the usage on standard output; 0.
int RunHelp(CommandArguments arguments);
// "/version": the program's version on standard output; 0.
int RunVersion(CommandArguments arguments);

// "/check [FILE]": checks the data files the reset reads (the country data file, the
// recorded adapter's driver values, platform settings file and OEM INF), or the one
// data or platform FILE; then the country table. 0 when there is no error (warnings
// do not count), ZE_EXIT_CHECK_ERRORS otherwise.
int RunCheck(CommandArguments arguments);

// "/preview [json]": runs `program` (the whole process entry, start-up included) over
// the dry-run layer, so that the reset "/debug" would make happens without changing
// the machine; its log goes to standard error. Then lists on standard output what
// would change. Returns the run's own code when it failed, otherwise 0 when nothing
// would change and ZE_EXIT_CHANGES_PENDING when something would.
int RunPreview(int argc, char16_t** argv, int (*program)(int argc, char16_t** argv));

}  // namespace ze
