// Every string, dialog and menu of lbldrv6ui and lblinst32 in each user-interface language, read from
// the resource files the programs are built with. A string or dialog added in English only fails here.
#include <gtest/gtest.h>

#include <algorithm>

#include "resfile.h"

extern "C" const unsigned char lbl_ui_res[], lbl_ui_res_end[];              // lbldrv6ui.rc (lblui_core)
extern "C" const unsigned char lbl_lang_inst_res[], lbl_lang_inst_res_end[];  // lblinst32.rc

namespace langtest {
namespace {

Catalog Read(const unsigned char* begin, const unsigned char* end) {
  std::vector<Resource> resources;
  EXPECT_TRUE(ParseResFile(begin, size_t(end - begin), &resources));
  return ReadCatalog(resources);
}

Catalog Ui() { return Read(lbl_ui_res, lbl_ui_res_end); }
Catalog Installer() { return Read(lbl_lang_inst_res, lbl_lang_inst_res_end); }

std::string Join(const std::vector<std::string>& lines) {
  std::string s;
  for (const std::string& l : lines) s += l + "\n";
  return s;
}

bool Mentions(const std::vector<std::string>& problems, const std::string& a, const std::string& b) {
  return std::any_of(problems.begin(), problems.end(), [&](const std::string& p) {
    return p.find(a) != std::string::npos && p.find(b) != std::string::npos;
  });
}

TEST(Translations, EveryUiStringAndDialogInEveryLanguage) {
  Catalog c = Ui();
  ASSERT_GE(c.strings[kEnglish].size(), 12u);
  ASSERT_TRUE(c.dialogs[kEnglish].count(101)) << "the About page";
  EXPECT_EQ(c.languages, (std::set<LangId>{0x0409, 0x0804, 0x0412, 0x0419}));
  std::vector<std::string> problems = CheckTranslations(c, "lbldrv6ui");
  EXPECT_TRUE(problems.empty()) << Join(problems);
  EXPECT_EQ(c.strings[0x0419][2200], u"Пользовательский размер");
  EXPECT_EQ(c.dialogs[0x0804][101].caption, u"关于");
}

TEST(Translations, EveryInstallerStringAndDialogInEveryLanguage) {
  Catalog c = Installer();
  ASSERT_GE(c.strings[kEnglish].size(), 16u);
  EXPECT_EQ(c.languages, (std::set<LangId>{0x0409, 0x0804, 0x0412, 0x0419}));
  std::vector<std::string> problems = CheckTranslations(c, "lblinst32");
  EXPECT_TRUE(problems.empty()) << Join(problems);
  EXPECT_EQ(c.strings[0x0412][129], u"프린터 드라이버 설치 중: %ws, 포트: %ws.\r\n") << "escapes kept";
}

TEST(Translations, FormatArgsInOrder) {
  EXPECT_EQ(FormatArgs(u"Remove printer driver %ws %ws. code:%d\r\n"), (std::vector<std::string>{"%ws", "%ws", "%d"}));
  EXPECT_EQ(FormatArgs(u"%ws_%d"), (std::vector<std::string>{"%ws", "%d"}));
  EXPECT_EQ(FormatArgs(u"100%% at %02d:%-5.2f %I64u %"), (std::vector<std::string>{"%02d", "%-5.2f", "%I64u", "%"}));
  EXPECT_TRUE(FormatArgs(u"100%%").empty());
  EXPECT_NE(FormatArgs(u"%d %ws"), FormatArgs(u"%ws %d")) << "order matters: the arguments are positional";
}

// The check fails on each kind of fault a later translation could bring.
TEST(Translations, CheckReportsEveryFault) {
  const Catalog good = Ui();
  ASSERT_TRUE(CheckTranslations(good, "ui").empty());

  Catalog c = good;
  c.strings[0x0412].erase(1904);
  EXPECT_TRUE(Mentions(CheckTranslations(c, "ui"), "string 1904", "has no translation in 0x0412"));

  c = good;
  c.strings[kEnglish][2300] = u"A new page's text";
  EXPECT_EQ(CheckTranslations(c, "ui").size(), 3u) << "missing in each of the three languages";

  c = good;
  c.strings[0x0419][2211] = u"%d бумаги";
  EXPECT_TRUE(Mentions(CheckTranslations(c, "ui"), "string 2211 in 0x0419", "conversions differ"));

  c = good;
  c.strings[0x0804][4000] = u"多余";
  EXPECT_TRUE(Mentions(CheckTranslations(c, "ui"), "string 4000 in 0x0804", "no English original"));

  c = good;
  c.dialogs[0x0419].erase(101);
  EXPECT_TRUE(Mentions(CheckTranslations(c, "ui"), "dialog 101 in 0x0419", "missing"));

  c = good;
  c.dialogs[0x0412][101].items[1].cx += 10;
  EXPECT_TRUE(Mentions(CheckTranslations(c, "ui"), "dialog 101 in 0x0412, control 1", "layout differs"));

  c = good;
  c.dialogs[0x0412][101].cy -= 1;
  EXPECT_TRUE(Mentions(CheckTranslations(c, "ui"), "dialog 101 in 0x0412", "frame"));

  c = good;
  c.dialogs[0x0804][101].items[1].text.clear();
  EXPECT_TRUE(Mentions(CheckTranslations(c, "ui"), "control 1", "text is empty"));

  c = good;
  c.dialogs[0x0804][101].items.pop_back();
  EXPECT_TRUE(Mentions(CheckTranslations(c, "ui"), "dialog 101 in 0x0804", "controls"));

  c = good;
  c.menus[kEnglish].insert(300);
  EXPECT_TRUE(Mentions(CheckTranslations(c, "ui"), "menu 300 in 0x0419", "missing"));

  c = good;
  c.languages.insert(0x0407);
  EXPECT_TRUE(Mentions(CheckTranslations(c, "ui"), "0x0407", "LANGUAGE"));
}

}  // namespace
}  // namespace langtest
