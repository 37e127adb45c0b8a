#pragma once
// Why a file could not be opened, read, written or flushed, in words an
// operator can act on.

namespace spelvane::platform {

enum class FileFault { None, InUse, ReadOnly, Denied, DiskFull, Folder, Other };

// "it is in use by another program", "it is read-only", "access is denied",
// "the disk is full", "it is a folder, not a file", "the system refused it";
// "" for None.
const char* describeFileFault(FileFault fault);

}  // namespace spelvane::platform
