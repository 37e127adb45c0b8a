// The package's custom action on the workstation folder, run by Windows
// Installer as LocalSystem inside the installation: what it leaves alone
// and why it refuses go into the installer's log (msiexec /l*v) as well as
// the event log.
//
// The Windows Installer functions are looked up in the msi.dll the
// installer has already loaded into this process, so the DLL imports from
// kernel32 and the other system DLLs only, as the programs do.
#include <windows.h>

#include <string>

#include "app/workstation_folder_action.h"
#include "platform/win32/wide_text.h"

namespace {

using MsiHandle = unsigned long;

// From msi.h and msiquery.h: INSTALLMESSAGE_ERROR and _INFO, the result a
// failed action returns.
constexpr int kMessageError = 0x01000000;
constexpr int kMessageInfo = 0x04000000;
constexpr UINT kInstallFailure = 1603;

template <typename Function>
Function lookUp(HMODULE module, const char* name) {
    return reinterpret_cast<Function>(reinterpret_cast<void*>(GetProcAddress(module, name)));
}

class InstallerLog : public spelvane::FolderActionLog {
public:
    explicit InstallerLog(MsiHandle install) : install_(install) {
        // The msi.dll Windows Installer itself runs from, already in this
        // process: none is loaded by name from a folder a user may write.
        HMODULE msi = GetModuleHandleW(L"msi.dll");
        if (!msi) return;
        createRecord_ = lookUp<CreateRecord>(msi, "MsiCreateRecord");
        setString_ = lookUp<SetString>(msi, "MsiRecordSetStringW");
        processMessage_ = lookUp<ProcessMessage>(msi, "MsiProcessMessage");
        closeRecord_ = lookUp<CloseRecord>(msi, "MsiCloseHandle");
    }

    void warning(const std::string& line) override { write(kMessageInfo, "Spelvane: warning: " + line); }
    // An error message: in a full installation the operator sees why in a
    // box (OK only: the installation fails whatever the answer); silent
    // ones log it.
    void failure(const std::string& line) override {
        write(kMessageError | MB_OK | MB_ICONERROR, "Spelvane cannot prepare the workstation folder: " + line);
    }

private:
    using CreateRecord = MsiHandle(WINAPI*)(UINT);
    using SetString = UINT(WINAPI*)(MsiHandle, UINT, LPCWSTR);
    using ProcessMessage = int(WINAPI*)(MsiHandle, int, MsiHandle);
    using CloseRecord = UINT(WINAPI*)(MsiHandle);

    // Field 0 is a formatted template: brackets and braces in a name would
    // be taken for properties and conditions, so each goes escaped.
    static std::wstring literal(const std::string& utf8) {
        const std::wstring text = spelvane::platform::wideText(utf8, CP_UTF8);
        std::wstring escaped;
        for (const wchar_t c : text) {
            if (c == L'[' || c == L']' || c == L'{' || c == L'}') {
                escaped += L"[\\";
                escaped += c;
                escaped += L']';
            } else {
                escaped += c;
            }
        }
        return escaped;
    }

    void write(int type, const std::string& line) {
        if (!createRecord_ || !setString_ || !processMessage_ || !closeRecord_) return;
        const MsiHandle record = createRecord_(0);
        if (!record) return;
        if (setString_(record, 0, literal(line).c_str()) == ERROR_SUCCESS) processMessage_(install_, type, record);
        closeRecord_(record);
    }

    MsiHandle install_;
    CreateRecord createRecord_ = nullptr;
    SetString setString_ = nullptr;
    ProcessMessage processMessage_ = nullptr;
    CloseRecord closeRecord_ = nullptr;
};

}  // namespace

// The entry point the package's CustomAction table names.
// Nothing may escape into the installer: an exception fails the action.
extern "C" __declspec(dllexport) UINT WINAPI OpenWorkstationFolder(MsiHandle install) {
    try {
        InstallerLog log(install);
        return spelvane::openWorkstationFolder(log) ? ERROR_SUCCESS : kInstallFailure;
    } catch (...) {
        return kInstallFailure;
    }
}
