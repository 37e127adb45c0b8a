#pragma once

namespace spelvane {

// Caption of the dialog and title of every message box.
constexpr const char* kAppTitle = "Spelvane 1.0";
// Rule line framing the sections of the log.
constexpr const char* kLogRule =
    "******************************************************************\r\n";

constexpr int kHBlankMinimum = 21;
constexpr int kHBlankMaximum = 1023;

}  // namespace spelvane
