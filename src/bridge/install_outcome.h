// How the last installation run ended, as the page's last page reads it
// (the attribute "installOutcome"): the run's result, and each product's
// result in one word the page has a text for.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "install/serial_installer.h"

namespace bright_setup {

// The page's word for a product's result. The one table from the
// installer's results to the page's words lives behind this.
std::string_view ProductResultWord(ProductResult result);

// Whether the product is on the machine after the run (installed now, or
// found installed).
bool ProductInstalled(ProductResult result);

// Whether "Try again" should run the product again: it was reached and
// failed (not merely left for later by a stop).
bool ProductFailed(ProductResult result);

// The run's word: "stopped" when the user stopped it, "failed" when a
// product of it failed, else "installed".
std::string_view RunResultWord(const RunOutcome& outcome);

// {"result": ..., "restartNeeded": 0|1, "products": [{"id", "result"}]};
// null: no run has ended yet ("none").
std::string InstallOutcomeDocument(const RunOutcome* outcome);

// The products of the run that failed, in run order: what "Try again" runs.
std::vector<std::int32_t> FailedProducts(const RunOutcome& outcome);

}  // namespace bright_setup
