#include "app/console/cli_doctor.h"

#include <cstdio>

#include "app/app_state.h"
#include "app/console/cli_output.h"
#include "app/console/cli_session.h"

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
    const std::vector<DoctorCheck> checks = examineWorkstation(appState(), "spelvane-cli");
    const std::string text = request.json ? formatDoctorJson(checks) : formatDoctorText(checks);
    std::fputs(text.c_str(), stdout);
    for (const DoctorCheck& check : checks)
        if (check.verdict == Verdict::Fix) return finishOutput(kDoctorFound);
    return finishOutput(kDone);
}

}  // namespace spelvane::cli
