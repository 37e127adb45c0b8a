#pragma once
#include <cstdio>
#include <string>

#include "settings/change_observer.h"
#include "settings/progress_log.h"
#include "settings/speed_values.h"

namespace spelvane {
namespace platform {
class OutputFile;
}

struct DeviceSlot;
struct DeviceInfo;

// Why reading the settings failed, as the operator is told.
constexpr const char* kHeaderFailed = "Load eeprom failed";
constexpr const char* kNotInitialized = "Device is not initialized";
constexpr const char* kAddressesFailed = "Cannot read data from the device";
constexpr const char* kNoShutter = "No shutter value";
constexpr const char* kLightsFailed = "Cannot read settings";

// What became of one device's part of a store or restore.
enum class DeviceOutcome {
    Unchanged,  // the device already held it: nothing written
    Stored,     // written and verified
    Refused,    // not fit to be written: nothing written
    Failed,     // a write or read-back failed: the device may hold part of it
};

struct LoadResult {
    bool ok;
    const char* failure;  // one of the texts above; null when ok or when no device is bound
};

// One open device and the settings it holds. The record refers to its slot
// and information block; it owns neither.
struct SpeedSettings {
    DeviceSlot* device = nullptr;
    DeviceInfo* info = nullptr;
    SpeedValues values = {};
    // The reader could not be read again after a failed write: values are
    // what it held before, not what it holds, and no change may be computed
    // from them.
    bool heldUnknown = false;

    // Reads header, register list and lights from the bound device. On a
    // failure the record stays bound so the caller can tell the operator
    // first and then unbind().
    LoadResult loadFromDevice();
    // After a failed write: reads the reader again into a fresh copy and
    // adopts it, so that the next refusal, backup and change start from
    // what the reader holds; false (and heldUnknown) when it cannot be read.
    bool readAgain(ProgressLog& log);
    // Closes the device and forgets it.
    void unbind();
    // Writes target into the device and adopts it when every step verified;
    // once a request was sent and a step failed, reads the reader again
    // (readAgain). Returns whether it stored (the log tells the operator either way); an
    // observer hears of the first write before it is sent, and of the
    // request that failed.
    bool storeToDevice(SpeedValues& target, ProgressLog& log, ChangeObserver* observer = nullptr);
    // Appends this device's backup section to file, which the backup has
    // just created, and puts it on the disk; false when the section could
    // not be written whole and flushed, or would not lead a restore back to
    // this device.
    bool saveToFile(platform::OutputFile& file, ProgressLog& log);
    // The two lines that open a device's part of the backup's log.
    void logBackupTarget(const char* fileName, ProgressLog& log) const;
    // Applies the section that follows in file to this device. Refused
    // means nothing was written, so the device may still take a later
    // section of the file. The observer hears why a section was refused,
    // and what storeToDevice tells it.
    DeviceOutcome restoreSection(std::FILE* file, ProgressLog& log, ChangeObserver* observer = nullptr);

    // The device's type name from its information block; "" without one.
    std::string typeName() const;

    // The values as one consistent copy: the worker adopts new values while
    // the dialog thread may be reading them for display.
    SpeedValues snapshot() const;
    void adopt(const SpeedValues& adopted);
};

}  // namespace spelvane
