#pragma once
// What the operations put into the change history (spelvane-history.csv in
// the folder the backups go to) and what is read back from it. The rows
// themselves are the file format of settings/history_file.h; this file
// decides which rows a Store, a Restore and a console backup write, and
// when. A history that cannot be written never stops an operation: the log
// says so once and the operation tells its caller through missing().
#include <optional>
#include <string>
#include <vector>

#include "app/app_state.h"
#include "device/call_gate.h"
#include "settings/change_observer.h"
#include "settings/history_file.h"

namespace spelvane {

// Why a store's readers were left as they were when its backup failed.
constexpr const char* kBackupNotSaved = "the settings it holds could not be saved into a new backup file";

// The program every row names; the console companion sets its own name.
void setHistoryProgram(const char* program);

// The history of the folder the backups go to.
std::string historyPath(const AppState& app);

// The library as the history and show name it: its path and version word.
std::string libraryDescription(const LibraryIdentity& library);

// The rows of one command over the open readers. Per reader: beginReader,
// then the observer calls of the store or restore (the start row with the
// changes about to be written, on disk before the first write request), then
// endReader with the outcome.
class ChangeHistory final : public ChangeObserver {
public:
    ChangeHistory(const AppState& app, const char* command);

    // The reader the next rows are for; backup: the file that restores it,
    // file: the settings file a restore writes back.
    void beginReader(int device, const std::string& backup, const std::string& file = std::string());
    void beforeFirstWrite(const SpeedValues& from, const SpeedValues& to) override;
    void refused(const std::string& reason) override;
    void failed(const std::string& request) override;
    // The outcome row of the current reader; its reason is the one the
    // observer heard.
    void endReader(DeviceOutcome outcome);
    void endReader(HistoryOutcome outcome, const std::string& reason = std::string());
    // One outcome row for every open reader, as for a backup.
    void everyReader(HistoryOutcome outcome, const std::string& backup, const std::string& reason = std::string());

    // Some row could not be written: this change is missing from the history.
    bool missing() const { return missing_; }
    const std::string& path() const { return path_; }

private:
    HistoryRow row(HistoryEvent event) const;
    void append(const std::vector<HistoryRow>& rows);

    const AppState& app_;
    std::string path_;
    HistoryRun run_;
    int device_ = 0;
    std::string backup_;
    std::string file_;
    std::string reason_;
    bool missing_ = false;
};

// The reader's last change in entries (one that wrote, or found the reader
// already holding the values) when it has no outcome; a refusal, a backup
// or a missing section leaves the reader as it was and does not count.
std::optional<HistoryEntry> interruptedChange(const std::vector<HistoryEntry>& entries, const std::string& reader);
// What brings the reader of an interrupted change back: the backup of a
// store, or the restore's file once more.
std::string interruptedRemedy(const HistoryEntry& entry);
// The start-up line of an interrupted change: the reader, the time, the remedy.
std::string interruptedChangeLine(const HistoryEntry& entry);
// The names of the open readers, as the history has them.
std::vector<std::string> openReaderNames(const AppState& app);
// One line per open reader whose last change in the history was
// interrupted; a history that cannot be read names none.
std::vector<std::string> interruptedChangeLines(const AppState& app);
// Puts those lines into the log, after discovery.
void logInterruptedChanges(const AppState& app);

}  // namespace spelvane
