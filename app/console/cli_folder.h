#pragma once
// The folder a command runs in: the current one, the one -C names, or the
// workstation folder. Backups, the history and a relative .set file are
// all taken there, as make -C and git -C do.
#include <string>

#include "app/console/cli_arguments.h"

namespace spelvane::cli {

// Makes the requested folder the current one (nothing to do without -C or
// --workstation). False with a one-line reason when it cannot: a folder that
// is not there must not quietly become the one the command was started in.
bool enterRequestedFolder(const Request& request, std::string& error);

// The folder --workstation runs in: the workstation folder where it exists,
// else this program's own; "" when neither can be told.
std::string workstationFolderInUse();

// Creates the workstation folder and its history, the installer's own,
// open to every user of the machine as platform/shared_folder.h says, or
// refuses a folder someone else prepared; the package's installer runs it.
// The exit status: 0, or 4 with one line on standard error.
int openWorkstationFolder();

}  // namespace spelvane::cli
