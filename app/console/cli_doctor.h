#pragma once
// doctor: the workstation's set-up in one look, every check in one run,
// each on one line with "ok" or what to do. It asks the readers only what
// discovery asks and writes nothing: no backup, no history row, no event.
#include <string>
#include <vector>

#include "app/console/cli_arguments.h"

namespace spelvane::cli {

struct DoctorCheck {
    enum class Verdict { Ok, Note, Fix };  // Note: worth knowing, needs nothing done
    std::string name;
    Verdict verdict = Verdict::Ok;
    std::string text;
};

// The lines as printed: "ok    library: ...", "FIX   readers: ...".
std::string formatDoctorText(const std::vector<DoctorCheck>& checks);
std::string formatDoctorJson(const std::vector<DoctorCheck>& checks);

// 0 when no check needs anything done, kDoctorFound otherwise.
int runDoctor(const Request& request);

}  // namespace spelvane::cli
