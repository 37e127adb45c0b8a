// Reading a .set file back: its numbers, one section, and applying a
// section to a device.
#include <algorithm>
#include <cstring>

#include "settings/settings_file.h"
#include "settings/speed_settings.h"
#include "settings/stored_changes.h"

namespace spelvane {
namespace {

constexpr const char* kDeviceKey = "DEVICE=";
constexpr size_t kDeviceKeyLength = 7;

constexpr size_t kLongestLine = kLongestSettingsLine;

// How much of a line or a value a refusal quotes: enough to find it in the
// file, short enough to keep the log line readable.
constexpr size_t kShownLine = 48;
constexpr size_t kShownValue = 16;

// Past this a magnitude stops growing: every field and both number forms
// see that it does not fit, and nothing can wrap.
constexpr uint64_t kMagnitudeCap = uint64_t{1} << 32;

bool startsWith(const char* line, const char* key) {
    return std::strncmp(line, key, std::strlen(key)) == 0;
}

bool startsWith(const std::string& line, const char* key) {
    return line.compare(0, std::strlen(key), key) == 0;
}

bool isBlank(char c) { return c == ' ' || c == '\t'; }

int hexDigit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

int digitOf(char c, int base) {
    const int digit = hexDigit(c);
    return digit < base ? digit : -1;
}

// A number as written, before any field sees it.
struct WrittenNumber {
    bool negative = false;
    bool hasDigits = false;
    uint64_t magnitude = 0;     // at most kMagnitudeCap
    const char* end = nullptr;  // just after the last digit
};

WrittenNumber scanNumber(const char* text, const char* end, int base) {
    WrittenNumber number;
    while (text < end && isBlank(*text)) ++text;
    if (text < end && (*text == '-' || *text == '+')) number.negative = *text++ == '-';
    if (base == 16 && end - text >= 3 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X') &&
        hexDigit(text[2]) >= 0)
        text += 2;
    for (int digit; text < end && (digit = digitOf(*text, base)) >= 0; ++text) {
        number.hasDigits = true;
        number.magnitude = std::min(number.magnitude * static_cast<uint64_t>(base) + digit, kMagnitudeCap);
    }
    number.end = text;
    return number;
}

// A value of a section: the number form with at least one digit and nothing
// after it but blanks, read without any cut.
bool wholeNumber(const char* text, const char* end, int base, int64_t& value) {
    const WrittenNumber number = scanNumber(text, end, base);
    if (!number.hasDigits) return false;
    for (const char* rest = number.end; rest < end; ++rest)
        if (!isBlank(*rest) && *rest != '\r') return false;
    const auto magnitude = static_cast<int64_t>(number.magnitude);
    value = number.negative ? -magnitude : magnitude;
    return true;
}

// Text as a refusal quotes it: without surrounding blanks and line end,
// control characters as '?', cut when long.
std::string shown(const char* begin, const char* end, size_t longest) {
    while (begin < end && isBlank(*begin)) ++begin;
    while (end > begin && (isBlank(end[-1]) || end[-1] == '\r')) --end;
    std::string text;
    for (; begin < end; ++begin) {
        if (text.size() == longest) {
            text += "...";
            break;
        }
        const auto c = static_cast<unsigned char>(*begin);
        text += c < 0x20 || c == 0x7f ? '?' : static_cast<char>(c);
    }
    return text;
}

std::string shown(const std::string& line) { return shown(line.data(), line.data() + line.size(), kShownLine); }

std::string withoutTrailingBlanks(std::string text) {
    size_t end = text.find_last_not_of(" \t\r\n");
    text.resize(end == std::string::npos ? 0 : end + 1);
    return text;
}

// Reads one line whole, without its line end (the carriage returns before
// the line feed, CR CR LF as written or CR LF, are no part of the line and do
// not count towards its length); a line longer than kLongestLine is consumed
// to its end but kept only that far. False at the end of the file.
bool readLine(std::FILE* file, std::string& line, bool& tooLong) {
    line.clear();
    tooLong = false;
    int c = std::getc(file);
    if (c == EOF) return false;
    size_t returns = 0;  // held back until a character follows them
    const auto keep = [&](char kept) {
        if (line.size() < kLongestLine) line.push_back(kept);
        else tooLong = true;
    };
    for (; c != EOF && c != '\n'; c = std::getc(file)) {
        if (c == '\r') {
            ++returns;
            continue;
        }
        for (; returns > 0; --returns) keep('\r');
        keep(static_cast<char>(c));
    }
    return true;
}

bool isSeparator(char c) { return c == ',' || c == '\r' || c == '\n'; }

// Calls take(token begin, token end) for each token of [text, end), split at
// ",\r\n"; runs of separators count as one and no empty token is produced.
template <typename Take>
void forEachToken(const char* text, const char* end, Take take) {
    while (text < end) {
        if (isSeparator(*text)) {
            ++text;
            continue;
        }
        const char* tokenEnd = text;
        while (tokenEnd < end && !isSeparator(*tokenEnd)) ++tokenEnd;
        take(text, tokenEnd);
        text = tokenEnd;
    }
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

struct StatedLine {
    bool present = false;
    std::string shown;
};

// What one section states, line by line, before the counts are held
// against the entries. Only the first fault is kept: it is the one the log
// names.
class StatedSection {
public:
    void take(const std::string& line, bool tooLong) {
        if (!fault_.empty()) return;
        if (tooLong) {
            fault_ = "a line is longer than " + std::to_string(kLongestLine) + " characters (" + shown(line) + ")";
        } else if (startsWith(line, "HCLOCK=")) {
            // Any number: the flag is on above 0.
            int64_t value = 0;
            if (takeNumber(line, 7, halfClockLine_, value, INT64_MIN, INT64_MAX)) halfClock_ = value > 0 ? 1 : 0;
        } else if (startsWith(line, "NADDR=")) {
            takeNumber(line, 6, addressCountLine_, addressCount_, 0, kMaxAddresses);
        } else if (startsWith(line, "NLIGHT=")) {
            takeNumber(line, 7, lightCountLine_, lightCount_, 0, kMaxLights);
        } else if (startsWith(line, "ADDRS=")) {
            if (!firstOf(line, addressLine_)) return;
            takeList(line, 6, kMaxAddresses, "address", 0xff, "ff", [&](int index, int64_t value) {
                addresses_[index] = static_cast<uint8_t>(value);
                addressesListed_ = index + 1;
            });
        } else if (startsWith(line, "LIGHT")) {
            takeLight(line);
        }
    }

    // Applies what the section states to work when it states every value
    // its counts announce; otherwise work stays as it was. Values beyond the
    // counts (more addresses or words than NADDR asks, lights beyond NLIGHT)
    // are read and checked like the others, and never applied: the store
    // writes what the counts announce, and no more.
    bool finish(SpeedValues& work, std::string& refusal) {
        refusal = fault_;
        if (refusal.empty()) refusal = missingLine();
        if (refusal.empty()) refusal = entriesAgainstCounts();
        if (!refusal.empty()) return false;

        SpeedValues restored = work;
        restored.halfClock = static_cast<uint8_t>(halfClock_);
        restored.addressCount = static_cast<uint16_t>(addressCount_);
        std::memcpy(restored.addresses, addresses_, static_cast<size_t>(addressCount_));
        restored.lightCount = static_cast<uint16_t>(lightCount_);
        for (int i = 0; i < lightCount_; ++i)
            std::memcpy(restored.lights[i].words, words_[i], (addressCount_ + 1) * sizeof(uint16_t));
        if (!completeTarget(restored, refusal)) return false;
        work = restored;
        return true;
    }

private:
    bool firstOf(const std::string& line, StatedLine& stated) {
        if (stated.present) {
            fault_ = shown(line) + " repeats an earlier line (" + stated.shown + ")";
            return false;
        }
        stated.present = true;
        stated.shown = shown(line);
        return true;
    }

    bool takeNumber(const std::string& line, size_t keyLength, StatedLine& stated, int64_t& value,
                    int64_t least, int64_t most) {
        if (!firstOf(line, stated)) return false;
        const char* end = line.data() + line.size();
        if (!wholeNumber(line.data() + keyLength, end, 10, value))
            fault_ = stated.shown + " is not a number";
        else if (value < least)
            fault_ = stated.shown + " is less than " + std::to_string(least);
        else if (value > most)
            fault_ = stated.shown + " is more than " + std::to_string(most);
        return fault_.empty();
    }

    // Reads the first `most` hexadecimal values after the key, as many as
    // the record has room for; store(index, value) gets each one that fits
    // [0, largest]. Tokens after those are no part of the record and are
    // passed over unread.
    template <typename Store>
    void takeList(const std::string& line, size_t keyLength, int most, const char* what, int64_t largest,
                  const char* largestShown, Store store) {
        int index = 0;
        forEachToken(line.data() + keyLength, line.data() + line.size(), [&](const char* begin, const char* end) {
            if (!fault_.empty() || index >= most) return;
            int64_t value = 0;
            const std::string token = shown(begin, end, kShownValue);
            if (!wholeNumber(begin, end, 16, value))
                fault_ = std::string(what) + " " + token + " is not a hexadecimal number";
            else if (value < 0)
                fault_ = std::string(what) + " " + token + " is less than 0";
            else if (value > largest)
                fault_ = std::string(what) + " " + token + " is more than " + largestShown;
            if (!fault_.empty()) {
                fault_ += " (" + shown(line) + ")";
                return;
            }
            store(index++, value);
        });
    }

    void takeLight(const std::string& line) {
        // "LIGHT" without '=' names no light: such a line is not one of ours.
        const size_t equals = line.find('=');
        if (equals == std::string::npos) return;
        const char* indexText = line.data() + 5;
        const char* indexEnd = line.data() + equals;
        int64_t index = 0;
        if (!wholeNumber(indexText, indexEnd, 10, index)) {
            fault_ = shown(line) + ": the LIGHT index is not a number";
            return;
        }
        if (index < 0 || index >= kMaxLights) {
            fault_ = "LIGHT index " + shown(indexText, indexEnd, kShownValue) + " is outside 0..4";
            return;
        }
        if (!firstOf(line, lightLines_[index])) return;
        uint16_t* words = words_[index];
        int& listed = wordsListed_[index];
        takeList(line, equals + 1, kLightWords, "word", 0xffff, "ffff", [&](int word, int64_t value) {
            words[word] = static_cast<uint16_t>(value);
            listed = word + 1;
        });
    }

    std::string missingLine() const {
        const std::pair<const StatedLine*, const char*> required[] = {
            {&halfClockLine_, "HCLOCK"}, {&addressCountLine_, "NADDR"},
            {&addressLine_, "ADDRS"},    {&lightCountLine_, "NLIGHT"},
        };
        for (const auto& [stated, key] : required)
            if (!stated->present) return std::string("there is no ") + key + " line";
        return {};
    }

    std::string entriesAgainstCounts() const {
        const std::string& counted = addressCountLine_.shown;
        if (!withinDataModel(static_cast<uint32_t>(addressCount_), static_cast<uint32_t>(lightCount_)))
            return counted + " is more than " + std::to_string(kMaxAddressesWithLights) + " while lights are present";
        if (addressesListed_ < addressCount_)
            return counted + " announces " + std::to_string(addressCount_) + " addresses, " + addressLine_.shown +
                   " lists " + std::to_string(addressesListed_);
        for (int i = 0; i < lightCount_; ++i) {
            const StatedLine& light = lightLines_[i];
            if (!light.present) return "there is no LIGHT" + std::to_string(i) + " line for " + lightCountLine_.shown;
            if (wordsListed_[i] < addressCount_ + 1)
                return light.shown + " lists " + std::to_string(wordsListed_[i]) + " words, " + counted + " needs " +
                       std::to_string(addressCount_ + 1);
        }
        return {};
    }

    std::string fault_;
    StatedLine halfClockLine_, addressCountLine_, addressLine_, lightCountLine_;
    StatedLine lightLines_[kMaxLights];
    int64_t halfClock_ = 0, addressCount_ = 0, lightCount_ = 0;
    uint8_t addresses_[kMaxAddresses] = {};
    int addressesListed_ = 0;
    uint16_t words_[kMaxLights][kLightWords] = {};
    int wordsListed_[kMaxLights] = {};
};

}  // namespace

bool sectionHeading(const char* line, std::string& typeName) {
    if (!startsWith(line, kDeviceKey)) return false;
    typeName = withoutTrailingBlanks(line + kDeviceKeyLength);
    return true;
}

bool nextSectionHeading(std::FILE* file, std::string& typeName) {
    std::string line;
    bool tooLong = false;
    while (readLine(file, line, tooLong)) {
        // A heading too long to keep would name a type cut short.
        if (!tooLong && sectionHeading(line.c_str(), typeName)) return true;
    }
    return false;
}

int32_t parseSettingsDecimal(const char* text) {
    const WrittenNumber number = scanNumber(text, text + std::strlen(text), 10);
    const uint64_t limit = number.negative ? uint64_t{1} << 31 : INT32_MAX;
    const auto value = static_cast<int64_t>(std::min(number.magnitude, limit));
    return static_cast<int32_t>(number.negative ? -value : value);
}

uint32_t parseSettingsHex(const char* text) {
    const WrittenNumber number = scanNumber(text, text + std::strlen(text), 16);
    if (number.magnitude > UINT32_MAX) return 0xFFFFFFFFu;
    const auto value = static_cast<uint32_t>(number.magnitude);
    return number.negative ? 0u - value : value;
}

SettingsFileStart skipSettingsFileSignature(std::FILE* file) {
    unsigned char start[3] = {};
    const size_t read = std::fread(start, 1, sizeof start, file);
    if (read >= 2 && ((start[0] == 0xFF && start[1] == 0xFE) || (start[0] == 0xFE && start[1] == 0xFF))) {
        std::rewind(file);
        return SettingsFileStart::Unicode;
    }
    if (!(read == 3 && start[0] == 0xEF && start[1] == 0xBB && start[2] == 0xBF)) std::rewind(file);
    return SettingsFileStart::Text;
}

bool readSettingsSection(std::FILE* file, SpeedValues& work, std::string& refusal) {
    StatedSection section;
    std::string line;
    bool tooLong = false;
    for (;;) {
        const long start = std::ftell(file);
        if (!readLine(file, line, tooLong)) break;
        if (startsWith(line, kDeviceKey)) {
            // The next section's first line: leave it for the caller.
            if (start >= 0) std::fseek(file, start, SEEK_SET);
            break;
        }
        // After a fault the rest of the section is still consumed.
        section.take(line, tooLong);
    }
    return section.finish(work, refusal);
}

bool typeNamesMatch(const std::string& sectionType, const std::string& deviceType) {
    // Exact, an empty name included: a reader without a type name gets its
    // own backups back and no other reader's.
    return withoutTrailingBlanks(sectionType) == withoutTrailingBlanks(deviceType);
}

bool sectionIsFor(const std::string& sectionType, const SpeedSettings& record) {
    return typeNamesMatch(sectionType, record.typeName());
}

DeviceOutcome SpeedSettings::restoreSection(std::FILE* file, ProgressLog& log, ChangeObserver* observer) {
    const SpeedValues current = snapshot();
    SpeedValues work = current;
    std::string refusal;
    bool accepted = readSettingsSection(file, work, refusal);

    log.append("Restore -> device: %s\r\n", typeName().c_str());
    if (!accepted) {
        log.append("Section is refused (%s); nothing is written\r\n", refusal.c_str());
        if (observer) observer->refused(refusal);
        return DeviceOutcome::Refused;
    }
    if (!storedValuesDiffer(work, current)) {
        log.append("No changes\r\n");
        return DeviceOutcome::Unchanged;
    }
    // A failed store is reported by the store itself.
    return storeToDevice(work, log, observer) ? DeviceOutcome::Stored : DeviceOutcome::Failed;
}

}  // namespace spelvane
