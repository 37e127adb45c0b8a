#include "platform/shared_folder.h"

#include <windows.h>
#include <aclapi.h>
#include <sddl.h>

#include <string>

#include "platform/win32/owned_handle.h"
#include "platform/workstation_rights.h"

namespace spelvane::platform {
namespace {

class WellKnownSid {
public:
    WellKnownSid(BYTE count, DWORD first, DWORD second = 0) {
        SID_IDENTIFIER_AUTHORITY nt = SECURITY_NT_AUTHORITY;
        if (!AllocateAndInitializeSid(&nt, count, first, second, 0, 0, 0, 0, 0, 0, &sid_)) sid_ = nullptr;
    }
    ~WellKnownSid() {
        if (sid_) FreeSid(sid_);
    }
    WellKnownSid(const WellKnownSid&) = delete;
    WellKnownSid& operator=(const WellKnownSid&) = delete;
    bool is(PSID other) const { return sid_ && other && EqualSid(sid_, other); }

private:
    PSID sid_ = nullptr;
};

// What the security functions hand back to be freed with LocalFree.
class LocalMemory {
public:
    LocalMemory() = default;
    ~LocalMemory() {
        if (memory_) LocalFree(memory_);
    }
    LocalMemory(const LocalMemory&) = delete;
    LocalMemory& operator=(const LocalMemory&) = delete;
    PSECURITY_DESCRIPTOR get() const { return memory_; }
    PSECURITY_DESCRIPTOR* out() { return &memory_; }

private:
    PSECURITY_DESCRIPTOR memory_ = nullptr;
};

std::string failure(const char* what, const std::string& path, DWORD code) {
    return std::string("cannot ") + what + " " + path + " (system error " + std::to_string(code) + ")";
}

std::string refusal(const std::string& path, const char* why) {
    return "refusing " + path + ": " + why + "; remove it and install again";
}

// A file system without access lists (FAT) answers so: there every user
// may write every file already, and there is nothing to set.
bool withoutAccessLists(DWORD code) { return code == ERROR_INVALID_FUNCTION || code == ERROR_NOT_SUPPORTED; }

bool isLink(DWORD attributes, const std::string& path, std::string& error) {
    if (attributes == INVALID_FILE_ATTRIBUTES || !(attributes & FILE_ATTRIBUTE_REPARSE_POINT)) return false;
    error = refusal(path, "it is a junction or symbolic link (a reparse point), not a folder or file of its own");
    return true;
}

// A second name would carry the rights set here to wherever it stands.
bool hasSecondName(const BY_HANDLE_FILE_INFORMATION& information, const std::string& path, std::string& error) {
    if (information.nNumberOfLinks <= 1) return false;
    error = refusal(path, "it has more than one name (a hard link)");
    return true;
}

// Windows tells a reparse point by the handle to it; Wine by its name only
// (asked before opening: Wine follows it even so).
bool isPlainObject(HANDLE handle, const std::string& path, bool folder, std::string& error) {
    BY_HANDLE_FILE_INFORMATION information;
    if (!GetFileInformationByHandle(handle, &information)) {
        error = failure("look at", path, GetLastError());
        return false;
    }
    if (isLink(information.dwFileAttributes, path, error)) return false;
    if (!(information.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != !folder) {
        error = refusal(path, folder ? "it is a file, not a folder" : "it is a folder, not a file");
        return false;
    }
    return folder || !hasSecondName(information, path, error);
}

// The object under the name itself, when it is a plain folder or file: a
// junction or link is opened as what it is, never followed, so the rights
// set through this handle stay here. INVALID_HANDLE_VALUE when refused.
HANDLE openItself(const std::string& path, bool folder, std::string& error) {
    if (isLink(GetFileAttributesA(path.c_str()), path, error)) return INVALID_HANDLE_VALUE;
    const DWORD flags = FILE_FLAG_OPEN_REPARSE_POINT | (folder ? FILE_FLAG_BACKUP_SEMANTICS : FILE_ATTRIBUTE_NORMAL);
    HANDLE handle = CreateFileA(path.c_str(), READ_CONTROL | WRITE_DAC | WRITE_OWNER | FILE_READ_ATTRIBUTES,
                                FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                folder ? OPEN_EXISTING : OPEN_ALWAYS, flags, nullptr);
    if (handle == INVALID_HANDLE_VALUE) {
        error = failure(folder ? "open" : "create", path, GetLastError());
    } else if (!isPlainObject(handle, path, folder, error)) {
        CloseHandle(handle);
        handle = INVALID_HANDLE_VALUE;
    }
    return handle;
}

class FileSearch {
public:
    FileSearch(const std::string& folder, WIN32_FIND_DATAA& found)
        : search_(FindFirstFileA((folder + "\\*").c_str(), &found)) {}
    ~FileSearch() {
        if (search_ != INVALID_HANDLE_VALUE) FindClose(search_);
    }
    FileSearch(const FileSearch&) = delete;
    FileSearch& operator=(const FileSearch&) = delete;
    bool next(WIN32_FIND_DATAA& found) { return search_ != INVALID_HANDLE_VALUE && FindNextFileA(search_, &found); }
    bool started() const { return search_ != INVALID_HANDLE_VALUE; }

private:
    HANDLE search_;
};

// The folder's inheritable entries pass on to every file in it when its
// rights are set: a name planted there (under an older version's rights)
// that is a link, or a second name of a file elsewhere, would carry them
// out of the folder.
bool holdsOnlyItsOwnFiles(const std::string& folder, std::string& error) {
    WIN32_FIND_DATAA found;
    FileSearch search(folder, found);
    if (!search.started()) {
        error = failure("list", folder, GetLastError());
        return false;
    }
    do {
        const std::string name = found.cFileName;
        if (name == "." || name == "..") continue;
        const std::string path = folder + "\\" + name;
        if (isLink(found.dwFileAttributes, path, error)) return false;
        const OwnedHandle file(CreateFileA(path.c_str(), FILE_READ_ATTRIBUTES,
                                           FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                                           FILE_FLAG_OPEN_REPARSE_POINT | FILE_FLAG_BACKUP_SEMANTICS, nullptr));
        BY_HANDLE_FILE_INFORMATION information;
        if (file.valid() && GetFileInformationByHandle(file.get(), &information) &&
            (isLink(information.dwFileAttributes, path, error) ||
             (!(information.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) && hasSecondName(information, path, error))))
            return false;
    } while (search.next(found));
    return true;
}

bool isOwnAccount(PSID owner) {
    HANDLE token = nullptr;
    if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token)) return false;
    const OwnedHandle held(token);
    union {
        TOKEN_USER user;
        BYTE room[sizeof(TOKEN_USER) + SECURITY_MAX_SID_SIZE];
    } information;
    DWORD size = 0;
    return GetTokenInformation(token, TokenUser, &information, sizeof information, &size) &&
           EqualSid(information.user.User.Sid, owner);
}

enum class Rights { Set, NotKept, Failed };

// A folder that existed before: the installer's (SYSTEM, Administrators, or
// this program's account, which runs as the installer's) or refused.
Rights checkOwner(HANDLE folder, const std::string& path, std::string& error) {
    PSID owner = nullptr;
    LocalMemory descriptor;
    const DWORD code =
        GetSecurityInfo(folder, SE_FILE_OBJECT, OWNER_SECURITY_INFORMATION, &owner, nullptr, nullptr, nullptr, descriptor.out());
    if (withoutAccessLists(code)) return Rights::NotKept;
    if (code != ERROR_SUCCESS) {
        error = failure("read the owner of", path, code);
        return Rights::Failed;
    }
    const WellKnownSid system(1, SECURITY_LOCAL_SYSTEM_RID);
    const WellKnownSid administrators(2, SECURITY_BUILTIN_DOMAIN_RID, DOMAIN_ALIAS_RID_ADMINS);
    if (system.is(owner) || administrators.is(owner) || isOwnAccount(owner)) return Rights::Set;
    error = refusal(path, "its owner is not SYSTEM or Administrators, so another account made it");
    return Rights::Failed;
}

// Owner and access list from the string, the list protected when the
// string says so (D:P); SetSecurityInfo passes the folder's inheritable
// entries on to the files already in it.
Rights setRights(HANDLE object, const char* rights, const std::string& path, std::string& error) {
    LocalMemory descriptor;
    PSID owner = nullptr;
    PACL list = nullptr;
    BOOL present = FALSE;
    BOOL defaulted = FALSE;
    SECURITY_DESCRIPTOR_CONTROL control = 0;
    DWORD revision = 0;
    if (!ConvertStringSecurityDescriptorToSecurityDescriptorA(rights, SDDL_REVISION_1, descriptor.out(), nullptr) ||
        !GetSecurityDescriptorOwner(descriptor.get(), &owner, &defaulted) ||
        !GetSecurityDescriptorDacl(descriptor.get(), &present, &list, &defaulted) ||
        !GetSecurityDescriptorControl(descriptor.get(), &control, &revision)) {
        error = failure("build the rights of", path, GetLastError());
        return Rights::Failed;
    }
    SECURITY_INFORMATION what = OWNER_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION;
    if (control & SE_DACL_PROTECTED) what |= PROTECTED_DACL_SECURITY_INFORMATION;
    const DWORD code = SetSecurityInfo(object, SE_FILE_OBJECT, what, owner, nullptr, list, nullptr);
    if (withoutAccessLists(code)) return Rights::NotKept;
    if (code != ERROR_SUCCESS) {
        error = failure("set the rights of", path, code);
        return Rights::Failed;
    }
    return Rights::Set;
}

}  // namespace

bool prepareSharedFolder(const std::string& folder, const std::string& history, std::string& error) {
    if (!CreateDirectoryA(folder.c_str(), nullptr) && GetLastError() != ERROR_ALREADY_EXISTS) {
        error = failure("create", folder, GetLastError());
        return false;
    }
    const OwnedHandle ownFolder(openItself(folder, true, error));
    if (!ownFolder.valid()) return false;
    const Rights owner = checkOwner(ownFolder.get(), folder, error);
    if (owner == Rights::Failed) return false;
    if (owner == Rights::Set && (!holdsOnlyItsOwnFiles(folder, error) ||
                                 setRights(ownFolder.get(), kWorkstationFolderRights, folder, error) == Rights::Failed))
        return false;
    // Made by the installer, so that no user owns the record; a history
    // from before (its first writer's) is taken over.
    const std::string path = folder + "\\" + history;
    const OwnedHandle ownHistory(openItself(path, false, error));
    if (!ownHistory.valid()) return false;
    return owner == Rights::NotKept ||
           setRights(ownHistory.get(), kWorkstationHistoryRights, path, error) != Rights::Failed;
}

}  // namespace spelvane::platform
