#include "app/dialog_port.h"

namespace spelvane {

int SilentDialogPort::messageBox(WindowHandle, const char*, const char*, unsigned buttons) {
    return buttons == kButtonsYesNo ? kAnswerNo : kAnswerOk;
}

int FirstBoxPort::messageBox(WindowHandle owner, const char* text, const char* title, unsigned buttons) {
    if (box.empty() && text) box = text;
    return SilentDialogPort::messageBox(owner, text, title, buttons);
}

namespace {

SilentDialogPort silentPort;
DialogPort* current = &silentPort;

}  // namespace

DialogPort& dialogPort() { return *current; }

void setDialogPort(DialogPort* port) { current = port ? port : &silentPort; }

}  // namespace spelvane
