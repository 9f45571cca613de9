// The Windows window's plumbing on the system's own controls: its making
// from the form description, its messages, and its controls as the set-up
// sees them. One file of about 770 lines: all three rest on the same few
// conversions (the pane's text, the shown control characters) and window
// helpers at its top, which a split would have to publish for this file's
// sake alone.
#include "app/umset_win32.h"

#include <commctrl.h>

#include <algorithm>
#include <charconv>
#include <cstdint>
#include <string_view>
#include <utility>
#include <vector>

#include "app/button_pictures_win32.h"
#include "app/control_ids_win32.h"
#include "app/window_place.h"
#include "setup/form_description.h"
#include "setup/pane_text.h"
#include "toolkit/codepage.h"

namespace app {
namespace {

using namespace app::win32;

constexpr wchar_t kPanelClass[] = L"ZorvikPanel";
constexpr wchar_t kGaugeClass[] = L"ZorvikGauge";
// A drop-down box's height is its list's; the field's comes from the font.
constexpr int kPortListHeight = 200;
constexpr int kCaptionWidth = 80;

const setup::WindowDescription& Window() { return setup::MainWindow(); }
std::wstring Utf16(std::string_view utf8) { return toolkit::Wide(utf8, CP_UTF8); }

// Control characters are shown as their pictures (U+2400…): an edit box
// would break the line at a CR or, one line high, cut the text there; the
// bytes come back when the text is read.
std::wstring Shown(const std::string& cp1251) { return toolkit::Wide(setup::PaneShown(cp1251), CP_UTF8); }
std::string Bytes(const std::wstring& shown) { return setup::PaneBytes(toolkit::Narrow(shown, CP_UTF8)); }

// The system's edit box lays a paragraph out in time that grows with the
// square of its length (a 40 000-character reply took 27 s under Wine, with
// blanks or without): the log pane breaks a long line into paragraphs of at
// most 100 characters, after a blank where one is near. The break is
// "\r\r\n", which nothing logged contains (control characters are shown as
// pictures) and which is dropped again when the pane is read.
constexpr size_t kParagraph = 100;
constexpr std::wstring_view kSoftBreak = L"\r\r\n";

std::wstring PaneLine(const std::string& cp1251) {
  const std::wstring shown = Shown(cp1251);
  if (shown.size() <= kParagraph) return shown;
  std::wstring out;
  out.reserve(shown.size() + shown.size() / kParagraph * 3);
  size_t start = 0;
  while (shown.size() - start > kParagraph) {
    const size_t blank = shown.find_last_of(L' ', start + kParagraph - 1);
    const size_t end = blank != std::wstring::npos && blank > start + kParagraph / 2 ? blank + 1 : start + kParagraph;
    out.append(shown, start, end - start).append(kSoftBreak);
    start = end;
  }
  return out.append(shown, start, std::wstring::npos);
}

std::string PaneBytesOf(std::wstring text) {
  size_t kept = 0;
  for (size_t i = 0; i < text.size();) {
    if (text.compare(i, kSoftBreak.size(), kSoftBreak) == 0) {
      i += kSoftBreak.size();
      continue;
    }
    text[kept++] = text[i++];
  }
  text.resize(kept);
  return Bytes(text);
}

std::wstring TextOf(HWND hwnd) {
  std::wstring text(size_t(GetWindowTextLengthW(hwnd)) + 1, L'\0');
  text.resize(size_t(GetWindowTextW(hwnd, text.data(), int(text.size()))));
  return text;
}

COLORREF ToColorref(toolkit::TColor c) { return toolkit::IsSystemColour(c) ? GetSysColor(c & 0xFF) : COLORREF(c); }

bool Checked(HWND button) { return SendMessageW(button, BM_GETCHECK, 0, 0) == BST_CHECKED; }
bool Shows(HWND hwnd) { return (GetWindowLongW(hwnd, GWL_STYLE) & WS_VISIBLE) != 0; }

// The outline design of MS Sans Serif, which every Windows from 2000 on has,
// with Cyrillic whatever the system locale. MS Sans Serif itself is a bitmap
// face: its files come per system locale (Cyrillic letters only with a
// Russian one) and in sizes for 96 and 120 DPI only.
constexpr wchar_t kFontFace[] = L"Microsoft Sans Serif";

HFONT MakeFont(int points, int dpi, bool bold, bool italic) {
  return CreateFontW(-MulDiv(points, dpi, 72), 0, 0, 0, bold ? FW_BOLD : FW_NORMAL, italic, FALSE, FALSE,
                     DEFAULT_CHARSET, OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY,
                     DEFAULT_PITCH | FF_SWISS, kFontFace);
}

// The system's DPI, which the window is drawn at: the program says in its
// manifest that it scales itself.
int SystemDpi() {
  HDC screen = GetDC(nullptr);
  const int dpi = screen ? GetDeviceCaps(screen, LOGPIXELSY) : 96;
  if (screen) ReleaseDC(nullptr, screen);
  return dpi > 0 ? dpi : 96;
}

void RegisterClasses(HINSTANCE instance, WNDPROC form, WNDPROC panel, WNDPROC gauge) {
  WNDCLASSEXW wc{};
  wc.cbSize = sizeof wc;
  wc.hInstance = instance;
  wc.hCursor = LoadCursorA(nullptr, IDC_ARROW);
  wc.hbrBackground = HBRUSH(COLOR_BTNFACE + 1);
  wc.lpfnWndProc = form;
  wc.lpszClassName = kFormClass;
  wc.hIcon = LoadIconW(instance, MAKEINTRESOURCEW(1));
  RegisterClassExW(&wc);  // a second window finds them registered
  wc.hIcon = nullptr;
  wc.lpfnWndProc = panel;
  wc.lpszClassName = kPanelClass;
  RegisterClassExW(&wc);
  wc.lpfnWndProc = gauge;
  wc.lpszClassName = kGaugeClass;
  RegisterClassExW(&wc);
}

}  // namespace

TForm1::TForm1(Environment env, toolkit::Win32Toolkit& loop)
    : TSetupForm(env.tk, env.platform),
      env_(std::move(env)),
      loop_(loop),
      dpi_(SystemDpi()),
      memoWidth_(S(Window().memoWidth)) {
  INITCOMMONCONTROLSEX icc{sizeof icc, ICC_WIN95_CLASSES | ICC_UPDOWN_CLASS};
  InitCommonControlsEx(&icc);
  BuildControls();
  loop_.SetMessageFilter([this](MSG& msg) { return PreTranslate(msg); });
  FormCreate();
}

TForm1::~TForm1() {
  FormDestroy();
  loop_.SetMessageFilter(nullptr);
  DestroyWindow(form_);
  for (HGDIOBJ o : {HGDIOBJ(font_), HGDIOBJ(waitFont_), HGDIOBJ(gaugeFont_), HGDIOBJ(logBrush_), HGDIOBJ(aquaBrush_)})
    if (o) DeleteObject(o);
  DestroyIcon(plug_);
  DestroyIcon(stop_);
}

// The description's controls: the member and identifier of each name.
struct TForm1::Slot {
  std::string_view name;
  int id;
  HWND TForm1::*control;
};

const TForm1::Slot* TForm1::SlotOf(std::string_view name) {
  static const Slot slots[] = {{"CBcom", idCBcom, &TForm1::CBcom}, {"LAcom", idLAcom, &TForm1::LAcom},
                               {"LEpin", idLEpin, &TForm1::LEpin}, {"BBB", idBBB, &TForm1::BBB},
                               {"BBE", idBBE, &TForm1::BBE},       {"SEw", idSEw, &TForm1::SEw},
                               {"LEPUK", idLEPUK, &TForm1::LEPUK}, {"LEHT", idLEHT, &TForm1::LEHT},
                               {"CBpuk", idCBpuk, &TForm1::CBpuk}, {"CBht", idCBht, &TForm1::CBht},
                               {"RGDTR", idRGDTR, &TForm1::RGDTR}, {"CBsend", idCBsend, &TForm1::CBsend}};
  for (const Slot& slot : slots)
    if (slot.name == name) return &slot;
  return nullptr;
}

HWND TForm1::Control(std::string_view name) const {
  const Slot* slot = SlotOf(name);
  return slot ? this->*(slot->control) : nullptr;
}

TForm1* TForm1::Of(HWND hwnd) {
  return reinterpret_cast<TForm1*>(GetWindowLongPtrW(GetAncestor(hwnd, GA_ROOT), GWLP_USERDATA));
}

HWND TForm1::Child(HWND parent, const wchar_t* cls, const wchar_t* text, DWORD style, const setup::Box& box, int id,
                   DWORD exStyle) {
  const setup::Box at = setup::Scaled(box, dpi_);
  HWND hwnd = CreateWindowExW(exStyle, cls, text, WS_CHILD | style, at.x, at.y, at.width, at.height, parent,
                              reinterpret_cast<HMENU>(INT_PTR(id)), GetModuleHandleW(nullptr), nullptr);
  SendMessageW(hwnd, WM_SETFONT, WPARAM(font_), FALSE);
  return hwnd;
}

void TForm1::CaptionAbove(const setup::Box& box, const wchar_t* text) {
  const int height = Window().labelHeight;
  Child(PAmain, L"STATIC", text, WS_VISIBLE, {box.x, box.y - height - Window().labelGap, kCaptionWidth, height}, -1);
}

namespace {

// Each kind of control as a window of the system's: its class, style and
// extended style; whether it is a stop of the tab order.
struct KindWindow {
  const wchar_t* cls;
  DWORD style, exStyle;
  bool tabStop;
};
const KindWindow& WindowOf(setup::ControlKind kind) {
  using K = setup::ControlKind;
  static const std::pair<K, KindWindow> kinds[] = {
      {K::PortBox, {L"COMBOBOX", WS_VSCROLL | CBS_DROPDOWN | CBS_AUTOHSCROLL, 0, true}},
      {K::StatusLabel, {L"STATIC", SS_NOPREFIX, 0, false}},
      {K::Edit, {L"EDIT", ES_AUTOHSCROLL, WS_EX_CLIENTEDGE, true}},
      {K::Button, {L"BUTTON", BS_OWNERDRAW, 0, true}},
      {K::SpinEdit, {L"EDIT", ES_NUMBER, WS_EX_CLIENTEDGE, true}},
      {K::CheckBox, {L"BUTTON", BS_AUTOCHECKBOX, 0, true}},
      {K::DtrGroup, {L"BUTTON", BS_GROUPBOX, 0, false}}};
  for (const auto& [k, w] : kinds)
    if (k == kind) return w;
  return kinds[0].second;
}

}  // namespace

// A control of PAmain as the description gives it, its caption above it.
HWND TForm1::MakeControl(const setup::ControlDescription& c, int id) {
  const KindWindow& kind = WindowOf(c.kind);
  const DWORD state = (c.visible ? WS_VISIBLE : 0) | (c.enabled ? 0 : WS_DISABLED);
  const std::wstring text = Utf16(c.text);
  setup::Box box = c.box;
  if (c.kind == setup::ControlKind::PortBox) box.height = kPortListHeight;
  HWND made = Child(PAmain, kind.cls, text.c_str(), state | kind.style | (kind.tabStop ? WS_TABSTOP | WS_GROUP : 0),
                    box, id, kind.exStyle);
  if (c.kind == setup::ControlKind::SpinEdit) {
    SEwArrows = Child(PAmain, UPDOWN_CLASSW, L"", UDS_SETBUDDYINT | UDS_ALIGNRIGHT | UDS_ARROWKEYS, {}, -1);
    SendMessageW(SEwArrows, UDM_SETBUDDY, WPARAM(made), 0);
    SendMessageW(SEwArrows, UDM_SETRANGE32, WPARAM(c.minimum), LPARAM(c.maximum));
    int value = c.minimum;
    std::from_chars(c.text.data(), c.text.data() + c.text.size(), value);
    SendMessageW(SEwArrows, UDM_SETPOS32, 0, LPARAM(value));
  }
  // The group's items are PAmain's, over its frame.
  for (int i = 0; c.kind == setup::ControlKind::DtrGroup && i < setup::kDtrItemCount; ++i) {
    const setup::Box b = setup::DtrItemBox(i);
    RGDTRItems[i] = Child(PAmain, L"BUTTON", Utf16(setup::DtrItemText(i)).c_str(),
                          state | BS_AUTORADIOBUTTON | (i == 0 ? WS_GROUP : 0),
                          {c.box.x + b.x, c.box.y + b.y, b.width, b.height}, idRGDTRItem0 + i);
  }
  if (!c.label.empty()) CaptionAbove(c.box, Utf16(c.label).c_str());
  return made;
}

void TForm1::BuildControls() {
  const HINSTANCE instance = GetModuleHandleW(nullptr);
  RegisterClasses(instance, FormProc, PanelProc, GaugeProc);
  font_ = MakeFont(8, dpi_, false, false);
  waitFont_ = MakeFont(8, dpi_, true, true);
  gaugeFont_ = MakeFont(10, dpi_, false, false);
  aquaBrush_ = CreateSolidBrush(RGB(0, 255, 255));
  plug_ = MainsPlugIcon();
  stop_ = StopSignIcon();

  // Outer size and place as designed, scaled; resizable.
  const setup::Box outer = setup::Scaled(Window().outer, dpi_);
  form_ = CreateWindowExW(0, kFormClass, Utf16(Window().caption).c_str(), WS_OVERLAPPEDWINDOW | WS_CLIPCHILDREN,
                          outer.x, outer.y, outer.width, outer.height, nullptr, nullptr, instance, this);
  SetWindowLongPtrW(form_, GWLP_USERDATA, LONG_PTR(this));
  SendMessageW(form_, WM_SETFONT, WPARAM(font_), FALSE);

  // The panels take part in the tab order of their children.
  PAmemo = Child(form_, kPanelClass, L"", WS_VISIBLE, {}, idPAmemo, WS_EX_CONTROLPARENT);
  PAmain = Child(form_, kPanelClass, L"", WS_VISIBLE, {}, idPAmain, WS_EX_CONTROLPARENT);

  const int border = Window().memoBorder;
  MEset = Child(PAmemo, L"EDIT", L"",
                WS_VISIBLE | WS_TABSTOP | WS_VSCROLL | ES_MULTILINE | ES_AUTOVSCROLL | ES_WANTRETURN | ES_NOHIDESEL,
                {border, border, 0, 0}, idMEset, WS_EX_CLIENTEDGE);
  // An edit box holds 32 767 characters unless told otherwise.
  SendMessageW(MEset, EM_SETLIMITTEXT, 0x7FFFFFFE, 0);

  // Created in the tab order, each under its name and identifier.
  std::vector<std::pair<HWND, std::wstring>> tipTexts = {{MEset, Utf16(Window().memoTooltip)}};
  for (const setup::ControlDescription& c : setup::MainControls()) {
    const Slot* slot = SlotOf(c.name);
    if (!slot) continue;
    HWND made = this->*(slot->control) = MakeControl(c, slot->id);
    if (!c.tooltip.empty()) tipTexts.emplace_back(made, Utf16(c.tooltip));
  }
  SetDtrIndex(setup::kDtrItemChosen);

  Lw = Child(PAmain, L"STATIC", L"ЖДИТЕ  ВАЖНОГО   СООБЩЕНИЯ ", SS_CENTER | SS_NOPREFIX, {}, idLw);
  SendMessageW(Lw, WM_SETFONT, WPARAM(waitFont_), FALSE);
  Gw = Child(PAmain, kGaugeClass, L"", 0, {}, idGw);

  // Tooltips, shown when the mouse rests on the control.
  HWND tips = tips_ = CreateWindowExW(WS_EX_TOPMOST, TOOLTIPS_CLASSW, nullptr, WS_POPUP | TTS_ALWAYSTIP | TTS_NOPREFIX,
                              CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, form_, nullptr, instance,
                              nullptr);
  SendMessageW(tips, TTM_SETMAXTIPWIDTH, 0, 400);
  for (auto& [control, text] : tipTexts) {
    TTTOOLINFOW tool{};
    tool.cbSize = TTTOOLINFOW_V2_SIZE;  // understood by every version of the tooltip control
    tool.uFlags = TTF_IDISHWND | TTF_SUBCLASS;
    tool.hwnd = GetParent(control);
    tool.uId = UINT_PTR(control);
    tool.lpszText = text.data();  // copied by the tooltip control
    SendMessageW(tips, TTM_ADDTOOLW, 0, LPARAM(&tool));
    // A disabled control gets no mouse messages: its parent has them, so
    // the tip is also the parent's over the control's place (LEPUK and LEHT
    // start disabled).
    tool.uFlags = TTF_SUBCLASS;
    tool.uId = UINT_PTR(GetDlgCtrlID(control));
    GetWindowRect(control, &tool.rect);
    MapWindowPoints(nullptr, tool.hwnd, reinterpret_cast<POINT*>(&tool.rect), 2);
    SendMessageW(tips, TTM_ADDTOOLW, 0, LPARAM(&tool));
  }
  // The status label lets the mouse through to PAmain: its tip is PAmain's
  // over the label's place, which follows the label's width.
  TTTOOLINFOW status{};
  status.cbSize = TTTOOLINFOW_V2_SIZE;
  status.uFlags = TTF_SUBCLASS;
  status.hwnd = PAmain;
  status.uId = idLAcom;
  status.lpszText = statusHint_.data();
  SendMessageW(tips, TTM_ADDTOOLW, 0, LPARAM(&status));
  PlaceStatusTip();

  for (HWND edit : {MEset, LEpin, LEPUK, LEHT}) SetWindowSubclass(edit, ControlProc, 0, DWORD_PTR(this));
  Layout();
}

// --- layout: the panels, the splitter, the bottom of PAmain ---

void TForm1::Layout() {
  RECT client;
  GetClientRect(form_, &client);
  const int w = client.right, h = client.bottom;
  const int splitter = S(Window().splitterWidth), border = S(Window().memoBorder), minimum = S(Window().minimumPane);
  // Neither pane narrower than 30 pixels while the window leaves room.
  memoWidth_ = std::max(minimum, std::min(memoWidth_, w - splitter - minimum));
  MoveWindow(PAmemo, 0, 0, memoWidth_, h, TRUE);
  MoveWindow(PAmain, memoWidth_ + splitter, 0, std::max(0, w - memoWidth_ - splitter), h, TRUE);
  MoveWindow(MEset, border, border, std::max(0, memoWidth_ - 2 * border), std::max(0, h - 2 * border), TRUE);
}

void TForm1::PlaceBottomControls() {
  RECT r;
  GetClientRect(PAmain, &r);
  const setup::Box gauge = setup::GaugeBox(r.right, r.bottom, dpi_), label = setup::WaitLabelBox(r.right, r.bottom, dpi_);
  MoveWindow(Gw, gauge.x, gauge.y, gauge.width, gauge.height, TRUE);
  MoveWindow(Lw, label.x, label.y, label.width, label.height, TRUE);
}

bool TForm1::InSplitter(int x) const { return x >= memoWidth_ && x < memoWidth_ + S(Window().splitterWidth); }

// --- window procedures ---

LRESULT CALLBACK TForm1::FormProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
  if (msg == WM_GETMINMAXINFO) {
    // The system would cut a window larger than the screen down to it (as
    // the window is made, before any other message): it keeps its size and
    // goes to the screen's top left.
    auto* limits = reinterpret_cast<MINMAXINFO*>(lParam);
    const int dpi = SystemDpi();
    limits->ptMaxTrackSize.x = std::max<LONG>(limits->ptMaxTrackSize.x, setup::Scaled(Window().outer.width, dpi));
    limits->ptMaxTrackSize.y = std::max<LONG>(limits->ptMaxTrackSize.y, setup::Scaled(Window().outer.height, dpi));
    return 0;
  }
  TForm1* form = reinterpret_cast<TForm1*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
  if (!form || !form->form_) return DefWindowProcW(hwnd, msg, wParam, lParam);
  return form->FormMessage(msg, wParam, lParam);
}

LRESULT TForm1::FormMessage(UINT msg, WPARAM wParam, LPARAM lParam) {
  switch (msg) {
    case WM_SIZE:
      Layout();
      return 0;
    case WM_SETCURSOR: {
      POINT p;
      GetCursorPos(&p);
      ScreenToClient(form_, &p);
      if (LOWORD(lParam) == HTCLIENT && InSplitter(p.x)) {
        SetCursor(LoadCursorA(nullptr, IDC_SIZEWE));
        return TRUE;
      }
      break;
    }
    case WM_LBUTTONDOWN:
      if (InSplitter(short(LOWORD(lParam)))) {
        dragging_ = true;
        SetCapture(form_);
      }
      return 0;
    case WM_MOUSEMOVE:
      if (dragging_) {
        memoWidth_ = short(LOWORD(lParam)) - 1;
        Layout();
      }
      return 0;
    case WM_LBUTTONUP:
    case WM_CAPTURECHANGED:
      if (dragging_) {
        dragging_ = false;
        if (msg == WM_LBUTTONUP) ReleaseCapture();
      }
      return 0;
    case WM_ACTIVATE:
      // Back to the control that had the focus, as a dialog does.
      if (LOWORD(wParam) == WA_INACTIVE) {
        lastFocus_ = GetFocus();
      } else if (lastFocus_ && IsWindow(lastFocus_)) {
        SetFocus(lastFocus_);
        return 0;
      }
      break;
    case WM_CLOSE:
      // The window goes, and the run with it: the waits nested in handlers
      // return, a prompt that is open ends on the quit, and the loop ends.
      WindowClosing();
      ShowWindow(form_, SW_HIDE);
      PostQuitMessage(0);
      return 0;
  }
  return DefWindowProcW(form_, msg, wParam, lParam);
}

LRESULT CALLBACK TForm1::PanelProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
  TForm1* form = Of(hwnd);
  if (!form || !form->form_) return DefWindowProcW(hwnd, msg, wParam, lParam);
  return form->PanelMessage(hwnd, msg, wParam, lParam);
}

LRESULT TForm1::PanelMessage(HWND panel, UINT msg, WPARAM wParam, LPARAM lParam) {
  switch (msg) {
    case WM_SIZE:
      if (panel == PAmain) PlaceBottomControls();
      return 0;
    case WM_COMMAND:
      Command(LOWORD(wParam), HIWORD(wParam));
      return 0;
    case WM_CTLCOLOREDIT:
      if (HWND(lParam) == MEset) {
        SetBkColor(HDC(wParam), ToColorref(logColour_));
        return LRESULT(logBrush_ ? logBrush_ : GetSysColorBrush(COLOR_WINDOW));
      }
      break;
    case WM_CTLCOLORSTATIC:
      if (HWND(lParam) == LAcom) {
        SetTextColor(HDC(wParam), statusColour_);
        SetBkColor(HDC(wParam), GetSysColor(COLOR_BTNFACE));
        return LRESULT(GetSysColorBrush(COLOR_BTNFACE));
      }
      if (HWND(lParam) == Lw) {
        SetBkColor(HDC(wParam), RGB(0, 255, 255));
        return LRESULT(aquaBrush_);
      }
      break;
    case WM_DRAWITEM: {
      // The start and stop buttons: the picture left of the caption, the two
      // centred together.
      const auto* item = reinterpret_cast<const DRAWITEMSTRUCT*>(lParam);
      RECT r = item->rcItem;
      const bool pressed = item->itemState & ODS_SELECTED, disabled = item->itemState & ODS_DISABLED;
      const bool focused = item->itemState & ODS_FOCUS;
      if (focused) {
        FrameRect(item->hDC, &r, GetSysColorBrush(COLOR_WINDOWFRAME));
        InflateRect(&r, -1, -1);
      }
      DrawFrameControl(item->hDC, &r, DFC_BUTTON, DFCS_BUTTONPUSH | (pressed ? DFCS_PUSHED : 0));
      const std::wstring text = TextOf(item->hwndItem);
      SelectObject(item->hDC, font_);
      SIZE extent{};
      GetTextExtentPoint32W(item->hDC, text.c_str(), int(text.size()), &extent);
      const int shift = pressed ? 1 : 0;
      const int left = (r.left + r.right - (32 + S(4) + extent.cx)) / 2 + shift;
      const int middle = (r.top + r.bottom) / 2 + shift;
      const HICON picture = item->hwndItem == BBB ? plug_ : stop_;
      const UINT state = disabled ? DSS_DISABLED : DSS_NORMAL;
      DrawStateW(item->hDC, nullptr, nullptr, LPARAM(picture), 0, left, middle - 16, 32, 32, DST_ICON | state);
      SetBkMode(item->hDC, TRANSPARENT);
      DrawStateW(item->hDC, nullptr, nullptr, LPARAM(text.c_str()), WPARAM(text.size()), left + 32 + S(4),
                 middle - extent.cy / 2, extent.cx, extent.cy, DST_TEXT | state);
      if (focused) {
        RECT f = r;
        InflateRect(&f, -4, -4);
        DrawFocusRect(item->hDC, &f);
      }
      return TRUE;
    }
  }
  return DefWindowProcW(panel, msg, wParam, lParam);
}

void TForm1::Command(int id, int code) {
  // The buttons and check boxes: a click runs the control's handler.
  using Handler = void (*)(TForm1&);
  static const std::pair<int, Handler> clicks[] = {
      {idBBB, [](TForm1& f) { f.BBBClick(); }},
      {idBBE, [](TForm1& f) { f.BBEClick(); }},
      {idCBpuk, [](TForm1& f) { f.CBpukClick(); }},
      {idCBht, [](TForm1& f) { f.CBhtClick(); }},
      {idCBsend, [](TForm1& f) { f.CBsendClick(); }},
      {idRGDTRItem0, [](TForm1& f) { f.KeepDtrTabStop(); }},
      {idRGDTRItem1, [](TForm1& f) { f.KeepDtrTabStop(); }},
      {idRGDTRItem2, [](TForm1& f) { f.KeepDtrTabStop(); }}};
  if (code == BN_CLICKED)
    for (const auto& [control, handler] : clicks)
      if (control == id) handler(*this);
  if (id != idCBcom) return;
  // Typing runs the choice at every change. Choosing an item runs it also
  // when the item is the one shown, so a busy port can be tried again; the
  // field gets the item's text first.
  if (code == CBN_EDITCHANGE) {
    if (!settingPortText_) CBcomChange();
  } else if (code == CBN_SELENDCANCEL) {
    // The list closed without a choice (Esc, a click elsewhere): the field
    // goes back from the item browsed to to the port that is open.
    const std::wstring chosen = toolkit::WideFrom1251(ChosenPort());
    if (TextOf(CBcom) != chosen) {
      SendMessageW(CBcom, CB_SETCURSEL, WPARAM(SendMessageW(CBcom, CB_FINDSTRINGEXACT, WPARAM(-1), LPARAM(chosen.c_str()))), 0);
      SetPortText(chosen);
    }
  } else if (code == CBN_SELENDOK || (code == CBN_SELCHANGE && !SendMessageW(CBcom, CB_GETDROPPEDSTATE, 0, 0))) {
    const LRESULT index = SendMessageW(CBcom, CB_GETCURSEL, 0, 0);
    if (index < 0) return;
    std::wstring item(size_t(SendMessageW(CBcom, CB_GETLBTEXTLEN, WPARAM(index), 0)) + 1, L'\0');
    item.resize(size_t(SendMessageW(CBcom, CB_GETLBTEXT, WPARAM(index), LPARAM(item.data()))));
    SetPortText(item);
    CBcomChange();
  }
}

// The group is one stop of the tab order, at its chosen item; the arrow keys
// move between the items.
void TForm1::KeepDtrTabStop() {
  for (HWND item : RGDTRItems) {
    const LONG style = GetWindowLongW(item, GWL_STYLE);
    SetWindowLongW(item, GWL_STYLE, Checked(item) ? style | WS_TABSTOP : style & ~WS_TABSTOP);
  }
}

// The edit boxes: typed characters pass the key handlers as Windows-1251
// bytes; the log pane's presses are the pane's gestures.
LRESULT CALLBACK TForm1::ControlProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam, UINT_PTR, DWORD_PTR data) {
  auto* form = reinterpret_cast<TForm1*>(data);
  if (hwnd == form->MEset) {
    switch (msg) {
      case WM_GETDLGCODE: {
        // Tab moves on, as in every other box.
        LRESULT code = DefSubclassProc(hwnd, msg, wParam, lParam);
        const auto* m = reinterpret_cast<const MSG*>(lParam);
        if (m && (m->message == WM_KEYDOWN || m->message == WM_CHAR) && m->wParam == VK_TAB)
          code &= ~(DLGC_WANTALLKEYS | DLGC_WANTTAB | DLGC_WANTMESSAGE);
        return code;
      }
      case WM_LBUTTONDOWN:
      case WM_RBUTTONDOWN:
      case WM_MBUTTONDOWN:
        form->LogPanePress(msg == WM_LBUTTONDOWN, wParam & MK_CONTROL, false);
        break;
      case WM_LBUTTONDBLCLK:
      case WM_RBUTTONDBLCLK:
      case WM_MBUTTONDBLCLK:
        form->LogPanePress(msg == WM_LBUTTONDBLCLK, wParam & MK_CONTROL, true);
        break;
    }
    return DefSubclassProc(hwnd, msg, wParam, lParam);
  }
  if (msg != WM_CHAR || wParam == VK_TAB) return DefSubclassProc(hwnd, msg, wParam, lParam);
  const wchar_t typedChar = wchar_t(wParam);
  const std::string bytes = toolkit::Cp1251FromWide(std::wstring_view(&typedChar, 1));
  char key = bytes.size() == 1 ? bytes[0] : '?';
  const char typed = key;
  const bool command = hwnd == form->LEHT;
  if (command)
    form->LEHTKeyPress(key);
  else
    form->LEpinKeyPress(key);
  if (key == 0 || key == '\r') return 0;
  wchar_t pass = typedChar;
  if (key != typed)
    pass = toolkit::WideFrom1251(std::string(1, key)).front();
  else if (command && uint8_t(key) >= 0x20)
    pass = wchar_t(reinterpret_cast<ULONG_PTR>(CharUpperW(reinterpret_cast<LPWSTR>(ULONG_PTR(typedChar)))));
  return DefSubclassProc(hwnd, WM_CHAR, pass, lParam);
}

// Tab and the arrow keys move between the controls as in a dialog; Enter
// reaches the box it is typed in, where it sends a command.
bool TForm1::PreTranslate(MSG& msg) {
  if (!form_ || (msg.hwnd != form_ && !IsChild(form_, msg.hwnd))) return false;
  const bool typedBox = msg.hwnd == MEset || msg.hwnd == LEpin || msg.hwnd == LEPUK || msg.hwnd == LEHT;
  if (typedBox && (msg.message == WM_KEYDOWN || msg.message == WM_CHAR) && msg.wParam == VK_RETURN) return false;
  return IsDialogMessageW(form_, &msg);
}

LRESULT CALLBACK TForm1::GaugeProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
  TForm1* form = Of(hwnd);
  if (msg == WM_PAINT && form && form->form_) {
    form->PaintGauge(hwnd);
    return 0;
  }
  if (msg == WM_ERASEBKGND) return 1;
  return DefWindowProcW(hwnd, msg, wParam, lParam);
}

// Filling upwards, lime over red, the percentage done in blue.
void TForm1::PaintGauge(HWND hwnd) {
  PAINTSTRUCT ps;
  HDC dc = BeginPaint(hwnd, &ps);
  RECT r;
  GetClientRect(hwnd, &r);
  const int h = r.bottom - r.top;
  const int32_t max = GaugeMax(), progress = GaugeProgress();
  const int filled = max > 0 ? int(int64_t(h) * progress / max) : 0;
  const int percent = max > 0 ? int(int64_t(100) * progress / max) : 0;
  RECT top = r, bottom = r;
  top.bottom = r.bottom - filled;
  bottom.top = top.bottom;
  HBRUSH red = CreateSolidBrush(RGB(255, 0, 0)), lime = CreateSolidBrush(RGB(0, 255, 0));
  FillRect(dc, &top, red);
  FillRect(dc, &bottom, lime);
  DeleteObject(red);
  DeleteObject(lime);
  const std::wstring text = std::to_wstring(percent) + L"%";
  SelectObject(dc, gaugeFont_);
  SetBkMode(dc, TRANSPARENT);
  SetTextColor(dc, RGB(0, 0, 255));
  DrawTextW(dc, text.c_str(), int(text.size()), &r, DT_CENTER | DT_VCENTER | DT_SINGLELINE);
  EndPaint(hwnd, &ps);
}

// --- start and end ---

void TForm1::Show() {
  RECT r;
  GetWindowRect(form_, &r);
  MONITORINFO monitor{};
  monitor.cbSize = sizeof monitor;
  if (GetMonitorInfoW(MonitorFromRect(&r, MONITOR_DEFAULTTONEAREST), &monitor)) {
    const RECT& work = monitor.rcWork;
    const ScreenPoint at = PlaceInside({r.left, r.top, r.right, r.bottom}, {work.left, work.top, work.right, work.bottom});
    SetWindowPos(form_, nullptr, at.x, at.y, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
  }
  ShowWindow(form_, SW_SHOWNORMAL);
  UpdateWindow(form_);
  SetFocus(GetNextDlgTabItem(form_, nullptr, FALSE));
}

void TForm1::FormCreate() {
  TSetupForm::FormCreate(env_.portList ? env_.portList() : std::vector<std::string>(),
                         env_.caption ? env_.caption() : std::string());
}

void TForm1::SetPortList(const std::vector<std::string>& ports) {
  SendMessageW(CBcom, CB_RESETCONTENT, 0, 0);
  for (const std::string& p : ports) SendMessageW(CBcom, CB_ADDSTRING, 0, LPARAM(toolkit::WideFrom1251(p).c_str()));
  if (!ports.empty())
    SendMessageW(CBcom, CB_SETCURSEL, 0, 0);
  else
    SetPortText(L"");
}

void TForm1::SetCaption(const std::string& caption) { SetWindowTextW(form_, toolkit::WideFrom1251(caption).c_str()); }

void TForm1::FormDestroy() { port.Disconnect(); }

// --- the controls as the set-up sees them ---

std::string TForm1::CommandText() const { return Bytes(TextOf(LEHT)); }
void TForm1::SetCommandText(const std::string& text) { SetWindowTextW(LEHT, Shown(text).c_str()); }

bool TForm1::LogLastLineEmpty() const {
  const int length = GetWindowTextLengthW(MEset);
  const LRESULT last = SendMessageW(MEset, EM_LINEINDEX, SendMessageW(MEset, EM_LINEFROMCHAR, length, 0), 0);
  return length == 0 || SendMessageW(MEset, EM_LINELENGTH, last, 0) == 0;
}

void TForm1::AddLogLine(const std::string& line, bool breakFirst) {
  const int length = GetWindowTextLengthW(MEset);
  const std::wstring text = (breakFirst ? L"\r\n" : L"") + PaneLine(line) + L"\r\n";
  SendMessageW(MEset, EM_SETSEL, length, length);
  SendMessageW(MEset, EM_REPLACESEL, FALSE, LPARAM(text.c_str()));
  SendMessageW(MEset, EM_SCROLLCARET, 0, 0);
}

void TForm1::SetLogColour(toolkit::TColor colour) {
  logColour_ = colour;
  if (logBrush_) DeleteObject(logBrush_);
  logBrush_ = toolkit::IsSystemColour(colour) ? nullptr : CreateSolidBrush(COLORREF(colour));
  InvalidateRect(MEset, nullptr, TRUE);
}

void TForm1::SetStartEnabled(bool enabled) { EnableWindow(BBB, enabled); }
bool TForm1::ManualTerminal() const { return Checked(CBht); }
std::string TForm1::PinText() const { return Bytes(TextOf(LEpin)); }

bool TForm1::DtrItemChecked(int index) const {
  return index >= 0 && index < setup::kDtrItemCount && Checked(RGDTRItems[index]);
}

int TForm1::PowerOffSeconds() const { return int(SendMessageW(SEwArrows, UDM_GETPOS32, 0, 0)); }

void TForm1::ShowGauge(int32_t, int32_t) { InvalidateRect(Gw, nullptr, FALSE); }
void TForm1::SetGaugeVisible(bool visible) { ShowWindow(Gw, visible ? SW_SHOWNA : SW_HIDE); }
bool TForm1::GaugeVisible() const { return Shows(Gw); }
void TForm1::SetWaitCaption(const std::string& caption) { SetWindowTextW(Lw, Shown(caption).c_str()); }
void TForm1::SetWaitLabelVisible(bool visible) { ShowWindow(Lw, visible ? SW_SHOWNA : SW_HIDE); }
bool TForm1::WaitLabelVisible() const { return Shows(Lw); }

// The field's own change notice is not the operator's typing.
void TForm1::SetPortText(const std::wstring& text) {
  settingPortText_ = true;
  SetWindowTextW(CBcom, text.c_str());
  settingPortText_ = false;
}

std::string TForm1::PortChoiceText() const { return toolkit::Cp1251FromWide(TextOf(CBcom)); }

void TForm1::SetPortStatus(const std::string& text, toolkit::TColor colour, const std::string& hint) {
  statusColour_ = ToColorref(colour);
  statusHint_ = toolkit::Wide(hint, CP_UTF8);  // its line breaks kept: the tip wraps there
  SetWindowTextW(LAcom, Shown(text).c_str());
  ResizeStatusToText();
  InvalidateRect(LAcom, nullptr, TRUE);
}

void TForm1::PlaceStatusTip() {
  if (!tips_) return;
  TTTOOLINFOW tool{};
  tool.cbSize = TTTOOLINFOW_V2_SIZE;
  tool.hwnd = PAmain;
  tool.uId = idLAcom;
  GetWindowRect(LAcom, &tool.rect);
  MapWindowPoints(nullptr, PAmain, reinterpret_cast<POINT*>(&tool.rect), 2);
  SendMessageW(tips_, TTM_NEWTOOLRECTW, 0, LPARAM(&tool));
  tool.lpszText = statusHint_.data();
  SendMessageW(tips_, TTM_UPDATETIPTEXTW, 0, LPARAM(&tool));
}

// The label is as wide as its text.
void TForm1::ResizeStatusToText() {
  const std::wstring text = TextOf(LAcom);
  HDC dc = GetDC(LAcom);
  SelectObject(dc, font_);
  SIZE extent{};
  GetTextExtentPoint32W(dc, text.c_str(), int(text.size()), &extent);
  ReleaseDC(LAcom, dc);
  SetWindowPos(LAcom, nullptr, 0, 0, std::max<int>(extent.cx, 1), S(setup::MainControl("LAcom").box.height), SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
  PlaceStatusTip();
}

std::string TForm1::PukText() const { return Bytes(TextOf(LEPUK)); }
bool TForm1::PukChecked() const { return Checked(CBpuk); }
void TForm1::SetPukEnabled(bool enabled) { EnableWindow(LEPUK, enabled); }
void TForm1::SetCommandEnabled(bool enabled) { EnableWindow(LEHT, enabled); }
bool TForm1::SendChecked() const { return Checked(CBsend); }

void TForm1::SetDtrEnabled(bool enabled) {
  EnableWindow(RGDTR, enabled);
  for (HWND item : RGDTRItems) EnableWindow(item, enabled);
}

void TForm1::SetDtrIndex(int index) {
  if (index < 0 || index >= setup::kDtrItemCount) return;
  for (int i = 0; i < setup::kDtrItemCount; ++i) SendMessageW(RGDTRItems[i], BM_SETCHECK, i == index ? BST_CHECKED : BST_UNCHECKED, 0);
  KeepDtrTabStop();
}

std::string TForm1::LogText() const { return PaneBytesOf(TextOf(MEset)); }
void TForm1::ClearLog() { SetWindowTextW(MEset, L""); }

}  // namespace app
