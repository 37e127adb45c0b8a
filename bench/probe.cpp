// spelvane-bench-probe <new-hblank>
// Works the running program from outside: waits for its dialog to show a
// device, moves the trackbar, presses Store and answers Yes, then, until the
// closing notice appears, times a message round trip to the dialog every few
// milliseconds (WM_NULL to the dialog and WM_GETTEXTLENGTH to its log box,
// in turn). Answers the notice, closes the program. Prints "name value" lines.
#include <windows.h>
#include <commctrl.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "app/control_ids.h"
#include "bench/stats.h"
#include "platform/timer_resolution.h"

namespace spelvane::bench {
namespace {

constexpr const char* kTitle = "Spelvane 1.0";
constexpr UINT kCallLimitMs = 5000;
constexpr DWORD kProbeEveryMs = 5;
constexpr double kWaitLimitMs = 30000;

HWND mainDialog = nullptr;

bool send(HWND window, UINT message, WPARAM w, LPARAM l, DWORD_PTR* result = nullptr) {
    DWORD_PTR answer = 0;
    const bool ok = SendMessageTimeoutA(window, message, w, l, SMTO_NORMAL, kCallLimitMs, &answer) != 0;
    if (result) *result = answer;
    return ok;
}

std::string text(HWND window) {
    char buffer[512] = {};
    DWORD_PTR copied = 0;
    send(window, WM_GETTEXT, sizeof buffer, reinterpret_cast<LPARAM>(buffer), &copied);
    return buffer;
}

// A message box of the program: a dialog window owned by the main dialog.
// The worker thread shows them, so every top-level window is looked at.
HWND foundBox = nullptr;
BOOL CALLBACK findBox(HWND window, LPARAM) {
    char name[16] = {};
    GetClassNameA(window, name, sizeof name);
    if (window != mainDialog && std::string(name) == "#32770" && GetWindow(window, GW_OWNER) == mainDialog &&
        IsWindowVisible(window)) {
        foundBox = window;
        return FALSE;
    }
    return TRUE;
}

HWND messageBoxOfProgram() {
    foundBox = nullptr;
    EnumWindows(findBox, 0);
    return foundBox;
}

std::string boxText(HWND box) {
    // The message text is the box's static control 0xFFFF.
    return text(GetDlgItem(box, 0xFFFF));
}

bool waitFor(bool (*condition)(), const char* what) {
    const double start = nowMs();
    while (!condition()) {
        if (nowMs() - start > kWaitLimitMs) {
            std::fprintf(stderr, "probe: timed out waiting for %s\n", what);
            return false;
        }
        Sleep(10);
    }
    return true;
}

void press(HWND box, int button) {
    PostMessageA(box, WM_COMMAND, MAKEWPARAM(button, BN_CLICKED),
                 reinterpret_cast<LPARAM>(GetDlgItem(box, button)));
}

}  // namespace
}  // namespace spelvane::bench

int main(int argc, char** argv) {
    using namespace spelvane::bench;
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s <new-hblank>\n", argv[0]);
        return 2;
    }
    spelvane::platform::TimerResolutionScope fineTimer;  // the probe's own 5 ms steps
    const long hblank = std::strtol(argv[1], nullptr, 0);

    if (!waitFor([] { return (mainDialog = FindWindowA("#32770", kTitle)) != nullptr; }, "the dialog"))
        return 1;
    if (!waitFor([] { return !text(GetDlgItem(mainDialog, IDC_DEVICE_NAME)).empty(); }, "the device name"))
        return 1;
    HWND trackbar = GetDlgItem(mainDialog, IDC_HBLANK_TRACKBAR);
    HWND logBox = GetDlgItem(mainDialog, IDC_LOG_BOX);
    send(trackbar, TBM_SETPOS, TRUE, hblank);
    PostMessageA(mainDialog, WM_COMMAND, MAKEWPARAM(IDC_STORE, BN_CLICKED),
                 reinterpret_cast<LPARAM>(GetDlgItem(mainDialog, IDC_STORE)));

    if (!waitFor([] { return messageBoxOfProgram() != nullptr; }, "the question")) return 1;
    HWND question = foundBox;
    const std::string asked = boxText(question);
    if (asked != "Are you sure to change settings?") {
        std::fprintf(stderr, "probe: unexpected box \"%s\"\n", asked.c_str());
        return 1;
    }
    press(question, IDYES);
    // Timed from the question's closing: the box can take a while to act on
    // the press under Wine, and the program's store starts only then.
    while (IsWindow(question)) Sleep(1);
    const double yesAt = nowMs();

    std::vector<double> roundTrips;
    HWND notice = nullptr;
    bool toLogBox = false;
    while (!(notice = messageBoxOfProgram())) {
        if (nowMs() - yesAt > kWaitLimitMs) {
            std::fprintf(stderr, "probe: the store did not end\n");
            return 1;
        }
        const double start = nowMs();
        const bool answered = toLogBox ? send(logBox, WM_GETTEXTLENGTH, 0, 0) : send(mainDialog, WM_NULL, 0, 0);
        const double took = nowMs() - start;
        if (!answered) std::fprintf(stderr, "probe: no answer within %u ms\n", kCallLimitMs);
        roundTrips.push_back(took);
        toLogBox = !toLogBox;
        Sleep(kProbeEveryMs);
    }
    const double noticeAt = nowMs();
    DWORD_PTR logLength = 0;
    send(logBox, WM_GETTEXTLENGTH, 0, 0, &logLength);
    std::vector<char> log(logLength + 1, '\0');
    send(logBox, WM_GETTEXT, log.size(), reinterpret_cast<LPARAM>(log.data()));
    const bool stored = std::string(log.data()).find("Refresh header info ...OK\r\nChecks writing...OK") !=
                        std::string::npos;
    const std::string noticed = boxText(notice);
    press(notice, IDOK);

    reportSpread("dialog", roundTrips);
    report("program_store_ms", noticeAt - yesAt);
    report("program_store_ok", stored && noticed == "Restart device to apply changes!" ? 1.0 : 0.0);

    DWORD processId = 0;
    GetWindowThreadProcessId(mainDialog, &processId);
    HANDLE process = OpenProcess(SYNCHRONIZE, FALSE, processId);
    PostMessageA(mainDialog, WM_CLOSE, 0, 0);
    if (process) {
        WaitForSingleObject(process, 10000);
        CloseHandle(process);
    }
    return stored ? 0 : 1;
}
