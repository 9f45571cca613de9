// The run of the Windows program around its window.
#pragma once

#include <functional>

#include "app/umset_win32.h"

namespace app {

// The meter-link library up, the main window on the system, the message
// loop until the window is closed, and everything down in reverse order.
int RunProgram();

// The same with the window's toolkit and environment given: tk is the
// toolkit the window works with, loop the message loop under it.
int RunWindowProgram(toolkit::Win32Toolkit& loop, toolkit::Toolkit& tk,
                     const std::function<Environment()>& environment);

// The training program: the training modems in front of the machine's ports.
int RunDemoProgram();

}  // namespace app
