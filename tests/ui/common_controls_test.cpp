// The driver's pages use Common Controls 6 through the DLL's own manifest, whatever the process that
// opens them uses (here the test program, which has no manifest), with the trackbar, up-down and
// progress classes registered before the first page is made.
#include <gtest/gtest.h>

#include <vector>

#include <commctrl.h>

#include "doc_sheet.h"
#include "ui/printertools.h"
#include "ui/sheets.h"
#include "ui_fixture.h"
#include "winsim/ui.h"

namespace uitest {
namespace {

namespace ui = winsim::ui;

constexpr DWORD kPageClasses = ICC_BAR_CLASSES | ICC_UPDOWN_CLASS | ICC_PROGRESS_CLASS;

// compstui as far as adding pages goes: it keeps the page records and makes no page.
struct RecordingHost {
  std::vector<PROPSHEETPAGEW> pages;
  DWORD registeredAtFirstPage = 0;
  std::vector<HANDLE> fusionBeforeFirstPage;  // CPSFUNC_SET_FUSION_CONTEXT before any page
  static LONG_PTR CALLBACK Function(HANDLE sheet, UINT function, LPARAM lParam1, LPARAM) {
    auto* host = static_cast<RecordingHost*>(sheet);
    if (function == CPSFUNC_ADD_PCOMPROPSHEETUIW) return 0x5150;
    if (function == CPSFUNC_SET_FUSION_CONTEXT) {
      if (host->pages.empty()) host->fusionBeforeFirstPage.push_back(reinterpret_cast<HANDLE>(lParam1));
      return 1;
    }
    if (function != CPSFUNC_ADD_PROPSHEETPAGEW) return 0;
    if (host->pages.empty()) host->registeredAtFirstPage = ui::InitialisedCommonControls(6);
    host->pages.push_back(*reinterpret_cast<const PROPSHEETPAGEW*>(lParam1));
    return 0x6000 + LONG_PTR(host->pages.size());
  }
};

class CommonControls : public UiTest {};

TEST_F(CommonControls, EveryPageComesWithTheDllsContextAndTheClassesAreRegisteredFirst) {
  Install();
  WString name = ToWString(kPrinter.c_str());
  PrinterDevmode out{};
  DOCUMENTPROPERTYHEADER doc = DocumentHeader(printer, name, nullptr, &out, sizeof out, DM_UPDATE | DM_COPY);
  DEVICEPROPERTYHEADER device{sizeof(DEVICEPROPERTYHEADER), 0, printer, name.data()};
  struct Case {
    LONG(WINAPI* fn)(PPROPSHEETUI_INFO, LPARAM);
    void* header;
    size_t pages;
  } cases[] = {{DrvDocumentPropertySheets, &doc, 5}, {DrvDevicePropertySheets, &device, 2}};
  HANDLE context = nullptr;
  for (const Case& c : cases) {
    RecordingHost host;
    PROPSHEETUI_INFO info{};
    info.cbSize = sizeof info;
    info.hComPropSheet = &host;
    info.pfnComPropSheet = RecordingHost::Function;
    info.lParamInit = reinterpret_cast<LPARAM>(c.header);
    info.Reason = PROPSHEETUI_REASON_INIT;
    ASSERT_EQ(c.fn(&info, 0), 1);
    EXPECT_EQ(host.registeredAtFirstPage & kPageClasses, kPageClasses);
    ASSERT_EQ(host.pages.size(), c.pages);
    for (const PROPSHEETPAGEW& p : host.pages) {
      EXPECT_TRUE(p.dwFlags & PSP_USEFUSIONCONTEXT);
      ASSERT_NE(p.hActCtx, nullptr);
      if (!context) context = p.hActCtx;
      EXPECT_EQ(p.hActCtx, context) << "one context per process";
      EXPECT_EQ(p.dwSize, sizeof(PROPSHEETPAGEW)) << "large enough to carry hActCtx";
    }
    // compstui is told the same context for the pages it makes itself.
    EXPECT_EQ(host.fusionBeforeFirstPage, std::vector<HANDLE>{context});
    info.Reason = PROPSHEETUI_REASON_DESTROY;
    c.fn(&info, 0);
  }
  // The process itself asked for no version 5 classes.
  EXPECT_EQ(ui::InitialisedCommonControls(5), 0u);
}

TEST_F(CommonControls, TheSheetsShowVersion6Controls) {
  Install();
  {
    DocSheet doc(printer, DefaultDevmode());
    ASSERT_NE(doc.sheet, nullptr);
    HWND graphics = doc.Show(108);
    ASSERT_NE(graphics, nullptr);
    EXPECT_EQ(ui::CommonControlsVersion(graphics, 1030), 6) << "trackbar";
    HWND settings = doc.Show(113);
    ASSERT_NE(settings, nullptr);
    EXPECT_EQ(ui::CommonControlsVersion(settings, 1029), 6) << "up-down";
    EXPECT_EQ(ui::CommonControlsVersion(settings, 1052), 6) << "combo box";
    ASSERT_TRUE(ui::Press(doc.sheet, ui::Button::Cancel));
    doc.thread->Join();
  }
  WString name = ToWString(kPrinter.c_str());
  DEVICEPROPERTYHEADER device{sizeof(DEVICEPROPERTYHEADER), 0, printer, name.data()};
  ui::UiThread thread([&] {
    DWORD result = 0;
    return intptr_t(CommonPropertySheetUIW(nullptr, DrvDevicePropertySheets, reinterpret_cast<LPARAM>(&device), &result));
  });
  HWND sheet = ui::FindSheet();
  ASSERT_NE(sheet, nullptr);
  HWND tools = ui::Page(sheet, kPrinterToolsTemplate);
  ASSERT_NE(tools, nullptr);
  EXPECT_EQ(ui::CommonControlsVersion(tools, 1059), 6) << "progress bar";
  ASSERT_TRUE(ui::Press(sheet, ui::Button::Cancel));
  thread.Join();
  EXPECT_TRUE(ui::Unexpected().empty());
}

}  // namespace
}  // namespace uitest
