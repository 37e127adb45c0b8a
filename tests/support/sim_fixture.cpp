#include "tests/support/sim_fixture.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

#ifdef _WIN32
#include <windows.h>
#else
#include <unistd.h>
#endif

namespace fs = std::filesystem;

namespace spelvane::testing {
namespace {

constexpr const char* kConfigVariable = "QZSIM_CONFIG";
constexpr size_t kMemorySize = 256;

// The simulator on Windows reads the variable with GetEnvironmentVariableA,
// which does not see changes made through the C runtime's putenv.
bool readVariable(std::string& value) {
#ifdef _WIN32
    char buffer[1024];
    DWORD length = GetEnvironmentVariableA(kConfigVariable, buffer, sizeof(buffer));
    if (length == 0 || length >= sizeof(buffer)) return false;
    value.assign(buffer, length);
    return true;
#else
    const char* current = getenv(kConfigVariable);
    if (!current) return false;
    value = current;
    return true;
#endif
}

void writeVariable(const std::string* value) {
#ifdef _WIN32
    SetEnvironmentVariableA(kConfigVariable, value ? value->c_str() : nullptr);
#else
    if (value) setenv(kConfigVariable, value->c_str(), 1);
    else unsetenv(kConfigVariable);
#endif
}

std::string executableDirectory() {
#ifdef _WIN32
    char path[MAX_PATH + 1];
    DWORD length = GetModuleFileNameA(nullptr, path, MAX_PATH);
    return fs::path(std::string(path, length)).parent_path().string();
#else
    return fs::read_symlink("/proc/self/exe").parent_path().string();
#endif
}

std::vector<uint8_t> readBytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

void writeBytes(const fs::path& path, const void* bytes, size_t size) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(static_cast<const char*>(bytes), static_cast<std::streamsize>(size));
    if (!out) ADD_FAILURE() << "cannot write " << path.string();
}

}  // namespace

std::vector<uint8_t> makeMemory(const MemoryLayout& layout) {
    std::vector<uint8_t> memory(kMemorySize, 0);
    memory[0] = 'W';
    memory[1] = 'I';
    memory[2] = 'Q';
    if (layout.halfClock) {
        memory[3] |= 0x40;
        memory[13] |= 0x01;
    }
    memory[4] = static_cast<uint8_t>(layout.addresses.size());
    memory[5] = static_cast<uint8_t>(layout.lights.size());
    for (size_t i = 0; i < layout.addresses.size() && i < 16; ++i) memory[16 + i] = layout.addresses[i];
    for (size_t light = 0; light < layout.lights.size() && light < 14; ++light) {
        const auto& words = layout.lights[light];
        for (size_t word = 0; word < words.size() && word < 8; ++word) {
            const size_t at = 32 + 16 * light + 2 * word;
            memory[at] = static_cast<uint8_t>(words[word] & 0xFF);
            memory[at + 1] = static_cast<uint8_t>(words[word] >> 8);
        }
    }
    return memory;
}

std::string variantLibraryPath(const std::string& variant) {
#ifdef _WIN32
    const char* file = "qzsd7.dll";
#else
    const char* file = "libqzsd7.so";
#endif
    return (fs::path(executableDirectory()) / "variants" / variant / file).string();
}

std::string shippedConfigPath(const std::string& file) {
    return (fs::path(executableDirectory()) / file).string();
}

SimulatedReader::SimulatedReader() {
    static unsigned sequence = 0;
    const auto stamp = std::chrono::steady_clock::now().time_since_epoch().count();
#ifdef _WIN32
    const unsigned long process = GetCurrentProcessId();
#else
    const unsigned long process = static_cast<unsigned long>(getpid());
#endif
    std::error_code error;
    for (int attempt = 0; attempt < 100; ++attempt) {
        fs::path candidate = fs::temp_directory_path(error) /
                             ("spelvane-sim-" + std::to_string(process) + "-" +
                              std::to_string(++sequence) + "-" + std::to_string(stamp % 1000000));
        if (fs::create_directory(candidate, error)) {
            directory_ = candidate.string();
            return;
        }
    }
    ADD_FAILURE() << "cannot create a directory for the simulated reader";
}

SimulatedReader::~SimulatedReader() {
    if (applied_) writeVariable(hadPrevious_ ? &previousConfig_ : nullptr);
    std::error_code error;
    if (!directory_.empty()) fs::remove_all(directory_, error);
}

int SimulatedReader::addDevice(const SimDevice& device) {
    devices_.push_back(device);
    return static_cast<int>(devices_.size()) - 1;
}

void SimulatedReader::addGlobalLine(const std::string& line) { globals_.push_back(line); }

void SimulatedReader::enableTrace() { trace_ = true; }

void SimulatedReader::setDeviceLines(int device, const std::vector<std::string>& lines) {
    devices_.at(static_cast<size_t>(device)).extraLines = lines;
}

std::string SimulatedReader::configText() const {
    std::ostringstream text;
    text << "# written by the test fixture\n";
    if (trace_) text << "trace = trace.log\n";
    for (const auto& line : globals_) text << line << "\n";
    for (size_t i = 0; i < devices_.size(); ++i) {
        const SimDevice& device = devices_[i];
        text << "\n[device]\n"
             << "name = " << device.name << "\n"
             << "type = " << device.typeName << "\n"
             << "version = " << device.deviceVersion << "\n"
             << "image = device" << i << ".img\n";
        for (const auto& line : device.extraLines) text << line << "\n";
    }
    return text.str();
}

void SimulatedReader::apply() {
    const fs::path directory(directory_);
    const std::string text = configText();
    writeBytes(directory / "qzsim.conf", text.data(), text.size());
    for (size_t i = 0; i < devices_.size(); ++i) {
        const std::string image = imagePath(static_cast<int>(i));
        if (!devices_[i].memory.empty() && !fs::exists(image)) {
            writeBytes(image, devices_[i].memory.data(), devices_[i].memory.size());
        }
    }
    if (!applied_) hadPrevious_ = readVariable(previousConfig_);
    applied_ = true;
    const std::string config = (directory / "qzsim.conf").string();
    writeVariable(&config);
}

void SimulatedReader::applyConfigFile(const std::string& path) {
    apply();
    const std::vector<uint8_t> text = readBytes(path);
    if (text.empty()) ADD_FAILURE() << "cannot read " << path;
    writeBytes(fs::path(directory_) / "qzsim.conf", text.data(), text.size());
}

std::string SimulatedReader::directory() const { return directory_; }

std::string SimulatedReader::imagePath(int device) const {
    return (fs::path(directory_) / ("device" + std::to_string(device) + ".img")).string();
}

std::string SimulatedReader::tracePath() const { return (fs::path(directory_) / "trace.log").string(); }

std::vector<uint8_t> SimulatedReader::memory(int device) const { return readBytes(imagePath(device)); }

std::vector<TraceRecord> SimulatedReader::trace() const {
    std::vector<TraceRecord> records;
    std::ifstream in(tracePath());
    std::string line;
    while (std::getline(in, line)) {
        TraceRecord record;
        if (parseTraceLine(line, record)) records.push_back(record);
        else ADD_FAILURE() << "not a trace line: " << line;
    }
    return records;
}

}  // namespace spelvane::testing
