#pragma once
// Sets up the simulated reader for one test: a fresh directory holding a
// configuration file and the device memory images, and the environment
// variable that points the simulator at it. Tests then drive the real code
// through the call gate.
#include <cstdint>
#include <string>
#include <vector>

#include "sim/trace_record.h"

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

// The trace as the simulator writes it (sim/trace_record.h).
using qzsim::parseTraceLine;
using qzsim::TraceRecord;

// Where the loader-test builds of the library lie: "no_entry",
// "no_module_info", "version_07000000", "version_06ffffff",
// "version_negative". An absolute path beside the test program.
std::string variantLibraryPath(const std::string& variant);

// A configuration shipped beside the library ("qzsim.conf", "pair.conf").
std::string shippedConfigPath(const std::string& file);

class SimulatedReader {
public:
    SimulatedReader();   // fresh directory, no devices yet
    ~SimulatedReader();  // removes the directory, restores the variable
    SimulatedReader(const SimulatedReader&) = delete;
    SimulatedReader& operator=(const SimulatedReader&) = delete;

    int addDevice(const SimDevice& device);      // returns its index
    void addGlobalLine(const std::string& line); // e.g. "enumerate = fail"
    // Replaces a device's further lines (faults), from the next apply on.
    void setDeviceLines(int device, const std::vector<std::string>& lines);
    void enableTrace();
    // Writes the configuration and points the simulator at it. Images are
    // written only when missing, so a second apply keeps what the simulator
    // stored (a restart of the program sees the device as it was left).
    void apply();
    // Replaces the written configuration by a copy of another file (for
    // example a shipped one); its relative paths then land in this folder.
    void applyConfigFile(const std::string& path);

    std::string directory() const;
    std::vector<uint8_t> memory(int device) const;  // current image file contents
    std::string imagePath(int device) const;
    std::string tracePath() const;
    std::vector<TraceRecord> trace() const;
    std::string configText() const;

private:
    std::string directory_;
    std::vector<SimDevice> devices_;
    std::vector<std::string> globals_;
    bool trace_ = false;
    bool applied_ = false;
    bool hadPrevious_ = false;
    std::string previousConfig_;
};

}  // namespace spelvane::testing
