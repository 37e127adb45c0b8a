#pragma once
// The file operations the C library cannot do portably: creating a file
// only if it does not exist yet, and the process's current folder.
#include <string>

namespace spelvane::platform {

enum class NewFile { Created, Exists, Failed };

// Creates path as a new, empty file. A file (or anything else) already under
// that name is left alone and reported as Exists.
NewFile createNewFile(const char* path);

// The current folder as an absolute path; "" when it cannot be told.
std::string currentFolder();
// Makes folder the current one again; false when it cannot.
bool enterFolder(const std::string& folder);

}  // namespace spelvane::platform
