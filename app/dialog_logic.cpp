#include "app/dialog_logic.h"

#include <cstdio>

#include "app/app_state.h"
#include "app/record/unfinished_changes.h"
#include "app/control_ids.h"
#include "app/message_log.h"
#include "app/texts.h"
#include "app/worker.h"
#include "platform/timer_resolution.h"

namespace spelvane {

void formatHBlankLabel(char* label, size_t size, uint32_t value) {
    if (!label || size == 0) return;
    std::snprintf(label, size, "%04x", static_cast<unsigned>(value));
}

OperatorChoice choiceFromControls(DialogControls& controls) {
    OperatorChoice choice;
    choice.halfClock = controls.isChecked(IDC_HALF_CLOCK);
    choice.hblank = static_cast<uint16_t>(controls.trackbarPosition());
    return choice;
}

void refreshDialog(DialogControls& controls, bool emptyLog) {
    AppState& app = appState();
    char label[kLabelSize] = "0000";
    if (emptyLog) messageLog().clear();
    controls.setItemText(IDC_DEVICE_NAME, app.displayName);
    controls.setTrackbarRange(kHBlankMinimum, kHBlankMaximum);

    if (app.openCount == 1) {
        SpeedValues values = app.settings[0].snapshot();
        formatHBlankLabel(label, sizeof label, values.hblank);
        controls.setTrackbarPosition(values.hblank);
        controls.setChecked(IDC_HALF_CLOCK, values.halfClock != 0);
    } else if (app.openCount == 2) {
        SpeedValues first = app.settings[0].snapshot();
        SpeedValues second = app.settings[1].snapshot();
        // Only what both devices agree on is shown; a control whose devices
        // disagree keeps whatever the operator set.
        if (first.halfClock == second.halfClock) controls.setChecked(IDC_HALF_CLOCK, first.halfClock != 0);
        if (first.hblank == second.hblank) {
            formatHBlankLabel(label, sizeof label, first.hblank);
            controls.setTrackbarPosition(first.hblank);
        }
    }
    controls.setItemText(IDC_HBLANK_LABEL, label);
}

bool handleDialogMessage(const DialogMessage& message, WindowHandle dialog, DialogControls& controls,
                         WorkerControl& worker) {
    switch (message.event) {
    case DialogEvent::InitDialog:
        controls.keepTrackbar();
        controls.setIcons();
        appState().dialogWindow = dialog;
        controls.startTimer(kDiscoveryTimerId, kDiscoveryDelayMs);
        return true;
    case DialogEvent::Timer:
        if (message.id == kDiscoveryTimerId) {
            // Stopped first, so discovery runs once however long it takes.
            controls.stopTimer(kDiscoveryTimerId);
            const bool found = [&] {
                platform::TimerResolutionScope fineTimer;
                return appState().discoverDevices(dialog);
            }();
            if (!found) controls.endDialog(1);
            // A change cut short the last time is named before anything
            // new is started.
            else logUnfinishedChanges(appState());
            // What discovery logged (a refused information block, a device
            // list cut at 64) stays for the operator to read.
            refreshDialog(controls, false);
            // Without an open device (a refused pair, too many devices) the
            // dialog stays to show why, but there is nothing to store to.
            if (found && appState().boundCount() > 0 && !worker.closing.load()) {
                worker.ready.store(true);
                controls.enableCommands();
            }
        }
        return true;
    case DialogEvent::Command:
        switch (message.id) {
        case IDC_STORE:
        case IDC_RESTORE:
        case IDC_TEST:
            // Before start-up has read the device a Store would back up and
            // write half-loaded values; after Close nothing new may start.
            // A press while a command runs would be dropped by its
            // completion anyway; taking none keeps a running Store's choice
            // as it was given.
            if (worker.ready.load() && !worker.closing.load() && worker.pendingCommand.load() == 0) {
                if (message.id == IDC_STORE) worker.storeChoice = choiceFromControls(controls);
                worker.pendingCommand.store(static_cast<uint32_t>(message.id));
            }
            return true;
        case IDC_RESET:
            refreshDialog(controls);
            return true;
        default:
            return false;  // IDOK and IDCANCEL must not close the dialog
        }
    case DialogEvent::HScroll:
        if (message.fromTrackbar) {
            char label[kLabelSize];
            formatHBlankLabel(label, sizeof label, static_cast<uint32_t>(controls.trackbarPosition()));
            controls.setItemText(IDC_HBLANK_LABEL, label);
        }
        return true;
    case DialogEvent::CommandDone:
        worker.pendingCommand.store(0);
        return true;
    case DialogEvent::Close:
        worker.closing.store(true);
        controls.endDialog(1);
        return true;
    case DialogEvent::Other:
        break;
    }
    return false;
}

int finishAfterDialog(WorkerControl& worker) {
    stopWorker(worker);
    appState().releaseDevices();
    return 1;
}

}  // namespace spelvane
