#pragma once
// Keeps the dialog's log box in step with the message log. The log only ever
// grows between clears, so when the box already shows the start of the new
// text only the new piece is added at its end; setting the whole text each
// time would make every append cost more the longer the log gets. Anything
// else (a cleared or replaced log, a box changed behind our back) sets the
// whole text, so the box always ends up showing exactly the log.
#include <windows.h>

#include <string>

namespace spelvane::win32 {

class LogBoxMirror {
public:
    // Call on the thread that owns the box, so that no two updates overlap.
    void show(HWND box, const char* text);

private:
    void showWhole(HWND box, const char* text);

    std::string shown_;  // what the box holds, as far as this mirror knows
};

// The mirror of the main dialog's log box (dialog thread only).
LogBoxMirror& mainLogBox();

}  // namespace spelvane::win32
