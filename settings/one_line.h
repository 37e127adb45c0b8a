#pragma once
// Text as one line, for a history cell, a log line or a JSON reason: the
// line ends it ends with are dropped, those within it become blanks.
#include <string>

namespace spelvane {

std::string oneLine(std::string text);

}  // namespace spelvane
