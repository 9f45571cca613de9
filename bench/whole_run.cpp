#include "bench/whole_run.h"

#include <QPushButton>
#include <chrono>
#include <fstream>
#include <functional>
#include <string_view>
#include <sys/resource.h>

#include "bench/process_figures.h"
#include "app/umset.h"
#include "modemsim/emulator_process.h"
#include "modemsim/options.h"
#include "testing/sim_modem.h"
#include "serial/serial_device.h"
#include "testing/sim_serial.h"
#include "tests/common/counting_toolkit.h"
#include "toolkit/codepage.h"
#include "toolkit/qt_toolkit.h"
#include "testing/sim_toolkit.h"

namespace bench {
namespace {

constexpr uint32_t kLimitMs = 120'000;
const char* const kSuccess = "УСТАНОВКА ПАРАМЕТРОВ МОДЕМА (универсальный, но  медлительный) - ЗАКОНЧИЛАСЬ УСПЕШНО";

// The operator: reads the power-off prompt for a second; at the power-on
// prompt switches the supply on at once and presses the button 2 s later.
uint32_t OperatorMs(std::string_view message, const std::function<void()>& powerOn) {
  if (message.find(toolkit::Cp1251("ВКЛЮЧИТЕ")) != std::string_view::npos) {
    powerOn();
    return 2000;
  }
  return 1000;
}

// Presses start and waits for the run's end: the start button enabled again
// with no prompt open. A 10 ms probe sees it wherever the program waits.
template <typename Clock>
void Drive(toolkit::Toolkit& tk, app::TForm1& form, const std::function<bool()>& promptOpen, Clock nowSeconds,
           WholeRun& result) {
  bool ended = false;
  double endedAt = 0;
  auto probe = tk.CreateTimer(10, [&] {
    if (!ended && form.BBB->isEnabled() && !promptOpen()) {
      ended = true;
      endedAt = nowSeconds();
    }
  });
  probe->SetEnabled(true);
  const double start = nowSeconds();
  form.BBB->click();
  while (!ended && nowSeconds() - start < kLimitMs / 1000.0) tk.WaitForEvents(50);
  result.seconds = (ended ? endedAt : nowSeconds()) - start;
  result.log = form.LogLines();
  result.success = ended && result.log.size() >= 2 && result.log[result.log.size() - 2] == toolkit::Cp1251(kSuccess);
}

}  // namespace

std::vector<std::string> WholeRunModemOptions() { return {"--sim=pin", "--power-on-after=0"}; }

namespace {

WholeRun RunOnDevice(const std::string& port, const std::function<void()>& powerOn, bool show,
                     const std::string& logFile) {
  WholeRun result;
  toolkit::QtToolkit tk;
  auto closeAt = std::chrono::steady_clock::time_point{};
  tk.SetOperator([&](std::string_view, std::string_view message) {
    const uint32_t ms = OperatorMs(message, powerOn);
    closeAt = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
    return ms;
  });
  testing_support::CountingToolkit counting(tk);
  app::TForm1 form(app::Environment{counting, serial::SystemSerialPlatform(), [&] { return std::vector<std::string>{port}; },
                                    [] { return toolkit::Cp1251("ЗОРВИК"); }, logFile.empty() ? "/dev/null" : logFile});
  if (show) form.show();
  const auto t0 = std::chrono::steady_clock::now();
  auto now = [&] { return std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count(); };
  auto promptOpen = [&] { return std::chrono::steady_clock::now() < closeAt; };
  const double cpu0 = CpuSeconds();
  Drive(counting, form, promptOpen, now, result);
  result.cpuSeconds = CpuSeconds() - cpu0;
  result.loopPasses = counting.passes;
  result.residentKiB = ResidentKiB();
  if (!logFile.empty() && !form.SaveLog()) result.success = false;
  return result;
}

}  // namespace

WholeRun RunInRealTime(const std::string& modemProgram, bool show) {
  modemsim::EmulatorProcess modem(modemProgram, WholeRunModemOptions());
  if (modem.Path().empty()) return {};
  const double modemCpu0 = modem.CpuSeconds();
  WholeRun result = RunOnDevice(modem.Path(), [&] { modem.PowerOn(); }, show, {});
  result.modemCpuSeconds = modem.CpuSeconds() - modemCpu0;
  return result;
}

WholeRun RunOnPort(const std::string& port, const std::function<void()>& powerOn, const std::string& logFile) {
  return RunOnDevice(port, powerOn, false, logFile);
}

WholeRun RunInVirtualTime() {
  WholeRun result;
  modemsim::ProgramOptions options;
  std::string error;
  if (!modemsim::ParseOptions(WholeRunModemOptions(), options, error)) return result;
  toolkit::SimToolkit tk;
  serial::SimSerialPlatform platform(tk);
  serial::SimPort& line = platform.AddPort("COM1");
  modemsim::SimModem modem(tk, line, options.settings);
  tk.SetOperator([&](const toolkit::SimToolkit::Prompt& p) -> uint64_t {
    return OperatorMs(p.message, [&] { modem.PowerOn(); });
  });
  app::TForm1 form(app::Environment{tk, platform, [] { return std::vector<std::string>{"COM1"}; },
                                    [] { return toolkit::Cp1251("ЗОРВИК"); }, "/dev/null"});
  Drive(tk, form, [&] { return tk.OpenPrompts() > 0; }, [&] { return tk.NowUs() / 1e6; }, result);
  return result;
}

}  // namespace bench
