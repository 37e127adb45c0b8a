#include "app/report_spool.h"

#include <span>

#include "app/site_report.h"
#include "platform/file_replace.h"
#include "platform/input_file.h"
#include "platform/line_append.h"
#include "platform/output_file.h"
#include "settings/history_cells.h"

namespace spelvane {
namespace {

// Rows wait here only while a report cannot be written; a spool far larger
// than any site's outage would give is no spool of ours.
constexpr uint64_t kMostSpoolBytes = 16u << 20;
constexpr size_t kSpoolCells = 16;

std::string spoolHeader() { return "report," + siteReportHeader(); }

// The spool's line of a report line: the report's cell in front.
std::string spoolLine(const std::string& report, const std::string& line) {
    std::string cell = historyCsvLine(std::span<const std::string>(&report, 1));
    cell.resize(cell.size() - 2);
    return cell + "," + line;
}

bool readAll(const std::string& path, std::string& text, bool& missing, std::string& error) {
    platform::InputFile in;
    missing = false;
    uint64_t size = 0;
    if (!in.open(path)) {
        missing = in.missing();
        if (!missing) error = platform::fileFaultMessage("read", path, in.fault());
        return missing;
    }
    if (!in.size(size)) {
        error = platform::fileFaultMessage("read", path, in.fault());
        return false;
    }
    if (size > kMostSpoolBytes) {
        error = "cannot read " + path + ": it is larger than " + std::to_string(kMostSpoolBytes >> 20) + " MB";
        return false;
    }
    text.resize(static_cast<size_t>(size));
    size_t got = 0;
    if (size > 0 && (!in.readAt(0, text.data(), text.size(), got) || got != text.size())) {
        error = platform::fileFaultMessage("read", path, in.fault());
        return false;
    }
    return true;
}

}  // namespace

bool ReportSpool::read(std::string& error) {
    lines_.clear();
    keptAt_.clear();
    kept_.clear();
    std::string text;
    bool missing = false;
    if (!readAll(path_, text, missing, error)) return false;
    for (size_t at = 0; at < text.size();) {
        const size_t end = text.find('\n', at);
        const size_t next = end == std::string::npos ? text.size() : end + 1;
        lines_.push_back(text.substr(at, next - at));
        at = next;
    }
    for (size_t i = 1; i < lines_.size(); ++i) {
        std::string_view line = lines_[i];
        // A line a crash cut short is no row: it stays as it is.
        if (line.size() < 2 || line.substr(line.size() - 2) != "\r\n") continue;
        std::vector<std::string> cells;
        const CellSplit split = splitHistoryCells(line.substr(0, line.size() - 2), cells);
        if (split != CellSplit::Whole || cells.size() != kSpoolCells) continue;
        for (std::string& cell : cells) unguardHistoryCell(cell);
        if (cells[0] != report_) continue;
        keptAt_.push_back(i);
        kept_.push_back(historyCsvLine(std::span<const std::string>(cells).subspan(1)));
    }
    return true;
}

bool ReportSpool::forget(size_t sent, std::string& error) {
    if (sent == 0) return true;
    std::string rest;
    size_t rows = 0;
    for (size_t i = 0, k = 0; i < lines_.size(); ++i) {
        if (k < sent && keptAt_[k] == i) {
            ++k;
            continue;
        }
        rest += lines_[i];
        rows += i > 0;
    }
    if (rows == 0) {
        if (platform::removeFile(path_)) return true;
        error = "cannot remove " + path_ + ", whose rows reached the report";
        return false;
    }
    // The rest goes beside it first: a crash in between leaves the spool
    // as it was, never half of it.
    const std::string fresh = path_ + ".new";
    platform::OutputFile out;
    const bool written = platform::removeFile(fresh) && out.createNew(fresh) == platform::NewFile::Created &&
                         out.write(rest.data(), rest.size()) && out.flushDurably() && out.close() &&
                         platform::replaceFile(fresh, path_);
    if (!written) {
        error = "cannot write " + path_ + " anew without the rows that reached the report";
        if (out.fault() != platform::FileFault::None)
            error += ": " + std::string(platform::describeFileFault(out.fault()));
        return false;
    }
    return true;
}

bool ReportSpool::keep(const std::vector<std::string>& lines, std::string& error) {
    std::vector<std::string> spooled;
    for (const std::string& line : lines) spooled.push_back(spoolLine(report_, line));
    return platform::appendLines(path_, spoolHeader(), spooled, error);
}

}  // namespace spelvane
