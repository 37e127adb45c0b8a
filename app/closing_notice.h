#pragma once
// The box that closes a Store or a Restore: it tells the operator what
// happened to the readers, so that a restart is asked for only when a
// reader was changed, and a reader left as it was is named.
#include <string>

#include "app/app_state.h"

namespace spelvane {

constexpr const char* kRestartNotice = "Restart device to apply changes!";
// Instead of the restart notice when a device's write or read-back failed:
// the device may hold part of the change. %s: the backup file of the store.
constexpr const char* kStoreFailedNotice =
    "The store FAILED: the device may now hold only part of the change.\n\n"
    "Restore the backup file %s to bring back the settings it held before.";
constexpr const char* kRestoreFailedNotice =
    "The restore FAILED: the device may now hold only part of the file's settings.\n\n"
    "Restore the file again once the device answers.";
constexpr const char* kNothingWritten = "Nothing was written to the device.";
// Instead of the restart notice when nothing was written on a reader that
// holds part of an earlier change: %s the lines naming each change and its
// backup, %s the folder the backups are in.
constexpr const char* kPartHeldNotice =
    "Nothing was written to the device: it already holds what you chose, but only part of an earlier change.\n\n"
    "%s\n\nTo do so, press Restore and choose that backup file in %s.";
constexpr const char* kBackupFailedNotice =
    "Nothing was written to the device: the settings it holds now could not be saved (see the log).";
// Instead of kBackupFailedNotice when the folder refused the backup's file:
// every later Store would fail the same way. %s: backupFolderRefusal.
constexpr const char* kFolderNotWritableNotice =
    "Nothing was written to the device: the settings it holds now could not be saved, because %s.\n\n"
    "Start Spelvane from its Start menu shortcut, which keeps the backups in the workstation folder, "
    "or copy it into a folder of your own and start it there.";
// A change of Half Clock over part of an unsettled change: %s why, %s what
// to restore first (HalfClockRefusal).
constexpr const char* kHalfClockRefusedNotice = "Nothing was written to the device: %s.\n\n%s.";
constexpr const char* kFileUnreadableNotice = "Nothing was written to the device: the file %s cannot be read.";
constexpr const char* kUnicodeFileNotice =
    "Nothing was written to the device: the file %s is saved as Unicode.\n\n"
    "Open it in Notepad and save it again with the encoding ANSI.";
constexpr const char* kNoSectionForReader = "%s was not restored: the file %s holds no section for it.";
constexpr const char* kSectionRefusedForReader = "%s was not restored: its section in %s was refused (see the log).";
// Any of the boxes above ends, when the change history could not be
// written, with what it lacks (historyMissingText in change_history.h).
constexpr const char* kChangeRefusedForReader = "%s was not changed: the change was refused (see the log).";

// "the folder F cannot be written (why)" when the last backup failed
// because its folder refused new files (access denied, read-only); else "".
std::string backupFolderRefusal(const AppState& app);

std::string storeClosingNotice(const AppState& app, const AppState::StoreResult& result);
std::string restoreClosingNotice(const AppState& app, const RestoreSummary& summary, const char* file);

}  // namespace spelvane
