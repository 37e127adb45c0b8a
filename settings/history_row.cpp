// spelvane-history.csv: one row as CSV text, and back.
#include "settings/history_cells.h"
#include "settings/history_file.h"
#include "settings/history_reading.h"

namespace spelvane {
namespace {

enum Column {
    kRun, kTime, kComputer, kUser, kProgram, kVersion, kLibrary, kCommand, kEvent, kReader, kType, kBackup,
    kFile, kOutcome, kReason, kField, kIndex, kLight, kWord, kRegister, kFrom, kTo, kColumnCount
};

// The change columns carry the names and meaning of the dry run's JSON
// change objects.
constexpr const char* kColumnNames[kColumnCount] = {
    "run",     "time",   "computer", "user",  "program", "version", "library", "command",
    "event",   "reader", "type",     "backup", "file",   "outcome", "reason",  "field",
    "index",   "light",  "word",     "register", "from",  "to"};

std::string numberOrEmpty(int value) { return value >= 0 ? std::to_string(value) : std::string(); }

bool readNumber(const std::string& cell, uint64_t limit, uint64_t& value) {
    if (cell.empty() || cell.size() > 12) return false;
    value = 0;
    for (char c : cell) {
        if (c < '0' || c > '9') return false;
        value = value * 10 + static_cast<uint64_t>(c - '0');
    }
    return value <= limit;
}

// An optional place (index, light, word, register): empty is -1.
bool readPlace(const std::string& cell, bool required, int& place) {
    place = -1;
    if (cell.empty()) return !required;
    uint64_t value = 0;
    if (!readNumber(cell, 0x7fffffff, value)) return false;
    place = static_cast<int>(value);
    return true;
}

bool readChange(const std::string (&cells)[kColumnCount], StoredFieldChange& change) {
    using Field = StoredFieldChange::Field;
    if (!historyFieldFromName(cells[kField], change.field)) return false;
    const bool address = change.field == Field::Address;
    const bool word = change.field == Field::LightWord;
    int index = -1;
    int wordIndex = -1;
    uint64_t from = 0;
    uint64_t to = 0;
    if (!readPlace(cells[kIndex], address, index) || (index >= 0 && !address)) return false;
    if (!readPlace(cells[kWord], word, wordIndex) || (wordIndex >= 0 && !word)) return false;
    if (!readPlace(cells[kLight], word, change.light) || (change.light >= 0 && !word)) return false;
    if (!readPlace(cells[kRegister], false, change.registerNumber) || (change.registerNumber >= 0 && !word))
        return false;
    if (!readNumber(cells[kFrom], 0xffffffffu, from) || !readNumber(cells[kTo], 0xffffffffu, to)) return false;
    change.index = word ? wordIndex : index;
    change.from = static_cast<uint32_t>(from);
    change.to = static_cast<uint32_t>(to);
    return true;
}

bool allEmpty(const std::string (&cells)[kColumnCount], int first, int last) {
    for (int c = first; c <= last; ++c)
        if (!cells[c].empty()) return false;
    return true;
}

// A row from its cells: only what its event carries may be filled in, so
// that nothing a row holds is lost when it is written again.
bool readRow(std::vector<std::string>& record, HistoryRow& row) {
    if (record.size() != kColumnCount) return false;
    std::string cells[kColumnCount];
    for (int c = 0; c < kColumnCount; ++c) cells[c] = std::move(record[c]);
    if (cells[kRun].empty()) return false;
    row = HistoryRow();
    row.run = {cells[kRun],     cells[kTime],    cells[kComputer], cells[kUser],
               cells[kProgram], cells[kVersion], cells[kLibrary],  cells[kCommand]};
    row.reader = cells[kReader];
    row.type = cells[kType];
    row.backup = cells[kBackup];
    row.file = cells[kFile];
    const std::string& event = cells[kEvent];
    if (event == historyEventName(HistoryEvent::Start)) {
        row.event = HistoryEvent::Start;
        // A start's reason cell tells what was judged of the reader as the
        // change began (readerBeforeText).
        row.reason = cells[kReason];
        return cells[kOutcome].empty() && allEmpty(cells, kField, kTo);
    }
    if (event == historyEventName(HistoryEvent::Change)) {
        row.event = HistoryEvent::Change;
        return allEmpty(cells, kOutcome, kReason) && readChange(cells, row.change);
    }
    if (event == historyEventName(HistoryEvent::Outcome)) {
        row.event = HistoryEvent::Outcome;
        row.reason = cells[kReason];
        return historyOutcomeFromName(cells[kOutcome], row.outcome) && allEmpty(cells, kField, kTo);
    }
    return false;
}

bool isHeader(const std::vector<std::string>& record) {
    if (record.size() != kColumnCount) return false;
    for (int c = 0; c < kColumnCount; ++c)
        if (record[c] != kColumnNames[c]) return false;
    return true;
}

// "YYYY-MM-DD hh:mm:ss +hh:mm" as historyTime writes it, or "" when the
// time could not be told.
bool looksLikeHistoryTime(const std::string& time) {
    constexpr std::string_view form = "9999-99-99 99:99:99 +99:99";
    if (time.empty()) return true;
    if (time.size() != form.size()) return false;
    for (size_t i = 0; i < form.size(); ++i) {
        const char c = time[i];
        const bool fits = form[i] == '9' ? (c >= '0' && c <= '9') : form[i] == '+' ? (c == '+' || c == '-') : c == form[i];
        if (!fits) return false;
    }
    return true;
}

// Whether cells, all but the last one whole, may be the beginning of a row:
// a run, its time once that cell is whole, and the name of an event once
// its cell is whole. Three words typed into the file are not a cut row.
bool beginsARow(const std::vector<std::string>& cells) {
    if (cells.empty() || cells.size() > kColumnCount || cells[kRun].empty()) return false;
    if (cells.size() > kTime + 1 && !looksLikeHistoryTime(cells[kTime])) return false;
    if (cells.size() <= kEvent + 1) return true;
    const std::string& event = cells[kEvent];
    for (HistoryEvent each : {HistoryEvent::Start, HistoryEvent::Change, HistoryEvent::Outcome})
        if (event == historyEventName(each)) return true;
    return false;
}

constexpr std::string_view kByteOrderMark = "\xEF\xBB\xBF";

}  // namespace

LineKind readHistoryLine(std::string_view line, bool first, HistoryRow& row) {
    if (first && line.substr(0, kByteOrderMark.size()) == kByteOrderMark) line.remove_prefix(kByteOrderMark.size());
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    if (line.empty()) return LineKind::Blank;
    // No writer puts a CR into a cell: a line holding one is damaged.
    if (line.find('\r') != std::string_view::npos) return LineKind::Unreadable;
    std::vector<std::string> cells;
    const CellSplit split = splitHistoryCells(line, cells);
    if (split == CellSplit::Broken) return LineKind::Unreadable;
    for (std::string& cell : cells) unguardHistoryCell(cell);
    if (split == CellSplit::Whole && isHeader(cells)) return LineKind::Header;
    // A cut leaves the first cells of a row, the last of them perhaps with
    // its quote still open.
    if (split == CellSplit::QuoteLeftOpen || cells.size() < kColumnCount)
        return beginsARow(cells) ? LineKind::CutShort : LineKind::Unreadable;
    return readRow(cells, row) ? LineKind::Row : LineKind::Unreadable;
}

std::string historyHeaderLine() {
    std::string cells[kColumnCount];
    for (int c = 0; c < kColumnCount; ++c) cells[c] = kColumnNames[c];
    return historyCsvLine(cells);
}

std::string formatHistoryRow(const HistoryRow& row) {
    std::string cells[kColumnCount] = {row.run.id,      row.run.time,    row.run.computer,
                                       row.run.user,    row.run.program, row.run.version,
                                       row.run.library, row.run.command, historyEventName(row.event),
                                       row.reader,      row.type,        row.backup,
                                       row.file};
    if (row.event == HistoryEvent::Outcome) cells[kOutcome] = historyOutcomeName(row.outcome);
    if (row.event != HistoryEvent::Change) cells[kReason] = row.reason;
    if (row.event == HistoryEvent::Change) {
        // Numbers in decimal, as the JSON has them: a spreadsheet would read
        // the .set file's hexadecimal "0010" as ten.
        using Field = StoredFieldChange::Field;
        const StoredFieldChange& change = row.change;
        const bool word = change.field == Field::LightWord;
        cells[kField] = historyFieldName(change.field);
        cells[kIndex] = change.field == Field::Address ? numberOrEmpty(change.index) : "";
        cells[kLight] = word ? numberOrEmpty(change.light) : "";
        cells[kWord] = word ? numberOrEmpty(change.index) : "";
        cells[kRegister] = word ? numberOrEmpty(change.registerNumber) : "";
        cells[kFrom] = std::to_string(change.from);
        cells[kTo] = std::to_string(change.to);
    }
    return historyCsvLine(cells);
}

}  // namespace spelvane
