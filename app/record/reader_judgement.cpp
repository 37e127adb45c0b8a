#include "app/record/reader_judgement.h"

#include <cctype>

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

// Wall clock seconds of "YYYY?MM?DD?hh?mm?ss" digits at text's start,
// the separators skipped: both a row's time and a backup's stamp tell the
// computer's own clock.
bool wallClockSeconds(const std::string& text, size_t digitsAt, bool separated, int64_t& seconds) {
    const int widths[] = {4, 2, 2, 2, 2, 2};
    int64_t parts[6] = {};
    size_t at = digitsAt;
    for (int p = 0; p < 6; ++p) {
        if (separated && p > 0) ++at;
        for (int d = 0; d < widths[p]; ++d, ++at) {
            if (at >= text.size() || text[at] < '0' || text[at] > '9') return false;
            parts[p] = parts[p] * 10 + (text[at] - '0');
        }
    }
    const int64_t month = parts[1];
    if (month < 1 || month > 12 || parts[2] < 1 || parts[2] > 31) return false;
    // Days since 1970-01-01 of the proleptic Gregorian calendar.
    const int64_t year = parts[0] - (month <= 2 ? 1 : 0);
    const int64_t era = year / 400;
    const int64_t yearOfEra = year - era * 400;
    const int64_t dayOfYear = (153 * (month + (month > 2 ? -3 : 9)) + 2) / 5 + parts[2] - 1;
    const int64_t dayOfEra = yearOfEra * 365 + yearOfEra / 4 - yearOfEra / 100 + dayOfYear;
    const int64_t days = era * 146097 + dayOfEra - 719468;
    seconds = days * 86400 + parts[3] * 3600 + parts[4] * 60 + parts[5];
    return true;
}

bool sameName(const std::string& a, const std::string& b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i)
        if (std::tolower(static_cast<unsigned char>(a[i])) != std::tolower(static_cast<unsigned char>(b[i])))
            return false;
    return true;
}

std::string withoutFolder(const std::string& path) {
    const size_t slash = path.find_last_of("\\/:");
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

// A backup's stamp moves on past names already taken for up to an hour;
// the clock and the zone may move too: no change older than this took it.
constexpr int64_t kBackupStampSlack = 2 * 86400;

}  // namespace

bool unsettled(const HistoryEntry& entry) {
    return entry.interrupted() || (entry.started && entry.outcome == HistoryOutcome::Failed);
}

bool writesWhole(const HistoryEntry& entry) { return entry.started && !entry.file.empty(); }

bool backupNameOf(const std::string& path, std::string& name, int64_t& wallSeconds) {
    name = withoutFolder(path);
    constexpr size_t kStamp = 14;  // YYYYMMDDhhmmss
    constexpr size_t kTail = kStamp + 4;
    if (name.size() < kTail + 1 || name[name.size() - kTail - 1] != '_' ||
        !sameName(name.substr(name.size() - 4), ".set"))
        return false;
    return wallClockSeconds(name, name.size() - kTail, false, wallSeconds);
}

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

ChangeOnReader ReaderJudgement::onReader(const HistoryEntry& entry,
                                         const std::vector<StoredFieldChange>& unwritten) const {
    // Without the reader's values only the history can be asked.
    if (!held_) return unsettled(entry) ? ChangeOnReader::Mixed : ChangeOnReader::AllNew;
    return judgeOnReader(unwritten, *held_);
}

// Looking for the change that took the backup a restore wrote back: the
// reader holds again what it held then, before that change wrote.
bool ReaderJudgement::seek(const HistoryEntry& entry) {
    const bool tookIt = sameName(withoutFolder(entry.backup), seeking_) &&
                        !(entry.hasOutcome && entry.outcome == HistoryOutcome::BackupFailed);
    if (tookIt) {
        seeking_.clear();
        written_ = writtenAfterRestore_;
        if (entry.started && readerBeforeOf(entry.before) == ReaderBefore::Settled) return stop();
        return true;
    }
    int64_t wall = 0;
    // None of this reader's changes took it: a file from elsewhere, which
    // settles the reader once written whole.
    if (wallClockSeconds(entry.run.time, 0, true, wall) && wall < seekUntil_) return stop();
    return true;
}

// After a part found: back along the runs each change's start row says the
// reader held part of, to the first, whose backup settles it.
bool ReaderJudgement::followUndo(const HistoryEntry& entry) {
    if (!entry.started || entry.run.id != undoRun_) return true;
    verdict_->undo = entry;
    std::string older;
    if (readerBeforeOf(entry.before, &older) != ReaderBefore::HeldPart) return stop();
    undoRun_ = older;
    return true;
}

// A part found: the verdict, and where its undoing lies.
bool ReaderJudgement::partFound(const HistoryEntry& entry) {
    verdict_ = UnfinishedChange{entry, ChangeOnReader::Mixed, std::nullopt};
    if (readerBeforeOf(entry.before, &undoRun_) != ReaderBefore::HeldPart) return stop();
    return true;
}

bool ReaderJudgement::older(const HistoryEntry& entry) {
    if (done_) return false;
    ++told_;
    if (!undoRun_.empty()) return followUndo(entry);
    if (!seeking_.empty()) return seek(entry);
    // A refusal, a backup, a missing section or "No changes" wrote nothing.
    if (!entry.started) return true;
    const bool last = !sawChange_;
    sawChange_ = true;
    std::vector<StoredFieldChange> unwritten;
    for (const StoredFieldChange& change : entry.changes)
        if (!written_.count(fieldOf(change))) unwritten.push_back(change);
    // Nothing of it left to see: newer changes wrote every field it wrote.
    ChangeOnReader judged = ChangeOnReader::AllNew;
    if (entry.changes.empty()) judged = unsettled(entry) ? ChangeOnReader::Mixed : ChangeOnReader::AllNew;
    else if (!unwritten.empty()) judged = onReader(entry, unwritten);
    if (judged == ChangeOnReader::Mixed) return partFound(entry);
    if (last && unsettled(entry) && (!unwritten.empty() || entry.changes.empty()))
        verdict_ = UnfinishedChange{entry, judged, std::nullopt};
    const bool settledBefore = readerBeforeOf(entry.before) == ReaderBefore::Settled;
    // None of it reached the reader: as if it had not run.
    if (judged == ChangeOnReader::AllOld && !unwritten.empty()) return settledBefore ? stop() : true;
    const std::set<Field> newer = written_;
    for (const StoredFieldChange& change : entry.changes) written_.insert(fieldOf(change));
    if (writesWhole(entry)) {
        // The reader holds the file: a backup of it brings back what it held
        // when the backup was taken; any other file settles it.
        if (!backupNameOf(entry.file, seeking_, seekUntil_)) {
            seeking_.clear();
            return stop();
        }
        seekUntil_ -= kBackupStampSlack;
        writtenAfterRestore_ = newer;
        return true;
    }
    if (settledBefore || (held_ && everyFieldWritten())) return stop();
    return true;
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
    return what + " " + end + yet + "; " + interruptedRemedy(change.undoing()) + ".";
}

}  // namespace spelvane
