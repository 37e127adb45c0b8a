// spelvane-history.csv: the cells of one line.
#include "settings/history_cells.h"

#include <cstring>

#include "settings/one_line.h"

namespace spelvane {
namespace {

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

}  // namespace

void unguardHistoryCell(std::string& cell) {
    if (!cell.empty() && cell.front() == '\'' && looksLikeFormula(cell)) cell.erase(0, 1);
}

std::string historyCsvLine(std::span<const std::string> cells) {
    std::string line;
    for (size_t c = 0; c < cells.size(); ++c) {
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
    return line + kHistoryRowEnd;
}

CellSplit splitHistoryCells(std::string_view line, std::vector<std::string>& cells) {
    cells.assign(1, std::string());
    size_t pos = 0;
    for (;;) {
        std::string& cell = cells.back();
        if (pos < line.size() && line[pos] == '"') {
            ++pos;
            for (;;) {
                const size_t quote = line.find('"', pos);
                if (quote == std::string_view::npos) {
                    cell.append(line.substr(pos));
                    return CellSplit::QuoteLeftOpen;
                }
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
            if (pos < line.size() && line[pos] == '"') return CellSplit::Broken;
        }
        if (pos >= line.size()) return CellSplit::Whole;
        if (line[pos] != ',') return CellSplit::Broken;
        ++pos;
        cells.emplace_back();
    }
}

}  // namespace spelvane
