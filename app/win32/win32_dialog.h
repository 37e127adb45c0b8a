#pragma once
// The Win32 side of the main dialog: the dialog port the core talks to and
// the procedure of dialog resource 101.
#include <windows.h>

#include "app/dialog_port.h"
#include "app/win32/log_box.h"

namespace spelvane::win32 {

class Win32DialogPort final : public DialogPort {
public:
    int messageBox(WindowHandle owner, const char* text, const char* title, unsigned buttons) override;
    void setCursor(CursorShape shape) override;
    // Only tells the dialog that the log has changed: it shows the log's
    // own text, whatever the text handed here.
    void showLog(WindowHandle dialog, const char* text) override;
    bool chooseSettingsFile(WindowHandle owner, char* fileName, size_t fileNameSize) override;
    void sendCompletion(WindowHandle dialog) override;

    LogBoxNotice& logNotice() { return logNotice_; }

private:
    LogBoxNotice logNotice_;
};

Win32DialogPort& dialogPortWin32();

INT_PTR CALLBACK mainDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);

}  // namespace spelvane::win32
