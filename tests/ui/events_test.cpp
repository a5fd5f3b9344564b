// Printer events, driver upgrade, the job check and its message formatter.
#include <gtest/gtest.h>

#include "ui/events.h"
#include "ui_fixture.h"

namespace uitest {
namespace {

using Events = UiTest;

std::u16string Format(HMODULE module, size_t cap, const char16_t* format, std::vector<ULONG_PTR> values,
                      DWORD* needed = nullptr, int* written = nullptr) {
  std::vector<WCHAR> out(cap + 4, WCHAR(0x2A));
  WString f = ToWString(format);
  int n = FormatMessageText(module, out.data(), cap, needed, f.c_str(), values.data(), values.size());
  if (written) *written = n;
  return U16(out.data(), cap);
}

TEST_F(Events, FormatterReplacesStringsNumbersAndCharacters) {
  Install();
  WString name = ToWString(u"A4");
  EXPECT_EQ(Format(module, 100, u"<%s> %!", {reinterpret_cast<ULONG_PTR>(name.c_str()), 1914}),
            u"<A4> The selected paper has not been loaded.");
  EXPECT_EQ(Format(module, 100, u"%X %x %u %d", {0xABCDEF, 0xABCDEF, 0xFFFFFFFB, 0xFFFFFFFB}),
            u"ABCDEF abcdef 4294967291 -5");
  EXPECT_EQ(Format(module, 100, u"%c%c 100%% %q", {u'o', u'k'}), u"ok 100% q");
  EXPECT_EQ(Format(module, 100, u"[%!]", {4242}), u"[]") << "a missing string is empty";
  EXPECT_EQ(Format(module, 100, u"%d%d", {7}), u"70") << "values past the end read as 0";
}

TEST_F(Events, FormatterSkipsMissingStringsAndCountsPastACut) {
  Install();
  DWORD needed = 0;
  int written = 0;
  EXPECT_EQ(Format(module, 100, u"a%sb", {0}, &needed, &written), u"ab");
  EXPECT_EQ(needed, 3u);
  EXPECT_EQ(Format(module, 10, u"%!", {1903}, &needed, &written), u"Invalid d");
  EXPECT_EQ(written, 9);
  EXPECT_EQ(needed, 43u);  // "Invalid data passed to the printer driver." and its terminator
  std::vector<WCHAR> none(1, WCHAR(0x2A));
  EXPECT_EQ(FormatMessageText(module, none.data(), 0, &needed, TEXT("abc"), nullptr, 0), 0);
  EXPECT_EQ(none[0], 0x2A);
  EXPECT_EQ(needed, 4u);
}

class JobCheck : public UiTest {
 protected:
  void SetUp() override {
    UiTest::SetUp();
    Install();
    SetForms({Paper(u"USER", 100000, 150000), Paper(u"A", 100000, 150000), Paper(u"B", 50000, 30000)});
    SetInstalled(Installed(u"A", 100000, 150000));
  }
  // Runs the check; the verdict, the text and cchNeeded.
  BOOL Check(DEVMODEW* dm, DWORD cch = 200) {
    text.assign(cch + 1, WCHAR(0x2A));
    DEVQUERYPRINT_INFO info{};
    info.cbSize = sizeof info;
    info.Level = 1;
    info.hPrinter = printer;
    info.pDevMode = dm;
    info.pszErrorStr = text.data();
    info.cchErrorStr = cch;
    info.cchNeeded = 12345;
    BOOL ok = DevQueryPrintEx(&info);
    needed = info.cchNeeded;
    return ok;
  }
  std::u16string Text() const { return U16(text.data(), text.size()); }
  // A job that names no paper and carries a size in its (unflagged) size fields.
  PrinterDevmode SizedJob(SHORT width, SHORT length) {
    PrinterDevmode dm = DefaultDevmode();
    dm.dm.dmFields = DM_COPIES;
    dm.dm.dmPaperWidth = width;
    dm.dm.dmPaperLength = length;
    return dm;
  }
  std::vector<WCHAR> text;
  DWORD needed = 0;
};

TEST_F(JobCheck, JobWithoutSettingsIsRefusedAsInvalidData) {
  EXPECT_FALSE(Check(nullptr));
  EXPECT_EQ(Text(), u"Invalid data passed to the printer driver.");
  EXPECT_EQ(needed, 43u);
}

TEST_F(JobCheck, FormNamedLikeTheLoadedPaperPrintsWhateverItsSizes) {
  PrinterDevmode dm = DefaultDevmode();
  dm.dm.dmFields = DM_FORMNAME | DM_PAPERSIZE;
  dm.dm.dmPaperSize = 9;
  dm.dm.dmPaperWidth = 2100;
  dm.dm.dmPaperLength = 2970;
  WStrCopy(dm.dm.dmFormName, CCHFORMNAME, TEXT("A"));
  EXPECT_TRUE(Check(&dm.dm));
  EXPECT_EQ(needed, 0u);
  EXPECT_EQ(text[0], 0x2A) << "no text for a printable job";
}

TEST_F(JobCheck, UnresolvedPaperIsNotLoaded) {
  winsim::SetPrinterDataValue(kPrinter, u"FORMS", REG_BINARY, {});  // nothing to resolve against
  PrinterDevmode dm = DefaultDevmode();
  dm.dm.dmFields = DM_PAPERSIZE;
  dm.dm.dmPaperSize = 9;
  EXPECT_FALSE(Check(&dm.dm));
  EXPECT_EQ(Text(), u"<USER> The selected paper has not been loaded.");
}

TEST_F(JobCheck, AcceptAnyPaperTakesJobsCoveringThePrintableArea) {
  PrinterDevmode big = SizedJob(1200, 2000);
  EXPECT_TRUE(Check(&big.dm)) << "PPDataFlags absent: 6 accepts any paper";
  PrinterDevmode turned = SizedJob(1600, 1100);
  EXPECT_TRUE(Check(&turned.dm));
  PrinterDevmode narrow = SizedJob(800, 2000);
  EXPECT_FALSE(Check(&narrow.dm));
  EXPECT_EQ(Text(), u"<USER> The paper size is out of range supported by printer.");

  SetFlags(0);
  EXPECT_FALSE(Check(&big.dm));
  EXPECT_EQ(Text(), u"<USER> The selected paper has not been loaded.");
}

TEST_F(JobCheck, ContinuousMediaIsLimitedByTheModelsMaximumLength) {
  SetFlags(0);
  PrinterDevmode dm = DefaultDevmode();
  dm.dm.dmFields = DM_FORMNAME | DM_PAPERSIZE;
  dm.dm.dmPaperSize = 9;
  WStrCopy(dm.dm.dmFormName, CCHFORMNAME, TEXT("A4"));
  InstalledPaper roll = Installed(u"Roll", 100000, 0);
  roll.ImageableArea.Bottom = 2286000;  // the model's MaxLength
  SetInstalled(roll);
  EXPECT_TRUE(Check(&dm.dm));
  roll.ImageableArea.Bottom = 2286100;
  SetInstalled(roll);
  EXPECT_FALSE(Check(&dm.dm));
  EXPECT_EQ(Text(), u"<USER> The paper size is out of range supported by printer.");

  roll.Length = 150000;  // the same stock with a fixed length needs the accept-any flag
  roll.ImageableArea.Bottom = 150000;
  SetInstalled(roll);
  EXPECT_FALSE(Check(&dm.dm));
  EXPECT_EQ(Text(), u"<USER> The selected paper has not been loaded.");
}

TEST_F(JobCheck, CutExplanationEndsWithZeroAndReportsTheFullSize) {
  SetFlags(0);
  PrinterDevmode dm = SizedJob(1200, 2000);
  EXPECT_FALSE(Check(&dm.dm, 10));
  EXPECT_EQ(Text(), u"<USER> Th");
  EXPECT_EQ(text[9], 0);
  EXPECT_EQ(needed, 47u);  // "<USER> The selected paper has not been loaded." and its terminator
}

TEST_F(Events, PrinterInitialisationStoresTheModelPapers) {
  Install();
  WString name = ToWString(kPrinter.c_str());
  EXPECT_TRUE(DrvPrinterEvent(name.data(), PRINTER_EVENT_ADD_CONNECTION, 0, 0));
  EXPECT_TRUE(Forms().empty());
  EXPECT_TRUE(DrvPrinterEvent(name.data(), PRINTER_EVENT_INITIALIZE, 0, 0));
  auto forms = Forms();
  ASSERT_EQ(forms.size(), 3u);  // "Tiny" is below the minimum label width
  EXPECT_EQ(U16(forms[1].Name), u"4 x 6");

  WString unknown = ToWString(u"Gone");
  EXPECT_TRUE(DrvPrinterEvent(unknown.data(), PRINTER_EVENT_INITIALIZE, 0, 0)) << "cannot be opened";
}

TEST_F(Events, PrinterInitialisationWithoutRightsLeavesTheListAlone) {
  Install(kPrinter, PRINTER_ACCESS_USE, /*mayAdminister=*/false);
  WString name = ToWString(kPrinter.c_str());
  EXPECT_TRUE(DrvPrinterEvent(name.data(), PRINTER_EVENT_INITIALIZE, 0, 0));
  EXPECT_TRUE(Forms().empty());
}

TEST_F(Events, UpgradeStoresThePapersForLevelsOneAndTwoOnly) {
  Install();
  WString name = ToWString(kPrinter.c_str());
  DRIVER_UPGRADE_INFO_2W info{};
  info.pPrinterName = name.data();
  SetLastError(0);
  EXPECT_FALSE(DrvUpgradePrinter(3, reinterpret_cast<LPBYTE>(&info)));
  EXPECT_EQ(GetLastError(), DWORD(ERROR_INVALID_DATA));
  EXPECT_FALSE(DrvUpgradePrinter(1, nullptr));
  EXPECT_TRUE(Forms().empty());
  ASSERT_TRUE(DrvUpgradePrinter(2, reinterpret_cast<LPBYTE>(&info)));
  EXPECT_EQ(Forms().size(), 3u);

  info.pPrinterName = nullptr;
  EXPECT_FALSE(DrvUpgradePrinter(1, reinterpret_cast<LPBYTE>(&info)));
}

}  // namespace
}  // namespace uitest
