// Configured device faults and the request trace.
#include <chrono>

#include "tests/sim/sim_test.h"

namespace spelvane::testing {
namespace {

class SimTraceTest : public SimTest {
protected:
    // One standard device with the trace on, opened.
    uint32_t openTraced() {
        reader.addDevice(standardDevice());
        reader.enableTrace();
        reader.apply();
        return openFirst();
    }
};

class FaultCase : public SimTest {
protected:
    // One standard device carrying the given fault lines, opened.
    uint32_t openWithFaults(const std::vector<std::string>& faults) {
        SimDevice device = standardDevice();
        device.extraLines = faults;
        reader.addDevice(device);
        reader.apply();
        return openFirst();
    }
    int32_t select(uint32_t handle) { return write(handle, kSelectLight, 1, {}); }
};

TEST_F(FaultCase, CommandFaultRefusesOnlyTheNamedOccurrence) {
    const uint32_t handle = openWithFaults({"fail = 4 2"});
    EXPECT_EQ(select(handle), 1);
    EXPECT_EQ(read(handle, kReadMemory, 0, 16).result, 1);  // other commands do not count
    EXPECT_EQ(select(handle), 0);
    const LastError error = lastError();
    EXPECT_EQ(error.code, 5u);
    EXPECT_NE(error.text.find("command 4"), std::string::npos) << error.text;
    EXPECT_EQ(select(handle), 1);
}

TEST_F(FaultCase, CommandFaultWithZeroRefusesEveryOne) {
    const uint32_t handle = openWithFaults({"fail = 15 0"});
    for (int i = 0; i < 3; ++i) EXPECT_EQ(read(handle, kReadMemory, 0, 16).result, 0);
    EXPECT_EQ(select(handle), 1);
}

TEST_F(FaultCase, RequestFaultCountsReadsAndWritesTogether) {
    const uint32_t handle = openWithFaults({"fail_request = 3", "fail_request = 5"});
    std::vector<int32_t> results;
    for (int i = 0; i < 3; ++i) {
        results.push_back(select(handle));
        results.push_back(read(handle, kReadSelectedLight, 112, 16).result);
    }
    EXPECT_EQ(results, (std::vector<int32_t>{1, 1, 0, 1, 0, 1}));
}

TEST_F(FaultCase, CountingStartsAgainAtEachOpen) {
    const uint32_t handle = openWithFaults({"fail_request = 2"});
    EXPECT_EQ(select(handle), 1);
    EXPECT_EQ(select(handle), 0);
    ASSERT_EQ(close(handle), 1);
    const uint32_t again = openFirst();
    EXPECT_EQ(select(again), 1);
    EXPECT_EQ(select(again), 0);
}

TEST_F(FaultCase, RefusedWriteLeavesTheMemoryAlone) {
    const uint32_t handle = openWithFaults({"fail = 12 1"});
    const auto before = reader.memory(0);
    EXPECT_EQ(write(handle, kWriteAddressList, 0, {0x01, 0x02}), 0);
    EXPECT_EQ(reader.memory(0), before);
    EXPECT_EQ(read(handle, kReadMemory, 16, 2).bytes, slice(before, 16, 2));
}

TEST_F(FaultCase, CorruptReadBackFlipsOneByteOfMemoryReadsOnly) {
    const uint32_t handle = openWithFaults({"corrupt_readback = 34"});
    const auto image = reader.memory(0);
    ReadResult light = read(handle, kReadMemory, 32, 16);
    ASSERT_EQ(light.result, 1);
    auto expected = slice(image, 32, 16);
    expected[2] ^= 0xFF;
    EXPECT_EQ(light.bytes, expected);
    EXPECT_EQ(read(handle, kReadMemory, 0, 16).bytes, slice(image, 0, 16));
    ASSERT_EQ(select(handle), 1);
    EXPECT_EQ(read(handle, kReadSelectedLight, 112, 16).bytes, slice(image, 32, 16));
    EXPECT_EQ(reader.memory(0), image);
}

TEST_F(FaultCase, ShortAddressListDeliversFewerBytes) {
    const uint32_t handle = openWithFaults({"short_address_list = 3"});
    ReadResult list = read(handle, kReadMemory, 16, 4);
    ASSERT_EQ(list.result, 1);
    EXPECT_EQ(list.bytes, (std::vector<uint8_t>{0x09, 0x05, 0x02}));
    EXPECT_EQ(read(handle, kReadMemory, 0, 16).bytes.size(), 16u);
}

TEST_F(SimTraceTest, EveryCallLeavesOneLineInTheDocumentedForm) {
    const uint32_t handle = openTraced();
    ASSERT_EQ(write(handle, kWriteAddressList, 0, {0x09, 0x05, 0x02, 0x03}), 1);
    ASSERT_EQ(read(handle, kReadMemory, 16, 4).result, 1);
    EXPECT_EQ(write(handle, kWriteHeader, 0, {1, 2}), 0);

    const auto trace = reader.trace();
    ASSERT_EQ(trace.size(), 6u);  // announce, enumerate, open, write, read, refused write

    EXPECT_EQ(trace[0].functionCode, kAnnounceVersion);
    EXPECT_EQ(static_cast<uint32_t>(trace[0].value), kInterfaceVersion);
    EXPECT_EQ(trace[1].functionCode, kEnumerate);
    EXPECT_EQ(trace[1].delivered, 1);
    EXPECT_EQ(trace[2].functionCode, kOpenDevice);
    EXPECT_EQ(static_cast<uint32_t>(trace[2].delivered), handle);

    const std::string& written = trace[3].line;
    const std::string expected = " h=" + std::to_string(handle) +
                                 " fn=10ff1002 cmd=12 value=0 len=4 out=4 data=09050203 result=1";
    EXPECT_EQ(written.substr(written.find(' ')), expected);
    EXPECT_EQ(written.rfind("t=", 0), 0u);

    EXPECT_EQ(trace[4].command, kReadMemory);
    EXPECT_EQ(trace[4].value, 16);
    EXPECT_EQ(trace[4].length, 4);
    EXPECT_EQ(trace[4].delivered, 4);
    EXPECT_EQ(trace[4].data, (std::vector<uint8_t>{0x09, 0x05, 0x02, 0x03}));

    EXPECT_EQ(trace[5].result, 0);
    EXPECT_EQ(trace[5].error, 22u);
    EXPECT_EQ(trace[5].line.substr(trace[5].line.size() - 6), "err=22");

    for (size_t i = 1; i < trace.size(); ++i) EXPECT_GE(trace[i].microseconds, trace[i - 1].microseconds);
}

TEST_F(SimTraceTest, TimestampsMeasureTheTimeBetweenRequests) {
    const uint32_t handle = openTraced();
    read(handle, kReadMemory, 0, 16);
    const auto started = std::chrono::steady_clock::now();
    while (std::chrono::steady_clock::now() - started < std::chrono::milliseconds(30)) {
    }
    read(handle, kReadMemory, 0, 16);
    const auto trace = reader.trace();
    ASSERT_GE(trace.size(), 2u);
    const int64_t gap = trace.back().microseconds - trace[trace.size() - 2].microseconds;
    EXPECT_GE(gap, 30000);
    EXPECT_LT(gap, 5000000);
}

// While a device is open the trace file stays open; with none open it is
// let go, so a trace removed then starts afresh with the next call.
TEST_F(SimTraceTest, TraceIsLetGoWhenNoDeviceIsOpen) {
    const uint32_t handle = openTraced();
    read(handle, kReadMemory, 0, 16);
    ASSERT_EQ(close(handle), 1);
    std::filesystem::remove(reader.tracePath());

    int32_t count = 0;
    enumerate("*", 4, count);
    const auto trace = reader.trace();
    ASSERT_EQ(trace.size(), 1u);
    EXPECT_EQ(trace[0].functionCode, kEnumerate);
}

TEST(SimTraceLineTest, ParsesFieldsAndRejectsOtherText) {
    TraceRecord record;
    ASSERT_TRUE(parseTraceLine("t=123456 h=1 fn=10ff1003 cmd=15 value=16 len=4 out=3 data=090502 result=1", record));
    EXPECT_EQ(record.microseconds, 123456);
    EXPECT_EQ(record.functionCode, kDeviceRead);
    EXPECT_EQ(record.delivered, 3);
    EXPECT_EQ(record.data.size(), 3u);
    ASSERT_TRUE(parseTraceLine("t=5 h=0 fn=1000000f cmd=- value=0x07000500 len=- out=- data=- result=1", record));
    EXPECT_EQ(record.command, -1);
    EXPECT_EQ(record.value, 0x07000500);
    EXPECT_TRUE(record.data.empty());
    EXPECT_FALSE(parseTraceLine("hello world", record));
}

}  // namespace
}  // namespace spelvane::testing
