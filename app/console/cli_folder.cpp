#include "app/console/cli_folder.h"

#include <string>
#include <vector>

#include "app/console/cli_session.h"
#include "app/event_report.h"
#include "platform/files.h"
#include "platform/shared_folder.h"
#include "platform/workstation_folder.h"
#include "settings/history_file.h"

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

int openWorkstationFolder() {
    const std::string folder = platform::workstationFolder();
    std::string error = "the system names no all-users application data folder";
    if (folder.empty() || !platform::prepareSharedFolder(folder, kHistoryFileName, error)) {
        fail("%s", error.c_str());
        // The installer shows only that the action failed: the log keeps why.
        std::vector<std::string> inserts(7);
        inserts[6] = error;
        platform::reportEvent(kEventSource, platform::EventType::Error, kEventFolderRefused, inserts);
        return kBackupFailed;
    }
    return kDone;
}

}  // namespace spelvane::cli
