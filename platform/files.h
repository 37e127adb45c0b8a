#pragma once
// The process's current folder, which the C library cannot tell portably.
#include <string>

namespace spelvane::platform {

// The current folder as an absolute path, in the characters the system's
// other file names and texts use (the ANSI code page on Windows); "" when it
// cannot be told.
std::string currentFolder();
// Makes folder, named that way, the current one; false when it cannot.
bool enterFolder(const std::string& folder);

// The current folder as an absolute path, kept whole whatever letters its
// name holds (UTF-8 on Windows, where the ANSI code page would turn letters
// outside it, a Cyrillic folder on a Western Windows, into '?'), and the
// way back into it; "" / false when it cannot be told or entered.
std::string currentFolderKept();
bool enterFolderKept(const std::string& folder);
// path as the system would open it: a relative one joined to the current
// folder (on Windows as GetFullPathName forms it, UNC paths kept); "" when
// it cannot be told.
std::string wholePath(const std::string& path);
// A file named within folder, joined by the system's separator.
std::string pathInFolder(const std::string& folder, const std::string& name);

// A kept folder name in the characters texts use (a box, the log).
std::string folderAsShown(const std::string& kept);
// Whether folderAsShown gives every letter of kept as it is: false when the
// ANSI code page lacks one (always true outside Windows).
bool shownWhole(const std::string& kept);

}  // namespace spelvane::platform
