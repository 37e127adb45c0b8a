// The call gate while no library can be loaded, and what it hands on to an
// entry that is there.
#include "device/call_gate.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <cstring>
#include <string>
#include <vector>

#include "tests/device/fake_library.h"

namespace spelvane {
namespace {

const char* missingLibrary(const char*) { return "no-such-folder/qzsd7-missing.dll"; }

const std::string kMissingText = "qzsdldr: open error in qzsd7.dll (Could not load: qzsd7.dll)";

class UnloadedGate : public ::testing::Test {
protected:
    void SetUp() override {
        resetCallGate();
        setLibraryPathResolver(missingLibrary);
    }
    void TearDown() override {
        setLibraryPathResolver(nullptr);
        resetCallGate();
    }

    int32_t askText(uint32_t code, void* buffer, int32_t capacity, uint32_t& errorCode) {
        ErrorTextRequest request{0xDEADu, buffer, capacity};
        int32_t result = gateCall(0, code, &request);
        errorCode = request.code;
        return result;
    }
};

TEST_F(UnloadedGate, MissingLibraryFailsEveryOtherCallWithInvalidArgument) {
    EnumerateRequest request{};
    errno = 0;
    EXPECT_EQ(gateCall(0, kEnumerate, &request), 0);
    EXPECT_EQ(errno, 22);
    EXPECT_STREQ(loaderMessage(), "Could not load: qzsd7.dll");
    EXPECT_EQ(callGate.entry, &unloadedEntry);

    errno = 0;
    EXPECT_EQ(gateCall(7, 0x12345678u, nullptr), 0);
    EXPECT_EQ(errno, 22);
}

TEST_F(UnloadedGate, EightBitErrorTextNamesLibraryAndReason) {
    char buffer[256];
    std::memset(buffer, 'x', sizeof(buffer));
    uint32_t code = 0;
    EXPECT_EQ(askText(kErrorText, buffer, 256, code), 1);
    EXPECT_EQ(code, 2u);
    EXPECT_EQ(std::string(buffer), kMissingText);
}

TEST_F(UnloadedGate, EightBitErrorTextIsCutAndTerminatedInsideSmallBuffers) {
    for (int32_t capacity : {1, 2, 10, 40}) {
        char buffer[64];
        std::memset(buffer, 'x', sizeof(buffer));
        uint32_t code = 0;
        ASSERT_EQ(askText(kErrorText, buffer, capacity, code), 1) << capacity;
        EXPECT_EQ(code, 2u);
        EXPECT_EQ(std::string(buffer), kMissingText.substr(0, capacity - 1)) << capacity;
        EXPECT_EQ(buffer[capacity - 1], '\0');
        EXPECT_EQ(buffer[capacity], 'x') << "wrote past the capacity " << capacity;
    }
}

TEST_F(UnloadedGate, SixteenBitErrorTextWidensEveryCharacter) {
    std::vector<uint16_t> wide(300, 0x7777);
    uint32_t code = 0;
    ASSERT_EQ(askText(kErrorTextWide, wide.data(), 256, code), 1);
    EXPECT_EQ(code, 2u);
    for (size_t i = 0; i < kMissingText.size(); ++i) EXPECT_EQ(wide[i], kMissingText[i]) << i;
    EXPECT_EQ(wide[kMissingText.size()], 0);

    std::vector<uint16_t> small(8, 0x7777);
    ASSERT_EQ(askText(kErrorTextWide, small.data(), 5, code), 1);
    EXPECT_EQ(small[0], 'q');
    EXPECT_EQ(small[3], 'd');
    EXPECT_EQ(small[4], 0);
    EXPECT_EQ(small[5], 0x7777);

    std::vector<uint16_t> single(2, 0x7777);
    ASSERT_EQ(askText(kErrorTextWide, single.data(), 1, code), 1);
    EXPECT_EQ(single[0], 0);
    EXPECT_EQ(single[1], 0x7777);
}

TEST_F(UnloadedGate, ErrorTextWithoutRoomOrRecordIsRefusedAndBufferLeftAlone) {
    char buffer[8];
    std::memset(buffer, 'x', sizeof(buffer));
    uint32_t code = 0;
    for (int32_t capacity : {0, -1}) {
        errno = 0;
        EXPECT_EQ(askText(kErrorText, buffer, capacity, code), 0);
        EXPECT_EQ(code, 0xDEADu) << "code must stay as given";
        EXPECT_EQ(errno, 22);
        EXPECT_EQ(buffer[0], 'x');
    }
    EXPECT_EQ(gateCall(0, kErrorText, nullptr), 0);
    EXPECT_EQ(gateCall(0, kErrorTextWide, nullptr), 0);
}

TEST_F(UnloadedGate, LongLibraryNameKeepsTextsTerminated) {
    std::string longName(400, 'n');
    const char* saved = callGate.libraryName;
    callGate.libraryName = longName.c_str();
    EXPECT_EQ(gateCall(0, kEnumerate, nullptr), 0);
    std::string reason = loaderMessage();
    EXPECT_EQ(reason.size(), 255u);
    EXPECT_EQ(reason.rfind("Could not load: nnn", 0), 0u);

    char buffer[300];
    std::memset(buffer, 'x', sizeof(buffer));
    uint32_t code = 0;
    EXPECT_EQ(askText(kErrorText, buffer, 256, code), 1);
    EXPECT_EQ(std::strlen(buffer), 255u);
    EXPECT_EQ(buffer[256], 'x');
    callGate.libraryName = saved;
}

// What an installed entry receives and answers.
struct SeenCall {
    uint32_t handle;
    uint32_t functionCode;
    void* params;
} seen;

int32_t recordingEntry(uint32_t handle, uint32_t functionCode, void* params) {
    seen = {handle, functionCode, params};
    return -5;
}

TEST(GateCall, HandsArgumentsToEntryUnchangedAndReturnsItsResult) {
    resetCallGate();
    callGate.entry = recordingEntry;
    int marker = 0;
    EXPECT_EQ(gateCall(0x1234u, kDeviceRead, &marker), -5);
    EXPECT_EQ(seen.handle, 0x1234u);
    EXPECT_EQ(seen.functionCode, kDeviceRead);
    EXPECT_EQ(seen.params, &marker);
    resetCallGate();
    EXPECT_EQ(callGate.entry, &unloadedEntry);
}

TEST(SetDeviceError, RecordsTheErrorNumberWithoutText) {
    testing::FakeLibrary library;
    setDeviceError(0, 19, nullptr, 0);
    auto calls = library.callsOf(kSetError);
    ASSERT_EQ(calls.size(), 1u);
    EXPECT_EQ(calls[0].handle, 0u);
    EXPECT_EQ(calls[0].errorCode, 19);
}

}  // namespace
}  // namespace spelvane
