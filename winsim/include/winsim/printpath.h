// winsim machine control for printing: the GDI engine's objects, the spooler's jobs and what
// WritePrinter received, fault injection on that path, the module loader that opens the project's
// driver libraries by their Windows names, and the job runner that drives a printer graphics
// driver through a document the way GDI and the spooler do.
//
// Driver code never includes this header.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "winsim/machine.h"
#include <windows.h>
#include <winddi.h>
#include <winspool.h>

namespace winsim {

// ---- GDI engine --------------------------------------------------------------------------------
// The engine's device handle that GDI passes to DrvCompletePDEV; EngAssociateSurface takes the
// PDEV of the device from it.
HDEV CreateEngineDevice();
void SetEngineDevicePdev(HDEV hdev, DHPDEV dhpdev);
void DeleteEngineDevice(HDEV hdev);

struct SurfaceInfo {
  SIZEL size{};
  ULONG format = 0;
  FLONG hooks = 0;
  bool associated = false;  // EngAssociateSurface was called
  HDEV hdev = nullptr;
  bool engineBits = false;  // bits allocated by the engine
};
bool GetSurfaceInfo(HSURF surface, SurfaceInfo* info);  // false: no such surface

struct PaletteInfo {
  ULONG mode = 0;
  std::vector<ULONG> colors;  // PAL_INDEXED entries
  FLONG red = 0, green = 0, blue = 0;
};
bool GetPaletteInfo(HPALETTE palette, PaletteInfo* info);  // false: no such palette

// Surfaces and palettes not deleted yet.
size_t LiveSurfaces();
size_t LivePalettes();

// EngCheckAbort reports FALSE for the next `okChecks` calls and TRUE after that, until cleared
// with SetEngineAbort(false) or Reset().
void SetEngineAbort(bool abort, unsigned okChecks = 0);
unsigned EngineAbortChecks();  // EngCheckAbort calls since Reset()

// ---- spooler jobs ------------------------------------------------------------------------------
struct SpoolJob {
  DWORD id = 0;
  std::u16string printer, document;
  std::u16string user = u"SYSTEM";  // the account that started the document (JOB_INFO_1W.pUserName)
  std::vector<uint8_t> data;  // every byte WritePrinter accepted, in order
  std::vector<DWORD> writes;  // the byte count of each WritePrinter call, accepted or not
  bool ended = false;         // EndDocPrinter was called
  bool aborted = false;       // AbortPrinter was called
};
// Jobs of `printer` (all printers when empty), oldest first.
std::vector<SpoolJob> SpoolJobs(const std::u16string& printer = u"");
// The data of all jobs of `printer`, concatenated.
std::vector<uint8_t> PrinterOutput(const std::u16string& printer);
// The next StartDocPrinterW returns `id`. The counter starts at 1 and, like a spooler's, is not
// reset by Reset(): a driver library that stays loaded never sees an old job id again.
void SetNextJobId(DWORD id);

enum class WriteFault {
  None,
  Fail,   // WritePrinter returns FALSE (ERROR_NOT_READY) and takes nothing
  Short,  // WritePrinter returns TRUE but takes only half of the bytes (rounded down)
};
// The fault applies after `okCalls` more successful WritePrinter calls and stays until cleared.
void SetWritePrinterFault(WriteFault fault, unsigned okCalls = 0);

// ---- module loader -----------------------------------------------------------------------------
// Opens a project library by its Windows name ("lbldrv6" or "lbldrv6.dll" -> lbldrv6.so) from the
// directories of the environment variable WINSIM_MODULE_PATH (colon-separated), then the folder of
// libwinsim.so (the build's modules/ folder, or where it is installed). The module is registered under its name (GetModuleHandleW finds it, and its
// resources belong to that handle) and DllMain(DLL_PROCESS_ATTACH) runs once, on the first load.
// Loads are counted; nullptr with a message in `error` on failure.
HMODULE LoadDriverModule(const std::u16string& name, std::string* error = nullptr);
// The exported function `name` of a loaded module; nullptr when not exported.
void* GetModuleProc(HMODULE module, const char* name);
// Drops one load; the last one calls DllMain(DLL_PROCESS_DETACH) and closes the library.
bool UnloadDriverModule(HMODULE module);
std::string ModuleDirectory();  // the folder of libwinsim.so, where the modules are

// ---- job runner --------------------------------------------------------------------------------
// A page bitmap as the driver made it: 24-bit BGR, rows top-down, `stride` bytes apart.
struct PageSurface {
  uint8_t* bits = nullptr;
  int32_t width = 0;
  int32_t height = 0;
  int32_t stride = 0;
};
// Draws page `page` (0-based) into the surface, after DrvStartPage has whitened it.
using PageDrawer = std::function<void(int page, const PageSurface& surface)>;

struct JobSpec {
  std::u16string printer;                 // an installed printer
  std::vector<uint8_t> devmode;           // the application's DEVMODE (public part and driver extra); empty: none
  std::u16string document = u"Document";  // the document name given to StartDocPrinterW and DrvStartDoc
  int pages = 1;
  PageDrawer draw;                        // empty: blank pages
  std::u16string module = u"lbldrv6";     // the rendering library
  // ResetDC after these pages (1-based counts of pages sent), as applications that change settings
  // between pages do; nothing after the last page.
  std::vector<int> resetAfterPages;
  // false: the job stays in the spooler as spooled, as in a queue that holds its jobs: it does not go
  // through the printer's language monitor to its port (JobResult::output is the spool data either way).
  bool despool = true;
};

struct JobResult {
  bool ok = false;              // every entry point succeeded
  std::string error;            // the first failure, e.g. "DrvEnablePDEV failed (error 2)"
  DWORD jobId = 0;
  std::vector<uint8_t> output;  // what WritePrinter received for the job
  std::vector<DWORD> writes;    // byte counts of the WritePrinter calls
  GDIINFO gdiInfo{};            // as DrvEnablePDEV filled them
  DEVINFO devInfo{};
};

// Runs one document the way the spooler and GDI do: loads the module, DrvEnableDriver, opens the
// printer, DrvEnablePDEV (with the printer name and handle) and DrvCompletePDEV, DrvEnableSurface,
// StartDocPrinterW and DrvStartDoc with its job id; per page DrvStartPage, the drawing, DrvSendPage;
// DrvEndDoc and EndDocPrinter; then DrvDisableSurface, DrvDisablePDEV and DrvDisableDriver.
// A failing page or document call ends the document with DrvEndDoc(ED_ABORTDOC) and AbortPrinter.
// With resetAfterPages, each ResetDC enables a new PDEV, calls DrvResetPDEV(old, new), disables the
// old surface and PDEV, enables the new surface and calls DrvStartDoc on it with the same job id.
JobResult RunJob(const JobSpec& spec);
JobResult RunJob(const std::u16string& printer, const std::vector<uint8_t>& devmode, int pages,
                 PageDrawer draw = {});

}  // namespace winsim
