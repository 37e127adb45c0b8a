#pragma once
// The Win32 side of the main dialog: the dialog port the core talks to and
// the procedure of dialog resource 101.
#include <windows.h>

#include <atomic>

#include "app/dialog_port.h"
#include "app/win32/log_box.h"

namespace spelvane::win32 {

class Win32DialogPort final : public DialogPort {
public:
    int messageBox(WindowHandle owner, const char* text, const char* title, unsigned buttons) override;
    void setCursor(CursorShape shape) override;
    bool halfClockChecked(WindowHandle dialog) override;
    int32_t hblankPosition(WindowHandle dialog) override;
    // Only tells the dialog that the log has changed: it shows the log's
    // own text, whatever the text handed here.
    void showLog(WindowHandle dialog, const char* text) override;
    bool chooseSettingsFile(WindowHandle owner, char* fileName, size_t fileNameSize) override;
    void sendCompletion(WindowHandle dialog) override;

    // Dialog thread, as Store is pressed: the store answers these values
    // instead of asking the controls, so the worker never waits for a dialog
    // thread that is painting the log. The question that follows is modal:
    // nothing can change them before the answer. Forgotten when the command
    // is done.
    void rememberControls(HWND dialog);
    void forgetControls();
    // Dialog thread, on WM_DESTROY while the controls still exist: keeps what
    // they show for a store that is still running when the dialog goes.
    void rememberClosingControls(HWND dialog);

    LogBoxNotice& logNotice() { return logNotice_; }

private:
    LogBoxNotice logNotice_;
    // A gone window answers "unchecked" and position 0, which a store would
    // write into the device as the operator's choice. Once the dialog has
    // closed, the values it showed last are answered instead, for good.
    std::atomic<bool> closed_{false};
    std::atomic<bool> remembered_{false};
    std::atomic<bool> rememberedHalfClock_{false};
    std::atomic<int32_t> rememberedHBlank_{0};
};

Win32DialogPort& dialogPortWin32();

INT_PTR CALLBACK mainDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);

}  // namespace spelvane::win32
