#pragma once
// The one application record and the operations the dialog's commands and
// the console companion run on it. Each operation lives in a file of its own:
// discovery and release in discover_devices.cpp, the backup in
// backup_settings.cpp, the store in store_changes.cpp, the restore in
// restore_settings.cpp.
#include <cstdint>
#include <cstdio>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "app/dialog_port.h"
#include "app/half_clock_guard.h"
#include "platform/machine_lock.h"
#include "platform/output_file.h"
#include "settings/change_computation.h"
#include "settings/settings_file.h"
#include "settings/speed_settings.h"

namespace spelvane {

struct DeviceSlot;
class ChangeHistory;
class ChangeObserver;

constexpr uint32_t kListMarkerBuilt = 0x4497880Au;
constexpr uint32_t kListMarkerReleased = 0xFFFFFFFFu;
constexpr int kDisplayNameSize = 256;

// Message boxes of discovery.
constexpr const char* kNoDevicesText = "Cannot find KV devices";
constexpr const char* kOneDeviceOnlyText = "The program works only 1 KV device";
constexpr const char* kReadersBusyText = "Another Spelvane is using the readers";

// One program at a time on the readers, the dialog and the console companion
// alike: two stores would interleave their writes and read-backs in the
// reader's memory. "Global\\": one lock across the sessions of a terminal
// server (Windows 2000 without terminal services ignores the prefix).
constexpr const char* kReaderLockName = "Global\\Spelvane.Readers";

// How a store or restore went over the open devices.
struct OperationSummary {
    // What of it the change history lacks, for the operator ("" when the
    // history holds all of it).
    std::string historyMissing;
    int unchanged = 0;
    int stored = 0;
    int refused = 0;
    int failed = 0;  // a device may hold part of the change
    // What became of each open device, by settings record; empty for one
    // that nothing was tried on (a restore found no section for it).
    std::optional<DeviceOutcome> outcome[2];
    void add(int device, DeviceOutcome result);
};

// How a restore went: the summary of the sections applied.
struct RestoreSummary : OperationSummary {
    bool opened = false;   // the file could be read at all
    bool unicode = false;  // not opened: saved as Unicode (UTF-16), which the reader cannot take
    platform::FileFault openFault = platform::FileFault::None;  // not opened: why
    std::vector<std::string> fileTypes;  // the types its DEVICE= lines name, each once, as read
    int sections() const { return unchanged + stored + failed; }  // taken by a device
};

// The one application record.
struct AppState {
    void* instance = nullptr;
    WindowHandle dialogWindow = nullptr;
    uint32_t listMarker = 0;
    DeviceSlot* devices = nullptr;  // owned array of deviceCount slots
    int32_t deviceCount = 0;
    SpeedSettings settings[2];
    char displayName[kDisplayNameSize] = {};
    int32_t openCount = 0;
    // The file the last backup of this run went into ("" before the first);
    // what restores the devices when a store fails.
    char lastBackupFile[kSettingsFileNameSize] = {};
    // The folder the program was started from: backups and the history
    // always go there, even after the file dialog of a Restore has moved the
    // current folder. UTF-8 on Windows: any folder name is kept whole.
    std::string startFolder;
    // Why the last backup's file could not be created in the folder: None
    // when it was, or when every name was taken.
    platform::FileFault backupFault = platform::FileFault::None;
    // Held from the start of discovery to the release of the devices.
    platform::MachineLock readerLock;

    // How many settings records are bound to an open device (0, 1 or 2),
    // whatever openCount holds: every per-device loop runs over this many.
    int boundCount() const { return openCount < 0 ? 0 : (openCount > 2 ? 2 : openCount); }
    // The reader of settings record i by its own name; its type name once
    // the device is gone.
    std::string readerName(int i) const;
    // Makes the start folder the current one again, so that the backups and
    // the history, named relative to it, land there; false when it cannot.
    // Without a start folder (the console companion) the current folder is
    // the one.
    bool returnToStartFolder() const;

    // Takes the reader lock, finds the devices, opens one or a matched pair
    // and reads their settings; message boxes tell the operator why not.
    // False ends the program.
    bool discoverDevices(WindowHandle dialog);
    // Closes the devices and gives the reader lock back.
    void releaseDevices();
    // Backs up every open device into one new settings file; false when any
    // device's section could not be written whole.
    bool saveOriginalSettings();
    // Computes and stores the operator's one choice on every open device,
    // each change in the history when one is given (started before its
    // first write).
    OperationSummary storeChanges(const OperatorChoice& choice, ChangeHistory* history = nullptr);
    // The whole Store after the operator said Yes: the backup, and only when
    // it was saved whole, the store. backedUp false: nothing was written;
    // refused as well: a change of Half Clock over part of an unsettled
    // change, refused before the backup.
    struct StoreResult {
        bool backedUp = false;
        OperationSummary summary;
        // Refused before the backup: a Half Clock change over part of a
        // change, or a reader not read again after a failed write.
        std::optional<HalfClockRefusal> refused;
        // Nothing written: the readers that hold part of an earlier change
        // all the same (unfinishedChangeLine, naming what restores it).
        std::vector<std::string> partHeld;
    };
    StoreResult backUpAndStore(const OperatorChoice& choice);
    // Applies the sections of a settings file to the open devices, each
    // change in the history.
    RestoreSummary restoreFromFile(const char* path);
    // Walks the sections of a settings file as a restore does: each open
    // device is offered, in file order, the sections that name its type
    // until it takes one; take(device, file) reads the section that follows
    // in file, and a Refused answer leaves the device free for a later one.
    using SectionTaker = std::function<DeviceOutcome(int device, std::FILE* file)>;
    RestoreSummary takeSections(const char* path, const SectionTaker& take);
};

AppState& appState();
// Tests: release any device list and start from a cleared record.
void resetAppState();

// The store of one device: the operator's choice through the change
// computation into the store sequence, logged; the observer hears what the
// store sequence tells and why a change was refused.
DeviceOutcome storeDeviceChange(SpeedSettings& record, const OperatorChoice& choice,
                                ChangeObserver* observer = nullptr);

// Calendar time (whole seconds) of the last backup of this run; 0 before the
// first. Every backup takes a later stamp, so two never share a file name.
extern int64_t lastFileStamp;

// Runs the file-open dialog. fileName holds the initial name (a wildcard
// pattern) on entry and the chosen path on return, cut to fileNameSize and
// always terminated. True only when a file was chosen and its whole path fit.
bool chooseSettingsFile(WindowHandle owner, char* fileName, size_t fileNameSize);

}  // namespace spelvane
