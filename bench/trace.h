#pragma once
// The simulator's trace as the bench reads it: the arrival time, handle and
// function of every call, and the gaps between device requests.
#include <algorithm>
#include <fstream>
#include <iterator>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "bench/stats.h"
#include "device/library_records.h"
#include "sim/trace_record.h"

namespace spelvane::bench {

using qzsim::TraceRecord;

inline double arrivalMs(const TraceRecord& line) { return static_cast<double>(line.microseconds) / 1000.0; }

inline bool isDeviceRequest(const TraceRecord& line) {
    return line.functionCode == kDeviceWrite || line.functionCode == kDeviceRead;
}

inline std::vector<TraceRecord> parseTrace(const std::string& text) {
    std::vector<TraceRecord> lines;
    std::istringstream in(text);
    std::string line;
    TraceRecord record;
    while (std::getline(in, line)) {
        if (parseTraceLine(line, record)) lines.push_back(record);
    }
    return lines;
}

inline std::string readWholeFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// Gaps between consecutive device requests on one handle, within each part
// of the trace (no gap spans the operator's time between two parts). Those
// with no fixed 100 ms pause in between are the ones the pacing decided.
// Returns false when there was no gap at all.
inline bool reportPacing(const std::vector<std::vector<TraceRecord>>& parts) {
    std::vector<double> all;
    std::vector<double> paced;
    for (const std::vector<TraceRecord>& trace : parts) {
        std::map<uint32_t, double> last;
        for (const TraceRecord& line : trace) {
            if (!isDeviceRequest(line)) continue;
            auto previous = last.find(line.handle);
            if (previous != last.end()) {
                const double gap = arrivalMs(line) - previous->second;
                all.push_back(gap);
                if (gap < 100.0) paced.push_back(gap);
            }
            last[line.handle] = arrivalMs(line);
        }
    }
    if (all.empty()) return false;
    report("gap_min_ms", *std::min_element(all.begin(), all.end()));
    report("gap_paced_median_ms", percentile(paced, 0.50));
    report("gap_paced_p99_ms", percentile(paced, 0.99));
    report("gap_paced_count", static_cast<double>(paced.size()));
    report("gap_count", static_cast<double>(all.size()));
    return true;
}

}  // namespace spelvane::bench
