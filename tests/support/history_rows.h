#pragma once
// The change history of the current folder as short lines a test can
// compare whole: "start <backup> <file>", "<field> <light>/<index>
// <from>-><to>" (hexadecimal) and "<outcome>: <reason>".
#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "settings/history_file.h"
#include "tests/support/scratch_directory.h"

namespace spelvane::testing {

inline std::string historyLine(const HistoryRow& row) {
    switch (row.event) {
    case HistoryEvent::Start: return "start " + row.backup + " " + row.file;
    case HistoryEvent::Change: {
        char text[96];
        const StoredFieldChange& change = row.change;
        std::snprintf(text, sizeof text, "%s %d/%d %x->%x", historyFieldName(change.field), change.light,
                      change.index, static_cast<unsigned>(change.from), static_cast<unsigned>(change.to));
        return text;
    }
    case HistoryEvent::Outcome: return std::string(historyOutcomeName(row.outcome)) + ": " + row.reason;
    }
    return "?";
}

// Every row of the history file in the current folder; none may be skipped.
inline std::vector<HistoryRow> historyRows() {
    int skipped = 0;
    std::vector<HistoryRow> rows = parseHistoryText(readWholeFile(kHistoryFileName), skipped);
    EXPECT_EQ(skipped, 0);
    return rows;
}

inline std::vector<std::string> historyLines() {
    std::vector<std::string> lines;
    for (const HistoryRow& row : historyRows()) lines.push_back(historyLine(row));
    return lines;
}

}  // namespace spelvane::testing
