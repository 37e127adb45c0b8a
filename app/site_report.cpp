#include "app/site_report.h"

#include <array>
#include <cstddef>
#include <cstdint>

#include "app/report_spool.h"
#include "platform/files.h"
#include "platform/line_append.h"
#include "platform/machine_lock.h"
#include "platform/timing.h"
#include "settings/history_cells.h"

namespace spelvane {
namespace {

constexpr int kTries = 5;
constexpr uint32_t kPauseMs = 200;
// Two runs on one computer must not both send what the spool keeps.
constexpr const char* kSpoolLockName = "Global\\Spelvane.ReportSpool";

uint64_t nowMs() {
    int64_t ticks = 0;
    int64_t frequency = 0;
    if (!timing().counter(ticks) || !timing().frequency(frequency) || frequency <= 0) return 0;
    return static_cast<uint64_t>(ticks / frequency * 1000 + ticks % frequency * 1000 / frequency);
}

// Tries lines again, only those not yet whole in the file, while the tries
// last and the wait for a holder (which each try makes, kAppendWaitMs) has
// not been spent once already: a held file stops a command no longer than
// that. whole: how many of lines, from the first, are in the file.
std::string appendWithRetries(const std::string& path, std::vector<std::string> lines, size_t& whole) {
    std::string error;
    whole = 0;
    const uint64_t start = nowMs();
    for (int tried = 1;; ++tried) {
        size_t landed = 0;
        const bool appended = platform::appendLines(path, siteReportHeader(), lines, error, &landed);
        whole += landed;
        if (appended) return {};
        lines.erase(lines.begin(), lines.begin() + static_cast<std::ptrdiff_t>(landed));
        if (tried == kTries || nowMs() - start >= platform::kAppendWaitMs) return error;
        timing().sleepMs(kPauseMs);
    }
}

std::vector<std::string> linesOf(const std::vector<SiteReportRow>& rows) {
    std::vector<std::string> lines;
    for (const SiteReportRow& row : rows) lines.push_back(siteReportLine(row));
    return lines;
}

bool takeSpoolLock(platform::MachineLock& lock) {
    for (uint32_t waited = 0; !lock.tryAcquire(kSpoolLockName); waited += platform::kAppendPollMs) {
        if (waited >= platform::kAppendWaitMs) return false;
        timing().sleepMs(platform::kAppendPollMs);
    }
    return true;
}

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
    size_t whole = 0;
    return appendWithRetries(path, linesOf(rows), whole);
}

ReportDelivery deliverSiteReport(const std::string& report, const std::string& spool,
                                 const std::vector<SiteReportRow>& rows) {
    ReportDelivery delivery;
    std::vector<std::string> lines = linesOf(rows);
    platform::MachineLock lock;
    if (!takeSpoolLock(lock)) {
        delivery.spoolError = "another run on this computer kept " + spool + " for more than " +
                              std::to_string(platform::kAppendWaitMs / 1000) + " s";
        delivery.error = "not tried: " + delivery.spoolError;
        return delivery;
    }
    const std::string whole = platform::wholePath(report);
    ReportSpool kept(spool, whole.empty() ? report : whole);
    // An unreadable spool keeps what it holds; this run's rows go ahead.
    kept.read(delivery.spoolError);
    const size_t earlier = kept.kept().size();
    lines.insert(lines.begin(), kept.kept().begin(), kept.kept().end());
    size_t landed = 0;
    delivery.error = appendWithRetries(report, lines, landed);
    delivery.earlierSent = landed < earlier ? landed : earlier;
    if (!kept.forget(delivery.earlierSent, delivery.spoolError)) return delivery;
    // This run's rows that did not land wait behind those still kept.
    lines.erase(lines.begin(), lines.begin() + static_cast<std::ptrdiff_t>(landed > earlier ? landed : earlier));
    if (lines.empty()) return delivery;
    if (kept.keep(lines, delivery.spoolError)) delivery.keptIn = spool;
    return delivery;
}

}  // namespace spelvane
