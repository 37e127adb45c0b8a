#pragma once
// Sets up the simulated reader for one test: a fresh directory holding a
// configuration file and the device memory images, and the environment
// variable that points the simulator at it. Tests then drive the real code
// through the call gate.
#include <cstdint>
#include <string>
#include <vector>

namespace spelvane::testing {

// Builds a device memory image: header ("WIQ", counts in bytes 4 and 5,
// flags), address list at 16, light record i at 32 + 16 i.
struct MemoryLayout {
    bool halfClock = false;
    std::vector<uint8_t> addresses = {0x09, 0x05, 0x02, 0x03};
    std::vector<std::vector<uint16_t>> lights;  // words 0.. of each light
};
std::vector<uint8_t> makeMemory(const MemoryLayout& layout);

struct SimDevice {
    std::string name = "KVDEV-A1";         // name in the device id
    std::string typeName = "TYPE1";
    uint16_t deviceVersion = 0x103;
    std::vector<uint8_t> memory;           // initial image (makeMemory)
    std::vector<std::string> extraLines;   // further "key = value" lines, e.g. faults
};

struct TraceRecord {
    int64_t microseconds;
    uint32_t handle;
    uint32_t functionCode;
    int command;      // -1 when not a device request
    int value;
    int length;
    int32_t result;
    std::string line;  // the whole trace line
};

class SimulatedReader {
public:
    SimulatedReader();   // fresh directory, no devices yet
    ~SimulatedReader();  // removes the directory, clears the variable

    int addDevice(const SimDevice& device);      // returns its index
    void addGlobalLine(const std::string& line); // e.g. "enumerate = fail"
    void enableTrace();
    void apply();  // writes the configuration and points the simulator at it

    std::string directory() const;
    std::vector<uint8_t> memory(int device) const;  // current image file contents
    std::vector<TraceRecord> trace() const;
    std::string configText() const;

private:
    std::string directory_;
    std::vector<SimDevice> devices_;
    std::vector<std::string> globals_;
    bool trace_ = false;
};

}  // namespace spelvane::testing
