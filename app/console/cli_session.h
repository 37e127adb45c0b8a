#pragma once
// One run of spelvane-cli against the reader: discovery as the dialog does
// it, then one command, then the release. Returns the exit status.
#include <string>

#include "app/console/cli_arguments.h"
#include "app/dialog_port.h"

namespace spelvane {
struct AppState;
struct RestoreSummary;
}

namespace spelvane::cli {

enum ExitStatus : int {
    kDone = 0,
    kDeviceFailed = 1,  // a device request or read-back failed, or the change was refused
    kUsage = 2,
    kNoReader = 3,      // none, more than one, a refused pair, no usable library
    kBackupFailed = 4,  // nothing was written to the device
    kFileUnusable = 5,  // the file could not be read or did not serve every open device
    kDiffers = 6,       // verify: a reader does not hold what its section states
    kOutputFailed = 7,  // standard output could not be written: what the command printed is lost
    kDoctorFound = 8,   // doctor: a check found something to do
    kUnexpected = 9,    // an unexpected failure (out of memory, an internal error) ended the command
};

// The operations' message boxes: only discovery shows one to the console,
// and its text becomes the command's error line. A question is answered No
// (SilentDialogPort), though no operation the console runs asks one.
using ConsolePort = FirstBoxPort;

// A change the history lacks is worth one line, never two; the command's
// status stays what the readers made it.
// missing: what the history lacks ("" when nothing).
void tellHistoryMissing(const std::string& missing);

// Why a backup failed: the file it went into, or that none could be made
// (every name taken, a folder that cannot be written).
std::string backupFailure(const AppState& app);

// One line on standard error, named after the program; line ends inside the
// text become blanks, so a script reading the line gets the whole error.
#if defined(__GNUC__)
__attribute__((format(printf, 1, 2)))
#endif
void fail(const char* format, ...);

// The text of the error line the command gave ("" none yet).
const std::string& commandError();

// The status a command ends with once standard output is flushed: a command
// that went well but whose output could not be written has not done what
// the script asked for.
int finishOutput(int status);

// True, with the error line, when a restore, verify or dry run could not read
// the .set file at all: it cannot be opened, or it is saved as Unicode.
// writing: the command would have written (a restore), and says it did not.
bool fileUnread(const RestoreSummary& summary, const std::string& file, bool writing);

int runSession(const Request& request);

}  // namespace spelvane::cli
