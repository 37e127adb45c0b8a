#pragma once
// A folder every user of the machine works in: each one adds files to it
// and appends to the one change history there, and none may alter or
// remove what another left. The package runs this, with the installer's
// rights (LocalSystem), for the workstation folder.
#include <string>
#include <vector>

namespace spelvane::platform {

// What was asked of the system for one object: its rights as the system
// writes them back (SDDL) and which parts were set (the system's
// SECURITY_INFORMATION bits on Windows). Kept so that a test sees what the
// action set where the file system stores no rights (Wine).
struct RightsRequest {
    std::string path;
    std::string rights;
    unsigned long parts = 0;
};

// Every name and reason here is in UTF-8 on Windows, where the names come
// from the wide functions and may hold letters the ANSI code page lacks.
struct SharedFolderReport {
    // The folder as a full path; "" until it is named.
    std::string folder;
    // "path: why" for each link or second name that was neither followed
    // nor given rights, and each object below the folder that could not be
    // opened: the installation goes on without them.
    std::vector<std::string> leftAlone;
    // Where a history that was not the installer's own went ("" when the
    // history was kept or made anew).
    std::string historyAside;
    std::vector<RightsRequest> requests;
};

// Creates folder when it is missing, with the folder's rights from the
// call that makes it, and in it the file history when that is missing, and
// gives the folder, everything in it and the history the rights of
// platform/workstation_rights.h through handles to themselves, one object
// at a time: nothing a link or junction leads to, and no file with a
// second name elsewhere, is ever changed. Below the folder nothing is
// reached by its path: each folder is listed through the handle it was
// checked by and each object in it opened relative to that handle, so a
// folder swapped for a junction after its check leads nowhere new. A history that is a link,
// has a second name or another account's is renamed aside and a new one
// made. Refuses a folder that is itself such a link, that is a file, or
// that an account other than SYSTEM, Administrators or this program's own
// made (a user could have prepared it). False with a one-line reason
// (UTF-8, as the report) when it refuses or cannot.
bool prepareSharedFolder(const std::string& folder, const std::string& history, SharedFolderReport& report,
                         std::string& error);

// Told of each object the walk opens on Windows, once it is open and
// before anything in it is listed: name within parent, the folder (as a
// full path, UTF-8) through whose handle it was opened; parent "" for the
// folder itself, the one object opened by its path. A seam for tests, which
// may change the tree meanwhile; null (the default) tells nobody.
class WalkWitness {
public:
    virtual ~WalkWitness() = default;
    virtual void opened(const std::string& parent, const std::string& name) = 0;
};
void setWalkWitness(WalkWitness* witness);

}  // namespace spelvane::platform
