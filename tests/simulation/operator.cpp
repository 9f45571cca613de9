// The operator: presses, types and chooses at random moments, saves and
// clears the log.
#include "tests/simulation/world.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QSpinBox>
#include <QTest>
#include <QTextBlock>
#include <QTextDocument>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <memory>
#include <random>
#include <string>
#include <utility>
#include <vector>

#include "tests/common/choose_item.h"
#include "toolkit/codepage.h"

namespace simulation {

void World::ScheduleOperator(uint64_t untilUs) {
  uint64_t at = U(0, 2000) * 1000;
  while (at < untilUs) {
    tk_.PostAt(at, [this] { Act(); });
    if (calm_)
      at += U(3000, 45000) * 1000;
    else
      at += (P(0.8) ? U(50, 2500) : U(2500, 15000)) * 1000;
  }
}

void World::TypeInto(QWidget* w, const QString& text) {
  for (QChar c : text) {
    if (c == QChar('\b'))
      QTest::keyClick(w, Qt::Key_Backspace);
    else if (c == QChar('\r'))
      QTest::keyClick(w, Qt::Key_Return);
    else if (c.unicode() < 0x80)
      QTest::keyClicks(w, QString(c));
    else {
      // QTest knows keys of the ASCII range only; a Cyrillic letter as a keyboard sends it
      QKeyEvent press(QEvent::KeyPress, Qt::Key_unknown, Qt::NoModifier, QString(c));
      QKeyEvent release(QEvent::KeyRelease, Qt::Key_unknown, Qt::NoModifier, QString(c));
      QApplication::sendEvent(w, &press);
      QApplication::sendEvent(w, &release);
    }
  }
}

void World::SaveAndCompare() {
  const size_t errors = tk_.Prompts().size();
  QTest::mouseClick(form_->MEset->viewport(), P(0.5) ? Qt::LeftButton : Qt::RightButton, Qt::ControlModifier);
  if (tk_.Prompts().size() != errors) Violation("saving the log failed: " + toolkit::Utf8(tk_.Prompts().back().message));
  std::ifstream in(logFile_, std::ios::binary);
  const std::string file((std::istreambuf_iterator<char>(in)), {});
  std::string want;
  for (const std::string& l : lines_) want += l + "\r\n";
  if (file != want)
    Violation("the saved file is not the pane's text", {"file: " + Shown(file.substr(file.size() > 300 ? file.size() - 300 : 0)),
                                                         "pane: " + Shown(want.substr(want.size() > 300 ? want.size() - 300 : 0))});
}

void World::Act() {
  app::TForm1& f = *form_;
  static const std::vector<QString> commands = {
      "AT", "ATI", "AT+CPIN?", "AT&F", "AT&D1", "AT^SMSO", "AT+CSNS?", "AT&V", "AT+CPIN=4739", "ATE0", "at&w",
      "AT+IPR=9600", "ATS0=1", "ЖЖЖ", "ATЖ", "A", ""};
  uint64_t what = U(0, 99);
  if (calm_ && what < 85) what = what < 70 ? 0 : 80;  // start, or just look on
  if (verbose_) Note("operator acts: " + std::to_string(what) + ", port " + (f.port.Connected() ? "open" : "closed"));
  if (what < 20 || what >= 92) {
    Note("operator: start");
    f.BBB->click();
  } else if (what < 27) {
    Note("operator: stop");
    f.BBE->click();
    if (!f.BBB->isEnabled()) Violation("the start button is disabled after a stop");
  } else if (what < 31) {
    if (f.CBcom->count() == 0) return;
    const int index = int(U(0, uint64_t(f.CBcom->count() - 1)));
    Note("operator: port item " + std::to_string(index));
    testing_support::ChooseItem(f.CBcom, index);
    if (!f.BBB->isEnabled()) Violation("the start button is disabled after a port choice");
  } else if (what < 35) {
    static const std::vector<QString> keys = {"\b", "\b\b\b\b", "COM1", "COM3", "1", "3", "x", "COM"};
    const QString k = Pick(keys);
    Note("operator: types into the port box: " + k.toStdString());
    const QString before = f.CBcom->currentText();
    TypeInto(f.CBcom->lineEdit(), k);
    if (f.CBcom->currentText() != before && !f.BBB->isEnabled()) Violation("the start button is disabled after typing a port name");
  } else if (what < 38) {
    Note("operator: PUK box ticked/unticked");
    f.CBpuk->click();
    if (f.LEPUK->isEnabled() != f.CBpuk->isChecked()) Violation("the PUK box does not follow its check box");
  } else if (what < 43) {
    Note("operator: manual terminal ticked/unticked");
    f.CBht->click();
    if (f.LEHT->isEnabled() != f.CBht->isChecked()) Violation("the command line does not follow its check box");
  } else if (what < 46) {
    Note("operator: sending modem ticked/unticked");
    f.CBsend->click();
    if (f.RGDTR->isEnabled() == f.CBsend->isChecked()) Violation("the DTR group does not follow the check box");
    if (f.CBsend->isChecked() && !f.RGDTRItems[2]->isChecked()) Violation("ticking the sending modem left item 2 unchosen");
  } else if (what < 49) {
    const int item = int(U(0, 2));
    Note("operator: DTR item " + std::to_string(item));
    f.RGDTRItems[item]->click();
  } else if (what < 56) {
    static const std::vector<QString> pins = {"\b\b\b\b4739", "\b\b\b\b1111", "\r", "\r", "12a b-3.4", "\b", "."};
    const QString k = Pick(pins);
    Note("operator: types into the PIN box: " + k.toStdString());
    TypeInto(f.LEpin, k);
  } else if (what < 59) {
    if (!f.LEPUK->isEnabled()) return;
    static const std::vector<QString> puks = {"\b\b\b\b\b\b\b\b31570946", "\r", "\b", "99"};
    const QString k = Pick(puks);
    Note("operator: types into the PUK box: " + k.toStdString());
    TypeInto(f.LEPUK, k);
  } else if (what < 72) {
    if (!f.LEHT->isEnabled()) return;
    QString text = QString(int(f.LEHT->text().size()), QChar('\b')) + Pick(commands);
    if (P(0.85)) text += QChar('\r');
    Note("operator: types a command: " + text.toStdString());
    TypeInto(f.LEHT, text);
  } else if (what < 76) {
    Note("operator: clears the log");
    clearing_ = true;
    QTest::mouseDClick(f.MEset->viewport(), Qt::LeftButton);
    clearing_ = false;
    if (!f.LogLines().empty() || !lines_.empty()) Violation("a double click left lines in the pane");
    if (f.LogColour() != toolkit::clWindow) Violation("a double click left the pane coloured");
  } else if (what < 80) {
    Note("operator: saves the log");
    SaveAndCompare();
  }
  // otherwise the operator looks on
}

}  // namespace simulation
