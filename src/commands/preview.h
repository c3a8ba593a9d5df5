// "/preview": the dry-run layer a preview's whole run goes over, and the report of
// what the run would have changed.
#pragma once

#include <optional>

#include "commands/commands.h"
#include "platform/dryrun/dry_run_platform.h"

namespace ze {

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
