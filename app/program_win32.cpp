#include "app/program_win32.h"

#include <clocale>

namespace app {

int RunProgram() {
  toolkit::Win32Toolkit tk;
  return RunWindowProgram(tk, tk, [&] { return SystemEnvironment(tk); });
}

int RunWindowProgram(toolkit::Win32Toolkit& loop, toolkit::Toolkit& tk,
                     const std::function<Environment()>& environment) {
  std::setlocale(LC_TIME, "");  // dates in prompts follow the system's formats
  ModulesStartup(tk);
  int rc = 0;
  {
    TForm1 Form1(environment(), loop);
    Form1.Show();
    rc = loop.Run();
  }
  ModulesShutdown();
  return rc;
}

}  // namespace app
