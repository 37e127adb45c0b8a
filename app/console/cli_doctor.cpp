#include "app/console/cli_doctor.h"

#include <cstdio>

#include "app/app_state.h"
#include "app/console/cli_output.h"
#include "app/console/cli_preview.h"
#include "app/console/cli_session.h"
#include "platform/input_file.h"

namespace spelvane::cli {
namespace {

using Verdict = DoctorCheck::Verdict;

const char* verdictWord(Verdict verdict) {
    switch (verdict) {
    case Verdict::Ok: return "ok";
    case Verdict::Note: return "note";
    case Verdict::Fix: return "FIX";
    }
    return "?";
}

// Whether each open reader holds the reference, by check's own comparison
// and in check's words, one line a reader.
std::vector<DoctorCheck> referenceChecks(AppState& app, const Request& request) {
    std::vector<ReaderReport> readers;
    if (!readersAgainstReference(app, request, readers)) {
        // Opened after all: a file saved as Unicode, which standard error names.
        const platform::FileFault fault = platform::readFault(request.file);
        return {{"reference", Verdict::Fix,
                 fault == platform::FileFault::None ? request.file + " cannot be read: standard error says why"
                                                    : platform::fileFaultMessage("open", request.file, fault)}};
    }
    std::vector<DoctorCheck> checks;
    for (const ReaderReport& reader : readers) {
        const std::string who = reader.name + " (" + reader.type + "): ";
        const std::string said = formatReportText(ReportKind::Check, {reader}, request.file);
        std::string text = reader.outcome == ReaderReport::Outcome::Different ? who + "does not hold it: " : who;
        size_t from = 0;
        for (size_t lf; (lf = said.find('\n', from)) != std::string::npos; from = lf + 1) {
            std::string line = said.substr(from, lf - from);
            if (line.compare(0, who.size(), who) == 0) line.erase(0, who.size());
            text += (text.size() > who.size() && text.back() != ' ' ? ", " : "") + line;
        }
        const bool holds = reader.outcome == ReaderReport::Outcome::Same;
        checks.push_back({"reference", holds ? Verdict::Ok : Verdict::Fix, text});
    }
    return checks;
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
    const bool reference = !request.file.empty() || request.hblank || request.halfClock;
    const std::vector<DoctorCheck> checks = examineWorkstation(
        appState(), "spelvane-cli",
        reference ? ReferenceChecks([&](AppState& app) { return referenceChecks(app, request); }) : ReferenceChecks());
    const std::string text = request.json ? formatDoctorJson(checks) : formatDoctorText(checks);
    std::fputs(text.c_str(), stdout);
    for (const DoctorCheck& check : checks)
        if (check.verdict == Verdict::Fix) return finishOutput(kDoctorFound);
    return finishOutput(kDone);
}

}  // namespace spelvane::cli
