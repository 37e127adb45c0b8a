#include "platform/shared_folder.h"

#include <windows.h>
#include <aclapi.h>

#include <string>

namespace spelvane::platform {
namespace {

class WellKnownSid {
public:
    WellKnownSid(SID_IDENTIFIER_AUTHORITY authority, BYTE count, DWORD first, DWORD second = 0) {
        if (!AllocateAndInitializeSid(&authority, count, first, second, 0, 0, 0, 0, 0, 0, &sid_)) sid_ = nullptr;
    }
    ~WellKnownSid() {
        if (sid_) FreeSid(sid_);
    }
    WellKnownSid(const WellKnownSid&) = delete;
    WellKnownSid& operator=(const WellKnownSid&) = delete;
    PSID get() const { return sid_; }

private:
    PSID sid_ = nullptr;
};

// What the security functions hand back to be freed with LocalFree.
template <typename T>
class LocalMemory {
public:
    LocalMemory() = default;
    ~LocalMemory() {
        if (memory_) LocalFree(reinterpret_cast<HLOCAL>(memory_));
    }
    LocalMemory(const LocalMemory&) = delete;
    LocalMemory& operator=(const LocalMemory&) = delete;
    T* get() const { return memory_; }
    T** out() { return &memory_; }

private:
    T* memory_ = nullptr;
};

EXPLICIT_ACCESS_A grant(PSID sid, DWORD rights, DWORD inheritance) {
    EXPLICIT_ACCESS_A entry = {};
    entry.grfAccessPermissions = rights;
    entry.grfAccessMode = GRANT_ACCESS;
    entry.grfInheritance = inheritance;
    entry.Trustee.TrusteeForm = TRUSTEE_IS_SID;
    entry.Trustee.TrusteeType = TRUSTEE_IS_WELL_KNOWN_GROUP;
    entry.Trustee.ptstrName = static_cast<LPSTR>(sid);
    return entry;
}

// A file system without access lists (FAT) answers so: there every user
// may write every file already, and the folder is as open as it gets.
bool withoutAccessLists(DWORD code) { return code == ERROR_INVALID_FUNCTION || code == ERROR_NOT_SUPPORTED; }

std::string failure(const char* what, const std::string& folder, DWORD code) {
    return std::string("cannot ") + what + " " + folder + " (system error " + std::to_string(code) + ")";
}

}  // namespace

bool openFolderToAllUsers(const std::string& folder, std::string& error) {
    if (!CreateDirectoryA(folder.c_str(), nullptr)) {
        const DWORD code = GetLastError();
        const DWORD attributes = GetFileAttributesA(folder.c_str());
        if (code != ERROR_ALREADY_EXISTS || attributes == INVALID_FILE_ATTRIBUTES ||
            !(attributes & FILE_ATTRIBUTE_DIRECTORY)) {
            error = failure("create", folder, code);
            return false;
        }
    }
    SID_IDENTIFIER_AUTHORITY nt = SECURITY_NT_AUTHORITY;
    SID_IDENTIFIER_AUTHORITY creator = SECURITY_CREATOR_SID_AUTHORITY;
    const WellKnownSid users(nt, 2, SECURITY_BUILTIN_DOMAIN_RID, DOMAIN_ALIAS_RID_USERS);
    const WellKnownSid administrators(nt, 2, SECURITY_BUILTIN_DOMAIN_RID, DOMAIN_ALIAS_RID_ADMINS);
    const WellKnownSid system(nt, 1, SECURITY_LOCAL_SYSTEM_RID);
    const WellKnownSid creatorOwner(creator, 1, SECURITY_CREATOR_OWNER_RID);
    if (!users.get() || !administrators.get() || !system.get() || !creatorOwner.get()) {
        error = failure("name the groups for", folder, GetLastError());
        return false;
    }
    // The history is opened for reading and writing by whoever stores, so
    // Users write every file; without DELETE on them and FILE_DELETE_CHILD
    // on the folder no user removes another's backup.
    const DWORD filesOnly = OBJECT_INHERIT_ACE | INHERIT_ONLY_ACE;
    EXPLICIT_ACCESS_A entries[] = {
        grant(users.get(), FILE_GENERIC_READ | FILE_GENERIC_EXECUTE | FILE_ADD_FILE, NO_INHERITANCE),
        grant(users.get(), FILE_GENERIC_READ | FILE_GENERIC_WRITE, filesOnly),
        grant(creatorOwner.get(), FILE_ALL_ACCESS, filesOnly),
        grant(system.get(), FILE_ALL_ACCESS, SUB_CONTAINERS_AND_OBJECTS_INHERIT),
        grant(administrators.get(), FILE_ALL_ACCESS, SUB_CONTAINERS_AND_OBJECTS_INHERIT),
    };
    // Added to what the folder inherits from the all-users folder, which
    // differs between Windows versions but never takes these away.
    PACL current = nullptr;
    LocalMemory<void> descriptor;
    DWORD code = GetNamedSecurityInfoA(const_cast<char*>(folder.c_str()), SE_FILE_OBJECT, DACL_SECURITY_INFORMATION,
                                       nullptr, nullptr, &current, nullptr, descriptor.out());
    if (withoutAccessLists(code)) return true;
    if (code != ERROR_SUCCESS) {
        error = failure("read the rights of", folder, code);
        return false;
    }
    LocalMemory<ACL> wanted;
    code = SetEntriesInAclA(sizeof entries / sizeof entries[0], entries, current, wanted.out());
    if (code != ERROR_SUCCESS) {
        error = failure("build the rights of", folder, code);
        return false;
    }
    // Also passes the inheritable rights on to the files already there (a
    // history from before an upgrade).
    code = SetNamedSecurityInfoA(const_cast<char*>(folder.c_str()), SE_FILE_OBJECT, DACL_SECURITY_INFORMATION, nullptr,
                                 nullptr, wanted.get(), nullptr);
    if (withoutAccessLists(code)) return true;
    if (code != ERROR_SUCCESS) {
        error = failure("set the rights of", folder, code);
        return false;
    }
    return true;
}

}  // namespace spelvane::platform
