#pragma once
// A scripted stand-in for the main dialog: records what the program shows and
// answers as the test says. Safe to call from the worker thread.
#include <deque>
#include <string>
#include <vector>

#include "app/dialog_port.h"
#include "platform/mutex.h"

namespace spelvane::testing {

struct ShownMessage {
    WindowHandle owner;
    std::string text;
    std::string title;
    unsigned buttons;
};

class FakeDialog final : public DialogPort {
public:
    FakeDialog();   // installs itself as the dialog port
    ~FakeDialog() override;  // restores the silent port

    // Script.
    void answerNext(int answer);          // queued answers to message boxes
    void chooseFileNext(const std::string& path);  // queued; an empty queue cancels

    // What was seen.
    std::vector<ShownMessage> messages() const;
    std::vector<CursorShape> cursors() const;
    std::string shownLog() const;         // last text given to the log box
    int logShowCount() const;
    int completions() const;
    std::vector<std::string> initialFileNames() const;  // as the file dialog received them

    // DialogPort
    int messageBox(WindowHandle owner, const char* text, const char* title, unsigned buttons) override;
    void setCursor(CursorShape shape) override;
    void showLog(WindowHandle dialog, const char* text) override;
    bool chooseSettingsFile(WindowHandle owner, char* fileName, size_t fileNameSize) override;
    void sendCompletion(WindowHandle dialog) override;

private:
    mutable platform::Mutex mutex_;
    std::deque<int> answers_;
    std::deque<std::string> files_;
    std::vector<ShownMessage> messages_;
    std::vector<CursorShape> cursors_;
    std::string log_;
    int logShows_ = 0;
    int completions_ = 0;
    std::vector<std::string> initialNames_;
};

}  // namespace spelvane::testing
