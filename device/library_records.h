#pragma once
// Function codes and parameter records of the device-access library
// "qzsd7.dll". Shared by the program and by the simulated reader in sim/.
// The sizes asserted below are those of the 32-bit build, the one that loads
// the real library; a 64-bit build has wider pointer fields.
#include <cstddef>
#include <cstdint>

namespace spelvane {

enum FunctionCode : uint32_t {
    kAnnounceVersion = 0x1000000Fu,  // u32 holding kInterfaceVersion
    kErrorTextWide = 0x10010000u,    // ErrorTextRequest, 16-bit text
    kErrorText = 0x10010001u,        // ErrorTextRequest, 8-bit text
    kSetError = 0x10010002u,         // ErrorSetRequest
    kCloseDevice = 0x10030002u,      // CloseRequest
    kEnumerate = 0x10FF0001u,        // EnumerateRequest
    kOpenDevice = 0x10FF0003u,       // OpenRequest
    kDeviceInformation = 0x10FF1000u,  // DeviceInfo, device handle
    kDeviceWrite = 0x10FF1002u,      // WriteRequest, device handle
    kDeviceRead = 0x10FF1003u,       // ReadRequest, device handle
};

constexpr uint32_t kInterfaceVersion = 0x07000500u;
constexpr int32_t kOldestLibraryVersion = 0x07000000;
constexpr size_t kModuleInfoVersionOffset = 8;  // signed word in qzmoduleinfo

// The simulated reader's own export: a function without arguments that
// answers kSimulatorWord. A device's library has no such export, and one
// that had would have to answer this word too to be taken for the simulator.
constexpr const char* kSimulatorExport = "QzSimIdentify";
constexpr uint32_t kSimulatorWord = 0x51AD5137u;
using SimulatorIdentify = uint32_t (*)();

// Error numbers the program records as the library's last error.
enum DeviceErrorNumber : int32_t {
    kErrorNoEntry = 2,          // empty device name at open
    kErrorOutOfMemory = 12,     // device list cannot be allocated
    kErrorNoDevice = 19,        // request on a device that is not open
    kErrorInvalidArgument = 22, // read without a length
};

constexpr size_t kDeviceIdSize = 80;
constexpr size_t kDeviceNameOffset = 8;  // zero-terminated name inside an id
constexpr size_t kDeviceNameCapacity = kDeviceIdSize - kDeviceNameOffset;  // 72 bytes

using QzCallFunction = int32_t (*)(uint32_t handle, uint32_t functionCode, void* params);

struct ErrorTextRequest {
    uint32_t code;     // out: last error number
    void* buffer;      // 16-bit or 8-bit characters, by function code
    int32_t capacity;  // characters, terminator included
};

struct ErrorSetRequest {
    int32_t kind;
    int32_t code;
    const char* text;
    int32_t extra;  // only meaningful with text
};

struct CloseRequest {
    uint32_t handle;
};

struct EnumerateRequest {
    int32_t kind;
    char pattern[80];
    int32_t count;  // in: capacity of ids; out: number delivered
    void* ids;      // count ids of kDeviceIdSize bytes each
};

struct OpenRequest {
    uint32_t mode;
    uint8_t id[kDeviceIdSize];
    uint32_t reserved1;
    uint32_t reserved2;
    uint32_t timeout;
    uint32_t handle;  // out
    uint8_t openedId[kDeviceIdSize];  // out
};

// Device request records (function codes 0x10FF1002 and 0x10FF1003). Note
// that timeout closes the write record but follows value in the read record.
struct WriteRequest {
    uint32_t size;
    uint8_t command;
    uint8_t unused0;
    uint16_t value;
    const void* data;
    uint16_t length;
    uint16_t unused1;
    uint32_t timeout;
};

struct ReadRequest {
    uint32_t size;
    uint8_t command;
    uint8_t unused0;
    uint16_t value;
    uint32_t timeout;
    void* buffer;
    uint16_t length;  // in: wanted; out: delivered
    uint16_t unused1;
};

// Head of the device information block; the library's own data follows.
struct DeviceInfo {
    uint32_t size;
    char typeName[40];
    uint16_t deviceVersion;
};
constexpr size_t kDeviceInfoQuerySize = 88;
constexpr size_t kTypeNameOffset = offsetof(DeviceInfo, typeName);
constexpr size_t kTypeNameCapacity = sizeof(DeviceInfo::typeName);
constexpr size_t kDeviceVersionOffset = offsetof(DeviceInfo, deviceVersion);
static_assert(kTypeNameOffset == 4 && kDeviceVersionOffset == 44);

enum DeviceCommand : uint8_t {
    kSelectLight = 4,        // write, value = light number from 1
    kStoreLight = 5,         // write, value = light number from 1
    kWriteAddressList = 12,  // write, the register numbers
    kWriteLightRecord = 13,  // write, staged until kStoreLight
    kReadSelectedLight = 14, // read, value 144 or 112
    kReadMemory = 15,        // read, value = byte offset
    kWriteHeader = 19,       // write, 16 bytes
};

constexpr uint32_t kRequestTimeout = 1000;
constexpr uint32_t kOpenMode = 263;
constexpr uint32_t kOpenModeAlternative = 7;

#if UINTPTR_MAX == 0xFFFFFFFFu
static_assert(sizeof(ErrorTextRequest) == 12);
static_assert(sizeof(ErrorSetRequest) == 16);
static_assert(sizeof(CloseRequest) == 4);
static_assert(sizeof(EnumerateRequest) == 92);
static_assert(sizeof(OpenRequest) == 180);
static_assert(sizeof(WriteRequest) == 20);
static_assert(sizeof(ReadRequest) == 20);
static_assert(offsetof(WriteRequest, timeout) == 16);
static_assert(offsetof(ReadRequest, timeout) == 8);
static_assert(offsetof(ReadRequest, length) == 16);
#endif
static_assert(offsetof(EnumerateRequest, pattern) == 4);
static_assert(offsetof(OpenRequest, id) == 4);
static_assert(offsetof(OpenRequest, timeout) == 92);
static_assert(offsetof(OpenRequest, handle) == 96);

}  // namespace spelvane
