#include "platform/sleep.h"

#include <windows.h>

namespace spelvane::platform {

void sleepMilliseconds(uint32_t milliseconds) { Sleep(milliseconds); }

}  // namespace spelvane::platform
