// Service processes of a persisted machine: finding the executable a service's
// ImagePath names, launching it detached with the start token in its environment, and
// telling whether it still runs.
#pragma once

#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace ze::sim {

// The environment variable through which a launched service process learns which
// start it may connect for.
inline constexpr char kServiceStartTokenVariable[] = "ZEREGION_SERVICE_START";

// A token no other start of any process will use.
std::string NewStartToken();

// The program an ImagePath names, as Windows finds it: a quoted path is taken whole;
// unquoted, each prefix that ends at a space is tried, shortest first, and the first
// that names a file runs. `hostPath` maps a Windows path into the machine; the
// program's own module (`modulePath`) is this Linux program, wherever it lives.
std::optional<std::filesystem::path> ExecutableOf(
    std::u16string_view imagePath, std::u16string_view modulePath,
    const std::function<std::filesystem::path(std::u16string_view)>& hostPath);

// This process's environment for a service process of the machine in `folder`, which
// may connect for the start `token`.
std::vector<std::string> ServiceEnvironment(const std::filesystem::path& folder,
                                            const std::string& token);

// Starts `program` detached from this process (its own session, reparented when the
// intermediate child exits) with the given environment; its output goes to `output`.
// Returns its process id, or 0 when it could not be started.
long LaunchDetached(const std::string& program, const std::vector<std::string>& environment,
                    const std::string& output);

// A process that has ended (a zombie counts as ended) no longer runs its service.
bool ProcessAlive(long pid);

}  // namespace ze::sim
