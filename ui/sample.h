// The Graphics Property page's sample picture and the WaterMark page's preview: pictures made the
// way the printed page is made (the renderer's colour correction and dithering), shown in static
// controls as DIB sections.
#pragma once

#include <cstdint>

#include "common/platform.h"
#include "image/image.h"

constexpr WORD kSampleBitmapId = 112;

// Bitmap resource 112 of `module`: an 8-bit palette image when stored so (the redraws then look
// up each pixel once), else 24-bit; false (image untouched) when it is missing.
bool LoadSamplePicture(HINSTANCE module, RasterImage& out);

// The sample after the page's settings, from a 24-bit or 8-bit palette picture into a 24-bit image
// `out` (its pixels reused when it already has the picture's size and 24 bits, else a new image):
// contrast, then brightness on every channel; then, unless `original`, the pipeline's grey,
// dithered by the renderer's mode for `ditherLevel` (levels above 9 as 8), with black or white
// written into all three channels. False (out untouched) on failure.
bool ProcessSample(const RasterImage& picture, int contrast, int brightness, uint32_t ditherLevel, bool original,
                   RasterImage& out);

// Where the watermark preview draws a picture of picW x picH in a client area of clientW x clientH:
// width = clientW x scale / 100, height = (clientW / picW x picH, truncated) x scale / 100; left and
// top from the position percents while the picture is smaller than the area, else 0. An empty
// rectangle for a picture of no size or scale 0.
RECT WatermarkPlacement(int clientW, int clientH, int picW, int picH, int scale, int horizontal, int vertical);

// The picture of a watermark file as the preview uses it: 24-bit, reduced (by area averages) to the
// preview's width when wider, so that every redraw works on a picture of the preview's size; with the
// file's own size, which the placement is taken from.
struct WatermarkPicture {
  RasterImage Image;
  int Width = 0, Height = 0;
};
// False (out emptied) when the file does not load.
bool LoadWatermarkPicture(const WCHAR* path, int clientW, WatermarkPicture* out);

// The preview of the WaterMark page: a white clientW x clientH 24-bit image with the picture
// lightened by (255 - brightness) x 128 / 100, dithered by Stucki and stretched into its placement.
// False (and a white preview) when there is no picture or it places nothing.
bool DrawWatermarkPreview(const WatermarkPicture& picture, int clientW, int clientH, int brightness, int scale,
                          int horizontal, int vertical, RasterImage& out);
// The same from the file at `path`.
bool MakeWatermarkPreview(const WCHAR* path, int clientW, int clientH, int brightness, int scale, int horizontal,
                          int vertical, RasterImage& out);

// A top-down 24-bit DIB section with the pixels of a 24-bit image; nullptr on failure.
HBITMAP ImageToBitmap(const RasterImage& picture);

// Shows `bitmap` in static control `id` of `dlg` and deletes the bitmap it showed before.
void ShowPicture(HWND dlg, int id, HBITMAP bitmap);
