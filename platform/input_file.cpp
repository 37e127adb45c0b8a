#include "platform/input_file.h"

namespace spelvane::platform {

bool InputFile::fail(FileFault fault) {
    fault_ = fault;
    return false;
}

FileFault readFault(const std::string& path) {
    InputFile file;
    if (file.open(path)) return FileFault::None;
    if (file.missing()) return FileFault::Missing;
    return file.fault() == FileFault::None ? FileFault::Other : file.fault();
}

}  // namespace spelvane::platform
