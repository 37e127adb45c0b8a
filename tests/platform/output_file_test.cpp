// The durable output file: exclusive creation, appending beside other
// writers, and the flush that tests can watch.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/disk_flush.h"
#include "platform/output_file.h"
#include "platform/workstation.h"
#include "tests/support/flush_witness.h"
#include "tests/support/scratch_directory.h"

#if defined(_WIN32)
#include <windows.h>
#endif

namespace spelvane::platform {
namespace {

using spelvane::testing::readWholeFile;
using spelvane::testing::ScratchDirectory;
using spelvane::testing::writeWholeFile;

class OutputFileTest : public ::testing::Test {
protected:
    ScratchDirectory scratch_;
    std::vector<std::string> flushed_;
    bool flushSucceeds_ = true;
    spelvane::testing::FlushWitness witness_{[this](const std::string& path) {
        flushed_.push_back(path);
        return flushSucceeds_;
    }};
};

// A flush is the system's: the file's data, and natively once per handle
// the folder that names it, reach the disk before flushDurably says so.
TEST(OutputFileFlushTest, EveryDurableFlushReachesTheSystem) {
    ScratchDirectory scratch;
#if defined(_WIN32)
    const uint64_t folderFlushes = 0;  // NTFS logs the name with the file's metadata
#else
    const uint64_t folderFlushes = 1;
#endif
    OutputFile file;
    ASSERT_EQ(file.createNew("b.set"), NewFile::Created);
    ASSERT_TRUE(file.write("x", 1));
    const DiskFlushCount before = systemDiskFlushes();
    ASSERT_TRUE(file.flushDurably());
    DiskFlushCount after = systemDiskFlushes();
    EXPECT_EQ(after.files - before.files, 1u);
    EXPECT_EQ(after.folders - before.folders, folderFlushes);
    ASSERT_TRUE(file.flushDurably());
    EXPECT_EQ(systemDiskFlushes().files - after.files, 1u);
    EXPECT_EQ(systemDiskFlushes().folders, after.folders);

    after = systemDiskFlushes();
    OutputFile appended;
    ASSERT_TRUE(appended.openForAppend("h.csv"));
    ASSERT_TRUE(appended.write("a\r\n", 3));
    ASSERT_TRUE(appended.flushDurably());
    EXPECT_EQ(systemDiskFlushes().files - after.files, 1u);
    EXPECT_EQ(systemDiskFlushes().folders - after.folders, folderFlushes);

    // The count follows the system's answer: a handle that is none is
    // refused by the system, and so not counted.
    after = systemDiskFlushes();
    EXPECT_FALSE(systemDiskFlush().flushFile(-1, "none"));
    EXPECT_EQ(systemDiskFlushes().files, after.files);
#if !defined(_WIN32)
    // A file system that cannot flush a folder answers EINVAL (procfs here,
    // some network ones in the field): it keeps names in order itself.
    EXPECT_TRUE(systemDiskFlush().flushFolder("/proc"));
#endif
}

TEST_F(OutputFileTest, ANewFileIsWrittenThroughTheHandleThatCreatedIt) {
    OutputFile file;
    ASSERT_EQ(file.createNew("b.set"), NewFile::Created);
    // The name is taken from the moment it is created, for this process too.
    EXPECT_EQ(OutputFile().createNew("b.set"), NewFile::Exists);
    ASSERT_TRUE(file.write("DEVICE=A\r\r\n", 11));
    EXPECT_TRUE(flushed_.empty());
    ASSERT_TRUE(file.flushDurably());
    EXPECT_EQ(flushed_, std::vector<std::string>{"b.set"});
    flushSucceeds_ = false;  // a flush the disk refuses fails
    EXPECT_FALSE(file.flushDurably());
    EXPECT_EQ(file.fault(), FileFault::Other);
    EXPECT_TRUE(file.close());
    EXPECT_EQ(readWholeFile("b.set"), "DEVICE=A\r\r\n");
    EXPECT_STREQ(describeFileFault(FileFault::InUse), "it is in use by another program");

    // A name that cannot be made is a failure, not a taken name.
    EXPECT_EQ(OutputFile().createNew("no-such-folder/b.set"), NewFile::Failed);
}

TEST_F(OutputFileTest, AppendingLandsBehindWhatOthersAddedAndSeesTheLastByte) {
    OutputFile file;
    ASSERT_TRUE(file.openForAppend("h.csv"));
    char last = 0;
    uint64_t size = 99;
    EXPECT_TRUE(file.size(size));
    EXPECT_EQ(size, 0u);
    EXPECT_FALSE(file.lastByte(last));
    ASSERT_TRUE(file.write("a\r\n", 3));

    OutputFile other;
    ASSERT_TRUE(other.openForAppend("h.csv"));
    ASSERT_TRUE(other.write("b,", 2));
    ASSERT_TRUE(other.close());

    ASSERT_TRUE(file.lastByte(last));
    EXPECT_EQ(last, ',');
    ASSERT_TRUE(file.write("c\r\n", 3));
    EXPECT_TRUE(file.flushDurably());
    EXPECT_TRUE(file.close());
    EXPECT_EQ(readWholeFile("h.csv"), "a\r\nb,c\r\n");
}


// The history names the workstation, the user and the run on every row.
TEST(WorkstationTest, NamesTheComputerTheUserAndTheProcess) {
    EXPECT_FALSE(computerName().empty());
    EXPECT_FALSE(userName().empty());
    EXPECT_EQ(computerName().find('\0'), std::string::npos);
    EXPECT_NE(processNumber(), 0u);
}

#if defined(_WIN32)
// A backup being written lets others read it, never write: and a program
// that holds a file so (a spreadsheet) keeps the history from being opened.
TEST_F(OutputFileTest, AFileHeldWithoutWriteSharingIsInUse) {
    OutputFile holder;
    ASSERT_EQ(holder.createNew("h.csv"), NewFile::Created);
    OutputFile file;
    EXPECT_FALSE(file.openForAppend("h.csv"));
    EXPECT_EQ(file.fault(), FileFault::InUse);
}

// Windows locks are mandatory: a read of locked bytes fails. The append
// lock lies beyond every byte the file will hold, so while it is held a
// lock over those bytes (what a reader's read is checked against) is free.
TEST_F(OutputFileTest, TheAppendLockKeepsNoReaderOut) {
    OutputFile file;
    ASSERT_TRUE(file.openForAppend("h.csv"));
    ASSERT_TRUE(file.write("a\r\n", 3));
    AppendLock lock(file);
    ASSERT_TRUE(lock.held());
    HANDLE reader = CreateFileA("h.csv", GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                                FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(reader, INVALID_HANDLE_VALUE);
    OVERLAPPED start{};
    const DWORD bytes = 0x7fffffff;  // 2 GB of history
    EXPECT_TRUE(LockFileEx(reader, LOCKFILE_FAIL_IMMEDIATELY, 0, bytes, 0, &start));
    UnlockFileEx(reader, 0, bytes, 0, &start);
    CloseHandle(reader);
}

// The history's users may read and append, never write (the installer's
// rights): an open that asks for more is refused them on Windows. Wine
// keeps no rights, but reports what a handle was granted.
TEST_F(OutputFileTest, TheHistoryIsOpenedForReadingAndAppendingOnly) {
    struct BasicInformation {  // OBJECT_BASIC_INFORMATION, 56 bytes
        ULONG attributes;
        ACCESS_MASK grantedAccess;
        ULONG rest[12];
    } information{};
    using QueryObject = LONG(WINAPI*)(HANDLE, int, void*, ULONG, ULONG*);
    const auto query = reinterpret_cast<QueryObject>(
        reinterpret_cast<void*>(GetProcAddress(GetModuleHandleA("ntdll.dll"), "NtQueryObject")));
    ASSERT_NE(query, nullptr);
    OutputFile file;
    ASSERT_TRUE(file.openForAppend("h.csv"));
    ASSERT_EQ(query(reinterpret_cast<HANDLE>(file.systemHandle()), 0, &information, sizeof information, nullptr), 0);
    EXPECT_EQ(information.grantedAccess, FILE_READ_DATA | FILE_APPEND_DATA | FILE_READ_ATTRIBUTES | SYNCHRONIZE)
        << std::hex << information.grantedAccess;
}
#endif

}  // namespace
}  // namespace spelvane::platform
