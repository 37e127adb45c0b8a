#include "platform/workstation.h"

#include <pwd.h>
#include <unistd.h>

#include <climits>

namespace spelvane::platform {

std::string computerName() {
    char name[256] = {};
    if (gethostname(name, sizeof name - 1) != 0) return {};
    return name;
}

std::string userName() {
    // The account the process runs as, before the name of the terminal's
    // login: under su or sudo the two differ, and the first did the change.
    if (const passwd* entry = getpwuid(geteuid()); entry && entry->pw_name) return entry->pw_name;
    const char* login = getlogin();
    return login ? login : "";
}

uint32_t processNumber() { return static_cast<uint32_t>(getpid()); }

}  // namespace spelvane::platform
