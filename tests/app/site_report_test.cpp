// The site's report file: rows it did not take wait in the workstation
// folder and reach it, in order and once, with the next run that can write
// it; a file another program holds stops a run no longer than the bound.
#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "app/report_spool.h"
#include "app/site_report.h"
#include "platform/files.h"
#include "platform/line_append.h"
#include "platform/output_file.h"
#include "tests/support/fake_timing.h"
#include "tests/support/scratch_directory.h"

namespace spelvane::testing {
namespace {

SiteReportRow rowOf(const std::string& run) {
    SiteReportRow row;
    row.run = run;
    row.reference = "-HBlank 341";  // a cell guarded as a formula travels through the spool unchanged
    return row;
}

std::string linesOf(const std::vector<std::string>& runs) {
    std::string text;
    for (const std::string& run : runs) text += siteReportLine(rowOf(run));
    return text;
}

TEST(SiteReportTest, RowsTheReportDidNotTakeReachItLaterInOrderAndOnce) {
    ScratchDirectory scratch;
    FakeTiming clock;
    const std::string report = "report.csv";
    const std::string spool = kReportSpoolFileName;
    std::optional<platform::OutputFile> holder;
    std::optional<platform::AppendLock> held;
    struct Step {
        const char* what;
        std::function<void()> before;
        std::vector<std::string> runs;
        bool reached;                         // this run's rows are in the report
        size_t earlierSent;
        std::vector<std::string> inReport;    // the report's rows afterwards ("" no file)
        std::vector<std::string> keptForIt;   // the spool's rows for report afterwards
    } steps[] = {
        {"a folder in the report's place: kept", [&] { std::filesystem::create_directory(report); }, {"A1", "A2"},
         false, 0, {}, {"A1", "A2"}},
        {"still a folder: kept behind them", [] {}, {"B1"}, false, 0, {}, {"A1", "A2", "B1"}},
        {"another report's rows stay kept",
         [&] { std::filesystem::create_directory("other.csv"); deliverSiteReport("other.csv", spool, {rowOf("O1")}); },
         {"B2"}, false, 0, {}, {"A1", "A2", "B1", "B2"}},
        {"writable again: the kept first, each once", [&] { std::filesystem::remove(report); }, {"C1"}, true, 4,
         {"A1", "A2", "B1", "B2", "C1"}, {}},
        {"held past the bound: kept, the wait bounded",
         [&] { holder.emplace(); holder->openForAppend(report); held.emplace(*holder); },
         {"D1"}, false, 0, {"A1", "A2", "B1", "B2", "C1"}, {"D1"}},
        {"let go: sent behind the earlier", [&] { held.reset(); holder.reset(); }, {"E1"}, true, 1,
         {"A1", "A2", "B1", "B2", "C1", "D1", "E1"}, {}},
    };
    for (const Step& step : steps) {
        SCOPED_TRACE(step.what);
        step.before();
        std::vector<SiteReportRow> rows;
        for (const std::string& run : step.runs) rows.push_back(rowOf(run));
        clock.clearSleeps();
        const ReportDelivery delivery = deliverSiteReport(report, spool, rows);
        EXPECT_EQ(delivery.error.empty(), step.reached) << delivery.error;
        // A holder keeps the run no longer than the bound, and is named.
        EXPECT_LE(clock.totalSleptMs(), platform::kAppendWaitMs + platform::kAppendPollMs);
        if (held) {
            EXPECT_GE(clock.totalSleptMs(), platform::kAppendWaitMs);
            EXPECT_NE(delivery.error.find("cannot lock report.csv"), std::string::npos) << delivery.error;
            EXPECT_NE(delivery.error.find("another computer appending"), std::string::npos) << delivery.error;
        }
        EXPECT_EQ(delivery.keptIn, step.reached ? "" : spool);
        EXPECT_EQ(delivery.spoolError, "");
        EXPECT_EQ(delivery.earlierSent, step.earlierSent);
        if (!std::filesystem::is_directory(report))
            EXPECT_EQ(readWholeFile(report), step.inReport.empty() ? "" : siteReportHeader() + linesOf(step.inReport));
        ReportSpool kept(spool, platform::wholePath(report));
        std::string error;
        ASSERT_TRUE(kept.read(error)) << error;
        std::string keptText;
        for (const std::string& line : kept.kept()) keptText += line;
        EXPECT_EQ(keptText, linesOf(step.keptForIt));
    }
    // The other report's row outlived every rewrite of the spool.
    ReportSpool other(spool, platform::wholePath("other.csv"));
    std::string error;
    ASSERT_TRUE(other.read(error)) << error;
    EXPECT_EQ(other.kept().size(), 1u);
}

}  // namespace
}  // namespace spelvane::testing
