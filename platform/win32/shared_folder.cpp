#include "platform/shared_folder.h"

#include <windows.h>

#include <string>
#include <vector>

#include "platform/win32/object_rights.h"
#include "platform/win32/owned_handle.h"
#include "platform/win32/relative_files.h"
#include "platform/win32/wide_text.h"
#include "platform/workstation_rights.h"

namespace spelvane::platform {
namespace {

// Every name is handled in UTF-16: the ANSI calls turn letters outside the
// code page into '?', a name that then cannot be opened and so escapes
// every check. The "\\?\" form takes paths beyond MAX_PATH, which a user
// could build under an older version's rights to stop the walk.
std::wstring longForm(const std::wstring& path) {
    if (path.compare(0, 4, L"\\\\?\\") == 0) return path;
    if (path.compare(0, 2, L"\\\\") == 0) return L"\\\\?\\UNC\\" + path.substr(2);
    return L"\\\\?\\" + path;
}

// A name as the report keeps it: UTF-8, every letter as it is.
std::string shown(const std::wstring& path) { return narrowText(path.data(), path.size(), CP_UTF8); }

std::string failure(const char* what, const std::wstring& path, DWORD code) {
    return std::string("cannot ") + what + " " + shown(path) + " (system error " + std::to_string(code) + ")";
}

std::string refusal(const std::wstring& path, const char* why) {
    return "refusing " + shown(path) + ": " + why + "; remove it and install again";
}

constexpr const char* kLink = "a junction or symbolic link (a reparse point), not followed";
constexpr const char* kSecondName = "it has more than one name (a hard link), so its rights are those of a file elsewhere";

bool isLink(DWORD attributes) {
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_REPARSE_POINT);
}

enum class Kind { Folder, File, Link, SecondName, Unknown };

// What the object behind a handle opened without following is. Windows
// tells a reparse point by the handle; Wine only by the name (asked before
// opening, as the walk's listing does: Wine follows it even so).
Kind kindOf(HANDLE handle, DWORD& code) {
    DWORD attributes = 0;
    DWORD names = 0;
    if (!handleFacts(handle, attributes, names, code)) return Kind::Unknown;
    if (isLink(attributes)) return Kind::Link;
    if (attributes & FILE_ATTRIBUTE_DIRECTORY) return Kind::Folder;
    return names > 1 ? Kind::SecondName : Kind::File;
}

// Enough to read and set an object's rights (no data: a history opened so
// cannot be written through this handle); a folder's handle lists it too.
constexpr DWORD kRightsAccess = READ_CONTROL | WRITE_DAC | WRITE_OWNER | FILE_READ_ATTRIBUTES;
constexpr DWORD kFolderAccess = kRightsAccess | FILE_LIST_DIRECTORY;

WalkWitness* walkWitness = nullptr;

void witness(const std::wstring& parent, const std::wstring& name) {
    if (walkWitness) walkWitness->opened(parent.empty() ? std::string() : shown(parent), shown(name));
}

// The folder itself, by its name: the one object the action reaches by a
// path, never what a link there leads to.
HANDLE openFolderItself(const std::wstring& path) {
    witness(L"", path);
    return CreateFileW(longForm(path).c_str(), kFolderAccess, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                       nullptr, OPEN_EXISTING, FILE_FLAG_OPEN_REPARSE_POINT | FILE_FLAG_BACKUP_SEMANTICS, nullptr);
}

// name in the folder behind parent (named parentPath), relative to its
// handle, never what a link there leads to.
HANDLE openChild(HANDLE parent, const std::wstring& parentPath, const std::wstring& name, DWORD access,
                 Disposition disposition, DWORD& code) {
    HANDLE handle = openIn(parent, name, access, disposition, code);
    witness(parentPath, name);
    return handle;
}

// One walk over the folder: every folder and file below it gets its rights
// through its own handle; links, second names and what cannot be opened are
// left as they are and named.
class Walk {
public:
    Walk(SharedFolderReport& report, std::string& error) : report_(report), error_(error) {}

    void leaveAlone(const std::wstring& path, const std::string& why) { report_.leftAlone.push_back(shown(path) + ": " + why); }

    // False only when a right could not be set: an object the action could
    // open but not change is a fault of the system, not of a user.
    bool folder(HANDLE handle, const std::wstring& path, const std::wstring& skipped) {
        std::vector<ListedName> names;
        DWORD code = 0;
        if (!listFolder(handle, names, code)) {
            leaveAlone(path, failure("list", path, code));
            return true;
        }
        for (const ListedName& listed : names) {
            // The history is taken apart, whatever the case of its name.
            if (listed.name == L"." || listed.name == L".." || lstrcmpiW(listed.name.c_str(), skipped.c_str()) == 0)
                continue;
            if (!object(handle, path, listed)) return false;
        }
        return true;
    }

    bool object(HANDLE parent, const std::wstring& parentPath, const ListedName& listed) {
        const std::wstring path = parentPath + L"\\" + listed.name;
        if (isLink(listed.attributes)) {
            leaveAlone(path, kLink);
            return true;
        }
        DWORD code = 0;
        const DWORD access = (listed.attributes & FILE_ATTRIBUTE_DIRECTORY) ? kFolderAccess : kRightsAccess;
        const OwnedHandle handle(openChild(parent, parentPath, listed.name, access, Disposition::Open, code));
        if (!handle.valid()) {
            leaveAlone(path, failure("open", path, code));
            return true;
        }
        switch (kindOf(handle.get(), code)) {
        case Kind::Link:
            leaveAlone(path, kLink);
            return true;
        case Kind::SecondName:
            leaveAlone(path, kSecondName);
            return true;
        case Kind::Unknown:
            leaveAlone(path, failure("look at", path, code));
            return true;
        case Kind::Folder:
            return setRights(handle.get(), kWorkstationFolderRights, shown(path), report_, error_) != Rights::Failed &&
                   folder(handle.get(), path, L"");
        case Kind::File:
            break;
        }
        std::string owner;
        if (readOwner(handle.get(), owner, code) == Rights::Failed) {
            leaveAlone(path, failure("read the owner of", path, code));
            return true;
        }
        return setRights(handle.get(), workstationFileRights(owner), shown(path), report_, error_) != Rights::Failed;
    }

private:
    SharedFolderReport& report_;
    std::string& error_;
};

// The folder itself, already there or just made: refused when it is a link
// or a file, or when another account made it.
Rights takeFolder(HANDLE handle, const std::wstring& path, const std::string& ownSid, std::string& error) {
    DWORD code = 0;
    const Kind kind = kindOf(handle, code);
    if (kind == Kind::Unknown) {
        error = failure("look at", path, code);
        return Rights::Failed;
    }
    if (kind == Kind::Link) {
        error = refusal(path, "it is a junction or symbolic link (a reparse point), not a folder of its own");
        return Rights::Failed;
    }
    if (kind != Kind::Folder) {
        error = refusal(path, "it is a file, not a folder");
        return Rights::Failed;
    }
    std::string owner;
    const Rights read = readOwner(handle, owner, code);
    if (read == Rights::Failed) error = failure("read the owner of", path, code);
    if (read != Rights::Set) return read;
    if (isInstallersOwner(owner, ownSid)) return Rights::Set;
    error = refusal(path, "its owner is not SYSTEM or Administrators, so another account made it");
    return Rights::Failed;
}

// Why a history is not the installer's own record; null when it is.
const char* foreignHistory(HANDLE handle, DWORD listed, const std::string& ownSid) {
    if (isLink(listed)) return kLink;
    DWORD code = 0;
    switch (kindOf(handle, code)) {
    case Kind::File:
        break;
    case Kind::SecondName:
        return kSecondName;
    case Kind::Folder:
        return "a folder, not a file";
    case Kind::Link:
        return kLink;
    case Kind::Unknown:
        return "it cannot be looked at";
    }
    std::string owner;
    const Rights read = readOwner(handle, owner, code);
    if (read == Rights::Failed) return "its owner cannot be read";
    return read == Rights::Set && !isInstallersOwner(owner, ownSid) ? "another account made it" : nullptr;
}

// The history's place in the workstation folder, reached through the
// folder's handle.
struct HistoryPlace {
    HANDLE folder;
    std::wstring folderPath;
    std::wstring name;
    std::wstring path() const { return folderPath + L"\\" + name; }
};

// Renamed aside, not removed: its rows stay to be read, and renaming a name
// changes nothing a link leads to.
bool putAside(const HistoryPlace& place, const char* why, SharedFolderReport& report, std::string& error) {
    DWORD code = 0;
    const OwnedHandle history(openChild(place.folder, place.folderPath, place.name, DELETE, Disposition::Open, code));
    if (!history.valid()) {
        error = failure("open", place.path(), code);
        return false;
    }
    for (int number = 1; number < 100; ++number) {
        const std::wstring aside = place.name + L".aside-" + std::to_wstring(number);
        const bool moved = renameIn(history.get(), place.folder, aside, code);
        // A rename onto another name of the same file is no rename on a
        // POSIX file system (Wine), yet reported done: the name must be gone.
        DWORD left = 0;
        if (moved && listedAttributes(place.folder, place.name, left, code) && left == INVALID_FILE_ATTRIBUTES) {
            report.historyAside = shown(place.path()) + ": " + why + "; renamed " + shown(aside) + " and made anew";
            return true;
        }
        if (!moved && code != ERROR_ALREADY_EXISTS && code != ERROR_FILE_EXISTS) {
            error = failure("rename aside", place.path(), code);
            return false;
        }
    }
    error = failure("rename aside", place.path(), ERROR_ALREADY_EXISTS);
    return false;
}

// The history is a file the action checked or made itself: one that was
// there and is not the installer's goes aside, and a new one is made with
// FILE_CREATE, which never opens what a name planted meanwhile leads to.
bool takeHistory(const HistoryPlace& place, const std::string& ownSid, SharedFolderReport& report,
                 std::string& error) {
    DWORD listed = INVALID_FILE_ATTRIBUTES;
    DWORD code = 0;
    if (!listedAttributes(place.folder, place.name, listed, code)) {
        error = failure("list", place.folderPath, code);
        return false;
    }
    OwnedHandle history;
    if (listed != INVALID_FILE_ATTRIBUTES) {
        history.reset(openChild(place.folder, place.folderPath, place.name, kRightsAccess, Disposition::Open, code));
        const char* why = history.valid() ? foreignHistory(history.get(), listed, ownSid) : "it cannot be opened";
        if (why) {
            history.reset();
            if (!putAside(place, why, report, error)) return false;
        }
    }
    if (!history.valid())
        history.reset(openChild(place.folder, place.folderPath, place.name, kRightsAccess, Disposition::Create, code));
    if (!history.valid()) {
        error = failure("create", place.path(), code);
        return false;
    }
    return setRights(history.get(), kWorkstationHistoryRights, shown(place.path()), report, error) != Rights::Failed;
}

std::wstring fullPath(const std::wstring& path) {
    const DWORD needed = GetFullPathNameW(path.c_str(), 0, nullptr, nullptr);
    if (needed == 0) return path;
    std::wstring full(needed, L'\0');
    const DWORD length = GetFullPathNameW(path.c_str(), needed, &full[0], nullptr);
    if (length == 0 || length >= needed) return path;
    full.resize(length);
    while (full.size() > 3 && full.back() == L'\\') full.pop_back();
    return full;
}

}  // namespace

void setWalkWitness(WalkWitness* witness) { walkWitness = witness; }

bool prepareSharedFolder(const std::string& folderName, const std::string& historyName, SharedFolderReport& report,
                         std::string& error) {
    const std::wstring folder = fullPath(wideText(folderName, CP_ACP));
    const std::wstring historyFile = wideText(historyName, CP_ACP);
    if (folder.empty() || historyFile.empty()) {
        error = "cannot prepare a folder without a name";
        return false;
    }
    report.folder = shown(folder);
    DWORD code = 0;
    if (!createFolderWithRights(longForm(folder), kWorkstationFolderRights, code) && code != ERROR_ALREADY_EXISTS) {
        error = failure("create", folder, code);
        return false;
    }
    if (isLink(GetFileAttributesW(longForm(folder).c_str()))) {
        error = refusal(folder, "it is a junction or symbolic link (a reparse point), not a folder of its own");
        return false;
    }
    const OwnedHandle own(openFolderItself(folder));
    if (!own.valid()) {
        error = failure("open", folder, GetLastError());
        return false;
    }
    const std::string ownSid = ownAccountSid();
    const Rights owner = takeFolder(own.get(), folder, ownSid, error);
    if (owner == Rights::Failed) return false;
    const HistoryPlace history = {own.get(), folder, historyFile};
    // Without access lists there is nothing to set, only the history to make.
    if (owner == Rights::NotKept) {
        const OwnedHandle made(
            openChild(own.get(), folder, historyFile, kRightsAccess, Disposition::OpenOrCreate, code));
        if (!made.valid()) error = failure("create", history.path(), code);
        return made.valid();
    }
    Walk walk(report, error);
    return setRights(own.get(), kWorkstationFolderRights, shown(folder), report, error) != Rights::Failed &&
           walk.folder(own.get(), folder, historyFile) && takeHistory(history, ownSid, report, error);
}

}  // namespace spelvane::platform
