#include "app/change_history.h"

#include <cstdio>

#include "app/event_report.h"
#include "app/message_log.h"
#include "platform/timing.h"
#include "platform/workstation.h"
#include "settings/one_line.h"

namespace spelvane {
namespace {

const char* historyProgram = "spelvane";

// One process may run several commands in one second (a refused Restore
// right after a Store): the count keeps their ids apart.
int commandsRun = 0;

HistoryOutcome historyOutcomeOf(DeviceOutcome outcome) {
    switch (outcome) {
    case DeviceOutcome::Unchanged: return HistoryOutcome::NoChanges;
    case DeviceOutcome::Stored: return HistoryOutcome::Written;
    case DeviceOutcome::Refused: return HistoryOutcome::Refused;
    case DeviceOutcome::Failed: return HistoryOutcome::Failed;
    }
    return HistoryOutcome::Failed;
}

// Outcomes that leave the reader as it was and tell nothing of what it holds.
bool leftAsItWas(const HistoryEntry& entry) {
    if (!entry.hasOutcome) return false;
    switch (entry.outcome) {
    case HistoryOutcome::Refused:
    case HistoryOutcome::NoSection:
    case HistoryOutcome::BackupFailed:
    case HistoryOutcome::BackedUp: return true;
    default: return false;
    }
}

}  // namespace

void setHistoryProgram(const char* program) { historyProgram = program; }

std::string historyPath(const AppState& app) {
    const std::string& folder = app.startFolder;
    if (folder.empty()) return kHistoryFileName;
    const char last = folder.back();
    if (last == '/' || last == '\\') return folder + kHistoryFileName;
    // The folder's own separator: the path reads as the system writes it.
    const char* separator = folder.find('\\') != std::string::npos ? "\\" : "/";
    return folder + separator + kHistoryFileName;
}

std::string libraryDescription(const LibraryIdentity& library) {
    if (!library.hasVersion) return library.path + ", no version word";
    char version[16];
    std::snprintf(version, sizeof version, "0x%08x", static_cast<unsigned>(library.version));
    return library.path + ", version " + version;
}

ChangeHistory::ChangeHistory(const AppState& app, const char* command) : app_(app), path_(historyPath(app)) {
    const int64_t now = timing().calendarTime();
    run_.computer = platform::computerName();
    run_.user = platform::userName();
    run_.id = historyRunId(now, run_.computer, platform::processNumber()) + "-" + std::to_string(++commandsRun);
    run_.time = historyTime(now);
    run_.program = historyProgram;
    run_.version = SPELVANE_VERSION;
    LibraryIdentity library;
    if (loadedLibrary(library)) run_.library = libraryDescription(library);
    run_.command = command;
}

HistoryRow ChangeHistory::row(HistoryEvent event) const {
    HistoryRow row;
    row.run = run_;
    row.event = event;
    row.reader = app_.readerName(device_);
    row.type = app_.settings[device_].typeName();
    row.backup = backup_;
    row.file = file_;
    return row;
}

void ChangeHistory::append(const std::vector<HistoryRow>& rows) {
    reportHistoryRows(rows);
    std::string error;
    if (appendHistoryRows(path_, rows, error) || missing_) {
        // Said once: the operator needs to know that this change is missing,
        // not how many of its rows.
        return;
    }
    missing_ = true;
    // The reason names the file.
    messageLog().append("The change history could not be written (%s): this change is missing from it\r\n",
                        oneLine(error).c_str());
}

void ChangeHistory::beginReader(int device, const std::string& backup, const std::string& file) {
    device_ = device < 0 ? 0 : (device > 1 ? 1 : device);
    backup_ = backup;
    file_ = file;
    reason_.clear();
}

void ChangeHistory::beforeFirstWrite(const SpeedValues& from, const SpeedValues& to) {
    std::vector<HistoryRow> rows{row(HistoryEvent::Start)};
    for (const StoredFieldChange& change : storedValueChanges(from, to)) {
        rows.push_back(row(HistoryEvent::Change));
        rows.back().change = change;
    }
    append(rows);
}

void ChangeHistory::refused(const std::string& reason) { reason_ = oneLine(reason); }

void ChangeHistory::failed(const std::string& request) { reason_ = oneLine(request); }

void ChangeHistory::endReader(DeviceOutcome outcome) {
    const HistoryOutcome kept = historyOutcomeOf(outcome);
    const bool explained = kept == HistoryOutcome::Refused || kept == HistoryOutcome::Failed;
    endReader(kept, explained ? reason_ : std::string());
}

void ChangeHistory::endReader(HistoryOutcome outcome, const std::string& reason) {
    HistoryRow ended = row(HistoryEvent::Outcome);
    ended.outcome = outcome;
    ended.reason = oneLine(reason);
    append({ended});
}

void ChangeHistory::everyReader(HistoryOutcome outcome, const std::string& backup, const std::string& reason) {
    for (int i = 0; i < app_.boundCount(); ++i) {
        beginReader(i, backup);
        endReader(outcome, reason);
    }
}

std::optional<HistoryEntry> interruptedChange(const std::vector<HistoryEntry>& entries, const std::string& reader) {
    for (auto entry = entries.rbegin(); entry != entries.rend(); ++entry) {
        if (entry->reader != reader || leftAsItWas(*entry)) continue;
        if (entry->interrupted()) return *entry;
        return std::nullopt;
    }
    return std::nullopt;
}

std::string interruptedRemedy(const HistoryEntry& entry) {
    if (!entry.backup.empty()) return "the backup " + entry.backup + " restores the settings it held before";
    if (!entry.file.empty()) return "restore " + entry.file + " again to finish it";
    return "its settings before the change are not known";
}

std::string interruptedChangeLine(const HistoryEntry& entry) {
    return entry.reader + ": the " + entry.run.command + " of " + entry.run.time + " was interrupted; " +
           interruptedRemedy(entry) + ".";
}

std::vector<std::string> openReaderNames(const AppState& app) {
    std::vector<std::string> names;
    for (int i = 0; i < app.boundCount(); ++i)
        if (app.settings[i].device) names.push_back(app.readerName(i));
    return names;
}

std::vector<std::string> interruptedChangeLines(const AppState& app) {
    std::vector<HistoryEntry> entries;
    std::string error;
    std::vector<std::string> lines;
    if (!readLastStartedEntries(historyPath(app), openReaderNames(app), entries, error)) return lines;
    for (int i = 0; i < app.boundCount(); ++i) {
        if (!app.settings[i].device) continue;
        if (const auto entry = interruptedChange(entries, app.readerName(i))) lines.push_back(interruptedChangeLine(*entry));
    }
    return lines;
}

void logInterruptedChanges(const AppState& app) {
    for (const std::string& line : interruptedChangeLines(app)) messageLog().append("%s\r\n", line.c_str());
    reportInterruptedChanges(app);
}

}  // namespace spelvane
