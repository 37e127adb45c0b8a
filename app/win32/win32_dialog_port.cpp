#include <windows.h>
#include <commctrl.h>
#include <commdlg.h>

#include <cstring>

#include "app/control_ids.h"
#include "app/win32/win32_dialog.h"

namespace spelvane::win32 {
namespace {

// The record size that Windows 2000 and XP both accept: the fields up to
// lpTemplateName, without the later additions.
constexpr DWORD kOpenFileNameSize = 76;
static_assert(offsetof(OPENFILENAMEA, lpTemplateName) + sizeof(LPCSTR) == kOpenFileNameSize);

constexpr DWORD kOpenFlags = OFN_EXPLORER | OFN_FILEMUSTEXIST | OFN_HIDEREADONLY;
static_assert(kOpenFlags == 0x81004);

constexpr size_t kFileBufferSize = 260;
constexpr char kSettingsFilter[] = "Settings files(*.set)\0*.set;\0";  // the literal's own NUL ends the list

HWND window(WindowHandle handle) { return static_cast<HWND>(handle); }

}  // namespace

int Win32DialogPort::messageBox(WindowHandle owner, const char* text, const char* title, unsigned buttons) {
    return MessageBoxA(window(owner), text, title, buttons);
}

void Win32DialogPort::setCursor(CursorShape shape) {
    SetCursor(LoadCursorA(nullptr, shape == CursorShape::Wait ? IDC_WAIT : IDC_ARROW));
}

bool Win32DialogPort::halfClockChecked(WindowHandle dialog) {
    if (!remembered_.load()) {
        bool checked = IsDlgButtonChecked(window(dialog), IDC_HALF_CLOCK) == BST_CHECKED;
        // Answered by the dialog thread before it began to close: genuine.
        if (!remembered_.load()) return checked;
    }
    return rememberedHalfClock_.load();
}

int32_t Win32DialogPort::hblankPosition(WindowHandle dialog) {
    if (!remembered_.load()) {
        auto position = static_cast<int32_t>(SendDlgItemMessageA(window(dialog), IDC_HBLANK_TRACKBAR, TBM_GETPOS, 0, 0));
        if (!remembered_.load()) return position;
    }
    return rememberedHBlank_.load();
}

void Win32DialogPort::rememberControls(HWND dialog) {
    if (closed_.load()) return;
    rememberedHalfClock_.store(IsDlgButtonChecked(dialog, IDC_HALF_CLOCK) == BST_CHECKED);
    rememberedHBlank_.store(static_cast<int32_t>(SendDlgItemMessageA(dialog, IDC_HBLANK_TRACKBAR, TBM_GETPOS, 0, 0)));
    remembered_.store(true);
}

void Win32DialogPort::forgetControls() {
    if (!closed_.load()) remembered_.store(false);
}

void Win32DialogPort::rememberClosingControls(HWND dialog) {
    rememberControls(dialog);
    closed_.store(true);
}

Win32DialogPort& dialogPortWin32() {
    static Win32DialogPort* instance = new Win32DialogPort;
    return *instance;
}

void Win32DialogPort::showLog(WindowHandle dialog, const char*) { logNotice_.post(window(dialog)); }

bool Win32DialogPort::chooseSettingsFile(WindowHandle owner, char* fileName, size_t fileNameSize) {
    if (!fileName || fileNameSize == 0) return false;
    char buffer[kFileBufferSize] = {};
    std::strncpy(buffer, fileName, sizeof buffer - 1);

    OPENFILENAMEA request;
    std::memset(&request, 0, sizeof request);
    request.lStructSize = kOpenFileNameSize;
    request.hwndOwner = window(owner);
    request.lpstrFilter = kSettingsFilter;
    request.nFilterIndex = 1;
    request.lpstrFile = buffer;
    request.nMaxFile = sizeof buffer;
    request.Flags = kOpenFlags;
    if (!GetOpenFileNameA(&request)) return false;

    std::strncpy(fileName, buffer, fileNameSize - 1);
    fileName[fileNameSize - 1] = '\0';
    return true;
}

void Win32DialogPort::sendCompletion(WindowHandle dialog) {
    SendMessageA(window(dialog), WM_APP_COMMAND_DONE, 0, 0);
}

}  // namespace spelvane::win32
