// Store and Restore as the worker runs them, against the simulated reader:
// what is backed up, what reaches the device and what the operator is shown.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <new>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "app/app_state.h"
#include "app/record/change_history.h"
#include "app/record/unfinished_changes.h"
#include "app/closing_notice.h"
#include "app/texts.h"
#include "app/control_ids.h"
#include "app/message_log.h"
#include "app/worker.h"
#include "platform/input_file.h"
#include "platform/output_file.h"
#include "settings/settings_file.h"
#include "tests/support/file_size_limit.h"
#include "tests/support/flush_witness.h"
#include "tests/support/forwarding.h"
#include "tests/support/history_rows.h"
#include "tests/support/settings_file_test.h"
#include "tests/support/sim_device_test.h"

namespace spelvane::testing {
namespace {

constexpr int64_t kNow = 1700000000;

constexpr auto kWord = StoredFieldChange::Field::LightWord;

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
        EXPECT_EQ(historyLines(), std::vector<std::string>{std::string("backup failed: ") + kBackupNotSaved});
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
    EXPECT_FALSE(std::filesystem::exists(kHistoryFileName));
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
    EXPECT_EQ(log.find("history"), std::string::npos) << "a history written as it should says nothing";

    const std::string backup = stampedName("KVDEV-A1", kNow);
    EXPECT_EQ(historyLines(), (std::vector<std::string>{"start " + backup + " ", changeLine(kWord, 0, 2, 0x100, 0x1c8),
                                                         changeLine(kWord, 1, 2, 0x100, 0x1c8), "written: "}));
    const HistoryRow first = historyRows().at(0);
    EXPECT_EQ(first.reader, "KVDEV-A1");
    EXPECT_EQ(first.type, "TYPE1");
    EXPECT_EQ(first.run.command, "store");
    EXPECT_EQ(first.run.program, "spelvane");
    EXPECT_EQ(first.run.time, historyTime(kNow));
    EXPECT_NE(first.run.library.find("qzsd7"), std::string::npos) << first.run.library;
    EXPECT_NE(first.run.library.find("version 0x07000500"), std::string::npos) << first.run.library;
}

// A power cut in the middle of a store must find the backup and the
// history's start on the disk: every durable flush is taken down with the
// number of write requests the reader had seen by then.
TEST_F(WorkerCommandsTest, BackupAndHistoryStartAreOnDiskBeforeTheFirstWriteRequest) {
    std::vector<std::pair<std::string, size_t>> flushes;
    {
        FlushWitness witness([&](const std::string& path) {
            flushes.emplace_back(std::filesystem::path(path).filename().string(), writesSinceStart().size());
            return true;
        });
        dialog.answerNext(kAnswerYes);
        serveCommand(IDC_STORE, OperatorChoice{false, 0x1c8});
    }

    const size_t writes = writesSinceStart().size();
    ASSERT_GT(writes, 0u);
    using Flush = std::pair<std::string, size_t>;
    const auto start = std::find(flushes.begin(), flushes.end(), Flush{kHistoryFileName, 0});
    ASSERT_NE(start, flushes.end()) << "no history flush before the first write";
    const std::string backup = stampedName("KVDEV-A1", kNow);
    EXPECT_NE(std::find(flushes.begin(), start, Flush{backup, 0}), start) << "no backup flush before the start row";
    EXPECT_EQ(flushes.back(), (Flush{kHistoryFileName, writes})) << "the outcome follows the last request";
}

// A display name no file name can carry: the backup cannot be made. A
// backup that cannot be put on the disk is no backup either.
TEST_F(WorkerCommandsTest, StoreWhoseBackupFailsWritesNothingAndSaysSo) {
    std::memset(appState().displayName, 'N', sizeof appState().displayName - 1);
    dialog.answerNext(kAnswerYes);
    serveCommand(IDC_STORE, OperatorChoice{true, 0x1c8});
    expectNothingWrittenAfterAFailedBackup();
}

// A folder that refuses new files refuses every later Store as well: the
// box names it, why, and the way out. Other failures keep the general box.
TEST_F(WorkerCommandsTest, BackupRefusedByItsFolderNamesTheFolderAndTheWayOut) {
    using platform::FileFault;
    appState().startFolder = "C:\\Program Files\\Spelvane";
    for (const auto& [fault, why] : {std::pair{FileFault::Denied, "(access is denied)"},
                                     std::pair{FileFault::ReadOnly, "(it is read-only)"}}) {
        appState().backupFault = fault;
        const std::string box = storeClosingNotice(appState(), {});
        EXPECT_NE(box.find(std::string("the folder C:\\Program Files\\Spelvane cannot be written ") + why),
                  std::string::npos) << box;
        EXPECT_NE(box.find("Start menu shortcut"), std::string::npos) << box;
    }
    appState().backupFault = FileFault::Other;
    EXPECT_EQ(storeClosingNotice(appState(), {}), kBackupFailedNotice);
}

TEST_F(WorkerCommandsTest, StoreWhoseBackupCannotBeFlushedWritesNothingAndSaysSo) {
    {
        // Only the backup's flush fails.
        FlushWitness witness([](const std::string& path) { return path.find(".set") == std::string::npos; });
        dialog.answerNext(kAnswerYes);
        serveCommand(IDC_STORE, OperatorChoice{true, 0x1c8});
    }
    EXPECT_NE(logText().find("Saving is FAILED (File flushing error)"), std::string::npos);
    expectNothingWrittenAfterAFailedBackup();
}

// Memory running out in the middle of a command stops that command only:
// the log says so and the dialog is told that it ended.
TEST_F(WorkerCommandsTest, AnUnexpectedFailureEndsTheCommandAndIsLogged) {
    struct OutOfMemory final : ForwardingDialog {
        using ForwardingDialog::ForwardingDialog;
        int messageBox(WindowHandle, const char*, const char*, unsigned) override { throw std::bad_alloc(); }
    } failing(dialog);
    setDialogPort(&failing);
    serveCommand(IDC_STORE, OperatorChoice{false, 0x1c8});
    setDialogPort(&dialog);
    EXPECT_NE(logText().find("Unexpected failure: std::bad_alloc; the command was stopped"), std::string::npos)
        << logText();
    EXPECT_EQ(dialog.completions(), 1);
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
    // Started before the refused request, and the outcome names it.
    const std::vector<std::string> history = historyLines();
    ASSERT_EQ(history.size(), 4u);
    EXPECT_EQ(history.front(), "start " + backup + " ");
    EXPECT_EQ(history.back().rfind("failed: write of the register addresses (Error 13: ", 0), 0u) << history.back();

    // Nor could it be read again: the next Store neither backs up nor
    // computes anything from the values it held before, and sends nothing.
    const size_t writes = writesSinceStart().size();
    dialog.answerNext(kAnswerYes);
    serveCommand(IDC_STORE, OperatorChoice{true, 0x1c8});
    EXPECT_EQ(boxTexts().back(), std::string("Nothing was written to the device: KVDEV-A1") + kHeldUnknownWhy + ".\n\n" +
                                     capitalised(kHeldUnknownRemedy) + ".");
    EXPECT_EQ(writesSinceStart().size(), writes);
    EXPECT_EQ(scratch.setFiles().size(), 1u);
}

// The reader holds part of a failed Half Clock store: its HBlank written,
// its header not. Another change of Half Clock would rescale the shutters
// twice: after the Yes, the box names the backup to restore first, and
// nothing is backed up or written. A store that keeps Half Clock goes on.
TEST_F(WorkerCommandsTest, HalfClockChangeOverPartOfAFailedStoreIsRefusedNamingTheBackup) {
    std::string error;
    ASSERT_TRUE(appendHistoryRows(kHistoryFileName,
                                  {here(startRow("KVDEV-A1")),
                                   here(changeRow("KVDEV-A1", StoredFieldChange::Field::HalfClock, -1, -1, -1, 0, 1)),
                                   here(changeRow("KVDEV-A1", kWord, 2, 0, 5, 0x80, 0x100)),
                                   here(outcomeRow("KVDEV-A1", HistoryOutcome::Failed, "write of the header"))},
                                  error))
        << error;
    const std::string why = "KVDEV-A1 holds only part of the store of 2026-12-08 11:43:55 +01:00, which FAILED, and a "
                            "change of Half Clock would rescale its shutters a second time";
    dialog.answerNext(kAnswerYes);
    serveCommand(IDC_STORE, OperatorChoice{true, 0x100});
    EXPECT_EQ(boxTexts(), (std::vector<std::string>{
                              kConfirmStore, "Nothing was written to the device: " + why +
                                                 ".\n\nRestore the backup file KVDEV-A1_20261208114355.set first."}));
    EXPECT_TRUE(writesSinceStart().empty());
    EXPECT_TRUE(scratch.setFiles().empty());
    EXPECT_EQ(historyLines().back(), "refused: " + why + "; restore the backup file KVDEV-A1_20261208114355.set first");

    dialog.answerNext(kAnswerYes);
    serveCommand(IDC_STORE, OperatorChoice{false, 0x1c8});
    EXPECT_EQ(boxTexts().back(), kRestartNotice);
    EXPECT_EQ(lightWord(reader.memory(0), 1, 2), 0x1c8);
}

// A Store of Half Clock that failed at light 1 left light 0's shutter
// halved under Half Clock off; the dialog reads the reader again. Half
// Clock ticked back writes nothing, and the box names the backup instead of
// asking for a restart; the change again is refused: no shutter halved twice.
TEST_F(WorkerCommandsTest, StoresAfterAFailedOneStartFromWhatTheReaderHolds) {
    reader.setDeviceLines(0, {"fail = 5 2"});
    ASSERT_TRUE(restart());
    appState().dialogWindow = window();
    for (const bool on : {true, false, true}) {
        dialog.answerNext(kAnswerYes);
        serveCommand(IDC_STORE, OperatorChoice{on, 0x100});
    }
    const std::string backup = stampedName("KVDEV-A1", kNow);
    const std::vector<std::string> boxes = boxTexts();
    ASSERT_EQ(boxes.size(), 6u);
    EXPECT_EQ(boxes[3].rfind("Nothing was written to the device: it already holds what you chose, but only part of "
                             "an earlier change.\n\nKVDEV-A1: the store of ", 0), 0u) << boxes[3];
    EXPECT_NE(boxes[3].find("the backup " + backup + " restores"), std::string::npos) << boxes[3];
    EXPECT_NE(boxes[3].find("press Restore and choose that backup file in "), std::string::npos) << boxes[3];
    EXPECT_NE(logText().find("Nothing was written, yet KVDEV-A1: the store of "), std::string::npos) << logText();
    EXPECT_NE(boxes[5].find("Restore the backup file " + backup + " first."), std::string::npos) << boxes[5];
    EXPECT_EQ(lightWord(reader.memory(0), 0, 1), 0x200);
    EXPECT_EQ(lightWord(reader.memory(0), 1, 1), 0x600);
    EXPECT_FALSE(headerByte(reader.memory(0), 13) & 1);
}

// Years of history behind the reader's last change, a start-up sync from the
// site's file that wrote it whole: the start-up's notice, and a Store of Half
// Clock (its refusal, its rows, its events), read only the history's end.
TEST_F(WorkerCommandsTest, StartUpAndStoreReadOnlyTheEndOfALongHistory) {
    HistoryRow sync = here(startRow("KVDEV-A1", "R9"));
    sync.run.command = "sync";
    sync.backup.clear();
    sync.file = "golden.set";
    HistoryRow written = sync;
    written.event = HistoryEvent::Outcome;
    written.outcome = HistoryOutcome::Written;
    writeWholeFile(kHistoryFileName,
                   longHistory(8 * 1024 * 1024, "KVDEV-A1") + formatHistoryRow(sync) + formatHistoryRow(written));
    constexpr uint64_t kMost = 256 * 1024;
    uint64_t before = platform::InputFile::bytesReadInProcess();
    logUnfinishedChanges(appState());
    EXPECT_LE(platform::InputFile::bytesReadInProcess() - before, kMost) << "the start-up";
    before = platform::InputFile::bytesReadInProcess();
    dialog.answerNext(kAnswerYes);
    serveCommand(IDC_STORE, OperatorChoice{true, 0x100});
    EXPECT_EQ(boxTexts().back(), kRestartNotice);
    EXPECT_LE(platform::InputFile::bytesReadInProcess() - before, kMost) << "a Store of Half Clock";
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

// A start folder that cannot be entered again (removed, its share gone):
// the Store takes no backup, writes nothing, and neither a backup nor the
// history lands in the folder that is current instead.
TEST_F(WorkerCommandsTest, AStartFolderThatCannotBeEnteredAgainTakesNothingElsewhere) {
    appState().startFolder = (scratch.path() / "gone").string();
    dialog.answerNext(kAnswerYes);
    serveCommand(IDC_STORE, OperatorChoice{false, 0x1c8});
    EXPECT_EQ(boxTexts().back(), std::string(kBackupFailedNotice) + "\n\nThis change is missing from the history " +
                                     kHistoryFileName + ": it could not be written (see the log).");
    EXPECT_TRUE(writesSinceStart().empty());
    EXPECT_TRUE(scratch.setFiles().empty());
    EXPECT_FALSE(std::filesystem::exists(kHistoryFileName));
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
    // One outcome each, no start: nothing was written. A file that cannot
    // be read restored nothing at all.
    EXPECT_EQ(historyLines(),
              (std::vector<std::string>{"no section: ", "refused: there is no NADDR line"}));
    EXPECT_EQ(historyRows().back().file, path);
}

TEST_F(WorkerCommandsTest, RestoreOfTheBackupBringsTheDeviceBack) {
    dialog.answerNext(kAnswerYes);
    serveCommand(IDC_STORE, OperatorChoice{true, 0x300});
    const std::vector<uint8_t> stored = reader.memory(0);
    ASSERT_NE(stored, original);
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

    // The restore's start keeps the values it replaced: it has no backup.
    const std::vector<std::string> history = historyLines();
    const std::string chosen = (scratch.path() / scratch.setFiles()[0]).string();
    const auto start = std::find(history.begin() + 1, history.end(), "start  " + chosen);
    ASSERT_NE(start, history.end());
    EXPECT_EQ(start[-1], "written: ") << "the store ended before the restore started";
    EXPECT_EQ(std::vector<std::string>(start + 1, history.end()),
              (std::vector<std::string>{
                  changeLine(StoredFieldChange::Field::HalfClock, -1, -1, 1, 0),
                  changeLine(kWord, 0, 1, lightWord(stored, 0, 1), 0x400), changeLine(kWord, 0, 2, 0x300, 0x100),
                  changeLine(kWord, 1, 1, lightWord(stored, 1, 1), 0x600), changeLine(kWord, 1, 2, 0x300, 0x100),
                  "written: "}));
}

TEST_F(WorkerCommandsTest, HistoryThatCannotBeWrittenStopsNothingAndTheBoxSaysSo) {
    const char* kHistoryMissingNotice =
        "This change is missing from the history spelvane-history.csv: it could not be written (see the log).";
    // Anything in the way of the file does: a folder of its name.
    std::filesystem::create_directory(kHistoryFileName);
    dialog.answerNext(kAnswerYes);
    serveCommand(IDC_STORE, OperatorChoice{false, 0x1c8});
    EXPECT_EQ(lightWord(reader.memory(0), 0, 2), 0x1c8);
    EXPECT_EQ(boxTexts().back(), std::string(kRestartNotice) + "\n\n" + kHistoryMissingNotice);

    dialog.chooseFileNext((scratch.path() / scratch.setFiles().at(0)).string());
    serveCommand(IDC_RESTORE, {});
    EXPECT_EQ(reader.memory(0), original);
    EXPECT_EQ(boxTexts().back(), std::string(kRestartNotice) + "\n\n" + kHistoryMissingNotice);

    // One log line for each command, however many rows it lost.
    const std::string log = logText();
    size_t lines = 0;
    for (size_t at = log.find("could not be written"); at != std::string::npos;
         at = log.find("could not be written", at + 1))
        ++lines;
    EXPECT_EQ(lines, 2u) << log;
}

// A history held for a moment: the row that failed goes in on a later try,
// before the command ends, and nothing is said to be missing.
TEST_F(WorkerCommandsTest, HistoryRowThatFailedIsTriedAgainBeforeTheCommandEnds) {
    struct FreedWhileWaiting : ForwardingTiming {
        using ForwardingTiming::ForwardingTiming;
        void sleepMs(uint32_t milliseconds) override {
            std::filesystem::remove(kHistoryFileName);
            ForwardingTiming::sleepMs(milliseconds);
        }
    } freed(clock);
    std::filesystem::create_directory(kHistoryFileName);
    ChangeHistory history(appState(), "backup");
    history.everyReader(HistoryOutcome::BackedUp, "KVDEV-A1_1.set");
    setTiming(&freed);
    EXPECT_EQ(history.finish(), "");
    setTiming(&clock);
    EXPECT_EQ(historyLines(), std::vector<std::string>{"backed up: "});
}

#if !defined(_WIN32)
// A full disk takes the start and part of a change row, in a new history or
// behind earlier changes; once there is room again, the cut row is ended,
// only the rows not yet whole follow it, and the next change is written
// whole: each row once, the cut one read as cut short.
TEST_F(WorkerCommandsTest, HistoryRowsCutByAFullDiskAreFinishedEachOnce) {
    const SpeedValues from = appState().settings[0].snapshot();
    SpeedValues to = from;
    to.halfClock ^= 1;
    to.addresses[0] ^= 1;
    const auto startAndChanges = [&](ChangeHistory& history) {
        history.beginReader(0, "KVDEV-A1_1.set");
        history.beforeFirstWrite(from, to);
    };
    const auto rowLines = [](const std::string& text, int& skipped, int& cutShort) {
        std::vector<std::string> lines;
        for (const HistoryRow& row : parseHistoryText(text, skipped, &cutShort)) lines.push_back(historyLine(row));
        return lines;
    };
    // Two changes of the reader, uncut; the rows' length follows the
    // library's path.
    {
        ChangeHistory uncutHistory(appState(), "store");
        for (int change = 0; change < 2; ++change) {
            startAndChanges(uncutHistory);
            uncutHistory.endReader(HistoryOutcome::Written);
        }
        ASSERT_EQ(uncutHistory.finish(), "");
    }
    const std::string uncut = readWholeFile(kHistoryFileName);
    const size_t header = uncut.find('\n') + 1;
    const size_t startRow = uncut.find('\n', header) + 1 - header;
    int skipped = -1;
    int cutShort = -1;
    const std::vector<std::string> twoChanges = rowLines(uncut, skipped, cutShort);
    ASSERT_EQ(twoChanges.size() % 2, 0u);
    for (const bool earlierChanges : {false, true}) {
        SCOPED_TRACE(earlierChanges ? "behind earlier changes" : "a new history");
        std::filesystem::remove(kHistoryFileName);
        if (earlierChanges) writeWholeFile(kHistoryFileName, uncut);
        // Room for the start and a part of the first change row.
        const size_t before = earlierChanges ? uncut.size() : header;
        const size_t room = before + startRow + 40;
        std::optional<FileSizeLimit> full(std::in_place, room);
        ChangeHistory history(appState(), "store");
        startAndChanges(history);
        ASSERT_EQ(readWholeFile(kHistoryFileName).size(), room);
        full.reset();
        history.endReader(HistoryOutcome::Written);
        startAndChanges(history);
        history.endReader(HistoryOutcome::Written);
        EXPECT_EQ(history.finish(), "");

        std::vector<std::string> want = earlierChanges ? twoChanges : std::vector<std::string>();
        want.insert(want.end(), twoChanges.begin(), twoChanges.end());
        EXPECT_EQ(rowLines(readWholeFile(kHistoryFileName), skipped, cutShort), want);
        EXPECT_EQ(skipped, 1);
        EXPECT_EQ(cutShort, 1);
    }
}
#endif

}  // namespace
}  // namespace spelvane::testing
