#pragma once
// Where the settings code reports its progress: a step text, then "OK" or
// "FAILED". The application's message log implements it; the settings code
// never needs to know who shows the text.
#include <cstddef>

namespace spelvane {

class ProgressLog {
public:
    static constexpr size_t kPieceSize = 1024;  // longer pieces are cut

    virtual ~ProgressLog() = default;
    virtual void appendText(const char* text) = 0;

    void append(const char* format, ...)
#if defined(__GNUC__)
        __attribute__((format(printf, 2, 3)))
#endif
        ;

    // Logs text, runs action and completes the line with "OK\r\n" or
    // "FAILED\r\n". The text goes out first, so a slow device request shows
    // what it is waiting for.
    template <typename Action>
    bool step(const char* text, Action action) {
        appendText(text);
        const bool ok = action();
        appendText(ok ? kStepOk : kStepFailed);
        return ok;
    }

    static constexpr const char* kStepOk = "OK\r\n";
    static constexpr const char* kStepFailed = "FAILED\r\n";
};

}  // namespace spelvane
