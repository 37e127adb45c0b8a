#include "app/doctor.h"

#include <cctype>
#include <map>
#include <utility>

#include "app/record/change_history.h"
#include "app/record/reader_judgement.h"
#include "app/record/unfinished_changes.h"
#include "app/event_report.h"
#include "app/reader_absence.h"
#include "app/record/running_change.h"
#include "device/call_gate.h"
#include "device/device_slot.h"
#include "device/discovery.h"
#include "platform/event_log.h"
#include "platform/files.h"
#include "platform/folder_room.h"
#include "platform/output_file.h"
#include "platform/system_version.h"
#include "platform/timer_resolution.h"
#include "platform/workstation.h"

namespace spelvane {
namespace {

using Verdict = DoctorCheck::Verdict;

DoctorCheck programCheck(const std::string& program) {
    const std::string system = platform::systemVersion();
    return {"program", Verdict::Ok,
            program + " " + SPELVANE_VERSION + " on " + (system.empty() ? "an unknown system" : system)};
}

DoctorCheck libraryCheck(bool loaded) {
    LibraryIdentity library;
    // The simulator answers as a reader would: only its name tells that no
    // device is behind it.
    if (loaded && loadedLibrary(library) && library.simulated)
        return {"library", Verdict::Note,
                "the simulated reader's library, which reaches no device: " + libraryDescription(library) +
                    "; for a real reader put the reader's own qzsd7.dll in its place"};
    if (loaded && loadedLibrary(library)) return {"library", Verdict::Ok, libraryDescription(library)};
    return {"library", Verdict::Fix,
            std::string("none loaded (") + loaderMessage() +
                "); " + kLibraryRemedy};
}

// The readers, as discovery found them; busy: another Spelvane holds them.
DoctorCheck readersCheck(bool libraryLoaded, bool busy, bool found, const AppState& app, const std::string& box) {
    if (!libraryLoaded) return {"readers", Verdict::Fix, "not asked: they are found through the library"};
    if (busy) return {"readers", Verdict::Fix, "not asked while another Spelvane holds them"};
    const int expected = expectedReaders(app);
    // A few names tell which readers are plugged in; a long list helps no one.
    std::string names;
    for (int i = 0; i < app.deviceCount && i < 8; ++i)
        names += (i ? ", " : "") + app.devices[i].name() + (i < app.boundCount() ? " (" + app.settings[i].typeName() + ")" : "");
    if (app.deviceCount == 0) return {"readers", Verdict::Fix, std::string("none found; ") + kNoReaderRemedy};
    if (expected == 0)
        return {"readers", Verdict::Fix,
                std::to_string(app.deviceCount) + " found that are no matched pair (" + names +
                    "); " + kNoPairRemedy};
    if (!found || app.boundCount() < expected)
        return {"readers", Verdict::Fix,
                names + ": " + (box.empty() ? "cannot be opened" : box) + "; " + kUnopenedRemedy};
    return {"readers", Verdict::Ok, (expected == 2 ? "a matched pair: " : "one reader: ") + names};
}

// Per reader of this computer the history names, its newest entry, which
// tells whether its newest change may still be running; the judgement
// itself reads each reader's changes back from the end, as the start-up
// does. Another computer's reader of the same name is another reader.
class ChangesByReader {
public:
    void add(HistoryEntry& entry) {
        ++count_;
        if (!sameComputer(entry.run.computer)) return;
        readers_[entry.reader] = std::move(entry);
    }
    const std::map<std::string, HistoryEntry>& readers() const { return readers_; }
    uint64_t count() const { return count_; }

private:
    static bool sameComputer(const std::string& computer) {
        static const std::string here = platform::computerName();
        if (computer.size() != here.size()) return false;
        for (size_t i = 0; i < here.size(); ++i)
            if (std::tolower(static_cast<unsigned char>(computer[i])) != std::tolower(static_cast<unsigned char>(here[i])))
                return false;
        return true;
    }
    std::map<std::string, HistoryEntry> readers_;
    uint64_t count_ = 0;
};

const SpeedSettings* openReader(const AppState& app, const std::string& reader) {
    for (int i = 0; i < app.boundCount(); ++i)
        if (app.settings[i].device && app.readerName(i) == reader) return &app.settings[i];
    return nullptr;
}

std::string noHistoryYet() { return std::string("none yet (") + kHistoryFileName + ")"; }

// A row cut short as it was written (a power cut, a full disk) hides only
// itself, and the next change's rows read as before: nothing to mend. Any
// other row that cannot be read was changed by someone.
std::optional<DoctorCheck> skippedRowsCheck(int skipped, int cutShort) {
    const int edited = skipped - cutShort;
    if (edited > 0)
        return DoctorCheck{"history", Verdict::Fix,
                           std::to_string(edited) + (edited == 1 ? " row" : " rows") + " of " + kHistoryFileName +
                               " cannot be read and " + (edited == 1 ? "is" : "are") +
                               " left out; mend or remove what was edited by hand"};
    if (cutShort > 0)
        return DoctorCheck{"history", Verdict::Note,
                           std::to_string(cutShort) + (cutShort == 1 ? " row" : " rows") + " of " +
                               kHistoryFileName + (cutShort == 1 ? " was" : " were") +
                               " cut short as it was written (a power cut, a full disk) and left out; the rows "
                               "after it read as before"};
    return std::nullopt;
}

// What the history says of each reader's changes. Every reader the
// history knows counts, open or not: without a library none is open, and a
// reader plugged in elsewhere today may hold half a change. An open reader
// is asked as the start-up asks it: a change it holds whole, or not at all,
// is settled on the reader and only noted; so is one still running.
DoctorCheck historyContentCheck(const ChangesByReader& history, const AppState& app, bool readersInUse,
                                int skipped, int cutShort) {
    std::string note;
    std::string unasked;  // readers whose changes only the history's rows vouch for
    const std::vector<std::string> paths = historyPaths(app);
    for (const auto& [reader, newest] : history.readers()) {
        if (isRunningChange({newest}, 0, readersInUse)) {
            if (note.empty()) note = runningChangeLine(newest);
            continue;
        }
        const SpeedSettings* open = openReader(app, reader);
        if (!open) unasked += (unasked.empty() ? "" : ", ") + reader;
        const SpeedValues held = open ? open->snapshot() : SpeedValues{};
        const auto change = judgeReaderHistories(paths, reader, open ? &held : nullptr).change;
        if (change && change->interrupted()) return {"history", Verdict::Fix, unfinishedChangeLine(*change)};
        if (change && note.empty()) note = unfinishedChangeLine(*change);
    }
    const std::optional<DoctorCheck> rows = skippedRowsCheck(skipped, cutShort);
    if (rows && rows->verdict == Verdict::Fix) return *rows;
    if (!note.empty()) return {"history", Verdict::Note, note};
    if (rows) return *rows;
    const uint64_t count = history.count();
    // The installer makes the history empty, so that the programs can only
    // add to it: no row yet is no change yet.
    if (count == 0) return {"history", Verdict::Ok, noHistoryYet()};
    std::string said = std::to_string(count) + (count == 1 ? " change in " : " changes in ") + kHistoryFileName;
    // Anyone may add an outcome row: only a reader's own values settle it.
    if (unasked.empty()) return {"history", Verdict::Ok, said + ", each finished"};
    return {"history", Verdict::Ok,
            said + ", each recorded as finished; " + unasked + (readersInUse ? ": in use by another Spelvane" : ": not open") +
                ", so the values it holds were not compared"};
}

const char* historyWriteRemedy(platform::FileFault fault) {
    switch (fault) {
    case platform::FileFault::InUse: return "close the program that holds it open (a spreadsheet, an editor)";
    case platform::FileFault::ReadOnly: return "clear its read-only attribute";
    case platform::FileFault::Denied: return "give this user the right to change it";
    default: return "check the file and its disk";
    }
}

// The history opened as a change opens it to add its rows, and closed
// again: not a byte is written.
std::optional<DoctorCheck> historyWriteCheck(const std::string& path) {
    platform::OutputFile file;
    if (file.openForAppend(path)) {
        file.close();
        return std::nullopt;
    }
    return DoctorCheck{"history", Verdict::Fix,
                       std::string(kHistoryFileName) + " cannot be written (" + describeFileFault(file.fault()) +
                           "): changes would go unrecorded; " + historyWriteRemedy(file.fault())};
}

DoctorCheck eventSourceCheck() {
    if (platform::eventSourceRegistered(kEventSource))
        return {"event source", Verdict::Ok, std::string(kEventSource) + " is registered with the Application log"};
    // A copy from the zip: the events are written all the same.
    return {"event source", Verdict::Note,
            std::string(kEventSource) + " is not registered: the events are written, but the event viewer shows "
                                        "them without their text; the installer registers it"};
}

}  // namespace

DoctorCheck folderCheck(const std::string& folder, bool takesNewFiles, std::optional<uint64_t> freeBytes) {
    if (!takesNewFiles)
        return {"folder", Verdict::Fix, folder + " cannot be written: no backup could be saved; start from a folder you may write to"};
    if (!freeBytes) return {"folder", Verdict::Fix, folder + ": the free space cannot be told; check the disk"};
    if (*freeBytes < kRoomForABackup)
        return {"folder", Verdict::Fix, folder + ": its disk is full; free some space for the backups"};
    return {"folder", Verdict::Ok,
            folder + " takes the backups (" + std::to_string(*freeBytes / (1024 * 1024)) + " MB free)"};
}

std::vector<DoctorCheck> historyChecks(const AppState& app, bool readersInUse) {
    const std::string path = historyPath(app);
    ChangesByReader history;
    int skipped = 0;
    int cutShort = 0;
    std::string error;
    if (!forEachHistoryEntry(path, [&](HistoryEntry& entry) { history.add(entry); }, skipped, error, &cutShort)) {
        // Missing, it is made by the first change: the folder check tells
        // whether it can be.
        if (error == "no history") return {{"history", Verdict::Ok, noHistoryYet()}};
        return {{"history", Verdict::Fix, error + "; close the program that holds it, or make it readable"}};
    }
    const DoctorCheck content = historyContentCheck(history, app, readersInUse, skipped, cutShort);
    const std::optional<DoctorCheck> writing = historyWriteCheck(path);
    if (!writing) return {content};
    if (content.verdict == Verdict::Ok) return {*writing};
    return {content, *writing};
}

std::vector<DoctorCheck> examineWorkstation(AppState& app, const std::string& program,
                                            const ReferenceChecks& referenceChecks) {
    FirstBoxPort port;
    DialogPort& previous = dialogPort();
    setDialogPort(&port);
    std::vector<DoctorCheck> checks{programCheck(program)};
    const bool loaded = ensureDeviceLibrary();
    checks.push_back(libraryCheck(loaded));
    {
        platform::TimerResolutionScope fineTimer;
        const bool found = loaded && app.discoverDevices(nullptr);
        // Without a library discovery never reached the lock: asked on its own.
        const bool busy = loaded ? port.box == kReadersBusyText : readersInUseNow();
        checks.push_back(busy ? DoctorCheck{"lock", Verdict::Fix,
                                            std::string("another Spelvane is using the readers; ") + kReadersBusyRemedy}
                              : DoctorCheck{"lock", Verdict::Ok, "no other Spelvane is using the readers"});
        checks.push_back(readersCheck(loaded, busy, found, app, port.box));
        const bool readersOpen = checks.back().verdict == Verdict::Ok;
        if (readersOpen)
            for (DoctorCheck& check : readerSettingsChecks(app)) checks.push_back(std::move(check));
        if (referenceChecks && readersOpen)
            for (DoctorCheck& check : referenceChecks(app)) checks.push_back(std::move(check));
        else if (referenceChecks)
            checks.push_back({"reference", Verdict::Fix, "not compared: no reader is open"});
        // The folder as the backups and the history name it, whatever
        // letters its name holds.
        const std::string folder = app.startFolder.empty() ? platform::currentFolderKept() : app.startFolder;
        uint64_t free = 0;
        const bool freeKnown = platform::folderFreeBytes(folder, free);
        checks.push_back(folderCheck(platform::folderAsShown(folder), platform::folderTakesNewFiles(folder),
                                     freeKnown ? std::optional<uint64_t>(free) : std::nullopt));
        for (DoctorCheck& check : historyChecks(app, busy)) checks.push_back(std::move(check));
    }
    app.releaseDevices();
    setDialogPort(&previous);
    checks.push_back(eventSourceCheck());
    return checks;
}

}  // namespace spelvane
