#include "app/console/cli_preview.h"

#include <cstdio>
#include <string>
#include <vector>

#include "app/console/cli_output.h"
#include "app/console/cli_session.h"
#include "device/device_slot.h"
#include "settings/change_computation.h"
#include "settings/one_line.h"
#include "settings/reference_comparison.h"
#include "settings/settings_file.h"
#include "settings/stored_changes.h"

namespace spelvane::cli {
namespace {

using Outcome = ReaderReport::Outcome;

ReaderReport reportFor(const SpeedSettings& record) {
    ReaderReport report;
    report.name = record.device ? record.device->name() : std::string();
    report.type = record.typeName();
    return report;
}

// What check, sync and verify say of a reader: the one comparison with
// the reference, every field and every light.
void compare(ReaderReport& report, const SpeedValues& device, const Reference& reference) {
    const ReferenceComparison comparison = compareWithReference(device, reference);
    switch (comparison.outcome) {
    case ReferenceComparison::Outcome::Holds: report.outcome = Outcome::Same; break;
    case ReferenceComparison::Outcome::Differs: report.outcome = Outcome::Different; break;
    case ReferenceComparison::Outcome::Refused:
        report.outcome = Outcome::Refused;
        report.reason = oneLine(comparison.refusal);
        break;
    }
    report.changes = comparison.differences;
}

Reference sectionReference(const SpeedValues& section) {
    Reference reference;
    reference.section = section;
    return reference;
}

// A dry run of a command that will store: every write of the store is told,
// those that carry what the reader already holds as well. A store of the
// register list and header alone (HBlank on a reader without lights) is
// still a store.
void previewStore(ReaderReport& report, const SpeedValues& device, const SpeedValues& target) {
    report.changes = storedValueChanges(device, target);
    report.rewritten = unchangedWrites(device, target);
    report.outcome = Outcome::Different;
}

}  // namespace

void printReport(ReportKind kind, const Request& request, const std::vector<ReaderReport>& readers,
                 const std::string& backup) {
    const std::string text = request.json ? formatReportJson(kind, readers, request.file, backup)
                                          : formatReportText(kind, readers, request.file);
    std::fputs(text.c_str(), stdout);
}

OperatorChoice choiceOf(const Request& request) {
    OperatorChoice choice;
    choice.hblank = request.hblank;
    choice.halfClock = request.halfClock;
    // The operator named N for every light, not for what one light shows.
    choice.hblankMeets = OperatorChoice::HBlankMeets::EveryLight;
    return choice;
}

namespace {

// Each open reader against the section a restore of the file would give it,
// read by the restore's own reader; nothing is written.
bool readersAgainstFile(AppState& app, const std::string& path, ReportKind kind,
                        std::vector<ReaderReport>& readers) {
    const int count = app.boundCount();
    SpeedValues wanted[2];
    std::string refusals[2];
    const RestoreSummary summary = app.takeSections(path.c_str(), [&](int device, std::FILE* file) {
        wanted[device] = app.settings[device].snapshot();
        if (!readSettingsSection(file, wanted[device], refusals[device])) return DeviceOutcome::Refused;
        const ReferenceComparison comparison =
            compareWithReference(app.settings[device].snapshot(), sectionReference(wanted[device]));
        return comparison.outcome == ReferenceComparison::Outcome::Differs ? DeviceOutcome::Stored
                                                                          : DeviceOutcome::Unchanged;
    });
    if (fileUnread(summary, path, false)) {
        // A file that cannot be read gives no reader a section.
        for (int i = 0; i < count; ++i) {
            readers.push_back(reportFor(app.settings[i]));
            readers.back().outcome = Outcome::NoSection;
        }
        return false;
    }
    for (int i = 0; i < count; ++i) {
        ReaderReport report = reportFor(app.settings[i]);
        const std::optional<DeviceOutcome>& outcome = summary.outcome[i];
        if (!outcome) {
            report.outcome = Outcome::NoSection;
        } else if (*outcome == DeviceOutcome::Refused) {
            report.outcome = Outcome::Refused;
            report.reason = refusals[i];
        } else if (kind == ReportKind::RestorePreview && *outcome == DeviceOutcome::Stored) {
            previewStore(report, app.settings[i].snapshot(), wanted[i]);
        } else {
            compare(report, app.settings[i].snapshot(), sectionReference(wanted[i]));
        }
        readers.push_back(report);
    }
    return true;
}

// check and sync hold each reader to the options; the store's dry run
// tells every write the store sends, those that change nothing as well.
void readersAgainstChoice(AppState& app, const OperatorChoice& choice, ReportKind kind,
                          std::vector<ReaderReport>& readers) {
    for (int i = 0; i < app.boundCount(); ++i) {
        ReaderReport report = reportFor(app.settings[i]);
        const SpeedValues current = app.settings[i].snapshot();
        if (kind != ReportKind::StorePreview) {
            Reference reference;
            reference.choice = choice;
            compare(report, current, reference);
        } else if (const ChangePlan plan = computeChange(current, choice); plan.outcome == ChangePlan::Outcome::Refused) {
            report.outcome = Outcome::Refused;
            report.reason = oneLine(plan.refusal);
        } else if (plan.outcome == ChangePlan::Outcome::Change) {
            previewStore(report, current, plan.target);
        }
        readers.push_back(report);
    }
}

}  // namespace

bool readersAgainstReference(AppState& app, const Request& request, std::vector<ReaderReport>& readers) {
    if (!request.file.empty()) return readersAgainstFile(app, request.file, ReportKind::Check, readers);
    readersAgainstChoice(app, choiceOf(request), ReportKind::Check, readers);
    return true;
}

bool any(const std::vector<ReaderReport>& readers, Outcome outcome) {
    for (const ReaderReport& reader : readers)
        if (reader.outcome == outcome) return true;
    return false;
}

bool eachHasASection(const std::vector<ReaderReport>& readers) {
    return !any(readers, Outcome::NoSection) && !any(readers, Outcome::Refused);
}

namespace {

// verify and the restore's dry run: the readers against the file, printed.
// 5 when a reader finds no section it can take (the restore would leave it
// as it is); otherwise 6 for a verify that found a difference.
int reportAgainstFile(AppState& app, const Request& request, ReportKind kind) {
    std::vector<ReaderReport> readers;
    if (!readersAgainstFile(app, request.file, kind, readers)) return kFileUnusable;
    printReport(kind, request, readers);
    if (!eachHasASection(readers)) {
        fail("%s holds no usable section for every open reader", request.file.c_str());
        return kFileUnusable;
    }
    return kind == ReportKind::Verify && any(readers, Outcome::Different) ? kDiffers : kDone;
}

}  // namespace

int runVerify(AppState& app, const Request& request) { return reportAgainstFile(app, request, ReportKind::Verify); }

int runRestorePreview(AppState& app, const Request& request) {
    return reportAgainstFile(app, request, ReportKind::RestorePreview);
}

int runStorePreview(AppState& app, const Request& request) {
    std::vector<ReaderReport> readers;
    readersAgainstChoice(app, choiceOf(request), ReportKind::StorePreview, readers);
    printReport(ReportKind::StorePreview, request, readers);
    if (any(readers, Outcome::Refused)) {
        fail("the change would be refused; store would write nothing to the device that refuses it");
        return kDeviceFailed;
    }
    if (const auto refused = halfClockRefusal(app, choiceOf(request))) {
        fail("%s; store would write nothing to the device", refused->line().c_str());
        return kDeviceFailed;
    }
    return kDone;
}

int runCheck(AppState& app, const Request& request, std::vector<ReaderReport>& readers) {
    if (!readersAgainstReference(app, request, readers)) return kFileUnusable;
    printReport(ReportKind::Check, request, readers);
    if (!request.file.empty() && !eachHasASection(readers)) {
        fail("%s holds no usable section for every open reader", request.file.c_str());
        return kFileUnusable;
    }
    // A reader that would refuse the values does not hold them either.
    return any(readers, Outcome::Different) || any(readers, Outcome::Refused) ? kDiffers : kDone;
}

}  // namespace spelvane::cli
