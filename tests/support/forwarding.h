#pragma once
// Bases for a test's own fake: every call goes on to another dialog port or
// clock, so the fake states only what it does differently.
#include "app/dialog_port.h"
#include "platform/timing.h"

namespace spelvane::testing {

class ForwardingDialog : public DialogPort {
public:
    explicit ForwardingDialog(DialogPort& target) : target_(target) {}

    int messageBox(WindowHandle owner, const char* text, const char* title, unsigned buttons) override {
        return target_.messageBox(owner, text, title, buttons);
    }
    void setCursor(CursorShape shape) override { target_.setCursor(shape); }
    void showLog(WindowHandle dialog, const char* text) override { target_.showLog(dialog, text); }
    bool chooseSettingsFile(WindowHandle owner, char* fileName, size_t size) override {
        return target_.chooseSettingsFile(owner, fileName, size);
    }
    void sendCompletion(WindowHandle dialog) override { target_.sendCompletion(dialog); }

protected:
    DialogPort& target_;
};

class ForwardingTiming : public Timing {
public:
    explicit ForwardingTiming(Timing& target) : target_(target) {}

    bool counter(int64_t& ticks) override { return target_.counter(ticks); }
    bool frequency(int64_t& ticksPerSecond) override { return target_.frequency(ticksPerSecond); }
    void sleepMs(uint32_t milliseconds) override { target_.sleepMs(milliseconds); }
    int64_t calendarTime() override { return target_.calendarTime(); }

protected:
    Timing& target_;
};

}  // namespace spelvane::testing
