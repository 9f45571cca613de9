// zorvik-demo: the program with its training modems built in.
#include <QApplication>

#include "app/demo_program.h"

int main(int argc, char** argv) {
  QApplication application(argc, argv);
  return app::RunDemoProgram(application);
}
