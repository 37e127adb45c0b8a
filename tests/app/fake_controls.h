#pragma once
// A stand-in for the dialog's own window and controls: remembers what the
// dialog logic set and answers the trackbar position as a user left it.
#include <map>
#include <string>
#include <vector>

#include "app/dialog_logic.h"
#include "platform/mutex.h"

namespace spelvane::testing {

class FakeControls final : public DialogControls {
public:
    void keepTrackbar() override { calls.push_back("keepTrackbar"); }
    void setIcons() override { calls.push_back("setIcons"); }
    void startTimer(uintptr_t id, uint32_t periodMs) override {
        calls.push_back("startTimer " + std::to_string(id) + " " + std::to_string(periodMs));
    }
    void stopTimer(uintptr_t id) override { calls.push_back("stopTimer " + std::to_string(id)); }
    void endDialog(intptr_t result) override {
        calls.push_back("endDialog " + std::to_string(result));
        ended = true;
    }
    void setItemText(int controlId, const char* text) override {
        platform::LockGuard hold(mutex_);
        texts[controlId] = text;
    }
    void setTrackbarRange(int32_t minimum, int32_t maximum) override {
        rangeMinimum = minimum;
        rangeMaximum = maximum;
    }
    void setTrackbarPosition(int32_t position) override {
        trackbar = position;
        ++positionSets;
    }
    int32_t trackbarPosition() override { return trackbar; }
    void setChecked(int controlId, bool checked) override { checks[controlId] = checked; }
    bool isChecked(int controlId) override { return checks[controlId]; }
    void enableCommands() override { calls.push_back("enableCommands"); }

    std::string text(int controlId) const {
        platform::LockGuard hold(mutex_);
        auto found = texts.find(controlId);
        return found == texts.end() ? std::string("<unset>") : found->second;
    }

    std::vector<std::string> calls;
    std::map<int, std::string> texts;
    std::map<int, bool> checks;
    int32_t rangeMinimum = 0;
    int32_t rangeMaximum = 0;
    int32_t trackbar = 0;
    int positionSets = 0;
    bool ended = false;

private:
    mutable platform::Mutex mutex_;
};

}  // namespace spelvane::testing
