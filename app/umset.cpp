#include "app/umset.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMouseEvent>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QFile>
#include <QSaveFile>
#include <QSpinBox>
#include <QSplitter>
#include <QTextBlock>
#include <QVBoxLayout>

#include "app/button_pictures.h"
#include "toolkit/codepage.h"

namespace app {
namespace {

QString U(const char* utf8) { return QString::fromUtf8(utf8); }

QColor ToQColor(toolkit::TColor c) {
  if (toolkit::IsSystemColour(c)) return QApplication::palette().color(QPalette::Base);
  return QColor(int(c & 0xFF), int((c >> 8) & 0xFF), int((c >> 16) & 0xFF));
}

constexpr int kEditHeight = 21;

// A caption 3 pixels above its box, as the labelled edit boxes have it.
void CaptionAbove(QWidget* parent, QWidget* box, const QString& text) {
  auto* label = new QLabel(text, parent);
  label->adjustSize();
  label->move(box->x(), box->y() - label->height() - 3);
  label->setBuddy(box);
}

const char* const kDtrItems[3] = {"AT&&D0 (только для КВАРТИРНЫХ)", "AT&&D1 (универсальный, но  медлительный)",
                                  "AT&&D2 (только для ПРОМЫШЛЕННЫХ)"};

// The pane wraps long lines at word boundaries. Qt searches for a boundary
// along the whole of a run without one, so a long reply without blanks
// (line noise, a flood) took seconds to minutes to lay out: a zero-width
// space every so many characters gives it a place to wrap. It has no
// Windows-1251 form, so it cannot stand in a logged text, and is dropped again
// on the way back.
constexpr qsizetype kBreakEvery = 64;
constexpr QChar kWrapHere(char16_t(0x200B));

}  // namespace

QString ToDisplay(const std::string& cp1251) {
  const QString text = QString::fromStdString(toolkit::Utf8(cp1251));
  QString shown;
  shown.reserve(text.size() + text.size() / kBreakEvery);
  qsizetype run = 0;  // characters since the last place a line may wrap
  for (QChar ch : text) {
    const char16_t c = ch.unicode();
    if (c < 0x20)
      ch = QChar(char16_t(0x2400 + c));
    else if (c == 0x7F)
      ch = QChar(char16_t(0x2421));
    shown += ch;
    run = ch.isSpace() ? 0 : run + 1;
    if (run == kBreakEvery) {
      shown += kWrapHere;
      run = 0;
    }
  }
  return shown;
}

std::string FromDisplay(const QString& shown) {
  QString raw = shown;
  raw.remove(kWrapHere);
  for (QChar& ch : raw) {
    const char16_t c = ch.unicode();
    if (c >= 0x2400 && c < 0x2420)
      ch = QChar(char16_t(c - 0x2400));
    else if (c == 0x2421)
      ch = QChar(char16_t(0x7F));
  }
  return toolkit::Cp1251(raw.toStdString());
}

TForm1::TForm1(Environment env) : QWidget(nullptr), TSetupForm(env.tk, env.platform), env_(std::move(env)) {
  BuildControls();
  FormCreate();
}

TForm1::~TForm1() { FormDestroy(); }

void TForm1::BuildControls() {
  setWindowTitle(U("ЗОРВИК"));
  setFont(QFont(QStringLiteral("MS Sans Serif"), 8));
  setBackgroundRole(QPalette::Button);
  setAutoFillBackground(true);
  move(60, 192);
  resize(739, 480);

  auto* layout = new QHBoxLayout(this);
  layout->setContentsMargins(0, 0, 0, 0);
  Splitter1 = new QSplitter(Qt::Horizontal, this);
  Splitter1->setHandleWidth(3);
  Splitter1->setChildrenCollapsible(false);
  layout->addWidget(Splitter1);

  PAmemo = new QWidget(Splitter1);
  PAmemo->setMinimumWidth(30);
  auto* memoLayout = new QVBoxLayout(PAmemo);
  memoLayout->setContentsMargins(1, 1, 1, 1);
  MEset = new QPlainTextEdit(PAmemo);
  MEset->setObjectName("MEset");
  MEset->setLineWrapMode(QPlainTextEdit::WidgetWidth);
  MEset->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
  MEset->setToolTip(U("дв.щ-очистить ctrl+щ-записать"));
  MEset->viewport()->installEventFilter(this);
  memoLayout->addWidget(MEset);

  PAmain = new QWidget(Splitter1);
  PAmain->setMinimumWidth(30);
  PAmain->installEventFilter(this);  // to keep Lw and Gw at its bottom
  Splitter1->addWidget(PAmemo);
  Splitter1->addWidget(PAmain);
  Splitter1->setStretchFactor(0, 0);
  Splitter1->setStretchFactor(1, 1);
  Splitter1->setSizes({305, 739 - 305 - 3});

  LAcom = new QLabel(QStringLiteral("LAcom"), PAmain);
  LAcom->move(210, 20);
  LAcom->setMinimumWidth(60);
  // The form's background role is Button, which children inherit and which
  // would draw the text in ButtonText: the status colour is WindowText.
  LAcom->setForegroundRole(QPalette::WindowText);

  CBcom = new QComboBox(PAmain);
  CBcom->setEditable(true);
  CBcom->setInsertPolicy(QComboBox::NoInsert);
  CBcom->setGeometry(32, 16, 145, kEditHeight);
  connect(CBcom, &QComboBox::editTextChanged, this, [this] { CBcomChange(); });

  LEpin = new QLineEdit(QStringLiteral("4739"), PAmain);
  LEpin->setGeometry(32, 64, 65, kEditHeight);
  CaptionAbove(PAmain, LEpin, U("PIN код"));
  LEpin->installEventFilter(this);

  BBB = new QPushButton(U("НАЧАТЬ"), PAmain);
  BBB->setGeometry(32, 104, 97, 41);
  BBB->setIcon(QIcon(MainsPlugPicture()));
  BBB->setIconSize(QSize(32, 32));
  connect(BBB, &QPushButton::clicked, this, [this] { BBBClick(); });

  SEw = new QSpinBox(PAmain);
  SEw->setGeometry(32, 152, 49, 22);
  SEw->setRange(5, 30);
  SEw->setValue(5);
  SEw->setToolTip(U("интервал ожидания, сек"));
  SEw->hide();

  BBE = new QPushButton(U("ОСТАНОВИТЬ"), PAmain);
  BBE->setGeometry(32, 176, 121, 41);
  BBE->setIcon(QIcon(StopSignPicture()));
  BBE->setIconSize(QSize(32, 32));
  connect(BBE, &QPushButton::clicked, this, [this] { BBEClick(); });

  CBpuk = new QCheckBox(PAmain);
  CBpuk->setGeometry(8, 240, 17, 17);
  connect(CBpuk, &QCheckBox::clicked, this, [this] { CBpukClick(); });

  LEPUK = new QLineEdit(QStringLiteral("31570946"), PAmain);
  LEPUK->setGeometry(32, 240, 65, kEditHeight);
  CaptionAbove(PAmain, LEPUK, U("PUK код"));
  LEPUK->setEnabled(false);
  LEPUK->setToolTip(U("набрать и нажать Enter"));
  LEPUK->installEventFilter(this);

  CBht = new QCheckBox(PAmain);
  CBht->setGeometry(8, 280, 17, 17);
  connect(CBht, &QCheckBox::clicked, this, [this] { CBhtClick(); });

  LEHT = new QLineEdit(PAmain);
  LEHT->setGeometry(32, 280, 121, kEditHeight);
  CaptionAbove(PAmain, LEHT, U("КОМАНДА"));
  LEHT->setEnabled(false);
  LEHT->setToolTip(U("ГИПЕРТЕРМИНАЛ"));
  LEHT->installEventFilter(this);

  RGDTR = new QGroupBox(U("режим передачи данных (DTR)"), PAmain);
  RGDTR->setGeometry(136, 48, 257, 105);
  for (int i = 0; i < 3; ++i) {
    // The stored texts double the ampersand; the button shows one.
    RGDTRItems[i] = new QRadioButton(U(kDtrItems[i]), RGDTR);
    RGDTRItems[i]->setGeometry(8, 18 + i * 28, 245, 20);
  }
  RGDTRItems[1]->setChecked(true);

  CBsend = new QCheckBox(U("передающий модем"), PAmain);
  CBsend->setGeometry(264, 155, 129, 17);
  CBsend->setToolTip(U("для модемов, передающих от компьютера  "));
  connect(CBsend, &QCheckBox::clicked, this, [this] { CBsendClick(); });

  Lw = new QLabel(U("ЖДИТЕ  ВАЖНОГО   СООБЩЕНИЯ "), PAmain);
  Lw->setAlignment(Qt::AlignCenter);
  Lw->setWordWrap(true);
  QFont bold = Lw->font();
  bold.setBold(true);
  bold.setItalic(true);
  Lw->setFont(bold);
  Lw->setAutoFillBackground(true);
  Lw->setBackgroundRole(QPalette::Window);  // not the Button role inherited from the form
  QPalette aqua = Lw->palette();
  aqua.setColor(QPalette::Window, QColor(0, 255, 255));
  Lw->setPalette(aqua);
  Lw->hide();

  Gw = new QProgressBar(PAmain);
  Gw->setOrientation(Qt::Vertical);
  Gw->setRange(0, 30000);
  Gw->setValue(0);
  Gw->setTextVisible(true);
  Gw->setAlignment(Qt::AlignCenter);
  Gw->setStyleSheet(QStringLiteral("QProgressBar { background: red; color: blue; font-size: 10pt; }"
                                   "QProgressBar::chunk { background: lime; }"));
  Gw->hide();
  PlaceBottomControls();

  setTabOrder(CBcom, LEpin);
  setTabOrder(LEpin, BBB);
  setTabOrder(BBB, BBE);
  setTabOrder(BBE, SEw);
  setTabOrder(SEw, LEPUK);
  setTabOrder(LEPUK, LEHT);
  setTabOrder(LEHT, CBpuk);
  setTabOrder(CBpuk, CBht);
  setTabOrder(CBht, RGDTR);
  setTabOrder(RGDTR, CBsend);
}

void TForm1::PlaceBottomControls() {
  const int w = PAmain->width(), h = PAmain->height();
  Gw->setGeometry(0, h - 76, w, 76);
  Lw->setGeometry(0, h - 76 - 13, w, 13);
}

void TForm1::showEvent(QShowEvent* event) {
  QWidget::showEvent(event);
  // The outer size includes the frame, which is known only once shown.
  if (!outerSizeFixed_) {
    outerSizeFixed_ = true;
    const QSize frame = frameGeometry().size() - geometry().size();
    if (!frame.isEmpty()) resize(739 - frame.width(), 480 - frame.height());
  }
}

// --- start and end ---

void TForm1::FormCreate() {
  const std::vector<std::string> ports = env_.portList ? env_.portList() : std::vector<std::string>();
  {
    const QSignalBlocker block(CBcom);
    CBcom->clear();
    for (const std::string& p : ports) CBcom->addItem(QString::fromStdString(toolkit::Utf8(p)));
    if (!ports.empty())
      CBcom->setCurrentIndex(0);
    else
      CBcom->setEditText(QString());
  }
  CBcomChange();
  LEHT->clear();
  if (env_.caption) setWindowTitle(QString::fromStdString(toolkit::Utf8(env_.caption())));
}

void TForm1::FormDestroy() { port.Disconnect(); }

void TForm1::CBcomChange() {
  // The driver takes names in Windows-1251, as the list gave them.
  const std::string name = toolkit::Cp1251(CBcom->currentText().toStdString());
  port.Disconnect();
  port.SetPortName(name);
  SetStartEnabled(true);
  const bool open = port.Connect();
  LAcom->setText(open ? U("свободен") : U("занят"));
  QPalette pal = LAcom->palette();
  pal.setColor(QPalette::WindowText, open ? QColor(0, 128, 0) : QColor(255, 0, 0));
  LAcom->setPalette(pal);
  LAcom->adjustSize();
}

void TForm1::LEpinKeyPress(char& Key) {
  if (Key == '\b' || Key == '.' || (Key >= '0' && Key <= '9')) return;
  if (Key == '\r') {
    const std::string text = "AT+CPIN=" + FromDisplay(LEPUK->text()) + "," + FromDisplay(LEpin->text()) + "\r";
    IssueCommand(text);
    return;
  }
  Key = 0;
}

void TForm1::MEsetDblClick() {
  MEset->clear();
  SetLogColour(toolkit::clWindow);
}

void TForm1::MEsetMouseDown(Qt::MouseButton, Qt::KeyboardModifiers shift) {
  if (shift & Qt::ControlModifier) SaveLog();
}

bool TForm1::SaveLog() {
  std::string bytes;
  const QTextDocument* doc = MEset->document();
  for (QTextBlock b = doc->begin(); b.isValid(); b = b.next()) {
    bytes += FromDisplay(b.text());
    if (b.next().isValid()) bytes += "\r\n";
  }
  // Written aside and renamed, so a failed save leaves the old file whole.
  QSaveFile file(QString::fromStdString(env_.logFile));
  file.setDirectWriteFallback(true);
  if (file.open(QIODevice::WriteOnly) && file.write(bytes.data(), qint64(bytes.size())) == qint64(bytes.size()) &&
      file.commit())
    return true;
  std::string reason = file.errorString().toStdString();
  file.cancelWriting();
  // For a file it cannot replace, QSaveFile gives a reason of its own
  // ("is not writable"); opening the file for writing, without changing it,
  // gives the system's (a read-only file system, no permission).
  QFile probe(QString::fromStdString(env_.logFile));
  if (probe.exists() && !probe.open(QIODevice::ReadWrite | QIODevice::ExistingOnly))
    reason = probe.errorString().toStdString();
  env_.tk.ShowError(setup::ApplicationTitle(), toolkit::Cp1251("Не удаётся записать файл \"" + env_.logFile +
                                                               "\".\n" + reason));
  return false;
}

void TForm1::CBpukClick() { LEPUK->setEnabled(CBpuk->isChecked()); }
void TForm1::CBhtClick() { LEHT->setEnabled(CBht->isChecked()); }

void TForm1::CBsendClick() {
  RGDTR->setEnabled(!CBsend->isChecked());
  if (CBsend->isChecked()) RGDTRItems[2]->setChecked(true);
}

// --- keys and mouse ---

// A typed character goes through the handler as one Windows-1251 byte; a
// handler that clears it keeps it out of the box.
bool TForm1::KeyThroughHandler(QLineEdit* edit, QEvent* event, const std::function<void(char&)>& handler,
                               bool upper) {
  auto* key = static_cast<QKeyEvent*>(event);
  if (key->key() == Qt::Key_Delete || key->text().size() != 1) return false;
  const std::string bytes = toolkit::Cp1251(key->text().toStdString());
  char k = bytes.size() == 1 ? bytes[0] : '?';
  const char typed = k;
  handler(k);
  if (k == 0) return true;
  if (k == '\r') return true;
  if (upper && k == typed && uint8_t(k) >= 0x20) {
    edit->insert(key->text().toUpper());
    return true;
  }
  return false;
}

bool TForm1::eventFilter(QObject* watched, QEvent* event) {
  if (watched == PAmain && event->type() == QEvent::Resize) PlaceBottomControls();
  if (event->type() == QEvent::KeyPress) {
    if (watched == LEpin || watched == LEPUK)
      return KeyThroughHandler(static_cast<QLineEdit*>(watched), event, [this](char& k) { LEpinKeyPress(k); }, false);
    if (watched == LEHT) return KeyThroughHandler(LEHT, event, [this](char& k) { LEHTKeyPress(k); }, true);
  }
  if (watched == MEset->viewport()) {
    if (event->type() == QEvent::MouseButtonPress) {
      auto* m = static_cast<QMouseEvent*>(event);
      MEsetMouseDown(m->button(), m->modifiers());
    } else if (event->type() == QEvent::MouseButtonDblClick) {
      MEsetDblClick();
    }
  }
  return QWidget::eventFilter(watched, event);
}

// --- the controls as the set-up sees them ---

std::string TForm1::CommandText() const { return FromDisplay(LEHT->text()); }
void TForm1::SetCommandText(const std::string& text) { LEHT->setText(ToDisplay(text)); }

void TForm1::AppendLog(const std::string& line) {
  // Always a line of its own at the end, whatever the operator typed.
  QTextCursor c(MEset->document());
  c.movePosition(QTextCursor::End);
  if (!c.block().text().isEmpty()) c.insertText(QStringLiteral("\n"));
  c.insertText(ToDisplay(line) + QLatin1Char('\n'));
  MEset->setTextCursor(c);
  MEset->ensureCursorVisible();
}

std::vector<std::string> TForm1::LogLines() const {
  std::vector<std::string> lines;
  const QTextDocument* doc = MEset->document();
  for (QTextBlock b = doc->begin(); b.isValid(); b = b.next()) {
    if (!b.next().isValid() && b.text().isEmpty()) break;  // the end after the last line
    lines.push_back(FromDisplay(b.text()));
  }
  return lines;
}

void TForm1::SetLogColour(toolkit::TColor colour) {
  logColour_ = colour;
  QPalette pal = MEset->palette();
  pal.setColor(QPalette::Base, ToQColor(colour));
  MEset->setPalette(pal);
}

void TForm1::SetStartEnabled(bool enabled) { BBB->setEnabled(enabled); }
bool TForm1::ManualTerminal() const { return CBht->isChecked(); }
std::string TForm1::PinText() const { return FromDisplay(LEpin->text()); }

int TForm1::DtrIndex() const {
  for (int i = 0; i < 3; ++i)
    if (RGDTRItems[i]->isChecked()) return i;
  return -1;
}

std::string TForm1::DtrItem(int index) const {
  return index >= 0 && index < 3 ? toolkit::Cp1251(kDtrItems[index]) : std::string();
}

int TForm1::PowerOffSeconds() const { return SEw->value(); }

// QProgressBar drops values outside its range and resets on a smaller
// range; the gauge cuts them instead.
void TForm1::SetGaugeMax(int32_t max) {
  const int keep = std::min(Gw->value() < 0 ? 0 : Gw->value(), max);
  Gw->setRange(0, max);
  Gw->setValue(keep);
}
int32_t TForm1::GaugeMax() const { return Gw->maximum(); }
void TForm1::SetGaugeProgress(int32_t progress) { Gw->setValue(std::clamp(progress, 0, Gw->maximum())); }
int32_t TForm1::GaugeProgress() const { return std::max(Gw->value(), 0); }
void TForm1::SetGaugeVisible(bool visible) { Gw->setVisible(visible); }
bool TForm1::GaugeVisible() const { return !Gw->isHidden(); }
void TForm1::SetWaitCaption(const std::string& caption) { Lw->setText(ToDisplay(caption)); }
void TForm1::SetWaitLabelVisible(bool visible) { Lw->setVisible(visible); }
bool TForm1::WaitLabelVisible() const { return !Lw->isHidden(); }

}  // namespace app
