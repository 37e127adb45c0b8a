#pragma once
// The file operations the C library cannot do portably: the process's
// current folder (and, in output_file.h, creating a file only if it does not
// exist yet).
#include <string>

namespace spelvane::platform {

enum class NewFile { Created, Exists, Failed };

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
// A kept folder name in the characters texts use (a box, the log).
std::string folderAsShown(const std::string& kept);

}  // namespace spelvane::platform
