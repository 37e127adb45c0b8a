#pragma once
// The open readers judged against the history of the folder the backups go
// to (reader_judgement.h): for the start-up notice, show, the events and
// the Half Clock refusal.
#include <string>
#include <vector>

#include "app/app_state.h"
#include "app/record/reader_judgement.h"

namespace spelvane {

// The names of the open readers, as the history has them.
std::vector<std::string> openReaderNames(const AppState& app);
// The open readers' entries, read from the history's end only as far back
// as their judgement needs (readStartedEntriesBack); none from a history
// that cannot be read.
std::vector<HistoryEntry> openReadersHistory(const AppState& app);
// Each open reader's verdict (ReaderJudgement) over the history.
std::vector<UnfinishedChange> unfinishedChanges(const AppState& app);
// Those not reported when they happened: a failed change had its event
// when it failed.
std::vector<UnfinishedChange> unreportedChanges(const std::vector<UnfinishedChange>& changes);
// Puts those lines into the log, after discovery, and the interrupted ones
// not reported yet into the event log.
void logUnfinishedChanges(const AppState& app);

}  // namespace spelvane
