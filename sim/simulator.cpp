#include "sim/simulator.h"

#include <algorithm>
#include <cinttypes>
#include <cstring>

namespace qzsim {

using spelvane::CloseRequest;
using spelvane::DeviceInfo;
using spelvane::EnumerateRequest;
using spelvane::ErrorSetRequest;
using spelvane::ErrorTextRequest;
using spelvane::OpenRequest;
using spelvane::ReadRequest;
using spelvane::WriteRequest;

namespace {

constexpr char kIdMagic[4] = {'Q', 'Z', 'S', 'M'};
constexpr uint32_t kRecordSize = 20;  // request records in the 32-bit layout

// '*' stands for any run of characters, '?' for one.
bool globMatch(const char* pattern, const char* text) {
    if (*pattern == '\0') return *text == '\0';
    if (*pattern == '*') return globMatch(pattern + 1, text) || (*text && globMatch(pattern, text + 1));
    if (*text == '\0') return false;
    return (*pattern == '?' || *pattern == *text) && globMatch(pattern + 1, text + 1);
}

std::string boundedString(const void* bytes, size_t capacity) {
    const char* text = static_cast<const char*>(bytes);
    return std::string(text, strnlen(text, capacity));
}

std::string hexText(uint32_t value) {
    char text[16];
    snprintf(text, sizeof(text), "0x%08" PRIx32, value);
    return text;
}

bool acceptedRecordSize(uint32_t size, size_t nativeSize) {
    return size == kRecordSize || size == nativeSize;
}

std::string describeErrno(int32_t code) {
    switch (code) {
        case 2: return "No such file or directory";
        case 12: return "Out of memory";
        case 19: return "No such device";
        case 22: return "Invalid argument";
        default: return "Error " + std::to_string(code);
    }
}

size_t lightOffset(unsigned lightNumber) {
    return kLightOffset + (lightNumber - 1) * kLightRecordSize;
}

}  // namespace

Simulator::Simulator() = default;
Simulator::~Simulator() = default;

int32_t Simulator::call(uint32_t handle, uint32_t functionCode, void* params) {
    int64_t started = monotonicMicroseconds();
    Guard guard(lock_);
    // A fresh configuration path (a new test, another set-up) is read at
    // once, so even the version announcement lands in its trace; problems
    // with the file are reported by enumeration and open.
    if (!configLoaded_ || configPath() != config_.path) loadConfig();
    TraceLine line;
    line.handle = handle;
    line.functionCode = functionCode;
    int32_t result = dispatch(handle, functionCode, params, line);
    writeTrace(started, line, result);
    return result;
}

int32_t Simulator::dispatch(uint32_t handle, uint32_t functionCode, void* params,
                            TraceLine& trace) {
    const bool errorQuery = functionCode == spelvane::kErrorText || functionCode == spelvane::kErrorTextWide;
    if (!params && errorQuery) return 0;  // a query leaves the last error for the next one
    if (!params) return refuse(kInvalid, "qzsim: function " + hexText(functionCode) + " without a record");
    switch (functionCode) {
        case spelvane::kAnnounceVersion: return announce(params, trace);
        case spelvane::kErrorTextWide: return errorText(params, true, trace);
        case spelvane::kErrorText: return errorText(params, false, trace);
        case spelvane::kSetError: return setError(params, trace);
        case spelvane::kCloseDevice: return close(params, trace);
        case spelvane::kEnumerate: return enumerate(params, trace);
        case spelvane::kOpenDevice: return open(params, trace);
        case spelvane::kDeviceInformation: return information(handle, params, trace);
        case spelvane::kDeviceWrite: return write(handle, params, trace);
        case spelvane::kDeviceRead: return read(handle, params, trace);
        default: return refuse(kNotImplemented, "qzsim: unknown function code " + hexText(functionCode));
    }
}

int32_t Simulator::refuse(uint32_t code, const std::string& text) {
    lastErrorCode_ = code;
    lastErrorText_ = text;
    return 0;
}

int32_t Simulator::announce(void* params, TraceLine& trace) {
    announcedVersion_ = *static_cast<const uint32_t*>(params);
    trace.value = hexText(announcedVersion_);
    return 1;
}

// The error-text queries never change the last error themselves, so that a
// caller with a bad buffer can still ask again.
int32_t Simulator::errorText(void* params, bool wide, TraceLine& trace) {
    auto* request = static_cast<ErrorTextRequest*>(params);
    trace.length = std::to_string(request->capacity);
    if (!request->buffer || request->capacity < 1) return 0;
    size_t count = std::min(lastErrorText_.size(), static_cast<size_t>(request->capacity) - 1);
    if (wide) {
        // Character by character through memcpy: nothing promises the
        // caller's buffer is aligned for 16-bit access.
        auto* buffer = static_cast<uint8_t*>(request->buffer);
        for (size_t i = 0; i <= count; ++i) {
            uint16_t character = i < count ? static_cast<unsigned char>(lastErrorText_[i]) : 0;
            memcpy(buffer + 2 * i, &character, sizeof(character));
        }
    } else {
        auto* buffer = static_cast<char*>(request->buffer);
        memcpy(buffer, lastErrorText_.data(), count);
        buffer[count] = '\0';
    }
    request->code = lastErrorCode_;
    trace.value = std::to_string(lastErrorCode_);
    trace.delivered = std::to_string(count);
    return 1;
}

int32_t Simulator::setError(void* params, TraceLine& trace) {
    const auto* request = static_cast<const ErrorSetRequest*>(params);
    trace.value = std::to_string(request->code);
    lastErrorCode_ = static_cast<uint32_t>(request->code);
    lastErrorText_ = request->text ? boundedString(request->text, 1024) : describeErrno(request->code);
    return 1;
}

int32_t Simulator::close(void* params, TraceLine& trace) {
    uint32_t handle = static_cast<const CloseRequest*>(params)->handle;
    trace.value = std::to_string(handle);
    if (handles_.erase(handle) == 0) {
        return refuse(kNoDevice, "qzsim: close of handle " + std::to_string(handle) + ", which is not open");
    }
    return 1;
}

int32_t Simulator::enumerate(void* params, TraceLine& trace) {
    auto* request = static_cast<EnumerateRequest*>(params);
    std::string pattern = boundedString(request->pattern, sizeof(request->pattern));
    trace.length = std::to_string(request->count);
    trace.data.assign(pattern.begin(), pattern.end());
    if (!loadConfig()) return refuse(configErrorCode_, configError_);
    if (config_.enumerate == EnumerateMode::fail) {
        return refuse(kIoError, "qzsim: enumeration refused (configured fault)");
    }
    if (request->count < 0 || (request->count > 0 && !request->ids)) {
        return refuse(kInvalid, "qzsim: enumeration needs a capacity and an id array");
    }
    int32_t delivered = 0;
    if (enumeratedPath_ != config_.path) {
        enumeratedPath_ = config_.path;
        enumerations_ = 0;
    }
    const bool absent = ++enumerations_ <= config_.absentEnumerations;
    if (config_.enumerate == EnumerateMode::normal && !absent) {
        auto* ids = static_cast<uint8_t*>(request->ids);
        for (size_t index = 0; index < config_.devices.size() && delivered < request->count; ++index) {
            const DeviceConfig& device = config_.devices[index];
            if (!globMatch(pattern.c_str(), device.deviceClass.c_str())) continue;
            uint8_t* id = ids + static_cast<size_t>(delivered) * spelvane::kDeviceIdSize;
            memset(id, 0, spelvane::kDeviceIdSize);
            memcpy(id, kIdMagic, sizeof(kIdMagic));
            uint32_t number = static_cast<uint32_t>(index) + 1;
            memcpy(id + 4, &number, sizeof(number));
            memcpy(id + spelvane::kDeviceNameOffset, device.name.data(), device.name.size());
            ++delivered;
        }
    }
    request->count = config_.reportCount >= 0 ? static_cast<int32_t>(config_.reportCount) : delivered;
    trace.delivered = std::to_string(request->count);
    return 1;
}

int32_t Simulator::open(void* params, TraceLine& trace) {
    auto* request = static_cast<OpenRequest*>(params);
    std::string name = boundedString(request->id + spelvane::kDeviceNameOffset,
                                     spelvane::kDeviceNameCapacity);
    trace.value = std::to_string(request->mode);
    trace.data.assign(name.begin(), name.end());
    trace.delivered = "0";
    if (!configLoaded_ && !loadConfig()) return refuse(configErrorCode_, configError_);
    if (request->mode != spelvane::kOpenMode && request->mode != spelvane::kOpenModeAlternative) {
        return refuse(kInvalid, "qzsim: unknown open mode " + std::to_string(request->mode));
    }
    uint32_t number = 0;
    memcpy(&number, request->id + 4, sizeof(number));
    if (memcmp(request->id, kIdMagic, sizeof(kIdMagic)) != 0 || number == 0 ||
        number > config_.devices.size() || config_.devices[number - 1].name != name) {
        return refuse(kNoDevice, "qzsim: no device with the id of '" + name + "'");
    }
    const DeviceConfig& config = config_.devices[number - 1];
    if (config.failOpen) return refuse(kIoError, "qzsim: open of " + name + " refused (configured fault)");

    // A second handle on the same device sees the same memory.
    std::shared_ptr<OpenDevice> device;
    for (auto& [other, open] : handles_) {
        if (open->config.imagePath == config.imagePath) device = open;
    }
    if (!device) {
        device = std::make_shared<OpenDevice>();
        device->config = config;
        device->configPath = config_.path;
        if (!loadImage(*device)) return 0;
    }
    device->requests = 0;
    device->commandCounts.clear();
    device->staged.clear();
    device->hasStaged = false;
    device->selectedLight = 0;

    while (nextHandle_ == 0 || handles_.count(nextHandle_)) ++nextHandle_;
    uint32_t handle = nextHandle_++;
    handles_[handle] = device;
    request->handle = handle;
    memcpy(request->openedId, request->id, sizeof(request->openedId));
    trace.delivered = std::to_string(handle);
    return 1;
}

bool Simulator::loadImage(OpenDevice& device) {
    const std::string& path = device.config.imagePath;
    std::vector<uint8_t> bytes;
    switch (readWholeFile(path, bytes)) {
        case ReadStatus::ok:
            if (bytes.size() != kMemorySize) {
                refuse(kIoError, "qzsim: image " + path + " holds " + std::to_string(bytes.size()) +
                                     " bytes, not " + std::to_string(kMemorySize));
                return false;
            }
            std::copy(bytes.begin(), bytes.end(), device.memory.begin());
            return true;
        case ReadStatus::missing: {
            device.memory = device.config.initialMemory;
            std::string error;
            if (!replaceFile(path, device.memory.data(), device.memory.size(), error)) {
                refuse(kIoError, "qzsim: " + error);
                return false;
            }
            return true;
        }
        case ReadStatus::failed:
            break;
    }
    refuse(kIoError, "qzsim: cannot read image " + path);
    return false;
}

std::shared_ptr<Simulator::OpenDevice> Simulator::deviceFor(uint32_t handle) {
    auto found = handles_.find(handle);
    if (found != handles_.end()) return found->second;
    refuse(kNoDevice, "qzsim: handle " + std::to_string(handle) + " is not open");
    return nullptr;
}

int32_t Simulator::information(uint32_t handle, void* params, TraceLine& trace) {
    auto device = deviceFor(handle);
    if (!device) return 0;
    auto* block = static_cast<uint8_t*>(params);
    uint32_t given;
    memcpy(&given, block, sizeof(given));
    uint32_t reported = device->config.infoSize;
    trace.length = std::to_string(given);
    if (given < sizeof(uint32_t)) {
        return refuse(kInvalid, "qzsim: information block of " + std::to_string(given) + " bytes");
    }
    memcpy(block, &reported, sizeof(reported));
    trace.delivered = std::to_string(reported);
    if (given < reported) {
        return refuse(kInvalid, "qzsim: information block of " + std::to_string(given) +
                                    " bytes is too small, " + std::to_string(reported) + " needed");
    }
    // Only the parts that fit in the reported size are filled, and a type
    // name is written whole with its terminator or not at all.
    if (reported > sizeof(uint32_t)) memset(block + 4, 0, reported - 4);
    if (reported >= spelvane::kTypeNameOffset + spelvane::kTypeNameCapacity) {
        memcpy(block + spelvane::kTypeNameOffset, device->config.typeName.data(),
               device->config.typeName.size());
    }
    if (reported >= spelvane::kDeviceVersionOffset + sizeof(uint16_t)) {
        memcpy(block + spelvane::kDeviceVersionOffset, &device->config.deviceVersion, sizeof(uint16_t));
    }
    return 1;
}

// Counts the request and tells whether a configured fault refuses it.
bool Simulator::countAndCheckFaults(OpenDevice& device, unsigned command) {
    unsigned request = ++device.requests;
    unsigned occurrence = ++device.commandCounts[command];
    const DeviceConfig& config = device.config;
    bool refused = std::find(config.failedRequests.begin(), config.failedRequests.end(), request) !=
                   config.failedRequests.end();
    for (const auto& fault : config.commandFaults) {
        if (fault.command == command && (fault.occurrence == 0 || fault.occurrence == occurrence)) {
            refused = true;
        }
    }
    if (refused) {
        refuse(kIoError, "qzsim: request " + std::to_string(request) + " (command " +
                             std::to_string(command) + ") refused (configured fault)");
    }
    return !refused;
}

// What both device requests put in the trace before anything can refuse them.
void Simulator::noteRequest(TraceLine& trace, unsigned command, unsigned value, size_t length) {
    trace.command = std::to_string(command);
    trace.value = std::to_string(value);
    trace.length = std::to_string(length);
    trace.delivered = "0";
}

int32_t Simulator::write(uint32_t handle, void* params, TraceLine& trace) {
    auto device = deviceFor(handle);
    if (!device) return 0;
    sleepMilliseconds(config_.requestDelayMs);
    const auto* request = static_cast<const WriteRequest*>(params);
    unsigned command = request->command;
    unsigned value = request->value;
    size_t length = request->length;
    noteRequest(trace, command, value, length);
    if (!acceptedRecordSize(request->size, sizeof(WriteRequest))) {
        return refuse(kInvalid, "qzsim: write record of size " + std::to_string(request->size));
    }
    if (!countAndCheckFaults(*device, command)) return 0;
    if (length > kLightRecordSize) {
        return refuse(kInvalid, "qzsim: write of " + std::to_string(length) + " bytes, at most 16");
    }
    if (length > 0 && !request->data) return refuse(kInvalid, "qzsim: write without data");
    const auto* data = static_cast<const uint8_t*>(request->data);
    if (length > 0) trace.data.assign(data, data + length);

    auto before = device->memory;
    bool changesMemory = true;
    switch (command) {
        case spelvane::kSelectLight:
        case spelvane::kStoreLight:
            if (length != 0) return refuse(kInvalid, "qzsim: command " + std::to_string(command) + " carries no data");
            if (value < 1 || value > kLightSlots) {
                return refuse(kInvalid, "qzsim: light number " + std::to_string(value) + " out of range 1.." +
                                            std::to_string(kLightSlots));
            }
            if (command == spelvane::kSelectLight) {
                device->selectedLight = value;
                changesMemory = false;
                break;
            }
            if (!device->hasStaged) return refuse(kInvalid, "qzsim: no light record written before store");
            std::copy(device->staged.begin(), device->staged.end(), device->memory.begin() + lightOffset(value));
            device->hasStaged = false;
            break;
        case spelvane::kWriteAddressList:
            std::copy(data, data + length, device->memory.begin() + kAddressListOffset);
            break;
        case spelvane::kWriteLightRecord:
            if (length == 0) return refuse(kInvalid, "qzsim: empty light record");
            device->staged.assign(data, data + length);
            device->hasStaged = true;
            changesMemory = false;
            break;
        case spelvane::kWriteHeader:
            if (length != kHeaderSize) {
                return refuse(kInvalid, "qzsim: header write of " + std::to_string(length) + " bytes, not 16");
            }
            std::copy(data, data + length, device->memory.begin() + kHeaderOffset);
            break;
        default:
            return refuse(kNotSupported, "qzsim: unknown write command " + std::to_string(command));
    }
    if (changesMemory && !persist(*device, before)) return 0;
    trace.delivered = std::to_string(length);
    return 1;
}

// Keeps memory and image in step: when the image cannot be written the
// write is refused and the memory goes back to what the image holds.
bool Simulator::persist(OpenDevice& device, const std::array<uint8_t, kMemorySize>& before) {
    size_t first = 0;
    size_t end = kMemorySize;
    while (first < end && device.memory[first] == before[first]) ++first;
    while (end > first && device.memory[end - 1] == before[end - 1]) --end;
    if (first == end) return true;
    std::string error;
    const std::string& path = device.config.imagePath;
    if (overwriteFileRange(path, first, device.memory.data() + first, end - first, error)) return true;
    // An image removed behind our back is written whole again; one that is
    // there but cannot be written refuses the request.
    std::vector<uint8_t> unused;
    if (readWholeFile(path, unused) == ReadStatus::missing &&
        replaceFile(path, device.memory.data(), device.memory.size(), error))
        return true;
    device.memory = before;
    refuse(kIoError, "qzsim: " + error);
    return false;
}

int32_t Simulator::read(uint32_t handle, void* params, TraceLine& trace) {
    auto device = deviceFor(handle);
    if (!device) return 0;
    sleepMilliseconds(config_.requestDelayMs);
    auto* request = static_cast<ReadRequest*>(params);
    unsigned command = request->command;
    unsigned value = request->value;
    size_t wanted = request->length;
    noteRequest(trace, command, value, wanted);
    if (!acceptedRecordSize(request->size, sizeof(ReadRequest))) {
        return refuse(kInvalid, "qzsim: read record of size " + std::to_string(request->size));
    }
    if (!countAndCheckFaults(*device, command)) return 0;
    if (wanted > 0 && !request->buffer) return refuse(kInvalid, "qzsim: read without a buffer");

    size_t offset = 0, delivered = 0;
    switch (command) {
        case spelvane::kReadSelectedLight:
            if (value != 144 && value != 112) {
                return refuse(kInvalid, "qzsim: light read mode " + std::to_string(value) + ", not 112 or 144");
            }
            if (device->selectedLight == 0) return refuse(kInvalid, "qzsim: light read without a selected light");
            offset = lightOffset(device->selectedLight);
            delivered = std::min(wanted, kLightRecordSize);
            break;
        case spelvane::kReadMemory:
            if (value >= kMemorySize) {
                return refuse(kInvalid, "qzsim: memory offset " + std::to_string(value) + " beyond " +
                                            std::to_string(kMemorySize) + " bytes");
            }
            offset = value;
            delivered = std::min(wanted, kMemorySize - offset);
            if (offset == kAddressListOffset && device->config.shortAddressList >= 0) {
                delivered = std::min(delivered, static_cast<size_t>(device->config.shortAddressList));
            }
            break;
        default:
            return refuse(kNotSupported, "qzsim: unknown read command " + std::to_string(command));
    }
    auto* buffer = static_cast<uint8_t*>(request->buffer);
    if (delivered > 0) std::copy_n(device->memory.begin() + offset, delivered, buffer);
    if (command == spelvane::kReadMemory) {
        for (unsigned corrupt : device->config.corruptOffsets) {
            if (corrupt >= offset && corrupt < offset + delivered) buffer[corrupt - offset] ^= 0xFF;
        }
    }
    request->length = static_cast<uint16_t>(delivered);
    trace.delivered = std::to_string(delivered);
    if (delivered > 0) trace.data.assign(buffer, buffer + delivered);
    return 1;
}

std::string Simulator::configPath() {
    std::string path = environmentVariable("QZSIM_CONFIG");
    return path.empty() ? joinPath(ownDirectory(), "qzsim.conf") : path;
}

bool Simulator::loadConfig() {
    std::string path = configPath();
    std::vector<uint8_t> bytes;
    if (readWholeFile(path, bytes) != ReadStatus::ok) {
        configLoaded_ = false;
        configErrorCode_ = kNoSuchFile;
        configError_ = "qzsim: cannot read configuration " + path;
        return false;
    }
    SimConfig fresh;
    fresh.path = path;
    std::string error;
    if (!parseConfig(std::string(bytes.begin(), bytes.end()), directoryOf(path), fresh, error)) {
        configLoaded_ = false;
        configErrorCode_ = kInvalid;
        configError_ = "qzsim: " + error;
        return false;
    }
    config_ = std::move(fresh);
    configLoaded_ = true;
    return true;
}

FILE* Simulator::TraceFile::open(const std::string& path) {
    if (file_ && path_ == path) return file_;
    release();
    file_ = fopen(path.c_str(), "a");
    if (file_) path_ = path;
    return file_;
}

void Simulator::TraceFile::release() {
    if (file_) fclose(file_);
    file_ = nullptr;
    path_.clear();
}

// Every line is flushed at once, so a reader sees it as soon as the call
// returns. The file stays open only while a device of this configuration is
// open: with none open nothing holds it (a test may remove its folder). A trace that cannot be
// written only costs the trace; requests go on.
void Simulator::writeTrace(int64_t microseconds, const TraceLine& line, int32_t result) {
    if (!configLoaded_ || config_.tracePath.empty()) {
        trace_.release();
        return;
    }
    FILE* trace = trace_.open(config_.tracePath);
    if (!trace) return;
    std::string data = line.data.empty() ? std::string("-") : std::string();
    for (uint8_t byte : line.data) {
        char hex[3];
        snprintf(hex, sizeof(hex), "%02x", byte);
        data += hex;
    }
    fprintf(trace, "t=%" PRId64 " h=%" PRIu32 " fn=%08" PRIx32 " cmd=%s value=%s len=%s out=%s data=%s result=%" PRId32,
            microseconds, line.handle, line.functionCode, line.command.c_str(), line.value.c_str(),
            line.length.c_str(), line.delivered.c_str(), data.c_str(), result);
    if (result == 0) fprintf(trace, " err=%" PRIu32, lastErrorCode_);
    fputc('\n', trace);
    fflush(trace);
    if (!deviceOpenUnderThisConfiguration()) trace_.release();
}

// Handles an earlier configuration left open (a test that did not close its
// devices) do not keep the trace of this one.
bool Simulator::deviceOpenUnderThisConfiguration() const {
    for (const auto& entry : handles_) {
        if (entry.second->configPath == config_.path) return true;
    }
    return false;
}

namespace {
// Built when the library is loaded, before any caller can reach it, and
// never destroyed; the library pins itself, so a late call during process
// exit or after the caller "unloaded" it still finds the same state.
Simulator* makeInstance() {
    pinOwnModule();
    return new Simulator;
}
Simulator* const instance = makeInstance();
}  // namespace

Simulator& simulator() { return *instance; }

}  // namespace qzsim
