// spelvane-bench-logbox <lines> <appends> mirror|whole
// The cost of one append with the real log box: the program's own dialog
// resource, the log appended from a second thread as the worker does, the
// box updated on the dialog thread either as the program does it (its
// dialog port posts a notice, its log box mirror adds the new piece) or, for
// comparison, as it once did: the appender waiting while the dialog sets the
// whole text. Prints "name value" lines.
#include <windows.h>
#include <commctrl.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "app/app_state.h"
#include "app/control_ids.h"
#include "app/message_log.h"
#include "app/win32/log_box.h"
#include "app/win32/win32_dialog.h"
#include "bench/log_fill.h"
#include "bench/stats.h"
#include "platform/thread.h"

namespace spelvane::bench {
namespace {

bool wholeText = false;
constexpr UINT kShowWholeText = WM_APP + 100;

// The former way: every append waits for the dialog to set the whole text.
class WaitingWholeTextPort final : public SilentDialogPort {
public:
    void showLog(WindowHandle dialog, const char* text) override {
        SendMessageA(static_cast<HWND>(dialog), kShowWholeText, 0, reinterpret_cast<LPARAM>(text));
    }
};

INT_PTR CALLBACK benchDialogProc(HWND dialog, UINT message, WPARAM, LPARAM lParam) {
    if (message == WM_INITDIALOG) return TRUE;
    if (message == kShowWholeText) {
        SetDlgItemTextA(dialog, IDC_LOG_BOX, reinterpret_cast<const char*>(lParam));
        return TRUE;
    }
    if (message == WM_APP_SHOW_LOG) {
        win32::dialogPortWin32().logNotice().serve(win32::mainLogBox(), GetDlgItem(dialog, IDC_LOG_BOX),
                                                   messageLog());
        return TRUE;
    }
    return FALSE;
}

void serveMessages(HWND dialog) {
    MSG message;
    while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) {
        if (!IsDialogMessageA(dialog, &message)) {
            TranslateMessage(&message);
            DispatchMessageA(&message);
        }
    }
}

struct Job {
    int lines;
    int appends;
    std::vector<double> costs;
    std::atomic<bool> filled{false};
    platform::ManualResetEvent shown;  // the box holds the filled log
    platform::ManualResetEvent finished;
};

unsigned appendRoutine(void* parameter) {
    auto& job = *static_cast<Job*>(parameter);
    fillLog(job.lines);
    job.filled.store(true);
    // Timed once the box holds the lines, as it would after growing with
    // them: not while the dialog is still taking in the whole fill.
    job.shown.wait(60000);
    job.costs = timedAppends(job.appends);
    job.finished.set();
    return 0;
}

}  // namespace
}  // namespace spelvane::bench

int main(int argc, char** argv) {
    using namespace spelvane;
    using namespace spelvane::bench;
    if (argc != 4) {
        std::fprintf(stderr, "usage: %s <lines> <appends> mirror|whole\n", argv[0]);
        return 2;
    }
    wholeText = std::strcmp(argv[3], "whole") == 0;
    InitCommonControls();
    HWND dialog = CreateDialogParamA(GetModuleHandleA(nullptr), MAKEINTRESOURCEA(IDD_MAIN_DIALOG), nullptr,
                                     benchDialogProc, 0);
    if (!dialog) {
        std::fprintf(stderr, "bench: cannot create the dialog (error %lu)\n", GetLastError());
        return 1;
    }
    ShowWindow(dialog, SW_SHOWNORMAL);
    WaitingWholeTextPort waitingPort;
    if (wholeText)
        setDialogPort(&waitingPort);
    else
        setDialogPort(&win32::dialogPortWin32());
    appState().dialogWindow = dialog;

    Job job;
    job.lines = std::atoi(argv[1]);
    job.appends = std::atoi(argv[2]);
    platform::Thread appender;
    if (!appender.start(appendRoutine, &job)) return 1;
    // The dialog thread serves the appender's updates as they come.
    HWND box = GetDlgItem(dialog, IDC_LOG_BOX);
    while (!job.finished.isSet()) {
        serveMessages(dialog);
        if (job.filled.load() && GetWindowTextLengthA(box) == messageLog().length()) job.shown.set();
        MsgWaitForMultipleObjects(0, nullptr, FALSE, 5, QS_ALLINPUT);
    }
    appender.join();
    // The last notice may still be in the queue.
    serveMessages(dialog);

    char prefix[64];
    std::snprintf(prefix, sizeof prefix, "box_%s_%d", wholeText ? "whole" : "mirror", job.lines);
    reportSpread(prefix, job.costs);
    const int shown = GetWindowTextLengthA(GetDlgItem(dialog, IDC_LOG_BOX));
    const auto lines = SendDlgItemMessageA(dialog, IDC_LOG_BOX, EM_GETLINECOUNT, 0, 0);
    char name[64];
    std::snprintf(name, sizeof name, "%s_box_holds_log", prefix);
    report(name, shown == messageLog().length() ? 1.0 : 0.0);
    std::snprintf(name, sizeof name, "%s_box_lines", prefix);
    report(name, static_cast<double>(lines));
    DestroyWindow(dialog);
    return shown == messageLog().length() ? 0 : 1;
}
