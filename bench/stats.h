#pragma once
// Small helpers shared by the bench programs: a millisecond clock on the
// platform's performance counter, nearest-rank percentiles, and the
// "name value" lines that bench/summarize.py gathers into the table.
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <vector>

#include "platform/perf_counter.h"

namespace spelvane::bench {

inline double nowMs() {
    int64_t ticks = 0;
    int64_t frequency = 1;
    spelvane::platform::performanceCounter(ticks);
    spelvane::platform::performanceFrequency(frequency);
    return static_cast<double>(ticks) * 1000.0 / static_cast<double>(frequency);
}

// Nearest rank: the smallest sample with at least `fraction` of the samples
// at or below it.
inline double percentile(std::vector<double> samples, double fraction) {
    if (samples.empty()) return 0.0;
    std::sort(samples.begin(), samples.end());
    auto rank = static_cast<size_t>(fraction * static_cast<double>(samples.size()) + 0.999999);
    if (rank < 1) rank = 1;
    if (rank > samples.size()) rank = samples.size();
    return samples[rank - 1];
}

inline void report(const char* name, double value) {
    std::printf("%s %.3f\n", name, value);
    std::fflush(stdout);
}

// p50, p99 and max of a series under one prefix.
inline void reportSpread(const char* prefix, const std::vector<double>& samples) {
    char name[128];
    std::snprintf(name, sizeof name, "%s_p50_ms", prefix);
    report(name, percentile(samples, 0.50));
    std::snprintf(name, sizeof name, "%s_p99_ms", prefix);
    report(name, percentile(samples, 0.99));
    std::snprintf(name, sizeof name, "%s_max_ms", prefix);
    report(name, samples.empty() ? 0.0 : *std::max_element(samples.begin(), samples.end()));
    std::snprintf(name, sizeof name, "%s_count", prefix);
    report(name, static_cast<double>(samples.size()));
}

}  // namespace spelvane::bench
