#include "app/site_report.h"

#include <array>
#include <cstddef>
#include <cstdint>

#include "platform/line_append.h"
#include "platform/timing.h"
#include "settings/history_cells.h"

namespace spelvane {
namespace {

constexpr int kTries = 5;
constexpr uint32_t kPauseMs = 200;

}  // namespace

std::string siteReportHeader() {
    const std::array<std::string, 15> names = {"time",      "computer", "user",   "command", "reference",
                                               "reader",    "type",     "outcome", "halfClock", "hblank",
                                               "backup",    "status",   "version", "library", "run"};
    return historyCsvLine(names);
}

std::string siteReportLine(const SiteReportRow& row) {
    const std::array<std::string, 15> cells = {row.time,    row.computer, row.user,      row.command,
                                               row.reference, row.reader, row.type,      row.outcome,
                                               row.halfClock, row.hblank, row.backup,    row.status,
                                               row.version, row.library,  row.run};
    return historyCsvLine(cells);
}

std::string appendSiteReport(const std::string& path, const std::vector<SiteReportRow>& rows) {
    std::vector<std::string> lines;
    for (const SiteReportRow& row : rows) lines.push_back(siteReportLine(row));
    std::string error;
    for (int tried = 1;; ++tried) {
        size_t whole = 0;
        if (platform::appendLines(path, siteReportHeader(), lines, error, &whole)) return {};
        lines.erase(lines.begin(), lines.begin() + static_cast<std::ptrdiff_t>(whole));
        if (tried == kTries) return error;
        timing().sleepMs(kPauseMs);
    }
}

}  // namespace spelvane
