#pragma once
// Who and where: the names the change history records with every command.
#include <cstdint>
#include <string>

namespace spelvane::platform {

// The workstation's name (GetComputerName, gethostname); "" when unknown.
std::string computerName();
// The name of the user the program runs as (GetUserName, the login name);
// "" when unknown.
std::string userName();
// This process's id: unique among the programs running at the same time.
uint32_t processNumber();
// What the system tells of the process numbered process.
enum class ProcessLook {
    Ended,   // no such process runs now (one whose handle a program still holds has ended too)
    Began,   // it runs: calendarTime says when it began
    Denied,  // one runs, but this program may not ask it (another account's or session's)
};
// When the process numbered process began, as calendar time (whole seconds
// since 1970, UTC). A number is given again once its process ends: the
// time tells the later program from the one that had it before.
ProcessLook processStartTime(uint32_t process, int64_t& calendarTime);
// The same question, as a seam the tests replace.
using ProcessLookup = ProcessLook (*)(uint32_t process, int64_t& calendarTime);

}  // namespace spelvane::platform
