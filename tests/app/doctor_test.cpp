// doctor's findings as examineWorkstation returns them on the simulated
// reader, and the one rule that tells a running change from an interrupted
// one (history asks it too).
#include <gtest/gtest.h>

#include <algorithm>
#include <ctime>
#include <optional>

#include "app/doctor.h"
#include "app/record/running_change.h"
#include "platform/machine_lock.h"
#include "platform/workstation.h"
#include "tests/support/history_rows.h"
#include "tests/support/sim_device_test.h"

namespace spelvane::testing {
namespace {

using Verdict = DoctorCheck::Verdict;

// The free-space limit: room for a backup and its rows, not a byte less.
TEST(DoctorFolder, IsFullBelowTheRoomForABackup) {
    const std::string full = "F: its disk is full; free some space for the backups";
    const struct {
        bool writable;
        std::optional<uint64_t> free;
        Verdict verdict;
        std::string text;
    } cases[] = {
        {true, kRoomForABackup, Verdict::Ok, "F takes the backups (0 MB free)"},
        {true, kRoomForABackup - 1, Verdict::Fix, full},
        {true, 0, Verdict::Fix, full},
        {true, 5 * 1024 * 1024 + 1, Verdict::Ok, "F takes the backups (5 MB free)"},
        {true, std::nullopt, Verdict::Fix, "F: the free space cannot be told; check the disk"},
        {false, uint64_t{1} << 40, Verdict::Fix,
         "F cannot be written: no backup could be saved; start from a folder you may write to"},
    };
    for (const auto& [writable, free, verdict, text] : cases) {
        const DoctorCheck check = folderCheck("F", writable, free);
        EXPECT_EQ(check.verdict, verdict) << text;
        EXPECT_EQ(check.text, text);
    }
}

// A run of this computer made at `at` (seconds since 1970) by process.
HistoryRun runOf(uint32_t process, int64_t at, std::string computer = platform::computerName()) {
    HistoryRun run;
    run.id = historyRunId(at, computer, process) + "-1";
    run.time = historyTime(at);
    run.computer = std::move(computer);
    run.command = "store";
    return run;
}

// No program runs under this number.
constexpr uint32_t kEndedProcess = 0x7ffffffe;

// A process of another account or session: it runs, and may not be asked.
platform::ProcessLook deniedLook(uint32_t, int64_t&) { return platform::ProcessLook::Denied; }

// Running: the newest entry of its reader, whose own program (this test,
// alive since before now; or one the system will not let us ask) is still
// alive on this computer while the readers are held; any other change
// without outcome is not: an older one cut short, one of another computer
// sharing the folder, one whose program ended while another holds the
// readers (a dialog left open), one whose number a later program got.
TEST(RunningChange, IsOnlyItsOwnLiveProgramsNewestOfItsReaderWhileTheReadersAreHeld) {
    const std::string here = platform::computerName();
    const int64_t now = static_cast<int64_t>(std::time(nullptr));
    const uint32_t self = platform::processNumber();
    int64_t selfBegan = 0;
    ASSERT_EQ(platform::processStartTime(self, selfBegan), platform::ProcessLook::Began);
    const auto entry = [](const char* reader, HistoryRun run, bool finished) {
        HistoryEntry made;
        made.reader = reader;
        made.run = std::move(run);
        made.started = true;
        made.hasOutcome = finished;
        return made;
    };
    const HistoryEntry cut = entry("A", runOf(self, now), false);
    const struct {
        std::vector<HistoryEntry> entries;
        size_t e;
        bool readersHeld;
        bool running;
        platform::ProcessLookup look = platform::processStartTime;
    } cases[] = {
        {{cut}, 0, true, true},
        {{cut}, 0, false, false},
        {{entry("A", runOf(self, now, here + "-ELSEWHERE"), false)}, 0, true, false},
        {{cut, cut}, 0, true, false},
        {{cut, cut}, 1, true, true},
        {{cut, entry("A", runOf(self, now), true)}, 0, true, false},
        {{cut, entry("B", runOf(self, now), true)}, 0, true, true},
        {{entry("A", runOf(self, now), true)}, 0, true, false},
        {{entry("A", runOf(kEndedProcess, now), false)}, 0, true, false},
        {{entry("A", runOf(self, now - 24 * 3600), false)}, 0, true, false},
        // The two clocks' whole seconds: a run a second before its process began is its own.
        {{entry("A", runOf(self, selfBegan - 1), false)}, 0, true, true},
        {{entry("A", runOf(self, selfBegan - 3), false)}, 0, true, false},
        {{entry("A", runOf(kEndedProcess, now), false)}, 0, true, true, deniedLook},
        {{entry("A", runOf(kEndedProcess, now), false)}, 0, false, false, deniedLook},
    };
    for (size_t i = 0; i < std::size(cases); ++i)
        EXPECT_EQ(isRunningChange(cases[i].entries, cases[i].e, cases[i].readersHeld, cases[i].look), cases[i].running)
            << "case " << i;
}

// Lights that a store would have left as one HBlank within the dialog's
// range pass; any other is noted, by light.
TEST(DoctorSettings, NotesLightsThatDisagreeAndAnHBlankOutsideTheRange) {
    const std::string differ = "R: its lights hold different HBlank values (";
    const std::string tail = "; check it against the site's setting, sync makes it hold that";
    const struct {
        std::vector<uint16_t> hblanks;
        std::string note;  // "" none
    } cases[] = {
        {{0x100, 0x100, 0x100}, ""},
        {{21, 21}, ""},
        {{1023}, ""},
        {{}, ""},
        {{0x100, 0x120}, differ + "0x0100, 0x0120)" + tail},
        {{0x100, 0x003}, differ + "0x0100, 0x0003); light 1 runs with HBlank 0x0003, outside the 21 to 1023 the "
                                  "dialog offers" + tail},
        {{20, 20}, "R: light 0 runs with HBlank 0x0014, outside the 21 to 1023 the dialog offers" + tail},
        {{1024}, "R: light 0 runs with HBlank 0x0400, outside the 21 to 1023 the dialog offers" + tail},
    };
    for (const auto& [hblanks, note] : cases) {
        SpeedValues held{};
        held.addresses[0] = kShutterRegister;
        held.addresses[1] = kHBlankRegister;
        held.addressCount = 2;
        scanRegisterPositions(held);
        held.lightCount = static_cast<uint16_t>(hblanks.size());
        for (size_t light = 0; light < hblanks.size(); ++light)
            held.lights[light].words[1 + held.hblankIndex] = hblanks[light];
        const std::optional<DoctorCheck> check = readerSettingsCheck("R", held);
        EXPECT_EQ(check ? check->text : "", note);
        if (check) EXPECT_EQ(check->verdict, Verdict::Note);
    }
}

using DoctorTest = SimDeviceTest;

// The simulated library is named as such, and what the readers hold is
// looked at once they are open.
TEST_F(DoctorTest, SimulatedLibraryIsNamedAndAReadersLightsThatDisagreeNoted) {
    ScratchDirectory scratch;
    reader.addDevice(device(MemoryLayout{false, {0x09, 0x05}, {{0x10, 0x400, 0x100}, {0x20, 0x600, 0x003}}}));
    reader.apply();
    const std::vector<DoctorCheck> checks = examineWorkstation(appState(), "spelvane-cli");
    const auto named = [&](const std::string& name) {
        return std::find_if(checks.begin(), checks.end(), [&](const DoctorCheck& check) { return check.name == name; });
    };
    ASSERT_NE(named("library"), checks.end());
    EXPECT_EQ(named("library")->verdict, Verdict::Note);
    EXPECT_EQ(named("library")->text.rfind("the simulated reader's library, which reaches no device: ", 0), 0u)
        << named("library")->text;
    ASSERT_NE(named("settings"), checks.end());
    EXPECT_EQ(named("settings")->text.rfind("KVDEV-A1 (TYPE1): its lights hold different HBlank values (0x0100, "
                                            "0x0003); light 1 runs with HBlank 0x0003",
                                            0),
              0u)
        << named("settings")->text;
    EXPECT_EQ(named("settings") - named("readers"), 1) << "the readers' settings follow the readers";
}

TEST_F(DoctorTest, ChangeWhileAnotherSpelvaneHoldsTheReadersIsRunningNotInterrupted) {
    ScratchDirectory scratch;
    reader.addDevice(device(MemoryLayout{}));
    reader.apply();
    const auto history = [] {
        std::vector<DoctorCheck> found;
        for (const DoctorCheck& check : examineWorkstation(appState(), "spelvane-cli"))
            if (check.name == "history") found.push_back(check);
        return found;
    };
    // Yesterday's store cut short, and a dialog, left open and idle, that
    // holds the readers: the change is no more running for it.
    HistoryRow start = startRow("KVDEV-A1");
    start.run = runOf(kEndedProcess, 1796726635);
    start.run.time = "2026-12-08 11:43:55 +01:00";
    std::string error;
    ASSERT_TRUE(appendHistoryRows(kHistoryFileName, {start}, error)) << error;
    platform::MachineLock another;
    ASSERT_TRUE(another.tryAcquire(kReaderLockName));
    std::vector<DoctorCheck> found = history();
    ASSERT_EQ(found.size(), 1u);
    EXPECT_EQ(found[0].verdict, Verdict::Fix);
    EXPECT_EQ(found[0].text, "KVDEV-A1: the store of 2026-12-08 11:43:55 +01:00 was interrupted; the backup "
                             "KVDEV-A1_20261208114355.set restores the settings it held before.");

    // A store of this program, alive, that has its start and no outcome.
    start.run = runOf(platform::processNumber(), static_cast<int64_t>(std::time(nullptr)));
    ASSERT_TRUE(appendHistoryRows(kHistoryFileName, {start}, error)) << error;
    found = history();
    ASSERT_EQ(found.size(), 1u);
    EXPECT_EQ(found[0].verdict, Verdict::Note);
    EXPECT_EQ(found[0].text, "KVDEV-A1: the store of " + start.run.time + " is running: another Spelvane is "
                             "using the readers now");

    // Once the readers are free, nothing runs it any more: cut short.
    another.release();
    found = history();
    ASSERT_EQ(found.size(), 1u);
    EXPECT_EQ(found[0].verdict, Verdict::Fix);
    EXPECT_NE(found[0].text.find("was interrupted; the backup KVDEV-A1_20261208114355.set restores"),
              std::string::npos)
        << found[0].text;

    // Years of daily backups after it do not push the change out of sight.
    std::vector<HistoryRow> backups;
    for (int b = 0; b < 5000; ++b)
        backups.push_back(outcomeRow("KVDEV-A1", HistoryOutcome::BackedUp, "", "B" + std::to_string(b)));
    ASSERT_TRUE(appendHistoryRows(kHistoryFileName, backups, error)) << error;
    found = history();
    ASSERT_EQ(found.size(), 1u);
    EXPECT_EQ(found[0].verdict, Verdict::Fix) << found[0].text;
}

// A row cut short as it was written is no one's doing: a note. A row that
// cannot be read for another reason was edited: a FIX. No row at all is
// no change yet.
TEST_F(DoctorTest, RowCutShortIsANoteARowEditedByHandAFixNoRowNoChange) {
    reader.addDevice(device(MemoryLayout{}));
    reader.apply();
    // Rows of this computer: doctor judges its own readers.
    const auto line = [](const HistoryRow& made) { return formatHistoryRow(here(made)); };
    std::string row = line(outcomeRow("KVDEV-A1", HistoryOutcome::BackedUp));
    row.resize(row.size() - 2);
    const std::string untouched =
        line(startRow("KVDEV-A1")) + line(changeRow("KVDEV-A1", StoredFieldChange::Field::HalfClock, -1, -1, -1, 0, 1));
    const struct {
        std::string text;
        Verdict verdict;
        std::string says;
    } cases[] = {
        {row.substr(0, 40) + "\r\n" + row + "\r\n", Verdict::Note, "1 row of spelvane-history.csv was cut short"},
        {row + ",extra\r\n" + row + "\r\n", Verdict::Fix, "1 row of spelvane-history.csv cannot be read"},
        {row.substr(0, 40) + "\r\n" + row + ",extra\r\n", Verdict::Fix, "1 row of spelvane-history.csv cannot be read"},
        // A change the reader holds none of is a note, which hides no row to mend.
        {untouched, Verdict::Note, "KVDEV-A1: the store of 2026-12-08 11:43:55 +01:00 has no outcome"},
        {untouched + row + ",extra\r\n", Verdict::Fix, "1 row of spelvane-history.csv cannot be read"},
        // A written row vouches for a change only where the reader's values were asked.
        {line(startRow("KVDEV-Z9")) + line(outcomeRow("KVDEV-Z9", HistoryOutcome::Written)),
         Verdict::Ok, "1 change in spelvane-history.csv, each recorded as finished; KVDEV-Z9: not open, so the values"},
        // Another computer's cut change of a reader of the same name is its own.
        {formatHistoryRow(startRow("KVDEV-A1")) + formatHistoryRow(changeRow("KVDEV-A1", StoredFieldChange::Field::HalfClock, -1, -1, -1, 0, 1)),
         Verdict::Ok, "1 change in spelvane-history.csv, each finished"},
        // The installer's empty history: no change yet.
        {"", Verdict::Ok, "none yet (spelvane-history.csv)"},
    };
    for (const auto& [text, verdict, says] : cases) {
        ScratchDirectory scratch;
        writeWholeFile(kHistoryFileName, historyHeaderLine() + text);
        const std::vector<DoctorCheck> checks = examineWorkstation(appState(), "spelvane-cli");
        const auto found = std::find_if(checks.begin(), checks.end(),
                                        [](const DoctorCheck& check) { return check.name == "history"; });
        ASSERT_NE(found, checks.end());
        EXPECT_EQ(found->verdict, verdict) << found->text;
        EXPECT_EQ(found->text.rfind(says, 0), 0u) << found->text;
    }
}

}  // namespace
}  // namespace spelvane::testing
