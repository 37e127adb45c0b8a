#pragma once
// A site's report file: every workstation's check or sync adds one CSV row
// per reader (one row when it found none) to one file, usually on a share
// (--report FILE), so that an administrator sees in one place which
// workstations hold the site's setting, even without collected event logs
// (Windows 2000). The columns are an interface sites script against: a new
// one only ever goes at the end; none is renamed, moved or dropped.
#include <cstddef>
#include <string>
#include <vector>

namespace spelvane {

struct SiteReportRow {
    std::string time;       // as the history's: local, with its offset from UTC
    std::string computer;
    std::string user;
    std::string command;    // "check" or "sync"
    std::string reference;  // the reference .set file, or the values ("HBlank 341, Half Clock off")
    std::string reader;     // "" when none was found
    std::string type;
    std::string outcome;    // the JSON's words ("holds", "written"...), or why no reader ("no reader"...)
    std::string halfClock;  // what the reader holds at the end: "on", "off" ("" without a reader)
    std::string hblank;     // each light's HBlank at the end, in decimal, blanks between
    std::string backup;     // the backup the sync took ("" none)
    std::string status;     // the command's exit status
    std::string version;    // the program's
    std::string library;    // its path and version word ("" none loaded)
    std::string run;        // the history's and the events' run id
};

// The header line and a row, as CSV lines ending in CR LF, quoted as the
// history's cells are.
std::string siteReportHeader();
std::string siteReportLine(const SiteReportRow& row);

// Adds the rows to the file at path, whole, as the history adds its own:
// under the file's append lock, the header first when the file is new, on
// disk before it returns. Rows that could not be written are tried again a
// few times a moment apart (a share that answered late, a file held
// briefly), only those not yet whole in the file: none is there twice.
// "" when every row is there; otherwise why not, in one line.
std::string appendSiteReport(const std::string& path, const std::vector<SiteReportRow>& rows);

// What became of a run's rows for a report file.
struct ReportDelivery {
    std::string error;       // why not all of this run's rows are in the report ("" they are)
    size_t earlierSent = 0;  // rows earlier runs kept that are in it now
    std::string keptIn;      // the spool this run's rows that are not in it wait in ("" none kept)
    std::string spoolError;  // what the spool would not do ("" nothing)
};

// Adds the rows to report as appendSiteReport does, behind the rows that
// earlier runs on this computer kept in spool (app/report_spool.h) for that
// report, in order, each once. Rows that do not reach the report are kept
// in spool, for the next run that can write it.
ReportDelivery deliverSiteReport(const std::string& report, const std::string& spool,
                                 const std::vector<SiteReportRow>& rows);

}  // namespace spelvane
