// The Win32 window's own plumbing, on the system's controls (under Wine with
// a display): keys, the log pane's gestures and the port choice, against the
// training modems on the real message loop.
#include <cstdint>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "app/control_ids_win32.h"
#include "app/umset_win32.h"
#include "modemsim/training_modems.h"
#include "serial/serial_device.h"
#include "toolkit/codepage.h"

namespace {

std::wstring Text(HWND hwnd) {
  std::wstring text(size_t(GetWindowTextLengthW(hwnd)) + 1, L'\0');
  text.resize(size_t(GetWindowTextW(hwnd, text.data(), int(text.size()))));
  return text;
}

struct Window {
  toolkit::Win32Toolkit tk;
  modemsim::TrainingModems modems{tk, serial::SystemSerialPlatform()};
  app::TForm1 form{Env(), tk};

  app::Environment Env() {
    app::Environment env{tk, modems, [this] { return modems.Names(); }, [] { return std::string("caption"); }};
    env.logFile = "window_test_log.txt";
    return env;
  }
  Window() {
    form.Show();
    SetForegroundWindow(form.Handle());
    Pump();
  }
  void Pump(uint32_t ms = 30) { toolkit::WaitMilliseconds(tk, ms); }
  // Through the queue, as typed: the window's message filter sees it.
  void Key(HWND to, UINT msg, WPARAM key) {
    PostMessageW(to, msg, key, 1);
    Pump();
  }
  void Type(HWND to, const std::wstring& chars) {
    for (wchar_t c : chars) Key(to, WM_CHAR, c);
  }
  void Choose(int index) {
    SendMessageW(form.CBcom, CB_SETCURSEL, WPARAM(index), 0);
    SendMessageW(form.PAmain, WM_COMMAND, MAKEWPARAM(app::win32::idCBcom, CBN_SELENDOK), LPARAM(form.CBcom));
  }
  int FocusId() {
    HWND focus = GetFocus();
    if (GetParent(focus) == form.CBcom) focus = form.CBcom;  // the combo's own edit
    return GetDlgCtrlID(focus);
  }
};

TEST(Win32Window, TabWalksTheControlsInOrderAndTheBoxesFilterTheirKeys) {
  Window w;
  using namespace app::win32;
  SetFocus(w.form.CBcom);
  std::vector<int> order;
  for (int i = 0; i < 10; ++i) {
    order.push_back(w.FocusId());
    w.Key(GetFocus(), WM_KEYDOWN, VK_TAB);
  }
  // The boxes LEPUK and LEHT are disabled; the DTR group is one stop, at its
  // chosen item; the hidden SEw is none.
  EXPECT_EQ(order, (std::vector<int>{idCBcom, idLEpin, idBBB, idBBE, idCBpuk, idCBht, idRGDTRItem1, idCBsend, idMEset,
                                     idCBcom}));

  SendMessageW(w.form.LEpin, EM_SETSEL, 4, 4);  // Tab selected the whole text
  w.Type(w.form.LEpin, L"x-5 .");
  EXPECT_EQ(Text(w.form.LEpin), L"47395.");
  SendMessageW(w.form.CBht, BM_CLICK, 0, 0);
  ASSERT_TRUE(IsWindowEnabled(w.form.LEHT));
  w.Type(w.form.LEHT, L"at+cgmi");
  EXPECT_EQ(Text(w.form.LEHT), L"AT+CGMI");

  // Enter in the PIN box sends the unlock command built from both boxes.
  w.Type(w.form.LEpin, L"\r");
  EXPECT_NE(Text(w.form.MEset).find(L"AT+CPIN=31570946,47395.\u240D"), std::wstring::npos) << Text(w.form.MEset);
}

TEST(Win32Window, ALongReplyIsLoggedWholeCtrlPressSavesItAndADoubleClickClears) {
  Window w;
  // Far beyond the 32 767 characters an edit box holds unless told otherwise,
  // in one line without blanks, as a flood of noise arrives.
  const std::string reply(300000, '\xC6');
  w.form.AutoMode = false;
  SetWindowTextW(w.form.LEHT, L"ATI");
  w.form.portReceiveData(&w.form.port, reply.data(), uint32_t(reply.size()));
  w.form.ReplyLength = int32_t(reply.size());
  w.form.TgoTimer();
  DeleteFileW(L"window_test_log.txt");
  w.Key(w.form.MEset, WM_LBUTTONDOWN, MK_LBUTTON | MK_CONTROL);
  w.Key(w.form.MEset, WM_LBUTTONUP, 0);
  FILE* f = _wfopen(L"window_test_log.txt", L"rb");
  ASSERT_NE(f, nullptr);
  std::string saved(700000, '\0');
  saved.resize(fread(saved.data(), 1, saved.size(), f));
  fclose(f);
  // One line, as the reply came; the pane's own paragraph breaks are not saved.
  const size_t at = saved.find(toolkit::Cp1251("ответ(без CR и LF)=") + reply + "\r\n");
  EXPECT_NE(at, std::string::npos) << saved.size() << " bytes saved";
  EXPECT_EQ(saved.find("\r\r\n"), std::string::npos);
  w.Key(w.form.MEset, WM_LBUTTONDOWN, MK_LBUTTON);
  w.Key(w.form.MEset, WM_LBUTTONDBLCLK, MK_LBUTTON);
  EXPECT_EQ(Text(w.form.MEset), L"");
  DeleteFileW(L"window_test_log.txt");
}

TEST(Win32Window, ChoosingAPortOpensItAndTypingReopensAtEveryKey) {
  Window w;
  EXPECT_EQ(Text(w.form.LAcom), L"свободен");  // the first training modem, at start
  // The combo's edit: what the operator types into.
  HWND edit = GetWindow(w.form.CBcom, GW_CHILD);
  SendMessageW(edit, EM_SETSEL, 0, -1);
  w.Type(edit, L"NUL9");
  EXPECT_EQ(Text(w.form.CBcom), L"NUL9");
  EXPECT_EQ(Text(w.form.LAcom), L"занят");
  w.Choose(4);  // the silent modem opens all the same
  EXPECT_EQ(Text(w.form.CBcom), toolkit::WideFrom1251(w.modems.Names()[4]));
  EXPECT_EQ(Text(w.form.LAcom), L"свободен");
  EXPECT_NE(w.modems.OpenModem(w.modems.Names()[4]), nullptr);
  EXPECT_EQ(w.modems.OpenModem(w.modems.Names()[0]), nullptr);
}

}  // namespace
