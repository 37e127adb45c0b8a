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

enum class LineKind { Blank, Header, Row, Unreadable };

// What one line of the file (without its LF) holds. first: the file's first
// line, which may begin with the UTF-8 signature an editor saves.
LineKind readHistoryLine(std::string_view line, bool first, HistoryRow& row);

// Reads, like parseHistoryText, the rows of the lines handed to it, counting
// those it cannot read.
class RowReader {
public:
    explicit RowReader(int& skipped) : skipped_(skipped) {}
    // whole: the line was ended by its LF and is not too long to be a row.
    bool read(std::string_view line, bool whole, bool first, HistoryRow& row) {
        const LineKind kind = readHistoryLine(line, first, row);
        if (kind == LineKind::Unreadable || !whole) ++skipped_;
        return kind == LineKind::Row && whole;
    }

private:
    int& skipped_;
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
                       HistoryEntryStream& stream, int& skipped, std::string& firstRun);

}  // namespace spelvane
