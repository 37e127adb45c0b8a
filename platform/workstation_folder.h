#pragma once
// The folder a workstation's backups and change history share: "Spelvane"
// in the all-users application data folder ("All Users\Application Data"
// on Windows 2000 and XP, C:\ProgramData from Vista on). The package
// creates it and opens it to every user; the Start menu shortcut and
// spelvane-cli --workstation run there.
#include <string>

namespace spelvane::platform {

// The workstation folder's path, whether it exists or not; "" when the
// system does not name an all-users application data folder. The POSIX
// build takes SPELVANE_WORKSTATION_DIR, else /var/lib/spelvane.
std::string workstationFolder();

// The folder of the running program's file; "" when it cannot be told.
std::string programFolder();

// True when path names an existing folder.
bool folderExists(const std::string& path);

}  // namespace spelvane::platform
