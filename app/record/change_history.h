#pragma once
// What the operations put into the change history (spelvane-history.csv in
// the folder the backups go to) and what is read back from it. The rows
// themselves are the file format of settings/history_file.h; this file
// decides which rows a Store, a Restore and a console backup write, and
// when. A history that cannot be written never stops an operation: the log
// says what is missing once and finish() tells the caller the same.
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

// The library as the history and show name it: its path and version word.
std::string libraryDescription(const LibraryIdentity& library);

// The facts every row of one command shares, taken now: its run id, the
// time, the computer, the user, the program and the library.
HistoryRun commandRun(const char* command);

// The history of the folder the backups go to, to be opened now: the start
// folder is made the current one again (AppState::returnToStartFolder) and
// the file named relative to it, so that any folder the backups work in,
// whatever letters its name holds, takes the history too. A start folder
// that cannot be entered again is named whole, never the current one.
std::string historyPath(const AppState& app);

// The rows of one command over the open readers. Per reader: beginReader,
// then the observer calls of the store or restore (the start row with the
// changes about to be written, on disk before the first write request), then
// endReader with the outcome; finish once the command is done.
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

    // Rows that could not be written are tried again, a few times, a moment
    // apart (a spreadsheet or a virus scanner may hold the file briefly);
    // what is still missing then goes into the log once, and is returned:
    // "" when the history holds the whole command.
    std::string finish();

    const HistoryRun& run() const { return run_; }

private:
    HistoryRow row(HistoryEvent event) const;
    void append(const std::vector<HistoryRow>& rows);
    bool writePending();

    const AppState& app_;
    HistoryRun run_;
    int device_ = 0;
    std::string backup_;
    std::string file_;
    std::string reason_;
    // Rows not yet on disk, oldest first. Once one row fails, every later
    // one waits behind it, so that the file never holds an outcome before
    // its start. The first inFile_ of them are whole in the file already (a
    // write that stopped partway, a failed flush): they are not written
    // again, only put on disk with the rest.
    std::vector<HistoryRow> pending_;
    size_t inFile_ = 0;
    int written_ = 0;
    std::string error_;
};

// What a command's history lacks, for the operator: "" when nothing;
// otherwise the rows missing from the end of the command (pending), knowing
// how many of its rows made it (written).
std::string historyMissingText(const std::vector<HistoryRow>& pending, int written);
// The text with its first letter in capitals, to begin a sentence.
std::string capitalised(std::string text);

}  // namespace spelvane
