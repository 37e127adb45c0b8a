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

namespace spelvane::bench {

struct TraceLine {
    double ms;
    std::string handle;
    std::string function;
    std::string command;
};

constexpr const char* kDeviceWrite = "10ff1002";
constexpr const char* kDeviceRead = "10ff1003";

inline bool isDeviceRequest(const TraceLine& line) {
    return line.function == kDeviceWrite || line.function == kDeviceRead;
}

inline std::vector<TraceLine> parseTrace(const std::string& text) {
    std::vector<TraceLine> lines;
    std::istringstream in(text);
    std::string line;
    while (std::getline(in, line)) {
        std::map<std::string, std::string> fields;
        std::istringstream words(line);
        std::string word;
        while (words >> word) {
            auto equals = word.find('=');
            if (equals != std::string::npos) fields[word.substr(0, equals)] = word.substr(equals + 1);
        }
        if (!fields.count("t")) continue;
        lines.push_back({std::stod(fields["t"]) / 1000.0, fields["h"], fields["fn"], fields["cmd"]});
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
inline bool reportPacing(const std::vector<std::vector<TraceLine>>& parts) {
    std::vector<double> all;
    std::vector<double> paced;
    for (const std::vector<TraceLine>& trace : parts) {
        std::map<std::string, double> last;
        for (const TraceLine& line : trace) {
            if (!isDeviceRequest(line)) continue;
            auto previous = last.find(line.handle);
            if (previous != last.end()) {
                const double gap = line.ms - previous->second;
                all.push_back(gap);
                if (gap < 100.0) paced.push_back(gap);
            }
            last[line.handle] = line.ms;
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
