#pragma once
// One line of the history as CSV cells (RFC 4180 quoting, one row a line),
// and back.
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace spelvane {

constexpr const char* kHistoryRowEnd = "\r\n";

// The cells as one line ending in CR LF: a cell that needs it quoted, quotes
// doubled, line breaks as blanks, a spreadsheet formula guarded.
std::string historyCsvLine(std::span<const std::string> cells);

// The cells of one line (without its line end), as far as they go. A
// quote left open is a row cut short (no cell spans a line end); a quote
// inside a plain cell or text after a closing quote break the quoting rules.
enum class CellSplit { Whole, QuoteLeftOpen, Broken };
CellSplit splitHistoryCells(std::string_view line, std::vector<std::string>& cells);

// Takes away the guard historyCsvLine put before a cell a spreadsheet would
// take as a formula.
void unguardHistoryCell(std::string& cell);

}  // namespace spelvane
