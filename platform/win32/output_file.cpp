#include "platform/output_file.h"

#include <windows.h>

namespace spelvane::platform {
namespace {

HANDLE handleOf(intptr_t handle) { return reinterpret_cast<HANDLE>(handle); }

FileFault faultOf(DWORD error, const std::string& path) {
    switch (error) {
    case ERROR_SHARING_VIOLATION:
    case ERROR_LOCK_VIOLATION: return FileFault::InUse;
    case ERROR_WRITE_PROTECT: return FileFault::ReadOnly;
    case ERROR_ACCESS_DENIED: {
        const DWORD attributes = GetFileAttributesA(path.c_str());
        const bool readOnly = attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_READONLY);
        return readOnly ? FileFault::ReadOnly : FileFault::Denied;
    }
    case ERROR_DISK_FULL:
    case ERROR_HANDLE_DISK_FULL: return FileFault::DiskFull;
    default: return FileFault::Other;
    }
}

}  // namespace

NewFile OutputFile::createNew(const std::string& path) {
    beginOpening(path, false);
    // Others may look at the backup while it is written, never write to it.
    HANDLE file = CreateFileA(path.c_str(), GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_NEW,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        const DWORD error = GetLastError();
        fault_ = FileFault::None;
        if (error == ERROR_FILE_EXISTS || error == ERROR_ALREADY_EXISTS) return NewFile::Exists;
        // A folder of that name answers "access denied", as a folder that
        // cannot be written does: only the first means the name is taken.
        if (GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES) return NewFile::Exists;
        fault_ = faultOf(error, path);
        return NewFile::Failed;
    }
    opened(reinterpret_cast<intptr_t>(file));
    return NewFile::Created;
}

bool OutputFile::openForAppend(const std::string& path) {
    beginOpening(path, true);
    HANDLE file = CreateFileA(path.c_str(), GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                              nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return fail(faultOf(GetLastError(), path));
    return opened(reinterpret_cast<intptr_t>(file));
}

bool OutputFile::size(uint64_t& bytes) {
    if (!isOpen()) return fail(FileFault::Other);
    LARGE_INTEGER length;
    if (!GetFileSizeEx(handleOf(handle_), &length)) return fail(faultOf(GetLastError(), path_));
    bytes = static_cast<uint64_t>(length.QuadPart);
    return true;
}

bool OutputFile::lastByte(char& byte) {
    uint64_t bytes = 0;
    if (!size(bytes) || bytes == 0) return false;
    LARGE_INTEGER position;
    position.QuadPart = static_cast<LONGLONG>(bytes - 1);
    DWORD got = 0;
    if (!SetFilePointerEx(handleOf(handle_), position, nullptr, FILE_BEGIN) ||
        !ReadFile(handleOf(handle_), &byte, 1, &got, nullptr))
        return fail(faultOf(GetLastError(), path_));
    return got == 1 || fail(FileFault::Other);
}

bool OutputFile::write(const void* data, size_t bytes) {
    if (!isOpen()) return fail(FileFault::Other);
    // Another program may have added to the file since it was opened.
    if (appending_) {
        LARGE_INTEGER none;
        none.QuadPart = 0;
        if (!SetFilePointerEx(handleOf(handle_), none, nullptr, FILE_END)) return fail(faultOf(GetLastError(), path_));
    }
    const char* next = static_cast<const char*>(data);
    while (bytes > 0) {
        const DWORD piece = bytes > 0x10000000 ? 0x10000000 : static_cast<DWORD>(bytes);
        DWORD written = 0;
        if (!WriteFile(handleOf(handle_), next, piece, &written, nullptr)) return fail(faultOf(GetLastError(), path_));
        if (written == 0) return fail(FileFault::DiskFull);
        next += written;
        bytes -= written;
    }
    return true;
}

// Windows offers no flush of a folder: FlushFileBuffers writes the file's
// data and its metadata, and NTFS logs the new name with the latter.
bool OutputFile::flushDurably() {
    if (!isOpen()) return fail(FileFault::Other);
    if (!FlushFileBuffers(handleOf(handle_))) return fail(faultOf(GetLastError(), path_));
    return durableFlushAllowed(path_) || fail(FileFault::Other);
}

bool OutputFile::close() {
    if (!isOpen()) return true;
    HANDLE file = handleOf(handle_);
    handle_ = kClosed;
    return CloseHandle(file) || fail(faultOf(GetLastError(), path_));
}

}  // namespace spelvane::platform
