// Backup and restore against the simulated reader: what reaches the device
// memory, and what does not.
#include <string>
#include <vector>

#include "app/closing_notice.h"
#include "tests/support/settings_file_test.h"
#include "tests/support/sim_device_test.h"

namespace spelvane::testing {
namespace {

constexpr int64_t kNow = 1700000000;

class RestoreDeviceTest : public SimDeviceTest {
protected:
    void SetUp() override {
        SimDeviceTest::SetUp();
        clock.setCalendarTime(kNow);
    }

    static MemoryLayout layout(bool halfClock, std::vector<uint8_t> addresses,
                               std::vector<std::vector<uint16_t>> lights) {
        MemoryLayout result;
        result.halfClock = halfClock;
        result.addresses = std::move(addresses);
        result.lights = std::move(lights);
        return result;
    }

    // The device of the worked example.
    static SimDevice exampleDevice() { return device(layout(true, {9, 5}, {{16, 512, 336}, {32, 384, 336}})); }

    static SimDevice pairDevice(const std::string& name, const std::string& type, uint16_t hblank) {
        SimDevice simulated = device(layout(false, {9, 5, 2}, {{1, 700, hblank, 3}, {2, 800, hblank, 4}}), name);
        simulated.typeName = type;
        return simulated;
    }

    // Takes a backup as the Store command does and returns its file name.
    std::string backup() {
        EXPECT_TRUE(appState().saveOriginalSettings());
        return stampedName(appState().displayName, lastFileStamp);
    }

    std::vector<TraceRecord> writesSinceStart() const {
        std::vector<TraceRecord> writes;
        for (const auto& request : laterRequests())
            if (request.functionCode == kDeviceWrite) writes.push_back(request);
        return writes;
    }

    RestoreSummary restoreText(const std::string& text) {
        writeWholeFile("chosen.set", text);
        messageLog().clear();
        return appState().restoreFromFile("chosen.set");
    }

    ScratchDirectory scratch;
};

// text with one piece replaced by another.
std::string replaced(std::string text, const std::string& from, const std::string& to) {
    const size_t at = text.find(from);
    EXPECT_NE(at, std::string::npos) << from;
    if (at != std::string::npos) text.replace(at, from.size(), to);
    return text;
}

TEST_F(RestoreDeviceTest, BackupOfTheExampleDeviceIsExact) {
    reader.addDevice(exampleDevice());
    ASSERT_TRUE(discover());
    EXPECT_EQ(readWholeFile(backup()), exampleSection());
    EXPECT_TRUE(laterRequests().empty());  // the backup never asks the device
}

TEST_F(RestoreDeviceTest, ImmediateRestoreOfABackupWritesNothing) {
    reader.addDevice(exampleDevice());
    ASSERT_TRUE(discover());
    const std::string name = backup();
    messageLog().clear();

    appState().restoreFromFile(name.c_str());

    EXPECT_EQ(logText(), "Restore -> device: TYPE1\r\nNo changes\r\n");
    EXPECT_TRUE(writesSinceStart().empty());
}

TEST_F(RestoreDeviceTest, PairBackupHoldsBothSectionsAndRestoresToEach) {
    reader.addDevice(pairDevice("ZEB-A1", "ZEB1", 0x150));
    reader.addDevice(pairDevice("KYT-A1", "KYT1", 0x160));
    ASSERT_TRUE(discover());
    ASSERT_EQ(appState().openCount, 2);
    const std::string name = backup();
    const std::string text = readWholeFile(name);
    const size_t second = text.find("DEVICE=KYT1\r\r\n");
    ASSERT_NE(second, std::string::npos);
    EXPECT_EQ(text.find("DEVICE=ZEB1\r\r\n"), 0u);

    messageLog().clear();
    appState().restoreFromFile(name.c_str());
    EXPECT_EQ(logText(), "Restore -> device: ZEB1\r\nNo changes\r\nRestore -> device: KYT1\r\nNo changes\r\n");
    EXPECT_TRUE(writesSinceStart().empty());

    // Sections in the other order still find their own device; each one
    // carries the other device's HBlank here so a mix-up would show.
    std::string swapped = text.substr(second) + text.substr(0, second);
    size_t at;
    while ((at = swapped.find(",0150,")) != std::string::npos) swapped.replace(at, 6, ",0151,");
    while ((at = swapped.find(",0160,")) != std::string::npos) swapped.replace(at, 6, ",0161,");
    restoreText(swapped);
    EXPECT_EQ(record(0).values.hblank, 0x151);
    EXPECT_EQ(record(1).values.hblank, 0x161);
    EXPECT_EQ(lightWord(reader.memory(0), 1, 2), 0x151);
    EXPECT_EQ(lightWord(reader.memory(1), 1, 2), 0x161);

    // A file for one of the two: the box names the one it left as it was.
    const RestoreSummary half = restoreText(text.substr(0, second));
    EXPECT_EQ(restoreClosingNotice(appState(), half, "chosen.set"),
              std::string(kRestartNotice) + "\n\nKYT-A1 was not restored: the file chosen.set holds no section for it.");
    EXPECT_EQ(lightWord(reader.memory(0), 1, 2), 0x150);
    EXPECT_EQ(lightWord(reader.memory(1), 1, 2), 0x161);
    // Again: the one reader already holds its section, the other has none.
    EXPECT_EQ(restoreClosingNotice(appState(), restoreText(text.substr(0, second)), "chosen.set"),
              std::string(kNothingWritten) + "\n\nKYT-A1 was not restored: the file chosen.set holds no section for it.");
}

TEST_F(RestoreDeviceTest, BackupTakenBeforeAStoreBringsTheOldValuesBack) {
    reader.addDevice(device(layout(false, {9, 5, 2, 3}, {{0x10, 1000, 0x100, 7, 8}, {0x20, 2000, 0x100, 9, 10}})));
    ASSERT_TRUE(discover());
    const std::vector<uint8_t> before = reader.memory(0);
    const SpeedValues original = record().snapshot();

    const std::string name = backup();
    appState().storeChanges(OperatorChoice{true, 0x200});
    ASSERT_EQ(record().values.hblank, 0x200);
    ASSERT_EQ(record().values.halfClock, 1);
    ASSERT_NE(reader.memory(0), before);

    messageLog().clear();
    appState().restoreFromFile(name.c_str());
    EXPECT_EQ(logText().rfind("Restore -> device: TYPE1\r\nWrite register adresses...OK\r\n", 0), 0u);
    EXPECT_EQ(logText().find("FAILED"), std::string::npos) << logText();

    // Address list and every light stand as the file says; the header says
    // Half Clock is off again.
    const std::vector<uint8_t> after = reader.memory(0);
    EXPECT_TRUE(std::equal(before.begin() + 16, before.end(), after.begin() + 16));
    EXPECT_EQ(after[13] & 0x01, 0);
    EXPECT_EQ(record().values.halfClock, 0);
    EXPECT_EQ(record().values.hblank, 0x100);

    // The next start reads what the file held.
    ASSERT_TRUE(restart());
    const SpeedValues reread = record().snapshot();
    EXPECT_EQ(reread.halfClock, original.halfClock);
    EXPECT_EQ(reread.hblank, original.hblank);
    EXPECT_EQ(0, std::memcmp(reread.lights, original.lights, sizeof original.lights));
}

// The header written back announces what the file restored: the counts of
// its lists, and Half Clock with both of its flags.
TEST_F(RestoreDeviceTest, RestoredHeaderAnnouncesTheFileCountsAndHalfClock) {
    reader.addDevice(device(layout(false, {9, 5, 2, 3}, {{0x10, 1000, 0x100, 7, 8}, {0x20, 2000, 0x100, 9, 10}})));
    ASSERT_TRUE(discover());
    restoreText("DEVICE=TYPE1\r\r\nHCLOCK=1\r\r\nNADDR=2\r\r\nADDRS=09,05\r\r\nNLIGHT=1\r\r\nLIGHT0=0010,0200,0150\r\r\n");
    const std::vector<uint8_t> after = reader.memory(0);
    EXPECT_EQ(headerByte(after, SettingsHeader::kAddressCountByte), 2) << logText();
    EXPECT_EQ(headerByte(after, SettingsHeader::kLightCountByte), 1);
    EXPECT_EQ(headerByte(after, 3) & 0x40, 0x40);
    EXPECT_EQ(headerByte(after, 13) & 0x01, 0x01);
}

TEST_F(RestoreDeviceTest, LaterLightsCountAsChanges) {
    reader.addDevice(exampleDevice());
    ASSERT_TRUE(discover());
    restoreText(replaced(exampleSection(), "LIGHT1=0020,0180,0150", "LIGHT1=0020,0181,0150"));
    EXPECT_EQ(logText().find("No changes"), std::string::npos);
    EXPECT_EQ(lightWord(reader.memory(0), 1, 1), 0x181);
    EXPECT_EQ(record().values.lights[1].words[1], 0x181);
}

TEST_F(RestoreDeviceTest, HalfClockAloneCountsAsAChange) {
    reader.addDevice(exampleDevice());
    ASSERT_TRUE(discover());
    restoreText(replaced(exampleSection(), "HCLOCK=1", "HCLOCK=0"));
    EXPECT_EQ(logText().find("No changes"), std::string::npos) << logText();
    EXPECT_EQ(headerByte(reader.memory(0), 13) & 0x01, 0);
    EXPECT_EQ(record().values.halfClock, 0);
}

TEST_F(RestoreDeviceTest, RegisterPositionsFollowARestoredAddressOrder) {
    reader.addDevice(exampleDevice());
    ASSERT_TRUE(discover());
    restoreText("DEVICE=TYPE1\nHCLOCK=1\nNADDR=2\nADDRS=05,09\nNLIGHT=2\n"
                "LIGHT0=0010,0000,0200\nLIGHT1=0020,0099,0180\n");
    const SpeedValues values = record().snapshot();
    EXPECT_EQ(values.shutterIndex, 1);
    EXPECT_EQ(values.hblankIndex, 0);
    EXPECT_EQ(values.hblank, 0x99);  // the first light's HBlank word is 0

    ASSERT_TRUE(restart());
    EXPECT_EQ(record().values.shutterIndex, 1);
    EXPECT_EQ(record().values.hblank, 0x99);
}

TEST_F(RestoreDeviceTest, RefusedSectionWritesNothingAndLaterSectionsAreRead) {
    reader.addDevice(exampleDevice());
    ASSERT_TRUE(discover());
    const std::pair<const char*, const char*> refused[] = {
        {"NADDR=2", "NADDR=17"},
        {"NLIGHT=2", "NLIGHT=6"},
        {"LIGHT1=", "LIGHT5="},
        {"NADDR=2\r\r\nADDRS=09,05", "NADDR=8\r\r\nADDRS=9,5,1,2,3,4,6,7"},
        {"ADDRS=09,05", "ADDRS=05,02"},
    };
    const std::string later = replaced(exampleSection(), "LIGHT0=0010", "LIGHT0=0011");
    for (const auto& [from, to] : refused) {
        restoreText(replaced(exampleSection(), from, to) + later);
        const std::string log = logText();
        EXPECT_NE(log.find("Restore -> device: TYPE1\r\nSection is refused ("), std::string::npos) << to;
        // The later section for the same device is the one applied.
        EXPECT_NE(log.find("nothing is written\r\nRestore -> device: TYPE1\r\nWrite register"),
                  std::string::npos)
            << to << log;
        EXPECT_EQ(lightWord(reader.memory(0), 0, 0), 0x11);
        restoreText(exampleSection());  // back to the start for the next case
    }
    EXPECT_EQ(reader.memory(0)[16], 9);
}

TEST_F(RestoreDeviceTest, NumbersThatDoNotFitAndEntriesTheFileLeavesOutAreNeverWritten) {
    reader.addDevice(exampleDevice());
    ASSERT_TRUE(discover());
    const std::vector<uint8_t> before = reader.memory(0);
    // Half Clock off differs from the device: a section taken would be written.
    const std::string changed = replaced(exampleSection(), "HCLOCK=1", "HCLOCK=0");
    const struct {
        const char* from;
        const char* to;
        const char* reason;
    } cases[] = {
        // Cut to their field these would read 2, 1, 3, 09 and 0200.
        {"NADDR=2", "NADDR=65538", "NADDR=65538 is more than 16"},
        {"NLIGHT=2", "NLIGHT=65537", "NLIGHT=65537 is more than 5"},
        {"NADDR=2", "NADDR=-65533", "NADDR=-65533 is less than 0"},
        {"ADDRS=09,05", "ADDRS=109,05", "address 109 is more than ff (ADDRS=109,05)"},
        {"0010,0200", "0010,10200", "word 10200 is more than ffff (LIGHT0=0010,10200,0150)"},
        // Fewer entries than the counts announce.
        {"NADDR=2", "NADDR=3", "NADDR=3 announces 3 addresses, ADDRS=09,05 lists 2"},
        {"LIGHT1=0020,0180,0150\r\r\n", "", "there is no LIGHT1 line for NLIGHT=2"},
        {"LIGHT1=0020,0180,0150", "LIGHT1=0020,0180", "LIGHT1=0020,0180 lists 2 words, NADDR=2 needs 3"},
        // Values beyond the counts are read and must fit as well.
        {"ADDRS=09,05", "ADDRS=09,05,100", "address 100 is more than ff (ADDRS=09,05,100)"},
        {"LIGHT1=0020,0180,0150\r\r\n", "LIGHT1=0020,0180,0150\r\r\nLIGHT2=0030,x\r\r\n",
         "word x is not a hexadecimal number (LIGHT2=0030,x)"},
    };
    for (const auto& c : cases) {
        restoreText(replaced(changed, c.from, c.to));
        EXPECT_EQ(logText(), std::string("Restore -> device: TYPE1\r\nSection is refused (") + c.reason +
                                 "); nothing is written\r\n")
            << c.to;
        EXPECT_TRUE(writesSinceStart().empty()) << c.to;
        EXPECT_EQ(reader.memory(0), before) << c.to;
    }
    // The same section with nothing wrong is written.
    restoreText(changed);
    EXPECT_EQ(headerByte(reader.memory(0), 13) & 0x01, 0) << logText();
    const std::vector<uint8_t> written = reader.memory(0);

    // More than the counts announce is read and left out: the device ends
    // as the section's counted values say, and not a word beyond.
    const std::pair<const char*, const char*> extras[] = {
        {"ADDRS=09,05", "ADDRS=09,05,02,0x3,1,2,3,4,5,6,7,8,9,a,b,c,d,e,f,junk"},
        {"LIGHT0=0010,0200,0150", "LIGHT0=0x0010,0200,  0150,0042,1,2,3,4,5,6"},
        {"LIGHT1=0020,0180,0150\r\r\n", "LIGHT1=0020,0180,0150\r\r\nLIGHT2=0030,0100,0150\r\r\nLIGHT4=1\r\r\n"},
        // Saved by Notepad as UTF-8: its signature before the first line.
        {"DEVICE=TYPE1", "\xEF\xBB\xBF" "DEVICE=TYPE1"},
    };
    for (const auto& [from, to] : extras) {
        restoreText(exampleSection());
        restoreText(replaced(changed, from, to));
        EXPECT_EQ(logText().find("refused"), std::string::npos) << to << logText();
        EXPECT_EQ(reader.memory(0), written) << to;
    }
}

TEST_F(RestoreDeviceTest, TypeNamesMatchWholeAndOnlyOnce) {
    reader.addDevice(exampleDevice());
    ASSERT_TRUE(discover());
    std::string other = exampleSection();
    other.replace(other.find("DEVICE=TYPE1"), 12, "DEVICE=TYPE10");
    other.replace(other.find("0010,0200"), 9, "0010,0222");
    std::string padded = exampleSection();
    padded.replace(padded.find("DEVICE=TYPE1"), 12, "DEVICE=TYPE1 \t");
    std::string second = exampleSection();
    second.replace(second.find("0010,0200"), 9, "0010,0333");

    restoreText("DEVICE=OTHER\nHCLOCK=0\n" + other + padded + second);

    // Only the padded section was applied; the one after it was not read.
    EXPECT_EQ(logText(), "Restore -> device: TYPE1\r\nNo changes\r\n");
    EXPECT_TRUE(writesSinceStart().empty());
}

// However long a line, only its start can head a section: the tail of a long
// line is never read as a heading of its own.
TEST_F(RestoreDeviceTest, HeadingInsideALongLineIsNoHeading) {
    reader.addDevice(exampleDevice());
    ASSERT_TRUE(discover());
    for (size_t length : {510, 511, 1022}) {
        restoreText("NOTE=" + std::string(length - 5, 'x') + replaced(exampleSection(), "0010,0200", "0010,0222"));
        EXPECT_EQ(logText(), "") << length;
    }
    EXPECT_TRUE(writesSinceStart().empty());
}

// A reader without a type name gets its own backup back, and no other
// reader's section.
TEST_F(RestoreDeviceTest, EmptyTypeNameRestoresItsOwnBackupOnly) {
    SimDevice simulated = exampleDevice();
    simulated.typeName = "";
    reader.addDevice(simulated);
    ASSERT_TRUE(discover());
    const std::vector<uint8_t> before = reader.memory(0);
    const std::string name = backup();
    EXPECT_EQ(readWholeFile(name).rfind("DEVICE=\r\r\nHCLOCK=1\r\r\n", 0), 0u);
    appState().storeChanges(OperatorChoice{true, 300});
    ASSERT_NE(reader.memory(0), before);

    restoreText(replaced(exampleSection(), "0010,0200", "0010,0222"));
    EXPECT_EQ(logText(), "");
    messageLog().clear();
    appState().restoreFromFile(name.c_str());
    EXPECT_EQ(logText().rfind("Restore -> device: \r\nWrite register adresses...OK\r\n", 0), 0u) << logText();
    EXPECT_EQ(reader.memory(0), before);
}

TEST_F(RestoreDeviceTest, FileThatCannotBeReadIsRefusedWhole) {
    reader.addDevice(exampleDevice());
    ASSERT_TRUE(discover());
    // The section as Notepad saves it as "Unicode", either byte order.
    std::string littleEndian = "\xFF\xFE", bigEndian = "\xFE\xFF";
    for (char c : replaced(exampleSection(), "HCLOCK=1", "HCLOCK=0")) {
        littleEndian += {c, '\0'};
        bigEndian += {'\0', c};
    }
    const std::string unicodeLog = "Settings file chosen.set is Unicode: save it as ANSI; nothing is written\r\n";
    const std::string unicodeBox = "Nothing was written to the device: the file chosen.set is saved as Unicode.\n\n"
                                   "Open it in Notepad and save it again with the encoding ANSI.";
    const std::string files[][3] = {
        {"", "Cannot open settings file missing.set (it does not exist)\r\n",
         "Nothing was written to the device: the file missing.set cannot be read."},
        {littleEndian, unicodeLog, unicodeBox},
        {bigEndian, unicodeLog, unicodeBox},
    };
    for (const auto& [text, log, box] : files) {
        const char* path = text.empty() ? "missing.set" : "chosen.set";
        if (!text.empty()) writeWholeFile(path, text);
        messageLog().clear();
        const RestoreSummary summary = appState().restoreFromFile(path);
        EXPECT_EQ(logText(), log);
        EXPECT_EQ(restoreClosingNotice(appState(), summary, path), box);
        EXPECT_TRUE(writesSinceStart().empty());
    }
}

}  // namespace
}  // namespace spelvane::testing
