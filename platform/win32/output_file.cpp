#include "platform/output_file.h"

#include <windows.h>

#include "platform/disk_flush.h"
#include "platform/win32/system_file_fault.h"

namespace spelvane::platform {

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
        fault_ = fileFaultOf(error, path);
        return NewFile::Failed;
    }
    opened(reinterpret_cast<intptr_t>(file));
    return NewFile::Created;
}

bool OutputFile::openForAppend(const std::string& path) {
    beginOpening(path, true);
    // Reading and appending only, which is all the workstation's history
    // grants its users: without FILE_WRITE_DATA the system puts every write
    // at the file's end. FILE_READ_DATA serves the look at the last byte and
    // the lock (LockFileEx wants read or write access), FILE_APPEND_DATA the
    // flush (the system's flush wants write or append access).
    HANDLE file = CreateFileA(path.c_str(), FILE_READ_DATA | FILE_APPEND_DATA | FILE_READ_ATTRIBUTES | SYNCHRONIZE,
                              FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return fail(fileFaultOf(GetLastError(), path));
    return opened(reinterpret_cast<intptr_t>(file));
}

bool OutputFile::size(uint64_t& bytes) {
    if (!isOpen()) return fail(FileFault::Other);
    LARGE_INTEGER length;
    if (!GetFileSizeEx(fileHandleOf(handle_), &length)) return fail(fileFaultOf(GetLastError(), path_));
    bytes = static_cast<uint64_t>(length.QuadPart);
    return true;
}

bool OutputFile::lastByte(char& byte) {
    uint64_t bytes = 0;
    if (!size(bytes) || bytes == 0) return false;
    LARGE_INTEGER position;
    position.QuadPart = static_cast<LONGLONG>(bytes - 1);
    DWORD got = 0;
    if (!SetFilePointerEx(fileHandleOf(handle_), position, nullptr, FILE_BEGIN) ||
        !ReadFile(fileHandleOf(handle_), &byte, 1, &got, nullptr))
        return fail(fileFaultOf(GetLastError(), path_));
    return got == 1 || fail(FileFault::Other);
}

bool OutputFile::write(const void* data, size_t bytes) {
    if (!isOpen()) return fail(FileFault::Other);
    // Another program may have added to the file since it was opened.
    if (appending_) {
        LARGE_INTEGER none;
        none.QuadPart = 0;
        if (!SetFilePointerEx(fileHandleOf(handle_), none, nullptr, FILE_END)) return fail(fileFaultOf(GetLastError(), path_));
    }
    const char* next = static_cast<const char*>(data);
    while (bytes > 0) {
        const DWORD piece = bytes > 0x10000000 ? 0x10000000 : static_cast<DWORD>(bytes);
        DWORD written = 0;
        if (!WriteFile(fileHandleOf(handle_), next, piece, &written, nullptr)) return fail(fileFaultOf(GetLastError(), path_));
        if (written == 0) return fail(FileFault::DiskFull);
        next += written;
        bytes -= written;
    }
    return true;
}

// The lock is one byte far beyond any end the file will reach: Windows
// locks are mandatory, and one over the file's bytes would keep readers
// out. Every appender asks for the same byte, on a local disk and on a
// share alike (the server holds the lock). It is never waited for here: a
// stale session on the file server can hold it for as long as the server
// keeps that session, and appendLines bounds the wait.
namespace {

OVERLAPPED appendLockPlace() {
    OVERLAPPED place{};
    place.Offset = 0;
    place.OffsetHigh = 0x7fffffff;
    return place;
}

}  // namespace

bool OutputFile::lockAppends() {
    if (!isOpen()) return fail(FileFault::Other);
    OVERLAPPED place = appendLockPlace();
    if (!LockFileEx(fileHandleOf(handle_), LOCKFILE_EXCLUSIVE_LOCK | LOCKFILE_FAIL_IMMEDIATELY, 0, 1, 0, &place))
        return fail(fileFaultOf(GetLastError(), path_));
    return true;
}

void OutputFile::unlockAppends() {
    if (!isOpen()) return;
    OVERLAPPED place = appendLockPlace();
    UnlockFileEx(fileHandleOf(handle_), 0, 1, 0, &place);
}

// Windows offers no flush of a folder: FlushFileBuffers writes the file's
// data and its metadata, and NTFS logs the new name with the latter.
bool OutputFile::flushDurably() {
    if (!isOpen()) return fail(FileFault::Other);
    SetLastError(ERROR_SUCCESS);
    if (!diskFlush().flushFile(handle_, path_)) {
        const DWORD error = GetLastError();
        return fail(error == ERROR_SUCCESS ? FileFault::Other : fileFaultOf(error, path_));
    }
    return true;
}

bool OutputFile::close() {
    if (!isOpen()) return true;
    HANDLE file = fileHandleOf(handle_);
    handle_ = kClosed;
    return CloseHandle(file) || fail(fileFaultOf(GetLastError(), path_));
}

}  // namespace spelvane::platform
