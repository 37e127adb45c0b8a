#include "app/event_report.h"

#include "app/record/change_history.h"
#include "app/change_words.h"

namespace spelvane {
namespace {

using platform::EventType;

struct EventKind {
    EventId id;
    EventType type;
};

EventKind kindOf(HistoryOutcome outcome) {
    switch (outcome) {
    case HistoryOutcome::Written: return {kEventWritten, EventType::Information};
    case HistoryOutcome::NoChanges: return {kEventNoChanges, EventType::Information};
    case HistoryOutcome::Refused: return {kEventRefused, EventType::Warning};
    case HistoryOutcome::Failed: return {kEventFailed, EventType::Error};
    case HistoryOutcome::NoSection: return {kEventNoSection, EventType::Warning};
    case HistoryOutcome::BackupFailed: return {kEventBackupFailed, EventType::Error};
    case HistoryOutcome::BackedUp: return {kEventBackedUp, EventType::Information};
    }
    return {kEventFailed, EventType::Error};
}

// A viewer shows an empty insert as nothing at all; "none" reads as meant.
std::string orNone(const std::string& text) { return text.empty() ? "none" : text; }

std::string changesText(const std::vector<StoredFieldChange>& changes) {
    std::string text;
    for (const StoredFieldChange& change : changes) text += (text.empty() ? "" : "; ") + changeText(change);
    return orNone(text);
}

std::vector<std::string> eventStrings(const HistoryRun& run, const std::string& reader, const std::string& type,
                                      const std::string& outcome, const std::string& backup,
                                      const std::string& file, const std::string& reason,
                                      const std::vector<StoredFieldChange>& changes, const std::string& remedy) {
    return {orNone(reader), orNone(type), run.command, outcome, orNone(backup), orNone(file), orNone(reason),
            changesText(changes), run.time, run.program + " " + run.version, orNone(run.user),
            orNone(run.computer), orNone(run.library), run.id, orNone(remedy)};
}

// A failed change leaves the reader as an interrupted one does: a store's
// backup brings it back, a restore's file written again finishes it.
std::string failedRemedy(const HistoryRow& outcome) {
    if (outcome.outcome != HistoryOutcome::Failed) return {};
    HistoryEntry failed;
    failed.backup = outcome.backup;
    failed.file = outcome.file;
    return interruptedRemedy(failed);
}

void report(const ChangeEvent& event) {
    platform::reportEvent(kEventSource, event.type, event.id, event.strings, event.text);
}

// Start and change rows of changes whose outcome has not come yet. One
// command runs at a time, and its rows come in order.
std::vector<HistoryRow> awaiting;

}  // namespace

ChangeEvent outcomeEvent(const HistoryRow& outcome, const std::vector<StoredFieldChange>& changes) {
    const EventKind kind = kindOf(outcome.outcome);
    return {kind.id, kind.type,
            eventStrings(outcome.run, outcome.reader, outcome.type, historyOutcomeName(outcome.outcome),
                         outcome.backup, outcome.file, outcome.reason, changes, failedRemedy(outcome))};
}

ChangeEvent interruptedEvent(const HistoryEntry& entry, const HistoryEntry& undoing) {
    return {kEventInterrupted, EventType::Warning,
            eventStrings(entry.run, entry.reader, entry.type, "interrupted", entry.backup, entry.file,
                         interruptedRemedy(undoing), entry.changes, interruptedRemedy(undoing))};
}


void reportHistoryRows(const std::vector<HistoryRow>& rows) {
    for (const HistoryRow& row : rows) {
        if (row.event != HistoryEvent::Outcome) {
            awaiting.push_back(row);
            continue;
        }
        std::vector<StoredFieldChange> changes;
        std::vector<HistoryRow> others;
        for (const HistoryRow& earlier : awaiting) {
            const bool same = earlier.run.id == row.run.id && earlier.reader == row.reader;
            if (!same) others.push_back(earlier);
            else if (earlier.event == HistoryEvent::Change) changes.push_back(earlier.change);
        }
        awaiting.swap(others);
        report(outcomeEvent(row, changes));
    }
}

void reportInterruptedChanges(const std::vector<UnfinishedChange>& changes) {
    // Judged by what the reader holds: a change that finished, or never
    // reached it, is no interrupted one.
    for (const UnfinishedChange& change : changes)
        if (change.interrupted()) report(interruptedEvent(change.entry, change.undoing()));
}

void reportNoReader(const HistoryRun& run, const std::string& reference, const std::string& outcome,
                    const std::string& reason, const std::string& remedy) {
    report({kEventNoReader, EventType::Warning, eventStrings(run, "", "", outcome, "", reference, reason, {}, remedy)});
}

void reportFolderAction(EventType type, const std::string& folder, const std::string& what) {
    report({kEventFolderRefused, type, eventStrings(HistoryRun{}, "", "", "", "", folder, what, {}, ""),
            platform::EventText::Utf8});
}

void reportReportUnwritten(const HistoryRun& run, const std::string& path, const std::string& reason,
                           const std::string& kept) {
    report({kEventReportUnwritten, EventType::Warning,
            eventStrings(run, "", "", "report unwritten", "", path, reason, {}, kept)});
}

}  // namespace spelvane
