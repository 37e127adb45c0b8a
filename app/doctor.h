#pragma once
// doctor: the workstation's set-up in one look, every check in one run,
// each with "ok" or what to do. It asks the readers only what discovery
// asks and writes nothing: no backup, no history row, no event. The
// console companion prints the findings.
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "app/app_state.h"

namespace spelvane {

struct DoctorCheck {
    enum class Verdict { Ok, Note, Fix };  // Note: worth knowing, needs nothing done
    std::string name;
    Verdict verdict = Verdict::Ok;
    std::string text;
};

// A backup of a pair with every light is under 2 KB, its history rows
// about as much: this leaves room for them with a wide margin.
constexpr uint64_t kRoomForABackup = 64 * 1024;

// Every check, in the order printed: program, library, lock, readers,
// folder, history (one finding, or more when the file cannot be written as
// well), event source. The folder is app.startFolder, or the current one
// as the programs keep it; discovery runs with a port of its own and the
// devices are released afterwards. program names the program ("spelvane-cli").
// referenceChecks, when given, is asked while the readers are open whether
// each holds the reference the operator named (its findings follow the
// readers'); the console companion answers it with check's comparison.
using ReferenceChecks = std::function<std::vector<DoctorCheck>(AppState& app)>;
std::vector<DoctorCheck> examineWorkstation(AppState& app, const std::string& program,
                                            const ReferenceChecks& referenceChecks = {});

// A note ("settings") on a reader (named as shown) whose lights run with
// different HBlank values, or with one outside the range the dialog
// offers; none when it holds what a store would leave. One per open reader
// that needs one, from what discovery read.
std::optional<DoctorCheck> readerSettingsCheck(const std::string& reader, const SpeedValues& held);
std::vector<DoctorCheck> readerSettingsChecks(const AppState& app);

// What the folder check says of folder (named as shown) that may take new
// files or not, with freeBytes left on its disk (none: cannot be told).
DoctorCheck folderCheck(const std::string& folder, bool takesNewFiles, std::optional<uint64_t> freeBytes);

// The history of the current folder, read to its end: what it says of each
// reader's last change (the open readers judged by what they hold), with
// readersInUse while another Spelvane holds the readers; then whether the
// file can be written as a change would open it.
std::vector<DoctorCheck> historyChecks(const AppState& app, bool readersInUse);

}  // namespace spelvane
