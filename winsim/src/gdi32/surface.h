// gdi32 internals for the other parts of winsim that draw into a DC's bitmap (user32's painting, GDI+).
#pragma once

#include <cstdint>
#include <string>

#include <windows.h>

namespace winsim::detail {

// Pixels as 32-bit BGRX rows, top row first; stride in bytes (positive).
struct Surface {
  uint8_t* bits = nullptr;
  int width = 0, height = 0, stride = 0;
};

// The bitmap selected into a memory DC. A 32 bpp top-down bitmap is seen directly; other layouts
// (24 bpp or bottom-up DIB sections, monochrome bitmaps) through a converted copy that ReleaseSurface
// writes back. Every successful SurfaceOf must be paired with ReleaseSurface. False: no memory DC.
bool SurfaceOf(HDC hdc, Surface* out);
void ReleaseSurface(HDC hdc);

// The same for a bitmap that need not be selected anywhere (GDI+ bitmaps from an HBITMAP, loaded bitmaps).
bool BitmapSurfaceOf(HBITMAP bitmap, Surface* out);
void ReleaseBitmapSurface(HBITMAP bitmap);

// A 32 bpp top-down DIB section of the given size, cleared to zero (the HBITMAP that LoadBitmapW returns
// for a resource bitmap, filled through BitmapSurfaceOf).
HBITMAP CreateSurfaceBitmap(int width, int height);

// A DC drawing on a window's surface bitmap, as GetDC and BeginPaint hand out: unlike a memory DC's
// bitmap, the surface may be open in several of them at once (an owner-drawn control's WM_DRAWITEM
// handler calling GetDC inside the control's BeginPaint). DeleteDC ends it.
HDC CreateWindowSurfaceDC(HBITMAP surface);

// The pixels as a PNG file (host path), for a window's last paint and the like (gdiplus.cpp).
bool WriteSurfacePng(const Surface& s, const std::string& path);

// Cairo drew text: its font caches and fontconfig's state are freed at exit (gdiplus.cpp), so that the
// leak checker of the sanitizer build sees only real leaks.
void UsedCairoText();

// The default system colours (COLOR_WINDOW, COLOR_BTNFACE, ...); black for unknown indexes.
COLORREF SystemColor(int index);

// The DC's colours as drawing code needs them.
COLORREF DcTextColor(HDC hdc);
COLORREF DcBkColor(HDC hdc);
int DcBkMode(HDC hdc);

}  // namespace winsim::detail
