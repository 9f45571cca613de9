// The Win32 toolkit on the system's own message queue (under Wine when
// cross-built): the toolkit's contract, and what only this toolkit has.
#include "toolkit/win32_toolkit.h"

#include <map>
#include <memory>
#include <string>

#include <gtest/gtest.h>

#include "tests/toolkit/toolkit_contract.h"

namespace {

// The operator presses OK in the message box on top once it has been open
// for the given time: a thread timer, dispatched by the box's own loop.
class Win32Rig final : public toolkit_contract::Rig {
 public:
  Win32Rig() { current = this; }
  ~Win32Rig() override {
    if (timer_) KillTimer(nullptr, timer_);
    current = nullptr;
  }
  toolkit::Toolkit& Tk() override { return tk_; }
  void AnswerPromptsAfter(uint32_t ms) override {
    answerMs_ = ms;
    timer_ = SetTimer(nullptr, 0, 20, Look);
  }

 private:
  static Win32Rig* current;
  static BOOL CALLBACK OnTop(HWND hwnd, LPARAM found) {
    wchar_t cls[16] = {};
    GetClassNameW(hwnd, cls, 16);
    // The box on top is the one enabled: a box under another is disabled.
    if (std::wstring(cls) == L"#32770" && IsWindowVisible(hwnd) && IsWindowEnabled(hwnd))
      *reinterpret_cast<HWND*>(found) = hwnd;
    return TRUE;
  }
  static void CALLBACK Look(HWND, UINT, UINT_PTR, DWORD) {
    Win32Rig* rig = current;
    HWND box = nullptr;
    EnumThreadWindows(GetCurrentThreadId(), OnTop, LPARAM(&box));
    if (!rig || !box) return;
    const uint32_t seen = rig->opened_.emplace(box, rig->tk_.TickCount()).first->second;
    if (uint32_t(rig->tk_.TickCount() - seen) < rig->answerMs_) return;
    rig->opened_.erase(box);
    PostMessageW(box, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), LPARAM(GetDlgItem(box, IDOK)));
  }

  toolkit::Win32Toolkit tk_;
  UINT_PTR timer_ = 0;
  uint32_t answerMs_ = 0;
  std::map<HWND, uint32_t> opened_;
};
Win32Rig* Win32Rig::current = nullptr;

}  // namespace

using toolkit_contract::ToolkitContract;
INSTANTIATE_TEST_SUITE_P(Win32, ToolkitContract,
                         ::testing::Values(toolkit_contract::Implementation{
                             "Win32Toolkit", [] { return std::unique_ptr<toolkit_contract::Rig>(new Win32Rig); }}),
                         toolkit_contract::NameOf);

namespace {

TEST(Win32Toolkit, QuitSeenInANestedWaitEndsTheOuterLoop) {
  toolkit::Win32Toolkit tk;
  bool nestedReturned = false;
  auto t = tk.CreateTimer(10, [&] {
    PostQuitMessage(3);
    toolkit::WaitMilliseconds(tk, 50);  // sees the quit, goes on waiting
    nestedReturned = true;
  });
  t->SetEnabled(true);
  EXPECT_EQ(tk.Run(), 3);
  EXPECT_TRUE(nestedReturned);
}

TEST(Win32Toolkit, Windows1251RoundTrip) {
  const std::string text = "\xC7\xCE\xD0\xC2\xC8\xCA \x01\r";  // ЗОРВИК, a control character, CR
  EXPECT_EQ(toolkit::WideFrom1251(text), std::wstring(L"ЗОРВИК \x01\r"));
  EXPECT_EQ(toolkit::Cp1251FromWide(toolkit::WideFrom1251(text)), text);
  EXPECT_EQ(toolkit::Cp1251FromWide(L"\u4E2D"), "?");
}

}  // namespace
