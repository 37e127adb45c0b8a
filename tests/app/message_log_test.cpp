#include "app/message_log.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "app/app_state.h"
#include "platform/thread.h"
#include "tests/support/fake_dialog.h"
#include "tests/support/program_state.h"

namespace spelvane {
namespace {

std::vector<size_t> reallocSizes;
bool failNextRealloc = false;
std::vector<std::string> sunk;

void* recordingRealloc(void* block, size_t size) {
    if (failNextRealloc) {
        failNextRealloc = false;
        return nullptr;
    }
    reallocSizes.push_back(size);
    return std::realloc(block, size);
}

void recordingSink(const char* text) { sunk.emplace_back(text); }

class MessageLogTest : public ::testing::Test {
protected:
    void SetUp() override {
        testing::resetProgramState();
        reallocSizes.clear();
        sunk.clear();
        failNextRealloc = false;
        log.setReallocate(recordingRealloc);
        log.setSink(recordingSink);
    }
    void TearDown() override { testing::resetProgramState(); }

    MessageLog& log = messageLog();
};

TEST_F(MessageLogTest, GrowsToExactlyTheNeededSize) {
    log.append("%s", "abc");
    EXPECT_EQ(reallocSizes, (std::vector<size_t>{4}));
    log.append("de%d", 7);
    EXPECT_EQ(reallocSizes, (std::vector<size_t>{4, 7}));
    log.append("%s", "");  // fits: nothing is resized
    EXPECT_EQ(reallocSizes.size(), 2u);
    EXPECT_STREQ(log.text(), "abcde7");
    EXPECT_EQ(log.length(), 6);
    EXPECT_EQ(log.capacity(), 7);
    EXPECT_EQ(sunk, (std::vector<std::string>{"abc", "abcde7", "abcde7"}));
}

TEST_F(MessageLogTest, EmptyPieceOnFreshLogKeepsNoBuffer) {
    log.append("%s", "");
    EXPECT_TRUE(reallocSizes.empty());
    EXPECT_EQ(log.text(), nullptr);
    EXPECT_EQ(log.capacity(), 0);
    EXPECT_EQ(sunk, (std::vector<std::string>{""}));
}

TEST_F(MessageLogTest, FailedGrowthDiscardsEverythingAndStartsAgain) {
    log.append("first line\r\n");
    failNextRealloc = true;
    log.append("second");
    EXPECT_EQ(log.text(), nullptr);
    EXPECT_EQ(log.length(), 0);
    EXPECT_EQ(log.capacity(), 0);
    ASSERT_EQ(sunk.size(), 2u);
    EXPECT_EQ(sunk[1], "");

    log.append("again");
    EXPECT_STREQ(log.text(), "again");
    EXPECT_EQ(log.capacity(), 6);
    EXPECT_EQ(reallocSizes.back(), 6u);
}

TEST_F(MessageLogTest, LongPieceIsCutAt1023Characters) {
    const std::string piece(1500, 'x');
    log.append("%s", piece.c_str());
    EXPECT_EQ(log.length(), 1023);
    EXPECT_EQ(std::string(log.text()), piece.substr(0, 1023));
    log.append("%s", piece.c_str());
    EXPECT_EQ(log.length(), 2046);
}

TEST_F(MessageLogTest, ClearShowsEmptyFirstAndKeepsTheRoom) {
    log.append("0123456789");
    reallocSizes.clear();
    sunk.clear();
    log.clear();
    EXPECT_EQ(sunk, (std::vector<std::string>{""}));
    EXPECT_EQ(log.length(), 0);
    EXPECT_EQ(log.capacity(), 11);
    EXPECT_STREQ(log.text(), "");

    log.append("abcd");
    log.append("efghi");
    EXPECT_TRUE(reallocSizes.empty());
    EXPECT_STREQ(log.text(), "abcdefghi");
    log.append("j");  // 10 characters and the terminator still fit 11 bytes
    EXPECT_TRUE(reallocSizes.empty());
    log.append("k");  // 11 characters no longer do
    EXPECT_EQ(reallocSizes, (std::vector<size_t>{12}));
}

TEST_F(MessageLogTest, ClearWithoutBufferOnlyShowsEmpty) {
    log.clear();
    EXPECT_EQ(sunk, (std::vector<std::string>{""}));
    EXPECT_EQ(log.text(), nullptr);
    EXPECT_EQ(log.capacity(), 0);
}

TEST_F(MessageLogTest, ReleaseTwiceFreesOnceAndLogWorksAfter) {
    log.append("text");
    log.release();
    EXPECT_EQ(log.text(), nullptr);
    EXPECT_EQ(log.length(), 0);
    EXPECT_EQ(log.capacity(), 0);
    const size_t shownBefore = sunk.size();
    log.release();  // a double free would stop the sanitizer build here
    EXPECT_EQ(sunk.size(), shownBefore);
    log.append("new");
    EXPECT_STREQ(log.text(), "new");
}

TEST_F(MessageLogTest, DialogSinkShowsNothingUntilTheWindowExists) {
    testing::FakeDialog dialog;
    log.setSink(nullptr);
    log.append("gathered ");
    log.append("early");
    EXPECT_EQ(dialog.logShowCount(), 0);

    int window = 0;
    appState().dialogWindow = &window;
    log.append(", shown later");
    EXPECT_EQ(dialog.logShowCount(), 1);
    EXPECT_EQ(dialog.shownLog(), "gathered early, shown later");
    log.clear();
    EXPECT_EQ(dialog.shownLog(), "");
}

// The sink of an append waits for the dialog thread, which may be clearing
// the log at that moment; the append must not hold its guard meanwhile.
platform::ManualResetEvent* sinkEntered = nullptr;
platform::ManualResetEvent* clearDone = nullptr;
bool clearSeenInTime = false;

void blockingSink(const char* text) {
    if (text[0] == '\0') return;  // the clear's own display
    sinkEntered->set();
    clearSeenInTime = clearDone->wait(5000);
}

unsigned appendOnWorker(void*) {
    messageLog().append("from the worker");
    return 0;
}

TEST_F(MessageLogTest, ClearIsNotBlockedByAnAppendWaitingForTheDisplay) {
    platform::ManualResetEvent entered;
    platform::ManualResetEvent done;
    sinkEntered = &entered;
    clearDone = &done;
    clearSeenInTime = false;
    log.setSink(blockingSink);

    platform::Thread worker;
    ASSERT_TRUE(worker.start(appendOnWorker, nullptr));
    ASSERT_TRUE(entered.wait(5000));
    log.clear();
    done.set();
    worker.join();
    EXPECT_TRUE(clearSeenInTime);
    EXPECT_EQ(log.length(), 0);
}

}  // namespace
}  // namespace spelvane
