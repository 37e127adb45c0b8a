#include "app/console/cli_folder.h"

#include <cstdio>
#include <string>

#include "app/console/cli_session.h"
#include "app/workstation_folder_action.h"
#include "platform/files.h"
#include "platform/workstation_folder.h"

namespace spelvane::cli {

std::string workstationFolderInUse() {
    // A copy unpacked from the zip has no workstation folder: it keeps its
    // backups beside itself, as the dialog started there would.
    const std::string folder = platform::workstationFolder();
    return platform::folderExists(folder) ? folder : platform::programFolder();
}

bool enterRequestedFolder(const Request& request, std::string& error) {
    std::string folder = request.folder;
    if (request.workstation) {
        folder = workstationFolderInUse();
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

namespace {

// Standard error in the ANSI code page, as a console shows it.
class StandardErrorLog : public FolderActionLog {
public:
    void warning(const std::string& line) override {
        std::fprintf(stderr, "spelvane-cli: warning: %s\n", platform::folderAsShown(line).c_str());
    }
    void failure(const std::string& line) override { fail("%s", platform::folderAsShown(line).c_str()); }
};

}  // namespace

int openWorkstationFolder() {
    StandardErrorLog log;
    return spelvane::openWorkstationFolder(log) ? kDone : kBackupFailed;
}

}  // namespace spelvane::cli
