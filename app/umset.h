// The main window: the log pane on the left, the operator's controls on the
// right; the set-up logic comes from setup::TSetupForm.
#pragma once

#include <QWidget>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "app/environment.h"
#include "setup/form_description.h"
#include "setup/setup_form.h"

class QCheckBox;
class QComboBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QProgressBar;
class QPushButton;
class QRadioButton;
class QSpinBox;
class QSplitter;

namespace app {

class TForm1 final : public QWidget, public setup::TSetupForm {
 public:
  explicit TForm1(Environment env);
  ~TForm1() override;

  // Controls, by their names.
  QSplitter* Splitter1;
  QWidget* PAmemo;
  QWidget* PAmain;
  QPlainTextEdit* MEset;
  QComboBox* CBcom;
  QLabel* LAcom;
  QLineEdit* LEpin;
  QLineEdit* LEPUK;
  QLineEdit* LEHT;
  QPushButton* BBB;
  QPushButton* BBE;
  QSpinBox* SEw;
  QCheckBox* CBpuk;
  QCheckBox* CBht;
  QCheckBox* CBsend;
  QGroupBox* RGDTR;
  QRadioButton* RGDTRItems[3];
  QLabel* Lw;
  QProgressBar* Gw;

  // Handlers of this window (the others come from TSetupForm).
  void FormCreate();
  void FormDestroy();
  void MEsetMouseDown(Qt::MouseButton button, Qt::KeyboardModifiers shift);

  // The log pane as lines of Windows-1251 text, and its colour.
  std::vector<std::string> LogLines() const;
  toolkit::TColor LogColour() const { return logColour_; }
  // The captioned controls whose text does not fit them in the window's font.
  std::vector<QWidget*> ClippedControls() const;

 protected:
  void SetPortList(const std::vector<std::string>& ports) override;
  void SetCaption(const std::string& caption) override;
  std::string CommandText() const override;
  void SetCommandText(const std::string& text) override;
  bool LogLastLineEmpty() const override;
  void AddLogLine(const std::string& line, bool breakFirst) override;
  void SetLogColour(toolkit::TColor colour) override;
  void SetStartEnabled(bool enabled) override;
  bool ManualTerminal() const override;
  std::string PinText() const override;
  bool DtrItemChecked(int index) const override;
  int PowerOffSeconds() const override;
  void ShowGauge(int32_t max, int32_t progress) override;
  void SetGaugeVisible(bool visible) override;
  bool GaugeVisible() const override;
  void SetWaitCaption(const std::string& caption) override;
  void SetWaitLabelVisible(bool visible) override;
  bool WaitLabelVisible() const override;
  std::string PortChoiceText() const override;
  void SetPortStatus(const std::string& text, toolkit::TColor colour, const std::string& hint) override;
  std::string PukText() const override;
  bool PukChecked() const override;
  void SetPukEnabled(bool enabled) override;
  void SetCommandEnabled(bool enabled) override;
  bool SendChecked() const override;
  void SetDtrEnabled(bool enabled) override;
  void SetDtrIndex(int index) override;
  std::string LogText() const override;
  void ClearLog() override;
  std::string LogFileName() const override { return env_.logFile; }

  bool eventFilter(QObject* watched, QEvent* event) override;
  bool event(QEvent* event) override;
  void closeEvent(QCloseEvent* event) override;

 private:
  void BuildControls();
  QWidget* MakeControl(const setup::ControlDescription& c);
  template <typename Control>
  Control* Named(const char* name) const;
  void PlaceBottomControls();
  void ChooseFont();
  void KeepOnScreen();
  void CaptionAbove(QWidget* box, const QString& text);
  // The handler as a callable: a pointer to a member of the base class,
  // converted to one of this class, makes UndefinedBehaviorSanitizer report
  // the (valid) call through it.
  bool KeyThroughHandler(QLineEdit* edit, QEvent* event, const std::function<void(char&)>& handler, bool upper);

  Environment env_;
  toolkit::TColor logColour_ = toolkit::clWindow;
  bool outerSizeFixed_ = false;
  std::vector<QLabel*> captions_;
};

// Texts with control characters are shown with their pictures (U+2400…) so
// that a CR inside a logged command neither breaks the line nor vanishes;
// the saved file gets the bytes back.
QString ToDisplay(const std::string& cp1251);
std::string FromDisplay(const QString& shown);

}  // namespace app
