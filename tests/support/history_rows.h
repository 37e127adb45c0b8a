#pragma once
// The change history: rows a test builds, and the history of the current
// folder as short lines a test can compare whole: "start <backup> <file>",
// "<field> <light>/<index> <from>-><to>" (hexadecimal) and
// "<outcome>: <reason>".
#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "platform/workstation.h"
#include "settings/history_file.h"
#include "tests/support/scratch_directory.h"

namespace spelvane::testing {

constexpr const char* kRealLibrary = "C:\\lib\\qzsd7.dll, version 0x00010002";

// Rows of store run R1 of 2026-12-08 11:43:55, which took the backup
// KVDEV-A1_20261208114355.set; the library cell, as in every real row,
// holds a comma and is written quoted.
inline HistoryRow startRow(const std::string& reader, const std::string& run = "R1") {
    HistoryRow row;
    row.run = {run, "2026-12-08 11:43:55 +01:00", "WS12", "op", "spelvane", "1.0.0", kRealLibrary,
               "store"};
    row.event = HistoryEvent::Start;
    row.reader = reader;
    row.type = "TYPE1";
    row.backup = "KVDEV-A1_20261208114355.set";
    return row;
}

inline HistoryRow changeRow(const std::string& reader, StoredFieldChange::Field field, int index, int light, int reg,
                            uint32_t from, uint32_t to) {
    HistoryRow row = startRow(reader);
    row.event = HistoryEvent::Change;
    row.change = {field, index, light, reg, from, to};
    return row;
}

inline HistoryRow outcomeRow(const std::string& reader, HistoryOutcome outcome, const std::string& reason = "",
                             const std::string& run = "R1") {
    HistoryRow row = startRow(reader, run);
    row.event = HistoryEvent::Outcome;
    row.outcome = outcome;
    row.reason = reason;
    return row;
}

// A row as this computer writes it: the judgement of a reader reads only its
// own computer's rows.
inline HistoryRow here(HistoryRow row) {
    row.run.computer = platform::computerName();
    return row;
}

inline std::string changeLine(StoredFieldChange::Field field, int light, int index, uint32_t from, uint32_t to) {
    char text[96];
    std::snprintf(text, sizeof text, "%s %d/%d %x->%x", historyFieldName(field), light, index,
                  static_cast<unsigned>(from), static_cast<unsigned>(to));
    return text;
}

inline std::string historyLine(const HistoryRow& row) {
    switch (row.event) {
    case HistoryEvent::Start: return "start " + row.backup + " " + row.file;
    case HistoryEvent::Change:
        return changeLine(row.change.field, row.change.light, row.change.index, row.change.from, row.change.to);
    case HistoryEvent::Outcome: return std::string(historyOutcomeName(row.outcome)) + ": " + row.reason;
    }
    return "?";
}

// Years of ordinary use: stores of forty readers in turn, each command its
// own run id and time, as long as bytes; then one store of lastReader,
// written at the end.
inline std::string longHistory(size_t bytes, const std::string& lastReader) {
    std::string text = historyHeaderLine();
    const auto store = [&text](const std::string& reader, int number) {
        const std::string run = "20200101T" + std::to_string(100000 + number % 900000) + "-WS" + std::to_string(number);
        HistoryRow row = startRow(reader, run);
        row.run.time = "2020-01-01 10:" + std::to_string(10 + number % 50) + ":00 +01:00";
        text += formatHistoryRow(row);
        row.event = HistoryEvent::Change;
        row.change = {StoredFieldChange::Field::LightWord, 2, 0, 5, 0x100, 0x155};
        text += formatHistoryRow(row);
        row.event = HistoryEvent::Outcome;
        text += formatHistoryRow(row);
    };
    for (int number = 0; text.size() < bytes; ++number) store("KVDEV-R" + std::to_string(number % 40), number);
    store(lastReader, -1);
    return text;
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
