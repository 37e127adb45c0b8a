// The change history's CSV: how rows are written, read back, gathered into
// changes, and appended to a file that a crash may have cut short.
#include <gtest/gtest.h>

#include <cstdlib>
#include <functional>
#include <optional>
#include <algorithm>
#include <cstdio>
#include <ctime>
#include <string>
#include <vector>

#include "app/site_report.h"
#include "platform/input_file.h"
#include "platform/timing.h"
#include "platform/output_file.h"
#include "settings/history_file.h"
#include "tests/support/file_size_limit.h"
#include "tests/support/flush_witness.h"
#include "tests/support/history_rows.h"

namespace spelvane::testing {
namespace {

using Field = StoredFieldChange::Field;

const std::string kHeader =
    "run,time,computer,user,program,version,library,command,event,reader,type,backup,file,outcome,reason,"
    "field,index,light,word,register,from,to\r\n";

const std::string kCommon =
    "R1,2026-12-08 11:43:55 +01:00,WS12,op,spelvane,1.0.0,\"C:\\lib\\qzsd7.dll, version 0x00010002\",store,";

TEST(HistoryFileTest, RowsAreWrittenAsQuotedCsvAndReadBackTheSame) {
    struct Case {
        const char* what;
        HistoryRow row;
        std::string line;
    };
    HistoryRow quoted = outcomeRow("KV, \"A\"", HistoryOutcome::Failed, "write of light 1;  failed ");
    quoted.run.user = " op";
    HistoryRow formulas = startRow("=1+2");
    formulas.type = "'@T";
    const auto change = [](Field field, int index, int light, int reg, uint32_t from, uint32_t to) {
        return changeRow("KVDEV-A1", field, index, light, reg, from, to);
    };
    const auto a1 = [](const char* event, const char* rest) {
        return kCommon + event + ",KVDEV-A1,TYPE1,KVDEV-A1_20261208114355.set," + rest + "\r\n";
    };
    const std::vector<Case> cases = {
        {"start", startRow("KVDEV-A1"), a1("start", ",,,,,,,,,")},
        {"half clock", change(Field::HalfClock, -1, -1, -1, 0, 1), a1("change", ",,,halfClock,,,,,0,1")},
        {"address", change(Field::Address, 3, -1, -1, 0x10, 0x1a), a1("change", ",,,address,3,,,,16,26")},
        {"leading word", change(Field::LightWord, 0, 2, -1, 1, 0xffff), a1("change", ",,,lightWord,,2,0,,1,65535")},
        {"register word", change(Field::LightWord, 4, 1, 9, 0x100, 0x120), a1("change", ",,,lightWord,,1,4,9,256,288")},
        {"light count", change(Field::LightCount, -1, -1, -1, 4, ~0u), a1("change", ",,,lightCount,,,,,4,4294967295")},
        {"outcome", outcomeRow("KVDEV-A1", HistoryOutcome::NoSection), a1("outcome", ",no section,,,,,,,,")},
        {"cells a spreadsheet would take for formulas", formulas,
         kCommon + "start,'=1+2,''@T,KVDEV-A1_20261208114355.set,,,,,,,,,,\r\n"},
        {"quotes, comma, blanks", quoted,
         "R1,2026-12-08 11:43:55 +01:00,WS12,\" op\",spelvane,1.0.0,\"C:\\lib\\qzsd7.dll, version 0x00010002\",store,"
         "outcome,\"KV, \"\"A\"\"\",TYPE1,KVDEV-A1_20261208114355.set,,failed,"
         "\"write of light 1;  failed \",,,,,,,\r\n"},
        {"a quote alone", startRow("KV\"A"), kCommon + "start,\"KV\"\"A\",TYPE1,KVDEV-A1_20261208114355.set,,,,,,,,,,\r\n"},
        {"a minus that would start a formula", startRow("-5"), kCommon + "start,'-5,TYPE1,KVDEV-A1_20261208114355.set,,,,,,,,,,\r\n"},
        {"a name that begins with an apostrophe", startRow("'KV"), kCommon + "start,'KV,TYPE1,KVDEV-A1_20261208114355.set,,,,,,,,,,\r\n"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        EXPECT_EQ(formatHistoryRow(c.row), c.line);
        int skipped = -1;
        const std::vector<HistoryRow> back = parseHistoryText(kHeader + c.line, skipped);
        EXPECT_EQ(skipped, 0);
        ASSERT_EQ(back.size(), 1u);
        EXPECT_TRUE(back[0] == c.row);
    }
    EXPECT_EQ(historyHeaderLine(), kHeader);
    // A row is one line: line breaks in a cell are written as blanks.
    const std::string broken = formatHistoryRow(outcomeRow("A", HistoryOutcome::Failed, "write of light 1\r\nfailed\n"));
    EXPECT_EQ(broken.find('\n'), broken.size() - 1);
    EXPECT_NE(broken.find(",write of light 1  failed,"), std::string::npos) << broken;
    // A run that begins as the UTF-8 signature does keeps it, first line or not.
    const HistoryRow signedRun = startRow("A", "\xEF\xBB\xBFR1");
    int skipped = -1;
    EXPECT_EQ(parseHistoryText(formatHistoryRow(signedRun), skipped), std::vector<HistoryRow>{signedRun});
}

TEST(HistoryFileTest, RowsThatCannotBeReadAreSkippedAndCounted) {
    const std::string start = formatHistoryRow(startRow("A"));
    const std::string change = kCommon + "change,A,TYPE1,b.set,,,,";
    struct Case {
        const char* what;
        std::string text;
        size_t rows;
        int skipped;
        int cutShort;  // of skipped: the beginning of a row, not a row damaged otherwise
    };
    const std::vector<Case> cases = {
        {"header only", kHeader, 0, 0, 0},
        {"blank lines and LF line ends", kHeader + "\r\n\n" + kCommon + "start,A,T,b.set,,,,,,,,,,\n", 1, 0, 0},
        {"a header again, no header at all", start + kHeader + start, 2, 0, 0},
        {"a last line cut short", kHeader + start + start.substr(0, start.size() - 2), 1, 1, 1},
        {"cut inside its last field", kHeader + start + change + "address,3,,,,16,2", 1, 1, 1},
        {"cut between CR and LF", kHeader + start + start.substr(0, start.size() - 1), 1, 1, 1},
        {"an open quote at the end", kHeader + start + kCommon + "start,\"A,T,,,,,,,,,,,,\r\n", 1, 1, 1},
        {"a field too few", kHeader + kCommon + "start,A,T,b.set,,,,,,,,,\r\n" + start, 1, 1, 1},
        {"a field too many", kHeader + kCommon + "start,A,T,b.set,,,,,,,,,,,\r\n" + start, 1, 1, 0},
        {"no run id", kHeader + start.substr(2), 0, 1, 0},
        {"a few words typed in, not a row's start", kHeader + "not,a,row\r\n" + start, 1, 1, 0},
        {"an event no row has", kHeader + kCommon + "begin,A,T,b.set,,,,,,,,,,\r\n", 0, 1, 0},
        {"an outcome no row has", kHeader + kCommon + "outcome,A,T,b.set,,done,,,,,,,,\r\n", 0, 1, 0},
        {"a start with an outcome", kHeader + kCommon + "start,A,T,b.set,,written,,,,,,,,\r\n", 0, 1, 0},
        {"an outcome with a change", kHeader + kCommon + "outcome,A,T,b.set,,written,,halfClock,,,,,0,1\r\n", 0, 1, 0},
        {"a field no change has", kHeader + change + "hclock,,,,,0,1\r\n", 0, 1, 0},
        {"an address without its index", kHeader + change + "address,,,,,0,1\r\n", 0, 1, 0},
        {"half clock with an index", kHeader + change + "halfClock,0,,,,0,1\r\n", 0, 1, 0},
        {"a word without its light", kHeader + change + "lightWord,,,1,,0,1\r\n", 0, 1, 0},
        {"a value that is no number", kHeader + change + "address,1,,,,0x10,1\r\n", 0, 1, 0},
        {"a negative value", kHeader + change + "address,1,,,,-1,1\r\n", 0, 1, 0},
        {"a value beyond 32 bits", kHeader + change + "address,1,,,,4294967296,1\r\n", 0, 1, 0},
        {"a quote inside a plain field", kHeader + kCommon + "start,A\"B,T,,,,,,,,,,,,\r\n" + start, 1, 1, 0},
        {"text after a closing quote", kHeader + kCommon + "start,\"A\"B,T,,,,,,,,,,,,\r\n" + start, 1, 1, 0},
        {"a line break inside quotes (no row holds one)", kHeader + kCommon + "start,\"A\r\nB\",T,,,,,,,,,,,\r\n", 0, 2, 1},
        {"a quote left open by a cut, then a row", kHeader + kCommon + "start,\"A\r\n" + start, 1, 1, 1},
        {"a CR within a line", kHeader + kCommon + "start,A\rB,T,,,,,,,,,,,,\r\n" + start, 1, 1, 0},
        {"a CR within a row of 22 cells", kHeader + kCommon + "start,A\rB,T,,,,,,,,,,,\r\n" + start, 1, 1, 0},
        {"a last cell that opens a quote and never closes it", kHeader + change + "address,3,,,,16,\"26\r\n", 0, 1, 1},
        {"the UTF-8 signature an editor saves", "\xEF\xBB\xBF" + kHeader + start, 1, 0, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        int skipped = -1;
        int cutShort = -1;
        EXPECT_EQ(parseHistoryText(c.text, skipped, &cutShort).size(), c.rows);
        EXPECT_EQ(skipped, c.skipped);
        EXPECT_EQ(cutShort, c.cutShort);
    }
}

TEST(HistoryFileTest, RowsGatherIntoOneEntryPerChangeOfAReader) {
    HistoryRow refused = outcomeRow("C", HistoryOutcome::Refused, "Half Clock cannot be set", "R2");
    refused.backup.clear();
    HistoryRow lostStart = changeRow("D", Field::HalfClock, -1, -1, -1, 1, 0);
    lostStart.file = "A.set";
    // A later row's empty cells leave the entry what it holds.
    HistoryRow bareOutcome = outcomeRow("D", HistoryOutcome::Failed, "write failed");
    bareOutcome.backup.clear();
    bareOutcome.type.clear();
    const std::vector<HistoryRow> rows = {
        startRow("A"),
        startRow("B"),
        changeRow("A", Field::Address, 0, -1, -1, 1, 2),
        changeRow("B", Field::HalfClock, -1, -1, -1, 0, 1),
        outcomeRow("A", HistoryOutcome::Written),
        changeRow("A", Field::Address, 1, -1, -1, 1, 2),  // after A's outcome: a change of its own
        refused,
        lostStart,
        bareOutcome,
    };
    const struct {
        const char* reader;
        bool started, hasOutcome;
        HistoryOutcome outcome;
        const char* reason;
        const char* backup;
        size_t changes;
    } want[] = {
        {"A", true, true, HistoryOutcome::Written, "", "KVDEV-A1_20261208114355.set", 1},
        {"B", true, false, HistoryOutcome::Written, "", "KVDEV-A1_20261208114355.set", 1},
        {"A", true, false, HistoryOutcome::Written, "", "KVDEV-A1_20261208114355.set", 1},
        {"C", false, true, HistoryOutcome::Refused, "Half Clock cannot be set", "", 0},
        {"D", true, true, HistoryOutcome::Failed, "write failed", "KVDEV-A1_20261208114355.set", 1},
    };
    const std::vector<HistoryEntry> entries = gatherHistoryEntries(rows);
    ASSERT_EQ(entries.size(), std::size(want));
    for (size_t i = 0; i < entries.size(); ++i) {
        const HistoryEntry& e = entries[i];
        SCOPED_TRACE(i);
        EXPECT_EQ(e.reader, want[i].reader);
        EXPECT_EQ(e.started, want[i].started);
        EXPECT_EQ(e.hasOutcome, want[i].hasOutcome);
        EXPECT_EQ(e.interrupted(), want[i].started && !want[i].hasOutcome);
        EXPECT_EQ(e.outcome, want[i].outcome);
        EXPECT_EQ(e.reason, want[i].reason);
        EXPECT_EQ(e.backup, want[i].backup);
        ASSERT_EQ(e.changes.size(), want[i].changes);
    }
    EXPECT_EQ(entries[4].type, "TYPE1");
    EXPECT_EQ(entries[4].file, "A.set");
    EXPECT_EQ(entries[0].changes[0].index, 0);  // A's first change, not the one after its outcome
    EXPECT_EQ(entries[0].changes[0].to, 2u);
}

// A whole history read from its start: an entry without an outcome early
// on holds back the entries behind it only up to the bound, then goes out
// as it is; an ordinary history streams out as it gathers.
TEST(HistoryFileTest, EntriesStreamOutWithinTheBound) {
    std::vector<HistoryRow> rows = {startRow("A", "R0")};
    for (int i = 1; i <= 2000; ++i) {
        const std::string run = "R" + std::to_string(i);
        rows.push_back(startRow("B", run));
        rows.push_back(outcomeRow("B", HistoryOutcome::Written, "", run));
    }
    rows.push_back(outcomeRow("A", HistoryOutcome::NoChanges, "", "R0"));
    for (const size_t bound : {size_t(16 * 1024), kMostWaitingBytes}) {
        SCOPED_TRACE(bound);
        std::vector<HistoryEntry> out;
        HistoryEntryStream stream([&](HistoryEntry& entry) { out.push_back(entry); }, bound);
        for (const HistoryRow& row : rows) stream.add(row);
        const size_t beforeEnd = out.size();
        stream.finish();
        EXPECT_LE(stream.mostWaited(), bound);
        std::vector<HistoryEntry> want = gatherHistoryEntries(rows);
        if (bound == kMostWaitingBytes) {
            EXPECT_EQ(beforeEnd, 2001u);  // A's outcome came last: everything waited for it
            EXPECT_EQ(out, want);
            continue;
        }
        EXPECT_EQ(beforeEnd, 2002u);
        ASSERT_EQ(out.size(), 2002u);
        EXPECT_TRUE(out[0].interrupted());
        EXPECT_FALSE(out.back().started);  // A's outcome, late, on its own
        EXPECT_EQ(out.back().outcome, HistoryOutcome::NoChanges);
        EXPECT_EQ(std::vector<HistoryEntry>(out.begin() + 1, out.end() - 1),
                  std::vector<HistoryEntry>(want.begin() + 1, want.end()));
    }
}

// Sets the zone the C library's local time follows, for the life of the
// object.
class ZoneForTest {
public:
    explicit ZoneForTest(const char* zone) {
        const char* old = std::getenv("TZ");
        had_ = old != nullptr;
        if (had_) old_ = old;
        set(zone);
    }
    ~ZoneForTest() { set(had_ ? old_.c_str() : nullptr); }

private:
    static void set(const char* zone) {
#if defined(_WIN32)
        _putenv((std::string("TZ=") + (zone ? zone : "")).c_str());
        _tzset();
#else
        if (zone) setenv("TZ", zone, 1);
        else unsetenv("TZ");
        tzset();
#endif
    }
    bool had_ = false;
    std::string old_;
};

TEST(HistoryFileTest, TimeCarriesTheLocalTimeAndItsOffsetFromUtc) {
    // The run id tells the same moment in UTC, whatever the zone.
    struct Case {
        const char* zone;
        int64_t time;
        const char* text;
        const char* runId;
    };
    const Case cases[] = {
        {"UTC0", 1700000000, "2023-11-14 22:13:20 +00:00", "20231114T221320-WS12-4242"},
        {"IST-05:30", 1700000000, "2023-11-15 03:43:20 +05:30", "20231114T221320-WS12-4242"},
        {"PST+08", 1700000000, "2023-11-14 14:13:20 -08:00", "20231114T221320-WS12-4242"},
        {"IST-05:30", 946684799, "2000-01-01 05:29:59 +05:30", "19991231T235959-WS12-4242"},  // over the turn of a year
        {"PST+08", 951782400, "2000-02-28 16:00:00 -08:00", "20000229T000000-WS12-4242"},     // back from a leap day
        {"NPT-05:45", 951868800, "2000-03-01 05:45:00 +05:45", "20000301T000000-WS12-4242"},
        {"UTC0", 1770000000, "2026-02-02 02:40:00 +00:00", "20260202T024000-WS12-4242"},  // a February of its year
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.zone);
        ZoneForTest zone(c.zone);
        EXPECT_EQ(historyTime(c.time), c.text);
        EXPECT_EQ(historyRunId(c.time, "WS12", 4242), c.runId);
        // Read back, histories of other zones sort together by the moment.
        int64_t seconds = 0;
        EXPECT_TRUE(historyTimeSeconds(c.text, seconds));
        EXPECT_EQ(seconds, c.time);
    }
    int64_t seconds = 0;
    for (const char* text : {"", "2023-11-14 22:13:20", "2023-11-14 22:13:20 +00:00x", "2023-13-14 22:13:20 +00:00",
                             "2023-11-14 22:13:20 *01:00", "2023-11-14 22:61:20 +00:00"})
        EXPECT_FALSE(historyTimeSeconds(text, seconds)) << text;
    uint32_t process = 0;
    EXPECT_TRUE(historyRunProcess("20231114T221320-WS-12-4242-3", process));
    EXPECT_EQ(process, 4242u);
    for (const char* bad : {"R1", "20231114T221320-WS12-4242", "x-y--3", "a-b-99999999999-1"})
        EXPECT_FALSE(historyRunProcess(bad, process)) << bad;
}

class HistoryAppendTest : public ::testing::Test {
protected:
    bool append(const std::vector<HistoryRow>& rows) { return appendHistoryRows(kHistoryFileName, rows, error_); }
    ScratchDirectory scratch_;
    std::string error_;
};

TEST_F(HistoryAppendTest, AppendsBehindWhatIsThereAndEndsALineCutShort) {
    const std::string start = formatHistoryRow(startRow("A"));
    const std::string outcome = formatHistoryRow(outcomeRow("A", HistoryOutcome::Written));
    struct Case {
        const char* what;
        const char* before;  // null: no file yet
        std::string after;
    };
    const std::vector<Case> cases = {
        {"no file yet", nullptr, kHeader + start},
        {"an empty file", "", kHeader + start},
        {"whole rows", "x\r\n", "x\r\n" + start},
        {"a line cut short", "x,y", "x,y\r\n" + start},
        {"cut between CR and LF", "x,y\r", "x,y\r\n" + start},
    };
    std::vector<std::string> flushed;
    FlushWitness witness([&](const std::string& path) {
        flushed.push_back(path);
        return true;
    });
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        std::filesystem::remove(kHistoryFileName);
        if (c.before) writeWholeFile(kHistoryFileName, c.before);
        flushed.clear();
        ASSERT_TRUE(append({startRow("A")})) << error_;
        EXPECT_EQ(readWholeFile(kHistoryFileName), c.after);
        EXPECT_EQ(flushed, std::vector<std::string>{kHistoryFileName});
    }
    ASSERT_TRUE(append({outcomeRow("A", HistoryOutcome::Written)}));
    std::vector<HistoryEntry> entries;
    int skipped = -1;
    ASSERT_TRUE(readHistoryFile(kHistoryFileName, entries, skipped, error_));
    EXPECT_EQ(skipped, 1);  // the line the last case cut short
    ASSERT_EQ(entries.size(), 1u);
    EXPECT_TRUE(entries[0].hasOutcome);
}

TEST_F(HistoryAppendTest, AFailedFlushOrAMissingFileIsReportedInOneLine) {
    {
        FlushWitness refusing([](const std::string&) { return false; });
        size_t whole = 0;
        EXPECT_FALSE(appendHistoryRows(kHistoryFileName, {startRow("A")}, error_, &whole));
        EXPECT_EQ(error_, std::string("cannot put on disk ") + kHistoryFileName + ": the system refused it");
        EXPECT_EQ(whole, 1u);  // in the file, only not known to be on the disk
    }

    // A folder in the file's place: the reason says what to do about it.
    std::filesystem::create_directory("folder.csv");
    EXPECT_FALSE(appendHistoryRows("folder.csv", {startRow("A")}, error_));
    EXPECT_EQ(error_, "cannot open folder.csv: it is a folder, not a file: move or rename the folder");
    std::vector<HistoryEntry> entries;
    int skipped = -1;
    EXPECT_FALSE(readHistoryFile("folder.csv", entries, skipped, error_));
    EXPECT_EQ(error_, "it is a folder, not a file: move or rename the folder");
    HistoryBackCursor back;
    EXPECT_FALSE(back.open("folder.csv", "A", ""));
    EXPECT_EQ(back.fault(), platform::FileFault::Folder);
    EXPECT_FALSE(back.open("none.csv", "A", ""));
    EXPECT_EQ(back.fault(), platform::FileFault::Missing);

    EXPECT_FALSE(readHistoryFile("none.csv", entries, skipped, error_));
    EXPECT_EQ(error_, "no history");
}

#if !defined(_WIN32)
// The clock of a retry that waits for the disk: its pause frees the room.
class RoomAfterAPause final : public Timing {
public:
    explicit RoomAfterAPause(std::optional<FileSizeLimit>& limit) : limit_(limit) { setTiming(this); }
    ~RoomAfterAPause() override { setTiming(nullptr); }
    bool counter(int64_t& ticks) override { return ticks = ms_, true; }
    bool frequency(int64_t& perSecond) override { return perSecond = 1000, true; }
    void sleepMs(uint32_t ms) override { ms_ += ms, limit_.reset(); }
    int64_t calendarTime() override { return 1700000000; }

private:
    std::optional<FileSizeLimit>& limit_;
    int64_t ms_ = 0;
};

// A full disk takes part of the rows, in a new file or behind rows already
// there: those that landed whole are told (counted from where this append
// began), and the retry ends the cut one and adds only the rest, so each
// row is in the file once and the cut one is read as cut short. The site
// report retries by itself, after a pause.
TEST_F(HistoryAppendTest, AWriteThatStopsPartwayTellsTheRowsThatLandedWhole) {
    const std::vector<HistoryRow> rows = {startRow("A"), changeRow("A", Field::HalfClock, -1, -1, -1, 0, 1),
                                          outcomeRow("A", HistoryOutcome::Written)};
    const std::string start = formatHistoryRow(rows[0]);
    const std::string change = formatHistoryRow(rows[1]);
    const HistoryRow earlier = outcomeRow("B", HistoryOutcome::BackedUp, "", "R0");
    for (const bool behindOthers : {false, true}) {
        SCOPED_TRACE(behindOthers ? "behind a row" : "a new file");
        std::remove(kHistoryFileName);
        if (behindOthers) ASSERT_TRUE(append({earlier})) << error_;
        const std::string before = behindOthers ? kHeader + formatHistoryRow(earlier) : "";
        size_t whole = 99;
        {
            FileSizeLimit full(std::max(before.size(), kHeader.size()) + start.size() + 40);
            ASSERT_TRUE(full.held());
            EXPECT_FALSE(appendHistoryRows(kHistoryFileName, rows, error_, &whole));
            EXPECT_EQ(whole, 1u);
            EXPECT_FALSE(appendHistoryRows(kHistoryFileName, {rows[1]}, error_, &whole));  // not a byte more
            EXPECT_EQ(whole, 0u);
        }
        ASSERT_TRUE(appendHistoryRows(kHistoryFileName, {rows[1], rows[2]}, error_, &whole)) << error_;
        EXPECT_EQ(whole, 2u);
        const std::string text = readWholeFile(kHistoryFileName);
        EXPECT_EQ(text, (behindOthers ? before : kHeader) + start + change.substr(0, 40) + "\r\n" + change +
                            formatHistoryRow(rows[2]));
        int skipped = -1;
        int cutShort = -1;
        std::vector<HistoryRow> all = parseHistoryText(text, skipped, &cutShort);
        if (behindOthers) all.erase(all.begin());
        EXPECT_EQ(all, rows);
        EXPECT_EQ(skipped, 1);
        EXPECT_EQ(cutShort, 1);
    }
    // The site report, behind a row of its own.
    std::vector<SiteReportRow> report(4);
    for (size_t i = 0; i < report.size(); ++i) report[i].run = "R" + std::to_string(i);
    ASSERT_EQ(appendSiteReport("report.csv", {report[0]}), "");
    const std::string first = siteReportHeader() + siteReportLine(report[0]) + siteReportLine(report[1]);
    std::optional<FileSizeLimit> full(std::in_place, first.size() + 10);
    RoomAfterAPause pause(full);
    EXPECT_EQ(appendSiteReport("report.csv", {report[1], report[2], report[3]}), "");
    EXPECT_EQ(readWholeFile("report.csv"), first + siteReportLine(report[2]).substr(0, 10) + "\r\n" +
                                               siteReportLine(report[2]) + siteReportLine(report[3]));
}
#endif

// A crash may cut the last row anywhere, inside the quoted library cell
// too: the rows appended after it all read back, and the cut one hides
// only itself.
TEST_F(HistoryAppendTest, ARowCutAtAnyByteHidesOnlyItself) {
    const std::string cut = formatHistoryRow(startRow("A"));
    const HistoryRow backup = outcomeRow("B", HistoryOutcome::BackedUp, "", "R2");
    const HistoryRow refused = outcomeRow("A", HistoryOutcome::Refused, "no room", "R3");
    for (size_t length = 1; length < cut.size(); ++length) {
        SCOPED_TRACE(cut.substr(0, length));
        writeWholeFile(kHistoryFileName, kHeader + cut.substr(0, length));
        ASSERT_TRUE(append({backup}) && append({refused})) << error_;
        int skipped = -1;
        const std::vector<HistoryRow> rows = parseHistoryText(readWholeFile(kHistoryFileName), skipped);
        // Cut inside its CR LF only, the row is whole once the line is ended.
        const bool survives = length >= cut.size() - 2;
        ASSERT_EQ(rows.size(), survives ? 3u : 2u);
        EXPECT_EQ(skipped, survives ? 0 : 1);
        EXPECT_TRUE(rows[rows.size() - 2] == backup);
        EXPECT_TRUE(rows.back() == refused);
        std::vector<HistoryEntry> last;
        ASSERT_TRUE(readLastHistoryEntries(kHistoryFileName, "", 2, last, skipped, error_));
        ASSERT_EQ(last.size(), 2u);
        EXPECT_EQ(last[0].reader, "B");
        EXPECT_EQ(last[1].reason, "no room");
        // Pulled an entry at a time, as history reads several side by side:
        // the same entries as read at once.
        std::vector<HistoryEntry> whole;
        ASSERT_TRUE(readHistoryFile(kHistoryFileName, whole, skipped, error_));
        HistoryCursor cursor;
        ASSERT_TRUE(cursor.open(kHistoryFileName));
        std::vector<HistoryEntry> pulled;
        for (HistoryEntry entry; cursor.next(entry);) pulled.push_back(entry);
        EXPECT_TRUE(pulled == whole);
        EXPECT_EQ(cursor.skipped(), skipped);
        EXPECT_EQ(cursor.fault(), platform::FileFault::None);
    }
}

// What the judgement reads of a long history: one reader's entries from
// the file's end back, each run's rows gathered whole.
TEST_F(HistoryAppendTest, TheLastStartOfEachReaderIsFoundFromTheEnd) {
    std::string text = kHeader;
    // Older changes of both readers, beyond many chunks of other readers'
    // rows, and a line too long to be a row.
    text += formatHistoryRow(startRow("A", "R0")) + formatHistoryRow(startRow("B", "R0")) +
            formatHistoryRow(startRow("KV\"A", "R0"));
    for (int i = 0; i < 3000; ++i) text += formatHistoryRow(outcomeRow("C", HistoryOutcome::BackedUp, "", "O" + std::to_string(i)));
    text += std::string(200000, 'x') + "\r\n";
    HistoryRow change = changeRow("A", Field::HalfClock, -1, -1, -1, 0, 1);
    change.run.id = "R5";
    text += formatHistoryRow(startRow("A", "R5")) + formatHistoryRow(change);
    text += formatHistoryRow(outcomeRow("A", HistoryOutcome::NoChanges, "", "R6"));
    text += formatHistoryRow(outcomeRow("B", HistoryOutcome::BackedUp, "", "R7"));
    // Still being written, its line end not yet there: not taken for A's outcome.
    const std::string writing = formatHistoryRow(outcomeRow("A", HistoryOutcome::Written, "", "R5"));
    text += writing.substr(0, writing.size() - 2);
    writeWholeFile(kHistoryFileName, text);

    // Each reader's entries, newest first, a run's rows gathered whole; the
    // one being written is no outcome yet.
    const auto back = [](const std::string& reader, const std::string& computer = "") {
        HistoryBackCursor cursor;
        std::vector<std::string> seen;
        if (!cursor.open(kHistoryFileName, reader, computer)) return seen;
        for (HistoryEntry e; cursor.next(e);)
            seen.push_back(e.run.id + (e.interrupted() ? " interrupted" : "") + " " + std::to_string(e.changes.size()));
        EXPECT_EQ(cursor.fault(), platform::FileFault::None);
        return seen;
    };
    EXPECT_EQ(back("A"), (std::vector<std::string>{"R6 0", "R5 interrupted 1", "R0 interrupted 0"}));
    EXPECT_EQ(back("B"), (std::vector<std::string>{"R7 0", "R0 interrupted 0"}));
    EXPECT_EQ(back("KV\"A"), (std::vector<std::string>{"R0 interrupted 0"}));
    EXPECT_TRUE(back("D").empty());
    // Another computer's reader of that name is not this one.
    EXPECT_TRUE(back("A", "ws99").empty());
    EXPECT_EQ(back("A", "ws12").size(), 3u);

    std::vector<HistoryEntry> entries;
    // Pulled an entry at a time from the start: the same, the unended last
    // line counted as cut short, not dropped unseen.
    {
        HistoryCursor cursor;
        ASSERT_TRUE(cursor.open(kHistoryFileName));
        std::vector<HistoryEntry> pulled;
        for (HistoryEntry entry; cursor.next(entry);) pulled.push_back(entry);
        std::vector<HistoryEntry> read;
        int readSkipped = -1;
        int readCut = -1;
        ASSERT_TRUE(readHistoryFile(kHistoryFileName, read, readSkipped, error_, &readCut));
        EXPECT_TRUE(pulled == read);
        EXPECT_EQ(cursor.skipped(), readSkipped);
        EXPECT_EQ(cursor.cutShort(), readCut);
        EXPECT_EQ(cursor.cutShort(), 1);
    }
    // Read from the start, a piece at a time: as the whole text gathers.
    int skipped = -1;
    int wholeSkipped = -1;
    ASSERT_TRUE(readHistoryFile(kHistoryFileName, entries, skipped, error_));
    EXPECT_EQ(entries, gatherHistoryEntries(parseHistoryText(text, wholeSkipped)));
    EXPECT_EQ(skipped, wholeSkipped);

    // --reader before --last: the newest of that reader, however far back.
    ASSERT_TRUE(readLastHistoryEntries(kHistoryFileName, "B", 1, entries, skipped, error_));
    ASSERT_EQ(entries.size(), 1u);
    EXPECT_EQ(entries[0].run.id, "R7");
    int cutShort = -1;
    ASSERT_TRUE(readLastHistoryEntries(kHistoryFileName, "B", 3, entries, skipped, error_, &cutShort));
    ASSERT_EQ(entries.size(), 2u);
    EXPECT_EQ(entries[0].run.id, "R0");
    EXPECT_EQ(skipped, 2);  // the long line and the one being written
    EXPECT_EQ(cutShort, 1);
}

// What a look at a long history reads, counted through the input seam: the
// start-up, show, store, check and sync (each reader's last change), and
// history --last, follow what they ask, not the file's size; doctor and
// history read it once.
TEST_F(HistoryAppendTest, WhatIsReadFollowsWhatIsAskedNotTheHistorysSize) {
    const std::string text = longHistory(8 * 1024 * 1024, "KVDEV-B1");
    writeWholeFile(kHistoryFileName, text);
    std::vector<HistoryEntry> entries;
    int skipped = 0;
    const auto newestOf = [](const std::string& reader, std::vector<HistoryEntry>& found) {
        HistoryBackCursor cursor;
        found.assign(1, HistoryEntry());
        return cursor.open(kHistoryFileName, reader, "") && cursor.next(found[0]);
    };
    const struct {
        const char* what;
        std::function<bool()> read;
        size_t entries;
        uint64_t most;
    } cases[] = {
        {"the last change of a reader", [&] { return newestOf("KVDEV-B1", entries); }, 1, 128 * 1024},
        {"history --last 1", [&] { return readLastHistoryEntries(kHistoryFileName, "", 1, entries, skipped, error_); },
         1, 128 * 1024},
        {"history --last 10",
         [&] { return readLastHistoryEntries(kHistoryFileName, "", 10, entries, skipped, error_); }, 10, 128 * 1024},
        {"history --reader --last 1",
         [&] { return readLastHistoryEntries(kHistoryFileName, "KVDEV-R3", 1, entries, skipped, error_); }, 1,
         128 * 1024},
        {"doctor and history: once through",
         [&] { return readHistoryFile(kHistoryFileName, entries, skipped, error_); }, 0, text.size()},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        const uint64_t before = platform::InputFile::bytesReadInProcess();
        ASSERT_TRUE(c.read()) << error_;
        EXPECT_LE(platform::InputFile::bytesReadInProcess() - before, c.most);
        if (c.entries) EXPECT_EQ(entries.size(), c.entries);
    }
}

// The last entries read from a window at the end: a run the window begins
// inside is shown whole or not at all, the line the window cuts is no
// unreadable row, and a change of thousands of rows keeps its outcome.
TEST_F(HistoryAppendTest, TheLastEntriesAreWholeWhereverTheWindowStarts) {
    std::string text = kHeader + formatHistoryRow(startRow("A", "R0"));
    for (int i = 0; i < 5000; ++i) {
        HistoryRow change = changeRow("A", Field::Address, i, -1, -1, 0, 1);
        change.run.id = "R0";
        text += formatHistoryRow(change);
    }
    text += formatHistoryRow(outcomeRow("A", HistoryOutcome::Written, "", "R0"));
    for (int i = 1; i <= 3; ++i) text += formatHistoryRow(outcomeRow("B", HistoryOutcome::BackedUp, "", "R" + std::to_string(i)));
    writeWholeFile(kHistoryFileName, text);
    ASSERT_GT(text.size(), 4 * 64 * 1024u);

    std::vector<HistoryEntry> entries;
    int skipped = -1;
    ASSERT_TRUE(readLastHistoryEntries(kHistoryFileName, "", 1, entries, skipped, error_));
    ASSERT_EQ(entries.size(), 1u);
    EXPECT_EQ(entries[0].run.id, "R3");
    EXPECT_EQ(skipped, 0);
    ASSERT_TRUE(readLastHistoryEntries(kHistoryFileName, "", 4, entries, skipped, error_));
    ASSERT_EQ(entries.size(), 4u);
    EXPECT_TRUE(entries[0].started && entries[0].hasOutcome);
    EXPECT_EQ(entries[0].changes.size(), 5000u);
    EXPECT_EQ(skipped, 0);

    HistoryBackCursor cursor;
    ASSERT_TRUE(cursor.open(kHistoryFileName, "A", ""));
    HistoryEntry newest;
    ASSERT_TRUE(cursor.next(newest));
    EXPECT_TRUE(newest.started);
    EXPECT_TRUE(newest.hasOutcome);
    EXPECT_EQ(newest.changes.size(), 5000u);
    EXPECT_FALSE(cursor.next(newest));
}

}  // namespace
}  // namespace spelvane::testing
