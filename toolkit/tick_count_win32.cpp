#include <windows.h>

#include "toolkit/tick_count.h"

namespace toolkit {

uint32_t SystemTickCount() { return GetTickCount(); }

}  // namespace toolkit
