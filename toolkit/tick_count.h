// The system's millisecond tick count: 32 bits, wrapping.
#pragma once

#include <cstdint>

namespace toolkit {

uint32_t SystemTickCount();

}  // namespace toolkit
