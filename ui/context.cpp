#include "ui/context.h"

#include <cstring>

#include "common/alloc.h"
#include "common/usbport.h"
#include "common/wstr.h"
#include "ui/module.h"

namespace {

// A Get*W record in a LocalAlloc'd buffer of the size the first call asks for; empty on failure.
using Record = std::unique_ptr<BYTE, LocalDeleter>;
template <class Query>
Record QueryRecord(Query query, size_t minimum) {
  DWORD needed = 0;
  query(nullptr, 0, &needed);
  if (needed < minimum) return nullptr;
  Record buf(static_cast<LPBYTE>(LocalAlloc(LPTR, needed)));
  if (!buf || !query(buf.get(), needed, &needed)) return nullptr;
  return buf;
}

WCHAR* DupString(const WCHAR* s) {
  size_t n = WStrLen(s);
  auto* copy = static_cast<WCHAR*>(LocalAlloc(LPTR, (n + 1) * sizeof(WCHAR)));
  if (copy) std::memcpy(copy, s, n * sizeof(WCHAR));
  return copy;
}

WCHAR* QueryPrinterName(HANDLE printer) {
  Record buf = QueryRecord([printer](LPBYTE b, DWORD n, LPDWORD need) { return GetPrinterW(printer, 1, b, n, need); },
                           sizeof(PRINTER_INFO_1W));
  if (!buf) return nullptr;
  const auto* info = reinterpret_cast<const PRINTER_INFO_1W*>(buf.get());
  return info->pName && info->pName[0] ? DupString(info->pName) : nullptr;
}

// The driver's help file, else "<driver directory>\lbldrv6ui.hlp" (string 1916).
WCHAR* QueryHelpFile(HANDLE printer) {
  Record buf = QueryRecord(
      [printer](LPBYTE b, DWORD n, LPDWORD need) { return GetPrinterDriverW(printer, nullptr, 3, b, n, need); },
      sizeof(DRIVER_INFO_3W));
  if (buf) {
    const auto* info = reinterpret_cast<const DRIVER_INFO_3W*>(buf.get());
    WCHAR* help = info->pHelpFile && info->pHelpFile[0] ? DupString(info->pHelpFile) : nullptr;
    if (help) return help;
  }
  Record dir = QueryRecord(
      [](LPBYTE b, DWORD n, LPDWORD need) { return GetPrinterDriverDirectoryW(nullptr, nullptr, 1, b, n, need); },
      sizeof(WCHAR));
  if (!dir) return nullptr;
  WCHAR file[MAX_PATH] = {};
  LoadUiString(IDS_HELP_FILE, file, MAX_PATH);
  WString path(reinterpret_cast<const WCHAR*>(dir.get()));
  path += TEXT("\\");
  path += file;
  return DupString(path.c_str());
}

// The printer's default DEVMODE merged over the settings; the mask of the merge, 0 when there is none.
DWORD MergePrinterDefaults(HANDLE printer, const ModelRecord* model, PrinterDevmode* settings) {
  Record buf = QueryRecord([printer](LPBYTE b, DWORD n, LPDWORD need) { return GetPrinterW(printer, 2, b, n, need); },
                           sizeof(PRINTER_INFO_2W));
  if (!buf) return 0;
  const auto* info = reinterpret_cast<const PRINTER_INFO_2W*>(buf.get());
  return info->pDevMode ? MergeDevmode(printer, model, info->pDevMode, settings) : 0;
}

}  // namespace

PrinterContext* MapPrinter(HANDLE printer, const DEVMODEW* caller, UINT* errorId, DWORD flags) {
  WCHAR name[32] = {};
  ModelRecord* model = LoadModelRecord(printer, name, UiModule());
  const size_t bytes = sizeof(PrinterContext) + ((flags & kMapSheetArea) ? kSheetAreaBytes : 0);
  auto* ctx = model ? static_cast<PrinterContext*>(LocalAlloc(LPTR, bytes)) : nullptr;
  if (!ctx) {
    FreeModelRecord(model);
    if (errorId) *errorId = IDS_ERR_MEMORY;
    return nullptr;
  }
  ctx->Printer = printer;
  ctx->Model = model;
  ctx->Prop.Flags = kPropDefaultFlags;
  if (flags & kMapSheetArea) ctx->SheetArea = reinterpret_cast<BYTE*>(ctx + 1);
  ContextPtr owned(ctx);  // until it is handed out whole
  ctx->PrinterName = QueryPrinterName(printer);

  int count = 0;
  if (PaperRecord* forms = ReadPaperList(printer, &count)) {
    if (model->Forms.Data) LocalFree(model->Forms.Data);
    model->Forms.Data = forms;
    model->Forms.Count = static_cast<uint16_t>(count > 0xFFFF ? 0xFFFF : count);
    model->Forms.EntrySize = sizeof(PaperRecord);
  }

  FillDevmodeDefaults(model, name, &ctx->Settings);
  DWORD mask = MergePrinterDefaults(printer, model, &ctx->Settings);
  if (caller) {
    ctx->CallerSettings = caller;
    mask = MergeDevmode(printer, model, caller, &ctx->Settings);
  }
  ctx->MergeMask = mask;
  AdjustForAttachedDevice(printer, &ctx->Settings);

  if (!ReadInstalledPaper(printer, &ctx->CurrentPaper)) ctx->CurrentPaper = DefaultInstalledPaper(model);
  if (caller) {
    if (caller->dmFields & DM_PAPERSIZE) {
      const int entry = caller->dmPaperSize - kPaperIndexBase;
      if (entry >= 0 && entry < ContextPaperCount(ctx)) ctx->CurrentPaper = PaperToInstalled(ContextPapers(ctx)[entry]);
      // A custom size the merge took (dmPaperSize 0 or 256, entry 0 being the user-defined size) is the
      // document's own.
      if (IsCustomSize(ctx->Settings.dm)) ctx->CurrentPaper = UserSizedPaper(ctx->CurrentPaper, ctx->Settings.dm);
    } else {
      ctx->CurrentPaper.Width = int32_t(caller->dmPaperWidth) * 100;
      ctx->CurrentPaper.Length = int32_t(caller->dmPaperLength) * 100;
    }
  }
  const PaperArea& area = ctx->CurrentPaper.ImageableArea;
  ctx->Settings.dm.dmPaperWidth = static_cast<SHORT>((area.Right - area.Left) / 100);
  ctx->Settings.dm.dmPaperLength = static_cast<SHORT>((area.Bottom - area.Top) / 100);

  if (flags & kMapHelpFile) ctx->HelpFile = QueryHelpFile(printer);
  return owned.release();
}

bool IsCustomSize(const DEVMODEW& dm) {
  return dm.dmPaperSize == DMPAPER_USER && dm.dmFormName[0] == 0 && dm.dmPaperWidth > 0 && dm.dmPaperLength > 0;
}

InstalledPaper UserSizedPaper(const InstalledPaper& paper, const DEVMODEW& dm) {
  InstalledPaper p = paper;
  p.Width = int32_t(dm.dmPaperWidth) * 100;
  p.Length = int32_t(dm.dmPaperLength) * 100;
  p.ImageableArea = PaperArea{0, 0, p.Width, p.Length};
  return p;
}

void UnmapPrinter(PrinterContext* ctx) {
  if (!ctx) return;
  if (ctx->HelpFile) LocalFree(ctx->HelpFile);
  if (ctx->PrinterName) LocalFree(ctx->PrinterName);
  if (ctx->Sheet) LocalFree(ctx->Sheet);
  FreeModelRecord(ctx->Model);
  LocalFree(ctx);
}

HANDLE OpenPrinterForWrite(const PrinterContext* ctx) {
  // Only the full name: dmDeviceName keeps 31 characters and can name another printer.
  if (!ctx->PrinterName) {
    SetLastError(ERROR_INVALID_PRINTER_NAME);
    return nullptr;
  }
  WString name(ctx->PrinterName, WStrLen(ctx->PrinterName));
  PRINTER_DEFAULTSW defaults{nullptr, nullptr, PRINTER_ALL_ACCESS};
  HANDLE h = nullptr;
  if (!OpenPrinterW(name.data(), &h, &defaults)) return nullptr;
  return h;
}
