#pragma once
// The few operating-system services the simulator needs. It is a stand-alone
// library, so it does not link the program's platform layer.
#include <cstdint>
#include <string>
#include <vector>

namespace qzsim {

std::string environmentVariable(const char* name);  // "" when unset
std::string ownDirectory();                         // folder of this library, "" if unknown
// Keeps this library in the process until it ends, whatever the caller
// frees: its state then outlives every caller, exit handlers included.
void pinOwnModule();
std::string joinPath(const std::string& directory, const std::string& name);
bool isAbsolutePath(const std::string& path);
std::string directoryOf(const std::string& path);
int64_t monotonicMicroseconds();
void sleepMilliseconds(uint32_t milliseconds);  // returns at once for 0

enum class ReadStatus { ok, missing, failed };
ReadStatus readWholeFile(const std::string& path, std::vector<uint8_t>& bytes);

// Writes through a temporary file beside the target and renames it over the
// target, so a crash never leaves a half-written image behind.
bool replaceFile(const std::string& path, const uint8_t* bytes, size_t size, std::string& error);

// Overwrites `size` bytes at `offset` of an existing file in place. A write
// that changes memory touches at most a light record, and rewriting the whole
// image through a renamed copy each time costs more than a device request
// should; a write this small cannot be left half done by a crash of ours.
bool overwriteFileRange(const std::string& path, size_t offset, const uint8_t* bytes, size_t size,
                        std::string& error);

class Lock {
public:
    Lock();
    ~Lock();
    Lock(const Lock&) = delete;
    Lock& operator=(const Lock&) = delete;
    void lock();
    void unlock();

private:
    void* handle_;
};

class Guard {
public:
    explicit Guard(Lock& lock) : lock_(lock) { lock_.lock(); }
    ~Guard() { lock_.unlock(); }
    Guard(const Guard&) = delete;
    Guard& operator=(const Guard&) = delete;

private:
    Lock& lock_;
};

}  // namespace qzsim
