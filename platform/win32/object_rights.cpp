#include "platform/win32/object_rights.h"

#include <sddl.h>

#include <vector>

#include "platform/win32/owned_handle.h"

namespace spelvane::platform {
namespace {

// What the security functions hand back to be freed with LocalFree.
template <typename Pointer>
class LocalMemory {
public:
    LocalMemory() = default;
    ~LocalMemory() {
        if (memory_) LocalFree(memory_);
    }
    LocalMemory(const LocalMemory&) = delete;
    LocalMemory& operator=(const LocalMemory&) = delete;
    Pointer get() const { return memory_; }
    Pointer* out() { return &memory_; }

private:
    Pointer memory_ = nullptr;
};

std::string sidText(PSID sid) {
    LocalMemory<char*> text;
    return sid && ConvertSidToStringSidA(sid, text.out()) ? std::string(text.get()) : std::string();
}

// A file system without access lists (FAT) answers so: there every user
// may write every file already, and there is nothing to set.
bool withoutAccessLists(DWORD code) { return code == ERROR_INVALID_FUNCTION || code == ERROR_NOT_SUPPORTED; }

}  // namespace

Rights readOwner(HANDLE object, std::string& owner, DWORD& code) {
    DWORD needed = 0;
    GetKernelObjectSecurity(object, OWNER_SECURITY_INFORMATION, nullptr, 0, &needed);
    code = GetLastError();
    if (needed == 0) return withoutAccessLists(code) ? Rights::NotKept : Rights::Failed;
    std::vector<BYTE> descriptor(needed);
    PSID sid = nullptr;
    BOOL defaulted = FALSE;
    if (!GetKernelObjectSecurity(object, OWNER_SECURITY_INFORMATION, descriptor.data(), needed, &needed) ||
        !GetSecurityDescriptorOwner(descriptor.data(), &sid, &defaulted)) {
        code = GetLastError();
        return withoutAccessLists(code) ? Rights::NotKept : Rights::Failed;
    }
    owner = sidText(sid);
    return Rights::Set;
}

std::string ownAccountSid() {
    HANDLE token = nullptr;
    if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token)) return {};
    const OwnedHandle held(token);
    union {
        TOKEN_USER user;
        BYTE room[sizeof(TOKEN_USER) + SECURITY_MAX_SID_SIZE];
    } information;
    DWORD size = 0;
    return GetTokenInformation(token, TokenUser, &information, sizeof information, &size)
               ? sidText(information.user.User.Sid)
               : std::string();
}

Rights setRights(HANDLE object, const std::string& rights, const std::string& shown, SharedFolderReport& report,
                 std::string& error) {
    LocalMemory<PSECURITY_DESCRIPTOR> descriptor;
    if (!ConvertStringSecurityDescriptorToSecurityDescriptorA(rights.c_str(), SDDL_REVISION_1, descriptor.out(),
                                                              nullptr)) {
        error = "cannot build the rights of " + shown + " (system error " + std::to_string(GetLastError()) + ")";
        return Rights::Failed;
    }
    // Only the parts the string gives: a file's owner stays its operator.
    SECURITY_INFORMATION parts = DACL_SECURITY_INFORMATION;
    PSID owner = nullptr;
    BOOL defaulted = FALSE;
    if (GetSecurityDescriptorOwner(descriptor.get(), &owner, &defaulted) && owner) parts |= OWNER_SECURITY_INFORMATION;
    LocalMemory<char*> asked;
    report.requests.push_back(
        {shown,
         ConvertSecurityDescriptorToStringSecurityDescriptorA(descriptor.get(), SDDL_REVISION_1, parts, asked.out(), nullptr)
             ? std::string(asked.get())
             : std::string(),
         parts});
    if (SetKernelObjectSecurity(object, parts, descriptor.get())) return Rights::Set;
    const DWORD code = GetLastError();
    if (withoutAccessLists(code)) return Rights::NotKept;
    error = "cannot set the rights of " + shown + " (system error " + std::to_string(code) + ")";
    return Rights::Failed;
}

bool createFolderWithRights(const std::wstring& path, const std::string& rights, DWORD& code) {
    const size_t list = rights.find("D:");
    for (const std::string& asked : {rights, list == std::string::npos ? rights : rights.substr(list)}) {
        LocalMemory<PSECURITY_DESCRIPTOR> descriptor;
        if (!ConvertStringSecurityDescriptorToSecurityDescriptorA(asked.c_str(), SDDL_REVISION_1, descriptor.out(),
                                                                  nullptr)) {
            code = GetLastError();
            return false;
        }
        SECURITY_ATTRIBUTES attributes = {sizeof attributes, descriptor.get(), FALSE};
        if (CreateDirectoryW(path.c_str(), &attributes)) return true;
        code = GetLastError();
        if (code != ERROR_INVALID_OWNER) return false;
    }
    return false;
}

}  // namespace spelvane::platform
