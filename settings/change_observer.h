#pragma once
// Who hears of one device's change beyond the progress log: what is about to
// be written, just before the first write request, and why it was not
// written or did not finish. The application keeps its change history from
// these; the settings code does not know that anything is written down.
#include <string>

#include "settings/speed_values.h"

namespace spelvane {

class ChangeObserver {
public:
    virtual ~ChangeObserver() = default;
    // Before the first write request to the device: from is what it holds,
    // to what is about to be written over it. Returns once the observer has
    // put it where a power cut cannot take it.
    virtual void beforeFirstWrite(const SpeedValues& from, const SpeedValues& to) = 0;
    // Nothing will be written: why, one line.
    virtual void refused(const std::string& reason) = 0;
    // The first request that failed, one line; the device may hold part of
    // the change.
    virtual void failed(const std::string& request) = 0;
};

}  // namespace spelvane
