#include "app/console/cli_history.h"

#include <cstdio>
#include <set>
#include <utility>

#include "app/app_state.h"
#include "app/record/change_history.h"
#include "app/record/reader_judgement.h"
#include "app/console/cli_output.h"
#include "app/console/cli_session.h"
#include "app/record/running_change.h"

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

// A change without outcome: running (isRunningChange), or else only the
// reader can tell whether it was cut short or only its outcome row was lost.
enum class Unfinished { No, Unrecorded, Running };

Unfinished unfinishedOf(const std::vector<HistoryEntry>& entries, size_t e, bool readersInUse) {
    if (!entries[e].interrupted()) return Unfinished::No;
    return isRunningChange(entries, e, readersInUse) ? Unfinished::Running : Unfinished::Unrecorded;
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

// The entries as text or one JSON array, printed in batches as they are
// read, so that a history is never held whole. An entry without outcome
// that may still be running (readersInUse, this computer) waits, with the
// entries behind it, until a later entry of its reader shows it is not, or
// the end shows it is: the formatting functions judge each batch.
class HistoryPrinter {
public:
    HistoryPrinter(bool json, bool readersInUse) : json_(json), readersInUse_(readersInUse) {}
    void add(HistoryEntry& entry) {
        ++count_;
        unsettled_.erase(entry.reader);
        pending_.push_back(std::move(entry));
        // Its reader's newest entry so far: running, as far as is known yet.
        if (isRunningChange(pending_, pending_.size() - 1, readersInUse_)) unsettled_.insert(pending_.back().reader);
        // Thousands of entries behind a change that has no outcome: it is not
        // the one running now, whose rows are the newest.
        if (pending_.size() >= kMostPending) print(false);
        else if (unsettled_.empty()) print(readersInUse_);
    }
    void end() {
        print(readersInUse_);
        if (json_) std::fputs(count_ ? "\n]\n" : "[]\n", stdout);
    }
    size_t count() const { return count_; }

private:
    static constexpr size_t kMostPending = 4096;
    void print(bool readersInUse) {
        unsettled_.clear();
        if (pending_.empty()) return;
        if (json_) {
            // A batch's array is "[", its objects, "\n]\n": the batches of
            // one array are joined by commas.
            const std::string batch = formatHistoryJson(pending_, readersInUse);
            std::fputs(printed_ ? "," : "[", stdout);
            std::fputs(batch.substr(1, batch.size() - 4).c_str(), stdout);
        } else {
            if (printed_) std::fputs("\n", stdout);
            std::fputs(formatHistoryText(pending_, readersInUse).c_str(), stdout);
        }
        printed_ = true;
        pending_.clear();
    }
    bool json_;
    bool readersInUse_;
    std::vector<HistoryEntry> pending_;
    std::set<std::string> unsettled_;  // readers of entries that may be running
    size_t count_ = 0;
    bool printed_ = false;
};

// The entries asked for, printed: --reader picks the reader's entries
// first, --last the newest of those; only --last reads from the file's end
// alone, the rest streams from its start.
bool printChosen(const Request& request, HistoryPrinter& printer, int& skipped, std::string& error) {
    if (request.last > 0) {
        std::vector<HistoryEntry> entries;
        if (!readLastHistoryEntries(kHistoryFileName, request.reader, static_cast<size_t>(request.last), entries,
                                    skipped, error))
            return false;
        for (HistoryEntry& entry : entries) printer.add(entry);
        return true;
    }
    return forEachHistoryEntry(
        kHistoryFileName,
        [&](HistoryEntry& entry) {
            if (request.reader.empty() || entry.reader == request.reader) printer.add(entry);
        },
        skipped, error);
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
    HistoryPrinter printer(request.json, readersInUseNow());
    int skipped = 0;
    std::string error;
    if (!printChosen(request, printer, skipped, error)) {
        if (error != kNoHistory) {
            // What was printed before the fault stays one valid array; the
            // status tells that it is not the whole history.
            if (printer.count() > 0) printer.end();
            fail("cannot read the history %s: %s", kHistoryFileName, error.c_str());
            return kFileUnusable;
        }
        // Nothing has been changed from this folder yet: an empty history.
        if (request.json) std::fputs("[]\n", stdout);
        else std::printf("No history yet: %s is not in this folder\n", kHistoryFileName);
        return kDone;
    }
    printer.end();
    // An empty answer would read as a command that printed nothing at all.
    if (!request.json && printer.count() == 0) {
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
