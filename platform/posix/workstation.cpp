#include "platform/workstation.h"

#include <pwd.h>
#include <unistd.h>

#include <climits>
#include <fstream>
#include <sstream>
#include <string>

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

// /proc/<id>/stat gives the start in clock ticks after the boot, whose
// calendar time /proc/stat gives. A process that ended and was not yet
// reaped (a zombie) runs no more. A folder whose stat cannot be read is a
// process this program may not ask.
ProcessLook processStartTime(uint32_t process, int64_t& calendarTime) {
    const std::string folder = "/proc/" + std::to_string(process);
    std::ifstream stat(folder + "/stat");
    std::string text;
    if (!std::getline(stat, text)) return access(folder.c_str(), F_OK) == 0 ? ProcessLook::Denied : ProcessLook::Ended;
    // The name in parentheses may hold blanks and parentheses itself.
    const size_t nameEnd = text.rfind(')');
    if (nameEnd == std::string::npos) return ProcessLook::Denied;
    std::istringstream fields(text.substr(nameEnd + 1));
    std::string state;
    fields >> state;
    if (state == "Z" || state == "X") return ProcessLook::Ended;
    // Fields 4 to 21 lie between the state (3) and the start time (22).
    std::string skipped;
    for (int field = 4; field < 22; ++field) fields >> skipped;
    unsigned long long ticks = 0;
    if (!(fields >> ticks)) return ProcessLook::Denied;
    std::ifstream system("/proc/stat");
    std::string line;
    long long boot = -1;
    while (std::getline(system, line))
        if (line.rfind("btime ", 0) == 0) boot = std::stoll(line.substr(6));
    const long perSecond = sysconf(_SC_CLK_TCK);
    if (boot < 0 || perSecond <= 0) return ProcessLook::Denied;
    calendarTime = boot + static_cast<int64_t>(ticks / static_cast<unsigned long long>(perSecond));
    return ProcessLook::Began;
}

}  // namespace spelvane::platform
