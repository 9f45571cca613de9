// The program: meter-link library up, the main window, the event loop, and
// everything down again in the reverse order.
#include <QApplication>
#include <clocale>

#include "app/program_hooks.h"
#include "app/umset.h"
#include "toolkit/qt_toolkit.h"

int main(int argc, char** argv) {
  QApplication application(argc, argv);
  std::setlocale(LC_TIME, "");  // dates in prompts follow the system's formats
  toolkit::QtToolkit tk;

  app::ModulesStartup(tk);
  QApplication::setApplicationName(QString::fromUtf8("ЗОРВИК"));
  int rc = 0;
  {
    app::TForm1 Form1(app::SystemEnvironment(tk));
    Form1.show();
    rc = application.exec();
  }
  app::ModulesShutdown();
  return rc;
}
