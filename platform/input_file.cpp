#include "platform/input_file.h"

namespace spelvane::platform {

bool InputFile::fail(FileFault fault) {
    fault_ = fault;
    return false;
}

}  // namespace spelvane::platform
