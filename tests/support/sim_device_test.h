#pragma once
// Shared set-up of the settings tests: a simulated reader, the scripted
// dialog and clock, and the program's own discovery to open the devices and
// read their settings, as at start-up.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "app/app_state.h"
#include "app/message_log.h"
#include "device/call_gate.h"
#include "device/device_slot.h"
#include "device/library_records.h"
#include "app/dialog_port.h"
#include "platform/timing.h"
#include "tests/support/fake_dialog.h"
#include "tests/support/fake_timing.h"
#include "tests/support/program_state.h"
#include "tests/support/sim_fixture.h"

namespace spelvane::testing {

class SimDeviceTest : public ::testing::Test {
protected:
    void SetUp() override {
        resetProgramState();
        setDialogPort(&dialog);
        setTiming(&clock);
    }
    void TearDown() override { resetProgramState(); }

    // A device whose lights hold {word 0, one value per register}.
    static SimDevice device(const MemoryLayout& layout, const std::string& name = "KVDEV-A1") {
        SimDevice simulated;
        simulated.name = name;
        simulated.memory = makeMemory(layout);
        return simulated;
    }

    bool discover() {
        reader.enableTrace();
        reader.apply();
        const bool found = appState().discoverDevices(window());
        requestsAtStart = deviceRequests().size();
        return found;
    }

    // Forgets every device and reads them again from the simulated memory,
    // as the next start of the program would.
    bool restart() {
        appState().releaseDevices();
        resetAppState();
        resetCallGate();
        setLibraryPathResolver(nullptr);
        return discover();
    }

    std::vector<TraceRecord> deviceRequests() const {
        std::vector<TraceRecord> requests;
        for (const auto& record : reader.trace())
            if (record.command >= 0) requests.push_back(record);
        return requests;
    }

    // The device requests made after start-up.
    std::vector<TraceRecord> laterRequests() const {
        auto all = deviceRequests();
        return {all.begin() + static_cast<std::ptrdiff_t>(requestsAtStart), all.end()};
    }

    static std::string logText() {
        const char* text = messageLog().text();
        return text ? text : "";
    }

    SpeedSettings& record(int index = 0) { return appState().settings[index]; }
    WindowHandle window() { return &windowToken; }

    static uint8_t headerByte(const std::vector<uint8_t>& memory, int index) { return memory.at(index); }
    static uint16_t lightWord(const std::vector<uint8_t>& memory, int light, int word) {
        const size_t at = 32 + 16 * light + 2 * word;
        return static_cast<uint16_t>(memory.at(at) | (memory.at(at + 1) << 8));
    }

    FakeDialog dialog;
    FakeTiming clock;
    SimulatedReader reader;
    size_t requestsAtStart = 0;
    int windowToken = 0;
};

}  // namespace spelvane::testing
