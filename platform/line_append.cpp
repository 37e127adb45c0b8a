#include "platform/line_append.h"

#include <algorithm>
#include <cstdint>
#include <optional>

#include "platform/mutex.h"
#include "platform/output_file.h"
#include "platform/timing.h"

namespace spelvane::platform {
namespace {

bool failWith(std::string& error, const std::string& what, const OutputFile& file) {
    error = what + " " + file.path() + ": " + describeFileFault(file.fault());
    return false;
}

// Of lines, the last ones of text, those that lie whole in its first
// written bytes: each ends in the one LF it holds.
size_t linesWholeIn(const std::string& text, size_t lines, uint64_t written) {
    if (written >= text.size()) return lines;
    const auto unwritten = text.begin() + static_cast<std::ptrdiff_t>(written);
    const auto unended = static_cast<size_t>(std::count(unwritten, text.end(), '\n'));
    return unended >= lines ? 0 : lines - unended;
}

// A command appends to a file several times (a start row, an outcome, the
// retries of both): a holder that outlasted one whole wait is not waited
// for again by this process until an append to that file goes through, so
// that the bound holds for the command, not for each append.
class OutlastedWaits {
public:
    bool has(const std::string& path) {
        LockGuard guard(mutex_);
        return std::find(paths_.begin(), paths_.end(), path) != paths_.end();
    }
    void set(const std::string& path, bool outlasted) {
        LockGuard guard(mutex_);
        paths_.erase(std::remove(paths_.begin(), paths_.end(), path), paths_.end());
        if (outlasted) paths_.push_back(path);
    }

private:
    Mutex mutex_;
    std::vector<std::string> paths_;
};

OutlastedWaits& outlastedWaits() {
    static OutlastedWaits waits;
    return waits;
}

// Who may hold the file when the wait for it ran out, so that the operator
// knows what to close.
std::string heldBy(bool opened, bool earlier) {
    const std::string waited =
        std::string(earlier ? "; still held after this program waited " : "; waited ") +
        std::to_string(kAppendWaitMs / 1000) + " s";
    if (!opened)
        return waited + " for the program that holds it open (a spreadsheet or an editor: copy the file to read it)";
    return waited + " for its append lock (another computer appending, or a stale session of one on the file server)";
}

// Opens path and takes its append lock, waiting no longer than
// kAppendWaitMs in all while another program holds either.
bool openLocked(OutputFile& file, const std::string& path, std::optional<AppendLock>& lock, std::string& error) {
    const bool outlasted = outlastedWaits().has(path);
    for (uint32_t waited = 0;; waited += kAppendPollMs) {
        if (file.isOpen() || file.openForAppend(path)) {
            lock.emplace(file);
            if (lock->held()) {
                if (outlasted) outlastedWaits().set(path, false);
                return true;
            }
            lock.reset();
        }
        const bool opened = file.isOpen();
        if (file.fault() != FileFault::InUse) return failWith(error, opened ? "cannot lock" : "cannot open", file);
        if (outlasted || waited >= kAppendWaitMs) {
            failWith(error, opened ? "cannot lock" : "cannot open", file);
            error += heldBy(opened, outlasted);
            outlastedWaits().set(path, true);
            return false;
        }
        timing().sleepMs(kAppendPollMs);
    }
}

}  // namespace

std::string textToAppend(bool empty, char lastByte, const std::string& header, const std::vector<std::string>& lines) {
    std::string text;
    if (empty) text = header;
    else if (lastByte == '\r') text = "\n";
    else if (lastByte != '\n') text = "\r\n";
    for (const std::string& line : lines) text += line;
    return text;
}

bool appendLines(const std::string& path, const std::string& header, const std::vector<std::string>& lines,
                 std::string& error, size_t* wholeLines) {
    size_t unused = 0;
    size_t& whole = wholeLines ? *wholeLines : unused;
    whole = 0;
    OutputFile file;
    {
        std::optional<AppendLock> lock;
        if (!openLocked(file, path, lock, error)) return false;
        uint64_t size = 0;
        char last = '\n';
        if (!file.size(size) || (size > 0 && !file.lastByte(last))) return failWith(error, "cannot read", file);
        const std::string text = textToAppend(size == 0, last, header, lines);
        if (!file.write(text.data(), text.size())) {
            failWith(error, "cannot write to", file);
            // Still under the lock: what the file gained since is this text.
            uint64_t after = 0;
            if (file.size(after) && after > size) whole = linesWholeIn(text, lines.size(), after - size);
            return false;
        }
        whole = lines.size();
    }
    if (!file.flushDurably()) return failWith(error, "cannot put on disk", file);
    if (!file.close()) return failWith(error, "cannot close", file);
    return true;
}

}  // namespace spelvane::platform
