#pragma once
// The rights of the workstation folder and of its change history, as the
// installer sets them: whole security descriptors in the system's own
// string form (SDDL), so that a review reads every entry and a test on any
// system can take them apart. Rights are hexadecimal access masks, the
// form every Windows version reads; the README's table spells them out.
//
// O:BA       the owner is Administrators, whoever made the object: no user
//            can change its rights later.
// D:P        protected: nothing is inherited from the all-users folder,
//            whose entries differ between Windows versions.
// (A;flags;mask;;;who), per entry:
//   SY, BA   SYSTEM, Administrators: full control (0x1f01ff).
//   BU       Users; CO: CREATOR OWNER, the account that creates a file.
//   OI       passed to the files in the folder; IO: on them only.

#include <string>

namespace spelvane::platform {

// Users: on the folder itself list (0x1), add a file (0x2), read its
// extended attributes (0x8), traverse (0x20), read its attributes (0x80),
// read its rights and wait on it (0x120000): no subfolders (0x4), no delete
// of a file in it (0x40). On each file: read it (0x120089), nothing more,
// while its creator has full control of it, so each backup is its
// operator's alone.
constexpr const char* kWorkstationFolderRights =
    "O:BAD:P"
    "(A;OICI;0x1f01ff;;;SY)"
    "(A;OICI;0x1f01ff;;;BA)"
    "(A;;0x1200ab;;;BU)"
    "(A;OIIO;0x120089;;;BU)"
    "(A;OIIO;0x1f01ff;;;CO)";

// The history is the workstation's record: Users read it (0x1, 0x8, 0x80,
// 0x120000) and add to its end (0x4, append without write: every write
// lands behind what is there), never rewrite, truncate or delete it.
constexpr const char* kWorkstationHistoryRights =
    "O:BAD:P"
    "(A;;0x1f01ff;;;SY)"
    "(A;;0x1f01ff;;;BA)"
    "(A;;0x12008d;;;BU)";

// A file that was in the folder before its rights were set: what a file
// made in it now gets, its creator's entry (CO) given to its owner by
// name, since rights set on the folder are never passed on to what is
// already there. The owner is kept: each backup stays its operator's
// (an owner the system does not name gets no entry; an owner may always
// read and change an object's rights).
inline std::string workstationFileRights(const std::string& ownerSid) {
    return std::string("D:P"
                       "(A;;0x1f01ff;;;SY)"
                       "(A;;0x1f01ff;;;BA)"
                       "(A;;0x120089;;;BU)") +
           (ownerSid.empty() ? "" : "(A;;0x1f01ff;;;" + ownerSid + ")");
}

// SYSTEM and Administrators are the installer's accounts; so is the
// account this program runs as (its own SID, "" when unknown), which the
// installer starts it as. Anything else made the object, and a user could
// have prepared it.
inline bool isInstallersOwner(const std::string& ownerSid, const std::string& ownSid) {
    return ownerSid == "S-1-5-18" || ownerSid == "S-1-5-32-544" || (!ownSid.empty() && ownerSid == ownSid);
}

}  // namespace spelvane::platform
