#include <cstring>

#include "device/device_slot.h"
#include "settings/speed_settings.h"

namespace spelvane {
namespace {

// Devices before this version answer the light read with another value.
constexpr uint16_t kNewLightReadVersion = 0x103;
constexpr uint16_t kLightReadOld = 144;
constexpr uint16_t kLightReadNew = 112;

}  // namespace

LoadResult SpeedSettings::loadFromDevice() {
    if (!device) return {false, nullptr};
    auto fail = [](const char* text) { return LoadResult{false, text}; };

    uint16_t length = sizeof values.header;
    if (!device->read(kReadMemory, kHeaderOffset, values.header.bytes, &length))
        return fail(kHeaderFailed);
    if (!values.header.hasSignature()) return fail(kNotInitialized);
    values.halfClock = values.header.halfClock() ? 1 : 0;

    std::memset(values.addresses, 0, sizeof values.addresses);
    values.addressCount = values.header.bytes[SettingsHeader::kAddressCountByte];
    // A header announcing more registers than the list can hold is damaged
    // or from another layout; reading it would run past the list.
    if (values.addressCount > kMaxAddresses) return fail(kAddressesFailed);
    const uint16_t wanted = values.addressCount;
    length = wanted;
    if (!device->read(kReadMemory, kAddressListOffset, values.addresses, &length))
        return fail(kAddressesFailed);
    if (length > wanted) return fail(kAddressesFailed);
    values.addressCount = length;

    scanRegisterPositions(values);
    if (values.shutterIndex == -1) return fail(kNoShutter);

    const uint8_t announcedLights = values.header.bytes[SettingsHeader::kLightCountByte];
    // A light record holds word 0 and seven register values: more lights, or
    // more registers while lights exist, cannot be held and are refused
    // rather than clipped, so nothing is ever stored back half-understood.
    if (!withinDataModel(values.addressCount, announcedLights)) return fail(kLightsFailed);
    values.lightCount = announcedLights;
    values.hblank = 0;
    const uint16_t lightReadValue =
        deviceVersionOf(device->info.get()) < kNewLightReadVersion ? kLightReadOld : kLightReadNew;

    for (int i = 0; i < values.lightCount; ++i) {
        if (!device->write(kSelectLight, static_cast<uint16_t>(i + 1), nullptr, 0))
            return fail(kLightsFailed);
        std::memset(&values.lights[i], 0, sizeof values.lights[i]);
        length = sizeof values.lights[i];
        if (!device->read(kReadSelectedLight, lightReadValue, &values.lights[i], &length))
            return fail(kLightsFailed);
        if (values.hblankPresent && values.hblank == 0)
            values.hblank = hblankOfLights(values, i + 1);
    }
    heldUnknown = false;
    return {true, nullptr};
}

bool SpeedSettings::readAgain(ProgressLog& log) {
    // A fresh record: the dialog may be showing this one's values meanwhile.
    SpeedSettings fresh;
    fresh.device = device;
    fresh.info = info;
    const bool read = log.step("Read the device's settings again ...", [&] { return fresh.loadFromDevice().ok; });
    if (read) adopt(fresh.values);
    heldUnknown = !read;
    return read;
}

void SpeedSettings::unbind() {
    if (device) device->close();
    device = nullptr;
    info = nullptr;  // the slot's block went with the close
}

}  // namespace spelvane
