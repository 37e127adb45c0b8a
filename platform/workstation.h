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
// When the process numbered process began, as calendar time (whole seconds
// since 1970, UTC): false when no such process runs now, or it cannot be
// told. A number is given again once its process ends: the time tells the
// later program from the one that had it before.
bool processStartTime(uint32_t process, int64_t& calendarTime);

}  // namespace spelvane::platform
