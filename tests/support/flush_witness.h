#pragma once
// Stands in for the system's disk flush while it lives, passing every flush
// on to the system: a test hears of each file flushed (after the system has
// flushed it) and answers false where a failing disk would refuse.
#include <functional>
#include <string>

#include "platform/disk_flush.h"

namespace spelvane::testing {

class FlushWitness final : public platform::DiskFlush {
public:
    explicit FlushWitness(std::function<bool(const std::string& path)> heard) : heard_(std::move(heard)) {
        platform::setDiskFlush(this);
    }
    ~FlushWitness() override { platform::setDiskFlush(nullptr); }
    FlushWitness(const FlushWitness&) = delete;
    FlushWitness& operator=(const FlushWitness&) = delete;

    bool flushFile(intptr_t handle, const std::string& path) override {
        return platform::systemDiskFlush().flushFile(handle, path) && heard_(path);
    }
    bool flushFolder(const std::string& folder) override { return platform::systemDiskFlush().flushFolder(folder); }

private:
    std::function<bool(const std::string& path)> heard_;
};

}  // namespace spelvane::testing
