// user32: bitmaps and icons from module resources. A bitmap resource is a packed DIB (header, colour
// table, bits); it loads as a 32 bpp bitmap of the display's format. Icons load as handles that carry
// their resource's size; nothing draws them yet.
#include <cstring>

#include "gdi32/surface.h"
#include "internal.h"

using namespace winsim::detail;

namespace {

struct Icon : Object {
  int width = 32, height = 32;
  bool shared = false;
};

// The packed DIB's pixels into a new bitmap; null when the header is not one this loader reads.
HBITMAP BitmapFromPackedDib(const uint8_t* data, size_t size) {
  if (size < sizeof(BITMAPINFOHEADER)) return nullptr;
  BITMAPINFOHEADER h;
  std::memcpy(&h, data, sizeof h);
  if (h.biSize < sizeof(BITMAPINFOHEADER) || h.biSize > size || h.biWidth <= 0 || h.biHeight == 0 ||
      h.biHeight == INT32_MIN || h.biPlanes != 1 || h.biCompression != BI_RGB)
    return nullptr;
  const int bpp = h.biBitCount;
  if (bpp != 1 && bpp != 4 && bpp != 8 && bpp != 24 && bpp != 32) return nullptr;
  const int width = h.biWidth, height = h.biHeight < 0 ? -h.biHeight : h.biHeight;
  if (width > 0x4000 || height > 0x4000) return nullptr;
  const size_t colours = bpp <= 8 ? (h.biClrUsed ? h.biClrUsed : size_t(1) << bpp) : 0;
  const size_t tableAt = h.biSize, bitsAt = tableAt + colours * sizeof(RGBQUAD);
  const size_t stride = (size_t(width) * size_t(bpp) + 31) / 32 * 4;
  if (bitsAt > size || stride * size_t(height) > size - bitsAt) return nullptr;
  const uint8_t* table = data + tableAt;
  HBITMAP bmp = CreateSurfaceBitmap(width, height);
  Surface s;
  if (!bmp || !BitmapSurfaceOf(bmp, &s)) return nullptr;
  for (int y = 0; y < height; ++y) {
    const uint8_t* row = data + bitsAt + stride * size_t(h.biHeight < 0 ? y : height - 1 - y);
    uint8_t* out = s.bits + size_t(y) * size_t(s.stride);
    for (int x = 0; x < width; ++x) {
      const uint8_t* bgr;
      size_t index = 0;
      switch (bpp) {
        case 1: index = (row[x >> 3] >> (7 - (x & 7))) & 1; break;
        case 4: index = (row[x >> 1] >> ((x & 1) ? 0 : 4)) & 0xF; break;
        case 8: index = row[x]; break;
        default: break;
      }
      if (bpp <= 8)
        bgr = index < colours ? table + index * 4 : table;
      else
        bgr = row + size_t(x) * size_t(bpp / 8);
      out[x * 4] = bgr[0];
      out[x * 4 + 1] = bgr[1];
      out[x * 4 + 2] = bgr[2];
      out[x * 4 + 3] = 0;
    }
  }
  ReleaseBitmapSurface(bmp);
  return bmp;
}

// GRPICONDIR: reserved, type (1 icon), count, then 14-byte entries (width, height, ..., id).
HICON IconFromGroup(HINSTANCE instance, LPCWSTR name, int cx, int cy) {
  HRSRC res = FindResourceW(instance, name, RT_GROUP_ICON);
  if (!res) return nullptr;
  const auto* p = static_cast<const uint8_t*>(LockResource(LoadResource(instance, res)));
  const DWORD size = SizeofResource(instance, res);
  if (!p || size < 6 || p[2] != 1) {
    SetLastError(ERROR_RESOURCE_DATA_NOT_FOUND);
    return nullptr;
  }
  const unsigned count = unsigned(p[4] | p[5] << 8);
  auto icon = std::make_shared<Icon>();
  // The entry nearest the asked size (the default 32 x 32); width 0 means 256.
  const int wantW = cx ? cx : 32, wantH = cy ? cy : 32;
  int best = -1;
  for (unsigned i = 0; i < count && 6 + (i + 1) * 14 <= size; ++i) {
    const int w = p[6 + i * 14] ? p[6 + i * 14] : 256, h = p[7 + i * 14] ? p[7 + i * 14] : 256;
    const int score = (w > wantW ? w - wantW : wantW - w) + (h > wantH ? h - wantH : wantH - h);
    if (best < 0 || score < best) {
      best = score;
      icon->width = w;
      icon->height = h;
    }
  }
  if (best < 0) {
    SetLastError(ERROR_RESOURCE_DATA_NOT_FOUND);
    return nullptr;
  }
  return reinterpret_cast<HICON>(NewHandle(icon));
}

}  // namespace

extern "C" {

HBITMAP WINAPI LoadBitmapW(HINSTANCE hInstance, LPCWSTR lpBitmapName) {
  HRSRC res = FindResourceW(hInstance, lpBitmapName, RT_BITMAP);
  if (!res) return nullptr;
  const auto* data = static_cast<const uint8_t*>(LockResource(LoadResource(hInstance, res)));
  HBITMAP bmp = BitmapFromPackedDib(data, SizeofResource(hInstance, res));
  if (!bmp) SetLastError(ERROR_INVALID_DATA);
  return bmp;
}

HICON WINAPI LoadIconW(HINSTANCE hInstance, LPCWSTR lpIconName) {
  if (!hInstance) {
    // The system's icons.
    if (!IS_INTRESOURCE(lpIconName) || LOWORD(lpIconName) < 32512 || LOWORD(lpIconName) > 32518) {
      SetLastError(ERROR_RESOURCE_NAME_NOT_FOUND);
      return nullptr;
    }
    auto icon = std::make_shared<Icon>();
    icon->shared = true;
    return reinterpret_cast<HICON>(NewHandle(icon));
  }
  HICON h = IconFromGroup(hInstance, lpIconName, 0, 0);
  if (h) GetHandle<Icon>(h)->shared = true;  // LoadIcon's icons are shared: DestroyIcon leaves them
  return h;
}

HANDLE WINAPI LoadImageW(HINSTANCE hInst, LPCWSTR name, UINT type, int cx, int cy, UINT fuLoad) {
  if (fuLoad & LR_LOADFROMFILE) {
    SetLastError(ERROR_NOT_SUPPORTED);
    return nullptr;
  }
  switch (type) {
    case IMAGE_BITMAP: return LoadBitmapW(hInst, name);
    case IMAGE_ICON: {
      if (!hInst) return LoadIconW(nullptr, name);
      HICON h = IconFromGroup(hInst, name, cx, cy);
      if (h && (fuLoad & LR_SHARED)) GetHandle<Icon>(h)->shared = true;
      return h;
    }
    default:
      SetLastError(ERROR_INVALID_PARAMETER);
      return nullptr;
  }
}

BOOL WINAPI DestroyIcon(HICON hIcon) {
  Guard g(Mutex());
  auto icon = GetHandle<Icon>(hIcon);
  if (!icon) {
    SetLastError(ERROR_INVALID_ICON_HANDLE);
    return FALSE;
  }
  if (!icon->shared) TakeHandleOf<Icon>(hIcon);
  return TRUE;
}

}  // extern "C"
