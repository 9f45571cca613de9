#include "bench/demo_run.h"

#include <QAbstractButton>
#include <QComboBox>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QTimer>
#include <chrono>

#include "app/demo_program.h"
#include "bench/process_figures.h"
#include "toolkit/codepage.h"

namespace bench {

DemoRun RunDemoAsOperator(QApplication& application, uint32_t readMs, uint32_t limitMs) {
  DemoRun run;
  using Clock = std::chrono::steady_clock;
  const auto since = [](Clock::time_point t) { return std::chrono::duration<double>(Clock::now() - t).count(); };
  Clock::time_point start, boxSeen;
  double cpu0 = 0;
  QMessageBox* box = nullptr;
  QTimer operatorEye;  // looks at the screen ten times a second
  app::RunDemoProgram(application, [&](app::TForm1& form) {
    run.port = form.CBcom->currentText().toStdString();
    run.status = form.LAcom->text().toStdString();
    QObject::connect(&operatorEye, &QTimer::timeout, [&] {
      auto* modal = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
      if (modal != box) {
        box = modal;
        boxSeen = Clock::now();
      }
      if (box && since(boxSeen) * 1000 >= readMs) {
        ++run.prompts;
        box->button(QMessageBox::Ok)->click();
        box = nullptr;
        return;
      }
      const bool over = !box && form.BBB->isEnabled();
      if (over || since(start) * 1000 > limitMs) {
        run.ended = over;
        run.seconds = since(start);
        run.cpuSeconds = CpuSeconds() - cpu0;
        for (const std::string& l : form.LogLines()) run.log.push_back(toolkit::Utf8(l));
        operatorEye.stop();
        QApplication::quit();
      }
    });
    start = Clock::now();
    cpu0 = CpuSeconds();
    form.BBB->click();
    operatorEye.start(100);
  });
  return run;
}

}  // namespace bench
