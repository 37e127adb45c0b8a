// spelvane-history.csv: rows added to its end.
#include "platform/line_append.h"
#include "settings/history_file.h"

namespace spelvane {
namespace {

std::vector<std::string> historyLines(const std::vector<HistoryRow>& rows) {
    std::vector<std::string> lines;
    for (const HistoryRow& row : rows) lines.push_back(formatHistoryRow(row));
    return lines;
}

}  // namespace

std::string historyTextToAppend(bool empty, char lastByte, const std::vector<HistoryRow>& rows) {
    return platform::textToAppend(empty, lastByte, historyHeaderLine(), historyLines(rows));
}

bool appendHistoryRows(const std::string& path, const std::vector<HistoryRow>& rows, std::string& error,
                       size_t* wholeRows) {
    return platform::appendLines(path, historyHeaderLine(), historyLines(rows), error, wholeRows);
}

}  // namespace spelvane
