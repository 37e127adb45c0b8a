#pragma once
// A folder every user of the machine works in: each one adds files to it
// and writes to the files others created there (one change history for
// the workstation), and none may remove what another left. The package
// runs this, with the installer's rights, for the workstation folder.
#include <string>

namespace spelvane::platform {

// Creates folder when it is missing and grants, by well-known SID (group
// names differ with the system's language): Users may list it, add files
// and read and write every file in it, never delete one; the creator of a
// file, SYSTEM and Administrators have full control. Files already there
// take the rights too. False with a one-line reason when it cannot.
bool openFolderToAllUsers(const std::string& folder, std::string& error);

}  // namespace spelvane::platform
