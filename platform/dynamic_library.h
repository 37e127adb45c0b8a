#pragma once
#include <string>

namespace spelvane::platform {

// A loaded shared library. On Windows a bare file name is looked for in the
// folders of platform/library_search.h, never in the current folder, and the
// first file found there is loaded by its full path; a name with a folder is
// loaded as given. On POSIX systems a name ending in ".dll" is looked up as
// "lib<base>.so", first beside the running executable, then on the loader's
// search path, so that the same "qzsd7.dll" finds the simulator on Linux.
class DynamicLibrary {
public:
    DynamicLibrary() = default;
    ~DynamicLibrary() { close(); }
    DynamicLibrary(const DynamicLibrary&) = delete;
    DynamicLibrary& operator=(const DynamicLibrary&) = delete;

    bool open(const char* name);
    void* symbol(const char* name) const;  // code or data export, or null
    void close();
    // The file the system loaded, as it names it; "" when none is loaded.
    std::string path() const;
    bool isOpen() const { return module_ != nullptr; }

private:
    void* module_ = nullptr;
};

}  // namespace spelvane::platform
