#include "settings/change_computation.h"

namespace spelvane {
namespace {

// The sensor's line length beyond the blanking, in clocks; a shutter value
// counts lines, so its time is shutter x (HBlank + this) x clock period.
constexpr int64_t kLineClocks = 2417;

int64_t clockFactor(uint8_t halfClock) { return halfClock ? 1 : 2; }

bool validWordIndex(int32_t index) { return index >= 0 && index < kMaxAddressesWithLights; }

// Whether the reader already holds the HBlank chosen. Named for every light,
// a reader whose lights do not all hold it (one stored before a write
// failed, or edited by hand) does not, whatever its first light says.
bool holdsHBlank(const SpeedValues& values, const OperatorChoice& choice) {
    const uint16_t hblank = *choice.hblank;
    if (values.hblank != hblank) return false;
    if (choice.hblankMeets == OperatorChoice::HBlankMeets::ShownHBlank) return true;
    for (int i = 0; i < heldLightCount(values); ++i)
        if (lightHBlank(values, i) != hblank) return false;
    return true;
}

int64_t rescaled(uint16_t shutter, uint16_t fromHBlank, uint8_t fromHalfClock, uint16_t toHBlank,
                 uint8_t toHalfClock) {
    // One truncating division of the multiplied-out numerator, formed wide
    // enough for any 16-bit HBlank.
    const int64_t numerator = int64_t{shutter} * clockFactor(toHalfClock) * (fromHBlank + kLineClocks);
    const int64_t denominator = (toHBlank + kLineClocks) * clockFactor(fromHalfClock);
    return numerator / denominator;
}

// Puts the new HBlank into every light, adding register 5 to the list when
// the device has none. Returns the refusal, empty when all fitted.
std::string applyHBlank(SpeedValues& target) {
    if (!target.hblankPresent) {
        const uint32_t grown = target.addressCount + 1u;
        if (!withinDataModel(grown, target.lightCount)) {
            return "No room for the HBlank register: the address list holds " +
                   std::to_string(target.addressCount) +
                   " registers, the most a light record can follow: nothing written\r\n";
        }
        target.addresses[target.addressCount] = kHBlankRegister;
        target.hblankIndex = target.addressCount;
        target.addressCount = static_cast<uint16_t>(grown);
        target.hblankPresent = 1;
        // The next start reads as many registers as byte 4 says.
        target.header.bytes[SettingsHeader::kAddressCountByte] = static_cast<uint8_t>(grown);
    }
    if (target.lightCount > 0 && !validWordIndex(target.hblankIndex))
        return "The HBlank register lies beyond the light records: nothing written\r\n";
    for (int i = 0; i < target.lightCount; ++i)
        target.lights[i].words[1 + target.hblankIndex] = target.hblank;
    return {};
}

// Rescales every light's shutter for the new line time, each from the
// HBlank that light ran with to the one it will run with.
std::string applyShutters(SpeedValues& target, const SpeedValues& current) {
    if (target.lightCount > 0 && !validWordIndex(current.shutterIndex))
        return "The shutter register lies beyond the light records: nothing written\r\n";
    for (int i = 0; i < target.lightCount; ++i) {
        uint16_t& shutter = target.lights[i].words[1 + current.shutterIndex];
        const int64_t value = rescaled(shutter, lightHBlank(current, i), current.halfClock, lightHBlank(target, i),
                                       target.halfClock);
        if (value > UINT16_MAX) {
            return "Shutter value of light " + std::to_string(i) + " would become " + std::to_string(value) +
                   ", above 65535: nothing written\r\n";
        }
        shutter = static_cast<uint16_t>(value);
    }
    return {};
}

}  // namespace

int64_t rescaledShutter(uint16_t shutter, const SpeedValues& current, const SpeedValues& target) {
    return rescaled(shutter, current.hblank, current.halfClock, target.hblank, target.halfClock);
}

ChangePlan computeChange(const SpeedValues& current, const OperatorChoice& choice) {
    ChangePlan plan;
    SpeedValues& target = plan.target;
    target = current;
    if (choice.halfClock) target.halfClock = *choice.halfClock ? 1 : 0;
    if (choice.hblank) target.hblank = *choice.hblank;

    const bool hblankChanged = choice.hblank && !holdsHBlank(current, choice);
    const bool halfClockChanged = target.halfClock != current.halfClock;
    if (!hblankChanged && !halfClockChanged) return plan;

    std::string refusal;
    if (hblankChanged) refusal = applyHBlank(target);
    if (halfClockChanged) {
        target.header.setHalfClock(target.halfClock != 0);
        if (refusal.empty()) refusal = applyShutters(target, current);
    }
    plan.refusal = refusal;
    plan.outcome = refusal.empty() ? ChangePlan::Outcome::Change : ChangePlan::Outcome::Refused;
    return plan;
}

}  // namespace spelvane
