// The exports of lbldrv6ui: argument checks and the mapping of the printer; the work is done by the
// capability, document-property, conversion and event functions. Each body runs through Guarded and
// fails as the interface documents its failure.
#include "common/platform.h"
#include "ui/caps.h"
#include "ui/context.h"
#include "ui/docprops.h"
#include "ui/events.h"
#include "ui/guard.h"
#include "ui/module.h"
#include "ui/sheets.h"

namespace {

// A sheet function run through Guarded. When INIT throws, what it made so far is released at once
// (as DESTROY would), since the sheet it was building never comes.
LONG SheetFunction(const char* where, PPROPSHEETUI_INFO info, LPARAM lParam, LONG (*sheet)(PPROPSHEETUI_INFO, LPARAM)) {
  return Guarded(where, LONG(-1), [&] {
    try {
      return sheet(info, lParam);
    } catch (...) {
      if (info->Reason == PROPSHEETUI_REASON_INIT && info->UserData) {
        info->Reason = PROPSHEETUI_REASON_DESTROY;
        RegisterSheet(info, 0, reinterpret_cast<PrinterContext*>(info->UserData), nullptr);
        info->Reason = PROPSHEETUI_REASON_INIT;
      }
      throw;
    }
  });
}

}  // namespace

extern "C" {

DWORD WINAPI DrvDeviceCapabilities(HANDLE hPrinter, PWSTR, WORD iDevCap, VOID* pvOutput, PDEVMODEW pDevMode) {
  return Guarded("DrvDeviceCapabilities", kCapsError, [&] {
    ContextPtr ctx(MapPrinter(hPrinter, pDevMode, nullptr, iDevCap == DC_MEDIAREADY ? kMapQuiet : 0));
    return ctx ? QueryCapability(ctx.get(), iDevCap, pvOutput, -1) : kCapsError;
  });
}

DWORD WINAPI DrvSplDeviceCaps(HANDLE hPrinter, PWSTR pDeviceName, WORD Capability, PVOID pOutput, DWORD cchBufSize,
                              PDEVMODEW pDevMode) {
  if (Capability != DC_PAPERNAMES && Capability != DC_MEDIAREADY) return kCapsError;
  if (!pOutput) return DrvDeviceCapabilities(hPrinter, pDeviceName, Capability, nullptr, pDevMode);
  if (cchBufSize < DWORD(kPaperNameSlot)) return kCapsError;
  return Guarded("DrvSplDeviceCaps", kCapsError, [&] {
    ContextPtr ctx(MapPrinter(hPrinter, pDevMode, nullptr, Capability == DC_MEDIAREADY ? kMapQuiet : 0));
    if (!ctx) return kCapsError;
    const DWORD names = cchBufSize / kPaperNameSlot;
    return QueryCapability(ctx.get(), Capability, pOutput, names > 0x7FFFFFFF ? 0x7FFFFFFF : int(names));
  });
}

LONG WINAPI DrvDocumentPropertySheets(PPROPSHEETUI_INFO pPSUIInfo, LPARAM lParam) {
  if (!pPSUIInfo) {
    return Guarded("DrvDocumentPropertySheets", LONG(-1),
                   [&] { return DocumentPropertiesNoSheet(reinterpret_cast<DOCUMENTPROPERTYHEADER*>(lParam)); });
  }
  return SheetFunction("DrvDocumentPropertySheets", pPSUIInfo, lParam, DocumentPropertySheet);
}

LONG WINAPI DrvDevicePropertySheets(PPROPSHEETUI_INFO pPSUIInfo, LPARAM lParam) {
  if (!pPSUIInfo) {
    SetLastError(ERROR_INVALID_DATA);
    return -1;
  }
  return SheetFunction("DrvDevicePropertySheets", pPSUIInfo, lParam, DevicePropertySheet);
}

BOOL WINAPI DrvConvertDevMode(LPWSTR pPrinterName, PDEVMODEW pdmIn, PDEVMODEW pdmOut, PLONG pcbNeeded, DWORD fMode) {
  return Guarded("DrvConvertDevMode", BOOL(FALSE),
                 [&] { return ConvertDevmode(pPrinterName, pdmIn, pdmOut, pcbNeeded, fMode); });
}

BOOL WINAPI DrvPrinterEvent(LPWSTR pPrinterName, INT DriverEvent, DWORD, LPARAM) {
  if (DriverEvent != PRINTER_EVENT_INITIALIZE) return TRUE;
  return Guarded("DrvPrinterEvent", BOOL(FALSE), [&] {
    bool reached = false;
    BOOL stored = StorePrinterForms(pPrinterName, &reached);
    return reached ? stored : TRUE;
  });
}

BOOL WINAPI DrvUpgradePrinter(DWORD Level, LPBYTE pDriverUpgradeInfo) {
  if ((Level != 1 && Level != 2) || !pDriverUpgradeInfo) {
    SetLastError(ERROR_INVALID_DATA);
    return FALSE;
  }
  // Both levels start with the printer name.
  LPWSTR name = reinterpret_cast<DRIVER_UPGRADE_INFO_1W*>(pDriverUpgradeInfo)->pPrinterName;
  return Guarded("DrvUpgradePrinter", BOOL(FALSE), [&] {
    bool reached = false;
    return StorePrinterForms(name, &reached);
  });
}

BOOL WINAPI DevQueryPrintEx(PDEVQUERYPRINT_INFO pDQPInfo) {
  if (!pDQPInfo) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  return Guarded("DevQueryPrintEx", BOOL(FALSE), [&] { return CheckJob(pDQPInfo); });
}

}  // extern "C"
