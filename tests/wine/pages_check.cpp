// The Graphics Property (108), Print Settings (113) and WaterMark (120) pages of the real
// lbldrv6ui.dll under Wine: the driver adds its pages to a small pfnComPropSheet host, which shows
// them in a modeless PropertySheetW; the check reads their lists with user32, clicks two dithering
// methods, gives the WaterMark page a picture, saves screenshots and applies.
#include <windows.h>
#include <commctrl.h>
#include <compstui.h>
#include <prsht.h>
#include <winddiui.h>
#include <winspool.h>

#include <functional>
#include <string>
#include <vector>

#include "common/devmode.h"
#include "tests/wine/check.h"

namespace winecheck {
namespace {

struct PagesHost {
  COMPROPSHEETUI descriptor{};
  bool haveDescriptor = false;
  std::vector<PROPSHEETPAGEW> pages;
};
PagesHost* g_pages = nullptr;

LONG_PTR CALLBACK PagesHostFunction(HANDLE, UINT function, LPARAM lParam1, LPARAM) {
  switch (function) {
    case CPSFUNC_ADD_PCOMPROPSHEETUIW:
      g_pages->descriptor = *reinterpret_cast<const COMPROPSHEETUI*>(lParam1);
      g_pages->haveDescriptor = true;
      return 1;
    case CPSFUNC_ADD_PROPSHEETPAGEW:
      g_pages->pages.push_back(*reinterpret_cast<const PROPSHEETPAGEW*>(lParam1));
      return LONG_PTR(0x100 + g_pages->pages.size());
    default: return 0;
  }
}

// Runs the sheet's messages for `ms` milliseconds (the pages post and time their refreshes), or until
// `done` holds.
void Pump(HWND sheet, DWORD ms, const std::function<bool()>& done = nullptr) {
  const DWORD start = GetTickCount();
  do {
    MSG msg;
    while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
      if (!PropSheet_IsDialogMessage(sheet, &msg)) {
        TranslateMessage(&msg);
        DispatchMessageW(&msg);
      }
    }
    if (done && done()) return;
    Sleep(10);
  } while (GetTickCount() - start < ms);
}

std::vector<std::wstring> ComboItems(HWND page, int id, bool list = false) {
  std::vector<std::wstring> items;
  const int n = int(SendDlgItemMessageW(page, id, list ? LB_GETCOUNT : CB_GETCOUNT, 0, 0));
  for (int i = 0; i < n; ++i) {
    WCHAR text[128] = {};
    SendDlgItemMessageW(page, id, list ? LB_GETTEXT : CB_GETLBTEXT, WPARAM(i), reinterpret_cast<LPARAM>(text));
    items.push_back(text);
  }
  return items;
}

std::string Joined(const std::vector<std::wstring>& items) {
  std::string s;
  for (const std::wstring& i : items) s += (s.empty() ? "" : ", ") + Narrow(i.c_str());
  return s;
}

HWND ShowPage(HWND sheet, int index) {
  PropSheet_SetCurSel(sheet, nullptr, index);
  Pump(sheet, 300);
  return PropSheet_GetCurrentPageHwnd(sheet);
}

// A 160 x 100 picture: a black ring on white, as a 24-bit BMP file.
bool WriteRingBmp(const std::string& path) {
  const int w = 160, h = 100, stride = (w * 3 + 3) & ~3;
  std::vector<uint8_t> file(54 + size_t(stride) * h, 0xFF);
  auto put32 = [&](size_t at, uint32_t v) {
    for (int i = 0; i < 4; ++i) file[at + i] = uint8_t(v >> (8 * i));
  };
  file[0] = 'B';
  file[1] = 'M';
  put32(2, uint32_t(file.size()));
  put32(6, 0);
  put32(10, 54);
  put32(14, 40);
  put32(18, w);
  put32(22, h);
  file[26] = 1;
  file[27] = 0;
  file[28] = 24;
  file[29] = 0;
  for (size_t i = 30; i < 54; ++i) file[i] = 0;
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) {
      const int dx = x - w / 2, dy = y - h / 2, d2 = dx * dx + dy * dy;
      if (d2 > 25 * 25 && d2 < 45 * 45) {
        uint8_t* p = &file[54 + size_t(y) * stride + size_t(x) * 3];
        p[0] = p[1] = p[2] = uint8_t(x);  // a dark ramp, for the dithering
      }
    }
  return WriteBytes(path, file.data(), file.size());
}

}  // namespace

int PageChecks(const std::string& driver, const std::string& outDir) {
  const char* step = "settings pages";
  std::wstring name = Widen(driver);
  HANDLE printer = nullptr;
  if (!OpenPrinterW(name.data(), &printer, nullptr)) return Fail(step, "OpenPrinterW " + driver), 1;
  HMODULE ui = LoadPrinterUi(printer);
  auto documentSheet = DriverExport<PFNPROPSHEETUI>(ui, "DrvDocumentPropertySheets");
  if (!documentSheet) return Fail(step, "DrvDocumentPropertySheets of lbldrv6ui.dll"), 1;

  const LONG size = DocumentPropertiesW(nullptr, printer, name.data(), nullptr, nullptr, 0);
  if (size != LONG(sizeof(PrinterDevmode))) return Fail(step, "DocumentPropertiesW size"), 1;
  std::vector<uint8_t> in(size_t(size), 0), out(size_t(size), 0);
  reinterpret_cast<DEVMODEW*>(in.data())->dmSize = WORD(size);
  if (DocumentPropertiesW(nullptr, printer, name.data(), reinterpret_cast<DEVMODEW*>(in.data()), nullptr,
                          DM_OUT_BUFFER) != IDOK)
    return Fail(step, "DocumentPropertiesW defaults"), 1;
  const std::string picture = outDir + "\\watermark-ring.bmp";
  if (!WriteRingBmp(picture)) return Fail(step, "cannot write " + picture), 1;
  auto* dm = reinterpret_cast<PrinterDevmode*>(in.data());
  dm->Flags |= kFlagWatermark;
  const std::wstring widePicture = Widen(picture);
  lstrcpynW(dm->WatermarkPath, widePicture.c_str(), kWatermarkPathChars);
  dm->WatermarkScale = 60;
  dm->WatermarkX = 50;
  dm->WatermarkY = 50;
  dm->WatermarkBrightness = 200;

  auto header = PromptedDocument(printer, name, in, out);
  PagesHost host;
  g_pages = &host;
  PROPSHEETUI_INFO info{};
  info.cbSize = sizeof info;
  info.hComPropSheet = reinterpret_cast<HANDLE>(1);
  info.pfnComPropSheet = PagesHostFunction;
  info.lParamInit = reinterpret_cast<LPARAM>(&header);
  info.Reason = PROPSHEETUI_REASON_INIT;
  if (documentSheet(&info, 0) <= 0 || !host.haveDescriptor) return Fail(step, "the document sheet's INIT"), 1;

  std::vector<HPROPSHEETPAGE> handles;
  int graphics = -1, settings = -1, watermark = -1;
  for (size_t i = 0; i < host.pages.size(); ++i) {
    const WORD id = WORD(reinterpret_cast<ULONG_PTR>(host.pages[i].pszTemplate));
    if (id == 108) graphics = int(handles.size());
    if (id == 113) settings = int(handles.size());
    if (id == 120) watermark = int(handles.size());
    handles.push_back(CreatePropertySheetPageW(&host.pages[i]));
  }
  if (graphics < 0 || settings < 0 || watermark < 0) return Fail(step, "pages 108, 113 and 120 not all added", false), 1;
  PROPSHEETHEADERW psh{};
  psh.dwSize = sizeof psh;
  psh.dwFlags = PSH_MODELESS | PSH_NOAPPLYNOW;
  psh.pszCaption = name.c_str();
  psh.nPages = UINT(handles.size());
  psh.phpage = handles.data();
  HWND sheet = reinterpret_cast<HWND>(PropertySheetW(&psh));
  if (!sheet) return Fail(step, "PropertySheetW"), 1;
  bool ok = true;

  // Graphics Property: the bars' range, two dithering methods, the sample redrawn for each.
  HWND page = ShowPage(sheet, graphics);
  const LRESULT barMax = SendDlgItemMessageW(page, 1030, TBM_GETRANGEMAX, 0, 0);
  HANDLE sample = reinterpret_cast<HANDLE>(SendDlgItemMessageW(page, 1036, STM_GETIMAGE, IMAGE_BITMAP, 0));
  if (barMax != 200 || !sample) ok = Fail(step, "Graphics: bar range " + std::to_string(barMax) + ", sample shown " + (sample ? "yes" : "no"), false);
  struct Method {
    int id;
    const char* file;
  };
  for (Method m : {Method{1008, "graphics-floyd-steinberg.png"}, Method{1096, "graphics-none.png"}}) {
    SendDlgItemMessageW(page, m.id, BM_CLICK, 0, 0);
    Pump(sheet, 300);
    if (IsDlgButtonChecked(page, m.id) != BST_CHECKED) ok = Fail(step, std::string("Graphics: button not checked for ") + m.file, false);
    HANDLE now = reinterpret_cast<HANDLE>(SendDlgItemMessageW(page, 1036, STM_GETIMAGE, IMAGE_BITMAP, 0));
    if (!now || now == sample) ok = Fail(step, std::string("Graphics: the sample was not redrawn for ") + m.file, false);
    sample = now;
    if (!Screenshot(sheet, outDir + "\\" + m.file)) ok = Fail(step, std::string("screenshot ") + m.file, false);
  }
  if (ok) Ok("Graphics Property: bars 0..200, sample redrawn for Floyd-Steinberg and None, two screenshots");

  // Print Settings: its lists as user32 reads them.
  page = ShowPage(sheet, settings);
  const auto languages = ComboItems(page, 1052), actions = ComboItems(page, 1022), slots = ComboItems(page, 1044, true);
  const auto chars = ComboItems(page, 1046), occurrence = ComboItems(page, 1027), speeds = ComboItems(page, 1041);
  std::printf("     Print Settings: languages [%s]; post actions [%s]; occurrence [%s]; slots [%s]; function [%s]; %zu speeds\n",
              Joined(languages).c_str(), Joined(actions).c_str(), Joined(occurrence).c_str(), Joined(slots).c_str(),
              Joined(chars).c_str(), speeds.size());
  if (languages.empty() || actions.size() < 2 || actions[1] != TEXT("Tear Off") || slots.size() != 4 || chars.size() != 7 ||
      occurrence.size() != 3 || speeds.empty() || speeds[0] != TEXT("Use printer settings"))
    ok = Fail(step, "Print Settings lists", false);
  if (!Screenshot(sheet, outDir + "\\print-settings.png")) ok = Fail(step, "screenshot print-settings.png", false);

  // WaterMark: the preview of the ring after the activation timer (late on a busy machine).
  page = ShowPage(sheet, watermark);
  auto previewShown = [&] { return SendDlgItemMessageW(page, 1095, STM_GETIMAGE, IMAGE_BITMAP, 0) != 0; };
  Pump(sheet, 30000, previewShown);
  HANDLE preview = reinterpret_cast<HANDLE>(SendDlgItemMessageW(page, 1095, STM_GETIMAGE, IMAGE_BITMAP, 0));
  WCHAR path[MAX_PATH] = {};
  GetDlgItemTextW(page, 1083, path, MAX_PATH);
  if (!preview || widePicture != path) ok = Fail(step, "WaterMark: preview " + std::string(preview ? "shown" : "missing") + ", path " + Narrow(path), false);
  if (!Screenshot(sheet, outDir + "\\watermark.png")) ok = Fail(step, "screenshot watermark.png", false);

  // OK: the pages apply, then compstui's apply-now callback writes the output.
  PropSheet_PressButton(sheet, PSBTN_OK);
  Pump(sheet, 200);
  CPSUICBPARAM cb{};
  cb.cbSize = sizeof cb;
  cb.Reason = CPSUICB_REASON_APPLYNOW;
  cb.UserData = host.descriptor.UserData;
  const LONG action = host.descriptor.pfnCallBack(&cb);
  DestroyWindow(sheet);
  info.Reason = PROPSHEETUI_REASON_DESTROY;
  documentSheet(&info, 0);
  g_pages = nullptr;
  ClosePrinter(printer);
  const auto* result = reinterpret_cast<const PrinterDevmode*>(out.data());
  if (action != CPSUICB_ACTION_ITEMS_APPLIED || result->DitherLevel != 8 || !(result->Flags & kFlagWatermark))
    ok = Fail(step, "OK gave DitherLevel " + std::to_string(result->DitherLevel), false);
  if (!ok) return 1;
  Ok("Print Settings lists read, WaterMark preview of " + picture + " shown, OK stored DitherLevel 8 and the watermark");
  return 0;
}

}  // namespace winecheck
