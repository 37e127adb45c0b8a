#pragma once
// Whether a reader is settled after the changes its history records is
// told by what the reader holds, not by the outcome rows: every user may
// append to the history, and a row saying "written" makes no value right.
// A change is judged on the fields no newer change wrote: all at its old
// values (none of it reached the reader), all at its new ones (it
// finished), or a mix (the reader holds part of it). A change that writes
// every field whole (a restore, a sync from a file) leaves nothing older to
// judge. The Half Clock refusal, the start-up notice, doctor, show and the
// events all ask this one judgement.
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

// A change that wrote every field whole (a restore, a sync from a file):
// what the reader held before it no longer counts.
bool writesWhole(const HistoryEntry& entry);

// What the reader holds of a change, on the fields no newer change wrote.
// A change without change rows cannot be told apart: a mix.
enum class ChangeOnReader { Mixed, AllNew, AllOld };

struct UnfinishedChange {
    HistoryEntry entry;
    ChangeOnReader held = ChangeOnReader::Mixed;
    bool interrupted() const { return held == ChangeOnReader::Mixed; }
};

// The judgement of one reader, told its entries from the newest back. held
// is what the reader holds now; without it (a reader not open) a change
// that did not end well, on fields no newer change wrote, may hold part.
class ReaderJudgement {
public:
    explicit ReaderJudgement(const SpeedValues* held) : held_(held) {}
    // The next older entry of the reader: false once nothing older can
    // change the verdict (a part found, a whole write, Half Clock and every
    // light's shutter and HBlank written since).
    bool older(const HistoryEntry& entry);
    // The change the reader holds part of; or else its last change that
    // wrote, when that did not end well, as the reader holds it (all new or
    // all old); nothing when it is settled.
    const std::optional<UnfinishedChange>& verdict() const { return verdict_; }

private:
    using Field = std::tuple<int, int, int>;  // field, light, index
    static Field fieldOf(const StoredFieldChange& change);
    bool everyFieldWritten() const;

    const SpeedValues* held_;
    std::set<Field> written_;  // by newer changes
    bool sawChange_ = false;
    bool done_ = false;
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
