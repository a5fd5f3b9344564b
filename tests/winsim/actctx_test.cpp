// Activation contexts from a module's manifest resource, and the Common Controls version of the controls
// made while one is active (on the thread, or for a property page that brings its own).
#include "winsim/dialog_util.h"

#include <compstui.h>

#include <string>

using namespace dlgtest;
namespace ui = winsim::ui;

namespace {

const std::string kCommonControls6 = R"(<?xml version="1.0" encoding="UTF-8" standalone="yes"?>
<assembly xmlns="urn:schemas-microsoft-com:asm.v1" manifestVersion="1.0">
  <dependency>
    <dependentAssembly>
      <assemblyIdentity type="win32" name="Microsoft.Windows.Common-Controls" version="6.0.0.0"
                        processorArchitecture="*" publicKeyToken="6595b64144ccf1df" language="*"/>
    </dependentAssembly>
  </dependency>
</assembly>
)";
// A manifest that binds nothing: the controls stay those of the process.
const std::string kNoDependency = R"(<?xml version='1.0' encoding='UTF-8' standalone='yes'?>
<assembly xmlns='urn:schemas-microsoft-com:asm.v1' manifestVersion='1.0'>
  <assemblyIdentity type='win32' name='Test.Only' version='1.0.0.0'/>
</assembly>
)";
// Common Controls 5 named explicitly is no version 6 binding either.
const std::string kCommonControls5 = R"(<assembly xmlns="urn:schemas-microsoft-com:asm.v1" manifestVersion="1.0">
  <dependency><dependentAssembly><assemblyIdentity type="win32" name="Microsoft.Windows.Common-Controls"
      version="5.82.0.0" processorArchitecture="*"/></dependentAssembly></dependency></assembly>)";

class ActCtx : public UiTest {
 protected:
  void SetUp() override {
    UiTest::SetUp();
    mod_ = winsim::RegisterModule(u"actctxtest");
  }
  void TearDown() override {
    winsim::RemoveResources(mod_);
    UiTest::TearDown();
  }
  void AddManifest(WORD id, const std::string& text) {
    winsim::AddResource(mod_, RT_MANIFEST, MAKEINTRESOURCEW(id), text.data(), text.size());
  }
  HANDLE Make(WORD id, DWORD flags = ACTCTX_FLAG_HMODULE_VALID | ACTCTX_FLAG_RESOURCE_NAME_VALID,
              ULONG size = sizeof(ACTCTXW)) {
    ACTCTXW ac{};
    ac.cbSize = size;
    ac.dwFlags = flags;
    ac.hModule = mod_;
    ac.lpResourceName = MAKEINTRESOURCEW(id);
    SetLastError(0);
    return CreateActCtxW(&ac);
  }
  // A top-level window with one trackbar (id 7) made now, on this thread.
  HWND TrackbarWindow() {
    HWND parent = CreateWindowExW(0, u"STATIC", u"", 0, 0, 0, 100, 40, nullptr, nullptr, nullptr, nullptr);
    CreateWindowExW(0, TRACKBAR_CLASSW, u"", WS_CHILD, 0, 0, 80, 20, parent, reinterpret_cast<HMENU>(7), nullptr,
                    nullptr);
    windows_.push_back(parent);
    return parent;
  }
  void TearDownWindows() {
    for (HWND w : windows_) DestroyWindow(w);
  }
  HMODULE mod_ = nullptr;
  std::vector<HWND> windows_;
};

TEST_F(ActCtx, ComesFromTheModulesManifestResourceOrFailsWithTheDocumentedCode) {
  EXPECT_EQ(Make(2), INVALID_HANDLE_VALUE);
  EXPECT_EQ(GetLastError(), DWORD(ERROR_RESOURCE_DATA_NOT_FOUND)) << "an image without resources";
  winsim::AddResource(mod_, RT_RCDATA, MAKEINTRESOURCEW(2), "x", 1);
  EXPECT_EQ(Make(2), INVALID_HANDLE_VALUE);
  EXPECT_EQ(GetLastError(), DWORD(ERROR_RESOURCE_TYPE_NOT_FOUND)) << "resources, but no manifest";
  AddManifest(1, kCommonControls6);
  EXPECT_EQ(Make(2), INVALID_HANDLE_VALUE);
  EXPECT_EQ(GetLastError(), DWORD(ERROR_RESOURCE_NAME_NOT_FOUND)) << "a manifest, but not id 2";

  AddManifest(2, kCommonControls6);
  EXPECT_EQ(Make(2, ACTCTX_FLAG_HMODULE_VALID | ACTCTX_FLAG_RESOURCE_NAME_VALID, sizeof(ACTCTXW) - 8),
            INVALID_HANDLE_VALUE);
  EXPECT_EQ(GetLastError(), DWORD(ERROR_INVALID_PARAMETER)) << "cbSize short of the structure";
  EXPECT_EQ(Make(2, ACTCTX_FLAG_HMODULE_VALID | ACTCTX_FLAG_RESOURCE_NAME_VALID | 0x100), INVALID_HANDLE_VALUE);
  EXPECT_EQ(GetLastError(), DWORD(ERROR_INVALID_PARAMETER)) << "an undefined flag bit";
  EXPECT_EQ(CreateActCtxW(nullptr), INVALID_HANDLE_VALUE);
  EXPECT_EQ(GetLastError(), DWORD(ERROR_INVALID_PARAMETER));

  AddManifest(3, "MZ this is no manifest");
  EXPECT_EQ(Make(3), INVALID_HANDLE_VALUE);
  EXPECT_EQ(GetLastError(), DWORD(ERROR_SXS_CANT_GEN_ACTCTX));

  HANDLE ctx = Make(2);
  ASSERT_NE(ctx, INVALID_HANDLE_VALUE);
  ASSERT_NE(ctx, nullptr);
  ULONG_PTR cookie = 0;
  EXPECT_FALSE(ActivateActCtx(ctx, nullptr));
  EXPECT_EQ(GetLastError(), DWORD(ERROR_INVALID_PARAMETER));
  ASSERT_TRUE(ActivateActCtx(ctx, &cookie));
  EXPECT_TRUE(DeactivateActCtx(0, cookie));
  ReleaseActCtx(ctx);
}

TEST_F(ActCtx, ControlsMadeUnderACommonControls6ContextAreVersion6) {
  AddManifest(2, kCommonControls6);
  AddManifest(3, kNoDependency);
  AddManifest(4, kCommonControls5);
  HANDLE v6 = Make(2), plain = Make(3), v5 = Make(4);
  ASSERT_NE(v6, INVALID_HANDLE_VALUE);
  ASSERT_NE(plain, INVALID_HANDLE_VALUE);
  ASSERT_NE(v5, INVALID_HANDLE_VALUE);

  EXPECT_EQ(ui::CommonControlsVersion(TrackbarWindow(), 7), 5) << "no context: the process's own controls";
  ULONG_PTR outer = 0, inner = 0;
  ASSERT_TRUE(ActivateActCtx(v6, &outer));
  EXPECT_EQ(ui::CommonControlsVersion(TrackbarWindow(), 7), 6);
  // The null context stands for the process's default and hides the one below it.
  ASSERT_TRUE(ActivateActCtx(nullptr, &inner));
  EXPECT_EQ(ui::CommonControlsVersion(TrackbarWindow(), 7), 5);
  ASSERT_TRUE(DeactivateActCtx(0, inner));
  EXPECT_EQ(ui::CommonControlsVersion(TrackbarWindow(), 7), 6);

  // Classes registered while the context is active are registered for version 6 only.
  INITCOMMONCONTROLSEX icc{sizeof icc, ICC_BAR_CLASSES | ICC_PROGRESS_CLASS};
  EXPECT_TRUE(InitCommonControlsEx(&icc));
  INITCOMMONCONTROLSEX wrongSize{sizeof icc + 4, ICC_UPDOWN_CLASS};
  EXPECT_FALSE(InitCommonControlsEx(&wrongSize));
  EXPECT_FALSE(InitCommonControlsEx(nullptr));
  ASSERT_TRUE(DeactivateActCtx(0, outer));
  EXPECT_EQ(ui::InitialisedCommonControls(6), DWORD(ICC_BAR_CLASSES | ICC_PROGRESS_CLASS));
  EXPECT_EQ(ui::InitialisedCommonControls(5), 0u);

  for (HANDLE other : {plain, v5}) {
    ULONG_PTR cookie = 0;
    ASSERT_TRUE(ActivateActCtx(other, &cookie));
    EXPECT_EQ(ui::CommonControlsVersion(TrackbarWindow(), 7), 5);
    ASSERT_TRUE(DeactivateActCtx(0, cookie));
  }
  TearDownWindows();
  // Released by its creator and held by no activation, a context is gone.
  for (HANDLE h : {v6, plain, v5}) ReleaseActCtx(h);
  ULONG_PTR cookie = 0;
  EXPECT_FALSE(ActivateActCtx(v6, &cookie));
  EXPECT_EQ(GetLastError(), DWORD(ERROR_INVALID_PARAMETER));
}

INT_PTR CALLBACK QuietPage(HWND, UINT m, WPARAM, LPARAM) { return m == WM_INITDIALOG; }

// comctl32 makes a page with PSP_USEFUSIONCONTEXT in the page's hActCtx; without the flag the handle is
// not looked at.
TEST_F(ActCtx, APageThatBringsAFusionContextIsMadeInIt) {
  AddManifest(2, kCommonControls6);
  HANDLE v6 = Make(2);
  ASSERT_NE(v6, INVALID_HANDLE_VALUE);
  Template t(WS_CHILD | WS_CAPTION, u"Page");
  t.Item(TRACKBAR_CLASSW, 7, WS_TABSTOP);
  t.Item(kButton, 8, BS_AUTOCHECKBOX, u"Check");
  PROPSHEETPAGEW psp[2] = {};
  for (int i = 0; i < 2; ++i) {
    psp[i].dwSize = sizeof(PROPSHEETPAGEW);
    psp[i].dwFlags = PSP_DLGINDIRECT | PSP_PREMATURE | (i == 0 ? PSP_USEFUSIONCONTEXT : 0);
    psp[i].pResource = t.get();
    psp[i].pfnDlgProc = QuietPage;
    psp[i].hActCtx = v6;
  }
  ui::UiThread thread([&] {
    HPROPSHEETPAGE pages[2] = {CreatePropertySheetPageW(&psp[0]), CreatePropertySheetPageW(&psp[1])};
    PROPSHEETHEADERW ph{};
    ph.dwSize = sizeof ph;
    ph.pszCaption = u"Versions";
    ph.nPages = 2;
    ph.phpage = pages;
    return intptr_t(PropertySheetW(&ph));
  });
  HWND sheet = ui::FindSheet();
  ASSERT_NE(sheet, nullptr);
  std::vector<HWND> pages;
  for (int i = 0; i < 2; ++i) pages.push_back(reinterpret_cast<HWND>(SendMessageW(sheet, PSM_INDEXTOHWND, i, 0)));
  ASSERT_NE(pages[0], nullptr);
  ASSERT_NE(pages[1], nullptr);
  EXPECT_EQ(ui::CommonControlsVersion(pages[0], 7), 6);
  EXPECT_EQ(ui::CommonControlsVersion(pages[0], 8), 6) << "a button is themed by version 6 too";
  EXPECT_EQ(ui::CommonControlsVersion(pages[1], 7), 5);
  EXPECT_EQ(ui::CommonControlsVersion(pages[1], 99), 0) << "no such control";
  ASSERT_TRUE(ui::Press(sheet, ui::Button::Cancel));
  thread.Join();
  ReleaseActCtx(v6);
}

// compstui makes a page that brings no context of its own in the one its parent set with
// CPSFUNC_SET_FUSION_CONTEXT; a page's own context goes first.
struct FusionSheet {
  HANDLE group = nullptr, own = nullptr;
  const DLGTEMPLATE* tmpl = nullptr;
};
FusionSheet* g_fusion = nullptr;

LONG WINAPI FusionSheetFunction(PPROPSHEETUI_INFO info, LPARAM) {
  if (info->Reason != PROPSHEETUI_REASON_INIT) return 1;
  info->pfnComPropSheet(info->hComPropSheet, CPSFUNC_SET_FUSION_CONTEXT, reinterpret_cast<LPARAM>(g_fusion->group), 0);
  for (int i = 0; i < 2; ++i) {
    PROPSHEETPAGEW psp{};
    psp.dwSize = sizeof psp;
    psp.dwFlags = PSP_DLGINDIRECT | PSP_PREMATURE | (i == 1 ? PSP_USEFUSIONCONTEXT : 0);
    psp.pResource = g_fusion->tmpl;
    psp.pfnDlgProc = QuietPage;
    psp.hActCtx = g_fusion->own;
    if (info->pfnComPropSheet(info->hComPropSheet, CPSFUNC_ADD_PROPSHEETPAGEW, reinterpret_cast<LPARAM>(&psp), 0) <= 0)
      return -1;
  }
  return 1;
}

TEST_F(ActCtx, CompstuiMakesPagesInTheContextTheirParentSet) {
  AddManifest(2, kCommonControls6);
  AddManifest(3, kNoDependency);
  Template t(WS_CHILD | WS_CAPTION, u"Page");
  t.Item(TRACKBAR_CLASSW, 7, WS_TABSTOP);
  FusionSheet fusion{Make(2), Make(3), t.get()};
  ASSERT_NE(fusion.group, INVALID_HANDLE_VALUE);
  ASSERT_NE(fusion.own, INVALID_HANDLE_VALUE);
  g_fusion = &fusion;
  ui::UiThread thread([&] {
    DWORD result = 0;
    return intptr_t(CommonPropertySheetUIW(nullptr, FusionSheetFunction, 0, &result));
  });
  HWND sheet = ui::FindSheet();
  ASSERT_NE(sheet, nullptr);
  HWND first = reinterpret_cast<HWND>(SendMessageW(sheet, PSM_INDEXTOHWND, 0, 0));
  HWND second = reinterpret_cast<HWND>(SendMessageW(sheet, PSM_INDEXTOHWND, 1, 0));
  EXPECT_EQ(ui::CommonControlsVersion(first, 7), 6) << "the parent's context";
  EXPECT_EQ(ui::CommonControlsVersion(second, 7), 5) << "the page's own context, which binds nothing";
  ASSERT_TRUE(ui::Press(sheet, ui::Button::Cancel));
  thread.Join();
  g_fusion = nullptr;
  ReleaseActCtx(fusion.group);
  ReleaseActCtx(fusion.own);
}

}  // namespace
