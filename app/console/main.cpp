// Console companion: what the dialog does (show, backup, store, restore),
// driven by the command line and answered with an exit status, for scripts
// and remote shells.
#include <cstdio>
#include <exception>
#include <new>
#include <string>

#include "app/app_state.h"
#include "app/record/change_history.h"
#include "app/console/cli_arguments.h"
#include "app/console/cli_doctor.h"
#include "app/console/cli_folder.h"
#include "app/console/cli_history.h"
#include "app/console/cli_output.h"
#include "app/console/cli_session.h"
#include "device/call_gate.h"
#include "platform/files.h"

namespace {

int runCommand(int argc, char** argv) {
    using namespace spelvane::cli;
    Request request;
    std::string error;
    if (!parseArguments(argc, argv, request, error)) {
        std::fprintf(stderr, "spelvane-cli: %s\n%s", error.c_str(), usageText());
        return kUsage;
    }
    if (request.command == Command::Help) {
        std::fputs(usageText(), stdout);
        std::fputs(helpText(), stdout);
        return finishOutput(kDone);
    }
    if (request.command == Command::Version) {
        std::printf("spelvane-cli %s\n", SPELVANE_VERSION);
        // Loading asks the library nothing about the readers: the version
        // needs no reader lock.
        spelvane::LibraryIdentity library;
        const bool loaded = spelvane::ensureDeviceLibrary() && spelvane::loadedLibrary(library);
        std::fputs(formatLibraryText(loaded ? &library : nullptr, spelvane::loaderMessage()).c_str(), stdout);
        return finishOutput(kDone);
    }
    if (request.command == Command::OpenWorkstationFolder) return openWorkstationFolder();
    if (!enterRequestedFolder(request, error)) {
        std::fprintf(stderr, "spelvane-cli: %s\n", error.c_str());
        return kUsage;
    }
    // Taken once: each call into the library moves the process into the
    // program's folder for its time (platform/dynamic_library.h), and the
    // backups, the history and doctor go back to this one by its name.
    spelvane::appState().startFolder = spelvane::platform::currentFolderKept();
    // The history is a file of this folder: no reader, library or lock.
    if (request.command == Command::History) return finishOutput(runHistory(request));
    // Its own look at every part of the set-up, even those the others stop at.
    if (request.command == Command::Doctor) return runDoctor(request);
    spelvane::setHistoryProgram("spelvane-cli");
    return runSession(request);
}

}  // namespace

// Nothing unexpected leaves the program as a crash or as the status of an
// ordinary failure (3 would send a script looking for a reader): it is
// named on standard error and ends the command with a status of its own.
int main(int argc, char** argv) {
    using namespace spelvane::cli;
    try {
        return runCommand(argc, argv);
    } catch (const std::bad_alloc&) {
        fail("unexpected failure: out of memory");
    } catch (const std::exception& error) {
        fail("unexpected failure: %s", error.what());
    } catch (...) {
        fail("unexpected failure");
    }
    return kUnexpected;
}
