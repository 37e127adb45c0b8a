#include "app/record/running_change.h"

#include "app/app_state.h"
#include "platform/machine_lock.h"
#include "platform/workstation.h"

namespace spelvane {

bool readersInUseNow() { return platform::MachineLock::heldAnywhere(kReaderLockName); }

// The process's start and the run's time come from two clocks, each told in
// whole seconds: a program that began a moment before its first row may read
// as a second after it.
constexpr int64_t kClockSlackSeconds = 2;

bool runStillAlive(const HistoryRun& run, platform::ProcessLookup look) {
    uint32_t process = 0;
    int64_t began = 0;
    int64_t started = 0;
    if (run.computer != platform::computerName() || !historyRunProcess(run.id, process) ||
        !historyTimeSeconds(run.time, began))
        return false;
    switch (look(process, started)) {
    case platform::ProcessLook::Ended: return false;
    case platform::ProcessLook::Denied: return true;
    case platform::ProcessLook::Began: break;
    }
    return started <= began + kClockSlackSeconds;
}

bool isRunningChange(const std::vector<HistoryEntry>& entries, size_t e, bool readersInUse,
                     platform::ProcessLookup look) {
    if (!readersInUse || !entries[e].interrupted() || !runStillAlive(entries[e].run, look)) return false;
    for (size_t later = e + 1; later < entries.size(); ++later)
        if (entries[later].reader == entries[e].reader) return false;
    return true;
}

std::string runningChangeLine(const HistoryEntry& entry) {
    return entry.reader + ": the " + entry.run.command + " of " + entry.run.time +
           " is running: another Spelvane is using the readers now";
}

}  // namespace spelvane
