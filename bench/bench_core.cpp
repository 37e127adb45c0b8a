// spelvane-bench: start-up, store, request pacing and message log cost of
// the portable core, on the real clock against the simulated reader, with a
// dialog that answers at once. Prints "name value" lines.
//
//   spelvane-bench device <work-dir> single|pair   start-up, store, pacing
//   spelvane-bench log <lines> <appends>            append cost, no display
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "app/app_state.h"
#include "app/closing_notice.h"
#include "app/control_ids.h"
#include "app/dialog_logic.h"
#include "app/message_log.h"
#include "app/worker.h"
#include "bench/log_fill.h"
#include "bench/stats.h"
#include "app/dialog_port.h"
#include "bench/trace.h"
#include "platform/sleep.h"
#include "platform/thread.h"
#include "settings/history_file.h"

namespace spelvane::bench {
namespace {

constexpr int kLights = 5;
constexpr uint16_t kStartHBlank = 0x100;
constexpr uint16_t kChangedHBlank = 0x1c8;
constexpr const char* kConfirmStore = "Are you sure to change settings?";
constexpr const char* kRestartNotice = "Restart device to apply changes!";

int failures = 0;

void fail(const std::string& what) {
    std::fprintf(stderr, "bench: %s\n", what.c_str());
    ++failures;
}

// The dialog's own controls: nothing to draw, the timer is kept by main.
class QuietControls final : public DialogControls {
public:
    uint32_t timerPeriodMs = 0;
    bool ended = false;
    void keepTrackbar() override {}
    void setIcons() override {}
    void startTimer(uintptr_t, uint32_t periodMs) override { timerPeriodMs = periodMs; }
    void stopTimer(uintptr_t) override {}
    void endDialog(intptr_t) override { ended = true; }
    void setItemText(int, const char*) override {}
    void setTrackbarRange(int32_t, int32_t) override {}
    void setTrackbarPosition(int32_t) override {}
    int32_t trackbarPosition() override { return kChangedHBlank; }
    void setChecked(int, bool) override {}
    bool isChecked(int) override { return false; }
    void enableCommands() override {}
};

// The operator who always says Yes, never moves anything but the trackbar,
// and whose dialog takes the log and the completion at once.
class PromptDialog final : public DialogPort {
public:
    double yesAt = 0;
    double doneAt = 0;
    platform::ManualResetEvent done;

    int messageBox(WindowHandle, const char* text, const char*, unsigned) override {
        if (std::strcmp(text, kConfirmStore) == 0) {
            yesAt = nowMs();
            return kAnswerYes;
        }
        if (std::strcmp(text, kRestartNotice) != 0) fail(std::string("message box: ") + text);
        return kAnswerOk;
    }
    void setCursor(CursorShape) override {}
    void showLog(WindowHandle, const char*) override {}
    bool chooseSettingsFile(WindowHandle, char*, size_t) override { return false; }
    // As the dialog does on message 2024: the pending command is cleared,
    // so the worker does not serve the store again.
    void sendCompletion(WindowHandle window) override {
        doneAt = nowMs();
        QuietControls controls;
        DialogMessage message;
        message.event = DialogEvent::CommandDone;
        handleDialogMessage(message, window, controls, workerControl());
        done.set();
    }
};


void setConfigVariable(const std::string& path) {
#ifdef _WIN32
    _putenv_s("QZSIM_CONFIG", path.c_str());
#else
    setenv("QZSIM_CONFIG", path.c_str(), 1);
#endif
}

std::string hexWord(uint16_t value) {
    char text[8];
    std::snprintf(text, sizeof text, "%04x", value);
    return text;
}

// Five lights: shutter, HBlank and two further registers each.
void writeDevice(std::ostream& out, const std::string& name, const std::string& type) {
    out << "[device]\nname = " << name << "\nclass = KVDEV\ntype = " << type
        << "\nimage = " << name << ".img\naddresses = 09 05 02 03\n";
    for (int light = 1; light <= kLights; ++light)
        out << "light" << light << " = " << hexWord(static_cast<uint16_t>(0x10 * light)) << ' '
            << hexWord(static_cast<uint16_t>(0x400 + 0x80 * light)) << ' ' << hexWord(kStartHBlank)
            << " 0150 0001\n";
}

std::filesystem::path writeConfig(const std::filesystem::path& work, bool pair) {
    std::filesystem::remove_all(work);
    std::filesystem::create_directories(work);
    std::ofstream out(work / "bench.conf");
    out << "trace = trace.log\n";
    if (pair) {
        writeDevice(out, "ZEB-B1", "ZEB1");
        writeDevice(out, "KYT-B1", "KYT1");
    } else {
        writeDevice(out, "KVDEV-B1", "TYPE1");
    }
    return work / "bench.conf";
}

// history: a change history to start with (a second name of the file, not a
// copy: it may be large), or empty for none.
int runDevice(const std::filesystem::path& work, bool pair, const std::string& history) {
    const std::filesystem::path config = writeConfig(work, pair);
    if (!history.empty())
        std::filesystem::create_hard_link(std::filesystem::absolute(history), work / kHistoryFileName);
    setConfigVariable(config.string());
    std::filesystem::current_path(work);  // the backup lands here

    PromptDialog dialog;
    setDialogPort(&dialog);
    QuietControls controls;
    WorkerControl& worker = workerControl();
    startWorker(worker);
    int token = 0;
    WindowHandle window = &token;

    // Start-up: WM_INITDIALOG starts timer 1; its first tick runs discovery
    // and the refresh. The tick is awaited on the real clock.
    DialogMessage message;
    const double initAt = nowMs();
    message.event = DialogEvent::InitDialog;
    handleDialogMessage(message, window, controls, worker);
    while (nowMs() - initAt < controls.timerPeriodMs) platform::sleepMilliseconds(1);
    const double tickAt = nowMs();
    message.event = DialogEvent::Timer;
    message.id = kDiscoveryTimerId;
    handleDialogMessage(message, window, controls, worker);
    const double refreshedAt = nowMs();
    const int expected = pair ? 2 : 1;
    if (controls.ended || appState().openCount != expected) {
        fail("discovery did not open every device");
        return 1;
    }
    report("startup_ms", refreshedAt - initAt);
    report("startup_tick_ms", refreshedAt - tickAt);

    // Store, once the last start-up request is well past its pacing.
    platform::sleepMilliseconds(200);
    worker.storeChoice = OperatorChoice{false, kChangedHBlank};
    worker.pendingCommand.store(IDC_STORE);
    if (!dialog.done.wait(60000)) {
        fail("the store did not complete within a minute");
        return 1;
    }
    stopWorker(worker);
    const char* log = messageLog().text();
    const std::string logText = log ? log : "";
    const size_t headers = [&] {
        size_t count = 0;
        for (size_t at = logText.find("Refresh header info ...OK"); at != std::string::npos;
             at = logText.find("Refresh header info ...OK", at + 1))
            ++count;
        return count;
    }();
    if (headers != static_cast<size_t>(expected)) {
        fail("the store did not complete on every device; its log:");
        std::fputs(logText.c_str(), stderr);
    }
    report("store_ms", dialog.doneAt - dialog.yesAt);
    appState().releaseDevices();
    if (!reportPacing({parseTrace(readWholeFile((work / "trace.log").string()))}))
        fail("no device requests in the trace");
    setDialogPort(nullptr);
    return 0;
}

int runLog(int lines, int appends) {
    messageLog().setSink([](const char*) {});
    fillLog(lines);
    reportSpread("append", timedAppends(appends));
    return 0;
}

}  // namespace
}  // namespace spelvane::bench

int main(int argc, char** argv) {
    using namespace spelvane::bench;
    const std::string mode = argc > 1 ? argv[1] : "";
    int status = 2;
    if (mode == "device" && (argc == 4 || argc == 5)) {
        status = runDevice(std::filesystem::absolute(argv[2]), std::string(argv[3]) == "pair", argc == 5 ? argv[4] : "");
    } else if (mode == "log" && argc == 4) {
        status = runLog(std::atoi(argv[2]), std::atoi(argv[3]));
    } else {
        std::fprintf(stderr, "usage: %s device <work-dir> single|pair [<history>] | log <lines> <appends>\n", argv[0]);
        return 2;
    }
    return status != 0 || failures != 0 ? 1 : 0;
}
