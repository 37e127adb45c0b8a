#pragma once
#include <cstdio>
#include <ctime>

#include "platform/dialog_port.h"
#include "platform/local_time.h"
#include "settings/speed_values.h"

namespace spelvane {

struct DeviceSlot;
struct DeviceInfo;

// One open device and the settings it holds. The record refers to its slot
// and information block; it owns neither.
struct SpeedSettings {
    DeviceSlot* device = nullptr;
    DeviceInfo* info = nullptr;
    SpeedValues values = {};

    bool loadFromDevice(WindowHandle owner);
    void storeFromDialog(WindowHandle dialog);
    // Writes target into the device and adopts it when every step verified.
    // Returns whether it did (the log tells the operator either way).
    bool storeToDevice(SpeedValues& target);
    // Writes this device's backup section; false when the section could not
    // be written whole.
    bool saveToFile(const platform::LocalTime& localTime, bool append);
    // Applies the section that follows in file to this device. False when
    // the section was refused (nothing written), so the device may still
    // take a later section of the file.
    bool restoreSection(std::FILE* file);

    // The values as one consistent copy: the worker adopts new values while
    // the dialog thread may be reading them for display.
    SpeedValues snapshot() const;
    void adopt(const SpeedValues& adopted);
};

}  // namespace spelvane
