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

}  // namespace spelvane::platform
