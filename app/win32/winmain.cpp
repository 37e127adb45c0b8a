#include <windows.h>
#include <commctrl.h>

#include <cstdlib>

#include "app/app_state.h"
#include "app/control_ids.h"
#include "app/dialog_logic.h"
#include "app/message_log.h"
#include "app/win32/win32_dialog.h"
#include "app/worker.h"
#include "platform/files.h"

namespace spelvane::win32 {
namespace {

void releaseLogAtExit() { messageLog().release(); }
void stopWorkerAtExit() { stopWorker(workerControl()); }

// Runs before the entry: the worker is started (paused, then resumed) once
// the application record is set up, then the log. Exit handlers run in the
// reverse order, so the log is released before the worker is stopped.
struct ProgramStart {
    ProgramStart() {
        setDialogPort(&dialogPortWin32());
        startWorker(workerControl());
        std::atexit(stopWorkerAtExit);
        messageLog();
        std::atexit(releaseLogAtExit);
    }
};
ProgramStart programStart;

}  // namespace
}  // namespace spelvane::win32

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int) {
    using namespace spelvane;
    InitCommonControls();
    appState().instance = instance;
    appState().startFolder = platform::currentFolderKept();
    DialogBoxParamA(instance, MAKEINTRESOURCEA(IDD_MAIN_DIALOG), nullptr, win32::mainDialogProc, 0);
    return finishAfterDialog(workerControl());
}
