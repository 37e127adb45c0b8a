#pragma once
#include <cstddef>
#include <cstdint>
#include <string>

#include "platform/mutex.h"
#include "settings/progress_log.h"

namespace spelvane {

// The progress log of the long commands: one growing text, mirrored whole to
// a display sink after every change.
class MessageLog final : public ProgressLog {
public:
    using Reallocate = void* (*)(void* block, size_t size);  // realloc-like
    using Sink = void (*)(const char* text);

    using ProgressLog::append;
    void appendText(const char* text) override;
    void clear();
    void release();

    // Test support.
    void setReallocate(Reallocate reallocate);  // null restores realloc
    void setSink(Sink sink);                    // null restores the dialog's log box
    const char* text() const { return text_; }
    // A copy of the whole text, taken under the guard.
    std::string currentText() const;
    int32_t length() const { return length_; }
    int32_t capacity() const { return capacity_; }

private:
    void show(const char* text);

    char* text_ = nullptr;
    int32_t length_ = 0;
    int32_t capacity_ = 0;
    Reallocate reallocate_ = nullptr;
    Sink sink_ = nullptr;
    mutable platform::Mutex guard_;
};

MessageLog& messageLog();

}  // namespace spelvane
