#pragma once
#include <cstddef>
#include <cstdint>
#include <string>

namespace spelvane {

using WindowHandle = void*;

enum class CursorShape { Arrow, Wait };

// Button sets and answers carry the system's own numbers (MB_OK, MB_YESNO,
// IDOK, IDYES, IDNO) so the Win32 side passes them through unchanged.
enum : unsigned { kButtonsOk = 0x0u, kButtonsYesNo = 0x4u };
enum : int { kAnswerOk = 1, kAnswerYes = 6, kAnswerNo = 7 };

// What the program's logic needs from its dialog. The Win32 dialog answers
// these with window calls; tests put a scripted fake in its place.
class DialogPort {
public:
    virtual ~DialogPort() = default;
    virtual int messageBox(WindowHandle owner, const char* text, const char* title,
                           unsigned buttons) = 0;
    virtual void setCursor(CursorShape shape) = 0;
    virtual void showLog(WindowHandle dialog, const char* text) = 0;  // log box 1000
    // The file-open dialog. fileName holds the initial name on entry and the
    // chosen path on return; true when the operator chose a file.
    virtual bool chooseSettingsFile(WindowHandle owner, char* fileName, size_t fileNameSize) = 0;
    virtual void sendCompletion(WindowHandle dialog) = 0;       // message 2024, synchronous
};

// Stands in while no dialog exists: shows nothing, answers OK to notices and
// No to questions and never chooses a file.
class SilentDialogPort : public DialogPort {
public:
    int messageBox(WindowHandle owner, const char* text, const char* title, unsigned buttons) override;
    void setCursor(CursorShape) override {}
    void showLog(WindowHandle, const char*) override {}
    bool chooseSettingsFile(WindowHandle, char*, size_t) override { return false; }
    void sendCompletion(WindowHandle) override {}
};

// Shows nothing, as SilentDialogPort, and keeps the text of the first box:
// what a program without a dialog tells instead (discovery's reason).
class FirstBoxPort final : public SilentDialogPort {
public:
    int messageBox(WindowHandle owner, const char* text, const char* title, unsigned buttons) override;
    std::string box;
};

DialogPort& dialogPort();
void setDialogPort(DialogPort* port);  // null installs a port that shows nothing

}  // namespace spelvane
