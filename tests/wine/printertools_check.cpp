// The device sheet's "Printer Settings" page under Wine: the printer's default settings set to TWL and then to
// TSPL (the printer is on FILE:, so no attached device corrects the language), the sheet hosted with
// PropertySheetW, every page saved as PNG, and the firmware section shown for TWL only.
#include <windows.h>
#include <winspool.h>

#include <cstdio>
#include <string>
#include <utility>
#include <vector>

#include "check.h"
#include "common/devmode.h"

namespace winecheck {

namespace {

// The printer's default DEVMODE with `language`, stored with SetPrinterW level 2.
bool SetDefaultLanguage(HANDLE printer, std::wstring name, uint32_t language) {
  const LONG size = DocumentPropertiesW(nullptr, printer, name.data(), nullptr, nullptr, 0);
  if (size < LONG(sizeof(PrinterDevmode))) return Fail("DocumentPropertiesW size", std::to_string(size));
  std::vector<uint8_t> dm(static_cast<size_t>(size));
  // Wine passes the output's own dmSize to the driver as the buffer size: give it the whole size.
  reinterpret_cast<DEVMODEW*>(dm.data())->dmSize = WORD(size);
  if (DocumentPropertiesW(nullptr, printer, name.data(), reinterpret_cast<DEVMODEW*>(dm.data()), nullptr,
                          DM_OUT_BUFFER) != IDOK)
    return Fail("DocumentPropertiesW defaults", Narrow(name.c_str()));
  reinterpret_cast<PrinterDevmode*>(dm.data())->PrintLanguage = language;
  DWORD needed = 0;
  GetPrinterW(printer, 2, nullptr, 0, &needed);
  std::vector<BYTE> info(needed ? needed : 1);
  if (!needed || !GetPrinterW(printer, 2, info.data(), needed, &needed)) return Fail("GetPrinterW level 2", "");
  auto* p2 = reinterpret_cast<PRINTER_INFO_2W*>(info.data());
  p2->pDevMode = reinterpret_cast<DEVMODEW*>(dm.data());
  p2->pSecurityDescriptor = nullptr;
  if (!SetPrinterW(printer, 2, info.data(), 0)) return Fail("SetPrinterW level 2", "the default DEVMODE");
  return true;
}

}  // namespace

int PrinterToolsChecks(const std::string& driver, const std::string& outDir) {
  std::wstring name = Widen(driver);
  PRINTER_DEFAULTSW defaults{nullptr, nullptr, PRINTER_ALL_ACCESS};
  HANDLE printer = nullptr;
  if (!OpenPrinterW(name.data(), &printer, &defaults)) return Fail("OpenPrinterW", driver), 1;
  struct Case {
    uint32_t language;
    const char* label;
    bool firmware;
  } cases[] = {{kLangTwl, "printertools-twl", true}, {kLangTspl, "printertools-tspl", false}};
  int failed = 0;
  for (const Case& c : cases) {
    std::vector<std::pair<std::string, bool>> pages;
    if (!SetDefaultLanguage(printer, name, c.language) || HostedDeviceSheet(printer, c.label, outDir, &pages)) {
      failed = 1;
      break;
    }
    // "Printer Settings" is the device sheet's first page, whatever the language calls it.
    if (pages.empty()) {
      Fail(c.label, "no \"Printer Settings\" page", false);
      failed = 1;
    } else if (pages.front().second != c.firmware) {
      Fail(c.label, std::string("the firmware section is ") + (pages.front().second ? "shown" : "hidden"), false);
      failed = 1;
    }
    if (failed) break;
    Ok(std::string("\"Printer Settings\" page (") + c.label + "): firmware section " + (c.firmware ? "shown" : "hidden"));
  }
  ClosePrinter(printer);
  return failed;
}

}  // namespace winecheck
