#pragma once
// The commands that look before anything is written: verify compares the
// open readers with a .set file, and the dry runs of store and restore tell
// what the real command would write. None of them takes a backup or sends a
// write request.
#include <string>
#include <vector>

#include "app/app_state.h"
#include "app/console/cli_arguments.h"
#include "app/console/cli_output.h"

namespace spelvane::cli {

// The values of store's, check's and sync's options.
OperatorChoice choiceOf(const Request& request);
// Each open reader against what check and sync hold it to: the section of
// the reference file a restore would give it (verify's reading), or the
// values of the options (store's computation). False, with the error line,
// when the file cannot be read: every reader then has no section of it.
bool readersAgainstReference(AppState& app, const Request& request, std::vector<ReaderReport>& readers);
bool any(const std::vector<ReaderReport>& readers, ReaderReport::Outcome outcome);
// No reader found its section missing or refused.
bool eachHasASection(const std::vector<ReaderReport>& readers);
// The report as text or, with --json, as JSON (sync names its backup).
void printReport(ReportKind kind, const Request& request, const std::vector<ReaderReport>& readers,
                 const std::string& backup = std::string());

int runVerify(AppState& app, const Request& request);
int runStorePreview(AppState& app, const Request& request);
int runRestorePreview(AppState& app, const Request& request);
// Status 0 when every open reader holds it, 6 when one does not, 5 when the
// reference holds no usable section for one. readers: what it found.
int runCheck(AppState& app, const Request& request, std::vector<ReaderReport>& readers);

}  // namespace spelvane::cli
