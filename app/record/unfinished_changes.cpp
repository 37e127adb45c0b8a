#include "app/record/unfinished_changes.h"

#include "app/event_report.h"
#include "app/message_log.h"
#include "app/record/change_history.h"
#include "platform/files.h"
#include "platform/input_file.h"
#include "platform/workstation.h"
#include "platform/workstation_folder.h"

namespace spelvane {
namespace {

// The installer numbers the histories it renames aside from 1 on, taking
// the first number free.
constexpr int kMostAsides = 100;

}  // namespace

std::vector<std::string> openReaderNames(const AppState& app) {
    std::vector<std::string> names;
    for (int i = 0; i < app.boundCount(); ++i)
        if (app.settings[i].device) names.push_back(app.readerName(i));
    return names;
}

std::vector<std::string> historyPaths(const AppState& app) {
    std::vector<std::string> paths{historyPath(app)};
    const std::string folder = platform::workstationFolder();
    if (folder.empty()) return paths;
    const std::string kept = platform::pathInFolder(folder, kHistoryFileName);
    const std::string here = platform::wholePath(paths.front());
    if (here.empty() || platform::wholePath(kept) != here) paths.push_back(kept);
    for (int number = 1; number < kMostAsides; ++number) {
        const std::string aside = kept + ".aside-" + std::to_string(number);
        if (platform::readFault(aside) == platform::FileFault::Missing) break;
        paths.push_back(aside);
    }
    return paths;
}

ReaderVerdict judgeReaderHistories(const std::vector<std::string>& paths, const std::string& reader,
                                   const SpeedValues* held) {
    // Another computer's reader of the same name shares nothing with this one.
    HistoriesBack history(paths, reader, platform::computerName());
    ReaderJudgement judgement(held);
    HistoryEntry entry;
    while (history.next(entry) && judgement.older(entry)) {
    }
    return {judgement.verdict(), !history.failed(), history.bytesLooked(), judgement.told()};
}

ReaderVerdict openReaderVerdict(const AppState& app, int device) {
    const SpeedValues held = app.settings[device].snapshot();
    return judgeReaderHistories(historyPaths(app), app.readerName(device), &held);
}

std::vector<UnfinishedChange> unfinishedChanges(const AppState& app) {
    std::vector<UnfinishedChange> changes;
    for (int i = 0; i < app.boundCount(); ++i) {
        if (!app.settings[i].device) continue;
        if (auto change = openReaderVerdict(app, i).change) changes.push_back(std::move(*change));
    }
    return changes;
}

std::vector<UnfinishedChange> unreportedChanges(const std::vector<UnfinishedChange>& changes) {
    std::vector<UnfinishedChange> unreported;
    for (const UnfinishedChange& change : changes)
        if (!change.entry.hasOutcome || change.entry.outcome != HistoryOutcome::Failed) unreported.push_back(change);
    return unreported;
}

void logUnfinishedChanges(const AppState& app) {
    const std::vector<UnfinishedChange> changes = unfinishedChanges(app);
    for (const UnfinishedChange& change : changes)
        messageLog().append("%s\r\n", unfinishedChangeLine(change).c_str());
    reportInterruptedChanges(unreportedChanges(changes));
}

}  // namespace spelvane
