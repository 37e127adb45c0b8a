#include "tests/device/fake_library.h"

#include <algorithm>
#include <cstring>

#include "device/call_gate.h"
#include "platform/timing.h"

namespace spelvane::testing {
namespace {

FakeLibrary* active = nullptr;

template <typename Request>
void noteRequest(LibraryCall& call, const Request& request) {
    call.requestSize = request.size;
    call.command = request.command;
    call.value = request.value;
    call.length = request.length;
    call.timeout = request.timeout;
}

}  // namespace

FakeLibrary::FakeLibrary() {
    active = this;
    callGate.entry = &FakeLibrary::entry;
}

FakeLibrary::~FakeLibrary() {
    active = nullptr;
    resetCallGate();
}

std::vector<LibraryCall> FakeLibrary::callsOf(uint32_t functionCode) const {
    std::vector<LibraryCall> found;
    for (const auto& call : calls) {
        if (call.functionCode == functionCode) found.push_back(call);
    }
    return found;
}

std::vector<int32_t> FakeLibrary::recordedErrors() const {
    std::vector<int32_t> errors;
    for (const auto& call : callsOf(kSetError)) errors.push_back(call.errorCode);
    return errors;
}

int32_t FakeLibrary::entry(uint32_t handle, uint32_t functionCode, void* params) {
    return active ? active->serve(handle, functionCode, params) : 0;
}

int32_t FakeLibrary::serve(uint32_t handle, uint32_t functionCode, void* params) {
    LibraryCall call{handle, functionCode};
    timing().counter(call.counter);
    auto scripted = results.find(functionCode);
    int32_t result = scripted == results.end() ? 1 : scripted->second;

    switch (functionCode) {
    case kSetError:
        call.errorCode = static_cast<ErrorSetRequest*>(params)->code;
        break;
    case kOpenDevice: {
        auto* request = static_cast<OpenRequest*>(params);
        call.openMode = request->mode;
        call.timeout = request->timeout;
        if (result) {
            request->handle = nextHandle++;
            std::memcpy(request->openedId, request->id, kDeviceIdSize);
        }
        break;
    }
    case kEnumerate: {
        auto* request = static_cast<EnumerateRequest*>(params);
        call.value = request->count;
        auto* ids = static_cast<uint8_t*>(request->ids);
        size_t fit = std::min<size_t>(deviceNames.size(), static_cast<size_t>(request->count));
        for (size_t i = 0; i < fit; ++i) {
            auto id = deviceId(deviceNames[i]);
            std::memcpy(ids + i * kDeviceIdSize, id.data(), kDeviceIdSize);
        }
        request->count = enumerateCount.value_or(static_cast<int32_t>(fit));
        break;
    }
    case kDeviceInformation: {
        auto* block = static_cast<uint8_t*>(params);
        uint32_t given = 0;
        std::memcpy(&given, block, sizeof(given));
        call.length = static_cast<int>(given);
        if (given >= reportedInfoSize) {
            // Fill only what the block and the reported size both hold.
            size_t limit = std::min<size_t>(given, reportedInfoSize);
            size_t nameRoom = std::min<size_t>(limit > 4 ? limit - 4 : 0, 40);
            std::memset(block + 4, terminateTypeName ? 0 : 'T', nameRoom);
            std::memcpy(block + 4, typeName.data(), std::min(typeName.size(), nameRoom));
            if (limit >= 46) std::memcpy(block + 44, &deviceVersion, sizeof(deviceVersion));
        }
        uint32_t first = sizeAfterFill && given >= reportedInfoSize ? sizeAfterFill : reportedInfoSize;
        std::memcpy(block, &first, sizeof(first));
        break;
    }
    case kDeviceWrite: {
        auto* request = static_cast<WriteRequest*>(params);
        noteRequest(call, *request);
        call.data = request->data;
        break;
    }
    case kDeviceRead: {
        auto* request = static_cast<ReadRequest*>(params);
        noteRequest(call, *request);
        if (result) {
            size_t delivered = deliveredLength >= 0 ? static_cast<size_t>(deliveredLength) : request->length;
            size_t copied = std::min<size_t>(delivered, request->length);
            auto* buffer = static_cast<uint8_t*>(request->buffer);
            for (size_t i = 0; i < copied; ++i) buffer[i] = i < readBytes.size() ? readBytes[i] : 0;
            request->length = static_cast<uint16_t>(delivered);
        }
        break;
    }
    case kCloseDevice:
        call.value = static_cast<int>(static_cast<CloseRequest*>(params)->handle);
        break;
    default:
        break;
    }
    calls.push_back(call);
    return result;
}

std::vector<uint8_t> deviceId(const std::string& name) {
    std::vector<uint8_t> id(kDeviceIdSize, 0);
    id[0] = 0x4B;  // a little of the library's own numbering around the name
    id[79] = 0x99;
    size_t length = std::min(name.size(), kDeviceNameCapacity);
    std::memcpy(id.data() + kDeviceNameOffset, name.data(), length);
    return id;
}

}  // namespace spelvane::testing
