// spelvane-history.csv read from its end: the last entries, and each
// reader's last change.
#include <algorithm>
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

bool readLastStartedEntries(const std::string& path, const std::vector<std::string>& readers,
                            std::vector<HistoryEntry>& entries, std::string& error, uint64_t lookBack) {
    return readStartedEntriesBack(
        path, readers, [](const std::string&, const std::vector<HistoryEntry>&) { return true; }, entries, error,
        lookBack);
}

bool readStartedEntriesBack(const std::string& path, const std::vector<std::string>& readers,
                            const StartsEnough& enough, std::vector<HistoryEntry>& entries, std::string& error,
                            uint64_t lookBack) {
    entries.clear();
    platform::InputFile file;
    uint64_t size = 0;
    if (!openHistory(path, file, size, error)) return false;
    std::map<std::string, ReaderSearch> wanted;
    for (const std::string& reader : readers)
        for (char c : reader) wanted[reader].cell += c == '"' ? std::string("\"\"") : std::string(1, c);
    // Per reader, the entries gathered so far, each start's batch before
    // the newer ones: the file's order.
    std::map<std::string, std::vector<HistoryEntry>> found;
    const auto done = [&](std::map<std::string, ReaderSearch>::iterator reader) {
        std::vector<HistoryEntry>& its = found[reader->first];
        for (HistoryEntry& entry : its) entries.push_back(std::move(entry));
        its.clear();
        return wanted.erase(reader);
    };
    // Commands that never write (backups, refusals) between a reader's last
    // start and the end: kept to a bound, the newest and the oldest.
    constexpr size_t kMostRows = 4096;
    int skipped = 0;
    RowReader rows(skipped, nullptr);
    LinesBackwards lines(file, size);
    std::string line;
    LineEnd end = LineEnd::Ended;
    // The start-up waits for this: a reader the history has not seen for
    // long must not make it read a long history back to its start.
    uint64_t looked = 0;
    while (!wanted.empty() && looked < lookBack && lines.previous(line, end)) {
        looked += line.size() + 1;
        // Most lines of a long history are other readers': a line that
        // names none of those looked for is not worth reading into cells.
        if (!namesAny(line, wanted)) continue;
        HistoryRow row;
        if (!rows.read(line, end, lines.atStart(), row)) continue;
        const auto reader = wanted.find(row.reader);
        if (reader == wanted.end()) continue;
        std::vector<HistoryRow>& kept = reader->second.rows;
        if (kept.size() >= kMostRows) kept.erase(kept.begin() + kMostRows / 2);
        kept.push_back(row);
        if (row.event != HistoryEvent::Start) continue;
        EntryGatherer gatherer;
        for (auto each = kept.rbegin(); each != kept.rend(); ++each) gatherer.add(*each);
        kept.clear();
        std::vector<HistoryEntry> batch = gatherer.entries();
        std::vector<HistoryEntry>& its = found[reader->first];
        const bool stop = enough(reader->first, batch);
        its.insert(its.begin(), std::make_move_iterator(batch.begin()), std::make_move_iterator(batch.end()));
        if (stop) done(reader);
    }
    if (lines.failed()) return historyReadFailed(file, error);
    // Readers whose search met the file's start or the bound: what was found.
    while (!wanted.empty()) done(wanted.begin());
    return true;
}

}  // namespace spelvane
