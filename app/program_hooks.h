// The run of the Qt program around its window.
#pragma once

#include <QApplication>
#include <functional>

#include "app/umset.h"

namespace app {

// The program's run in an application made by main: the meter-link library
// up, the main window on the system, the event loop, and everything down
// again in the reverse order. shown, if given, is called once the window is
// shown and before the loop starts (a test quits the loop from there).
int RunProgram(QApplication& application, const std::function<void(TForm1&)>& shown = {});

// The same run with the window's toolkit and environment given (made once
// the toolkit is up; whatever they refer to outlives the window).
int RunWindowProgram(QApplication& application, toolkit::Toolkit& tk, const std::function<Environment()>& environment,
                     const std::function<void(TForm1&)>& shown);

}  // namespace app
