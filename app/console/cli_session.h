#pragma once
// One run of spelvane-cli against the reader: discovery as the dialog does
// it, then one command, then the release. Returns the exit status.
#include "app/console/cli_arguments.h"

namespace spelvane::cli {

enum ExitStatus : int {
    kDone = 0,
    kDeviceFailed = 1,  // a device request or read-back failed, or the change was refused
    kUsage = 2,
    kNoReader = 3,      // none, more than one, a refused pair, no usable library
    kBackupFailed = 4,  // nothing was written to the device
    kFileUnusable = 5,  // the file could not be read or did not serve every open device
};

int runSession(const Request& request);

}  // namespace spelvane::cli
