#include "app/program_hooks.h"

#include <clocale>
#include <memory>

#include "meterlink/ucv.h"
#include "serial/port_discovery.h"
#include "serial/serial_device.h"
#include "toolkit/qt_toolkit.h"
#include "version/version_info.h"

namespace app {

void ModulesStartup(toolkit::Toolkit& tk) { meterlink::MeterLinkStartup(tk); }

void ModulesShutdown() { meterlink::MeterLinkShutdown(); }

Environment SystemEnvironment(toolkit::Toolkit& tk) {
  Environment env{tk, serial::SystemSerialPlatform(), nullptr, nullptr};
  env.portList = [] {
    std::vector<std::string> list;
    serial::GetComPorts(list);
    return list;
  };
  // The reader is consulted once, for the caption, and lives with the program.
  env.caption = [] {
    static const auto reader = std::make_unique<version::TVersionInfo>();
    return version::VersionCaption(*reader);
  };
  return env;
}

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
