// The backup taken before every store: the settings every open device holds
// now, in one new .set file named after the display name and the time.
#include <cstdio>

#include "app/app_state.h"
#include "app/message_log.h"
#include "app/texts.h"
#include "platform/files.h"
#include "platform/output_file.h"
#include "platform/local_time.h"
#include "platform/timing.h"
#include "settings/settings_file.h"

namespace spelvane {

int64_t lastFileStamp = 0;

namespace {

// How far the stamp moves on past names already taken before giving up: an
// hour of backups, far beyond what a folder of one workstation collects.
constexpr int kStampsToTry = 3600;  // the end-to-end tests rely on this figure

enum class Claim { Created, TimeFailed, CreateFailed };

// Claims a new file for this backup: the stamp is moved on by a second while
// its name is taken, so no earlier backup (perhaps the only copy of a
// reader's original settings) is ever overwritten or added to, even after
// the clock went back. Any other reason a name cannot be created (a folder
// that cannot be written, a full disk, a path too long) holds for the next
// name as well, so the search stops there. stamp and fileName end as the
// last ones tried; only Created leaves file open on the file that this
// backup writes, and nothing else may reach it by its name meanwhile.
Claim claimBackupFile(const char* displayName, int64_t& stamp, char (&fileName)[kSettingsFileNameSize],
                      platform::OutputFile& file) {
    for (int tried = 0; tried < kStampsToTry; ++tried, ++stamp) {
        platform::LocalTime localTime{};
        if (!platform::toLocalTime(stamp, localTime)) return Claim::TimeFailed;
        buildSettingsFileName(fileName, displayName, localTime);
        switch (file.createNew(fileName)) {
        case platform::NewFile::Created:
            return Claim::Created;
        case platform::NewFile::Exists:
            continue;
        case platform::NewFile::Failed:
            return Claim::CreateFailed;
        }
    }
    return Claim::CreateFailed;
}

}  // namespace

bool AppState::saveOriginalSettings() {
    MessageLog& log = messageLog();
    log.append("%s", kLogRule);
    log.append("                     SAVE ORIGINAL SETTINGS\r\n");
    log.append("%s", kLogRule);

    // The file dialog of a Restore, and each call into the device library,
    // move the current folder; the backups stay together where the
    // operator started the program, and none goes anywhere else.
    backupFault = platform::FileFault::None;
    if (!returnToStartFolder()) {
        log.append("Cannot return to the folder %s\r\n", platform::folderAsShown(startFolder).c_str());
        log.append("Saving is FAILED (File creating error)\r\n");
        backupFault = platform::FileFault::Missing;
        return false;
    }
    int64_t stamp = timing().calendarTime();
    if (lastFileStamp >= stamp) stamp = lastFileStamp + 1;

    const int count = boundCount();
    bool allSaved = true;
    char fileName[kSettingsFileNameSize] = {};
    platform::OutputFile file;
    const Claim claim = count == 0 ? Claim::Created : claimBackupFile(displayName, stamp, fileName, file);
    if (claim == Claim::TimeFailed) {
        log.append("Saving is FAILED (Time stamp error)\r\n");
        allSaved = false;
    } else if (claim == Claim::CreateFailed) {
        // The name last tried belongs to someone else or cannot be made:
        // nothing of this backup may go into it.
        settings[0].logBackupTarget(fileName, log);
        log.append("Saving is FAILED (File creating error)\r\n");
        backupFault = file.fault();
        allSaved = false;
    } else {
        std::snprintf(lastBackupFile, sizeof lastBackupFile, "%s", fileName);
        // Every section is appended to the file this backup has just created.
        for (int i = 0; i < count; ++i) {
            if (!settings[i].saveToFile(file, log)) allSaved = false;
            if (i + 1 < count) log.append("%s", kLogRule);
        }
        // A backup that holds nothing would only mislead a later Restore.
        uint64_t size = 0;
        const bool empty = !allSaved && file.size(size) && size == 0;
        // Every section that counts as saved is on the disk already.
        file.close();
        if (empty) std::remove(fileName);
    }
    lastFileStamp = stamp;
    return allSaved;
}

}  // namespace spelvane
