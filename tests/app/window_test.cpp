// The main window: layout, port choice, PIN/PUK entry, log pane gestures.
#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QSpinBox>
#include <QSplitter>
#include <QKeyEvent>
#include <QTest>
#include <algorithm>
#include <cstdio>
#include <fstream>
#include <string>
#include <vector>

#include "app_rig.h"
#include "setup/form_description.h"
#include "tests/common/choose_item.h"
#include "tests/common/scratch_dir.h"

using namespace testing_app;

namespace {
std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

// Whether the widget as drawn has text in about that colour: a palette entry
// the style does not use for that widget would not show.
bool DrawnInColour(QWidget* w, QColor want) {
  const QImage image = w->grab().toImage();
  for (int y = 0; y < image.height(); ++y)
    for (int x = 0; x < image.width(); ++x) {
      const QColor c = image.pixelColor(x, y);
      if (std::abs(c.red() - want.red()) < 40 && std::abs(c.green() - want.green()) < 40 &&
          std::abs(c.blue() - want.blue()) < 40)
        return true;
    }
  return false;
}
}  // namespace

QString U(std::string_view utf8) { return QString::fromUtf8(utf8.data(), qsizetype(utf8.size())); }

// The text a control of the description shows, whatever its kind.
QString Shown(QWidget* w) {
  if (auto* b = qobject_cast<QAbstractButton*>(w)) return b->text();
  if (auto* g = qobject_cast<QGroupBox*>(w)) return g->title();
  if (auto* l = qobject_cast<QLabel*>(w)) return l->text();
  if (auto* e = qobject_cast<QLineEdit*>(w)) return e->text();
  if (auto* c = qobject_cast<QComboBox*>(w)) return c->currentText();
  if (auto* s = qobject_cast<QSpinBox*>(w)) return QString::number(s->value());
  return {};
}

// Built as the window's description has it: every control of the panel in
// its place with its text, tooltip and state, the DTR items, the window.
TEST(Window, ControlsStandWhereTheDescriptionPutsThemWithTheirDefaults) {
  Rig r;
  app::TForm1& f = *r.form;
  const setup::WindowDescription& window = setup::MainWindow();
  EXPECT_EQ(f.pos(), QPoint(window.outer.x, window.outer.y));
  EXPECT_EQ(f.windowTitle(), QString::fromUtf8("ЗОРВИК версия test"));
  for (const setup::ControlDescription& c : setup::MainControls()) {
    const std::string name(c.name);
    QWidget* w = f.PAmain->findChild<QWidget*>(QString::fromStdString(name));
    ASSERT_NE(w, nullptr) << name;
    const QRect want(c.box.x, c.box.y, c.box.width, c.box.height);
    const bool status = c.kind == setup::ControlKind::StatusLabel;
    // The status is as wide as its text; it and its tip are the port
    // choice's, made since.
    EXPECT_EQ(status ? QRect(w->pos(), want.size()) : w->geometry(), want) << name;
    if (!status && c.kind != setup::ControlKind::PortBox) {
      EXPECT_EQ(Shown(w), U(c.text)) << name;
    }
    if (!status) {
      EXPECT_EQ(w->toolTip(), U(c.tooltip)) << name;
    }
    EXPECT_EQ(w->isEnabled(), c.enabled) << name;
    EXPECT_EQ(w->isHidden(), !c.visible) << name;
  }
  EXPECT_EQ(f.SEw->minimum(), setup::MainControl("SEw").minimum);
  EXPECT_EQ(f.SEw->maximum(), setup::MainControl("SEw").maximum);
  for (int i = 0; i < setup::kDtrItemCount; ++i) {
    const setup::Box b = setup::DtrItemBox(i);
    EXPECT_EQ(f.RGDTRItems[i]->geometry(), QRect(b.x, b.y, b.width, b.height));
    EXPECT_EQ(f.RGDTRItems[i]->text(), U(setup::DtrItemText(i)));  // shown with one &
    EXPECT_EQ(f.RGDTRItems[i]->isChecked(), i == setup::kDtrItemChosen);
  }
  EXPECT_EQ(f.MEset->toolTip(), U(window.memoTooltip));
  EXPECT_TRUE(f.Gw->isHidden());
  EXPECT_TRUE(f.Lw->isHidden());
  EXPECT_EQ(f.Gw->maximum(), 30000);
  EXPECT_FALSE(f.Trx->Enabled() || f.Tgo->Enabled() || f.Terror->Enabled() || f.Tw->Enabled());
  EXPECT_EQ(f.Trx->Interval(), 200u);
  EXPECT_EQ(f.Tgo->Interval(), 500u);
  EXPECT_EQ(f.Terror->Interval(), 3000u);
  EXPECT_EQ(f.Tw->Interval(), 500u);
  EXPECT_EQ(f.port.StopBits(), serial::sb2BITS);

  f.show();
  const QSize outer = f.frameGeometry().size();
  EXPECT_EQ(outer, QSize(window.outer.width, window.outer.height));
  EXPECT_EQ(f.PAmemo->width(), window.memoWidth);
  EXPECT_EQ(f.PAmain->x(), window.memoWidth + window.splitterWidth);
  const int mainWidth = f.PAmain->width();
  f.resize(f.width() + 100, f.height() + 50);
  EXPECT_EQ(f.PAmemo->width(), window.memoWidth);  // the controls' panel takes the change
  EXPECT_EQ(f.PAmain->width(), mainWidth + 100);
  EXPECT_EQ(f.Gw->geometry().bottom(), f.PAmain->height() - 1);
  EXPECT_EQ(f.Gw->height(), 76);
  EXPECT_EQ(f.Lw->height(), 13);
  f.Splitter1->setSizes({5, 800});
  EXPECT_GE(f.PAmemo->width(), 30);
}

TEST(Window, AnEmptyPortListShowsBusyAndStartStaysEnabled) {
  Rig r(std::vector<std::string>{});
  EXPECT_EQ(r.form->CBcom->count(), 0);
  EXPECT_TRUE(r.form->CBcom->currentText().isEmpty());
  EXPECT_EQ(r.form->LAcom->text(), QString::fromUtf8("занят"));
  EXPECT_TRUE(DrawnInColour(r.form->LAcom, QColor(255, 0, 0)));
  EXPECT_TRUE(r.form->BBB->isEnabled());
}

TEST(Window, ChoosingAPortClosesTheOldOneAndReportsTheNew) {
  Rig r({"COM1", "COM3"});
  EXPECT_EQ(r.form->CBcom->currentText(), "COM1");
  EXPECT_EQ(r.form->LAcom->text(), QString::fromUtf8("свободен"));
  EXPECT_TRUE(DrawnInColour(r.form->LAcom, QColor(0, 128, 0)));
  EXPECT_TRUE(r.Line("COM1").IsOpen());
  r.Line("COM3").heldElsewhere = true;
  r.form->BBB->setEnabled(false);
  testing_support::ChooseItem(r.form->CBcom, 1);
  EXPECT_EQ(r.form->CBcom->currentText(), "COM3");
  EXPECT_FALSE(r.Line("COM1").IsOpen());
  EXPECT_FALSE(r.Line("COM3").IsOpen());
  EXPECT_EQ(r.form->LAcom->text(), QString::fromUtf8("занят"));
  EXPECT_EQ(r.form->LAcom->toolTip(), QString::fromUtf8("порт занят другой программой"));
  EXPECT_TRUE(r.form->BBB->isEnabled());
  // Freed by the other program: choosing the item shown tries it again.
  r.Line("COM3").heldElsewhere = false;
  testing_support::ChooseItem(r.form->CBcom, 1);
  EXPECT_TRUE(r.Line("COM3").IsOpen());
  EXPECT_EQ(r.form->LAcom->text(), QString::fromUtf8("свободен"));
  EXPECT_EQ(r.form->LAcom->toolTip(), QString::fromUtf8("порт открыт"));
  // Pulled out under the open port.
  r.Line("COM3").HangUp();
  r.tk.RunFor(200);
  EXPECT_EQ(r.form->LAcom->text(), QString::fromUtf8("занят"));
  EXPECT_EQ(r.form->LAcom->toolTip(), QString::fromUtf8("нет такого порта: устройства нет или оно отключено"));
}

TEST(Window, TheReasonForABusyPortTellsWhatToDo) {
  using serial::OpenProblem;
  auto hint = [](OpenProblem p, const char* detail, serial::LineStep step = {}) {
    return setup::PortStatusHint({p, detail, step});
  };
  EXPECT_EQ(hint(OpenProblem::NoPermission, "dialout"),
            "нет прав на этот порт: его открывают члены группы «dialout».\nДобавьте себя в эту группу "
            "(sudo usermod -aG dialout $USER) и войдите в систему заново");
  EXPECT_EQ(hint(OpenProblem::NoPermission, ""), "нет прав на этот порт");
  EXPECT_EQ(hint(OpenProblem::InUse, "picocom (4242)"), "порт занят другой программой: picocom (4242)");
  EXPECT_EQ(hint(OpenProblem::Other, "Отказано в доступе"), "порт не открылся: Отказано в доступе");
  // The step that refused, and the system's words in whatever language it speaks.
  EXPECT_EQ(hint(OpenProblem::SettingRefused, "参数错误", serial::LineStep::QueueSizes),
            "порт не принял размеры буферов: 参数错误");
  EXPECT_EQ(hint(OpenProblem::SettingRefused, "", serial::LineStep::Purge), "порт не дал очистить свои буферы");
}

TEST(Window, TypingAPortNameReopensAtEveryKeystroke) {
  Rig r({"COM1"});
  serial::SimPort& com12 = r.Line("COM12");
  r.Line("COM1").present = true;
  QTest::keyClick(r.form->CBcom->lineEdit(), Qt::Key_A, Qt::ControlModifier);
  QTest::keyClick(r.form->CBcom->lineEdit(), Qt::Key_Backspace);
  EXPECT_FALSE(r.Line("COM1").IsOpen());
  QTest::keyClicks(r.form->CBcom->lineEdit(), "C");
  EXPECT_EQ(r.form->CBcom->currentText(), "C");  // not completed to "COM1"
  EXPECT_FALSE(r.Line("COM1").IsOpen());
  QTest::keyClicks(r.form->CBcom->lineEdit(), "OM1");
  EXPECT_TRUE(r.Line("COM1").IsOpen());  // "COM1" on the way to "COM12"
  EXPECT_EQ(r.form->LAcom->text(), QString::fromUtf8("свободен"));
  QTest::keyClicks(r.form->CBcom->lineEdit(), "2");
  EXPECT_FALSE(r.Line("COM1").IsOpen());
  EXPECT_TRUE(com12.IsOpen());
  QTest::keyClicks(r.form->CBcom->lineEdit(), "x");
  EXPECT_FALSE(com12.IsOpen());
  EXPECT_EQ(r.form->LAcom->text(), QString::fromUtf8("занят"));
}

TEST(Window, ThePinBoxesTakeDigitsAndFullStopsAndEnterSendsTheUnlockCommand) {
  Rig r;
  r.form->LEpin->clear();
  QTest::keyClicks(r.form->LEpin, "12a b-3.4");
  EXPECT_EQ(r.form->LEpin->text(), "123.4");
  QTest::keyClick(r.form->LEpin, Qt::Key_Backspace);
  EXPECT_EQ(r.form->LEpin->text(), "123.");
  r.form->LEpin->setText("1111");
  r.Enter(r.form->LEpin);  // the PUK box is read although disabled
  r.tk.RunFor(50);
  EXPECT_EQ(r.sentToModem, "AT+CPIN=31570946,1111\r\r");
  EXPECT_EQ(r.Log().front(), "Команда= AT+CPIN=31570946,1111\r\r");
  r.form->LEpin->clear();
  r.form->LEPUK->clear();
  r.form->CBpuk->click();
  EXPECT_TRUE(r.form->LEPUK->isEnabled());
  r.Enter(r.form->LEPUK);
  r.tk.RunFor(50);
  EXPECT_EQ(r.sentToModem.substr(23), "AT+CPIN=,\r\r");
}

TEST(Window, TheCommandLineTypesInCapitalsAndUnknownCharactersGoOutAsQuestionMarks) {
  Rig r;
  r.form->CBht->click();
  ASSERT_TRUE(r.form->LEHT->isEnabled());
  for (QChar ch : QString::fromUtf8("at+cgmi ж中")) {  // QTest types ASCII only
    QKeyEvent press(QEvent::KeyPress, Qt::Key_unknown, Qt::NoModifier, QString(ch));
    QApplication::sendEvent(r.form->LEHT, &press);
  }
  EXPECT_EQ(r.form->LEHT->text(), QString::fromUtf8("AT+CGMI Ж中"));
  r.Enter(r.form->LEHT);
  r.tk.RunFor(50);
  EXPECT_EQ(r.sentToModem, W("AT+CGMI Ж?\r"));
  r.form->CBht->click();
  EXPECT_FALSE(r.form->LEHT->isEnabled());
}

TEST(Window, CtrlClickSavesTheLogWithAnyButtonAndAFailureShowsTheErrorBox) {
  const testing_support::ScratchDir scratch;
  const std::string file = scratch.File("zorvik_report.txt");
  Rig r({}, file);
  r.form->BBB->click();  // two lines into the log
  QWidget* pane = r.form->MEset->viewport();
  QTest::mouseClick(pane, Qt::LeftButton);  // without Ctrl: nothing
  EXPECT_FALSE(std::ifstream(file).good());
  QTest::mouseClick(pane, Qt::RightButton, Qt::ControlModifier);
  EXPECT_EQ(ReadFile(file), W("Команда= ATI\r\r\nнет соединения с портом\r\n"));
  r.form->MEset->moveCursor(QTextCursor::End);
  r.form->MEset->insertPlainText(QString::fromUtf8("заметка 中"));  // typed by the operator
  QTest::mouseClick(pane, Qt::LeftButton, Qt::ControlModifier);
  EXPECT_EQ(ReadFile(file), W("Команда= ATI\r\r\nнет соединения с портом\r\nзаметка ?"));

  // A directory in the file's place cannot be replaced: the error box, the pane unchanged.
  std::remove(file.c_str());
  mkdir(file.c_str(), 0700);
  const size_t prompts = r.tk.Prompts().size();
  EXPECT_FALSE(r.form->SaveLog());
  ASSERT_EQ(r.tk.Prompts().size(), prompts + 1);
  EXPECT_TRUE(r.tk.Prompts().back().error);
  EXPECT_NE(r.tk.Prompts().back().message.find("zorvik_report.txt"), std::string::npos);
  EXPECT_EQ(r.form->LogLines().size(), 3u);
  rmdir(file.c_str());
}

TEST(Window, AnEmptyPaneSavesAnEmptyFileAndADoubleClickClearsTheColourToo) {
  const testing_support::ScratchDir scratch;
  const std::string file = scratch.File("zorvik_empty.txt");
  Rig r({}, file);
  r.form->BBB->click();
  EXPECT_EQ(r.form->LogColour(), setup::clError);
  QTest::mouseDClick(r.form->MEset->viewport(), Qt::LeftButton);
  EXPECT_TRUE(r.form->LogLines().empty());
  EXPECT_EQ(r.form->LogColour(), setup::clNormal);
  EXPECT_EQ(r.form->MEset->palette().color(QPalette::Base), QApplication::palette().color(QPalette::Base));
  ASSERT_TRUE(r.form->SaveLog());
  EXPECT_EQ(ReadFile(file), "");
}

// Qt makes the second press of a quick pair a double click, of any button.
TEST(Window, OnlyALeftDoubleClickClearsAndWithCtrlItSavesFirst) {
  const testing_support::ScratchDir scratch;
  const std::string file = scratch.File("zorvik_dbl.txt");
  Rig r({}, file);
  r.form->BBB->click();
  QWidget* pane = r.form->MEset->viewport();
  auto secondPress = [&](Qt::MouseButton button, Qt::KeyboardModifiers keys) {
    QMouseEvent e(QEvent::MouseButtonDblClick, QPointF(5, 5), pane->mapToGlobal(QPointF(5, 5)), button, button, keys);
    QApplication::sendEvent(pane, &e);
  };
  secondPress(Qt::RightButton, Qt::NoModifier);
  secondPress(Qt::MiddleButton, Qt::NoModifier);
  EXPECT_EQ(r.form->LogLines().size(), 2u);
  EXPECT_FALSE(std::ifstream(file).good());
  secondPress(Qt::RightButton, Qt::ControlModifier);  // saves, keeps
  EXPECT_EQ(ReadFile(file), W("Команда= ATI\r\r\nнет соединения с портом\r\n"));
  std::remove(file.c_str());
  secondPress(Qt::LeftButton, Qt::ControlModifier);  // saves, then clears
  EXPECT_EQ(ReadFile(file), W("Команда= ATI\r\r\nнет соединения с портом\r\n"));
  EXPECT_TRUE(r.form->LogLines().empty());
  std::remove(file.c_str());
}

TEST(Window, TabWalksTheControlsInOrderAndLeavesThePinBoxes) {
  Rig r;
  app::TForm1& f = *r.form;
  f.show();
  f.activateWindow();
  ASSERT_TRUE(QTest::qWaitForWindowActive(&f));
  QTest::mouseClick(f.CBpuk, Qt::LeftButton);
  QTest::mouseClick(f.CBht, Qt::LeftButton);
  f.CBcom->setFocus();
  const std::vector<QWidget*> order = {f.LEpin, f.BBB,  f.BBE,           f.LEPUK,  f.LEHT,
                                       f.CBpuk, f.CBht, f.RGDTRItems[1], f.CBsend};
  for (QWidget* want : order) {
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
    ASSERT_EQ(QApplication::focusWidget(), want) << want->metaObject()->className() << " "
                                                 << QApplication::focusWidget()->metaObject()->className();
  }
  for (auto it = order.rbegin() + 1; it != order.rend(); ++it) {
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Backtab);
    ASSERT_EQ(QApplication::focusWidget(), *it) << (*it)->metaObject()->className() << " "
                                                << QApplication::focusWidget()->metaObject()->className() << " "
                                                << QApplication::focusWidget()->property("text").toString().toStdString();
  }
  EXPECT_EQ(f.LEpin->text(), "4739");  // Tab did not reach the key filter
  EXPECT_EQ(f.LEPUK->text(), "31570946");
}

TEST(Window, TheTransmittingModemBoxLocksTheDtrChoiceOnItemTwo) {
  Rig r;
  r.form->CBsend->click();
  EXPECT_FALSE(r.form->RGDTR->isEnabled());
  EXPECT_TRUE(r.form->RGDTRItems[2]->isChecked());
  r.form->CBsend->click();
  EXPECT_TRUE(r.form->RGDTR->isEnabled());
  EXPECT_TRUE(r.form->RGDTRItems[2]->isChecked());
}

TEST(Window, DestroyingTheWindowClosesThePort) {
  Rig r;
  ASSERT_TRUE(r.Line().IsOpen());
  r.form.reset();
  EXPECT_FALSE(r.Line().IsOpen());
}

TEST(Window, TheWaitLabelIsDrawnOnAqua) {
  Rig r;
  r.form->show();
  r.form->Lw->show();
  EXPECT_TRUE(DrawnInColour(r.form->Lw, QColor(0, 255, 255)));
}

// A long reply without a blank (line noise, a flood) used to freeze the shown
// window while Qt searched the whole run for a place to wrap: seconds for
// 100 KB, minutes for a megabyte. The pane gets a place to wrap at least
// every 64 characters; its wrap points must not reach the file.
TEST(Window, LongReplyWithoutBlanksGetsWrapPointsAndIsSavedExactly) {
  const testing_support::ScratchDir scratch;
  const std::string file = scratch.File("zorvik_long.txt");
  Rig r({"COM1"}, file);
  r.form->show();
  std::string reply;
  for (int i = 0; i < setup::kLongestReplyBytes - 24; ++i) reply.push_back(i % 97 == 0 ? '\0' : char('A' + i % 26));
  r.Respond([&](const std::string& cmd) { return cmd == "ATI" ? reply : std::string(); });
  r.form->BBB->click();
  ASSERT_TRUE(r.tk.RunUntil([&] { return r.form->MEset->document()->blockCount() > 2; }, 600'000));
  int run = 0, longestRun = 0;
  for (const QChar ch : r.form->MEset->toPlainText()) {
    run = ch.isSpace() || ch == QChar(0x200B) ? 0 : run + 1;
    longestRun = std::max(longestRun, run);
  }
  EXPECT_LE(longestRun, 64) << "a run the pane cannot wrap";
  const std::string logged = W("ответ(без CR и LF)=") + reply;
  ASSERT_GE(r.form->LogLines().size(), 2u);
  EXPECT_TRUE(r.form->LogLines()[1] == logged);
  QTest::mouseClick(r.form->MEset->viewport(), Qt::LeftButton, Qt::ControlModifier);
  const std::string saved = ReadFile(file);
  EXPECT_NE(saved.find("\r\n" + logged + "\r\n"), std::string::npos);
  EXPECT_EQ(saved.find("\xE2\x80\x8B"), std::string::npos);  // no zero-width space in any encoding
  std::remove(file.c_str());
}
