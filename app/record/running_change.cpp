#include "app/record/running_change.h"

#include "app/app_state.h"
#include "platform/machine_lock.h"
#include "platform/workstation.h"

namespace spelvane {

bool readersInUseNow() { return platform::MachineLock::heldAnywhere(kReaderLockName); }

bool isRunningChange(const std::vector<HistoryEntry>& entries, size_t e, bool readersInUse) {
    if (!readersInUse || !entries[e].interrupted() || entries[e].run.computer != platform::computerName()) return false;
    for (size_t later = e + 1; later < entries.size(); ++later)
        if (entries[later].reader == entries[e].reader) return false;
    return true;
}

std::string runningChangeLine(const HistoryEntry& entry) {
    return entry.reader + ": the " + entry.run.command + " of " + entry.run.time +
           " is running: another Spelvane is using the readers now";
}

}  // namespace spelvane
