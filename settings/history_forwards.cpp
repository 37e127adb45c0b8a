// spelvane-history.csv read from its start to its end, a piece at a time.
#include <cstring>

#include "settings/history_file.h"
#include "settings/history_reading.h"

namespace spelvane {
namespace {

// Hands each line of file from offset to its end to take(line, end), in
// order, holding no more than one line and one chunk at a time.
template <typename Take>
bool forEachLine(platform::InputFile& file, uint64_t offset, Take take) {
    std::string pending;
    bool overlong = false;
    std::vector<char> chunk(kHistoryChunk);
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
                take(std::string_view(chunk.data() + from, lf - from), LineEnd::Ended);
            } else {
                if (!overlong) pending.append(chunk.data() + from, lf - from);
                take(std::string_view(pending), overlong ? LineEnd::Overlong : LineEnd::Ended);
            }
            pending.clear();
            overlong = false;
            from = lf + 1;
        }
        if (!overlong) pending.append(chunk.data() + from, got - from);
        if (pending.size() > kLongestHistoryLine) {
            overlong = true;
            pending.clear();
        }
    }
    if (overlong) take(std::string_view(), LineEnd::Overlong);
    else if (!pending.empty()) take(std::string_view(pending), LineEnd::Unended);
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

bool readHistoryFile(const std::string& path, std::vector<HistoryEntry>& entries, int& skipped, std::string& error,
                     int* cutShort) {
    entries.clear();
    return forEachHistoryEntry(
        path, [&](HistoryEntry& entry) { entries.push_back(std::move(entry)); }, skipped, error, cutShort);
}

}  // namespace spelvane
