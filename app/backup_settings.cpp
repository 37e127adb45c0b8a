// The backup taken before every store: the settings every open device holds
// now, in one new .set file named after the display name and the time.
#include <cstdio>

#include "app/app_state.h"
#include "app/message_log.h"
#include "app/texts.h"
#include "platform/local_time.h"
#include "platform/timing.h"
#include "settings/settings_file.h"

namespace spelvane {

int64_t lastFileStamp = 0;

bool AppState::saveOriginalSettings() {
    MessageLog& log = messageLog();
    log.append("%s", kLogRule);
    log.append("                     SAVE ORIGINAL SETTINGS\r\n");
    log.append("%s", kLogRule);

    int64_t stamp = timing().calendarTime();
    if (lastFileStamp >= stamp) stamp = lastFileStamp + 1;

    const int count = boundCount();
    bool allSaved = true;
    platform::LocalTime localTime{};
    if (!platform::toLocalTime(stamp, localTime)) {
        log.append("Saving is FAILED (Time stamp error)\r\n");
        allSaved = count == 0;
    } else {
        char fileName[kSettingsFileNameSize];
        buildSettingsFileName(fileName, displayName, localTime);
        std::snprintf(lastBackupFile, sizeof lastBackupFile, "%s", fileName);
        for (int i = 0; i < count; ++i) {
            if (!settings[i].saveToFile(fileName, i != 0, log)) allSaved = false;
            if (i + 1 < count) log.append("%s", kLogRule);
        }
    }
    lastFileStamp = stamp;
    return allSaved;
}

}  // namespace spelvane
