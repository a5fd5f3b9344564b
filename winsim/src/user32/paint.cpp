// user32: painting. Every window paints into a bitmap of its own, the size of its client area, through a
// memory DC that BeginPaint or GetDC hands out; what was painted stays readable.
#include <algorithm>

#include "gdi32/surface.h"
#include "user32/window.h"

using namespace winsim::detail;

namespace {

// The window's bitmap, made (again) when missing or when the client area changed size.
HBITMAP BitmapFor(HWND h) {
  auto w = FindWnd(h);
  if (!w) return nullptr;
  RECT r;
  GetClientRect(h, &r);
  int cx = std::max<LONG>(r.right, 1), cy = std::max<LONG>(r.bottom, 1);
  if (w->bitmap) {
    BITMAP bm{};
    if (GetObjectW(w->bitmap, sizeof bm, &bm) && bm.bmWidth == cx && bm.bmHeight == cy) return w->bitmap;
    DeleteObject(w->bitmap);
  }
  w->bitmap = CreateSurfaceBitmap(cx, cy);
  return w->bitmap;
}

}  // namespace

namespace winsim::detail {
HBITMAP WindowBitmap(HWND h) {
  auto w = FindWnd(h);
  return w ? w->bitmap : nullptr;
}
}  // namespace winsim::detail

extern "C" {

DWORD WINAPI GetSysColor(int index) { return SystemColor(index); }
HBRUSH WINAPI GetSysColorBrush(int index) { return reinterpret_cast<HBRUSH>(INT_PTR(index + 1)); }

HDC WINAPI GetDC(HWND h) {
  HBITMAP bm = BitmapFor(h);
  return bm ? CreateWindowSurfaceDC(bm) : nullptr;
}

int WINAPI ReleaseDC(HWND, HDC dc) { return dc && DeleteDC(dc) ? 1 : 0; }

HDC WINAPI BeginPaint(HWND h, LPPAINTSTRUCT ps) {
  auto w = FindWnd(h);
  if (!w || !ps) return nullptr;
  *ps = PAINTSTRUCT{};
  GetClientRect(h, &ps->rcPaint);
  w->needsPaint = false;
  ps->hdc = GetDC(h);
  // The background is erased first (WM_ERASEBKGND); fErase tells the window whether that was left to it.
  ps->fErase = SendMessageW(h, WM_ERASEBKGND, reinterpret_cast<WPARAM>(ps->hdc), 0) ? FALSE : TRUE;
  return ps->hdc;
}

BOOL WINAPI EndPaint(HWND h, const PAINTSTRUCT* ps) {
  if (ps && ps->hdc) ReleaseDC(h, ps->hdc);
  AfterPaint(h);
  return TRUE;
}

}  // extern "C"
