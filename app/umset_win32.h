// The main window on Windows, made of the system's own controls: the log
// pane on the left, the operator's controls on the right. Only the controls
// and their plumbing live here; the set-up logic comes from
// setup::TSetupForm, as in the Qt window.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "app/environment.h"
#include "setup/form_description.h"
#include "setup/setup_form.h"
#include "toolkit/win32_toolkit.h"

namespace app {

class TForm1 final : public setup::TSetupForm {
 public:
  // loop: the message loop whose filter gives the window its keyboard
  // navigation (Tab between the controls).
  TForm1(Environment env, toolkit::Win32Toolkit& loop);
  ~TForm1() override;

  void Show();
  HWND Handle() const { return form_; }

  // Controls, by their names.
  HWND PAmemo = nullptr, PAmain = nullptr;
  HWND MEset = nullptr, CBcom = nullptr, LAcom = nullptr, LEpin = nullptr, LEPUK = nullptr, LEHT = nullptr;
  HWND BBB = nullptr, BBE = nullptr, SEw = nullptr, SEwArrows = nullptr;
  HWND CBpuk = nullptr, CBht = nullptr, CBsend = nullptr, RGDTR = nullptr, RGDTRItems[3] = {};
  HWND Lw = nullptr, Gw = nullptr;

  // A control of the window's description by its name; null for another.
  HWND Control(std::string_view name) const;

  void FormCreate();
  void FormDestroy();

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

 private:
  static LRESULT CALLBACK FormProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam);
  static LRESULT CALLBACK PanelProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam);
  static LRESULT CALLBACK GaugeProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam);
  static LRESULT CALLBACK ControlProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam, UINT_PTR id, DWORD_PTR form);
  static TForm1* Of(HWND hwnd);
  struct Slot;
  static const Slot* SlotOf(std::string_view name);

  void BuildControls();
  // A child window at its place at 96 DPI, scaled.
  HWND Child(HWND parent, const wchar_t* cls, const wchar_t* text, DWORD style, const setup::Box& box, int id,
             DWORD exStyle = 0);
  HWND MakeControl(const setup::ControlDescription& c, int id);
  void CaptionAbove(const setup::Box& box, const wchar_t* text);
  int S(int pixels) const { return setup::Scaled(pixels, dpi_); }  // a size at 96 DPI, at the system's
  void Layout();             // the panels and the splitter in the client area
  void PlaceBottomControls();  // Lw and Gw at the bottom of PAmain
  bool InSplitter(int x) const;
  LRESULT FormMessage(UINT msg, WPARAM wParam, LPARAM lParam);
  LRESULT PanelMessage(HWND panel, UINT msg, WPARAM wParam, LPARAM lParam);
  void Command(int id, int code);
  void KeepDtrTabStop();
  bool PreTranslate(MSG& msg);
  void PaintGauge(HWND hwnd);
  void ResizeStatusToText();
  void PlaceStatusTip();  // LAcom's tip over its place, with its text
  void SetPortText(const std::wstring& text);

  Environment env_;
  toolkit::Win32Toolkit& loop_;
  HWND form_ = nullptr;
  HFONT font_ = nullptr, waitFont_ = nullptr, gaugeFont_ = nullptr;
  HICON plug_ = nullptr, stop_ = nullptr;
  HBRUSH logBrush_ = nullptr, aquaBrush_ = nullptr;
  toolkit::TColor logColour_ = toolkit::clWindow;
  COLORREF statusColour_ = 0;
  HWND tips_ = nullptr;
  std::wstring statusHint_;  // LAcom's tip
  const int dpi_;
  int memoWidth_;
  bool dragging_ = false;
  HWND lastFocus_ = nullptr;
  bool settingPortText_ = false;
};

}  // namespace app
