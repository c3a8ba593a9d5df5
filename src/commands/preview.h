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
    // would have changed and why it would fail: a run that ended with a code other
    // than 0 (`runFailure` says why, when the caller knows), an outcome that stops
    // the reset (no Net ID, no adapter, no data file, no country, an adapter left
    // disabled), or a change the machine refused. Returns ZE_EXIT_PREVIEW_FAILED then,
    // with one line on standard error; otherwise 0 when nothing would change and
    // ZE_EXIT_CHANGES_PENDING when something would. A format RunPreview refuses
    // leaves the run's code as it is.
    int Report(int runResult, std::u16string_view runFailure = {});
    // False for a format RunPreview refuses: the run then reports as any other.
    bool Reports() const { return valid_; }

  private:
    bool json_ = false;
    bool valid_;  // set after json_, which parsing the arguments sets
    DryRunPlatform layer_;
    std::optional<ScopedPlatform> scope_;
};

}  // namespace ze
