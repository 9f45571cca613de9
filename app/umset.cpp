#include "app/umset.h"

#include <algorithm>
#include <cstdint>
#include <utility>

#include <QAbstractButton>
#include <QApplication>
#include <QCloseEvent>
#include <QCheckBox>
#include <QComboBox>
#include <QFontInfo>
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
#include <QScreen>
#include <QSpinBox>
#include <QSplitter>
#include <QTextBlock>
#include <QVBoxLayout>

#include "app/button_pictures.h"
#include "app/window_place.h"
#include "setup/pane_text.h"
#include "toolkit/codepage.h"

namespace app {
namespace {

QString U(const char* utf8) { return QString::fromUtf8(utf8); }

QColor ToQColor(toolkit::TColor c) {
  if (toolkit::IsSystemColour(c)) return QApplication::palette().color(QPalette::Base);
  return QColor(int(c & 0xFF), int((c >> 8) & 0xFF), int((c >> 16) & 0xFF));
}

constexpr int kEditHeight = 21;
constexpr int kOuterWidth = 739, kOuterHeight = 480;

// A caption 3 pixels above its box, as the labelled edit boxes have it,
// sized to its text in the label's present font.
void PlaceCaption(QLabel* label) {
  label->adjustSize();
  label->move(label->buddy()->x(), label->buddy()->y() - label->height() - 3);
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
  const QString text = QString::fromStdString(setup::PaneShown(cp1251));
  QString shown;
  shown.reserve(text.size() + text.size() / kBreakEvery);
  qsizetype run = 0;  // characters since the last place a line may wrap
  for (QChar ch : text) {
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
  return setup::PaneBytes(raw.toStdString());
}

TForm1::TForm1(Environment env) : QWidget(nullptr), TSetupForm(env.tk, env.platform), env_(std::move(env)) {
  BuildControls();
  FormCreate();
}

TForm1::~TForm1() { FormDestroy(); }

void TForm1::BuildControls() {
  setWindowTitle(U("ЗОРВИК"));
  setFont(QFont(QStringLiteral("MS Sans Serif"), 8));  // until ChooseFont, when the controls exist
  setBackgroundRole(QPalette::Button);
  setAutoFillBackground(true);
  move(60, 192);
  resize(kOuterWidth, kOuterHeight);
  KeepOnScreen();

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
  MEset->setTabChangesFocus(true);  // Tab moves on, as in every other box
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
  Splitter1->setSizes({305, kOuterWidth - 305 - 3});

  LAcom = new QLabel(QStringLiteral("LAcom"), PAmain);
  LAcom->move(210, 20);
  LAcom->setMinimumWidth(60);
  // The form's background role is Button, which children inherit and which
  // would draw the text in ButtonText: the status colour is WindowText.
  LAcom->setForegroundRole(QPalette::WindowText);

  CBcom = new QComboBox(PAmain);
  CBcom->setEditable(true);
  CBcom->setInsertPolicy(QComboBox::NoInsert);
  CBcom->setCompleter(nullptr);  // the field holds what was typed, never a completion of it
  CBcom->setGeometry(32, 16, 145, kEditHeight);
  // Typing runs the choice at every change; choosing an item runs it also
  // when the item is the one shown, so a busy port can be tried again.
  connect(CBcom->lineEdit(), &QLineEdit::textEdited, this, [this] { CBcomChange(); });
  connect(CBcom, &QComboBox::activated, this, [this] { CBcomChange(); });

  LEpin = new QLineEdit(QStringLiteral("4739"), PAmain);
  LEpin->setGeometry(32, 64, 65, kEditHeight);
  CaptionAbove(LEpin, U("PIN код"));
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
  CaptionAbove(LEPUK, U("PUK код"));
  LEPUK->setEnabled(false);
  LEPUK->setToolTip(U("набрать и нажать Enter"));
  LEPUK->installEventFilter(this);

  CBht = new QCheckBox(PAmain);
  CBht->setGeometry(8, 280, 17, 17);
  connect(CBht, &QCheckBox::clicked, this, [this] { CBhtClick(); });

  LEHT = new QLineEdit(PAmain);
  LEHT->setGeometry(32, 280, 121, kEditHeight);
  CaptionAbove(LEHT, U("КОМАНДА"));
  LEHT->setEnabled(false);
  LEHT->setToolTip(U("ГИПЕРТЕРМИНАЛ"));
  LEHT->installEventFilter(this);

  RGDTR = new QGroupBox(U("режим передачи данных (DTR)"), PAmain);
  RGDTR->setGeometry(136, 48, 257, 105);
  for (int i = 0; i < 3; ++i) {
    // The stored texts double the ampersand; the button shows one.
    RGDTRItems[i] = new QRadioButton(U(kDtrItems[i]), RGDTR);
    RGDTRItems[i]->setGeometry(4, 18 + i * 28, 251, 20);
    // The group is one stop of the tab order, at the chosen item; the
    // arrow keys move between the items.
    connect(RGDTRItems[i], &QRadioButton::toggled, this, [this, i](bool on) {
      RGDTRItems[i]->setFocusPolicy(on ? Qt::StrongFocus : Qt::ClickFocus);
    });
    RGDTRItems[i]->setFocusPolicy(Qt::ClickFocus);
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
  // The group's items stand in its place.
  setTabOrder(CBht, RGDTRItems[0]);
  setTabOrder(RGDTRItems[0], RGDTRItems[1]);
  setTabOrder(RGDTRItems[1], RGDTRItems[2]);
  setTabOrder(RGDTRItems[2], CBsend);
  ChooseFont();
}

void TForm1::CaptionAbove(QWidget* box, const QString& text) {
  auto* label = new QLabel(text, PAmain);
  label->setBuddy(box);
  PlaceCaption(label);
  captions_.push_back(label);
}

// Every captioned control of the panel, measured as its style lays it out:
// buttons and check boxes by their size hint, the group by its frame's
// caption, labels that do not wrap by their text.
std::vector<QWidget*> TForm1::ClippedControls() const {
  std::vector<QWidget*> clipped;
  for (QWidget* w : PAmain->findChildren<QWidget*>()) {
    bool fits = true;
    if (auto* b = qobject_cast<QAbstractButton*>(w); b && !b->text().isEmpty())
      fits = b->sizeHint().width() <= b->width() && b->sizeHint().height() <= b->height() + 4;
    else if (auto* g = qobject_cast<QGroupBox*>(w))
      fits = g->minimumSizeHint().width() <= g->width();
    else if (auto* l = qobject_cast<QLabel*>(w); l && !l->wordWrap() && !l->text().isEmpty())
      fits = l->sizeHint().width() <= l->width();
    if (!fits) clipped.push_back(w);
  }
  return clipped;
}

// "MS Sans Serif" 8 pt where the system has it. Elsewhere fontconfig gives
// a wider face under that name, which clips the captions: then the first of
// a few faces of about its metrics in which every caption fits, and when
// none is installed, the default face made smaller until they fit.
void TForm1::ChooseFont() {
  const QStringList faces = {QStringLiteral("MS Sans Serif"), QStringLiteral("Microsoft Sans Serif"),
                             QStringLiteral("Liberation Sans"), QStringLiteral("Arimo"),
                             QStringLiteral("Nimbus Sans"), QStringLiteral("DejaVu Sans Condensed")};
  auto fits = [this](const QFont& font) {
    setFont(font);
    // Labels keep the size they were given: the captions and the port
    // status follow the font, then every caption is measured.
    for (QLabel* caption : captions_) PlaceCaption(caption);
    LAcom->adjustSize();
    return ClippedControls().empty();
  };
  QFont fallback(faces.front(), 8);
  bool installed = false;
  for (const QString& face : faces) {
    const QFont font(face, 8);
    if (QFontInfo(font).family().compare(face, Qt::CaseInsensitive) != 0) continue;  // a substitute
    if (fits(font)) return;
    if (!installed) fallback = font, installed = true;
  }
  for (qreal points = 7.5; points >= 5 && !fits(fallback); points -= 0.5) fallback.setPointSizeF(points);
}

void TForm1::PlaceBottomControls() {
  const int w = PAmain->width(), h = PAmain->height();
  Gw->setGeometry(0, h - 76, w, 76);
  Lw->setGeometry(0, h - 76 - 13, w, 13);
}

// The outer size includes the frame, which a window manager makes known
// some time after the window is shown (on X11 as a property of the window,
// followed by a move): the size is corrected once, when the frame is first
// seen. Without a window manager there is no frame and nothing to correct.
// The window is placed on the screen before it is first shown (a window
// manager re-places a window asked for off the screen in its own way), and
// again once its frame is known.
bool TForm1::event(QEvent* event) {
  const bool result = QWidget::event(event);
  const QEvent::Type type = event->type();
  if (!outerSizeFixed_ && isVisible() &&
      (type == QEvent::Show || type == QEvent::Move || type == QEvent::Resize || type == QEvent::WindowStateChange)) {
    const QSize frame = frameGeometry().size() - geometry().size();
    if (!frame.isEmpty()) {
      outerSizeFixed_ = true;
      resize(kOuterWidth - frame.width(), kOuterHeight - frame.height());
      KeepOnScreen();
    }
  }
  return result;
}

// The application ends when its last window closes; the run in progress
// must not carry on behind it (a prompt on an empty screen, the port held).
void TForm1::closeEvent(QCloseEvent* event) {
  WindowClosing();
  QWidget::closeEvent(event);
}

void TForm1::KeepOnScreen() {
  const QScreen* display = screen();
  if (!display) return;
  const QRect work = display->availableGeometry();
  const QPoint at = frameGeometry().topLeft();
  const ScreenPoint place = PlaceInside({at.x(), at.y(), at.x() + kOuterWidth, at.y() + kOuterHeight},
                                        {work.left(), work.top(), work.left() + work.width(), work.top() + work.height()});
  if (place.x != at.x() || place.y != at.y()) move(place.x, place.y);
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

void TForm1::MEsetMouseDown(Qt::MouseButton, Qt::KeyboardModifiers shift) {
  TSetupForm::MEsetMouseDown(shift & Qt::ControlModifier);
}

// --- keys and mouse ---

// A typed character goes through the handler as one Windows-1251 byte; a
// handler that clears it keeps it out of the box.
bool TForm1::KeyThroughHandler(QLineEdit* edit, QEvent* event, const std::function<void(char&)>& handler,
                               bool upper) {
  auto* key = static_cast<QKeyEvent*>(event);
  // Tab moves the focus; no handler sees it as a character.
  if (key->key() == Qt::Key_Tab || key->key() == Qt::Key_Backtab) return false;
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
    // Qt gives the second press of a quick pair as a double click, of any
    // button: it is a press all the same, and clears only when it is the
    // left button's, after a Ctrl press has saved.
    const QEvent::Type type = event->type();
    if (type == QEvent::MouseButtonPress || type == QEvent::MouseButtonDblClick) {
      auto* m = static_cast<QMouseEvent*>(event);
      MEsetMouseDown(m->button(), m->modifiers());
      if (type == QEvent::MouseButtonDblClick && m->button() == Qt::LeftButton) MEsetDblClick();
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

// The driver takes names in Windows-1251, as the list gave them.
std::string TForm1::PortChoiceText() const { return toolkit::Cp1251(CBcom->currentText().toStdString()); }

void TForm1::SetPortStatus(const std::string& text, toolkit::TColor colour, const std::string& hint) {
  LAcom->setText(ToDisplay(text));
  LAcom->setToolTip(QString::fromStdString(toolkit::Utf8(hint)));  // its line breaks kept
  QPalette pal = LAcom->palette();
  pal.setColor(QPalette::WindowText, ToQColor(colour));
  LAcom->setPalette(pal);
  LAcom->adjustSize();
}

std::string TForm1::PukText() const { return FromDisplay(LEPUK->text()); }
bool TForm1::PukChecked() const { return CBpuk->isChecked(); }
void TForm1::SetPukEnabled(bool enabled) { LEPUK->setEnabled(enabled); }
void TForm1::SetCommandEnabled(bool enabled) { LEHT->setEnabled(enabled); }
bool TForm1::SendChecked() const { return CBsend->isChecked(); }
void TForm1::SetDtrEnabled(bool enabled) { RGDTR->setEnabled(enabled); }
void TForm1::SetDtrIndex(int index) {
  if (index >= 0 && index < 3) RGDTRItems[index]->setChecked(true);
}

std::string TForm1::LogText() const {
  std::string bytes;
  const QTextDocument* doc = MEset->document();
  for (QTextBlock b = doc->begin(); b.isValid(); b = b.next()) {
    bytes += FromDisplay(b.text());
    if (b.next().isValid()) bytes += "\r\n";
  }
  return bytes;
}

void TForm1::ClearLog() { MEset->clear(); }

}  // namespace app
