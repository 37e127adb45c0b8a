// spelvane-history.csv: rows gathered into entries, one for each change.
#include <algorithm>

#include "settings/history_file.h"
#include "settings/history_reading.h"

namespace spelvane {
namespace {

HistoryEntry entryOf(const HistoryRow& row) {
    HistoryEntry entry;
    entry.run = row.run;
    entry.reader = row.reader;
    entry.type = row.type;
    entry.backup = row.backup;
    entry.file = row.file;
    return entry;
}

void fillMissing(std::string& mine, const std::string& row) {
    if (mine.empty()) mine = row;
}

}  // namespace

HistoryEntryStream::HistoryEntryStream(Take take, size_t mostWaiting)
    : take_(std::move(take)), mostWaiting_(mostWaiting) {}

void HistoryEntryStream::add(const HistoryRow& row) {
    const auto key = std::make_pair(row.run.id, row.reader);
    auto found = open_.find(key);
    if (row.event == HistoryEvent::Start && found != open_.end()) {
        // Started again in the same run: the earlier one ends without an outcome.
        waiting_[found->second - firstNumber_].open = false;
        open_.erase(found);
        found = open_.end();
    }
    if (found == open_.end()) {
        Waiting fresh;
        fresh.entry = entryOf(row);
        // A change row whose start was lost still tells that writing began.
        fresh.entry.started = row.event != HistoryEvent::Outcome;
        fresh.open = fresh.entry.started;
        if (fresh.open) found = open_.emplace(key, nextNumber_).first;
        waiting_.push_back(std::move(fresh));
        ++nextNumber_;
    }
    Waiting& waiting = found == open_.end() ? waiting_.back() : waiting_[found->second - firstNumber_];
    HistoryEntry& entry = waiting.entry;
    fillMissing(entry.type, row.type);
    fillMissing(entry.backup, row.backup);
    fillMissing(entry.file, row.file);
    if (row.event == HistoryEvent::Start) entry.before = row.reason;
    if (row.event == HistoryEvent::Change) entry.changes.push_back(row.change);
    if (row.event == HistoryEvent::Outcome) {
        entry.hasOutcome = true;
        entry.outcome = row.outcome;
        entry.reason = row.reason;
        waiting.open = false;
        if (found != open_.end()) open_.erase(found);
    }
    weigh(waiting);
    handOutReady();
}

void HistoryEntryStream::finish() {
    for (Waiting& waiting : waiting_) waiting.open = false;
    open_.clear();
    handOutReady();
}

void HistoryEntryStream::weigh(Waiting& waiting) {
    const HistoryEntry& entry = waiting.entry;
    const HistoryRun& run = entry.run;
    size_t bytes = sizeof(Waiting) + entry.changes.capacity() * sizeof(StoredFieldChange);
    for (const std::string* text : {&run.id, &run.time, &run.computer, &run.user, &run.program, &run.version,
                                    &run.library, &run.command, &entry.reader, &entry.type, &entry.backup,
                                    &entry.file, &entry.reason, &entry.before})
        bytes += text->capacity();
    waited_ = waited_ - waiting.bytes + bytes;
    waiting.bytes = bytes;
}

void HistoryEntryStream::handOutReady() {
    while (!waiting_.empty() && (!waiting_.front().open || waited_ > mostWaiting_)) {
        Waiting& front = waiting_.front();
        // Handed out without its outcome: a later row of it starts anew.
        if (front.open) open_.erase(std::make_pair(front.entry.run.id, front.entry.reader));
        waited_ -= front.bytes;
        take_(front.entry);
        waiting_.pop_front();
        ++firstNumber_;
    }
    mostWaited_ = std::max(mostWaited_, waited_);
}

std::vector<HistoryEntry> gatherHistoryEntries(const std::vector<HistoryRow>& rows) {
    EntryGatherer gatherer;
    for (const HistoryRow& row : rows) gatherer.add(row);
    return gatherer.entries();
}

}  // namespace spelvane
