#include "app/console/cli_history.h"

#include <cstdio>
#include <utility>

#include "app/change_history.h"
#include "app/console/cli_output.h"
#include "app/console/cli_session.h"

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

std::string outcomeText(const HistoryEntry& entry) {
    const std::string& backup = entry.backup;
    const bool restore = entry.run.command == "restore";
    if (entry.interrupted()) return "interrupted: no outcome was recorded; " + interruptedRemedy(entry);
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

std::string outcomeKey(const HistoryEntry& entry) {
    if (entry.interrupted()) return "interrupted";
    const char* name = historyOutcomeName(entry.outcome);
    return name ? name : "?";
}

// The entries as text or one JSON array, built an entry at a time, so that
// a history is printed as it is read and never held whole.
class HistoryWriter {
public:
    explicit HistoryWriter(bool json) : json_(json) {}
    void add(const HistoryEntry& entry) {
        if (json_) {
            // One entry's array is "[", its object after a line break, "\n]\n":
            // the objects of a longer one are joined by commas.
            const std::string alone = formatHistoryJson({entry});
            out_ += count_ ? "," : "[";
            out_.append(alone, 1, alone.size() - 4);
        } else {
            if (count_) out_ += "\n";
            out_ += formatHistoryText({entry});
        }
        ++count_;
    }
    void end() {
        if (json_) out_ += count_ ? "\n]\n" : "[]\n";
    }
    // What was added since the last call.
    std::string take() { return std::exchange(out_, std::string()); }
    size_t count() const { return count_; }

private:
    bool json_;
    size_t count_ = 0;
    std::string out_;
};

// The entries asked for, printed: --reader picks the reader's entries
// first, --last the newest of those; only --last reads from the file's end
// alone, the rest streams from its start.
bool printChosen(const Request& request, HistoryWriter& writer, int& skipped, std::string& error) {
    const auto print = [&](const HistoryEntry& entry) {
        writer.add(entry);
        std::fputs(writer.take().c_str(), stdout);
    };
    if (request.last > 0) {
        std::vector<HistoryEntry> entries;
        if (!readLastHistoryEntries(kHistoryFileName, request.reader, static_cast<size_t>(request.last), entries,
                                    skipped, error))
            return false;
        for (const HistoryEntry& entry : entries) print(entry);
        return true;
    }
    return forEachHistoryEntry(
        kHistoryFileName,
        [&](HistoryEntry& entry) {
            if (request.reader.empty() || entry.reader == request.reader) print(entry);
        },
        skipped, error);
}

}  // namespace

std::string formatHistoryText(const std::vector<HistoryEntry>& entries) {
    std::string out;
    for (const HistoryEntry& entry : entries) {
        if (!out.empty()) out += "\n";
        out += runLine(entry.run);
        out += entry.reader + " (" + entry.type + "): " + outcomeText(entry) + "\n";
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

std::string formatHistoryJson(const std::vector<HistoryEntry>& entries) {
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
        out += ", \"file\": " + jsonStringOrNull(entry.file) + ", \"outcome\": " + jsonString(outcomeKey(entry));
        out += ", \"reason\": " + jsonStringOrNull(entry.reason);
        out += ", \"changes\": " + formatChangesJson(entry.changes, "  ") + "}";
    }
    return out + (entries.empty() ? "]\n" : "\n]\n");
}

int runHistory(const Request& request) {
    HistoryWriter writer(request.json);
    int skipped = 0;
    std::string error;
    if (!printChosen(request, writer, skipped, error)) {
        if (error != kNoHistory) {
            // What was printed before the fault stays one valid array; the
            // status tells that it is not the whole history.
            if (writer.count() > 0) {
                writer.end();
                std::fputs(writer.take().c_str(), stdout);
            }
            fail("cannot read the history %s: %s", kHistoryFileName, error.c_str());
            return kFileUnusable;
        }
        // Nothing has been changed from this folder yet: an empty history.
        if (request.json) std::fputs("[]\n", stdout);
        else std::printf("No history yet: %s is not in this folder\n", kHistoryFileName);
        return kDone;
    }
    writer.end();
    std::fputs(writer.take().c_str(), stdout);
    const size_t printed = writer.count();
    // An empty answer would read as a command that printed nothing at all.
    if (!request.json && printed == 0) {
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
