#pragma once
// The open readers judged against every history this computer keeps of
// them (reader_judgement.h): for the start-up notice, show, the events, the
// Half Clock refusal and the start row of every change.
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "app/app_state.h"
#include "app/record/reader_judgement.h"

namespace spelvane {

// The names of the open readers, as the history has them.
std::vector<std::string> openReaderNames(const AppState& app);

// The histories that may record this computer's changes to a reader,
// whichever folder the program runs in: the one of the folder it writes to,
// the workstation folder's, and those the installer renamed aside there.
std::vector<std::string> historyPaths(const AppState& app);

// One reader's verdict over those histories, read from their ends back only
// as far as the judgement needs. judged is false when a history could not
// be read: the verdict then rests on what was read. looked, when given,
// adds the bytes looked at, told the entries judged.
struct ReaderVerdict {
    std::optional<UnfinishedChange> change;
    bool judged = true;
    uint64_t looked = 0;
    uint64_t told = 0;
};
ReaderVerdict judgeReaderHistories(const std::vector<std::string>& paths, const std::string& reader,
                                   const SpeedValues* held);
// The verdict of the open reader device over historyPaths(app).
ReaderVerdict openReaderVerdict(const AppState& app, int device);

// Each open reader's verdict.
std::vector<UnfinishedChange> unfinishedChanges(const AppState& app);
// Those not reported when they happened: a failed change had its event
// when it failed.
std::vector<UnfinishedChange> unreportedChanges(const std::vector<UnfinishedChange>& changes);
// Puts those lines into the log, after discovery, and the interrupted ones
// not reported yet into the event log.
void logUnfinishedChanges(const AppState& app);

}  // namespace spelvane
