// winsim control API: what the GDI+ flat calls drew. Every call is recorded in order with its
// arguments; Reset() clears the list.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include <windows.h>

namespace winsim {

struct GdipCall {
  std::string name;          // "GdipDrawLine", "GdipFillRectangleI", "GdipAddPathArc", ...
  HDC hdc = nullptr;         // the DC of the graphics drawn on; null for calls on no graphics
  std::vector<double> args;  // the numeric arguments in the call's order (coordinates, sizes, angles, ...)
  uint32_t color = 0;        // ARGB of the brush or pen the call uses, or that it creates or clears with
  double penWidth = 0;       // pen calls: the pen's width
  int startCap = 0, endCap = 0, dashStyle = 0;  // pen calls: LineCap and DashStyle values
  std::u16string text;       // GdipDrawString's text (font family and size in args); a family's name
  std::u16string family;     // GdipDrawString: the font's family name
  double transform[6] = {1, 0, 0, 1, 0, 0};  // the world transform in effect (m11 m12 m21 m22 dx dy)
};

std::vector<GdipCall> GdipCalls();
void ClearGdipCalls();
// GDI+ objects not yet deleted (graphics, brushes, pens, paths, fonts, families, formats, images).
size_t LiveGdipObjects();

// The bitmap selected into a memory DC as a PNG file (host path). False: no such DC or the file
// could not be written.
bool WriteDcPng(HDC hdc, const std::string& path);

}  // namespace winsim
