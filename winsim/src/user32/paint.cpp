// user32: painting. BeginPaint validates the window and hands out its device context.
#include "user32/window.h"

using namespace winsim::detail;

extern "C" {

HDC WINAPI BeginPaint(HWND h, LPPAINTSTRUCT ps) {
  auto w = FindWnd(h);
  if (!w || !ps) return nullptr;
  *ps = PAINTSTRUCT{};
  GetClientRect(h, &ps->rcPaint);
  ps->fErase = TRUE;
  w->needsPaint = false;
  ps->hdc = GetDC(h);
  return ps->hdc;
}

BOOL WINAPI EndPaint(HWND h, const PAINTSTRUCT* ps) {
  if (ps && ps->hdc) ReleaseDC(h, ps->hdc);
  AfterPaint(h);
  return TRUE;
}

HDC WINAPI GetDC(HWND) { return nullptr; }

int WINAPI ReleaseDC(HWND, HDC) { return 1; }

}  // extern "C"
