#include "app/console/cli_doctor.h"

#include <cstdio>
#include <map>
#include <utility>

#include "app/app_state.h"
#include "app/change_history.h"
#include "app/console/cli_output.h"
#include "app/console/cli_session.h"
#include "app/event_report.h"
#include "app/message_log.h"
#include "device/call_gate.h"
#include "device/device_slot.h"
#include "device/discovery.h"
#include "platform/event_log.h"
#include "platform/files.h"
#include "platform/folder_room.h"
#include "platform/machine_lock.h"
#include "platform/system_version.h"
#include "platform/timer_resolution.h"

namespace spelvane::cli {
namespace {

using Verdict = DoctorCheck::Verdict;

// A backup of a pair with every light is under 2 KB, its history rows
// about as much: this leaves room for them with a wide margin.
constexpr uint64_t kRoomForABackup = 64 * 1024;

const char* verdictWord(Verdict verdict) {
    switch (verdict) {
    case Verdict::Ok: return "ok";
    case Verdict::Note: return "note";
    case Verdict::Fix: return "FIX";
    }
    return "?";
}

DoctorCheck programCheck() {
    const std::string system = platform::systemVersion();
    return {"program", Verdict::Ok,
            std::string("spelvane-cli ") + SPELVANE_VERSION + " on " + (system.empty() ? "an unknown system" : system)};
}

DoctorCheck libraryCheck(bool loaded) {
    LibraryIdentity library;
    if (loaded && loadedLibrary(library)) return {"library", Verdict::Ok, libraryDescription(library)};
    return {"library", Verdict::Fix,
            std::string("none loaded (") + loaderMessage() +
                "); put the reader's own qzsd7.dll beside spelvane-cli.exe (or in the system folder)"};
}

// The readers and the lock, as discovery found them.
void readerChecks(bool libraryLoaded, bool found, const AppState& app, const std::string& box,
                  std::vector<DoctorCheck>& checks) {
    // Without a library discovery never reached the lock: asked on its own.
    const bool busy = libraryLoaded ? box == kReadersBusyText : !platform::MachineLock().tryAcquire(kReaderLockName);
    checks.push_back(busy ? DoctorCheck{"lock", Verdict::Fix,
                                        "another Spelvane is using the readers; wait until it ends, or close it"}
                          : DoctorCheck{"lock", Verdict::Ok, "no other Spelvane is using the readers"});
    if (!libraryLoaded) {
        checks.push_back({"readers", Verdict::Fix, "not asked: they are found through the library"});
        return;
    }
    if (busy) {
        checks.push_back({"readers", Verdict::Fix, "not asked while another Spelvane holds them"});
        return;
    }
    int expected = 0;
    if (app.deviceCount == 1) expected = 1;
    else if (app.deviceCount == 2 && formsDevicePair(app.devices[0].name(), app.devices[1].name())) expected = 2;
    // A few names tell which readers are plugged in; a long list helps no one.
    std::string names;
    for (int i = 0; i < app.deviceCount && i < 8; ++i)
        names += (i ? ", " : "") + app.devices[i].name() + (i < app.boundCount() ? " (" + app.settings[i].typeName() + ")" : "");
    if (app.deviceCount == 0) {
        checks.push_back({"readers", Verdict::Fix, "none found; connect the reader and switch it on"});
    } else if (expected == 0) {
        checks.push_back({"readers", Verdict::Fix,
                          std::to_string(app.deviceCount) + " found that are no matched pair (" + names +
                              "); leave one reader, or one ZEB/KYT pair, connected"});
    } else if (!found || app.boundCount() < expected) {
        checks.push_back({"readers", Verdict::Fix,
                          names + ": " + (box.empty() ? "cannot be opened" : box) +
                              "; restart the reader and check its cable"});
    } else {
        checks.push_back({"readers", Verdict::Ok, (expected == 2 ? "a matched pair: " : "one reader: ") + names});
    }
}

DoctorCheck folderCheck(const std::string& folder) {
    if (!platform::folderTakesNewFiles(folder))
        return {"folder", Verdict::Fix, folder + " cannot be written: no backup could be saved; start from a folder you may write to"};
    uint64_t free = 0;
    if (!platform::folderFreeBytes(folder, free))
        return {"folder", Verdict::Fix, folder + ": the free space cannot be told; check the disk"};
    if (free < kRoomForABackup)
        return {"folder", Verdict::Fix, folder + ": its disk is full; free some space for the backups"};
    return {"folder", Verdict::Ok, folder + " takes the backups (" + std::to_string(free / (1024 * 1024)) + " MB free)"};
}

// Per reader the history names, what tells whether its last change was
// interrupted (as the start-up reads it from the file's end): its last
// entry with a start and the entries of that reader that followed it.
class LastStartsByReader {
public:
    void add(HistoryEntry& entry) {
        ++count_;
        std::vector<HistoryEntry>& kept = readers_[entry.reader];
        if (entry.started) kept.clear();
        // A reader backed up daily for years after its last change: the
        // newest entries and the oldest (its start) are what count.
        else if (kept.size() >= kMostFollowing) kept.erase(kept.begin() + kMostFollowing / 2);
        kept.push_back(std::move(entry));
    }
    const std::map<std::string, std::vector<HistoryEntry>>& readers() const { return readers_; }
    uint64_t count() const { return count_; }

private:
    static constexpr size_t kMostFollowing = 4096;
    std::map<std::string, std::vector<HistoryEntry>> readers_;
    uint64_t count_ = 0;
};

DoctorCheck historyCheck(const AppState& app) {
    const std::string path = historyPath(app);
    LastStartsByReader history;
    int skipped = 0;
    std::string error;
    if (!forEachHistoryEntry(path, [&](HistoryEntry& entry) { history.add(entry); }, skipped, error)) {
        if (error == "no history") return {"history", Verdict::Ok, std::string("none yet (") + kHistoryFileName + ")"};
        return {"history", Verdict::Fix, error + "; close the program that holds it, or make it readable"};
    }
    // Every reader the history knows, open or not: without a library none
    // is open, and a reader plugged in elsewhere today may hold half a change.
    // An open reader is asked as the start-up asks it: a change it holds
    // whole, or not at all, is settled on the reader, and only noted.
    std::string settled;
    for (const auto& [reader, entries] : history.readers()) {
        const SpeedSettings* open = nullptr;
        for (int i = 0; i < app.boundCount(); ++i)
            if (app.settings[i].device && app.readerName(i) == reader) open = &app.settings[i];
        if (open) {
            const auto change = unfinishedChange(entries, reader, open->snapshot());
            if (change && change->interrupted()) return {"history", Verdict::Fix, unfinishedChangeLine(*change)};
            if (change && settled.empty()) settled = unfinishedChangeLine(*change);
        } else if (const auto entry = interruptedChange(entries, reader)) {
            return {"history", Verdict::Fix, interruptedChangeLine(*entry)};
        }
    }
    if (skipped > 0)
        return {"history", Verdict::Fix,
                std::to_string(skipped) + (skipped == 1 ? " row" : " rows") + " of " + kHistoryFileName +
                    " cannot be read and " + (skipped == 1 ? "is" : "are") + " left out; mend or remove what was edited by hand"};
    if (!settled.empty()) return {"history", Verdict::Note, settled};
    const uint64_t count = history.count();
    return {"history", Verdict::Ok,
            std::to_string(count) + (count == 1 ? " change in " : " changes in ") + kHistoryFileName + ", each finished"};
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

std::string formatDoctorText(const std::vector<DoctorCheck>& checks) {
    std::string out;
    for (const DoctorCheck& check : checks) {
        std::string word = verdictWord(check.verdict);
        word.resize(6, ' ');
        out += word + check.name + ": " + check.text + "\n";
    }
    return out;
}

std::string formatDoctorJson(const std::vector<DoctorCheck>& checks) {
    std::string out = "[";
    for (size_t c = 0; c < checks.size(); ++c) {
        out += c ? ",\n  {" : "\n  {";
        out += "\"check\": " + jsonString(checks[c].name) + ", \"verdict\": \"" + verdictWord(checks[c].verdict) +
               "\", \"text\": " + jsonString(checks[c].text) + "}";
    }
    return out + (checks.empty() ? "]\n" : "\n]\n");
}

int runDoctor(const Request& request) {
    ConsolePort port;
    setDialogPort(&port);
    AppState& app = appState();
    if (app.startFolder.empty()) app.startFolder = platform::currentFolder();
    std::vector<DoctorCheck> checks{programCheck()};
    const bool loaded = ensureDeviceLibrary();
    checks.push_back(libraryCheck(loaded));
    {
        platform::TimerResolutionScope fineTimer;
        const bool found = loaded && app.discoverDevices(nullptr);
        readerChecks(loaded, found, app, port.box, checks);
        checks.push_back(folderCheck(app.startFolder));
        checks.push_back(historyCheck(app));
    }
    app.releaseDevices();
    setDialogPort(nullptr);
    checks.push_back(eventSourceCheck());

    const std::string text = request.json ? formatDoctorJson(checks) : formatDoctorText(checks);
    std::fputs(text.c_str(), stdout);
    for (const DoctorCheck& check : checks)
        if (check.verdict == Verdict::Fix) return finishOutput(kDoctorFound);
    return finishOutput(kDone);
}

}  // namespace spelvane::cli
