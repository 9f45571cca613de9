#include "app/program_hooks.h"

#include <clocale>

#include "toolkit/qt_toolkit.h"

namespace app {

int RunProgram(QApplication& application, const std::function<void(TForm1&)>& shown) {
  toolkit::QtToolkit tk;
  return RunWindowProgram(
      application, tk, [&] { return SystemEnvironment(tk); }, shown);
}

int RunWindowProgram(QApplication& application, toolkit::Toolkit& tk, const std::function<Environment()>& environment,
                     const std::function<void(TForm1&)>& shown) {
  std::setlocale(LC_TIME, "");  // dates in prompts follow the system's formats
  ModulesStartup(tk);
  QApplication::setApplicationName(QString::fromUtf8("ЗОРВИК"));
  int rc = 0;
  {
    TForm1 Form1(environment());
    Form1.show();
    if (shown) shown(Form1);
    rc = application.exec();
  }
  ModulesShutdown();
  return rc;
}

}  // namespace app
