// zorvik-demo, the training program: the same window, whose port list offers
// the training modems first and the machine's own ports after them; the
// first training modem is chosen at start.
#pragma once

#include <QApplication>
#include <functional>
#include <string>
#include <vector>

#include "app/umset.h"
#include "modemsim/training_modems.h"

namespace app {

// As RunProgram, with the training modems in the program.
int RunDemoProgram(QApplication& application, const std::function<void(TForm1&)>& shown = {});

}  // namespace app
