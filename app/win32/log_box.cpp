#include "app/win32/log_box.h"

#include <cstring>

#include "app/control_ids.h"

namespace spelvane::win32 {
namespace {

size_t boxLength(HWND box) { return static_cast<size_t>(SendMessageA(box, WM_GETTEXTLENGTH, 0, 0)); }

}  // namespace

void LogBoxMirror::show(HWND box, const char* text) {
    if (!text) text = "";
    const size_t length = std::strlen(text);
    const size_t shownLength = shown_.size();
    const bool extendsShown = shownLength > 0 && length > shownLength &&
                              std::memcmp(text, shown_.data(), shownLength) == 0 &&
                              boxLength(box) == shownLength;
    if (!extendsShown) {
        showWhole(box, text);
        return;
    }
    // A piece added by the program is not typing: the box's default limit
    // of about 32,000 characters must not cut the log short.
    SendMessageA(box, EM_SETLIMITTEXT, 0, 0);
    SendMessageA(box, EM_SETSEL, static_cast<WPARAM>(shownLength), static_cast<LPARAM>(shownLength));
    SendMessageA(box, EM_REPLACESEL, FALSE, reinterpret_cast<LPARAM>(text + shownLength));
    shown_.append(text + shownLength, length - shownLength);
    // Should the box have refused part of the piece, it still gets the log whole.
    if (boxLength(box) != length) showWhole(box, text);
}

void LogBoxMirror::showWhole(HWND box, const char* text) {
    SetWindowTextA(box, text);
    shown_.assign(text);
}

void LogBoxNotice::post(HWND dialog) {
    if (outstanding_.exchange(true)) return;
    // Without a notice in the queue nothing would ever clear the flag, and
    // the box would stop following the log; the next change tries again.
    if (!PostMessageA(dialog, WM_APP_SHOW_LOG, 0, 0)) outstanding_.store(false);
}

void LogBoxNotice::serve(LogBoxMirror& mirror, HWND box, const MessageLog& log) {
    // Cleared before the log is read: a change made after the read posts a
    // notice of its own, so no line is left unshown.
    outstanding_.store(false);
    const std::string current = log.currentText();
    mirror.show(box, current.c_str());
}

LogBoxMirror& mainLogBox() {
    static LogBoxMirror* mirror = new LogBoxMirror;
    return *mirror;
}

}  // namespace spelvane::win32
