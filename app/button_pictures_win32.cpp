#include "app/button_pictures_win32.h"

#include <cmath>
#include <functional>

namespace app {
namespace {

// Draws on white, then makes an icon whose mask leaves the white out.
HICON Picture(const std::function<void(HDC)>& draw) {
  HDC screen = GetDC(nullptr);
  HDC dc = CreateCompatibleDC(screen);
  HBITMAP colour = CreateCompatibleBitmap(screen, 32, 32);
  HGDIOBJ old = SelectObject(dc, colour);
  RECT all{0, 0, 32, 32};
  FillRect(dc, &all, HBRUSH(GetStockObject(WHITE_BRUSH)));
  draw(dc);
  HBITMAP mask = CreateBitmap(32, 32, 1, 1, nullptr);
  HDC maskDc = CreateCompatibleDC(screen);
  HGDIOBJ oldMask = SelectObject(maskDc, mask);
  for (int y = 0; y < 32; ++y)
    for (int x = 0; x < 32; ++x) {
      const bool white = GetPixel(dc, x, y) == RGB(255, 255, 255);
      SetPixel(maskDc, x, y, white ? RGB(255, 255, 255) : RGB(0, 0, 0));
      if (white) SetPixel(dc, x, y, RGB(0, 0, 0));  // XOR part: nothing where transparent
    }
  SelectObject(maskDc, oldMask);
  SelectObject(dc, old);
  ICONINFO info{TRUE, 0, 0, mask, colour};
  HICON icon = CreateIconIndirect(&info);
  DeleteObject(mask);
  DeleteObject(colour);
  DeleteDC(maskDc);
  DeleteDC(dc);
  ReleaseDC(nullptr, screen);
  return icon;
}

}  // namespace

HICON MainsPlugIcon() {
  return Picture([](HDC dc) {
    SelectObject(dc, GetStockObject(BLACK_BRUSH));
    SelectObject(dc, GetStockObject(BLACK_PEN));
    Rectangle(dc, 11, 2, 14, 11);  // the two pins
    Rectangle(dc, 18, 2, 21, 11);
    RoundRect(dc, 7, 10, 25, 21, 6, 6);
    const POINT neck[] = {{11, 21}, {21, 21}, {18, 26}, {14, 26}};
    Polygon(dc, neck, 4);
    HPEN cable = CreatePen(PS_SOLID, 3, RGB(0, 0, 0));
    HGDIOBJ old = SelectObject(dc, cable);
    const POINT curve[] = {{16, 26}, {16, 31}, {24, 27}, {29, 30}};
    PolyBezier(dc, curve, 4);
    SelectObject(dc, old);
    DeleteObject(cable);
  });
}

HICON StopSignIcon() {
  return Picture([](HDC dc) {
    POINT octagon[8];
    for (int i = 0; i < 8; ++i) {
      const double a = (22.5 + 45.0 * i) * 3.14159265358979 / 180.0;
      octagon[i] = {LONG(std::lround(16 + 15.5 * std::cos(a))), LONG(std::lround(16 + 15.5 * std::sin(a)))};
    }
    HBRUSH red = CreateSolidBrush(RGB(255, 0, 0));
    HPEN edge = CreatePen(PS_SOLID, 1, RGB(255, 0, 0));
    HGDIOBJ oldBrush = SelectObject(dc, red), oldPen = SelectObject(dc, edge);
    Polygon(dc, octagon, 8);
    SelectObject(dc, oldBrush);
    SelectObject(dc, oldPen);
    DeleteObject(red);
    DeleteObject(edge);
    // Not pure white: white is the transparent colour.
    HFONT font = CreateFontW(-10, 0, 0, 0, FW_BOLD, FALSE, FALSE, FALSE, DEFAULT_CHARSET, OUT_DEFAULT_PRECIS,
                             CLIP_DEFAULT_PRECIS, NONANTIALIASED_QUALITY, DEFAULT_PITCH | FF_SWISS, L"Arial");
    HGDIOBJ oldFont = SelectObject(dc, font);
    SetBkMode(dc, TRANSPARENT);
    SetTextColor(dc, RGB(254, 254, 254));
    RECT all{0, 0, 32, 32};
    DrawTextW(dc, L"STOP", 4, &all, DT_CENTER | DT_VCENTER | DT_SINGLELINE);
    SelectObject(dc, oldFont);
    DeleteObject(font);
  });
}

}  // namespace app
