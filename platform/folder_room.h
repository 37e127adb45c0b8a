#pragma once
// Whether a folder could take a new file, asked without creating one: a
// health check must leave the folder as it found it.
#include <cstdint>
#include <string>

namespace spelvane::platform {

// folder is named as the programs keep it (files.h: currentFolderKept),
// whatever letters its name holds.

// True when this process may create files in folder (its access rights,
// not a trial write).
bool folderTakesNewFiles(const std::string& folder);
// The bytes this process may still write on the folder's disk; false when
// that cannot be told.
bool folderFreeBytes(const std::string& folder, uint64_t& bytes);

}  // namespace spelvane::platform
