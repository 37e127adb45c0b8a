// spelvane-history.csv read from its start to its end, a piece at a time.
#include <cstring>
#include <deque>

#include "settings/history_file.h"
#include "settings/history_reading.h"

namespace spelvane {
namespace {

// The bytes of a file, fed a chunk at a time from its start or any place,
// split into the lines handed to take(line, end), holding no more than one
// line besides the chunk.
class LineSplitter {
public:
    template <typename Take>
    void feed(const char* data, size_t got, Take take) {
        size_t from = 0;
        for (;;) {
            const char* end = static_cast<const char*>(std::memchr(data + from, '\n', got - from));
            if (!end) break;
            const size_t lf = static_cast<size_t>(end - data);
            if (!overlong_ && pending_.empty()) {
                take(std::string_view(data + from, lf - from), LineEnd::Ended);
            } else {
                if (!overlong_) pending_.append(data + from, lf - from);
                take(std::string_view(pending_), overlong_ ? LineEnd::Overlong : LineEnd::Ended);
            }
            pending_.clear();
            overlong_ = false;
            from = lf + 1;
        }
        if (!overlong_) pending_.append(data + from, got - from);
        if (pending_.size() > kLongestHistoryLine) {
            overlong_ = true;
            pending_.clear();
        }
    }
    // The file's end: a last line without its LF.
    template <typename Take>
    void finish(Take take) {
        if (overlong_) take(std::string_view(), LineEnd::Overlong);
        else if (!pending_.empty()) take(std::string_view(pending_), LineEnd::Unended);
        pending_.clear();
        overlong_ = false;
    }

private:
    std::string pending_;
    bool overlong_ = false;
};

// Hands each line of file from offset to its end to take(line, end), in
// order, holding no more than one line and one chunk at a time.
template <typename Take>
bool forEachLine(platform::InputFile& file, uint64_t offset, Take take) {
    LineSplitter lines;
    std::vector<char> chunk(kHistoryChunk);
    for (;;) {
        size_t got = 0;
        if (!file.readAt(offset, chunk.data(), chunk.size(), got)) return false;
        if (got == 0) break;
        offset += got;
        lines.feed(chunk.data(), got, take);
    }
    lines.finish(take);
    return true;
}

}  // namespace

bool openHistory(const std::string& path, platform::InputFile& file, uint64_t& size, std::string& error) {
    if (file.open(path) && file.size(size)) return true;
    error = file.missing() ? std::string("no history") : std::string(platform::describeFileFault(file.fault()));
    return false;
}

bool historyReadFailed(const platform::InputFile& file, std::string& error) {
    error = platform::describeFileFault(file.fault());
    return false;
}

bool gatherHistoryFrom(platform::InputFile& file, uint64_t offset, const std::string& reader,
                       HistoryEntryStream& stream, RowReader& rows, std::string& firstRun) {
    bool first = true;
    bool cutAtStart = offset > 0;
    return forEachLine(file, offset, [&](std::string_view line, LineEnd end) {
        // Reading from the middle of the file: its first line may be cut.
        if (cutAtStart) {
            cutAtStart = false;
            return;
        }
        HistoryRow row;
        const bool read = rows.read(line, end, first && offset == 0, row);
        first = false;
        if (!read) return;
        if (firstRun.empty() && offset > 0) firstRun = row.run.id;
        if (reader.empty() || row.reader == reader) stream.add(row);
    });
}

std::vector<HistoryRow> parseHistoryText(const std::string& text, int& skipped, int* cutShort) {
    std::vector<HistoryRow> rows;
    skipped = 0;
    if (cutShort) *cutShort = 0;
    RowReader reader(skipped, cutShort);
    size_t pos = 0;
    while (pos < text.size()) {
        const size_t lf = text.find('\n', pos);
        const size_t end = lf == std::string::npos ? text.size() : lf;
        HistoryRow row;
        const LineEnd ended = lf == std::string::npos ? LineEnd::Unended : LineEnd::Ended;
        if (reader.read(std::string_view(text).substr(pos, end - pos), ended, pos == 0, row))
            rows.push_back(row);
        pos = end + 1;
    }
    return rows;
}

bool forEachHistoryEntry(const std::string& path, const HistoryEntryStream::Take& take, int& skipped,
                         std::string& error, int* cutShort) {
    skipped = 0;
    if (cutShort) *cutShort = 0;
    platform::InputFile file;
    uint64_t size = 0;
    if (!openHistory(path, file, size, error)) return false;
    HistoryEntryStream stream(take);
    std::string firstRun;
    // Entries still waiting when the file fails are not handed out: their
    // outcome may lie in the part that could not be read.
    RowReader rows(skipped, cutShort);
    if (!gatherHistoryFrom(file, 0, std::string(), stream, rows, firstRun)) return historyReadFailed(file, error);
    stream.finish();
    return true;
}

struct HistoryCursor::State {
    platform::InputFile file;
    uint64_t offset = 0;
    LineSplitter lines;
    int skipped = 0;
    int cutShort = 0;
    RowReader rows{skipped, &cutShort};
    std::deque<HistoryEntry> ready;
    HistoryEntryStream stream{[this](HistoryEntry& entry) { ready.push_back(std::move(entry)); }};
    std::vector<char> chunk = std::vector<char>(kHistoryChunk);
    bool first = true;
    bool ended = false;
    platform::FileFault fault = platform::FileFault::None;
};

HistoryCursor::HistoryCursor() : state_(std::make_unique<State>()) {}
HistoryCursor::~HistoryCursor() = default;
HistoryCursor::HistoryCursor(HistoryCursor&&) noexcept = default;
HistoryCursor& HistoryCursor::operator=(HistoryCursor&&) noexcept = default;

bool HistoryCursor::open(const std::string& path) {
    State& s = *state_;
    if (s.file.open(path)) return true;
    s.fault = s.file.missing() ? platform::FileFault::Missing : s.file.fault();
    if (s.fault == platform::FileFault::None) s.fault = platform::FileFault::Other;
    s.ended = true;
    return false;
}

bool HistoryCursor::next(HistoryEntry& entry) {
    State& s = *state_;
    const auto take = [&s](std::string_view line, LineEnd end) {
        HistoryRow row;
        const bool read = s.rows.read(line, end, s.first, row);
        s.first = false;
        if (read) s.stream.add(row);
    };
    while (s.ready.empty() && !s.ended) {
        size_t got = 0;
        if (!s.file.readAt(s.offset, s.chunk.data(), s.chunk.size(), got)) {
            s.fault = s.file.fault() == platform::FileFault::None ? platform::FileFault::Other : s.file.fault();
            s.ended = true;
            return false;
        }
        if (got == 0) {
            s.lines.finish(take);
            s.stream.finish();
            s.ended = true;
            break;
        }
        s.offset += got;
        s.lines.feed(s.chunk.data(), got, take);
    }
    if (s.ready.empty()) return false;
    entry = std::move(s.ready.front());
    s.ready.pop_front();
    return true;
}

platform::FileFault HistoryCursor::fault() const { return state_->fault; }
int HistoryCursor::skipped() const { return state_->skipped; }
int HistoryCursor::cutShort() const { return state_->cutShort; }

bool readHistoryFile(const std::string& path, std::vector<HistoryEntry>& entries, int& skipped, std::string& error,
                     int* cutShort) {
    entries.clear();
    return forEachHistoryEntry(
        path, [&](HistoryEntry& entry) { entries.push_back(std::move(entry)); }, skipped, error, cutShort);
}

}  // namespace spelvane
