#pragma once
// The process's current folder, which the C library cannot tell portably.
#include <string>

namespace spelvane::platform {

// The current folder as an absolute path; "" when it cannot be told.
std::string currentFolder();
// Makes folder the current one again; false when it cannot.
bool enterFolder(const std::string& folder);

}  // namespace spelvane::platform
