#pragma once
// What a failed file call's errno means to the operator, for the input and
// output files alike.
#include "platform/file_fault.h"

namespace spelvane::platform {

FileFault fileFaultOf(int error);

}  // namespace spelvane::platform
