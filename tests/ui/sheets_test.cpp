// The property-sheet paths of DrvDocumentPropertySheets and DrvDevicePropertySheets, driven by a small
// pfnComPropSheet host that records what the driver adds and calls the sheet function with the
// documented reasons, and the About page's texts.
#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "doc_sheet.h"
#include "ui/about.h"
#include "ui/docprops.h"
#include "ui/graphics.h"
#include "ui/pagesetup.h"
#include "ui/sheets.h"
#include "ui_fixture.h"
#include "winsim/gdiplus.h"
#include "winsim/ui.h"

namespace uitest {
namespace {

// What compstui would be for one sheet: it keeps the descriptor and page records the driver adds.
struct Host {
  std::vector<COMPROPSHEETUI> descriptors;
  std::vector<PROPSHEETPAGEW> pages;
  HANDLE handle = reinterpret_cast<HANDLE>(0x5150);  // what CPSFUNC_ADD_PCOMPROPSHEETUIW returns
  bool refuse = false;

  static LONG_PTR CALLBACK Function(HANDLE sheet, UINT function, LPARAM lParam1, LPARAM) {
    Host* host = static_cast<Host*>(sheet);
    switch (function) {
      case CPSFUNC_ADD_PCOMPROPSHEETUIW:
        if (host->refuse) return 0;
        host->descriptors.push_back(*reinterpret_cast<const COMPROPSHEETUI*>(lParam1));
        return reinterpret_cast<LONG_PTR>(host->handle);
      case CPSFUNC_ADD_PROPSHEETPAGEW:
        host->pages.push_back(*reinterpret_cast<const PROPSHEETPAGEW*>(lParam1));
        return 0x6000 + LONG_PTR(host->pages.size());
      default: return 0;
    }
  }
};

using SheetFunction = LONG(WINAPI*)(PPROPSHEETUI_INFO, LPARAM);

// One open sheet: INIT on construction, DESTROY at the end.
struct OpenSheet {
  Host host;
  PROPSHEETUI_INFO info{};
  SheetFunction fn;
  LONG initResult = 0;
  OpenSheet(SheetFunction f, void* header) : fn(f) {
    info.cbSize = sizeof info;
    info.hComPropSheet = &host;
    info.pfnComPropSheet = Host::Function;
    info.lParamInit = reinterpret_cast<LPARAM>(header);
    info.Reason = PROPSHEETUI_REASON_INIT;
    initResult = fn(&info, 0);
  }
  ~OpenSheet() { Call(PROPSHEETUI_REASON_DESTROY, 0); }
  LONG Call(WORD reason, LPARAM param) {
    info.Reason = reason;
    return fn(&info, param);
  }
  // The user pressed OK: compstui calls the descriptor's callback with the apply-now reason.
  LONG Apply(CPSUICBPARAM* out = nullptr) {
    CPSUICBPARAM p{};
    p.cbSize = sizeof p;
    p.Reason = CPSUICB_REASON_APPLYNOW;
    p.UserData = host.descriptors.at(0).UserData;
    LONG action = host.descriptors.at(0).pfnCallBack(&p);
    if (out) *out = p;
    return action;
  }
  std::vector<WORD> Templates() const {
    std::vector<WORD> t;
    for (const PROPSHEETPAGEW& p : host.pages) t.push_back(WORD(reinterpret_cast<ULONG_PTR>(p.pszTemplate)));
    return t;
  }
};

class Sheets : public UiTest {
 protected:
  DOCUMENTPROPERTYHEADER Header(HANDLE h, DEVMODEW* in, void* out, DWORD cbOut, DWORD mode) {
    return DocumentHeader(h, name, in, out, cbOut, mode);
  }
  WString name = ToWString(kPrinter.c_str());
};

TEST_F(Sheets, DocumentSheetSetsUpTheDescriptorAndItsPages) {
  Install();
  PrinterDevmode out{};
  DOCUMENTPROPERTYHEADER h = Header(printer, nullptr, &out, sizeof out, DM_UPDATE | DM_COPY);
  OpenSheet sheet(DrvDocumentPropertySheets, &h);
  ASSERT_EQ(sheet.initResult, 1);
  ASSERT_EQ(sheet.host.descriptors.size(), 1u);
  const COMPROPSHEETUI& d = sheet.host.descriptors[0];
  auto* ctx = reinterpret_cast<PrinterContext*>(sheet.info.UserData);
  ASSERT_NE(ctx, nullptr);
  EXPECT_EQ(d.UserData, sheet.info.UserData);
  EXPECT_EQ(U16(d.pCallerName), u"Ambervin Printer Driver for Windows");
  EXPECT_EQ(d.cOptItem, 1);
  EXPECT_EQ(d.CallerVersion, 0x600);
  EXPECT_EQ(d.OptItemVersion, WORD(ctx->Model->Version));
  EXPECT_EQ(d.IconID, ULONG_PTR(64087 + 2 * (ctx->Model->Flags & 1) + ((ctx->Model->Flags & 0x80) ? 0 : 1)));
  EXPECT_EQ(d.pfnCallBack, GuardedSheetCallback<ApplySheet>);
  EXPECT_TRUE(d.Flags & CPSUIF_UPDATE_PERMISSION);
  EXPECT_EQ(ctx->SheetFlags, kSheetMayWrite | kSheetDocument);
  // The pages built so far, after the descriptor, each with the sheet's context.
  EXPECT_EQ(sheet.Templates(), (std::vector<WORD>{kPageSetupTemplate, 108, 120, 113, 101}));
  for (const PROPSHEETPAGEW& p : sheet.host.pages) {
    EXPECT_EQ(p.lParam, LPARAM(sheet.info.UserData));
    EXPECT_EQ(p.hInstance, UiModule());
    EXPECT_EQ(p.dwSize, sizeof(PROPSHEETPAGEW));
  }

  PROPSHEETUI_INFO_HEADER header{};
  header.cbSize = sizeof header;
  ASSERT_EQ(sheet.Call(PROPSHEETUI_REASON_GET_INFO_HEADER, reinterpret_cast<LPARAM>(&header)), 1);
  EXPECT_EQ(U16(header.pTitle), kPrinter);
  EXPECT_EQ(header.Flags, 6);
  EXPECT_EQ(header.IconID, d.IconID);

  SETRESULT_INFO result{sizeof(SETRESULT_INFO), 0, sheet.host.handle, CPSUI_OK};
  EXPECT_EQ(sheet.Call(PROPSHEETUI_REASON_SET_RESULT, reinterpret_cast<LPARAM>(&result)), 1);
  EXPECT_EQ(sheet.info.Result, ULONG_PTR(CPSUI_OK));
  result.hSetResult = reinterpret_cast<HANDLE>(0x77);
  result.Result = CPSUI_CANCEL;
  EXPECT_EQ(sheet.Call(PROPSHEETUI_REASON_SET_RESULT, reinterpret_cast<LPARAM>(&result)), -1);
  EXPECT_EQ(sheet.info.Result, ULONG_PTR(CPSUI_OK));
  EXPECT_EQ(sheet.Call(PROPSHEETUI_REASON_GET_ICON, 0), -1);

  // GDI+ runs for the previews while the sheet is open, and stops with it.
  auto gdipCalls = [] {
    std::vector<std::string> names;
    for (const winsim::GdipCall& c : winsim::GdipCalls()) names.push_back(c.name);
    return names;
  };
  EXPECT_EQ(gdipCalls(), std::vector<std::string>{"GdiplusStartup"});
  EXPECT_EQ(sheet.Call(PROPSHEETUI_REASON_DESTROY, 0), 1);
  EXPECT_EQ(sheet.info.UserData, 0u);
  EXPECT_EQ(gdipCalls(), (std::vector<std::string>{"GdiplusStartup", "GdiplusShutdown"}));
}

TEST_F(Sheets, DocumentSheetFailuresAndARefusingHost) {
  Install();
  PROPSHEETUI_INFO info{};
  info.Reason = PROPSHEETUI_REASON_INIT;
  EXPECT_EQ(DrvDocumentPropertySheets(&info, 0), -1) << "no header";

  DOCUMENTPROPERTYHEADER h = Header(reinterpret_cast<HANDLE>(0x1234), nullptr, nullptr, 0, DM_PROMPT);
  SetLastError(0);
  OpenSheet unmapped(DrvDocumentPropertySheets, &h);
  EXPECT_EQ(unmapped.initResult, -1);
  EXPECT_EQ(GetLastError(), DWORD(ERROR_INVALID_DATA));
  EXPECT_TRUE(unmapped.host.descriptors.empty());

  h = Header(printer, nullptr, nullptr, 0, DM_PROMPT);
  Host refusing;
  refusing.refuse = true;
  info = {};
  info.hComPropSheet = &refusing;
  info.pfnComPropSheet = Host::Function;
  info.lParamInit = reinterpret_cast<LPARAM>(&h);
  EXPECT_EQ(DrvDocumentPropertySheets(&info, 0), -1);
  EXPECT_TRUE(refusing.pages.empty()) << "no pages on a sheet that was not added";
  info.Reason = PROPSHEETUI_REASON_DESTROY;
  EXPECT_EQ(DrvDocumentPropertySheets(&info, 0), 1);
  EXPECT_EQ(info.UserData, 0u);
}

TEST_F(Sheets, WithoutUpdatePermissionApplyingWritesNothing) {
  Install();
  SetForms(FiveEntries());
  std::vector<uint8_t> out(2968, 0xAB);
  struct Case {
    const char* what;
    DWORD mode;
    bool buffer;
    DWORD flags;
  } cases[] = {{"DM_NOPERMISSION", DM_UPDATE | DM_COPY | DM_NOPERMISSION, true, 6},
               {"no output buffer", DM_UPDATE | DM_COPY, false, 6},
               {"prompt only", DM_PROMPT, true, 6},
               {"settings locked", DM_UPDATE | DM_COPY, true, 6 | kPropLockSettings}};
  for (const Case& c : cases) {
    SetFlags(c.flags);
    DOCUMENTPROPERTYHEADER h = Header(printer, nullptr, c.buffer ? out.data() : nullptr, 2968, c.mode);
    OpenSheet sheet(DrvDocumentPropertySheets, &h);
    ASSERT_EQ(sheet.initResult, 1) << c.what;
    EXPECT_FALSE(sheet.host.descriptors[0].Flags & CPSUIF_UPDATE_PERMISSION) << c.what;
    EXPECT_EQ(sheet.Apply(), CPSUICB_ACTION_NONE) << c.what;
    EXPECT_EQ(out, std::vector<uint8_t>(2968, 0xAB)) << c.what;
    InstalledPaper stored{};
    EXPECT_FALSE(ReadInstalledPaper(printer, &stored)) << c.what;
  }
}

TEST_F(Sheets, ApplyWritesTheOutputWithinItsSizeAndTheInstalledPaper) {
  Install();
  SetForms(FiveEntries());
  PrinterDevmode in = DefaultDevmode();
  in.dm.dmFields |= DM_PAPERSIZE;
  in.dm.dmPaperSize = 257;  // "4 x 6"
  in.dm.dmCopies = 3;
  std::vector<uint8_t> out(2968, 0xAB);
  DOCUMENTPROPERTYHEADER h = Header(printer, &in.dm, out.data(), 1000, DM_UPDATE | DM_COPY);
  OpenSheet sheet(DrvDocumentPropertySheets, &h);
  ASSERT_EQ(sheet.initResult, 1);
  EXPECT_EQ(out, std::vector<uint8_t>(2968, 0xAB)) << "nothing before apply";
  CPSUICBPARAM p{};
  EXPECT_EQ(sheet.Apply(&p), CPSUICB_ACTION_ITEMS_APPLIED);
  EXPECT_EQ(p.Result, ULONG_PTR(CPSUI_OK));
  const auto* dm = reinterpret_cast<const PrinterDevmode*>(out.data());
  EXPECT_EQ(dm->dm.dmSize, 220);
  EXPECT_EQ(dm->dm.dmDriverExtra, 1000 - 220);
  EXPECT_EQ(dm->Signature, kDevmodeSignature);
  EXPECT_EQ(dm->dm.dmCopies, 3);
  EXPECT_EQ(dm->dm.dmPaperSize, 257);
  EXPECT_EQ(U16(dm->dm.dmFormName), u"4 x 6");
  EXPECT_EQ(std::vector<uint8_t>(out.begin() + 1000, out.end()), std::vector<uint8_t>(1968, 0xAB));
  InstalledPaper stored{};
  ASSERT_TRUE(ReadInstalledPaper(printer, &stored));
  EXPECT_EQ(U16(stored.Name), u"4 x 6");

  // Other callback reasons do nothing.
  CPSUICBPARAM other{};
  other.Reason = 0;
  other.UserData = sheet.info.UserData;
  EXPECT_EQ(sheet.host.descriptors[0].pfnCallBack(&other), CPSUICB_ACTION_NONE);
}

TEST_F(Sheets, ApplyWithAnOutputTooSmallForThePublicPartWritesNothing) {
  Install();
  std::vector<uint8_t> out(300, 0xAB);
  DOCUMENTPROPERTYHEADER h = Header(printer, nullptr, out.data(), 200, DM_COPY);
  OpenSheet sheet(DrvDocumentPropertySheets, &h);
  ASSERT_EQ(sheet.initResult, 1);
  sheet.Apply();
  EXPECT_EQ(out, std::vector<uint8_t>(300, 0xAB));
}

TEST_F(Sheets, TwoSheetsForTwoPrintersApplyTheirOwnSettings) {
  Install();
  const std::u16string second = u"Label Two";
  AddPrinter(second);
  HANDLE printer2 = Open(second, PRINTER_ALL_ACCESS);
  ASSERT_NE(printer2, nullptr);
  SetForms(FiveEntries());
  SetForms(FiveEntries(), second);

  PrinterDevmode in1 = DefaultDevmode(), in2 = DefaultDevmode();
  in1.dm.dmFields |= DM_PAPERSIZE;
  in1.dm.dmPaperSize = 257;  // "4 x 6"
  in1.dm.dmCopies = 2;
  in2.dm.dmFields |= DM_PAPERSIZE;
  in2.dm.dmPaperSize = 260;  // "2 x 1"
  in2.dm.dmCopies = 5;
  PrinterDevmode out1{}, out2{};
  WString name2 = ToWString(second.c_str());
  DOCUMENTPROPERTYHEADER h1 = Header(printer, &in1.dm, &out1, sizeof out1, DM_UPDATE | DM_COPY);
  DOCUMENTPROPERTYHEADER h2 = Header(printer2, &in2.dm, &out2, sizeof out2, DM_UPDATE | DM_COPY);
  h2.pszPrinterName = name2.data();
  {
    // Both open at once, as in the shell; the second is applied first.
    OpenSheet s1(DrvDocumentPropertySheets, &h1);
    OpenSheet s2(DrvDocumentPropertySheets, &h2);
    ASSERT_EQ(s1.initResult, 1);
    ASSERT_EQ(s2.initResult, 1);
    EXPECT_NE(s1.info.UserData, s2.info.UserData);
    s2.Apply();
    s1.Apply();
  }
  EXPECT_EQ(U16(out1.dm.dmDeviceName), kPrinter);
  EXPECT_EQ(out1.dm.dmCopies, 2);
  EXPECT_EQ(U16(out1.dm.dmFormName), u"4 x 6");
  EXPECT_EQ(U16(out2.dm.dmDeviceName), second);
  EXPECT_EQ(out2.dm.dmCopies, 5);
  EXPECT_EQ(U16(out2.dm.dmFormName), u"2 x 1");
  InstalledPaper stored1{}, stored2{};
  ASSERT_TRUE(ReadInstalledPaper(printer, &stored1));
  ASSERT_TRUE(ReadInstalledPaper(printer2, &stored2));
  EXPECT_EQ(U16(stored1.Name), u"4 x 6");
  EXPECT_EQ(U16(stored2.Name), u"2 x 1");
  ClosePrinter(printer2);
}

TEST_F(Sheets, CommitReopensThePrinterByItsFullName) {
  // Two names alike in their first 31 characters: dmDeviceName cannot tell them apart.
  const std::u16string longA = u"Warehouse label printer, bay 12 - left";
  const std::u16string longB = u"Warehouse label printer, bay 12 - right";
  Install(longA);
  AddPrinter(longB);
  HANDLE b = Open(longB, PRINTER_ALL_ACCESS);
  ASSERT_NE(b, nullptr);
  SetForms(FiveEntries(), longA);
  SetForms(FiveEntries(), longB);
  PrinterDevmode out{};
  WString nameB = ToWString(longB.c_str());
  PrinterDevmode in = DefaultDevmode();
  in.dm.dmFields |= DM_PAPERSIZE;
  in.dm.dmPaperSize = 258;  // "76.04"
  DOCUMENTPROPERTYHEADER h = Header(b, &in.dm, &out, sizeof out, DM_UPDATE | DM_COPY);
  h.pszPrinterName = nameB.data();
  {
    OpenSheet sheet(DrvDocumentPropertySheets, &h);
    ASSERT_EQ(sheet.initResult, 1);
    sheet.Apply();
  }
  InstalledPaper stored{};
  ASSERT_TRUE(ReadInstalledPaper(b, &stored));
  EXPECT_EQ(U16(stored.Name), u"76.04");
  EXPECT_FALSE(ReadInstalledPaper(printer, &stored)) << "the other printer is left alone";
  ClosePrinter(b);
}

TEST_F(Sheets, DeviceSheetAddsItsPagesAndHasNothingToWrite) {
  Install();
  PROPSHEETUI_INFO info{};
  SetLastError(0);
  EXPECT_EQ(DrvDevicePropertySheets(&info, 0), -1);
  EXPECT_EQ(GetLastError(), DWORD(ERROR_INVALID_DATA));
  SetLastError(0);
  EXPECT_EQ(DrvDevicePropertySheets(nullptr, 0), -1);
  EXPECT_EQ(GetLastError(), DWORD(ERROR_INVALID_DATA));

  for (DWORD flags : {DWORD(0), DWORD(DPS_NOPERMISSION)}) {
    DEVICEPROPERTYHEADER h{sizeof(DEVICEPROPERTYHEADER), WORD(flags), printer, name.data()};
    OpenSheet sheet(DrvDevicePropertySheets, &h);
    ASSERT_EQ(sheet.initResult, 1);
    EXPECT_EQ(sheet.Templates(), (std::vector<WORD>{104, 101}));
    const bool mayUpdate = (sheet.host.descriptors[0].Flags & CPSUIF_UPDATE_PERMISSION) != 0;
    EXPECT_EQ(mayUpdate, flags == 0);
    EXPECT_EQ(sheet.Apply(), CPSUICB_ACTION_NONE) << "no output DEVMODE";
    PROPSHEETUI_INFO_HEADER header{};
    ASSERT_EQ(sheet.Call(PROPSHEETUI_REASON_GET_INFO_HEADER, reinterpret_cast<LPARAM>(&header)), 1);
    EXPECT_EQ(U16(header.pTitle), kPrinter);
  }

  DEVICEPROPERTYHEADER bad{sizeof(DEVICEPROPERTYHEADER), 0, reinterpret_cast<HANDLE>(0x4321), name.data()};
  SetLastError(0);
  OpenSheet unmapped(DrvDevicePropertySheets, &bad);
  EXPECT_EQ(unmapped.initResult, -1);
  EXPECT_EQ(GetLastError(), DWORD(ERROR_INVALID_DATA));
}

TEST_F(Sheets, AboutPageTexts) {
  Install();
  WCHAR text[256];
  EXPECT_GT(AboutPageText(kAboutProductControl, text, 256), 0);
  EXPECT_EQ(U16(text), u"Tarnwell Label Printer Driver");
  EXPECT_GT(AboutPageText(kAboutNoticeControl, text, 256), 0);
  EXPECT_EQ(U16(text), u"Copyright (C) 2024 Tarnwell. All rights reserved.");
  EXPECT_EQ(AboutPageText(kAboutVersionControl, text, 256), 12);
  EXPECT_EQ(U16(text), u"2024.02.04.1");
  EXPECT_EQ(AboutPageText(1003, text, 256), 0);
  EXPECT_EQ(text[0], 0);
  EXPECT_EQ(AboutPageText(kAboutVersionControl, text, 5), 0) << "too small for the version";

  // One white brush for every colour message; static texts get a white background.
  HBRUSH brush = AboutPageBrush();
  ASSERT_NE(brush, nullptr);
  LOGBRUSH lb{};
  ASSERT_EQ(GetObjectW(brush, sizeof lb, &lb), int(sizeof lb));
  EXPECT_EQ(lb.lbColor, RGB(255, 255, 255));
  HDC dc = CreateCompatibleDC(nullptr);
  ASSERT_NE(dc, nullptr);
  SetBkColor(dc, RGB(1, 2, 3));
  EXPECT_EQ(AboutPageProc(nullptr, WM_CTLCOLORDLG, reinterpret_cast<WPARAM>(dc), 0), reinterpret_cast<INT_PTR>(brush));
  EXPECT_EQ(AboutPageProc(nullptr, WM_CTLCOLORSTATIC, reinterpret_cast<WPARAM>(dc), 0),
            reinterpret_cast<INT_PTR>(brush));
  EXPECT_EQ(GetBkColor(dc), RGB(255, 255, 255));
  EXPECT_EQ(AboutPageBrush(), brush);
  DeleteDC(dc);
}

// The document sheet as an application opens it: winsim's CommonPropertySheetUIW hosts the sheet
// function, shows the About page from the module's own dialog resource, and OK applies the settings.
TEST_F(Sheets, DocumentSheetThroughCompstuiShowsTheAboutPageAndOkApplies) {
  namespace ui = winsim::ui;
  Install();
  PrinterDevmode in = DefaultDevmode();
  in.dm.dmCopies = 2;
  PrinterDevmode out{};
  DOCUMENTPROPERTYHEADER h = Header(printer, &in.dm, &out, sizeof out, DM_UPDATE | DM_COPY);
  DWORD result = 0;
  ui::UiThread t([&] {
    return intptr_t(CommonPropertySheetUIW(nullptr, DrvDocumentPropertySheets, reinterpret_cast<LPARAM>(&h), &result));
  });
  HWND sheet = ui::FindSheet();
  ASSERT_NE(sheet, nullptr);
  EXPECT_EQ(ui::WindowText(sheet), kPrinter + u" Properties");
  EXPECT_EQ(ui::PageIds(sheet), (std::vector<WORD>{kPageSetupTemplate, 108, 120, 113, kAboutTemplate}));
  ASSERT_TRUE(ui::SelectPage(sheet, kAboutTemplate));
  HWND about = ui::Page(sheet, kAboutTemplate);
  ASSERT_NE(about, nullptr);
  EXPECT_EQ(ui::Text(about, kAboutProductControl), u"Tarnwell Label Printer Driver");
  EXPECT_EQ(ui::Text(about, kAboutNoticeControl), u"Copyright (C) 2024 Tarnwell. All rights reserved.");
  EXPECT_EQ(ui::Text(about, kAboutVersionControl), u"2024.02.04.1");
  EXPECT_EQ(ui::ControlBrush(about, kAboutProductControl), reinterpret_cast<HANDLE>(AboutPageBrush()));
  EXPECT_EQ(out.dm.dmSize, 0) << "nothing written before OK";

  ASSERT_TRUE(ui::Press(sheet, ui::Button::Ok));
  EXPECT_EQ(t.Join(), CPSUI_OK);
  EXPECT_EQ(result, DWORD(CPSUI_OK));
  EXPECT_TRUE(ui::WaitClosed(sheet));
  EXPECT_EQ(out.dm.dmSize, 220);
  EXPECT_EQ(out.Signature, kDevmodeSignature);
  EXPECT_EQ(out.dm.dmCopies, 2);
  EXPECT_TRUE(ui::Unexpected().empty());
}

// Two Printing Preferences sheets of one printer open at once, each on its own thread as two
// applications would open them: what is chosen on one never shows up in the other.
TEST_F(Sheets, TwoDocumentSheetsOnTwoThreadsKeepTheirOwnSettings) {
  namespace ui = winsim::ui;
  Install();
  SetForms(FiveEntries());
  PrinterDevmode settings = DefaultDevmode();
  settings.DitherLevel = 4;  // Jarvis
  settings.ColorAdjust.caBrightness = 0;
  settings.Flags &= ~(kFlagMirror | kFlagNegative);
  DocSheet first(printer, settings);
  ASSERT_NE(first.sheet, nullptr);
  DocSheet second(printer, settings, first.sheet);
  ASSERT_NE(second.sheet, nullptr);

  // Turns taken between the two, each page read back into its own sheet.
  HWND graphics1 = first.Show(kGraphicsTemplate);
  ASSERT_NE(graphics1, nullptr);
  ASSERT_TRUE(ui::Click(graphics1, 1011));  // Stucki
  HWND setup2 = second.Show(kPageSetupTemplate);
  ASSERT_NE(setup2, nullptr);
  ASSERT_TRUE(ui::Click(setup2, IDC_PS_NEGATIVE));
  HWND setup1 = first.Show(kPageSetupTemplate);
  ASSERT_NE(setup1, nullptr);
  ASSERT_TRUE(ui::Click(setup1, IDC_PS_MIRROR));
  HWND graphics2 = second.Show(kGraphicsTemplate);
  ASSERT_NE(graphics2, nullptr);
  ASSERT_TRUE(ui::Slide(graphics2, kGraphicsBrightnessBar, 150));
  EXPECT_TRUE(ui::PageChanged(first.sheet, kPageSetupTemplate));
  EXPECT_TRUE(ui::PageChanged(second.sheet, kPageSetupTemplate));

  ASSERT_TRUE(second.Ok());
  ASSERT_TRUE(first.Ok());
  EXPECT_EQ(first.out.DitherLevel, 3u);
  EXPECT_EQ(first.out.Flags & (kFlagMirror | kFlagNegative), kFlagMirror);
  EXPECT_EQ(first.out.ColorAdjust.caBrightness, 0);
  EXPECT_EQ(second.out.DitherLevel, 4u);
  EXPECT_EQ(second.out.Flags & (kFlagMirror | kFlagNegative), kFlagNegative);
  EXPECT_EQ(second.out.ColorAdjust.caBrightness, 50);
  EXPECT_TRUE(ui::Unexpected().empty());
}

}  // namespace
}  // namespace uitest
