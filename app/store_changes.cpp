// The store: for every open device, the operator's choice through the
// change computation into the store sequence.
#include "app/app_state.h"
#include "app/message_log.h"
#include "app/texts.h"

namespace spelvane {

OperatorChoice choiceFromDialog(WindowHandle dialog) {
    OperatorChoice choice;
    choice.halfClock = dialogPort().halfClockChecked(dialog);
    choice.hblank = static_cast<uint16_t>(dialogPort().hblankPosition(dialog));
    return choice;
}

void storeDeviceChange(SpeedSettings& record, const OperatorChoice& choice) {
    MessageLog& log = messageLog();
    ChangePlan plan = computeChange(record.snapshot(), choice);
    log.append("Store -> device: %s\r\n", record.typeName().c_str());
    switch (plan.outcome) {
    case ChangePlan::Outcome::NoChange:
        log.append("No changes\r\n");
        break;
    case ChangePlan::Outcome::Refused:
        log.append("%s", plan.refusal.c_str());
        break;
    case ChangePlan::Outcome::Change:
        record.storeToDevice(plan.target, log);
        break;
    }
}

void AppState::storeChanges(const ChoiceSource& choose) {
    MessageLog& log = messageLog();
    log.append("%s", kLogRule);
    log.append("                          STORE CHANGES\r\n");
    log.append("%s", kLogRule);
    const int count = boundCount();
    for (int i = 0; i < count; ++i) {
        storeDeviceChange(settings[i], choose());
        if (i + 1 < count) log.append("%s", kLogRule);
    }
}

void AppState::storeChanges(WindowHandle dialog) {
    storeChanges([dialog] { return choiceFromDialog(dialog); });
}

}  // namespace spelvane
