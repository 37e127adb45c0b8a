#include "app/closing_notice.h"

#include <cstdio>

#include "app/record/change_history.h"
#include "platform/files.h"
#include "platform/output_file.h"

namespace spelvane {
namespace {

std::string formatted(const char* format, const char* first, const char* second = "") {
    const int length = std::snprintf(nullptr, 0, format, first, second);
    if (length <= 0) return format;
    std::string text(static_cast<size_t>(length) + 1, '\0');
    std::snprintf(text.data(), text.size(), format, first, second);
    text.resize(static_cast<size_t>(length));
    return text;
}

// The folder the backups go to, as the operator finds it.
std::string backupFolder(const AppState& app) {
    return app.startFolder.empty() ? platform::currentFolder() : platform::folderAsShown(app.startFolder);
}

// The restart notice when a reader was written or every reader already held
// the values; otherwise the nothing-written headline. Then one line for each
// reader that was left as it was for a reason the operator should know.
template <typename WhyNot>
std::string closingNotice(const AppState& app, const OperationSummary& summary, const char* nothing,
                          WhyNot whyNot) {
    const int count = app.boundCount();
    const bool changedOrCurrent = summary.stored > 0 || (count > 0 && summary.unchanged == count);
    std::string text = changedOrCurrent ? kRestartNotice : nothing;
    for (int i = 0; i < count; ++i) {
        const std::string why = whyNot(i, summary.outcome[i]);
        if (!why.empty()) text += "\n\n" + why;
    }
    return text;
}

bool leftAsItWas(const std::optional<DeviceOutcome>& outcome) {
    return !outcome || *outcome == DeviceOutcome::Refused;
}

// The box as it is, and one line more when the history lacks this change.
std::string withHistoryLine(std::string text, const OperationSummary& summary) {
    if (summary.historyMissing.empty()) return text;
    return text + "\n\n" + capitalised(summary.historyMissing) + " (see the log).";
}

std::string storeBox(const AppState& app, const AppState::StoreResult& result) {
    if (result.refused)
        return formatted(kHalfClockRefusedNotice, result.refused->why.c_str(), capitalised(result.refused->remedy).c_str());
    if (!result.backedUp) {
        const std::string refusal = backupFolderRefusal(app);
        return refusal.empty() ? kBackupFailedNotice : formatted(kFolderNotWritableNotice, refusal.c_str());
    }
    if (result.summary.failed > 0) return formatted(kStoreFailedNotice, app.lastBackupFile);
    if (!result.partHeld.empty()) {
        std::string lines;
        for (const std::string& line : result.partHeld) lines += (lines.empty() ? "" : "\n") + line;
        return formatted(kPartHeldNotice, lines.c_str(), backupFolder(app).c_str());
    }
    return closingNotice(app, result.summary, kNothingWritten, [&](int i, const std::optional<DeviceOutcome>& outcome) {
        return leftAsItWas(outcome) ? formatted(kChangeRefusedForReader, app.readerName(i).c_str()) : std::string();
    });
}

std::string restoreBox(const AppState& app, const RestoreSummary& summary, const char* name) {
    if (summary.unicode) return formatted(kUnicodeFileNotice, name);
    if (!summary.opened) return formatted(kFileUnreadableNotice, name);
    if (summary.failed > 0) return kRestoreFailedNotice;
    return closingNotice(app, summary, kNothingWritten, [&](int i, const std::optional<DeviceOutcome>& outcome) {
        if (!leftAsItWas(outcome)) return std::string();
        return formatted(outcome ? kSectionRefusedForReader : kNoSectionForReader, app.readerName(i).c_str(), name);
    });
}

}  // namespace

std::string backupFolderRefusal(const AppState& app) {
    using platform::FileFault;
    if (app.backupFault != FileFault::Denied && app.backupFault != FileFault::ReadOnly) return {};
    const std::string folder = backupFolder(app);
    return formatted("the folder %s cannot be written (%s)", folder.c_str(), platform::describeFileFault(app.backupFault));
}

std::string storeClosingNotice(const AppState& app, const AppState::StoreResult& result) {
    return withHistoryLine(storeBox(app, result), result.summary);
}

std::string restoreClosingNotice(const AppState& app, const RestoreSummary& summary, const char* file) {
    return withHistoryLine(restoreBox(app, summary, file ? file : ""), summary);
}

}  // namespace spelvane
