// The pictures lbl print prints: PNG, JPEG, BMP or PNM files read into RGB, and drawn onto the page
// bitmap the way an application draws them.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "tools/viewer/png.h"
#include "winsim/printpath.h"

namespace lbl {

using lblview::RgbImage;

// By content: PNG and JPEG (see tools/picture_codecs.h), BMP (what the driver's own BMP reader
// takes), or PNM (P1 to P6, maxval up to 65535). False with a message naming the problem.
bool DecodePicture(const uint8_t* data, size_t size, RgbImage* out, std::string* error);
bool LoadPicture(const std::string& path, RgbImage* out, std::string* error);
bool DecodePnm(const uint8_t* data, size_t size, RgbImage* out, std::string* error);

// Draws `picture` onto a page bitmap already white. Fit (the default): scaled to the largest size
// that fits keeping its aspect ratio, centred, each page pixel the area average of the picture
// pixels it covers. Actual size: pixel for pixel from the top left, cut at the edges.
void DrawPicture(const RgbImage& picture, const winsim::PageSurface& surface, bool actualSize);

}  // namespace lbl
