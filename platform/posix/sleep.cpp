#include "platform/sleep.h"

#include <time.h>

#include <cerrno>

namespace spelvane::platform {

void sleepMilliseconds(uint32_t milliseconds) {
    timespec rest{static_cast<time_t>(milliseconds / 1000),
                  static_cast<long>(milliseconds % 1000) * 1000000L};
    while (nanosleep(&rest, &rest) != 0 && errno == EINTR) {
    }
}

}  // namespace spelvane::platform
