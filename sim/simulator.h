#pragma once
// The simulated reader behind qz_call: devices with a 256-byte memory each,
// kept in image files, plus the library-level last error and a request trace.
#include <array>
#include <cstdio>
#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "device/library_records.h"
#include "sim/sim_config.h"
#include "sim/sim_os.h"

namespace qzsim {

// Error numbers of the simulator's own refusals (errno numbering).
enum SimError : uint32_t {
    kNoSuchFile = 2,
    kIoError = 5,
    kNoDevice = 19,
    kInvalid = 22,
    kNotImplemented = 38,
    kNotSupported = 95,
};

class Simulator {
public:
    Simulator();
    ~Simulator();
    Simulator(const Simulator&) = delete;
    Simulator& operator=(const Simulator&) = delete;

    int32_t call(uint32_t handle, uint32_t functionCode, void* params);

private:
    struct OpenDevice {
        DeviceConfig config;
        std::string configPath;  // the configuration it was opened under
        std::array<uint8_t, kMemorySize> memory{};
        std::vector<uint8_t> staged;
        bool hasStaged = false;
        unsigned selectedLight = 0;  // 0: none selected yet
        unsigned requests = 0;
        std::map<unsigned, unsigned> commandCounts;
    };

    // What one call leaves in the trace.
    struct TraceLine {
        uint32_t handle = 0;
        uint32_t functionCode = 0;
        std::string command = "-", value = "-", length = "-", delivered = "-";
        std::vector<uint8_t> data;
    };

    static void noteRequest(TraceLine& trace, unsigned command, unsigned value, size_t length);
    int32_t dispatch(uint32_t handle, uint32_t functionCode, void* params, TraceLine& trace);
    int32_t announce(void* params, TraceLine& trace);
    int32_t errorText(void* params, bool wide, TraceLine& trace);
    int32_t setError(void* params, TraceLine& trace);
    int32_t close(void* params, TraceLine& trace);
    int32_t enumerate(void* params, TraceLine& trace);
    int32_t open(void* params, TraceLine& trace);
    int32_t information(uint32_t handle, void* params, TraceLine& trace);
    int32_t write(uint32_t handle, void* params, TraceLine& trace);
    int32_t read(uint32_t handle, void* params, TraceLine& trace);

    int32_t refuse(uint32_t code, const std::string& text);
    static std::string configPath();  // QZSIM_CONFIG, else qzsim.conf beside the library
    bool loadConfig();
    std::shared_ptr<OpenDevice> deviceFor(uint32_t handle);
    bool countAndCheckFaults(OpenDevice& device, unsigned command);
    bool persist(OpenDevice& device, const std::array<uint8_t, kMemorySize>& before);
    bool loadImage(OpenDevice& device);
    void writeTrace(int64_t microseconds, const TraceLine& line, int32_t result);
    bool deviceOpenUnderThisConfiguration() const;

    // The trace file, kept open while a device is open: opening it for each
    // line would put a file open and close into every paced request.
    class TraceFile {
    public:
        ~TraceFile() { release(); }
        FILE* open(const std::string& path);
        void release();

    private:
        FILE* file_ = nullptr;
        std::string path_;
    };

    Lock lock_;
    bool configLoaded_ = false;
    SimConfig config_;
    uint32_t configErrorCode_ = 0;
    std::string configError_;
    uint32_t lastErrorCode_ = 0;
    std::string lastErrorText_;
    uint32_t announcedVersion_ = 0;
    std::map<uint32_t, std::shared_ptr<OpenDevice>> handles_;
    uint32_t nextHandle_ = 1;
    TraceFile trace_;
    // Enumerations under the configuration file named, for absent_enumerations.
    std::string enumeratedPath_;
    uint32_t enumerations_ = 0;
};

Simulator& simulator();

}  // namespace qzsim
