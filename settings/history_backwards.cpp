// spelvane-history.csv read from its end: the last entries, and one
// reader's changes newest first.
#include <algorithm>
#include <cctype>
#include <iterator>
#include <map>

#include "settings/history_file.h"
#include "settings/history_reading.h"

namespace spelvane {
namespace {

// The lines of a file from its end back to its start, read in chunks.
class LinesBackwards {
public:
    LinesBackwards(platform::InputFile& file, uint64_t size) : file_(file), unread_(size) {}
    // The line before the one handed out last, without its LF, and how it
    // ended (the last line may have no LF: cut short, or being written now).
    // False at the file's start, or when the file cannot be read (failed()).
    bool previous(std::string& line, LineEnd& end) {
        for (;;) {
            if (buffer_.empty() && unread_ == 0) return false;
            const bool ended = !buffer_.empty() && buffer_.back() == '\n';
            const size_t body = ended ? buffer_.size() - 1 : buffer_.size();
            const size_t lf = body == 0 ? std::string::npos : buffer_.rfind('\n', body - 1);
            if (lf != std::string::npos || unread_ == 0) {
                const size_t from = lf == std::string::npos ? 0 : lf + 1;
                line.assign(buffer_, from, body - from);
                end = overlong_ ? LineEnd::Overlong : ended ? LineEnd::Ended : LineEnd::Unended;
                buffer_.resize(from);
                overlong_ = false;
                return true;
            }
            if (body > kLongestHistoryLine) {
                overlong_ = true;
                buffer_.erase(0, body);
            }
            const size_t take = static_cast<size_t>(std::min<uint64_t>(kHistoryChunk, unread_));
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

// A cell as the CSV text holds it (quotes doubled): a line that lacks it
// cannot be a row naming it.
std::string cellText(const std::string& value) {
    std::string cell;
    for (char c : value) cell += c == '"' ? std::string("\"\"") : std::string(1, c);
    return cell;
}

bool sameComputer(const std::string& a, const std::string& b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i)
        if (std::tolower(static_cast<unsigned char>(a[i])) != std::tolower(static_cast<unsigned char>(b[i])))
            return false;
    return true;
}

}  // namespace

bool readLastHistoryEntries(const std::string& path, const std::string& reader, size_t count,
                            std::vector<HistoryEntry>& entries, int& skipped, std::string& error, int* cutShort) {
    entries.clear();
    skipped = 0;
    if (cutShort) *cutShort = 0;
    platform::InputFile file;
    uint64_t size = 0;
    if (!openHistory(path, file, size, error)) return false;
    // A window at the end, four times larger each time, until it holds
    // enough whole entries: an entry of the run the window begins in may
    // have lost its first rows to the window's start.
    for (uint64_t window = kHistoryChunk;; window *= 4) {
        const uint64_t offset = size > window ? size - window : 0;
        EntryGatherer gatherer;
        std::string firstRun;
        skipped = 0;
        if (cutShort) *cutShort = 0;
        RowReader rows(skipped, cutShort);
        if (!gatherHistoryFrom(file, offset, reader, gatherer.stream(), rows, firstRun))
            return historyReadFailed(file, error);
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

// The rows of one reader come in groups, one per command run: the reader
// lock lets one command at a time write it from one computer. A group read
// back to its start row, or to a row of another run, is gathered forwards
// into its entries (a start, its changes and its outcome; or an outcome
// alone), which go out newest first.
struct HistoryBackCursor::State {
    platform::InputFile file;
    std::unique_ptr<LinesBackwards> lines;
    std::string reader;
    std::string computer;
    std::string readerCell;
    std::vector<HistoryRow> group;       // newest first
    std::vector<HistoryEntry> ready;     // oldest first: handed out from the back
    int skipped = 0;
    RowReader rows{skipped, nullptr};
    uint64_t looked = 0;
    bool ended = false;

    // A run that wrote thousands of rows for one reader is no command's:
    // its rows go out in parts rather than be held.
    static constexpr size_t kMostGroupRows = 65536;

    void flush() {
        if (group.empty()) return;
        EntryGatherer gatherer;
        for (auto row = group.rbegin(); row != group.rend(); ++row) gatherer.add(*row);
        group.clear();
        // Older than any still ready: in front of them.
        std::vector<HistoryEntry> older = gatherer.entries();
        ready.insert(ready.begin(), std::make_move_iterator(older.begin()), std::make_move_iterator(older.end()));
    }
    // Reads back until entries are ready or the file's start.
    void fill() {
        std::string line;
        LineEnd end = LineEnd::Ended;
        while (ready.empty() && !ended) {
            if (!lines->previous(line, end)) {
                ended = true;
                flush();
                return;
            }
            looked += line.size() + 1;
            if (line.find(readerCell) == std::string::npos) continue;
            HistoryRow row;
            if (!rows.read(line, end, lines->atStart(), row) || row.reader != reader) continue;
            if (!computer.empty() && !sameComputer(row.run.computer, computer)) continue;
            if (!group.empty() && (group.back().run.id != row.run.id || group.size() >= kMostGroupRows)) flush();
            const bool start = row.event == HistoryEvent::Start;
            group.push_back(std::move(row));
            // A start is a change's first row: nothing older belongs to it.
            if (start) flush();
        }
    }
};

HistoryBackCursor::HistoryBackCursor() = default;
HistoryBackCursor::~HistoryBackCursor() = default;
HistoryBackCursor::HistoryBackCursor(HistoryBackCursor&&) noexcept = default;
HistoryBackCursor& HistoryBackCursor::operator=(HistoryBackCursor&&) noexcept = default;

bool HistoryBackCursor::open(const std::string& path, const std::string& reader, const std::string& computer) {
    state_ = std::make_unique<State>();
    uint64_t size = 0;
    std::string error;
    if (!openHistory(path, state_->file, size, error)) {
        state_->ended = true;
        return false;
    }
    state_->lines = std::make_unique<LinesBackwards>(state_->file, size);
    state_->reader = reader;
    state_->computer = computer;
    state_->readerCell = cellText(reader);
    return true;
}

bool HistoryBackCursor::next(HistoryEntry& entry) {
    if (!state_ || !state_->lines) return false;
    state_->fill();
    if (state_->ready.empty()) return false;
    entry = std::move(state_->ready.back());
    state_->ready.pop_back();
    return true;
}

platform::FileFault HistoryBackCursor::fault() const {
    if (!state_) return platform::FileFault::None;
    if (!state_->lines) {
        if (state_->file.missing()) return platform::FileFault::Missing;
        return state_->file.fault() == platform::FileFault::None ? platform::FileFault::Other : state_->file.fault();
    }
    return state_->lines->failed() ? state_->file.fault() : platform::FileFault::None;
}

uint64_t HistoryBackCursor::bytesLooked() const { return state_ ? state_->looked : 0; }

HistoriesBack::HistoriesBack(const std::vector<std::string>& paths, const std::string& reader,
                             const std::string& computer) {
    heads_.reserve(paths.size());
    for (const std::string& path : paths) {
        Head head;
        if (!head.cursor.open(path, reader, computer)) {
            if (head.cursor.fault() != platform::FileFault::Missing) failed_ = true;
            continue;
        }
        heads_.push_back(std::move(head));
    }
}

void HistoriesBack::advance(Head& head) {
    head.stale = false;
    head.has = head.cursor.next(head.entry);
    if (!head.has && head.cursor.fault() != platform::FileFault::None) failed_ = true;
    head.timed = head.has && historyTimeSeconds(head.entry.run.time, head.seconds);
}

bool HistoriesBack::next(HistoryEntry& entry) {
    // Each history is read on only when its entry was taken and another is
    // asked for: the judgement may need no more.
    for (Head& head : heads_)
        if (head.stale) advance(head);
    Head* newest = nullptr;
    for (Head& head : heads_) {
        if (!head.has) continue;
        // An entry without a time keeps its place in its own file.
        if (!head.timed) {
            newest = &head;
            break;
        }
        if (!newest || head.seconds > newest->seconds) newest = &head;
    }
    if (!newest) return false;
    entry = std::move(newest->entry);
    newest->stale = true;
    return true;
}

uint64_t HistoriesBack::bytesLooked() const {
    uint64_t looked = 0;
    for (const Head& head : heads_) looked += head.cursor.bytesLooked();
    return looked;
}

}  // namespace spelvane
