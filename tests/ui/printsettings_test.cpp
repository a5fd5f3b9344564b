// The Print Settings page through the document sheet: its lists, the post action with its
// occurrence and feed offset, the language's option bit, the user command slots and the insert
// menu; the stored post action as the TSPL writer sends it.
#include <gtest/gtest.h>

#include <commctrl.h>

#include <string>

#include "doc_sheet.h"
#include "render/writers/writer.h"
#include "ui/printsettings.h"

namespace uitest {
namespace {

namespace ui = winsim::ui;

class PrintSettings : public UiTest {
 protected:
  // A model with `accessories` ("Cutter", "Peeler") and all four languages.
  void InstallModel(const std::string& accessories, const std::string& more = "") {
    std::string extra = R"("Accesories":{)" + accessories + "}";
    if (!more.empty()) extra += "," + more;
    std::string model = ModelJson("TW-T1", 400, 2, extra);
    catalogue = lbltest::Catalogue(model, lbltest::Paper("4 x 6", 101.6, 152.4));
    Install();
  }
  PrinterDevmode Settings(uint32_t language) {
    PrinterDevmode dm = DefaultDevmode();
    dm.PrintLanguage = language;
    return dm;
  }
  // The settings of `language` with "Cut Off" chosen, after the occurrence `occurrence`.
  PrinterDevmode CutSettings(uint32_t language, uint32_t occurrence = 0) {
    PrinterDevmode dm = Settings(language);
    dm.PostAction = kActionCut;
    dm.PostActionOccurrence = occurrence;
    return dm;
  }
};

// What the writers send for a job of `settings` without pages: the job's start, the job header and
// the job's end, with the TWL job-level page files in place of the spooler bytes they stand for.
std::string JobWithoutPages(const PrinterDevmode& settings) {
  struct Sink : OutputSink {
    std::string sent;
    int32_t Send(const void* data, DWORD size) override {
      sent.append(static_cast<const char*>(data), size);
      return int32_t(size);
    }
    DWORD WritePageFile(int, DWORD, const void* data, DWORD size) override {
      sent.append(static_cast<const char*>(data), size);
      return 0;
    }
    void Capture(const void*, DWORD) override {}
  } sink;
  PrinterDevmode dm = settings;
  ModelRecord model{};
  model.XDpi = model.YDpi = 203;
  InstalledPaper paper{};
  WriterContext ctx;
  ctx.settings = &dm;
  ctx.paper = &paper;
  ctx.model = &model;
  ctx.resolution = 203;
  ctx.out = &sink;
  WriteUserCommand(ctx, 0);
  WriteJobHeader(ctx);
  WriteUserCommand(ctx, 3);
  return sink.sent;
}

TEST_F(PrintSettings, ListsFollowTheModel) {
  InstallModel(R"("Cutter":1,"Peeler":1)", R"("Printing Mode":{"Value":1})");
  DocSheet s(printer, Settings(kLangTspl));
  HWND page = s.Show(kPrintSettingsTemplate);
  ASSERT_NE(page, nullptr);
  EXPECT_EQ(ui::Items(page, kPsPrintMode), (std::vector<std::u16string>{u"Use printer settings", u"Thermal", u"Thermal Transfer"}));
  EXPECT_EQ(ui::Items(page, kPsPostAction), (std::vector<std::u16string>{u"None", u"Tear Off", u"Peel off", u"Cut Off"}));
  EXPECT_EQ(ui::Items(page, kPsOccurrence),
            (std::vector<std::u16string>{u"After Every Page", u"After Job", u"After Specified Interval"}));
  EXPECT_EQ(ui::Items(page, kPsPaperSaving), (std::vector<std::u16string>{u"None", u"Top", u"Bottom", u"Both"}));
  EXPECT_EQ(ui::Items(page, kPsCommandSlots),
            (std::vector<std::u16string>{u"Before job", u"Before pages", u"After pages", u"After job"}));
  EXPECT_EQ(ui::Items(page, kPsFunctionChar), (std::vector<std::u16string>{u"None", u"^", u"~", u"!", u"_", u"/", u"\\"}));
  EXPECT_EQ(ui::CurSel(page, kPsFunctionChar), 1);
  const auto speeds = ui::Items(page, kPsSpeed);
  ASSERT_GE(speeds.size(), 2u);
  EXPECT_EQ(speeds[0], u"Use printer settings");
  const LPARAM first = ui::ItemData(page, kPsSpeed, 1);
  WCHAR expect[64];
  WFormatTo(expect, 64, TEXT("%.2f in/s(%.1f mm/s)"), first / 100.0, first * 25.4 / 100.0);
  EXPECT_EQ(speeds[1], U16(expect));
  const std::vector<std::u16string> darkness = {u"Use printer settings", u"0", u"1", u"2", u"3", u"4", u"5", u"6",
                                                  u"7"};
  EXPECT_EQ(ui::Items(page, kPsDarkness), darkness) << "the model's densities 1 to 8, shown 0 to 7";
}

// Every level of the model has its item: the highest, the default of a model whose range is 1 to 16,
// shows and stays as it was.
TEST_F(PrintSettings, DarknessListHasEveryLevelOfTheModel) {
  std::string model = ModelJson("TW-T1", 400, 2, R"("Accesories":{"Cutter":1})");
  const std::string eight = R"("Density":{"Value":8,"SendThis":1,"Option":[1,2,3,4,5,6,7,8]})";
  ASSERT_NE(model.find(eight), std::string::npos);
  model.replace(model.find(eight), eight.size(),
                R"("Density":{"Value":16,"SendThis":1,"Option":[1,2,3,4,5,6,7,8,9,10,11,12,13,14,15,16]})");
  catalogue = lbltest::Catalogue(model, lbltest::Paper("4 x 6", 101.6, 152.4));
  Install();
  PrinterDevmode dm = Settings(kLangTspl);
  dm.Darkness = 16;
  DocSheet s(printer, dm);
  HWND page = s.Show(kPrintSettingsTemplate);
  ASSERT_NE(page, nullptr);
  const auto items = ui::Items(page, kPsDarkness);
  ASSERT_EQ(items.size(), 17u) << "Use printer settings, then 0 to 15";
  EXPECT_EQ(items.back(), u"15");
  EXPECT_EQ(ui::Text(page, kPsDarkness), u"15");
  ASSERT_TRUE(ui::Select(page, kPsPaperSaving, 1));
  ASSERT_TRUE(s.Ok());
  EXPECT_EQ(s.out.Darkness, 16u);
}

TEST_F(PrintSettings, LanguagesInBitOrderWithTheirValues) {
  catalogue = lbltest::Catalogue(ModelJson("TW-T1", 400, 2), lbltest::Paper("4 x 6", 101.6, 152.4));
  // The test model offers languages 1, 2, 4 and 8.
  Install();
  DocSheet s(printer, Settings(kLangZpl));
  HWND page = s.Show(kPrintSettingsTemplate);
  ASSERT_NE(page, nullptr);
  EXPECT_EQ(ui::Items(page, kPsLanguage), (std::vector<std::u16string>{u"ESC/POS", u"TSPL", u"ZPL", u"TWL"}));
  const LPARAM values[] = {1, 2, 3, 0};
  for (int i = 0; i < 4; ++i) EXPECT_EQ(ui::ItemData(page, kPsLanguage, i), values[i]);
  EXPECT_EQ(ui::Text(page, kPsLanguage), u"ZPL");
  ASSERT_TRUE(ui::SelectText(page, kPsLanguage, u"TWL"));
  ASSERT_TRUE(s.Ok());
  EXPECT_EQ(s.out.PrintLanguage, uint32_t(kLangTwl));
}

// A cutter without a peeler: "Cut Off" is the third item, and every language stores its action value
// 3, which each writer sends as its cut (TWL: the job header's action byte); a stored 3 shows "Cut Off"
// again, and so does the 2 that older records of such a model hold.
TEST_F(PrintSettings, CutterOnlyCutOffStoresTheCutterValueInEveryLanguage) {
  InstallModel(R"("Cutter":1,"Peeler":0)");
  struct Case {
    uint32_t language;
    std::string cut;
  } cases[] = {{kLangTspl, "SET CUTTER ON\r\n"},
               {kLangZpl, "^MMC,N\r\n"},
               {kLangEsc, ""},
               {kLangTwl, std::string("\x1Bs\x03", 3)}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.language);
    PrinterDevmode dm = Settings(c.language);
    dm.PostAction = kActionTear;
    PrinterDevmode applied{};
    {
      DocSheet s(printer, dm);
      HWND page = s.Show(kPrintSettingsTemplate);
      ASSERT_NE(page, nullptr);
      EXPECT_EQ(ui::Items(page, kPsPostAction), (std::vector<std::u16string>{u"None", u"Tear Off", u"Cut Off"}));
      EXPECT_EQ(ui::CurSel(page, kPsPostAction), 1);
      EXPECT_FALSE(ui::Enabled(page, kPsOccurrence));
      ASSERT_TRUE(ui::Select(page, kPsPostAction, 2));
      EXPECT_TRUE(ui::PageChanged(s.sheet, kPrintSettingsTemplate));
      ASSERT_TRUE(s.Ok());
      applied = s.out;
    }
    EXPECT_EQ(applied.PostAction, kActionCut);
    const std::string job = JobWithoutPages(applied);
    EXPECT_NE(job.find(c.cut), std::string::npos) << job;
    EXPECT_EQ(job.find("PEEL ON"), std::string::npos);

    for (uint32_t stored : {kActionCut, kActionPeel}) {
      applied.PostAction = stored;
      DocSheet again(printer, applied);
      HWND page = again.Show(kPrintSettingsTemplate);
      ASSERT_NE(page, nullptr);
      EXPECT_EQ(ui::Text(page, kPsPostAction), u"Cut Off") << stored;
    }
  }
  // With a peeler, 2 is "Peel off".
  const PostActionItem both[] = {{IDS_ACTION_NONE, 0}, {IDS_ACTION_TEAR, 1}, {IDS_ACTION_PEEL, 2}, {IDS_ACTION_CUT, 3}};
  EXPECT_EQ(PostActionItemOf(kActionPeel, both, 4), 2);
  EXPECT_EQ(PostActionItemOf(kActionCutEvery, both, 4), 3);
  EXPECT_EQ(PostActionItemOf(kActionCut, both, 2), -1) << "no cutter";
}

// The occurrence reaches the printed job in each language that carries it: after the job, TSPL turns
// the cutter off and cuts with CUT at the end, ZPL holds the labels in the delayed cutter until ~JK,
// ESC cuts once at the end; after an interval of N, the action is the writers' cut every N labels, which
// they count themselves (TSPL and ZPL set up as for a cut after the job).
TEST_F(PrintSettings, CutOccurrenceReachesTheJob) {
  InstallModel(R"("Cutter":1,"Peeler":1)");
  const std::string escCut = std::string("\x1D\x56\x42", 3);
  // What the job sends for a cut after the job (in its header, and last), and for a cut every 4 labels.
  struct Case {
    uint32_t language;
    std::string afterJob, last, every4;
  } cases[] = {{kLangTspl, "SET CUTTER OFF\r\nSET TEAR ON\r\n", "CUT\r\n", "SET CUTTER OFF\r\nSET TEAR ON\r\n"},
               {kLangZpl, "^MMD,N\r\n", "~JK\r\n", "^PQ1,4,1,Y\r\n^MMD,N\r\n"},
               // ESC's cut feeds by the feed offset the page shows for a cut, -30.0 mm: the low byte of
               // -300 x 203 / 254 = -239 is 0x11.
               {kLangEsc, "", escCut + "\x11", ""}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.language);
    const PrinterDevmode dm = CutSettings(c.language);
    {
      DocSheet s(printer, dm);
      HWND page = s.Show(kPrintSettingsTemplate);
      ASSERT_NE(page, nullptr);
      ASSERT_TRUE(ui::Enabled(page, kPsOccurrence));
      ASSERT_TRUE(ui::Select(page, kPsOccurrence, 1));
      EXPECT_FALSE(ui::Enabled(page, kPsInterval));
      ASSERT_TRUE(s.Ok());
      EXPECT_EQ(s.out.PostAction, kActionCut);
      EXPECT_EQ(s.out.PostActionOccurrence, 1u);
      const std::string job = JobWithoutPages(s.out);
      EXPECT_NE(job.find(c.afterJob), std::string::npos) << job;
      ASSERT_GE(job.size(), c.last.size());
      EXPECT_EQ(job.substr(job.size() - c.last.size()), c.last) << job;
    }
    {
      DocSheet s(printer, dm);
      HWND page = s.Show(kPrintSettingsTemplate);
      ASSERT_NE(page, nullptr);
      ASSERT_TRUE(ui::Select(page, kPsOccurrence, 2));
      ASSERT_TRUE(ui::Type(page, kPsInterval, u"4"));
      ASSERT_TRUE(s.Ok());
      EXPECT_EQ(s.out.PostAction, kActionCutEvery);
      EXPECT_EQ(s.out.PostActionOccurrence, 2u);
      EXPECT_EQ(s.out.IntervalPages, 4u);
      EXPECT_NE(JobWithoutPages(s.out).find(c.every4), std::string::npos);
      // Opened again, it shows as chosen.
      DocSheet again(printer, s.out);
      HWND shown = again.Show(kPrintSettingsTemplate);
      ASSERT_NE(shown, nullptr);
      EXPECT_EQ(ui::Text(shown, kPsPostAction), u"Cut Off");
      EXPECT_EQ(ui::Text(shown, kPsOccurrence), u"After Specified Interval");
      EXPECT_EQ(ui::Text(shown, kPsInterval), u"4");
    }
  }
}

// TWL's job header carries the action alone: its cutter cuts after every page, and the page says so.
TEST_F(PrintSettings, TwlCutsAfterEveryPage) {
  InstallModel(R"("Cutter":1)");
  DocSheet s(printer, CutSettings(kLangTspl, 1));
  HWND page = s.Show(kPrintSettingsTemplate);
  ASSERT_NE(page, nullptr);
  EXPECT_EQ(ui::Text(page, kPsOccurrence), u"After Job");
  ASSERT_TRUE(ui::SelectText(page, kPsLanguage, u"TWL"));
  EXPECT_FALSE(ui::Enabled(page, kPsOccurrence));
  EXPECT_EQ(ui::Text(page, kPsOccurrence), u"After Every Page");
  ASSERT_TRUE(s.Ok());
  EXPECT_EQ(s.out.PrintLanguage, uint32_t(kLangTwl));
  EXPECT_EQ(s.out.PostAction, kActionCut);
  EXPECT_EQ(s.out.PostActionOccurrence, 0u);
}

TEST_F(PrintSettings, EscHasNoPeelerAndStoresTheCutterValue) {
  InstallModel(R"("Cutter":1,"Peeler":1)");
  DocSheet s(printer, Settings(kLangEsc));
  HWND page = s.Show(kPrintSettingsTemplate);
  ASSERT_NE(page, nullptr);
  EXPECT_EQ(ui::Items(page, kPsPostAction), (std::vector<std::u16string>{u"None", u"Tear Off", u"Cut Off"}));
  EXPECT_FALSE(ui::Enabled(page, kPsSpeed));
  EXPECT_EQ(ui::CurSel(page, kPsSpeed), 0);
  EXPECT_EQ(ui::Items(page, kPsDarkness),
            (std::vector<std::u16string>{u"Use printer settings", u"0", u"1", u"2", u"3", u"4", u"5", u"6", u"7"}))
      << "the eight ESC levels";
  ASSERT_TRUE(ui::Select(page, kPsPostAction, 2));
  EXPECT_EQ(ui::Text(page, kPsFeedOffset), u"-30.0");
  ASSERT_TRUE(s.Ok());
  EXPECT_EQ(s.out.PostAction, kActionCut);
  EXPECT_EQ(s.out.FeedOffset, -30000);
}

// Choosing ESC/POS and "Tear Off" shows 27.0 mm; applying stores 27000 and sets option bit 0x80.
TEST_F(PrintSettings, EscTearOffShows27mmAndSetsTheRotationBit) {
  InstallModel(R"("Cutter":1)");
  PrinterDevmode dm = Settings(kLangTspl);
  dm.FeedOffset = 1500;
  dm.Flags &= ~kFlagRotate180;
  DocSheet s(printer, dm);
  HWND page = s.Show(kPrintSettingsTemplate);
  ASSERT_NE(page, nullptr);
  EXPECT_EQ(ui::Text(page, kPsFeedOffset), u"1.5");
  ASSERT_TRUE(ui::SelectText(page, kPsLanguage, u"ESC/POS"));
  ASSERT_TRUE(ui::SelectText(page, kPsPostAction, u"Tear Off"));
  EXPECT_EQ(ui::Text(page, kPsFeedOffset), u"27.0");
  ASSERT_TRUE(s.Ok());
  EXPECT_EQ(s.out.PrintLanguage, uint32_t(kLangEsc));
  EXPECT_EQ(s.out.FeedOffset, 27000);
  EXPECT_TRUE(s.out.Flags & kFlagRotate180);
}

TEST_F(PrintSettings, RotationBitChangesOnlyWithTheLanguage) {
  // Page Setup's 180-degree choice on a TSPL printer survives a change of speed here...
  EXPECT_EQ(RotationFlagsAfter(kFlagRotate180 | 1, kLangTspl, kLangTspl), kFlagRotate180 | 1);
  EXPECT_EQ(RotationFlagsAfter(0, kLangEsc, kLangEsc), 0u);
  // ...and the language change sets or clears it.
  EXPECT_EQ(RotationFlagsAfter(0, kLangTspl, kLangEsc), kFlagRotate180);
  EXPECT_EQ(RotationFlagsAfter(kFlagRotate180 | 2, kLangEsc, kLangZpl), 2u);
  EXPECT_EQ(RotationFlagsAfter(kFlagRotate180, kLangTspl, kLangZpl), kFlagRotate180);

  InstallModel(R"("Cutter":1)");
  PrinterDevmode dm = Settings(kLangTspl);
  dm.Flags |= kFlagRotate180;
  DocSheet s(printer, dm);
  HWND page = s.Show(kPrintSettingsTemplate);
  ASSERT_NE(page, nullptr);
  ASSERT_TRUE(ui::Select(page, kPsPaperSaving, 2));
  ASSERT_TRUE(s.Ok());
  EXPECT_EQ(s.out.PaperSaving, 2u);
  EXPECT_TRUE(s.out.Flags & kFlagRotate180);
}

TEST_F(PrintSettings, SpecifiedIntervalEnablesOneTo999) {
  InstallModel(R"("Cutter":1)");
  PrinterDevmode dm = Settings(kLangTspl);
  dm.PostAction = kActionCut;
  dm.IntervalPages = 5;
  DocSheet s(printer, dm);
  HWND page = s.Show(kPrintSettingsTemplate);
  ASSERT_NE(page, nullptr);
  EXPECT_FALSE(ui::Enabled(page, kPsInterval));
  EXPECT_EQ(ui::Text(page, kPsInterval), u"1");
  EXPECT_FALSE(ui::PageChanged(s.sheet, kPrintSettingsTemplate)) << "the shown 1 is not a change of the stored 5";
  ASSERT_TRUE(ui::Select(page, kPsOccurrence, 2));
  EXPECT_TRUE(ui::Enabled(page, kPsInterval));
  EXPECT_EQ(ui::Text(page, kPsInterval), u"5");
  int lo = 0, hi = 0;
  SendDlgItemMessageW(page, kPsIntervalSpin, UDM_GETRANGE32, reinterpret_cast<WPARAM>(&lo), reinterpret_cast<LPARAM>(&hi));
  EXPECT_EQ(lo, 1);
  EXPECT_EQ(hi, 999);
  ASSERT_TRUE(ui::Spin(page, kPsIntervalSpin, 2));
  EXPECT_EQ(ui::Text(page, kPsInterval), u"7");
  ASSERT_TRUE(ui::Type(page, kPsInterval, u"5000"));
  ASSERT_TRUE(ui::Focus(page, kPsFeedOffset));
  EXPECT_EQ(ui::Text(page, kPsInterval), u"999");
  ASSERT_TRUE(ui::Type(page, kPsFeedOffset, u"300"));
  ASSERT_TRUE(s.Ok());
  EXPECT_EQ(s.out.PostActionOccurrence, 2u);
  EXPECT_EQ(s.out.PostAction, kActionCutEvery) << "the writers' cut every N labels";
  EXPECT_EQ(s.out.IntervalPages, 999u);
  EXPECT_EQ(s.out.FeedOffset, 254000) << "clamped to 254.0 mm when read";
}

TEST_F(PrintSettings, ReadBackClampsInSixtyFourBits) {
  EXPECT_EQ(ParseFeedOffset(TEXT("-1000"), 7), -254000);
  EXPECT_EQ(ParseFeedOffset(TEXT("99999999999"), 7), 254000);
  EXPECT_EQ(ParseFeedOffset(TEXT("12.34"), 7), 12340);
  EXPECT_EQ(ParseFeedOffset(TEXT("abc"), 7), 7);
  EXPECT_EQ(ParseInterval(TEXT("0"), 4), 1u);
  EXPECT_EQ(ParseInterval(TEXT("4294967297"), 4), 999u);
  EXPECT_EQ(ParseInterval(TEXT(""), 4), 4u);
  EXPECT_EQ(FeedOffsetShown(kLangEsc, 0, 1200), 1200);
  EXPECT_EQ(FeedOffsetShown(kLangTspl, 2, 1200), 1200);
}

// "File..." fills the slot with the function character, '?' and the path: a path of 258 characters
// fits the slot's 260; one of 259 is refused with a message and the slot keeps its text.
TEST_F(PrintSettings, FileTooLongForTheSlotIsRefused) {
  InstallModel(R"("Cutter":1)");
  DocSheet s(printer, Settings(kLangTspl));
  HWND page = s.Show(kPrintSettingsTemplate);
  ASSERT_NE(page, nullptr);
  ASSERT_TRUE(ui::Type(page, kPsCommandText, u"KEEP"));
  // A path of `chars` characters: "C:\", the name, ".prn".
  auto path = [](size_t chars) { return u"C:\\" + std::u16string(chars - 7, u'f') + u".prn"; };
  ASSERT_EQ(path(259).size(), 259u);
  ui::QueueMenuChoice(kInsertFile);
  ui::QueueFileName(path(259));
  ui::QueueMessageBox(IDOK);
  ASSERT_TRUE(ui::Click(page, kPsInsert));
  ASSERT_EQ(ui::MessageBoxes().size(), 1u);
  EXPECT_EQ(ui::MessageBoxes()[0].text, u"The file name is too long for a user command: at most 258 characters.");
  EXPECT_EQ(ui::Text(page, kPsCommandText), u"KEEP");

  const std::u16string fits = path(258);
  ui::QueueMenuChoice(kInsertFile);
  ui::QueueFileName(fits);
  ASSERT_TRUE(ui::Click(page, kPsInsert));
  EXPECT_EQ(ui::MessageBoxes().size(), 1u);
  EXPECT_EQ(ui::Text(page, kPsCommandText), u"^?" + fits);
  ASSERT_TRUE(s.Ok());
  EXPECT_EQ(U16(s.out.UserCommands[0]), u"^?" + fits) << "all 260 characters kept";
  EXPECT_TRUE(ui::Unexpected().empty());
}

TEST_F(PrintSettings, InsertPutsTheMnemonicAtTheCaretAndFileFillsTheSlot) {
  InstallModel(R"("Cutter":1)");
  DocSheet s(printer, Settings(kLangTspl));
  HWND page = s.Show(kPrintSettingsTemplate);
  ASSERT_NE(page, nullptr);
  ASSERT_TRUE(ui::Select(page, kPsFunctionChar, 0));
  EXPECT_FALSE(ui::Enabled(page, kPsInsert)) << "no function character";
  ASSERT_TRUE(ui::SelectText(page, kPsFunctionChar, u"~"));
  ASSERT_TRUE(ui::Type(page, kPsCommandText, u"AB"));
  ui::QueueMenuChoice(kInsertFirst + 0x1B);
  ASSERT_TRUE(ui::Click(page, kPsInsert));
  EXPECT_EQ(ui::Text(page, kPsCommandText), u"AB~<ESC>");
  ASSERT_EQ(ui::Menus().size(), 1u);
  EXPECT_EQ(ui::Menus()[0].items.front(), u"File...");
  EXPECT_EQ(ui::Menus()[0].items.back(), u"<DEL>");

  // Slot 3 gets a file; slot 0 keeps what was typed.
  ASSERT_TRUE(ui::Select(page, kPsCommandSlots, 3));
  EXPECT_EQ(ui::Text(page, kPsCommandText), u"");
  ui::QueueMenuChoice(kInsertFile);
  ui::QueueFileName(u"C:\\labels\\end.prn");
  ASSERT_TRUE(ui::Click(page, kPsInsert));
  EXPECT_EQ(ui::Text(page, kPsCommandText), u"~?C:\\labels\\end.prn");
  ASSERT_EQ(ui::FileDialogs().size(), 1u);
  EXPECT_EQ(ui::FileDialogs()[0].filter, u"All(*.*)|*.*");
  ASSERT_TRUE(ui::Select(page, kPsCommandSlots, 0));
  EXPECT_EQ(ui::Text(page, kPsCommandText), u"AB~<ESC>");
  ASSERT_TRUE(s.Ok());
  EXPECT_EQ(U16(s.out.UserCommands[0]), u"AB~<ESC>") << "stored as typed: the mnemonic is six characters";
  EXPECT_EQ(U16(s.out.UserCommands[3]), u"~?C:\\labels\\end.prn");

  WCHAR text[16];
  EXPECT_EQ(InsertionText('^', kInsertFirst, text, 16), 6);
  EXPECT_TRUE(ui::Unexpected().empty());
  EXPECT_EQ(U16(text), u"^<NUL>");
  EXPECT_EQ(InsertionText('^', kInsertDel, text, 16), 6);
  EXPECT_EQ(U16(text), u"^<DEL>");
  EXPECT_EQ(InsertionText('^', kInsertFile, text, 16), 0);
}

}  // namespace
}  // namespace uitest
