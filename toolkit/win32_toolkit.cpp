#include "toolkit/win32_toolkit.h"

#include <algorithm>
#include <cstdint>
#include <memory>
#include <string_view>
#include <utility>
#include <vector>

#include "toolkit/tick_count.h"

namespace toolkit {

// Windows queues WM_TIMER again while the handler of the previous tick waits
// inside (its waits dispatch messages): the tick is dropped while a handler
// of the same enabling runs. Disabling and enabling again starts a new
// enabling, which ticks anew.
class Win32Toolkit::Win32Timer final : public Timer {
 public:
  Win32Timer(Win32Toolkit& tk, UINT_PTR id, uint32_t ms) : tk_(tk), id_(id), intervalMs_(ms) {
    tk_.timers_[id_] = this;
  }
  ~Win32Timer() override {
    *alive_ = false;
    KillTimer(tk_.window_, id_);
    tk_.timers_.erase(id_);
  }
  void SetInterval(uint32_t ms) override {
    intervalMs_ = ms;
    if (enabled_) Arm();
  }
  uint32_t Interval() const override { return intervalMs_; }
  void SetEnabled(bool enabled) override {
    if (enabled == enabled_) return;
    enabled_ = enabled;
    if (enabled) {
      ++enabling_;
      Arm();
    } else {
      KillTimer(tk_.window_, id_);
    }
  }
  bool Enabled() const override { return enabled_; }

  void Tick() {
    // A WM_TIMER may already be queued when the timer is stopped.
    if (!enabled_) return;
    const uint64_t enabling = enabling_;
    if (std::find(running_.begin(), running_.end(), enabling) != running_.end()) return;
    running_.push_back(enabling);
    const auto alive = alive_;
    Fire();
    if (*alive) running_.erase(std::find(running_.begin(), running_.end(), enabling));
  }

 private:
  void Arm() {
    // An interval of 0 never ticks.
    if (intervalMs_ == 0)
      KillTimer(tk_.window_, id_);
    else
      SetTimer(tk_.window_, id_, std::max<uint32_t>(intervalMs_, USER_TIMER_MINIMUM), nullptr);
  }

  Win32Toolkit& tk_;
  const UINT_PTR id_;
  uint32_t intervalMs_;
  bool enabled_ = false;
  uint64_t enabling_ = 0;
  std::vector<uint64_t> running_;
  std::shared_ptr<bool> alive_ = std::make_shared<bool>(true);  // a handler may delete its timer
};

namespace {

constexpr wchar_t kTimerWindowClass[] = L"ZorvikToolkitTimers";

}  // namespace

Win32Toolkit::Win32Toolkit() : thread_(GetCurrentThreadId()) {
  WNDCLASSW wc{};
  wc.lpfnWndProc = WindowProc;
  wc.hInstance = GetModuleHandleW(nullptr);
  wc.lpszClassName = kTimerWindowClass;
  RegisterClassW(&wc);  // fails harmlessly when a second toolkit registers it again
  window_ = CreateWindowExW(0, kTimerWindowClass, L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, wc.hInstance, nullptr);
  SetWindowLongPtrW(window_, GWLP_USERDATA, LONG_PTR(this));
}

Win32Toolkit::~Win32Toolkit() { DestroyWindow(window_); }

LRESULT CALLBACK Win32Toolkit::WindowProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
  if (msg == WM_TIMER) {
    auto* tk = reinterpret_cast<Win32Toolkit*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
    if (tk) {
      const auto it = tk->timers_.find(wParam);
      if (it != tk->timers_.end()) it->second->Tick();
    }
    return 0;
  }
  return DefWindowProcW(hwnd, msg, wParam, lParam);
}

uint32_t Win32Toolkit::TickCount() { return SystemTickCount(); }

std::unique_ptr<Timer> Win32Toolkit::CreateTimer(uint32_t intervalMs, std::function<void()> onTimer) {
  auto timer = std::make_unique<Win32Timer>(*this, nextTimerId_++, intervalMs);
  timer->SetOnTimer(std::move(onTimer));
  return timer;
}

bool Win32Toolkit::DispatchOne() {
  MSG msg;
  if (!PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) return false;
  if (msg.message == WM_QUIT) {
    // Kept for the outermost loop: a wait nested in a handler goes on.
    quitSeen_ = true;
    exitCode_ = int(msg.wParam);
    return true;
  }
  if (filter_ && filter_(msg)) return true;
  TranslateMessage(&msg);
  DispatchMessageW(&msg);
  return true;
}

void Win32Toolkit::ProcessEvents() {
  // Bounded: a window that never validates itself would feed WM_PAINT forever.
  for (int i = 0; i < 10000 && DispatchOne(); ++i) {
  }
}

void Win32Toolkit::WaitForEvents(uint32_t maxMs) {
  if (maxMs != 0 && !DispatchOne())
    MsgWaitForMultipleObjectsEx(0, nullptr, maxMs, QS_ALLINPUT, MWMO_INPUTAVAILABLE);
  ProcessEvents();
}

int Win32Toolkit::Run() {
  while (!quitSeen_) WaitForEvents(INFINITE);
  return exitCode_;
}

namespace {

// The prompt is the system's message box whose one button is renamed when
// the box is activated (MessageBox captions it with the system's "OK").
thread_local HHOOK renameHook = nullptr;

LRESULT CALLBACK RenameOkButton(int code, WPARAM wParam, LPARAM lParam) {
  if (code == HCBT_ACTIVATE) {
    const HWND box = reinterpret_cast<HWND>(wParam);
    wchar_t cls[16] = {};
    GetClassNameW(box, cls, 16);
    if (std::wstring_view(cls) == L"#32770") {
      SetDlgItemTextW(box, IDOK, L"ЛАДНО");
      UnhookWindowsHookEx(renameHook);
      renameHook = nullptr;
    }
  }
  return CallNextHookEx(nullptr, code, wParam, lParam);
}

BOOL CALLBACK FirstVisible(HWND hwnd, LPARAM out) {
  if (!IsWindowVisible(hwnd)) return TRUE;
  *reinterpret_cast<HWND*>(out) = hwnd;
  return FALSE;
}

// The window the boxes belong to: the active one, else the first visible
// top-level window of this thread (the program has one).
HWND BoxOwner() {
  if (HWND active = GetActiveWindow()) return active;
  HWND found = nullptr;
  EnumThreadWindows(GetCurrentThreadId(), FirstVisible, LPARAM(&found));
  return found;
}

}  // namespace

void Win32Toolkit::ShowMessage(std::string_view caption, std::string_view message) {
  if (!renameHook) renameHook = SetWindowsHookExW(WH_CBT, RenameOkButton, nullptr, GetCurrentThreadId());
  MessageBoxW(BoxOwner(), WideFrom1251(message).c_str(), WideFrom1251(caption).c_str(), MB_OK);
  if (renameHook) {
    UnhookWindowsHookEx(renameHook);
    renameHook = nullptr;
  }
}

void Win32Toolkit::ShowError(std::string_view caption, std::string_view message) {
  MessageBoxW(BoxOwner(), WideFrom1251(message).c_str(), WideFrom1251(caption).c_str(), MB_OK | MB_ICONERROR);
}

bool Win32Toolkit::OnMainThread() const { return GetCurrentThreadId() == thread_; }

}  // namespace toolkit
