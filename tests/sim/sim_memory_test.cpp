// Device requests against the simulated memory and its image file.
#include "platform/thread.h"
#include "tests/sim/sim_test.h"

namespace spelvane::testing {
namespace {

using SimMemoryTest = SimTest;

const std::vector<uint8_t> kNewAddresses = {0x09, 0x05, 0x04};
const std::vector<uint8_t> kNewLight = {0x11, 0x00, 0x34, 0x12, 0x78, 0x56, 0xBC, 0x9A};

TEST_F(SimMemoryTest, ReadsFollowTheMemoryLayout) {
    const int index = reader.addDevice(standardDevice());
    reader.apply();
    const auto image = reader.memory(index);
    const uint32_t handle = openFirst();

    ReadResult header = read(handle, kReadMemory, 0, 16);
    ASSERT_EQ(header.result, 1);
    EXPECT_EQ(header.bytes, slice(image, 0, 16));

    ReadResult addresses = read(handle, kReadMemory, 16, 4);
    EXPECT_EQ(addresses.bytes, (std::vector<uint8_t>{0x09, 0x05, 0x02, 0x03}));

    ReadResult tail = read(handle, kReadMemory, 250, 16);  // clipped at the end of memory
    ASSERT_EQ(tail.result, 1);
    EXPECT_EQ(tail.bytes.size(), 6u);

    EXPECT_EQ(read(handle, kReadMemory, 256, 1).result, 0);
    EXPECT_EQ(lastError().code, 22u);
}

TEST_F(SimMemoryTest, SelectedLightIsReadInEitherReadMode) {
    const int index = reader.addDevice(standardDevice());
    reader.apply();
    const auto image = reader.memory(index);
    const uint32_t handle = openFirst();

    EXPECT_EQ(read(handle, kReadSelectedLight, 112, 16).result, 0);  // nothing selected yet
    for (uint16_t light : {1, 2}) {
        ASSERT_EQ(write(handle, kSelectLight, light, {}), 1);
        for (uint16_t mode : {112, 144}) {
            ReadResult record = read(handle, kReadSelectedLight, mode, 16);
            ASSERT_EQ(record.result, 1);
            EXPECT_EQ(record.bytes, slice(image, 32 + 16 * (light - 1u), 16));
        }
    }
    EXPECT_EQ(read(handle, kReadSelectedLight, 100, 16).result, 0);
    EXPECT_EQ(write(handle, kSelectLight, 0, {}), 0);
    EXPECT_EQ(write(handle, kSelectLight, 15, {}), 0);
    EXPECT_EQ(write(handle, kSelectLight, 1, {0x01}), 0);
}

TEST_F(SimMemoryTest, StoreSequenceWritesMemoryAndTheImage) {
    const int index = reader.addDevice(standardDevice());
    reader.apply();
    auto expected = reader.memory(index);
    const uint32_t handle = openFirst();

    ASSERT_EQ(write(handle, kWriteAddressList, 0, kNewAddresses), 1);
    std::copy(kNewAddresses.begin(), kNewAddresses.end(), expected.begin() + 16);
    EXPECT_EQ(reader.memory(index), expected);  // on disk after every write

    ASSERT_EQ(write(handle, kWriteLightRecord, 0, kNewLight), 1);
    EXPECT_EQ(reader.memory(index), expected);  // staged only
    ASSERT_EQ(write(handle, kStoreLight, 3, {}), 1);
    std::copy(kNewLight.begin(), kNewLight.end(), expected.begin() + 32 + 32);
    EXPECT_EQ(reader.memory(index), expected);
    EXPECT_EQ(write(handle, kStoreLight, 4, {}), 0);  // the staged record was used up

    std::vector<uint8_t> header(16, 0);
    header[0] = 'W';
    header[13] = 0x01;
    ASSERT_EQ(write(handle, kWriteHeader, 0, header), 1);
    std::copy(header.begin(), header.end(), expected.begin());
    EXPECT_EQ(reader.memory(index), expected);

    EXPECT_EQ(read(handle, kReadMemory, 0, 256).bytes, expected);
}

TEST_F(SimMemoryTest, MemorySurvivesReopenAndRestart) {
    const int index = reader.addDevice(standardDevice());
    reader.apply();
    uint32_t handle = openFirst();
    ASSERT_EQ(write(handle, kWriteLightRecord, 0, kNewLight), 1);
    ASSERT_EQ(write(handle, kStoreLight, 1, {}), 1);
    ASSERT_EQ(close(handle), 1);

    handle = openFirst();
    EXPECT_EQ(read(handle, kReadMemory, 32, 8).bytes, kNewLight);
    ASSERT_EQ(close(handle), 1);

    // A new start of the program: the library is loaded afresh and the
    // configuration written again; the image keeps what was stored.
    resetProgramState();
    reader.apply();
    handle = openFirst();
    EXPECT_EQ(read(handle, kReadMemory, 32, 8).bytes, kNewLight);
    EXPECT_EQ(slice(reader.memory(index), 32, 8), kNewLight);
}

TEST_F(SimMemoryTest, BadWritesAreRefusedAndChangeNothing) {
    const int index = reader.addDevice(standardDevice());
    reader.apply();
    const auto before = reader.memory(index);
    const uint32_t handle = openFirst();

    EXPECT_EQ(write(handle, kWriteHeader, 0, std::vector<uint8_t>(15, 1)), 0);
    EXPECT_EQ(lastError().code, 22u);
    EXPECT_EQ(write(handle, kWriteAddressList, 0, std::vector<uint8_t>(17, 1)), 0);
    EXPECT_EQ(write(handle, kWriteLightRecord, 0, {}), 0);
    EXPECT_EQ(write(handle, kStoreLight, 1, {}), 0);  // nothing staged
    EXPECT_EQ(write(handle, 7, 0, {1, 2}), 0);
    EXPECT_EQ(lastError().code, 95u);
    EXPECT_EQ(read(handle, kWriteHeader, 0, 16).result, 0);
    EXPECT_EQ(lastError().code, 95u);
    EXPECT_EQ(write(handle + 100, kWriteHeader, 0, std::vector<uint8_t>(16, 1)), 0);
    EXPECT_EQ(lastError().code, 19u);

    WriteRequest wrongSize{};
    wrongSize.size = 12;
    wrongSize.command = kSelectLight;
    wrongSize.value = 1;
    EXPECT_EQ(gateCall(handle, kDeviceWrite, &wrongSize), 0);

    EXPECT_EQ(reader.memory(index), before);
}

TEST_F(SimMemoryTest, MissingImageIsBuiltFromTheConfiguredValues) {
    SimDevice device;  // no image: the configuration describes the memory
    device.extraLines = {"addresses = 09 05", "light1 = 0010 0200 0150", "light3 = 0030 0400 0150"};
    const int index = reader.addDevice(device);
    reader.apply();
    const uint32_t handle = openFirst();
    auto image = reader.memory(index);
    ASSERT_EQ(image.size(), 256u);
    EXPECT_EQ(slice(image, 0, 6), (std::vector<uint8_t>{'W', 'I', 'Q', 0, 2, 3}));
    EXPECT_EQ(slice(image, 16, 3), (std::vector<uint8_t>{0x09, 0x05, 0x00}));
    EXPECT_EQ(slice(image, 32, 6), (std::vector<uint8_t>{0x10, 0x00, 0x00, 0x02, 0x50, 0x01}));
    EXPECT_EQ(slice(image, 64, 4), (std::vector<uint8_t>{0x30, 0x00, 0x00, 0x04}));
    EXPECT_EQ(read(handle, kReadMemory, 0, 256).bytes, image);

    SimulatedReader explicitHeader;
    SimDevice withHeader;
    withHeader.extraLines = {"header = 57 49 51 40 07"};
    const int other = explicitHeader.addDevice(withHeader);
    explicitHeader.apply();
    openFirst();
    EXPECT_EQ(slice(explicitHeader.memory(other), 0, 6), (std::vector<uint8_t>{'W', 'I', 'Q', 0x40, 7, 0}));
}

TEST_F(SimMemoryTest, DamagedImageIsRefusedAndLeftAlone) {
    SimDevice device = standardDevice();
    device.memory.resize(100);
    const int index = reader.addDevice(device);
    reader.apply();
    int32_t count = 0, result = 1;
    auto ids = enumerate("KVDEV*", 8, count);
    ASSERT_EQ(ids.size(), 1u);
    open(ids[0], &result);
    EXPECT_EQ(result, 0);
    const LastError error = lastError();
    EXPECT_EQ(error.code, 5u);
    EXPECT_NE(error.text.find("holds 100 bytes"), std::string::npos) << error.text;
    EXPECT_EQ(reader.memory(index).size(), 100u);
}

TEST_F(SimMemoryTest, WriteThatCannotReachTheImageIsRefusedAndUndone) {
    namespace fs = std::filesystem;
    SimDevice device = standardDevice();
    device.memory.clear();
    device.extraLines = {"image = sub/device.img", "addresses = 09 05"};
    reader.addDevice(device);
    fs::create_directory(fs::path(reader.directory()) / "sub");
    reader.apply();
    const uint32_t handle = openFirst();
    ASSERT_TRUE(fs::exists(fs::path(reader.directory()) / "sub" / "device.img"));

    fs::remove_all(fs::path(reader.directory()) / "sub");
    EXPECT_EQ(write(handle, kWriteAddressList, 0, kNewAddresses), 0);
    EXPECT_EQ(lastError().code, 5u);
    EXPECT_EQ(read(handle, kReadMemory, 16, 3).bytes, (std::vector<uint8_t>{0x09, 0x05, 0x00}));
}

TEST_F(SimMemoryTest, ImageRemovedWhileOpenIsWrittenWholeAgain) {
    const int index = reader.addDevice(standardDevice());
    reader.apply();
    const uint32_t handle = openFirst();
    auto expected = reader.memory(index);
    std::filesystem::remove(reader.imagePath(index));

    ASSERT_EQ(write(handle, kWriteAddressList, 0, kNewAddresses), 1);
    std::copy(kNewAddresses.begin(), kNewAddresses.end(), expected.begin() + 16);
    EXPECT_EQ(reader.memory(index), expected);
}

TEST_F(SimMemoryTest, TwoHandlesOnOneDeviceShareItsMemory) {
    reader.addDevice(standardDevice());
    reader.apply();
    int32_t count = 0;
    auto ids = enumerate("KVDEV*", 8, count);
    const uint32_t first = open(ids[0]);
    const uint32_t second = open(ids[0]);
    ASSERT_EQ(write(first, kWriteAddressList, 0, kNewAddresses), 1);
    EXPECT_EQ(read(second, kReadMemory, 16, 3).bytes, kNewAddresses);
}

// The program calls from its dialog thread and its worker thread; each
// request must see its own device whole, and each trace line stay whole.
struct DeviceWorker {
    SimTest* test;
    uint32_t handle;
    uint8_t marker;
    int mismatches = 0;
};

TEST_F(SimMemoryTest, RequestsFromTwoThreadsDoNotMix) {
    reader.addDevice(standardDevice("ZEB-A1"));
    reader.addDevice(standardDevice("KYT-A1"));
    reader.enableTrace();
    reader.apply();
    int32_t count = 0;
    auto ids = enumerate("KVDEV*", 8, count);
    ASSERT_EQ(ids.size(), 2u);
    DeviceWorker workers[2] = {{this, open(ids[0]), 0x11}, {this, open(ids[1]), 0x22}};
    constexpr int kRounds = 50;
    auto routine = [](void* parameter) -> unsigned {
        auto& worker = *static_cast<DeviceWorker*>(parameter);
        for (int round = 0; round < kRounds; ++round) {
            const std::vector<uint8_t> record(8, static_cast<uint8_t>(worker.marker + round));
            worker.test->write(worker.handle, kWriteLightRecord, 0, record);
            worker.test->write(worker.handle, kStoreLight, 1, {});
            if (worker.test->read(worker.handle, kReadMemory, 32, 8).bytes != record) ++worker.mismatches;
            // A refusal writes the one last error both threads share.
            if (worker.test->write(worker.handle, kWriteHeader, 0, {0x01}) != 0) ++worker.mismatches;
        }
        return 0;
    };
    platform::Thread threads[2];
    for (int i = 0; i < 2; ++i) ASSERT_TRUE(threads[i].start(routine, &workers[i]));
    for (auto& thread : threads) thread.join();
    EXPECT_EQ(workers[0].mismatches, 0);
    EXPECT_EQ(workers[1].mismatches, 0);
    const auto trace = reader.trace();  // fails on any mangled line
    const auto requests = std::count_if(trace.begin(), trace.end(),
                                        [](const TraceRecord& record) { return record.command >= 0; });
    EXPECT_EQ(requests, 2 * 4 * kRounds);
}

}  // namespace
}  // namespace spelvane::testing
