#pragma once
// One line of the simulator's trace, read back: what tests and the bench
// know of the requests a program made. The format is in sim/README.md.
#include <cstdint>
#include <string>
#include <vector>

namespace qzsim {

struct TraceRecord {
    int64_t microseconds;
    uint32_t handle;
    uint32_t functionCode;
    int command;      // -1 when not a device request
    int value;
    int length;       // bytes asked for or sent, -1 when not given
    int delivered;    // "out": bytes delivered, handle opened, ids reported; -1 when not given
    std::vector<uint8_t> data;
    int32_t result;
    uint32_t error;   // last error code after a refusal, 0 after success
    std::string line;  // the whole trace line
};

// Parses one line of the simulator's trace; false when it is not one.
bool parseTraceLine(const std::string& line, TraceRecord& record);

}  // namespace qzsim
