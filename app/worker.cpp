#include "app/worker.h"

#include <cstdio>
#include <cstring>
#include <exception>
#include <string>

#include "app/app_state.h"
#include "app/closing_notice.h"
#include "app/control_ids.h"
#include "app/message_log.h"
#include "app/texts.h"
#include "app/dialog_port.h"
#include "platform/timer_resolution.h"
#include "platform/timing.h"
#include "settings/settings_file.h"

namespace spelvane {
namespace {

constexpr const char* kRestorePatternSuffix = "_*.set";

void showNotice(WindowHandle dialog, const std::string& text) {
    dialogPort().messageBox(dialog, text.c_str(), kAppTitle, kButtonsOk);
}

void runStore(AppState& app, const OperatorChoice& choice) {
    WindowHandle dialog = app.dialogWindow;
    if (dialogPort().messageBox(dialog, kConfirmStore, kAppTitle, kButtonsYesNo) != kAnswerYes) return;
    AppState::StoreResult result;
    {
        platform::TimerResolutionScope fineTimer;
        result = app.backUpAndStore(choice);
    }
    showNotice(dialog, storeClosingNotice(app, result));
}

void runRestore(AppState& app) {
    WindowHandle dialog = app.dialogWindow;
    char fileName[kRestoreNameSize];
    formatRestorePattern(fileName, sizeof fileName, app.displayName, sizeof app.displayName);
    if (!chooseSettingsFile(dialog, fileName, sizeof fileName)) return;
    RestoreSummary summary;
    {
        platform::TimerResolutionScope fineTimer;
        summary = app.restoreFromFile(fileName);
    }
    showNotice(dialog, restoreClosingNotice(app, summary, fileName));
}

}  // namespace

WorkerControl& workerControl() {
    static WorkerControl* control = new WorkerControl;
    return *control;
}

void formatRestorePattern(char* buffer, size_t size, const char* displayName, size_t nameCapacity) {
    if (!buffer || size == 0) return;
    size_t suffixLength = std::strlen(kRestorePatternSuffix);
    size_t nameLength = displayName ? strnlen(displayName, nameCapacity) : 0;
    // Keep the whole suffix: a pattern cut inside "_*.set" would list the
    // wrong files or none.
    size_t room = size > suffixLength ? size - 1 - suffixLength : 0;
    if (nameLength > room) nameLength = room;
    // The same name the backup gave its files, so the dialog lists them.
    for (size_t i = 0; i < nameLength; ++i) buffer[i] = fileNameCharacter(displayName[i]);
    std::snprintf(buffer + nameLength, size - nameLength, "%s", kRestorePatternSuffix);
}

namespace {

// Nothing unexpected (memory running out, an internal error) leaves the
// worker: the log names it, and the dialog hears that the command ended.
template <typename Command>
void runGuarded(Command command) {
    try {
        command();
    } catch (const std::exception& error) {
        messageLog().append("Unexpected failure: %s; the command was stopped\r\n", error.what());
    } catch (...) {
        messageLog().append("Unexpected failure; the command was stopped\r\n");
    }
}

}  // namespace

void serveCommand(uint32_t command, const OperatorChoice& storeChoice) {
    AppState& app = appState();
    switch (command) {
    case IDC_STORE:
        runGuarded([&] { runStore(app, storeChoice); });
        break;
    case IDC_RESTORE:
        runGuarded([&] { runRestore(app); });
        break;
    case IDC_TEST:
        break;
    default:
        timing().sleepMs(kWorkerPollMs);
        return;
    }
    dialogPort().sendCompletion(app.dialogWindow);
}

unsigned workerMain(void* parameter) {
    auto& control = *static_cast<WorkerControl*>(parameter);
    if (control.currentState() != WorkerState::Stop) {
        do {
            switch (control.currentState()) {
            case WorkerState::Unset:
                control.setState(WorkerState::Stop);
                break;
            case WorkerState::ResumeRequested:
                control.setState(WorkerState::Running);
                control.pausedEvent->reset();
                break;
            case WorkerState::Running:
                // A stop request is seen only between passes, so a command
                // always ends, message boxes included.
                // Checked after the command is read: a press still waiting
                // when the dialog began to close is not served.
                {
                    const uint32_t command = control.pendingCommand.load();
                    // Read after the command word, which the dialog sets
                    // only once the choice is in place.
                    const OperatorChoice choice = command == IDC_STORE ? control.storeChoice : OperatorChoice{};
                    serveCommand(control.closing.load() ? 0u : command, choice);
                }
                break;
            case WorkerState::PauseRequested:
                control.setState(WorkerState::Paused);
                control.pausedEvent->set();
                break;
            case WorkerState::Paused:
                timing().sleepMs(kWorkerPausedPollMs);
                break;
            default:
                break;
            }
        } while (control.currentState() != WorkerState::Stop);
    }
    control.pausedEvent->set();
    control.stoppedEvent->set();
    return 1;
}

void startWorker(WorkerControl& control) {
    AppState& app = appState();
    app.instance = nullptr;
    app.dialogWindow = nullptr;
    app.openCount = 0;
    std::memset(app.displayName, 0, sizeof app.displayName);
    control.pendingCommand.store(0);
    control.ready.store(false);
    control.closing.store(false);

    control.stoppedEvent = std::make_unique<platform::ManualResetEvent>();
    control.pausedEvent = std::make_unique<platform::ManualResetEvent>();
    control.setState(WorkerState::Paused);
    control.pausedEvent->set();

    if (!control.thread.start(workerMain, &control)) control.setState(WorkerState::Stop);

    for (SpeedSettings& record : app.settings) {
        record.device = nullptr;
        record.info = nullptr;
        record.adopt(SpeedValues{});
    }

    WorkerState state = control.currentState();
    if (state == WorkerState::PauseRequested || state == WorkerState::Paused) {
        control.pausedEvent->reset();
        control.setState(WorkerState::ResumeRequested);
    }
}

void stopWorker(WorkerControl& control) {
    control.pendingCommand.store(0);
    control.setState(WorkerState::Stop);
    if (control.thread.valid()) {
        control.stoppedEvent->wait(platform::kWaitForever);
        // The thread signals just before it returns; joining as well keeps
        // the events alive until it has really left them.
        control.thread.join();
    }
    control.thread.close();
    control.stoppedEvent.reset();
    control.pausedEvent.reset();
}

}  // namespace spelvane
