#include "platform/input_file.h"

#include <windows.h>

#include "platform/win32/system_file_fault.h"

namespace spelvane::platform {

InputFile::~InputFile() {
    if (handle_ != kClosed) CloseHandle(fileHandleOf(handle_));
}

bool InputFile::open(const std::string& path) {
    HANDLE file = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        const DWORD error = GetLastError();
        missing_ = error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND;
        return fail(fileFaultOf(error, path));
    }
    handle_ = reinterpret_cast<intptr_t>(file);
    return true;
}

bool InputFile::size(uint64_t& bytes) {
    LARGE_INTEGER length;
    if (handle_ == kClosed || !GetFileSizeEx(fileHandleOf(handle_), &length)) return fail(FileFault::Other);
    bytes = static_cast<uint64_t>(length.QuadPart);
    return true;
}

bool InputFile::readAt(uint64_t offset, void* data, size_t bytes, size_t& got) {
    got = 0;
    char* next = static_cast<char*>(data);
    while (got < bytes) {
        LARGE_INTEGER place;
        place.QuadPart = static_cast<LONGLONG>(offset + got);
        DWORD read = 0;
        const DWORD piece = bytes - got > 0x10000000 ? 0x10000000 : static_cast<DWORD>(bytes - got);
        if (!SetFilePointerEx(fileHandleOf(handle_), place, nullptr, FILE_BEGIN) ||
            !ReadFile(fileHandleOf(handle_), next + got, piece, &read, nullptr))
            return fail(FileFault::Other);
        if (read == 0) break;
        got += read;
    }
    countRead(got);
    return true;
}

}  // namespace spelvane::platform
