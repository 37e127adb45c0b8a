// spelvane-history.csv: the change history's rows as CSV text, and back.
#include "settings/history_file.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <map>
#include <string_view>
#include <utility>

#include "platform/input_file.h"
#include "platform/local_time.h"
#include "platform/output_file.h"
#include "settings/one_line.h"

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
    if (cell.find_first_of(",\"") != std::string::npos) return true;
    // A row's first cell that began with the UTF-8 signature would lose it
    // when read as a file's first line.
    if (cell.rfind("\xEF\xBB\xBF", 0) == 0) return true;
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
        // A row is one line: a line break in a reason or a name would split
        // it, and a row cut short could then swallow the next.
        const std::string cell = guardedCell(oneLine(cells[c]));
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

// The cells of one line (without its line end). False when it breaks the
// quoting rules: a quote inside a plain cell, text after a closing quote,
// or a quote left open (a row cut short: no cell spans a line end).
bool splitCells(std::string_view line, std::vector<std::string>& cells) {
    cells.assign(1, std::string());
    size_t pos = 0;
    for (;;) {
        std::string& cell = cells.back();
        if (pos < line.size() && line[pos] == '"') {
            ++pos;
            for (;;) {
                const size_t quote = line.find('"', pos);
                if (quote == std::string_view::npos) return false;
                cell.append(line.substr(pos, quote - pos));
                pos = quote + 1;
                if (pos >= line.size() || line[pos] != '"') break;
                cell += '"';
                ++pos;
            }
        } else {
            // A plain loop: find_first_of asks memchr about every byte, and
            // this runs over every byte of a history read whole.
            size_t stop = pos;
            while (stop < line.size() && line[stop] != ',' && line[stop] != '"') ++stop;
            cell.append(line.substr(pos, stop - pos));
            pos = stop;
            if (pos < line.size() && line[pos] == '"') return false;
        }
        if (pos >= line.size()) return true;
        if (line[pos] != ',') return false;
        ++pos;
        cells.emplace_back();
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

constexpr size_t kChunk = 64 * 1024;
// A row is a few hundred bytes; a longer line is no row, and is not kept.
constexpr size_t kLongestLine = 64 * 1024;
constexpr std::string_view kByteOrderMark = "\xEF\xBB\xBF";

enum class LineKind { Blank, Header, Row, Unreadable };

// What one line of the file (without its LF) holds. first: the file's first
// line, which may begin with the UTF-8 signature an editor saves.
LineKind readLine(std::string_view line, bool first, HistoryRow& row) {
    if (first && line.substr(0, kByteOrderMark.size()) == kByteOrderMark) line.remove_prefix(kByteOrderMark.size());
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    if (line.empty()) return LineKind::Blank;
    // No writer puts a CR into a cell: a line holding one is damaged.
    if (line.find('\r') != std::string_view::npos) return LineKind::Unreadable;
    std::vector<std::string> cells;
    if (!splitCells(line, cells)) return LineKind::Unreadable;
    for (std::string& cell : cells) unguardCell(cell);
    if (isHeader(cells)) return LineKind::Header;
    return readRow(cells, row) ? LineKind::Row : LineKind::Unreadable;
}

// Every entry kept, oldest first (gatherHistoryEntries and the reads from
// the file's end, which keep only a part of the file).
class EntryGatherer {
public:
    EntryGatherer() : stream_([this](HistoryEntry& entry) { entries_.push_back(std::move(entry)); }, SIZE_MAX) {}
    EntryGatherer(const EntryGatherer&) = delete;
    EntryGatherer& operator=(const EntryGatherer&) = delete;
    void add(const HistoryRow& row) { stream_.add(row); }
    std::vector<HistoryEntry> entries() {
        stream_.finish();
        return std::move(entries_);
    }

private:
    std::vector<HistoryEntry> entries_;
    HistoryEntryStream stream_;
};

// Reads, like parseHistoryText, the rows of the lines handed to it, counting
// those it cannot read.
class RowReader {
public:
    explicit RowReader(int& skipped) : skipped_(skipped) {}
    // whole: the line was ended by its LF and is not too long to be a row.
    bool read(std::string_view line, bool whole, bool first, HistoryRow& row) {
        const LineKind kind = readLine(line, first, row);
        if (kind == LineKind::Unreadable || !whole) ++skipped_;
        return kind == LineKind::Row && whole;
    }

private:
    int& skipped_;
};

// Hands each line of file from offset to its end to take(line, whole), in
// order, holding no more than one line and one chunk at a time.
template <typename Take>
bool forEachLine(platform::InputFile& file, uint64_t offset, Take take) {
    std::string pending;
    bool overlong = false;
    std::vector<char> chunk(kChunk);
    for (;;) {
        size_t got = 0;
        if (!file.readAt(offset, chunk.data(), chunk.size(), got)) return false;
        if (got == 0) break;
        offset += got;
        size_t from = 0;
        for (;;) {
            const char* end = static_cast<const char*>(std::memchr(chunk.data() + from, '\n', got - from));
            if (!end) break;
            const size_t lf = static_cast<size_t>(end - chunk.data());
            if (!overlong && pending.empty()) {
                take(std::string_view(chunk.data() + from, lf - from), true);
            } else {
                if (!overlong) pending.append(chunk.data() + from, lf - from);
                take(std::string_view(pending), !overlong);
            }
            pending.clear();
            overlong = false;
            from = lf + 1;
        }
        if (!overlong) pending.append(chunk.data() + from, got - from);
        if (pending.size() > kLongestLine) {
            overlong = true;
            pending.clear();
        }
    }
    if (overlong || !pending.empty()) take(std::string_view(pending), false);
    return true;
}

// The lines of a file from its end back to its start, read in chunks.
class LinesBackwards {
public:
    LinesBackwards(platform::InputFile& file, uint64_t size) : file_(file), unread_(size) {}
    // The line before the one handed out last, without its LF. whole is
    // false for a last line without one (cut short, or being written now)
    // and for a line too long to be a row. False at the file's start, or
    // when the file cannot be read (failed()).
    bool previous(std::string& line, bool& whole) {
        for (;;) {
            if (buffer_.empty() && unread_ == 0) return false;
            const bool ended = !buffer_.empty() && buffer_.back() == '\n';
            const size_t body = ended ? buffer_.size() - 1 : buffer_.size();
            const size_t lf = body == 0 ? std::string::npos : buffer_.rfind('\n', body - 1);
            if (lf != std::string::npos || unread_ == 0) {
                const size_t from = lf == std::string::npos ? 0 : lf + 1;
                line.assign(buffer_, from, body - from);
                whole = ended && !overlong_;
                buffer_.resize(from);
                overlong_ = false;
                return true;
            }
            if (body > kLongestLine) {
                overlong_ = true;
                buffer_.erase(0, body);
            }
            const size_t take = static_cast<size_t>(std::min<uint64_t>(kChunk, unread_));
            std::string chunk(take, '\0');
            size_t got = 0;
            if (!file_.readAt(unread_ - take, chunk.data(), take, got) || got != take) {
                failed_ = true;
                return false;
            }
            unread_ -= take;
            buffer_.insert(0, chunk);
        }
    }
    bool failed() const { return failed_; }
    bool atStart() const { return unread_ == 0 && buffer_.empty(); }

private:
    platform::InputFile& file_;
    uint64_t unread_;
    std::string buffer_;  // read, not handed out yet
    bool overlong_ = false;
    bool failed_ = false;
};

// A reader looked for from the file's end: its name as a cell holds it
// (quotes doubled), and its rows read so far, newest first.
struct ReaderSearch {
    std::string cell;
    std::vector<HistoryRow> rows;
};

// Whether line may hold a row of one of the readers looked for.
bool namesAny(const std::string& line, const std::map<std::string, ReaderSearch>& readers) {
    for (const auto& reader : readers)
        if (line.find(reader.second.cell) != std::string::npos) return true;
    return false;
}

bool openHistory(const std::string& path, platform::InputFile& file, uint64_t& size, std::string& error) {
    if (file.open(path) && file.size(size)) return true;
    error = file.missing() ? std::string("no history") : std::string(platform::describeFileFault(file.fault()));
    return false;
}

bool readFailed(const platform::InputFile& file, std::string& error) {
    error = platform::describeFileFault(file.fault());
    return false;
}

// The entries of the rows from offset on (of reader alone, when it is not
// empty); firstRun: the run of the first row read after a cut start.
template <typename Gatherer>
bool gatherFrom(platform::InputFile& file, uint64_t offset, const std::string& reader, Gatherer& gatherer,
                int& skipped, std::string& firstRun) {
    RowReader rows(skipped);
    bool first = true;
    bool cutAtStart = offset > 0;
    return forEachLine(file, offset, [&](std::string_view line, bool whole) {
        // Reading from the middle of the file: its first line may be cut.
        if (cutAtStart) {
            cutAtStart = false;
            return;
        }
        HistoryRow row;
        const bool read = rows.read(line, whole, first && offset == 0, row);
        first = false;
        if (!read) return;
        if (firstRun.empty() && offset > 0) firstRun = row.run.id;
        if (reader.empty() || row.reader == reader) gatherer.add(row);
    });
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

std::string historyTextToAppend(bool empty, char lastByte, const std::vector<HistoryRow>& rows) {
    std::string text;
    if (empty) text = historyHeaderLine();
    // A row a crash cut short is ended, so that the next one starts a line
    // of its own: the reader skips the cut one alone.
    else if (lastByte == '\r') text = "\n";
    else if (lastByte != '\n') text = kRowEnd;
    for (const HistoryRow& row : rows) text += formatHistoryRow(row);
    return text;
}

bool appendHistoryRows(const std::string& path, const std::vector<HistoryRow>& rows, std::string& error) {
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
        if (!file.write(text.data(), text.size())) return failWith(error, "cannot write to", file);
    }
    if (!file.flushDurably()) return failWith(error, "cannot put on disk", file);
    if (!file.close()) return failWith(error, "cannot close", file);
    return true;
}

std::vector<HistoryRow> parseHistoryText(const std::string& text, int& skipped) {
    std::vector<HistoryRow> rows;
    skipped = 0;
    RowReader reader(skipped);
    size_t pos = 0;
    while (pos < text.size()) {
        const size_t lf = text.find('\n', pos);
        const size_t end = lf == std::string::npos ? text.size() : lf;
        HistoryRow row;
        if (reader.read(std::string_view(text).substr(pos, end - pos), lf != std::string::npos, pos == 0, row))
            rows.push_back(row);
        pos = end + 1;
    }
    return rows;
}

HistoryEntryStream::HistoryEntryStream(Take take, size_t mostWaiting)
    : take_(std::move(take)), mostWaiting_(mostWaiting) {}

void HistoryEntryStream::add(const HistoryRow& row) {
    const auto key = std::make_pair(row.run.id, row.reader);
    auto found = open_.find(key);
    if (row.event == HistoryEvent::Start && found != open_.end()) {
        // Started again in the same run: the earlier one ends without an outcome.
        waiting_[found->second - firstNumber_].open = false;
        open_.erase(found);
        found = open_.end();
    }
    if (found == open_.end()) {
        Waiting fresh;
        fresh.entry = entryOf(row);
        // A change row whose start was lost still tells that writing began.
        fresh.entry.started = row.event != HistoryEvent::Outcome;
        fresh.open = fresh.entry.started;
        if (fresh.open) found = open_.emplace(key, nextNumber_).first;
        waiting_.push_back(std::move(fresh));
        ++nextNumber_;
    }
    Waiting& waiting = found == open_.end() ? waiting_.back() : waiting_[found->second - firstNumber_];
    HistoryEntry& entry = waiting.entry;
    fillMissing(entry.type, row.type);
    fillMissing(entry.backup, row.backup);
    fillMissing(entry.file, row.file);
    if (row.event == HistoryEvent::Change) entry.changes.push_back(row.change);
    if (row.event == HistoryEvent::Outcome) {
        entry.hasOutcome = true;
        entry.outcome = row.outcome;
        entry.reason = row.reason;
        waiting.open = false;
        if (found != open_.end()) open_.erase(found);
    }
    weigh(waiting);
    handOutReady();
}

void HistoryEntryStream::finish() {
    for (Waiting& waiting : waiting_) waiting.open = false;
    open_.clear();
    handOutReady();
}

void HistoryEntryStream::weigh(Waiting& waiting) {
    const HistoryEntry& entry = waiting.entry;
    const HistoryRun& run = entry.run;
    size_t bytes = sizeof(Waiting) + entry.changes.capacity() * sizeof(StoredFieldChange);
    for (const std::string* text : {&run.id, &run.time, &run.computer, &run.user, &run.program, &run.version,
                                    &run.library, &run.command, &entry.reader, &entry.type, &entry.backup,
                                    &entry.file, &entry.reason})
        bytes += text->capacity();
    waited_ = waited_ - waiting.bytes + bytes;
    waiting.bytes = bytes;
}

void HistoryEntryStream::handOutReady() {
    while (!waiting_.empty() && (!waiting_.front().open || waited_ > mostWaiting_)) {
        Waiting& front = waiting_.front();
        // Handed out without its outcome: a later row of it starts anew.
        if (front.open) open_.erase(std::make_pair(front.entry.run.id, front.entry.reader));
        waited_ -= front.bytes;
        take_(front.entry);
        waiting_.pop_front();
        ++firstNumber_;
    }
    mostWaited_ = std::max(mostWaited_, waited_);
}

std::vector<HistoryEntry> gatherHistoryEntries(const std::vector<HistoryRow>& rows) {
    EntryGatherer gatherer;
    for (const HistoryRow& row : rows) gatherer.add(row);
    return gatherer.entries();
}

bool forEachHistoryEntry(const std::string& path, const HistoryEntryStream::Take& take, int& skipped,
                         std::string& error) {
    skipped = 0;
    platform::InputFile file;
    uint64_t size = 0;
    if (!openHistory(path, file, size, error)) return false;
    HistoryEntryStream stream(take);
    std::string firstRun;
    // Entries still waiting when the file fails are not handed out: their
    // outcome may lie in the part that could not be read.
    if (!gatherFrom(file, 0, std::string(), stream, skipped, firstRun)) return readFailed(file, error);
    stream.finish();
    return true;
}

bool readHistoryFile(const std::string& path, std::vector<HistoryEntry>& entries, int& skipped, std::string& error) {
    entries.clear();
    return forEachHistoryEntry(
        path, [&](HistoryEntry& entry) { entries.push_back(std::move(entry)); }, skipped, error);
}

bool readLastHistoryEntries(const std::string& path, const std::string& reader, size_t count,
                            std::vector<HistoryEntry>& entries, int& skipped, std::string& error) {
    entries.clear();
    skipped = 0;
    platform::InputFile file;
    uint64_t size = 0;
    if (!openHistory(path, file, size, error)) return false;
    // A window at the end, four times larger each time, until it holds
    // enough whole entries: an entry of the run the window begins in may
    // have lost its first rows to the window's start.
    for (uint64_t window = kChunk;; window *= 4) {
        const uint64_t offset = size > window ? size - window : 0;
        EntryGatherer gatherer;
        std::string firstRun;
        skipped = 0;
        if (!gatherFrom(file, offset, reader, gatherer, skipped, firstRun)) return readFailed(file, error);
        std::vector<HistoryEntry> found = gatherer.entries();
        if (offset > 0)
            found.erase(std::remove_if(found.begin(), found.end(),
                                       [&](const HistoryEntry& entry) { return entry.run.id == firstRun; }),
                        found.end());
        if (found.size() >= count || offset == 0) {
            if (found.size() > count) found.erase(found.begin(), found.end() - static_cast<std::ptrdiff_t>(count));
            entries = std::move(found);
            return true;
        }
    }
}

bool readLastStartedEntries(const std::string& path, const std::vector<std::string>& readers,
                            std::vector<HistoryEntry>& entries, std::string& error, uint64_t lookBack) {
    entries.clear();
    platform::InputFile file;
    uint64_t size = 0;
    if (!openHistory(path, file, size, error)) return false;
    std::map<std::string, ReaderSearch> wanted;
    for (const std::string& reader : readers)
        for (char c : reader) wanted[reader].cell += c == '"' ? std::string("\"\"") : std::string(1, c);
    // Commands that never write (backups, refusals) between a reader's last
    // start and the end: kept to a bound, the newest and the oldest.
    constexpr size_t kMostRows = 4096;
    int skipped = 0;
    RowReader rows(skipped);
    LinesBackwards lines(file, size);
    std::string line;
    bool whole = false;
    // The start-up waits for this: a reader the history has not seen for
    // long must not make it read a long history back to its start.
    uint64_t looked = 0;
    while (!wanted.empty() && looked < lookBack && lines.previous(line, whole)) {
        looked += line.size() + 1;
        // Most lines of a long history are other readers': a line that
        // names none of those looked for is not worth reading into cells.
        if (!namesAny(line, wanted)) continue;
        HistoryRow row;
        if (!rows.read(line, whole, lines.atStart(), row)) continue;
        const auto reader = wanted.find(row.reader);
        if (reader == wanted.end()) continue;
        std::vector<HistoryRow>& kept = reader->second.rows;
        if (kept.size() >= kMostRows) kept.erase(kept.begin() + kMostRows / 2);
        kept.push_back(row);
        if (row.event != HistoryEvent::Start) continue;
        EntryGatherer gatherer;
        for (auto each = kept.rbegin(); each != kept.rend(); ++each) gatherer.add(*each);
        for (HistoryEntry& entry : gatherer.entries()) entries.push_back(std::move(entry));
        wanted.erase(reader);
    }
    if (lines.failed()) return readFailed(file, error);
    return true;
}

}  // namespace spelvane
