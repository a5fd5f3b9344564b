// gdi32: memory DCs and the GDI objects they select (bitmaps, brushes, pens), with the blits and fills
// the UI paints with. Printer-driver engine surfaces (engine.cpp) are other objects of the same handle
// table; no call here accepts them.
#include <algorithm>
#include <array>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <type_traits>
#include <utility>
#include <vector>

#include "gdi32/surface.h"
#include "internal.h"

using namespace winsim::detail;

namespace {

struct GdiObject : Object {
  bool stock = false;
  virtual DWORD Type() const = 0;
};

struct FreeBits {
  void operator()(uint8_t* p) const { std::free(p); }
};

struct GdiBitmap : GdiObject {
  int width = 0, height = 0, bpp = 32, stride = 0;
  bool topDown = true;
  bool dib = false;  // DIB section: the caller sees the bits
  BITMAPINFOHEADER header{};
  std::unique_ptr<uint8_t[], FreeBits> storage;
  uint8_t* bits = nullptr;
  HDC selectedInto = nullptr;
  std::vector<uint8_t> shadow;  // 32 bpp top-down view of another layout while views > 0
  int views = 0;
  DWORD Type() const override { return OBJ_BITMAP; }
};

struct GdiBrush : GdiObject {
  UINT style = BS_SOLID;
  COLORREF color = 0;
  DWORD Type() const override { return OBJ_BRUSH; }
};

struct GdiPen : GdiObject {
  UINT style = PS_SOLID;
  int width = 1;
  COLORREF color = 0;
  DWORD Type() const override { return OBJ_PEN; }
};

struct GdiFont : GdiObject {
  DWORD Type() const override { return OBJ_FONT; }
};

struct GdiPalette : GdiObject {
  DWORD Type() const override { return OBJ_PAL; }
};

struct GdiDC : Object {
  HGDIOBJ bitmap = nullptr, brush = nullptr, pen = nullptr, font = nullptr;
  std::shared_ptr<GdiBitmap> bmp;
  std::shared_ptr<GdiBrush> brushObj;
  std::shared_ptr<GdiPen> penObj;
  COLORREF bk = RGB(255, 255, 255), text = RGB(0, 0, 0);
  int bkMode = OPAQUE;
};

// The display memory DCs are compatible with.
constexpr int kScreenWidth = 1920, kScreenHeight = 1080, kScreenBpp = 32, kScreenDpi = 96;

// Stock objects live outside the handle table so that they survive Reset and are never freed.
// Their handles are fixed values far above the table's.
constexpr uintptr_t kStockBase = 0x7FF00000;
constexpr int kDefaultBitmap = 20;  // the 1x1 monochrome bitmap of a new memory DC
constexpr int kStockCount = 21;

HGDIOBJ StockHandle(int i) { return reinterpret_cast<HGDIOBJ>(kStockBase + uintptr_t(i) * 4); }

// A stock brush or pen (T).
template <class T>
std::shared_ptr<GdiObject> MakeStock(UINT style, COLORREF c) {
  auto o = std::make_shared<T>();
  o->style = style;
  o->color = c;
  o->stock = true;
  return o;
}

const std::array<std::shared_ptr<GdiObject>, kStockCount>& Stock() {
  static const auto table = [] {
    std::array<std::shared_ptr<GdiObject>, kStockCount> t;
    t[WHITE_BRUSH] = MakeStock<GdiBrush>(BS_SOLID, RGB(255, 255, 255));
    t[LTGRAY_BRUSH] = MakeStock<GdiBrush>(BS_SOLID, RGB(192, 192, 192));
    t[GRAY_BRUSH] = MakeStock<GdiBrush>(BS_SOLID, RGB(128, 128, 128));
    t[DKGRAY_BRUSH] = MakeStock<GdiBrush>(BS_SOLID, RGB(64, 64, 64));
    t[BLACK_BRUSH] = MakeStock<GdiBrush>(BS_SOLID, RGB(0, 0, 0));
    t[NULL_BRUSH] = MakeStock<GdiBrush>(BS_NULL, 0);
    t[WHITE_PEN] = MakeStock<GdiPen>(PS_SOLID, RGB(255, 255, 255));
    t[BLACK_PEN] = MakeStock<GdiPen>(PS_SOLID, RGB(0, 0, 0));
    t[NULL_PEN] = MakeStock<GdiPen>(PS_NULL, 0);
    for (int f : {OEM_FIXED_FONT, ANSI_FIXED_FONT, ANSI_VAR_FONT, SYSTEM_FONT, DEVICE_DEFAULT_FONT,
                  SYSTEM_FIXED_FONT, DEFAULT_GUI_FONT}) {
      t[f] = std::make_shared<GdiFont>();
      t[f]->stock = true;
    }
    t[DEFAULT_PALETTE] = std::make_shared<GdiPalette>();
    t[DEFAULT_PALETTE]->stock = true;
    t[DC_BRUSH] = MakeStock<GdiBrush>(BS_SOLID, RGB(255, 255, 255));
    t[DC_PEN] = MakeStock<GdiPen>(PS_SOLID, RGB(0, 0, 0));
    auto mono = std::make_shared<GdiBitmap>();
    mono->width = mono->height = 1;
    mono->bpp = 1;
    mono->stride = 2;
    mono->storage.reset(static_cast<uint8_t*>(std::calloc(1, 2)));
    mono->bits = mono->storage.get();
    mono->stock = true;
    t[kDefaultBitmap] = mono;
    return t;
  }();
  return table;
}

std::shared_ptr<GdiObject> ObjectOf(HGDIOBJ h) {
  const uintptr_t v = reinterpret_cast<uintptr_t>(h);
  if (v >= kStockBase && v < kStockBase + kStockCount * 4 && (v - kStockBase) % 4 == 0)
    return Stock()[(v - kStockBase) / 4];
  return GetHandle<GdiObject>(reinterpret_cast<HANDLE>(h));
}

template <class T>
std::shared_ptr<T> ObjectAs(HGDIOBJ h) {
  return std::dynamic_pointer_cast<T>(ObjectOf(h));
}

std::shared_ptr<GdiDC> DcOf(HDC hdc) { return GetHandle<GdiDC>(reinterpret_cast<HANDLE>(hdc)); }

std::shared_ptr<GdiDC> DcOrError(HDC hdc) { return HandleOrError<GdiDC>(reinterpret_cast<HANDLE>(hdc)); }

// The DC attributes of the Get*/Set* calls; `failed` is what the call answers for a bad handle.
template <class T>
T DcField(HDC hdc, T GdiDC::*field, std::type_identity_t<T> failed) {
  Guard g(Mutex());
  auto dc = DcOrError(hdc);
  return dc ? (*dc).*field : failed;
}
// Sets the attribute and returns its previous value.
template <class T>
T SwapDcField(HDC hdc, T GdiDC::*field, std::type_identity_t<T> value, std::type_identity_t<T> failed) {
  Guard g(Mutex());
  auto dc = DcOrError(hdc);
  return dc ? std::exchange((*dc).*field, value) : failed;
}

// ---- pixels ------------------------------------------------------------------------------------

uint8_t* Row(const GdiBitmap& b, int y) {
  return b.bits + size_t(b.topDown ? y : b.height - 1 - y) * size_t(b.stride);
}

COLORREF ReadPixel(const GdiBitmap& b, int x, int y) {
  const uint8_t* r = Row(b, y);
  switch (b.bpp) {
    case 1: return (r[x >> 3] & (0x80 >> (x & 7))) ? RGB(255, 255, 255) : RGB(0, 0, 0);
    case 24: return RGB(r[x * 3 + 2], r[x * 3 + 1], r[x * 3]);
    default: return RGB(r[x * 4 + 2], r[x * 4 + 1], r[x * 4]);
  }
}

// Monochrome bitmaps take the nearer of black and white.
void WritePixel(GdiBitmap& b, int x, int y, COLORREF c) {
  uint8_t* r = Row(b, y);
  switch (b.bpp) {
    case 1: {
      const bool white = GetRValue(c) + GetGValue(c) + GetBValue(c) >= 384;
      if (white)
        r[x >> 3] |= uint8_t(0x80 >> (x & 7));
      else
        r[x >> 3] &= uint8_t(~(0x80 >> (x & 7)));
      break;
    }
    case 24:
      r[x * 3] = GetBValue(c);
      r[x * 3 + 1] = GetGValue(c);
      r[x * 3 + 2] = GetRValue(c);
      break;
    default:
      r[x * 4] = GetBValue(c);
      r[x * 4 + 1] = GetGValue(c);
      r[x * 4 + 2] = GetRValue(c);
      r[x * 4 + 3] = 0;
      break;
  }
}

int StrideFor(int width, int bpp) { return int((int64_t(width) * bpp + 31) / 32 * 4); }

std::shared_ptr<GdiBitmap> NewBitmap(int width, int height, int bpp, bool topDown) {
  const int stride = StrideFor(width, bpp);
  const uint64_t total = uint64_t(stride) * uint64_t(height);
  if (total > 0x7FFFFFFF) {
    SetLastError(ERROR_NOT_ENOUGH_MEMORY);
    return nullptr;
  }
  auto b = std::make_shared<GdiBitmap>();
  b->width = width;
  b->height = height;
  b->bpp = bpp;
  b->stride = stride;
  b->topDown = topDown;
  b->storage.reset(static_cast<uint8_t*>(std::calloc(total ? total : 1, 1)));
  if (!b->storage) {
    SetLastError(ERROR_NOT_ENOUGH_MEMORY);
    return nullptr;
  }
  b->bits = b->storage.get();
  return b;
}

bool Direct(const GdiBitmap& b) { return b.bpp == 32 && b.topDown; }

Surface OpenView(GdiBitmap& b) {
  Surface s;
  s.width = b.width;
  s.height = b.height;
  if (Direct(b)) {
    s.bits = b.bits;
    s.stride = b.stride;
    ++b.views;
    return s;
  }
  s.stride = b.width * 4;
  if (b.views++ == 0) {
    b.shadow.assign(size_t(s.stride) * size_t(b.height), 0);
    for (int y = 0; y < b.height; ++y)
      for (int x = 0; x < b.width; ++x) {
        const COLORREF c = ReadPixel(b, x, y);
        uint8_t* p = &b.shadow[size_t(y) * size_t(s.stride) + size_t(x) * 4];
        p[0] = GetBValue(c);
        p[1] = GetGValue(c);
        p[2] = GetRValue(c);
      }
  }
  s.bits = b.shadow.data();
  return s;
}

void CloseView(GdiBitmap& b) {
  if (b.views <= 0) return;
  if (--b.views > 0 || Direct(b)) return;
  const size_t stride = size_t(b.width) * 4;
  for (int y = 0; y < b.height; ++y)
    for (int x = 0; x < b.width; ++x) {
      const uint8_t* p = &b.shadow[size_t(y) * stride + size_t(x) * 4];
      WritePixel(b, x, y, RGB(p[2], p[1], p[0]));
    }
  b.shadow.clear();
  b.shadow.shrink_to_fit();
}

constexpr COLORREF kSystemColors[] = {
    RGB(200, 200, 200), RGB(0, 0, 0),       RGB(153, 180, 209), RGB(191, 205, 219), RGB(240, 240, 240),
    RGB(255, 255, 255), RGB(100, 100, 100), RGB(0, 0, 0),       RGB(0, 0, 0),       RGB(0, 0, 0),
    RGB(180, 180, 180), RGB(244, 247, 252), RGB(171, 171, 171), RGB(0, 120, 215),   RGB(255, 255, 255),
    RGB(240, 240, 240), RGB(160, 160, 160), RGB(109, 109, 109), RGB(0, 0, 0),       RGB(0, 0, 0),
    RGB(255, 255, 255), RGB(105, 105, 105), RGB(227, 227, 227), RGB(0, 0, 0),       RGB(255, 255, 225),
    RGB(0, 0, 0),       RGB(0, 102, 204),   RGB(185, 209, 234), RGB(215, 228, 242), RGB(51, 153, 255),
    RGB(240, 240, 240)};

// The colour a brush handle paints with; false for a null brush or no brush.
bool BrushColor(HBRUSH h, COLORREF* c) {
  const uintptr_t v = reinterpret_cast<uintptr_t>(h);
  if (v >= 1 && v <= 31) {
    *c = SystemColor(int(v) - 1);
    return true;
  }
  auto b = ObjectAs<GdiBrush>(h);
  if (!b || b->style == BS_NULL) return false;
  *c = b->color;
  return true;
}

struct Extent {
  int64_t pos, len;
  bool mirrored;
};
Extent Normalise(int pos, int len) {
  if (len < 0) return {int64_t(pos) + len, -int64_t(len), true};
  return {pos, len, false};
}

// The raster operations of the UI's blits: source copy and its logical combinations, pattern copy,
// black and white.
bool RopKnown(DWORD rop) {
  switch (rop) {
    case SRCCOPY: case SRCPAINT: case SRCAND: case SRCINVERT: case NOTSRCCOPY: case PATCOPY: case BLACKNESS:
    case WHITENESS:
      return true;
    default:
      return false;
  }
}
bool RopUsesSource(DWORD rop) { return rop != PATCOPY && rop != BLACKNESS && rop != WHITENESS; }

COLORREF ApplyRop(DWORD rop, COLORREF s, COLORREF p, COLORREF d) {
  switch (rop) {
    case SRCCOPY: return s;
    case SRCPAINT: return s | d;
    case SRCAND: return s & d;
    case SRCINVERT: return (s ^ d) & 0xFFFFFF;
    case NOTSRCCOPY: return ~s & 0xFFFFFF;
    case PATCOPY: return p;
    case BLACKNESS: return 0;
    default: return 0xFFFFFF;
  }
}

BOOL Blit(HDC hdcDest, int xDest, int yDest, int wDest, int hDest, HDC hdcSrc, int xSrc, int ySrc, int wSrc,
          int hSrc, DWORD rop) {
  Guard g(Mutex());
  auto dst = DcOrError(hdcDest);
  if (!dst) return FALSE;
  if (!RopKnown(rop)) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  std::shared_ptr<GdiDC> src;
  if (RopUsesSource(rop)) {
    src = DcOrError(hdcSrc);
    if (!src) return FALSE;
  }
  if (wDest == 0 || hDest == 0) return TRUE;
  if (src && (wSrc == 0 || hSrc == 0)) return TRUE;
  GdiBitmap& db = *dst->bmp;
  const Extent dx = Normalise(xDest, wDest), dy = Normalise(yDest, hDest);
  const Extent sx = Normalise(xSrc, wSrc), sy = Normalise(ySrc, hSrc);
  COLORREF pattern = 0;
  if (rop == PATCOPY && !BrushColor(reinterpret_cast<HBRUSH>(dst->brush), &pattern)) return TRUE;

  // Read every source pixel first, so that a blit within one bitmap sees the bits before the blit.
  struct Out {
    int x, y;
    COLORREF c;
  };
  // Only the part inside the destination bitmap.
  const int64_t i0 = std::max<int64_t>(0, -dx.pos), i1 = std::min<int64_t>(dx.len, db.width - dx.pos);
  const int64_t j0 = std::max<int64_t>(0, -dy.pos), j1 = std::min<int64_t>(dy.len, db.height - dy.pos);
  if (i0 >= i1 || j0 >= j1) return TRUE;
  std::vector<Out> out;
  out.reserve(size_t(i1 - i0) * size_t(j1 - j0));
  for (int64_t j = j0; j < j1; ++j) {
    const int y = int(dy.pos + j);
    for (int64_t i = i0; i < i1; ++i) {
      const int x = int(dx.pos + i);
      COLORREF s = 0;
      if (src) {
        const GdiBitmap& sb = *src->bmp;
        int64_t si = (i * 2 + 1) * sx.len / (dx.len * 2);
        int64_t sj = (j * 2 + 1) * sy.len / (dy.len * 2);
        if (sx.mirrored != dx.mirrored) si = sx.len - 1 - si;
        if (sy.mirrored != dy.mirrored) sj = sy.len - 1 - sj;
        const int64_t px = sx.pos + si, py = sy.pos + sj;
        if (px < 0 || py < 0 || px >= sb.width || py >= sb.height) continue;
        s = ReadPixel(sb, int(px), int(py));
        // Monochrome to colour: 0 takes the destination's text colour, 1 its background colour.
        // Colour to monochrome: the source's background colour becomes 1, all else 0.
        if (sb.bpp == 1 && db.bpp != 1)
          s = s ? dst->bk : dst->text;
        else if (sb.bpp != 1 && db.bpp == 1)
          s = s == (src->bk & 0xFFFFFF) ? RGB(255, 255, 255) : RGB(0, 0, 0);
      }
      out.push_back({x, y, ApplyRop(rop, s, pattern, ReadPixel(db, x, y))});
    }
  }
  for (const Out& o : out) WritePixel(db, o.x, o.y, o.c);
  return TRUE;
}

// Makes `obj` the DC's object of its kind and returns the previous one.
HGDIOBJ Select(GdiDC& dc, HGDIOBJ h, const std::shared_ptr<GdiObject>& obj) {
  HGDIOBJ previous = nullptr;
  if (auto b = std::dynamic_pointer_cast<GdiBitmap>(obj)) {
    previous = dc.bitmap;
    if (dc.bmp && !dc.bmp->stock) dc.bmp->selectedInto = nullptr;
    dc.bmp = b;
    dc.bitmap = h;
    return previous;
  }
  if (auto br = std::dynamic_pointer_cast<GdiBrush>(obj)) {
    previous = dc.brush;
    dc.brush = h;
    dc.brushObj = br;
    return previous;
  }
  if (auto p = std::dynamic_pointer_cast<GdiPen>(obj)) {
    previous = dc.pen;
    dc.pen = h;
    dc.penObj = p;
    return previous;
  }
  if (std::dynamic_pointer_cast<GdiFont>(obj)) {
    previous = dc.font;
    dc.font = h;
    return previous;
  }
  return nullptr;
}

}  // namespace

namespace winsim::detail {

bool SurfaceOf(HDC hdc, Surface* out) {
  Guard g(Mutex());
  auto dc = DcOf(hdc);
  if (!dc || !dc->bmp) return false;
  const Surface s = OpenView(*dc->bmp);
  if (out) *out = s;
  return true;
}

void ReleaseSurface(HDC hdc) {
  Guard g(Mutex());
  auto dc = DcOf(hdc);
  if (dc && dc->bmp) CloseView(*dc->bmp);
}

bool BitmapSurfaceOf(HBITMAP bitmap, Surface* out) {
  Guard g(Mutex());
  auto b = ObjectAs<GdiBitmap>(bitmap);
  if (!b) return false;
  const Surface s = OpenView(*b);
  if (out) *out = s;
  return true;
}

void ReleaseBitmapSurface(HBITMAP bitmap) {
  Guard g(Mutex());
  if (auto b = ObjectAs<GdiBitmap>(bitmap)) CloseView(*b);
}

HDC CreateWindowSurfaceDC(HBITMAP surface) {
  HDC hdc = CreateCompatibleDC(nullptr);
  Guard g(Mutex());
  auto dc = DcOf(hdc);
  auto b = std::dynamic_pointer_cast<GdiBitmap>(ObjectOf(surface));
  if (!dc || !b) {
    DeleteDC(hdc);
    return nullptr;
  }
  Select(*dc, surface, b);  // shared: not marked as selected into this one DC
  return hdc;
}

HBITMAP CreateSurfaceBitmap(int width, int height) {
  BITMAPINFO bi{};
  bi.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
  bi.bmiHeader.biWidth = width;
  bi.bmiHeader.biHeight = -height;
  bi.bmiHeader.biPlanes = 1;
  bi.bmiHeader.biBitCount = 32;
  bi.bmiHeader.biCompression = BI_RGB;
  void* bits = nullptr;
  return CreateDIBSection(nullptr, &bi, DIB_RGB_COLORS, &bits, nullptr, 0);
}

COLORREF SystemColor(int index) {
  if (index < 0 || index >= int(sizeof kSystemColors / sizeof kSystemColors[0])) return 0;
  return kSystemColors[index];
}

COLORREF DcTextColor(HDC hdc) { return GetTextColor(hdc); }
COLORREF DcBkColor(HDC hdc) { return GetBkColor(hdc); }
int DcBkMode(HDC hdc) { return GetBkMode(hdc); }

}  // namespace winsim::detail

extern "C" {

HDC WINAPI CreateCompatibleDC(HDC hdc) {
  Guard g(Mutex());
  if (hdc && !DcOrError(hdc)) return nullptr;
  auto dc = std::make_shared<GdiDC>();
  const auto& stock = Stock();
  dc->bitmap = StockHandle(kDefaultBitmap);
  dc->bmp = std::static_pointer_cast<GdiBitmap>(stock[kDefaultBitmap]);
  dc->brush = StockHandle(WHITE_BRUSH);
  dc->brushObj = std::static_pointer_cast<GdiBrush>(stock[WHITE_BRUSH]);
  dc->pen = StockHandle(BLACK_PEN);
  dc->penObj = std::static_pointer_cast<GdiPen>(stock[BLACK_PEN]);
  dc->font = StockHandle(SYSTEM_FONT);
  return reinterpret_cast<HDC>(NewHandle(dc));
}

BOOL WINAPI DeleteDC(HDC hdc) {
  Guard g(Mutex());
  auto dc = TakeHandleOf<GdiDC>(reinterpret_cast<HANDLE>(hdc));
  if (!dc) {
    SetLastError(ERROR_INVALID_HANDLE);
    return FALSE;
  }
  if (dc->bmp && !dc->bmp->stock && dc->bmp->selectedInto == hdc) dc->bmp->selectedInto = nullptr;
  return TRUE;
}

HBITMAP WINAPI CreateCompatibleBitmap(HDC hdc, int cx, int cy) {
  Guard g(Mutex());
  std::shared_ptr<GdiDC> dc;
  if (hdc && !(dc = DcOrError(hdc))) return nullptr;
  if (cx < 0 || cy < 0) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return nullptr;
  }
  if (cx == 0 || cy == 0) return reinterpret_cast<HBITMAP>(StockHandle(kDefaultBitmap));
  // A memory DC's bitmaps are compatible with the bitmap it holds: the monochrome one of a new DC
  // gives monochrome bitmaps.
  const int bpp = dc ? dc->bmp->bpp : kScreenBpp;
  auto b = NewBitmap(cx, cy, bpp, true);
  if (!b) return nullptr;
  return reinterpret_cast<HBITMAP>(NewHandle(b));
}

HBITMAP WINAPI CreateDIBSection(HDC hdc, const BITMAPINFO* pbmi, UINT usage, VOID** ppvBits, HANDLE hSection,
                                DWORD offset) {
  (void)offset;
  if (ppvBits) *ppvBits = nullptr;
  Guard g(Mutex());
  if (hdc && !DcOrError(hdc)) return nullptr;
  if (!pbmi || pbmi->bmiHeader.biSize < sizeof(BITMAPINFOHEADER) || hSection ||
      (usage != DIB_RGB_COLORS && usage != DIB_PAL_COLORS)) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return nullptr;
  }
  const BITMAPINFOHEADER& h = pbmi->bmiHeader;
  if (h.biWidth <= 0 || h.biHeight == 0 || h.biHeight == INT32_MIN || h.biPlanes != 1 ||
      (h.biBitCount != 24 && h.biBitCount != 32) || h.biCompression != BI_RGB) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return nullptr;
  }
  auto b = NewBitmap(h.biWidth, h.biHeight < 0 ? -h.biHeight : h.biHeight, h.biBitCount, h.biHeight < 0);
  if (!b) return nullptr;
  b->dib = true;
  b->header = h;
  b->header.biSize = sizeof(BITMAPINFOHEADER);
  b->header.biSizeImage = DWORD(b->stride) * DWORD(b->height);
  if (ppvBits) *ppvBits = b->bits;
  return reinterpret_cast<HBITMAP>(NewHandle(b));
}

HGDIOBJ WINAPI SelectObject(HDC hdc, HGDIOBJ h) {
  Guard g(Mutex());
  auto dc = DcOrError(hdc);
  if (!dc) return nullptr;
  auto obj = ObjectOf(h);
  if (!obj) {
    SetLastError(ERROR_INVALID_HANDLE);
    return nullptr;
  }
  auto b = std::dynamic_pointer_cast<GdiBitmap>(obj);
  if (b && !b->stock && b->selectedInto && b->selectedInto != hdc && DcOf(b->selectedInto)) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return nullptr;  // a bitmap is selected into one DC at a time
  }
  HGDIOBJ previous = Select(*dc, h, obj);
  if (b && !b->stock) b->selectedInto = hdc;
  return previous;
}

BOOL WINAPI DeleteObject(HGDIOBJ ho) {
  Guard g(Mutex());
  auto obj = ObjectOf(ho);
  if (!obj) {
    SetLastError(ERROR_INVALID_HANDLE);
    return FALSE;
  }
  if (obj->stock) return TRUE;
  if (auto b = std::dynamic_pointer_cast<GdiBitmap>(obj)) {
    // A bitmap still selected into a DC stays.
    if (b->selectedInto && DcOf(b->selectedInto)) return FALSE;
  }
  // A selected brush or pen goes from the table; the DC keeps its object until it selects another.
  TakeHandleOf<GdiObject>(reinterpret_cast<HANDLE>(ho));
  return TRUE;
}

int WINAPI GetObjectW(HANDLE h, int c, LPVOID pv) {
  Guard g(Mutex());
  auto obj = ObjectOf(reinterpret_cast<HGDIOBJ>(h));
  if (!obj) {
    SetLastError(ERROR_INVALID_HANDLE);
    return 0;
  }
  if (auto b = std::dynamic_pointer_cast<GdiBitmap>(obj)) {
    if (!pv) return int(sizeof(BITMAP));
    if (c < int(sizeof(BITMAP))) return 0;
    BITMAP bm{};
    bm.bmWidth = b->width;
    bm.bmHeight = b->height;
    bm.bmPlanes = 1;
    bm.bmBitsPixel = WORD(b->bpp);
    if (b->dib) {
      bm.bmWidthBytes = b->stride;
      bm.bmBits = b->bits;
    } else {
      bm.bmWidthBytes = (b->width * b->bpp + 15) / 16 * 2;  // device bitmaps report word-aligned rows
    }
    if (b->dib && c >= int(sizeof(DIBSECTION))) {
      DIBSECTION ds{};
      ds.dsBm = bm;
      ds.dsBmih = b->header;
      std::memcpy(pv, &ds, sizeof ds);
      return int(sizeof(DIBSECTION));
    }
    std::memcpy(pv, &bm, sizeof bm);
    return int(sizeof(BITMAP));
  }
  if (auto br = std::dynamic_pointer_cast<GdiBrush>(obj)) {
    if (!pv) return int(sizeof(LOGBRUSH));
    if (c < int(sizeof(LOGBRUSH))) return 0;
    LOGBRUSH lb{br->style, br->color, 0};
    std::memcpy(pv, &lb, sizeof lb);
    return int(sizeof lb);
  }
  if (auto p = std::dynamic_pointer_cast<GdiPen>(obj)) {
    if (!pv) return int(sizeof(LOGPEN));
    if (c < int(sizeof(LOGPEN))) return 0;
    LOGPEN lp{p->style, {p->width, 0}, p->color};
    std::memcpy(pv, &lp, sizeof lp);
    return int(sizeof lp);
  }
  return 0;
}

DWORD WINAPI GetObjectType(HGDIOBJ h) {
  Guard g(Mutex());
  if (DcOf(reinterpret_cast<HDC>(h))) return OBJ_MEMDC;
  auto obj = ObjectOf(h);
  if (!obj) {
    SetLastError(ERROR_INVALID_HANDLE);
    return 0;
  }
  return obj->Type();
}

HGDIOBJ WINAPI GetCurrentObject(HDC hdc, UINT type) {
  Guard g(Mutex());
  auto dc = DcOrError(hdc);
  if (!dc) return nullptr;
  switch (type) {
    case OBJ_BITMAP: return dc->bitmap;
    case OBJ_BRUSH: return dc->brush;
    case OBJ_PEN: return dc->pen;
    case OBJ_FONT: return dc->font;
    case OBJ_PAL: return StockHandle(DEFAULT_PALETTE);
    default: return nullptr;
  }
}

HGDIOBJ WINAPI GetStockObject(int i) {
  if (i < 0 || i >= kDefaultBitmap || !Stock()[size_t(i)]) return nullptr;
  return StockHandle(i);
}

HBRUSH WINAPI CreateSolidBrush(COLORREF color) {
  auto b = std::make_shared<GdiBrush>();
  b->color = color & 0xFFFFFF;
  return reinterpret_cast<HBRUSH>(NewHandle(b));
}

HPEN WINAPI CreatePen(int iStyle, int cWidth, COLORREF color) {
  if (iStyle < PS_SOLID || iStyle > PS_NULL) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return nullptr;
  }
  auto p = std::make_shared<GdiPen>();
  p->style = UINT(iStyle);
  p->width = cWidth < 0 ? 0 : cWidth;
  p->color = color & 0xFFFFFF;
  return reinterpret_cast<HPEN>(NewHandle(p));
}

BOOL WINAPI BitBlt(HDC hdc, int x, int y, int cx, int cy, HDC hdcSrc, int x1, int y1, DWORD rop) {
  return Blit(hdc, x, y, cx, cy, hdcSrc, x1, y1, cx, cy, rop);
}

BOOL WINAPI StretchBlt(HDC hdcDest, int xDest, int yDest, int wDest, int hDest, HDC hdcSrc, int xSrc, int ySrc,
                       int wSrc, int hSrc, DWORD rop) {
  return Blit(hdcDest, xDest, yDest, wDest, hDest, hdcSrc, xSrc, ySrc, wSrc, hSrc, rop);
}

int WINAPI FillRect(HDC hDC, const RECT* lprc, HBRUSH hbr) {
  Guard g(Mutex());
  auto dc = DcOrError(hDC);
  if (!dc) return 0;
  if (!lprc) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return 0;
  }
  COLORREF c = 0;
  if (!BrushColor(hbr, &c)) {
    if (!ObjectAs<GdiBrush>(hbr) && reinterpret_cast<uintptr_t>(hbr) > 31) {
      SetLastError(ERROR_INVALID_HANDLE);
      return 0;
    }
    return 1;  // a null brush paints nothing
  }
  GdiBitmap& b = *dc->bmp;
  const int left = std::max<LONG>(lprc->left, 0), right = std::min<LONG>(lprc->right, b.width);
  const int top = std::max<LONG>(lprc->top, 0), bottom = std::min<LONG>(lprc->bottom, b.height);
  for (int y = top; y < bottom; ++y)
    for (int x = left; x < right; ++x) WritePixel(b, x, y, c);
  return 1;
}

COLORREF WINAPI SetBkColor(HDC hdc, COLORREF color) {
  return SwapDcField(hdc, &GdiDC::bk, color & 0xFFFFFF, CLR_INVALID);
}

COLORREF WINAPI GetBkColor(HDC hdc) { return DcField(hdc, &GdiDC::bk, CLR_INVALID); }

COLORREF WINAPI SetTextColor(HDC hdc, COLORREF color) {
  return SwapDcField(hdc, &GdiDC::text, color & 0xFFFFFF, CLR_INVALID);
}

COLORREF WINAPI GetTextColor(HDC hdc) { return DcField(hdc, &GdiDC::text, CLR_INVALID); }

int WINAPI SetBkMode(HDC hdc, int mode) {
  Guard g(Mutex());
  auto dc = DcOrError(hdc);
  if (!dc) return 0;
  if (mode != TRANSPARENT && mode != OPAQUE) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return 0;
  }
  const int previous = dc->bkMode;
  dc->bkMode = mode;
  return previous;
}

int WINAPI GetBkMode(HDC hdc) { return DcField(hdc, &GdiDC::bkMode, 0); }

COLORREF WINAPI GetPixel(HDC hdc, int x, int y) {
  Guard g(Mutex());
  auto dc = DcOrError(hdc);
  if (!dc || x < 0 || y < 0 || x >= dc->bmp->width || y >= dc->bmp->height) return CLR_INVALID;
  return ReadPixel(*dc->bmp, x, y);
}

COLORREF WINAPI SetPixel(HDC hdc, int x, int y, COLORREF color) {
  Guard g(Mutex());
  auto dc = DcOrError(hdc);
  if (!dc || x < 0 || y < 0 || x >= dc->bmp->width || y >= dc->bmp->height) return COLORREF(-1);
  WritePixel(*dc->bmp, x, y, color);
  return ReadPixel(*dc->bmp, x, y);
}

int WINAPI GetDeviceCaps(HDC hdc, int index) {
  Guard g(Mutex());
  if (!DcOrError(hdc)) return 0;
  switch (index) {
    case DRIVERVERSION: return 0x4000;
    case TECHNOLOGY: return DT_RASDISPLAY;
    case HORZSIZE: return (kScreenWidth * 254 + kScreenDpi * 5) / (kScreenDpi * 10);
    case VERTSIZE: return (kScreenHeight * 254 + kScreenDpi * 5) / (kScreenDpi * 10);
    case HORZRES: return kScreenWidth;
    case VERTRES: return kScreenHeight;
    case BITSPIXEL: return kScreenBpp;
    case PLANES: return 1;
    case NUMCOLORS: return -1;
    case RASTERCAPS: return RC_BITBLT | RC_BITMAP64 | RC_DI_BITMAP | RC_DIBTODEV | RC_STRETCHBLT | RC_STRETCHDIB;
    case LOGPIXELSX:
    case LOGPIXELSY: return kScreenDpi;
    default: return 0;  // physical page sizes and offsets belong to printer DCs
  }
}

}  // extern "C"
