// The log box against a real edit control, made as the dialog makes its log
// box: whatever way the mirror takes (a new piece at the end, or the whole
// text), the box must end up showing exactly the log.
#ifdef _WIN32
#include <gtest/gtest.h>

#include <string>

#include "app/win32/log_box.h"

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

TEST_F(LogBoxTest, TextHandedOverBeforeAResetDoesNotComeBack) {
    MessageLog log;
    log.setSink([](const char*) {});
    log.append("Write register adresses...OK\r\n");
    const std::string handed = log.currentText();  // the worker's copy
    showLogUpdate(mirror, box, handed.c_str(), log);
    EXPECT_EQ(boxText(), handed);

    // Reset: the box shows "" and the log empties, before the worker's next
    // request to show its (now old) copy is served.
    showLogUpdate(mirror, box, "", log);
    log.clear();
    showLogUpdate(mirror, box, handed.c_str(), log);
    EXPECT_EQ(boxText(), "");

    log.append("Refresh header info ...");
    showLogUpdate(mirror, box, "stale", log);
    EXPECT_EQ(boxText(), "Refresh header info ...");
    log.release();
}

}  // namespace
}  // namespace spelvane::win32
#endif  // _WIN32
