// What the program brings up around its window: the modules started before
// it and stopped after it, and the system's side of the window.
#pragma once

#include "app/umset.h"

namespace app {

void ModulesStartup(toolkit::Toolkit& tk);
void ModulesShutdown();

// The real serial devices, port list and version caption.
Environment SystemEnvironment(toolkit::Toolkit& tk);

}  // namespace app
