// spelvane-history.csv: the change history's rows as CSV text, and back.
#include "settings/history_file.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <map>
#include <utility>

#include "platform/local_time.h"
#include "platform/output_file.h"

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

constexpr const char* kRowEnd = "\r\n";
constexpr int64_t kSecondsPerDay = 86400;

// Days from 1970-01-01 to the given date of the proleptic Gregorian
// calendar, and back: no time zone, no C library, any year.
int64_t daysFromCivil(int64_t year, int month, int day) {
    year -= month <= 2;
    const int64_t era = (year >= 0 ? year : year - 399) / 400;
    const int64_t yearOfEra = year - era * 400;
    const int64_t dayOfYear = (153 * (month + (month > 2 ? -3 : 9)) + 2) / 5 + day - 1;
    const int64_t dayOfEra = yearOfEra * 365 + yearOfEra / 4 - yearOfEra / 100 + dayOfYear;
    return era * 146097 + dayOfEra - 719468;
}

platform::LocalTime civilFromSeconds(int64_t seconds) {
    int64_t days = seconds / kSecondsPerDay;
    int64_t rest = seconds % kSecondsPerDay;
    if (rest < 0) {
        rest += kSecondsPerDay;
        --days;
    }
    days += 719468;
    const int64_t era = (days >= 0 ? days : days - 146096) / 146097;
    const int64_t dayOfEra = days - era * 146097;
    const int64_t yearOfEra = (dayOfEra - dayOfEra / 1460 + dayOfEra / 36524 - dayOfEra / 146096) / 365;
    const int64_t dayOfYear = dayOfEra - (365 * yearOfEra + yearOfEra / 4 - yearOfEra / 100);
    const int64_t monthIndex = (5 * dayOfYear + 2) / 153;
    const int day = static_cast<int>(dayOfYear - (153 * monthIndex + 2) / 5 + 1);
    const int month = static_cast<int>(monthIndex < 10 ? monthIndex + 3 : monthIndex - 9);
    const int year = static_cast<int>(yearOfEra + era * 400 + (month <= 2));
    return {year, month, day, static_cast<int>(rest / 3600), static_cast<int>(rest / 60 % 60), static_cast<int>(rest % 60)};
}

bool fourDigitYear(const platform::LocalTime& t) { return t.year >= 0 && t.year <= 9999; }

std::string numberOrEmpty(int value) { return value >= 0 ? std::to_string(value) : std::string(); }

bool needsQuotes(const std::string& cell) {
    if (cell.empty()) return false;
    if (cell.find_first_of(",\"\r\n") != std::string::npos) return true;
    const auto blank = [](char c) { return c == ' ' || c == '\t'; };
    return blank(cell.front()) || blank(cell.back());
}

// A spreadsheet takes a cell that begins with = + - or @ as a formula, and a
// reader's name or type comes from the device: such a cell is written with
// a leading apostrophe (the spreadsheet's own "this is text" mark), and one
// apostrophe more for a cell that already looks so, so that reading takes
// exactly one away again.
bool looksLikeFormula(const std::string& cell) {
    const size_t first = cell.find_first_not_of('\'');
    return first != std::string::npos && std::strchr("=+-@", cell[first]) != nullptr;
}

std::string guardedCell(const std::string& cell) { return looksLikeFormula(cell) ? "'" + cell : cell; }

void unguardCell(std::string& cell) {
    if (!cell.empty() && cell.front() == '\'' && looksLikeFormula(cell)) cell.erase(0, 1);
}

std::string csvLine(const std::string (&cells)[kColumnCount]) {
    std::string line;
    for (int c = 0; c < kColumnCount; ++c) {
        if (c) line += ',';
        const std::string cell = guardedCell(cells[c]);
        if (!needsQuotes(cell)) {
            line += cell;
            continue;
        }
        line += '"';
        for (char ch : cell) line += ch == '"' ? std::string("\"\"") : std::string(1, ch);
        line += '"';
    }
    return line + kRowEnd;
}

// One CSV record of text from pos on. Returns false at the end of the text.
// whole: the record was ended by a line end and followed the quoting rules;
// pos is left past its line end (or, for one that broke them, at the next
// line) either way.
bool nextRecord(const std::string& text, size_t& pos, std::vector<std::string>& cells, bool& whole) {
    if (pos >= text.size()) return false;
    cells.assign(1, std::string());
    whole = false;
    const auto skipLine = [&] {
        const size_t end = text.find('\n', pos);
        pos = end == std::string::npos ? text.size() : end + 1;
        return true;
    };
    for (;;) {
        std::string& cell = cells.back();
        if (pos < text.size() && text[pos] == '"') {
            ++pos;
            for (;;) {
                const size_t quote = text.find('"', pos);
                if (quote == std::string::npos) {  // an open quote at the end
                    pos = text.size();
                    return true;
                }
                cell.append(text, pos, quote - pos);
                pos = quote + 1;
                if (pos < text.size() && text[pos] == '"') {
                    cell += '"';
                    ++pos;
                    continue;
                }
                break;
            }
        } else {
            const size_t end = text.find_first_of(",\r\n\"", pos);
            const size_t stop = end == std::string::npos ? text.size() : end;
            cell.append(text, pos, stop - pos);
            pos = stop;
            if (pos < text.size() && text[pos] == '"') return skipLine();
        }
        if (pos >= text.size()) return true;  // a last line without its line end: cut short
        const char next = text[pos];
        if (next == ',') {
            ++pos;
            cells.emplace_back();
            continue;
        }
        if (next == '\r' && pos + 1 < text.size() && text[pos + 1] == '\n') ++pos;
        if (text[pos] != '\n') return skipLine();
        ++pos;
        whole = true;
        return true;
    }
}

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
bool readRow(const std::vector<std::string>& record, HistoryRow& row) {
    if (record.size() != kColumnCount) return false;
    std::string cells[kColumnCount];
    for (int c = 0; c < kColumnCount; ++c) cells[c] = record[c];
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
        return allEmpty(cells, kOutcome, kTo);
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

HistoryEntry entryOf(const HistoryRow& row) {
    HistoryEntry entry;
    entry.run = row.run;
    entry.reader = row.reader;
    entry.type = row.type;
    entry.backup = row.backup;
    entry.file = row.file;
    return entry;
}

void fillMissing(std::string& mine, const std::string& row) {
    if (mine.empty()) mine = row;
}

bool failWith(std::string& error, const std::string& what, const platform::OutputFile& file) {
    error = what + " " + file.path() + ": " + platform::describeFileFault(file.fault());
    return false;
}

}  // namespace

const char* historyEventName(HistoryEvent event) {
    switch (event) {
    case HistoryEvent::Start: return "start";
    case HistoryEvent::Change: return "change";
    case HistoryEvent::Outcome: return "outcome";
    }
    return nullptr;
}

const char* historyOutcomeName(HistoryOutcome outcome) {
    switch (outcome) {
    case HistoryOutcome::Written: return "written";
    case HistoryOutcome::NoChanges: return "no changes";
    case HistoryOutcome::Refused: return "refused";
    case HistoryOutcome::Failed: return "failed";
    case HistoryOutcome::NoSection: return "no section";
    case HistoryOutcome::BackupFailed: return "backup failed";
    case HistoryOutcome::BackedUp: return "backed up";
    }
    return nullptr;
}

bool historyOutcomeFromName(const std::string& name, HistoryOutcome& outcome) {
    for (HistoryOutcome each : {HistoryOutcome::Written, HistoryOutcome::NoChanges, HistoryOutcome::Refused,
                                HistoryOutcome::Failed, HistoryOutcome::NoSection, HistoryOutcome::BackupFailed,
                                HistoryOutcome::BackedUp}) {
        if (name == historyOutcomeName(each)) {
            outcome = each;
            return true;
        }
    }
    return false;
}

const char* historyFieldName(StoredFieldChange::Field field) {
    using Field = StoredFieldChange::Field;
    switch (field) {
    case Field::HalfClock: return "halfClock";
    case Field::AddressCount: return "addressCount";
    case Field::Address: return "address";
    case Field::LightCount: return "lightCount";
    case Field::LightWord: return "lightWord";
    }
    return nullptr;
}

bool historyFieldFromName(const std::string& name, StoredFieldChange::Field& field) {
    using Field = StoredFieldChange::Field;
    for (Field each : {Field::HalfClock, Field::AddressCount, Field::Address, Field::LightCount, Field::LightWord}) {
        if (name == historyFieldName(each)) {
            field = each;
            return true;
        }
    }
    return false;
}

std::string historyTime(int64_t calendarTime) {
    platform::LocalTime local{};
    if (!platform::toLocalTime(calendarTime, local) || !fourDigitYear(local)) return {};
    const int64_t localSeconds = daysFromCivil(local.year, local.month, local.day) * kSecondsPerDay +
                                 local.hour * 3600 + local.minute * 60 + local.second;
    // Zones of old set their offsets in seconds: the nearest minute.
    int64_t offset = localSeconds - calendarTime;
    const char sign = offset < 0 ? '-' : '+';
    const int64_t minutes = ((offset < 0 ? -offset : offset) + 30) / 60;
    if (minutes >= 24 * 60) return {};
    char text[40];
    std::snprintf(text, sizeof text, "%04d-%02d-%02d %02d:%02d:%02d %c%02d:%02d", local.year, local.month, local.day,
                  local.hour, local.minute, local.second, sign, static_cast<int>(minutes / 60),
                  static_cast<int>(minutes % 60));
    return text;
}

std::string historyRunId(int64_t calendarTime, const std::string& computer, uint32_t processNumber) {
    // UTC: the id stays unique when the clock's zone or daylight saving moves.
    const platform::LocalTime t = civilFromSeconds(calendarTime);
    char stamp[32];
    if (fourDigitYear(t))
        std::snprintf(stamp, sizeof stamp, "%04d%02d%02dT%02d%02d%02d", t.year, t.month, t.day, t.hour, t.minute,
                      t.second);
    else
        std::snprintf(stamp, sizeof stamp, "%lld", static_cast<long long>(calendarTime));
    return std::string(stamp) + "-" + computer + "-" + std::to_string(processNumber);
}

std::string historyHeaderLine() {
    std::string cells[kColumnCount];
    for (int c = 0; c < kColumnCount; ++c) cells[c] = kColumnNames[c];
    return csvLine(cells);
}

std::string formatHistoryRow(const HistoryRow& row) {
    std::string cells[kColumnCount] = {row.run.id,      row.run.time,    row.run.computer,
                                       row.run.user,    row.run.program, row.run.version,
                                       row.run.library, row.run.command, historyEventName(row.event),
                                       row.reader,      row.type,        row.backup,
                                       row.file};
    if (row.event == HistoryEvent::Outcome) {
        cells[kOutcome] = historyOutcomeName(row.outcome);
        cells[kReason] = row.reason;
    }
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
    return csvLine(cells);
}

bool appendHistoryRows(const std::string& path, const std::vector<HistoryRow>& rows, std::string& error) {
    platform::OutputFile file;
    if (!file.openForAppend(path)) return failWith(error, "cannot open", file);
    uint64_t size = 0;
    if (!file.size(size)) return failWith(error, "cannot read", file);
    std::string text;
    char last = '\n';
    if (size == 0)
        text = historyHeaderLine();
    else if (!file.lastByte(last))
        return failWith(error, "cannot read", file);
    // A row a crash cut short is ended, so that the next one starts a line
    // of its own: the reader skips the cut one.
    if (last == '\r') text = "\n";
    else if (last != '\n') text = kRowEnd;
    for (const HistoryRow& row : rows) text += formatHistoryRow(row);
    if (!file.write(text.data(), text.size())) return failWith(error, "cannot write to", file);
    if (!file.flushDurably()) return failWith(error, "cannot put on disk", file);
    if (!file.close()) return failWith(error, "cannot close", file);
    return true;
}

std::vector<HistoryRow> parseHistoryText(const std::string& text, int& skipped) {
    std::vector<HistoryRow> rows;
    skipped = 0;
    size_t pos = 0;
    std::vector<std::string> record;
    bool whole = false;
    while (nextRecord(text, pos, record, whole)) {
        if (whole && record.size() == 1 && record[0].empty()) continue;  // a blank line
        for (std::string& cell : record) unguardCell(cell);
        if (whole && isHeader(record)) continue;
        HistoryRow row;
        if (whole && readRow(record, row))
            rows.push_back(row);
        else
            ++skipped;
    }
    return rows;
}

std::vector<HistoryEntry> gatherHistoryEntries(const std::vector<HistoryRow>& rows) {
    std::vector<HistoryEntry> entries;
    // The entry a row of the same run and reader continues: the latest one
    // that started and has no outcome yet.
    std::map<std::pair<std::string, std::string>, size_t> open;
    for (const HistoryRow& row : rows) {
        const auto key = std::make_pair(row.run.id, row.reader);
        const auto found = row.event == HistoryEvent::Start ? open.end() : open.find(key);
        size_t index = found == open.end() ? entries.size() : found->second;
        if (found == open.end()) {
            entries.push_back(entryOf(row));
            // A change row whose start was lost still tells that writing began.
            entries.back().started = row.event != HistoryEvent::Outcome;
            if (entries.back().started) open[key] = index;
        }
        HistoryEntry& entry = entries[index];
        fillMissing(entry.type, row.type);
        fillMissing(entry.backup, row.backup);
        fillMissing(entry.file, row.file);
        if (row.event == HistoryEvent::Change) entry.changes.push_back(row.change);
        if (row.event == HistoryEvent::Outcome) {
            entry.hasOutcome = true;
            entry.outcome = row.outcome;
            entry.reason = row.reason;
            open.erase(key);
        }
    }
    return entries;
}

bool readHistoryFile(const std::string& path, std::vector<HistoryEntry>& entries, int& skipped, std::string& error) {
    entries.clear();
    skipped = 0;
    std::FILE* file = std::fopen(path.c_str(), "rb");
    if (!file) {
        error = errno == ENOENT ? std::string("no history") : "cannot read " + path + ": " + std::strerror(errno);
        return false;
    }
    std::string text;
    char buffer[8192];
    size_t got = 0;
    while ((got = std::fread(buffer, 1, sizeof buffer, file)) > 0) text.append(buffer, got);
    const bool failed = std::ferror(file) != 0;
    std::fclose(file);
    if (failed) {
        error = "cannot read " + path;
        return false;
    }
    entries = gatherHistoryEntries(parseHistoryText(text, skipped));
    return true;
}

}  // namespace spelvane
