#pragma once
// What the programs tell the system's Application event log, under the
// source "Spelvane": one event for every reader outcome the change history
// records (a write, a refusal, a failure, a backup...) and one for every
// interrupted change found when the readers are opened, carrying the same
// facts as the history; a sync's reader that the history keeps no row of
// (it held the reference already) has its event all the same, and a sync
// that found no reader one of its own. A site collects these from every workstation. An
// event log that cannot be written stops nothing and is not retried.
#include <cstdint>
#include <string>
#include <vector>

#include "app/app_state.h"
#include "app/record/change_history.h"
#include "app/record/reader_judgement.h"
#include "platform/event_log.h"
#include "settings/history_file.h"

namespace spelvane {

constexpr const char* kEventSource = "Spelvane";

// The ids of the message table both programs carry (app/win32/events.mc);
// README lists them. Never renumber one: sites filter on them.
enum EventId : uint32_t {
    kEventWritten = 1000,
    kEventNoChanges = 1001,
    kEventRefused = 1002,
    kEventFailed = 1003,
    kEventNoSection = 1004,
    kEventBackupFailed = 1005,
    kEventBackedUp = 1006,
    kEventInterrupted = 1007,
    kEventFolderRefused = 1008,
    kEventNoReader = 1009,
    kEventReportUnwritten = 1010,
};
constexpr EventId kEventIds[] = {kEventWritten,     kEventNoChanges,    kEventRefused,  kEventFailed,
                                 kEventNoSection,   kEventBackupFailed, kEventBackedUp, kEventInterrupted,
                                 kEventFolderRefused, kEventNoReader,   kEventReportUnwritten};

// One event as it is reported: the inserts, in the order the message
// table's texts number them: %1 reader, %2 type, %3 command, %4 outcome,
// %5 backup, %6 file, %7 reason, %8 changes, %9 time, %10 program and
// version, %11 user, %12 computer, %13 library, %14 run, %15 remedy (what
// brings back the reader of a failed or interrupted change; what to check
// without a reader; where an unwritten report's rows wait).
struct ChangeEvent {
    EventId id = kEventWritten;
    platform::EventType type = platform::EventType::Information;
    std::vector<std::string> strings;
    platform::EventText text = platform::EventText::Ansi;
};

// The event of an outcome row, with the change rows of its reader and run
// that came before it.
ChangeEvent outcomeEvent(const HistoryRow& outcome, const std::vector<StoredFieldChange>& changes);
// The event of a change that has a start and no outcome.
ChangeEvent interruptedEvent(const HistoryEntry& entry, const HistoryEntry& undoing);

// The installer's folder action (event 1008): %6 the folder, %7 what
// happened to it and to the installation, both in UTF-8 (the folder's walk
// keeps every name it finds, letters outside the ANSI code page included).
void reportFolderAction(platform::EventType type, const std::string& folder, const std::string& what);

// Hears every batch of rows the history appends (written or not): start and
// change rows are kept until their outcome comes, which is reported.
void reportHistoryRows(const std::vector<HistoryRow>& rows);
// Reports each of the changes that the reader holds only part of.
void reportInterruptedChanges(const std::vector<UnfinishedChange>& changes);

// A sync that found no reader it could use: the reference it was to hold
// them to, why (absence.outcome, and the error line as reason) and what to
// check, one warning for the run.
void reportNoReader(const HistoryRun& run, const std::string& reference, const std::string& outcome,
                    const std::string& reason, const std::string& remedy);
// A site's report file (path) that did not take the run's rows, why, and
// what became of them (kept: where they wait, or that they do not).
void reportReportUnwritten(const HistoryRun& run, const std::string& path, const std::string& reason,
                           const std::string& kept);

}  // namespace spelvane
