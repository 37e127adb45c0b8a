#pragma once
// The installer's work on the workstation folder: create it and its history
// and open them to every user of the machine (platform/shared_folder.h), or
// refuse a folder someone else prepared. The package's custom action runs
// it inside the installation, with the installer's log to write to;
// spelvane-cli --open-workstation-folder runs the same for an
// administrator at the command line.
#include <string>

namespace spelvane {

// Where the action's lines go as it finds them: the installer's log, or
// standard error. Every line is in UTF-8, names with letters outside the
// ANSI code page as they are.
class FolderActionLog {
public:
    virtual ~FolderActionLog() = default;
    // Something left as it was: the installation goes on.
    virtual void warning(const std::string& line) = 0;
    // Why the folder was refused or could not be prepared: the installation
    // fails.
    virtual void failure(const std::string& line) = 0;
};

// Prepares the workstation folder; each link or second name left alone
// and a history put aside is a warning line, and all of them one warning
// event 1008; a refusal is a failure line and an error event 1008. False
// when the folder was refused or could not be prepared.
bool openWorkstationFolder(FolderActionLog& log);

}  // namespace spelvane
