#include "app/console/cli_sync.h"

#include <cstdio>
#include <string>
#include <vector>

#include "app/record/change_history.h"
#include "app/closing_notice.h"
#include "app/event_report.h"
#include "app/console/cli_output.h"
#include "app/console/cli_preview.h"
#include "app/console/cli_report.h"
#include "app/console/cli_session.h"
#include "app/message_log.h"
#include "app/texts.h"

namespace spelvane::cli {
namespace {

using Outcome = ReaderReport::Outcome;

// What a write left in the reader's report: changed once a write request
// reached it.
void record(ReaderReport& report, DeviceOutcome outcome) {
    switch (outcome) {
    case DeviceOutcome::Stored: report.changed = true; break;
    case DeviceOutcome::Failed:
        report.changed = true;
        report.failed = true;
        break;
    case DeviceOutcome::Unchanged: report.outcome = Outcome::Same; break;
    case DeviceOutcome::Refused: report.outcome = Outcome::Refused; break;
    }
    report.recorded = true;
}

// The event of each reader the history keeps no row of: one the sync left
// alone as it held the reference, or did not write as the run stopped
// before (the error line says why).
void reportUnrecorded(const Request& request, const HistoryRun& run, const std::vector<ReaderReport>& readers) {
    for (const ReaderReport& reader : readers) {
        if (reader.recorded) continue;
        HistoryRow row;
        row.run = run;
        row.event = HistoryEvent::Outcome;
        row.reader = reader.name;
        row.type = reader.type;
        row.file = request.file;
        switch (reader.outcome) {
        case Outcome::Same: row.outcome = HistoryOutcome::NoChanges; break;
        case Outcome::NoSection: row.outcome = HistoryOutcome::NoSection; break;
        case Outcome::Refused:
            row.outcome = HistoryOutcome::Refused;
            row.reason = reader.reason;
            break;
        case Outcome::Different:
            row.outcome = HistoryOutcome::Refused;
            row.reason = commandError();
            break;
        }
        reportHistoryRows({row});
    }
}

// The writes, over the readers that differ only; each one's rows in the
// history as a store's or a restore's.
void writeDiffering(AppState& app, const Request& request, std::vector<ReaderReport>& readers,
                    ChangeHistory& history, RestoreSummary& summary) {
    const std::string backup = app.lastBackupFile;
    MessageLog& log = messageLog();
    const auto differs = [&](int device) { return readers[device].outcome == Outcome::Different; };
    if (request.file.empty()) {
        log.append("%s", kLogRule);
        log.append("                          STORE CHANGES\r\n");
        log.append("%s", kLogRule);
        summary.opened = true;
        const OperatorChoice choice = choiceOf(request);
        for (int i = 0; i < app.boundCount(); ++i) {
            if (!differs(i)) continue;
            history.beginReader(i, backup);
            const DeviceOutcome outcome = storeDeviceChange(app.settings[i], choice, &history);
            history.endReader(outcome);
            summary.add(i, outcome);
            record(readers[i], outcome);
        }
        return;
    }
    summary = app.takeSections(request.file.c_str(), [&](int device, std::FILE* section) {
        // Taken without a word: it holds its section already.
        if (!differs(device)) return DeviceOutcome::Unchanged;
        history.beginReader(device, backup, request.file);
        const DeviceOutcome outcome = app.settings[device].restoreSection(section, log, &history);
        history.endReader(outcome);
        record(readers[device], outcome);
        return outcome;
    });
}

int syncReaders(AppState& app, const Request& request, ChangeHistory& history, ReportedRun& reported) {
    std::vector<ReaderReport>& readers = reported.readers;
    if (!readersAgainstReference(app, request, readers)) return kFileUnusable;
    // Nothing is written unless every reader can take it: a pair held half
    // to the reference is not what an unattended script asked for.
    if (!request.file.empty() && !eachHasASection(readers)) {
        printReport(ReportKind::Sync, request, readers);
        fail("%s holds no usable section for every open reader; nothing was written", request.file.c_str());
        return kFileUnusable;
    }
    if (any(readers, Outcome::Refused)) {
        printReport(ReportKind::Sync, request, readers);
        fail("the change was refused; nothing was written to the device");
        return kDeviceFailed;
    }
    if (!any(readers, Outcome::Different)) {
        printReport(ReportKind::Sync, request, readers);
        return kDone;
    }

    // A reference file's values are absolute: only the options rescale.
    const std::optional<HalfClockRefusal> refused =
        request.file.empty() ? refuseHalfClockOverPart(app, choiceOf(request), history) : std::nullopt;
    if (refused) {
        for (ReaderReport& reader : readers) {
            reader.recorded = true;
            if (reader.outcome != Outcome::Different) continue;
            reader.outcome = Outcome::Refused;
            reader.reason = refused->line();
        }
        tellHistoryMissing(history.finish());
        printReport(ReportKind::Sync, request, readers);
        fail("%s; nothing was written to the device and no backup taken", refused->line().c_str());
        return kDeviceFailed;
    }
    if (!app.saveOriginalSettings()) {
        for (int i = 0; i < app.boundCount(); ++i) {
            if (readers[i].outcome != Outcome::Different) continue;
            history.beginReader(i, std::string());
            history.endReader(HistoryOutcome::BackupFailed, kBackupNotSaved);
            readers[i].recorded = true;
        }
        tellHistoryMissing(history.finish());
        printReport(ReportKind::Sync, request, readers);
        fail("%s; nothing was written to the device", backupFailure(app).c_str());
        return kBackupFailed;
    }
    const std::string backup = app.lastBackupFile;
    reported.backup = backup;
    RestoreSummary summary;
    writeDiffering(app, request, readers, history, summary);
    tellHistoryMissing(history.finish());
    // The file went between the look and the write: nothing was written.
    if (fileUnread(summary, request.file, true)) return kFileUnusable;
    if (summary.stored > 0 && !request.json) std::printf("%s\n", kRestartNotice);
    printReport(ReportKind::Sync, request, readers, backup);
    if (summary.failed > 0) {
        fail("the sync FAILED; the device may hold part of the change; %s holds the settings from before",
             backup.c_str());
        return kDeviceFailed;
    }
    if (summary.refused > 0) {
        fail("the change was refused; nothing was written to the device that refused it");
        return request.file.empty() ? kDeviceFailed : kFileUnusable;
    }
    return kDone;
}

}  // namespace

int runSync(AppState& app, const Request& request, ReportedRun& reported) {
    ChangeHistory history(app, "sync");
    reported.run = history.run();
    const int status = syncReaders(app, request, history, reported);
    reportUnrecorded(request, history.run(), reported.readers);
    return status;
}

}  // namespace spelvane::cli
