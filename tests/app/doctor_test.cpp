// doctor's findings as examineWorkstation returns them on the simulated
// reader, and the one rule that tells a running change from an interrupted
// one (history asks it too).
#include <gtest/gtest.h>

#include <algorithm>
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

// Running: the newest entry of its reader, started on this computer, while
// another Spelvane holds the readers; any other change without outcome is
// not (an older one cut short, one of another computer sharing the folder).
TEST(RunningChange, IsOnlyThisComputersNewestOfItsReaderWhileTheReadersAreHeld) {
    const std::string here = platform::computerName();
    const auto entry = [](const char* reader, const std::string& computer, bool finished) {
        HistoryEntry made;
        made.reader = reader;
        made.run.computer = computer;
        made.started = true;
        made.hasOutcome = finished;
        return made;
    };
    const HistoryEntry cut = entry("A", here, false);
    const struct {
        std::vector<HistoryEntry> entries;
        size_t e;
        bool readersHeld;
        bool running;
    } cases[] = {
        {{cut}, 0, true, true},
        {{cut}, 0, false, false},
        {{entry("A", here + "-ELSEWHERE", false)}, 0, true, false},
        {{cut, cut}, 0, true, false},
        {{cut, cut}, 1, true, true},
        {{cut, entry("A", here, true)}, 0, true, false},
        {{cut, entry("B", here, true)}, 0, true, true},
        {{entry("A", here, true)}, 0, true, false},
    };
    for (size_t i = 0; i < std::size(cases); ++i)
        EXPECT_EQ(isRunningChange(cases[i].entries, cases[i].e, cases[i].readersHeld), cases[i].running)
            << "case " << i;
}

using DoctorTest = SimDeviceTest;

TEST_F(DoctorTest, ChangeWhileAnotherSpelvaneHoldsTheReadersIsRunningNotInterrupted) {
    ScratchDirectory scratch;
    reader.addDevice(device(MemoryLayout{}));
    reader.apply();
    // A store of this computer that has its start and no outcome.
    HistoryRow start = startRow("KVDEV-A1");
    start.run.computer = platform::computerName();
    std::string error;
    ASSERT_TRUE(appendHistoryRows(kHistoryFileName, {start}, error)) << error;
    const auto history = [] {
        std::vector<DoctorCheck> found;
        for (const DoctorCheck& check : examineWorkstation(appState(), "spelvane-cli"))
            if (check.name == "history") found.push_back(check);
        return found;
    };

    platform::MachineLock another;
    ASSERT_TRUE(another.tryAcquire(kReaderLockName));
    std::vector<DoctorCheck> found = history();
    ASSERT_EQ(found.size(), 1u);
    EXPECT_EQ(found[0].verdict, Verdict::Note);
    EXPECT_EQ(found[0].text, "KVDEV-A1: the store of 2026-12-08 11:43:55 +01:00 is running: another Spelvane is "
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
    std::string row = formatHistoryRow(outcomeRow("KVDEV-A1", HistoryOutcome::BackedUp));
    row.resize(row.size() - 2);
    const struct {
        std::string text;
        Verdict verdict;
        std::string says;
    } cases[] = {
        {row.substr(0, 40) + "\r\n" + row + "\r\n", Verdict::Note, "1 row of spelvane-history.csv was cut short"},
        {row + ",extra\r\n" + row + "\r\n", Verdict::Fix, "1 row of spelvane-history.csv cannot be read"},
        {row.substr(0, 40) + "\r\n" + row + ",extra\r\n", Verdict::Fix, "1 row of spelvane-history.csv cannot be read"},
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
