// The training program's window against its training modems, in virtual
// time: the modems run on the window's own toolkit, so SimToolkit drives
// them exactly as Qt's does in zorvik-demo.
#include <algorithm>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QTest>

#include "app/demo_program.h"
#include "app_rig.h"
#include "testing/sim_serial.h"
#include "tests/common/choose_item.h"
#include "toolkit/codepage.h"
#include "testing/sim_toolkit.h"

namespace {

using testing_app::kSuccess;
const char* const kCross = "X X X X X X X X X X X X X X X X X X X X ";

struct Desk {
  toolkit::SimToolkit tk;
  serial::SimSerialPlatform machine{tk};
  modemsim::TrainingModems modems{tk, machine};
  modemsim::SupplyByPrompts hands{tk, modems};
  std::unique_ptr<app::TForm1> form;
  std::unique_ptr<toolkit::Timer> probe;

  Desk() {
    modems.SetSleeper([this](uint32_t ms) { tk.Sleep(uint64_t(ms) * 1000); });
    machine.AddPort("COM1");
    form = std::make_unique<app::TForm1>(
        app::DemoEnvironment(hands, modems, [] { return std::vector<std::string>{"COM1"}; }));
    tk.SetOperator([](const toolkit::SimToolkit::Prompt&) { return 1500; });
  }
  ~Desk() {
    probe.reset();
    form.reset();
  }

  // As the operator does: an item from the list, any other name typed.
  void Choose(const char* utf8) {
    const QString name = QString::fromUtf8(utf8);
    if (const int i = form->CBcom->findText(name); i >= 0) return testing_support::ChooseItem(form->CBcom, i);
    form->CBcom->lineEdit()->selectAll();
    QTest::keyClicks(form->CBcom->lineEdit(), name);
  }
  std::vector<std::string> Log() const {
    std::vector<std::string> out;
    for (const std::string& l : form->LogLines()) out.push_back(toolkit::Utf8(l));
    return out;
  }
  bool Logged(const std::string& line) const {
    const auto log = Log();
    return std::find(log.begin(), log.end(), line) != log.end();
  }
  std::string LastLine() const {
    const auto log = Log();
    for (auto it = log.rbegin(); it != log.rend(); ++it)
      if (!it->empty()) return *it;
    return "";
  }
  // Presses start and runs until the run is over: start enabled, no prompt
  // and no gauge left.
  bool Run(uint64_t maxMs = 120'000) {
    form->BBB->click();
    return tk.RunUntil([&] { return form->BBB->isEnabled() && tk.OpenPrompts() == 0 && !form->Tw->Enabled(); }, maxMs);
  }
  // Acts once, wherever the program is waiting, when the condition first
  // holds; the flag tells whether it has.
  std::shared_ptr<bool> When(std::function<bool()> condition, std::function<void()> act) {
    auto acted = std::make_shared<bool>(false);
    probe = tk.CreateTimer(1, [this, condition, act, acted] {
      if (!condition()) return;
      probe->SetEnabled(false);
      *acted = true;
      act();
    });
    probe->SetEnabled(true);
    return acted;
  }
};

TEST(TrainingProgram, OffersTheTrainingModemsFirstAndOpensTheFirst) {
  Desk d;
  const QStringList want{"ГОТОВ", "ПИН-КОД", "ЗАБЛОКИРОВАН", "ЧУЖОЙ", "МОЛЧИТ", "COM1"};
  QStringList items;
  for (int i = 0; i < d.form->CBcom->count(); ++i) items << d.form->CBcom->itemText(i);
  EXPECT_EQ(items, want);
  EXPECT_EQ(d.form->CBcom->currentText(), "ГОТОВ");
  EXPECT_EQ(d.form->LAcom->text(), "свободен");
  ASSERT_NE(d.modems.OpenModem(toolkit::Cp1251("ГОТОВ")), nullptr);
  // A real name goes on to the machine's ports.
  d.Choose("COM1");
  EXPECT_EQ(d.form->LAcom->text(), "свободен");
  EXPECT_TRUE(d.machine.Find("COM1")->IsOpen());
  EXPECT_EQ(d.modems.OpenModem(toolkit::Cp1251("ГОТОВ")), nullptr);
  d.Choose("COM7");
  EXPECT_EQ(d.form->LAcom->text(), "занят");
}

// The ready modem is off from its ^SHUTDOWN until the operator presses the
// button of the power-on prompt, and starts two seconds after that press.
TEST(TrainingProgram, ReadyModemFollowsThePowerPrompts) {
  Desk d;
  modemsim::Engine* modem = d.modems.OpenModem(toolkit::Cp1251("ГОТОВ"));
  ASSERT_NE(modem, nullptr);
  uint64_t offUs = 0, startedUs = 0;
  modem->onEvent = [&](const std::string& e) {
    if (e == "switched off") offUs = d.tk.NowUs();
    if (e == "started") startedUs = d.tk.NowUs();
  };
  std::vector<bool> onAtPrompt;
  d.tk.SetOperator([&](const toolkit::SimToolkit::Prompt&) -> uint64_t {
    onAtPrompt.push_back(modem->PoweredOn());
    return 1500;
  });
  ASSERT_TRUE(d.Run());
  EXPECT_EQ(d.LastLine(), kSuccess);
  EXPECT_FALSE(d.Logged("<<<<<<<<<< ВВОД PIN-кода >>>>>>>>>>"));
  EXPECT_EQ(onAtPrompt, (std::vector<bool>{false, false}));
  const auto& prompts = d.tk.Prompts();
  ASSERT_EQ(prompts.size(), 2u);
  EXPECT_LT(offUs, prompts[0].shownUs);
  EXPECT_NEAR(double(startedUs - prompts[1].closedUs) / 1000, 2000, 2);
  EXPECT_EQ(modem->PowerOns(), 1);
}

struct DemoCase {
  const char* port;
  const char* ending;  // the last line of the run that is not empty
  const char* alsoLogged;
};
void PrintTo(const DemoCase& c, std::ostream* os) { *os << c.port; }

class TrainingModemRun : public ::testing::TestWithParam<DemoCase> {};

TEST_P(TrainingModemRun, EndsAsItsNameSays) {
  const DemoCase& c = GetParam();
  Desk d;
  d.Choose(c.port);
  ASSERT_EQ(d.form->LAcom->text(), "свободен");
  ASSERT_TRUE(d.Run());
  EXPECT_TRUE(d.Logged(c.alsoLogged)) << c.alsoLogged;
  EXPECT_EQ(d.LastLine(), c.ending);
}

INSTANTIATE_TEST_SUITE_P(EachModem, TrainingModemRun,
                         ::testing::Values(DemoCase{"ГОТОВ", kSuccess, "ответ(без CR и LF)=^SYSSTART"},
                                           DemoCase{"ПИН-КОД", kSuccess, "<<<<<<<<<< ВВОД PIN-кода >>>>>>>>>>"},
                                           DemoCase{"ЧУЖОЙ", kSuccess, "марка модема не совпадает с заявленной"},
                                           DemoCase{"МОЛЧИТ", kCross, "НЕТ СВЯЗИ c модемом"}));

// The blocked SIM: the run stops for the PUK, the PUK entry unlocks the card
// and the next run goes through.
TEST(TrainingProgram, PukEntryUnlocksTheBlockedCard) {
  Desk d;
  d.Choose("ЗАБЛОКИРОВАН");
  ASSERT_TRUE(d.Run());
  EXPECT_EQ(d.LastLine(), "требуется ввод PUK-кода");
  d.form->CBpuk->click();
  QTest::keyClick(d.form->LEPUK, Qt::Key_Return);
  d.tk.RunFor(5000);
  EXPECT_EQ(d.LastLine(), "ответ(без CR и LF)=AT+CPIN=31570946,4739OK");
  ASSERT_TRUE(d.Run());
  EXPECT_EQ(d.LastLine(), kSuccess);
}

// Whatever the operator does, the window and the modems come through it:
// after each mishap a fresh choice of the port and a run succeed.
TEST(TrainingProgram, BadInputNeitherCrashesNorHangs) {
  Desk d;
  auto recovers = [&](const char* after) {
    SCOPED_TRACE(after);
    d.Choose("ЧУЖОЙ");
    d.Choose("ГОТОВ");
    ASSERT_TRUE(d.Run());
    EXPECT_EQ(d.LastLine(), kSuccess);
  };

  // The manual terminal: nonsense, the modem switched off, an overlong line
  // (it fills the output queue); on fresh modems a call, whose data mode
  // swallows the next command, and a rate change the window does not follow.
  auto type = [&](const std::string& command) {
    d.form->LEHT->setText(QString::fromStdString(command));
    QTest::keyClick(d.form->LEHT, Qt::Key_Return);
    d.tk.RunFor(8000);
  };
  d.form->CBht->click();
  for (const char* command : {"ATQWERTY", "+++", "AT^SMSO", "ATI"}) type(command);
  type(std::string(3000, 'A'));
  EXPECT_TRUE(d.Logged("НЕТ СВЯЗИ c модемом"));  // the ATI to the modem switched off
  d.Choose("ЧУЖОЙ");
  for (const char* command : {"ATD0123", "ATI"}) type(command);
  d.Choose("ПИН-КОД");
  for (const char* command : {"AT+IPR=19200", "ATI"}) type(command);
  d.form->CBht->click();
  // The PUK entry on a card that wants none, with an empty PUK and PIN.
  d.form->LEPUK->clear();
  d.form->LEpin->clear();
  QTest::keyClick(d.form->LEPUK, Qt::Key_Return);
  d.tk.RunFor(5000);
  d.form->LEpin->setText("4739");
  recovers("terminal and PUK entry");

  // Stop in the PIN check (the card's late answer is let pass), then a
  // port change in the power-off wait.
  d.Choose("ПИН-КОД");
  auto stopped = d.When([&] { return d.form->Tw->Enabled(); }, [&] { d.form->BBE->click(); });
  ASSERT_TRUE(d.Run());
  EXPECT_TRUE(*stopped);
  EXPECT_TRUE(d.form->Gw->isHidden());
  d.tk.RunFor(5000);
  auto changed = d.When([&] { return d.form->Tw->Enabled(); }, [&] { d.Choose("МОЛЧИТ"); });
  ASSERT_TRUE(d.Run());
  EXPECT_TRUE(*changed);
  EXPECT_EQ(d.LastLine(), "ответ(без CR и LF)=^SHUTDOWN");
  recovers("stop and port change");
}

}  // namespace
