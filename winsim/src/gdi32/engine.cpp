// The GDI engine calls of a printer graphics driver: bitmaps, their association with a device,
// palettes and the abort check. Surfaces, palettes and engine devices live in the handle table.
#include <sys/mman.h>

#include <cstdlib>
#include <cstring>
#include <memory>
#include <vector>

#include "internal.h"
#include "winsim/printpath.h"

using namespace winsim::detail;

namespace {

struct EngineDevice : Object {
  DHPDEV dhpdev = nullptr;
};

// Engine-allocated bits. A page bitmap is megabytes that the page's first fill touches all at once:
// large blocks are aligned to 2 MiB and asked for as huge pages, so that the simulated machine does
// not spend a page fault on every 4 KiB of them.
struct BitsFree {
  void operator()(uint8_t* p) const { std::free(p); }
};
using Bits = std::unique_ptr<uint8_t[], BitsFree>;

Bits AllocateBits(uint64_t total) {
  constexpr size_t kHuge = size_t{2} << 20;
  if (total < kHuge) return Bits(static_cast<uint8_t*>(std::malloc(total)));
  const size_t rounded = (total + kHuge - 1) / kHuge * kHuge;
  Bits bits(static_cast<uint8_t*>(std::aligned_alloc(kHuge, rounded)));
#if defined(MADV_HUGEPAGE)
  if (bits) madvise(bits.get(), rounded, MADV_HUGEPAGE);
#endif
  return bits;
}

struct Surface : Object {
  SURFOBJ so{};
  Bits bits;  // engine-allocated bits
  FLONG hooks = 0;
  bool associated = false;
};

struct Palette : Object {
  winsim::PaletteInfo info;
};

struct GdiState {
  size_t surfaces = 0;
  size_t palettes = 0;
  bool abort = false;
  unsigned okChecks = 0;
  unsigned checks = 0;
};
GdiState g_gdi;

// Never-white filler for bits the caller asked not to clear.
constexpr uint8_t kUninitialised = 0xCD;

ULONG BitsPerPixel(ULONG format) {
  switch (format) {
    case BMF_1BPP: return 1;
    case BMF_4BPP: return 4;
    case BMF_8BPP: return 8;
    case BMF_16BPP: return 16;
    case BMF_24BPP: return 24;
    case BMF_32BPP: return 32;
    default: return 0;
  }
}

}  // namespace

namespace winsim::detail {
void ResetGdi() {
  g_gdi = GdiState{};
}
const ResetRegistrar kResetGdi(ResetGdi);
}  // namespace winsim::detail

namespace winsim {

HDEV CreateEngineDevice() {
  return reinterpret_cast<HDEV>(NewHandle(std::make_shared<EngineDevice>()));
}

void SetEngineDevicePdev(HDEV hdev, DHPDEV dhpdev) {
  Guard g(Mutex());
  if (auto d = GetHandle<EngineDevice>(hdev)) d->dhpdev = dhpdev;
}

void DeleteEngineDevice(HDEV hdev) {
  TakeHandleOf<EngineDevice>(hdev);
}

bool GetSurfaceInfo(HSURF surface, SurfaceInfo* info) {
  Guard g(Mutex());
  auto s = GetHandle<Surface>(surface);
  if (!s) return false;
  if (info) {
    info->size = s->so.sizlBitmap;
    info->format = s->so.iBitmapFormat;
    info->hooks = s->hooks;
    info->associated = s->associated;
    info->hdev = s->so.hdev;
    info->engineBits = s->bits != nullptr;
  }
  return true;
}

bool GetPaletteInfo(HPALETTE palette, PaletteInfo* info) {
  Guard g(Mutex());
  auto p = GetHandle<Palette>(palette);
  if (!p) return false;
  if (info) *info = p->info;
  return true;
}

size_t LiveSurfaces() {
  Guard g(Mutex());
  return g_gdi.surfaces;
}

size_t LivePalettes() {
  Guard g(Mutex());
  return g_gdi.palettes;
}

void SetEngineAbort(bool abort, unsigned okChecks) {
  Guard g(Mutex());
  g_gdi.abort = abort;
  g_gdi.okChecks = okChecks;
}

unsigned EngineAbortChecks() {
  Guard g(Mutex());
  return g_gdi.checks;
}

}  // namespace winsim

extern "C" {

HBITMAP APIENTRY EngCreateBitmap(SIZEL sizl, LONG lWidth, ULONG iFormat, FLONG fl, PVOID pvBits) {
  const ULONG bpp = BitsPerPixel(iFormat);
  if (bpp == 0 || sizl.cx <= 0 || sizl.cy <= 0) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return nullptr;
  }
  const uint64_t minStride = (uint64_t(sizl.cx) * bpp + 31) / 32 * 4;
  uint64_t stride = minStride;
  if (pvBits) {
    // Caller memory: lWidth is its row pitch.
    if (lWidth <= 0 || uint64_t(lWidth) < (uint64_t(sizl.cx) * bpp + 7) / 8) {
      SetLastError(ERROR_INVALID_PARAMETER);
      return nullptr;
    }
    stride = uint64_t(lWidth);
  }
  const uint64_t total = stride * uint64_t(sizl.cy);
  if (total > 0x7FFFFFFF) {
    SetLastError(ERROR_NOT_ENOUGH_MEMORY);
    return nullptr;
  }
  auto s = std::make_shared<Surface>();
  uint8_t* bits = static_cast<uint8_t*>(pvBits);
  if (!bits) {
    s->bits = AllocateBits(total);
    if (!s->bits) {
      SetLastError(ERROR_NOT_ENOUGH_MEMORY);
      return nullptr;
    }
    bits = s->bits.get();
    std::memset(bits, (fl & BMF_NOZEROINIT) ? kUninitialised : 0, total);
  }
  SURFOBJ& so = s->so;
  so.sizlBitmap = sizl;
  so.cjBits = ULONG(total);
  so.pvBits = bits;
  if (fl & BMF_TOPDOWN) {
    so.pvScan0 = bits;
    so.lDelta = LONG(stride);
  } else {
    so.pvScan0 = bits + (uint64_t(sizl.cy) - 1) * stride;
    so.lDelta = -LONG(stride);
  }
  so.iUniq = 1;
  so.iBitmapFormat = iFormat;
  so.iType = STYPE_BITMAP;
  so.fjBitmap = USHORT(fl & (BMF_TOPDOWN | BMF_NOZEROINIT | BMF_DONTCACHE | BMF_USERMEM));
  Guard g(Mutex());
  HANDLE h = NewHandle(s);
  so.hsurf = reinterpret_cast<HSURF>(h);
  ++g_gdi.surfaces;
  return reinterpret_cast<HBITMAP>(h);
}

BOOL APIENTRY EngAssociateSurface(HSURF hsurf, HDEV hdev, FLONG flHooks) {
  Guard g(Mutex());
  auto s = GetHandle<Surface>(hsurf);
  auto d = GetHandle<EngineDevice>(hdev);
  if (!s || !d) {
    SetLastError(ERROR_INVALID_HANDLE);
    return FALSE;
  }
  s->so.hdev = hdev;
  s->so.dhpdev = d->dhpdev;
  s->hooks = flHooks;
  s->associated = true;
  return TRUE;
}

BOOL APIENTRY EngDeleteSurface(HSURF hsurf) {
  Guard g(Mutex());
  if (!TakeHandleOrError<Surface>(hsurf)) return FALSE;
  --g_gdi.surfaces;
  return TRUE;
}

SURFOBJ* APIENTRY EngLockSurface(HSURF hsurf) {
  Guard g(Mutex());
  auto s = GetHandle<Surface>(hsurf);
  return s ? &s->so : nullptr;
}

VOID APIENTRY EngUnlockSurface(SURFOBJ*) {}

HPALETTE APIENTRY EngCreatePalette(ULONG iMode, ULONG cColors, ULONG* pulColors, FLONG flRed, FLONG flGreen,
                                   FLONG flBlue) {
  auto p = std::make_shared<Palette>();
  p->info.mode = iMode;
  switch (iMode) {
    case PAL_INDEXED:
      if (cColors == 0 || !pulColors) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
      }
      p->info.colors.assign(pulColors, pulColors + cColors);
      break;
    case PAL_BITFIELDS:
      p->info.red = flRed;
      p->info.green = flGreen;
      p->info.blue = flBlue;
      break;
    case PAL_RGB:
    case PAL_BGR:
    case PAL_CMYK:
      break;
    default:
      SetLastError(ERROR_INVALID_PARAMETER);
      return nullptr;
  }
  Guard g(Mutex());
  ++g_gdi.palettes;
  return reinterpret_cast<HPALETTE>(NewHandle(p));
}

BOOL APIENTRY EngDeletePalette(HPALETTE hpal) {
  Guard g(Mutex());
  if (!TakeHandleOrError<Palette>(hpal)) return FALSE;
  --g_gdi.palettes;
  return TRUE;
}

BOOL APIENTRY EngCheckAbort(SURFOBJ*) {
  Guard g(Mutex());
  ++g_gdi.checks;
  if (!g_gdi.abort) return FALSE;
  if (g_gdi.okChecks > 0) {
    --g_gdi.okChecks;
    return FALSE;
  }
  return TRUE;
}

}  // extern "C"
