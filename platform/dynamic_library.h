#pragma once

namespace spelvane::platform {

// A loaded shared library. On Windows the name is handed to LoadLibraryA as
// is. On POSIX systems a name ending in ".dll" is looked up as "lib<base>.so",
// first beside the running executable, then on the loader's search path, so
// that the same "qzsd7.dll" finds the simulator on Linux.
class DynamicLibrary {
public:
    DynamicLibrary() = default;
    ~DynamicLibrary() { close(); }
    DynamicLibrary(const DynamicLibrary&) = delete;
    DynamicLibrary& operator=(const DynamicLibrary&) = delete;

    bool open(const char* name);
    void* symbol(const char* name) const;  // code or data export, or null
    void close();
    bool isOpen() const { return module_ != nullptr; }

private:
    void* module_ = nullptr;
};

}  // namespace spelvane::platform
