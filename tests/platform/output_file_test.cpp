// The durable output file: exclusive creation, appending beside other
// writers, and the flush that tests can watch.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/output_file.h"
#include "platform/workstation.h"
#include "tests/support/scratch_directory.h"

namespace spelvane::platform {
namespace {

using spelvane::testing::readWholeFile;
using spelvane::testing::ScratchDirectory;
using spelvane::testing::writeWholeFile;

class OutputFileTest : public ::testing::Test {
protected:
    void SetUp() override {
        setDurableFlushHook([this](const std::string& path) {
            flushed_.push_back(path);
            return flushSucceeds_;
        });
    }
    void TearDown() override { setDurableFlushHook(nullptr); }
    ScratchDirectory scratch_;
    std::vector<std::string> flushed_;
    bool flushSucceeds_ = true;
};

TEST_F(OutputFileTest, ANewFileIsWrittenThroughTheHandleThatCreatedIt) {
    OutputFile file;
    ASSERT_EQ(file.createNew("b.set"), NewFile::Created);
    // The name is taken from the moment it is created, for this process too.
    EXPECT_EQ(OutputFile().createNew("b.set"), NewFile::Exists);
    ASSERT_TRUE(file.write("DEVICE=A\r\r\n", 11));
    EXPECT_TRUE(flushed_.empty());
    ASSERT_TRUE(file.flushDurably());
    EXPECT_EQ(flushed_, std::vector<std::string>{"b.set"});
    flushSucceeds_ = false;  // a flush the hook refuses fails
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
#endif

}  // namespace
}  // namespace spelvane::platform
