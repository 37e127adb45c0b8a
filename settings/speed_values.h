#pragma once
// The speed settings as the reader keeps them in its memory, and their
// in-memory image.
#include <cstddef>
#include <cstdint>

namespace spelvane {

// Device memory layout.
constexpr uint16_t kHeaderOffset = 0;
constexpr uint16_t kAddressListOffset = 16;
constexpr uint16_t kLightRecordsOffset = 32;
constexpr uint16_t kLightRecordStride = 16;

constexpr uint8_t kShutterRegister = 9;
constexpr uint8_t kHBlankRegister = 5;

constexpr int kMaxAddresses = 16;
constexpr int kMaxLights = 5;
constexpr int kLightWords = 8;
constexpr int kMaxAddressesWithLights = kLightWords - 1;  // word 0 leads the record

struct SettingsHeader {
    uint8_t bytes[16];

    static constexpr int kHalfClockByte1 = 3;
    static constexpr uint8_t kHalfClockBit1 = 0x40;
    static constexpr int kHalfClockByte2 = 13;
    static constexpr uint8_t kHalfClockBit2 = 0x01;
    static constexpr int kAddressCountByte = 4;
    static constexpr int kLightCountByte = 5;

    bool hasSignature() const { return bytes[0] == 'W' && bytes[1] == 'I' && bytes[2] == 'Q'; }
    bool halfClock() const {
        return (bytes[kHalfClockByte1] & kHalfClockBit1) && (bytes[kHalfClockByte2] & kHalfClockBit2);
    }
    // The device runs at half clock only with both bits set. Switching off
    // clears the second bit alone: the first also marks that the mode has
    // been configured, and the device keeps it.
    void setHalfClock(bool on) {
        if (on) bytes[kHalfClockByte1] |= kHalfClockBit1;
        bytes[kHalfClockByte2] = on ? (bytes[kHalfClockByte2] | kHalfClockBit2)
                                    : (bytes[kHalfClockByte2] & ~kHalfClockBit2);
    }
};

struct LightRecord {
    uint16_t words[kLightWords];  // little-endian in the device, as on x86
};

struct SpeedValues {
    SettingsHeader header;
    uint8_t halfClock;
    uint8_t hblankPresent;
    uint16_t hblank;
    uint8_t addresses[kMaxAddresses];
    uint16_t addressCount;
    LightRecord lights[kMaxLights];
    uint16_t lightCount;
    int32_t hblankIndex;
    int32_t shutterIndex;
};

static_assert(sizeof(SettingsHeader) == 16);
static_assert(sizeof(LightRecord) == 16);
static_assert(sizeof(SpeedValues) == 128);
static_assert(offsetof(SpeedValues, addresses) == 20);
static_assert(offsetof(SpeedValues, lights) == 38);
static_assert(offsetof(SpeedValues, shutterIndex) == 124);

// True when counts fit the record: at most 16 addresses, 5 lights, and at
// most 7 addresses while lights are present.
bool withinDataModel(uint32_t addressCount, uint32_t lightCount);

// The counts as far as the record holds them: they come from the device,
// and a damaged header must not walk past the arrays.
inline int heldAddressCount(const SpeedValues& values) {
    return values.addressCount < kMaxAddresses ? values.addressCount : kMaxAddresses;
}
inline int heldLightCount(const SpeedValues& values) {
    return values.lightCount < kMaxLights ? values.lightCount : kMaxLights;
}

// The header a store writes for values: their Half Clock and their counts,
// so that the next start reads the lists the store wrote.
SettingsHeader headerToStore(const SpeedValues& values);

// Finds registers 9 and 5 in the address list (the last position wins) and
// sets shutterIndex, hblankIndex and hblankPresent accordingly.
void scanRegisterPositions(SpeedValues& values);

// The HBlank a light runs with: its own word where register 5 is listed
// (within the words a light record holds), else the reader's.
uint16_t lightHBlank(const SpeedValues& values, int light);

// The HBlank word of the first of the first lightsRead lights whose HBlank
// word is not 0; 0 when there is none or register 5 is not listed.
uint16_t hblankOfLights(const SpeedValues& values, int lightsRead);

}  // namespace spelvane
