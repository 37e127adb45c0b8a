#include <cstdio>
#include <cstring>
#include <string>

#include "device/call_gate.h"
#include "device/device_slot.h"
#include "platform/timing.h"
#include "settings/speed_settings.h"

namespace spelvane {
namespace {

// The device needs time to commit a write to its memory before the next
// request touches it.
constexpr uint32_t kSettleMs = 100;
constexpr int32_t kErrorTextCapacity = 256;

void settle() { timing().sleepMs(kSettleMs); }

// Reads 16 bytes of device memory at offset and tells whether the first
// compared bytes equal expected. A short delivery cannot verify anything, so
// it counts as a failed read-back rather than a match against zero fill.
bool readBackMatches(DeviceSlot& device, uint16_t offset, const void* expected, size_t compared) {
    uint8_t buffer[16];
    std::memset(buffer, 0, sizeof buffer);
    uint16_t length = sizeof buffer;
    if (!device.read(kReadMemory, offset, buffer, &length)) return false;
    if (length < compared) return false;
    return std::memcmp(buffer, expected, compared) == 0;
}

// Logs the library's reason for the last refusal and returns it as
// "Error <hex>: <text>".
std::string logLastDeviceError(ProgressLog& log) {
    char text[kErrorTextCapacity] = {};
    ErrorTextRequest request = {0, text, kErrorTextCapacity};
    gateCall(0, kErrorText, &request);
    text[kErrorTextCapacity - 1] = '\0';
    log.append("FAILED (Error %x: %s)\r\n", static_cast<unsigned>(request.code), text);
    char reason[kErrorTextCapacity + 32];
    std::snprintf(reason, sizeof reason, "Error %x: %s", static_cast<unsigned>(request.code), text);
    return reason;
}

// The first failed request of a store, for whoever keeps its outcome; the
// log shows every step anyway.
class FirstFailure {
public:
    explicit FirstFailure(ChangeObserver* observer) : observer_(observer) {}
    void note(const std::string& request) {
        if (noted_ || !observer_) return;
        noted_ = true;
        observer_->failed(request);
    }

private:
    ChangeObserver* observer_;
    bool noted_ = false;
};

std::string lightRequest(const char* what, int light) {
    return std::string(what) + " " + std::to_string(light);
}

// Every request of a store, each read back; true once all verified and
// the record adopted what the device now holds.
bool writeAndVerify(SpeedSettings& record, SpeedValues& target, ProgressLog& log, ChangeObserver* observer,
                    FirstFailure& failure) {
    DeviceSlot& slot = *record.device;
    const size_t addressBytes = target.addressCount;
    const size_t lightBytes = 2 * addressBytes + 2;  // word 0 and one word per register

    // Written down before the first request: a store cut short by a power
    // cut still leaves what it was about to do.
    if (observer) observer->beforeFirstWrite(record.snapshot(), target);
    // A refused address list is the one step whose failure names the
    // library's reason.
    log.appendText("Write register adresses...");
    if (!slot.write(kWriteAddressList, 0, target.addresses, target.addressCount)) {
        failure.note("write of the register addresses (" + logLastDeviceError(log) + ")");
        return false;
    }
    log.appendText(ProgressLog::kStepOk);
    settle();
    if (!log.step("Checks writing...", [&] {
            return readBackMatches(slot, kAddressListOffset, target.addresses, addressBytes);
        })) {
        failure.note("read-back of the register addresses");
        return false;
    }
    bool ok = true;

    // One failed light does not stop the others: the run tries every light
    // so the log shows the whole state of the device.
    for (int i = 0; i < target.lightCount; ++i) {
        const auto lightNumber = static_cast<uint16_t>(i + 1);
        char text[32];
        std::snprintf(text, sizeof text, "Store light %i ...", i);
        const bool stored = log.step(text, [&] {
            if (!slot.write(kWriteLightRecord, 0, &target.lights[i], static_cast<uint16_t>(lightBytes)))
                return false;
            settle();
            return slot.write(kStoreLight, lightNumber, nullptr, 0);
        });
        if (!stored) {
            failure.note(lightRequest("store of light", i));
            ok = false;
            continue;
        }
        settle();
        const auto offset = static_cast<uint16_t>(kLightRecordsOffset + i * kLightRecordStride);
        const bool verified = log.step("Checks writing...", [&] {
            return readBackMatches(slot, offset, &target.lights[i], lightBytes);
        });
        if (!verified) {
            failure.note(lightRequest("read-back of light", i));
            ok = false;
            continue;
        }
        settle();
    }
    // The header makes the device use the new lists; it must never announce
    // lights that were not all stored.
    if (!ok) return false;

    const SettingsHeader header = headerToStore(target);
    if (&target == &record.values) {
        SpeedValues own = record.snapshot();
        own.header = header;
        record.adopt(own);
    } else {
        target.header = header;
    }

    if (!log.step("Refresh header info ...",
                  [&] { return slot.write(kWriteHeader, 0, header.bytes, sizeof header.bytes); })) {
        failure.note("write of the header");
        ok = false;
    }
    // Verified even after a failed write: the device may have taken it.
    settle();
    if (!log.step("Checks writing...",
                  [&] { return readBackMatches(slot, kHeaderOffset, header.bytes, sizeof header.bytes); })) {
        failure.note("read-back of the header");
        ok = false;
    }
    settle();
    if (!ok) return false;

    // Adopt what the device now holds, header included, with the register
    // positions and HBlank found as the next start would find them.
    SpeedValues adopted = target;
    adopted.header = header;
    scanRegisterPositions(adopted);
    adopted.hblank = hblankOfLights(adopted, adopted.lightCount);
    record.adopt(adopted);
    return true;
}

}  // namespace

bool SpeedSettings::storeToDevice(SpeedValues& target, ProgressLog& log, ChangeObserver* observer) {
    FirstFailure failure(observer);
    if (!device) {
        log.append("No open device: nothing written\r\n");
        failure.note("no open device");
        return false;
    }
    if (!withinDataModel(target.addressCount, target.lightCount)) {
        log.append("Settings with %u register addresses and %u lights do not fit the device "
                   "memory: nothing written\r\n",
                   static_cast<unsigned>(target.addressCount),
                   static_cast<unsigned>(target.lightCount));
        failure.note("the settings do not fit the device memory");
        return false;
    }
    if (writeAndVerify(*this, target, log, observer, failure)) {
        heldUnknown = false;
        return true;
    }
    // The device may hold part of it: what the record says is no longer
    // what it holds.
    readAgain(log);
    return false;
}

}  // namespace spelvane
