#include <cstdint>
#include <string>

#include <windows.h>

namespace spelvane::platform {

bool flushFileNow(intptr_t handle) { return FlushFileBuffers(reinterpret_cast<HANDLE>(handle)) != 0; }

// Windows offers no flush of a folder: FlushFileBuffers writes the file's
// data and its metadata, and NTFS logs the new name with the latter.
bool flushFolderNow(const std::string&) { return true; }

}  // namespace spelvane::platform
