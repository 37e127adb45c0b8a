// Input: the 256 bytes of a simulated device's memory (shorter inputs are
// padded with zeros). The program loads the settings from it as at start-up;
// what it accepts must survive a backup and read-back unchanged and must
// store back into the device without a failure.
#include <cstdint>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "settings/settings_file.h"
#include "tests/fuzz/fuzz_support.h"
#include "tests/support/fake_dialog.h"
#include "tests/support/fake_timing.h"
#include "tests/support/sim_fixture.h"

using namespace spelvane;

namespace {

constexpr size_t kMemorySize = 256;

struct World {
    testing::FakeTiming clock;
    testing::SimulatedReader reader;
    std::string section;
    int window = 0;
};

World* world = nullptr;

// The section text of the loaded record, read back as a restore would read
// it, must give the same values.
void checkRoundTrip(const SpeedValues& loaded) {
    std::string text;
    if (!formatSettingsSection("TYPE1", loaded, text)) fuzzing::fail("a loaded record cannot be backed up");
    fuzzing::writeFile(world->section, reinterpret_cast<const uint8_t*>(text.data()), text.size());
    std::FILE* file = std::fopen(world->section.c_str(), "rb");
    if (!file) fuzzing::fail("cannot read the section back");
    char line[kSettingsLineSize];
    if (!std::fgets(line, sizeof line, file)) fuzzing::fail("empty section");
    SpeedValues reread{};
    reread.header = loaded.header;
    std::string refusal;
    const bool accepted = readSettingsSection(file, reread, refusal);
    std::fclose(file);
    if (!accepted) fuzzing::fail("the backup of a loaded record is refused");
    if (reread.addressCount != loaded.addressCount || reread.lightCount != loaded.lightCount ||
        reread.halfClock != loaded.halfClock ||
        std::memcmp(reread.addresses, loaded.addresses, loaded.addressCount) != 0)
        fuzzing::fail("counts or addresses change on the way through the file");
    for (int i = 0; i < loaded.lightCount; ++i)
        for (int w = 0; w <= loaded.addressCount; ++w)
            if (reread.lights[i].words[w] != loaded.lights[i].words[w])
                fuzzing::fail("a light word changes on the way through the file");
    if (reread.shutterIndex != loaded.shutterIndex || reread.hblank != loaded.hblank)
        fuzzing::fail("derived positions change on the way through the file");
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    world = new World;
    testing::SimDevice device;
    device.memory = testing::makeMemory(testing::MemoryLayout{});
    world->reader.addDevice(device);
    world->reader.apply();
    world->section = world->reader.directory() + "/section.set";
    messageLog().setSink(fuzzing::quietSink);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::vector<uint8_t> memory(kMemorySize, 0);
    std::memcpy(memory.data(), data, size < kMemorySize ? size : kMemorySize);
    fuzzing::writeFile(world->reader.imagePath(0), memory.data(), memory.size());

    testing::FakeDialog dialog;  // fresh each time: it keeps every box it was shown
    world->clock.clearSleeps();
    messageLog().clear();
    AppState& state = appState();
    if (state.discoverDevices(&world->window) && state.openCount == 1) {
        SpeedSettings& record = state.settings[0];
        const SpeedValues loaded = record.snapshot();
        fuzzing::checkRecord(loaded);
        checkRoundTrip(loaded);
        SpeedValues target = loaded;
        if (!record.storeToDevice(target, messageLog())) fuzzing::fail("storing the loaded values back failed");
        fuzzing::checkRecord(record.snapshot());
    }
    resetAppState();
    return 0;
}
