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
#include "ui/strings.h"
#include "winsim/machine.h"
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

}  // namespace
}  // namespace langtest
