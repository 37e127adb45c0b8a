// Loading the real (simulated) library and its deliberately flawed builds.
// A library once mapped stays mapped in this process and keeps the
// configuration it first read, so the version announcement is checked only
// on the first load of a build (no_module_info, version_07000000); other
// tests use those builds after these checks.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "device/call_gate.h"
#include "tests/support/program_state.h"
#include "tests/support/sim_fixture.h"

namespace spelvane {
namespace {

std::string chosenPath;
const char* choosePath(const char*) { return chosenPath.c_str(); }

class LibraryLoader : public ::testing::Test {
protected:
    void SetUp() override {
        testing::resetProgramState();
        sim.addDevice(testing::SimDevice{});
        sim.enableTrace();
        sim.apply();
    }
    void TearDown() override { testing::resetProgramState(); }

    void useVariant(const std::string& variant) {
        chosenPath = testing::variantLibraryPath(variant);
        setLibraryPathResolver(choosePath);
    }

    // One enumeration as discovery makes it; its count, or -1 on refusal.
    int32_t enumerate() {
        static uint8_t ids[64][kDeviceIdSize];
        EnumerateRequest request;
        std::memset(&request, 0, sizeof(request));
        request.kind = 1;
        std::strcpy(request.pattern, "KVDEV*");
        request.count = 64;
        request.ids = ids;
        return gateCall(0, kEnumerate, &request) ? request.count : -1;
    }

    std::string errorText() {
        char buffer[256] = {};
        ErrorTextRequest request{0, buffer, 256};
        gateCall(0, kErrorText, &request);
        return buffer;
    }

    // The library the gate names as loaded.
    LibraryIdentity loaded() {
        LibraryIdentity identity;
        EXPECT_TRUE(loadedLibrary(identity));
        return identity;
    }

    std::vector<uint32_t> announcements() {
        std::vector<uint32_t> found;
        for (const auto& record : sim.trace()) {
            if (record.functionCode == kAnnounceVersion) found.push_back(static_cast<uint32_t>(record.value));
        }
        return found;
    }

    testing::SimulatedReader sim;
};

TEST_F(LibraryLoader, LibraryBesideTheProgramIsLoadedByNameAndKept) {
    LibraryIdentity identity;
    EXPECT_FALSE(loadedLibrary(identity)) << "nothing loaded yet";
    EXPECT_EQ(enumerate(), 1);
    EXPECT_NE(loaded().path.find("qzsd7"), std::string::npos);
    EXPECT_EQ(loaded().path.find("variants"), std::string::npos) << loaded().path;
    EXPECT_EQ(loaded().version, 0x07000500);
    EXPECT_TRUE(loaded().simulated) << "the simulator's own export names it";
    EXPECT_NE(callGate.entry, &unloadedEntry);
    EXPECT_STREQ(loaderMessage(), "");
    QzCallFunction loaded = callGate.entry;
    EXPECT_EQ(enumerate(), 1);
    EXPECT_EQ(callGate.entry, loaded);
}

TEST_F(LibraryLoader, LibraryWithoutEntryIsRefused) {
    useVariant("no_entry");
    EXPECT_EQ(enumerate(), -1);
    EXPECT_EQ(callGate.entry, &unloadedEntry);
    EXPECT_STREQ(loaderMessage(), "No 'qz_call' entry found.");
    EXPECT_EQ(errorText(), "qzsdldr: open error in qzsd7.dll (No 'qz_call' entry found.)");
}

TEST_F(LibraryLoader, LibraryWithoutModuleInfoIsAcceptedAndToldTheVersion) {
    useVariant("no_module_info");
    EXPECT_EQ(enumerate(), 1);
    EXPECT_NE(callGate.entry, &unloadedEntry);
    EXPECT_EQ(announcements(), std::vector<uint32_t>{0x07000500u});
    EXPECT_NE(loaded().path.find("no_module_info"), std::string::npos) << loaded().path;
    EXPECT_FALSE(loaded().hasVersion);
}

// The same library without the simulator's export, as a device's library
// is: never taken for the simulator.
TEST_F(LibraryLoader, LibraryWithoutTheSimulatorsExportIsADevicesLibrary) {
    useVariant("device_like");
    EXPECT_EQ(enumerate(), 1);
    EXPECT_NE(loaded().path.find("device_like"), std::string::npos) << loaded().path;
    EXPECT_FALSE(loaded().simulated);
}

TEST_F(LibraryLoader, OldestAcceptedVersionLoads) {
    useVariant("version_07000000");
    EXPECT_EQ(enumerate(), 1);
    EXPECT_NE(callGate.entry, &unloadedEntry);
    EXPECT_EQ(announcements(), std::vector<uint32_t>{0x07000500u})
        << "announced once, right after the load";
    EXPECT_EQ(loaded().version, 0x07000000);
}

TEST_F(LibraryLoader, OlderOrNegativeVersionsAreRefused) {
    for (const char* variant : {"version_06ffffff", "version_negative"}) {
        resetCallGate();
        useVariant(variant);
        EXPECT_EQ(enumerate(), -1) << variant;
        EXPECT_EQ(callGate.entry, &unloadedEntry) << variant;
        EXPECT_STREQ(loaderMessage(), "Old version of qzsd7.dll.") << variant;
        LibraryIdentity identity;
        EXPECT_FALSE(loadedLibrary(identity)) << "a refused library is not named as loaded";
        EXPECT_EQ(errorText(), "qzsdldr: open error in qzsd7.dll (Old version of qzsd7.dll.)");
    }
    EXPECT_TRUE(announcements().empty()) << "a refused library is told nothing";
}

TEST_F(LibraryLoader, EveryCallRetriesUntilTheLibraryIsThere) {
    chosenPath = "missing-folder/qzsd7.dll";
    setLibraryPathResolver(choosePath);
    EXPECT_EQ(enumerate(), -1);
    EXPECT_EQ(enumerate(), -1);
    EXPECT_STREQ(loaderMessage(), "Could not load: qzsd7.dll");

    useVariant("version_07000000");  // the library turns up
    EXPECT_EQ(enumerate(), 1);
    EXPECT_STREQ(loaderMessage(), "");
    EXPECT_NE(callGate.entry, &unloadedEntry);
}

}  // namespace
}  // namespace spelvane
