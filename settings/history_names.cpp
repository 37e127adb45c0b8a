// spelvane-history.csv: the names a row gives its event, outcome and field.
#include <string_view>

#include "settings/history_file.h"

namespace spelvane {

const char* historyEventName(HistoryEvent event) {
    switch (event) {
    case HistoryEvent::Start: return "start";
    case HistoryEvent::Change: return "change";
    case HistoryEvent::Outcome: return "outcome";
    }
    return nullptr;
}

const char* historyOutcomeName(HistoryOutcome outcome) {
    switch (outcome) {
    case HistoryOutcome::Written: return "written";
    case HistoryOutcome::NoChanges: return "no changes";
    case HistoryOutcome::Refused: return "refused";
    case HistoryOutcome::Failed: return "failed";
    case HistoryOutcome::NoSection: return "no section";
    case HistoryOutcome::BackupFailed: return "backup failed";
    case HistoryOutcome::BackedUp: return "backed up";
    }
    return nullptr;
}

bool historyOutcomeFromName(const std::string& name, HistoryOutcome& outcome) {
    for (HistoryOutcome each : {HistoryOutcome::Written, HistoryOutcome::NoChanges, HistoryOutcome::Refused,
                                HistoryOutcome::Failed, HistoryOutcome::NoSection, HistoryOutcome::BackupFailed,
                                HistoryOutcome::BackedUp}) {
        if (name == historyOutcomeName(each)) {
            outcome = each;
            return true;
        }
    }
    return false;
}

const char* historyFieldName(StoredFieldChange::Field field) {
    using Field = StoredFieldChange::Field;
    switch (field) {
    case Field::HalfClock: return "halfClock";
    case Field::AddressCount: return "addressCount";
    case Field::Address: return "address";
    case Field::LightCount: return "lightCount";
    case Field::LightWord: return "lightWord";
    }
    return nullptr;
}

bool historyFieldFromName(const std::string& name, StoredFieldChange::Field& field) {
    using Field = StoredFieldChange::Field;
    for (Field each : {Field::HalfClock, Field::AddressCount, Field::Address, Field::LightCount, Field::LightWord}) {
        if (name == historyFieldName(each)) {
            field = each;
            return true;
        }
    }
    return false;
}

namespace {
constexpr std::string_view kSettledBefore = "reader settled before";
constexpr std::string_view kPartBefore = "reader held part of run ";
constexpr std::string_view kPartBeforeEnd = " before";
}  // namespace

std::string readerBeforeText(ReaderBefore before, const std::string& run) {
    switch (before) {
    case ReaderBefore::Settled: return std::string(kSettledBefore);
    case ReaderBefore::HeldPart: return std::string(kPartBefore) + run + std::string(kPartBeforeEnd);
    case ReaderBefore::NotJudged: break;
    }
    return {};
}

ReaderBefore readerBeforeOf(const std::string& cell, std::string* run) {
    if (cell == kSettledBefore) return ReaderBefore::Settled;
    const std::string_view text(cell);
    if (text.size() > kPartBefore.size() + kPartBeforeEnd.size() && text.substr(0, kPartBefore.size()) == kPartBefore &&
        text.substr(text.size() - kPartBeforeEnd.size()) == kPartBeforeEnd) {
        if (run) *run = cell.substr(kPartBefore.size(), cell.size() - kPartBefore.size() - kPartBeforeEnd.size());
        return ReaderBefore::HeldPart;
    }
    // Anything else, typed in or from a version that wrote nothing there,
    // tells nothing.
    return ReaderBefore::NotJudged;
}

}  // namespace spelvane
