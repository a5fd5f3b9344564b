#include "engine.h"

#include <winspool.h>

#include <cstring>
#include <type_traits>

namespace winecheck {
namespace {

std::vector<uint8_t> g_written;
unsigned g_writeCalls = 0;
int g_surfaces = 0;
int g_palettes = 0;
ULONG g_uniq = 1;

using WritePrinterFn = BOOL(WINAPI*)(HANDLE, LPVOID, DWORD, LPDWORD);
WritePrinterFn g_realWritePrinter = nullptr;

struct EnginePalette {
  ULONG mode;
  std::vector<ULONG> colors;
};

// Each stand-in has exactly the type the SDK declares, calling convention included (stdcall on i686).
HBITMAP APIENTRY CheckEngCreateBitmap(SIZEL sizl, LONG lWidth, ULONG iFormat, FLONG fl, PVOID pvBits) {
  if (iFormat != BMF_24BPP || sizl.cx <= 0 || sizl.cy <= 0 || pvBits) {
    // The driver only asks for engine-allocated 24-bit pages.
    SetLastError(ERROR_INVALID_PARAMETER);
    return nullptr;
  }
  const LONG stride = (sizl.cx * 24 + 31) / 32 * 4;
  if (lWidth != 0 && lWidth != stride) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return nullptr;
  }
  BITMAPINFO bi{.bmiHeader = {.biSize = sizeof(BITMAPINFOHEADER), .biWidth = sizl.cx,
                              .biHeight = (fl & BMF_TOPDOWN) ? -sizl.cy : sizl.cy, .biPlanes = 1, .biBitCount = 24,
                              .biCompression = BI_RGB}};
  void* bits = nullptr;
  HBITMAP dib = CreateDIBSection(nullptr, &bi, DIB_RGB_COLORS, &bits, nullptr, 0);
  if (!dib || !bits) return nullptr;
  if (!(fl & BMF_NOZEROINIT)) std::memset(bits, 0, size_t(stride) * sizl.cy);
  auto* s = new EngineSurface{};
  s->dib = dib;
  SURFOBJ& so = s->so;
  so.hsurf = reinterpret_cast<HSURF>(s);
  so.sizlBitmap = sizl;
  so.cjBits = ULONG(stride) * ULONG(sizl.cy);
  so.pvBits = bits;
  // pvScan0 is the first scan line as displayed: a bottom-up bitmap starts at its last row.
  if (fl & BMF_TOPDOWN) {
    so.pvScan0 = bits;
    so.lDelta = stride;
  } else {
    so.pvScan0 = static_cast<uint8_t*>(bits) + size_t(stride) * (sizl.cy - 1);
    so.lDelta = -stride;
  }
  so.iUniq = g_uniq++;
  so.iBitmapFormat = iFormat;
  so.iType = STYPE_BITMAP;
  so.fjBitmap = static_cast<USHORT>(fl & BMF_TOPDOWN);
  ++g_surfaces;
  return reinterpret_cast<HBITMAP>(s);
}

BOOL APIENTRY CheckEngAssociateSurface(HSURF hsurf, HDEV hdev, FLONG flHooks) {
  EngineSurface* s = SurfaceFromHandle(hsurf);
  if (!s || !hdev) {
    SetLastError(ERROR_INVALID_HANDLE);
    return FALSE;
  }
  s->hdev = hdev;
  s->hooks = flHooks;
  s->associated = true;
  s->so.hdev = hdev;
  s->so.dhpdev = reinterpret_cast<EngineDevice*>(hdev)->dhpdev;
  return TRUE;
}

BOOL APIENTRY CheckEngDeleteSurface(HSURF hsurf) {
  EngineSurface* s = SurfaceFromHandle(hsurf);
  if (!s) return FALSE;
  DeleteObject(s->dib);
  delete s;
  --g_surfaces;
  return TRUE;
}

HPALETTE APIENTRY CheckEngCreatePalette(ULONG iMode, ULONG cColors, ULONG* pulColors, FLONG, FLONG, FLONG) {
  auto* p = new EnginePalette{iMode, {}};
  if (iMode == PAL_INDEXED && pulColors) p->colors.assign(pulColors, pulColors + cColors);
  ++g_palettes;
  return reinterpret_cast<HPALETTE>(p);
}

BOOL APIENTRY CheckEngDeletePalette(HPALETTE hpal) {
  if (!hpal) return FALSE;
  delete reinterpret_cast<EnginePalette*>(hpal);
  --g_palettes;
  return TRUE;
}

BOOL APIENTRY CheckEngCheckAbort(SURFOBJ*) { return FALSE; }

SURFOBJ* APIENTRY CheckEngLockSurface(HSURF hsurf) {
  EngineSurface* s = SurfaceFromHandle(hsurf);
  return s ? &s->so : nullptr;
}

VOID APIENTRY CheckEngUnlockSurface(SURFOBJ*) {}

BOOL WINAPI RecordWritePrinter(HANDLE printer, LPVOID buf, DWORD size, LPDWORD written) {
  ++g_writeCalls;
  const BOOL ok = g_realWritePrinter(printer, buf, size, written);
  if (ok && written) {
    const auto* p = static_cast<const uint8_t*>(buf);
    g_written.insert(g_written.end(), p, p + *written);
  }
  return ok;
}

static_assert(std::is_same_v<decltype(&CheckEngCreateBitmap), decltype(&EngCreateBitmap)>);
static_assert(std::is_same_v<decltype(&CheckEngAssociateSurface), decltype(&EngAssociateSurface)>);
static_assert(std::is_same_v<decltype(&CheckEngDeleteSurface), decltype(&EngDeleteSurface)>);
static_assert(std::is_same_v<decltype(&CheckEngCreatePalette), decltype(&EngCreatePalette)>);
static_assert(std::is_same_v<decltype(&CheckEngDeletePalette), decltype(&EngDeletePalette)>);
static_assert(std::is_same_v<decltype(&CheckEngCheckAbort), decltype(&EngCheckAbort)>);
static_assert(std::is_same_v<decltype(&CheckEngLockSurface), decltype(&EngLockSurface)>);
static_assert(std::is_same_v<decltype(&CheckEngUnlockSurface), decltype(&EngUnlockSurface)>);
static_assert(std::is_same_v<decltype(&RecordWritePrinter), decltype(&WritePrinter)>);

struct Replacement {
  const char* name;
  void* fn;
};

const Replacement kEngine[] = {
    {"EngCreateBitmap", reinterpret_cast<void*>(&CheckEngCreateBitmap)},
    {"EngAssociateSurface", reinterpret_cast<void*>(&CheckEngAssociateSurface)},
    {"EngDeleteSurface", reinterpret_cast<void*>(&CheckEngDeleteSurface)},
    {"EngCreatePalette", reinterpret_cast<void*>(&CheckEngCreatePalette)},
    {"EngDeletePalette", reinterpret_cast<void*>(&CheckEngDeletePalette)},
    {"EngCheckAbort", reinterpret_cast<void*>(&CheckEngCheckAbort)},
    {"EngLockSurface", reinterpret_cast<void*>(&CheckEngLockSurface)},
    {"EngUnlockSurface", reinterpret_cast<void*>(&CheckEngUnlockSurface)},
};

template <class Fn>
void ForEachImport(HMODULE module, Fn fn) {
  auto* base = reinterpret_cast<BYTE*>(module);
  auto* dos = reinterpret_cast<IMAGE_DOS_HEADER*>(base);
  auto* nt = reinterpret_cast<IMAGE_NT_HEADERS*>(base + dos->e_lfanew);
  const IMAGE_DATA_DIRECTORY& dir = nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_IMPORT];
  if (!dir.VirtualAddress) return;
  for (auto* d = reinterpret_cast<IMAGE_IMPORT_DESCRIPTOR*>(base + dir.VirtualAddress); d->Name; ++d) {
    const char* dll = reinterpret_cast<const char*>(base + d->Name);
    auto* names = reinterpret_cast<IMAGE_THUNK_DATA*>(base + (d->OriginalFirstThunk ? d->OriginalFirstThunk : d->FirstThunk));
    auto* slots = reinterpret_cast<IMAGE_THUNK_DATA*>(base + d->FirstThunk);
    for (; names->u1.AddressOfData; ++names, ++slots) {
      if (IMAGE_SNAP_BY_ORDINAL(names->u1.Ordinal)) continue;
      auto* byName = reinterpret_cast<IMAGE_IMPORT_BY_NAME*>(base + names->u1.AddressOfData);
      fn(dll, reinterpret_cast<const char*>(byName->Name), &slots->u1.Function);
    }
  }
}

}  // namespace

int PatchImport(HMODULE module, const char* name, void* fn) {
  int count = 0;
  ForEachImport(module, [&](const char*, const char* imported, decltype(IMAGE_THUNK_DATA{}.u1.Function)* slot) {
    if (std::strcmp(imported, name) != 0) return;
    DWORD old = 0;
    VirtualProtect(slot, sizeof *slot, PAGE_READWRITE, &old);
    *slot = reinterpret_cast<ULONG_PTR>(fn);
    VirtualProtect(slot, sizeof *slot, old, &old);
    ++count;
  });
  return count;
}

std::vector<std::string> ImportedNames(HMODULE module, const char* dll) {
  std::vector<std::string> out;
  ForEachImport(module, [&](const char* from, const char* name, auto*) {
    if (lstrcmpiA(from, dll) == 0) out.emplace_back(name);
  });
  return out;
}

bool PatchEngine(HMODULE module, std::string* missing) {
  missing->clear();
  for (const std::string& name : ImportedNames(module, "gdi32.dll")) {
    if (name.compare(0, 3, "Eng") != 0) continue;
    bool known = false;
    for (const Replacement& r : kEngine) known = known || name == r.name;
    if (!known) *missing += (missing->empty() ? "" : " ") + name;
  }
  if (!missing->empty()) return false;
  for (const Replacement& r : kEngine) PatchImport(module, r.name, r.fn);
  g_realWritePrinter = reinterpret_cast<WritePrinterFn>(
      reinterpret_cast<void*>(GetProcAddress(GetModuleHandleA("winspool.drv"), "WritePrinter")));
  if (!g_realWritePrinter) {
    *missing = "WritePrinter (winspool.drv)";
    return false;
  }
  PatchImport(module, "WritePrinter", reinterpret_cast<void*>(&RecordWritePrinter));
  return true;
}

std::vector<uint8_t>& WrittenBytes() { return g_written; }
unsigned& WriteCalls() { return g_writeCalls; }

EngineSurface* SurfaceFromHandle(HSURF surface) {
  auto* s = reinterpret_cast<EngineSurface*>(surface);
  return s && s->so.hsurf == surface ? s : nullptr;
}

int LiveSurfaces() { return g_surfaces; }
int LivePalettes() { return g_palettes; }

}  // namespace winecheck
