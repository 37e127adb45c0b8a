#include "app/half_clock_guard.h"

#include "app/app_state.h"
#include "app/record/change_history.h"
#include "app/record/unfinished_changes.h"

namespace spelvane {
namespace {

bool changesHalfClock(const SpeedValues& held, const OperatorChoice& choice) {
    return choice.halfClock && (*choice.halfClock ? 1 : 0) != (held.halfClock ? 1 : 0);
}

std::string restoreFirst(const HistoryEntry& entry) {
    if (!entry.backup.empty()) return "restore the backup file " + entry.backup + " first";
    if (!entry.file.empty()) return "restore " + entry.file + " again first";
    return "restore its settings from before that change first";
}

}  // namespace

std::optional<HalfClockRefusal> halfClockRefusal(const UnfinishedChange& change, const SpeedValues& held,
                                                 const OperatorChoice& choice) {
    if (!change.interrupted() || !changesHalfClock(held, choice)) return std::nullopt;
    const HistoryEntry& entry = change.entry;
    const std::string how = entry.hasOutcome ? "which " + recordedEnd(entry) : "which was cut short";
    return HalfClockRefusal{entry.reader + " holds only part of the " + entry.run.command + " of " + entry.run.time +
                                ", " + how + ", and a change of Half Clock would rescale its shutters a second time",
                            restoreFirst(change.undoing())};
}

std::optional<HalfClockRefusal> halfClockRefusal(const AppState& app, const OperatorChoice& choice) {
    if (!choice.halfClock) return std::nullopt;
    for (const UnfinishedChange& change : unfinishedChanges(app)) {
        for (int i = 0; i < app.boundCount(); ++i) {
            if (!app.settings[i].device || app.readerName(i) != change.entry.reader) continue;
            if (auto refusal = halfClockRefusal(change, app.settings[i].snapshot(), choice)) return refusal;
        }
    }
    return std::nullopt;
}

std::optional<HalfClockRefusal> refuseHalfClockOverPart(const AppState& app, const OperatorChoice& choice,
                                                         ChangeHistory& history) {
    std::optional<HalfClockRefusal> refusal = halfClockRefusal(app, choice);
    if (refusal) history.everyReader(HistoryOutcome::Refused, std::string(), refusal->line());
    return refusal;
}

}  // namespace spelvane
