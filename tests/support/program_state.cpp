#include "tests/support/program_state.h"

#include "app/app_state.h"
#include "app/message_log.h"
#include "device/call_gate.h"
#include "app/dialog_port.h"
#include "platform/timing.h"

namespace spelvane::testing {

void resetProgramState() {
    resetAppState();
    messageLog().release();
    messageLog().setReallocate(nullptr);
    messageLog().setSink(nullptr);
    resetCallGate();
    setLibraryPathResolver(nullptr);
    setTiming(nullptr);
    setDialogPort(nullptr);
}

}  // namespace spelvane::testing
