#include "platform/dialog_port.h"

namespace spelvane {
namespace {

// Stands in while no dialog exists: shows nothing, answers "no" to questions.
class SilentDialogPort final : public DialogPort {
public:
    int messageBox(WindowHandle, const char*, const char*, unsigned buttons) override {
        return buttons == kButtonsYesNo ? kAnswerNo : kAnswerOk;
    }
    void setCursor(CursorShape) override {}
    bool halfClockChecked(WindowHandle) override { return false; }
    int32_t hblankPosition(WindowHandle) override { return 0; }
    void showLog(WindowHandle, const char*) override {}
    bool chooseSettingsFile(WindowHandle, char*, size_t) override { return false; }
    void sendCompletion(WindowHandle) override {}
};

SilentDialogPort silentPort;
DialogPort* current = &silentPort;

}  // namespace

DialogPort& dialogPort() { return *current; }

void setDialogPort(DialogPort* port) { current = port ? port : &silentPort; }

}  // namespace spelvane
