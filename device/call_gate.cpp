#include "device/call_gate.h"

#include <cerrno>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <string>

#include "platform/dynamic_library.h"

namespace spelvane {

CallGate callGate = {unloadedEntry, "qzsd7.dll"};

namespace {

constexpr size_t kLoaderMessageSize = 256;

// Created on the first successful load and deliberately never destroyed: the
// library stays in the process until it ends, so no exit handler can find
// its code gone.
platform::DynamicLibrary* libraryModule = nullptr;
LibraryIdentity libraryIdentity;
char loaderText[kLoaderMessageSize] = "";
LibraryPathResolver pathResolver = nullptr;

// At most 255 characters and always terminated, whatever the arguments are.
void setLoaderMessage(const char* format, ...) {
    va_list arguments;
    va_start(arguments, format);
    std::vsnprintf(loaderText, kLoaderMessageSize, format, arguments);
    va_end(arguments);
}

std::string openErrorText() {
    std::string text = "qzsdldr: open error in ";
    text += callGate.libraryName ? callGate.libraryName : "";
    text += " (";
    text += loaderText;
    text += ")";
    return text;
}

// Copies text into a caller's buffer of `capacity` characters of
// `characterSize` bytes each (1 or 2), cutting it so that it always ends in a
// terminator inside the buffer. The 16-bit form widens each 8-bit byte; it is
// written byte-wise because nothing promises the buffer's alignment.
void writeTerminated(void* buffer, int32_t capacity, size_t characterSize, const std::string& text) {
    auto* bytes = static_cast<uint8_t*>(buffer);
    std::memset(bytes + (static_cast<size_t>(capacity) - 1) * characterSize, 0, characterSize);
    size_t count = text.size();
    if (count > static_cast<size_t>(capacity) - 1) count = static_cast<size_t>(capacity) - 1;
    for (size_t i = 0; i <= count; ++i) {
        uint16_t character = i < count ? static_cast<unsigned char>(text[i]) : 0;
        if (characterSize == 1) {
            bytes[i] = static_cast<uint8_t>(character);
        } else {
            std::memcpy(bytes + 2 * i, &character, sizeof(character));
        }
    }
}

// While no library is there the gate still answers the error-text queries,
// so that whoever asks learns why the library is missing.
int32_t answerErrorText(uint32_t functionCode, void* params) {
    auto* request = static_cast<ErrorTextRequest*>(params);
    if (!request || request->capacity < 1 || !request->buffer) return 0;
    size_t characterSize = functionCode == kErrorTextWide ? 2 : 1;
    request->code = kErrorNoEntry;
    writeTerminated(request->buffer, request->capacity, characterSize, openErrorText());
    return 1;
}

void forgetLibrary() {
    callGate.entry = unloadedEntry;
    if (libraryModule) {
        libraryModule->close();
        delete libraryModule;
        libraryModule = nullptr;
    }
}

}  // namespace

int32_t gateCall(uint32_t handle, uint32_t functionCode, void* params) {
    if (callGate.entry == unloadedEntry) return unloadedEntry(handle, functionCode, params);
    // A DLL the library loads by name in this call is looked for in the
    // current folder: no call is made where users may plant one.
    const platform::LibraryFolder folder;
    if (!folder.entered()) {
        errno = kErrorInvalidArgument;
        return 0;
    }
    return callGate.entry(handle, functionCode, params);
}

int32_t unloadedEntry(uint32_t handle, uint32_t functionCode, void* params) {
    loadDeviceLibrary();
    if (callGate.entry != unloadedEntry) return gateCall(handle, functionCode, params);
    if (functionCode == kErrorTextWide || functionCode == kErrorText) {
        if (answerErrorText(functionCode, params)) return 1;
    }
    errno = kErrorInvalidArgument;
    return 0;
}

bool loadDeviceLibrary() {
    const char* name = callGate.libraryName;
    const char* path = pathResolver ? pathResolver(name) : nullptr;
    auto* library = new platform::DynamicLibrary;
    if (!library->open(path ? path : name)) {
        const std::string refusal = library->refusal();
        delete library;
        if (refusal.empty()) setLoaderMessage("Could not load: %s", name);
        else setLoaderMessage("Could not load: %s: %s", name, refusal.c_str());
        return false;
    }
    libraryModule = library;
    loaderText[0] = '\0';

    auto entry = reinterpret_cast<QzCallFunction>(library->symbol("qz_call"));
    if (!entry) {
        forgetLibrary();
        setLoaderMessage("No 'qz_call' entry found.");
        return false;
    }
    callGate.entry = entry;

    libraryIdentity = LibraryIdentity{};
    libraryIdentity.path = library->path();
    const auto identify = reinterpret_cast<SimulatorIdentify>(library->symbol(kSimulatorExport));
    libraryIdentity.simulated = identify && identify() == kSimulatorWord;
    if (const void* moduleInfo = library->symbol("qzmoduleinfo")) {
        int32_t version = 0;
        std::memcpy(&version, static_cast<const uint8_t*>(moduleInfo) + kModuleInfoVersionOffset,
                    sizeof(version));
        libraryIdentity.hasVersion = true;
        libraryIdentity.version = version;
        if (version < kOldestLibraryVersion) {
            forgetLibrary();
            setLoaderMessage("Old version of %s.", name);
            return false;
        }
    }

    loaderText[0] = '\0';
    uint32_t expected = kInterfaceVersion;
    gateCall(0, kAnnounceVersion, &expected);
    return true;
}

void setDeviceError(int32_t kind, int32_t code, const char* text, int32_t extra) {
    ErrorSetRequest request;
    request.kind = kind;
    request.code = code;
    request.text = text;
    request.extra = text ? extra : 0;
    gateCall(0, kSetError, &request);
}

const char* loaderMessage() { return loaderText; }

bool ensureDeviceLibrary() { return callGate.entry != unloadedEntry || loadDeviceLibrary(); }

bool loadedLibrary(LibraryIdentity& identity) {
    if (callGate.entry == unloadedEntry || !libraryModule) return false;
    identity = libraryIdentity;
    return true;
}

void resetCallGate() {
    forgetLibrary();
    loaderText[0] = '\0';
}

void setLibraryPathResolver(LibraryPathResolver resolver) { pathResolver = resolver; }

}  // namespace spelvane
