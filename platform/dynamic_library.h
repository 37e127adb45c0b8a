#pragma once
#include <string>

namespace spelvane::platform {

// A loaded shared library. On Windows a bare file name is looked for in the
// folders of platform/library_search.h, never in the current folder, and the
// first file found there is loaded by its full path; a name with a folder is
// made whole against the current folder before anything moves, then loaded.
// Either way the load runs under a LibraryFolder. On POSIX systems a name
// ending in ".dll" is looked up as "lib<base>.so", first beside the running
// executable, then on the loader's search path, so that the same "qzsd7.dll"
// finds the simulator on Linux.
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
    // Why the last open refused a library it could have loaded (its path
    // could not be made whole, or no safe current folder could be had);
    // "" when it loaded, or when there was simply none to load.
    const std::string& refusal() const { return refusal_; }

private:
    void* module_ = nullptr;
    std::string refusal_;
};

// While one is alive the program's own folder, which only administrators
// may write to, is the process's current folder; the one before comes back
// at its end. The device library is loaded and every call into it made
// under one: a DLL it loads by name is looked for in the current folder
// before PATH, on Windows 2000 always (SetDllDirectoryW, which takes the
// current folder out, came with XP SP1), and the folder a program starts in,
// the workstation folder too, is one every user may add files to. Nothing
// to do on POSIX systems, whose loader never looks in the current folder.
class LibraryFolder {
public:
    LibraryFolder();
    ~LibraryFolder();
    LibraryFolder(const LibraryFolder&) = delete;
    LibraryFolder& operator=(const LibraryFolder&) = delete;

    bool entered() const { return refusal_.empty(); }
    // Why the program's folder could not be made current.
    const std::string& refusal() const { return refusal_; }

private:
    std::string refusal_;
};

// Whether DynamicLibrary::open looks up SetDllDirectoryW to take the
// current folder out of the system's search; tests turn it off to stand for
// Windows 2000, which lacks the call. On by default.
void lookUpDllDirectoryCall(bool on);

}  // namespace spelvane::platform
