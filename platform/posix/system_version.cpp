#include "platform/system_version.h"

#include <sys/utsname.h>

namespace spelvane::platform {

std::string systemVersion() {
    struct utsname name {};
    if (uname(&name) != 0) return std::string();
    return std::string(name.sysname) + " " + name.release;
}

}  // namespace spelvane::platform
