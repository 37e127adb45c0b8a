#pragma once
// A change without outcome may be one that another Spelvane is making right
// now: then it is running, not interrupted, and its backup must not be
// restored. history and doctor judge it by this one rule.
#include <cstddef>
#include <string>
#include <vector>

#include "settings/history_file.h"

namespace spelvane {

// Whether another Spelvane holds the readers now, asked without taking the
// lock: a program that starts at that moment must still find it free.
bool readersInUseNow();

// Whether entries[e] (in the history's order) is the change being made
// now: it has no outcome, another Spelvane holds the readers
// (readersInUse), it was started on this computer (the lock is the
// machine's) and no later entry in entries is of its reader.
bool isRunningChange(const std::vector<HistoryEntry>& entries, size_t e, bool readersInUse);

// "KVDEV-A1: the store of <time> is running: another Spelvane is using the
// readers now"
std::string runningChangeLine(const HistoryEntry& entry);

}  // namespace spelvane
