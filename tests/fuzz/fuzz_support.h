#pragma once
// What the fuzz targets share: a quiet log, file writing, and the checks
// every loaded or restored record must pass whatever the input was.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "app/app_state.h"
#include "app/message_log.h"
#include "settings/speed_values.h"

namespace spelvane::fuzzing {

inline void quietSink(const char*) {}

// Stops the run with the reason on stderr, so the fuzzer keeps the input.
[[noreturn]] inline void fail(const char* what) {
    std::fprintf(stderr, "fuzz check failed: %s\n", what);
    std::abort();
}

inline void writeFile(const std::string& path, const uint8_t* data, size_t size) {
    std::FILE* file = std::fopen(path.c_str(), "wb");
    if (!file) fail("cannot write the input file");
    if (size && std::fwrite(data, 1, size, file) != size) fail("short write of the input file");
    std::fclose(file);
}

// A record that a load or a restore left behind must stay inside the data
// model and have its register positions where the address list says.
inline void checkRecord(const SpeedValues& values) {
    if (!withinDataModel(values.addressCount, values.lightCount)) fail("counts beyond the record");
    SpeedValues rescanned = values;
    scanRegisterPositions(rescanned);
    if (rescanned.shutterIndex != values.shutterIndex) fail("shutter position does not follow the list");
    if (values.shutterIndex < 0) fail("no shutter register");
    if (rescanned.hblankIndex != values.hblankIndex || rescanned.hblankPresent != values.hblankPresent)
        fail("HBlank position does not follow the list");
    if (values.hblank != hblankOfLights(values, values.lightCount)) fail("HBlank value does not follow the lights");
    if (values.halfClock > 1) fail("Half Clock is neither 0 nor 1");
}

}  // namespace spelvane::fuzzing
