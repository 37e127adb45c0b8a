#include "app/workstation_folder_action.h"

#include <vector>

#include "app/event_report.h"
#include "platform/files.h"
#include "platform/shared_folder.h"
#include "platform/workstation_folder.h"
#include "settings/history_file.h"

namespace spelvane {
namespace {

std::string joined(const std::vector<std::string>& items) {
    std::string text;
    for (const std::string& item : items) text += (text.empty() ? "" : "; ") + item;
    return text;
}

// The installer's log and a console show text in the ANSI code page: a name
// with letters it lacks is not whole there, so the line says where it is.
std::string wholeInTheEvent(const std::string& item) {
    if (platform::shownWhole(item)) return {};
    return " (the name holds letters this system's code page lacks, so it is not shown whole here; event 1008 in "
           "the Application log names it whole)";
}

}  // namespace

bool openWorkstationFolder(FolderActionLog& log) {
    const std::string folder = platform::workstationFolder();
    std::string error = "the system names no all-users application data folder";
    platform::SharedFolderReport report;
    if (folder.empty() || !platform::prepareSharedFolder(folder, kHistoryFileName, report, error)) {
        log.failure(error + wholeInTheEvent(error));
        // The installer's own message says only that the action failed.
        reportFolderAction(platform::EventType::Error, report.folder,
                           "not prepared, so the installation failed and Windows Installer rolled back what it had "
                           "changed: " + error);
        return false;
    }
    for (const std::string& item : report.leftAlone)
        log.warning("left as it is, its rights not changed: " + item + wholeInTheEvent(item));
    if (!report.historyAside.empty())
        log.warning("the history " + report.historyAside + wholeInTheEvent(report.historyAside));

    std::string what;
    if (!report.leftAlone.empty())
        what = "left as they were, not followed and their rights not changed: " + joined(report.leftAlone);
    if (!report.historyAside.empty()) what += (what.empty() ? "" : "; ") + ("the history " + report.historyAside);
    if (!what.empty())
        reportFolderAction(platform::EventType::Warning, report.folder, "prepared, and the installation went on; " + what);
    return true;
}

}  // namespace spelvane
