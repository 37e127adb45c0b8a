#pragma once
// A scratch working directory for tests of code that writes into the
// current directory, and whole-file helpers.
#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "platform/workstation.h"

namespace spelvane::testing {

// Moves the process into a fresh directory for the life of the object and
// removes it afterwards, so no test leaves .set files behind.
class ScratchDirectory {
public:
    ScratchDirectory() : previous_(std::filesystem::current_path()) {
        static int serial = 0;
        const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
        // The process id keeps two test programs running at once (ctest -j,
        // or two checkouts) out of each other's folders.
        std::string leaf = "spelvane-settings-" + std::string(info ? info->name() : "x") + "-" +
                           std::to_string(platform::processNumber()) + "-" + std::to_string(++serial) + "-" +
                           std::to_string(reinterpret_cast<uintptr_t>(this) & 0xFFFFF);
        path_ = std::filesystem::temp_directory_path() / leaf;
        std::filesystem::remove_all(path_);
        std::filesystem::create_directories(path_);
        std::filesystem::current_path(path_);
    }
    ~ScratchDirectory() {
        std::error_code ignored;
        std::filesystem::current_path(previous_, ignored);
        std::filesystem::remove_all(path_, ignored);
    }
    const std::filesystem::path& path() const { return path_; }

    std::vector<std::string> setFiles() const {
        std::vector<std::string> names;
        for (const auto& entry : std::filesystem::directory_iterator(path_))
            if (entry.path().extension() == ".set") names.push_back(entry.path().filename().string());
        return names;
    }

private:
    std::filesystem::path previous_;
    std::filesystem::path path_;
};

inline std::string readWholeFile(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

inline void writeWholeFile(const std::filesystem::path& path, const std::string& text) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << text;
}

}  // namespace spelvane::testing
