#include "app/umset.h"

#include <algorithm>
#include <cstdint>
#include <string_view>
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
#include "setup/form_description.h"
#include "setup/pane_text.h"
#include "toolkit/codepage.h"

namespace app {
namespace {

QString U(std::string_view utf8) { return QString::fromUtf8(utf8.data(), qsizetype(utf8.size())); }

QColor ToQColor(toolkit::TColor c) {
  if (toolkit::IsSystemColour(c)) return QApplication::palette().color(QPalette::Base);
  return QColor(int(c & 0xFF), int((c >> 8) & 0xFF), int((c >> 16) & 0xFF));
}

const setup::Box& Outer() { return setup::MainWindow().outer; }

// A caption 3 pixels above its box, as the labelled edit boxes have it,
// sized to its text in the label's present font.
void PlaceCaption(QLabel* label) {
  label->adjustSize();
  label->move(label->buddy()->x(), label->buddy()->y() - label->height() - 3);
}

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

// A control of PAmain as the description gives it, named after it.
QWidget* TForm1::MakeControl(const setup::ControlDescription& c) {
  using K = setup::ControlKind;
  QWidget* made = nullptr;
  switch (c.kind) {
    case K::PortBox: {
      auto* box = new QComboBox(PAmain);
      box->setEditable(true);
      box->setInsertPolicy(QComboBox::NoInsert);
      box->setCompleter(nullptr);  // the field holds what was typed, never a completion of it
      made = box;
      break;
    }
    case K::StatusLabel: {
      auto* label = new QLabel(U(c.text), PAmain);
      label->setMinimumWidth(c.box.width);
      // The form's background role is Button, which children inherit and which
      // would draw the text in ButtonText: the status colour is WindowText.
      label->setForegroundRole(QPalette::WindowText);
      made = label;
      break;
    }
    case K::Edit:
      made = new QLineEdit(U(c.text), PAmain);
      break;
    case K::Button: {
      auto* button = new QPushButton(U(c.text), PAmain);
      button->setIconSize(QSize(32, 32));
      made = button;
      break;
    }
    case K::SpinEdit: {
      auto* spin = new QSpinBox(PAmain);
      spin->setRange(c.minimum, c.maximum);
      spin->setValue(U(c.text).toInt());
      made = spin;
      break;
    }
    case K::CheckBox:
      made = new QCheckBox(U(c.text), PAmain);
      break;
    case K::DtrGroup: {
      auto* group = new QGroupBox(U(c.text), PAmain);
      for (int i = 0; i < setup::kDtrItemCount; ++i) {
        RGDTRItems[i] = new QRadioButton(U(setup::DtrItemText(i)), group);
        const setup::Box b = setup::DtrItemBox(i);
        RGDTRItems[i]->setGeometry(b.x, b.y, b.width, b.height);
      }
      made = group;
      break;
    }
  }
  made->setObjectName(QString::fromUtf8(c.name.data(), qsizetype(c.name.size())));
  made->setGeometry(c.box.x, c.box.y, c.box.width, c.box.height);
  if (!c.tooltip.empty()) made->setToolTip(U(c.tooltip));
  made->setEnabled(c.enabled);
  made->setVisible(c.visible);
  if (!c.label.empty()) CaptionAbove(made, U(c.label));
  return made;
}

template <typename Control>
Control* TForm1::Named(const char* name) const {
  return PAmain->findChild<Control*>(QString::fromLatin1(name));
}

void TForm1::BuildControls() {
  const setup::WindowDescription& window = setup::MainWindow();
  setWindowTitle(U(window.caption));
  setFont(QFont(QStringLiteral("MS Sans Serif"), 8));  // until ChooseFont, when the controls exist
  setBackgroundRole(QPalette::Button);
  setAutoFillBackground(true);
  move(window.outer.x, window.outer.y);
  resize(window.outer.width, window.outer.height);
  KeepOnScreen();

  auto* layout = new QHBoxLayout(this);
  layout->setContentsMargins(0, 0, 0, 0);
  Splitter1 = new QSplitter(Qt::Horizontal, this);
  Splitter1->setHandleWidth(window.splitterWidth);
  Splitter1->setChildrenCollapsible(false);
  layout->addWidget(Splitter1);

  PAmemo = new QWidget(Splitter1);
  PAmemo->setMinimumWidth(window.minimumPane);
  auto* memoLayout = new QVBoxLayout(PAmemo);
  const int border = window.memoBorder;
  memoLayout->setContentsMargins(border, border, border, border);
  MEset = new QPlainTextEdit(PAmemo);
  MEset->setObjectName("MEset");
  MEset->setLineWrapMode(QPlainTextEdit::WidgetWidth);
  MEset->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
  MEset->setTabChangesFocus(true);  // Tab moves on, as in every other box
  MEset->setToolTip(U(window.memoTooltip));
  MEset->viewport()->installEventFilter(this);
  memoLayout->addWidget(MEset);

  PAmain = new QWidget(Splitter1);
  PAmain->setMinimumWidth(window.minimumPane);
  PAmain->installEventFilter(this);  // to keep Lw and Gw at its bottom
  Splitter1->addWidget(PAmemo);
  Splitter1->addWidget(PAmain);
  Splitter1->setStretchFactor(0, 0);
  Splitter1->setStretchFactor(1, 1);
  Splitter1->setSizes({window.memoWidth, window.outer.width - window.memoWidth - window.splitterWidth});

  // In the tab order; the label is no stop, and the group's items stand in
  // its place.
  QWidget* previous = nullptr;
  auto chain = [&](QWidget* w) {
    if (previous) setTabOrder(previous, w);
    previous = w;
  };
  for (const setup::ControlDescription& c : setup::MainControls()) {
    QWidget* made = MakeControl(c);
    if (c.kind == setup::ControlKind::DtrGroup)
      for (QRadioButton* item : RGDTRItems) chain(item);
    else if (c.kind != setup::ControlKind::StatusLabel)
      chain(made);
  }
  CBcom = Named<QComboBox>("CBcom");
  LAcom = Named<QLabel>("LAcom");
  LEpin = Named<QLineEdit>("LEpin");
  BBB = Named<QPushButton>("BBB");
  BBE = Named<QPushButton>("BBE");
  SEw = Named<QSpinBox>("SEw");
  LEPUK = Named<QLineEdit>("LEPUK");
  LEHT = Named<QLineEdit>("LEHT");
  CBpuk = Named<QCheckBox>("CBpuk");
  CBht = Named<QCheckBox>("CBht");
  RGDTR = Named<QGroupBox>("RGDTR");
  CBsend = Named<QCheckBox>("CBsend");

  // Typing runs the choice at every change; choosing an item runs it also
  // when the item is the one shown, so a busy port can be tried again.
  connect(CBcom->lineEdit(), &QLineEdit::textEdited, this, [this] { CBcomChange(); });
  connect(CBcom, &QComboBox::activated, this, [this] { CBcomChange(); });
  for (QLineEdit* typed : {LEpin, LEPUK, LEHT}) typed->installEventFilter(this);
  BBB->setIcon(QIcon(MainsPlugPicture()));
  BBE->setIcon(QIcon(StopSignPicture()));
  connect(BBB, &QPushButton::clicked, this, [this] { BBBClick(); });
  connect(BBE, &QPushButton::clicked, this, [this] { BBEClick(); });
  connect(CBpuk, &QCheckBox::clicked, this, [this] { CBpukClick(); });
  connect(CBht, &QCheckBox::clicked, this, [this] { CBhtClick(); });
  connect(CBsend, &QCheckBox::clicked, this, [this] { CBsendClick(); });
  for (int i = 0; i < setup::kDtrItemCount; ++i) {
    // The group is one stop of the tab order, at the chosen item; the
    // arrow keys move between the items.
    connect(RGDTRItems[i], &QRadioButton::toggled, this, [this, i](bool on) {
      RGDTRItems[i]->setFocusPolicy(on ? Qt::StrongFocus : Qt::ClickFocus);
    });
    RGDTRItems[i]->setFocusPolicy(Qt::ClickFocus);
  }
  RGDTRItems[setup::kDtrItemChosen]->setChecked(true);

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
  Gw->setRange(0, GaugeMax());
  Gw->setValue(GaugeProgress());
  Gw->setTextVisible(true);
  Gw->setAlignment(Qt::AlignCenter);
  Gw->setStyleSheet(QStringLiteral("QProgressBar { background: red; color: blue; font-size: 10pt; }"
                                   "QProgressBar::chunk { background: lime; }"));
  Gw->hide();
  PlaceBottomControls();
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
  const setup::Box gauge = setup::GaugeBox(PAmain->width(), PAmain->height());
  const setup::Box label = setup::WaitLabelBox(PAmain->width(), PAmain->height());
  Gw->setGeometry(gauge.x, gauge.y, gauge.width, gauge.height);
  Lw->setGeometry(label.x, label.y, label.width, label.height);
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
      resize(Outer().width - frame.width(), Outer().height - frame.height());
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
  const ScreenPoint place = PlaceInside({at.x(), at.y(), at.x() + Outer().width, at.y() + Outer().height},
                                        {work.left(), work.top(), work.left() + work.width(), work.top() + work.height()});
  if (place.x != at.x() || place.y != at.y()) move(place.x, place.y);
}

// --- start and end ---

void TForm1::FormCreate() {
  TSetupForm::FormCreate(env_.portList ? env_.portList() : std::vector<std::string>(),
                         env_.caption ? env_.caption() : std::string());
}

void TForm1::SetPortList(const std::vector<std::string>& ports) {
  const QSignalBlocker block(CBcom);
  CBcom->clear();
  for (const std::string& p : ports) CBcom->addItem(QString::fromStdString(toolkit::Utf8(p)));
  if (!ports.empty())
    CBcom->setCurrentIndex(0);
  else
    CBcom->setEditText(QString());
}

void TForm1::SetCaption(const std::string& caption) { setWindowTitle(QString::fromStdString(toolkit::Utf8(caption))); }

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

bool TForm1::LogLastLineEmpty() const { return MEset->document()->lastBlock().text().isEmpty(); }

void TForm1::AddLogLine(const std::string& line, bool breakFirst) {
  QTextCursor c(MEset->document());
  c.movePosition(QTextCursor::End);
  c.insertText((breakFirst ? QStringLiteral("\n") : QString()) + ToDisplay(line) + QLatin1Char('\n'));
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

bool TForm1::DtrItemChecked(int index) const {
  return index >= 0 && index < setup::kDtrItemCount && RGDTRItems[index]->isChecked();
}

int TForm1::PowerOffSeconds() const { return SEw->value(); }

void TForm1::ShowGauge(int32_t max, int32_t progress) {
  Gw->setRange(0, max);
  Gw->setValue(progress);
}
void TForm1::SetGaugeVisible(bool visible) { Gw->setVisible(visible); }
bool TForm1::GaugeVisible() const { return !Gw->isHidden(); }
void TForm1::SetWaitCaption(const std::string& caption) { Lw->setText(ToDisplay(caption)); }
void TForm1::SetWaitLabelVisible(bool visible) { Lw->setVisible(visible); }
bool TForm1::WaitLabelVisible() const { return !Lw->isHidden(); }

// The driver takes names in Windows-1251, as the list gave them.
std::string TForm1::PortChoiceText() const { return toolkit::Cp1251(CBcom->currentText().toStdString()); }

void TForm1::SetPortStatus(const std::string& text, toolkit::TColor colour, const std::string& hint) {
  LAcom->setText(ToDisplay(text));
  LAcom->setToolTip(QString::fromStdString(hint));  // UTF-8, its line breaks kept
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
  if (index >= 0 && index < setup::kDtrItemCount) RGDTRItems[index]->setChecked(true);
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
