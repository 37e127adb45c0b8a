// Test-only stand-in for the dialog program. It shows fixed settings, runs
// Store and Restore on a worker thread with the same boxes as the real
// program, and logs what it read from its controls, so that a driver script
// can check both its own actions and what the dialog saw.
// Command line: "nodevice" shows the discovery failure and ends with 1.
#include <windows.h>
#include <commctrl.h>
#include <commdlg.h>

#include <cstdio>
#include <cstring>
#include <string>

#include "app/control_ids.h"

namespace {

constexpr const char* kTitle = "Spelvane 1.0";
constexpr int kHBlank = 0x3c0;

HWND g_dialog = nullptr;
volatile LONG g_pending = 0;
std::string g_log;

void showLog() { SetDlgItemTextA(g_dialog, IDC_LOG_BOX, g_log.c_str()); }

void refresh(HWND dialog) {
    g_log.clear();
    showLog();
    SetDlgItemTextA(dialog, IDC_DEVICE_NAME, "KVDEV-A1");
    SendDlgItemMessageA(dialog, IDC_HBLANK_TRACKBAR, TBM_SETRANGE, TRUE, MAKELPARAM(21, 1023));
    SendDlgItemMessageA(dialog, IDC_HBLANK_TRACKBAR, TBM_SETPOS, TRUE, kHBlank);
    CheckDlgButton(dialog, IDC_HALF_CLOCK, BST_CHECKED);
    char label[16];
    std::snprintf(label, sizeof label, "%04x", kHBlank);
    SetDlgItemTextA(dialog, IDC_HBLANK_LABEL, label);
}

void store() {
    if (MessageBoxA(g_dialog, "Are you sure to change settings?", kTitle, MB_YESNO) != IDYES)
        return;
    LRESULT position = SendDlgItemMessageA(g_dialog, IDC_HBLANK_TRACKBAR, TBM_GETPOS, 0, 0);
    bool checked = IsDlgButtonChecked(g_dialog, IDC_HALF_CLOCK) == BST_CHECKED;
    char line[96];
    std::snprintf(line, sizeof line, "Store -> HBlank %04x, Half Clock %d\r\n",
                  static_cast<unsigned>(position), checked ? 1 : 0);
    g_log += line;
    showLog();
    MessageBoxA(g_dialog, "Restart device to apply changes!", kTitle, MB_OK);
}

void restore() {
    char name[260] = "KVDEV-A1_*.set";
    char filter[] = "Settings files(*.set)\0*.set;\0";
    OPENFILENAMEA request{};
    request.lStructSize = sizeof request;
    request.hwndOwner = g_dialog;
    request.lpstrFilter = filter;
    request.nFilterIndex = 1;
    request.lpstrFile = name;
    request.nMaxFile = sizeof name;
    request.Flags = OFN_EXPLORER | OFN_FILEMUSTEXIST | OFN_HIDEREADONLY;
    if (!GetOpenFileNameA(&request)) {
        g_log += "Restore cancelled\r\n";
        showLog();
        return;
    }
    g_log += std::string("Restore from: ") + name + "\r\n";
    showLog();
    MessageBoxA(g_dialog, "Restart device to apply changes!", kTitle, MB_OK);
}

DWORD WINAPI worker(void*) {
    for (;;) {
        LONG command = g_pending;
        if (command == IDC_STORE) store();
        else if (command == IDC_RESTORE) restore();
        if (command != 0) SendMessageA(g_dialog, WM_APP_COMMAND_DONE, 0, 0);
        Sleep(20);
    }
}

INT_PTR CALLBACK dialogProc(HWND dialog, UINT message, WPARAM w, LPARAM l) {
    switch (message) {
    case WM_INITDIALOG:
        g_dialog = dialog;
        SetTimer(dialog, 1, 100, nullptr);
        return TRUE;
    case WM_TIMER:
        KillTimer(dialog, 1);
        if (std::strstr(GetCommandLineA(), "nodevice")) {
            MessageBoxA(dialog, "Cannot find KV devices", kTitle, MB_OK);
            EndDialog(dialog, 1);
        }
        refresh(dialog);
        return TRUE;
    case WM_COMMAND:
        switch (LOWORD(w)) {
        case IDC_STORE:
        case IDC_RESTORE:
            InterlockedExchange(&g_pending, LOWORD(w));
            return TRUE;
        case IDC_RESET:
            refresh(dialog);
            return TRUE;
        }
        return FALSE;
    case WM_HSCROLL: {
        char label[16];
        LRESULT position = SendDlgItemMessageA(dialog, IDC_HBLANK_TRACKBAR, TBM_GETPOS, 0, 0);
        std::snprintf(label, sizeof label, "%04x", static_cast<unsigned>(position));
        SetDlgItemTextA(dialog, IDC_HBLANK_LABEL, label);
        return TRUE;
    }
    case WM_APP_COMMAND_DONE:
        InterlockedExchange(&g_pending, 0);
        return TRUE;
    case WM_CLOSE:
        EndDialog(dialog, 1);
        return TRUE;
    }
    return FALSE;
}

}  // namespace

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int) {
    InitCommonControls();
    CreateThread(nullptr, 0, worker, nullptr, 0, nullptr);
    DialogBoxParamA(instance, MAKEINTRESOURCEA(IDD_MAIN_DIALOG), nullptr, dialogProc, 0);
    ExitProcess(1);
}
