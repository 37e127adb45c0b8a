#pragma once
// Keeps the dialog's log box in step with the message log. The log only ever
// grows between clears, so when the box already shows the start of the new
// text only the new piece is added at its end; setting the whole text each
// time would make every append cost more the longer the log gets. Anything
// else (a cleared or replaced log, a box changed behind our back) sets the
// whole text, so the box always ends up showing exactly the log.
#include <windows.h>

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

// Serves the log's request to show `handed` in the box, on the dialog thread.
// The worker copied that text before it asked; a Reset served in between has
// emptied the log since, and the box must not bring the old text back. So a
// non-empty text is taken from the log as it is now (the worker waits for
// this answer, so nothing is added meanwhile); "" is a clear itself, shown
// before the log empties.
void showLogUpdate(LogBoxMirror& mirror, HWND box, const char* handed, const MessageLog& log);

// The mirror of the main dialog's log box (dialog thread only).
LogBoxMirror& mainLogBox();

}  // namespace spelvane::win32
