// The Win32 window's own plumbing, on the system's controls (under Wine with
// a display): keys, the log pane's gestures and the port choice, against the
// training modems on the real message loop.
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <utility>
#include <vector>

#include <gtest/gtest.h>

#include "app/control_ids_win32.h"
#include "app/umset_win32.h"
#include "modemsim/training_modems.h"
#include "serial/serial_device.h"
#include "setup/form_description.h"
#include "toolkit/codepage.h"

#include <uxtheme.h>  // after windows.h, which the window's header brings
#include <vssym32.h>

namespace {

std::wstring Text(HWND hwnd) {
  std::wstring text(size_t(GetWindowTextLengthW(hwnd)) + 1, L'\0');
  text.resize(size_t(GetWindowTextW(hwnd, text.data(), int(text.size()))));
  return text;
}

std::string Utf8Of(const std::wstring& text) { return toolkit::Narrow(text, CP_UTF8); }

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

// The list dropped, browsed with the arrow keys and left with Esc: the field
// shows the port that is open, and the port stays the one chosen.
TEST(Win32Window, BrowsingTheDroppedPortListAndEscapingLeavesTheOpenPortShown) {
  Window w;
  const std::wstring first = toolkit::WideFrom1251(w.modems.Names()[0]);
  ASSERT_EQ(Text(w.form.CBcom), first);
  SetFocus(w.form.CBcom);
  SendMessageW(w.form.CBcom, CB_SHOWDROPDOWN, TRUE, 0);
  w.Pump();
  for (int i = 0; i < 4; ++i) w.Key(GetFocus(), WM_KEYDOWN, VK_DOWN);
  EXPECT_NE(Text(w.form.CBcom), first);  // the field follows the browsing
  w.Key(GetFocus(), WM_KEYDOWN, VK_ESCAPE);
  w.Pump(100);
  EXPECT_FALSE(SendMessageW(w.form.CBcom, CB_GETDROPPEDSTATE, 0, 0));
  EXPECT_EQ(Text(w.form.CBcom), first);
  EXPECT_NE(w.modems.OpenModem(w.modems.Names()[0]), nullptr);
}

BOOL CALLBACK FindShownTip(HWND w, LPARAM out) {
  wchar_t cls[32] = {};
  GetClassNameW(w, cls, 32);
  if (std::wstring(cls) != TOOLTIPS_CLASSW || !IsWindowVisible(w)) return TRUE;
  *reinterpret_cast<HWND*>(out) = w;
  return FALSE;
}

// The tip shown once the mouse has come to rest on the control; empty when none.
std::wstring TipOver(Window& w, HWND control) {
  RECT r;
  GetWindowRect(control, &r);
  SetCursorPos(r.left + 5, r.top + 5);
  w.Pump(50);
  SetCursorPos(r.left + 6, r.top + 6);  // a move within, then rest
  HWND shown = nullptr;
  for (int i = 0; i < 60 && !shown; ++i) {
    w.Pump(50);
    EnumThreadWindows(GetCurrentThreadId(), FindShownTip, LPARAM(&shown));
  }
  TTTOOLINFOW tool{};
  wchar_t text[512] = {};
  tool.cbSize = TTTOOLINFOW_V2_SIZE;
  tool.lpszText = text;
  const bool got = shown && SendMessageW(shown, TTM_GETCURRENTTOOLW, 0, LPARAM(&tool));
  SetCursorPos(0, 0);
  w.Pump(300);
  return got ? text : L"";
}

// The tip of a disabled box shows when the mouse rests on it.
TEST(Win32Window, TheDisabledBoxesShowTheirTooltips) {
  Window w;
  for (const auto& [box, tip] : {std::pair{w.form.LEPUK, L"набрать и нажать Enter"}, std::pair{w.form.LEHT, L"ГИПЕРТЕРМИНАЛ"}}) {
    ASSERT_FALSE(IsWindowEnabled(box));
    EXPECT_EQ(TipOver(w, box), tip);
  }
}

// The port status tells why, where the mouse rests on it.
TEST(Win32Window, ThePortStatusTipSaysWhyThePortIsBusy) {
  Window w;
  EXPECT_EQ(TipOver(w, w.form.LAcom), L"порт открыт");
  HWND edit = GetWindow(w.form.CBcom, GW_CHILD);
  SendMessageW(edit, EM_SETSEL, 0, -1);
  w.Type(edit, L"NO-SUCH-PORT");
  ASSERT_EQ(Text(w.form.LAcom), L"занят");
  EXPECT_EQ(TipOver(w, w.form.LAcom), L"нет такого порта: устройства нет или оно отключено");
}

namespace {

int ExpectedDpi() {
  const char* dpi = std::getenv("ZORVIK_EXPECT_DPI");
  return dpi ? std::atoi(dpi) : 96;
}

RECT RectIn(HWND control, HWND parent) {
  RECT r;
  GetWindowRect(control, &r);
  MapWindowPoints(nullptr, parent, reinterpret_cast<POINT*>(&r), 2);
  return r;
}

// As the control draws it: "&&" is one ampersand where prefixes are drawn.
SIZE TextSize(HWND control, bool prefixes) {
  HDC dc = GetDC(control);
  const HGDIOBJ old = SelectObject(dc, HGDIOBJ(SendMessageW(control, WM_GETFONT, 0, 0)));
  const std::wstring text = Text(control);
  RECT r{0, 0, 0, 0};
  DrawTextW(dc, text.c_str(), int(text.size()), &r, DT_CALCRECT | DT_SINGLELINE | (prefixes ? 0 : DT_NOPREFIX));
  SelectObject(dc, old);
  ReleaseDC(control, dc);
  return {r.right - r.left, r.bottom - r.top};
}

// The check box and radio glyph as the controls draw it: the theme's part
// where a theme is active, else the system's metric.
SIZE GlyphSize(HWND button, bool radio) {
  SIZE size{GetSystemMetrics(SM_CXMENUCHECK), GetSystemMetrics(SM_CYMENUCHECK)};
  if (HTHEME theme = IsAppThemed() ? OpenThemeData(button, L"BUTTON") : nullptr) {
    HDC dc = GetDC(button);
    GetThemePartSize(theme, dc, radio ? BP_RADIOBUTTON : BP_CHECKBOX, 1, nullptr, TS_DRAW, &size);
    ReleaseDC(button, dc);
    CloseThemeData(theme);
  }
  return size;
}

}  // namespace

// At the prefix's DPI (ZORVIK_EXPECT_DPI, else 96; test-windows.sh runs it at
// 96, 120 and 144): every control at its place of 96 DPI scaled by DPI / 96,
// every caption within its control, every check glyph within its box, and
// the window on the screen.
TEST(Win32Window, AtTheSystemsDpiEveryControlIsScaledAndEveryCaptionFits) {
  Window w;
  using namespace app::win32;
  HDC screen = GetDC(nullptr);
  const int dpi = GetDeviceCaps(screen, LOGPIXELSY);
  ReleaseDC(nullptr, screen);
  ASSERT_EQ(dpi, ExpectedDpi());
  auto s = [&](int v) { return MulDiv(v, dpi, 96); };
  const setup::WindowDescription& window = setup::MainWindow();
  // Every control where the description puts it; the drop-down box's
  // height is its font's, the status label's width its text's.
  for (const setup::ControlDescription& c : setup::MainControls()) {
    const std::string name(c.name);
    HWND control = w.form.Control(c.name);
    ASSERT_TRUE(control) << name;
    const RECT r = RectIn(control, w.form.PAmain);
    EXPECT_EQ(r.left, s(c.box.x)) << name;
    EXPECT_EQ(r.top, s(c.box.y)) << name;
    // The system narrows a number's box by the arrows it lays over its right.
    if (c.kind != setup::ControlKind::StatusLabel && c.kind != setup::ControlKind::SpinEdit) {
      EXPECT_EQ(r.right - r.left, s(c.box.width)) << name;
    }
    if (c.kind != setup::ControlKind::PortBox && c.kind != setup::ControlKind::StatusLabel) {
      EXPECT_EQ(r.bottom - r.top, s(c.box.height)) << name;
    }
    EXPECT_EQ(IsWindowEnabled(control) != FALSE, c.enabled) << name;
    EXPECT_EQ((GetWindowLongW(control, GWL_STYLE) & WS_VISIBLE) != 0, c.visible) << name;
  }
  for (int i = 0; i < setup::kDtrItemCount; ++i) {
    const setup::Box group = setup::MainControl("RGDTR").box, b = setup::DtrItemBox(i);
    const RECT r = RectIn(w.form.RGDTRItems[i], w.form.PAmain);
    EXPECT_EQ(r.left, s(group.x + b.x)) << i;
    EXPECT_EQ(r.top, s(group.y + b.y)) << i;
    EXPECT_EQ(r.right - r.left, s(b.width)) << i;
  }
  RECT pane = RectIn(w.form.PAmain, w.form.Handle());
  EXPECT_EQ(pane.left, s(window.memoWidth) + s(window.splitterWidth));
  RECT client;
  GetClientRect(w.form.PAmain, &client);
  const RECT gauge = RectIn(w.form.Gw, w.form.PAmain);
  EXPECT_EQ(gauge.bottom - gauge.top, s(76));
  EXPECT_EQ(gauge.bottom, client.bottom);

  // The outline face asked for, found, its height scaled, with every
  // Cyrillic letter of the captions.
  {
    HDC dc = GetDC(w.form.LAcom);
    const HGDIOBJ old = SelectObject(dc, HGDIOBJ(SendMessageW(w.form.LAcom, WM_GETFONT, 0, 0)));
    wchar_t face[LF_FACESIZE] = {};
    GetTextFaceW(dc, LF_FACESIZE, face);
    TEXTMETRICW metrics{};
    GetTextMetricsW(dc, &metrics);
    const std::wstring letters = L"АБВГДЕЖЗИЙКЛМНОПРСТУФХЦЧШЩЪЫЬЭЮЯабвгдежзийклмнопрстуфхцчшщъыьэюяЁё«»";
    std::vector<WORD> glyphs(letters.size());
    GetGlyphIndicesW(dc, letters.c_str(), int(letters.size()), glyphs.data(), GGI_MARK_NONEXISTING_GLYPHS);
    SelectObject(dc, old);
    ReleaseDC(w.form.LAcom, dc);
    EXPECT_EQ(std::wstring(face), L"Microsoft Sans Serif");
    EXPECT_TRUE(metrics.tmPitchAndFamily & TMPF_TRUETYPE);
    EXPECT_NEAR(metrics.tmHeight - metrics.tmInternalLeading, MulDiv(8, dpi, 72), 1);
    for (size_t i = 0; i < letters.size(); ++i) EXPECT_NE(glyphs[i], 0xFFFF) << i;
  }

  // Captions: the labels, the group's frame, the check boxes and radio
  // buttons beside their glyph, the picture buttons beside their picture.
  for (HWND c = GetWindow(w.form.PAmain, GW_CHILD); c; c = GetWindow(c, GW_HWNDNEXT)) {
    wchar_t cls[32] = {};
    GetClassNameW(c, cls, 32);
    const std::wstring text = Text(c);
    const LONG style = GetWindowLongW(c, GWL_STYLE);
    RECT r;
    GetClientRect(c, &r);
    const bool isStatic = std::wstring(cls) == L"Static";
    const SIZE t = TextSize(c, !isStatic || !(style & SS_NOPREFIX));
    const int id = GetDlgCtrlID(c);
    if (isStatic && !text.empty() && id != idLw) {
      EXPECT_LE(t.cx, r.right) << Utf8Of(text);
      EXPECT_LE(t.cy, r.bottom) << Utf8Of(text);
    } else if (std::wstring(cls) == L"Button") {
      const LONG kind = style & BS_TYPEMASK;
      if (kind == BS_GROUPBOX) {
        EXPECT_LE(t.cx + 2 * s(8), r.right) << Utf8Of(text);
      } else if (kind == BS_OWNERDRAW) {
        EXPECT_LE(32 + s(4) + t.cx + 2 * s(4), r.right) << Utf8Of(text);
      } else {
        const SIZE glyph = GlyphSize(c, kind == BS_AUTORADIOBUTTON);
        EXPECT_LE(glyph.cx, r.right) << id;
        EXPECT_LE(glyph.cy, r.bottom) << id;
        if (!text.empty()) {
          EXPECT_LE(glyph.cx + s(4) + t.cx, r.right) << Utf8Of(text);
          EXPECT_LE(t.cy, r.bottom) << Utf8Of(text);
        }
      }
    }
  }

  // Nothing overlaps but the group's items their frame.
  std::vector<std::pair<HWND, RECT>> shown;
  for (HWND c = GetWindow(w.form.PAmain, GW_CHILD); c; c = GetWindow(c, GW_HWNDNEXT))
    if (IsWindowVisible(c)) shown.push_back({c, RectIn(c, w.form.PAmain)});
  auto inGroup = [&](HWND c) { return c == w.form.RGDTR || (GetDlgCtrlID(c) >= idRGDTRItem0 && GetDlgCtrlID(c) <= idRGDTRItem2); };
  for (size_t i = 0; i < shown.size(); ++i)
    for (size_t j = i + 1; j < shown.size(); ++j) {
      RECT both;
      if (inGroup(shown[i].first) && inGroup(shown[j].first)) continue;
      EXPECT_FALSE(IntersectRect(&both, &shown[i].second, &shown[j].second))
          << Utf8Of(Text(shown[i].first)) << " (" << GetDlgCtrlID(shown[i].first) << ") and "
          << Utf8Of(Text(shown[j].first)) << " (" << GetDlgCtrlID(shown[j].first) << ")";
    }

  // On the screen: the work area holds the whole window, moved from its
  // scaled place by the least distance (to the top left if it is larger).
  RECT outer;
  GetWindowRect(w.form.Handle(), &outer);
  const setup::Box o = window.outer;
  EXPECT_EQ(outer.right - outer.left, s(o.width));
  EXPECT_EQ(outer.bottom - outer.top, s(o.height));
  MONITORINFO monitor{};
  monitor.cbSize = sizeof monitor;
  ASSERT_TRUE(GetMonitorInfoW(MonitorFromWindow(w.form.Handle(), MONITOR_DEFAULTTONEAREST), &monitor));
  const RECT work = monitor.rcWork;
  const int wantX = s(o.width) > work.right - work.left ? work.left : std::min<int>(s(o.x), work.right - s(o.width));
  const int wantY = s(o.height) > work.bottom - work.top ? work.top : std::min<int>(s(o.y), work.bottom - s(o.height));
  EXPECT_EQ(outer.left, wantX);
  EXPECT_EQ(outer.top, wantY);
  std::printf("[ figures ] %d DPI: work area %ld x %ld, window %ld x %ld at (%ld, %ld)\n", dpi, work.right - work.left,
              work.bottom - work.top, outer.right - outer.left, outer.bottom - outer.top, outer.left, outer.top);
}
