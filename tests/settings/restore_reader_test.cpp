// Reading one section of a .set file, and the file-open dialog hand-off.
#include <cstdio>
#include <string>

#include "tests/support/settings_file_test.h"

namespace spelvane::testing {
namespace {

struct SectionRead {
    bool accepted;
    std::string refusal;
    SpeedValues values;
    std::string rest;  // what the file still holds after the reader stopped
};

class RestoreReaderTest : public SettingsFileTest {
protected:
    SectionRead read(const std::string& text, const SpeedValues& start) {
        writeWholeFile("section.set", text);
        SectionRead result{false, {}, start, {}};
        std::FILE* file = std::fopen("section.set", "rb");
        EXPECT_NE(file, nullptr);
        if (!file) return result;
        result.accepted = readSettingsSection(file, result.values, result.refusal);
        char buffer[4096];
        size_t length;
        while ((length = std::fread(buffer, 1, sizeof buffer, file)) > 0) result.rest.append(buffer, length);
        std::fclose(file);
        return result;
    }
    SectionRead read(const std::string& text) { return read(text, exampleValues()); }

    // Values unlike the example's, so that a section read into them shows.
    static SpeedValues otherValues() { return makeValues(false, {9, 5, 2}, {{1, 2, 3, 4}}); }
};

// The example's section without its heading, with one piece of text
// replaced by another.
std::string exampleBody(const std::string& from = "", const std::string& to = "") {
    std::string text(exampleSection());
    text.erase(0, text.find('\n') + 1);
    if (from.empty()) return text;
    const size_t at = text.find(from);
    EXPECT_NE(at, std::string::npos) << from;
    if (at != std::string::npos) text.replace(at, from.size(), to);
    return text;
}

TEST(SettingsNumbers, DecimalForms) {
    EXPECT_EQ(parseSettingsDecimal("12"), 12);
    EXPECT_EQ(parseSettingsDecimal(" \t 7x"), 7);
    EXPECT_EQ(parseSettingsDecimal("-3"), -3);
    EXPECT_EQ(parseSettingsDecimal("+4"), 4);
    EXPECT_EQ(parseSettingsDecimal(""), 0);
    EXPECT_EQ(parseSettingsDecimal("abc"), 0);
    EXPECT_EQ(parseSettingsDecimal("- 5"), 0);
    EXPECT_EQ(parseSettingsDecimal("99999999999999999999"), INT32_MAX);
    EXPECT_EQ(parseSettingsDecimal("-99999999999999999999"), INT32_MIN);
}

TEST(SettingsNumbers, HexadecimalForms) {
    EXPECT_EQ(parseSettingsHex("1a"), 0x1Au);
    EXPECT_EQ(parseSettingsHex("0X1A"), 0x1Au);
    EXPECT_EQ(parseSettingsHex(" \t0x00ab,"), 0xABu);
    EXPECT_EQ(parseSettingsHex("-1"), 0xFFFFFFFFu);
    EXPECT_EQ(parseSettingsHex("-0x10"), 0xFFFFFFF0u);
    EXPECT_EQ(parseSettingsHex("zz"), 0u);
    EXPECT_EQ(parseSettingsHex("0x"), 0u);
    EXPECT_EQ(parseSettingsHex("ffffffff"), 0xFFFFFFFFu);
    EXPECT_EQ(parseSettingsHex("000000000012345678"), 0x12345678u);  // leading zeros are not significant
    EXPECT_EQ(parseSettingsHex("123456789"), 0xFFFFFFFFu);
    EXPECT_EQ(parseSettingsHex("-123456789"), 0xFFFFFFFFu);
}

TEST_F(RestoreReaderTest, BackupTextReadsBackToTheSameValues) {
    auto result = read(exampleBody() + "DEVICE=NEXT\r\r\nHCLOCK=0\r\r\n", otherValues());

    ASSERT_TRUE(result.accepted) << result.refusal;
    const SpeedValues expected = exampleValues();
    EXPECT_EQ(result.values.halfClock, 1);
    EXPECT_EQ(result.values.addressCount, 2);
    EXPECT_EQ(result.values.lightCount, 2);
    EXPECT_EQ(0, std::memcmp(result.values.addresses, expected.addresses, 2));
    for (int i = 0; i < 2; ++i)
        for (int w = 0; w <= 2; ++w) EXPECT_EQ(result.values.lights[i].words[w], expected.lights[i].words[w]);
    // Words the section does not name keep what the device holds.
    EXPECT_EQ(result.values.lights[0].words[3], 4);
    // The reader stops before the next section's first line.
    EXPECT_EQ(result.rest, "DEVICE=NEXT\r\r\nHCLOCK=0\r\r\n");
}

TEST_F(RestoreReaderTest, AllThreeLineEndsReadAlike) {
    const std::string lines[] = {"HCLOCK=0", "NADDR=3", "ADDRS=9,5,1a", "NLIGHT=1", "LIGHT0=7,8,9,a"};
    SpeedValues results[3];
    const char* ends[] = {"\r\r\n", "\r\n", "\n"};
    for (int e = 0; e < 3; ++e) {
        std::string text;
        for (const auto& line : lines) text += line + ends[e];
        auto result = read(text);
        ASSERT_TRUE(result.accepted) << result.refusal;
        results[e] = result.values;
    }
    EXPECT_EQ(results[0].addresses[2], 0x1a);
    EXPECT_EQ(results[0].lights[0].words[2], 0x9);
    EXPECT_EQ(results[0].lights[0].words[3], 0xa);  // the CR never joins the value
    EXPECT_EQ(0, std::memcmp(&results[0], &results[1], sizeof(SpeedValues)));
    EXPECT_EQ(0, std::memcmp(&results[0], &results[2], sizeof(SpeedValues)));
}

TEST_F(RestoreReaderTest, TokenSeparatorsAndNumberForms) {
    // Runs of separators count as one; blanks around a value, a sign and 0x
    // are forms of the same number.
    auto result = read("HCLOCK=+1\nNADDR= 3 \nADDRS=,, 0x09,,05 ,\t1A,\nNLIGHT=1\t\nLIGHT0=0,+1,-0,0X00ffff\n",
                       otherValues());
    ASSERT_TRUE(result.accepted) << result.refusal;
    EXPECT_EQ(result.values.halfClock, 1);
    const uint8_t addresses[] = {9, 5, 0x1a};
    EXPECT_EQ(0, std::memcmp(result.values.addresses, addresses, sizeof addresses));
    const uint16_t words[] = {0, 1, 0, 0xffff};
    EXPECT_EQ(0, std::memcmp(result.values.lights[0].words, words, sizeof words));
}

TEST_F(RestoreReaderTest, KeysAreExactAndOtherLinesIgnored) {
    // Had any of the first lines been taken for a key, it would repeat one
    // of the section's own and refuse it.
    auto result = read(
        "nlight=0\n NADDR=0\nHCLOCK =0\nLIGHT0 0001\n\n------\nremark=1\n"
        "HCLOCK=1\nNADDR=2\nADDRS=09,05\nNLIGHT=2\nLIGHT0=00aa,1,2\n"
        "LIGHT 1 =00bb,3,4\n",  // blanks around the light number
        otherValues());
    ASSERT_TRUE(result.accepted) << result.refusal;
    EXPECT_EQ(result.values.lightCount, 2);
    EXPECT_EQ(result.values.addressCount, 2);
    EXPECT_EQ(result.values.halfClock, 1);
    EXPECT_EQ(result.values.lights[0].words[0], 0xaa);
    EXPECT_EQ(result.values.lights[1].words[0], 0xbb);
}

TEST_F(RestoreReaderTest, HalfClockNumbers) {
    auto withHalfClock = [](const char* value) { return exampleBody("HCLOCK=1", std::string("HCLOCK=") + value); };
    for (const char* off : {"0", "-3", " 00 "}) {
        auto result = read(withHalfClock(off));
        ASSERT_TRUE(result.accepted) << off << ": " << result.refusal;
        EXPECT_EQ(result.values.halfClock, 0) << off;
    }
    SpeedValues off = exampleValues();
    off.halfClock = 0;
    off.header.bytes[SettingsHeader::kHalfClockByte1] = 0;
    auto on = read(withHalfClock("2"), off);
    ASSERT_TRUE(on.accepted) << on.refusal;
    EXPECT_EQ(on.values.halfClock, 1);
    // Both flags must read as on after the store, which only sets the second.
    EXPECT_TRUE(on.values.header.bytes[SettingsHeader::kHalfClockByte1] & SettingsHeader::kHalfClockBit1);
}

TEST_F(RestoreReaderTest, LinesTheHeadingScanWouldCutRefuseTheSection) {
    // 510 characters before the line feed: the longest line the scan for
    // headings reads whole.
    std::string addresses = "ADDRS=09,05";
    addresses += std::string(kSettingsLineSize - 2 - addresses.size(), ',');
    auto section = [](const std::string& addressLine) { return "HCLOCK=0\nNADDR=2\n" + addressLine + "\nNLIGHT=0\n"; };
    auto result = read(section(addresses));
    EXPECT_TRUE(result.accepted) << result.refusal;
    // Its line end, as written or as CR LF, is no part of it.
    for (const char* returns : {"\r\r", "\r"}) {
        result = read(section(addresses + returns));
        EXPECT_TRUE(result.accepted) << result.refusal;
    }

    // One more, and the tail would have come as a line of its own.
    const SpeedValues start = otherValues();
    result = read(section(addresses + ",NLIGHT=1") + "DEVICE=NEXT\n", start);
    EXPECT_FALSE(result.accepted);
    EXPECT_EQ(result.refusal.rfind("a line is longer than 510 characters (ADDRS=09,05,,,", 0), 0u) << result.refusal;
    EXPECT_EQ(0, std::memcmp(&result.values, &start, sizeof(SpeedValues)));
    EXPECT_EQ(result.rest, "DEVICE=NEXT\n");
}

TEST_F(RestoreReaderTest, SectionsNotStatingTheRecordExactlyAreRefusedWhole) {
    // Each: the example's section with one piece replaced, and the refusal.
    const struct {
        const char* from;
        const char* to;
        const char* reason;
    } cases[] = {
        {"NADDR=2", "NADDR=17", "NADDR=17 is more than 16"},
        {"NADDR=2", "NADDR=65553", "NADDR=65553 is more than 16"},  // not cut to 17 first
        {"NADDR=2\r\r\nADDRS=09,05", "NADDR=8\r\r\nADDRS=9,5,1,2,3,4,6,7",
         "NADDR=8 is more than 7 while lights are present"},
        {"NLIGHT=2", "NLIGHT=6", "NLIGHT=6 is more than 5"},
        {"LIGHT1=", "LIGHT5=", "LIGHT index 5 is outside 0..4"},
        {"LIGHT1=", "LIGHT-1=", "LIGHT index -1 is outside 0..4"},
        {"LIGHT1=", "LIGHTX=", "LIGHTX=0020,0180,0150: the LIGHT index is not a number"},
        {"ADDRS=09,05", "ADDRS=05,02", "register 9 (shutter) is not in the address list"},
        // Values that are no whole number are not guessed at.
        {"HCLOCK=1", "HCLOCK=on", "HCLOCK=on is not a number"},
        {"NADDR=2", "NADDR=2x", "NADDR=2x is not a number"},
        {"ADDRS=09,05", "ADDRS=09 05", "address 09 05 is not a hexadecimal number (ADDRS=09 05)"},
        {"0010,0200", "0010,0x", "word 0x is not a hexadecimal number (LIGHT0=0010,0x,0150)"},
        {"LIGHT0=0010", "LIGHT0=-0x0010", "word -0x0010 is less than 0 (LIGHT0=-0x0010,0200,0150)"},
        {"ADDRS=09,05", "ADDRS=09,-ffffffff", "address -ffffffff is less than 0 (ADDRS=09,-ffffffff)"},  // not 01
        // A key given twice, or not at all.
        {"NADDR=2\r\r\n", "NADDR=2\r\r\nNADDR=2\r\r\n", "NADDR=2 repeats an earlier line (NADDR=2)"},
        {"LIGHT1=", "LIGHT0=", "LIGHT0=0020,0180,0150 repeats an earlier line (LIGHT0=0010,0200,0150)"},
        {"HCLOCK=1\r\r\n", "", "there is no HCLOCK line"},
        {"ADDRS=09,05\r\r\n", "", "there is no ADDRS line"},
        {"NLIGHT=2\r\r\n", "", "there is no NLIGHT line"},
    };
    const SpeedValues start = otherValues();
    for (const auto& c : cases) {
        auto result = read(exampleBody(c.from, c.to) + "DEVICE=NEXT\n", start);
        EXPECT_FALSE(result.accepted) << c.to;
        EXPECT_EQ(result.refusal, c.reason) << c.to;
        EXPECT_EQ(0, std::memcmp(&result.values, &start, sizeof(SpeedValues))) << c.to;
        // The rest of the section is consumed even so.
        EXPECT_EQ(result.rest, "DEVICE=NEXT\n") << c.to;
    }
    // Many addresses are fine while no light is present.
    auto many = read("HCLOCK=0\nNLIGHT=0\nNADDR=16\nADDRS=1,2,3,4,5,6,7,8,a,b,c,d,e,f,10,9\n");
    EXPECT_TRUE(many.accepted) << many.refusal;
    EXPECT_EQ(many.values.shutterIndex, 15);
}

TEST_F(RestoreReaderTest, RegisterPositionsAndHBlankFollowTheRestoredLists) {
    auto result = read("HCLOCK=0\nNADDR=3\nADDRS=02,09,05\nNLIGHT=2\nLIGHT0=1,2,3,0\nLIGHT1=1,2,3,0144\n");
    ASSERT_TRUE(result.accepted) << result.refusal;
    EXPECT_EQ(result.values.shutterIndex, 1);
    EXPECT_EQ(result.values.hblankIndex, 2);
    EXPECT_EQ(result.values.hblankPresent, 1);
    EXPECT_EQ(result.values.hblank, 0x144);

    result = read("HCLOCK=0\nNADDR=1\nADDRS=09\nNLIGHT=1\nLIGHT0=7,8\n");
    ASSERT_TRUE(result.accepted) << result.refusal;
    EXPECT_EQ(result.values.hblankPresent, 0);
    EXPECT_EQ(result.values.hblankIndex, -1);
    EXPECT_EQ(result.values.hblank, 0);
}

class ChooseFileTest : public SettingsFileTest {
protected:
    void SetUp() override {
        SettingsFileTest::SetUp();
        dialogOwner_ = std::make_unique<FakeDialog>();
    }
    void TearDown() override {
        dialogOwner_.reset();
        SettingsFileTest::TearDown();
    }
    std::unique_ptr<FakeDialog> dialogOwner_;
    FakeDialog& dialog() { return *dialogOwner_; }
};

TEST_F(ChooseFileTest, PassesTheInitialNameAndCopiesTheChoiceBack) {
    dialog().chooseFileNext("C:\\data\\KVDEV-A1_20240101000000.set");
    char name[kSettingsFileNameSize] = "KVDEV-A1_*.set";
    EXPECT_TRUE(chooseSettingsFile(nullptr, name, sizeof name));
    EXPECT_STREQ(name, "C:\\data\\KVDEV-A1_20240101000000.set");
    EXPECT_EQ(dialog().initialFileNames(), std::vector<std::string>{"KVDEV-A1_*.set"});

    // Cancelled: false, whatever the buffer holds.
    EXPECT_FALSE(chooseSettingsFile(nullptr, name, sizeof name));
}

TEST_F(ChooseFileTest, PathThatDoesNotFitIsCutTerminatedAndNotChosen) {
    dialog().chooseFileNext("abcdefghij.set");
    char name[8] = "_*.set";
    EXPECT_FALSE(chooseSettingsFile(nullptr, name, sizeof name));
    EXPECT_STREQ(name, "abcdefg");

    // An initial name longer than the dialog's buffer reaches it cut to 259.
    std::string huge(400, 'q');
    std::vector<char> big(huge.begin(), huge.end());
    big.push_back('\0');
    EXPECT_FALSE(chooseSettingsFile(nullptr, big.data(), big.size()));
    ASSERT_EQ(dialog().initialFileNames().size(), 2u);
    EXPECT_EQ(dialog().initialFileNames()[1], std::string(kSettingsFileNameSize - 1, 'q'));
}

}  // namespace
}  // namespace spelvane::testing
