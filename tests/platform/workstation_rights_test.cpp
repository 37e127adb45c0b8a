// The workstation folder's and history's rights, read as Windows reads the
// strings: who may do what to the folder, to each file in it and to the
// history. Natively the strings are taken apart here; on Windows (Wine)
// the system's own parser must build the same entries.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "platform/workstation_rights.h"

#if defined(_WIN32)
#include <windows.h>
#include <sddl.h>

#include <algorithm>
#include <map>

#include "platform/shared_folder.h"
#include "tests/support/scratch_directory.h"
#endif

namespace spelvane::platform {
namespace {

// The file system's access bits, as winnt.h numbers them.
constexpr uint32_t kReadData = 0x1, kWriteData = 0x2, kAppendData = 0x4, kReadEa = 0x8, kWriteEa = 0x10,
                   kTraverse = 0x20, kDeleteChild = 0x40, kReadAttributes = 0x80, kWriteAttributes = 0x100,
                   kDelete = 0x10000, kReadControl = 0x20000, kWriteDac = 0x40000, kWriteOwner = 0x80000,
                   kSynchronize = 0x100000, kFull = 0x1f01ff;
constexpr uint32_t kRead = kReadData | kReadEa | kReadAttributes | kReadControl | kSynchronize;
constexpr uint32_t kTakeOver = kDelete | kWriteDac | kWriteOwner;
// On a folder the first bits mean list, add a file, add a subfolder.
constexpr uint32_t kList = kReadData, kAddFile = kWriteData, kAddFolder = kAppendData;

struct Entry {
    std::string type, flags;
    uint32_t mask = 0;
    std::string who;
};

struct Descriptor {
    std::string owner;
    bool isProtected = false;
    std::vector<Entry> entries;
};

// "O:owner" then "D:flags(type;flags;mask;;;who)..."
Descriptor parse(const std::string& text) {
    Descriptor parsed;
    const size_t list = text.find("D:");
    parsed.owner = text.substr(2, list - 2);
    const size_t first = text.find('(', list);
    parsed.isProtected = text.substr(list + 2, first - list - 2).find('P') != std::string::npos;
    for (size_t open = first; open != std::string::npos; open = text.find('(', open + 1)) {
        std::vector<std::string> fields(1);
        for (size_t at = open + 1; text[at] != ')'; ++at) {
            if (text[at] == ';') fields.emplace_back();
            else fields.back() += text[at];
        }
        EXPECT_EQ(fields.size(), 6u) << text.substr(open);
        fields.resize(6);
        parsed.entries.push_back({fields[0], fields[1], uint32_t(std::strtoul(fields[2].c_str(), nullptr, 16)), fields[5]});
    }
    return parsed;
}

enum class On { Itself, Files };

// What who may do to the object itself, or to each file created in it.
uint32_t rightsOf(const Descriptor& descriptor, const std::string& who, On on) {
    uint32_t rights = 0;
    for (const Entry& entry : descriptor.entries) {
        const bool reachesFiles = entry.flags.find("OI") != std::string::npos;
        const bool onlyInherited = entry.flags.find("IO") != std::string::npos;
        if (entry.who == who && (on == On::Files ? reachesFiles : !onlyInherited)) rights |= entry.mask;
    }
    return rights;
}

struct Rule {
    const char* what;
    const char* rights;
    const char* who;
    On on;
    uint32_t granted;
    uint32_t forbidden;
};

// A backup that was in the folder before the installer set its rights.
const std::string kOwner = "S-1-5-21-1-2-3-1001";
const std::string kFileRights = workstationFileRights(kOwner);

const Rule kRules[] = {
    {"SYSTEM runs the folder", kWorkstationFolderRights, "SY", On::Itself, kFull, 0},
    {"SYSTEM runs its files", kWorkstationFolderRights, "SY", On::Files, kFull, 0},
    {"Administrators run the folder", kWorkstationFolderRights, "BA", On::Itself, kFull, 0},
    {"Administrators run its files", kWorkstationFolderRights, "BA", On::Files, kFull, 0},
    {"Users list the folder and add files, never a folder, never remove a file", kWorkstationFolderRights, "BU",
     On::Itself, kList | kAddFile | kTraverse | kRead, kAddFolder | kDeleteChild | kWriteAttributes | kWriteEa | kTakeOver},
    {"Users read every file, never alter one", kWorkstationFolderRights, "BU", On::Files, kRead,
     kWriteData | kAppendData | kWriteAttributes | kWriteEa | kTakeOver},
    {"a file's creator has it whole", kWorkstationFolderRights, "CO", On::Files, kFull, 0},
    {"the creator's entry is for the files only", kWorkstationFolderRights, "CO", On::Itself, 0, kFull},
    {"SYSTEM runs the history", kWorkstationHistoryRights, "SY", On::Itself, kFull, 0},
    {"Administrators run the history", kWorkstationHistoryRights, "BA", On::Itself, kFull, 0},
    {"Users read the history and append to it, nothing more", kWorkstationHistoryRights, "BU", On::Itself,
     kRead | kAppendData, kWriteData | kWriteAttributes | kWriteEa | kTakeOver},
    {"the history's first writer gets nothing of its own", kWorkstationHistoryRights, "CO", On::Itself, 0, kFull},
    {"Users read a backup that was there, never alter it", kFileRights.c_str(), "BU", On::Itself, kRead,
     kWriteData | kAppendData | kWriteAttributes | kWriteEa | kTakeOver},
    {"its operator keeps it whole", kFileRights.c_str(), kOwner.c_str(), On::Itself, kFull, 0},
    {"SYSTEM and Administrators run it", kFileRights.c_str(), "BA", On::Itself, kFull, 0},
};

TEST(WorkstationRightsTest, EachAccountMayDoWhatItNeedsAndNoUserMayAlterAnothersFile) {
    for (const Rule& rule : kRules) {
        SCOPED_TRACE(rule.what);
        const uint32_t rights = rightsOf(parse(rule.rights), rule.who, rule.on);
        EXPECT_EQ(rights & rule.granted, rule.granted) << std::hex << rights;
        EXPECT_EQ(rights & rule.forbidden, 0u) << std::hex << rights;
    }
}

// Owned by Administrators, so the user who made neither can change its
// rights; inheriting nothing, so the all-users folder adds no entry; and
// granting only, to these accounts only.
TEST(WorkstationRightsTest, AdministratorsOwnAProtectedListOfGrantsToKnownAccounts) {
    for (const char* rights : {kWorkstationFolderRights, kWorkstationHistoryRights}) {
        SCOPED_TRACE(rights);
        const Descriptor descriptor = parse(rights);
        EXPECT_EQ(descriptor.owner, "BA");
        EXPECT_TRUE(descriptor.isProtected);
        for (const Entry& entry : descriptor.entries) {
            EXPECT_EQ(entry.type, "A");
            EXPECT_TRUE(entry.who == "SY" || entry.who == "BA" || entry.who == "BU" || entry.who == "CO") << entry.who;
        }
    }
}

// Only the installer's accounts: a folder a user made (Users, a user's
// own SID) could be that user's trap.
TEST(WorkstationRightsTest, OnlyTheInstallersAccountsOwnWhatIsTakenOver) {
    const struct {
        const char* owner;
        const char* self;
        bool installers;
    } cases[] = {
        {"S-1-5-18", "S-1-5-18", true},         {"S-1-5-32-544", "S-1-5-18", true},
        {"S-1-5-21-9-1001", "S-1-5-21-9-1001", true}, {"S-1-5-32-545", "S-1-5-18", false},
        {"S-1-5-21-9-1002", "S-1-5-18", false}, {"S-1-1-0", "S-1-5-18", false},
        {"", "", false},                        {"S-1-5-32-5440", "S-1-5-18", false},
    };
    for (const auto& c : cases) EXPECT_EQ(isInstallersOwner(c.owner, c.self), c.installers) << c.owner;
}

#if defined(_WIN32)
static_assert(kWriteData == FILE_WRITE_DATA && kAppendData == FILE_APPEND_DATA && kDeleteChild == FILE_DELETE_CHILD &&
              kWriteAttributes == FILE_WRITE_ATTRIBUTES && kFull == FILE_ALL_ACCESS && kRead == FILE_GENERIC_READ &&
              kAddFolder == FILE_ADD_SUBDIRECTORY && kWriteOwner == WRITE_OWNER);

BYTE aceFlagsOf(const std::string& flags) {
    return (flags.find("OI") != std::string::npos ? OBJECT_INHERIT_ACE : 0) |
           (flags.find("CI") != std::string::npos ? CONTAINER_INHERIT_ACE : 0) |
           (flags.find("IO") != std::string::npos ? INHERIT_ONLY_ACE : 0);
}

bool isSid(PSID sid, const std::string& alias) {
    PSID wanted = nullptr;
    if (!ConvertStringSidToSidA(alias.c_str(), &wanted)) return false;
    const bool same = EqualSid(sid, wanted);
    LocalFree(wanted);
    return same;
}

// The system's parser builds the descriptor the installer sets: these
// entries, in this order, protected, owned by Administrators.
TEST(WorkstationRightsTest, TheSystemReadsTheStringsAsTheseEntries) {
    for (const char* rights : {kWorkstationFolderRights, kWorkstationHistoryRights}) {
        SCOPED_TRACE(rights);
        const Descriptor expected = parse(rights);
        PSECURITY_DESCRIPTOR descriptor = nullptr;
        ASSERT_TRUE(ConvertStringSecurityDescriptorToSecurityDescriptorA(rights, SDDL_REVISION_1, &descriptor, nullptr));
        SECURITY_DESCRIPTOR_CONTROL control = 0;
        DWORD revision = 0;
        PSID owner = nullptr;
        PACL list = nullptr;
        BOOL present = FALSE, defaulted = FALSE;
        ASSERT_TRUE(GetSecurityDescriptorControl(descriptor, &control, &revision));
        ASSERT_TRUE(GetSecurityDescriptorOwner(descriptor, &owner, &defaulted));
        ASSERT_TRUE(GetSecurityDescriptorDacl(descriptor, &present, &list, &defaulted) && present && list);
        EXPECT_TRUE(control & SE_DACL_PROTECTED);
        EXPECT_TRUE(isSid(owner, "BA"));
        ASSERT_EQ(list->AceCount, expected.entries.size());
        for (DWORD i = 0; i < list->AceCount; ++i) {
            ACCESS_ALLOWED_ACE* ace = nullptr;
            ASSERT_TRUE(GetAce(list, i, reinterpret_cast<void**>(&ace)));
            EXPECT_EQ(ace->Header.AceType, ACCESS_ALLOWED_ACE_TYPE);
            EXPECT_EQ(ace->Header.AceFlags, aceFlagsOf(expected.entries[i].flags));
            EXPECT_EQ(ace->Mask, expected.entries[i].mask);
            EXPECT_TRUE(isSid(&ace->SidStart, expected.entries[i].who)) << expected.entries[i].who;
        }
        LocalFree(descriptor);
    }
}

// The rights as the system writes them back, the form the action records.
std::string systemForm(const std::string& rights, SECURITY_INFORMATION parts) {
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    char* text = nullptr;
    if (!ConvertStringSecurityDescriptorToSecurityDescriptorA(rights.c_str(), SDDL_REVISION_1, &descriptor, nullptr))
        return "unreadable " + rights;
    std::string written;
    if (ConvertSecurityDescriptorToStringSecurityDescriptorA(descriptor, SDDL_REVISION_1, parts, &text, nullptr))
        written = text;
    LocalFree(text);
    LocalFree(descriptor);
    return written;
}

std::string ownerOf(const std::string& path) {
    BYTE buffer[512];
    DWORD needed = 0;
    PSID owner = nullptr;
    BOOL defaulted = FALSE;
    char* text = nullptr;
    if (!GetFileSecurityA(path.c_str(), OWNER_SECURITY_INFORMATION, buffer, sizeof buffer, &needed) ||
        !GetSecurityDescriptorOwner(buffer, &owner, &defaulted) || !owner || !ConvertSidToStringSidA(owner, &text))
        return {};
    const std::string sid = text;
    LocalFree(text);
    return sid;
}

// Wine keeps no rights, so what the action asks the system to set is read
// from its record: each folder the folder's list with Administrators as
// owner, each file already there the list for such a file with its owner
// kept, the history its own list; every list protected, none passed on,
// and nothing asked for a link.
TEST(WorkstationRightsTest, EachObjectIsAskedForItsOwnProtectedRights) {
    spelvane::testing::ScratchDirectory scratch;
    ASSERT_TRUE(CreateDirectoryA("ws", nullptr) && CreateDirectoryA("ws\\sub", nullptr));
    for (const char* file : {"ws\\b.set", "ws\\sub\\a.set", "x.set"})
        CloseHandle(CreateFileA(file, GENERIC_WRITE, 0, nullptr, CREATE_NEW, 0, nullptr));
    ASSERT_TRUE(CreateHardLinkA("ws\\sub\\linked.set", "x.set", nullptr));
    SharedFolderReport report;
    std::string error;
    ASSERT_TRUE(prepareSharedFolder("ws", "spelvane-history.csv", report, error)) << error;

    const SECURITY_INFORMATION whole = OWNER_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION;
    const std::string folder = systemForm(kWorkstationFolderRights, whole);
    std::map<std::string, std::pair<std::string, unsigned long>> expected = {
        {"ws", {folder, whole}},
        {"ws\\sub", {folder, whole}},
        {"ws\\b.set", {systemForm(workstationFileRights(ownerOf("ws\\b.set")), DACL_SECURITY_INFORMATION),
                        DACL_SECURITY_INFORMATION}},
        {"ws\\sub\\a.set", {systemForm(workstationFileRights(ownerOf("ws\\sub\\a.set")), DACL_SECURITY_INFORMATION),
                              DACL_SECURITY_INFORMATION}},
        {"ws\\spelvane-history.csv", {systemForm(kWorkstationHistoryRights, whole), whole}},
    };
    const std::string base = scratch.path().string() + "\\";
    ASSERT_EQ(report.requests.size(), expected.size());
    for (const RightsRequest& request : report.requests) {
        SCOPED_TRACE(request.path);
        ASSERT_EQ(request.path.compare(0, base.size(), base), 0);
        const auto wanted = expected.find(request.path.substr(base.size()));
        ASSERT_NE(wanted, expected.end());
        EXPECT_EQ(request.rights, wanted->second.first);
        EXPECT_EQ(request.parts, wanted->second.second);
        EXPECT_NE(request.rights.find("D:P"), std::string::npos);
    }
    ASSERT_EQ(report.leftAlone.size(), 1u);
    EXPECT_NE(report.leftAlone[0].find("linked.set: it has more than one name"), std::string::npos) << report.leftAlone[0];
}

// Every open the walk makes, "parent > name", and what a user does once the
// walk has checked a folder: moves it away and puts another in its place
// (on Windows a junction to a folder of theirs; a folder here, as Wine has
// no junctions), all before the walk lists it.
class SwappingWitness : public WalkWitness {
public:
    explicit SwappingWitness(std::string swapped) : swapped_(std::move(swapped)) {}
    ~SwappingWitness() override { setWalkWitness(nullptr); }
    void opened(const std::string& parent, const std::string& name) override {
        opens.push_back(parent.empty() ? name : parent.substr(parent.rfind('\\') + 1) + " > " + name);
        if (name != swapped_) return;
        const std::string path = parent + "\\" + name;
        EXPECT_TRUE(MoveFileA(path.c_str(), (parent + "\\moved").c_str())) << GetLastError();
        EXPECT_TRUE(CreateDirectoryA(path.c_str(), nullptr));
        CloseHandle(CreateFileA((path + "\\theirs.set").c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, 0, nullptr));
    }
    std::vector<std::string> opens;

private:
    std::string swapped_;
};

// Each object is opened through the handle of the folder the walk checked
// it in, the one it listed: a folder swapped after its check leads the walk
// into the folder it checked, never into what now has its name.
TEST(WorkstationRightsTest, TheWalkOpensEachObjectThroughItsCheckedFolder) {
    spelvane::testing::ScratchDirectory scratch;
    ASSERT_TRUE(CreateDirectoryA("ws", nullptr) && CreateDirectoryA("ws\\sub", nullptr) &&
                CreateDirectoryA("ws\\sub\\deep", nullptr));
    for (const char* file : {"ws\\b.set", "ws\\sub\\a.set", "ws\\sub\\deep\\c.set"})
        CloseHandle(CreateFileA(file, GENERIC_WRITE, 0, nullptr, CREATE_NEW, 0, nullptr));
    SwappingWitness witness("sub");
    setWalkWitness(&witness);
    SharedFolderReport report;
    std::string error;
    ASSERT_TRUE(prepareSharedFolder("ws", "spelvane-history.csv", report, error)) << error;

    std::vector<std::string> opens = witness.opens;
    std::sort(opens.begin() + 1, opens.end());
    const std::vector<std::string> expected = {
        (scratch.path() / "ws").string(), "deep > c.set", "sub > a.set", "sub > deep",
        "ws > b.set",                     "ws > spelvane-history.csv", "ws > sub"};
    EXPECT_EQ(opens, expected);
    for (const RightsRequest& request : report.requests)
        EXPECT_EQ(request.path.find("theirs"), std::string::npos) << request.path;
    EXPECT_TRUE(report.leftAlone.empty()) << ::testing::PrintToString(report.leftAlone);
}
#endif

}  // namespace
}  // namespace spelvane::platform
