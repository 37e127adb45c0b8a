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
};

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
    SpeedValues start = makeValues(false, {9, 5, 2}, {{1, 2, 3, 4}});
    std::string section(exampleSection());
    auto result = read(section.substr(section.find('\n') + 1) + "DEVICE=NEXT\r\r\nHCLOCK=0\r\r\n", start);

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

TEST_F(RestoreReaderTest, TokensSeparatorsAndLimits) {
    auto result = read(
        "ADDRS=,,09,,05,01,02,03,04,06,07,08,0a,0b,0c,0d,0e,0f,10,11,12,\n"
        "NADDR=2\n"
        "LIGHT1=1,2,3,4,5,6,7,8,9,10\n");
    ASSERT_TRUE(result.accepted) << result.refusal;
    const uint8_t sixteen[16] = {9, 5, 1, 2, 3, 4, 6, 7, 8, 0xa, 0xb, 0xc, 0xd, 0xe, 0xf, 0x10};
    EXPECT_EQ(0, std::memcmp(result.values.addresses, sixteen, 16));
    for (int w = 0; w < kLightWords; ++w) EXPECT_EQ(result.values.lights[1].words[w], w + 1);

    // Fewer tokens than entries keep the rest; values are cut to their field.
    result = read("ADDRS=0x109\nLIGHT0=1ffff,-1\n");
    ASSERT_TRUE(result.accepted) << result.refusal;
    EXPECT_EQ(result.values.addresses[0], 0x09);
    EXPECT_EQ(result.values.addresses[1], 5);
    EXPECT_EQ(result.values.lights[0].words[0], 0xFFFF);
    EXPECT_EQ(result.values.lights[0].words[1], 0xFFFF);
    EXPECT_EQ(result.values.lights[0].words[2], 336);
}

TEST_F(RestoreReaderTest, KeysAreExactAndOtherLinesIgnored) {
    auto result = read(
        "nlight=0\n NADDR=0\nHCLOCK =0\nLIGHT0 0001\n\n------\nremark=1\n"
        "LIGHTX=00aa\n"  // no index digits: light 0
        "LIGHT 1=00bb\n");
    ASSERT_TRUE(result.accepted) << result.refusal;
    EXPECT_EQ(result.values.lightCount, 2);
    EXPECT_EQ(result.values.addressCount, 2);
    EXPECT_EQ(result.values.halfClock, 1);
    EXPECT_EQ(result.values.lights[0].words[0], 0xaa);
    EXPECT_EQ(result.values.lights[1].words[0], 0xbb);
}

TEST_F(RestoreReaderTest, HalfClockNumbers) {
    EXPECT_EQ(read("HCLOCK=0\n").values.halfClock, 0);
    EXPECT_EQ(read("HCLOCK=-3\n").values.halfClock, 0);
    EXPECT_EQ(read("HCLOCK=\n").values.halfClock, 0);
    SpeedValues off = exampleValues();
    off.halfClock = 0;
    off.header.bytes[SettingsHeader::kHalfClockByte1] = 0;
    auto on = read("HCLOCK=2\n", off);
    EXPECT_EQ(on.values.halfClock, 1);
    // Both flags must read as on after the store, which only sets the second.
    EXPECT_TRUE(on.values.header.bytes[SettingsHeader::kHalfClockByte1] & SettingsHeader::kHalfClockBit1);
}

TEST_F(RestoreReaderTest, LongLineIsReadInPiecesOf511) {
    // The second piece of the long line starts a line of its own.
    std::string longLine = "ADDRS=09,05,";
    longLine += std::string(kSettingsLineSize - 1 - longLine.size(), ',');
    longLine += "NLIGHT=1\n";
    auto result = read(longLine);
    ASSERT_TRUE(result.accepted) << result.refusal;
    EXPECT_EQ(result.values.lightCount, 1);

    // One character less and the key is split across the pieces: its tail
    // "LIGHT=1" sets word 0 of light 0 instead.
    std::string shorter = "ADDRS=09,05,";
    shorter += std::string(kSettingsLineSize - 2 - shorter.size(), ',');
    shorter += "NLIGHT=1\n";
    result = read(shorter);
    ASSERT_TRUE(result.accepted) << result.refusal;
    EXPECT_EQ(result.values.lightCount, 2);
    EXPECT_EQ(result.values.lights[0].words[0], 1);
}

TEST_F(RestoreReaderTest, SectionsBeyondTheRecordAreRefusedWhole) {
    struct Case {
        const char* text;
        const char* reason;
    } cases[] = {
        {"NADDR=17\nNLIGHT=0\n", "NADDR=17"},
        {"NADDR=65553\nNLIGHT=0\n", "NADDR=17"},  // cut to 16 bits first
        {"NADDR=8\nADDRS=9,5,1,2,3,4,6,7\n", "more than 7 while lights"},
        {"NLIGHT=6\n", "NLIGHT=6"},
        {"LIGHT5=1,2,3\n", "LIGHT index 5"},
        {"LIGHT-1=1,2,3\n", "LIGHT index -1"},
        {"ADDRS=05,02\n", "register 9"},
    };
    for (const Case& c : cases) {
        auto result = read(std::string(c.text) + "DEVICE=NEXT\n");
        EXPECT_FALSE(result.accepted) << c.text;
        EXPECT_NE(result.refusal.find(c.reason), std::string::npos) << c.text << " -> " << result.refusal;
        // The rest of the section is consumed even so.
        EXPECT_EQ(result.rest, "DEVICE=NEXT\n") << c.text;
    }
    // Many addresses are fine while no light is present.
    auto many = read("NLIGHT=0\nNADDR=16\nADDRS=1,2,3,4,5,6,7,8,a,b,c,d,e,f,10,9\n");
    EXPECT_TRUE(many.accepted) << many.refusal;
    EXPECT_EQ(many.values.shutterIndex, 15);
}

TEST_F(RestoreReaderTest, RegisterPositionsAndHBlankFollowTheRestoredLists) {
    auto result = read("NADDR=3\nADDRS=02,09,05\nNLIGHT=2\nLIGHT0=1,2,3,0\nLIGHT1=1,2,3,0144\n");
    ASSERT_TRUE(result.accepted) << result.refusal;
    EXPECT_EQ(result.values.shutterIndex, 1);
    EXPECT_EQ(result.values.hblankIndex, 2);
    EXPECT_EQ(result.values.hblankPresent, 1);
    EXPECT_EQ(result.values.hblank, 0x144);

    result = read("NADDR=1\nADDRS=09\nNLIGHT=1\n");
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
