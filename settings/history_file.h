#pragma once
// spelvane-history.csv: one row for every step of every change made to a
// reader, so that an operator can tell afterwards what was changed, when,
// where, by whom, with which backup, and whether it finished. Plain text
// (CR LF, a header row, RFC 4180 quoting) that opens in Notepad and in a
// spreadsheet. The program only ever appends to it.
//
// A change to one reader gives, in this order:
//   a "start" row, on disk before the first write request to the reader;
//   one "change" row per field written (old and new value);
//   an "outcome" row once the result is known.
// Rows of one change share the run id and the reader. A start without an
// outcome is a change that was cut short (power cut, killed process).
// Commands that write nothing to a reader (a refused change, a reader the
// file has no section for, a backup that failed, a console backup) give an
// outcome row without a start row.
#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "platform/file_fault.h"
#include "settings/stored_changes.h"

namespace spelvane {

constexpr const char* kHistoryFileName = "spelvane-history.csv";

enum class HistoryEvent { Start, Change, Outcome };

enum class HistoryOutcome {
    Written,       // written and verified
    NoChanges,     // the reader already held it: nothing written
    Refused,       // not fit to be written: nothing written (reason says why)
    Failed,        // a request failed: the reader may hold part of it (reason names the request)
    NoSection,     // a restore's file holds no section for the reader
    BackupFailed,  // the backup could not be saved: nothing written
    BackedUp,      // a console backup saved the reader's settings
};

// The values every row of one command shares.
struct HistoryRun {
    std::string id;        // one per command run, unique in the file (historyRunId)
    std::string time;      // local time with its offset from UTC (historyTime)
    std::string computer;  // the workstation's name
    std::string user;      // the Windows user
    std::string program;   // "spelvane" or "spelvane-cli"
    std::string version;   // the program's version
    std::string library;   // the device library: its path and version word
    std::string command;   // "store", "restore" or "backup"
    bool operator==(const HistoryRun&) const = default;
};

// One row of the file.
struct HistoryRow {
    HistoryRun run;
    HistoryEvent event = HistoryEvent::Start;
    std::string reader;  // the reader's own name
    std::string type;    // its type name
    std::string backup;  // the backup file that restores the reader ("" when none)
    std::string file;    // restore: the .set file written back ("" otherwise)
    // Outcome rows only.
    HistoryOutcome outcome = HistoryOutcome::Written;
    std::string reason;  // Refused, Failed, BackupFailed: why, one line; start rows: readerBeforeText
    // Change rows only: one field written, from its old to its new value.
    StoredFieldChange change;
    // Rows read from the file hold only what their event carries (the rest
    // as a new row has it), so two rows of the same text compare equal.
    bool operator==(const HistoryRow&) const = default;
};

// One change to one reader, its rows gathered: a start (unless nothing was
// written), its field changes and, once known, its outcome.
struct HistoryEntry {
    HistoryRun run;
    std::string reader;
    std::string type;
    std::string backup;
    std::string file;
    bool started = false;     // a start row was found
    bool hasOutcome = false;  // false with started: interrupted
    HistoryOutcome outcome = HistoryOutcome::Written;
    std::string reason;
    std::string before;  // its start row's reason: what was judged of the reader then (readerBeforeOf)
    std::vector<StoredFieldChange> changes;
    bool interrupted() const { return started && !hasOutcome; }
    bool operator==(const HistoryEntry&) const = default;
};

// The names a row uses, and the dry run's JSON uses for the same things:
// "start"/"change"/"outcome"; "written", "no changes", "refused", "failed",
// "no section", "backup failed", "backed up"; the field keys of the dry run
// ("halfClock", "addressCount", "address", "lightCount", "lightWord"). Null
// or false for text that names none.
const char* historyEventName(HistoryEvent event);
const char* historyOutcomeName(HistoryOutcome outcome);
bool historyOutcomeFromName(const std::string& name, HistoryOutcome& outcome);
const char* historyFieldName(StoredFieldChange::Field field);
bool historyFieldFromName(const std::string& name, StoredFieldChange::Field& field);

// "YYYY-MM-DD hh:mm:ss +hh:mm": calendarTime as local time with its offset
// from UTC. "" when the time cannot be told.
std::string historyTime(int64_t calendarTime);
// A historyTime read back: the moment in seconds since 1970 UTC, so that
// histories of workstations in other zones sort together. False for any
// other text.
bool historyTimeSeconds(const std::string& time, int64_t& seconds);
// A run id unique in the file: the calendar time, the computer and a number
// the process makes unique (its id), e.g. "20261208T104355-WS12-4242".
std::string historyRunId(int64_t calendarTime, const std::string& computer, uint32_t processNumber);
// The process number a command's run id names (historyRunId, then "-" and
// the command's count in its process); false for an id that names none.
bool historyRunProcess(const std::string& runId, uint32_t& processNumber);

// The header line and one row as CSV text, each ending in CR LF. Fields that
// hold a comma, a quote, CR or LF, or begin or end with a blank, are quoted,
// with quotes doubled. The columns: run, time, computer, user, program,
// version, library, command, event, reader, type, backup, file, outcome,
// reason (outcome rows), then field, index, light, word, register, from, to
// (change rows; named as in the dry run's JSON, numbers in decimal, a place
// that does not apply left empty).
std::string historyHeaderLine();
std::string formatHistoryRow(const HistoryRow& row);

// What appendHistoryRows writes behind a file that is empty, or ends in
// lastByte: the header, or the end of a line cut short, then the rows.
std::string historyTextToAppend(bool empty, char lastByte, const std::vector<HistoryRow>& rows);

// Appends rows to the history at path: the header first when the file is new
// or empty; a last line that a crash cut short is ended (CR LF) before the
// first row. Other programs appending at the same time (on this computer or
// another one sharing the folder) wait: the rows land whole, never mixed
// with theirs. The rows are on disk (flushed through to the device) before
// it returns true. Never rewrites, reorders or truncates. False with a
// one-line reason ("cannot open ...: it is in use", "... read-only", "disk
// full") when the rows may not all be there. A cell's line breaks are
// written as blanks: every row is one line. wholeRows, when given, tells
// how many of the rows, from the first, are whole in the file, failed or
// not: a write that stopped partway (a full disk) leaves those, and the
// beginning of the next one, which the next append ends; a failed flush
// leaves them all. Written again, they would be in the file twice.
bool appendHistoryRows(const std::string& path, const std::vector<HistoryRow>& rows, std::string& error,
                       size_t* wholeRows = nullptr);

// Reading. text is the whole file; a line that cannot be read (wrong number
// of fields, a name no row uses, a number that is not one, a quote left
// open by a cut, a last line without its line end) is skipped alone and
// counted in skipped: it never takes the next line with it. The header row,
// blank lines and a UTF-8 signature at the start are not counted. cutShort,
// when given, counts those of them that are rows cut short, as a power cut
// or a full disk leaves them (the beginning of a row: fewer cells than a row
// has, or a quote left open at the line's end; or a last line without its
// line end, which may still be being written); the others cannot be read
// for another reason (too many cells, a name no row uses, a bad number, a
// CR within the line, a line too long to be a row).
std::vector<HistoryRow> parseHistoryText(const std::string& text, int& skipped, int* cutShort = nullptr);

// The most memory (in bytes, roughly) the entries still waiting for their
// outcome may hold while a history is read from start to end: a few
// thousand entries.
constexpr size_t kMostWaitingBytes = 4 * 1024 * 1024;

// Rows into entries, oldest first (by their first row): a start, the change
// rows of the same run and reader that follow it, and its outcome, make one
// entry; an outcome without a start is an entry of its own. Each entry is
// handed to take as soon as no later row can belong to it and every entry
// before it has been handed out: an entry waits for its outcome, and the
// entries behind one without an outcome wait with it. What waits is kept
// within mostWaiting bytes: past that, the oldest entry is handed out as it
// is, without its outcome, and rows of it that come later make an entry of
// their own. A change's outcome follows its start within one command run,
// so only a change cut short (or a history of millions of entries written
// while one command ran) ever waits so long.
class HistoryEntryStream {
public:
    using Take = std::function<void(HistoryEntry&)>;
    explicit HistoryEntryStream(Take take, size_t mostWaiting = kMostWaitingBytes);
    void add(const HistoryRow& row);
    // No rows follow: what still waits is handed out, with an outcome or not.
    void finish();
    // The most bytes that waited at one time.
    size_t mostWaited() const { return mostWaited_; }

private:
    struct Waiting {
        HistoryEntry entry;
        bool open = false;  // later rows may still belong to it
        size_t bytes = 0;
    };
    void handOutReady();
    void weigh(Waiting& waiting);

    Take take_;
    size_t mostWaiting_;
    std::deque<Waiting> waiting_;
    uint64_t firstNumber_ = 0;  // the number of waiting_.front() among all entries
    uint64_t nextNumber_ = 0;
    // The entry a row of the same run and reader continues: the latest one
    // that started and has no outcome yet.
    std::map<std::pair<std::string, std::string>, uint64_t> open_;
    size_t waited_ = 0;
    size_t mostWaited_ = 0;
};

// All rows at once, through a HistoryEntryStream without a bound.
std::vector<HistoryEntry> gatherHistoryEntries(const std::vector<HistoryRow>& rows);

// The file at path, read a piece at a time, its entries handed to take
// through a HistoryEntryStream as they are gathered: what is kept does not
// grow with the history. False when it does not exist or cannot be opened
// (nothing handed out), or cannot be read to its end (the entries before
// the fault handed out); error says why ("no history" for a missing file,
// "it is a folder, not a file: ..." and the like otherwise).
// skipped and cutShort count as parseHistoryText's do.
bool forEachHistoryEntry(const std::string& path, const HistoryEntryStream::Take& take, int& skipped,
                         std::string& error, int* cutShort = nullptr);

// The entries of the history at path handed out one at a time, oldest
// first, gathered as forEachHistoryEntry gathers them and holding no more:
// several histories are read side by side, each a piece at a time.
class HistoryCursor {
public:
    HistoryCursor();
    ~HistoryCursor();
    HistoryCursor(HistoryCursor&&) noexcept;
    HistoryCursor& operator=(HistoryCursor&&) noexcept;
    // False when path cannot be opened: fault() says why (Missing when it
    // is not there).
    bool open(const std::string& path);
    // The next entry; false at the end, or when the file failed (fault()
    // not None; the entries still waiting for their outcome are not handed
    // out, as forEachHistoryEntry leaves them).
    bool next(HistoryEntry& entry);
    platform::FileFault fault() const;
    // As parseHistoryText counts them, of the part read so far.
    int skipped() const;
    int cutShort() const;

private:
    struct State;
    std::unique_ptr<State> state_;
};

// Every entry of the file at path, kept: for tests and small histories only.
bool readHistoryFile(const std::string& path, std::vector<HistoryEntry>& entries, int& skipped, std::string& error,
                     int* cutShort = nullptr);

// The last count entries (of reader alone, when it is not empty), oldest
// first, read from the end of the file: the time it takes follows what is
// asked, not the size of the history. skipped and cutShort count the
// unreadable lines of the part read, as parseHistoryText's do.
bool readLastHistoryEntries(const std::string& path, const std::string& reader, size_t count,
                            std::vector<HistoryEntry>& entries, int& skipped, std::string& error,
                            int* cutShort = nullptr);

// What was judged of a reader just before a change began to write it,
// kept in the start row's reason cell, so that a later judgement can stop
// at the reader's newest change instead of reading its whole past: the
// reader was settled, or held part of the change of another run, or it was
// not judged (the history could not be read; rows of versions that did not
// record it).
enum class ReaderBefore { NotJudged, Settled, HeldPart };
// "reader settled before", "reader held part of run <id> before", "".
std::string readerBeforeText(ReaderBefore before, const std::string& run = std::string());
ReaderBefore readerBeforeOf(const std::string& cell, std::string* run = nullptr);

// One reader's entries of one computer (computer "" for any), newest first,
// read from the history's end a chunk at a time: a row group of one run is
// all that is held, so what is kept does not grow with the history and the
// time taken follows how far back the caller asks. Lines that name no such
// reader are passed over without being split into cells.
class HistoryBackCursor {
public:
    HistoryBackCursor();
    ~HistoryBackCursor();
    HistoryBackCursor(HistoryBackCursor&&) noexcept;
    HistoryBackCursor& operator=(HistoryBackCursor&&) noexcept;
    // False when path cannot be opened: fault() says why (Missing when it
    // is not there).
    bool open(const std::string& path, const std::string& reader, const std::string& computer);
    // The next older entry; false at the start of the file or when it
    // cannot be read on (fault() not None).
    bool next(HistoryEntry& entry);
    platform::FileFault fault() const;
    // The bytes looked at so far.
    uint64_t bytesLooked() const;

private:
    struct State;
    std::unique_ptr<State> state_;
};

// Several histories of one reader read back as one, newest first by each
// entry's time (an entry without a readable time comes as its file has
// it): the folder a program runs in and the workstation folder may both
// hold its changes.
class HistoriesBack {
public:
    // Histories that do not exist are left out; one that cannot be opened
    // or read makes failed() true.
    HistoriesBack(const std::vector<std::string>& paths, const std::string& reader, const std::string& computer);
    bool next(HistoryEntry& entry);
    bool failed() const { return failed_; }
    uint64_t bytesLooked() const;

private:
    struct Head {
        HistoryBackCursor cursor;
        HistoryEntry entry;
        int64_t seconds = 0;
        bool timed = false;
        bool has = false;
        bool stale = true;  // its entry taken, the next not read yet
    };
    void advance(Head& head);
    std::vector<Head> heads_;
    bool failed_ = false;
};

}  // namespace spelvane
