#pragma once
// A change without outcome may be one that another Spelvane is making right
// now: then it is running, not interrupted, and its backup must not be
// restored. history and doctor judge it by this one rule.
#include <cstddef>
#include <string>
#include <vector>

#include "platform/workstation.h"
#include "settings/history_file.h"

namespace spelvane {

// Whether another Spelvane holds the readers now, asked without taking the
// lock: a program that starts at that moment must still find it free.
bool readersInUseNow();

// Whether the program that made run is alive on this computer: the
// process its id names runs here and began no later than the run did. A
// process that got the number after the program ended began later. One
// the system will not let this program ask (SYSTEM's start-up sync,
// another session's dialog) counts as alive: its change must not be
// restored over while it may still be writing.
bool runStillAlive(const HistoryRun& run, platform::ProcessLookup look = platform::processStartTime);

// Whether entries[e] (in the history's order) is the change being made
// now: it has no outcome, its own program is still alive (runStillAlive)
// while a Spelvane holds the readers (readersInUse) and no later entry in
// entries is of its reader. Another program holding the readers (a
// dialog left open, a check) makes no change of an ended one running.
bool isRunningChange(const std::vector<HistoryEntry>& entries, size_t e, bool readersInUse,
                     platform::ProcessLookup look = platform::processStartTime);

// "KVDEV-A1: the store of <time> is running: another Spelvane is using the
// readers now"
std::string runningChangeLine(const HistoryEntry& entry);

}  // namespace spelvane
