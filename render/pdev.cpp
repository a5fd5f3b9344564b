#include "render/pdev.h"

#include <algorithm>
#include <cstring>
#include <vector>

#include "common/usbport.h"
#include "common/wstr.h"
#include "render/job.h"
#include "render/output.h"

namespace {

constexpr ULONG kGdiInfoVersion = 0x500;
constexpr int kMaxPens = 32;
constexpr ULONG kWhite = 0x00FFFFFF;

size_t ModelBytes(const ModelRecord* model) { return sizeof(ModelRecord) + model->ExtraSize; }

// The printer's default DEVMODE (GetPrinterW level 2) merged over the settings.
void MergePrinterDefaults(Pdev* pdev) {
  DWORD needed = 0;
  GetPrinterW(pdev->Printer, 2, nullptr, 0, &needed);
  if (needed < sizeof(PRINTER_INFO_2W)) return;
  std::vector<uint8_t> buf(needed);
  if (!GetPrinterW(pdev->Printer, 2, buf.data(), needed, &needed)) return;
  const auto* info = reinterpret_cast<const PRINTER_INFO_2W*>(buf.data());
  const auto* dm = reinterpret_cast<const uint8_t*>(info->pDevMode);
  if (!dm || dm < buf.data() || dm >= buf.data() + buf.size()) return;
  // Bounded by the buffer, whatever the stored record claims its sizes are.
  const size_t available = static_cast<size_t>(buf.data() + buf.size() - dm);
  if (available < offsetof(DEVMODEW, dmFields)) return;
  PaperRect paper;
  bool resolved = false;
  MergeDevmode(pdev->Printer, pdev->Model, info->pDevMode, &pdev->Settings, available, &paper, &resolved);
  if (resolved) pdev->OutputRect = paper;
}

void BuildSettings(Pdev* pdev, LPCWSTR deviceName, const DEVMODEW* appDevmode) {
  ModelRecord* model = pdev->Model;
  WCHAR name[CCHDEVICENAME] = {};
  if (deviceName) WStrCopy(name, CCHDEVICENAME, deviceName);
  FillDevmodeDefaults(model, name[0] ? name : nullptr, &pdev->Settings, &pdev->OutputRect);
  MergePrinterDefaults(pdev);
  if (appDevmode) {
    PaperRect paper;
    bool resolved = false;
    MergeDevmode(pdev->Printer, model, appDevmode, &pdev->Settings, 0, &paper, &resolved);
    if (resolved) pdev->OutputRect = paper;
  }
  // A model without language flags in its default still gets the ESC limits when the settings say ESC.
  if (!(model->LanguageDefault & (kLangBitEsc | kLangBitTspl | kLangBitZpl | kLangBitTwl)) &&
      pdev->Settings.PrintLanguage == kLangEsc) {
    model->DarknessMax = 8;
    pdev->Settings.FeedOffset = 20000;
  }
  AdjustForAttachedDevice(pdev->Printer, &pdev->Settings);
}

HPALETTE MakePalette(const ModelRecord* model) {
  if (model->Flags & kModelRaster) return EngCreatePalette(PAL_BGR, 0, nullptr, 0, 0, 0);
  const int pens = model->Pens.Data ? model->Pens.Count : 0;
  if (pens > kMaxPens) return nullptr;
  ULONG colors[kMaxPens + 1];
  const auto* entries = static_cast<const uint8_t*>(model->Pens.Data);
  const size_t entrySize = std::max<size_t>(model->Pens.EntrySize, sizeof(ULONG));
  for (int i = 0; i < pens; ++i) std::memcpy(&colors[i], entries + i * entrySize, sizeof(ULONG));
  colors[pens] = kWhite;
  return EngCreatePalette(PAL_INDEXED, static_cast<ULONG>(pens + 1), colors, 0, 0, 0);
}

int Scale(const Pdev* pdev) { return pdev->Settings.dm.dmScale > 0 ? pdev->Settings.dm.dmScale : 100; }

}  // namespace

Pdev* ValidPdev(DHPDEV dhpdev) {
  auto* pdev = reinterpret_cast<Pdev*>(dhpdev);
  if (!pdev || pdev->HeadMagic != kPdevHeadMagic || pdev->Size != sizeof(Pdev) || pdev->TailMagic != kPdevTailMagic) {
    SetLastError(ERROR_INVALID_HANDLE);
    return nullptr;
  }
  return pdev;
}

bool CheckAbort(Pdev* pdev) {
  if (pdev->SurfObj && EngCheckAbort(pdev->SurfObj)) {
    pdev->State |= kPdevFailed;
    return true;
  }
  return false;
}

Pdev* PdevForSurface(SURFOBJ* so) {
  if (!so) {
    SetLastError(ERROR_INVALID_HANDLE);
    return nullptr;
  }
  Pdev* pdev = ValidPdev(so->dhpdev);
  if (!pdev) return nullptr;
  pdev->SurfObj = so;
  return CheckAbort(pdev) ? nullptr : pdev;
}

Pdev* CreatePdev(HANDLE printer, LPCWSTR deviceName, const DEVMODEW* appDevmode, HMODULE module) {
  ModelRecord* loaded = LoadModelRecord(printer, nullptr, module);
  if (!loaded) return nullptr;
  const size_t modelBytes = ModelBytes(loaded);
  auto* pdev = static_cast<Pdev*>(LocalAlloc(LPTR, sizeof(Pdev) + modelBytes));
  if (!pdev) {
    FreeModelRecord(loaded);
    SetLastError(ERROR_NOT_ENOUGH_MEMORY);
    return nullptr;
  }
  pdev->HeadMagic = kPdevHeadMagic;
  pdev->Size = sizeof(Pdev);
  pdev->TailMagic = kPdevTailMagic;
  pdev->Printer = printer;
  pdev->Shared = PrinterJobs(deviceName);
  // The copy takes over the model's paper list; only the original block is freed.
  pdev->Model = reinterpret_cast<ModelRecord*>(pdev + 1);
  std::memcpy(pdev->Model, loaded, modelBytes);
  LocalFree(loaded);
  if (!pdev->Shared) {
    DestroyPdev(pdev);
    SetLastError(ERROR_NOT_ENOUGH_MEMORY);
    return nullptr;
  }

  // What follows allocates (the printer's records, the device lookup): the PDEV goes if it runs out.
  try {
    pdev->Forms = ReadPaperList(printer, &pdev->FormCount);
    if (!ReadInstalledPaper(printer, &pdev->Paper)) pdev->Paper = DefaultInstalledPaper(pdev->Model);
    BuildSettings(pdev, deviceName, appDevmode);
  } catch (...) {
    DestroyPdev(pdev);
    throw;
  }
  const int multiplier = std::max(1, pdev->Settings.InputDPI + 1);
  pdev->Resolution = pdev->Model->XDpi * static_cast<DWORD>(multiplier);
  pdev->Geometry = ComputePageGeometry(pdev->OutputRect, *pdev->Model, pdev->Settings.dm.dmOrientation);
  pdev->SurfaceWidth = MicronsToDots(pdev->Geometry.Width, pdev->Resolution);
  pdev->SurfaceHeight = MicronsToDots(pdev->Geometry.Height, pdev->Resolution);
  return pdev;
}

void FillGdiInfo(const Pdev* pdev, GDIINFO* gi) {
  const ModelRecord* model = pdev->Model;
  const PageGeometry& g = pdev->Geometry;
  const DWORD r = pdev->Resolution;
  const int scale = Scale(pdev);
  std::memset(gi, 0, sizeof *gi);
  gi->ulVersion = kGdiInfoVersion;
  gi->ulTechnology = (model->Flags & kModelRaster) ? DT_RASPRINTER : DT_PLOTTER;
  gi->ulHorzSize = static_cast<ULONG>(g.Width / (scale * 10));
  gi->ulVertSize = static_cast<ULONG>(g.Height / (scale * 10));
  gi->ulHorzRes = static_cast<ULONG>(pdev->SurfaceWidth);
  gi->ulVertRes = static_cast<ULONG>(pdev->SurfaceHeight);
  gi->cBitsPixel = 24;
  gi->cPlanes = 1;
  gi->ulNumColors = model->MaxPens;
  gi->ulLogPixelsX = gi->ulLogPixelsY = static_cast<ULONG>(scale * r / 100);
  gi->ulAspectX = gi->ulAspectY = r;
  gi->ulAspectXY = AspectXY(r);
  gi->xStyleStep = gi->yStyleStep = 1;
  gi->denStyleStep = static_cast<LONG>(r / 25);
  gi->ptlPhysOffset.x = MicronsToDots(g.OffsetX, r);
  gi->ptlPhysOffset.y = MicronsToDots(g.OffsetY, r);
  gi->szlPhysSize.cx = MicronsToDots(g.PhysWidth, r);
  gi->szlPhysSize.cy = MicronsToDots(g.PhysHeight, r);
  gi->ciDevice = model->ColorInfo;
  gi->ulDevicePelsDPI = static_cast<ULONG>(scale * model->DevicePelsDpi / 100);
  gi->ulPrimaryOrder = PRIMARY_ORDER_CBA;
  gi->ulHTPatternSize = model->HalftonePatternSize;
  gi->ulHTOutputFormat = pdev->Settings.dm.dmColor == DMCOLOR_COLOR ? HT_FORMAT_4BPP : HT_FORMAT_1BPP;
  gi->flHTFlags = HT_FLAG_HAS_BLACK_DYE;
}

BOOL FillDevInfo(Pdev* pdev, DEVINFO* di) {
  const ModelRecord* model = pdev->Model;
  const bool raster = (model->Flags & kModelRaster) != 0;
  const bool colour = (model->Flags & kModelColour) != 0;
  if (!pdev->Palette) pdev->Palette = MakePalette(model);
  if (!pdev->Palette) return FALSE;
  std::memset(di, 0, sizeof *di);
  di->flGraphicsCaps = GCAPS_VECTORFONT | GCAPS_VERTSTRIKE | GCAPS_HORIZSTRIKE | GCAPS_ALTERNATEFILL;
  if (raster) di->flGraphicsCaps |= GCAPS_HALFTONE;
  if (raster && colour) di->flGraphicsCaps |= GCAPS_OPAQUERECT;
  di->iDitherFormat = raster ? BMF_24BPP : BMF_4BPP;
  di->hpalDefault = pdev->Palette;
  return TRUE;
}

void DestroyPdev(Pdev* pdev) {
  // The job's capture file stays open for the job's next PDEV (ResetDC); it is closed when the job ends.
  if (pdev->CaptureFile && pdev->Shared) DetachCaptureFile(pdev);
  if (pdev->Palette) EngDeletePalette(pdev->Palette);
  if (pdev->Halftone.Memory) LocalFree(pdev->Halftone.Memory);
  if (pdev->OutputBuffer) LocalFree(pdev->OutputBuffer);
  ReleasePageBuffers(&pdev->PageBlocks);
  if (pdev->Forms) LocalFree(pdev->Forms);
  if (pdev->Model && pdev->Model->Forms.Data) LocalFree(pdev->Model->Forms.Data);
  // A stale handle must not pass the check after the block is gone.
  pdev->HeadMagic = pdev->TailMagic = 0;
  LocalFree(pdev);
}

HSURF EnableSurface(Pdev* pdev) {
  if (pdev->Halftone.Memory) LocalFree(pdev->Halftone.Memory);
  pdev->Halftone = HalftoneScratch{};
  if (!pdev->OutputBuffer) {
    pdev->OutputBuffer = static_cast<uint8_t*>(LocalAlloc(LPTR, kOutputBufferBytes));
    if (!pdev->OutputBuffer) return nullptr;
  }
  pdev->Buffered = 0;
  SIZEL size{pdev->SurfaceWidth, pdev->SurfaceHeight};
  const LONG stride = static_cast<LONG>((int64_t{pdev->SurfaceWidth} * 24 + 31) / 32 * 4);
  HBITMAP bitmap = EngCreateBitmap(size, stride, BMF_24BPP, BMF_TOPDOWN | BMF_NOZEROINIT, nullptr);
  if (!bitmap) return nullptr;
  HSURF surface = reinterpret_cast<HSURF>(bitmap);
  if (!EngAssociateSurface(surface, pdev->EngineDevice, 0)) {
    EngDeleteSurface(surface);
    return nullptr;
  }
  pdev->Surface = surface;
  return surface;
}

void DisableSurface(Pdev* pdev) {
  if (pdev->Surface) EngDeleteSurface(pdev->Surface);
  pdev->Surface = nullptr;
  pdev->SurfObj = nullptr;
}
