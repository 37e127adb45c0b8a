#pragma once
// A scripted device-access library for the unit tests of the device code: it
// is put straight into the call gate's entry, records every call and answers
// as the test says.
#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "device/library_records.h"

namespace spelvane::testing {

struct LibraryCall {
    uint32_t handle;
    uint32_t functionCode;
    int command = -1;       // device requests only
    int value = -1;
    int length = -1;        // as sent
    uint32_t requestSize = 0;
    uint32_t timeout = 0;
    const void* data = nullptr;
    int32_t errorCode = 0;  // recorded error numbers
    uint32_t openMode = 0;
    int64_t counter = 0;    // the fake clock when the call arrived
};

class FakeLibrary {
public:
    FakeLibrary();   // installs itself as the gate's entry
    ~FakeLibrary();  // puts the gate back to unloaded

    // Script.
    std::map<uint32_t, int32_t> results;  // by function code; default 1
    uint32_t nextHandle = 0x51;
    uint32_t reportedInfoSize = 88;  // first word after the sizing query
    uint32_t sizeAfterFill = 0;      // nonzero: first word the filling call leaves
    std::string typeName = "TYPE1";
    uint16_t deviceVersion = 0x103;
    bool terminateTypeName = true;
    int deliveredLength = -1;        // reads: -1 delivers what was asked
    std::vector<uint8_t> readBytes;  // what a read delivers (zeros beyond)
    std::optional<int32_t> enumerateCount;  // reported count; none: as many names as fit
    std::vector<std::string> deviceNames;

    // What was seen.
    std::vector<LibraryCall> calls;
    std::vector<LibraryCall> callsOf(uint32_t functionCode) const;
    std::vector<int32_t> recordedErrors() const;

private:
    static int32_t entry(uint32_t handle, uint32_t functionCode, void* params);
    int32_t serve(uint32_t handle, uint32_t functionCode, void* params);
};

// An 80-byte device id carrying `name` at byte 8 (cut to fit).
std::vector<uint8_t> deviceId(const std::string& name);

}  // namespace spelvane::testing
