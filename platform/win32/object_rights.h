#pragma once
// The owner and the access list of one file or folder, read and set
// through a handle to it: the low-level calls write exactly the descriptor
// given to that one object and pass nothing on to what lies below it.
#include <windows.h>

#include <string>

#include "platform/shared_folder.h"

namespace spelvane::platform {

enum class Rights { Set, NotKept, Failed };

// The owner as a SID string ("S-1-5-32-544"); Rights::NotKept on a file
// system without access lists (FAT), where there is none.
Rights readOwner(HANDLE object, std::string& owner, DWORD& code);

// The SID string of the account this process runs as; "" when unknown.
std::string ownAccountSid();

// Sets the parts of rights (SDDL) the string names, owner and/or access
// list, the list protected when the string says D:P, on object alone.
// What is asked is recorded in report first. shown names the object in
// error and in the record.
Rights setRights(HANDLE object, const std::string& rights, const std::string& shown, SharedFolderReport& report,
                 std::string& error);

// Creates the folder path (the system's wide form) with rights (SDDL) from
// the call that creates it, so that nobody may add to it meanwhile; an
// owner this account may not give (not an administrator's) is left to the
// system. False with a system error code, ERROR_ALREADY_EXISTS for a name
// already taken.
bool createFolderWithRights(const std::wstring& path, const std::string& rights, DWORD& code);

}  // namespace spelvane::platform
