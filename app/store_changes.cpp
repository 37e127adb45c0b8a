// The store: for every open device, the operator's choice through the
// change computation into the store sequence.
#include "app/app_state.h"
#include "app/record/change_history.h"
#include "app/record/unfinished_changes.h"
#include "app/message_log.h"
#include "app/texts.h"

namespace spelvane {

void OperationSummary::add(int device, DeviceOutcome result) {
    // A restore may refuse one section and apply a later one: the last
    // outcome is the one the device ends with.
    if (device >= 0 && device < 2) outcome[device] = result;
    switch (result) {
    case DeviceOutcome::Unchanged: ++unchanged; break;
    case DeviceOutcome::Stored: ++stored; break;
    case DeviceOutcome::Refused: ++refused; break;
    case DeviceOutcome::Failed: ++failed; break;
    }
}

DeviceOutcome storeDeviceChange(SpeedSettings& record, const OperatorChoice& choice, ChangeObserver* observer) {
    MessageLog& log = messageLog();
    log.append("Store -> device: %s\r\n", record.typeName().c_str());
    ChangePlan plan = computeChange(record.snapshot(), choice);
    switch (plan.outcome) {
    case ChangePlan::Outcome::NoChange:
        log.append("No changes\r\n");
        return DeviceOutcome::Unchanged;
    case ChangePlan::Outcome::Refused:
        log.append("%s", plan.refusal.c_str());
        if (observer) observer->refused(plan.refusal);
        return DeviceOutcome::Refused;
    case ChangePlan::Outcome::Change:
        break;
    }
    return record.storeToDevice(plan.target, log, observer) ? DeviceOutcome::Stored : DeviceOutcome::Failed;
}

OperationSummary AppState::storeChanges(const OperatorChoice& choice, ChangeHistory* history) {
    OperationSummary summary;
    MessageLog& log = messageLog();
    log.append("%s", kLogRule);
    log.append("                          STORE CHANGES\r\n");
    log.append("%s", kLogRule);
    const int count = boundCount();
    for (int i = 0; i < count; ++i) {
        if (history) history->beginReader(i, lastBackupFile);
        const DeviceOutcome outcome = storeDeviceChange(settings[i], choice, history);
        if (history) history->endReader(outcome);
        summary.add(i, outcome);
        if (i + 1 < count) log.append("%s", kLogRule);
    }
    return summary;
}

namespace {

// A reader that could not be read again after a failed write: a backup of
// the values it held before would be no backup, and a change computed from
// them could rescale its shutters from the wrong ones.
std::optional<HalfClockRefusal> unreadReader(const AppState& app, ChangeHistory& history) {
    for (int i = 0; i < app.boundCount(); ++i) {
        if (!app.settings[i].heldUnknown) continue;
        HalfClockRefusal refusal{app.readerName(i) + kHeldUnknownWhy, kHeldUnknownRemedy};
        history.everyReader(HistoryOutcome::Refused, std::string(), refusal.line());
        return refusal;
    }
    return std::nullopt;
}

}  // namespace

AppState::StoreResult AppState::backUpAndStore(const OperatorChoice& choice) {
    StoreResult result;
    ChangeHistory history(*this, "store");
    result.refused = unreadReader(*this, history);
    if (!result.refused) result.refused = refuseHalfClockOverPart(*this, choice, history);
    if (result.refused) {
        messageLog().append("Store is CANCELLED: %s; %s; nothing was written to the device\r\n",
                            result.refused->why.c_str(), result.refused->remedy.c_str());
        result.summary.historyMissing = history.finish();
        return result;
    }
    // Without a complete backup the operator could not go back to what the
    // device holds now, so nothing is written.
    if (!saveOriginalSettings()) {
        messageLog().append("Store is CANCELLED: the original settings could not be saved, "
                            "nothing was written to the device\r\n");
        history.everyReader(HistoryOutcome::BackupFailed, std::string(), kBackupNotSaved);
        result.summary.historyMissing = history.finish();
        return result;
    }
    result.backedUp = true;
    result.summary = storeChanges(choice, &history);
    result.summary.historyMissing = history.finish();
    // Asked after the store, whose failure read the readers again: what
    // they hold now decides.
    if (result.summary.stored == 0 && result.summary.failed == 0 && result.summary.refused == 0) {
        for (const UnfinishedChange& change : unfinishedChanges(*this)) {
            if (!change.interrupted()) continue;
            result.partHeld.push_back(unfinishedChangeLine(change));
            messageLog().append("Nothing was written, yet %s\r\n", result.partHeld.back().c_str());
        }
    }
    return result;
}

}  // namespace spelvane
