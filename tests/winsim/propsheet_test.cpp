// comctl32 property sheets and wizards, driven as a user would from the test thread.
#include "winsim/dialog_util.h"

#include <map>
#include <mutex>

using namespace dlgtest;
namespace ui = winsim::ui;

namespace {

// What every page saw, as "<template> <event>", across the sheet's thread.
struct Trace {
  std::mutex m;
  std::vector<std::string> events;
  std::map<int, LONG_PTR> answers;  // "<template>*1000 + -code" -> DWLP_MSGRESULT to give
  void Add(const std::string& e) {
    std::lock_guard<std::mutex> g(m);
    events.push_back(e);
  }
  std::vector<std::string> Take() {
    std::lock_guard<std::mutex> g(m);
    auto out = std::move(events);
    events.clear();
    return out;
  }
};
Trace* g_trace = nullptr;

std::string Code(UINT c) {
  switch (c) {
    case PSN_SETACTIVE: return "setactive";
    case PSN_KILLACTIVE: return "killactive";
    case PSN_APPLY: return "apply";
    case PSN_RESET: return "reset";
    case PSN_WIZNEXT: return "wiznext";
    case PSN_WIZBACK: return "wizback";
    case PSN_WIZFINISH: return "wizfinish";
    case PSN_QUERYCANCEL: return "querycancel";
    default: return std::to_string(int(c));
  }
}

INT_PTR CALLBACK PageProc(HWND h, UINT m, WPARAM wp, LPARAM lp) {
  if (m == WM_INITDIALOG) {
    auto* psp = reinterpret_cast<PROPSHEETPAGEW*>(lp);
    SetWindowLongPtrW(h, DWLP_USER, psp->lParam);
    g_trace->Add(std::to_string(psp->lParam) + " init");
    return TRUE;
  }
  int id = int(GetWindowLongPtrW(h, DWLP_USER));
  if (m == WM_COMMAND && HIWORD(wp) == EN_CHANGE) {
    PropSheet_Changed(GetParent(h), h);
    return TRUE;
  }
  if (m == WM_NOTIFY) {
    auto* n = reinterpret_cast<PSHNOTIFY*>(lp);
    g_trace->Add(std::to_string(id) + " " + Code(n->hdr.code) + (n->hdr.code == PSN_APPLY && n->lParam ? "(ok)" : ""));
    LONG_PTR answer = 0;
    {
      std::lock_guard<std::mutex> g(g_trace->m);
      auto it = g_trace->answers.find(id * 1000 - int(n->hdr.code));
      if (it != g_trace->answers.end()) answer = it->second;
    }
    if (n->hdr.code == PSN_SETACTIVE && (GetWindowLongPtrW(GetParent(h), GWL_STYLE), true))
      PropSheet_SetWizButtons(GetParent(h), id == 3 ? PSWIZB_BACK | PSWIZB_FINISH : PSWIZB_BACK | PSWIZB_NEXT);
    SetWindowLongPtrW(h, DWLP_MSGRESULT, answer);
    return TRUE;
  }
  return FALSE;
}

class Sheet : public UiTest {
 protected:
  void SetUp() override {
    UiTest::SetUp();
    g_trace = &trace_;
    mod_ = winsim::RegisterModule(u"sheettest");
    for (int i = 1; i <= 3; ++i) {
      Template t(WS_CHILD | WS_CAPTION, u"Page " + std::u16string(1, char16_t(u'0' + i)));
      t.Item(kEdit, 1000 + i, WS_TABSTOP, u"");
      tmpl_.push_back(t.bytes());
      winsim::AddResource(mod_, RT_DIALOG, MAKEINTRESOURCEW(100 + i), tmpl_.back().data(), tmpl_.back().size());
    }
  }
  void TearDown() override {
    winsim::RemoveResources(mod_);
    UiTest::TearDown();
    g_trace = nullptr;
  }
  // Pages 101..103; page 2 comes from an in-memory template.
  intptr_t Run(DWORD flags) {
    PROPSHEETPAGEW psp[3] = {};
    for (int i = 0; i < 3; ++i) {
      psp[i].dwSize = sizeof(PROPSHEETPAGEW);
      psp[i].hInstance = mod_;
      psp[i].pszTemplate = MAKEINTRESOURCEW(101 + i);
      psp[i].pfnDlgProc = PageProc;
      psp[i].lParam = i + 1;
    }
    psp[1].dwFlags = PSP_DLGINDIRECT;
    psp[1].pResource = reinterpret_cast<const DLGTEMPLATE*>(tmpl_[1].data());
    HPROPSHEETPAGE pages[3];
    for (int i = 0; i < 3; ++i) pages[i] = CreatePropertySheetPageW(&psp[i]);
    PROPSHEETHEADERW ph{};
    ph.dwSize = sizeof ph;
    ph.dwFlags = flags | PSH_PROPTITLE;
    ph.hInstance = mod_;
    ph.pszCaption = u"TW-QX";
    ph.nPages = 3;
    ph.phpage = pages;
    return PropertySheetW(&ph);
  }
  Trace trace_;
  HMODULE mod_ = nullptr;
  std::vector<std::vector<BYTE>> tmpl_;
};

using V = std::vector<std::string>;

TEST_F(Sheet, ActivationChangedStateAndApplyToCreatedPages) {
  ui::UiThread t([&] { return Run(0); });
  HWND sheet = ui::FindSheet();
  ASSERT_NE(sheet, nullptr);
  EXPECT_EQ(ui::WindowText(sheet), u"TW-QX Properties");
  EXPECT_EQ(ui::PageIds(sheet), (std::vector<WORD>{101, 0, 103}));
  EXPECT_EQ(trace_.Take(), (V{"1 init", "1 setactive"}));
  EXPECT_FALSE(ui::Enabled(sheet, 0x3021));  // Apply waits for a change

  ASSERT_TRUE(ui::SelectPage(sheet, 103));
  EXPECT_EQ(trace_.Take(), (V{"1 killactive", "3 init", "3 setactive"}));
  HWND page3 = ui::Page(sheet, 103);
  ASSERT_TRUE(ui::Type(page3, 1003, u"x"));
  EXPECT_TRUE(ui::PageChanged(sheet, 103));
  EXPECT_FALSE(ui::PageChanged(sheet, 101));
  EXPECT_TRUE(ui::Enabled(sheet, 0x3021));

  // Apply: the current page may object first; then every page that exists (not page 2) applies.
  ASSERT_TRUE(ui::Press(sheet, ui::Button::Apply));
  EXPECT_EQ(trace_.Take(), (V{"3 killactive", "1 apply", "3 apply"}));
  EXPECT_FALSE(ui::SheetChanged(sheet));
  EXPECT_FALSE(ui::Enabled(sheet, 0x3021));

  ASSERT_TRUE(ui::Press(sheet, ui::Button::Ok));
  EXPECT_EQ(trace_.Take(), (V{"3 killactive", "1 apply(ok)", "3 apply(ok)"}));
  EXPECT_EQ(t.Join(), 1);  // changes were saved
  EXPECT_TRUE(ui::WaitClosed(sheet, 0));
}

TEST_F(Sheet, PagesCanKeepTheFocusAndRefuseToApply) {
  trace_.answers[1 * 1000 - int(PSN_KILLACTIVE)] = TRUE;
  ui::UiThread t([&] { return Run(PSH_NOAPPLYNOW); });
  HWND sheet = ui::FindSheet();
  ASSERT_NE(sheet, nullptr);
  EXPECT_EQ(GetDlgItem(sheet, 0x3021), nullptr);
  trace_.Take();
  EXPECT_FALSE(ui::SelectPage(sheet, 103));
  EXPECT_EQ(ui::CurrentPage(sheet), ui::Page(sheet, 101));
  ui::Press(sheet, ui::Button::Ok);
  EXPECT_EQ(trace_.Take(), (V{"1 killactive", "1 killactive"}));  // OK stopped at the objection
  {
    std::lock_guard<std::mutex> g(trace_.m);
    trace_.answers.clear();
    trace_.answers[1 * 1000 - int(PSN_APPLY)] = PSNRET_INVALID_NOCHANGEPAGE;
  }
  ui::Press(sheet, ui::Button::Ok);
  EXPECT_EQ(trace_.Take(), (V{"1 killactive", "1 apply(ok)"}));
  ASSERT_FALSE(t.Done());
  ASSERT_TRUE(ui::Press(sheet, ui::Button::Cancel));
  EXPECT_EQ(trace_.Take(), (V{"1 querycancel", "1 reset"}));
  EXPECT_EQ(t.Join(), 0);
}

TEST_F(Sheet, WizardMovesByTheAnswersToNextAndBack) {
  ui::UiThread t([&] { return Run(PSH_WIZARD97); });
  HWND sheet = ui::FindSheet();
  ASSERT_NE(sheet, nullptr);
  ui::Settle(sheet);
  trace_.Take();
  // Page 1 sends its Next straight to page 3 (template id in DWLP_MSGRESULT).
  {
    std::lock_guard<std::mutex> g(trace_.m);
    trace_.answers[1 * 1000 - int(PSN_WIZNEXT)] = 103;
  }
  ASSERT_TRUE(ui::Press(sheet, ui::Button::Next));
  EXPECT_EQ(trace_.Take(), (V{"1 wiznext", "1 killactive", "3 init", "3 setactive"}));
  // The page's PSM_SETWIZBUTTONS (posted) shows Finish in place of Next once the loop ran it.
  ui::Settle(sheet);
  EXPECT_TRUE(ui::Visible(sheet, 0x3025));
  EXPECT_FALSE(ui::Visible(sheet, 0x3024));
  EXPECT_FALSE(ui::Press(sheet, ui::Button::Next));

  // Back with answer 0 goes to the adjacent page, -1 stays.
  ASSERT_TRUE(ui::Press(sheet, ui::Button::Back));
  EXPECT_EQ(trace_.Take(), (V{"3 wizback", "3 killactive", "2 init", "2 setactive"}));
  {
    std::lock_guard<std::mutex> g(trace_.m);
    trace_.answers[2 * 1000 - int(PSN_WIZBACK)] = -1;
  }
  ui::Press(sheet, ui::Button::Back);
  EXPECT_EQ(trace_.Take(), (V{"2 wizback"}));
  ui::Press(sheet, ui::Button::Next);
  trace_.Take();
  ui::Settle(sheet);
  ASSERT_TRUE(ui::Press(sheet, ui::Button::Finish));
  EXPECT_EQ(trace_.Take(), (V{"3 wizfinish"}));
  EXPECT_EQ(t.Join(), 1);
}

TEST_F(Sheet, ModelessSheetReturnsItsWindow) {
  HWND sheet = reinterpret_cast<HWND>(Run(PSH_MODELESS));
  ASSERT_TRUE(IsWindow(sheet));
  EXPECT_EQ(ui::FindSheet(0), sheet);
  trace_.Take();
  ui::Press(sheet, ui::Button::Cancel);
  EXPECT_EQ(trace_.Take(), (V{"1 querycancel", "1 reset"}));
  EXPECT_EQ(PropSheet_GetCurrentPageHwnd(sheet), nullptr);  // ended: the caller destroys it
  DestroyWindow(sheet);
}

}  // namespace
