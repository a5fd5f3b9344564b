#include "ui/sheets.h"

#include <cstring>

#include <gdiplus.h>

#include "common/wstr.h"
#include "ui/about.h"
#include "ui/common_controls.h"
#include "ui/docprops.h"
#include "ui/graphics.h"
#include "ui/printsettings.h"
#include "ui/watermark.h"
#include "ui/module.h"
#include "ui/pagesetup.h"
#include "ui/printertools.h"

namespace {

// Page Setup (106), Graphics Property (108), WaterMark (120) and Print Settings (113) come before
// About in the document sheet; Printer Settings (104) before About in the device sheet.
const SheetPage kDocumentPages[] = {
    {kPageSetupTemplate, GuardedDialogProc<PageSetupProc>},
    {kGraphicsTemplate, GuardedDialogProc<GraphicsPageProc>},
    {kWatermarkTemplate, GuardedDialogProc<WatermarkPageProc>},
    {kPrintSettingsTemplate, GuardedDialogProc<PrintSettingsPageProc>},
    {kAboutTemplate, GuardedDialogProc<AboutPageProc>},
};
const SheetPage kDevicePages[] = {
    {kPrinterToolsTemplate, GuardedDialogProc<PrinterToolsPageProc>},
    {kAboutTemplate, GuardedDialogProc<AboutPageProc>},
};

WORD SheetIcon(const ModelRecord* model) {
  const uint32_t flags = model ? model->Flags : 0;
  return WORD(kSheetIconBase + 2 * (flags & 1) + ((flags & 0x80) ? 0 : 1));
}

LONG InitSheet(PPROPSHEETUI_INFO info, PrinterContext* ctx) {
  info->UserData = reinterpret_cast<ULONG_PTR>(ctx);
  info->Result = 0;
  auto* sheet = static_cast<SheetState*>(LocalAlloc(LPTR, sizeof(SheetState)));
  if (!sheet) return -1;
  ctx->Sheet = sheet;
  LoadUiString(IDS_DRIVER_TITLE, sheet->CallerName, int(sizeof sheet->CallerName / sizeof(WCHAR)));

  // The pages carry their own controls; compstui wants at least one option item, so the sheet has
  // one, hidden.
  sheet->Item.cbSize = sizeof(OPTITEM);
  sheet->Item.Flags = OPTIF_HIDE;
  sheet->Item.pName = sheet->CallerName;

  COMPROPSHEETUI& d = sheet->Descriptor;
  d.cbSize = sizeof(COMPROPSHEETUI);
  d.hInstCaller = UiModule();
  d.pCallerName = sheet->CallerName;
  d.UserData = reinterpret_cast<ULONG_PTR>(ctx);
  d.pHelpFile = ctx->HelpFile;
  d.pfnCallBack = GuardedSheetCallback<ApplySheet>;
  d.pOptItem = &sheet->Item;
  d.cOptItem = 1;
  d.IconID = SheetIcon(ctx->Model);
  d.CallerVersion = kSheetCallerVersion;
  d.OptItemVersion = WORD(ctx->Model ? ctx->Model->Version : 0);

  ReadPropData(ctx->Printer, &ctx->Prop);
  // Locked driver settings: the pages can be looked at, and applying writes nothing.
  if (ctx->Prop.Flags & kPropLockSettings) ctx->SheetFlags &= BYTE(~kSheetMayWrite);
  if (ctx->SheetFlags & kSheetMayWrite) d.Flags |= CPSUIF_UPDATE_PERMISSION;

  LONG_PTR added = info->pfnComPropSheet(info->hComPropSheet, CPSFUNC_ADD_PCOMPROPSHEETUIW,
                                         reinterpret_cast<LPARAM>(&d), 0);
  sheet->Handle = added > 0 ? reinterpret_cast<HANDLE>(added) : nullptr;
  if (!sheet->Handle) return -1;
  // A preview that finds no GDI+ draws nothing; the sheet itself still works.
  Gdiplus::GdiplusStartupInput input;
  if (Gdiplus::GdiplusStartup(&sheet->GdiplusToken, &input, nullptr) != Gdiplus::Ok) sheet->GdiplusToken = 0;
  return 1;
}

}  // namespace

const SheetPage* DocumentSheetPages(int* count) {
  *count = int(sizeof kDocumentPages / sizeof kDocumentPages[0]);
  return kDocumentPages;
}

const SheetPage* DeviceSheetPages(int* count) {
  *count = int(sizeof kDevicePages / sizeof kDevicePages[0]);
  return kDevicePages;
}

LONG RegisterSheet(PPROPSHEETUI_INFO info, LPARAM reasonParam, PrinterContext* ctx, LPWSTR title) {
  switch (info->Reason) {
    case PROPSHEETUI_REASON_INIT: return ctx ? InitSheet(info, ctx) : -1;
    case PROPSHEETUI_REASON_GET_INFO_HEADER: {
      auto* header = reinterpret_cast<PPROPSHEETUI_INFO_HEADER>(reasonParam);
      if (!header || !ctx || !ctx->Sheet) return -1;
      header->pTitle = title;
      header->Flags = PSUIHDRF_NOAPPLYNOW | PSUIHDRF_PROPTITLE;
      header->hInst = UiModule();
      header->IconID = ctx->Sheet->Descriptor.IconID;
      return 1;
    }
    case PROPSHEETUI_REASON_DESTROY:
      if (ctx) {
        if (ctx->Sheet && ctx->Sheet->GdiplusToken) Gdiplus::GdiplusShutdown(ctx->Sheet->GdiplusToken);
        if (ctx->Sheet) LocalFree(ctx->Sheet);
        ctx->Sheet = nullptr;
        UnmapPrinter(ctx);
      }
      info->UserData = 0;
      return 1;
    case PROPSHEETUI_REASON_SET_RESULT: {
      auto* result = reinterpret_cast<PSETRESULT_INFO>(reasonParam);
      if (!result || !ctx || !ctx->Sheet || result->hSetResult != ctx->Sheet->Handle) return -1;
      info->Result = ULONG_PTR(result->Result);
      return 1;
    }
    default: return -1;
  }
}

LONG APIENTRY ApplySheet(PCPSUICBPARAM param) {
  if (!param || param->Reason != CPSUICB_REASON_APPLYNOW) return CPSUICB_ACTION_NONE;
  auto* ctx = reinterpret_cast<PrinterContext*>(param->UserData);
  if (!ctx || !(ctx->SheetFlags & kSheetMayWrite) || !ctx->OutputSettings) return CPSUICB_ACTION_NONE;
  // The pages store their controls into this sheet's context on PSN_APPLY.
  for (HWND page : ctx->PageWindows) {
    if (!page) continue;
    NMHDR nm{page, 0, UINT(PSN_APPLY)};
    SendMessageW(page, WM_NOTIFY, 0, reinterpret_cast<LPARAM>(&nm));
  }
  CommitCurrentPaper(ctx);
  WriteOutputDevmode(&ctx->Settings, ctx->CallerSettings, ctx->OutputSettings, ctx->OutputBytes);
  param->Result = CPSUI_OK;
  return CPSUICB_ACTION_ITEMS_APPLIED;
}

PrinterContext* SheetPageContext(LPARAM initParam) {
  const auto* psp = reinterpret_cast<const PROPSHEETPAGEW*>(initParam);
  return psp ? reinterpret_cast<PrinterContext*>(psp->lParam) : nullptr;
}

INT_PTR OpenSheetPage(HWND page, LPARAM initParam, void (*open)(HWND page, PrinterContext* ctx)) {
  if (PrinterContext* ctx = SheetPageContext(initParam)) open(page, ctx);
  return TRUE;
}

int AddSheetPages(PPROPSHEETUI_INFO info, const SheetPage* pages, int count, PrinterContext* ctx) {
  int added = 0;
  // compstui makes the pages below this sheet in the DLL's activation context (each page names it too).
  if (HANDLE context = UiActivationContext())
    info->pfnComPropSheet(info->hComPropSheet, CPSFUNC_SET_FUSION_CONTEXT, reinterpret_cast<LPARAM>(context), 0);
  for (int i = 0; i < count; ++i) {
    PROPSHEETPAGEW page{};
    page.dwSize = sizeof page;
    page.dwFlags = PSP_DEFAULT;
    page.hInstance = UiModule();
    page.pszTemplate = MAKEINTRESOURCEW(pages[i].Template);
    page.pfnDlgProc = pages[i].Proc;
    page.lParam = reinterpret_cast<LPARAM>(ctx);
    UseUiActivationContext(&page);
    if (info->pfnComPropSheet(info->hComPropSheet, CPSFUNC_ADD_PROPSHEETPAGEW, reinterpret_cast<LPARAM>(&page), 0) > 0)
      ++added;
  }
  return added;
}

namespace {

// A sheet being made for `ctx`: registered, then given the pages `pagesOf` lists.
LONG RegisterWithPages(PPROPSHEETUI_INFO info, LPARAM reasonParam, PrinterContext* ctx, LPWSTR title,
                       const SheetPage* (*pagesOf)(int* count)) {
  LONG result = RegisterSheet(info, reasonParam, ctx, title);
  if (result > 0) {
    int count = 0;
    const SheetPage* pages = pagesOf(&count);
    AddSheetPages(info, pages, count, ctx);
  }
  return result;
}

}  // namespace

LONG DocumentPropertySheet(PPROPSHEETUI_INFO info, LPARAM reasonParam) {
  auto* header = reinterpret_cast<DOCUMENTPROPERTYHEADER*>(info->lParamInit);
  if (!header) return -1;
  if (info->Reason != PROPSHEETUI_REASON_INIT)
    return RegisterSheet(info, reasonParam, reinterpret_cast<PrinterContext*>(info->UserData), header->pszPrinterName);

  PrinterContext* ctx = MapPrinter(header->hPrinter, header->pdmIn, nullptr, kMapHelpFile | kMapSheetArea);
  if (!ctx) {
    SetLastError(ERROR_INVALID_DATA);
    return -1;
  }
  ctx->SheetFlags = kSheetDocument;
  // A document of its own size is on the stock "USER": the sheet shows and keeps it under that name.
  if (IsCustomSize(ctx->Settings.dm)) {
    WStrCopy(ctx->Settings.dm.dmFormName, CCHFORMNAME, TEXT("USER"));
    WStrCopy(ctx->CurrentPaper.Name, kPaperNameChars, TEXT("USER"));
  }
  if ((header->fMode & (DM_UPDATE | DM_COPY)) && !(header->fMode & DM_NOPERMISSION) && header->pdmOut) {
    ctx->SheetFlags |= kSheetMayWrite;
    ctx->OutputSettings = header->pdmOut;
    ctx->OutputBytes = header->cbOut;
  }
  return RegisterWithPages(info, reasonParam, ctx, header->pszPrinterName, DocumentSheetPages);
}

LONG DevicePropertySheet(PPROPSHEETUI_INFO info, LPARAM reasonParam) {
  auto* header = reinterpret_cast<DEVICEPROPERTYHEADER*>(info->lParamInit);
  if (!header) {
    SetLastError(ERROR_INVALID_DATA);
    return -1;
  }
  if (info->Reason != PROPSHEETUI_REASON_INIT)
    return RegisterSheet(info, reasonParam, reinterpret_cast<PrinterContext*>(info->UserData), header->pszPrinterName);

  PrinterContext* ctx = MapPrinter(header->hPrinter, nullptr, nullptr, kMapQuiet | kMapHelpFile | kMapSheetArea);
  if (!ctx) {
    SetLastError(ERROR_INVALID_DATA);
    return -1;
  }
  ctx->SheetFlags = (header->Flags & DPS_NOPERMISSION) ? 0 : kSheetMayWrite;
  return RegisterWithPages(info, reasonParam, ctx, header->pszPrinterName, DeviceSheetPages);
}
