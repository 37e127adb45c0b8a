#include "tests/support/fake_dialog.h"

#include <cstring>

namespace spelvane::testing {

FakeDialog::FakeDialog() { setDialogPort(this); }

FakeDialog::~FakeDialog() {
    if (&dialogPort() == this) setDialogPort(nullptr);
}

void FakeDialog::answerNext(int answer) {
    platform::LockGuard hold(mutex_);
    answers_.push_back(answer);
}

void FakeDialog::chooseFileNext(const std::string& path) {
    platform::LockGuard hold(mutex_);
    files_.push_back(path);
}

std::vector<ShownMessage> FakeDialog::messages() const {
    platform::LockGuard hold(mutex_);
    return messages_;
}

std::vector<CursorShape> FakeDialog::cursors() const {
    platform::LockGuard hold(mutex_);
    return cursors_;
}

std::string FakeDialog::shownLog() const {
    platform::LockGuard hold(mutex_);
    return log_;
}

int FakeDialog::logShowCount() const {
    platform::LockGuard hold(mutex_);
    return logShows_;
}

int FakeDialog::completions() const {
    platform::LockGuard hold(mutex_);
    return completions_;
}

std::vector<std::string> FakeDialog::initialFileNames() const {
    platform::LockGuard hold(mutex_);
    return initialNames_;
}

int FakeDialog::messageBox(WindowHandle owner, const char* text, const char* title, unsigned buttons) {
    platform::LockGuard hold(mutex_);
    messages_.push_back({owner, text ? text : "", title ? title : "", buttons});
    if (!answers_.empty()) {
        int answer = answers_.front();
        answers_.pop_front();
        return answer;
    }
    return buttons == kButtonsYesNo ? kAnswerNo : kAnswerOk;
}

void FakeDialog::setCursor(CursorShape shape) {
    platform::LockGuard hold(mutex_);
    cursors_.push_back(shape);
}

void FakeDialog::showLog(WindowHandle, const char* text) {
    platform::LockGuard hold(mutex_);
    log_ = text ? text : "";
    ++logShows_;
}

bool FakeDialog::chooseSettingsFile(WindowHandle, char* fileName, size_t fileNameSize) {
    platform::LockGuard hold(mutex_);
    initialNames_.push_back(fileName ? fileName : "");
    if (files_.empty() || !fileName || fileNameSize == 0) return false;
    std::string path = files_.front();
    files_.pop_front();
    std::strncpy(fileName, path.c_str(), fileNameSize - 1);
    fileName[fileNameSize - 1] = '\0';
    return true;
}

void FakeDialog::sendCompletion(WindowHandle) {
    platform::LockGuard hold(mutex_);
    ++completions_;
}

}  // namespace spelvane::testing
