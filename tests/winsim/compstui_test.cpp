// compstui: CommonPropertySheetUIW calling a driver's sheet function with the documented reasons, the
// pages it adds, and the apply-now callback reporting its result through SET_RESULT.
#include "winsim/dialog_util.h"

#include <compstui.h>

using namespace dlgtest;
namespace ui = winsim::ui;

namespace {

struct FakeDriver {
  HMODULE mod = nullptr;
  std::vector<std::string> reasons;
  HANDLE cps = nullptr;
  DWORD cpsPages = 99;
  bool failInit = false;
  int applies = 0;
  OPTITEM item{};
  DLGPAGE pages[2]{};
  COMPROPSHEETUI desc{};
  // What the pages saw in WM_INITDIALOG.
  std::map<int, LPARAM> pageLParam;
  std::map<int, HANDLE> pageParent;
};
FakeDriver* g_drv = nullptr;

INT_PTR CALLBACK PageProc(HWND, UINT m, WPARAM, LPARAM lp) {
  if (m == WM_INITDIALOG) {
    auto* psp = reinterpret_cast<PROPSHEETPAGEW*>(lp);
    PPSPINFO info = PPSPINFO_FROM_WM_INITDIALOG_LPARAM(lp);
    int id = IS_INTRESOURCE(psp->pszTemplate) ? LOWORD(psp->pszTemplate) : 0;
    g_drv->pageLParam[id] = psp->lParam;
    g_drv->pageParent[id] = info->cbSize == sizeof(PSPINFO) ? info->hComPropSheet : nullptr;
    return TRUE;
  }
  return FALSE;
}

LONG CALLBACK ApplyCallback(PCPSUICBPARAM p) {
  if (p->Reason != CPSUICB_REASON_APPLYNOW) return CPSUICB_ACTION_NONE;
  ++g_drv->applies;
  p->Result = CPSUI_OK;
  return CPSUICB_ACTION_ITEMS_APPLIED;
}

LONG CALLBACK SheetFunction(PPROPSHEETUI_INFO info, LPARAM lp) {
  FakeDriver* d = g_drv;
  switch (info->Reason) {
    case PROPSHEETUI_REASON_BEFORE_INIT:
      d->reasons.push_back("before_init");
      return -1;  // as a driver that does not know the reason answers
    case PROPSHEETUI_REASON_INIT: {
      d->reasons.push_back("init");
      if (d->failInit) return -1;
      info->UserData = reinterpret_cast<ULONG_PTR>(d);
      d->item.cbSize = sizeof(OPTITEM);
      d->item.DlgPageIdx = 0;
      for (int i = 0; i < 2; ++i) {
        d->pages[i].cbSize = sizeof(DLGPAGE);
        d->pages[i].DlgProc = PageProc;
        d->pages[i].DlgTemplateID = WORD(201 + i);
      }
      d->desc.cbSize = sizeof(COMPROPSHEETUI);
      d->desc.hInstCaller = d->mod;
      d->desc.pCallerName = const_cast<LPWSTR>(u"Driver");
      d->desc.UserData = 77;
      d->desc.pfnCallBack = ApplyCallback;
      d->desc.pOptItem = &d->item;
      d->desc.cOptItem = 1;
      d->desc.pDlgPage = d->pages;
      d->desc.cDlgPage = 2;  // page 202 has no option item
      d->desc.CallerVersion = 0x600;
      d->cps = reinterpret_cast<HANDLE>(info->pfnComPropSheet(info->hComPropSheet, CPSFUNC_ADD_PCOMPROPSHEETUIW,
                                                              reinterpret_cast<LPARAM>(&d->desc),
                                                              reinterpret_cast<LPARAM>(&d->cpsPages)));
      PROPSHEETPAGEW psp{};
      psp.dwSize = sizeof psp;
      psp.hInstance = d->mod;
      psp.pszTemplate = MAKEINTRESOURCEW(203);
      psp.pfnDlgProc = PageProc;
      psp.lParam = 55;
      if (!info->pfnComPropSheet(info->hComPropSheet, CPSFUNC_ADD_PROPSHEETPAGEW, reinterpret_cast<LPARAM>(&psp), 0))
        return -1;
      return d->cps ? 1 : -1;
    }
    case PROPSHEETUI_REASON_GET_INFO_HEADER: {
      d->reasons.push_back("get_info_header");
      auto* h = reinterpret_cast<PPROPSHEETUI_INFO_HEADER>(lp);
      h->pTitle = const_cast<LPWSTR>(u"TW-QX");
      h->Flags = PSUIHDRF_NOAPPLYNOW | PSUIHDRF_PROPTITLE;
      h->hInst = d->mod;
      return 1;
    }
    case PROPSHEETUI_REASON_SET_RESULT: {
      auto* sr = reinterpret_cast<PSETRESULT_INFO>(lp);
      d->reasons.push_back(sr->hSetResult == d->cps ? "set_result(sheet)" : "set_result(other)");
      if (sr->hSetResult != d->cps) return -1;
      info->Result = ULONG_PTR(sr->Result);
      return 1;
    }
    case PROPSHEETUI_REASON_DESTROY:
      d->reasons.push_back("destroy(" + std::to_string(lp) + ")");
      return 1;
    default:
      return -1;
  }
}

class ComPropSheet : public UiTest {
 protected:
  void SetUp() override {
    UiTest::SetUp();
    g_drv = &drv_;
    drv_.mod = winsim::RegisterModule(u"cpsuitest");
    for (int id = 201; id <= 203; ++id) {
      Template t(WS_CHILD, u"Page");
      t.Item(kEdit, 1000, WS_TABSTOP);
      tmpl_.push_back(t.bytes());
      winsim::AddResource(drv_.mod, RT_DIALOG, MAKEINTRESOURCEW(id), tmpl_.back().data(), tmpl_.back().size());
    }
  }
  void TearDown() override {
    winsim::RemoveResources(drv_.mod);
    UiTest::TearDown();
    g_drv = nullptr;
  }
  FakeDriver drv_;
  std::vector<std::vector<BYTE>> tmpl_;
};

TEST_F(ComPropSheet, OkRunsTheApplyCallbackAndReportsItsResult) {
  DWORD result = 1234;
  ui::UiThread t([&] { return intptr_t(CommonPropertySheetUIW(nullptr, SheetFunction, 9, &result)); });
  HWND sheet = ui::FindSheet();
  ASSERT_NE(sheet, nullptr);
  EXPECT_EQ(ui::WindowText(sheet), u"TW-QX Properties");
  // The option item lives on page 201 only; the standard page follows.
  EXPECT_EQ(ui::PageIds(sheet), (std::vector<WORD>{201, 203}));
  EXPECT_EQ(GetDlgItem(sheet, 0x3021), nullptr);  // PSUIHDRF_NOAPPLYNOW
  ASSERT_TRUE(ui::SelectPage(sheet, 203));
  ASSERT_TRUE(ui::Press(sheet, ui::Button::Ok));
  EXPECT_EQ(t.Join(), CPSUI_OK);
  EXPECT_EQ(result, DWORD(CPSUI_OK));
  EXPECT_EQ(drv_.applies, 1);
  EXPECT_EQ(drv_.cpsPages, 1u);
  EXPECT_EQ(drv_.reasons, (std::vector<std::string>{"before_init", "init", "get_info_header", "set_result(sheet)",
                                                     "destroy(1)"}));
  // Pages see the caller's lParam (the descriptor's UserData for its own pages) and compstui's PSPINFO.
  EXPECT_EQ(drv_.pageLParam[201], 77);
  EXPECT_EQ(drv_.pageLParam[203], 55);
  EXPECT_EQ(drv_.pageParent[201], drv_.cps);
  EXPECT_NE(drv_.pageParent[203], nullptr);
}

TEST_F(ComPropSheet, CancelAppliesNothing) {
  DWORD result = 1234;
  ui::UiThread t([&] { return intptr_t(CommonPropertySheetUIW(nullptr, SheetFunction, 9, &result)); });
  HWND sheet = ui::FindSheet();
  ASSERT_NE(sheet, nullptr);
  ASSERT_TRUE(ui::Press(sheet, ui::Button::Cancel));
  EXPECT_EQ(t.Join(), CPSUI_CANCEL);
  EXPECT_EQ(result, 0u);
  EXPECT_EQ(drv_.applies, 0);
  EXPECT_EQ(drv_.reasons, (std::vector<std::string>{"before_init", "init", "get_info_header", "destroy(1)"}));
}

TEST_F(ComPropSheet, FailedInitEndsWithDestroyAndNoSheet) {
  drv_.failInit = true;
  DWORD result = 1234;
  EXPECT_EQ(CommonPropertySheetUIW(nullptr, SheetFunction, 9, &result), ERR_CPSUI_GETLASTERROR);
  EXPECT_EQ(drv_.reasons, (std::vector<std::string>{"before_init", "init", "destroy(0)"}));
  EXPECT_EQ(result, 0u);
  EXPECT_EQ(ui::FindSheet(0), nullptr);
}

}  // namespace
