// Start-up as the dialog runs it on the simulated reader: commands wait for
// the first refresh, and what discovery logged stays in the log.
#include <gtest/gtest.h>

#include "app/control_ids.h"
#include "app/dialog_logic.h"
#include "app/worker.h"
#include "tests/app/fake_controls.h"
#include "tests/support/sim_device_test.h"

namespace spelvane::testing {
namespace {

class StartUpTest : public SimDeviceTest {
protected:
    bool handle(DialogEvent event, uintptr_t id = 0) {
        DialogMessage message;
        message.event = event;
        message.id = id;
        return handleDialogMessage(message, window(), controls, worker);
    }

    WorkerControl worker;
    FakeControls controls;
};

TEST_F(StartUpTest, CommandsOpenOnlyAfterTheFirstRefresh) {
    MemoryLayout layout;
    layout.lights = {{0x10, 0x400, 0x100, 2, 3}};
    reader.addDevice(device(layout));
    reader.apply();

    handle(DialogEvent::InitDialog);
    handle(DialogEvent::Command, IDC_STORE);  // pressed before the timer fired
    EXPECT_EQ(worker.pendingCommand.load(), 0u);
    EXPECT_FALSE(worker.ready.load());

    handle(DialogEvent::Timer, kDiscoveryTimerId);
    EXPECT_TRUE(worker.ready.load());
    EXPECT_EQ(controls.calls.back(), "enableCommands");
    EXPECT_EQ(controls.text(IDC_DEVICE_NAME), "KVDEV-A1");
    handle(DialogEvent::Command, IDC_STORE);
    EXPECT_EQ(worker.pendingCommand.load(), static_cast<uint32_t>(IDC_STORE));
}

TEST_F(StartUpTest, DiscoveryWarningStaysAfterTheFirstRefreshUntilReset) {
    reader.addDevice(device(MemoryLayout{}));
    reader.addGlobalLine("report_count = 70");
    reader.apply();

    handle(DialogEvent::InitDialog);
    handle(DialogEvent::Timer, kDiscoveryTimerId);
    EXPECT_FALSE(worker.ready.load()) << "64 devices are more than one: nothing to store to";
    EXPECT_NE(logText().find("The device list reported 70 devices; only 64 were asked for."), std::string::npos)
        << logText();
    handle(DialogEvent::Command, IDC_RESET);
    EXPECT_EQ(logText(), "");
}

}  // namespace
}  // namespace spelvane::testing
