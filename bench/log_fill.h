#pragma once
// Brings the message log to a given number of lines of the kind a store
// writes, in pieces close to the 1023 characters one append can take (far
// fewer appends than one per line, so filling is quick), and the timed
// appends that follow it.
#include <string>
#include <vector>

#include "app/message_log.h"
#include "bench/stats.h"

namespace spelvane::bench {

inline void fillLog(int lines) {
    std::string piece;
    for (int line = 0; line < lines; ++line) {
        std::string text = (line % 2 == 0) ? "Store light " + std::to_string(line % 5) + " ...OK\r\n"
                                           : std::string("Checks writing...OK\r\n");
        if (piece.size() + text.size() > 1000) {
            messageLog().append("%s", piece.c_str());
            piece.clear();
        }
        piece += text;
    }
    if (!piece.empty()) messageLog().append("%s", piece.c_str());
}

// Appends as a store makes them (a step text, then its "OK"), each timed
// from the call to its return, that is with the display of the text.
inline std::vector<double> timedAppends(int count) {
    std::vector<double> costs;
    costs.reserve(static_cast<size_t>(count));
    for (int i = 0; i < count; ++i) {
        const double start = nowMs();
        if (i % 2 == 0)
            messageLog().append("Store light %i ...", i % 5);
        else
            messageLog().append("OK\r\n");
        costs.push_back(nowMs() - start);
    }
    return costs;
}

}  // namespace spelvane::bench
