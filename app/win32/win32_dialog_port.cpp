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
