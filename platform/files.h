#pragma once
// The file operations the C library cannot do portably: the process's
// current folder (and, in output_file.h, creating a file only if it does not
// exist yet).
#include <string>

namespace spelvane::platform {

enum class NewFile { Created, Exists, Failed };

// The current folder as an absolute path (UTF-8 on Windows); "" when it
// cannot be told.
std::string currentFolder();
// Makes folder the current one again; false when it cannot.
bool enterFolder(const std::string& folder);

}  // namespace spelvane::platform
