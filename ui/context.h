// The printer context of the user-interface DLL: the model record, the merged settings, the current
// paper and the per-printer flags of one printer, built by MapPrinter for one entry-point call or for
// the life of a property sheet. Also the operations on the printer's paper list "FORMS".
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>

#include "common/devmode.h"
#include "common/model.h"
#include "common/paper.h"
#include "common/platform.h"

// MapPrinter flags. 1 is passed by the job check, the printer events and DC_MEDIAREADY and changes nothing.
constexpr DWORD kMapQuiet = 0x1;
constexpr DWORD kMapHelpFile = 0x2;   // look up the help file
constexpr DWORD kMapSheetArea = 0x4;  // add the property-sheet area

// Sheet flags.
constexpr BYTE kSheetMayWrite = 0x01;  // results may be written (also: "FORMS" could be written)
constexpr BYTE kSheetDocument = 0x02;  // the document dialog

constexpr size_t kSheetAreaBytes = 32;

struct SheetState;  // ui/sheets.h
constexpr int kPageWindows = 3;

struct PrinterContext {
  HANDLE Printer;             // not owned
  WCHAR* HelpFile;            // LocalAlloc'd, with kMapHelpFile
  ModelRecord* Model;         // owned; its paper list is "FORMS" when that value exists
  BYTE SheetFlags;
  DWORD MergeMask;            // mask of the last MergeDevmode, 0 when none was done
  PrinterDevmode Settings;
  InstalledPaper CurrentPaper;
  PrinterPropData Prop;       // "PPDataFlags" (6 until read) and "LogFolder"
  const DEVMODEW* CallerSettings;  // not owned
  DEVMODEW* OutputSettings;        // not owned
  BYTE* SheetArea;            // kSheetAreaBytes inside the context's allocation, with kMapSheetArea
  HWND PageWindows[kPageWindows];
  WCHAR* PrinterName;         // LocalAlloc'd full printer name; dmDeviceName keeps at most 31 characters
  DWORD OutputBytes;          // size of OutputSettings (the caller's cbOut)
  SheetState* Sheet;          // LocalAlloc'd while a property sheet owns the context
  // The document sheet's working copy of the settings (ui/working_copy.h): one per sheet, so that
  // sheets open at the same time on other threads keep their own.
  PrinterDevmode Working;
  bool WorkingTaken;
};

// Builds the context of `printer`: model record, "FORMS" as its paper list, defaults merged with the
// printer's default DEVMODE and then `caller`, the attached-device correction, the current paper.
// nullptr on failure, with *errorId (optional) = 1902.
PrinterContext* MapPrinter(HANDLE printer, const DEVMODEW* caller, UINT* errorId, DWORD flags);
void UnmapPrinter(PrinterContext* ctx);

// Whether the settings hold a user-defined size (dmPaperSize 256) without a form name: the paper the
// stock list shows as "USER" at the document's size.
bool IsCustomSize(const DEVMODEW& dm);
// `paper` (the "USER" entry) at the size of the settings' dmPaperWidth x dmPaperLength, its whole
// area printable.
InstalledPaper UserSizedPaper(const InstalledPaper& paper, const DEVMODEW& dm);

// A context unmapped however its scope ends.
struct ContextUnmapper {
  void operator()(PrinterContext* ctx) const { UnmapPrinter(ctx); }
};
using ContextPtr = std::unique_ptr<PrinterContext, ContextUnmapper>;

// The printer of `ctx` opened again by its full name with PRINTER_ALL_ACCESS, as writes of printer data
// need; nullptr when that fails or the name is not known. Close with ClosePrinter.
HANDLE OpenPrinterForWrite(const PrinterContext* ctx);

// The context's paper list (model paper list or "FORMS").
inline PaperRecord* ContextPapers(const PrinterContext* ctx) { return ModelPapers(ctx->Model); }
inline int ContextPaperCount(const PrinterContext* ctx) { return ModelPaperCount(ctx->Model); }

// Paper enumeration over the stored "FORMS" list: entries 1 to count - 1 are reported with their
// numbers, then one report without an entry and with number count for the user-defined size. At most
// `limit` reports (negative: no limit). Returns count, or -1 without "FORMS" or without a model.
using PaperEnumFn = void (*)(const PaperRecord* entry, int number, void* request);
int EnumPaperList(const PrinterContext* ctx, int limit, PaperEnumFn fn, void* request);

// Stores `paper` in "FORMS", replacing the entry of the same name or appending it. Fails when
// "FORMS" is missing or empty, or when it cannot be written (which clears kSheetMayWrite).
BOOL AddPaper(PrinterContext* ctx, const PaperRecord* paper);
// Removes the first entry named `name` from "FORMS"; fails for an unknown name (nothing written) or
// when the write fails (which clears kSheetMayWrite).
BOOL DeletePaper(PrinterContext* ctx, LPCWSTR name);
// Drops the papers below the model's minimum label size from the context's list and writes what is
// left as "FORMS" (nothing when empty). The write's success sets kSheetMayWrite, its failure clears it.
BOOL StoreModelPapers(PrinterContext* ctx);
