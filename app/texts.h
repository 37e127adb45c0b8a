#pragma once

namespace spelvane {

// Caption of the dialog and title of every message box.
constexpr const char* kAppTitle = "Spelvane 1.0";
// Rule line framing the sections of the log.
constexpr const char* kLogRule =
    "******************************************************************\r\n";

// Why a change is refused on a reader that could not be read again after a
// failed write.
constexpr const char* kHeldUnknownRefusal =
    "the device could not be read again after the failed write, so what it holds is not known: "
    "restore a backup file, or start Spelvane again";

constexpr int kHBlankMinimum = 21;
constexpr int kHBlankMaximum = 1023;

}  // namespace spelvane
