// The document property sheet as an application opens it (winsim's CommonPropertySheetUIW on its
// own thread), for the page tests: open, drive a page, press OK and read the output DEVMODE.
#pragma once

#include <memory>

#include "ui/docprops.h"
#include "ui_fixture.h"
#include "winsim/ui.h"

namespace uitest {

// The header of a document sheet for `printer` named `name` that reads `in` and writes `out`.
inline DOCUMENTPROPERTYHEADER UpdateHeader(HANDLE printer, WString& name, PrinterDevmode& in, PrinterDevmode& out) {
  DOCUMENTPROPERTYHEADER header{};
  header.cbSize = sizeof header;
  header.hPrinter = printer;
  header.pszPrinterName = name.data();
  header.pdmIn = &in.dm;
  header.pdmOut = &out.dm;
  header.cbOut = sizeof out;
  header.fMode = DM_UPDATE | DM_COPY;
  return header;
}

struct DocSheet {
  PrinterDevmode in{};
  PrinterDevmode out{};
  WString name = ToWString(kPrinter.c_str());
  DOCUMENTPROPERTYHEADER header{};
  DWORD result = 0;
  std::unique_ptr<winsim::ui::UiThread> thread;
  HWND sheet = nullptr;

  DocSheet(HANDLE printer, const PrinterDevmode& settings) : in(settings) {
    header = UpdateHeader(printer, name, in, out);
    thread = std::make_unique<winsim::ui::UiThread>([this] {
      return intptr_t(CommonPropertySheetUIW(nullptr, DrvDocumentPropertySheets, reinterpret_cast<LPARAM>(&header), &result));
    });
    sheet = winsim::ui::FindSheet();
  }
  ~DocSheet() {
    if (thread && !thread->Done() && sheet) winsim::ui::Press(sheet, winsim::ui::Button::Cancel);
  }
  // The page of `templateId`, selected.
  HWND Show(WORD templateId) {
    if (!sheet || !winsim::ui::SelectPage(sheet, templateId)) return nullptr;
    HWND page = winsim::ui::Page(sheet, templateId);
    if (page) winsim::ui::Settle(page);
    return page;
  }
  // OK: the pages apply and the sheet writes `out`.
  bool Ok() {
    if (!winsim::ui::Press(sheet, winsim::ui::Button::Ok)) return false;
    const bool ok = thread->Join() == CPSUI_OK;
    winsim::ui::WaitClosed(sheet);
    return ok && out.dm.dmSize != 0;
  }
};

}  // namespace uitest
