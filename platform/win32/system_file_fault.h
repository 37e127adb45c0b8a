#pragma once
// What a failed file call's error means to the operator, for the input and
// output files alike.
#include <string>

#include <windows.h>

#include "platform/file_fault.h"

namespace spelvane::platform {

inline HANDLE fileHandleOf(intptr_t handle) { return reinterpret_cast<HANDLE>(handle); }

// path: the file's, to tell a folder or a read-only file from a refusal.
FileFault fileFaultOf(DWORD error, const std::string& path);

}  // namespace spelvane::platform
