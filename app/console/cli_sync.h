#pragma once
// sync: every open reader made to hold the values of the options, or its
// section of a reference file. A reader that already holds it is left
// alone: no backup, no write, no history row; one that differs is backed
// up first (unattended, so even from a reference file) and then written as
// store and restore write, with its history rows. Run again, it does
// nothing.
#include "app/app_state.h"
#include "app/console/cli_arguments.h"

namespace spelvane::cli {

// 0 when every reader holds it at the end, written or not; otherwise the
// statuses of store (1 refused or failed, 4 backup) and of restore (5 the
// file).
int runSync(AppState& app, const Request& request);

}  // namespace spelvane::cli
