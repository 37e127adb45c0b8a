#pragma once
// --report FILE of check and sync: the run's rows of the site's report
// file (app/site_report.h), gathered while the readers are open and added
// once the exit status is known. A file that does not take them changes
// neither the command's work nor its status.
#include <string>
#include <vector>

#include "app/app_state.h"
#include "app/console/cli_arguments.h"
#include "app/console/cli_output.h"
#include "app/site_report.h"
#include "settings/history_file.h"

namespace spelvane::cli {

// What check or sync found and did, for its rows.
struct ReportedRun {
    HistoryRun run;                     // its facts (a sync's: its history's and its events')
    std::vector<ReaderReport> readers;  // one per open reader, in the order of app.settings
    std::string backup;                 // sync: the backup it took
    std::string absence;                // no reader could be used: why ("no reader", "no library"...)
};

// The reference: the file as the command line named it, or the values
// ("HBlank 341, Half Clock off"; a cell beginning with "-" would be
// guarded as a formula).
std::string referenceOf(const Request& request);

// One row per reader, with the values it holds now (asked before the
// readers are released), or one row saying why there was none; the status
// is filled in by writeReport.
std::vector<SiteReportRow> reportRows(const AppState& app, const Request& request, const ReportedRun& reported);

// Adds rows, each with status, to request.report, behind those earlier
// runs kept in the workstation folder for it. A file that does not take
// them is said on standard error and, for a sync, in the event log; the
// rows then wait in the workstation folder for the next run.
void writeReport(const AppState& app, const Request& request, const HistoryRun& run, std::vector<SiteReportRow> rows,
                 int status);

}  // namespace spelvane::cli
