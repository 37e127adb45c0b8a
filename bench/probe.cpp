// spelvane-bench-probe <program.exe> <trace-file> <new-hblank>
// Works the real program from outside: starts it, waits for its dialog to
// show a device, moves the trackbar, presses Store and answers Yes, then,
// until the closing notice appears, times a message round trip to the dialog
// every few milliseconds (WM_NULL to the dialog and WM_GETTEXTLENGTH to its
// log box, in turn). Answers the notice and closes the program. Then reads
// the simulator's trace: what it held when the question showed is the
// start-up, what came after it the store. Prints "name value" lines.
#include <windows.h>
#include <commctrl.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "app/control_ids.h"
#include "bench/stats.h"
#include "bench/trace.h"
#include "platform/timer_resolution.h"

namespace spelvane::bench {
namespace {

constexpr const char* kTitle = "Spelvane 1.0";
constexpr UINT kCallLimitMs = 5000;
constexpr DWORD kProbeEveryMs = 5;
constexpr double kWaitLimitMs = 30000;
constexpr DWORD kExitLimitMs = 10000;
constexpr const char* kLastLogLines = "Refresh header info ...OK\r\nChecks writing...OK";

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

template <typename Condition>
bool waitFor(Condition condition, const char* what) {
    const double start = nowMs();
    while (!condition()) {
        if (nowMs() - start > kWaitLimitMs) {
            std::fprintf(stderr, "probe: timed out waiting for %s\n", what);
            return false;
        }
        // Fine steps: the start-up is timed by this wait.
        Sleep(1);
    }
    return true;
}

void press(HWND box, int button) {
    PostMessageA(box, WM_COMMAND, MAKEWPARAM(button, BN_CLICKED),
                 reinterpret_cast<LPARAM>(GetDlgItem(box, button)));
}

bool startProgram(const char* program, PROCESS_INFORMATION& started) {
    std::string commandLine = std::string("\"") + program + "\"";
    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    if (CreateProcessA(nullptr, commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                       &started))
        return true;
    std::fprintf(stderr, "probe: cannot start %s (error %lu)\n", program, GetLastError());
    return false;
}

// From the first device request of `firstKind` (any when null) to the last
// of `lastKind`, on the trace's clock.
struct Span {
    double first = -1;
    double last = -1;
    bool found() const { return first >= 0 && last >= first; }
    double ms() const { return found() ? last - first : -1.0; }
};

// kind 0: any device request.
Span requestSpan(const std::vector<TraceRecord>& trace, uint32_t firstKind, uint32_t lastKind) {
    Span span;
    for (const TraceRecord& line : trace) {
        if (!isDeviceRequest(line)) continue;
        if (span.first < 0 && (firstKind == 0 || line.functionCode == firstKind)) span.first = arrivalMs(line);
        if (span.first >= 0 && line.functionCode == lastKind) span.last = arrivalMs(line);
    }
    return span;
}

double deviceRequests(const std::vector<TraceRecord>& trace) {
    return static_cast<double>(std::count_if(trace.begin(), trace.end(), isDeviceRequest));
}

// The trace as it stood when the question showed is the start-up (the
// worker waits for the answer, so nothing of the store is in it yet). The
// simulator stamps its calls with the same performance counter as nowMs(),
// so the store's requests are also placed against the probe's Yes and
// notice: what comes before the first write and after the last read-back.
void reportTrace(const std::string& text, size_t questionAt, double yesAt, double noticeAt) {
    const std::vector<TraceRecord> startup = parseTrace(text.substr(0, questionAt));
    const std::vector<TraceRecord> store = parseTrace(text.substr(std::min(questionAt, text.size())));
    report("startup_requests", deviceRequests(startup));
    report("startup_span_ms", requestSpan(startup, 0, kDeviceRead).ms());
    report("store_requests", deviceRequests(store));
    const Span written = requestSpan(store, kDeviceWrite, kDeviceRead);
    report("store_span_ms", written.ms());
    if (written.found()) {
        report("store_lead_ms", written.first - yesAt);
        report("store_tail_ms", noticeAt - written.last);
    }
    if (!reportPacing({startup, store})) std::fprintf(stderr, "probe: no device requests in the trace\n");
}

}  // namespace
}  // namespace spelvane::bench

int main(int argc, char** argv) {
    using namespace spelvane::bench;
    if (argc != 4) {
        std::fprintf(stderr, "usage: %s <program.exe> <trace-file> <new-hblank>\n", argv[0]);
        return 2;
    }
    spelvane::platform::TimerResolutionScope fineTimer;  // the probe's own fine steps
    const char* tracePath = argv[2];
    const long hblank = std::strtol(argv[3], nullptr, 0);

    PROCESS_INFORMATION program{};
    const double startedAt = nowMs();
    if (!startProgram(argv[1], program)) return 1;
    CloseHandle(program.hThread);
    const bool shown =
        waitFor([] { return (mainDialog = FindWindowA("#32770", kTitle)) != nullptr; }, "the dialog") &&
        waitFor([] { return !text(GetDlgItem(mainDialog, IDC_DEVICE_NAME)).empty(); }, "the device name");
    if (!shown) {
        TerminateProcess(program.hProcess, 1);
        return 1;
    }
    report("program_startup_ms", nowMs() - startedAt);

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
    const size_t traceAtQuestion = readWholeFile(tracePath).size();
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
    // The box may show the last lines a moment after the notice appeared.
    const bool stored = waitFor(
        [logBox] {
            DWORD_PTR length = 0;
            send(logBox, WM_GETTEXTLENGTH, 0, 0, &length);
            std::vector<char> log(length + 1, '\0');
            send(logBox, WM_GETTEXT, log.size(), reinterpret_cast<LPARAM>(log.data()));
            return std::string(log.data()).find(kLastLogLines) != std::string::npos;
        },
        "the log box to show the verified header");
    const std::string noticed = boxText(notice);
    press(notice, IDOK);

    reportSpread("dialog", roundTrips);
    report("program_store_ms", noticeAt - yesAt);
    report("program_store_ok", stored && noticed == "Restart device to apply changes!" ? 1.0 : 0.0);

    PostMessageA(mainDialog, WM_CLOSE, 0, 0);
    const bool ended = WaitForSingleObject(program.hProcess, kExitLimitMs) == WAIT_OBJECT_0;
    if (!ended) {
        std::fprintf(stderr, "probe: the program did not end; ended here\n");
        TerminateProcess(program.hProcess, 1);
    }
    CloseHandle(program.hProcess);
    reportTrace(readWholeFile(tracePath), traceAtQuestion, yesAt, noticeAt);
    return stored && ended ? 0 : 1;
}
