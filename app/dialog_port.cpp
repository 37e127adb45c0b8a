#include "app/dialog_port.h"

namespace spelvane {

int SilentDialogPort::messageBox(WindowHandle, const char*, const char*, unsigned buttons) {
    return buttons == kButtonsYesNo ? kAnswerNo : kAnswerOk;
}

namespace {

SilentDialogPort silentPort;
DialogPort* current = &silentPort;

}  // namespace

DialogPort& dialogPort() { return *current; }

void setDialogPort(DialogPort* port) { current = port ? port : &silentPort; }

}  // namespace spelvane
