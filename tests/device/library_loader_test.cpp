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

#ifdef SPELVANE_STANDIN_FOLDER
#include <windows.h>

#include <algorithm>
#include <filesystem>
#include <fstream>

#include "platform/dynamic_library.h"
#include "tests/support/scratch_directory.h"
#endif

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

#ifdef SPELVANE_STANDIN_FOLDER
// A library that asks the system for a DLL of its own by name each time it
// is called, as a vendor's may, run in a folder where every user may add
// files (a start folder, the workstation folder) that holds planted copies
// of that DLL and of the one it imports: only the vendor's copies on PATH
// load, with SetDllDirectoryW or without it (Windows 2000; Wine takes no
// notice of its empty folder either).
struct LaterLoad {
    const char* what;
    bool lookUp;
};

const LaterLoad kLaterLoads[] = {
    {"SetDllDirectoryW looked up", true},
    {"without SetDllDirectoryW", false},
};

// The system's own search again, the current folder in it, as in a
// process that never called SetDllDirectoryW.
void forgetDllDirectory() {
    using SetSearchFolder = BOOL(WINAPI*)(LPCWSTR);
    const auto call = reinterpret_cast<SetSearchFolder>(
        reinterpret_cast<void*>(GetProcAddress(GetModuleHandleA("kernel32.dll"), "SetDllDirectoryW")));
    if (call) call(nullptr);
}

std::string lowered(std::string text) {
    std::transform(text.begin(), text.end(), text.begin(), [](unsigned char c) { return char(std::tolower(c)); });
    return text;
}

// The copies that loaded, as their DllMain wrote them, lower case.
std::vector<std::string> loadedCopies(const std::string& report) {
    std::ifstream in(report);
    std::vector<std::string> lines;
    for (std::string line; std::getline(in, line);) lines.push_back(lowered(line));
    return lines;
}

TEST(LibraryLoadsLater, CopiesPlantedInTheFolderItRunsInNeverLoad) {
    namespace fs = std::filesystem;
    const fs::path standins = testing::shippedConfigPath(SPELVANE_STANDIN_FOLDER);
    char path[32767] = {};
    GetEnvironmentVariableA("PATH", path, sizeof path);
    const std::string pathBefore = path;
    {
        testing::ScratchDirectory scratch;
        for (const char* folder : {"vendor", "library", "start"}) {
            fs::create_directories(folder);
            if (std::string(folder) == "library") continue;
            for (const char* dll : {"qzneed.dll", "qzlate.dll"}) fs::copy_file(standins / dll, fs::path(folder) / dll);
        }
        fs::copy_file(standins / "qzneed_needing.dll", "library/standin.dll");
        const std::string vendor = lowered(fs::absolute("vendor").string()) + "\\";
        const std::string report = fs::absolute("loaded.txt").string();
        chosenPath = fs::absolute("library/standin.dll").string();
        SetEnvironmentVariableA("PATH", (fs::absolute("vendor").string() + ";" + pathBefore).c_str());
        SetEnvironmentVariableA("QZNEED_REPORT", report.c_str());
        fs::current_path("start");
        for (const LaterLoad& row : kLaterLoads) {
            SCOPED_TRACE(row.what);
            testing::resetProgramState();
            forgetDllDirectory();
            platform::lookUpDllDirectoryCall(row.lookUp);
            setLibraryPathResolver(choosePath);
            fs::remove(report);
            ASSERT_TRUE(ensureDeviceLibrary()) << loaderMessage();
            uint32_t version = kInterfaceVersion;
            gateCall(0, kAnnounceVersion, &version);
            const std::vector<std::string> loaded = loadedCopies(report);
            ASSERT_FALSE(loaded.empty());
            EXPECT_EQ(loaded.back(), vendor + "qzlate.dll");
            for (const std::string& copy : loaded) EXPECT_EQ(copy.rfind(vendor, 0), 0u) << copy;
        }
        testing::resetProgramState();
        platform::lookUpDllDirectoryCall(true);
    }
    SetEnvironmentVariableA("PATH", pathBefore.c_str());
    SetEnvironmentVariableA("QZNEED_REPORT", nullptr);
}
#endif

}  // namespace
}  // namespace spelvane
