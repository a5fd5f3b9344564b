#include <gtest/gtest.h>

#include "fixture.h"
#include "resources/catalogue_blob.h"

using namespace lbltest;

namespace {

std::string Shipped() { return std::string(reinterpret_cast<const char*>(g_CatalogueJson), g_CatalogueJsonSize); }

PaperRecord MakePaper(const char16_t* name, int32_t w, int32_t l, uint32_t flags = 0x80000011) {
  PaperRecord p{};
  WStrCopy(p.Name, kPaperNameChars, W(name).c_str());
  p.Width = w;
  p.Length = l;
  p.MarginLeft = 1000;
  p.MarginTop = 2000;
  p.MarginRight = 3000;
  p.MarginBottom = 4000;
  p.Flags = flags;
  p.GapHeight = 3000;
  return p;
}

class DevmodeTest : public ::testing::Test {
 protected:
  void SetUp() override {
    winsim::Reset();
    printer = InstallPrinter(u"Tarnwell TW-QX", DataFile().b);
    ASSERT_NE(printer, nullptr);
    model = LoadModelRecord(printer, nullptr, ModuleWithCatalogue(Shipped()));
    ASSERT_NE(model, nullptr);
    FillDevmodeDefaults(model, W(u"Label One").c_str(), &defaults);
  }
  void TearDown() override {
    FreeModelRecord(model);
    if (printer) ClosePrinter(printer);
  }
  void StoreForms(const std::vector<PaperRecord>& list) {
    std::vector<uint8_t> bytes(list.size() * sizeof(PaperRecord));
    std::memcpy(bytes.data(), list.data(), bytes.size());
    winsim::SetPrinterDataValue(u"Label One", u"FORMS", REG_BINARY, bytes);
  }
  void StoreInstalled(const PaperRecord& p) { ASSERT_TRUE(WriteInstalledPaper(printer, &PaperToInstalledCopy(p))); }
  static const InstalledPaper& PaperToInstalledCopy(const PaperRecord& p) {
    static InstalledPaper ip;
    ip = PaperToInstalled(p);
    return ip;
  }
  std::vector<PaperRecord> ThreeForms() {
    return {MakePaper(u"USER", 50000, 30000), MakePaper(u"2 x 1", 50800, 25400), MakePaper(u"4 x 6", 101600, 152400)};
  }
  DWORD Merge(const PrinterDevmode& in, PrinterDevmode* target, PaperRect* paper = nullptr, bool* resolved = nullptr) {
    return MergeDevmode(printer, model, &in.dm, target, sizeof in, paper, resolved);
  }

  HANDLE printer = nullptr;
  ModelRecord* model = nullptr;
  PrinterDevmode defaults;
};

TEST_F(DevmodeTest, StoredSignatureBytes) {
  const uint8_t* b = reinterpret_cast<const uint8_t*>(&defaults);
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(b + 220), 4), "MDWT");
  EXPECT_EQ(b[224], 0x10);
  EXPECT_EQ(b[225], 0x10);
}

TEST_F(DevmodeTest, DefaultsForShippedTsplModel) {
  const DEVMODEW& dm = defaults.dm;
  EXPECT_EQ(WString(dm.dmDeviceName), W(u"Label One"));
  EXPECT_EQ(std::string(model->DeviceName), "Label One");
  EXPECT_EQ(dm.dmSpecVersion, 0x401);
  EXPECT_EQ(dm.dmDriverVersion, 0x600);
  EXPECT_EQ(dm.dmSize, 220);
  EXPECT_EQ(dm.dmDriverExtra, 2748);
  EXPECT_EQ(dm.dmFields, 0x1051Fu & ~0xCu);
  EXPECT_EQ(dm.dmScale, 100);
  EXPECT_EQ(dm.dmCopies, 1);
  EXPECT_EQ(dm.dmPrintQuality, -4);
  EXPECT_EQ(dm.dmColor, 1);
  EXPECT_EQ(dm.dmDuplex, 1);
  EXPECT_EQ(dm.dmOrientation, 1);
  // Default paper: entry 0 "USER", the size of "4 x 6".
  EXPECT_EQ(dm.dmPaperSize, 256);
  EXPECT_EQ(dm.dmPaperWidth, 1016);
  EXPECT_EQ(dm.dmPaperLength, 1524);
  EXPECT_EQ(WString(dm.dmFormName), W(u"USER"));
  EXPECT_EQ(defaults.PrintLanguage, uint32_t(kLangTspl));
  EXPECT_EQ(defaults.Flags, 0x24u);
  EXPECT_EQ(defaults.PostAction, 1u);
  EXPECT_EQ(defaults.IntervalPages, 1u);
  EXPECT_EQ(defaults.DitherLevel, 8u);
  EXPECT_EQ(defaults.FeedOffset, 0);
  EXPECT_EQ(defaults.PrintWidth, 101600);
  EXPECT_EQ(defaults.WatermarkBrightness, 128);
  EXPECT_EQ(defaults.Reserved[1], 1);
  EXPECT_EQ(defaults.Reserved[5], 1);
  EXPECT_EQ(defaults.Reserved[8], 1);
  EXPECT_EQ(defaults.Reserved[0], 0);
  EXPECT_EQ(defaults.ColorAdjust.caSize, 24);
  EXPECT_EQ(defaults.ColorAdjust.caRedGamma, 10000);
}

TEST_F(DevmodeTest, DefaultsLanguageAndDirection) {
  struct Case { uint16_t langDefault; uint16_t outDir; uint32_t lang; uint32_t flags; int32_t feed; };
  const Case cases[] = {
      {kLangBitTwl, 0, kLangTwl, 0x24, 0},        {kLangBitZpl, 1, kLangZpl, 0x20 | 0x8 | 0x80, 0},
      {kLangBitTspl, 1, kLangTspl, 0xA8, 0},      {kLangBitEsc, 0, kLangEsc, 0x24, 20000},
      {kLangBitTwl, 1, kLangTwl, 0x28, 0},
  };
  for (const Case& c : cases) {
    ModelPtr m(DataFile().Parse());
    m->LanguageDefault = c.langDefault;
    m->OutDirection = c.outDir;
    m->DarknessMax = 16;
    PrinterDevmode d;
    FillDevmodeDefaults(m.get(), nullptr, &d);
    EXPECT_EQ(d.PrintLanguage, c.lang) << c.langDefault;
    EXPECT_EQ(d.Flags, c.flags) << c.langDefault;
    EXPECT_EQ(d.FeedOffset, c.feed);
    EXPECT_EQ(m->DarknessMax, c.langDefault == kLangBitEsc ? 8 : 16);
    EXPECT_EQ(WString(d.dm.dmDeviceName), W(u"Label Printer"));
  }
}

TEST_F(DevmodeTest, DefaultsWithoutPapersAndModelLimits) {
  ModelPtr m(DataFile().u16(86, 0).u16(90, 1).u16(94, 0).u32(68, 0x89).Parse());
  m->PrintDirection = 1;
  PrinterDevmode d;
  PaperRect r{};
  std::u16string longName(40, u'n');
  FillDevmodeDefaults(m.get(), W(longName.c_str()).c_str(), &d, &r);
  EXPECT_EQ(WStrLen(d.dm.dmDeviceName), 31u);
  EXPECT_EQ(d.dm.dmFields & (DM_SCALE | DM_COPIES | DM_PRINTQUALITY), 0u);
  EXPECT_EQ(d.dm.dmPrintQuality, -2);
  EXPECT_EQ(d.dm.dmOrientation, 2);
  EXPECT_EQ(d.dm.dmPaperWidth, 786);
  EXPECT_EQ(d.dm.dmPaperLength, 1300);
  EXPECT_EQ(r.Width, 78600);
  EXPECT_EQ(r.Area.Bottom, 130000);
  EXPECT_EQ(d.PrintWidth, m->MaxWidth);

  ModelPtr scaled(DataFile().u16(86, 50).Parse());
  FillDevmodeDefaults(scaled.get(), nullptr, &d);
  EXPECT_EQ(d.dm.dmScale, 50);

  ModelPtr vector(DataFile().u32(68, 0).Parse());  // normalising sets 0x202
  FillDevmodeDefaults(vector.get(), nullptr, &d);
  EXPECT_NE(d.dm.dmFields & DM_SCALE, 0u);
}

TEST_F(DevmodeTest, OlderPublicRecordKeepsPrivateDefaults) {
  PrinterDevmode in = defaults;
  in.dm.dmSize = 188;
  in.dm.dmSpecVersion = 0x320;
  in.dm.dmDriverExtra = 0;
  in.dm.dmOrientation = 2;
  in.dm.dmCopies = 7;
  PrinterDevmode target = defaults;
  target.Speed = 123;
  DWORD mask = MergeDevmode(printer, model, &in.dm, &target, 188);
  EXPECT_EQ(mask & ~kPaperFieldsMask, 0u);
  EXPECT_EQ(target.dm.dmOrientation, 2);
  EXPECT_EQ(target.dm.dmCopies, 7);
  EXPECT_EQ(target.Speed, 123u);
  EXPECT_EQ(target.dm.dmSize, 220);
  EXPECT_EQ(target.dm.dmSpecVersion, 0x401);
}

TEST_F(DevmodeTest, CustomSizeLimits) {
  PrinterDevmode in = defaults;
  in.dm.dmFields |= DM_PAPERSIZE | DM_PAPERWIDTH | DM_PAPERLENGTH;
  in.dm.dmPaperSize = 256;
  in.dm.dmPaperWidth = 99;  // 9.9 mm
  in.dm.dmPaperLength = 500;
  PrinterDevmode t = defaults;
  EXPECT_EQ(Merge(in, &t) & kPaperFieldsMask, in.dm.dmFields & kPaperFieldsMask);  // no "FORMS": stays rejected

  in.dm.dmPaperWidth = 100;
  t = defaults;
  PaperRect r{};
  bool resolved = false;
  EXPECT_EQ(Merge(in, &t, &r, &resolved), 0u);
  EXPECT_TRUE(resolved);
  EXPECT_EQ(t.dm.dmPaperWidth, 100);
  EXPECT_EQ(t.dm.dmPaperSize, 256);
  EXPECT_EQ(t.dm.dmFormName[0], 0);
  EXPECT_EQ(t.dm.dmFields & kPaperFieldsMask, 0xEu);
  EXPECT_EQ(r.Width, 10000);
  EXPECT_EQ(r.Length, 50000);
  EXPECT_EQ(r.Area.Right, 10000);

  in.dm.dmPaperWidth = 1500;  // wider than 104 mm but fits turned
  in.dm.dmPaperLength = 800;
  t = defaults;
  EXPECT_EQ(Merge(in, &t), 0u);
  EXPECT_EQ(t.dm.dmPaperWidth, 1500);

  in.dm.dmPaperLength = 1100;  // fits neither way
  t = defaults;
  EXPECT_EQ(Merge(in, &t) & kPaperFieldsMask, in.dm.dmFields & kPaperFieldsMask);
}

TEST_F(DevmodeTest, RejectedCustomSizeFallsBackToInstalledPaper) {
  auto forms = ThreeForms();
  StoreForms(forms);
  StoreInstalled(forms[1]);
  PrinterDevmode in = defaults;
  in.dm.dmFields |= DM_PAPERSIZE | DM_PAPERWIDTH | DM_PAPERLENGTH;
  in.dm.dmPaperSize = 256;
  in.dm.dmPaperWidth = 99;
  PrinterDevmode t = defaults;
  PaperRect r{};
  EXPECT_EQ(Merge(in, &t, &r), 0u);
  EXPECT_EQ(t.dm.dmPaperSize, 257);
  EXPECT_EQ(WString(t.dm.dmFormName), W(u"2 x 1"));
  EXPECT_EQ(t.dm.dmPaperWidth, 508);
  EXPECT_EQ(t.dm.dmPaperLength, 254);
  EXPECT_EQ(r.Area.Left, 1000);
  EXPECT_EQ(r.Area.Top, 2000);
  EXPECT_EQ(r.Area.Right, 50800 - 3000);
  EXPECT_EQ(r.Area.Bottom, 25400 - 4000);
}

TEST_F(DevmodeTest, PaperSizeCodesAndFormNames) {
  auto forms = ThreeForms();
  StoreForms(forms);
  PrinterDevmode in = defaults;
  in.dm.dmFields = DM_PAPERSIZE | DM_FORMNAME;
  in.dm.dmPaperSize = 255 + 3;  // last entry
  PrinterDevmode t = defaults;
  EXPECT_EQ(Merge(in, &t), 0u);
  EXPECT_EQ(t.dm.dmPaperSize, 258);
  EXPECT_EQ(WString(t.dm.dmFormName), W(u"4 x 6"));
  EXPECT_EQ(t.dm.dmFields & kPaperFieldsMask, DM_PAPERSIZE | DM_FORMNAME);

  in.dm.dmPaperSize = 256 + 3;  // out of range: the form name decides
  WStrCopy(in.dm.dmFormName, CCHFORMNAME, W(u"2 x 1").c_str());
  t = defaults;
  EXPECT_EQ(Merge(in, &t), 0u);
  EXPECT_EQ(t.dm.dmPaperSize, 257);

  forms[2].Flags &= ~kPaperInUse;  // an entry not in use is not selected by its code
  StoreForms(forms);
  in.dm.dmPaperSize = 258;
  t = defaults;
  Merge(in, &t);
  EXPECT_EQ(t.dm.dmPaperSize, 257);
}

TEST_F(DevmodeTest, UserPaperUsesInstalledFormOrEntryZero) {
  auto forms = ThreeForms();
  StoreForms(forms);
  PrinterDevmode in = defaults;
  in.dm.dmFields = DM_FORMNAME | DM_PAPERWIDTH | DM_PAPERLENGTH;
  WStrCopy(in.dm.dmFormName, CCHFORMNAME, W(u"USER").c_str());
  in.dm.dmPaperWidth = 420;
  in.dm.dmPaperLength = 333;
  // No "InstalledForm": entry 0, whose size comes from the incoming record.
  PrinterDevmode t = defaults;
  PaperRect r{};
  EXPECT_EQ(Merge(in, &t, &r), 0u);
  EXPECT_EQ(t.dm.dmPaperSize, 256);
  EXPECT_EQ(t.dm.dmPaperWidth, 420);
  EXPECT_EQ(t.dm.dmPaperLength, 333);
  EXPECT_EQ(r.Width, 42000);
  EXPECT_EQ(r.Area.Right, 42000 - 3000);

  // An installed paper whose name is no longer in the list: entry 0 as well, never past the end.
  PaperRecord gone = MakePaper(u"gone", 1, 1);
  StoreInstalled(gone);
  t = defaults;
  EXPECT_EQ(Merge(in, &t), 0u);
  EXPECT_EQ(t.dm.dmPaperSize, 256);

  StoreInstalled(forms[2]);
  t = defaults;
  EXPECT_EQ(Merge(in, &t), 0u);
  EXPECT_EQ(t.dm.dmPaperSize, 258);
  EXPECT_EQ(t.dm.dmPaperWidth, 1016);
}

TEST_F(DevmodeTest, PublicFieldRejections) {
  PrinterDevmode in = defaults;
  in.dm.dmFields = DM_ORIENTATION | DM_SCALE | DM_COPIES | DM_PRINTQUALITY | DM_COLOR;
  in.dm.dmOrientation = 3;
  in.dm.dmScale = 0;
  in.dm.dmCopies = model->MaxCopies + 1;
  in.dm.dmPrintQuality = 150;
  in.dm.dmColor = 2;
  PrinterDevmode t = defaults;
  EXPECT_EQ(Merge(in, &t), DWORD(DM_ORIENTATION | DM_SCALE | DM_COPIES | DM_PRINTQUALITY | DM_COLOR));
  EXPECT_EQ(t.dm.dmCopies, 1);
  EXPECT_EQ(t.dm.dmOrientation, 1);

  in.dm.dmOrientation = 2;
  in.dm.dmScale = 400;
  in.dm.dmCopies = model->MaxCopies;
  in.dm.dmColor = 1;
  for (SHORT q : {-4, -3, -2, -1, 203, 300}) {
    in.dm.dmPrintQuality = q;
    t = defaults;
    EXPECT_EQ(Merge(in, &t), 0u) << q;
    EXPECT_EQ(t.dm.dmPrintQuality, q);
  }
  EXPECT_EQ(t.dm.dmScale, 400);
  EXPECT_EQ(t.dm.dmCopies, model->MaxCopies);
  in.dm.dmScale = 401;
  t = defaults;
  EXPECT_EQ(Merge(in, &t), DWORD(DM_SCALE));
}

TEST_F(DevmodeTest, LimitsFromModelFlags) {
  PrinterDevmode in = defaults;
  in.dm.dmFields = DM_SCALE | DM_PRINTQUALITY | DM_COLOR;
  in.dm.dmScale = 9999;
  in.dm.dmPrintQuality = -4;
  in.dm.dmColor = 2;
  model->MaxScale = 0;
  model->MaxQuality = 0;
  model->Flags |= kModelColour;
  PrinterDevmode t = defaults;
  EXPECT_EQ(Merge(in, &t), DWORD(DM_PRINTQUALITY));  // scale ignored, colour 2 taken
  EXPECT_EQ(t.dm.dmColor, 2);
  in.dm.dmColor = 1;
  model->Flags &= ~kModelRaster;
  t = defaults;
  EXPECT_EQ(Merge(in, &t) & DM_COLOR, DWORD(DM_COLOR));
}

TEST_F(DevmodeTest, PrivateBlockRules) {
  PrinterDevmode in = defaults;
  in.Flags = 0xF28;
  in.PrinterType = 7;
  in.Speed = 300;
  in.ColorAdjust.caRedGamma = 1344;
  PrinterDevmode t = defaults;
  EXPECT_EQ(Merge(in, &t) & ~kPaperFieldsMask, 0u);
  EXPECT_EQ(t.Flags, 0xF28u);
  EXPECT_EQ(t.PrinterType, 0);
  EXPECT_EQ(t.Speed, 300u);
  EXPECT_EQ(t.ColorAdjust.caRedGamma, 1344);

  in.Flags = 0x1128;
  in.ColorAdjust.caRedGamma = 1343;
  in.ColorAdjust.caContrast = 101;
  t = defaults;
  EXPECT_EQ(Merge(in, &t) & ~kPaperFieldsMask, kMaskColorAdjust);
  EXPECT_EQ(t.Flags, 0x128u);
  EXPECT_EQ(t.ColorAdjust.caRedGamma, 10000);
  EXPECT_EQ(t.ColorAdjust.caContrast, 0);

  in.ColorAdjust.caSize = 23;
  in.ColorAdjust.caBrightness = 50;
  t = defaults;
  EXPECT_EQ(Merge(in, &t) & ~kPaperFieldsMask, kMaskColorAdjust);
  EXPECT_EQ(t.ColorAdjust.caBrightness, 0);
  EXPECT_EQ(t.ColorAdjust.caSize, 24);
}

TEST_F(DevmodeTest, ForeignPrivateBlockContributesOnlyPublicFields) {
  PrinterDevmode in = defaults;
  in.Signature = 0x12345678;
  in.Speed = 999;
  in.ColorAdjust.caSize = 0;
  in.dm.dmCopies = 3;
  PrinterDevmode t = defaults;
  EXPECT_EQ(Merge(in, &t) & ~kPaperFieldsMask, 0u);
  EXPECT_EQ(t.Speed, defaults.Speed);
  EXPECT_EQ(t.dm.dmCopies, 3);
}

TEST_F(DevmodeTest, UnterminatedTextsStayInsideTheirFields) {
  // A stock whose stored name fills all 32 characters, as a foreign writer of "FORMS" may leave it.
  auto forms = ThreeForms();
  for (auto& c : forms[2].Name) c = u'f';
  StoreForms(forms);

  PrinterDevmode in = defaults;
  for (auto& c : in.WatermarkPath) c = u'w';
  for (auto& slot : in.UserCommands)
    for (auto& c : slot) c = u'c';
  for (auto& c : in.dm.dmFormName) c = u'f';
  for (auto& c : in.dm.dmDeviceName) c = u'd';
  in.dm.dmFields = DM_FORMNAME;
  PrinterDevmode t = defaults;
  EXPECT_EQ(Merge(in, &t) & kPaperFieldsMask, 0u);
  EXPECT_EQ(WStrNLen(t.WatermarkPath, kWatermarkPathChars), 259u);
  for (auto& slot : t.UserCommands) EXPECT_EQ(WStrNLen(slot, kUserCommandChars), 261u);
  // Both names end inside their fields, so the 31 characters they hold select the stock.
  EXPECT_EQ(t.dm.dmPaperSize, 258);
  EXPECT_EQ(WString(t.dm.dmFormName), WString(31, u'f'));
  // The device name is the printer's own; an incoming one never replaces it.
  EXPECT_EQ(WString(t.dm.dmDeviceName), W(u"Label One"));

  // The same names read back from the printer data are terminated as well.
  int count = 0;
  PaperRecord* list = ReadPaperList(printer, &count);
  ASSERT_NE(list, nullptr);
  EXPECT_EQ(WStrNLen(list[2].Name, kPaperNameChars), 31u);
  LocalFree(list);
  InstalledPaper installed = PaperToInstalled(forms[2]);
  for (auto& c : installed.Name) c = u'i';
  ASSERT_TRUE(WriteInstalledPaper(printer, &installed));
  InstalledPaper back{};
  ASSERT_TRUE(ReadInstalledPaper(printer, &back));
  EXPECT_EQ(WString(back.Name), WString(31, u'i'));
  EXPECT_EQ(WString(PaperToInstalled(forms[2]).Name), WString(31, u'f'));
}

TEST_F(DevmodeTest, AbsentRecordsChangeNothing) {
  PrinterDevmode t = defaults;
  EXPECT_EQ(MergeDevmode(printer, nullptr, &defaults.dm, &t), 0u);
  EXPECT_EQ(MergeDevmode(printer, model, nullptr, &t), 0u);
  EXPECT_EQ(MergeDevmode(printer, model, &defaults.dm, nullptr), 0u);
  EXPECT_EQ(std::memcmp(&t, &defaults, sizeof t), 0);
}

TEST_F(DevmodeTest, UnusableIncomingRecordLeavesDefaults) {
  PrinterDevmode in = defaults;
  in.dm.dmSize = 100;
  in.dm.dmSpecVersion = 0;
  in.dm.dmCopies = 5;
  in.Speed = 999;
  PrinterDevmode t = defaults;
  Merge(in, &t);
  EXPECT_EQ(t.dm.dmCopies, 1);
  EXPECT_EQ(t.Speed, defaults.Speed);
}

// Builds a DEVMODE of the given public size with a private block of `extra` bytes.
std::vector<uint8_t> Record(WORD size, WORD extra, uint8_t fill) {
  std::vector<uint8_t> b(size + extra, fill);
  auto* dm = reinterpret_cast<DEVMODEW*>(b.data());
  dm->dmSize = size;
  dm->dmDriverExtra = extra;
  dm->dmSpecVersion = 0x777;
  dm->dmDriverVersion = 0x123;
  return b;
}

TEST(CopyDevmodeTest, BetweenVersions) {
  for (WORD from : {188, 212, 220}) {
    for (WORD to : {188, 212, 220}) {
      auto src = Record(from, 2748, 0xAB);
      auto dst = Record(to, 100, 0x00);
      ASSERT_TRUE(CopyDevmode(reinterpret_cast<DEVMODEW*>(src.data()), reinterpret_cast<DEVMODEW*>(dst.data())));
      auto* d = reinterpret_cast<DEVMODEW*>(dst.data());
      EXPECT_EQ(d->dmSize, to);
      EXPECT_EQ(d->dmDriverExtra, 100);
      EXPECT_EQ(d->dmDriverVersion, 0x123);
      EXPECT_EQ(d->dmSpecVersion, to == 188 ? 0x320 : to == 212 ? 0x400 : 0x401);
      size_t pub = std::min(from, to);
      for (size_t i = 72; i < to; ++i) ASSERT_EQ(dst[i], i < pub ? 0xAB : 0x00) << from << "->" << to << " @" << i;
      for (size_t i = to; i < dst.size(); ++i) ASSERT_EQ(dst[i], 0xAB);
    }
  }
}

TEST(CopyDevmodeTest, UnusableSourceOrTarget) {
  auto src = Record(100, 0, 0xAB);
  reinterpret_cast<DEVMODEW*>(src.data())->dmSpecVersion = 0;
  auto dst = Record(220, 0, 0);
  EXPECT_FALSE(CopyDevmode(reinterpret_cast<DEVMODEW*>(src.data()), reinterpret_cast<DEVMODEW*>(dst.data())));
  auto ok = Record(220, 0, 0xAB);
  auto odd = Record(200, 0, 0);
  reinterpret_cast<DEVMODEW*>(odd.data())->dmSpecVersion = 0;
  EXPECT_FALSE(CopyDevmode(reinterpret_cast<DEVMODEW*>(ok.data()), reinterpret_cast<DEVMODEW*>(odd.data())));
}

TEST_F(DevmodeTest, PrinterDataValues) {
  int count = -1;
  EXPECT_EQ(ReadPaperList(printer, &count), nullptr);
  EXPECT_EQ(count, 0);
  auto forms = ThreeForms();
  std::vector<uint8_t> bytes(3 * sizeof(PaperRecord) + 50);  // a partial entry is ignored
  std::memcpy(bytes.data(), forms.data(), 3 * sizeof(PaperRecord));
  winsim::SetPrinterDataValue(u"Label One", u"FORMS", REG_BINARY, bytes);
  PaperRecord* list = ReadPaperList(printer, &count);
  ASSERT_NE(list, nullptr);
  EXPECT_EQ(count, 3);
  InstalledPaper ip{};
  EXPECT_TRUE(SelectPaperByName(list, count, W(u"4 x 6").c_str(), &ip));
  EXPECT_EQ(list[2].Index, 258);
  EXPECT_EQ(ip.ImageableArea.Right, 101600 - 3000);
  EXPECT_EQ(ip.ImageableArea.Bottom, 152400 - 4000);
  EXPECT_FALSE(SelectPaperByName(list, count, W(u"4 x 7").c_str(), &ip));
  LocalFree(list);

  InstalledPaper out{};
  EXPECT_FALSE(ReadInstalledPaper(printer, &out));
  winsim::SetPrinterDataValue(u"Label One", u"InstalledForm", REG_DWORD, std::vector<uint8_t>(112, 1));
  EXPECT_FALSE(ReadInstalledPaper(printer, &out));
  winsim::SetPrinterDataValue(u"Label One", u"InstalledForm", REG_BINARY, std::vector<uint8_t>(111, 1));
  EXPECT_FALSE(ReadInstalledPaper(printer, &out));
  InstalledPaper in = PaperToInstalled(forms[1]);
  EXPECT_TRUE(WriteInstalledPaper(printer, &in));
  EXPECT_TRUE(ReadInstalledPaper(printer, &out));
  EXPECT_EQ(std::memcmp(&in, &out, sizeof in), 0);

  HANDLE user = nullptr;
  WString name = W(u"Label One");
  ASSERT_TRUE(OpenPrinterW(name.data(), &user, nullptr));
  EXPECT_FALSE(WriteInstalledPaper(user, &in));
  EXPECT_EQ(GetLastError(), ERROR_ACCESS_DENIED);
  ClosePrinter(user);
}

TEST_F(DevmodeTest, PropData) {
  PrinterPropData pp{kPropDefaultFlags, {}};
  EXPECT_FALSE(ReadPropData(printer, &pp));
  EXPECT_EQ(pp.Flags, kPropDefaultFlags);
  DWORD flags = 8;
  std::vector<uint8_t> f(4);
  std::memcpy(f.data(), &flags, 4);
  winsim::SetPrinterDataValue(u"Label One", u"PPDataFlags", REG_DWORD, f);
  std::u16string folder = u"C:\\" + std::u16string(300, u'x');  // longer than the field
  std::vector<uint8_t> fb(reinterpret_cast<const uint8_t*>(folder.c_str()),
                          reinterpret_cast<const uint8_t*>(folder.c_str()) + 2 * (folder.size() + 1));
  winsim::SetPrinterDataValue(u"Label One", u"LogFolder", REG_SZ, fb);
  EXPECT_FALSE(ReadPropData(printer, &pp));  // does not fit 520 bytes
  EXPECT_EQ(pp.Flags, 8u);
  folder.resize(259);
  fb.assign(reinterpret_cast<const uint8_t*>(folder.c_str()),
            reinterpret_cast<const uint8_t*>(folder.c_str()) + 2 * (folder.size() + 1));
  winsim::SetPrinterDataValue(u"Label One", u"LogFolder", REG_SZ, fb);
  EXPECT_TRUE(ReadPropData(printer, &pp));
  EXPECT_EQ(WStrLen(pp.LogFolder), 259u);
}

}  // namespace

namespace {

TEST_F(DevmodeTest, PrivateValuesOutsideThePagesRangesKeepDefaults) {
  struct Case {
    const char* what;
    void (*set)(PrinterDevmode&, const ModelRecord*);
    bool (*kept)(const PrinterDevmode&, const PrinterDevmode&);
  };
  const Case bad[] = {
      {"InputDPI -1", [](PrinterDevmode& d, const ModelRecord*) { d.InputDPI = -1; },
       [](const PrinterDevmode& t, const PrinterDevmode& def) { return t.InputDPI == def.InputDPI; }},
      {"InputDPI 2", [](PrinterDevmode& d, const ModelRecord*) { d.InputDPI = 2; },
       [](const PrinterDevmode& t, const PrinterDevmode& def) { return t.InputDPI == def.InputDPI; }},
      {"PrintWidth 0", [](PrinterDevmode& d, const ModelRecord*) { d.PrintWidth = 0; },
       [](const PrinterDevmode& t, const PrinterDevmode& def) { return t.PrintWidth == def.PrintWidth; }},
      {"PrintWidth huge", [](PrinterDevmode& d, const ModelRecord*) { d.PrintWidth = 0x7FFFFFFF; },
       [](const PrinterDevmode& t, const PrinterDevmode& def) { return t.PrintWidth == def.PrintWidth; }},
      {"FeedOffset", [](PrinterDevmode& d, const ModelRecord*) { d.FeedOffset = -254001; },
       [](const PrinterDevmode& t, const PrinterDevmode& def) { return t.FeedOffset == def.FeedOffset; }},
      // Shifts run to the stock's total width and length, which the stock editor allows up to
      // 6553.5 mm plus two 10 mm liners and 655350 mm.
      {"ShiftH", [](PrinterDevmode& d, const ModelRecord*) { d.ShiftH = 6573501; },
       [](const PrinterDevmode& t, const PrinterDevmode& def) { return t.ShiftH == def.ShiftH; }},
      {"ShiftV", [](PrinterDevmode& d, const ModelRecord*) { d.ShiftV = -655350001; },
       [](const PrinterDevmode& t, const PrinterDevmode& def) { return t.ShiftV == def.ShiftV; }},
      {"WatermarkX", [](PrinterDevmode& d, const ModelRecord*) { d.WatermarkX = -1; },
       [](const PrinterDevmode& t, const PrinterDevmode& def) { return t.WatermarkX == def.WatermarkX; }},
      {"WatermarkBrightness", [](PrinterDevmode& d, const ModelRecord*) { d.WatermarkBrightness = 256; },
       [](const PrinterDevmode& t, const PrinterDevmode& def) {
         return t.WatermarkBrightness == def.WatermarkBrightness;
       }},
      {"WatermarkScale", [](PrinterDevmode& d, const ModelRecord*) { d.WatermarkScale = 101; },
       [](const PrinterDevmode& t, const PrinterDevmode& def) { return t.WatermarkScale == def.WatermarkScale; }},
      {"IntervalPages 0", [](PrinterDevmode& d, const ModelRecord*) { d.IntervalPages = 0; },
       [](const PrinterDevmode& t, const PrinterDevmode& def) { return t.IntervalPages == def.IntervalPages; }},
      // Speed and darkness lists offer the model's steps only; beyond them a printer would get
      // "DENSITY 655359" or "^PR1363".
      {"Darkness 17", [](PrinterDevmode& d, const ModelRecord*) { d.Darkness = 17; },
       [](const PrinterDevmode& t, const PrinterDevmode& def) { return t.Darkness == def.Darkness; }},
      {"Darkness above the model's", [](PrinterDevmode& d, const ModelRecord* m) { d.Darkness = m->DarknessMax + 1u; },
       [](const PrinterDevmode& t, const PrinterDevmode& def) { return t.Darkness == def.Darkness; }},
      {"Speed above the model's", [](PrinterDevmode& d, const ModelRecord* m) { d.Speed = m->SpeedMax + 1u; },
       [](const PrinterDevmode& t, const PrinterDevmode& def) { return t.Speed == def.Speed; }},
  };
  for (const Case& c : bad) {
    PrinterDevmode in = defaults;
    c.set(in, model);
    in.PaperSaving = 2;  // a valid field next to it is still taken
    PrinterDevmode t = defaults;
    EXPECT_EQ(Merge(in, &t) & kMaskPrivateRange, kMaskPrivateRange) << c.what;
    EXPECT_TRUE(c.kept(t, defaults)) << c.what;
    EXPECT_EQ(t.PaperSaving, 2u) << c.what;
  }
  // The edges of the ranges are accepted.
  PrinterDevmode in = defaults;
  in.InputDPI = 1;
  in.PrintWidth = 2500;
  in.FeedOffset = -254000;
  // A stock wider and longer than the print head can carry a shift beyond the model's limits.
  in.ShiftH = -6573500;
  in.ShiftV = 655350000;
  in.WatermarkScale = 100;
  in.WatermarkBrightness = 255;
  in.IntervalPages = 999;
  in.Speed = model->SpeedMax;
  in.Darkness = model->DarknessMax;
  PrinterDevmode t = defaults;
  EXPECT_EQ(Merge(in, &t) & kMaskPrivateRange, 0u);
  EXPECT_EQ(t.InputDPI, 1);
  EXPECT_EQ(t.PrintWidth, 2500);
  EXPECT_EQ(t.FeedOffset, -254000);
  EXPECT_EQ(t.ShiftH, -6573500);
  EXPECT_EQ(t.ShiftV, 655350000);
  EXPECT_EQ(t.WatermarkBrightness, 255);
  EXPECT_EQ(t.IntervalPages, 999u);
  EXPECT_EQ(t.Speed, model->SpeedMax);
  EXPECT_EQ(t.Darkness, model->DarknessMax);
  ASSERT_NE(model->SpeedMax, 0);
  ASSERT_NE(model->DarknessMax, 0);
  in.ShiftH = model->MaxWidth + 1;
  t = defaults;
  EXPECT_EQ(Merge(in, &t) & kMaskPrivateRange, 0u);
  EXPECT_EQ(t.ShiftH, model->MaxWidth + 1);
}

}  // namespace
