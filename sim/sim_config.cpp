#include "sim/sim_config.h"

#include <cctype>
#include <cerrno>
#include <cstdlib>
#include <sstream>

#include "sim/sim_os.h"

namespace qzsim {
namespace {

std::string trim(const std::string& text) {
    size_t begin = 0, end = text.size();
    while (begin < end && isspace(static_cast<unsigned char>(text[begin]))) ++begin;
    while (end > begin && isspace(static_cast<unsigned char>(text[end - 1]))) --end;
    return text.substr(begin, end - begin);
}

// Decimal or 0x-prefixed hexadecimal, whole token only.
bool parseUnsigned(const std::string& token, uint64_t limit, uint64_t& out, int base = 0) {
    if (token.empty() || token[0] == '-' || token[0] == '+') return false;
    char* end = nullptr;
    errno = 0;
    unsigned long long value = strtoull(token.c_str(), &end, base);
    if (errno != 0 || *end != '\0' || value > limit) return false;
    out = value;
    return true;
}

std::vector<std::string> words(const std::string& text) {
    std::istringstream stream(text);
    std::vector<std::string> out;
    std::string word;
    while (stream >> word) out.push_back(word);
    return out;
}

// A list of hexadecimal numbers separated by blanks or commas.
bool parseHexList(const std::string& text, uint64_t limit, size_t capacity,
                  std::vector<uint64_t>& out) {
    std::string spaced = text;
    for (auto& c : spaced) {
        if (c == ',') c = ' ';
    }
    out.clear();
    for (const auto& word : words(spaced)) {
        uint64_t value;
        if (!parseUnsigned(word, limit, value, 16) || out.size() == capacity) return false;
        out.push_back(value);
    }
    return true;
}

class Parser {
public:
    Parser(const std::string& directory, SimConfig& config, std::string& error)
        : directory_(directory), config_(config), error_(error) {}

    bool run(const std::string& text) {
        std::istringstream stream(text);
        std::string raw;
        while (std::getline(stream, raw)) {
            ++line_;
            std::string content = trim(raw.substr(0, raw.find('#')));
            if (content.empty()) continue;
            if (content == "[device]") {
                if (!finishDevice()) return false;
                config_.devices.emplace_back();
                inDevice_ = true;
                clearInitialValues();
                continue;
            }
            if (content.front() == '[') return fail("unknown section " + content);
            size_t equals = content.find('=');
            if (equals == std::string::npos) return fail("expected 'key = value'");
            std::string key = trim(content.substr(0, equals));
            std::string value = trim(content.substr(equals + 1));
            if (!(inDevice_ ? deviceKey(key, value) : globalKey(key, value))) return false;
        }
        return finishDevice();
    }

private:
    bool fail(const std::string& what) {
        error_ = config_.path + ":" + std::to_string(line_) + ": " + what;
        return false;
    }

    bool number(const std::string& key, const std::string& value, uint64_t limit, uint64_t& out) {
        if (parseUnsigned(value, limit, out)) return true;
        return fail(key + " needs a number from 0 to " + std::to_string(limit) + ", not '" +
                    value + "'");
    }

    bool globalKey(const std::string& key, const std::string& value) {
        uint64_t n;
        if (key == "trace") {
            config_.tracePath = value.empty() ? std::string() : joinPath(directory_, value);
        } else if (key == "enumerate") {
            if (value == "fail") config_.enumerate = EnumerateMode::fail;
            else if (value == "none") config_.enumerate = EnumerateMode::none;
            else if (value == "normal") config_.enumerate = EnumerateMode::normal;
            else return fail("enumerate is fail, none or normal");
        } else if (key == "report_count") {
            if (!number(key, value, 0x7FFFFFFF, n)) return false;
            config_.reportCount = static_cast<int64_t>(n);
        } else if (key == "request_delay") {
            if (!number(key, value, 10000, n)) return false;
            config_.requestDelayMs = static_cast<uint32_t>(n);
        } else if (key == "absent_enumerations") {
            if (!number(key, value, 1000, n)) return false;
            config_.absentEnumerations = static_cast<uint32_t>(n);
        } else {
            return fail("unknown key '" + key + "' outside a [device] section");
        }
        return true;
    }

    bool deviceKey(const std::string& key, const std::string& value) {
        DeviceConfig& device = config_.devices.back();
        uint64_t n;
        if (key == "name") {
            if (value.empty() || value.size() > kNameCapacity)
                return fail("name needs 1 to 71 characters");
            device.name = value;
        } else if (key == "class") {
            device.deviceClass = value;
        } else if (key == "type") {
            if (value.size() > kTypeNameCapacity) return fail("type has at most 39 characters");
            device.typeName = value;
        } else if (key == "version") {
            if (!number(key, value, 0xFFFF, n)) return false;
            device.deviceVersion = static_cast<uint16_t>(n);
        } else if (key == "image") {
            if (value.empty()) return fail("image needs a file name");
            device.imagePath = joinPath(directory_, value);
        } else if (key == "header") {
            return bytesAt(key, value, kHeaderOffset, kHeaderSize, headerGiven_);
        } else if (key == "addresses") {
            return bytesAt(key, value, kAddressListOffset, kAddressListCapacity, addressCount_);
        } else if (key.rfind("light", 0) == 0 && key.size() > 5 &&
                   isdigit(static_cast<unsigned char>(key[5]))) {
            return lightKey(key, value);
        } else if (key == "fail") {
            auto parts = words(value);
            uint64_t command, occurrence;
            if (parts.size() != 2 || !parseUnsigned(parts[0], 255, command) ||
                !parseUnsigned(parts[1], 0xFFFFFFFF, occurrence)) {
                return fail("fail needs a command and an occurrence (0: every one)");
            }
            device.commandFaults.push_back({static_cast<unsigned>(command),
                                            static_cast<unsigned>(occurrence)});
        } else if (key == "fail_request") {
            if (!number(key, value, 0xFFFFFFFF, n)) return false;
            if (n == 0) return fail("fail_request counts from 1");
            device.failedRequests.push_back(static_cast<unsigned>(n));
        } else if (key == "corrupt_readback") {
            if (!number(key, value, kMemorySize - 1, n)) return false;
            device.corruptOffsets.push_back(static_cast<unsigned>(n));
        } else if (key == "short_address_list") {
            if (!number(key, value, kAddressListCapacity, n)) return false;
            device.shortAddressList = static_cast<int>(n);
        } else if (key == "fail_open") {
            if (!number(key, value, 1, n)) return false;
            device.failOpen = n == 1;
        } else if (key == "info_size") {
            if (!number(key, value, 0xFFFF, n)) return false;
            device.infoSize = static_cast<uint32_t>(n);
        } else {
            return fail("unknown key '" + key + "' in a [device] section");
        }
        return true;
    }

    bool bytesAt(const std::string& key, const std::string& value, size_t offset, size_t capacity,
                 size_t& count) {
        std::vector<uint64_t> bytes;
        if (!parseHexList(value, 0xFF, capacity, bytes)) {
            return fail(key + " needs at most " + std::to_string(capacity) + " hexadecimal bytes");
        }
        auto& memory = config_.devices.back().initialMemory;
        for (size_t i = 0; i < capacity; ++i) memory[offset + i] = 0;
        for (size_t i = 0; i < bytes.size(); ++i) memory[offset + i] = static_cast<uint8_t>(bytes[i]);
        count = bytes.size();
        return true;
    }

    bool lightKey(const std::string& key, const std::string& value) {
        uint64_t number;
        if (!parseUnsigned(key.substr(5), kLightSlots, number, 10) || number == 0) {
            return fail("lights are numbered light1 to light" + std::to_string(kLightSlots));
        }
        std::vector<uint64_t> values;
        if (!parseHexList(value, 0xFFFF, kLightRecordSize / 2, values)) {
            return fail(key + " needs at most 8 hexadecimal 16-bit words");
        }
        auto& memory = config_.devices.back().initialMemory;
        size_t offset = kLightOffset + (number - 1) * kLightRecordSize;
        for (size_t i = 0; i < kLightRecordSize; ++i) memory[offset + i] = 0;
        for (size_t i = 0; i < values.size(); ++i) {
            memory[offset + 2 * i] = static_cast<uint8_t>(values[i] & 0xFF);
            memory[offset + 2 * i + 1] = static_cast<uint8_t>(values[i] >> 8);
        }
        if (number > lightCount_) lightCount_ = number;
        return true;
    }

    void clearInitialValues() {
        headerGiven_ = 0;
        addressCount_ = 0;
        lightCount_ = 0;
    }

    // Without an explicit header the image starts as an initialised device:
    // signature and the two counts follow what the section lists.
    bool finishDevice() {
        if (!inDevice_) return true;
        DeviceConfig& device = config_.devices.back();
        if (device.name.empty()) return fail("the [device] section above has no name");
        if (!headerGiven_) {
            device.initialMemory[0] = 'W';
            device.initialMemory[1] = 'I';
            device.initialMemory[2] = 'Q';
            device.initialMemory[4] = static_cast<uint8_t>(addressCount_);
            device.initialMemory[5] = static_cast<uint8_t>(lightCount_);
        }
        if (device.imagePath.empty()) device.imagePath = joinPath(directory_, device.name + ".img");
        return true;
    }

    const std::string& directory_;
    SimConfig& config_;
    std::string& error_;
    int line_ = 0;
    bool inDevice_ = false;
    size_t headerGiven_ = 0;
    size_t addressCount_ = 0;
    uint64_t lightCount_ = 0;
};

}  // namespace

bool parseConfig(const std::string& text, const std::string& directory, SimConfig& config,
                 std::string& error) {
    return Parser(directory, config, error).run(text);
}

}  // namespace qzsim
