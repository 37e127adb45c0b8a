#include "app/console/cli_folder.h"

#include <cstdio>
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

namespace {

void reportFolderEvent(platform::EventType type, const std::string& folder, const std::string& what) {
    const ChangeEvent event = folderActionEvent(type, folder, what);
    platform::reportEvent(kEventSource, event.type, event.id, event.strings);
}

// What was left as it was, one line each: the installer shows only the
// action's status, so standard error and the event log keep the names.
std::string leftAloneText(const platform::SharedFolderReport& report) {
    std::string text;
    for (const std::string& item : report.leftAlone) {
        std::fprintf(stderr, "spelvane-cli: warning: left as it is, its rights not changed: %s\n", item.c_str());
        text += (text.empty() ? "" : "; ") + item;
    }
    if (!report.historyAside.empty())
        std::fprintf(stderr, "spelvane-cli: warning: the history %s\n", report.historyAside.c_str());
    std::string what;
    if (!text.empty()) what = "left as they were, not followed and their rights not changed: " + text;
    if (!report.historyAside.empty()) what += (what.empty() ? "" : "; ") + ("the history " + report.historyAside);
    return what;
}

}  // namespace

int openWorkstationFolder() {
    const std::string folder = platform::workstationFolder();
    std::string error = "the system names no all-users application data folder";
    platform::SharedFolderReport report;
    if (folder.empty() || !platform::prepareSharedFolder(folder, kHistoryFileName, report, error)) {
        fail("%s", error.c_str());
        // The installer shows only that the action failed: the log keeps why.
        reportFolderEvent(platform::EventType::Error, folder,
                          "not prepared, so the installation failed and Windows Installer rolled back what it had "
                          "changed: " + error);
        return kBackupFailed;
    }
    const std::string what = leftAloneText(report);
    if (!what.empty())
        reportFolderEvent(platform::EventType::Warning, folder, "prepared, and the installation went on; " + what);
    return kDone;
}

}  // namespace spelvane::cli
