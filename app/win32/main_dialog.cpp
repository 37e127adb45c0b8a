#include <windows.h>
#include <commctrl.h>

#include "app/app_state.h"
#include "app/control_ids.h"
#include "app/dialog_logic.h"
#include "app/message_log.h"
#include "app/win32/log_box.h"
#include "app/win32/win32_dialog.h"
#include "app/worker.h"

namespace spelvane::win32 {
namespace {

// Scroll notifications carry the sender's window; this is how the dialog
// recognises its trackbar.
HWND trackbarWindow = nullptr;

class Win32DialogControls final : public DialogControls {
public:
    explicit Win32DialogControls(HWND dialog) : dialog_(dialog) {}

    void keepTrackbar() override { trackbarWindow = GetDlgItem(dialog_, IDC_HBLANK_TRACKBAR); }
    void setIcons() override {
        HICON icon = LoadIconA(static_cast<HINSTANCE>(appState().instance), MAKEINTRESOURCEA(IDI_MAIN_ICON));
        SendMessageA(dialog_, WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(icon));
        SendMessageA(dialog_, WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(icon));
    }
    void startTimer(uintptr_t id, uint32_t periodMs) override { SetTimer(dialog_, id, periodMs, nullptr); }
    void stopTimer(uintptr_t id) override { KillTimer(dialog_, id); }
    void endDialog(intptr_t result) override { EndDialog(dialog_, result); }
    void setItemText(int controlId, const char* text) override { SetDlgItemTextA(dialog_, controlId, text); }
    void setTrackbarRange(int32_t minimum, int32_t maximum) override {
        SendDlgItemMessageA(dialog_, IDC_HBLANK_TRACKBAR, TBM_SETRANGE, TRUE, MAKELPARAM(minimum, maximum));
    }
    void setTrackbarPosition(int32_t position) override {
        SendDlgItemMessageA(dialog_, IDC_HBLANK_TRACKBAR, TBM_SETPOS, TRUE, position);
    }
    int32_t trackbarPosition() override {
        return static_cast<int32_t>(SendDlgItemMessageA(dialog_, IDC_HBLANK_TRACKBAR, TBM_GETPOS, 0, 0));
    }
    void setChecked(int controlId, bool checked) override {
        CheckDlgButton(dialog_, controlId, checked ? BST_CHECKED : BST_UNCHECKED);
    }
    bool isChecked(int controlId) override { return IsDlgButtonChecked(dialog_, controlId) == BST_CHECKED; }
    void enableCommands() override {
        for (int id : {IDC_STORE, IDC_RESTORE, IDC_TEST}) EnableWindow(GetDlgItem(dialog_, id), TRUE);
    }

private:
    HWND dialog_;
};

bool translate(UINT message, WPARAM wParam, LPARAM lParam, DialogMessage& out) {
    switch (message) {
    case WM_INITDIALOG:
        out.event = DialogEvent::InitDialog;
        return true;
    case WM_TIMER:
        out.event = DialogEvent::Timer;
        out.id = wParam;
        return true;
    case WM_COMMAND:
        out.event = DialogEvent::Command;
        out.id = LOWORD(wParam);
        return true;
    case WM_HSCROLL:
        out.event = DialogEvent::HScroll;
        out.fromTrackbar = trackbarWindow && reinterpret_cast<HWND>(lParam) == trackbarWindow;
        return true;
    case WM_APP_COMMAND_DONE:
        out.event = DialogEvent::CommandDone;
        return true;
    case WM_CLOSE:
        out.event = DialogEvent::Close;
        return true;
    default:
        return false;
    }
}

}  // namespace

INT_PTR CALLBACK mainDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_APP_SHOW_LOG) {
        dialogPortWin32().logNotice().serve(mainLogBox(), GetDlgItem(dialog, IDC_LOG_BOX), messageLog());
        return TRUE;
    }
    DialogMessage translated;
    if (!translate(message, wParam, lParam, translated)) return FALSE;
    Win32DialogControls controls(dialog);
    return handleDialogMessage(translated, dialog, controls, workerControl()) ? TRUE : FALSE;
}

}  // namespace spelvane::win32
