// Input: the bytes of a spelvane-history.csv, as a crash, a spreadsheet or a
// hand may have left it.
//
// Beyond memory safety, reading must keep what a row says: every row read
// and written again reads back as the same row, alone and within a whole
// file written anew; and gathering the rows into changes loses none of the
// fields they record.
#include <cstdint>
#include <string>
#include <vector>

#include "settings/history_file.h"
#include "tests/fuzz/fuzz_support.h"

using namespace spelvane;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string text(reinterpret_cast<const char*>(data), size);
    int skipped = -1;
    const std::vector<HistoryRow> rows = parseHistoryText(text, skipped);
    if (skipped < 0) fuzzing::fail("a negative count of skipped rows");

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

    size_t gathered = 0;
    for (const HistoryEntry& entry : gatherHistoryEntries(rows)) {
        gathered += entry.changes.size();
        if (entry.interrupted() && entry.hasOutcome) fuzzing::fail("an entry both interrupted and ended");
        if (!entry.started && !entry.hasOutcome) fuzzing::fail("an entry of neither a start nor an outcome");
    }
    if (gathered != changeRows) fuzzing::fail("gathering lost or made up field changes");
    return 0;
}
