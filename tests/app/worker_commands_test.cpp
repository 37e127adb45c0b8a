// Store and Restore as the worker runs them, against the simulated reader:
// what is backed up, what reaches the device and what the operator is shown.
#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "app/app_state.h"
#include "app/closing_notice.h"
#include "app/texts.h"
#include "app/control_ids.h"
#include "app/message_log.h"
#include "app/worker.h"
#include "platform/output_file.h"
#include "settings/settings_file.h"
#include "tests/support/settings_file_test.h"
#include "tests/support/sim_device_test.h"

namespace spelvane::testing {
namespace {

constexpr int64_t kNow = 1700000000;


class WorkerCommandsTest : public SimDeviceTest {
protected:
    void SetUp() override {
        SimDeviceTest::SetUp();
        clock.setCalendarTime(kNow);
        MemoryLayout layout;
        layout.addresses = {9, 5, 2, 3};
        layout.lights = {{0x10, 0x400, 0x100, 0x150, 1}, {0x20, 0x600, 0x100, 0x150, 1}};
        reader.addDevice(device(layout));
        ASSERT_TRUE(discover());
        original = reader.memory(0);
        appState().dialogWindow = window();
        messageLog().clear();
    }

    std::vector<TraceRecord> writesSinceStart() const {
        std::vector<TraceRecord> writes;
        for (const auto& request : laterRequests())
            if (request.functionCode == kDeviceWrite) writes.push_back(request);
        return writes;
    }

    std::vector<std::string> boxTexts() const {
        std::vector<std::string> texts;
        for (const auto& message : dialog.messages()) texts.push_back(message.text);
        return texts;
    }

    // The box of a failed backup, and not one write reached the reader.
    void expectNothingWrittenAfterAFailedBackup() {
        EXPECT_EQ(boxTexts(), (std::vector<std::string>{kConfirmStore, kBackupFailedNotice}));
        EXPECT_EQ(dialog.completions(), 1);
        EXPECT_TRUE(writesSinceStart().empty());
        EXPECT_EQ(reader.memory(0), original);
        EXPECT_EQ(record().snapshot().hblank, 0x100);
        std::string log = logText();
        EXPECT_NE(log.find("Store is CANCELLED"), std::string::npos) << log;
        EXPECT_EQ(log.find("STORE CHANGES"), std::string::npos) << log;
    }

    ScratchDirectory scratch;
    std::vector<uint8_t> original;
};

TEST_F(WorkerCommandsTest, StoreAnsweredNoBacksUpAndWritesNothing) {
    dialog.answerNext(kAnswerNo);
    serveCommand(IDC_STORE, OperatorChoice{false, 0x1c8});
    EXPECT_EQ(boxTexts(), std::vector<std::string>{kConfirmStore});
    EXPECT_EQ(dialog.completions(), 1);
    EXPECT_TRUE(scratch.setFiles().empty());
    EXPECT_TRUE(writesSinceStart().empty());
    EXPECT_EQ(reader.memory(0), original);
    EXPECT_EQ(logText(), "");
}

TEST_F(WorkerCommandsTest, StoreAnsweredYesBacksUpStoresAndShowsTheNotice) {
    dialog.answerNext(kAnswerYes);
    serveCommand(IDC_STORE, OperatorChoice{false, 0x1c8});

    ASSERT_EQ(dialog.messages().size(), 2u);
    ShownMessage notice = dialog.messages()[1];
    EXPECT_EQ(notice.text, kRestartNotice);
    EXPECT_EQ(notice.title, kAppTitle);
    EXPECT_EQ(notice.buttons, static_cast<unsigned>(kButtonsOk));
    EXPECT_EQ(notice.owner, window());
    EXPECT_EQ(dialog.completions(), 1);

    EXPECT_EQ(scratch.setFiles(), std::vector<std::string>{stampedName("KVDEV-A1", kNow)});
    std::vector<uint8_t> after = reader.memory(0);
    EXPECT_EQ(lightWord(after, 0, 2), 0x1c8);
    EXPECT_EQ(lightWord(after, 1, 2), 0x1c8);
    EXPECT_EQ(lightWord(after, 0, 1), 0x400);  // shutter untouched: Half Clock unchanged
    EXPECT_EQ(record().snapshot().hblank, 0x1c8);

    std::string log = logText();
    EXPECT_NE(log.find("SAVE ORIGINAL SETTINGS"), std::string::npos);
    EXPECT_NE(log.find("STORE CHANGES"), std::string::npos);
    EXPECT_LT(log.find("SAVE ORIGINAL SETTINGS"), log.find("STORE CHANGES"));
}

// A display name no file name can carry: the backup cannot be made. A
// backup that cannot be put on the disk is no backup either.
TEST_F(WorkerCommandsTest, StoreWhoseBackupFailsWritesNothingAndSaysSo) {
    std::memset(appState().displayName, 'N', sizeof appState().displayName - 1);
    dialog.answerNext(kAnswerYes);
    serveCommand(IDC_STORE, OperatorChoice{true, 0x1c8});
    expectNothingWrittenAfterAFailedBackup();
}

TEST_F(WorkerCommandsTest, StoreWhoseBackupCannotBeFlushedWritesNothingAndSaysSo) {
    // Only the backup's flush fails.
    platform::setDurableFlushHook([](const std::string& path) { return path.find(".set") == std::string::npos; });
    dialog.answerNext(kAnswerYes);
    serveCommand(IDC_STORE, OperatorChoice{true, 0x1c8});
    platform::setDurableFlushHook(nullptr);
    EXPECT_NE(logText().find("Saving is FAILED (File flushing error)"), std::string::npos);
    expectNothingWrittenAfterAFailedBackup();
}

TEST_F(WorkerCommandsTest, FailedStoreSaysSoAndNamesTheBackupInsteadOfTheRestartNotice) {
    // As after the library dropped the device: every request is refused
    // with error 19 (decimal), "not open".
    record().device->handle = 0;
    dialog.answerNext(kAnswerYes);
    serveCommand(IDC_STORE, OperatorChoice{false, 0x1c8});

    const std::string backup = stampedName("KVDEV-A1", kNow);
    ASSERT_EQ(scratch.setFiles(), std::vector<std::string>{backup});
    char expected[512];
    std::snprintf(expected, sizeof expected, kStoreFailedNotice, backup.c_str());
    EXPECT_EQ(boxTexts(), (std::vector<std::string>{kConfirmStore, expected}));
    EXPECT_EQ(dialog.completions(), 1);
}

TEST_F(WorkerCommandsTest, BackupsStayInTheStartFolderWhenTheCurrentFolderMoved) {
    appState().startFolder = scratch.path().string();
    const auto elsewhere = scratch.path() / "elsewhere";
    std::filesystem::create_directory(elsewhere);
    std::filesystem::current_path(elsewhere);  // as the file dialog of a Restore leaves it
    dialog.answerNext(kAnswerYes);
    serveCommand(IDC_STORE, OperatorChoice{false, 0x1c8});

    EXPECT_EQ(scratch.setFiles(), std::vector<std::string>{stampedName("KVDEV-A1", kNow)});
    EXPECT_TRUE(std::filesystem::is_empty(elsewhere));
}

TEST_F(WorkerCommandsTest, RestoreCancelledTouchesNothing) {
    serveCommand(IDC_RESTORE, {});
    EXPECT_EQ(dialog.initialFileNames(), std::vector<std::string>{"KVDEV-A1_*.set"});
    EXPECT_TRUE(dialog.messages().empty());
    EXPECT_EQ(dialog.completions(), 1);
    EXPECT_TRUE(writesSinceStart().empty());
}

// A Restore that changes nothing must not ask for a restart: the box says
// that nothing was written, and why.
TEST_F(WorkerCommandsTest, RestoreThatWritesNothingSaysWhyInsteadOfTheRestartNotice) {
    const std::string path = (scratch.path() / "chosen.set").string();
    const std::string notRestored = std::string(kNothingWritten) + "\n\nKVDEV-A1 was not restored: ";
    const std::pair<const char*, std::string> cases[] = {
        {"DEVICE=OTHER\r\nHCLOCK=1\r\n", notRestored + "the file " + path + " holds no section for it."},
        {"DEVICE=TYPE1\r\nHCLOCK=1\r\n", notRestored + "its section in " + path + " was refused (see the log)."},
        {nullptr, "Nothing was written to the device: the file " + path + " cannot be read."},
        {"\xFF\xFE" "D", "Nothing was written to the device: the file " + path +
                               " is saved as Unicode.\n\nOpen it in Notepad and save it again with the encoding ANSI."},
    };
    for (const auto& [text, box] : cases) {
        if (text) writeWholeFile(path, text);
        else std::filesystem::remove(path);
        dialog.chooseFileNext(path);
        serveCommand(IDC_RESTORE, {});
        EXPECT_EQ(boxTexts().back(), box);
    }
    EXPECT_EQ(dialog.completions(), 4);
    EXPECT_TRUE(writesSinceStart().empty());
}

TEST_F(WorkerCommandsTest, RestoreOfTheBackupBringsTheDeviceBack) {
    dialog.answerNext(kAnswerYes);
    serveCommand(IDC_STORE, OperatorChoice{true, 0x300});
    ASSERT_NE(reader.memory(0), original);
    ASSERT_EQ(scratch.setFiles().size(), 1u);

    dialog.chooseFileNext((scratch.path() / scratch.setFiles()[0]).string());
    serveCommand(IDC_RESTORE, {});
    EXPECT_EQ(dialog.completions(), 2);
    EXPECT_EQ(boxTexts().back(), kRestartNotice);
    EXPECT_EQ(dialog.messages().size(), 3u);
    std::vector<uint8_t> after = reader.memory(0);
    for (int light = 0; light < 2; ++light)
        for (int word = 0; word < 5; ++word)
            EXPECT_EQ(lightWord(after, light, word), lightWord(original, light, word)) << light << "/" << word;
    EXPECT_EQ(record().snapshot().hblank, 0x100);
    EXPECT_EQ(record().snapshot().halfClock, 0);
}

}  // namespace
}  // namespace spelvane::testing
