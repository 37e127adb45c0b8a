#pragma once
// doctor: the workstation's set-up in one look (examineWorkstation,
// app/doctor.h), each finding on one line with "ok" or what to do.
#include <string>
#include <vector>

#include "app/console/cli_arguments.h"
#include "app/doctor.h"

namespace spelvane::cli {

// The lines as printed: "ok    library: ...", "FIX   readers: ...".
std::string formatDoctorText(const std::vector<DoctorCheck>& checks);
std::string formatDoctorJson(const std::vector<DoctorCheck>& checks);

// 0 when no check needs anything done, kDoctorFound otherwise.
int runDoctor(const Request& request);

}  // namespace spelvane::cli
