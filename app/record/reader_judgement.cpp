#include "app/record/reader_judgement.h"

namespace spelvane {
namespace {

ChangeOnReader judgeOnReader(const std::vector<StoredFieldChange>& changes, const SpeedValues& current) {
    bool allNew = true;
    bool allOld = true;
    for (const StoredFieldChange& change : changes) {
        uint32_t held = 0;
        if (!fieldValueHeld(current, change, held)) return ChangeOnReader::Mixed;
        allNew = allNew && held == change.to;
        allOld = allOld && held == change.from;
    }
    if (allNew) return ChangeOnReader::AllNew;
    return allOld ? ChangeOnReader::AllOld : ChangeOnReader::Mixed;
}

}  // namespace

bool unsettled(const HistoryEntry& entry) {
    return entry.interrupted() || (entry.started && entry.outcome == HistoryOutcome::Failed);
}

bool writesWhole(const HistoryEntry& entry) { return entry.started && !entry.file.empty(); }

ReaderJudgement::Field ReaderJudgement::fieldOf(const StoredFieldChange& change) {
    return {static_cast<int>(change.field), change.light, change.index};
}

// A store that does not write the reader whole writes Half Clock and each
// light's shutter and HBlank words, and nothing else a later store could
// leave half done: once newer changes wrote all of them, nothing older can
// show a part. (The address list a store may grow by the HBlank register
// is written first, and read back at its new value once anything after it
// was written.)
bool ReaderJudgement::everyFieldWritten() const {
    using F = StoredFieldChange::Field;
    const SpeedValues& values = *held_;
    const auto has = [&](F field, int light, int index) {
        return written_.count({static_cast<int>(field), light, index}) > 0;
    };
    if (!has(F::HalfClock, -1, -1)) return false;
    for (int light = 0; light < heldLightCount(values); ++light) {
        if (!has(F::LightWord, light, 1 + values.shutterIndex)) return false;
        if (values.hblankPresent && !has(F::LightWord, light, 1 + values.hblankIndex)) return false;
    }
    return true;
}

bool ReaderJudgement::older(const HistoryEntry& entry) {
    if (done_) return false;
    // A refusal, a backup, a missing section or "No changes" wrote nothing.
    if (!entry.started) return true;
    const bool last = !sawChange_;
    sawChange_ = true;
    std::vector<StoredFieldChange> unwritten;
    for (const StoredFieldChange& change : entry.changes)
        if (!written_.count(fieldOf(change))) unwritten.push_back(change);
    if (entry.changes.empty()) {
        if (unsettled(entry)) verdict_ = UnfinishedChange{entry, ChangeOnReader::Mixed};
    } else if (!unwritten.empty()) {
        if (!held_) {
            // Nothing to judge by but what the history says.
            if (unsettled(entry)) verdict_ = UnfinishedChange{entry, ChangeOnReader::Mixed};
        } else {
            const ChangeOnReader judged = judgeOnReader(unwritten, *held_);
            if (judged == ChangeOnReader::Mixed) verdict_ = UnfinishedChange{entry, judged};
            else if (last && unsettled(entry)) verdict_ = UnfinishedChange{entry, judged};
        }
    }
    for (const StoredFieldChange& change : entry.changes) written_.insert(fieldOf(change));
    done_ = (verdict_ && verdict_->interrupted()) || writesWhole(entry) || (held_ && everyFieldWritten());
    return !done_;
}

std::optional<UnfinishedChange> judgeReader(const std::vector<HistoryEntry>& entries, const std::string& reader,
                                            const SpeedValues* held) {
    ReaderJudgement judgement(held);
    for (auto entry = entries.rbegin(); entry != entries.rend(); ++entry)
        if (entry->reader == reader && !judgement.older(*entry)) break;
    return judgement.verdict();
}

std::string interruptedRemedy(const HistoryEntry& entry) {
    if (!entry.backup.empty()) return "the backup " + entry.backup + " restores the settings it held before";
    if (!entry.file.empty()) return "restore " + entry.file + " again to finish it";
    return "its settings before the change are not known";
}

std::string recordedEnd(const HistoryEntry& entry) {
    if (!entry.hasOutcome) return "was interrupted";
    if (entry.outcome == HistoryOutcome::Failed) return "FAILED";
    const char* name = historyOutcomeName(entry.outcome);
    return std::string("is recorded as ") + (name ? name : "?");
}

std::string unfinishedChangeLine(const UnfinishedChange& change) {
    const HistoryEntry& entry = change.entry;
    const std::string what = entry.reader + ": the " + entry.run.command + " of " + entry.run.time;
    // A failed one has its outcome: the reader tells whether it holds part.
    const bool failed = entry.hasOutcome;
    switch (change.held) {
    case ChangeOnReader::AllNew:
        if (failed) return what + " FAILED, yet the reader holds every value it wrote.";
        return what + " finished: the reader holds every value it wrote; only its outcome is missing from the history.";
    case ChangeOnReader::AllOld:
        if (failed) return what + " FAILED before any of it reached the reader: it holds every value from before.";
        return what + " has no outcome in the history, and none of it reached the reader: it holds every value "
                      "from before.";
    case ChangeOnReader::Mixed: break;
    }
    const std::string end = recordedEnd(entry);
    // The history and the reader disagree: the reader's values decide.
    const std::string yet = entry.hasOutcome && entry.outcome != HistoryOutcome::Failed
                                ? ", yet the reader holds only part of it"
                                : "";
    return what + " " + end + yet + "; " + interruptedRemedy(entry) + ".";
}

}  // namespace spelvane
