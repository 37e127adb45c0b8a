// The fine system timer is held while device work runs (discovery, and the
// device part of Store and Restore) and given back afterwards; the operator's
// message boxes and the file dialog, which can stay open for minutes, run
// without it.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "app/app_state.h"
#include "app/control_ids.h"
#include "app/dialog_logic.h"
#include "app/worker.h"
#include "platform/timer_resolution.h"
#include "tests/app/fake_controls.h"
#include "tests/support/settings_file_test.h"
#include "tests/support/forwarding.h"
#include "tests/support/sim_device_test.h"

namespace spelvane::testing {
namespace {

// Notes, at every sleep and every wait for the operator, how many scopes
// were alive, and passes the call on.
class ScopeWitness final : public ForwardingTiming, public ForwardingDialog {
public:
    ScopeWitness(FakeTiming& clock, FakeDialog& dialog)
        : ForwardingTiming(clock), ForwardingDialog(dialog), clock_(clock), dialog_(dialog) {
        setTiming(this);
        setDialogPort(this);
    }
    ~ScopeWitness() override {
        setTiming(&clock_);
        setDialogPort(&dialog_);
    }

    std::vector<int> duringSleeps;
    std::vector<int> duringOperator;

    void sleepMs(uint32_t milliseconds) override {
        duringSleeps.push_back(platform::activeTimerResolutionScopes());
        clock_.sleepMs(milliseconds);
    }

    int messageBox(WindowHandle owner, const char* text, const char* title, unsigned buttons) override {
        duringOperator.push_back(platform::activeTimerResolutionScopes());
        return dialog_.messageBox(owner, text, title, buttons);
    }
    bool chooseSettingsFile(WindowHandle owner, char* fileName, size_t size) override {
        duringOperator.push_back(platform::activeTimerResolutionScopes());
        return dialog_.chooseSettingsFile(owner, fileName, size);
    }

private:
    FakeTiming& clock_;
    FakeDialog& dialog_;
};

class TimerResolutionTest : public SimDeviceTest {
protected:
    void SetUp() override {
        SimDeviceTest::SetUp();
        MemoryLayout layout;
        layout.lights = {{0x10, 0x400, 0x100, 0x150, 1}, {0x20, 0x600, 0x100, 0x150, 1}};
        reader.addDevice(device(layout));
        reader.enableTrace();
        reader.apply();
        appState().dialogWindow = window();
    }

    void firstTick() {
        DialogMessage tick;
        tick.event = DialogEvent::Timer;
        tick.id = kDiscoveryTimerId;
        handleDialogMessage(tick, window(), controls, worker);
    }

    static bool allInside(const std::vector<int>& counts) {
        for (int count : counts)
            if (count < 1) return false;
        return !counts.empty();
    }

    ScratchDirectory scratch;
    FakeControls controls;
    WorkerControl worker;
};

TEST_F(TimerResolutionTest, DiscoveryOnTheFirstTickHoldsItAndGivesItBack) {
    ScopeWitness witness(clock, dialog);
    firstTick();
    ASSERT_EQ(appState().openCount, 1);
    EXPECT_TRUE(allInside(witness.duringSleeps));
    EXPECT_EQ(platform::activeTimerResolutionScopes(), 0);
}

TEST_F(TimerResolutionTest, StoreAndRestoreHoldItOnlyWhileTheDeviceWorks) {
    firstTick();
    ASSERT_EQ(appState().openCount, 1);
    const std::vector<uint8_t> original = reader.memory(0);
    ScopeWitness witness(clock, dialog);

    dialog.answerNext(kAnswerYes);
    serveCommand(IDC_STORE, OperatorChoice{false, 0x1c8});
    ASSERT_NE(reader.memory(0), original);
    EXPECT_TRUE(allInside(witness.duringSleeps));
    EXPECT_EQ(witness.duringOperator, (std::vector<int>{0, 0}));  // question, notice
    EXPECT_EQ(platform::activeTimerResolutionScopes(), 0);

    witness.duringSleeps.clear();
    witness.duringOperator.clear();
    ASSERT_EQ(scratch.setFiles().size(), 1u);
    dialog.chooseFileNext((scratch.path() / scratch.setFiles()[0]).string());
    serveCommand(IDC_RESTORE, {});
    EXPECT_EQ(reader.memory(0), original);
    EXPECT_TRUE(allInside(witness.duringSleeps));
    EXPECT_EQ(witness.duringOperator, (std::vector<int>{0, 0}));  // file dialog, notice
    EXPECT_EQ(platform::activeTimerResolutionScopes(), 0);
}

TEST_F(TimerResolutionTest, StoreAnsweredNoNeverAsksForIt) {
    firstTick();
    ScopeWitness witness(clock, dialog);
    dialog.answerNext(kAnswerNo);
    serveCommand(IDC_STORE, OperatorChoice{false, 0x1c8});
    EXPECT_TRUE(witness.duringSleeps.empty());
    EXPECT_EQ(witness.duringOperator, std::vector<int>{0});
    EXPECT_EQ(platform::activeTimerResolutionScopes(), 0);
}

}  // namespace
}  // namespace spelvane::testing
