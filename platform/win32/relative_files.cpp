#include "platform/win32/relative_files.h"

#include <winternl.h>

#include <cstring>

namespace spelvane::platform {
namespace {

constexpr NTSTATUS kNoMoreFiles = static_cast<NTSTATUS>(0x80000006);
constexpr NTSTATUS kNoSuchFile = static_cast<NTSTATUS>(0xC000000F);

// ntdll is in every process but no import of ours: its calls are looked up.
struct NativeCalls {
    using CreateFile = NTSTATUS(NTAPI*)(PHANDLE, ACCESS_MASK, POBJECT_ATTRIBUTES, PIO_STATUS_BLOCK, PLARGE_INTEGER,
                                        ULONG, ULONG, ULONG, ULONG, PVOID, ULONG);
    using QueryDirectory = NTSTATUS(NTAPI*)(HANDLE, HANDLE, PVOID, PVOID, PIO_STATUS_BLOCK, PVOID, ULONG,
                                            FILE_INFORMATION_CLASS, BOOLEAN, PUNICODE_STRING, BOOLEAN);
    using SetInformation = NTSTATUS(NTAPI*)(HANDLE, PIO_STATUS_BLOCK, PVOID, ULONG, FILE_INFORMATION_CLASS);
    using QueryInformation = SetInformation;
    using ErrorOf = ULONG(NTAPI*)(NTSTATUS);

    CreateFile createFile = nullptr;
    QueryDirectory queryDirectory = nullptr;
    SetInformation setInformation = nullptr;
    QueryInformation queryInformation = nullptr;
    ErrorOf errorOf = nullptr;

    bool present() const { return createFile && queryDirectory && setInformation && queryInformation && errorOf; }
};

template <typename Call>
Call lookUp(HMODULE module, const char* name) {
    return reinterpret_cast<Call>(reinterpret_cast<void*>(GetProcAddress(module, name)));
}

const NativeCalls& native() {
    static const NativeCalls calls = [] {
        NativeCalls found;
        const HMODULE ntdll = GetModuleHandleA("ntdll.dll");
        if (!ntdll) return found;
        found.createFile = lookUp<NativeCalls::CreateFile>(ntdll, "NtCreateFile");
        found.queryDirectory = lookUp<NativeCalls::QueryDirectory>(ntdll, "NtQueryDirectoryFile");
        found.setInformation = lookUp<NativeCalls::SetInformation>(ntdll, "NtSetInformationFile");
        found.queryInformation = lookUp<NativeCalls::QueryInformation>(ntdll, "NtQueryInformationFile");
        found.errorOf = lookUp<NativeCalls::ErrorOf>(ntdll, "RtlNtStatusToDosError");
        return found;
    }();
    return calls;
}

UNICODE_STRING counted(const std::wstring& text) {
    UNICODE_STRING counted;
    counted.Length = counted.MaximumLength = static_cast<USHORT>(text.size() * sizeof(wchar_t));
    counted.Buffer = const_cast<PWSTR>(text.c_str());
    return counted;
}

// A name the native calls would take for a path: one object only.
bool plainName(const std::wstring& name) {
    return !name.empty() && name.size() < 256 && name.find_first_of(L"\\/") == std::wstring::npos;
}

ULONG nativeDisposition(Disposition disposition) {
    switch (disposition) {
    case Disposition::Create: return FILE_CREATE;
    case Disposition::OpenOrCreate: return FILE_OPEN_IF;
    case Disposition::Open: break;
    }
    return FILE_OPEN;
}

// One call of the listing; mask limits it to one name (first call only).
NTSTATUS listOnce(HANDLE folder, std::vector<LONGLONG>& buffer, const std::wstring* mask, bool restart) {
    IO_STATUS_BLOCK status{};
    UNICODE_STRING only = mask ? counted(*mask) : UNICODE_STRING{};
    return native().queryDirectory(folder, nullptr, nullptr, nullptr, &status, buffer.data(),
                                   static_cast<ULONG>(buffer.size() * sizeof(LONGLONG)), FileDirectoryInformation,
                                   FALSE, mask ? &only : nullptr, restart ? TRUE : FALSE);
}

void takeEntries(const std::vector<LONGLONG>& buffer, std::vector<ListedName>& names) {
    const auto* bytes = reinterpret_cast<const BYTE*>(buffer.data());
    for (size_t offset = 0;;) {
        const auto* entry = reinterpret_cast<const FILE_DIRECTORY_INFORMATION*>(bytes + offset);
        names.push_back({std::wstring(entry->FileName, entry->FileNameLength / sizeof(wchar_t)), entry->FileAttributes});
        if (entry->NextEntryOffset == 0) return;
        offset += entry->NextEntryOffset;
    }
}

bool listing(HANDLE folder, const std::wstring* mask, std::vector<ListedName>& names, DWORD& code) {
    if (!native().present()) {
        code = ERROR_CALL_NOT_IMPLEMENTED;
        return false;
    }
    std::vector<LONGLONG> buffer(8192);
    for (bool restart = true;; restart = false) {
        const NTSTATUS result = listOnce(folder, buffer, mask, restart);
        if (result == kNoMoreFiles || (mask && result == kNoSuchFile)) return true;
        if (result < 0) {
            code = native().errorOf(result);
            return false;
        }
        takeEntries(buffer, names);
    }
}

}  // namespace

HANDLE openIn(HANDLE folder, const std::wstring& name, ACCESS_MASK access, Disposition disposition, DWORD& code) {
    if (!plainName(name)) {
        code = ERROR_INVALID_NAME;
        return nullptr;
    }
    if (!native().present()) {
        code = ERROR_CALL_NOT_IMPLEMENTED;
        return nullptr;
    }
    UNICODE_STRING text = counted(name);
    OBJECT_ATTRIBUTES attributes;
    InitializeObjectAttributes(&attributes, &text, OBJ_CASE_INSENSITIVE, folder, nullptr);
    IO_STATUS_BLOCK status{};
    HANDLE handle = nullptr;
    const NTSTATUS result = native().createFile(
        &handle, access | SYNCHRONIZE, &attributes, &status, nullptr, FILE_ATTRIBUTE_NORMAL,
        FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nativeDisposition(disposition),
        FILE_OPEN_REPARSE_POINT | FILE_OPEN_FOR_BACKUP_INTENT | FILE_SYNCHRONOUS_IO_NONALERT, nullptr, 0);
    if (result < 0) {
        code = native().errorOf(result);
        return nullptr;
    }
    return handle;
}

bool listFolder(HANDLE folder, std::vector<ListedName>& names, DWORD& code) {
    return listing(folder, nullptr, names, code);
}

bool listedAttributes(HANDLE folder, const std::wstring& name, DWORD& attributes, DWORD& code) {
    attributes = INVALID_FILE_ATTRIBUTES;
    if (!plainName(name)) {
        code = ERROR_INVALID_NAME;
        return false;
    }
    std::vector<ListedName> names;
    if (!listing(folder, &name, names, code)) return false;
    for (const ListedName& listed : names)
        if (CompareStringW(LOCALE_SYSTEM_DEFAULT, NORM_IGNORECASE, listed.name.c_str(), -1, name.c_str(), -1) ==
            CSTR_EQUAL)
            attributes = listed.attributes;
    return true;
}

bool handleFacts(HANDLE object, DWORD& attributes, DWORD& names, DWORD& code) {
    if (!native().present()) {
        code = ERROR_CALL_NOT_IMPLEMENTED;
        return false;
    }
    FILE_BASIC_INFORMATION basic{};
    FILE_STANDARD_INFORMATION standard{};
    IO_STATUS_BLOCK status{};
    NTSTATUS result = native().queryInformation(object, &status, &basic, sizeof basic, FileBasicInformation);
    if (result >= 0)
        result = native().queryInformation(object, &status, &standard, sizeof standard, FileStandardInformation);
    if (result < 0) {
        code = native().errorOf(result);
        return false;
    }
    attributes = basic.FileAttributes;
    names = standard.NumberOfLinks;
    return true;
}

bool renameIn(HANDLE object, HANDLE folder, const std::wstring& newName, DWORD& code) {
    if (!plainName(newName)) {
        code = ERROR_INVALID_NAME;
        return false;
    }
    if (!native().present()) {
        code = ERROR_CALL_NOT_IMPLEMENTED;
        return false;
    }
    const ULONG nameBytes = static_cast<ULONG>(newName.size() * sizeof(wchar_t));
    std::vector<LONGLONG> buffer((sizeof(FILE_RENAME_INFORMATION) + nameBytes) / sizeof(LONGLONG) + 1);
    auto* rename = reinterpret_cast<FILE_RENAME_INFORMATION*>(buffer.data());
    rename->ReplaceIfExists = FALSE;
    rename->RootDirectory = folder;
    rename->FileNameLength = nameBytes;
    std::memcpy(rename->FileName, newName.data(), nameBytes);
    IO_STATUS_BLOCK status{};
    const NTSTATUS result = native().setInformation(object, &status, rename,
                                                    static_cast<ULONG>(buffer.size() * sizeof(LONGLONG)),
                                                    FileRenameInformation);
    if (result < 0) {
        code = native().errorOf(result);
        return false;
    }
    return true;
}

}  // namespace spelvane::platform
