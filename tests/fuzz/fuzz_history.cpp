// Input: the bytes of a spelvane-history.csv, as a crash, a spreadsheet or a
// hand may have left it.
//
// Beyond memory safety, reading must keep what a row says: every row read
// and written again reads back as the same row, alone and within a whole
// file written anew; a row appended after whatever the file ends in reads
// back, and the lines before it keep what they said; and gathering the
// rows into changes loses none of the fields they record.
#include <algorithm>
#include <cstdint>
#include <string>
#include <vector>

#include "settings/history_file.h"
#include "tests/fuzz/fuzz_support.h"

using namespace spelvane;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string text(reinterpret_cast<const char*>(data), size);
    int skipped = -1;
    int cutShort = -1;
    const std::vector<HistoryRow> rows = parseHistoryText(text, skipped, &cutShort);
    if (skipped < 0) fuzzing::fail("a negative count of skipped rows");
    if (cutShort < 0 || cutShort > skipped) fuzzing::fail("rows cut short that were not left out");

    std::string rewritten = historyHeaderLine();
    size_t changeRows = 0;
    for (const HistoryRow& row : rows) {
        const std::string line = formatHistoryRow(row);
        if (line.size() < 2 || line.compare(line.size() - 2, 2, "\r\n") != 0) fuzzing::fail("a row not ended by CR LF");
        int again = -1;
        const std::vector<HistoryRow> back = parseHistoryText(line, again);
        if (again != 0 || back.size() != 1) fuzzing::fail("a row written again does not read as one row");
        if (!(back[0] == row)) fuzzing::fail("a row written again reads back different");
        rewritten += line;
        if (row.event == HistoryEvent::Change) ++changeRows;
    }
    int again = -1;
    if (parseHistoryText(rewritten, again) != rows || again != 0) fuzzing::fail("the file written anew reads back different");

    // A real row, its library cell quoted for its comma, appended as a
    // program appends it after a crash cut the file anywhere.
    HistoryRow appended;
    appended.run = {"R9", "2026-12-08 11:43:55 +01:00", "WS12", "op", "spelvane-cli", "1.0.0",
                    "C:\\Spelvane\\qzsd7.dll, version 0x07000500", "backup"};
    appended.event = HistoryEvent::Outcome;
    appended.outcome = HistoryOutcome::BackedUp;
    appended.reader = "KVDEV-A1";
    appended.backup = "KVDEV-A1_20261208114355.set";
    const std::string grown =
        text + historyTextToAppend(text.empty(), text.empty() ? '\n' : text.back(), {appended, appended});
    const std::vector<HistoryRow> after = parseHistoryText(grown, again);
    if (after.size() < rows.size() + 2 || !(after.back() == appended) || !(after[after.size() - 2] == appended))
        fuzzing::fail("a row appended after the file's end does not read back");
    if (!std::equal(rows.begin(), rows.end(), after.begin()) || again > skipped)
        fuzzing::fail("appending changed what the lines before said");

    size_t gathered = 0;
    for (const HistoryEntry& entry : gatherHistoryEntries(rows)) {
        gathered += entry.changes.size();
        if (entry.interrupted() && entry.hasOutcome) fuzzing::fail("an entry both interrupted and ended");
        if (!entry.started && !entry.hasOutcome) fuzzing::fail("an entry of neither a start nor an outcome");
    }
    if (gathered != changeRows) fuzzing::fail("gathering lost or made up field changes");
    return 0;
}
