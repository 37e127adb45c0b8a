#pragma once
// The simulator's configuration: what devices exist, where their memory
// images live and which faults they show. The text format is described in
// sim/README.md.
#include <array>
#include <cstdint>
#include <string>
#include <vector>

namespace qzsim {

constexpr size_t kMemorySize = 256;
constexpr size_t kHeaderOffset = 0;
constexpr size_t kHeaderSize = 16;
constexpr size_t kAddressListOffset = 16;
constexpr size_t kAddressListCapacity = 16;
constexpr size_t kLightOffset = 32;
constexpr size_t kLightRecordSize = 16;
constexpr unsigned kLightSlots = (kMemorySize - kLightOffset) / kLightRecordSize;  // 14
constexpr size_t kNameCapacity = 71;      // characters, the id holds a terminator too
constexpr size_t kTypeNameCapacity = 39;  // characters, 40 bytes with terminator

enum class EnumerateMode { normal, fail, none };

// "fail = <command> <n>": refuse the n-th request with this command (0: all).
struct CommandFault {
    unsigned command = 0;
    unsigned occurrence = 0;
};

struct DeviceConfig {
    std::string name;
    std::string deviceClass = "KVDEV";
    std::string typeName = "TYPE1";
    uint16_t deviceVersion = 0x103;
    std::string imagePath;  // absolute, or resolved against the config's folder
    std::array<uint8_t, kMemorySize> initialMemory{};  // used when the image is missing
    uint32_t infoSize = 88;
    bool failOpen = false;
    std::vector<CommandFault> commandFaults;
    std::vector<unsigned> failedRequests;  // 1-based device request numbers
    std::vector<unsigned> corruptOffsets;  // memory offsets flipped on command 15 reads
    int shortAddressList = -1;             // bytes delivered for offset 16, -1: all
};

struct SimConfig {
    std::string path;       // the file this came from
    std::string tracePath;  // empty: no trace
    EnumerateMode enumerate = EnumerateMode::normal;
    int64_t reportCount = -1;  // -1: report what was delivered
    uint32_t requestDelayMs = 0;  // each device request takes this long
    // The first this many enumerations of a process under this file find
    // no device: a reader whose driver comes up after the program starts.
    uint32_t absentEnumerations = 0;
    std::vector<DeviceConfig> devices;
};

// Parses the text of a configuration file. Relative paths are taken against
// `directory`. On a fault returns false and says where in `error`.
bool parseConfig(const std::string& text, const std::string& directory, SimConfig& config,
                 std::string& error);

}  // namespace qzsim
