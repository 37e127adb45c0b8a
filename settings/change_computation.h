#pragma once
// What a store would write: the operator's choice applied to the values a
// device holds, with the shutter rescaled so the exposure stays the same.
// Pure: no device, no log, no dialog.
#include <cstdint>
#include <optional>
#include <string>

#include "settings/speed_values.h"

namespace spelvane {

// A value left empty keeps what the device holds.
struct OperatorChoice {
    // What an HBlank is held against. The dialog's trackbar shows one HBlank
    // for the reader (its hblank): the operator who leaves it there chose no
    // HBlank, whatever the other lights hold. The console's --hblank N names
    // the word of every light.
    enum class HBlankMeets : uint8_t { ShownHBlank, EveryLight };
    std::optional<bool> halfClock;
    std::optional<uint16_t> hblank;
    HBlankMeets hblankMeets = HBlankMeets::ShownHBlank;
};

struct ChangePlan {
    enum class Outcome { NoChange, Change, Refused };
    Outcome outcome = Outcome::NoChange;
    SpeedValues target{};
    std::string refusal;  // a whole log line, when refused
};

ChangePlan computeChange(const SpeedValues& current, const OperatorChoice& choice);

// The shutter value that keeps the exposure when HBlank or Half Clock change
// from current to target; may exceed 16 bits.
int64_t rescaledShutter(uint16_t shutter, const SpeedValues& current, const SpeedValues& target);

}  // namespace spelvane
