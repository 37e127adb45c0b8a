// Device slots against a scripted library and a scripted clock.
#include "device/device_slot.h"

#include <gtest/gtest.h>

#include <atomic>
#include <climits>
#include <cstring>
#include <string>

#include "app/message_log.h"
#include "device/call_gate.h"
#include "platform/sleep.h"
#include "platform/thread.h"
#include "tests/device/fake_library.h"
#include "tests/support/fake_timing.h"

namespace spelvane {
namespace {

using testing::deviceId;

class SlotTest : public ::testing::Test {
protected:
    void SetUp() override { messageLog().release(); }
    void TearDown() override {
        slot.release();
        messageLog().release();
    }

    // An initialised slot with the device open, the clock well past its
    // init stamp and the sleeps of opening forgotten.
    void openSlot(const std::string& name = "KYT-A1") {
        auto id = deviceId(name);
        slot.init(id.data());
        ASSERT_TRUE(slot.openWithInfo(true, 1000));
        clock.advanceMicroseconds(1000000);
        clock.clearSleeps();
        library.calls.clear();
    }

    testing::FakeTiming clock;
    testing::FakeLibrary library;
    DeviceSlot slot;
    uint8_t data[16] = {};
};

using Pacing = SlotTest;

TEST_F(Pacing, WaitsOnlyForTheRestOfFortyMilliseconds) {
    openSlot();
    struct Case {
        int64_t gapMicroseconds;
        std::vector<uint32_t> sleeps;
    } cases[] = {{10000, {30}}, {39900, {1}}, {40000, {}}, {250000, {}}, {0, {40}}};
    for (const auto& c : cases) {
        ASSERT_TRUE(slot.write(kSelectLight, 1, nullptr, 0));  // fresh stamp
        clock.clearSleeps();
        clock.advanceMicroseconds(c.gapMicroseconds);
        ASSERT_TRUE(slot.write(kSelectLight, 2, nullptr, 0));
        EXPECT_EQ(clock.sleeps(), c.sleeps) << "gap " << c.gapMicroseconds << " us";
        clock.advanceMicroseconds(100000);
    }
}

TEST_F(Pacing, FirstRequestIsPacedAgainstTheInitStamp) {
    auto id = deviceId("KYT-A1");
    slot.init(id.data());
    ASSERT_TRUE(slot.openWithInfo(true, 1000));
    clock.advanceMicroseconds(15000);
    ASSERT_TRUE(slot.write(kSelectLight, 1, nullptr, 0));
    EXPECT_EQ(clock.sleeps(), std::vector<uint32_t>{25});
}

TEST_F(Pacing, FailedRequestStillRenewsTheStamp) {
    openSlot();
    library.results[kDeviceWrite] = 0;
    EXPECT_FALSE(slot.write(kSelectLight, 1, nullptr, 0));
    EXPECT_TRUE(clock.sleeps().empty());
    clock.advanceMicroseconds(10000);
    EXPECT_FALSE(slot.write(kSelectLight, 1, nullptr, 0));
    EXPECT_EQ(clock.sleeps(), std::vector<uint32_t>{30});
    // The request reached the library after the pause, 40 ms after the first.
    auto writes = library.callsOf(kDeviceWrite);
    ASSERT_EQ(writes.size(), 2u);
    EXPECT_EQ(writes[1].counter - writes[0].counter, 40000);
}

TEST_F(Pacing, CounterRunningBackwardsNeverPausesLongerThanFortyMilliseconds) {
    openSlot();
    ASSERT_TRUE(slot.write(kSelectLight, 1, nullptr, 0));
    clock.setCounter(5);  // far behind the stamp
    ASSERT_TRUE(slot.write(kSelectLight, 1, nullptr, 0));
    ASSERT_EQ(clock.sleeps().size(), 1u);
    EXPECT_LE(clock.sleeps()[0], 40u);
}

TEST_F(Pacing, FailingCounterNeverPausesLongerThanFortyMilliseconds) {
    openSlot();
    clock.setCounter(LLONG_MAX / 2);  // a large stamp that 0 lies far behind
    ASSERT_TRUE(slot.write(kSelectLight, 1, nullptr, 0));
    clock.clearSleeps();
    clock.failCounter(true);
    ASSERT_TRUE(slot.write(kSelectLight, 1, nullptr, 0));
    ASSERT_TRUE(slot.write(kSelectLight, 1, nullptr, 0));
    for (uint32_t pause : clock.sleeps()) EXPECT_LE(pause, 40u);
    EXPECT_EQ(clock.sleeps().size(), 2u);
}

TEST_F(Pacing, FailingFrequencyCountsTicksAsSecondsWithoutDividingByZero) {
    clock.failFrequency(true);
    auto id = deviceId("KYT-A1");
    slot.init(id.data());
    ASSERT_NE(slot.clock, nullptr);
    EXPECT_EQ(slot.clock->frequency, 1);
    ASSERT_TRUE(slot.openWithInfo(true, 1000));
    clock.advanceMicroseconds(1);  // one tick: a "second" at frequency 1
    ASSERT_TRUE(slot.write(kSelectLight, 1, nullptr, 0));
    EXPECT_TRUE(clock.sleeps().empty());
}

TEST_F(Pacing, SlotWithoutClockWaitsTheFullFortyMilliseconds) {
    openSlot();
    slot.clock.reset();  // as if the clock could not be created at init
    ASSERT_TRUE(slot.write(kSelectLight, 1, nullptr, 0));
    clock.advanceMicroseconds(500000);
    uint16_t length = 4;
    ASSERT_TRUE(slot.read(kReadMemory, 16, data, &length));
    EXPECT_EQ(clock.sleeps(), (std::vector<uint32_t>{40, 40}));
}

using Requests = SlotTest;

TEST_F(Requests, WriteRecordCarriesCommandValueDataAndTimeout) {
    openSlot();
    uint8_t header[16] = {'W', 'I', 'Q'};
    ASSERT_TRUE(slot.write(kWriteHeader, 7, header, 16));
    auto writes = library.callsOf(kDeviceWrite);
    ASSERT_EQ(writes.size(), 1u);
    EXPECT_EQ(writes[0].handle, slot.handle);
    EXPECT_EQ(writes[0].requestSize, sizeof(WriteRequest));
    EXPECT_EQ(writes[0].command, kWriteHeader);
    EXPECT_EQ(writes[0].value, 7);
    EXPECT_EQ(writes[0].data, header);
    EXPECT_EQ(writes[0].length, 16);
    EXPECT_EQ(writes[0].timeout, 1000u);
}

TEST_F(Requests, ReadReportsWhatWasDeliveredAndKeepsCountOnFailure) {
    openSlot();
    library.readBytes = {9, 5, 2};
    library.deliveredLength = 3;
    uint16_t length = 4;
    ASSERT_TRUE(slot.read(kReadMemory, 16, data, &length));
    EXPECT_EQ(length, 3);
    EXPECT_EQ(data[0], 9);
    EXPECT_EQ(data[2], 2);
    auto reads = library.callsOf(kDeviceRead);
    ASSERT_EQ(reads.size(), 1u);
    EXPECT_EQ(reads[0].requestSize, sizeof(ReadRequest));
    EXPECT_EQ(reads[0].command, kReadMemory);
    EXPECT_EQ(reads[0].value, 16);
    EXPECT_EQ(reads[0].length, 4);
    EXPECT_EQ(reads[0].timeout, 1000u);

    library.results[kDeviceRead] = 0;
    length = 4;
    EXPECT_FALSE(slot.read(kReadMemory, 16, data, &length));
    EXPECT_EQ(length, 4);
}

TEST_F(Requests, ReadClaimingMoreThanAskedIsNotBelieved) {
    openSlot();
    library.deliveredLength = 200;
    uint16_t length = 16;
    ASSERT_TRUE(slot.read(kReadMemory, 0, data, &length));
    EXPECT_EQ(length, 16);
}

TEST_F(Requests, ClosedSlotRefusesWithErrorNineteenWithoutPacing) {
    auto id = deviceId("KYT-A1");
    slot.init(id.data());
    int64_t stamp = slot.clock->stamp;
    clock.advanceMicroseconds(5000);
    uint16_t length = 16;
    EXPECT_FALSE(slot.write(kSelectLight, 1, nullptr, 0));
    EXPECT_FALSE(slot.read(kReadMemory, 0, data, &length));
    EXPECT_EQ(library.recordedErrors(), (std::vector<int32_t>{19, 19}));
    EXPECT_TRUE(library.callsOf(kDeviceWrite).empty());
    EXPECT_TRUE(library.callsOf(kDeviceRead).empty());
    EXPECT_TRUE(clock.sleeps().empty());
    EXPECT_EQ(slot.clock->stamp, stamp);
}

TEST_F(Requests, ReadWithoutLengthIsRefusedWithErrorTwentyTwo) {
    openSlot();
    EXPECT_FALSE(slot.read(kReadMemory, 0, data, nullptr));
    EXPECT_EQ(library.recordedErrors(), std::vector<int32_t>{22});
    EXPECT_TRUE(library.callsOf(kDeviceRead).empty());
}

// Requests to one device from two threads must reach the library one at a
// time: the semaphore makes pause, call and stamp one unit.
std::atomic<int> inside{0};
std::atomic<int> overlaps{0};
std::atomic<int> served{0};

int32_t slowEntry(uint32_t, uint32_t functionCode, void*) {
    if (functionCode != kDeviceWrite) return 1;
    if (inside.fetch_add(1) != 0) overlaps.fetch_add(1);
    platform::sleepMilliseconds(1);
    inside.fetch_sub(1);
    served.fetch_add(1);
    return 1;
}

unsigned writeMany(void* parameter) {
    auto* target = static_cast<DeviceSlot*>(parameter);
    for (int i = 0; i < 20; ++i) target->write(kSelectLight, 1, nullptr, 0);
    return 0;
}

TEST_F(Requests, ConcurrentRequestsToOneDeviceAreSerialised) {
    openSlot();
    callGate.entry = slowEntry;
    platform::Thread first;
    platform::Thread second;
    ASSERT_TRUE(first.start(writeMany, &slot));
    ASSERT_TRUE(second.start(writeMany, &slot));
    first.join();
    second.join();
    EXPECT_EQ(served.load(), 40);
    EXPECT_EQ(overlaps.load(), 0);
    callGate.entry = unloadedEntry;
}

using OpenClose = SlotTest;

TEST_F(OpenClose, OpenSendsIdModeAndTimeoutAndFetchesInformationInTwoSteps) {
    library.reportedInfoSize = 120;
    library.typeName = "TYPE7";
    library.deviceVersion = 0x102;
    auto id = deviceId("ZEB-B2");
    slot.init(id.data());
    ASSERT_TRUE(slot.openWithInfo(true, 1000));
    auto opens = library.callsOf(kOpenDevice);
    ASSERT_EQ(opens.size(), 1u);
    EXPECT_EQ(opens[0].openMode, 263u);
    EXPECT_EQ(opens[0].timeout, 1000u);
    EXPECT_EQ(slot.handle, 0x51u);

    auto queries = library.callsOf(kDeviceInformation);
    ASSERT_EQ(queries.size(), 2u);
    EXPECT_EQ(queries[0].length, 88);
    EXPECT_EQ(queries[1].length, 120);
    EXPECT_EQ(queries[1].handle, slot.handle);
    ASSERT_NE(slot.info, nullptr);
    EXPECT_EQ(slot.info->size, 120u);
    EXPECT_EQ(deviceTypeName(slot.info.get()), "TYPE7");
    EXPECT_EQ(deviceVersionOf(slot.info.get()), 0x102);

    slot.close();
    ASSERT_TRUE(slot.openWithInfo(false, 500));
    EXPECT_EQ(library.callsOf(kOpenDevice)[1].openMode, 7u);
}

TEST_F(OpenClose, EmptyNameIsRefusedWithErrorTwoAndSlotUnchanged) {
    auto id = deviceId("");
    slot.init(id.data());
    EXPECT_FALSE(slot.openWithInfo(true, 1000));
    EXPECT_EQ(library.recordedErrors(), std::vector<int32_t>{2});
    EXPECT_TRUE(library.callsOf(kOpenDevice).empty());
    EXPECT_EQ(slot.handle, 0u);
}

TEST_F(OpenClose, FailedOpenLeavesSlotClosed) {
    library.results[kOpenDevice] = 0;
    auto id = deviceId("KYT-A1");
    slot.init(id.data());
    EXPECT_FALSE(slot.openWithInfo(true, 1000));
    EXPECT_EQ(slot.handle, 0u);
    EXPECT_EQ(slot.info, nullptr);
    EXPECT_TRUE(library.callsOf(kDeviceInformation).empty());
}

TEST_F(OpenClose, SecondOpenClosesOldHandleAndInformationFirst) {
    openSlot();
    uint32_t first = slot.handle;
    ASSERT_TRUE(slot.openWithInfo(true, 1000));
    ASSERT_EQ(library.calls.size(), 4u);
    EXPECT_EQ(library.calls[0].functionCode, kCloseDevice);
    EXPECT_EQ(library.calls[0].value, static_cast<int>(first));
    EXPECT_EQ(library.calls[1].functionCode, kOpenDevice);
    EXPECT_NE(slot.handle, first);
    EXPECT_NE(slot.info, nullptr);
}

TEST_F(OpenClose, RefusedCloseKeepsHandleButReopenDropsIt) {
    openSlot();
    uint32_t first = slot.handle;
    library.results[kCloseDevice] = 0;
    slot.close();
    EXPECT_EQ(slot.handle, first);
    EXPECT_EQ(slot.info, nullptr);
    ASSERT_TRUE(slot.openWithInfo(true, 1000));
    EXPECT_NE(slot.handle, first);
}

TEST_F(OpenClose, CloseOnClosedSlotOnlyFreesInformation) {
    openSlot();
    library.results[kCloseDevice] = 1;
    slot.close();
    ASSERT_EQ(slot.handle, 0u);
    library.calls.clear();
    slot.info.reset(static_cast<DeviceInfo*>(std::calloc(1, sizeof(DeviceInfo))));
    slot.close();
    EXPECT_TRUE(library.calls.empty());
    EXPECT_EQ(slot.info, nullptr);
}

TEST_F(OpenClose, ReleaseClosesAndClearsEverything) {
    openSlot();
    uint32_t handle = slot.handle;
    slot.release();
    auto closes = library.callsOf(kCloseDevice);
    ASSERT_EQ(closes.size(), 1u);
    EXPECT_EQ(closes[0].value, static_cast<int>(handle));
    EXPECT_EQ(slot.magic, kReleasedMagic);
    EXPECT_EQ(slot.handle, 0u);
    EXPECT_EQ(slot.info, nullptr);
    EXPECT_EQ(slot.clock, nullptr);
    EXPECT_EQ(slot.lock, nullptr);
    EXPECT_EQ(slot.name(), "");
    EXPECT_FALSE(slot.write(kSelectLight, 1, nullptr, 0));
    slot.release();  // a second release finds nothing to free
}

TEST_F(OpenClose, OpenByIdHandsBackHandleAndOpenedId) {
    auto id = deviceId("KYT-A9");
    uint32_t handle = 0;
    uint8_t opened[kDeviceIdSize] = {};
    ASSERT_NE(openById(&handle, opened, kOpenMode, id.data(), 0, 0, 1000), 0);
    EXPECT_EQ(handle, 0x51u);
    EXPECT_EQ(std::memcmp(opened, id.data(), kDeviceIdSize), 0);
}

using LibraryData = SlotTest;

TEST_F(LibraryData, NameWithoutTerminatorStaysInsideTheId) {
    auto id = deviceId(std::string(72, 'N'));
    slot.init(id.data());
    EXPECT_EQ(slot.name(), std::string(71, 'N'));
}

TEST_F(LibraryData, InformationSmallerThanItsHeadIsReadOnlyWithinItsSize) {
    library.reportedInfoSize = 10;
    openSlot();
    ASSERT_NE(slot.info, nullptr);
    EXPECT_EQ(slot.info->size, 10u);
    EXPECT_EQ(deviceTypeName(slot.info.get()), "TYPE1");
    EXPECT_EQ(deviceVersionOf(slot.info.get()), 0) << "version lies beyond the block";

    library.reportedInfoSize = 7;
    ASSERT_TRUE(slot.openWithInfo(true, 1000));
    EXPECT_EQ(deviceTypeName(slot.info.get()), "TYP");
}

TEST_F(LibraryData, TypeNameWithoutTerminatorIsCutAtFortyBytes) {
    library.terminateTypeName = false;
    openSlot();
    EXPECT_EQ(deviceTypeName(slot.info.get()).size(), 40u);
    EXPECT_EQ(deviceVersionOf(slot.info.get()), 0x103);
}

TEST_F(LibraryData, SizeRewrittenByTheFillingCallIsNotTrusted) {
    library.reportedInfoSize = 120;
    library.sizeAfterFill = 4096;
    openSlot();
    ASSERT_NE(slot.info, nullptr);
    EXPECT_EQ(slot.info->size, 120u);
}

TEST_F(LibraryData, NoOrAbsurdInformationLeavesDeviceOpenWithoutBlock) {
    library.reportedInfoSize = 0;
    auto id = deviceId("KYT-A1");
    slot.init(id.data());
    ASSERT_TRUE(slot.openWithInfo(true, 1000));
    EXPECT_EQ(slot.info, nullptr);
    EXPECT_NE(slot.handle, 0u);
    EXPECT_EQ(library.callsOf(kDeviceInformation).size(), 1u) << "only the sizing query";
    EXPECT_EQ(slot.refusedInfoSize, 0u);
    library.calls.clear();

    library.reportedInfoSize = 0x7FFFFFF0u;
    ASSERT_TRUE(slot.openWithInfo(true, 1000));
    EXPECT_EQ(slot.info, nullptr);
    EXPECT_EQ(library.callsOf(kDeviceInformation).size(), 1u) << "no filling call";
    EXPECT_EQ(slot.refusedInfoSize, 0x7FFFFFF0u) << "reported, for discovery to log";
    EXPECT_EQ(deviceTypeName(nullptr), "");
    EXPECT_EQ(deviceVersionOf(nullptr), 0);
}

}  // namespace
}  // namespace spelvane
