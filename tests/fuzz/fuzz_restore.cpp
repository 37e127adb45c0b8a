// Input: the contents of a .set file, restored onto a simulated pair of
// devices. The devices keep what earlier inputs wrote into them, so later
// inputs meet more varied device states.
//
// Beyond memory safety, the restore must mean what the file says: a reading
// of the file written apart from the program's reader decides which section
// each device takes. A device that takes one must then hold exactly the
// values the section states, read back from its memory image; a device that
// takes none must hold what it held before.
#include <algorithm>
#include <cctype>
#include <cstdint>
#include <cstring>
#include <string>
#include <utility>
#include <vector>

#include "settings/settings_file.h"
#include "tests/fuzz/fuzz_support.h"
#include "tests/support/fake_dialog.h"
#include "tests/support/fake_timing.h"
#include "tests/support/sim_fixture.h"

using namespace spelvane;

namespace {

constexpr int kDevices = 2;
const char* const kTypes[kDevices] = {"ZEB1", "KYT1"};

struct World {
    testing::FakeTiming clock;  // pauses and pacing without real sleeps
    testing::FakeDialog dialog;
    testing::SimulatedReader reader;
    std::string input;
    int window = 0;
};

World* world = nullptr;

testing::SimDevice pairDevice(const std::string& name, const std::string& type, uint16_t hblank) {
    testing::MemoryLayout layout;
    layout.addresses = {0x09, 0x05, 0x02};
    layout.lights = {{0x10, 700, hblank, 3}, {0x20, 800, hblank, 4}, {0x30, 900, 0, 5}};
    testing::SimDevice device;
    device.name = name;
    device.typeName = type;
    device.memory = testing::makeMemory(layout);
    return device;
}

// The reading the README gives, kept plain rather than fast.
namespace strict {

bool blank(char c) { return c == ' ' || c == '\t'; }

bool digit(char c, int base) {
    const auto u = static_cast<unsigned char>(c);
    return base == 16 ? std::isxdigit(u) != 0 : std::isdigit(u) != 0;
}

// Blanks, a sign, 0x before a hexadecimal digit, digits, blanks (or the CR
// of the line end); the value as large as it is written.
bool number(const std::string& text, int base, long long& value) {
    size_t i = 0;
    while (i < text.size() && blank(text[i])) ++i;
    bool negative = false;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) negative = text[i++] == '-';
    if (base == 16 && i + 2 < text.size() && text[i] == '0' && (text[i + 1] == 'x' || text[i + 1] == 'X') &&
        digit(text[i + 2], 16))
        i += 2;
    size_t end = i;
    while (end < text.size() && digit(text[end], base)) ++end;
    if (end == i) return false;
    for (size_t j = end; j < text.size(); ++j)
        if (!blank(text[j]) && text[j] != '\r') return false;
    std::string digits = text.substr(i, end - i);
    digits.erase(0, std::min(digits.find_first_not_of('0'), digits.size() - 1));
    value = digits.size() > 12 ? 1LL << 50 : std::stoll(digits, nullptr, base);
    if (negative) value = -value;
    return true;
}

// The first `most` values of a list line after its '=', split at ',' and
// CR; each must lie in 0..largest. Tokens after those are not looked at.
bool list(const std::string& text, size_t most, long long largest, std::vector<long long>& values) {
    size_t at = 0;
    while (at <= text.size() && values.size() < most) {
        size_t end = text.find_first_of(",\r", at);
        if (end == std::string::npos) end = text.size();
        const std::string token = text.substr(at, end - at);
        at = end + 1;
        if (token.empty()) continue;
        long long value;
        if (!number(token, 16, value) || value < 0 || value > largest) return false;
        values.push_back(value);
    }
    return true;
}

// Whether the lines of one section (each without its line feed) make a
// section to take, and its values.
bool section(const std::vector<std::string>& lines, SpeedValues& out) {
    long long halfClock = 0, addressCount = 0, lightCount = 0;
    bool seen[4] = {};  // HCLOCK, NADDR, NLIGHT, ADDRS
    std::vector<long long> addresses;
    std::vector<long long> lights[kMaxLights];
    bool lightSeen[kMaxLights] = {};
    auto once = [&](int key) { return !std::exchange(seen[key], true); };
    for (const std::string& line : lines) {
        if (line.size() > kSettingsLineSize - 2) return false;
        auto is = [&](const char* key) { return line.compare(0, std::strlen(key), key) == 0; };
        if (is("HCLOCK=")) {
            if (!once(0) || !number(line.substr(7), 10, halfClock)) return false;
        } else if (is("NADDR=")) {
            if (!once(1) || !number(line.substr(6), 10, addressCount)) return false;
            if (addressCount < 0 || addressCount > 16) return false;
        } else if (is("NLIGHT=")) {
            if (!once(2) || !number(line.substr(7), 10, lightCount)) return false;
            if (lightCount < 0 || lightCount > 5) return false;
        } else if (is("ADDRS=")) {
            if (!once(3) || !list(line.substr(6), kMaxAddresses, 0xff, addresses)) return false;
        } else if (is("LIGHT")) {
            const size_t equals = line.find('=');
            if (equals == std::string::npos) continue;
            long long index;
            if (!number(line.substr(5, equals - 5), 10, index) || index < 0 || index > 4) return false;
            if (std::exchange(lightSeen[index], true)) return false;
            if (!list(line.substr(equals + 1), kLightWords, 0xffff, lights[index])) return false;
        }
    }
    if (!(seen[0] && seen[1] && seen[2] && seen[3])) return false;
    if (lightCount > 0 && addressCount > 7) return false;
    // More than the counts ask for is read, checked above, and left out.
    if (static_cast<long long>(addresses.size()) < addressCount) return false;
    addresses.resize(static_cast<size_t>(addressCount));
    for (int i = 0; i < lightCount; ++i) {
        if (!lightSeen[i] || static_cast<long long>(lights[i].size()) < addressCount + 1) return false;
        lights[i].resize(static_cast<size_t>(addressCount + 1));
    }
    bool shutter = false;
    for (long long address : addresses) shutter = shutter || address == kShutterRegister;
    if (!shutter) return false;

    out = SpeedValues{};
    out.halfClock = halfClock > 0 ? 1 : 0;
    out.addressCount = static_cast<uint16_t>(addressCount);
    out.lightCount = static_cast<uint16_t>(lightCount);
    for (size_t k = 0; k < addresses.size(); ++k) out.addresses[k] = static_cast<uint8_t>(addresses[k]);
    for (int i = 0; i < lightCount; ++i)
        for (size_t w = 0; w < lights[i].size(); ++w) out.lights[i].words[w] = static_cast<uint16_t>(lights[i][w]);
    return true;
}

struct Outcome {
    bool taken[kDevices] = {};
    SpeedValues values[kDevices] = {};
    int refused = 0;
};

// Goes through the file as the restore does: a heading is a whole line that
// begins with "DEVICE=" and is no longer than a section line may be, a
// matching section is read by whole lines up to the next line that begins
// with "DEVICE=", and each device takes the first of its sections that is
// not refused.
Outcome restore(const std::string& input) {
    Outcome outcome;
    // Notepad's "Unicode" is refused whole; its UTF-8 signature is passed over.
    if (input.rfind("\xFF\xFE", 0) == 0 || input.rfind("\xFE\xFF", 0) == 0) return outcome;
    size_t at = input.rfind("\xEF\xBB\xBF", 0) == 0 ? 3 : 0;
    int applied = 0;
    while (applied < kDevices && at < input.size()) {
        size_t end = input.find('\n', at);
        if (end == std::string::npos) end = input.size();
        const std::string piece = input.substr(at, end - at);
        at = std::min(end + 1, input.size());
        if (piece.size() > kSettingsLineSize - 2 || piece.compare(0, 7, "DEVICE=") != 0) continue;
        std::string type = piece.substr(7, piece.find('\0', 7) - 7);  // a C string to the program
        type.erase(type.find_last_not_of(" \t\r\n") + 1);
        for (int i = 0; i < kDevices; ++i) {
            if (outcome.taken[i] || type != kTypes[i]) continue;
            std::vector<std::string> lines;
            while (at < input.size() && input.compare(at, 7, "DEVICE=") != 0) {
                size_t end = input.find('\n', at);
                if (end == std::string::npos) end = input.size();
                lines.push_back(input.substr(at, end - at));
                at = end + 1;
            }
            if (at > input.size()) at = input.size();
            if (section(lines, outcome.values[i])) {
                outcome.taken[i] = true;
                ++applied;
            } else {
                ++outcome.refused;
            }
            break;
        }
    }
    return outcome;
}

}  // namespace strict

// The settings a device holds, from its memory image.
SpeedValues fromImage(const std::vector<uint8_t>& image) {
    if (image.size() < kLightRecordsOffset + kMaxLights * kLightRecordStride) fuzzing::fail("short memory image");
    SpeedValues values{};
    std::memcpy(values.header.bytes, image.data() + kHeaderOffset, sizeof values.header.bytes);
    values.halfClock = values.header.halfClock() ? 1 : 0;
    values.addressCount = values.header.bytes[SettingsHeader::kAddressCountByte];
    values.lightCount = values.header.bytes[SettingsHeader::kLightCountByte];
    std::memcpy(values.addresses, image.data() + kAddressListOffset, kMaxAddresses);
    for (int i = 0; i < kMaxLights; ++i)
        for (int w = 0; w < kLightWords; ++w) {
            const size_t at = kLightRecordsOffset + i * kLightRecordStride + 2 * w;
            values.lights[i].words[w] = static_cast<uint16_t>(image[at] | image[at + 1] << 8);
        }
    return values;
}

// The section a backup would write of values: two records hold the same
// settings when these are equal.
std::string backupOf(const SpeedValues& values) {
    std::string text;
    if (!formatSettingsSection("T", values, text)) fuzzing::fail("values beyond the record");
    return text;
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    world = new World;
    world->reader.addDevice(pairDevice("ZEB-A1", kTypes[0], 0x150));
    world->reader.addDevice(pairDevice("KYT-A1", kTypes[1], 0x160));
    world->reader.apply();
    world->input = world->reader.directory() + "/input.set";
    messageLog().setSink(fuzzing::quietSink);
    if (!appState().discoverDevices(&world->window) || appState().openCount != kDevices)
        fuzzing::fail("the simulated pair did not open");
    for (int i = 0; i < kDevices; ++i)
        if (appState().settings[i].typeName() != kTypes[i]) fuzzing::fail("the devices opened in another order");
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::vector<uint8_t> before[kDevices];
    std::string held[kDevices];
    for (int i = 0; i < kDevices; ++i) {
        before[i] = world->reader.memory(i);
        held[i] = backupOf(fromImage(before[i]));
    }
    fuzzing::writeFile(world->input, data, size);
    messageLog().clear();
    world->clock.clearSleeps();
    const RestoreSummary summary = appState().restoreFromFile(world->input.c_str());

    const strict::Outcome expected = strict::restore(std::string(reinterpret_cast<const char*>(data), size));
    int stored = 0, unchanged = 0;
    for (int i = 0; i < kDevices; ++i) {
        const SpeedValues record = appState().settings[i].snapshot();
        fuzzing::checkRecord(record);
        const std::vector<uint8_t> after = world->reader.memory(i);
        if (!expected.taken[i]) {
            if (after != before[i]) fuzzing::fail("a device took a section the strict reading refuses");
            continue;
        }
        const std::string stated = backupOf(expected.values[i]);
        ++(stated == held[i] ? unchanged : stored);
        if (backupOf(fromImage(after)) != stated) fuzzing::fail("the device does not hold what the section states");
        if (backupOf(record) != stated) fuzzing::fail("the record does not hold what the section states");
    }
    if (summary.refused != expected.refused || summary.stored != stored || summary.unchanged != unchanged ||
        summary.failed != 0)
        fuzzing::fail("the restore took other sections than the strict reading");
    return 0;
}
