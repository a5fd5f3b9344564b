// The Wine check program: the Windows build doing real work under Wine.
#pragma once

#include <windows.h>

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "common/platform.h"  // DOCUMENTPROPERTYHEADER

namespace winecheck {

// Prints "FAIL <step>: <message>" (with GetLastError when `withError`) and returns false.
bool Fail(const char* step, const std::string& message, bool withError = true);
void Ok(const std::string& what);

std::wstring Widen(const std::string& s);
std::string Narrow(const WCHAR* s);
bool WriteBytes(const std::string& path, const void* data, size_t size);
bool ReadBytes(const std::string& path, std::vector<uint8_t>* out);
// The window as the display shows it, as a PNG file.
bool Screenshot(HWND window, const std::string& path);
// The first visible top-level window of process `pid` that `match` accepts; null when none.
HWND FindProcessWindow(DWORD pid, const std::function<bool(HWND)>& match);
// The printer driver's configuration DLL (lbldrv6ui) loaded; null when the printer's driver has none.
HMODULE LoadPrinterUi(HANDLE printer);
template <class Fn>
Fn DriverExport(HMODULE ui, const char* name) {
  return ui ? reinterpret_cast<Fn>(reinterpret_cast<void*>(GetProcAddress(ui, name))) : nullptr;
}
// The DOCUMENTPROPERTYHEADER of a prompted document sheet for `printer` named `name`: the DEVMODE in
// `in`, the result to `out`.
inline DOCUMENTPROPERTYHEADER PromptedDocument(HANDLE printer, std::wstring& name, std::vector<uint8_t>& in,
                                              std::vector<uint8_t>& out) {
  DOCUMENTPROPERTYHEADER header{};
  header.cbSize = sizeof header;
  header.hPrinter = printer;
  header.pszPrinterName = name.data();
  header.pdmIn = reinterpret_cast<DEVMODEW*>(in.data());
  header.pdmOut = reinterpret_cast<DEVMODEW*>(out.data());
  header.cbOut = DWORD(out.size());
  header.fMode = DM_IN_PROMPT | DM_IN_BUFFER | DM_OUT_BUFFER;
  return header;
}

// install DRIVER SOURCE-DIR: the driver files of SOURCE-DIR into Wine's spooler, a printer DRIVER on FILE:.
int InstallDriver(const std::string& driver, const std::string& sourceDir);
// render DRIVER CASE LANGUAGE OUT-DIR: one job through the DDI table, and what the Linux build needs to
// replay it.
int RenderJob(const std::string& driver, const std::string& settingsCase, const std::string& language,
              const std::string& outDir);
// monitor DRIVER MONITOR-DLL TSPL-JOB-DIR TWL-JOB-DIR OUT-DIR: the output of a rendered TSPL job and the page
// files of a rendered TWL job through lblmon's MONITOR2 table, then lblmon registered with AddMonitorW.
int MonitorJobs(const std::string& driver, const std::string& monitorDll, const std::string& tsplJobDir,
                const std::string& twlJobDir, const std::string& outDir);

// sheets DRIVER OUT-DIR: the document and device property sheets shown by Wine's compstui, their pages
// visited and saved as PNG files in OUT-DIR, the About page read, OK pressed, the output DEVMODE checked.
int SheetChecks(const std::string& driver, const std::string& outDir);
// sheets-in DRIVER LANGUAGE OUT-DIR: Wine's UI language (from LC_ALL) is LANGUAGE, lbldrv6ui's strings
// load in it, then the sheets as above.
int LanguageSheetChecks(const std::string& driver, const std::string& language, const std::string& outDir);
// The Graphics Property, Print Settings and WaterMark pages in a modeless sheet: their lists read with
// user32, screenshots of Graphics under two dithering methods, Print Settings and WaterMark with a picture.
int PageChecks(const std::string& driver, const std::string& outDir);
// On the Page Setup page (other pages: nothing, true): the stock list's texts, and the stock editor
// opened from New, saved as PNG (its path to editorPng) and cancelled.
bool CheckPageSetup(HWND page, const std::string& pngPrefix, std::string* editorPng);
// The device sheet of an open printer hosted by the check (PropertySheetW), every page saved as PNG with
// `prefix`; `pages` gets each tab's text and whether the "Printer Settings" page's firmware section showed.
int HostedDeviceSheet(HANDLE printer, const std::string& prefix, const std::string& outDir,
                      std::vector<std::pair<std::string, bool>>* pages);
// sheets (after SheetChecks): the "Printer Settings" page for the printer set to TWL and to TSPL, the firmware
// section shown for TWL only.
int PrinterToolsChecks(const std::string& driver, const std::string& outDir);

// wizard INSTALLER-EXE OUT-DIR: lblinst32.exe started, its wizard walked from agreement through mode and
// install to the result of installing a printer on "FILE:", every page saved as a PNG file in OUT-DIR.
// language: "en" checks the English texts; another (the UI language Wine runs in) checks they are not English.
int WizardCheck(const std::string& installer, const std::string& outDir, const std::string& language);

// spooler DRIVER (after install): AddPrinterW's refusals in Wine's spooler beside winsim's, one line each.
int SpoolerChecks(const std::string& driver);

}  // namespace winecheck
