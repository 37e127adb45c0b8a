#pragma once
// The dialog as the worker meets it: a scripted FakeDialog whose completion
// message is handled by the real dialog logic, so the pending command is
// cleared as in the program.
#include "app/dialog_logic.h"
#include "app/worker.h"
#include "tests/app/fake_controls.h"
#include "tests/support/fake_dialog.h"

namespace spelvane::testing {

class CompletingDialog final : public DialogPort {
public:
    CompletingDialog(FakeDialog& fake, WorkerControl& worker) : fake_(fake), worker_(worker) {
        setDialogPort(this);
    }
    ~CompletingDialog() override { setDialogPort(nullptr); }

    int messageBox(WindowHandle owner, const char* text, const char* title, unsigned buttons) override {
        return fake_.messageBox(owner, text, title, buttons);
    }
    void setCursor(CursorShape shape) override { fake_.setCursor(shape); }
    bool halfClockChecked(WindowHandle dialog) override { return fake_.halfClockChecked(dialog); }
    int32_t hblankPosition(WindowHandle dialog) override { return fake_.hblankPosition(dialog); }
    void showLog(WindowHandle dialog, const char* text) override { fake_.showLog(dialog, text); }
    bool chooseSettingsFile(WindowHandle owner, char* fileName, size_t size) override {
        return fake_.chooseSettingsFile(owner, fileName, size);
    }
    void sendCompletion(WindowHandle dialog) override {
        fake_.sendCompletion(dialog);
        FakeControls controls;
        DialogMessage done;
        done.event = DialogEvent::CommandDone;
        handleDialogMessage(done, dialog, controls, worker_);
    }

private:
    FakeDialog& fake_;
    WorkerControl& worker_;
};

}  // namespace spelvane::testing
