// The two threads of the program at work together: the worker runs Store and
// Restore against the simulated reader while the dialog thread presses Reset
// and reads the settings records. Run under ThreadSanitizer it must report
// no race; in the normal suite it checks the outcome.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "app/app_state.h"
#include "app/control_ids.h"
#include "app/dialog_logic.h"
#include "app/message_log.h"
#include "app/worker.h"
#include "platform/sleep.h"
#include "settings/settings_file.h"
#include "tests/app/completing_dialog.h"
#include "tests/support/forwarding.h"
#include "tests/support/settings_file_test.h"
#include "tests/support/sim_device_test.h"

namespace spelvane::testing {
namespace {

// The scripted clock, but every pause also yields for a real millisecond so
// that the worker's idle polling does not starve the other thread.
class YieldingTiming final : public ForwardingTiming {
public:
    explicit YieldingTiming(FakeTiming& clock) : ForwardingTiming(clock), clock_(clock) { setTiming(this); }
    ~YieldingTiming() override { setTiming(nullptr); }
    void sleepMs(uint32_t milliseconds) override {
        clock_.advanceMicroseconds(static_cast<int64_t>(milliseconds) * 1000);
        platform::sleepMilliseconds(1);
    }

private:
    FakeTiming& clock_;
};

class WorkerConcurrencyTest : public SimDeviceTest {
protected:
    void TearDown() override {
        stopWorker(worker);
        SimDeviceTest::TearDown();
    }

    // Presses Reset and reads the records, as the dialog thread may while a
    // command runs, until the worker has completed `count` commands.
    bool pressResetUntilCompleted(int count) {
        for (int round = 0; round < 20000; ++round) {
            if (dialog.completions() >= count && worker.pendingCommand.load() == 0) return true;
            DialogMessage reset;
            reset.event = DialogEvent::Command;
            reset.id = IDC_RESET;
            handleDialogMessage(reset, window(), controls, worker);
            SpeedValues seen = record().snapshot();
            // Never half an adoption: the HBlank column is one value or the other.
            EXPECT_TRUE(seen.hblank == 0x100 || seen.hblank == 0x1c8) << seen.hblank;
            platform::sleepMilliseconds(1);
        }
        return false;
    }

    WorkerControl worker;
    FakeControls controls;
    ScratchDirectory scratch;
};

TEST_F(WorkerConcurrencyTest, StoreAndRestoreWhileTheDialogRefreshes) {
    YieldingTiming yielding(clock);
    CompletingDialog completing(dialog, worker);
    clock.setCalendarTime(1700000000);

    // As at program start: the worker first, then discovery on the dialog thread.
    startWorker(worker);
    MemoryLayout layout;
    layout.addresses = {9, 5, 2, 3};
    layout.lights = {{0x10, 0x400, 0x100, 0x150, 1}, {0x20, 0x600, 0x100, 0x150, 1}, {0x30, 0x800, 0x100, 0x120, 2}};
    reader.addDevice(device(layout));
    ASSERT_TRUE(discover());
    const std::vector<uint8_t> original = reader.memory(0);
    appState().dialogWindow = window();

    dialog.answerNext(kAnswerYes);
    worker.storeChoice = OperatorChoice{false, 0x1c8};
    worker.pendingCommand.store(IDC_STORE);
    ASSERT_TRUE(pressResetUntilCompleted(1));
    EXPECT_EQ(lightWord(reader.memory(0), 2, 2), 0x1c8);
    ASSERT_EQ(scratch.setFiles().size(), 1u);

    dialog.chooseFileNext((scratch.path() / scratch.setFiles()[0]).string());
    worker.pendingCommand.store(IDC_RESTORE);
    ASSERT_TRUE(pressResetUntilCompleted(2));
    stopWorker(worker);

    EXPECT_EQ(dialog.completions(), 2);
    std::vector<uint8_t> after = reader.memory(0);
    for (int light = 0; light < 3; ++light)
        for (int word = 0; word < 5; ++word)
            EXPECT_EQ(lightWord(after, light, word), lightWord(original, light, word)) << light << "/" << word;

    // The last Reset, after both commands, shows the restored value.
    DialogMessage reset;
    reset.event = DialogEvent::Command;
    reset.id = IDC_RESET;
    handleDialogMessage(reset, window(), controls, worker);
    EXPECT_EQ(controls.text(IDC_HBLANK_LABEL), "0100");
    EXPECT_EQ(controls.trackbar, 0x100);
    EXPECT_EQ(messageLog().length(), 0);
}

}  // namespace
}  // namespace spelvane::testing
