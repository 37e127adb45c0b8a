#pragma once
// The dialog as the worker meets it: a scripted FakeDialog whose completion
// message is handled by the real dialog logic, so the pending command is
// cleared as in the program.
#include "app/dialog_logic.h"
#include "app/worker.h"
#include "tests/app/fake_controls.h"
#include "tests/support/fake_dialog.h"
#include "tests/support/forwarding.h"

namespace spelvane::testing {

class CompletingDialog final : public ForwardingDialog {
public:
    CompletingDialog(FakeDialog& fake, WorkerControl& worker) : ForwardingDialog(fake), worker_(worker) {
        setDialogPort(this);
    }
    ~CompletingDialog() override { setDialogPort(nullptr); }

    void sendCompletion(WindowHandle dialog) override {
        ForwardingDialog::sendCompletion(dialog);
        FakeControls controls;
        DialogMessage done;
        done.event = DialogEvent::CommandDone;
        handleDialogMessage(done, dialog, controls, worker_);
    }

private:
    WorkerControl& worker_;
};

}  // namespace spelvane::testing
