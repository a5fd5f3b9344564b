#include "ui/sample.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <vector>

#include "image/bmp.h"
#include "render/colour_adjust.h"
#include "render/dither_mode.h"

namespace {

// Black or white of a 1-bit image into all three channels of a 24-bit one of the same size, eight
// pixels (24 bytes) per source byte.
void SpreadBits(const RasterImage& bits, RasterImage& picture) {
  static const auto kExpand = [] {
    std::array<std::array<uint8_t, 24>, 256> t{};
    for (int b = 0; b < 256; ++b)
      for (int i = 0; i < 8; ++i) t[b][3 * i] = t[b][3 * i + 1] = t[b][3 * i + 2] = (b >> (7 - i)) & 1 ? 255 : 0;
    return t;
  }();
  const uint8_t flip = bits.Palette()[1].Red != 0 ? 0x00 : 0xFF;  // makes 1 white
  const uint32_t w = picture.Width(), whole = w / 8;
  for (uint32_t y = 0; y < picture.Height(); ++y) {
    const uint8_t* src = bits.Row(y);
    uint8_t* dst = picture.Row(y);
    for (uint32_t i = 0; i < whole; ++i, dst += 24) std::memcpy(dst, kExpand[src[i] ^ flip].data(), 24);
    if (w & 7) std::memcpy(dst, kExpand[src[whole] ^ flip].data(), 3 * (w & 7));
  }
}

// The pipeline's grey of a colour after the colour correction `level`.
inline uint8_t CorrectedGrey(const uint8_t level[256], uint8_t red, uint8_t green, uint8_t blue) {
  return WeightedGrey(level[blue], level[green], level[red]);
}

}  // namespace

bool LoadSamplePicture(HINSTANCE module, RasterImage& out) {
  HRSRC found = FindResourceW(module, MAKEINTRESOURCEW(kSampleBitmapId), MAKEINTRESOURCEW(2) /* RT_BITMAP */);
  if (!found) return false;
  HGLOBAL loaded = LoadResource(module, found);
  const DWORD size = SizeofResource(module, found);
  const auto* dib = static_cast<const uint8_t*>(loaded ? LockResource(loaded) : nullptr);
  if (!dib || size < 40) return false;
  // A bitmap resource is the file without its 14-byte header; put one back in front.
  DWORD header = 0, colours = 0;
  uint16_t bitCount = 0;
  std::memcpy(&header, dib, 4);
  std::memcpy(&bitCount, dib + 14, 2);
  std::memcpy(&colours, dib + 32, 4);
  if (bitCount <= 8 && colours == 0) colours = 1u << bitCount;
  const DWORD offset = 14 + header + (bitCount <= 8 ? colours * 4 : 0);
  std::vector<uint8_t> file(14 + size);
  file[0] = 'B';
  file[1] = 'M';
  const DWORD fileSize = DWORD(file.size());
  std::memcpy(&file[2], &fileSize, 4);
  std::memcpy(&file[10], &offset, 4);
  std::memcpy(&file[14], dib, size);
  RasterImage picture;
  if (!ParseBmp(file.data(), file.size(), picture)) return false;
  if (picture.Bpp() != 8 && !picture.IncreaseBits(24)) return false;
  out = std::move(picture);
  return true;
}

bool ProcessSample(const RasterImage& picture, int contrast, int brightness, uint32_t ditherLevel, bool original,
                   RasterImage& out) {
  if (!picture.IsValid() || (picture.Bpp() != 24 && picture.Bpp() != 8)) return false;
  uint8_t level[256];
  ColourAdjustTable(contrast, brightness, level);
  const uint32_t w = picture.Width(), h = picture.Height();
  // A redraw into the image of the last one keeps its pixels: only its values change.
  RasterImage fresh;
  const bool reuse = out.IsValid() && out.Width() == w && out.Height() == h && out.Bpp() == 24;
  if (!reuse && !fresh.Create(w, h, 24)) return false;
  RasterImage& result = reuse ? out : fresh;
  const ImageColour* palette = picture.Palette();
  if (original) {
    for (uint32_t y = 0; y < h; ++y) {
      const uint8_t* src = picture.Row(y);
      uint8_t* dst = result.Row(y);
      if (picture.Bpp() == 24) {
        for (uint32_t i = 0; i < 3 * w; ++i) dst[i] = level[src[i]];
      } else {
        for (uint32_t x = 0; x < w; ++x, dst += 3) {
          const ImageColour& c = palette[src[x]];
          dst[0] = level[c.Blue];
          dst[1] = level[c.Green];
          dst[2] = level[c.Red];
        }
      }
    }
    if (!reuse) out = std::move(fresh);
    return true;
  }
  RasterImage grey;
  if (picture.Bpp() == 8) {
    // The same indices under a grey palette of the corrected colours: the dithering reads grey
    // through the palette, one look-up per pixel.
    grey = picture;
    if (!grey.IsValid()) return false;
    ImageColour greys[256]{};
    for (uint32_t i = 0; i < picture.PaletteSize(); ++i) {
      const uint8_t g = CorrectedGrey(level, palette[i].Red, palette[i].Green, palette[i].Blue);
      greys[i].Red = greys[i].Green = greys[i].Blue = g;
    }
    grey.SetPalette(greys, 256);
  } else {
    if (!grey.Create(w, h, 8)) return false;
    for (uint32_t y = 0; y < h; ++y) {
      const uint8_t* src = picture.Row(y);
      uint8_t* dst = grey.Row(y);
      for (uint32_t x = 0; x < w; ++x, src += 3) dst[x] = CorrectedGrey(level, src[2], src[1], src[0]);
    }
  }
  if (!ApplyDitherMode(grey, DitherModeForLevel(ditherLevel))) return false;
  SpreadBits(grey, result);
  if (!reuse) out = std::move(fresh);
  return true;
}

RECT WatermarkPlacement(int clientW, int clientH, int picW, int picH, int scale, int horizontal, int vertical) {
  RECT r{0, 0, 0, 0};
  if (clientW <= 0 || clientH <= 0 || picW <= 0 || picH <= 0 || scale <= 0) return r;
  const int64_t w = int64_t(clientW) * scale / 100;
  const int64_t h = int64_t(double(clientW) / picW * picH) * scale / 100;
  if (w <= 0 || h <= 0) return r;
  const int64_t left = w < clientW ? (clientW - w) * horizontal / 100 : 0;
  const int64_t top = h < clientH ? (clientH - h) * vertical / 100 : 0;
  r.left = LONG(left);
  r.top = LONG(top);
  r.right = LONG(left + w);
  r.bottom = LONG(top + h);
  return r;
}

bool LoadWatermarkPicture(const WCHAR* path, int clientW, WatermarkPicture* out) {
  *out = WatermarkPicture{};
  RasterImage picture;
  if (!path || !path[0] || !picture.LoadBmp(path) || !picture.IncreaseBits(24)) return false;
  const uint32_t w = picture.Width(), h = picture.Height();
  if (clientW > 0 && w > uint32_t(clientW)) {
    const uint32_t reduced = uint32_t(std::max<uint64_t>(1, (uint64_t(h) * uint32_t(clientW) + w / 2) / w));
    if (!picture.ResampleSimple(uint32_t(clientW), reduced, RasterImage::kBilinearOrArea)) return false;
  }
  out->Image = std::move(picture);
  out->Width = int(w);
  out->Height = int(h);
  return true;
}

bool DrawWatermarkPreview(const WatermarkPicture& source, int clientW, int clientH, int brightness, int scale,
                          int horizontal, int vertical, RasterImage& out) {
  if (clientW <= 0 || clientH <= 0) return false;
  RasterImage canvas;
  if (!canvas.Create(uint32_t(clientW), uint32_t(clientH), 24) || !canvas.Clear(255)) return false;
  out = std::move(canvas);
  if (!source.Image.IsValid()) return false;
  const RECT r = WatermarkPlacement(clientW, clientH, source.Width, source.Height, scale, horizontal, vertical);
  if (r.right <= r.left || r.bottom <= r.top) return false;
  RasterImage picture = source.Image;
  if (!picture.IsValid()) return false;
  const int lift = (255 - brightness) * 128 / 100;
  for (uint32_t y = 0; y < picture.Height(); ++y) {
    uint8_t* row = picture.Row(y);
    for (uint32_t i = 0; i < 3 * picture.Width(); ++i) row[i] = uint8_t(std::min(255, row[i] + lift));
  }
  if (!picture.Dither(RasterImage::kStucki) || !picture.IncreaseBits(24) ||
      !picture.ResampleSimple(uint32_t(r.right - r.left), uint32_t(r.bottom - r.top), RasterImage::kNearest))
    return false;
  // Stored rows run bottom-up: the rectangle's top edge is stored row clientH - r.bottom.
  return out.Mix(picture, r.left, clientH - r.bottom);
}

bool MakeWatermarkPreview(const WCHAR* path, int clientW, int clientH, int brightness, int scale, int horizontal,
                          int vertical, RasterImage& out) {
  WatermarkPicture picture;
  LoadWatermarkPicture(path, clientW, &picture);
  return DrawWatermarkPreview(picture, clientW, clientH, brightness, scale, horizontal, vertical, out);
}

HBITMAP ImageToBitmap(const RasterImage& picture) {
  if (!picture.IsValid() || picture.Bpp() != 24) return nullptr;
  BITMAPINFO info{};
  // Top-down rows (a negative height): the loop below turns the picture's bottom-up rows over.
  info.bmiHeader = {.biSize = sizeof(BITMAPINFOHEADER), .biWidth = LONG(picture.Width()),
                    .biHeight = -LONG(picture.Height()), .biPlanes = 1, .biBitCount = 24, .biCompression = BI_RGB};
  void* bits = nullptr;
  HBITMAP bitmap = CreateDIBSection(nullptr, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
  if (!bitmap || !bits) return bitmap;
  const uint32_t stride = RasterImage::StrideFor(picture.Width(), 24);
  const uint32_t h = picture.Height();
  for (uint32_t y = 0; y < h; ++y)
    std::memcpy(static_cast<uint8_t*>(bits) + size_t(y) * stride, picture.Row(h - 1 - y), stride);
  return bitmap;
}

void ShowPicture(HWND dlg, int id, HBITMAP bitmap) {
  auto old = reinterpret_cast<HBITMAP>(
      SendDlgItemMessageW(dlg, id, STM_SETIMAGE, IMAGE_BITMAP, reinterpret_cast<LPARAM>(bitmap)));
  if (old && old != bitmap) DeleteObject(old);
}
