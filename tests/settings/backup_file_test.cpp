// Backup of the original settings into a timestamped .set file.
#include <algorithm>
#include <csignal>
#include <filesystem>
#include <string>
#if !defined(_WIN32)
#include <sys/resource.h>
#endif

#include "platform/output_file.h"
#include "tests/support/flush_witness.h"
#include "tests/support/settings_file_test.h"

namespace spelvane::testing {
namespace {

constexpr int64_t kNow = 1700000000;
const std::string kHyphens(54, '-');

class BackupTest : public SettingsFileTest {
protected:
    void SetUp() override {
        SettingsFileTest::SetUp();
        std::strcpy(appState().displayName, "KVDEV-A1");
        timing_->setCalendarTime(kNow);
    }
};

TEST_F(BackupTest, ExampleSectionIsWrittenByteForByteAndLogged) {
    DeviceInfo info = makeInfo("TYPE1");
    bindRecord(0, info, exampleValues());

    EXPECT_TRUE(appState().saveOriginalSettings());

    const std::string name = stampedName("KVDEV-A1", kNow);
    EXPECT_EQ(scratch_.setFiles(), std::vector<std::string>{name});
    EXPECT_EQ(readWholeFile(name), exampleSection());
    const std::string rule(kLogRule);
    EXPECT_EQ(log(), rule + "                     SAVE ORIGINAL SETTINGS\r\n" + rule +
                         "Device: TYPE1\r\nFilename: " + name + "\r\nSaving is SUCCESS\r\n");
    EXPECT_EQ(lastFileStamp, kNow);
}

TEST_F(BackupTest, FileNameCarriesDisplayNameAndZeroPaddedLocalTime) {
    platform::LocalTime t{2024, 3, 7, 4, 5, 9};
    char name[kSettingsFileNameSize];
    buildSettingsFileName(name, "KVDEV-A1", t);
    EXPECT_STREQ(name, "KVDEV-A1_20240307040509.set");

    // A display name too long for the buffer gives way; the stamp stays whole.
    const std::string longName(kDisplayNameSize - 1, 'N');
    buildSettingsFileName(name, longName.c_str(), t);
    const std::string built(name);
    EXPECT_EQ(built.size(), kSettingsFileNameSize - 1);
    EXPECT_EQ(built.substr(built.size() - 19), "_20240307040509.set");
    EXPECT_EQ(built.find_first_not_of('N'), built.size() - 19);

    // A name from the device never steers the file out of the current folder.
    buildSettingsFileName(name, "..\\up/C:KV*?\"<>|\tX", t);
    EXPECT_STREQ(name, ".._up_C_KV_______X_20240307040509.set");
}

TEST_F(BackupTest, TwoDevicesShareOneFileInDeviceOrder) {
    DeviceInfo first = makeInfo("TYPE1");
    DeviceInfo second = makeInfo("TYPE2");
    bindRecord(0, first, exampleValues());
    bindRecord(1, second, makeValues(false, {5, 9, 0x1a}, {{0x11, 0xab, 0x22, 0x33}}));

    EXPECT_TRUE(appState().saveOriginalSettings());

    const std::string name = stampedName("KVDEV-A1", kNow);
    EXPECT_EQ(readWholeFile(name), std::string(exampleSection()) +
                                       "DEVICE=TYPE2\r\r\nHCLOCK=0\r\r\nNADDR=3\r\r\n"
                                       "ADDRS=05,09,1a\r\r\nNLIGHT=1\r\r\n"
                                       "LIGHT0=0011,00ab,0022,0033\r\r\n" +
                                       kHyphens + "\r\r\n");
    // A rule separates the devices' reports; none follows the last one.
    const std::string text = log();
    const std::string rule(kLogRule);
    EXPECT_NE(text.find("Saving is SUCCESS\r\n" + rule + "Device: TYPE2\r\n"), std::string::npos);
    EXPECT_EQ(text.substr(text.size() - 19), "Saving is SUCCESS\r\n");
}

TEST_F(BackupTest, EdgeShapesOfASection) {
    SpeedValues noLights = makeValues(false, {9, 5}, {});
    SpeedValues noAddresses = makeValues(false, {}, {{0x1234}, {0x00ab}});
    noAddresses.halfClock = 7;  // any nonzero byte means on
    std::string text;

    ASSERT_TRUE(formatSettingsSection("T", noLights, text));
    EXPECT_EQ(text, "DEVICE=T\r\r\nHCLOCK=0\r\r\nNADDR=2\r\r\nADDRS=09,05\r\r\nNLIGHT=0\r\r\n" +
                        kHyphens + "\r\r\n");
    ASSERT_TRUE(formatSettingsSection("T", noAddresses, text));
    EXPECT_EQ(text, "DEVICE=T\r\r\nHCLOCK=1\r\r\nNADDR=0\r\r\nADDRS=\r\r\nNLIGHT=2\r\r\n"
                    "LIGHT0=1234\r\r\nLIGHT1=00ab\r\r\n" +
                        kHyphens + "\r\r\n");
}

// Settings beyond the record, and a type name whose DEVICE line would not
// read back as itself (a backup that never restores): refused before the
// file is touched.
TEST_F(BackupTest, SectionsThatCannotBeWrittenAreRefusedWithoutTouchingTheFile) {
    std::string text = "untouched";
    SpeedValues eightWithLights = makeValues(false, {9, 5, 1, 2, 3, 4, 6, 7}, {{1}});
    EXPECT_FALSE(formatSettingsSection("T", eightWithLights, text));
    EXPECT_TRUE(text.empty());
    SpeedValues tooManyLights = exampleValues();
    tooManyLights.lightCount = 6;
    EXPECT_FALSE(formatSettingsSection("T", tooManyLights, text));
    SpeedValues tooManyAddresses = makeValues(false, {9}, {});
    tooManyAddresses.addressCount = 17;
    EXPECT_FALSE(formatSettingsSection("T", tooManyAddresses, text));

    const struct {
        const char* type;
        SpeedValues values;
        const char* failure;
    } refused[] = {
        {"TYPE1", eightWithLights, "Saving is FAILED (Settings out of range)\r\n"},
        {"TYPE\r1", exampleValues(), "Saving is FAILED (Device type name cannot be written)\r\n"},
        {"TYPE\n1", exampleValues(), "Saving is FAILED (Device type name cannot be written)\r\n"},
    };
    for (const auto& c : refused) {
        DeviceInfo info = makeInfo(c.type);
        bindRecord(0, info, c.values);
        messageLog().clear();
        EXPECT_FALSE(appState().saveOriginalSettings());
        EXPECT_TRUE(scratch_.setFiles().empty());
        EXPECT_NE(log().find(c.failure), std::string::npos) << log();
        EXPECT_EQ(log().find("SUCCESS"), std::string::npos);
    }
}

TEST_F(BackupTest, RefusedFirstSectionLeavesTheFileToTheSecond) {
    DeviceInfo first = makeInfo("TYPE0");
    DeviceInfo second = makeInfo("TYPE1");
    SpeedValues broken = exampleValues();
    broken.addressCount = 200;
    bindRecord(0, first, broken);
    bindRecord(1, second, exampleValues());

    EXPECT_FALSE(appState().saveOriginalSettings());
    EXPECT_EQ(readWholeFile(stampedName("KVDEV-A1", kNow)), exampleSection());
}

// A section counts as saved only once it is on the disk: a power cut in the
// store that follows must not take the backup with it. A flush that fails
// fails the backup.
TEST_F(BackupTest, EachSectionIsOnTheDiskBeforeItIsCalledSaved) {
    DeviceInfo first = makeInfo("TYPE1");
    DeviceInfo second = makeInfo("TYPE2");
    bindRecord(0, first, exampleValues());
    bindRecord(1, second, exampleValues());
    const struct {
        std::vector<bool> flushes;
        bool saved;
    } cases[] = {{{true, true}, true}, {{false, true}, false}, {{true, false}, false}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.flushes[0] ? "second flush" : "first flush");
        messageLog().clear();
        std::vector<std::string> seen;  // the file flushed, and the log's last line then
        {
            FlushWitness witness([&](const std::string& path) {
                const std::string text = log();
                seen.push_back(path + " after " + text.substr(text.rfind("\r\n", text.size() - 3) + 2));
                return c.flushes[seen.size() - 1];
            });
            EXPECT_EQ(appState().saveOriginalSettings(), c.saved);
        }

        const std::string name = appState().lastBackupFile;
        EXPECT_EQ(seen, (std::vector<std::string>{name + " after Filename: " + name + "\r\n",
                                                  name + " after Filename: " + name + "\r\n"}));
        const std::string text = log();
        EXPECT_EQ(text.find("Saving is FAILED (File flushing error)\r\n") != std::string::npos, !c.saved) << text;
        EXPECT_EQ(text.find("SUCCESS") != std::string::npos, c.flushes[0] || c.flushes[1]);
    }
}

TEST_F(BackupTest, NameThatCannotBeCreatedFailsTheBackupAtOnce) {
    DeviceInfo first = makeInfo("TYPE1");
    DeviceInfo second = makeInfo("TYPE2");
    bindRecord(0, first, exampleValues());
    bindRecord(1, second, exampleValues());
    useUncreatableName();

    EXPECT_FALSE(appState().saveOriginalSettings());
    const std::string text = log();
    const std::string failed = "Saving is FAILED (File creating error)\r\n";
    const size_t firstFailure = text.find(failed);
    ASSERT_NE(firstFailure, std::string::npos);
    EXPECT_EQ(text.find(failed, firstFailure + 1), std::string::npos);
    EXPECT_EQ(text.find("SUCCESS"), std::string::npos);
    EXPECT_EQ(lastFileStamp, kNow);
}

// An hour of names taken by earlier backups: the search gives up and not
// one of them is added to.
TEST_F(BackupTest, EveryNameTakenFailsWithoutTouchingAnyFile) {
    DeviceInfo first = makeInfo("TYPE1");
    DeviceInfo second = makeInfo("TYPE2");
    bindRecord(0, first, exampleValues());
    bindRecord(1, second, exampleValues());
    for (int64_t stamp = kNow; stamp <= kNow + 3600; ++stamp) writeWholeFile(stampedName("KVDEV-A1", stamp), "older");

    EXPECT_FALSE(appState().saveOriginalSettings());
    EXPECT_NE(log().find("Saving is FAILED (File creating error)\r\n"), std::string::npos);
    EXPECT_EQ(log().find("SUCCESS"), std::string::npos);
    EXPECT_EQ(appState().lastBackupFile, std::string());
    for (const auto& name : scratch_.setFiles()) ASSERT_EQ(readWholeFile(name), "older") << name;
}

TEST_F(BackupTest, ExistingFilesAreNeverReplacedTheStampMovesOn) {
    DeviceInfo info = makeInfo("TYPE1");
    bindRecord(0, info, exampleValues());
    // Left by an earlier run whose clock was ahead: two names already taken,
    // one by a folder.
    const std::string earlier = stampedName("KVDEV-A1", kNow);
    writeWholeFile(earlier, std::string(2000, 'x'));
    std::filesystem::create_directory(stampedName("KVDEV-A1", kNow + 1));

    EXPECT_TRUE(appState().saveOriginalSettings());
    EXPECT_EQ(readWholeFile(earlier), std::string(2000, 'x'));
    const std::string written = stampedName("KVDEV-A1", kNow + 2);
    EXPECT_EQ(readWholeFile(written), exampleSection());
    EXPECT_NE(log().find("Filename: " + written + "\r\n"), std::string::npos) << log();
    EXPECT_EQ(appState().lastBackupFile, written);
    EXPECT_EQ(lastFileStamp, kNow + 2);
}

TEST_F(BackupTest, EveryBackupOfARunTakesALaterStamp) {
    DeviceInfo info = makeInfo("TYPE1");
    bindRecord(0, info, exampleValues());

    EXPECT_TRUE(appState().saveOriginalSettings());  // the current time as it is
    EXPECT_TRUE(appState().saveOriginalSettings());  // same second
    timing_->setCalendarTime(kNow - 3600);             // clock set back
    EXPECT_TRUE(appState().saveOriginalSettings());
    timing_->setCalendarTime(kNow + 100);
    EXPECT_TRUE(appState().saveOriginalSettings());

    auto files = scratch_.setFiles();
    std::sort(files.begin(), files.end());
    EXPECT_EQ(files, (std::vector<std::string>{
                         stampedName("KVDEV-A1", kNow), stampedName("KVDEV-A1", kNow + 1),
                         stampedName("KVDEV-A1", kNow + 2), stampedName("KVDEV-A1", kNow + 100)}));
    EXPECT_EQ(lastFileStamp, kNow + 100);
}

TEST_F(BackupTest, NoOpenDeviceStillAdvancesTheStamp) {
    EXPECT_TRUE(appState().saveOriginalSettings());
    EXPECT_TRUE(scratch_.setFiles().empty());
    EXPECT_EQ(lastFileStamp, kNow);
    const std::string rule(kLogRule);
    EXPECT_EQ(log(), rule + "                     SAVE ORIGINAL SETTINGS\r\n" + rule);
}

#if !defined(_WIN32)
TEST_F(BackupTest, WriteFailureIsReportedNotCalledSuccess) {
    DeviceInfo info = makeInfo("TYPE1");
    bindRecord(0, info, exampleValues());
    // Files may not grow past 10 bytes: the section's write fails.
    struct FileSizeLimit {
        rlimit before{};
        void (*handler)(int) = nullptr;
        FileSizeLimit() {
            getrlimit(RLIMIT_FSIZE, &before);
            handler = std::signal(SIGXFSZ, SIG_IGN);
            rlimit small = before;
            small.rlim_cur = 10;
            setrlimit(RLIMIT_FSIZE, &small);
        }
        ~FileSizeLimit() {
            setrlimit(RLIMIT_FSIZE, &before);
            std::signal(SIGXFSZ, handler);
        }
    } limit;

    EXPECT_FALSE(appState().saveOriginalSettings());
    EXPECT_NE(log().find("Saving is FAILED (File writing error)\r\n"), std::string::npos);
    EXPECT_EQ(log().find("SUCCESS"), std::string::npos);
}
#endif

}  // namespace
}  // namespace spelvane::testing
