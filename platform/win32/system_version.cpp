#include "platform/system_version.h"

#include <windows.h>

#include <cstdio>

namespace spelvane::platform {

std::string systemVersion() {
    OSVERSIONINFOA info{};
    info.dwOSVersionInfoSize = sizeof info;
    if (!GetVersionExA(&info)) return std::string();
    char text[256];
    std::snprintf(text, sizeof text, "Windows %lu.%lu (build %lu%s%s)", info.dwMajorVersion, info.dwMinorVersion,
                  info.dwBuildNumber & 0xffff, info.szCSDVersion[0] ? ", " : "", info.szCSDVersion);
    return text;
}

}  // namespace spelvane::platform
