// The program: its whole run is app::RunProgram.
#include <QApplication>

#include "app/program_hooks.h"

int main(int argc, char** argv) {
  QApplication application(argc, argv);
  return app::RunProgram(application);
}
