#pragma once
// The rows a site's report file did not take, kept in the workstation
// folder until a run can write that report: then they go first, in the
// order they were kept, each once. One line per row: the report's path as
// it was whole, then the row's cells.
#include <cstddef>
#include <string>
#include <utility>
#include <vector>

namespace spelvane {

constexpr const char* kReportSpoolFileName = "spelvane-report-unsent.csv";

class ReportSpool {
public:
    // The spool at path, for the report file report (a whole path).
    ReportSpool(std::string path, std::string report) : path_(std::move(path)), report_(std::move(report)) {}
    // Reads the spool (none there: nothing kept), picking the rows kept for
    // the report. False with error when it cannot be read: nothing is kept
    // then, and what it holds is left as it is.
    bool read(std::string& error);
    // The rows kept for the report, as its lines, oldest first.
    const std::vector<std::string>& kept() const { return kept_; }
    // Takes the first sent of kept() out of the spool, which goes when
    // nothing is left in it. False with error when the spool cannot be
    // written: those rows would go to the report again.
    bool forget(size_t sent, std::string& error);
    // Keeps report lines for the report, behind what is kept already.
    bool keep(const std::vector<std::string>& lines, std::string& error);

private:
    std::string path_;
    std::string report_;
    std::vector<std::string> lines_;   // every line of the file, each with its end
    std::vector<size_t> keptAt_;       // the index in lines_ of each of kept_
    std::vector<std::string> kept_;
};

}  // namespace spelvane
