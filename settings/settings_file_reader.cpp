// Reading a .set file back: its numbers, one section, and applying a
// section to a device.
#include <cstring>

#include "settings/settings_file.h"
#include "settings/speed_settings.h"

namespace spelvane {
namespace {

constexpr const char* kDeviceKey = "DEVICE=";
constexpr size_t kDeviceKeyLength = 7;
constexpr const char* kTokenSeparators = ",\r\n";

bool startsWith(const char* line, const char* key) {
    return std::strncmp(line, key, std::strlen(key)) == 0;
}

const char* skipBlanks(const char* text) {
    while (*text == ' ' || *text == '\t') ++text;
    return text;
}

int hexDigit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

// Calls take(index, token) for each token of text, split at ",\r\n"; runs of
// separators count as one and no empty token is produced.
template <typename Take>
void forEachToken(const char* text, Take take) {
    int index = 0;
    while (*text) {
        text += std::strspn(text, kTokenSeparators);
        if (!*text) break;
        size_t length = std::strcspn(text, kTokenSeparators);
        take(index++, text);
        text += length;
    }
}

std::string withoutTrailingBlanks(std::string text) {
    size_t end = text.find_last_not_of(" \t\r\n");
    text.resize(end == std::string::npos ? 0 : end + 1);
    return text;
}

std::string describe(const char* format, long long value) {
    char text[128];
    std::snprintf(text, sizeof text, format, value);
    return text;
}

// Brings the fields the file does not carry in line with what it restored:
// register positions, the HBlank value and the first Half Clock flag (the
// store derives the second from halfClock, and the counts of the header).
bool completeTarget(SpeedValues& work, std::string& refusal) {
    scanRegisterPositions(work);
    if (work.shutterIndex < 0) {
        refusal = "register 9 (shutter) is not in the address list";
        return false;
    }
    work.hblank = hblankOfLights(work, work.lightCount);
    work.header.setHalfClock(work.halfClock != 0);
    return true;
}

}  // namespace

bool storedValuesDiffer(const SpeedValues& a, const SpeedValues& b) {
    if (a.addressCount != b.addressCount || a.lightCount != b.lightCount ||
        a.halfClock != b.halfClock)
        return true;
    if (std::memcmp(a.addresses, b.addresses, a.addressCount) != 0) return true;
    for (int i = 0; i < a.lightCount; ++i) {
        for (int w = 0; w <= a.addressCount; ++w)
            if (a.lights[i].words[w] != b.lights[i].words[w]) return true;
    }
    return false;
}

bool sectionHeading(const char* line, std::string& typeName) {
    if (!startsWith(line, kDeviceKey)) return false;
    typeName = withoutTrailingBlanks(line + kDeviceKeyLength);
    return true;
}

int32_t parseSettingsDecimal(const char* text) {
    text = skipBlanks(text);
    bool negative = *text == '-';
    if (*text == '-' || *text == '+') ++text;
    int64_t value = 0;
    const int64_t limit = negative ? -static_cast<int64_t>(INT32_MIN) : INT32_MAX;
    for (; *text >= '0' && *text <= '9'; ++text) {
        value = value * 10 + (*text - '0');
        if (value > limit) value = limit;
    }
    return static_cast<int32_t>(negative ? -value : value);
}

uint32_t parseSettingsHex(const char* text) {
    text = skipBlanks(text);
    bool negative = *text == '-';
    if (*text == '-' || *text == '+') ++text;
    if (text[0] == '0' && (text[1] == 'x' || text[1] == 'X') && hexDigit(text[2]) >= 0) text += 2;
    while (*text == '0') ++text;
    uint32_t value = 0;
    int significant = 0;
    for (int digit; (digit = hexDigit(*text)) >= 0; ++text) {
        if (++significant > 8) return 0xFFFFFFFFu;
        value = value << 4 | static_cast<uint32_t>(digit);
    }
    return negative ? 0u - value : value;
}

bool readSettingsSection(std::FILE* file, SpeedValues& work, std::string& refusal) {
    refusal.clear();
    char line[kSettingsLineSize];
    for (;;) {
        long start = std::ftell(file);
        if (!std::fgets(line, sizeof line, file)) break;
        if (startsWith(line, kDeviceKey)) {
            // The next section's first line: leave it for the caller.
            if (start >= 0) std::fseek(file, start, SEEK_SET);
            break;
        }
        if (startsWith(line, "HCLOCK=")) {
            work.halfClock = parseSettingsDecimal(line + 7) > 0 ? 1 : 0;
        } else if (startsWith(line, "NADDR=")) {
            work.addressCount = static_cast<uint16_t>(parseSettingsDecimal(line + 6));
        } else if (startsWith(line, "ADDRS=")) {
            forEachToken(line + 6, [&](int index, const char* token) {
                if (index < kMaxAddresses)
                    work.addresses[index] = static_cast<uint8_t>(parseSettingsHex(token));
            });
        } else if (startsWith(line, "NLIGHT=")) {
            work.lightCount = static_cast<uint16_t>(parseSettingsDecimal(line + 7));
        } else if (startsWith(line, "LIGHT")) {
            const char* equals = std::strchr(line, '=');
            if (!equals) continue;
            int32_t index = parseSettingsDecimal(line + 5);
            if (index < 0 || index >= kMaxLights) {
                // Remembered, the section's other lines are still consumed.
                if (refusal.empty()) refusal = describe("LIGHT index %lld is outside 0..4", index);
                continue;
            }
            LightRecord& light = work.lights[index];
            forEachToken(equals + 1, [&](int word, const char* token) {
                if (word < kLightWords) light.words[word] = static_cast<uint16_t>(parseSettingsHex(token));
            });
        }
    }
    if (!refusal.empty()) return false;
    if (work.addressCount > kMaxAddresses) {
        refusal = describe("NADDR=%lld is more than 16", work.addressCount);
        return false;
    }
    if (work.lightCount > kMaxLights) {
        refusal = describe("NLIGHT=%lld is more than 5", work.lightCount);
        return false;
    }
    if (!withinDataModel(work.addressCount, work.lightCount)) {
        refusal = describe("NADDR=%lld is more than 7 while lights are present", work.addressCount);
        return false;
    }
    return completeTarget(work, refusal);
}

bool sectionIsFor(const std::string& sectionType, const SpeedSettings& record) {
    const std::string typeName = withoutTrailingBlanks(record.typeName());
    return !typeName.empty() && typeName == sectionType;
}

DeviceOutcome SpeedSettings::restoreSection(std::FILE* file, ProgressLog& log) {
    const SpeedValues current = snapshot();
    SpeedValues work = current;
    std::string refusal;
    bool accepted = readSettingsSection(file, work, refusal);

    log.append("Restore -> device: %s\r\n", typeName().c_str());
    if (!accepted) {
        log.append("Section is refused (%s); nothing is written\r\n", refusal.c_str());
        return DeviceOutcome::Refused;
    }
    if (!storedValuesDiffer(work, current)) {
        log.append("No changes\r\n");
        return DeviceOutcome::Unchanged;
    }
    // A failed store is reported by the store itself.
    return storeToDevice(work, log) ? DeviceOutcome::Stored : DeviceOutcome::Failed;
}

}  // namespace spelvane
