#include "app/console/cli_session.h"

#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "app/app_state.h"
#include "app/record/change_history.h"
#include "app/record/unfinished_changes.h"
#include "app/closing_notice.h"
#include "app/console/cli_output.h"
#include "app/console/cli_preview.h"
#include "app/console/cli_report.h"
#include "app/console/cli_sync.h"
#include "app/dialog_port.h"
#include "app/event_report.h"
#include "app/reader_absence.h"
#include "app/message_log.h"
#include "app/worker.h"
#include "device/call_gate.h"
#include "device/device_slot.h"
#include "device/discovery.h"
#include "platform/file_fault.h"
#include "platform/timer_resolution.h"
#include "settings/change_computation.h"

namespace spelvane::cli {
namespace {
constexpr const char* kProgram = "spelvane-cli";
// A script reads one line as the reason a command failed: the first error
// is the command's, anything after it only follows from it.
bool errorShown = false;
std::string firstError;
// What the history lacks of this command ("" when nothing). A failed command
// says so on its one error line; one that went well gets a line of its own
// at the end.
std::string historyMissing;
}  // namespace

void fail(const char* format, ...) {
    if (errorShown) return;
    errorShown = true;
    char text[1024];
    va_list arguments;
    va_start(arguments, format);
    std::vsnprintf(text, sizeof text, format, arguments);
    va_end(arguments);
    for (char* c = text; *c; ++c)
        if (*c == '\r' || *c == '\n') *c = ' ';
    firstError = text;
    std::fprintf(stderr, "%s: %s%s%s\n", kProgram, text, historyMissing.empty() ? "" : "; ", historyMissing.c_str());
    std::fflush(stderr);
}

const std::string& commandError() { return firstError; }

int finishOutput(int status) {
    const bool written = std::fflush(stdout) == 0 && !std::ferror(stdout);
    if (written) {
        if (!historyMissing.empty() && !errorShown) {
            errorShown = true;
            std::fprintf(stderr, "%s: %s\n", kProgram, historyMissing.c_str());
            std::fflush(stderr);
        }
        return status;
    }
    // A command that failed keeps its own status and error line; one that
    // went well, or found a difference, has lost the answer the script
    // asked for.
    if (status != kDone && status != kDiffers) return status;
    fail("cannot write to standard output");
    return kOutputFailed;
}

bool fileUnread(const RestoreSummary& summary, const std::string& file, bool writing) {
    // Only a command that writes says it wrote nothing: verify never does.
    if (summary.unicode)
        fail("%s is saved as Unicode; save it as ANSI%s", file.c_str(),
             writing ? " (nothing was written to the device)" : "");
    else if (!summary.opened)
        fail("%s", platform::fileFaultMessage("open", file, summary.openFault).c_str());
    return !summary.opened;
}

namespace {

// The log's lines end in CR LF for the dialog's edit control; a console
// stream adds its own CR on Windows, so only the LF is passed on.
void writeWithoutCarriageReturns(std::FILE* stream, const char* text) {
    for (; *text; ++text) {
        if (*text != '\r') std::fputc(*text, stream);
    }
    std::fflush(stream);
}

// The message log hands its sink the whole text after every append; the
// console shows each part once, as it arrives, on the stream the current
// command chose (none: the text is only gathered).
std::FILE* logStream = nullptr;
size_t logShown = 0;

void showNewLogText(const char* text) {
    const size_t length = std::strlen(text);
    // Shorter than before: the log was cleared or given up, and starts anew.
    if (length < logShown) logShown = 0;
    if (logStream) writeWithoutCarriageReturns(logStream, text + logShown);
    logShown = length;
}

// Discovery as the dialog runs it, looking again for a while if asked;
// what its box said, with why no library loaded, is the one error line.
int openDevices(AppState& app, ConsolePort& port, int waitSeconds) {
    const bool found = discoverWaiting(app, port, waitSeconds);
    if (!found) {
        const char* why = port.box.empty() ? kNoDevicesText : port.box.c_str();
        if (*loaderMessage()) fail("%s (%s)", why, loaderMessage());
        else fail("%s", why);
        // Bound but unread: a settings read failed on the device.
        return app.openCount > 0 ? kDeviceFailed : kNoReader;
    }
    const int expected = expectedReaders(app);
    if (expected == 0) {
        fail("%s", port.box.c_str());
        return kNoReader;
    }
    // The dialog would go on with what opened; a store over half a pair, or
    // over nothing, is not what a script asked for. No request of it failed:
    // the reader is there but cannot be used.
    if (app.openCount < expected) {
        fail("cannot open the device %s", app.devices[app.openCount].name().c_str());
        return kNoReader;
    }
    return kDone;
}

// A backup, or a change of the readers: what the history records.
bool commandWrites(const Request& request) {
    switch (request.command) {
    case Command::Backup:
    case Command::Sync: return true;
    case Command::Store:
    case Command::Restore: return !request.dryRun;
    default: return false;
    }
}

int runShow(AppState& app, bool json) {
    // Devices were found, so a library answered: the one the gate loaded.
    LibraryIdentity library;
    loadedLibrary(library);
    // Its changes are judged by what the reader holds; a history that
    // cannot be read names no interrupted change: show is about the readers.
    std::vector<DeviceView> views;
    for (int i = 0; i < app.boundCount(); ++i) {
        const SpeedSettings& record = app.settings[i];
        if (!record.device) continue;
        views.push_back({record.device->name(), record.typeName(), record.snapshot(), openReaderVerdict(app, i).change});
    }
    const std::string text =
        json ? formatDevicesJson(views, library) : formatLibraryText(&library, nullptr) + formatDevicesText(views);
    std::fputs(text.c_str(), stdout);
    return kDone;
}

}  // namespace

void tellHistoryMissing(const std::string& missing) {
    if (!missing.empty()) historyMissing = missing;
}

std::string backupFailure(const AppState& app) {
    if (*app.lastBackupFile) return std::string("the settings could not be saved into ") + app.lastBackupFile;
    const std::string refusal = backupFolderRefusal(app);
    return refusal.empty() ? "no backup file could be created" : "no backup file could be created: " + refusal;
}

namespace {

// Standard output carries the file's name alone, for a script to keep; the
// log is shown only when it has to explain a failure, and standard error
// keeps its one line.

int runBackup(AppState& app) {
    const size_t before = messageLog().currentText().size();
    logStream = nullptr;
    ChangeHistory history(app, "backup");
    if (!app.saveOriginalSettings()) {
        history.everyReader(HistoryOutcome::BackupFailed, std::string(), kBackupNotSaved);
        tellHistoryMissing(history.finish());
        writeWithoutCarriageReturns(stdout, messageLog().currentText().c_str() + before);
        fail("%s", backupFailure(app).c_str());
        return kBackupFailed;
    }
    history.everyReader(HistoryOutcome::BackedUp, app.lastBackupFile);
    tellHistoryMissing(history.finish());
    std::printf("%s\n", app.lastBackupFile);
    return kDone;
}

int runStore(AppState& app, const OperatorChoice& choice) {
    logStream = stdout;
    // As the dialog's Store: the backup first, and nothing written without it.
    const AppState::StoreResult result = app.backUpAndStore(choice);
    tellHistoryMissing(result.summary.historyMissing);
    if (result.refused) {
        fail("%s; nothing was written to the device", result.refused->line().c_str());
        return kDeviceFailed;
    }
    if (!result.backedUp) {
        fail("%s; nothing was written to the device", backupFailure(app).c_str());
        return kBackupFailed;
    }
    const OperationSummary& summary = result.summary;
    if (summary.stored > 0) std::printf("%s\n", kRestartNotice);
    if (summary.failed > 0) {
        fail("the store FAILED; the device may hold part of the change; %s holds the settings from "
             "before",
             app.lastBackupFile);
        return kDeviceFailed;
    }
    if (summary.refused > 0) {
        fail("the change was refused; nothing was written to the device that refused it");
        return kDeviceFailed;
    }
    return kDone;
}

// Why a file gave no reader a section: refused (the log said why above), or
// the types it names beside the readers' own, which must match exactly.
std::string whyNoSection(const AppState& app, const RestoreSummary& summary) {
    if (summary.refused > 0) return "its section was refused";
    if (summary.fileTypes.empty()) return "it holds no DEVICE= line";
    std::string text = "it holds";
    for (size_t i = 0; i < summary.fileTypes.size(); ++i) text += (i ? ", DEVICE=" : " DEVICE=") + summary.fileTypes[i];
    text += app.boundCount() > 1 ? "; the readers' types are " : "; the reader's type is ";
    for (int i = 0; i < app.boundCount(); ++i) text += (i ? " and " : "") + app.settings[i].typeName();
    return text;
}

int runRestore(AppState& app, const std::string& file) {
    logStream = stdout;
    const RestoreSummary summary = app.restoreFromFile(file.c_str());
    tellHistoryMissing(summary.historyMissing);
    if (fileUnread(summary, file, true)) return kFileUnusable;
    if (summary.stored > 0) std::printf("%s\n", kRestartNotice);
    if (summary.failed > 0) {
        fail("restoring %s FAILED; the device may hold part of it", file.c_str());
        return kDeviceFailed;
    }
    // A pair left half restored is not what the file was chosen for.
    if (summary.sections() < app.boundCount()) {
        if (summary.sections() == 0) fail("no section of %s could be applied: %s", file.c_str(), whyNoSection(app, summary).c_str());
        else fail("%s holds no usable section for one of the %d open devices", file.c_str(), app.boundCount());
        return kFileUnusable;
    }
    return kDone;
}

int runCommand(AppState& app, const Request& request, ReportedRun& reported) {
    switch (request.command) {
    case Command::Show:
        return runShow(app, request.json);
    case Command::Backup:
        return runBackup(app);
    case Command::Verify:
        return runVerify(app, request);
    case Command::Check:
        return runCheck(app, request, reported.readers);
    case Command::Sync:
        return runSync(app, request, reported);
    case Command::Store: {
        if (request.dryRun) return runStorePreview(app, request);
        return runStore(app, choiceOf(request));
    }
    case Command::Restore:
        return request.dryRun ? runRestorePreview(app, request) : runRestore(app, request.file);
    case Command::Doctor:
    case Command::History:
    case Command::Help:
    case Command::Version:
    case Command::OpenWorkstationFolder:
        break;
    }
    return kUsage;
}

bool holds(const Request& request) { return request.command == Command::Check || request.command == Command::Sync; }
const char* commandName(const Request& request) { return request.command == Command::Sync ? "sync" : "check"; }

// check and sync without a reader they could use: why goes into the report
// and, for a sync, into one event with what to check.
void tellNoReader(const AppState& app, const ConsolePort& port, const Request& request, ReportedRun& reported) {
    if (!holds(request)) return;
    const ReaderAbsence absence = readerAbsence(app, port.box);
    reported.run = commandRun(commandName(request));
    reported.absence = absence.outcome;
    if (request.command == Command::Sync)
        reportNoReader(reported.run, referenceOf(request), absence.outcome, commandError(), absence.remedy);
}

}  // namespace

int runSession(const Request& request) {
    ConsolePort port;
    setDialogPort(&port);
    MessageLog& log = messageLog();
    // Discovery's own log lines are warnings and go with the log. Where
    // standard output is the answer itself (JSON, the backup's name) they
    // are shown only when there is no answer to keep clean.
    const bool answerOnly = request.json || request.command == Command::Backup;
    const size_t discoveryStart = log.currentText().size();
    logStream = answerOnly ? nullptr : stdout;
    logShown = discoveryStart;
    log.setSink(&showNewLogText);

    AppState& app = appState();
    int status = kDone;
    ReportedRun reported;
    std::vector<SiteReportRow> rows;
    {
        platform::TimerResolutionScope fineTimer;
        status = openDevices(app, port, request.waitSeconds);
        if (status != kDone) tellNoReader(app, port, request, reported);
        else if (request.command == Command::Check) reported.run = commandRun("check");
        const std::string& discovered = log.currentText();
        if (status != kDone && answerOnly && discovered.size() > discoveryStart)
            writeWithoutCarriageReturns(stdout, discovered.c_str() + discoveryStart);
        // What the last run left cut short goes to the event log as well,
        // from the commands that write: one that only looks, run hourly by
        // a script, would report the same change every hour.
        if (status == kDone && commandWrites(request)) reportInterruptedChanges(unreportedChanges(unfinishedChanges(app)));
        if (status == kDone) status = runCommand(app, request, reported);
        // The values the readers hold at the end, asked before they go.
        if (!request.report.empty()) rows = reportRows(app, request, reported);
    }
    app.releaseDevices();

    log.setSink(nullptr);
    logStream = nullptr;
    setDialogPort(nullptr);
    status = finishOutput(status);
    if (!request.report.empty()) writeReport(app, request, reported.run, rows, status);
    return status;
}

}  // namespace spelvane::cli
