#pragma once
// Where a library asked for by its bare file name is looked for: the order
// Windows itself uses (the program's folder, the system folder, the 16-bit
// system folder "System" in the Windows folder, the Windows folder, the
// folders on PATH), but never the current folder. A file planted
// in whatever folder the program was started from must not run in our
// process, and on Windows 2000 there is no call that takes the current
// folder out of the system's own search (SetDllDirectory came with XP SP1).
#include <string>
#include <vector>

namespace spelvane::platform {

// The folders as the system reports them; an empty one is not searched.
struct LibrarySearchFolders {
    std::string program;
    std::string system;
    std::string windows;
    std::string pathVariable;  // PATH as it is, folders separated by ';'
};

// The full paths to try, in order. Only absolute folders from PATH count (a
// drive letter and a separator, or a UNC name): "." or a relative entry
// would be the current folder again. Quotes around an entry are dropped, a
// folder named twice is tried once, and a path longer than the system's
// limit is left out. Every path comes with backslashes only.
std::vector<std::string> libraryCandidates(const std::string& fileName, const LibrarySearchFolders& folders);

bool isAbsoluteWindowsFolder(const std::string& folder);

}  // namespace spelvane::platform
