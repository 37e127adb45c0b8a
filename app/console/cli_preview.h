#pragma once
// The commands that look before anything is written: verify compares the
// open readers with a .set file, and the dry runs of store and restore tell
// what the real command would write. None of them takes a backup or sends a
// write request.
#include "app/app_state.h"
#include "app/console/cli_arguments.h"

namespace spelvane::cli {

int runVerify(AppState& app, const Request& request);
int runStorePreview(AppState& app, const Request& request);
int runRestorePreview(AppState& app, const Request& request);

}  // namespace spelvane::cli
