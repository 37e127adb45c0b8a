#pragma once

namespace spelvane {

// Caption of the dialog and title of every message box.
constexpr const char* kAppTitle = "Spelvane 1.0";
// Rule line framing the sections of the log.
constexpr const char* kLogRule =
    "******************************************************************\r\n";

// Why a Store is refused on a reader that could not be read again after a
// failed write (after its name), and what settles it.
constexpr const char* kHeldUnknownWhy =
    " could not be read again after the failed write, so what it holds is not known";
constexpr const char* kHeldUnknownRemedy = "restore a backup file, or start Spelvane again";

constexpr int kHBlankMinimum = 21;
constexpr int kHBlankMaximum = 1023;

}  // namespace spelvane
