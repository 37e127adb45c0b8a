#pragma once
// A small file written anew without a moment in which it is missing or half
// written: the new text goes to a file beside it, which then takes its name.
#include <string>

namespace spelvane::platform {

// Puts from in place of to (to may exist), on disk when it returns true.
bool replaceFile(const std::string& from, const std::string& to);
// Removes path; true also when it was not there.
bool removeFile(const std::string& path);

}  // namespace spelvane::platform
