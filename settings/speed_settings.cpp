#include "settings/speed_settings.h"

#include "device/device_slot.h"
#include "platform/mutex.h"

namespace spelvane {
namespace {

// One guard for every record: adoption is rare and the copy is short.
platform::Mutex& valuesGuard() {
    static auto* guard = new platform::Mutex;  // outlives the exit handlers
    return *guard;
}

}  // namespace

SpeedValues SpeedSettings::snapshot() const {
    platform::LockGuard hold(valuesGuard());
    return values;
}

std::string SpeedSettings::typeName() const { return deviceTypeName(info); }

void SpeedSettings::adopt(const SpeedValues& adopted) {
    if (&adopted == &values) return;
    platform::LockGuard hold(valuesGuard());
    values = adopted;
}

}  // namespace spelvane
