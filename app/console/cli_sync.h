#pragma once
// sync: every open reader made to hold the values of the options, or its
// section of a reference file. A reader that already holds it is left
// alone: no backup, no write, no history row, only its event ("no
// changes"); one that differs is backed up first (unattended, so even from
// a reference file) and then written as store and restore write, with its
// history rows and their events. Every reader leaves one event, written or
// not. Run again, it writes nothing.
#include "app/app_state.h"
#include "app/console/cli_arguments.h"
#include "app/console/cli_report.h"

namespace spelvane::cli {

// 0 when every reader holds it at the end, written or not; otherwise the
// statuses of store (1 refused or failed, 4 backup) and of restore (5 the
// file).
// reported: its run, its readers and its backup.
int runSync(AppState& app, const Request& request, ReportedRun& reported);

}  // namespace spelvane::cli
