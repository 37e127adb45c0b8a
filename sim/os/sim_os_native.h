#pragma once
// What sim/os/<platform>/sim_os.cpp owes the portable helpers in sim/sim_os.cpp,
// beside the sim_os.h functions it defines itself.
#include <string>

namespace qzsim::native {

extern const char kSeparator;       // what joinPath puts between folder and name
extern const char kOtherSeparator;  // also read as a separator; kSeparator if there is none
extern const bool kDriveLetters;    // "X:" at the start makes a path absolute

// Renames `from` over `to`, replacing it. On failure `from` is removed, so
// no temporary is left lying about, and `error` says why.
bool moveOver(const std::string& from, const std::string& to, std::string& error);

}  // namespace qzsim::native
