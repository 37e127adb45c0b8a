#pragma once
// spelvane-cli history: the change history of the current folder, or of
// the files and folders named (several workstations' read as one, by the
// moment each entry began), read and printed; it asks the readers nothing,
// loads no library and takes no lock (it only looks whether another
// Spelvane holds the readers, to tell a running change), so it works while
// another Spelvane stores.
#include <string>
#include <vector>

#include "app/console/cli_arguments.h"
#include "settings/history_file.h"

namespace spelvane::cli {

// One block per command and reader, oldest first: when, where and by whom,
// the outcome, and each field changed in the dry run's wording. With
// readersInUse (another Spelvane holds the readers) a reader's last change
// without outcome is running; any other is "no outcome recorded".
std::string formatHistoryText(const std::vector<HistoryEntry>& entries, bool readersInUse);
// One JSON array, one object per entry.
std::string formatHistoryJson(const std::vector<HistoryEntry>& entries, bool readersInUse);

int runHistory(const Request& request);

}  // namespace spelvane::cli
