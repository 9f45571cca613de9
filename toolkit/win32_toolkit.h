// The toolkit of the Windows program: the GUI thread's message queue, its
// timers (WM_TIMER to a message-only window) and the system's message boxes.
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <string_view>
#include <utility>

#include "toolkit/toolkit.h"
#include "toolkit/wide_text_win32.h"

#include <windows.h>  // after toolkit.h, whose RGB it defines as a macro

namespace toolkit {

class Win32Toolkit final : public Toolkit {
 public:
  Win32Toolkit();
  ~Win32Toolkit() override;

  uint32_t TickCount() override;
  std::unique_ptr<Timer> CreateTimer(uint32_t intervalMs, std::function<void()> onTimer) override;
  void ProcessEvents() override;
  void WaitForEvents(uint32_t maxMs) override;
  void ShowMessage(std::string_view caption, std::string_view message) override;
  void ShowError(std::string_view caption, std::string_view message) override;
  bool OnMainThread() const override;

  // Sees every message before it is dispatched (a window's keyboard
  // navigation, IsDialogMessage); true when it has handled the message.
  void SetMessageFilter(std::function<bool(MSG&)> filter) { filter_ = std::move(filter); }

  // The event loop of the program: runs until WM_QUIT, also when the quit
  // was seen by a wait nested in a handler; returns its exit code.
  int Run();
  bool QuitSeen() const { return quitSeen_; }

 private:
  class Win32Timer;
  static LRESULT CALLBACK WindowProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam);
  bool DispatchOne();  // false when the queue is empty

  HWND window_ = nullptr;  // message-only: the timers' target
  DWORD thread_ = 0;
  UINT_PTR nextTimerId_ = 1;
  std::map<UINT_PTR, Win32Timer*> timers_;
  std::function<bool(MSG&)> filter_;
  bool quitSeen_ = false;
  int exitCode_ = 0;
};

}  // namespace toolkit
