// The rendering DLL's device record (PDEV): one heap block holding the fixed record below and,
// directly behind it, the PDEV's own copy of the printer's model record.
#pragma once

#include <cstdint>

#include "common/devmode.h"
#include "common/model.h"
#include "common/paper.h"
#include "common/platform.h"
#include "render/geometry.h"
#include "render/pipeline/pipeline.h"

struct PrinterJobState;

constexpr uint32_t kPdevHeadMagic = 0x746F6C50;  // "Plot"
constexpr uint32_t kPdevTailMagic = 0x56454450;  // "PDEV"
constexpr DWORD kPdevFailed = 0x80000000;        // State: aborted or a write failed; output is dropped

// Per-device colour scratch of the engine's halftoning, reset with each surface.
struct HalftoneScratch {
  uint32_t Flags;
  uint32_t PatternSize;
  void* Memory;  // LocalAlloc'd when in use; freed with the PDEV
};

struct alignas(8) Pdev {
  uint32_t HeadMagic;
  uint32_t Size;           // sizeof(Pdev)
  HDEV EngineDevice;       // from DrvCompletePDEV
  HSURF Surface;           // the page bitmap
  HPALETTE Palette;
  SURFOBJ* SurfObj;        // of the last call; EngCheckAbort needs it
  HANDLE Printer;          // the spooler's handle from DrvEnablePDEV
  HANDLE CaptureFile;      // the open .prt file, or nullptr
  ModelRecord* Model;      // the copy behind this record
  uint8_t* OutputBuffer;   // kOutputBufferBytes, from the first DrvEnableSurface
  DWORD Buffered;
  DWORD State;
  PageBuffers PageBlocks;  // the raster block, kept from page to page; freed with the PDEV
  PrinterDevmode Settings;
  InstalledPaper Paper;    // current paper
  PaperRect OutputRect;    // paper chosen while the settings were built
  DWORD PPDataFlags;
  WCHAR LogFolder[kLogFolderChars];  // as written: 259 characters and the terminator
  PageGeometry Geometry;
  DWORD Resolution;        // model resolution x (InputDPI + 1)
  int32_t SurfaceHeight;   // page bitmap, pixels
  int32_t SurfaceWidth;
  HalftoneScratch Halftone;
  DWORD JobId;
  PaperRecord* Forms;      // the printer's "FORMS" list (LocalAlloc'd), kept with the model
  int FormCount;
  PrinterJobState* Shared; // what the process keeps of this printer's jobs (render/job.h)
  uint32_t LabelsSinceCut; // labels of the job since the cutter last cut (a cut every N the writer counts)
  bool Continued;          // the last DrvStartDoc continued a job already started
  uint32_t TailMagic;
};

// The PDEV behind a handle, or nullptr with ERROR_INVALID_HANDLE unless both magics and the size
// word match.
Pdev* ValidPdev(DHPDEV dhpdev);
// The check of every entry point that receives a surface: the PDEV of so->dhpdev is validated and
// remembers the surface object; an engine abort marks it failed and yields nullptr.
Pdev* PdevForSurface(SURFOBJ* so);
// Marks the PDEV failed when the engine reports an abort; true when it did.
bool CheckAbort(Pdev* pdev);

// DrvEnablePDEV: the model record, the PDEV, the paper lists, the settings (defaults, printer,
// application, attached device), resolution and page geometry. nullptr when the driver info, the
// data file or memory is missing. `module` carries the catalogue resource.
Pdev* CreatePdev(HANDLE printer, LPCWSTR deviceName, const DEVMODEW* appDevmode, HMODULE module);
// The capability records GDI asks for, and the device palette (kept in the PDEV).
void FillGdiInfo(const Pdev* pdev, GDIINFO* info);
// FALSE when the palette cannot be made.
BOOL FillDevInfo(Pdev* pdev, DEVINFO* info);
// Deletes the palette and frees the buffers and the PDEV.
void DestroyPdev(Pdev* pdev);

// DrvEnableSurface / DrvDisableSurface.
HSURF EnableSurface(Pdev* pdev);
void DisableSurface(Pdev* pdev);
