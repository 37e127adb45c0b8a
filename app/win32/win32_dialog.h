#pragma once
// The Win32 side of the main dialog: the dialog port the core talks to and
// the procedure of dialog resource 101.
#include <windows.h>

#include <atomic>

#include "platform/dialog_port.h"

namespace spelvane::win32 {

class Win32DialogPort final : public DialogPort {
public:
    int messageBox(WindowHandle owner, const char* text, const char* title, unsigned buttons) override;
    void setCursor(CursorShape shape) override;
    bool halfClockChecked(WindowHandle dialog) override;
    int32_t hblankPosition(WindowHandle dialog) override;
    void showLog(WindowHandle dialog, const char* text) override;
    bool chooseSettingsFile(WindowHandle owner, char* fileName, size_t fileNameSize) override;
    void sendCompletion(WindowHandle dialog) override;

private:
    // A store that outlives the dialog (closed while it runs) must not read
    // "unchecked" and position 0 from a window that is gone; it keeps what
    // the controls showed when they were last read.
    std::atomic<bool> lastHalfClock_{false};
    std::atomic<int32_t> lastHBlank_{0};
    std::atomic<bool> haveLast_{false};
};

INT_PTR CALLBACK mainDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);

}  // namespace spelvane::win32
