// The worker: its state table and poll intervals, start and stop, and the
// commands as the operator sees them (boxes, completion, initial file name).
#include <gtest/gtest.h>

#include <atomic>
#include <cstring>
#include <string>
#include <vector>

#include "app/app_state.h"
#include "app/texts.h"
#include "app/control_ids.h"
#include "app/dialog_logic.h"
#include "app/message_log.h"
#include "app/worker.h"
#include "platform/mutex.h"
#include "platform/sleep.h"
#include "platform/thread.h"
#include "platform/timing.h"
#include "tests/app/completing_dialog.h"
#include "tests/support/fake_dialog.h"
#include "tests/support/program_state.h"

namespace spelvane {
namespace {

using testing::CompletingDialog;
using testing::FakeDialog;

// A clock that never moves; the tests below only watch the pauses.
class PauseTiming : public Timing {
public:
    PauseTiming() { setTiming(this); }
    ~PauseTiming() override { setTiming(nullptr); }
    bool counter(int64_t& ticks) override {
        ticks = 0;
        return true;
    }
    bool frequency(int64_t& ticksPerSecond) override {
        ticksPerSecond = 1000;
        return true;
    }
    int64_t calendarTime() override { return 1700000000; }
};

// Records the pauses the worker asks for and, after a set number of them,
// asks it to stop, so that the loop can run on the test's own thread.
class StoppingTiming final : public PauseTiming {
public:
    StoppingTiming(WorkerControl& control, size_t stopAfter) : control_(control), stopAfter_(stopAfter) {}
    void sleepMs(uint32_t milliseconds) override {
        sleeps.push_back(milliseconds);
        if (sleeps.size() >= stopAfter_) control_.setState(WorkerState::Stop);
    }

    std::vector<uint32_t> sleeps;

private:
    WorkerControl& control_;
    size_t stopAfter_;
};

// Real pauses of 1 ms, so threaded tests run fast, counted by interval.
class QuickTiming final : public PauseTiming {
public:
    void sleepMs(uint32_t milliseconds) override {
        if (milliseconds == kWorkerPollMs) ++runningPolls;
        if (milliseconds == kWorkerPausedPollMs) ++pausedPolls;
        platform::sleepMilliseconds(1);
    }

    std::atomic<int> runningPolls{0};
    std::atomic<int> pausedPolls{0};
};

// Stops the worker before the test's own ports and clocks go away, also when
// an assertion leaves the test early.
struct StopOnExit {
    WorkerControl& worker;
    ~StopOnExit() { stopWorker(worker); }
};

template <typename Condition>
bool waitFor(Condition condition, int milliseconds = 5000) {
    for (int waited = 0; waited < milliseconds; ++waited) {
        if (condition()) return true;
        platform::sleepMilliseconds(1);
    }
    return condition();
}

class WorkerTest : public ::testing::Test {
protected:
    void SetUp() override {
        testing::resetProgramState();
        setDialogPort(&dialog);
        appState().dialogWindow = dialogWindow;
    }
    void TearDown() override {
        stopWorker(worker);
        testing::resetProgramState();
    }

    void createEvents() {
        worker.stoppedEvent = std::make_unique<platform::ManualResetEvent>();
        worker.pausedEvent = std::make_unique<platform::ManualResetEvent>();
    }

    std::vector<std::string> boxTexts() const {
        std::vector<std::string> texts;
        for (const auto& message : dialog.messages()) texts.push_back(message.text);
        return texts;
    }

    WindowHandle dialogWindow = reinterpret_cast<WindowHandle>(0x5150);
    FakeDialog dialog;
    WorkerControl worker;
};

TEST_F(WorkerTest, StateTableAndPollIntervals) {
    createEvents();

    worker.setState(WorkerState::Unset);
    EXPECT_EQ(workerMain(&worker), 1u);
    EXPECT_EQ(worker.currentState(), WorkerState::Stop);
    EXPECT_TRUE(worker.pausedEvent->isSet());
    EXPECT_TRUE(worker.stoppedEvent->isSet());

    {
        worker.pausedEvent->reset();
        worker.setState(WorkerState::Paused);
        StoppingTiming timing(worker, 3);
        workerMain(&worker);
        EXPECT_EQ(timing.sleeps, (std::vector<uint32_t>{10, 10, 10}));
    }
    {
        worker.setState(WorkerState::ResumeRequested);
        worker.pausedEvent->set();
        StoppingTiming timing(worker, 1);
        // The first pass resumes and resets the paused event; the next one
        // serves nothing and polls.
        workerMain(&worker);
        EXPECT_EQ(timing.sleeps, (std::vector<uint32_t>{20}));
        EXPECT_EQ(dialog.completions(), 0);
    }
    {
        worker.setState(WorkerState::PauseRequested);
        worker.pausedEvent->reset();
        StoppingTiming timing(worker, 2);
        workerMain(&worker);
        EXPECT_EQ(timing.sleeps, (std::vector<uint32_t>{10, 10}));
    }
    {
        // A stop found on entry ends at once.
        worker.stoppedEvent->reset();
        worker.setState(WorkerState::Stop);
        StoppingTiming timing(worker, 1);
        EXPECT_EQ(workerMain(&worker), 1u);
        EXPECT_TRUE(timing.sleeps.empty());
        EXPECT_TRUE(worker.stoppedEvent->isSet());
    }
}

TEST_F(WorkerTest, RunningPassesServeOnlyKnownCommandsAndNoneAfterClose) {
    createEvents();
    struct Case {
        uint32_t command;
        bool closing;
    };
    // The label's id is no command; a Test still waiting when the dialog
    // began to close is not served.
    for (Case pass : {Case{1005, false}, Case{IDC_TEST, true}}) {
        worker.setState(WorkerState::Running);
        worker.pendingCommand.store(pass.command);
        worker.closing.store(pass.closing);
        StoppingTiming timing(worker, 2);
        workerMain(&worker);
        EXPECT_EQ(timing.sleeps, (std::vector<uint32_t>{20, 20})) << pass.command;
        EXPECT_EQ(dialog.completions(), 0) << pass.command;
    }
}

TEST_F(WorkerTest, StartsPausedResumesAndRunsUntilStopped) {
    QuickTiming timing;
    StopOnExit stopper{worker};
    std::strcpy(appState().displayName, "left over");
    appState().openCount = 2;
    SpeedValues stale{};
    stale.hblank = 99;
    appState().settings[1].adopt(stale);

    startWorker(worker);
    EXPECT_EQ(appState().dialogWindow, nullptr);
    EXPECT_EQ(appState().openCount, 0);
    EXPECT_EQ(appState().displayName[0], '\0');
    EXPECT_EQ(appState().settings[1].snapshot().hblank, 0);
    ASSERT_TRUE(worker.thread.valid());

    ASSERT_TRUE(waitFor([&] { return worker.currentState() == WorkerState::Running; }));
    ASSERT_TRUE(waitFor([&] { return timing.runningPolls.load() >= 3; }));
    EXPECT_FALSE(worker.pausedEvent->isSet());
    EXPECT_FALSE(worker.stoppedEvent->isSet());

    worker.setState(WorkerState::PauseRequested);
    ASSERT_TRUE(waitFor([&] { return worker.pausedEvent->isSet(); }));
    int pausedBefore = timing.pausedPolls.load();
    ASSERT_TRUE(waitFor([&] { return timing.pausedPolls.load() >= pausedBefore + 3; }));
    EXPECT_EQ(worker.currentState(), WorkerState::Paused);

    stopWorker(worker);
    EXPECT_EQ(worker.currentState(), WorkerState::Stop);
    EXPECT_FALSE(worker.thread.valid());
    EXPECT_EQ(worker.stoppedEvent, nullptr);
    stopWorker(worker);  // a second stop finds nothing to wait for
}

TEST_F(WorkerTest, StopOfAWorkerThatNeverStartedDoesNotWait) {
    stopWorker(worker);
    EXPECT_EQ(worker.currentState(), WorkerState::Stop);
}

TEST_F(WorkerTest, TestCommandOnlyCompletes) {
    serveCommand(IDC_TEST, {});
    EXPECT_EQ(dialog.completions(), 1);
    EXPECT_TRUE(dialog.messages().empty());
    EXPECT_TRUE(dialog.initialFileNames().empty());
    EXPECT_EQ(messageLog().length(), 0);
}

TEST_F(WorkerTest, StoreAnsweredNoWritesNothingAndShowsNoNotice) {
    QuickTiming timing;
    CompletingDialog completing(dialog, worker);
    dialog.answerNext(kAnswerNo);
    StopOnExit stopper{worker};
    startWorker(worker);
    appState().dialogWindow = dialogWindow;
    worker.pendingCommand.store(IDC_STORE);
    ASSERT_TRUE(waitFor([&] { return dialog.completions() == 1; }));
    ASSERT_TRUE(waitFor([&] { return worker.pendingCommand.load() == 0; }));
    stopWorker(worker);

    ASSERT_EQ(dialog.messages().size(), 1u);
    const testing::ShownMessage question = dialog.messages()[0];
    EXPECT_EQ(question.text, kConfirmStore);
    EXPECT_EQ(question.title, kAppTitle);
    EXPECT_EQ(question.buttons, static_cast<unsigned>(kButtonsYesNo));
    EXPECT_EQ(question.owner, dialogWindow);
    // Not even the backup banner: nothing was backed up.
    EXPECT_EQ(messageLog().length(), 0);
    EXPECT_EQ(dialog.completions(), 1);
}

TEST_F(WorkerTest, RestoreCancelledCompletesWithoutNotice) {
    serveCommand(IDC_RESTORE, {});
    EXPECT_EQ(dialog.initialFileNames(), std::vector<std::string>{"_*.set"});
    EXPECT_TRUE(dialog.messages().empty());
    EXPECT_EQ(dialog.completions(), 1);
    EXPECT_EQ(messageLog().length(), 0);
}

TEST_F(WorkerTest, RestoreStartsFromTheDisplayNamePattern) {
    std::strcpy(appState().displayName, "KYT-A1");
    serveCommand(IDC_RESTORE, {});
    EXPECT_EQ(dialog.initialFileNames(), std::vector<std::string>{"KYT-A1_*.set"});
}

TEST_F(WorkerTest, OverlongDisplayNameKeepsTheWholePattern) {
    std::memset(appState().displayName, 'N', sizeof appState().displayName);  // not even terminated
    serveCommand(IDC_RESTORE, {});
    ASSERT_EQ(dialog.initialFileNames().size(), 1u);
    std::string pattern = dialog.initialFileNames()[0];
    EXPECT_EQ(pattern.size(), 259u);
    EXPECT_EQ(pattern, std::string(253, 'N') + "_*.set");

    char small[10];
    formatRestorePattern(small, sizeof small, "ABCDEFGH", 9);
    EXPECT_STREQ(small, "ABC_*.set");
    char tooSmall[4];
    formatRestorePattern(tooSmall, sizeof tooSmall, "ABCDEFGH", 9);
    EXPECT_EQ(std::strlen(tooSmall), 3u);

    // The pattern names the backups as the backup named them.
    char unsafe[32];
    formatRestorePattern(unsafe, sizeof unsafe, "A/B\\C:D", 9);
    EXPECT_STREQ(unsafe, "A_B_C_D_*.set");
}

// Holds the worker inside a command's message box until the test lets go,
// and notes what the program had done by the time the command ended.
class HoldingDialog final : public SilentDialogPort {
public:
    HoldingDialog() { setDialogPort(this); }
    ~HoldingDialog() override { setDialogPort(nullptr); }

    int messageBox(WindowHandle, const char* text, const char*, unsigned) override {
        ++boxes;
        inBox = true;
        while (!letGo.load()) platform::sleepMilliseconds(1);
        inBox = false;
        return kAnswerNo;
    }
    void sendCompletion(WindowHandle) override {
        ++completions;
        markerAtCompletion = appState().listMarker;
    }

    std::atomic<int> boxes{0};
    std::atomic<bool> inBox{false};
    std::atomic<bool> letGo{false};
    std::atomic<int> completions{0};
    std::atomic<uint32_t> markerAtCompletion{0};
};

struct FinishCall {
    WorkerControl* worker;
    std::atomic<bool> done{false};
    std::atomic<int> status{0};
};

unsigned runFinish(void* parameter) {
    auto* call = static_cast<FinishCall*>(parameter);
    call->status = finishAfterDialog(*call->worker);
    call->done = true;
    return 0;
}

TEST_F(WorkerTest, ClosingDuringACommandWaitsForItBeforeReleasingDevices) {
    QuickTiming timing;
    HoldingDialog holding;
    StopOnExit stopper{worker};
    startWorker(worker);
    appState().dialogWindow = dialogWindow;
    worker.pendingCommand.store(IDC_STORE);
    ASSERT_TRUE(waitFor([&] { return holding.inBox.load(); }));

    // The dialog is gone: the completion cannot clear the word, and the
    // operator pressed Store again before closing.
    worker.pendingCommand.store(IDC_STORE);
    FinishCall call{&worker};
    platform::Thread closer;
    ASSERT_TRUE(closer.start(runFinish, &call));
    platform::sleepMilliseconds(50);
    EXPECT_FALSE(call.done.load());
    EXPECT_NE(appState().listMarker, kListMarkerReleased);

    holding.letGo = true;
    closer.join();
    EXPECT_TRUE(call.done.load());
    EXPECT_EQ(call.status.load(), 1);
    EXPECT_EQ(holding.boxes.load(), 1);  // the second press was never served
    EXPECT_EQ(holding.completions.load(), 1);
    EXPECT_NE(holding.markerAtCompletion.load(), kListMarkerReleased);
    EXPECT_EQ(appState().listMarker, kListMarkerReleased);
    EXPECT_EQ(worker.currentState(), WorkerState::Stop);
}

}  // namespace
}  // namespace spelvane
