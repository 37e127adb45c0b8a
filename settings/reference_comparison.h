#pragma once
// A reader held to a reference: the one comparison check, sync and verify
// make, over every field a store writes and every light the reader holds.
// Pure: no device, no log.
#include <optional>
#include <string>
#include <vector>

#include "settings/change_computation.h"
#include "settings/stored_changes.h"

namespace spelvane {

// What a reader is held to: the section a reference file gives it, or else
// the operator's options (an HBlank that every light must hold, a Half
// Clock the header's flag pair must hold).
struct Reference {
    std::optional<SpeedValues> section;
    OperatorChoice choice;
};

struct ReferenceComparison {
    enum class Outcome { Holds, Differs, Refused };
    Outcome outcome = Outcome::Holds;
    // Differs: each field the reader holds otherwise, from what it holds to
    // what the reference sets, in the order a store writes them.
    std::vector<StoredFieldChange> differences;
    // Differs: what a store writes to make the reader hold the reference.
    SpeedValues target{};
    std::string refusal;  // Refused: why the reader would not take it, a whole log line
};

ReferenceComparison compareWithReference(const SpeedValues& held, const Reference& reference);

}  // namespace spelvane
