// Two programs appending to one history at once must lose no row:
//   history_appender prepare <folder>           makes it as the installer does
//   history_appender add <file> <name> <rows>   appends rows one call each
//   history_appender check <file> <rows> <name>...
//   history_appender hold <file> <ms>   holds the append lock for ms while
//                                       it writes one row, in two halves
//   history_appender read <file>        reads the file, whatever it holds
//   history_appender report <file> <name> <rows>   adds rows to a site's
//                                       report file, one call each
//   history_appender check-report <file> <rows> <name>...
// prepare gives the folder and its history the installer's rights, or
// says why not (status 1); it prints what it left alone and each object's
// rights it asked for. check reads the file as the programs do and
// says how many rows of each name it found; status 0 when every one is
// there once and no line was unreadable. hold says "held" once it holds
// the lock and the first half is written: an append meanwhile must wait, a
// read must not. check-report: the header once, at the top, and every
// row of each name whole and once.
#include <cstdio>
#include <cstdlib>
#include <map>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "app/site_report.h"
#include "platform/output_file.h"
#include "platform/shared_folder.h"
#include "platform/sleep.h"
#include "settings/history_cells.h"
#include "settings/history_file.h"

using namespace spelvane;

namespace {

// A row as the programs write it, the library cell quoted for its comma.
HistoryRow rowOf(const std::string& name, int number) {
    HistoryRow row;
    row.run = {name + "-" + std::to_string(number), "2026-12-08 11:43:55 +01:00", "WS12", "op", "spelvane-cli",
               "1.0.0", "C:\\Spelvane\\qzsd7.dll, version 0x07000500", "backup"};
    row.event = HistoryEvent::Outcome;
    row.outcome = HistoryOutcome::BackedUp;
    row.reader = name;
    row.type = "TYPE1";
    row.backup = name + "_" + std::to_string(number) + ".set";
    return row;
}

int prepare(const std::string& folder) {
    std::string error;
    platform::SharedFolderReport report;
    const bool prepared = platform::prepareSharedFolder(folder, kHistoryFileName, report, error);
    for (const std::string& item : report.leftAlone) std::printf("left alone: %s\n", item.c_str());
    if (!report.historyAside.empty()) std::printf("history: %s\n", report.historyAside.c_str());
    for (const platform::RightsRequest& request : report.requests)
        std::printf("set %s = %s (0x%lx)\n", request.path.c_str(), request.rights.c_str(), request.parts);
    if (prepared) return 0;
    std::fprintf(stderr, "%s\n", error.c_str());
    return 1;
}

int add(const std::string& file, const std::string& name, int rows) {
    for (int i = 0; i < rows; ++i) {
        std::string error;
        if (!appendHistoryRows(file, {rowOf(name, i)}, error)) {
            std::fprintf(stderr, "%s: row %d: %s\n", name.c_str(), i, error.c_str());
            return 1;
        }
    }
    return 0;
}

int hold(const std::string& file, int milliseconds) {
    platform::OutputFile out;
    if (!out.openForAppend(file)) return 1;
    platform::AppendLock lock(out);
    const std::string row = formatHistoryRow(rowOf("HOLDER", 0));
    const size_t half = row.size() / 2;
    if (!lock.held() || !out.write(row.data(), half)) return 1;
    std::printf("held\n");
    std::fflush(stdout);
    platform::sleepMilliseconds(static_cast<uint32_t>(milliseconds));
    return out.write(row.data() + half, row.size() - half) ? 0 : 1;
}

bool readAll(const std::string& file, std::vector<HistoryEntry>& entries, int& skipped) {
    std::string error;
    if (readHistoryFile(file, entries, skipped, error)) return true;
    std::fprintf(stderr, "cannot read %s: %s\n", file.c_str(), error.c_str());
    return false;
}

int read(const std::string& file) {
    std::vector<HistoryEntry> entries;
    int skipped = 0;
    if (!readAll(file, entries, skipped)) return 1;
    std::printf("%zu rows read, %d unreadable\n", entries.size(), skipped);
    return 0;
}

int check(const std::string& file, int rows, const std::vector<std::string>& names) {
    std::vector<HistoryEntry> entries;
    int skipped = 0;
    if (!readAll(file, entries, skipped)) return 1;
    std::map<std::string, std::set<std::string>> found;
    for (const HistoryEntry& entry : entries)
        if (entry.hasOutcome) found[entry.reader].insert(entry.run.id);
    bool whole = skipped == 0;
    for (const std::string& name : names) {
        const size_t count = found[name].size();
        std::printf("%s: %zu of %d rows\n", name.c_str(), count, rows);
        whole = whole && count == static_cast<size_t>(rows);
    }
    std::printf("%zu rows read, %d unreadable\n", entries.size(), skipped);
    return whole && entries.size() == names.size() * static_cast<size_t>(rows) ? 0 : 1;
}

int report(const std::string& file, const std::string& name, int rows) {
    for (int i = 0; i < rows; ++i) {
        SiteReportRow row;
        row.computer = name;
        row.run = name + "-" + std::to_string(i);
        row.reference = "HBlank 341";
        row.library = "C:\\Spelvane\\qzsd7.dll, version 0x07000500";
        const std::string error = appendSiteReport(file, {row});
        if (!error.empty()) {
            std::fprintf(stderr, "%s: row %d: %s\n", name.c_str(), i, error.c_str());
            return 1;
        }
    }
    return 0;
}

int checkReport(const std::string& file, int rows, const std::vector<std::string>& names) {
    std::FILE* in = std::fopen(file.c_str(), "rb");
    if (!in) return 1;
    std::string text;
    char buffer[4096];
    for (size_t n; (n = std::fread(buffer, 1, sizeof buffer, in)) > 0;) text.append(buffer, n);
    std::fclose(in);
    const std::string header = siteReportHeader();
    bool whole = text.compare(0, header.size(), header) == 0;
    std::map<std::string, std::set<std::string>> found;
    size_t lines = 0;
    for (size_t at = header.size(), end; whole && at < text.size(); at = end + 1) {
        end = text.find("\r\n", at);
        std::vector<std::string> cells;
        whole = end != std::string::npos &&
                splitHistoryCells(std::string_view(text).substr(at, end - at), cells) == CellSplit::Whole &&
                cells.size() == 15 && found[cells[1]].insert(cells[14]).second;
        ++end;
        ++lines;
    }
    for (const std::string& name : names) {
        std::printf("%s: %zu of %d rows\n", name.c_str(), found[name].size(), rows);
        whole = whole && found[name].size() == static_cast<size_t>(rows);
    }
    std::printf("%zu rows, %s\n", lines, whole ? "each whole and once, one header" : "NOT whole");
    return whole && lines == names.size() * static_cast<size_t>(rows) ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
    const std::vector<std::string> args(argv + 1, argv + argc);
    if (args.size() == 2 && args[0] == "prepare") return prepare(args[1]);
    if (args.size() == 4 && args[0] == "add") return add(args[1], args[2], std::atoi(args[3].c_str()));
    if (args.size() == 3 && args[0] == "hold") return hold(args[1], std::atoi(args[2].c_str()));
    if (args.size() == 2 && args[0] == "read") return read(args[1]);
    if (args.size() == 4 && args[0] == "report") return report(args[1], args[2], std::atoi(args[3].c_str()));
    if (args.size() >= 4 && args[0] == "check-report")
        return checkReport(args[1], std::atoi(args[2].c_str()), std::vector<std::string>(args.begin() + 3, args.end()));
    if (args.size() >= 4 && args[0] == "check")
        return check(args[1], std::atoi(args[2].c_str()), std::vector<std::string>(args.begin() + 3, args.end()));
    std::fprintf(stderr, "usage: history_appender prepare FOLDER | add FILE NAME ROWS | check FILE ROWS NAME... | "
                         "hold FILE MS | read FILE | report FILE NAME ROWS | check-report FILE ROWS NAME...\n");
    return 2;
}
