#pragma once
// A folder every user of the machine works in: each one adds files to it
// and appends to the one change history there, and none may alter or
// remove what another left. The package runs this, with the installer's
// rights (LocalSystem), for the workstation folder.
#include <string>

namespace spelvane::platform {

// Creates folder when it is missing, and in it the file history when that
// is missing, and gives both the rights of platform/workstation_rights.h,
// owner included, through handles to themselves: nothing a link or
// junction leads to is ever changed. Refuses a folder that is such a link
// or that an account other than SYSTEM, Administrators or this program's
// own made (a user could have prepared it), and a history that is a link
// or has a second name. False with a one-line reason when it refuses or
// cannot.
bool prepareSharedFolder(const std::string& folder, const std::string& history, std::string& error);

}  // namespace spelvane::platform
