// The main dialog's decisions: the message table, the refresh for zero, one
// and two devices, and the HBlank label.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "app/app_state.h"
#include "app/texts.h"
#include "app/control_ids.h"
#include "app/dialog_logic.h"
#include "app/message_log.h"
#include "app/worker.h"
#include "device/call_gate.h"
#include "tests/app/fake_controls.h"
#include "tests/support/fake_dialog.h"
#include "tests/support/program_state.h"

namespace spelvane {
namespace {

using testing::FakeControls;
using testing::FakeDialog;

const char* missingLibrary(const char*) { return "/nonexistent/spelvane-no-such-library.dll"; }

class DialogLogicTest : public ::testing::Test {
protected:
    void SetUp() override {
        testing::resetProgramState();
        setDialogPort(&dialog);
    }
    void TearDown() override { testing::resetProgramState(); }

    bool handle(DialogEvent event, uintptr_t id = 0, bool fromTrackbar = false) {
        DialogMessage message;
        message.event = event;
        message.id = id;
        message.fromTrackbar = fromTrackbar;
        return handleDialogMessage(message, dialogWindow, controls, worker);
    }

    static void setDevice(int index, uint16_t hblank, uint8_t halfClock) {
        SpeedValues values{};
        values.hblank = hblank;
        values.halfClock = halfClock;
        appState().settings[index].adopt(values);
    }

    WindowHandle dialogWindow = reinterpret_cast<WindowHandle>(0x1234);
    FakeDialog dialog;
    FakeControls controls;
    WorkerControl worker;
};

TEST_F(DialogLogicTest, LabelIsFourLowerCaseHexDigitsAtLeast) {
    char label[kLabelSize];
    formatHBlankLabel(label, sizeof label, 21);
    EXPECT_STREQ(label, "0015");
    formatHBlankLabel(label, sizeof label, 1023);
    EXPECT_STREQ(label, "03ff");
    formatHBlankLabel(label, sizeof label, 0);
    EXPECT_STREQ(label, "0000");
    formatHBlankLabel(label, sizeof label, 0xABCDE);
    EXPECT_STREQ(label, "abcde");
    char tiny[3];
    formatHBlankLabel(tiny, sizeof tiny, 0x3ff);
    EXPECT_STREQ(tiny, "03");
}

TEST_F(DialogLogicTest, InitDialogKeepsTrackbarSetsIconsWindowAndTimer) {
    EXPECT_TRUE(handle(DialogEvent::InitDialog));
    EXPECT_EQ(appState().dialogWindow, dialogWindow);
    std::vector<std::string> expected = {"keepTrackbar", "setIcons", "startTimer 1 100"};
    EXPECT_EQ(controls.calls, expected);
}

TEST_F(DialogLogicTest, OnlyTimerOneRunsDiscoveryAndAFailureEndsTheDialog) {
    setLibraryPathResolver(missingLibrary);
    appState().dialogWindow = dialogWindow;

    EXPECT_TRUE(handle(DialogEvent::Timer, 2));
    EXPECT_TRUE(controls.calls.empty());
    EXPECT_TRUE(dialog.messages().empty());

    EXPECT_TRUE(handle(DialogEvent::Timer, kDiscoveryTimerId));
    std::vector<std::string> expected = {"stopTimer 1", "endDialog 1"};
    EXPECT_EQ(controls.calls, expected);
    ASSERT_EQ(dialog.messages().size(), 1u);
    EXPECT_EQ(dialog.messages()[0].text, kNoDevicesText);
    // Refreshed even though the dialog is ending.
    EXPECT_EQ(controls.text(IDC_HBLANK_LABEL), "0000");
    EXPECT_EQ(controls.rangeMinimum, 21);
    EXPECT_EQ(controls.rangeMaximum, 1023);
}

TEST_F(DialogLogicTest, CommandButtonsOnlySetThePendingCommand) {
    worker.ready.store(true);
    for (uintptr_t id : {IDC_STORE, IDC_RESTORE, IDC_TEST}) {
        EXPECT_TRUE(handle(DialogEvent::Command, id));
        EXPECT_EQ(worker.pendingCommand.load(), id);
        handle(DialogEvent::CommandDone);
    }
    EXPECT_TRUE(controls.calls.empty());
    EXPECT_TRUE(controls.texts.empty());
}

TEST_F(DialogLogicTest, PressBeforeStartUpOrAfterCloseIsIgnored) {
    for (uintptr_t id : {IDC_STORE, IDC_RESTORE, IDC_TEST}) {
        EXPECT_TRUE(handle(DialogEvent::Command, id)) << id;
        EXPECT_EQ(worker.pendingCommand.load(), 0u) << "before start-up, " << id;
    }
    worker.ready.store(true);
    EXPECT_TRUE(handle(DialogEvent::Close));
    for (uintptr_t id : {IDC_STORE, IDC_RESTORE, IDC_TEST}) {
        EXPECT_TRUE(handle(DialogEvent::Command, id)) << id;
        EXPECT_EQ(worker.pendingCommand.load(), 0u) << "after Close, " << id;
    }
}

TEST_F(DialogLogicTest, PressDuringACommandIsDroppedByItsCompletion) {
    worker.ready.store(true);
    controls.checks[IDC_HALF_CLOCK] = true;
    controls.trackbar = 0x155;
    handle(DialogEvent::Command, IDC_STORE);
    controls.checks[IDC_HALF_CLOCK] = false;
    controls.trackbar = 0x200;
    handle(DialogEvent::Command, IDC_STORE);  // pressed again while the Store runs
    EXPECT_EQ(worker.pendingCommand.load(), static_cast<uint32_t>(IDC_STORE));
    // The worker stores what the controls held at the first press.
    EXPECT_EQ(worker.storeChoice.halfClock, std::optional<bool>(true));
    EXPECT_EQ(worker.storeChoice.hblank, std::optional<uint16_t>(0x155));
    controls.trackbar = 300;
    controls.texts[IDC_HBLANK_LABEL] = "012c";
    EXPECT_TRUE(handle(DialogEvent::CommandDone));
    EXPECT_EQ(worker.pendingCommand.load(), 0u);
    // The completion does not refresh.
    EXPECT_EQ(controls.text(IDC_HBLANK_LABEL), "012c");
    EXPECT_EQ(controls.positionSets, 0);
}

TEST_F(DialogLogicTest, OkCancelAndUnknownIdsAreNotHandledAndDoNotClose) {
    EXPECT_FALSE(handle(DialogEvent::Command, 1));  // IDOK
    EXPECT_FALSE(handle(DialogEvent::Command, 2));  // IDCANCEL
    EXPECT_FALSE(handle(DialogEvent::Command, IDC_HALF_CLOCK));
    EXPECT_FALSE(handle(DialogEvent::Other));
    EXPECT_FALSE(controls.ended);
    EXPECT_EQ(worker.pendingCommand.load(), 0u);
    EXPECT_TRUE(handle(DialogEvent::Close));
    EXPECT_TRUE(controls.ended);
    EXPECT_EQ(controls.calls.back(), "endDialog 1");
}

TEST_F(DialogLogicTest, LabelFollowsOnlyTheKeptTrackbar) {
    controls.trackbar = 0x2a;
    EXPECT_TRUE(handle(DialogEvent::HScroll, 0, false));
    EXPECT_EQ(controls.text(IDC_HBLANK_LABEL), "<unset>");
    EXPECT_TRUE(handle(DialogEvent::HScroll, 0, true));
    EXPECT_EQ(controls.text(IDC_HBLANK_LABEL), "002a");
    controls.trackbar = 1023;
    handle(DialogEvent::HScroll, 0, true);
    EXPECT_EQ(controls.text(IDC_HBLANK_LABEL), "03ff");
}

TEST_F(DialogLogicTest, RefreshWithNoDeviceShowsNameRangeAndZeroLabel) {
    controls.trackbar = 500;
    controls.checks[IDC_HALF_CLOCK] = true;
    setDevice(0, 300, 1);  // not bound: openCount stays 0
    EXPECT_TRUE(handle(DialogEvent::Command, IDC_RESET));
    EXPECT_EQ(controls.text(IDC_DEVICE_NAME), "");
    EXPECT_EQ(controls.text(IDC_HBLANK_LABEL), "0000");
    EXPECT_EQ(controls.rangeMinimum, 21);
    EXPECT_EQ(controls.rangeMaximum, 1023);
    EXPECT_EQ(controls.positionSets, 0);
    EXPECT_TRUE(controls.checks[IDC_HALF_CLOCK]);
}

TEST_F(DialogLogicTest, RefreshWithOneDeviceBringsControlsBack) {
    std::strcpy(appState().displayName, "KVDEV-A1");
    appState().openCount = 1;
    setDevice(0, 1023, 2);
    controls.trackbar = 40;  // the operator moved it
    controls.checks[IDC_HALF_CLOCK] = false;
    handle(DialogEvent::Command, IDC_RESET);
    EXPECT_EQ(controls.text(IDC_DEVICE_NAME), "KVDEV-A1");
    EXPECT_EQ(controls.text(IDC_HBLANK_LABEL), "03ff");
    EXPECT_EQ(controls.trackbar, 1023);
    EXPECT_TRUE(controls.checks[IDC_HALF_CLOCK]);

    setDevice(0, 21, 0);
    handle(DialogEvent::Command, IDC_RESET);
    EXPECT_EQ(controls.text(IDC_HBLANK_LABEL), "0015");
    EXPECT_EQ(controls.trackbar, 21);
    EXPECT_FALSE(controls.checks[IDC_HALF_CLOCK]);
}

TEST_F(DialogLogicTest, RefreshWithTwoDevicesShowsOnlyWhatTheyAgreeOn) {
    appState().openCount = 2;

    // Same Half Clock, different HBlank: check box set, trackbar untouched.
    setDevice(0, 300, 1);
    setDevice(1, 400, 1);
    controls.trackbar = 77;
    controls.checks[IDC_HALF_CLOCK] = false;
    handle(DialogEvent::Command, IDC_RESET);
    EXPECT_TRUE(controls.checks[IDC_HALF_CLOCK]);
    EXPECT_EQ(controls.trackbar, 77);
    EXPECT_EQ(controls.positionSets, 0);
    EXPECT_EQ(controls.text(IDC_HBLANK_LABEL), "0000");

    // Same HBlank, different Half Clock: trackbar and label set, check box kept.
    setDevice(0, 300, 0);
    setDevice(1, 300, 1);
    controls.checks[IDC_HALF_CLOCK] = true;
    handle(DialogEvent::Command, IDC_RESET);
    EXPECT_EQ(controls.trackbar, 300);
    EXPECT_EQ(controls.text(IDC_HBLANK_LABEL), "012c");
    EXPECT_TRUE(controls.checks[IDC_HALF_CLOCK]);
    controls.checks[IDC_HALF_CLOCK] = false;
    handle(DialogEvent::Command, IDC_RESET);
    EXPECT_FALSE(controls.checks[IDC_HALF_CLOCK]);

    // Full agreement, Half Clock off.
    setDevice(0, 64, 0);
    setDevice(1, 64, 0);
    controls.checks[IDC_HALF_CLOCK] = true;
    handle(DialogEvent::Command, IDC_RESET);
    EXPECT_FALSE(controls.checks[IDC_HALF_CLOCK]);
    EXPECT_EQ(controls.text(IDC_HBLANK_LABEL), "0040");
}

TEST_F(DialogLogicTest, ResetEmptiesTheLogBox) {
    appState().dialogWindow = dialogWindow;
    messageLog().append("Store -> device: %s\r\n", "TYPE1");
    EXPECT_EQ(dialog.shownLog(), "Store -> device: TYPE1\r\n");
    handle(DialogEvent::Command, IDC_RESET);
    EXPECT_EQ(dialog.shownLog(), "");
    EXPECT_EQ(messageLog().length(), 0);
}

}  // namespace
}  // namespace spelvane
