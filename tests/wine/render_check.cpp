// The rendering DLL under Wine: installed through the spooler API, then one job driven through the DDI
// table as GDI drives it, the pages drawn with Wine's GDI into the engine bitmap. Everything the driver
// read (the application's DEVMODE, the printer's stored settings, the page pixels) is written beside its
// output so the Linux build can replay the same job.
#include <windows.h>
#include <winddi.h>
#include <winspool.h>

#include <cstdio>
#include <cstring>
#include <memory>

#include "check.h"
#include "common/devmode.h"
#include "engine.h"

namespace winecheck {
namespace {

constexpr int kPages = 2;
const WCHAR* const kDataValues[] = {TEXT("FORMS"), TEXT("InstalledForm"), TEXT("PPDataFlags"), TEXT("LogFolder")};

std::wstring DriverDirectory() {
  WCHAR dir[MAX_PATH] = {};
  DWORD needed = 0;
  if (!GetPrinterDriverDirectoryW(nullptr, nullptr, 1, reinterpret_cast<LPBYTE>(dir), sizeof dir, &needed)) return {};
  return dir;
}

std::unique_ptr<BYTE[]> PrinterInfo2(HANDLE printer) {
  DWORD needed = 0;
  GetPrinterW(printer, 2, nullptr, 0, &needed);
  if (!needed) return nullptr;
  auto buf = std::make_unique<BYTE[]>(needed);
  if (!GetPrinterW(printer, 2, buf.get(), needed, &needed)) return nullptr;
  return buf;
}

std::unique_ptr<BYTE[]> DriverInfo2(HANDLE printer) {
  DWORD needed = 0;
  GetPrinterDriverW(printer, nullptr, 2, nullptr, 0, &needed);
  if (!needed) return nullptr;
  auto buf = std::make_unique<BYTE[]>(needed);
  if (!GetPrinterDriverW(printer, nullptr, 2, buf.get(), needed, &needed)) return nullptr;
  return buf;
}

// Text, lines, a grey gradient and a colour picture, different on each page.
void DrawPage(HDC dc, int width, int height, int page) {
  const int m = width / 20;
  HPEN pen = CreatePen(PS_SOLID, 3 + page, RGB(0, 0, 0));
  HGDIOBJ oldPen = SelectObject(dc, pen);
  MoveToEx(dc, m, m, nullptr);
  LineTo(dc, width - m, m);
  LineTo(dc, width - m, height - m);
  LineTo(dc, m, height - m);
  LineTo(dc, m, m);
  MoveToEx(dc, m, height - m, nullptr);
  LineTo(dc, width - m, m + page * 20);
  SelectObject(dc, oldPen);
  DeleteObject(pen);

  // Grey gradient: 32 steps across the width, in the upper third.
  const int top = height / 6, bottom = height / 3;
  for (int i = 0; i < 32; ++i) {
    const BYTE v = static_cast<BYTE>(i * 255 / 31);
    HBRUSH b = CreateSolidBrush(RGB(v, v, v));
    RECT r{m + (width - 2 * m) * i / 32, top, m + (width - 2 * m) * (i + 1) / 32, bottom};
    FillRect(dc, &r, b);
    DeleteObject(b);
  }

  HFONT font = CreateFontW(-(height / 16), 0, 0, 0, FW_BOLD, FALSE, FALSE, FALSE, DEFAULT_CHARSET, OUT_DEFAULT_PRECIS,
                           CLIP_DEFAULT_PRECIS, NONANTIALIASED_QUALITY, DEFAULT_PITCH, TEXT("Tahoma"));
  HGDIOBJ oldFont = SelectObject(dc, font);
  SetBkMode(dc, TRANSPARENT);
  SetTextColor(dc, RGB(0, 0, 0));
  WCHAR text[64];
  wsprintfW(text, TEXT("Label %d of %d"), page + 1, kPages);
  TextOutW(dc, 2 * m, bottom + m, text, lstrlenW(text));
  SetTextColor(dc, RGB(200, 30, 30));
  TextOutW(dc, 2 * m, bottom + m + height / 12, TEXT("Wine 0123456789"), 15);
  SelectObject(dc, oldFont);
  DeleteObject(font);

  // A 64 x 48 colour picture, stretched into the lower part of the page.
  constexpr int pw = 64, ph = 48;
  std::vector<BYTE> pixels(size_t(pw) * ph * 3);
  for (int y = 0; y < ph; ++y)
    for (int x = 0; x < pw; ++x) {
      BYTE* p = &pixels[(size_t(y) * pw + x) * 3];
      p[0] = static_cast<BYTE>(x * 4);                          // blue
      p[1] = static_cast<BYTE>(y * 5);                          // green
      p[2] = static_cast<BYTE>(((x / 8 + y / 8 + page) & 1) * 255);  // red checks
    }
  BITMAPINFO bi{};
  bi.bmiHeader.biSize = sizeof bi.bmiHeader;
  bi.bmiHeader.biWidth = pw;
  bi.bmiHeader.biHeight = -ph;
  bi.bmiHeader.biPlanes = 1;
  bi.bmiHeader.biBitCount = 24;
  bi.bmiHeader.biCompression = BI_RGB;
  SetStretchBltMode(dc, COLORONCOLOR);
  const int dw = width - 4 * m, dh = dw * ph / pw;
  StretchDIBits(dc, 2 * m, height - 2 * m - dh > bottom ? height - 2 * m - dh : bottom, dw, dh, 0, 0, pw, ph,
                pixels.data(), &bi, DIB_RGB_COLORS, SRCCOPY);
  GdiFlush();
}

bool ApplyCase(PrinterDevmode* dm, const std::string& settingsCase, uint32_t language) {
  dm->PrintLanguage = language;
  if (settingsCase == "defaults") return true;
  if (settingsCase == "rotated") {
    dm->dm.dmFields |= DM_ORIENTATION;
    dm->dm.dmOrientation = DMORIENT_LANDSCAPE;
    dm->Flags |= kFlagMirror;
    dm->DitherLevel = 2;  // Burkes error diffusion
    return true;
  }
  if (settingsCase == "copies") {
    dm->dm.dmFields |= DM_COPIES;
    dm->dm.dmCopies = 2;
    const WCHAR* const commands[kUserCommandSlots] = {TEXT("JOB-START\r\n"), TEXT("PAGE-START\r\n"),
                                                      TEXT("PAGE-END\r\n"), TEXT("JOB-END\r\n")};
    for (int i = 0; i < kUserCommandSlots; ++i) lstrcpynW(dm->UserCommands[i], commands[i], kUserCommandChars);
    return true;
  }
  return false;
}

bool LanguageNumber(const std::string& name, uint32_t* out) {
  if (name == "twl") *out = kLangTwl;
  else if (name == "esc") *out = kLangEsc;
  else if (name == "tspl") *out = kLangTspl;
  else if (name == "zpl") *out = kLangZpl;
  else return false;
  return true;
}

template <class T>
T Ddi(const DRVENABLEDATA& ded, ULONG index) {
  for (ULONG i = 0; i < ded.c; ++i)
    if (ded.pdrvfn[i].iFunc == index) return reinterpret_cast<T>(reinterpret_cast<void*>(ded.pdrvfn[i].pfn));
  return nullptr;
}

// The printer's stored settings as the driver reads them, for the replay.
bool DumpPrinterState(HANDLE printer, const std::string& outDir) {
  auto info = PrinterInfo2(printer);
  if (!info) return Fail("GetPrinterW level 2", "no printer information");
  const auto* pi = reinterpret_cast<PRINTER_INFO_2W*>(info.get());
  if (pi->pDevMode)
    WriteBytes(outDir + "\\printer-devmode.bin", pi->pDevMode, size_t(pi->pDevMode->dmSize) + pi->pDevMode->dmDriverExtra);
  for (const WCHAR* value : kDataValues) {
    DWORD type = 0, needed = 0;
    DWORD rc = GetPrinterDataW(printer, const_cast<LPWSTR>(value), &type, nullptr, 0, &needed);
    if (rc != ERROR_MORE_DATA && rc != ERROR_SUCCESS) continue;  // no such value
    std::vector<uint8_t> data(4 + needed);
    rc = GetPrinterDataW(printer, const_cast<LPWSTR>(value), &type, data.data() + 4, needed, &needed);
    if (rc != ERROR_SUCCESS) return Fail("GetPrinterDataW", Narrow(value) + " error " + std::to_string(rc), false);
    std::memcpy(data.data(), &type, 4);
    WriteBytes(outDir + "\\data-" + Narrow(value) + ".bin", data.data(), data.size());
  }
  return true;
}

// The TWL page files of job `jobId` move from c:\prtmonlog\pages into OUT-DIR\pages.
int CollectPageFiles(DWORD jobId, const std::string& outDir) {
  char pattern[MAX_PATH];
  std::snprintf(pattern, sizeof pattern, "c:\\prtmonlog\\pages\\page_*_jobid_%03lu_*.dat", static_cast<unsigned long>(jobId));
  WIN32_FIND_DATAA found;
  HANDLE find = FindFirstFileA(pattern, &found);
  if (find == INVALID_HANDLE_VALUE) return 0;
  CreateDirectoryA((outDir + "\\pages").c_str(), nullptr);
  int n = 0;
  do {
    const std::string from = std::string("c:\\prtmonlog\\pages\\") + found.cFileName;
    if (MoveFileExA(from.c_str(), (outDir + "\\pages\\" + found.cFileName).c_str(),
                    MOVEFILE_COPY_ALLOWED | MOVEFILE_REPLACE_EXISTING))
      ++n;
  } while (FindNextFileA(find, &found));
  FindClose(find);
  return n;
}

}  // namespace

int InstallDriver(const std::string& driver, const std::string& sourceDir) {
  const std::wstring dir = DriverDirectory();
  if (dir.empty()) return Fail("GetPrinterDriverDirectoryW", "no driver directory"), 1;
  const char* const files[] = {"lbldrv6.dll", "lbldrv6ui.dll", "lbldrv6.dat"};
  for (const char* f : files) {
    const std::wstring to = dir + TEXT("\\") + Widen(f);
    if (!CopyFileW(Widen(sourceDir + "\\" + f).c_str(), to.c_str(), FALSE))
      return Fail("copy to the driver directory", f), 1;
  }
  std::wstring name = Widen(driver), env = TEXT("Windows x64");
#ifndef _WIN64
  env = TEXT("Windows NT x86");
#endif
  std::wstring driverPath = dir + TEXT("\\lbldrv6.dll"), dataFile = dir + TEXT("\\lbldrv6.dat"),
               configFile = dir + TEXT("\\lbldrv6ui.dll");
  DRIVER_INFO_3W di{.cVersion = 3, .pName = name.data(), .pEnvironment = env.data(), .pDriverPath = driverPath.data(),
                    .pDataFile = dataFile.data(), .pConfigFile = configFile.data()};
  if (!AddPrinterDriverW(nullptr, 3, reinterpret_cast<LPBYTE>(&di))) return Fail("AddPrinterDriverW", driver), 1;
  Ok("AddPrinterDriverW level 3: " + driver);

  std::wstring port = TEXT("FILE:"), processor = TEXT("winprint"), datatype = TEXT("RAW");
  PRINTER_INFO_2W pi{.pPrinterName = name.data(), .pPortName = port.data(), .pDriverName = name.data(),
                     .pPrintProcessor = processor.data(), .pDatatype = datatype.data(),
                     .Attributes = PRINTER_ATTRIBUTE_LOCAL};
  HANDLE printer = AddPrinterW(nullptr, 2, reinterpret_cast<LPBYTE>(&pi));
  if (!printer) return Fail("AddPrinterW", driver + " on FILE:"), 1;
  ClosePrinter(printer);
  Ok("AddPrinterW: " + driver + " on FILE:");

  // Windows' spooler tells the configuration DLL about a new printer; Wine's does not, so the check
  // does it: the user-interface DLL writes the printer's paper list then.
  HMODULE ui = LoadLibraryW(configFile.c_str());
  auto event = ui ? reinterpret_cast<BOOL(WINAPI*)(LPWSTR, INT, DWORD, LPARAM)>(
                        reinterpret_cast<void*>(GetProcAddress(ui, "DrvPrinterEvent")))
                  : nullptr;
  if (!event) return Fail("load lbldrv6ui.dll", "DrvPrinterEvent"), 1;
  if (!event(name.data(), PRINTER_EVENT_INITIALIZE, 0, 0)) return Fail("DrvPrinterEvent", "PRINTER_EVENT_INITIALIZE"), 1;
  FreeLibrary(ui);
  Ok("DrvPrinterEvent(PRINTER_EVENT_INITIALIZE)");
  return 0;
}

int RenderJob(const std::string& driver, const std::string& settingsCase, const std::string& languageName,
              const std::string& outDir) {
  uint32_t language = 0;
  if (!LanguageNumber(languageName, &language)) return Fail("arguments", "unknown language " + languageName, false), 2;
  CreateDirectoryA(outDir.c_str(), nullptr);
  std::wstring name = Widen(driver);
  HANDLE printer = nullptr;
  if (!OpenPrinterW(name.data(), &printer, nullptr)) return Fail("OpenPrinterW", driver), 1;

  // The application's DEVMODE: the driver's defaults through DocumentPropertiesW, changed as the case
  // says and handed back to DocumentPropertiesW to merge, as an application's print dialog does.
  const LONG size = DocumentPropertiesW(nullptr, printer, name.data(), nullptr, nullptr, 0);
  if (size < static_cast<LONG>(sizeof(PrinterDevmode)))
    return Fail("DocumentPropertiesW", "size " + std::to_string(size) + ", expected " + std::to_string(sizeof(PrinterDevmode))), 1;
  std::vector<uint8_t> dmBytes(static_cast<size_t>(size)), merged(static_cast<size_t>(size));
  // Wine's DocumentPropertiesW tells the driver the output buffer's size from the dmSize already in it
  // (cbOut = pdmOut->dmSize; Windows takes it from the size query): the check puts the whole size there.
  for (std::vector<uint8_t>* out : {&dmBytes, &merged})
    reinterpret_cast<DEVMODEW*>(out->data())->dmSize = static_cast<WORD>(size);
  if (DocumentPropertiesW(nullptr, printer, name.data(), reinterpret_cast<DEVMODEW*>(dmBytes.data()), nullptr,
                          DM_OUT_BUFFER) != IDOK)
    return Fail("DocumentPropertiesW", "DM_OUT_BUFFER"), 1;
  auto* dm = reinterpret_cast<PrinterDevmode*>(dmBytes.data());
  if (dm->Signature != kDevmodeSignature) return Fail("DocumentPropertiesW", "no private settings block", false), 1;
  if (!ApplyCase(dm, settingsCase, language)) return Fail("arguments", "unknown case " + settingsCase, false), 2;
  if (DocumentPropertiesW(nullptr, printer, name.data(), reinterpret_cast<DEVMODEW*>(merged.data()), &dm->dm,
                          DM_IN_BUFFER | DM_OUT_BUFFER) != IDOK)
    return Fail("DocumentPropertiesW", "DM_IN_BUFFER | DM_OUT_BUFFER"), 1;
  const auto* app = reinterpret_cast<DEVMODEW*>(merged.data());
  merged.resize(size_t(app->dmSize) + app->dmDriverExtra);
  WriteBytes(outDir + "\\devmode.bin", merged.data(), merged.size());
  if (!DumpPrinterState(printer, outDir)) return 1;

  auto drv = DriverInfo2(printer);
  if (!drv) return Fail("GetPrinterDriverW level 2", driver), 1;
  const auto* di = reinterpret_cast<DRIVER_INFO_2W*>(drv.get());
  HMODULE module = LoadLibraryW(di->pDriverPath);
  if (!module) return Fail("LoadLibraryW", Narrow(di->pDriverPath)), 1;
  std::string missing;
  if (!PatchEngine(module, &missing)) return Fail("patch the engine imports", "no stand-in for " + missing, false), 1;

  auto enableDriver = reinterpret_cast<decltype(&DrvEnableDriver)>(
      reinterpret_cast<void*>(GetProcAddress(module, "DrvEnableDriver")));
  DRVENABLEDATA ded{};
  if (!enableDriver || !enableDriver(DDI_DRIVER_VERSION_NT5_01_SP1, sizeof ded, &ded))
    return Fail("DrvEnableDriver", ""), 1;
  auto enablePdev = Ddi<decltype(&DrvEnablePDEV)>(ded, INDEX_DrvEnablePDEV);
  auto completePdev = Ddi<decltype(&DrvCompletePDEV)>(ded, INDEX_DrvCompletePDEV);
  auto disablePdev = Ddi<decltype(&DrvDisablePDEV)>(ded, INDEX_DrvDisablePDEV);
  auto enableSurface = Ddi<decltype(&DrvEnableSurface)>(ded, INDEX_DrvEnableSurface);
  auto disableSurface = Ddi<decltype(&DrvDisableSurface)>(ded, INDEX_DrvDisableSurface);
  auto startDoc = Ddi<decltype(&DrvStartDoc)>(ded, INDEX_DrvStartDoc);
  auto endDoc = Ddi<decltype(&DrvEndDoc)>(ded, INDEX_DrvEndDoc);
  auto startPage = Ddi<decltype(&DrvStartPage)>(ded, INDEX_DrvStartPage);
  auto sendPage = Ddi<decltype(&DrvSendPage)>(ded, INDEX_DrvSendPage);
  auto disableDriver = Ddi<decltype(&DrvDisableDriver)>(ded, INDEX_DrvDisableDriver);
  if (ded.c != 12 || !enablePdev || !completePdev || !disablePdev || !enableSurface || !disableSurface || !startDoc ||
      !endDoc || !startPage || !sendPage || !disableDriver)
    return Fail("DrvEnableDriver", "the DRVFN table has " + std::to_string(ded.c) + " entries or lacks one", false), 1;
  Ok("DrvEnableDriver: 12 DDI functions");

  GDIINFO gi{};
  DEVINFO devinfo{};
  HSURF patterns[HS_DDI_MAX] = {};
  WCHAR logAddress[1] = {};
  EngineDevice device{};
  auto* hdev = reinterpret_cast<HDEV>(&device);
  DHPDEV pdev = enablePdev(reinterpret_cast<DEVMODEW*>(merged.data()), logAddress, HS_DDI_MAX, patterns, sizeof gi,
                           reinterpret_cast<ULONG*>(&gi), sizeof devinfo, &devinfo, hdev, name.data(), printer);
  if (!pdev) return Fail("DrvEnablePDEV", driver), 1;
  device.dhpdev = pdev;
  completePdev(pdev, hdev);
  if (gi.cBitsPixel != 24 || gi.ulHorzRes == 0 || gi.ulVertRes == 0 || !devinfo.hpalDefault)
    return Fail("DrvEnablePDEV", "GDIINFO " + std::to_string(gi.ulHorzRes) + "x" + std::to_string(gi.ulVertRes) + " at " +
                                     std::to_string(gi.cBitsPixel) + " bits, palette " +
                                     std::to_string(devinfo.hpalDefault != nullptr),
                false),
           1;
  HSURF surface = enableSurface(pdev);
  EngineSurface* es = SurfaceFromHandle(surface);
  if (!es || !es->associated || es->hooks != 0 || es->so.dhpdev != pdev)
    return Fail("DrvEnableSurface", "no surface associated with the PDEV", false), 1;
  SURFOBJ* so = &es->so;
  if (so->sizlBitmap.cx != LONG(gi.ulHorzRes) || so->sizlBitmap.cy != LONG(gi.ulVertRes))
    return Fail("DrvEnableSurface", "the bitmap is not the size GDIINFO gives", false), 1;
  Ok("DrvEnablePDEV, DrvCompletePDEV, DrvEnableSurface: " + std::to_string(gi.ulHorzRes) + " x " +
     std::to_string(gi.ulVertRes) + " dots");

  WCHAR document[] = TEXT("Wine check");
  const std::wstring spoolFile = Widen(outDir + "\\spooled.prn");
  WCHAR datatype[] = TEXT("RAW");
  DOC_INFO_1W doc{document, const_cast<LPWSTR>(spoolFile.c_str()), datatype};
  const DWORD jobId = StartDocPrinterW(printer, 1, reinterpret_cast<LPBYTE>(&doc));
  if (!jobId) return Fail("StartDocPrinterW", "to " + Narrow(spoolFile.c_str())), 1;
  WrittenBytes().clear();
  WriteCalls() = 0;
  if (!startDoc(so, document, jobId)) return Fail("DrvStartDoc", "job " + std::to_string(jobId)), 1;

  HDC dc = CreateCompatibleDC(nullptr);
  HGDIOBJ old = SelectObject(dc, es->dib);
  for (int page = 0; page < kPages; ++page) {
    if (!startPage(so)) return Fail("DrvStartPage", "page " + std::to_string(page + 1)), 1;
    DrawPage(dc, so->sizlBitmap.cx, so->sizlBitmap.cy, page);
    // The pixels the driver receives, as the replay's page: width, height, stride, then the rows.
    std::vector<uint8_t> pixels(12 + so->cjBits);
    const int32_t head[3] = {so->sizlBitmap.cx, so->sizlBitmap.cy, so->lDelta};
    std::memcpy(pixels.data(), head, sizeof head);
    std::memcpy(pixels.data() + 12, so->pvBits, so->cjBits);
    WriteBytes(outDir + "\\page-" + std::to_string(page + 1) + ".bgr", pixels.data(), pixels.size());
    if (!sendPage(so)) return Fail("DrvSendPage", "page " + std::to_string(page + 1)), 1;
  }
  SelectObject(dc, old);
  DeleteDC(dc);
  if (!endDoc(so, 0)) return Fail("DrvEndDoc", ""), 1;
  if (!EndDocPrinter(printer)) return Fail("EndDocPrinter", ""), 1;
  disableSurface(pdev);
  disablePdev(pdev);
  disableDriver();
  if (LiveSurfaces() != 0 || LivePalettes() != 0)
    return Fail("DrvDisableSurface, DrvDisablePDEV",
                std::to_string(LiveSurfaces()) + " surfaces and " + std::to_string(LivePalettes()) + " palettes left",
                false),
           1;
  ClosePrinter(printer);

  const std::vector<uint8_t>& out = WrittenBytes();
  if (out.empty()) return Fail("WritePrinter", "the job wrote nothing", false), 1;
  WriteBytes(outDir + "\\output.bin", out.data(), out.size());
  const int pageFiles = CollectPageFiles(jobId, outDir);
  char summary[256];
  std::snprintf(summary, sizeof summary, "job %lu (%s, %s): %zu bytes in %u WritePrinter calls, %d page files",
                static_cast<unsigned long>(jobId), settingsCase.c_str(), languageName.c_str(), out.size(), WriteCalls(),
                pageFiles);
  Ok(summary);
  if (language == kLangTwl && pageFiles == 0) return Fail("TWL page files", "none in c:\\prtmonlog\\pages", false), 1;

  FILE* f = std::fopen((outDir + "\\job.txt").c_str(), "wb");
  if (!f) return Fail("write job.txt", outDir), 1;
  std::fprintf(f, "driver %s\ndocument Wine check\njobid %lu\npages %d\n", driver.c_str(), static_cast<unsigned long>(jobId),
               kPages);
  std::fclose(f);
  FreeLibrary(module);
  return 0;
}

}  // namespace winecheck
