#pragma once
// What the history's reads forwards and backwards share: a line of the file
// read into a row, the file opened, entries gathered from a place on.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "platform/input_file.h"
#include "settings/history_file.h"

namespace spelvane {

constexpr size_t kHistoryChunk = 64 * 1024;
// A row is a few hundred bytes; a longer line is no row, and is not kept.
constexpr size_t kLongestHistoryLine = 64 * 1024;

// CutShort: the beginning of a row that stops early (fewer cells than a row
// has, or a quote left open at its end), as a power cut or a full disk
// leaves it. Unreadable: anything else no row would be.
enum class LineKind { Blank, Header, Row, CutShort, Unreadable };

// What one line of the file (without its LF) holds. first: the file's first
// line, which may begin with the UTF-8 signature an editor saves.
LineKind readHistoryLine(std::string_view line, bool first, HistoryRow& row);

// How a line handed to RowReader ended: by its LF; not at all (the file's
// last line, cut short or being written now); or not within the length a
// row may have (the line is not kept).
enum class LineEnd { Ended, Unended, Overlong };

// Reads, like parseHistoryText, the rows of the lines handed to it, counting
// those it cannot read in skipped and, of those, the rows cut short in
// cutShort (when given).
class RowReader {
public:
    RowReader(int& skipped, int* cutShort) : skipped_(skipped), cutShort_(cutShort) {}
    bool read(std::string_view line, LineEnd end, bool first, HistoryRow& row) {
        LineKind kind = end == LineEnd::Overlong ? LineKind::Unreadable : readHistoryLine(line, first, row);
        // A last line without its end is not judged: it may be whole in a
        // moment.
        if (end == LineEnd::Unended && kind != LineKind::Unreadable) kind = LineKind::CutShort;
        if (kind == LineKind::CutShort && cutShort_) ++*cutShort_;
        if (kind == LineKind::CutShort || kind == LineKind::Unreadable) ++skipped_;
        return kind == LineKind::Row;
    }

private:
    int& skipped_;
    int* cutShort_;
};

// Every entry kept, oldest first (gatherHistoryEntries and the reads from
// the file's end, which keep only a part of the file).
class EntryGatherer {
public:
    EntryGatherer() : stream_([this](HistoryEntry& entry) { entries_.push_back(std::move(entry)); }, SIZE_MAX) {}
    EntryGatherer(const EntryGatherer&) = delete;
    EntryGatherer& operator=(const EntryGatherer&) = delete;
    void add(const HistoryRow& row) { stream_.add(row); }
    HistoryEntryStream& stream() { return stream_; }
    std::vector<HistoryEntry> entries() {
        stream_.finish();
        return std::move(entries_);
    }

private:
    std::vector<HistoryEntry> entries_;
    HistoryEntryStream stream_;
};

// Opens the history at path and tells its size; error says why not ("no
// history" for a missing file).
bool openHistory(const std::string& path, platform::InputFile& file, uint64_t& size, std::string& error);
// False, with error telling the file's fault.
bool historyReadFailed(const platform::InputFile& file, std::string& error);

// The entries of the rows from offset on (of reader alone, when it is not
// empty) into stream; firstRun: the run of the first row read after a cut
// start.
bool gatherHistoryFrom(platform::InputFile& file, uint64_t offset, const std::string& reader,
                       HistoryEntryStream& stream, RowReader& rows, std::string& firstRun);

}  // namespace spelvane
