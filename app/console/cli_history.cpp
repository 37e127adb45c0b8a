#include "app/console/cli_history.h"

#include <algorithm>
#include <cstdio>
#include <set>
#include <utility>

#include "app/app_state.h"
#include "app/console/cli_folder.h"
#include "app/console/cli_output.h"
#include "app/console/cli_session.h"
#include "app/record/change_history.h"
#include "app/record/reader_judgement.h"
#include "app/record/running_change.h"
#include "platform/file_fault.h"
#include "platform/files.h"
#include "platform/workstation_folder.h"

namespace spelvane::cli {
namespace {

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

// One history read: this folder's, or one named on the command line (a
// file, or a folder holding one, a workstation's share too).
struct HistorySource {
    std::string path;
    HistoryCursor cursor;
    HistoryEntry head;  // its next entry, while hasHead
    bool hasHead = false;
    int64_t seconds = 0;  // head's time, or the last one before it that could be read
    std::string unread;   // why it was not read to its end ("" when it was)
    int skipped = 0;
};

std::vector<HistorySource> sourcesOf(const Request& request) {
    std::vector<HistorySource> sources(request.histories.empty() ? 1 : request.histories.size());
    for (size_t i = 0; i < request.histories.size(); ++i) {
        const std::string& named = request.histories[i];
        sources[i].path = platform::folderExists(named) ? platform::pathInFolder(named, kHistoryFileName) : named;
    }
    if (request.histories.empty()) sources[0].path = kHistoryFileName;
    return sources;
}

// Times of other zones meet in UTC; a time that cannot be read keeps its
// place in its own history behind the one before it.
void takeTime(HistorySource& source, const HistoryEntry& entry) {
    int64_t seconds = 0;
    if (historyTimeSeconds(entry.run.time, seconds)) source.seconds = seconds;
}

void advance(HistorySource& source, const std::string& reader) {
    source.hasHead = false;
    while (source.cursor.next(source.head)) {
        if (!reader.empty() && source.head.reader != reader) continue;
        takeTime(source, source.head);
        source.hasHead = true;
        return;
    }
    source.skipped = source.cursor.skipped();
    if (source.cursor.fault() != platform::FileFault::None)
        source.unread = platform::fileFaultMessage("read", source.path, source.cursor.fault());
}

// Every entry of the histories, oldest first: one entry of each waits at a
// time, so that what is kept does not grow with the histories.
void printMerged(std::vector<HistorySource>& sources, const std::string& reader, HistoryPrinter& printer) {
    for (HistorySource& source : sources)
        if (source.unread.empty()) advance(source, reader);
    for (;;) {
        HistorySource* oldest = nullptr;
        for (HistorySource& source : sources)
            if (source.hasHead && (!oldest || source.seconds < oldest->seconds)) oldest = &source;
        if (!oldest) return;
        printer.add(oldest->head);
        advance(*oldest, reader);
    }
}

// The last count entries of the histories together: the last count of
// each, read from its end, then the newest of those.
void printLast(std::vector<HistorySource>& sources, const std::string& reader, size_t count,
               HistoryPrinter& printer) {
    struct Timed {
        int64_t seconds;
        HistoryEntry entry;
    };
    std::vector<Timed> newest;
    for (HistorySource& source : sources) {
        if (!source.unread.empty()) continue;
        std::vector<HistoryEntry> entries;
        std::string error;
        if (!readLastHistoryEntries(source.path, reader, count, entries, source.skipped, error)) {
            const std::string whole = platform::wholePath(source.path);
            source.unread = "cannot read " + (whole.empty() ? source.path : whole) + ": " + error;
            continue;
        }
        for (HistoryEntry& entry : entries) {
            takeTime(source, entry);
            newest.push_back({source.seconds, std::move(entry)});
        }
    }
    std::stable_sort(newest.begin(), newest.end(),
                     [](const Timed& a, const Timed& b) { return a.seconds < b.seconds; });
    const size_t from = newest.size() > count ? newest.size() - count : 0;
    for (size_t i = from; i < newest.size(); ++i) printer.add(newest[i].entry);
}

// This folder holds no history: where the workstation's is, and how to
// name it.
void sayNoHistoryHere() {
    const std::string here = platform::currentFolder();
    const std::string workstation = workstationFolderInUse();
    std::printf("No history yet: %s is not in this folder (%s)", kHistoryFileName, here.c_str());
    if (!workstation.empty() && workstation != here)
        std::printf("; the workstation's history is %s: spelvane-cli --workstation history",
                    platform::pathInFolder(workstation, kHistoryFileName).c_str());
    std::printf("\n");
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
    std::vector<HistorySource> sources = sourcesOf(request);
    const bool here = request.histories.empty();
    for (HistorySource& source : sources) {
        if (source.cursor.open(source.path)) continue;
        // Nothing has been changed from this folder yet: an empty history.
        if (here && source.cursor.fault() == platform::FileFault::Missing) {
            if (request.json) std::fputs("[]\n", stdout);
            else sayNoHistoryHere();
            return kDone;
        }
        source.unread = platform::fileFaultMessage("read", source.path, source.cursor.fault());
    }
    if (request.last > 0) printLast(sources, request.reader, static_cast<size_t>(request.last), printer);
    else printMerged(sources, request.reader, printer);
    std::vector<std::string> unread;
    int skipped = 0;
    std::string skippedIn;
    for (const HistorySource& source : sources) {
        if (!source.unread.empty()) unread.push_back(source.unread);
        skipped += source.skipped;
        if (source.skipped > 0) skippedIn += (skippedIn.empty() ? "" : ", ") + source.path;
    }
    // What was printed before a fault stays one valid array; the status
    // tells that it is not every history.
    if (printer.count() > 0 || unread.empty()) printer.end();
    else if (request.json) std::fputs("[]\n", stdout);
    // An empty answer would read as a command that printed nothing at all.
    if (!request.json && printer.count() == 0 && unread.empty()) {
        const std::string in = here ? std::string(kHistoryFileName) : "the histories named";
        if (request.reader.empty()) std::printf("No changes in %s\n", in.c_str());
        else std::printf("No changes of %s in %s\n", request.reader.c_str(), in.c_str());
    }
    // The answer first: a script must hear of an answer it did not get
    // before any note on what it holds.
    const int status = finishOutput(kDone);
    if (status != kDone) return status;
    if (!unread.empty()) {
        std::string all;
        for (const std::string& line : unread) all += (all.empty() ? "" : "; ") + line;
        if (sources.size() == 1) fail("%s", all.c_str());
        else fail("%d of %d histories could not be read, the others are shown: %s", static_cast<int>(unread.size()),
                  static_cast<int>(sources.size()), all.c_str());
        return kFileUnusable;
    }
    if (skipped == 1) fail("1 row of %s could not be read and was left out", skippedIn.c_str());
    else if (skipped > 1) fail("%d rows of %s could not be read and were left out", skipped, skippedIn.c_str());
    return kDone;
}

}  // namespace spelvane::cli
