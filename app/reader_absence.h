#pragma once
// A command that found no reader it can use: why, in the words the event
// log and a site's report file give it, what to check, and looking again
// for a reader whose driver has not come up yet (a start-up script may run
// before it has).
#include <cstdint>
#include <string>

#include "app/app_state.h"
#include "app/dialog_port.h"

namespace spelvane {

// What to do about each reason, in the words doctor uses too.
constexpr const char* kLibraryRemedy = "put the reader's own qzsd7.dll beside spelvane-cli.exe (or in the system folder)";
constexpr const char* kNoReaderRemedy = "connect the reader and switch it on";
constexpr const char* kReadersBusyRemedy = "wait until it ends, or close it";
constexpr const char* kNoPairRemedy = "leave one reader, or one ZEB/KYT pair, connected";
constexpr const char* kUnopenedRemedy = "restart the reader and check its cable";

struct ReaderAbsence {
    // "no library", "no reader", "readers in use", "no single reader",
    // "reader unusable": never renamed, sites filter on them.
    std::string outcome;
    std::string remedy;  // what to check
};

// The readers discovery opens of those it listed: 1 of one, 2 of a
// matched pair, 0 of any other list.
int expectedReaders(const AppState& app);

// Why discovery, which told box (its first message), left no reader to
// work on.
ReaderAbsence readerAbsence(const AppState& app, const std::string& box);

// Discovery that, while the library answers and lists no reader, looks
// again every kLookAgainMs until waitSeconds have passed (0: once). The
// port's box is what the last look told.
constexpr uint32_t kLookAgainMs = 2000;
bool discoverWaiting(AppState& app, FirstBoxPort& port, int waitSeconds);

}  // namespace spelvane
