#pragma once
// A file the program writes and must be able to trust afterwards: the backup
// (created new and written through the very handle that created it, so no
// other file can slip in under its name) and the change history (appended to
// while other programs may read it). flushDurably puts what was written on
// the disk itself, not only into the system's write cache: a power cut after
// it returns true loses nothing.
#include <cstddef>
#include <cstdint>
#include <string>

#include "platform/file_fault.h"

namespace spelvane::platform {

enum class NewFile { Created, Exists, Failed };

class OutputFile {
public:
    OutputFile() = default;
    ~OutputFile();
    OutputFile(const OutputFile&) = delete;
    OutputFile& operator=(const OutputFile&) = delete;
    OutputFile(OutputFile&& other) noexcept;
    OutputFile& operator=(OutputFile&& other) noexcept;

    // Creates path as a new, empty file and keeps it open for writing from
    // its start. A file (or anything else) already under that name is left
    // alone and reported as Exists.
    NewFile createNew(const std::string& path);
    // Opens path to add to its end, creating it when missing. Other programs
    // may read and write it meanwhile; one that holds it without letting
    // others write (a spreadsheet) makes this fail with InUse.
    bool openForAppend(const std::string& path);

    bool isOpen() const { return handle_ != kClosed; }
    // The system's handle (a HANDLE, a descriptor), for a test that asks
    // the system what it granted.
    intptr_t systemHandle() const { return handle_; }
    const std::string& path() const { return path_; }
    // What the last failed call ran into.
    FileFault fault() const { return fault_; }

    // The file's size, and its last byte (false for an empty file), read
    // through this handle.
    bool size(uint64_t& bytes);
    bool lastByte(char& byte);
    // Writes all of data: at the end of the file when opened for append.
    bool write(const void* data, size_t bytes);
    // Keeps every other appender to the file (in this or another process, on
    // this or another computer sharing the folder) out until unlockAppends,
    // so that what is read of the file's end and written after it lands
    // whole behind what another appended whole. Readers are not held up.
    // Never waits: a lock another holds fails at once with InUse, and the
    // caller decides how long to try again. Use AppendLock.
    bool lockAppends();
    void unlockAppends();
    // What was written is on the disk when this returns true (through
    // diskFlush(): Windows FlushFileBuffers; POSIX fsync of the file and,
    // once per handle, of its folder, so that a new file's name is there
    // too). A failed flush may have lost data already written: the file is
    // not to be trusted.
    bool flushDurably();
    // False when the system reports an error on closing.
    bool close();

private:
    static constexpr intptr_t kClosed = -1;
    bool fail(FileFault fault);
    // What every open does first (forget any earlier file) and last.
    void beginOpening(const std::string& path, bool appending);
    bool opened(intptr_t handle);
    intptr_t handle_ = kClosed;
    std::string path_;
    FileFault fault_ = FileFault::None;
    bool appending_ = false;
    bool folderFlushed_ = false;
};

// Holds an open append file's lock for its life; held() is false when the
// system refused it (the file's fault() says why).
class AppendLock {
public:
    explicit AppendLock(OutputFile& file) : file_(file), held_(file.lockAppends()) {}
    ~AppendLock() {
        if (held_) file_.unlockAppends();
    }
    AppendLock(const AppendLock&) = delete;
    AppendLock& operator=(const AppendLock&) = delete;
    bool held() const { return held_; }

private:
    OutputFile& file_;
    bool held_;
};

}  // namespace spelvane::platform
