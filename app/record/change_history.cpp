#include "app/record/change_history.h"

#include <algorithm>
#include <cctype>
#include <cstdio>

#include "app/event_report.h"
#include "app/message_log.h"
#include "app/record/unfinished_changes.h"
#include "platform/files.h"
#include "platform/timing.h"
#include "platform/workstation.h"
#include "settings/one_line.h"

namespace spelvane {
namespace {

const char* historyProgram = "spelvane";

// One process may run several commands in one second (a refused Restore
// right after a Store): the count keeps their ids apart.
int commandsRun = 0;

// A row that could not be written is tried again this often at the end of
// the command, this far apart: long enough to outlast a file held for a
// moment, short enough not to keep a failed history's operator waiting.
constexpr int kFinishTries = 5;
constexpr uint32_t kFinishPauseMs = 200;

HistoryOutcome historyOutcomeOf(DeviceOutcome outcome) {
    switch (outcome) {
    case DeviceOutcome::Unchanged: return HistoryOutcome::NoChanges;
    case DeviceOutcome::Stored: return HistoryOutcome::Written;
    case DeviceOutcome::Refused: return HistoryOutcome::Refused;
    case DeviceOutcome::Failed: return HistoryOutcome::Failed;
    }
    return HistoryOutcome::Failed;
}

}  // namespace

void setHistoryProgram(const char* program) { historyProgram = program; }

std::string historyPath(const AppState& app) {
    if (app.returnToStartFolder()) return kHistoryFileName;
    // Named whole: a bare name would be the history of whatever folder is
    // current, the program's own after a call into the library.
    return platform::pathInFolder(platform::folderAsShown(app.startFolder), kHistoryFileName);
}

std::string libraryDescription(const LibraryIdentity& library) {
    if (!library.hasVersion) return library.path + ", no version word";
    char version[16];
    std::snprintf(version, sizeof version, "0x%08x", static_cast<unsigned>(library.version));
    return library.path + ", version " + version;
}

HistoryRun commandRun(const char* command) {
    HistoryRun run;
    const int64_t now = timing().calendarTime();
    run.computer = platform::computerName();
    run.user = platform::userName();
    run.id = historyRunId(now, run.computer, platform::processNumber()) + "-" + std::to_string(++commandsRun);
    run.time = historyTime(now);
    run.program = historyProgram;
    run.version = SPELVANE_VERSION;
    LibraryIdentity library;
    if (loadedLibrary(library)) run.library = libraryDescription(library);
    run.command = command;
    return run;
}

ChangeHistory::ChangeHistory(const AppState& app, const char* command) : app_(app), run_(commandRun(command)) {}

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

bool ChangeHistory::writePending() {
    if (pending_.empty()) return true;
    const std::vector<HistoryRow> unwritten(pending_.begin() + static_cast<std::ptrdiff_t>(inFile_), pending_.end());
    size_t whole = 0;
    // A Restore's file dialog may have moved the current folder.
    if (!appendHistoryRows(historyPath(app_), unwritten, error_, &whole)) {
        inFile_ += whole;
        return false;
    }
    written_ += static_cast<int>(pending_.size());
    pending_.clear();
    inFile_ = 0;
    return true;
}

void ChangeHistory::append(const std::vector<HistoryRow>& rows) {
    reportHistoryRows(rows);
    pending_.insert(pending_.end(), rows.begin(), rows.end());
    writePending();
}

std::string ChangeHistory::finish() {
    for (int tried = 0; tried < kFinishTries && !writePending(); ++tried) timing().sleepMs(kFinishPauseMs);
    const std::string missing = historyMissingText(pending_, written_);
    // The reason names the file.
    if (!missing.empty())
        messageLog().append("%s (%s)\r\n", capitalised(missing).c_str(), oneLine(error_).c_str());
    return missing;
}

std::string capitalised(std::string text) {
    if (!text.empty()) text[0] = static_cast<char>(std::toupper(static_cast<unsigned char>(text[0])));
    return text;
}

std::string historyMissingText(const std::vector<HistoryRow>& pending, int written) {
    if (pending.empty()) return {};
    const std::string where = std::string(" missing from the history ") + kHistoryFileName + ": ";
    if (written == 0) return "this change is" + where + "it could not be written";
    std::vector<std::string> named;
    std::string readers;
    bool outcomesOnly = true;
    for (const HistoryRow& row : pending) {
        if (row.event != HistoryEvent::Outcome) outcomesOnly = false;
        if (std::find(named.begin(), named.end(), row.reader) != named.end()) continue;
        named.push_back(row.reader);
        readers += (readers.empty() ? "" : ", ") + row.reader;
    }
    if (outcomesOnly)
        return "the outcome of this change for " + readers + " is" + where + "it could not be written";
    return "the rows of this change for " + readers + " are" + where + "they could not be written";
}

void ChangeHistory::beginReader(int device, const std::string& backup, const std::string& file) {
    device_ = device < 0 ? 0 : (device > 1 ? 1 : device);
    backup_ = backup;
    file_ = file;
    reason_.clear();
}

// What the judgement says of the reader as a change is about to write it,
// for its start row: a later judgement that finds this change reached the
// reader whole, or not at all, need look no further back.
std::string readerBefore(const std::vector<std::string>& paths, const std::string& reader, const SpeedValues& held) {
    const ReaderVerdict verdict = judgeReaderHistories(paths, reader, &held);
    if (!verdict.judged) return readerBeforeText(ReaderBefore::NotJudged);
    if (verdict.change && verdict.change->interrupted())
        return readerBeforeText(ReaderBefore::HeldPart, verdict.change->entry.run.id);
    return readerBeforeText(ReaderBefore::Settled);
}

void ChangeHistory::beforeFirstWrite(const SpeedValues& from, const SpeedValues& to) {
    std::vector<HistoryRow> rows{row(HistoryEvent::Start)};
    rows.front().reason = readerBefore(historyPaths(app_), app_.readerName(device_), from);
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

}  // namespace spelvane
