// The property sheets of lbldrv6ui under Wine: the document sheet through DocumentPropertiesW with
// DM_IN_PROMPT (Wine's winspool hands it to compstui), the device sheet through compstui's
// CommonPropertySheetUIW with DrvDevicePropertySheets, as the spooler opens it. A watcher thread finds
// each sheet window, visits every page, reads the About page's texts with user32, saves a PNG of every
// page and presses OK; the document sheet's output DEVMODE is checked afterwards.
#include <windows.h>
#include <commctrl.h>
#include <prsht.h>
#include <winspool.h>
#include <zlib.h>

#include <compstui.h>
#include <winddiui.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "check.h"
#include "common/devmode.h"

namespace winecheck {
namespace {

constexpr DWORD kSheetWaitMs = 20000;

struct PageSeen {
  std::wstring tab;
  std::wstring product, version, notice;  // controls 1000, 1001, 1002 when the page has them
  bool firmwareShown = false;              // "Printer Settings": its "Update firmware" button is visible
  std::string png;
  std::string editorPng;  // the stock editor opened from Page Setup
  bool failed = false;    // a page check failed (its message printed)
  int controls = 0;       // the Common Controls version of the page's buttons; 0: none
};

struct Watch {
  std::string prefix;   // file name prefix of the screenshots
  std::string outDir;
  bool found = false;
  bool pressedOk = false;
  volatile LONG stop = 0;  // the sheet call returned without showing a sheet
  std::vector<PageSeen> pages;
  std::string error;
};

// ---- PNG: 24-bit rows, deflated with zlib -----------------------------------------------------------
void PutBE32(std::vector<uint8_t>* out, uint32_t v) {
  for (int s = 24; s >= 0; s -= 8) out->push_back(uint8_t(v >> s));
}

void Chunk(std::vector<uint8_t>* png, const char* type, const std::vector<uint8_t>& data) {
  PutBE32(png, uint32_t(data.size()));
  std::vector<uint8_t> body(type, type + 4);
  body.insert(body.end(), data.begin(), data.end());
  png->insert(png->end(), body.begin(), body.end());
  PutBE32(png, uint32_t(crc32(0, body.data(), uInt(body.size()))));
}

// `bgr`: bottom-up 24-bit DIB rows padded to 4 bytes, as GetDIBits gives them.
bool WritePng(const std::string& path, int width, int height, const std::vector<uint8_t>& bgr) {
  const size_t stride = (size_t(width) * 3 + 3) & ~size_t(3);
  std::vector<uint8_t> raw;
  raw.reserve((size_t(width) * 3 + 1) * height);
  for (int y = 0; y < height; ++y) {
    const uint8_t* row = bgr.data() + stride * size_t(height - 1 - y);
    raw.push_back(0);  // filter: none
    for (int x = 0; x < width; ++x) {
      raw.push_back(row[3 * x + 2]);
      raw.push_back(row[3 * x + 1]);
      raw.push_back(row[3 * x]);
    }
  }
  uLongf packedSize = compressBound(uLong(raw.size()));
  std::vector<uint8_t> packed(packedSize);
  if (compress(packed.data(), &packedSize, raw.data(), uLong(raw.size())) != Z_OK) return false;
  packed.resize(packedSize);
  std::vector<uint8_t> png = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
  std::vector<uint8_t> ihdr;
  PutBE32(&ihdr, uint32_t(width));
  PutBE32(&ihdr, uint32_t(height));
  ihdr.insert(ihdr.end(), {8, 2, 0, 0, 0});  // 8 bits, RGB
  Chunk(&png, "IHDR", ihdr);
  Chunk(&png, "IDAT", packed);
  Chunk(&png, "IEND", {});
  return WriteBytes(path, png.data(), png.size());
}

}  // namespace

// The window as it is on the screen, copied into a DIB.
bool Screenshot(HWND window, const std::string& path) {
  RECT r{};
  if (!GetWindowRect(window, &r)) return false;
  const int w = r.right - r.left, h = r.bottom - r.top;
  if (w <= 0 || h <= 0) return false;
  HDC screen = GetDC(nullptr);
  HDC mem = CreateCompatibleDC(screen);
  HBITMAP bmp = CreateCompatibleBitmap(screen, w, h);
  HGDIOBJ old = SelectObject(mem, bmp);
  // What the display shows (Wine's PrintWindow paints the frame but not the child controls).
  SetForegroundWindow(window);
  bool painted = BitBlt(mem, 0, 0, w, h, screen, r.left, r.top, SRCCOPY) != FALSE;
  SelectObject(mem, old);
  BITMAPINFO bi{};
  bi.bmiHeader.biSize = sizeof bi.bmiHeader;
  bi.bmiHeader.biWidth = w;
  bi.bmiHeader.biHeight = h;
  bi.bmiHeader.biPlanes = 1;
  bi.bmiHeader.biBitCount = 24;
  bi.bmiHeader.biCompression = BI_RGB;
  std::vector<uint8_t> pixels(((size_t(w) * 3 + 3) & ~size_t(3)) * h);
  const bool got = painted && GetDIBits(mem, bmp, 0, UINT(h), pixels.data(), &bi, DIB_RGB_COLORS) == h;
  DeleteObject(bmp);
  DeleteDC(mem);
  ReleaseDC(nullptr, screen);
  return got && WritePng(path, w, h, pixels);
}

namespace {

std::wstring ItemText(HWND dialog, int id) {
  WCHAR text[512] = {};
  if (!GetDlgItem(dialog, id)) return {};
  GetDlgItemTextW(dialog, id, text, 512);
  return text;
}

// The Common Controls version of a page's buttons: only version 6 buttons answer BCM_GETIDEALSIZE
// (a version 5 button leaves it to DefWindowProc, which answers 0). 0 when the page has no button.
int ButtonVersion(HWND page) {
  for (HWND c = GetWindow(page, GW_CHILD); c; c = GetWindow(c, GW_HWNDNEXT)) {
    WCHAR cls[16] = {};
    GetClassNameW(c, cls, 16);
    if (lstrcmpiW(cls, TEXT("Button")) != 0) continue;
    SIZE ideal{};
    return SendMessageW(c, BCM_GETIDEALSIZE, 0, reinterpret_cast<LPARAM>(&ideal)) ? 6 : 5;
  }
  return 0;
}

std::string Slug(const std::wstring& s) {
  std::string out;
  for (WCHAR c : s) {
    if ((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9'))
      out += char(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c);
    else if (!out.empty() && out.back() != '-')
      out += '-';
  }
  while (!out.empty() && out.back() == '-') out.pop_back();
  return out.empty() ? "page" : out;
}

DWORD WINAPI WatchSheet(LPVOID param) {
  auto* watch = static_cast<Watch*>(param);
  // A property sheet: a dialog with a tab control.
  auto isSheet = [](HWND w) { return FindWindowExW(w, nullptr, WC_TABCONTROLW, nullptr) != nullptr; };
  HWND sheet = nullptr;
  for (DWORD waited = 0; waited < kSheetWaitMs && !sheet && !watch->stop; waited += 100) {
    Sleep(100);
    sheet = FindProcessWindow(GetCurrentProcessId(), isSheet);
  }
  if (!sheet) {
    watch->error = watch->stop ? "the call returned without showing a sheet" : "no property sheet window appeared";
    return 1;
  }
  watch->found = true;
  HWND tabs = reinterpret_cast<HWND>(SendMessageW(sheet, PSM_GETTABCONTROL, 0, 0));
  const int count = tabs ? int(SendMessageW(tabs, TCM_GETITEMCOUNT, 0, 0)) : 0;
  for (int i = 0; i < count; ++i) {
    SendMessageW(sheet, PSM_SETCURSEL, WPARAM(i), 0);
    HWND page = reinterpret_cast<HWND>(SendMessageW(sheet, PSM_GETCURRENTPAGEHWND, 0, 0));
    PageSeen seen;
    WCHAR tab[128] = {};
    TCITEMW item{.mask = TCIF_TEXT, .pszText = tab, .cchTextMax = 128};
    SendMessageW(tabs, TCM_GETITEMW, WPARAM(i), reinterpret_cast<LPARAM>(&item));
    seen.tab = tab;
    // The About page's texts: it is the last page of both sheets, whatever the UI language calls its tab
    // (Page Setup's 1001 is its stock list).
    if (page && i == count - 1) {
      seen.product = ItemText(page, 1000);
      seen.version = ItemText(page, 1001);
      seen.notice = ItemText(page, 1002);
    }
    if (page) seen.firmwareShown = IsWindowVisible(GetDlgItem(page, 1058)) != FALSE;
    if (page) seen.controls = ButtonVersion(page);
    RedrawWindow(sheet, nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW | RDW_ALLCHILDREN);
    Sleep(200);
    const std::string path = watch->outDir + "\\" + watch->prefix + "-" + std::to_string(i + 1) + "-" + Slug(seen.tab) + ".png";
    if (Screenshot(sheet, path)) seen.png = path;
    if (page && !CheckPageSetup(page, watch->outDir + "\\" + watch->prefix, &seen.editorPng)) seen.failed = true;
    watch->pages.push_back(seen);
  }
  watch->pressedOk = PostMessageW(sheet, PSM_PRESSBUTTON, PSBTN_OK, 0) != FALSE;
  return 0;
}

bool CheckPages(const char* step, const Watch& watch) {
  if (!watch.found) return Fail(step, watch.error, false);
  bool about = false;
  for (const PageSeen& p : watch.pages) {
    std::printf("     page \"%s\": %s\n", Narrow(p.tab.c_str()).c_str(), p.png.empty() ? "no screenshot" : p.png.c_str());
    if (p.controls) std::printf("       Common Controls %d\n", p.controls);
    if (p.controls == 5) return Fail(step, "page " + Narrow(p.tab.c_str()) + ": buttons of Common Controls 5, not 6", false);
    if (p.png.empty()) return Fail(step, "no screenshot of page " + Narrow(p.tab.c_str()), false);
    if (p.failed) return false;
    if (!p.editorPng.empty()) std::printf("     stock editor: %s\n", p.editorPng.c_str());
    if (p.version.empty()) continue;
    about = true;
    std::printf("     About: \"%s\" / \"%s\" / \"%s\"\n", Narrow(p.product.c_str()).c_str(),
                Narrow(p.version.c_str()).c_str(), Narrow(p.notice.c_str()).c_str());
    if (p.version != TEXT("2024.02.04.1")) return Fail(step, "About version " + Narrow(p.version.c_str()), false);
    if (p.product.empty() || p.notice.empty()) return Fail(step, "About page without product name or notice", false);
  }
  if (!about) return Fail(step, "no About page among the sheet's pages", false);
  if (!watch.pressedOk) return Fail(step, "could not press OK");
  return true;
}


// ---- the pfnComPropSheet host for when Wine's compstui lacks a function the driver calls -------------
// It does what compstui does for this driver: keeps the descriptor, makes property pages of the pages
// added, shows them with PropertySheetW in the activation context the driver set for them
// (CPSFUNC_SET_FUSION_CONTEXT; Wine's comctl32 does not read a page's own PSP_USEFUSIONCONTEXT), calls
// the descriptor's callback with the apply-now reason when the sheet applies (OK), then SET_RESULT and
// DESTROY.
struct OwnHost {
  PFNPROPSHEETUI fn = nullptr;
  PROPSHEETUI_INFO info{};
  COMPROPSHEETUI descriptor{};
  bool haveDescriptor = false;
  std::vector<HPROPSHEETPAGE> pages;
  bool applied = false;
  LONG applyAction = 0;
  std::vector<std::string> calls;
  HANDLE fusion = nullptr;  // CPSFUNC_SET_FUSION_CONTEXT
};
OwnHost* g_host = nullptr;  // one sheet at a time in this program

struct HostPage {
  PROPSHEETPAGEW psp;
  DLGPROC original;
};
const WCHAR kOriginalProc[] = TEXT("lblwinecheck.proc");

INT_PTR CALLBACK HostPageProc(HWND page, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_INITDIALOG) {
    const auto* hp = reinterpret_cast<const HostPage*>(lParam);
    SetPropW(page, kOriginalProc, reinterpret_cast<HANDLE>(hp->original));
  }
  auto original = reinterpret_cast<DLGPROC>(GetPropW(page, kOriginalProc));
  if (message == WM_NOTIFY && reinterpret_cast<NMHDR*>(lParam)->code == UINT(PSN_APPLY) && g_host &&
      !g_host->applied && g_host->haveDescriptor && g_host->descriptor.pfnCallBack) {
    g_host->applied = true;
    const COMPROPSHEETUI& d = g_host->descriptor;
    CPSUICBPARAM p{.cbSize = sizeof(CPSUICBPARAM), .Reason = CPSUICB_REASON_APPLYNOW, .hDlg = page,
                   .pOptItem = d.pOptItem, .cOptItem = d.cOptItem, .UserData = d.UserData};
    g_host->applyAction = d.pfnCallBack(&p);
  }
  INT_PTR result = original ? original(page, message, wParam, lParam) : FALSE;
  if (message == WM_DESTROY) RemovePropW(page, kOriginalProc);
  return result;
}

LONG_PTR CALLBACK HostFunction(HANDLE, UINT function, LPARAM lParam1, LPARAM) {
  OwnHost* host = g_host;
  switch (function) {
    case CPSFUNC_ADD_PCOMPROPSHEETUIW:
      host->calls.push_back("CPSFUNC_ADD_PCOMPROPSHEETUIW");
      host->descriptor = *reinterpret_cast<const COMPROPSHEETUI*>(lParam1);
      host->haveDescriptor = true;
      return 0x4C42;  // the descriptor's handle
    case CPSFUNC_ADD_PROPSHEETPAGEW: {
      host->calls.push_back("CPSFUNC_ADD_PROPSHEETPAGEW");
      HostPage hp{};
      hp.psp = *reinterpret_cast<const PROPSHEETPAGEW*>(lParam1);
      hp.original = hp.psp.pfnDlgProc;
      hp.psp.dwSize = sizeof hp;
      hp.psp.pfnDlgProc = HostPageProc;
      HPROPSHEETPAGE page = CreatePropertySheetPageW(&hp.psp);
      if (!page) return 0;
      host->pages.push_back(page);
      return reinterpret_cast<LONG_PTR>(page);
    }
    case CPSFUNC_SET_FUSION_CONTEXT:
      host->calls.push_back("CPSFUNC_SET_FUSION_CONTEXT");
      host->fusion = reinterpret_cast<HANDLE>(lParam1);
      return 1;
    default:
      host->calls.push_back("function " + std::to_string(function) + " (not supported)");
      return 0;
  }
}

// The sheet of `fn` with `lParamInit`, shown modally. The PropertySheetW result, or -1 when the driver's
// INIT failed.
LONG HostSheet(OwnHost* host, PFNPROPSHEETUI fn, LPARAM lParamInit) {
  g_host = host;
  host->fn = fn;
  host->info.cbSize = sizeof host->info;
  host->info.Version = 0x0100;
  host->info.hComPropSheet = reinterpret_cast<HANDLE>(host);
  host->info.pfnComPropSheet = HostFunction;
  host->info.lParamInit = lParamInit;
  host->info.Reason = PROPSHEETUI_REASON_INIT;
  if (fn(&host->info, 0) <= 0) {
    g_host = nullptr;
    return -1;
  }
  PROPSHEETUI_INFO_HEADER header{};
  header.cbSize = sizeof header;
  host->info.Reason = PROPSHEETUI_REASON_GET_INFO_HEADER;
  fn(&host->info, reinterpret_cast<LPARAM>(&header));
  std::wstring title = header.pTitle ? header.pTitle : TEXT("");
  PROPSHEETHEADERW psh{};
  psh.dwSize = sizeof psh;
  psh.dwFlags = PSH_NOAPPLYNOW | ((header.Flags & PSUIHDRF_PROPTITLE) ? PSH_PROPTITLE : 0);
  psh.hInstance = header.hInst;
  psh.pszCaption = title.c_str();
  psh.nPages = UINT(host->pages.size());
  psh.phpage = host->pages.data();
  ULONG_PTR cookie = 0;
  const bool activated = host->fusion && ActivateActCtx(host->fusion, &cookie);
  const INT_PTR shown = PropertySheetW(&psh);
  if (activated) DeactivateActCtx(0, cookie);
  SETRESULT_INFO result{sizeof(SETRESULT_INFO), 0, reinterpret_cast<HANDLE>(LONG_PTR(0x4C42)),
                        host->applied ? CPSUI_OK : CPSUI_CANCEL};
  host->info.Reason = PROPSHEETUI_REASON_SET_RESULT;
  fn(&host->info, reinterpret_cast<LPARAM>(&result));
  host->info.Reason = PROPSHEETUI_REASON_DESTROY;
  fn(&host->info, 0);
  g_host = nullptr;
  return LONG(shown);
}

HANDLE StartWatch(Watch* watch) { return CreateThread(nullptr, 0, WatchSheet, watch, 0, nullptr); }

bool EndWatch(Watch* watch, HANDLE thread) {
  InterlockedExchange(&watch->stop, 1);
  const bool ended = WaitForSingleObject(thread, kSheetWaitMs + 10000) == WAIT_OBJECT_0;
  CloseHandle(thread);
  return ended;
}

}  // namespace

namespace {

// The driver's output after OK: the settings record of the printer with the copies the application set.
bool CheckOutput(const std::vector<uint8_t>& out, const std::string& driver) {
  const auto* dm = reinterpret_cast<const PrinterDevmode*>(out.data());
  if (dm->dm.dmSize != 220 || dm->Signature != kDevmodeSignature)
    return Fail("document sheet output", "no driver DEVMODE after OK", false);
  if (Narrow(dm->dm.dmDeviceName) != driver.substr(0, 31) || dm->dm.dmCopies != 3)
    return Fail("document sheet output",
                "device " + Narrow(dm->dm.dmDeviceName) + ", copies " + std::to_string(dm->dm.dmCopies), false);
  return true;
}

// The sheet shown by the check's own host, with the watcher visiting it.
bool HostedSheet(const char* step, const std::string& prefix, const std::string& outDir, PFNPROPSHEETUI fn,
                 LPARAM lParamInit, OwnHost* host, Watch* watch) {
  watch->prefix = prefix;
  watch->outDir = outDir;
  HANDLE thread = StartWatch(watch);
  const LONG shown = HostSheet(host, fn, lParamInit);
  if (!EndWatch(watch, thread)) return Fail(step, "the watcher did not end", false);
  std::string calls;
  for (const std::string& c : host->calls) calls += (calls.empty() ? "" : ", ") + c;
  std::printf("     the driver called: %s\n", calls.c_str());
  if (shown < 0) return Fail(step, "the driver's INIT failed");
  if (!host->haveDescriptor) return Fail(step, "no CPSFUNC_ADD_PCOMPROPSHEETUIW", false);
  return CheckPages(step, *watch);
}

}  // namespace

namespace {
struct ProcessWindowSearch {
  DWORD pid;
  const std::function<bool(HWND)>* match;
  HWND found;
};
BOOL CALLBACK MatchProcessWindow(HWND window, LPARAM param) {
  auto* s = reinterpret_cast<ProcessWindowSearch*>(param);
  DWORD pid = 0;
  GetWindowThreadProcessId(window, &pid);
  if (pid != s->pid || !IsWindowVisible(window) || !(*s->match)(window)) return TRUE;
  s->found = window;
  return FALSE;
}
}  // namespace

HWND FindProcessWindow(DWORD pid, const std::function<bool(HWND)>& match) {
  ProcessWindowSearch search{pid, &match, nullptr};
  EnumWindows(MatchProcessWindow, reinterpret_cast<LPARAM>(&search));
  return search.found;
}

HMODULE LoadPrinterUi(HANDLE printer) {
  DWORD needed = 0;
  GetPrinterDriverW(printer, nullptr, 2, nullptr, 0, &needed);
  std::vector<BYTE> info(needed ? needed : 1);
  if (!needed || !GetPrinterDriverW(printer, nullptr, 2, info.data(), needed, &needed)) return nullptr;
  return LoadLibraryW(reinterpret_cast<DRIVER_INFO_2W*>(info.data())->pConfigFile);
}

int HostedDeviceSheet(HANDLE printer, const std::string& prefix, const std::string& outDir,
                      std::vector<std::pair<std::string, bool>>* pages) {
  auto deviceSheet = DriverExport<PFNPROPSHEETUI>(LoadPrinterUi(printer), "DrvDevicePropertySheets");
  if (!deviceSheet) return Fail(prefix.c_str(), "DrvDevicePropertySheets"), 1;
  DWORD needed = 0;
  GetPrinterW(printer, 2, nullptr, 0, &needed);
  std::vector<BYTE> p2(needed ? needed : 1);
  if (!needed || !GetPrinterW(printer, 2, p2.data(), needed, &needed)) return Fail(prefix.c_str(), "GetPrinterW"), 1;
  DEVICEPROPERTYHEADER header{sizeof(DEVICEPROPERTYHEADER), 0, printer,
                              reinterpret_cast<PRINTER_INFO_2W*>(p2.data())->pPrinterName};
  OwnHost host;
  Watch watch;
  if (!HostedSheet("device sheet", prefix, outDir, deviceSheet, reinterpret_cast<LPARAM>(&header), &host, &watch))
    return 1;
  for (const PageSeen& p : watch.pages) pages->emplace_back(Narrow(p.tab.c_str()), p.firmwareShown);
  return 0;
}

int SheetChecks(const std::string& driver, const std::string& outDir) {
  CreateDirectoryA(outDir.c_str(), nullptr);
  InitCommonControls();
  std::wstring name = Widen(driver);
  HANDLE printer = nullptr;
  if (!OpenPrinterW(name.data(), &printer, nullptr)) return Fail("OpenPrinterW", driver), 1;
  HMODULE ui = LoadPrinterUi(printer);
  auto documentSheet = DriverExport<PFNPROPSHEETUI>(ui, "DrvDocumentPropertySheets");
  auto deviceSheet = DriverExport<PFNPROPSHEETUI>(ui, "DrvDevicePropertySheets");
  if (!documentSheet || !deviceSheet) return Fail("load lbldrv6ui.dll", "the sheet functions"), 1;

  // ---- the document sheet as an application opens it: its DEVMODE in, the applied one out
  const LONG size = DocumentPropertiesW(nullptr, printer, name.data(), nullptr, nullptr, 0);
  if (size != LONG(sizeof(PrinterDevmode))) return Fail("DocumentPropertiesW size", std::to_string(size)), 1;
  std::vector<uint8_t> in(static_cast<size_t>(size)), out(static_cast<size_t>(size), 0xAB);
  // Wine's DocumentPropertiesW gives the driver the output's own dmSize as cbOut (Windows, the size
  // from the size query): the whole size goes there.
  for (std::vector<uint8_t>* b : {&in, &out}) reinterpret_cast<DEVMODEW*>(b->data())->dmSize = WORD(size);
  if (DocumentPropertiesW(nullptr, printer, name.data(), reinterpret_cast<DEVMODEW*>(in.data()), nullptr,
                          DM_OUT_BUFFER) != IDOK)
    return Fail("DocumentPropertiesW defaults", driver), 1;
  auto* inDm = reinterpret_cast<PrinterDevmode*>(in.data());
  inDm->dm.dmCopies = 3;
  inDm->dm.dmFields |= DM_COPIES;

  Watch wineDoc;
  wineDoc.prefix = "document";
  wineDoc.outDir = outDir;
  HANDLE thread = StartWatch(&wineDoc);
  const LONG shown = DocumentPropertiesW(nullptr, printer, name.data(), reinterpret_cast<DEVMODEW*>(out.data()),
                                         reinterpret_cast<DEVMODEW*>(in.data()),
                                         DM_IN_PROMPT | DM_IN_BUFFER | DM_OUT_BUFFER);
  if (!EndWatch(&wineDoc, thread)) return Fail("document sheet", "the watcher did not end", false), 1;
  if (wineDoc.found) {
    if (!CheckPages("document sheet (Wine's compstui)", wineDoc)) return 1;
    if (shown != IDOK) return Fail("DocumentPropertiesW DM_IN_PROMPT", "returned " + std::to_string(shown)), 1;
    if (!CheckOutput(out, driver)) return 1;
    Ok("document sheet through DocumentPropertiesW: " + std::to_string(wineDoc.pages.size()) + " page(s), About read, OK gave the DEVMODE");
  } else {
    std::printf("     DocumentPropertiesW(DM_IN_PROMPT) returned %ld without a sheet: Wine's compstui lacks "
                "CPSFUNC_ADD_PCOMPROPSHEETUIW, so the check hosts the sheet itself\n", long(shown));
    auto header = PromptedDocument(printer, name, in, out);
    OwnHost host;
    Watch doc;
    if (!HostedSheet("document sheet", "document", outDir, documentSheet, reinterpret_cast<LPARAM>(&header), &host, &doc))
      return 1;
    if (!host.applied || host.applyAction != CPSUICB_ACTION_ITEMS_APPLIED)
      return Fail("document sheet", "OK did not apply the settings (callback action " + std::to_string(host.applyAction) + ")", false), 1;
    if (!CheckOutput(out, driver)) return 1;
    const auto* dm = reinterpret_cast<const PrinterDevmode*>(out.data());
    Ok("document sheet: " + std::to_string(doc.pages.size()) + " page(s) shown with PropertySheetW, About read, OK " +
       "gave the DEVMODE of " + Narrow(dm->dm.dmDeviceName) + " (form \"" + Narrow(dm->dm.dmFormName) + "\", copies 3)");
  }

  // ---- the device sheet as the spooler opens it: compstui with the driver's sheet function
  DEVICEPROPERTYHEADER header{sizeof(DEVICEPROPERTYHEADER), 0, printer, name.data()};
  HMODULE compstui = LoadLibraryW(TEXT("compstui.dll"));
  using CommonSheetFn = LONG(WINAPI*)(HWND, PFNPROPSHEETUI, LPARAM, LPDWORD);
  auto common = DriverExport<CommonSheetFn>(compstui, "CommonPropertySheetUIW");
  if (!common) return Fail("compstui.dll", "CommonPropertySheetUIW"), 1;
  Watch wineDev;
  wineDev.prefix = "device";
  wineDev.outDir = outDir;
  thread = StartWatch(&wineDev);
  DWORD result = 0;
  const LONG devShown = common(nullptr, deviceSheet, reinterpret_cast<LPARAM>(&header), &result);
  if (!EndWatch(&wineDev, thread)) return Fail("device sheet", "the watcher did not end", false), 1;
  if (wineDev.found) {
    if (!CheckPages("device sheet (Wine's compstui)", wineDev)) return 1;
    Ok("device sheet through CommonPropertySheetUIW: " + std::to_string(wineDev.pages.size()) + " page(s), About read, OK pressed");
  } else {
    std::printf("     CommonPropertySheetUIW returned %ld without a sheet: the check hosts the sheet itself\n",
                long(devShown));
    OwnHost host;
    Watch dev;
    if (!HostedSheet("device sheet", "device", outDir, deviceSheet, reinterpret_cast<LPARAM>(&header), &host, &dev))
      return 1;
    if (host.applyAction != CPSUICB_ACTION_NONE)
      return Fail("device sheet", "the apply step wrote something without an output DEVMODE", false), 1;
    Ok("device sheet: " + std::to_string(dev.pages.size()) + " page(s) shown with PropertySheetW, About read, OK pressed");
  }
  ClosePrinter(printer);
  return 0;
}

}  // namespace winecheck
