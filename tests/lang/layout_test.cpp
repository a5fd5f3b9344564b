// Every dialog of lbldrv6ui and lblinst32 laid out in each user-interface language, in the dialog font as
// the dialog manager sizes it: a text cut off by its control (a label wider than its rectangle or wrapping
// into more lines than it holds, a button caption wider than the button, a check box text past its box,
// a group box caption past its frame) or drawn over a neighbour fails here.
#include <gtest/gtest.h>

#include <windows.h>

#include <map>
#include <string>
#include <vector>

#include "installer/resource.h"
#include "resfile.h"
#include "ui/about.h"
#include "ui/doc_sheet.h"
#include "ui/graphics.h"
#include "ui/pagesetup.h"
#include "ui/printsettings.h"
#include "ui/stockeditor.h"
#include "ui/strings.h"
#include "ui/watermark.h"
#include "winsim/machine.h"
#include "winsim/resources.h"
#include "winsim/ui.h"

extern "C" const unsigned char lbl_ui_res[], lbl_ui_res_end[];              // lbldrv6ui.rc (lblui_core)
extern "C" const unsigned char lbl_lang_inst_res[], lbl_lang_inst_res_end[];  // lblinst32.rc

namespace langtest {
namespace {

constexpr uint16_t kRtDialog = 5;

std::string Utf8(const std::u16string& s) {
  std::string out;
  for (char16_t c : s) {
    if (c < 0x80) out += char(c);
    else if (c < 0x800) out += char(0xC0 | (c >> 6)), out += char(0x80 | (c & 0x3F));
    else out += char(0xE0 | (c >> 12)), out += char(0x80 | ((c >> 6) & 0x3F)), out += char(0x80 | (c & 0x3F));
  }
  return out;
}

const char* LanguageName(LangId l) {
  switch (l) {
    case 0x0409: return "English";
    case 0x0804: return "Chinese";
    case 0x0412: return "Korean";
    case 0x0419: return "Russian";
    default: return "?";
  }
}

INT_PTR CALLBACK Plain(HWND, UINT, WPARAM, LPARAM) { return FALSE; }

// Texts the programs put into a control while running: (dialog, control, string ids).
struct RuntimeText {
  uint16_t dialog;
  int control;
  std::vector<unsigned> strings;
};

struct Layout {
  std::map<LangId, int> dialogs;   // laid out per language
  int runtimeTexts = 0;            // texts put into controls and measured
  std::vector<std::string> problems;
};

// Creates each dialog of the resource file as the program would (pages inside a parent window) and asks
// winsim what does not show whole.
Layout LayOut(const unsigned char* begin, const unsigned char* end, const std::string& program,
              const std::vector<RuntimeText>& runtime = {}) {
  Layout out;
  std::vector<Resource> resources;
  EXPECT_TRUE(ParseResFile(begin, size_t(end - begin), &resources));
  const Catalog catalog = ReadCatalog(resources);
  HWND host = CreateWindowExW(0, u"#32770", u"host", WS_POPUP, 0, 0, 1000, 800, nullptr, nullptr, nullptr, nullptr);
  EXPECT_NE(host, nullptr);
  for (const Resource& r : resources) {
    if (!r.typeIsId || r.type != kRtDialog || !r.nameIsId) continue;
    const std::string where = program + " " + LanguageName(r.lang) + " dialog " + std::to_string(r.name);
    HWND dlg = CreateDialogIndirectParamW(nullptr, reinterpret_cast<LPCDLGTEMPLATEW>(r.data.data()), host, Plain, 0);
    if (!dlg) {
      out.problems.push_back(where + ": not created (error " + std::to_string(GetLastError()) + ")");
      continue;
    }
    ++out.dialogs[r.lang];
    for (const winsim::ui::TextProblem& p : winsim::ui::TextProblems(dlg))
      out.problems.push_back(where + ", control " + std::to_string(p.id) + " \"" + Utf8(p.text) + "\": " + p.problem);
    // Each text the program shows in one of its controls, in this language (English where it has none).
    for (const RuntimeText& t : runtime) {
      if (t.dialog != r.name) continue;
      for (unsigned id : t.strings) {
        const auto& own = catalog.strings.count(r.lang) ? catalog.strings.at(r.lang) : catalog.strings.at(kEnglish);
        const auto it = own.count(id) ? own.find(id) : catalog.strings.at(kEnglish).find(id);
        if (it == catalog.strings.at(kEnglish).end()) {
          out.problems.push_back(where + ": no string " + std::to_string(id));
          continue;
        }
        SetDlgItemTextW(dlg, t.control, reinterpret_cast<LPCWSTR>(it->second.c_str()));
        ++out.runtimeTexts;
        for (const winsim::ui::TextProblem& p : winsim::ui::TextProblems(dlg))
          if (p.id == t.control)
            out.problems.push_back(where + ", control " + std::to_string(p.id) + " showing string " + std::to_string(id) +
                                   " \"" + Utf8(p.text) + "\": " + p.problem);
      }
    }
    DestroyWindow(dlg);
  }
  DestroyWindow(host);
  return out;
}

std::string Join(const std::vector<std::string>& lines) {
  std::string s;
  for (const std::string& l : lines) s += l + "\n";
  return s;
}

class DialogLayout : public ::testing::Test {
 protected:
  void SetUp() override { winsim::Reset(); }
  void TearDown() override { winsim::Reset(); }
};

TEST_F(DialogLayout, DriverDialogsShowEveryTextInEveryLanguage) {
  // The About page's product name and notice; the firmware status line (its texts 2221 on, the last one
  // being a question asked in a message box).
  std::vector<unsigned> status;
  for (unsigned id = IDS_FW_STATUS_READY; id < IDS_FW_STATUS_MODEL_MISMATCH; ++id) status.push_back(id);
  const Layout l = LayOut(lbl_ui_res, lbl_ui_res_end, "lbldrv6ui",
                          {{101, 1000, {IDS_ABOUT_PRODUCT}}, {101, 1002, {IDS_ABOUT_NOTICE}}, {104, 1060, status}});
  // About, Page Setup, the stock editor, Graphics, Print Settings, WaterMark, Printer Settings.
  for (LangId lang : {LangId(0x0409), LangId(0x0804), LangId(0x0412), LangId(0x0419)})
    EXPECT_EQ(l.dialogs.count(lang) ? l.dialogs.at(lang) : 0, 7) << LanguageName(lang);
  EXPECT_EQ(l.runtimeTexts, 4 * (2 + 15));
  EXPECT_TRUE(l.problems.empty()) << Join(l.problems)
                                  << "(CJK texts need a CJK font: tools/install-deps.sh installs it)";
}

TEST_F(DialogLayout, InstallerDialogsShowEveryTextInEveryLanguage) {
  // The upgrade page's status line.
  const Layout l = LayOut(lbl_lang_inst_res, lbl_lang_inst_res_end, "lblinst32",
                          {{IDD_UPGRADE, IDC_UPGRADE_STATUS, {IDS_UPGRADING, IDS_UPGRADE_OK, IDS_UPGRADE_FAILED}}});
  // Agreement, mode, install, upgrade, uninstall, result.
  for (LangId lang : {LangId(0x0409), LangId(0x0804), LangId(0x0412), LangId(0x0419)})
    EXPECT_EQ(l.dialogs.count(lang) ? l.dialogs.at(lang) : 0, 6) << LanguageName(lang);
  EXPECT_EQ(l.runtimeTexts, 4 * 3);
  EXPECT_TRUE(l.problems.empty()) << Join(l.problems)
                                  << "(CJK texts need a CJK font: tools/install-deps.sh installs it)";
}

// The pages as the driver fills them while they are open: the items of every list (the printing scales,
// the print modes, speeds, post actions and occurrences, the paper types) and the texts the pages set,
// each where its control shows it, in every language. A model with every option gives every item.
class SheetLayout : public uitest::UiTest {};

TEST_F(SheetLayout, OpenPagesShowEveryItemAndTextInEveryLanguage) {
  namespace ui = winsim::ui;
  catalogue = lbltest::Catalogue(
      uitest::ModelJson("TW-T1", 400, 2, R"("Accesories":{"Cutter":1,"Peeler":1},"Printing Mode":{"Value":1})"),
      lbltest::Paper("4 x 6", 101.6, 152.4));
  std::vector<std::string> problems;
  int pages = 0;
  for (LangId lang : {LangId(0x0409), LangId(0x0804), LangId(0x0412), LangId(0x0419)}) {
    winsim::Reset();
    winsim::SetUserUiLanguage(lang);
    Install();
    PrinterDevmode dm = uitest::DefaultDevmode();
    dm.PrintLanguage = kLangTspl;
    uitest::DocSheet s(printer, dm);
    ASSERT_NE(s.sheet, nullptr) << LanguageName(lang);
    auto measure = [&](HWND dlg, WORD id) {
      ++pages;
      for (const winsim::ui::TextProblem& p : winsim::ui::TextProblems(dlg))
        problems.push_back(std::string(LanguageName(lang)) + " dialog " + std::to_string(id) + ", control " +
                           std::to_string(p.id) + " \"" + Utf8(p.text) + "\": " + p.problem);
    };
    for (WORD id : {kGraphicsTemplate, kWatermarkTemplate, kPrintSettingsTemplate, kAboutTemplate, kPageSetupTemplate}) {
      HWND page = s.Show(id);
      ASSERT_NE(page, nullptr) << LanguageName(lang) << " page " << id;
      measure(page, id);
    }
    // The stock editor runs modal inside the click of New.
    HWND page = ui::Page(s.sheet, kPageSetupTemplate);
    ui::UiThread clicker([page] { return intptr_t(ui::Click(page, IDC_PS_NEW)); });
    HWND editor = ui::FindDialog(kStockEditorTemplate);
    ASSERT_NE(editor, nullptr) << LanguageName(lang);
    ui::Settle(editor);
    measure(editor, kStockEditorTemplate);
    ASSERT_TRUE(ui::Click(editor, IDCANCEL));
    clicker.Join();
    ASSERT_TRUE(ui::Press(s.sheet, ui::Button::Cancel));
    s.thread->Join();
    ui::WaitClosed(s.sheet);
    if (printer) ClosePrinter(printer);
    printer = nullptr;
  }
  EXPECT_EQ(pages, 4 * 6);
  EXPECT_TRUE(problems.empty()) << Join(problems) << "(CJK texts need a CJK font: tools/install-deps.sh installs it)";
  EXPECT_TRUE(winsim::ui::Unexpected().empty());
}

}  // namespace
}  // namespace langtest
