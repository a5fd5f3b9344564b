// The document property sheet as an application opens it (winsim's CommonPropertySheetUIW on its
// own thread), for the page tests: open, drive a page, press OK and read the output DEVMODE.
#pragma once

#include <chrono>
#include <memory>
#include <thread>

#include "ui/docprops.h"
#include "ui_fixture.h"
#include "winsim/ui.h"

namespace uitest {

// A DOCUMENTPROPERTYHEADER for `printer` named `name`: `in` read, `cbOut` bytes of `out` written, as
// `mode` asks.
inline DOCUMENTPROPERTYHEADER DocumentHeader(HANDLE printer, WString& name, DEVMODEW* in, void* out, DWORD cbOut,
                                             DWORD mode) {
  DOCUMENTPROPERTYHEADER header{};
  header.cbSize = sizeof header;
  header.hPrinter = printer;
  header.pszPrinterName = name.data();
  header.pdmIn = in;
  header.pdmOut = static_cast<DEVMODEW*>(out);
  header.cbOut = cbOut;
  header.fMode = mode;
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

  // `openBefore`: a sheet already open, which is not this one.
  DocSheet(HANDLE printer, const PrinterDevmode& settings, HWND openBefore = nullptr) : in(settings) {
    header = DocumentHeader(printer, name, &in.dm, &out.dm, sizeof out, DM_UPDATE | DM_COPY);
    thread = std::make_unique<winsim::ui::UiThread>([this] {
      return intptr_t(CommonPropertySheetUIW(nullptr, DrvDocumentPropertySheets, reinterpret_cast<LPARAM>(&header), &result));
    });
    for (int tries = 0; tries < 2500; ++tries) {
      sheet = winsim::ui::FindSheet();
      if (sheet != openBefore) break;
      std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    if (sheet == openBefore) sheet = nullptr;
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
