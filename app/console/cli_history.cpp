#include "app/console/cli_history.h"

#include <algorithm>
#include <cstdio>

#include "app/app_state.h"
#include "app/change_history.h"
#include "app/console/cli_output.h"
#include "app/console/cli_session.h"
#include "platform/machine_lock.h"
#include "platform/workstation.h"

namespace spelvane::cli {
namespace {

// The contract's word for a history file that is not there yet.
constexpr const char* kNoHistory = "no history";

std::string runLine(const HistoryRun& run) {
    std::string line = run.time + "  " + run.command + " by " + run.user + " on " + run.computer + " with " +
                       run.program + " " + run.version;
    if (!run.library.empty()) line += " (library " + run.library + ")";
    return line + "\n";
}

// A change without outcome: running while another Spelvane on this
// computer (the lock is the machine's) holds the readers and it is its
// reader's last; otherwise only the reader can tell whether it was cut short
// or only its outcome row was lost.
enum class Unfinished { No, Unrecorded, Running };

Unfinished unfinishedOf(const std::vector<HistoryEntry>& entries, size_t e, bool readersInUse) {
    if (!entries[e].interrupted()) return Unfinished::No;
    if (!readersInUse || entries[e].run.computer != platform::computerName()) return Unfinished::Unrecorded;
    for (size_t later = e + 1; later < entries.size(); ++later)
        if (entries[later].reader == entries[e].reader) return Unfinished::Unrecorded;
    return Unfinished::Running;
}

std::string outcomeText(const HistoryEntry& entry, Unfinished unfinished) {
    const std::string& backup = entry.backup;
    const bool restore = entry.run.command == "restore";
    if (unfinished == Unfinished::Running) return "running: another Spelvane is using the readers now";
    if (unfinished == Unfinished::Unrecorded)
        return "no outcome recorded: cut short, or only its outcome could not be written (spelvane-cli show tells "
               "which from the reader); if cut short, " + interruptedRemedy(entry);
    switch (entry.outcome) {
    case HistoryOutcome::Written:
        if (restore) return "written from " + entry.file;
        return backup.empty() ? "written" : "written; the backup " + backup + " holds the settings from before";
    case HistoryOutcome::NoChanges: return "No changes";
    case HistoryOutcome::Refused:
        if (restore) return "its section in " + entry.file + " was refused: " + entry.reason;
        return "the change was refused: " + entry.reason;
    case HistoryOutcome::Failed: {
        std::string text = "FAILED: " + entry.reason + "; the device may hold part of the change";
        if (!backup.empty()) text += "; the backup " + backup + " restores the settings it held before";
        return text;
    }
    case HistoryOutcome::NoSection: return entry.file + " holds no section for it";
    case HistoryOutcome::BackupFailed: return "nothing was written: " + entry.reason;
    case HistoryOutcome::BackedUp: return "backed up into " + backup;
    }
    return "?";
}

std::string outcomeKey(const HistoryEntry& entry, Unfinished unfinished) {
    if (unfinished == Unfinished::Running) return "running";
    if (unfinished == Unfinished::Unrecorded) return "no outcome recorded";
    const char* name = historyOutcomeName(entry.outcome);
    return name ? name : "?";
}

// The entries asked for: --reader picks the reader's entries first, --last
// the newest of those; only --last reads from the file's end alone.
bool readChosen(const Request& request, std::vector<HistoryEntry>& entries, int& skipped, std::string& error) {
    if (request.last > 0)
        return readLastHistoryEntries(kHistoryFileName, request.reader, static_cast<size_t>(request.last), entries,
                                      skipped, error);
    if (!readHistoryFile(kHistoryFileName, entries, skipped, error)) return false;
    if (!request.reader.empty())
        entries.erase(std::remove_if(entries.begin(), entries.end(),
                                     [&](const HistoryEntry& entry) { return entry.reader != request.reader; }),
                      entries.end());
    return true;
}

}  // namespace

std::string formatHistoryText(const std::vector<HistoryEntry>& entries, bool readersInUse) {
    std::string out;
    for (size_t e = 0; e < entries.size(); ++e) {
        const HistoryEntry& entry = entries[e];
        if (!out.empty()) out += "\n";
        out += runLine(entry.run);
        out += entry.reader + " (" + entry.type + "): " + outcomeText(entry, unfinishedOf(entries, e, readersInUse)) + "\n";
        // The change lines exactly as the dry run words them.
        ReaderReport changed;
        changed.name = entry.reader;
        changed.type = entry.type;
        changed.outcome = ReaderReport::Outcome::Different;
        changed.changes = entry.changes;
        out += formatReportText(ReportKind::StorePreview, {changed}, entry.file);
    }
    return out;
}

std::string formatHistoryJson(const std::vector<HistoryEntry>& entries, bool readersInUse) {
    std::string out = "[";
    for (size_t e = 0; e < entries.size(); ++e) {
        const HistoryEntry& entry = entries[e];
        const HistoryRun& run = entry.run;
        out += e ? ",\n  {" : "\n  {";
        out += "\"time\": " + jsonString(run.time) + ", \"computer\": " + jsonString(run.computer);
        out += ", \"user\": " + jsonString(run.user) + ", \"program\": " + jsonString(run.program);
        out += ", \"version\": " + jsonString(run.version) + ", \"library\": " + jsonString(run.library);
        out += ", \"command\": " + jsonString(run.command) + ", \"reader\": " + jsonString(entry.reader);
        out += ", \"type\": " + jsonString(entry.type) + ", \"backup\": " + jsonStringOrNull(entry.backup);
        out += ", \"file\": " + jsonStringOrNull(entry.file) + ", \"outcome\": " + jsonString(outcomeKey(entry, unfinishedOf(entries, e, readersInUse)));
        out += ", \"reason\": " + jsonStringOrNull(entry.reason);
        out += ", \"changes\": " + formatChangesJson(entry.changes, "  ") + "}";
    }
    return out + (entries.empty() ? "]\n" : "\n]\n");
}

int runHistory(const Request& request) {
    std::vector<HistoryEntry> entries;
    int skipped = 0;
    std::string error;
    if (!readChosen(request, entries, skipped, error)) {
        if (error != kNoHistory) {
            fail("cannot read the history %s: %s", kHistoryFileName, error.c_str());
            return kFileUnusable;
        }
        // Nothing has been changed from this folder yet: an empty history.
        if (request.json) std::fputs("[]\n", stdout);
        else std::printf("No history yet: %s is not in this folder\n", kHistoryFileName);
        return kDone;
    }
    const bool readersInUse = platform::MachineLock::heldAnywhere(kReaderLockName);
    const std::string text =
        request.json ? formatHistoryJson(entries, readersInUse) : formatHistoryText(entries, readersInUse);
    std::fputs(text.c_str(), stdout);
    // An empty answer would read as a command that printed nothing at all.
    if (!request.json && entries.empty()) {
        if (request.reader.empty()) std::printf("No changes in %s\n", kHistoryFileName);
        else std::printf("No changes of %s in %s\n", request.reader.c_str(), kHistoryFileName);
    }
    // The answer first: a script must hear of an answer it did not get
    // before any note on what it holds.
    const int status = finishOutput(kDone);
    if (status != kDone) return status;
    if (skipped == 1) fail("1 row of %s could not be read and was left out", kHistoryFileName);
    else if (skipped > 1) fail("%d rows of %s could not be read and were left out", skipped, kHistoryFileName);
    return kDone;
}

}  // namespace spelvane::cli
