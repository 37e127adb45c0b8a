// The restore: the sections of a chosen .set file written back into the
// open devices they name.
#include <algorithm>
#include <cstdio>
#include <cstring>
#include <string>

#include "app/app_state.h"
#include "app/record/change_history.h"
#include "app/message_log.h"
#include "platform/input_file.h"
#include "settings/settings_file.h"

namespace spelvane {
namespace {

// Copies text into a buffer of size bytes, always terminated; false when it
// had to be cut.
bool copyBounded(char* buffer, size_t size, const char* text) {
    if (!buffer || size == 0) return false;
    size_t length = 0;
    while (length + 1 < size && text[length] != '\0') ++length;
    std::memcpy(buffer, text, length);
    buffer[length] = '\0';
    return text[length] == '\0';
}

}  // namespace

bool chooseSettingsFile(WindowHandle owner, char* fileName, size_t fileNameSize) {
    char buffer[kSettingsFileNameSize];
    copyBounded(buffer, sizeof buffer, fileName ? fileName : "");
    bool chosen = dialogPort().chooseSettingsFile(owner, buffer, sizeof buffer);
    buffer[sizeof buffer - 1] = '\0';
    // A path cut to the caller's buffer names another file: never report it
    // as chosen.
    bool whole = copyBounded(fileName, fileNameSize, buffer);
    return chosen && whole;
}

RestoreSummary AppState::restoreFromFile(const char* path) {
    MessageLog& log = messageLog();
    // A restore takes no backup: the change rows of its start are the only
    // record of the values it replaces.
    ChangeHistory history(*this, "restore");
    const std::string file = path ? path : "";
    RestoreSummary summary = takeSections(path, [&](int device, std::FILE* section) {
        history.beginReader(device, std::string(), file);
        const DeviceOutcome outcome = settings[device].restoreSection(section, log, &history);
        history.endReader(outcome);
        return outcome;
    });
    if (summary.unicode) {
        log.append("Settings file %s is Unicode: save it as ANSI; nothing is written\r\n", file.c_str());
        return summary;
    }
    if (!summary.opened) {
        log.append("Cannot open settings file %s (%s)\r\n", file.c_str(), platform::describeFileFault(summary.openFault));
        return summary;
    }
    for (int i = 0; i < boundCount(); ++i) {
        if (summary.outcome[i]) continue;
        history.beginReader(i, std::string(), file);
        history.endReader(HistoryOutcome::NoSection);
    }
    summary.historyMissing = history.finish();
    return summary;
}

RestoreSummary AppState::takeSections(const char* path, const SectionTaker& take) {
    RestoreSummary summary;
    std::FILE* file = path ? std::fopen(path, "rb") : nullptr;
    if (!file) {
        // Opened a moment later after all: the C library's own refusal.
        const platform::FileFault fault = path ? platform::readFault(path) : platform::FileFault::Missing;
        summary.openFault = fault == platform::FileFault::None ? platform::FileFault::Other : fault;
        return summary;
    }
    // Refused whole: read byte by byte, no line of it would be what it says.
    if (skipSettingsFileSignature(file) == SettingsFileStart::Unicode) {
        std::fclose(file);
        summary.unicode = true;
        return summary;
    }
    summary.opened = true;
    const int count = boundCount();
    bool restored[2] = {false, false};
    int applied = 0;
    std::string wanted;
    while (applied < count && nextSectionHeading(file, wanted)) {
        std::vector<std::string>& types = summary.fileTypes;
        if (std::find(types.begin(), types.end(), wanted) == types.end()) types.push_back(wanted);
        // Each device takes one section, the first that names its type.
        for (int i = 0; i < count; ++i) {
            if (restored[i] || !settings[i].device) continue;
            if (!sectionIsFor(wanted, settings[i])) continue;
            const DeviceOutcome outcome = take(i, file);
            summary.add(i, outcome);
            if (outcome != DeviceOutcome::Refused) {
                restored[i] = true;
                ++applied;
            }
            break;
        }
    }
    std::fclose(file);
    return summary;
}

}  // namespace spelvane
