#include "app/message_log.h"

#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "app/app_state.h"
#include "app/dialog_port.h"

namespace spelvane {
namespace {

// The log box is looked up at every call: until the dialog exists there is
// nowhere to show the text, and it is only gathered.
void showInDialog(const char* text) {
    WindowHandle window = appState().dialogWindow;
    if (window) dialogPort().showLog(window, text);
}

// Never destroyed: the worker may still append while the exit handlers run,
// and its lock must outlive them. The text itself is freed by release().
MessageLog& theLog() {
    static MessageLog* log = [] {
        auto* created = new MessageLog;
        std::atexit([] { messageLog().release(); });
        return created;
    }();
    return *log;
}

// Set up before the entry runs, after the worker was started, so that its
// release runs before the worker is stopped.
[[maybe_unused]] MessageLog& setUpAtStart = theLog();

}  // namespace

MessageLog& messageLog() { return theLog(); }

void MessageLog::setReallocate(Reallocate reallocate) { reallocate_ = reallocate; }

void MessageLog::setSink(Sink sink) { sink_ = sink; }

void MessageLog::show(const char* text) {
    if (sink_)
        sink_(text);
    else
        showInDialog(text);
}

void MessageLog::appendText(const char* text) {
    // Pieces are cut as the formatted ones are, so no caller can make one
    // line of the log longer than another.
    char piece[kPieceSize];
    std::snprintf(piece, sizeof piece, "%s", text ? text : "");

    // A display may wait for the dialog thread, which may itself be waiting
    // to clear the log; so the text is copied under the guard and shown after.
    char* shown = [&]() -> char* {
        platform::LockGuard hold(guard_);
        const size_t pieceLength = std::strlen(piece);
        const int32_t needed = length_ + static_cast<int32_t>(pieceLength);
        if (needed != 0 && needed >= capacity_) {
            Reallocate grow = reallocate_ ? reallocate_ : &std::realloc;
            void* grown = grow(text_, static_cast<size_t>(needed) + 1);
            if (!grown) {
                // Out of memory: everything gathered so far is given up, and
                // the next append starts a new buffer.
                std::free(text_);
                text_ = nullptr;
                length_ = 0;
                capacity_ = 0;
                return nullptr;
            }
            text_ = static_cast<char*>(grown);
            capacity_ = needed + 1;
            text_[length_] = '\0';
        }
        if (!text_) return nullptr;
        std::memcpy(text_ + length_, piece, pieceLength + 1);
        length_ = static_cast<int32_t>(std::strlen(text_));
        auto* copy = static_cast<char*>(std::malloc(static_cast<size_t>(length_) + 1));
        if (copy) std::memcpy(copy, text_, static_cast<size_t>(length_) + 1);
        return copy;
    }();
    show(shown ? shown : "");
    std::free(shown);
}

void MessageLog::clear() {
    show("");
    platform::LockGuard hold(guard_);
    if (length_ > 0) length_ = 0;
    if (text_) text_[0] = '\0';
}

std::string MessageLog::currentText() const {
    platform::LockGuard hold(guard_);
    return text_ ? std::string(text_, static_cast<size_t>(length_)) : std::string();
}

void MessageLog::release() {
    platform::LockGuard hold(guard_);
    if (capacity_ == 0) return;
    length_ = 0;
    std::free(text_);
    text_ = nullptr;
    capacity_ = 0;
}

}  // namespace spelvane
