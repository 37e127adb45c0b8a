#include "app/record/unfinished_changes.h"

#include <map>

#include "app/event_report.h"
#include "app/message_log.h"
#include "app/record/change_history.h"

namespace spelvane {

std::vector<std::string> openReaderNames(const AppState& app) {
    std::vector<std::string> names;
    for (int i = 0; i < app.boundCount(); ++i)
        if (app.settings[i].device) names.push_back(app.readerName(i));
    return names;
}

std::vector<HistoryEntry> openReadersHistory(const AppState& app) {
    std::map<std::string, SpeedValues> held;
    std::map<std::string, ReaderJudgement> judgements;
    for (int i = 0; i < app.boundCount(); ++i) {
        if (!app.settings[i].device) continue;
        const std::string name = app.readerName(i);
        held[name] = app.settings[i].snapshot();
        judgements.emplace(name, ReaderJudgement(&held[name]));
    }
    std::vector<HistoryEntry> entries;
    std::string error;
    const auto enough = [&](const std::string& reader, const std::vector<HistoryEntry>& batch) {
        ReaderJudgement& judgement = judgements.at(reader);
        for (auto entry = batch.rbegin(); entry != batch.rend(); ++entry)
            if (!judgement.older(*entry)) return true;
        return false;
    };
    if (!readStartedEntriesBack(historyPath(app), openReaderNames(app), enough, entries, error)) entries.clear();
    return entries;
}

std::vector<UnfinishedChange> unfinishedChanges(const AppState& app) {
    const std::vector<HistoryEntry> entries = openReadersHistory(app);
    std::vector<UnfinishedChange> changes;
    for (int i = 0; i < app.boundCount(); ++i) {
        const SpeedSettings& record = app.settings[i];
        if (!record.device) continue;
        const SpeedValues held = record.snapshot();
        if (auto change = judgeReader(entries, app.readerName(i), &held)) changes.push_back(std::move(*change));
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
