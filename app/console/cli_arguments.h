#pragma once
// The command line of spelvane-cli, read into one request before any device
// is touched: a wrong word must never start a store.
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace spelvane::cli {

// OpenWorkstationFolder is the package's (--open-workstation-folder, left out
// of the usage): it runs with the installer's rights.
enum class Command {
    Show, Backup, Store, Restore, Verify, Check, Sync, Doctor, History, Help, Version, OpenWorkstationFolder
};

struct Request {
    Command command = Command::Show;
    bool json = false;                 // show, verify, check, sync, doctor, history, and a dryRun
    bool dryRun = false;               // store and restore: tell what would be written, write nothing
    std::optional<uint16_t> hblank;    // store, and check or sync without a file
    std::optional<bool> halfClock;     // store, and check or sync without a file
    std::string file;                  // restore and verify; check, sync and doctor: the reference ("" none)
    std::vector<std::string> histories;  // history: the files or folders to read as one (none: this folder's)
    std::string reader;                // history: only this reader's changes ("" all)
    int last = 0;                      // history: only the last this many (0 all)
    std::string folder;                // -C: the folder to run in ("" the current one)
    bool workstation = false;          // --workstation: run in the workstation folder
    std::string report;                // check and sync: the site's report file to add this run's rows to ("" none)
    int waitSeconds = 0;               // check and sync: how long to look again while no reader is found
};

// The longest --wait: an hour, more than any reader needs to come up.
constexpr int kLongestWait = 3600;

// Reads argv[1..argc-1]. False with a one-line reason in error when the
// words do not form one of the usages.
bool parseArguments(int argc, const char* const* argv, Request& request, std::string& error);

// An HBlank value as the operator may give it: decimal, or hexadecimal after
// "0x", with nothing around it, within the trackbar's range.
bool parseHBlank(const char* text, uint16_t& value);

// The usage lines, shown with every usage error; --help adds the rest.
const char* usageText();
const char* helpText();

}  // namespace spelvane::cli
