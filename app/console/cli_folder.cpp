#include "app/console/cli_folder.h"

#include "platform/files.h"
#include "platform/workstation_folder.h"

namespace spelvane::cli {

bool enterRequestedFolder(const Request& request, std::string& error) {
    std::string folder = request.folder;
    if (request.workstation) {
        // A copy unpacked from the zip has no workstation folder: it keeps
        // its backups beside itself, as the dialog started there would.
        folder = platform::workstationFolder();
        if (!platform::folderExists(folder)) folder = platform::programFolder();
        if (folder.empty()) {
            error = "--workstation: neither the workstation folder nor this program's folder can be told";
            return false;
        }
    }
    if (folder.empty()) return true;
    if (!platform::folderExists(folder)) {
        error = "cannot run in " + folder + ": no such folder";
        return false;
    }
    if (!platform::enterFolder(folder)) {
        error = "cannot run in " + folder + ": the folder cannot be entered";
        return false;
    }
    return true;
}

}  // namespace spelvane::cli
