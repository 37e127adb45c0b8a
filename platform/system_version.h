#pragma once
// The operating system a program runs on, as a health check names it.
#include <string>

namespace spelvane::platform {

// "Windows 5.0 (build 2195, Service Pack 4)", "Linux 6.1.0"; "" when unknown.
std::string systemVersion();

}  // namespace spelvane::platform
