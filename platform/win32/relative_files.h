#pragma once
// Objects named relative to the handle of the folder they are in: opened,
// made, listed and renamed through the system's native calls (ntdll, from
// NT 3.1 on, so Windows 2000 too), the only ones that take a folder's
// handle instead of its path. A folder checked through its handle cannot
// be swapped for a junction under what is then opened in it: the name is
// looked up in the object the handle holds, wherever its path now leads.
#include <windows.h>

#include <string>
#include <vector>

namespace spelvane::platform {

// Where the object itself is opened, never what a reparse point leads to.
enum class Disposition { Open, Create, OpenOrCreate };

// name (no separator) in the folder behind folder, with access; null with
// a system error code in code when it cannot.
HANDLE openIn(HANDLE folder, const std::wstring& name, ACCESS_MASK access, Disposition disposition, DWORD& code);

struct ListedName {
    std::wstring name;
    DWORD attributes;
};

// Every name in the folder behind folder (opened with FILE_LIST_DIRECTORY),
// "." and ".." included, with the attributes the listing gives; false with
// a system error code when it cannot be listed.
bool listFolder(HANDLE folder, std::vector<ListedName>& names, DWORD& code);

// The attributes the listing of folder gives name, INVALID_FILE_ATTRIBUTES
// when it holds no such name; false with code when it cannot be listed.
bool listedAttributes(HANDLE folder, const std::wstring& name, DWORD& attributes, DWORD& code);

// The object's attributes and how many names it has, read through its
// handle alone (nothing of its path is asked: Wine's record of a moved
// folder's path is stale); false with code when they cannot be read.
bool handleFacts(HANDLE object, DWORD& attributes, DWORD& names, DWORD& code);

// Renames the object behind object (opened with DELETE) to newName in the
// folder behind folder; never over a name already there.
bool renameIn(HANDLE object, HANDLE folder, const std::wstring& newName, DWORD& code);

}  // namespace spelvane::platform
