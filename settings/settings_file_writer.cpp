// Backup of the original settings into a new .set file.
#include "settings/settings_file.h"

#include <cstdarg>
#include <cstring>

#include "platform/output_file.h"
#include "settings/speed_settings.h"

namespace spelvane {

namespace {

constexpr const char* kSectionSeparator = "------------------------------------------------------";

void appendFormatted(std::string& out, const char* format, ...)
#if defined(__GNUC__)
    __attribute__((format(printf, 2, 3)))
#endif
    ;

void appendFormatted(std::string& out, const char* format, ...) {
    char piece[64];
    va_list args;
    va_start(args, format);
    int length = std::vsnprintf(piece, sizeof piece, format, args);
    va_end(args);
    if (length > 0) out.append(piece, static_cast<size_t>(length) < sizeof piece ? length : sizeof piece - 1);
}

}  // namespace

char fileNameCharacter(char c) {
    if (static_cast<unsigned char>(c) < 0x20) return '_';
    return std::strchr("\\/:*?\"<>|", c) ? '_' : c;
}

void buildSettingsFileName(char (&name)[kSettingsFileNameSize], const char* displayName,
                           const platform::LocalTime& t) {
    char stamp[96];
    int stampLength = std::snprintf(stamp, sizeof stamp, "_%4i%02i%02i%02i%02i%02i.set", t.year,
                                    t.month, t.day, t.hour, t.minute, t.second);
    if (stampLength < 0) stampLength = 0;
    size_t stampSize = static_cast<size_t>(stampLength);
    if (stampSize >= sizeof stamp) stampSize = sizeof stamp - 1;

    // The display name gives way, never the stamp: a cut stamp would make two
    // backups of one run collide.
    size_t room = kSettingsFileNameSize - 1 - stampSize;
    size_t nameLength = 0;
    while (displayName && nameLength < room && displayName[nameLength] != '\0') ++nameLength;
    for (size_t i = 0; i < nameLength; ++i) name[i] = fileNameCharacter(displayName[i]);
    std::memcpy(name + nameLength, stamp, stampSize);
    name[nameLength + stampSize] = '\0';
}

bool formatSettingsSection(const std::string& typeName, const SpeedValues& values,
                           std::string& out) {
    out.clear();
    if (!withinDataModel(values.addressCount, values.lightCount)) return false;

    out.append("DEVICE=").append(typeName).append(kSettingsLineEnd);
    appendFormatted(out, "HCLOCK=%i%s", values.halfClock ? 1 : 0, kSettingsLineEnd);
    appendFormatted(out, "NADDR=%u%s", static_cast<unsigned>(values.addressCount), kSettingsLineEnd);
    out.append("ADDRS=");
    for (int j = 0; j < values.addressCount; ++j)
        appendFormatted(out, j ? ",%02x" : "%02x", static_cast<unsigned>(values.addresses[j]));
    out.append(kSettingsLineEnd);
    appendFormatted(out, "NLIGHT=%u%s", static_cast<unsigned>(values.lightCount), kSettingsLineEnd);
    for (int k = 0; k < values.lightCount; ++k) {
        appendFormatted(out, "LIGHT%i=", k);
        for (int w = 0; w <= values.addressCount; ++w)
            appendFormatted(out, w ? ",%04x" : "%04x", static_cast<unsigned>(values.lights[k].words[w]));
        out.append(kSettingsLineEnd);
    }
    out.append(kSectionSeparator).append(kSettingsLineEnd);
    return true;
}

bool typeNameCarried(const std::string& typeName) {
    const std::string heading = "DEVICE=" + typeName;
    if (heading.find_first_of("\r\n") != std::string::npos) return false;
    // The line as the reader takes it, without its line end.
    if (heading.size() > kLongestSettingsLine) return false;
    std::string read;
    return sectionHeading(heading.c_str(), read) && typeNamesMatch(read, typeName);
}

void SpeedSettings::logBackupTarget(const char* fileName, ProgressLog& log) const {
    log.append("Device: %s\r\n", typeName().c_str());
    log.append("Filename: %s\r\n", fileName);
}

bool SpeedSettings::saveToFile(platform::OutputFile& file, ProgressLog& log) {
    const std::string type = typeName();
    logBackupTarget(file.path().c_str(), log);

    // Checked before the file is touched, so a refused section leaves the
    // file as it was.
    if (!typeNameCarried(type)) {
        log.append("Saving is FAILED (Device type name cannot be written)\r\n");
        return false;
    }
    std::string section;
    if (!formatSettingsSection(type, snapshot(), section)) {
        log.append("Saving is FAILED (Settings out of range)\r\n");
        return false;
    }

    // Written exactly as it stands, line ends and all, through the handle
    // that claimed the file: a section only ever adds to it.
    if (!file.isOpen()) {
        log.append("Saving is FAILED (File creating error)\r\n");
        return false;
    }
    if (!file.write(section.data(), section.size())) {
        log.append("Saving is FAILED (File writing error)\r\n");
        return false;
    }
    // SUCCESS means on the disk: a power cut during the store that follows
    // must not take the backup with it.
    if (!file.flushDurably()) {
        log.append("Saving is FAILED (File flushing error)\r\n");
        return false;
    }
    log.append("Saving is SUCCESS\r\n");
    return true;
}

}  // namespace spelvane
