// Input: the contents of a .set file, restored onto a simulated pair of
// devices. The devices keep what earlier inputs wrote into them, so later
// inputs meet more varied device states.
#include <cstdint>
#include <string>

#include "tests/fuzz/fuzz_support.h"
#include "tests/support/fake_dialog.h"
#include "tests/support/fake_timing.h"
#include "tests/support/sim_fixture.h"

using namespace spelvane;

namespace {

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

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    world = new World;
    world->reader.addDevice(pairDevice("ZEB-A1", "ZEB1", 0x150));
    world->reader.addDevice(pairDevice("KYT-A1", "KYT1", 0x160));
    world->reader.apply();
    world->input = world->reader.directory() + "/input.set";
    messageLog().setSink(fuzzing::quietSink);
    if (!appState().discoverDevices(&world->window) || appState().openCount != 2)
        fuzzing::fail("the simulated pair did not open");
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    fuzzing::writeFile(world->input, data, size);
    messageLog().clear();
    world->clock.clearSleeps();
    appState().restoreFromFile(world->input.c_str());
    for (int i = 0; i < appState().openCount; ++i) fuzzing::checkRecord(appState().settings[i].snapshot());
    return 0;
}
