// The log box against a real edit control, made as the dialog makes its log
// box: whatever way the mirror takes (a new piece at the end, or the whole
// text), the box must end up showing exactly the log; and the log reaches it
// through the program's dialog port without the worker waiting.
#ifdef _WIN32
#include <windows.h>
#include <commctrl.h>
#include <gtest/gtest.h>

#include <functional>
#include <string>

#include "app/app_state.h"
#include "app/control_ids.h"
#include "app/message_log.h"
#include "app/win32/log_box.h"
#include "app/win32/win32_dialog.h"
#include "app/worker.h"
#include "platform/thread.h"
#include "tests/support/program_state.h"

namespace spelvane::win32 {
namespace {

class LogBoxTest : public ::testing::Test {
protected:
    void SetUp() override {
        box = CreateWindowExA(0, "EDIT", "",
                              WS_POPUP | ES_MULTILINE | ES_READONLY | ES_AUTOVSCROLL | ES_AUTOHSCROLL |
                                  WS_VSCROLL | WS_HSCROLL | WS_BORDER,
                              0, 0, 400, 200, nullptr, nullptr, GetModuleHandleA(nullptr), nullptr);
        ASSERT_NE(box, nullptr);
    }
    void TearDown() override { DestroyWindow(box); }

    std::string boxText() const {
        std::string text(static_cast<size_t>(GetWindowTextLengthA(box)) + 1, '\0');
        text.resize(static_cast<size_t>(GetWindowTextA(box, text.data(), static_cast<int>(text.size()))));
        return text;
    }

    HWND box = nullptr;
    LogBoxMirror mirror;
};

TEST_F(LogBoxTest, GrowingLogIsShownWholeWellPastTheBoxesTypingLimit) {
    std::string log;
    int line = 0;
    // About 60,000 characters: twice what an edit control lets a user type.
    while (log.size() < 60000) {
        log += "Store light " + std::to_string(line++ % 5) + " ...";
        mirror.show(box, log.c_str());
        log += "OK\r\n";
        mirror.show(box, log.c_str());
        if (line % 500 == 0) ASSERT_EQ(boxText(), log) << "after line " << line;
    }
    EXPECT_EQ(boxText(), log);
    EXPECT_EQ(SendMessageA(box, EM_GETLINECOUNT, 0, 0), line + 1);
}

TEST_F(LogBoxTest, ClearedLogShowsNothingThenOnlyTheNewText) {
    mirror.show(box, "Write register adresses...");
    mirror.show(box, "Write register adresses...OK\r\n");
    mirror.show(box, "");
    EXPECT_EQ(boxText(), "");
    mirror.show(box, "Refresh header info ...");
    EXPECT_EQ(boxText(), "Refresh header info ...");
    mirror.show(box, "Refresh header info ...OK\r\n");
    EXPECT_EQ(boxText(), "Refresh header info ...OK\r\n");
}

TEST_F(LogBoxTest, TextThatDoesNotContinueTheShownOneReplacesIt) {
    mirror.show(box, "first\r\n");
    mirror.show(box, "first\r\nsecond\r\n");
    // Longer, but not a continuation: a clear and new appends in between
    // that the box never saw.
    mirror.show(box, "other text, longer than before\r\n");
    EXPECT_EQ(boxText(), "other text, longer than before\r\n");
}

TEST_F(LogBoxTest, BoxChangedBehindTheMirrorGetsTheWholeLog) {
    mirror.show(box, "one\r\n");
    SetWindowTextA(box, "something else entirely");
    mirror.show(box, "one\r\ntwo\r\n");
    EXPECT_EQ(boxText(), "one\r\ntwo\r\n");
}

// The dialog as the program has it, around the fixture's box: the program's
// dialog port tells a window of this thread that the log has changed, and
// the window serves each notice with the fixture's mirror. This thread is
// the dialog's; the worker is a thread of the test's.
class Win32DialogPortTest : public LogBoxTest {
protected:
    void SetUp() override {
        LogBoxTest::SetUp();
        spelvane::testing::resetProgramState();
        WNDCLASSA windowClass{};
        windowClass.lpfnWndProc = dialogProc;
        windowClass.hInstance = GetModuleHandleA(nullptr);
        windowClass.lpszClassName = "SpelvaneLogNoticeTest";
        RegisterClassA(&windowClass);
        dialog = CreateWindowExA(0, windowClass.lpszClassName, "", WS_POPUP, 0, 0, 10, 10, nullptr, nullptr,
                                 windowClass.hInstance, nullptr);
        ASSERT_NE(dialog, nullptr);
        current = this;
        setDialogPort(&port);
        appState().dialogWindow = dialog;
    }
    void TearDown() override {
        DestroyWindow(dialog);
        current = nullptr;
        spelvane::testing::resetProgramState();
        LogBoxTest::TearDown();
    }

    static LRESULT CALLBACK dialogProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
        if (message == WM_APP_SHOW_LOG && current) {
            ++current->updates;
            current->port.logNotice().serve(current->mirror, current->box, messageLog());
            return 0;
        }
        return DefWindowProcA(window, message, wParam, lParam);
    }

    // Serves what is queued for this thread, until `until` is set when given.
    void serveNotices(platform::ManualResetEvent* until = nullptr) {
        for (int round = 0; round < 500; ++round) {
            MSG message;
            while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) DispatchMessageA(&message);
            if (!until || until->wait(10)) return;
        }
    }

    // Runs `work` on a thread of its own while this thread, the dialog's,
    // takes no message; true when it finished all the same. What is queued
    // is served before returning, so that a worker left waiting goes on.
    bool finishesWithoutTheDialog(std::function<void()> work) {
        struct Job {
            std::function<void()> work;
            platform::ManualResetEvent done;
        } job{std::move(work)};
        platform::Thread worker;
        auto routine = [](void* parameter) -> unsigned {
            auto& started = *static_cast<Job*>(parameter);
            started.work();
            started.done.set();
            return 0;
        };
        if (!worker.start(routine, &job)) return false;
        const bool alone = job.done.wait(5000);
        serveNotices(&job.done);
        worker.join();
        return alone;
    }

    static inline Win32DialogPortTest* current = nullptr;
    Win32DialogPort port;
    HWND dialog = nullptr;
    int updates = 0;
};

TEST_F(Win32DialogPortTest, WorkerAppendsWithoutTheDialogAndItsBurstCostsOneUpdate) {
    constexpr int kLights = 40;
    EXPECT_TRUE(finishesWithoutTheDialog([] {
        for (int light = 0; light < kLights; ++light) {
            messageLog().append("Store light %i ...", light);
            messageLog().append("OK\r\n");
        }
    }));
    serveNotices();
    EXPECT_EQ(updates, 1);

    std::string expected;
    for (int light = 0; light < kLights; ++light) expected += "Store light " + std::to_string(light) + " ...OK\r\n";
    EXPECT_EQ(boxText(), expected);
}

TEST_F(Win32DialogPortTest, ResetWithANoticeOutstandingEmptiesTheBoxForGood) {
    messageLog().append("Write register adresses...OK\r\n");
    serveNotices();
    EXPECT_EQ(boxText(), "Write register adresses...OK\r\n");

    // The worker's next line is noticed but not yet shown when Reset comes.
    messageLog().append("Store light 0 ...");
    messageLog().clear();
    serveNotices();
    EXPECT_EQ(boxText(), "");
    serveNotices();
    EXPECT_EQ(boxText(), "");

    messageLog().append("Refresh header info ...");
    serveNotices();
    EXPECT_EQ(boxText(), "Refresh header info ...");
    EXPECT_EQ(updates, 3);
}

// The Store press takes the controls once, on the dialog thread; whatever
// the operator or the closing dialog does afterwards, the worker never asks
// again, so every reader of the Store gets the values confirmed.
TEST_F(Win32DialogPortTest, StorePressTakesTheControlsOnceForTheWholeStore) {
    InitCommonControls();
    auto child = [&](const char* type, DWORD style, int id) {
        return CreateWindowExA(0, type, "", WS_CHILD | style, 0, 0, 100, 20, dialog,
                               reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)), GetModuleHandleA(nullptr), nullptr);
    };
    ASSERT_NE(child("BUTTON", BS_AUTOCHECKBOX, IDC_HALF_CLOCK), nullptr);
    HWND trackbar = child(TRACKBAR_CLASSA, 0, IDC_HBLANK_TRACKBAR);
    ASSERT_NE(trackbar, nullptr);
    SendMessageA(trackbar, TBM_SETRANGE, TRUE, MAKELPARAM(21, 1023));
    SendMessageA(trackbar, TBM_SETPOS, TRUE, 0x1c8);
    CheckDlgButton(dialog, IDC_HALF_CLOCK, BST_CHECKED);
    WorkerControl& worker = workerControl();
    worker.ready.store(true);

    mainDialogProc(dialog, WM_COMMAND, MAKEWPARAM(IDC_STORE, BN_CLICKED), 0);
    // Moved after Yes, pressed again, and the dialog closed mid-store.
    CheckDlgButton(dialog, IDC_HALF_CLOCK, BST_UNCHECKED);
    SendMessageA(trackbar, TBM_SETPOS, TRUE, 0x64);
    mainDialogProc(dialog, WM_COMMAND, MAKEWPARAM(IDC_STORE, BN_CLICKED), 0);
    mainDialogProc(dialog, WM_CLOSE, 0, 0);
    mainDialogProc(dialog, WM_DESTROY, 0, 0);

    EXPECT_EQ(worker.pendingCommand.load(), static_cast<uint32_t>(IDC_STORE));
    EXPECT_EQ(worker.storeChoice.halfClock, std::optional<bool>(true));
    EXPECT_EQ(worker.storeChoice.hblank, std::optional<uint16_t>(0x1c8));
    worker.pendingCommand.store(0);
    worker.ready.store(false);
    worker.closing.store(false);
}

TEST_F(Win32DialogPortTest, NoticeThatCouldNotBePostedDoesNotStopTheNextOnes) {
    HWND gone = CreateWindowExA(0, "STATIC", "", WS_POPUP, 0, 0, 10, 10, nullptr, nullptr,
                                GetModuleHandleA(nullptr), nullptr);
    DestroyWindow(gone);
    appState().dialogWindow = gone;
    messageLog().append("lost ");
    appState().dialogWindow = dialog;
    messageLog().append("then shown\r\n");
    serveNotices();
    EXPECT_EQ(updates, 1);
    EXPECT_EQ(boxText(), "lost then shown\r\n");
}

}  // namespace
}  // namespace spelvane::win32
#endif  // _WIN32
