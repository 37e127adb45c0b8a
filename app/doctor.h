#pragma once
// doctor: the workstation's set-up in one look, every check in one run,
// each with "ok" or what to do. It asks the readers only what discovery
// asks and writes nothing: no backup, no history row, no event. The
// console companion prints the findings.
#include <cstdint>
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
std::vector<DoctorCheck> examineWorkstation(AppState& app, const std::string& program);

// What the folder check says of folder (named as shown) that may take new
// files or not, with freeBytes left on its disk (none: cannot be told).
DoctorCheck folderCheck(const std::string& folder, bool takesNewFiles, std::optional<uint64_t> freeBytes);

// The history of the current folder, read to its end: what it says of each
// reader's last change (the open readers judged by what they hold), with
// readersInUse while another Spelvane holds the readers; then whether the
// file can be written as a change would open it.
std::vector<DoctorCheck> historyChecks(const AppState& app, bool readersInUse);

}  // namespace spelvane
