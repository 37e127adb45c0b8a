// Start-up as the dialog runs it on the simulated reader: commands wait for
// the first refresh, and what discovery logged stays in the log.
#include <gtest/gtest.h>

#include <filesystem>

#include "app/record/change_history.h"
#include "app/record/reader_judgement.h"
#include "app/record/unfinished_changes.h"
#include "app/control_ids.h"
#include "app/dialog_logic.h"
#include "app/reader_absence.h"
#include "app/worker.h"
#include "tests/app/fake_controls.h"
#include "tests/support/history_rows.h"
#include "tests/support/sim_device_test.h"

namespace spelvane::testing {
namespace {

class StartUpTest : public SimDeviceTest {
protected:
    bool handle(DialogEvent event, uintptr_t id = 0) {
        DialogMessage message;
        message.event = event;
        message.id = id;
        return handleDialogMessage(message, window(), controls, worker);
    }

    WorkerControl worker;
    FakeControls controls;
};

TEST_F(StartUpTest, CommandsOpenOnlyAfterTheFirstRefresh) {
    MemoryLayout layout;
    layout.lights = {{0x10, 0x400, 0x100, 2, 3}};
    reader.addDevice(device(layout));
    reader.apply();

    handle(DialogEvent::InitDialog);
    handle(DialogEvent::Command, IDC_STORE);  // pressed before the timer fired
    EXPECT_EQ(worker.pendingCommand.load(), 0u);
    EXPECT_FALSE(worker.ready.load());

    handle(DialogEvent::Timer, kDiscoveryTimerId);
    EXPECT_TRUE(worker.ready.load());
    EXPECT_EQ(controls.calls.back(), "enableCommands");
    EXPECT_EQ(controls.text(IDC_DEVICE_NAME), "KVDEV-A1");
    handle(DialogEvent::Command, IDC_STORE);
    EXPECT_EQ(worker.pendingCommand.load(), static_cast<uint32_t>(IDC_STORE));
}

TEST_F(StartUpTest, DiscoveryWarningStaysAfterTheFirstRefreshUntilReset) {
    reader.addDevice(device(MemoryLayout{}));
    reader.addGlobalLine("report_count = 70");
    reader.apply();

    handle(DialogEvent::InitDialog);
    handle(DialogEvent::Timer, kDiscoveryTimerId);
    EXPECT_FALSE(worker.ready.load()) << "64 devices are more than one: nothing to store to";
    EXPECT_NE(logText().find("The device list reported 70 devices; only 64 were asked for."), std::string::npos)
        << logText();
    handle(DialogEvent::Command, IDC_RESET);
    EXPECT_EQ(logText(), "");
}

TEST_F(StartUpTest, ChangeCutShortLastTimeIsNamedInTheLog) {
    ScratchDirectory scratch;
    reader.addDevice(device(MemoryLayout{}));
    reader.apply();
    std::string error;
    // A backup of the reader afterwards (another run) tells nothing of it.
    ASSERT_TRUE(appendHistoryRows(kHistoryFileName,
                                  {here(startRow("KVDEV-A1")), here(outcomeRow("KVDEV-A1", HistoryOutcome::BackedUp, "", "R2"))},
                                  error))
        << error;
#ifndef _WIN32
    // Natively the event log is this file; Windows has its own.
    setenv("SPELVANE_EVENT_LOG", "events.txt", 1);
#endif

    handle(DialogEvent::InitDialog);
    handle(DialogEvent::Timer, kDiscoveryTimerId);
    EXPECT_TRUE(worker.ready.load());
    EXPECT_NE(logText().find("KVDEV-A1: the store of 2026-12-08 11:43:55 +01:00 was interrupted; the backup "
                             "KVDEV-A1_20261208114355.set restores the settings it held before.\r\n"),
              std::string::npos)
        << logText();
#ifndef _WIN32
    EXPECT_EQ(readWholeFile("events.txt").rfind("Spelvane 1007 warning | KVDEV-A1 |", 0), 0u);
    // A change that FAILED had its event when it failed: named in the log
    // again, but no second event.
    std::filesystem::remove("events.txt");
    std::filesystem::remove(kHistoryFileName);
    ASSERT_TRUE(appendHistoryRows(kHistoryFileName,
                                  {here(startRow("KVDEV-A1")),
                                   here(outcomeRow("KVDEV-A1", HistoryOutcome::Failed, "store of light 1"))},
                                  error))
        << error;
    logUnfinishedChanges(appState());
    EXPECT_NE(logText().find("KVDEV-A1: the store of 2026-12-08 11:43:55 +01:00 FAILED;"), std::string::npos)
        << logText();
    EXPECT_FALSE(std::filesystem::exists("events.txt")) << readWholeFile("events.txt");
    unsetenv("SPELVANE_EVENT_LOG");
#endif
}

// While the library lists no reader (its driver not up yet), discovery looks
// again every two seconds on the clock until the time asked for is up;
// anything else it finds is told at once, in the words sites filter on.
TEST_F(StartUpTest, DiscoveryLooksAgainOnlyWhileNoReaderIsListed) {
    struct Row {
        const char* global;
        int waitSeconds;
        bool found;
        std::vector<uint32_t> sleeps;
        std::string box;  // what discovery told last
        std::string absence = "";
        bool busy = false;  // another Spelvane holds the readers
    };
    const Row rows[] = {
        {"absent_enumerations = 2", 10, true, {2000, 2000}, ""},
        {"absent_enumerations = 5", 3, false, {2000, 1000}, kNoDevicesText, "no reader"},
        {"absent_enumerations = 1", 0, false, {}, kNoDevicesText, "no reader"},
        // More than one reader: discovery ends, as the dialog's does, telling it.
        {"report_count = 70", 10, true, {}, kOneDeviceOnlyText, "no single reader"},
        {"absent_enumerations = 0", 10, false, {}, kReadersBusyText, "readers in use", true},
    };
    for (const Row& row : rows) {
        platform::MachineLock another;
        if (row.busy) ASSERT_TRUE(another.tryAcquire(kReaderLockName));
        SimulatedReader late;  // a file of its own: the simulator counts anew
        late.addDevice(device(MemoryLayout{}));
        late.addGlobalLine(row.global);
        late.apply();
        FirstBoxPort port;
        setDialogPort(&port);
        clock.clearSleeps();
        EXPECT_EQ(discoverWaiting(appState(), port, row.waitSeconds), row.found) << row.global;
        // The pauses between looks; the reads' pacing of the found reader aside.
        std::vector<uint32_t> pauses = clock.sleeps();
        std::erase_if(pauses, [](uint32_t ms) { return ms < 1000; });
        EXPECT_EQ(pauses, row.sleeps) << row.global;
        EXPECT_EQ(port.box, row.box) << row.global;
        if (!row.found || !row.absence.empty()) {
            EXPECT_EQ(readerAbsence(appState(), port.box).outcome, row.absence) << row.global;
        }
        appState().releaseDevices();
        resetAppState();
    }
    setDialogPort(&dialog);
}

// Told nothing of the reader's values (doctor, with the readers held by
// another program), a change that wrote and did not end well counts; a
// refusal, a backup, a missing section or "No changes" left it as the
// cut-short change had.
TEST(InterruptedChange, IsTheReadersLastChangeThatWroteWithoutAnOutcome) {
    const auto entry = [](const char* reader, bool started, std::optional<HistoryOutcome> outcome) {
        HistoryEntry made;
        made.reader = reader;
        made.started = started;
        made.hasOutcome = outcome.has_value();
        made.outcome = outcome.value_or(HistoryOutcome::Written);
        made.backup = std::string(reader) + (started ? "-started" : "-ended");
        return made;
    };
    const HistoryEntry cut = entry("A", true, std::nullopt);
    const struct {
        std::vector<HistoryEntry> entries;
        bool named;
    } cases[] = {
        {{cut}, true},
        {{entry("A", true, HistoryOutcome::Written)}, false},
        {{cut, entry("A", false, HistoryOutcome::Refused), entry("A", false, HistoryOutcome::BackedUp),
          entry("A", false, HistoryOutcome::NoSection), entry("A", false, HistoryOutcome::BackupFailed)},
         true},
        {{cut, entry("B", true, HistoryOutcome::Written)}, true},
        // Failed midway is as unsettled as cut short: the later one is named.
        {{entry("A", true, HistoryOutcome::Written), entry("A", true, HistoryOutcome::Failed)}, true},
        {{entry("A", true, HistoryOutcome::Failed), entry("A", false, HistoryOutcome::Refused)}, true},
        {{entry("A", false, HistoryOutcome::Failed)}, false},
        {{cut, entry("A", false, HistoryOutcome::NoChanges)}, true},
        {{entry("B", true, std::nullopt)}, false},
        {{}, false},
    };
    for (size_t i = 0; i < std::size(cases); ++i) {
        const std::optional<UnfinishedChange> found = judgeReader(cases[i].entries, "A", nullptr);
        EXPECT_EQ(found.has_value(), cases[i].named) << "case " << i;
        if (found) {
            EXPECT_EQ(found->entry.backup, "A-started") << "case " << i;
            EXPECT_TRUE(found->interrupted()) << "case " << i;
        }
    }
}

// A change is told by what the reader holds of its change rows (Half Clock
// 0 -> 1, light 0 word 1 0x400 -> 0x200) on the fields no newer change
// wrote, whatever its outcome row says: a later store of HBlank alone (word
// 2) settles nothing, a restore settles everything, a "written" row added
// by hand lifts nothing.
TEST(InterruptedChange, IsJudgedByWhatTheReaderHolds) {
    using F = StoredFieldChange::Field;
    const auto made = [](const char* run, std::optional<HistoryOutcome> outcome, std::vector<StoredFieldChange> rows) {
        HistoryEntry entry;
        entry.reader = "A";
        entry.started = true;
        entry.hasOutcome = outcome.has_value();
        entry.outcome = outcome.value_or(HistoryOutcome::Written);
        entry.run = {run, "T", "", "", "", "", "", "store"};
        entry.backup = std::string("B") + run;
        entry.changes = std::move(rows);
        return entry;
    };
    const std::vector<StoredFieldChange> halving{{F::HalfClock, -1, -1, -1, 0, 1}, {F::LightWord, 1, 0, 9, 0x400, 0x200}};
    const HistoryEntry store = made("1", std::nullopt, halving);
    const HistoryEntry failed = made("1", HistoryOutcome::Failed, halving);
    const HistoryEntry forged = made("1", HistoryOutcome::Written, halving);
    const HistoryEntry hblank = made("2", HistoryOutcome::Written, {{F::LightWord, 2, 0, 5, 0x100, 0x1c8}});
    HistoryEntry restore = made("3", HistoryOutcome::Written, {{F::LightWord, 1, 0, 9, 0x200, 0x400}});
    restore.file = "F.set";
    // An HBlank store over the cut one, its backup taken with the shutter halved.
    HistoryEntry hblankAfter = made("2", HistoryOutcome::Written, {{F::LightWord, 2, 0, 5, 0x100, 0x1c8}});
    hblankAfter.backup = "A_20261208120000.set";
    HistoryEntry undo = made("3", HistoryOutcome::Written, {{F::LightWord, 2, 0, 5, 0x1c8, 0x100}});
    undo.run = {"3", "T3", "", "", "", "", "", "restore"};
    undo.backup.clear();
    undo.file = "C:\\backups\\a_20261208120000.SET";
    HistoryEntry consoleBackup = undo;
    consoleBackup.run.id = "4";
    consoleBackup.started = false;
    consoleBackup.outcome = HistoryOutcome::BackedUp;
    consoleBackup.file.clear();
    consoleBackup.changes.clear();
    consoleBackup.backup = "A_20261208130000.set";
    HistoryEntry undoBackup = undo;
    undoBackup.run.id = "5";
    undoBackup.file = consoleBackup.backup;
    HistoryEntry undoNothing = undo;
    undoNothing.outcome = HistoryOutcome::Failed;
    undoNothing.file = "B1_20261208114355.set";
    undoNothing.changes = {{F::LightWord, 1, 0, 9, 0x200, 0x400}};
    HistoryEntry undoPart = undo;
    undoPart.run.time = "T2";
    undoPart.outcome = HistoryOutcome::Failed;
    undoPart.file = hblankAfter.backup;
    undoPart.changes = {{F::LightWord, 2, 0, 5, 0x1c8, 0x100}, {F::LightWord, 1, 0, 9, 0x200, 0x400}};
    HistoryEntry reference = undo;
    reference.file = "\\\\server\\share\\reference.set";
    reference.changes = {{F::LightWord, 2, 0, 5, 0x1c8, 0x100}};
    HistoryEntry hblankOverPart = made("7", HistoryOutcome::Failed, {{F::LightWord, 2, 0, 5, 0x100, 0x1c8}, {F::HalfClock, -1, -1, -1, 0, 1}});
    hblankOverPart.before = readerBeforeText(ReaderBefore::HeldPart, "1");
    HistoryEntry settledHBlank = hblank;
    settledHBlank.before = readerBeforeText(ReaderBefore::Settled);
    HistoryEntry syncCut = made("6", std::nullopt, {{F::LightWord, 1, 0, 9, 0x400, 0x200}, {F::LightWord, 2, 0, 5, 0x100, 0x1c8}, {F::HalfClock, -1, -1, -1, 0, 1}});
    syncCut.run.command = "sync";
    syncCut.file = "reference.set";
    HistoryEntry nothing;
    nothing.reader = "A";
    nothing.hasOutcome = true;
    nothing.outcome = HistoryOutcome::NoChanges;
    const std::string cut = "A: the store of T was interrupted; the backup B1 restores the settings it held before.";
    const struct {
        std::vector<HistoryEntry> entries;
        uint8_t halfClock;
        uint16_t shutter;
        uint16_t hblankWord;
        const char* line;  // null: settled
    } cases[] = {
        {{store, nothing}, 1, 0x200, 0x100, "A: the store of T finished: the reader holds every value it wrote; only "
                                            "its outcome is missing from the history."},
        {{store, nothing}, 0, 0x400, 0x100, "A: the store of T has no outcome in the history, and none of it reached "
                                            "the reader: it holds every value from before."},
        // The lights written, the header not: halved shutters with Half Clock off.
        {{store, nothing}, 0, 0x200, 0x100, cut.c_str()},
        {{failed, nothing}, 0, 0x200, 0x100, "A: the store of T FAILED; the backup B1 restores the settings it held before."},
        {{failed}, 1, 0x200, 0x100, "A: the store of T FAILED, yet the reader holds every value it wrote."},
        {{failed}, 0, 0x400, 0x100, "A: the store of T FAILED before any of it reached the reader: it holds every "
                                    "value from before."},
        {{store, hblank, nothing}, 0, 0x200, 0x1c8, cut.c_str()},
        {{store, hblank}, 1, 0x200, 0x1c8, nullptr},
        {{store, hblank}, 0, 0x400, 0x100, nullptr},
        {{store, hblank, restore}, 0, 0x400, 0x100, nullptr},
        {{forged}, 0, 0x200, 0x100, "A: the store of T is recorded as written, yet the reader holds only part of it; the "
                                    "backup B1 restores the settings it held before."},
        {{forged, hblank}, 1, 0x200, 0x1c8, nullptr},
        {{forged, hblank}, 0, 0x200, 0x1c8, "A: the store of T is recorded as written, yet the reader holds only part "
                                            "of it; the backup B1 restores the settings it held before."},
        {{made("1", std::nullopt, {})}, 0, 0x400, 0x100, cut.c_str()},
        // Undo: the HBlank store's backup holds the halved shutter; restored
        // whole, the reader holds part of the cut store again.
        {{store, hblankAfter, undo}, 0, 0x200, 0x100, cut.c_str()},
        {{store, hblankAfter, undo, consoleBackup, undoBackup}, 0, 0x200, 0x100, cut.c_str()},
        // A restore of it refused at its first write reached nothing: as if
        // it had not run.
        {{store, undoNothing}, 0, 0x200, 0x100, cut.c_str()},
        // A restore that reached part is itself the change held in part.
        {{store, hblankAfter, undoPart}, 0, 0x200, 0x100,
         "A: the restore of T2 FAILED; restore A_20261208120000.set again to finish it."},
        // A file that is no backup of this reader settles it once written whole.
        {{store, reference}, 0, 0x200, 0x100, nullptr},
        // The start row's record ends the look: settled as the HBlank store began.
        {{forged, settledHBlank}, 0, 0x200, 0x1c8, nullptr},
        // A light the reader does not show cannot be told whole: a mix.
        {{made("5", std::nullopt, {{F::LightWord, 1, 999, 9, 0x400, 0x200}})}, 0, 0x400, 0x100,
         "A: the store of T was interrupted; the backup B5 restores the settings it held before."},
        // Begun over the cut store: its backup holds that part too, the cut
        // store's settles it.
        {{store, hblankOverPart}, 0, 0x200, 0x150,
         "A: the store of T FAILED; the backup B1 restores the settings it held before."},
        // A sync from a file took a backup first: that is what undoes it.
        {{syncCut}, 0, 0x200, 0x1c8, "A: the sync of T was interrupted; the backup B6 restores the settings it held before."},
    };
    for (size_t i = 0; i < std::size(cases); ++i) {
        SpeedValues values{};
        values.halfClock = cases[i].halfClock;
        values.lights[0].words[1] = cases[i].shutter;
        values.lights[0].words[2] = cases[i].hblankWord;
        const auto found = judgeReader(cases[i].entries, "A", &values);
        EXPECT_EQ(found.has_value(), cases[i].line != nullptr) << "case " << i;
        if (found && cases[i].line) EXPECT_EQ(unfinishedChangeLine(*found), cases[i].line) << "case " << i;
    }
    // Back no further than a store that wrote all a store writes (Half
    // Clock, the shutter and HBlank words): an older part of words no store
    // writes is not looked for.
    const HistoryEntry odd = made("0", std::nullopt, {{F::LightWord, 3, 0, 2, 0x150, 0x160}, {F::LightWord, 4, 0, 3, 1, 2}});
    const HistoryEntry all = made("4", HistoryOutcome::Written, {{F::HalfClock, -1, -1, -1, 0, 1},
                                                                {F::LightWord, 1, 0, 9, 0x400, 0x200},
                                                                {F::LightWord, 2, 0, 5, 0x100, 0x1c8}});
    SpeedValues values{};
    values.halfClock = 1;
    values.lightCount = 1;
    values.hblankPresent = 1;
    values.hblankIndex = 1;
    values.lights[0] = {{0x10, 0x200, 0x1c8, 0x160, 1}};
    EXPECT_FALSE(judgeReader({odd, all}, "A", &values).has_value());
    EXPECT_TRUE(judgeReader({odd, hblank}, "A", &values).has_value()) << "the HBlank alone leaves Half Clock and the shutter";
    // Half Clock and the shutter written since, the HBlank word not: a cut
    // HBlank store before them still shows.
    const HistoryEntry hblankCut = made("0", std::nullopt, {{F::LightWord, 2, 0, 5, 0x100, 0x1c8}, {F::LightWord, 2, 1, 5, 0x100, 0x1c8}});
    const HistoryEntry clockAndShutter = made("4", HistoryOutcome::Written, {{F::HalfClock, -1, -1, -1, 0, 1}, {F::LightWord, 1, 0, 9, 0x400, 0x200}, {F::LightWord, 1, 1, 9, 0x400, 0x200}});
    values.lightCount = 2;
    values.lights[1] = {{0x10, 0x200, 0x100, 0x160, 1}};
    values.hblankIndex = 2;
    values.shutterIndex = 1;
    EXPECT_TRUE(judgeReader({hblankCut, clockAndShutter}, "A", &values).has_value());
}

// One reader's HBlank tuned again and again: the judgement reads its
// history back at a cost that follows the history's length (the versions
// before left no record of the reader at each start), and stops at the
// newest change once each start records the reader settled.
TEST(InterruptedChange, ReadingOneReadersHBlankHistoryCostsItsLengthAtMost) {
    ScratchDirectory scratch;
    const auto history = [](int changes, bool recorded) {
        std::string text = historyHeaderLine();
        for (int c = 0; c < changes; ++c) {
            HistoryRow row = here(startRow("A", "R" + std::to_string(c)));
            row.reason = recorded ? readerBeforeText(ReaderBefore::Settled) : "";
            text += formatHistoryRow(row);
            row.reason.clear();
            row.event = HistoryEvent::Change;
            row.change = {StoredFieldChange::Field::LightWord, 2, 0, 5, 0x100u + c, 0x101u + c};
            text += formatHistoryRow(row);
            row.event = HistoryEvent::Outcome;
            text += formatHistoryRow(row);
        }
        writeWholeFile(kHistoryFileName, text);
        SpeedValues held{};
        held.lights[0].words[2] = static_cast<uint16_t>(0x100 + changes);
        return judgeReaderHistories({kHistoryFileName}, "A", &held);
    };
    for (const bool recorded : {false, true}) {
        const ReaderVerdict small = history(2000, recorded);
        const ReaderVerdict large = history(8000, recorded);
        EXPECT_FALSE(small.change.has_value());
        EXPECT_FALSE(large.change.has_value());
        if (recorded) {
            EXPECT_EQ(large.told, 1u);
            EXPECT_LE(large.looked, 64u * 1024);
        } else {
            EXPECT_LE(large.told, 8000u);
            EXPECT_LE(large.looked, 4 * small.looked + 64 * 1024);
        }
    }
}

// What the operator is told the history lacks when a pair's second reader
// lost its start as well (all lost, or only outcomes: the console cases).
TEST(HistoryMissing, NamesTheReadersWhoseRowsAreMissing) {
    EXPECT_EQ(historyMissingText({outcomeRow("A", HistoryOutcome::Written), startRow("B"),
                                  outcomeRow("B", HistoryOutcome::Written)}, 2),
              "the rows of this change for A, B are missing from the history spelvane-history.csv: they could not be "
              "written");
    EXPECT_EQ(historyMissingText({}, 3), "");
}

}  // namespace
}  // namespace spelvane::testing
