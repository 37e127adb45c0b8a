#pragma once
#include <cstdint>

namespace spelvane::platform {

void sleepMilliseconds(uint32_t milliseconds);

}  // namespace spelvane::platform
