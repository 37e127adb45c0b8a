#pragma once
// Why a file could not be opened, read, written or flushed, in words an
// operator can act on.

#include <string>

namespace spelvane::platform {

enum class FileFault { None, InUse, ReadOnly, Denied, DiskFull, Folder, Missing, Unreachable, Other };

// "it is in use by another program", "it is read-only", "access is denied",
// "the disk is full", "it is a folder, not a file", "it does not exist",
// "its computer or share cannot be reached", "the system refused it"; ""
// for None.
const char* describeFileFault(FileFault fault);

// What every command says of a file it could not open: the whole path it
// tried (a relative one taken against the current folder) and why, e.g.
// "cannot open C:\ProgramData\Spelvane\golden.set: it does not exist".
// verb: "open", "read".
std::string fileFaultMessage(const char* verb, const std::string& path, FileFault fault);

}  // namespace spelvane::platform
