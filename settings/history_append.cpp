// spelvane-history.csv: rows added to its end.
#include <algorithm>

#include "platform/output_file.h"
#include "settings/history_cells.h"
#include "settings/history_file.h"

namespace spelvane {
namespace {

bool failWith(std::string& error, const std::string& what, const platform::OutputFile& file) {
    error = what + " " + file.path() + ": " + platform::describeFileFault(file.fault());
    return false;
}

// Of rows, the last lines of text, those that lie whole in its first
// written bytes: each ends in the one LF it holds.
size_t rowsWholeIn(const std::string& text, size_t rows, uint64_t written) {
    if (written >= text.size()) return rows;
    const auto unwritten = text.begin() + static_cast<std::ptrdiff_t>(written);
    const auto unended = static_cast<size_t>(std::count(unwritten, text.end(), '\n'));
    return unended >= rows ? 0 : rows - unended;
}

}  // namespace

std::string historyTextToAppend(bool empty, char lastByte, const std::vector<HistoryRow>& rows) {
    std::string text;
    if (empty) text = historyHeaderLine();
    // A row a crash cut short is ended, so that the next one starts a line
    // of its own: the reader skips the cut one alone.
    else if (lastByte == '\r') text = "\n";
    else if (lastByte != '\n') text = kHistoryRowEnd;
    for (const HistoryRow& row : rows) text += formatHistoryRow(row);
    return text;
}

bool appendHistoryRows(const std::string& path, const std::vector<HistoryRow>& rows, std::string& error,
                       size_t* wholeRows) {
    size_t unused = 0;
    size_t& whole = wholeRows ? *wholeRows : unused;
    whole = 0;
    platform::OutputFile file;
    if (!file.openForAppend(path)) return failWith(error, "cannot open", file);
    {
        // From the look at the file's end to the last byte written, no other
        // program appends: its rows and these land whole, one after the other.
        platform::AppendLock lock(file);
        if (!lock.held()) return failWith(error, "cannot lock", file);
        uint64_t size = 0;
        char last = '\n';
        if (!file.size(size) || (size > 0 && !file.lastByte(last))) return failWith(error, "cannot read", file);
        const std::string text = historyTextToAppend(size == 0, last, rows);
        if (!file.write(text.data(), text.size())) {
            failWith(error, "cannot write to", file);
            // Still under the lock: what the file gained since is this text.
            uint64_t after = 0;
            if (file.size(after) && after > size) whole = rowsWholeIn(text, rows.size(), after - size);
            return false;
        }
        whole = rows.size();
    }
    if (!file.flushDurably()) return failWith(error, "cannot put on disk", file);
    if (!file.close()) return failWith(error, "cannot close", file);
    return true;
}

}  // namespace spelvane
