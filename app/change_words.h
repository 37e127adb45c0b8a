#pragma once
// A changed field in the words every report uses: the dry runs, verify,
// check, the history and the event log, so an operator reads one change
// the same way wherever it is told.
#include <cstdint>
#include <string>

#include "settings/stored_changes.h"

namespace spelvane {

// "Half Clock", "address 2", "light 1 word 3 (register 02)".
std::string changeFieldName(const StoredFieldChange& change);
// A value as the .set file and show write it: on/off, a count, hexadecimal.
std::string changeFieldValue(const StoredFieldChange& change, uint32_t value);
// "light 0 word 2 (register 05): 0100 -> 0155".
std::string changeText(const StoredFieldChange& change);

}  // namespace spelvane
