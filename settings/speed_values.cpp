#include "settings/speed_values.h"

namespace spelvane {

bool withinDataModel(uint32_t addressCount, uint32_t lightCount) {
    if (addressCount > kMaxAddresses || lightCount > kMaxLights) return false;
    return lightCount == 0 || addressCount <= kMaxAddressesWithLights;
}

SettingsHeader headerToStore(const SpeedValues& values) {
    SettingsHeader header = values.header;
    header.setHalfClock(values.halfClock != 0);
    header.bytes[SettingsHeader::kAddressCountByte] = static_cast<uint8_t>(values.addressCount);
    header.bytes[SettingsHeader::kLightCountByte] = static_cast<uint8_t>(values.lightCount);
    return header;
}

void scanRegisterPositions(SpeedValues& values) {
    values.hblankIndex = -1;
    values.shutterIndex = -1;
    values.hblankPresent = 0;
    const int count = heldAddressCount(values);
    for (int k = 0; k < count; ++k) {
        if (values.addresses[k] == kShutterRegister) values.shutterIndex = k;
        if (values.addresses[k] == kHBlankRegister) {
            values.hblankIndex = k;
            values.hblankPresent = 1;
        }
    }
}

uint16_t lightHBlank(const SpeedValues& values, int light) {
    if (values.hblankPresent && values.hblankIndex >= 0 && values.hblankIndex < kMaxAddressesWithLights)
        return values.lights[light].words[1 + values.hblankIndex];
    return values.hblank;
}

uint16_t hblankOfLights(const SpeedValues& values, int lightsRead) {
    if (!values.hblankPresent || values.hblankIndex < 0 ||
        values.hblankIndex >= kMaxAddressesWithLights)
        return 0;
    const int count = lightsRead < kMaxLights ? lightsRead : kMaxLights;
    for (int i = 0; i < count; ++i) {
        const uint16_t word = values.lights[i].words[1 + values.hblankIndex];
        if (word != 0) return word;
    }
    return 0;
}

}  // namespace spelvane
