// The pictures of the start and stop buttons, drawn here with GDI: 32 x 32,
// white being transparent (the icon's mask).
#pragma once

#include <windows.h>

namespace app {

HICON MainsPlugIcon();  // a black mains plug
HICON StopSignIcon();   // a red octagonal stop sign, STOP in white

}  // namespace app
