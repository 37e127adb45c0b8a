#pragma once
// The worker thread that runs the long commands (Store, Restore, Test) so the
// dialog stays responsive, and the small state machine that starts it paused,
// resumes it once the application record is ready and stops it at exit.
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <memory>

#include "platform/thread.h"
#include "settings/change_computation.h"

namespace spelvane {

enum class WorkerState : uint32_t {
    Unset = 0,
    Stop = 1,
    ResumeRequested = 2,
    Running = 3,
    PauseRequested = 4,
    Paused = 5,
};

constexpr const char* kConfirmStore = "Are you sure to change settings?";

constexpr uint32_t kWorkerPollMs = 20;
constexpr uint32_t kWorkerPausedPollMs = 10;
constexpr size_t kRestoreNameSize = 260;

// Both words are shared with the dialog thread without a lock; each is read
// and written whole.
struct WorkerControl {
    platform::Thread thread;
    std::unique_ptr<platform::ManualResetEvent> stoppedEvent;
    std::unique_ptr<platform::ManualResetEvent> pausedEvent;
    std::atomic<uint32_t> state{static_cast<uint32_t>(WorkerState::Unset)};
    std::atomic<uint32_t> pendingCommand{0};
    // What a Store writes: the controls as they stood when Store was
    // pressed, which the confirmation that follows cannot change (it is
    // modal to the dialog). Written by the dialog thread only while no
    // command is pending and before the command word; the worker takes one
    // copy as it takes the command, so every reader of the Store gets the
    // same values whatever the controls or the dialog do afterwards.
    OperatorChoice storeChoice;
    // Set by the dialog thread: presses count only once start-up has shown
    // the device's values (ready), and none once the dialog has begun to
    // close (closing); the worker starts no command after that either.
    std::atomic<bool> ready{false};
    std::atomic<bool> closing{false};

    WorkerState currentState() const { return static_cast<WorkerState>(state.load()); }
    void setState(WorkerState next) { state.store(static_cast<uint32_t>(next)); }
};

// The program's one worker. Never destroyed, so no exit-time destructor can
// pull its events away from a thread that is still finishing a command.
WorkerControl& workerControl();

// Clears the application record's start fields, creates the events, starts
// the thread paused, clears the settings records and resumes the thread.
void startWorker(WorkerControl& control);

// Asks the worker to end, waits without a time limit for a command in
// progress to finish, and closes the handles. A press that the worker has not
// picked up yet is dropped, so nothing is served once the dialog is gone.
// Calling it again, or on a worker that never started, does nothing harmful.
void stopWorker(WorkerControl& control);

// The thread routine; the parameter is the WorkerControl. Returns 1.
unsigned workerMain(void* parameter);

// Runs one pass of the command in `command` (1004, 1006, 1007), a Store
// with storeChoice; any other value sleeps one poll interval. Exposed for
// tests.
void serveCommand(uint32_t command, const OperatorChoice& storeChoice);

// "%s_*.set" with the display name, shortened so the pattern always fits.
void formatRestorePattern(char* buffer, size_t size, const char* displayName, size_t nameCapacity);

}  // namespace spelvane
