#pragma once
// Keeps the dialog's log box in step with the message log. The log only ever
// grows between clears, so when the box already shows the start of the new
// text only the new piece is added at its end; setting the whole text each
// time would make every append cost more the longer the log gets. Anything
// else (a cleared or replaced log, a box changed behind our back) sets the
// whole text, so the box always ends up showing exactly the log.
#include <windows.h>

#include <atomic>
#include <string>

#include "app/message_log.h"

namespace spelvane::win32 {

class LogBoxMirror {
public:
    // Call on the thread that owns the box, so that no two updates overlap.
    void show(HWND box, const char* text);

private:
    void showWhole(HWND box, const char* text);

    std::string shown_;  // what the box holds, as far as this mirror knows
};

// How the log reaches the box without the worker waiting for the dialog
// thread: the worker holds the device's pacing, and painting the box takes
// 5 to 20 ms a line under Wine. So a change of the log only posts a notice,
// and only while none is outstanding; the dialog thread, when it gets to it,
// shows the log as it is then. A burst of appends costs one update, and a
// notice served after a Reset shows the emptied log, never the old text.
class LogBoxNotice {
public:
    // Any thread; never waits for the dialog thread.
    void post(HWND dialog);
    // Dialog thread, on WM_APP_SHOW_LOG.
    void serve(LogBoxMirror& mirror, HWND box, const MessageLog& log);

private:
    std::atomic<bool> outstanding_{false};
};

// The mirror of the main dialog's log box (dialog thread only).
LogBoxMirror& mainLogBox();

}  // namespace spelvane::win32
