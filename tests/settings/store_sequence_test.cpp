#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <cstring>
#include <regex>
#include <string>
#include <vector>

#include "platform/thread.h"
#include "settings/speed_settings.h"
#include "tests/support/sim_device_test.h"

namespace spelvane::testing {
namespace {

const char* const kOk = "OK\r\n";
const char* const kFailed = "FAILED\r\n";

MemoryLayout lightsLayout(int lights) {
    MemoryLayout layout;  // registers 9, 5, 2, 3
    for (int i = 0; i < lights; ++i)
        layout.lights.push_back({uint16_t(0x10 + i), uint16_t(1000 + i), 0x100, uint16_t(i), 7});
    return layout;
}

// A target that differs from the device in every part the sequence writes.
SpeedValues changedTarget(const SpeedValues& current) {
    SpeedValues target = current;
    target.halfClock = 1;
    target.header.bytes[3] |= 0x40;
    for (int i = 0; i < target.lightCount; ++i) target.lights[i].words[1] += 100;
    return target;
}

int pausesOf100(const std::vector<uint32_t>& sleeps) {
    int count = 0;
    for (uint32_t sleep : sleeps) count += sleep == 100;
    return count;
}

std::vector<int> commandsOf(const std::vector<TraceRecord>& requests) {
    std::vector<int> commands;
    for (const auto& request : requests) commands.push_back(request.command);
    return commands;
}

bool sameValues(const SpeedValues& a, const SpeedValues& b) { return std::memcmp(&a, &b, sizeof a) == 0; }

// After a failed store the device is read again: header, list, then select
// and read of each of two lights.
const std::vector<int> kReadAgainTwoLights = {15, 15, 4, 14, 4, 14};
const std::string kReadAgainOk = "Read the device's settings again ...OK\r\n";

class StoreTest : public SimDeviceTest {
protected:
    void startWith(const MemoryLayout& layout, std::vector<std::string> faults = {}) {
        SimDevice simulated = device(layout);
        simulated.extraLines = std::move(faults);
        reader.addDevice(simulated);
        ASSERT_TRUE(discover());
        messageLog().clear();
        clock.clearSleeps();
    }

    // What a new start would read from the device now.
    SpeedValues heldNow() {
        SpeedSettings fresh;
        fresh.device = record().device;
        fresh.info = record().info;
        EXPECT_TRUE(fresh.loadFromDevice().ok);
        return fresh.values;
    }
};

TEST_F(StoreTest, TwoLightsLogEightLinesWriteEverythingAndAdopt) {
    startWith(lightsLayout(2));
    SpeedValues target = changedTarget(record().values);
    target.header.bytes[13] = 0x00;  // the sequence derives the flag from halfClock

    EXPECT_TRUE(record().storeToDevice(target, messageLog()));
    EXPECT_EQ(logText(),
              "Write register adresses...OK\r\nChecks writing...OK\r\n"
              "Store light 0 ...OK\r\nChecks writing...OK\r\n"
              "Store light 1 ...OK\r\nChecks writing...OK\r\n"
              "Refresh header info ...OK\r\nChecks writing...OK\r\n");
    EXPECT_EQ(commandsOf(laterRequests()), (std::vector<int>{12, 15, 13, 5, 15, 13, 5, 15, 19, 15}));
    EXPECT_EQ(pausesOf100(clock.sleeps()), 9);

    const auto memory = reader.memory(0);
    EXPECT_EQ(lightWord(memory, 0, 1), 1100);
    EXPECT_EQ(lightWord(memory, 1, 1), 1101);
    EXPECT_EQ(headerByte(memory, 3) & 0x40, 0x40);
    EXPECT_EQ(headerByte(memory, 13) & 0x01, 0x01);
    EXPECT_EQ(target.header.bytes[13] & 0x01, 0x01);

    const SpeedValues adopted = record().snapshot();
    EXPECT_EQ(adopted.halfClock, 1);
    EXPECT_EQ(adopted.lights[1].words[1], 1101);
    EXPECT_EQ(std::memcmp(adopted.header.bytes, memory.data(), 16), 0);
}

TEST_F(StoreTest, WrittenHeaderAnnouncesTheCountsWritten) {
    startWith(lightsLayout(1));
    SpeedValues target = record().values;
    target.header.bytes[4] = 9;  // stale counts must not reach the device
    target.header.bytes[5] = 0;
    ASSERT_TRUE(record().storeToDevice(target, messageLog()));
    const auto memory = reader.memory(0);
    EXPECT_EQ(headerByte(memory, 4), 4);
    EXPECT_EQ(headerByte(memory, 5), 1);
}

TEST_F(StoreTest, HeaderFlagFollowsHalfClockBothWays) {
    startWith(lightsLayout(1));
    SpeedValues off = record().values;
    off.halfClock = 0;
    off.header.bytes[13] = 0x03;
    ASSERT_TRUE(record().storeToDevice(off, messageLog()));
    EXPECT_EQ(off.header.bytes[13], 0x02);
    EXPECT_EQ(headerByte(reader.memory(0), 13), 0x02);

    SpeedValues on = record().values;
    on.halfClock = 1;
    on.header.bytes[13] = 0x02;
    ASSERT_TRUE(record().storeToDevice(on, messageLog()));
    EXPECT_EQ(headerByte(reader.memory(0), 13), 0x03);
}

TEST_F(StoreTest, NoLightsWritesListAndHeader) {
    MemoryLayout layout;
    layout.addresses = {9, 5};
    startWith(layout);
    SpeedValues target = record().values;
    target.addresses[0] = 5;
    target.addresses[1] = 9;
    EXPECT_TRUE(record().storeToDevice(target, messageLog()));
    EXPECT_EQ(logText(),
              "Write register adresses...OK\r\nChecks writing...OK\r\n"
              "Refresh header info ...OK\r\nChecks writing...OK\r\n");
    EXPECT_EQ(record().values.shutterIndex, 1);
    EXPECT_EQ(record().values.hblankIndex, 0);
}

TEST_F(StoreTest, AdoptionFindsTheRegistersWhereTheNewListHasThem) {
    startWith(lightsLayout(2));
    SpeedValues target = record().values;  // registers 9, 5, 2, 3 become 5, 2, 9, 3
    const uint8_t reordered[] = {5, 2, 9, 3};
    std::memcpy(target.addresses, reordered, 4);
    for (int i = 0; i < 2; ++i) {
        auto& words = target.lights[i].words;
        const uint16_t shutter = words[1], hblank = words[2], two = words[3];
        words[1] = hblank;
        words[2] = two;
        words[3] = shutter;
    }
    target.lights[0].words[1] = 0;  // the next start takes HBlank from light 2
    target.lights[1].words[1] = 0x155;
    ASSERT_TRUE(record().storeToDevice(target, messageLog()));
    const SpeedValues adopted = record().snapshot();
    EXPECT_EQ(adopted.shutterIndex, 2);
    EXPECT_EQ(adopted.hblankIndex, 0);
    EXPECT_EQ(adopted.hblank, 0x155);

    ASSERT_TRUE(restart());
    EXPECT_EQ(record().values.shutterIndex, 2);
    EXPECT_EQ(record().values.hblank, 0x155);
}

// Lengths and offsets of every request follow the address count, and the
// comparisons look only at the bytes that were written: a byte beyond them
// that reads back differently must not fail the step.
TEST_F(StoreTest, ThreeRegistersSendEightBytesPerLightAndCompareOnlyThose) {
    MemoryLayout layout;
    layout.addresses = {9, 5, 2};
    layout.lights = {{0x10, 1000, 0x100, 2}, {0x11, 1001, 0x100, 3}};
    // Address list byte 3 and byte 8 of both light records lie past what
    // three registers use.
    startWith(layout, {"corrupt_readback = 19", "corrupt_readback = 40", "corrupt_readback = 56"});
    SpeedValues target = changedTarget(record().values);

    EXPECT_TRUE(record().storeToDevice(target, messageLog())) << logText();
    struct Request {
        int command;
        int value;
        int length;
    };
    std::vector<Request> seen;
    for (const auto& request : laterRequests()) seen.push_back({request.command, request.value, request.length});
    const std::vector<Request> expected = {{12, 0, 3},  {15, 16, 16}, {13, 0, 8},  {5, 1, 0},   {15, 32, 16},
                                           {13, 0, 8},  {5, 2, 0},    {15, 48, 16}, {19, 0, 16}, {15, 0, 16}};
    ASSERT_EQ(seen.size(), expected.size());
    for (size_t i = 0; i < expected.size(); ++i) {
        EXPECT_EQ(seen[i].command, expected[i].command) << "request " << i;
        EXPECT_EQ(seen[i].value, expected[i].value) << "request " << i;
        EXPECT_EQ(seen[i].length, expected[i].length) << "request " << i;
    }
    EXPECT_EQ(lightWord(reader.memory(0), 1, 1), 1101);
}

TEST_F(StoreTest, RefusedAddressListWriteReportsTheLibraryError) {
    startWith(lightsLayout(2), {"fail = 12 1"});
    SpeedValues target = changedTarget(record().values);
    const SpeedValues before = record().snapshot();
    EXPECT_FALSE(record().storeToDevice(target, messageLog()));
    EXPECT_TRUE(std::regex_match(logText(), std::regex("Write register adresses\\.\\.\\.FAILED "
                                                       "\\(Error 5: qzsim: [^\r\n]+\\)\r\n" + kReadAgainOk)))
        << logText();
    EXPECT_EQ(laterRequests().size(), 1u + kReadAgainTwoLights.size());
    EXPECT_TRUE(sameValues(record().snapshot(), before));
    EXPECT_FALSE(record().heldUnknown);
}

TEST_F(StoreTest, LibraryErrorIsShownInHexadecimal) {
    startWith(lightsLayout(1));
    SpeedValues target = changedTarget(record().values);
    // As after the library dropped the device: every request is refused
    // with error 19 (decimal), "not open".
    record().device->handle = 0;
    EXPECT_FALSE(record().storeToDevice(target, messageLog()));
    EXPECT_EQ(logText().rfind("Write register adresses...FAILED (Error 13: ", 0), 0u) << logText();
    // Nor can it be read again: what it holds is not known.
    EXPECT_NE(logText().find("\r\nRead the device's settings again ...FAILED\r\n"), std::string::npos) << logText();
    EXPECT_TRUE(record().heldUnknown);
}

TEST_F(StoreTest, DifferingReadBackFailsThatLightButTriesTheNext) {
    startWith(lightsLayout(2), {"corrupt_readback = 34"});
    SpeedValues target = changedTarget(record().values);
    const SpeedValues before = record().snapshot();
    EXPECT_FALSE(record().storeToDevice(target, messageLog()));
    EXPECT_EQ(logText(),
              "Write register adresses...OK\r\nChecks writing...OK\r\n"
              "Store light 0 ...OK\r\nChecks writing...FAILED\r\n"
              "Store light 1 ...OK\r\nChecks writing...OK\r\n" + kReadAgainOk);
    // Both lights reached it, the header did not: the record says so.
    const SpeedValues held = record().snapshot();
    EXPECT_EQ(held.lights[0].words[1], target.lights[0].words[1]);
    EXPECT_EQ(held.halfClock, before.halfClock);
    EXPECT_TRUE(sameValues(held, heldNow()));
}

TEST_F(StoreTest, RefusedLightWriteIsNeitherStoredNorChecked) {
    startWith(lightsLayout(2), {"fail = 13 1"});
    SpeedValues target = changedTarget(record().values);
    EXPECT_FALSE(record().storeToDevice(target, messageLog()));
    std::vector<int> expected = {12, 15, 13, 13, 5, 15};
    expected.insert(expected.end(), kReadAgainTwoLights.begin(), kReadAgainTwoLights.end());
    EXPECT_EQ(commandsOf(laterRequests()), expected);
}

TEST_F(StoreTest, TargetBeyondTheRecordIsNotSent) {
    startWith(lightsLayout(1));
    struct Case {
        uint16_t addresses;
        uint16_t lights;
    };
    for (Case beyond : {Case{8, 1}, Case{17, 0}, Case{4, 6}}) {
        SCOPED_TRACE(std::to_string(beyond.addresses) + " addresses, " + std::to_string(beyond.lights) + " lights");
        messageLog().clear();
        SpeedValues target = record().values;
        target.addressCount = beyond.addresses;
        target.lightCount = beyond.lights;
        EXPECT_FALSE(record().storeToDevice(target, messageLog()));
        EXPECT_NE(logText().find("nothing written"), std::string::npos) << logText();
        EXPECT_TRUE(laterRequests().empty());
    }
}

TEST_F(StoreTest, RecordWithoutDeviceWritesNothing) {
    SpeedSettings unbound;
    SpeedValues target = {};
    EXPECT_FALSE(unbound.storeToDevice(target, messageLog()));
    EXPECT_NE(logText().find("nothing written"), std::string::npos) << logText();
}

// What a five-light run logs when device request `failing` of the store
// (1-based, 0: none) is refused.
std::string expectedFiveLightLog(int failing) {
    int request = 0;
    auto fails = [&] { return ++request == failing; };
    std::string log = "Write register adresses...";
    if (fails()) return log;  // followed by the library's error, checked apart
    log += "OK\r\nChecks writing...";
    if (fails()) return log + kFailed;
    log += kOk;
    bool ok = true;
    for (int i = 0; i < 5; ++i) {
        log += "Store light " + std::to_string(i) + " ...";
        if (fails() || fails()) {
            log += kFailed;
            ok = false;
            continue;
        }
        log += "OK\r\nChecks writing...";
        const bool checked = !fails();
        log += checked ? kOk : kFailed;
        ok = ok && checked;
    }
    if (!ok) return log;
    log += "Refresh header info ...";
    const bool written = !fails();
    log += written ? kOk : kFailed;
    log += "Checks writing...";
    const bool verified = !fails() && written;  // the old header differs from the target
    return log + (verified ? kOk : kFailed);
}

class StoreFaultTest : public StoreTest, public ::testing::WithParamInterface<int> {};

TEST_P(StoreFaultTest, EveryRefusedRequestIsLoggedTruthfullyAndTheRecordReadAgain) {
    const int failing = GetParam();
    constexpr int kStartRequests = 12;  // header, list, and select + read of five lights
    startWith(lightsLayout(5), {"fail_request = " + std::to_string(kStartRequests + failing)});
    ASSERT_EQ(requestsAtStart, static_cast<size_t>(kStartRequests));
    const auto memoryBefore = reader.memory(0);
    const std::vector<uint8_t> headerBefore(memoryBefore.begin(), memoryBefore.begin() + 16);
    const SpeedValues before = record().snapshot();
    SpeedValues target = changedTarget(before);

    EXPECT_FALSE(record().storeToDevice(target, messageLog()));
    const std::string expected = expectedFiveLightLog(failing);
    const std::string readAgain = "Read the device's settings again ...OK\r\n";
    if (failing == 1)
        EXPECT_EQ(logText().rfind(expected + "FAILED (Error ", 0), 0u) << logText();
    else
        EXPECT_EQ(logText(), expected + readAgain);
    EXPECT_NE(logText().find(readAgain), std::string::npos) << logText();
    // What the device holds, all of the target, part of it or none.
    EXPECT_TRUE(sameValues(record().snapshot(), heldNow()));

    const auto memory = reader.memory(0);
    const bool headerStage = failing >= 18;
    if (!headerStage) {
        for (const auto& request : laterRequests()) EXPECT_NE(request.command, kWriteHeader) << request.line;
        EXPECT_TRUE(std::equal(headerBefore.begin(), headerBefore.end(), memory.begin()));
    }
}

INSTANTIATE_TEST_SUITE_P(EveryRequest, StoreFaultTest, ::testing::Range(1, 20));

TEST_F(StoreTest, FiveLightsWithoutFaultPauseEighteenTimes) {
    startWith(lightsLayout(5));
    SpeedValues target = changedTarget(record().values);
    EXPECT_TRUE(record().storeToDevice(target, messageLog()));
    EXPECT_EQ(logText(), expectedFiveLightLog(0));
    EXPECT_EQ(laterRequests().size(), 19u);
    EXPECT_EQ(pausesOf100(clock.sleeps()), 18);
}

// On the real clock: the pauses and the request spacing as the device sees
// them.
TEST_F(StoreTest, RealClockFiveLightStoreKeepsPausesAndSpacing) {
    setTiming(nullptr);
    startWith(lightsLayout(5));
    SpeedValues target = changedTarget(record().values);
    const auto start = std::chrono::steady_clock::now();
    EXPECT_TRUE(record().storeToDevice(target, messageLog()));
    const auto elapsed =
        std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - start).count();
    std::printf("five-light store on the real clock: %lld ms\n", static_cast<long long>(elapsed));
    EXPECT_GE(elapsed, 1840);

    const auto requests = deviceRequests();
    ASSERT_GE(requests.size(), 2u);
    for (size_t i = 1; i < requests.size(); ++i)
        EXPECT_GE(requests[i].microseconds - requests[i - 1].microseconds, 39000) << requests[i].line;
    const auto later = laterRequests();
    ASSERT_EQ(later.size(), 19u);
    // After the list write and after each light's write the device gets its pause.
    EXPECT_GE(later[1].microseconds - later[0].microseconds, 100000);
    EXPECT_GE(later[3].microseconds - later[2].microseconds, 100000);
}

// The dialog's refresh reads the record while the worker adopts a store.
unsigned adoptAlternately(void* parameter) {
    auto* settings = static_cast<SpeedSettings*>(parameter);
    SpeedValues ones, twos;
    std::memset(&ones, 0x11, sizeof ones);
    std::memset(&twos, 0x22, sizeof twos);
    for (int i = 0; i < 20000; ++i) settings->adopt(i % 2 ? ones : twos);
    return 0;
}

TEST(SpeedSettingsGuard, SnapshotNeverSeesHalfAnAdoption) {
    SpeedSettings settings;
    std::memset(&settings.values, 0x11, sizeof settings.values);
    platform::Thread worker;
    ASSERT_TRUE(worker.start(adoptAlternately, &settings));
    int torn = 0;
    for (int i = 0; i < 20000; ++i) {
        const SpeedValues seen = settings.snapshot();
        const auto* bytes = reinterpret_cast<const uint8_t*>(&seen);
        for (size_t k = 1; k < sizeof seen; ++k) {
            if (bytes[k] != bytes[0]) {
                ++torn;
                break;
            }
        }
    }
    worker.join();
    EXPECT_EQ(torn, 0);
}

}  // namespace
}  // namespace spelvane::testing
