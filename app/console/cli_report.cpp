#include "app/console/cli_report.h"

#include <cstdio>

#include "app/event_report.h"
#include "app/report_spool.h"
#include "settings/change_computation.h"
#include "settings/one_line.h"

namespace spelvane::cli {

std::string referenceOf(const Request& request) {
    if (!request.file.empty()) return request.file;
    std::string text;
    if (request.hblank) text = "HBlank " + std::to_string(*request.hblank);
    if (request.halfClock) text += std::string(text.empty() ? "" : ", ") + "Half Clock " + (*request.halfClock ? "on" : "off");
    return text;
}

namespace {

// Each light's HBlank, or the reader's own when it has no lights.
std::string hblanksOf(const SpeedValues& values) {
    const int lights = heldLightCount(values);
    if (lights == 0) return std::to_string(values.hblank);
    std::string text;
    for (int i = 0; i < lights; ++i) text += (i ? " " : "") + std::to_string(lightHBlank(values, i));
    return text;
}

}  // namespace

std::vector<SiteReportRow> reportRows(const AppState& app, const Request& request, const ReportedRun& reported) {
    SiteReportRow run;
    run.time = reported.run.time;
    run.computer = reported.run.computer;
    run.user = reported.run.user;
    run.command = request.command == Command::Sync ? "sync" : "check";
    run.reference = referenceOf(request);
    run.version = reported.run.version;
    run.library = reported.run.library;
    run.run = reported.run.id;
    const ReportKind kind = request.command == Command::Sync ? ReportKind::Sync : ReportKind::Check;
    std::vector<SiteReportRow> rows;
    for (size_t i = 0; i < reported.readers.size() && static_cast<int>(i) < app.boundCount(); ++i) {
        const ReaderReport& reader = reported.readers[i];
        const SpeedValues values = app.settings[i].snapshot();
        SiteReportRow row = run;
        row.reader = reader.name;
        row.type = reader.type;
        row.outcome = readerOutcomeName(kind, reader);
        // A reader that could not be read again after a failed write: what
        // it holds is not known, and no cell claims it.
        if (!app.settings[i].heldUnknown) {
            row.halfClock = values.halfClock ? "on" : "off";
            row.hblank = hblanksOf(values);
        }
        row.backup = reported.backup;
        rows.push_back(row);
    }
    if (rows.empty()) {
        run.outcome = reported.absence.empty() ? "no reader" : reported.absence;
        rows.push_back(run);
    }
    return rows;
}

// The spool in the workstation folder, named as the history is.
std::string reportSpoolPath(const AppState& app) {
    app.returnToStartFolder();
    return kReportSpoolFileName;
}

void writeReport(const AppState& app, const Request& request, const HistoryRun& run, std::vector<SiteReportRow> rows,
                 int status) {
    for (SiteReportRow& row : rows) row.status = std::to_string(status);
    const ReportDelivery delivery = deliverSiteReport(request.report, reportSpoolPath(app), rows);
    // Lines of their own after the command's: the first stays its reason.
    if (!delivery.spoolError.empty())
        std::fprintf(stderr, "spelvane-cli: the rows kept for the report file %s: %s\n", request.report.c_str(),
                     oneLine(delivery.spoolError).c_str());
    if (delivery.error.empty()) {
        std::fflush(stderr);
        return;
    }
    const std::string kept =
        delivery.keptIn.empty()
            ? "they are not kept"
            : "they wait in " + delivery.keptIn + " in the workstation folder for the next run that can write it";
    std::fprintf(stderr,
                 "spelvane-cli: the report file %s did not take this run's rows (%s); %s; the readers are as told\n",
                 request.report.c_str(), oneLine(delivery.error).c_str(), kept.c_str());
    std::fflush(stderr);
    if (request.command == Command::Sync) reportReportUnwritten(run, request.report, oneLine(delivery.error), kept);
}

}  // namespace spelvane::cli
