// MapPrinter and the maintenance of "FORMS": adding, deleting and storing the model's papers.
#include <gtest/gtest.h>

#include "ui_fixture.h"

namespace uitest {
namespace {

class Context : public UiTest {
 protected:
  // The five stored papers with "2 x 1" installed.
  void InstallWithStoredPapers() {
    Install();
    SetForms(FiveEntries());
    SetInstalled(Installed(u"2 x 1", 50800, 25400));
  }
};

TEST_F(Context, CallerPaperNumberSelectsTheStoredEntryAsCurrentPaper) {
  InstallWithStoredPapers();
  PrinterDevmode dm = DefaultDevmode();
  dm.dm.dmFields = DM_PAPERSIZE;
  dm.dm.dmPaperSize = 257;
  Mapped m(MapPrinter(printer, &dm.dm, nullptr, 0));
  ASSERT_NE(m.ctx, nullptr);
  EXPECT_EQ(U16(m->CurrentPaper.Name), u"4 x 6");
  EXPECT_EQ(m->CurrentPaper.ImageableArea.Right, 101600 - 2000);
  // The settings carry the printable area of the current paper, in tenths of a millimetre.
  EXPECT_EQ(m->Settings.dm.dmPaperWidth, 996);
  EXPECT_EQ(m->Settings.dm.dmPaperLength, 1514);
  EXPECT_EQ(m->CallerSettings, &dm.dm);
  EXPECT_EQ(ContextPaperCount(m.ctx), 5) << "the stored list replaces the model's";
}

TEST_F(Context, CallerSizeWithoutPaperNumberResizesTheInstalledPaper) {
  InstallWithStoredPapers();
  PrinterDevmode dm = DefaultDevmode();
  dm.dm.dmFields = DM_COPIES;
  dm.dm.dmPaperWidth = 600;
  dm.dm.dmPaperLength = 400;
  Mapped m(MapPrinter(printer, &dm.dm, nullptr, 0));
  ASSERT_NE(m.ctx, nullptr);
  EXPECT_EQ(U16(m->CurrentPaper.Name), u"2 x 1");
  EXPECT_EQ(m->CurrentPaper.Width, 60000);
  EXPECT_EQ(m->CurrentPaper.Length, 40000);
  EXPECT_EQ(m->Settings.dm.dmPaperWidth, 508) << "the printable area stays the installed paper's";
}

TEST_F(Context, PrinterDefaultsThenCallerAreMergedAndOnlyTheLastMaskKept) {
  Install();
  PrinterDevmode stored = DefaultDevmode();
  stored.dm.dmCopies = 3;
  stored.dm.dmOrientation = 7;  // rejected by the first merge only
  winsim::SetPrinterDevmode(kPrinter, Bytes(&stored, sizeof stored));
  {
    Mapped m(MapPrinter(printer, nullptr, nullptr, 0));
    ASSERT_NE(m.ctx, nullptr);
    EXPECT_EQ(m->Settings.dm.dmCopies, 3);
    EXPECT_EQ(m->MergeMask & DM_ORIENTATION, DWORD(DM_ORIENTATION));
  }
  PrinterDevmode caller = DefaultDevmode();
  caller.dm.dmFields = DM_COPIES;
  caller.dm.dmCopies = 5;
  Mapped m(MapPrinter(printer, &caller.dm, nullptr, 0));
  ASSERT_NE(m.ctx, nullptr);
  EXPECT_EQ(m->Settings.dm.dmCopies, 5);
  EXPECT_EQ(m->MergeMask, 0u);
}

TEST_F(Context, HelpFileComesFromTheDriverElseTheDriverDirectory) {
  Install();
  {
    Mapped m(MapPrinter(printer, nullptr, nullptr, kMapHelpFile | kMapSheetArea));
    ASSERT_NE(m.ctx, nullptr);
    EXPECT_EQ(U16(m->HelpFile), u"C:\\Windows\\System32\\spool\\DRIVERS\\x64\\lbldrv6ui.hlp");
    ASSERT_NE(m->SheetArea, nullptr);
    EXPECT_EQ(m->SheetArea[kSheetAreaBytes - 1], 0);
    EXPECT_EQ(m->Prop.Flags, kPropDefaultFlags);
  }
  helpFile = u"C:\\Help\\labels.chm";
  Reinstall();
  Mapped m(MapPrinter(printer, nullptr, nullptr, kMapHelpFile));
  EXPECT_EQ(U16(m->HelpFile), u"C:\\Help\\labels.chm");
  EXPECT_EQ(m->SheetArea, nullptr);
}

TEST_F(Context, MappingFailsWithTheMemoryMessageWithoutModel) {
  Install();
  UINT error = 0;
  EXPECT_EQ(MapPrinter(nullptr, nullptr, &error, 0), nullptr);
  EXPECT_EQ(error, 1902u);
  winsim::WriteHostFile(u"C:\\Windows\\System32\\spool\\drivers\\x64\\3\\lbldrv6.dat", "short", 5);
  error = 0;
  EXPECT_EQ(MapPrinter(printer, nullptr, &error, 0), nullptr);
  EXPECT_EQ(error, 1902u);
}

TEST_F(Context, EnumerationSkipsEntryZeroReportsTheUserSizeAndHonoursTheLimit) {
  Install();
  Mapped m(MapPrinter(printer, nullptr, nullptr, 0));
  std::vector<int> seen;
  auto record = [](const PaperRecord* entry, int number, void* request) {
    static_cast<std::vector<int>*>(request)->push_back(entry ? number : -number);
  };
  EXPECT_EQ(EnumPaperList(m.ctx, -1, record, &seen), -1) << "no FORMS yet";
  SetForms(FiveEntries());
  EXPECT_EQ(EnumPaperList(m.ctx, -1, record, &seen), 5);
  EXPECT_EQ(seen, (std::vector<int>{1, 2, 3, 4, -5}));
  seen.clear();
  EXPECT_EQ(EnumPaperList(m.ctx, 2, record, &seen), 5);
  EXPECT_EQ(seen, (std::vector<int>{1, 2}));
}

TEST_F(Context, AddPaperReplacesByNameOrAppends) {
  Install();
  SetForms(FiveEntries());
  Mapped m(MapPrinter(printer, nullptr, nullptr, 0));
  const PaperRecord longer = Paper(u"76.04", 76040, 99000), added = Paper(u"New", 60000, 40000);
  ASSERT_TRUE(AddPaper(m.ctx, &longer));
  ASSERT_TRUE(AddPaper(m.ctx, &added));
  auto forms = Forms();
  ASSERT_EQ(forms.size(), 6u);
  EXPECT_EQ(forms[2].Length, 99000);
  EXPECT_EQ(U16(forms[5].Name), u"New");
  EXPECT_EQ(ContextPaperCount(m.ctx), 6) << "the context follows what was written";
}

TEST_F(Context, AddPaperNeedsAStoredList) {
  Install();
  Mapped m(MapPrinter(printer, nullptr, nullptr, 0));
  PaperRecord p = Paper(u"New", 60000, 40000);
  EXPECT_FALSE(AddPaper(m.ctx, &p));
  EXPECT_TRUE(Forms().empty());
}

TEST_F(Context, DeletePaperMovesTheRestUpAndRefusesUnknownNames) {
  Install();
  SetForms(FiveEntries());
  Mapped m(MapPrinter(printer, nullptr, nullptr, 0));
  ASSERT_TRUE(DeletePaper(m.ctx, TEXT("76.04")));
  auto forms = Forms();
  ASSERT_EQ(forms.size(), 4u);
  EXPECT_EQ(U16(forms[2].Name), u"76.05");
  EXPECT_EQ(U16(forms[3].Name), u"2 x 1");
  m->SheetFlags = kSheetMayWrite;
  EXPECT_FALSE(DeletePaper(m.ctx, TEXT("76.04")));
  EXPECT_EQ(Forms().size(), 4u);
  EXPECT_EQ(m->SheetFlags, kSheetMayWrite) << "nothing was written, nothing was refused";
}

TEST_F(Context, PaperEditsWithoutAdministrationRightsFailAndRecordIt) {
  Install(kPrinter, PRINTER_ACCESS_USE, /*mayAdminister=*/false);
  SetForms(FiveEntries());
  Mapped m(MapPrinter(printer, nullptr, nullptr, 0));
  ASSERT_NE(m.ctx, nullptr);
  m->SheetFlags = kSheetMayWrite | kSheetDocument;
  PaperRecord p = Paper(u"New", 60000, 40000);
  EXPECT_FALSE(AddPaper(m.ctx, &p));
  EXPECT_EQ(m->SheetFlags, kSheetDocument);
  m->SheetFlags = kSheetMayWrite;
  EXPECT_FALSE(DeletePaper(m.ctx, TEXT("2 x 1")));
  EXPECT_EQ(m->SheetFlags, 0);
  EXPECT_EQ(Forms().size(), 5u);
  EXPECT_FALSE(StoreModelPapers(m.ctx)) << "the application's handle cannot write printer data";
  EXPECT_EQ(Forms().size(), 5u);
}

TEST_F(Context, PaperEditsReopenTheLongNamedPrinterNotItsCutName) {
  const std::u16string longName = u"Warehouse label printer at dock door 12";  // 39 characters
  const std::u16string cutName = longName.substr(0, 31);
  Install(longName);
  AddPrinter(cutName);
  SetForms(FiveEntries(), longName);
  SetForms(FiveEntries(), cutName);
  Mapped m(MapPrinter(printer, nullptr, nullptr, 0));
  ASSERT_NE(m.ctx, nullptr);
  EXPECT_EQ(U16(m->Settings.dm.dmDeviceName), cutName);
  PaperRecord p = Paper(u"New", 60000, 40000);
  ASSERT_TRUE(AddPaper(m.ctx, &p));
  ASSERT_TRUE(DeletePaper(m.ctx, TEXT("USER")));
  EXPECT_EQ(Forms(longName).size(), 5u);
  EXPECT_EQ(U16(Forms(longName)[4].Name), u"New");
  EXPECT_EQ(Forms(cutName).size(), 5u);
  EXPECT_EQ(U16(Forms(cutName)[0].Name), u"USER");
}

TEST_F(Context, StoreModelPapersDropsLabelsBelowTheMinimum) {
  Install();
  Mapped m(MapPrinter(printer, nullptr, nullptr, 0));
  ASSERT_EQ(ContextPaperCount(m.ctx), 4);  // "USER", "4 x 6", "Tiny", "2 x 1"
  ASSERT_TRUE(StoreModelPapers(m.ctx));
  EXPECT_EQ(m->SheetFlags & kSheetMayWrite, kSheetMayWrite);
  auto forms = Forms();
  ASSERT_EQ(forms.size(), 3u);
  EXPECT_EQ(U16(forms[0].Name), u"USER");
  EXPECT_EQ(U16(forms[2].Name), u"2 x 1");
}

TEST_F(Context, StoreModelPapersWritesNothingForAnEmptyList) {
  catalogue = lbltest::Catalogue(ModelJson("TW-T1"), lbltest::Paper("Tiny", 15, 10));
  Install();
  Mapped m(MapPrinter(printer, nullptr, nullptr, 0));
  EXPECT_TRUE(StoreModelPapers(m.ctx));
  EXPECT_EQ(m->SheetFlags, 0);
  EXPECT_TRUE(Forms().empty());
}

}  // namespace
}  // namespace uitest
