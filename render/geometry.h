// Page geometry of the rendering DLL: the printable area of the paper on the model, in micrometres,
// and the conversion of micrometres to device dots.
#pragma once

#include <cstdint>

#include "common/model.h"
#include "common/paper.h"
#include "common/platform.h"

// Printable area and page size as GDI sees the page (turned for landscape), in micrometres.
struct PageGeometry {
  int32_t OffsetX;     // printable offset from the page's top left corner
  int32_t OffsetY;
  int32_t Width;       // printable size
  int32_t Height;
  int32_t PhysWidth;   // physical page size
  int32_t PhysHeight;
};

// dots = (R x (micrometres / 100) + 127) / 254: the micrometres are first cut to whole tenths of a
// millimetre.
int32_t MicronsToDots(int32_t microns, DWORD resolution);

// The paper's imageable area cut to the model's hardware margins, turned for orientations 2 and 4
// (landscape; any other value is portrait).
PageGeometry ComputePageGeometry(const PaperRect& paper, const ModelRecord& model, int orientation);

// The smallest integer not below R x sqrt(2): the n whose square, the sum of the first n odd numbers,
// first reaches 2 R^2.
ULONG AspectXY(ULONG resolution);
