#include <cstdint>
#include <string>

#include "app/app_state.h"
#include "app/message_log.h"
#include "app/texts.h"
#include "device/device_slot.h"
#include "platform/dialog_port.h"
#include "settings/speed_settings.h"

namespace spelvane {
namespace {

// The sensor's line length beyond the blanking, in clocks; a shutter value
// counts lines, so its time is shutter x (HBlank + this) x clock period.
constexpr int64_t kLineClocks = 2417;

int64_t clockFactor(uint8_t halfClock) { return halfClock ? 1 : 2; }

// Keeps the exposure time when the line time changes: one truncating
// division of the multiplied-out numerator, formed wide enough for any
// 16-bit HBlank.
int64_t rescaledShutter(uint16_t shutter, const SpeedValues& current, const SpeedValues& target) {
    const int64_t numerator =
        int64_t{shutter} * clockFactor(target.halfClock) * (current.hblank + kLineClocks);
    const int64_t denominator = (target.hblank + kLineClocks) * clockFactor(current.halfClock);
    return numerator / denominator;
}

bool validWordIndex(int32_t index) { return index >= 0 && index < kMaxAddressesWithLights; }

}  // namespace

void AppState::storeChanges(WindowHandle dialog) {
    MessageLog& log = messageLog();
    log.append("%s", kLogRule);
    log.append("                          STORE CHANGES\r\n");
    log.append("%s", kLogRule);
    const int32_t count = openCount < 0 ? 0 : (openCount > 2 ? 2 : openCount);
    for (int32_t i = 0; i < count; ++i) {
        settings[i].storeFromDialog(dialog);
        if (i + 1 < count) log.append("%s", kLogRule);
    }
}

void SpeedSettings::storeFromDialog(WindowHandle dialog) {
    MessageLog& log = messageLog();
    const SpeedValues current = snapshot();
    SpeedValues target = current;
    target.halfClock = dialogPort().halfClockChecked(dialog) ? 1 : 0;
    target.hblank = static_cast<uint16_t>(dialogPort().hblankPosition(dialog));

    bool changed = false;
    std::string refusal;  // why nothing may be written, when something is wrong

    if (target.hblank != current.hblank) {
        if (!target.hblankPresent) {
            const uint32_t grown = target.addressCount + 1u;
            if (!withinDataModel(grown, target.lightCount)) {
                refusal = "No room for the HBlank register: the address list holds " +
                          std::to_string(target.addressCount) + " registers, the most a light record can follow: nothing written\r\n";
            } else {
                target.addresses[target.addressCount] = kHBlankRegister;
                target.hblankIndex = target.addressCount;
                target.addressCount = static_cast<uint16_t>(grown);
                target.hblankPresent = 1;
                // The next start reads as many registers as byte 4 says.
                target.header.bytes[SettingsHeader::kAddressCountByte] = static_cast<uint8_t>(grown);
            }
        }
        if (refusal.empty() && target.lightCount > 0 && !validWordIndex(target.hblankIndex))
            refusal = "The HBlank register lies beyond the light records: nothing written\r\n";
        if (refusal.empty()) {
            for (int i = 0; i < target.lightCount; ++i)
                target.lights[i].words[1 + target.hblankIndex] = target.hblank;
        }
        changed = true;
    }

    if (target.halfClock != current.halfClock) {
        target.header.bytes[SettingsHeader::kHalfClockByte1] |= SettingsHeader::kHalfClockBit1;
        target.header.bytes[SettingsHeader::kHalfClockByte2] |= SettingsHeader::kHalfClockBit2;
        if (target.lightCount > 0 && !validWordIndex(current.shutterIndex) && refusal.empty())
            refusal = "The shutter register lies beyond the light records: nothing written\r\n";
        for (int i = 0; i < target.lightCount && refusal.empty(); ++i) {
            uint16_t& shutter = target.lights[i].words[1 + current.shutterIndex];
            const int64_t rescaled = rescaledShutter(shutter, current, target);
            if (rescaled > UINT16_MAX) {
                refusal = "Shutter value of light " + std::to_string(i) + " would become " +
                          std::to_string(rescaled) + ", above 65535: nothing written\r\n";
            } else {
                shutter = static_cast<uint16_t>(rescaled);
            }
        }
        changed = true;
    }

    log.append("Store -> device: %s\r\n", deviceTypeName(info).c_str());
    if (!refusal.empty()) {
        log.append("%s", refusal.c_str());
        return;
    }
    if (changed)
        storeToDevice(target);
    else
        log.append("No changes\r\n");
}

}  // namespace spelvane
