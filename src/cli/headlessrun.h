// tidewell --headless: the upgrader's logic on the terminal, driven by
// device events from a device directory (or a simulated handset).
#pragma once
#include "cli/frontoptions.h"

namespace tw {

// Runs one upgrade and returns the exit status: 0 after a successful run,
// 1 after a failed one or the time-out, 2 when no complete image set is
// loaded, when Start has nothing to download, or for a set-up error.
int RunHeadless(const FrontOptions& options);

}  // namespace tw
