#pragma once
// The main dialog's behaviour, kept free of window calls so that it runs the
// same in the program and in native tests. The Win32 dialog procedure only
// translates messages into DialogMessage and answers DialogControls.
#include <cstddef>
#include <cstdint>

#include "app/dialog_port.h"
#include "settings/change_computation.h"

namespace spelvane {

struct WorkerControl;

constexpr uintptr_t kDiscoveryTimerId = 1;
constexpr uint32_t kDiscoveryDelayMs = 100;
constexpr size_t kLabelSize = 64;

// What the dialog procedure does to its own window and controls.
class DialogControls {
public:
    virtual ~DialogControls() = default;
    virtual void keepTrackbar() = 0;  // remember the trackbar's window for WM_HSCROLL
    virtual void setIcons() = 0;      // icon group 102, small slot then big slot
    virtual void startTimer(uintptr_t id, uint32_t periodMs) = 0;
    virtual void stopTimer(uintptr_t id) = 0;
    virtual void endDialog(intptr_t result) = 0;
    virtual void setItemText(int controlId, const char* text) = 0;
    virtual void setTrackbarRange(int32_t minimum, int32_t maximum) = 0;  // with redraw
    virtual void setTrackbarPosition(int32_t position) = 0;               // with redraw
    virtual int32_t trackbarPosition() = 0;
    virtual void setChecked(int controlId, bool checked) = 0;
    virtual bool isChecked(int controlId) = 0;
    // Store, Restore and Test start disabled (dialog resource) and are
    // enabled once start-up has shown the device's values.
    virtual void enableCommands() = 0;
};

enum class DialogEvent {
    InitDialog,
    Timer,        // id: the timer id
    Command,      // id: the control id (low word of wParam)
    HScroll,      // fromTrackbar: the sender is the kept trackbar
    CommandDone,  // the worker's completion message
    Close,
    Other,
};

struct DialogMessage {
    DialogEvent event = DialogEvent::Other;
    uintptr_t id = 0;
    bool fromTrackbar = false;
};

// The dialog procedure's decisions; returns what the procedure answers
// (TRUE when handled).
bool handleDialogMessage(const DialogMessage& message, WindowHandle dialog, DialogControls& controls,
                         WorkerControl& worker);

// Shows the display name and the values held in the settings records and,
// with emptyLog, empties the log. Reads no device.
void refreshDialog(DialogControls& controls, bool emptyLog = true);

// The Store the controls ask for: Half Clock and HBlank as they stand.
OperatorChoice choiceFromControls(DialogControls& controls);

// "%04x" of an HBlank value into a buffer of kLabelSize bytes.
void formatHBlankLabel(char* label, size_t size, uint32_t value);

// What the entry does once the dialog has ended: let a running command end
// and stop the worker before the devices it may be using are released.
// Returns the process's exit status.
int finishAfterDialog(WorkerControl& worker);

}  // namespace spelvane
