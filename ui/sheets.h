// The document and device property sheets: their set-up through the common property sheet UI's
// pfnComPropSheet, the reasons of the sheet function, and the apply step that writes the output
// DEVMODE and the installed paper.
#pragma once

#include "common/platform.h"

#include <prsht.h>
#include <compstui.h>
#include "ui/context.h"

// One page of a sheet: its dialog template and page procedure; the printer context is its lParam.
struct SheetPage {
  WORD Template;
  DLGPROC Proc;
};

// The pages in the order the sheets show them. A page joins its list when it is built.
const SheetPage* DocumentSheetPages(int* count);
const SheetPage* DeviceSheetPages(int* count);

constexpr WORD kSheetIconBase = 64087;  // compstui's printer icons: + 2 for bit 0 of the model flags,
                                        // + 1 when bit 7 is clear
constexpr WORD kSheetCallerVersion = 0x600;

// What a sheet owns besides its printer context: the descriptor handed to compstui (it keeps pointers
// into it for the sheet's life), the option item and the handle compstui returned.
struct SheetState {
  COMPROPSHEETUI Descriptor;
  OPTITEM Item;
  HANDLE Handle;
  WCHAR CallerName[128];
  ULONG_PTR GdiplusToken;  // GDI+ runs while the sheet is open: the previews draw with it
};

// The common handler of the sheet function's reasons (INIT, GET_INFO_HEADER, DESTROY, SET_RESULT)
// for both sheets. `title` is the printer name shown on GET_INFO_HEADER.
LONG RegisterSheet(PPROPSHEETUI_INFO info, LPARAM reasonParam, PrinterContext* ctx, LPWSTR title);

// The compstui callback: on the apply-now reason, the pages store their controls, the current paper is
// committed and the settings are written to the caller's output DEVMODE.
LONG APIENTRY ApplySheet(PCPSUICBPARAM param);

// Adds `pages` as standard property pages of the sheet, with `ctx` as their lParam. The number added.
int AddSheetPages(PPROPSHEETUI_INFO info, const SheetPage* pages, int count, PrinterContext* ctx);

// The printer context of a page: the lParam of the PROPSHEETPAGEW that WM_INITDIALOG brings. Null when
// there is none.
PrinterContext* SheetPageContext(LPARAM initParam);
// WM_INITDIALOG of a page: `open` with the page's printer context, when it has one. TRUE (default focus).
INT_PTR OpenSheetPage(HWND page, LPARAM initParam, void (*open)(HWND page, PrinterContext* ctx));

// DrvDocumentPropertySheets and DrvDevicePropertySheets with a PROPSHEETUI_INFO.
LONG DocumentPropertySheet(PPROPSHEETUI_INFO info, LPARAM reasonParam);
LONG DevicePropertySheet(PPROPSHEETUI_INFO info, LPARAM reasonParam);
