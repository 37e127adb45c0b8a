#pragma once
// Whether a reader is settled after the changes its history records is
// told by what the reader holds, not by the outcome rows: every user may
// append to the history, and a row saying "written" makes no value right.
// A change is judged on the fields no newer change wrote: all at its old
// values (none of it reached the reader, as if it had not run), all at its
// new ones (it reached the reader whole), or a mix (the reader holds part
// of it). The Half Clock refusal, the start-up notice, doctor, show, the
// events and the start row of every change all ask this one judgement.
//
// It reads the reader's changes from the newest back and stops as soon as
// nothing older can change its answer: a part found; a change that reached
// the reader whole or not at all and whose start row says the reader was
// settled as it began; a write from a file that is no backup of this
// reader. A restore of a backup puts the reader back where it was when the
// backup was taken, so the judgement goes on from the change that took it.
#include <cstdint>
#include <optional>
#include <set>
#include <string>
#include <tuple>
#include <vector>

#include "settings/history_file.h"
#include "settings/speed_values.h"

namespace spelvane {

// A change whose history says it did not end well: its outcome is missing
// (cut short, or only its outcome row was lost) or says it failed.
bool unsettled(const HistoryEntry& entry);

// A change that wrote every field whole (a restore, a sync from a file).
bool writesWhole(const HistoryEntry& entry);

// What the reader holds of a change, on the fields no newer change wrote.
// A change without change rows cannot be told apart: a mix.
enum class ChangeOnReader { Mixed, AllNew, AllOld };

struct UnfinishedChange {
    HistoryEntry entry;
    ChangeOnReader held = ChangeOnReader::Mixed;
    // The change whose backup (or file) brings the reader back to settled
    // values, when not entry itself: entry began on a reader that held part
    // of an older change, so its own backup holds that part too.
    std::optional<HistoryEntry> undo;
    bool interrupted() const { return held == ChangeOnReader::Mixed; }
    const HistoryEntry& undoing() const { return undo ? *undo : entry; }
};

// The backup a written .set file is, when its name is one a backup gets
// ("<name>_YYYYMMDDhhmmss.set"): its name without the folder, and the wall
// clock time its name tells in seconds. False for any other name.
bool backupNameOf(const std::string& path, std::string& name, int64_t& wallSeconds);

// The judgement of one reader, told its entries (of this computer) from the
// newest back. held is what the reader holds now; without it (a reader not
// open) a change that did not end well, on fields no newer change wrote,
// may hold part.
class ReaderJudgement {
public:
    explicit ReaderJudgement(const SpeedValues* held) : held_(held) {}
    // The next older entry of the reader: false once nothing older can
    // change the verdict.
    bool older(const HistoryEntry& entry);
    // The change the reader holds part of; or else its last change that
    // wrote, when that did not end well, as the reader holds it (all new or
    // all old); nothing when it is settled.
    const std::optional<UnfinishedChange>& verdict() const { return verdict_; }
    // The entries told so far, for the cost of a judgement.
    uint64_t told() const { return told_; }

private:
    using Field = std::tuple<int, int, int>;  // field, light, index
    static Field fieldOf(const StoredFieldChange& change);
    bool everyFieldWritten() const;
    ChangeOnReader onReader(const HistoryEntry& entry, const std::vector<StoredFieldChange>& unwritten) const;
    bool seek(const HistoryEntry& entry);
    bool stop() {
        done_ = true;
        return false;
    }

    bool followUndo(const HistoryEntry& entry);
    bool partFound(const HistoryEntry& entry);

    const SpeedValues* held_;
    std::set<Field> written_;  // by newer changes that reached the reader
    // A part found whose change began on a reader holding part of run
    // undoRun_: that run's backup is the one that settles it.
    std::string undoRun_;
    bool sawChange_ = false;
    bool done_ = false;
    uint64_t told_ = 0;
    // A restore of a backup reached the reader whole: the change that took
    // the backup is looked for, and the fields newer changes wrote kept.
    std::string seeking_;
    int64_t seekUntil_ = 0;
    std::set<Field> writtenAfterRestore_;
    std::optional<UnfinishedChange> verdict_;
};

// The judgement over entries (in the file's order) of reader.
std::optional<UnfinishedChange> judgeReader(const std::vector<HistoryEntry>& entries, const std::string& reader,
                                            const SpeedValues* held);

// What brings the reader of an interrupted change back: the backup of a
// store (taken before it wrote), or else the restore's file once more.
std::string interruptedRemedy(const HistoryEntry& entry);
// How the history says the change ended: "FAILED", "was cut short", "is
// recorded as written"...
std::string recordedEnd(const HistoryEntry& entry);
// The line that names an unsettled change: the reader, the time, how the
// history says it ended, and as judged, the remedy (the reader holds part
// of it), or that the reader holds all of it or none.
std::string unfinishedChangeLine(const UnfinishedChange& change);

}  // namespace spelvane
