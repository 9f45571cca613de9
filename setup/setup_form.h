// The modem set-up of the main window, without the widgets: the command
// exchange cycle, the configuration sequence, the wait gauge, the operator
// prompts and the handlers of the other controls (port choice, PIN/PUK entry,
// check boxes, log pane gestures and the log file). Each window (the Qt one
// and the Win32 one) derives from it and gives it its controls through the
// accessors below; all text is Windows-1251.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "serial/serial_driver.h"
#include "toolkit/toolkit.h"

namespace setup {

// Log pane colours.
constexpr toolkit::TColor clNormal = toolkit::clWindow;
constexpr toolkit::TColor clSuccess = toolkit::RGB(192, 220, 192);
constexpr toolkit::TColor clError = toolkit::RGB(254, 192, 200);
constexpr toolkit::TColor clWarning = toolkit::RGB(254, 254, 192);

// The application title: the caption of the prompts and error boxes.
const std::string& ApplicationTitle();
// "X " twenty times: closes an exchange that failed or was interrupted.
const std::string& CrossLine();

// LAcom's tooltip: why the port is "занят", or that it is open. UTF-8, not
// Windows-1251 like the rest: it carries the system's own words, in
// whatever language the system speaks. Lines end with LF.
std::string PortStatusHint(const serial::OpenFailure& failure);

// A device that never goes quiet (a GPS receiver, a meter's optical head, a
// modem in a data call) must not keep a reply collecting for ever: a reply
// still growing past either bound is handed over as it stands. The longest
// real reply, the AT&V profile, is about 400 bytes and under half a second
// at 9600 bit/s; a reply that a slow line drips in pieces takes a few
// seconds at most.
constexpr int32_t kLongestReplyBytes = 1024;
constexpr uint32_t kLongestReplyMs = 12000;

class TSetupForm {
 public:
  TSetupForm(toolkit::Toolkit& tk, serial::SerialPlatform& platform);
  virtual ~TSetupForm();
  TSetupForm(const TSetupForm&) = delete;
  TSetupForm& operator=(const TSetupForm&) = delete;

  // State of the exchange.
  std::string ReplyText;    // every byte since the last send, zero included
  int32_t ReplyLength = 0;  // length seen at the previous Trx tick
  bool AutoMode = true;     // replies go to the configuration sequence
  std::string DtrModeRemark;

  // Components.
  serial::TSerialDriver port;
  std::unique_ptr<toolkit::Timer> Trx, Tgo, Terror, Tw;

  // Handlers.
  void LEHTKeyPress(char& Key);
  void portReceiveData(serial::TSerialDriver* Sender, const char* DataPtr, uint32_t DataSize);
  void TrxTimer();
  void TgoTimer();
  void TerrorTimer();
  void BBBClick();
  void BBEClick();
  void TwTimer();

  // Handlers of the other controls.
  void CBcomChange();
  void LEpinKeyPress(char& Key);  // LEpin and LEPUK
  void CBpukClick();
  void CBhtClick();
  void CBsendClick();
  void MEsetDblClick();
  void MEsetMouseDown(bool ctrlHeld);
  // A press on the log pane, as the window sees it: with Ctrl held every
  // press saves (either button, the second of a double click too); a double
  // click of the left button then clears.
  void LogPanePress(bool leftButton, bool ctrlHeld, bool doubleClick);
  // Writes the pane to the log file; false (and the error box) on failure.
  bool SaveLog();
  // The operator closes the window, maybe in the middle of a run: the run
  // stops where it is, the port is closed, and from now on nothing is sent,
  // asked or waited for; a wait nested in a handler returns at once, so
  // that the event loop ends.
  void WindowClosing();
  bool Closing() const { return closing_; }
  // The name the port choice last ran for (what the port box must show).
  const std::string& ChosenPort() const { return chosenPort_; }

  // The window made: the port list filled and its first port tried (an
  // empty field when there is none), the command box empty, the caption set
  // unless it is empty.
  void FormCreate(const std::vector<std::string>& ports, const std::string& caption);

  // Operations.
  void WaitMilliseconds(uint32_t ms);
  void IssueCommand(const std::string& text);
  void FinishExchange();
  void AdvanceSequence(const std::string& command);
  void StartWaitGauge(const std::string& caption, int32_t totalMs);
  bool BlockWhileGaugeRuns();
  void StopWaitGauge();

  toolkit::Toolkit& Toolkit() { return tk_; }
  // BlockWhileGaugeRuns calls on the stack now (they nest).
  int GaugeWaitsRunning() const { return gaugeWaits_; }

 protected:
  // A line at the end of the log pane, always one of its own: after a line
  // the operator typed on, it starts a new one.
  void AppendLog(const std::string& line);
  int DtrIndex() const;  // the RGDTR item chosen, -1 for none
  std::string DtrItem(int index) const;
  // Gw: progress kept within 0 and the maximum.
  void SetGaugeMax(int32_t max);
  int32_t GaugeMax() const { return gaugeMax_; }
  void SetGaugeProgress(int32_t progress);
  int32_t GaugeProgress() const { return gaugeProgress_; }

  // The controls, as the window has them.
  virtual void SetPortList(const std::vector<std::string>& ports) = 0;  // CBcom: the first chosen, or empty
  virtual void SetCaption(const std::string& caption) = 0;
  virtual std::string CommandText() const = 0;  // LEHT
  virtual void SetCommandText(const std::string& text) = 0;
  // MEset: whether its last line is empty; a line added at its end, after a
  // line break first when asked.
  virtual bool LogLastLineEmpty() const = 0;
  virtual void AddLogLine(const std::string& line, bool breakFirst) = 0;
  virtual void SetLogColour(toolkit::TColor colour) = 0;
  virtual void SetStartEnabled(bool enabled) = 0;  // BBB
  virtual bool ManualTerminal() const = 0;         // CBht checked
  virtual std::string PinText() const = 0;         // LEpin
  virtual bool DtrItemChecked(int index) const = 0;  // RGDTR
  virtual int PowerOffSeconds() const = 0;  // SEw
  virtual void ShowGauge(int32_t max, int32_t progress) = 0;  // Gw
  virtual void SetGaugeVisible(bool visible) = 0;
  virtual bool GaugeVisible() const = 0;
  // Lw
  virtual void SetWaitCaption(const std::string& caption) = 0;
  virtual void SetWaitLabelVisible(bool visible) = 0;
  virtual bool WaitLabelVisible() const = 0;
  // CBcom and LAcom
  virtual std::string PortChoiceText() const = 0;
  // hint: the tooltip, why the port is as it is.
  virtual void SetPortStatus(const std::string& text, toolkit::TColor colour, const std::string& hint) = 0;
  virtual std::string PukText() const = 0;  // LEPUK
  virtual bool PukChecked() const = 0;      // CBpuk
  virtual void SetPukEnabled(bool enabled) = 0;
  virtual void SetCommandEnabled(bool enabled) = 0;  // LEHT
  virtual bool SendChecked() const = 0;              // CBsend
  virtual void SetDtrEnabled(bool enabled) = 0;      // RGDTR
  virtual void SetDtrIndex(int index) = 0;
  // MEset: every line, the operator's typing included, ended by CR LF where
  // the pane breaks it; cleared.
  virtual std::string LogText() const = 0;
  virtual void ClearLog() = 0;
  // Where the log is saved (UTF-8 path).
  virtual std::string LogFileName() const { return "отчет.txt"; }

 private:
  // Outcomes of the sequence's steps.
  void Advance(const std::string& command);
  void Fail(const std::string& message);
  void ModelMismatch();
  void PinEntry();
  void PukDemand();
  void PinRejected();
  void DtrStep();
  void PowerCycle();
  void Verify();
  void AppendEmpty() { AppendLog(std::string()); }
  void Prompt(const std::string& text);  // an operator prompt, unless closing
  void ShowPortBusy(const serial::OpenFailure& why);  // LAcom: "занят" in red
  bool CollectedTooLong(int32_t length) const;

  toolkit::Toolkit& tk_;
  // Where the piece of reply being collected began: at the first byte after
  // a send or a hand-over.
  bool collecting_ = false;
  uint32_t collectionStartTick_ = 0;
  int32_t collectionStartLength_ = 0;
  int gaugeWaits_ = 0;
  int32_t gaugeMax_ = 30000, gaugeProgress_ = 0;
  bool closing_ = false;
  std::string chosenPort_;
};

}  // namespace setup
