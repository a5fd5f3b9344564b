#include <gtest/gtest.h>

#include "fixture.h"
#include "resources/catalogue_blob.h"

using namespace lbltest;

namespace {

class ModelTest : public ::testing::Test {
 protected:
  void SetUp() override { winsim::Reset(); }
  static ModelPtr Load(const std::string& json, const char16_t* driver, const DataFile& df = DataFile()) {
    ModelPtr m(df.Parse());
    if (m) PrinterModel::LoadJsonText(json.data(), json.size(), m.get(), W(driver).c_str());
    return m;
  }
  static ModelPtr LoadShipped(const char16_t* driver) {
    return Load(std::string(reinterpret_cast<const char*>(g_CatalogueJson), g_CatalogueJsonSize), driver);
  }
  static bool Logged(const std::string& text) {
    for (const auto& l : winsim::DebugLines())
      if (l.find(text) != std::string::npos) return true;
    return false;
  }
};

TEST_F(ModelTest, DataFileHeaderChecks) {
  DataFile df;
  EXPECT_EQ(ParseDataFile(df.b.data(), 359), nullptr);
  DataFile bad = df;
  bad.b[0] = 't';
  EXPECT_EQ(bad.Parse(), nullptr);
  EXPECT_EQ(GetLastError(), ERROR_INVALID_DATA);
  bad = df;
  bad.u16(8, 384);
  EXPECT_EQ(bad.Parse(), nullptr);
  df.u16(10, 64);
  ModelPtr m(df.Parse());
  ASSERT_TRUE(m);
  EXPECT_EQ(m->HeaderSize, sizeof(ModelRecord));
  EXPECT_EQ(m->ExtraSize, 64);
  EXPECT_EQ(m->Forms.Data, nullptr);
  const uint8_t* extra = reinterpret_cast<const uint8_t*>(m.get()) + sizeof(ModelRecord);
  for (int i = 0; i < 64; ++i) ASSERT_EQ(extra[i], 0) << i;
}

TEST_F(ModelTest, NormalisesLimits) {
  DataFile df;
  df.i32(44, 15000).i32(52, 3000).i32(60, 3000);  // 9 mm printable width
  df.i32(48, 9999);                               // MaxLength below 10 mm
  df.u32(72, 300).u32(76, 600).u16(80, 300).u16(82, 150);
  df.u16(84, 7).u16(86, 20000).u16(92, 2).u16(94, 9);
  df.u32(68, 0xFFFFFFFF & ~0x100u);
  std::memset(df.b.data() + 12, 'A', 32);
  ModelPtr m(df.Parse());
  ASSERT_TRUE(m);
  EXPECT_EQ(m->MaxWidth, 16000);
  EXPECT_EQ(m->MaxLength, 15240000);
  EXPECT_EQ(m->YDpi, 300u);
  EXPECT_EQ(m->RasterYDpi, 300);
  EXPECT_EQ(m->RopLevel, 3);
  EXPECT_EQ(m->MaxScale, 10000);
  EXPECT_EQ(m->MaxPolygonPoints, 0);
  EXPECT_EQ(m->MaxQuality, 4);
  EXPECT_EQ(m->Flags, 0x3FFFu & ~0x100u);
  EXPECT_EQ(m->DeviceName[31], 0);
  EXPECT_EQ(m->PaperTrackWidth, 0);

  // A MaxLength below the top and bottom margins plus 10 mm is raised to that.
  EXPECT_EQ(ModelPtr(DataFile().i32(48, 15000).i32(56, 4000).i32(64, 2000).Parse())->MaxLength, 16000);
}

TEST_F(ModelTest, PenLimitOnlyForNonRasterDevices) {
  DataFile df;
  df.u16(88, 100);
  ModelPtr raster(df.Parse());
  EXPECT_EQ(raster->MaxPens, 100);
  df.u32(68, 0x80);
  ModelPtr vector(df.Parse());
  EXPECT_EQ(vector->MaxPens, 32);
  EXPECT_EQ(vector->Flags, 0x80u | 0x202u);
}

TEST_F(ModelTest, PaperTrackFollowsFlag) {
  DataFile df;
  df.u32(68, 0x181).i32(96, 5).i32(100, 6);
  ModelPtr m(df.Parse());
  EXPECT_EQ(m->PaperTrackWidth, m->MaxWidth);
  EXPECT_EQ(m->PaperTrackLength, m->MaxLength);
  df.i32(100, 104000);  // one of them already equals MaxWidth: kept
  ModelPtr k(df.Parse());
  EXPECT_EQ(k->PaperTrackWidth, 5);
}

TEST_F(ModelTest, ColourInfoAndPelsDpi) {
  DataFile df;
  df.u32(224, 150);
  ModelPtr def(df.Parse());
  EXPECT_EQ(def->ColorInfo.Red.x, 6380);
  EXPECT_EQ(def->ColorInfo.Cyan.y, 2450);
  EXPECT_EQ(def->ColorInfo.RedGamma, 12500);
  EXPECT_EQ(def->ColorInfo.MagentaInYellowDye, 10000);
  EXPECT_EQ(def->DevicePelsDpi, 0u);
  df.i32(104 + 3 * 12 + 8, 1000);  // cyan Y
  ModelPtr own(df.Parse());
  EXPECT_EQ(own->ColorInfo.Red.x, 0);
  EXPECT_EQ(own->DevicePelsDpi, 150u);
  df.u32(224, 29);
  EXPECT_EQ(ModelPtr(df.Parse())->DevicePelsDpi, 0u);
  df.u32(224, 204);
  EXPECT_EQ(ModelPtr(df.Parse())->DevicePelsDpi, 0u);
}

TEST_F(ModelTest, HalftonePatternSizeFromResolution) {
  struct { uint16_t dpi; uint32_t want; } cases[] = {{203, 5}, {300, 5}, {400, 7}, {179, 3}, {900, 9}, {2400, 15}};
  for (auto c : cases) {
    DataFile df;
    df.u16(80, c.dpi).u32(228, 16);
    EXPECT_EQ(ModelPtr(df.Parse())->HalftonePatternSize, c.want) << c.dpi;
  }
  DataFile keep;
  keep.u32(228, 15);
  EXPECT_EQ(ModelPtr(keep.Parse())->HalftonePatternSize, 15u);
}

TEST_F(ModelTest, ShippedExampleModel) {
  ModelPtr m = LoadShipped(u"Tarnwell TW-QX");
  ASSERT_TRUE(m);
  EXPECT_EQ(m->XDpi, 203u);
  EXPECT_EQ(m->RasterXDpi, 203);
  EXPECT_EQ(m->DevicePelsDpi, 203u);
  EXPECT_EQ(m->MaxWidth, 104000);
  EXPECT_EQ(m->MaxLength, 2286000);
  EXPECT_EQ(m->MinLabelWidth, 20000);
  EXPECT_EQ(m->MinLabelLength, 10000);
  EXPECT_EQ(m->LanguageDefault, 2);
  EXPECT_EQ(m->LanguageSet, 6);
  EXPECT_EQ(m->Speed, 0);  // no "SendThis"
  EXPECT_EQ(m->Darkness, 0);
  EXPECT_EQ(m->SpeedMin, 200);
  EXPECT_EQ(m->SpeedMax, 400);
  EXPECT_EQ(m->SpeedStep, 100);
  EXPECT_EQ(m->DarknessMax, 16);
  EXPECT_EQ(m->SdramSize, 8192);
  EXPECT_EQ(m->FlashSize, 4096);
  EXPECT_EQ(m->Accessories, 1);
  EXPECT_EQ(m->SensorType, 2);
  EXPECT_EQ(m->DefaultSensorType, 2);
  EXPECT_EQ(m->GapHeight, 3000);
  EXPECT_EQ(m->OutDirection, 0);
  EXPECT_EQ(m->Flags & kModelThermalTransfer, 0u);
  EXPECT_EQ(m->DitherLevel, 8u);
  EXPECT_EQ(m->PostAction, 1u);
  EXPECT_EQ(m->MaxCopies, 32767);
  EXPECT_EQ(m->WatermarkX, 50);
  EXPECT_EQ(m->WatermarkScale, 100);
  EXPECT_EQ(m->WatermarkBrightness, 128);
  // All sixteen papers but the two sheet sizes fit 104 mm; entry 0 is the user-defined copy.
  ASSERT_EQ(ModelPaperCount(m.get()), 15);
  const PaperRecord* p = ModelPapers(m.get());
  EXPECT_EQ(WString(p[0].Name), W(u"USER"));
  EXPECT_EQ(WString(p[1].Name), W(u"4 x 6"));
  EXPECT_EQ(p[1].Width, 101600);
  EXPECT_EQ(p[1].Length, 152400);
  EXPECT_EQ(p[0].Width, p[1].Width);
  EXPECT_EQ(p[0].Length, p[1].Length);
  EXPECT_EQ(p[1].Flags, 0x80000011u);
  EXPECT_EQ(p[1].GapHeight, 3000);
  EXPECT_EQ(WString(p[14].Name), W(u"100mm x 150mm"));
}

TEST_F(ModelTest, DriverNameSplitAndExactLookup) {
  std::string cat = Catalogue(Model("TW-QX") + "," + Model("TW-KA_", "", 300), Paper("50mm x 30mm", 50, 30));
  DataFile df;
  df.u32(72, 111).u16(80, 111);

  ModelPtr twoSpaces = Load(cat, u"Tarnwell  TW-QX", df);  // model " TW-QX" does not exist
  EXPECT_EQ(twoSpaces->XDpi, 111u);
  EXPECT_EQ(ModelPaperCount(twoSpaces.get()), 2);  // papers and fixed values still apply
  EXPECT_EQ(twoSpaces->MaxCopies, 32767);

  ModelPtr lower = Load(cat, u"tarnwell TW-QX", df);  // vendor compare is case-sensitive
  EXPECT_EQ(lower->XDpi, 111u);
  EXPECT_EQ(ModelPaperCount(lower.get()), 0);
  EXPECT_EQ(lower->MaxCopies, 32767);

  EXPECT_EQ(Load(cat, u"Tarnwell TW-KA", df)->XDpi, 111u);
  EXPECT_EQ(Load(cat, u"Tarnwell TW-KA_", df)->XDpi, 300u);

  winsim::ClearDebugLines();
  ModelPtr nospace = Load(cat, u"TarnwellTW-QX", df);
  EXPECT_TRUE(Logged("Unable to split Vender name and Model name from the DeviceName."));
  EXPECT_EQ(nospace->MaxCopies, 999);
  EXPECT_EQ(ModelPaperCount(nospace.get()), 0);

  // Fifty characters or more are not converted, so the split fails.
  std::u16string longName = u"Tarnwell " + std::u16string(41, u'X');
  winsim::ClearDebugLines();
  Load(cat, longName.c_str(), df);
  EXPECT_TRUE(Logged("Unable to split"));
}

TEST_F(ModelTest, LastVendorAndLastModelWin) {
  std::string cat2 = R"({"Venders":[{"Vender Name":"Tarnwell","Models":[{"Model Name":"A","DPI":100,"Speed":{"Option":[1]},"Density":{"Option":[1]}}]},)"
                     R"({"Vender Name":"Tarnwell","Models":[{"Model Name":"A","DPI":200,"Speed":{"Option":[1]},"Density":{"Option":[1]}},)"
                     R"({"Model Name":"A","DPI":250,"Speed":{"Option":[1]},"Density":{"Option":[1]}}]}]})";
  EXPECT_EQ(Load(cat2, u"Tarnwell A")->XDpi, 250u);
}

TEST_F(ModelTest, PaperWidthsAgainstMaxWidth) {
  std::string papers = Paper("exact", 104.0, 50) + "," + Paper("over", 104.1, 50) + "," + Paper("inch", 101.6, 152.4);
  ModelPtr m = Load(Catalogue(Model("M"), papers), u"Tarnwell M");
  ASSERT_EQ(ModelPaperCount(m.get()), 3);
  const PaperRecord* p = ModelPapers(m.get());
  EXPECT_EQ(WString(p[1].Name), W(u"exact"));
  EXPECT_EQ(p[1].Width, 104000);
  EXPECT_EQ(WString(p[2].Name), W(u"inch"));
  EXPECT_EQ(p[2].Width, 101600);
  EXPECT_EQ(p[2].Length, 152400);
}

TEST_F(ModelTest, NoPaperTakenLeavesZeroEntry) {
  ModelPtr m = Load(Catalogue(Model("M"), Paper("wide", 200, 50)), u"Tarnwell M");
  ASSERT_NE(m->Forms.Data, nullptr);
  EXPECT_EQ(m->Forms.Count, 1);
  EXPECT_EQ(m->Forms.EntrySize, 112);
  EXPECT_FALSE(ModelHasPapers(m.get()));
  EXPECT_EQ(ModelPapers(m.get())[0].Width, 0);
  EXPECT_EQ(ModelPapers(m.get())[0].Name[0], 0);
}

TEST_F(ModelTest, PaperFieldsMarginsAndFlags) {
  DataFile df;
  df.i32(52, 1000).i32(56, 2000).i32(60, 3000).i32(64, 4000);
  std::string papers = Paper("m", 50, 30, 2, 2.5, R"({"Left":1.5,"Right":0,"Top":10,"Bottom":0.25})") + "," +
                       Paper(std::string(32, 'N'), 40, 30) + "," + Paper("typed", 40, 30, 0x3F);
  std::string ttModel = R"({"Model Name":"T","Maximum Print Width":104,"Printing Mode":{"Value":1},"Speed":{"Option":[2]},"Density":{"Option":[3]}})";
  ModelPtr t = Load(Catalogue(ttModel, papers), u"Tarnwell T", df);
  ASSERT_EQ(ModelPaperCount(t.get()), 4);
  const PaperRecord* p = ModelPapers(t.get());
  EXPECT_EQ(p[1].MarginLeft, 2500);
  EXPECT_EQ(p[1].MarginTop, 12000);
  EXPECT_EQ(p[1].MarginRight, 3000);
  EXPECT_EQ(p[1].MarginBottom, 4250);
  EXPECT_EQ(p[1].GapHeight, 2500);
  EXPECT_EQ(p[1].Flags, 0x80000022u);
  EXPECT_EQ(p[2].Name[0], 0);  // a name of 32 bytes does not fit
  EXPECT_EQ(p[2].Width, 40000);
  EXPECT_EQ(p[3].Flags, 0x8000002Fu);  // bits 4 and 5 replaced
}

TEST_F(ModelTest, SendThisKeepsSpeedAndDarkness) {
  std::string model = R"({"Model Name":"S","Speed":{"Value":300,"Step":50,"Option":[100,300],"SendThis":1},)"
                      R"("Density":{"Value":3,"Option":[1,2,3],"SendThis":1}})";
  ModelPtr m = Load(Catalogue(model), u"Tarnwell S");
  EXPECT_EQ(m->Speed, 300);
  EXPECT_EQ(m->Darkness, 3);
  EXPECT_EQ(m->DarknessMax, 3);
  EXPECT_EQ(m->SpeedMin, 100);
}

TEST_F(ModelTest, EmptyOrMissingOptionListsStayInBounds) {
  std::string model = R"({"Model Name":"E","Speed":{"Value":300,"Option":[]},"Density":{"Value":8}})";
  ModelPtr m = Load(Catalogue(model), u"Tarnwell E");
  EXPECT_EQ(m->SpeedMin, 300);
  EXPECT_EQ(m->SpeedMax, 300);
  EXPECT_EQ(m->DarknessMax, 8);
  EXPECT_EQ(m->Speed, 0);
}

TEST_F(ModelTest, OptionalKeysAndDefaults) {
  std::string model = R"({"Model Name":"O","Speed":{"Option":[1]},"Density":{"Option":[1]},"DitherLevel":3,)"
                      R"("PostAction":3,"InputDPI":1,"PrintWidth":72,"PrintDirection":1,"PrinterType":2,)"
                      R"("PrintingScale":4,"PaperSaving":{"Value":3},"ExtraSettings":{"ShiftH":2,"ShiftV":-1},)"
                      R"("RFID":true,"Accesories":{"Cutter":0,"Peeler":5},)"
                      R"("Config2":{"Speed":{"Value":200,"Step":25,"Option":[50,100,200]},"Density":{"Value":5,"Option":[1,9]}}})";
  ModelPtr m = Load(Catalogue(model), u"Tarnwell O");
  EXPECT_EQ(m->DitherLevel, 3u);
  EXPECT_EQ(m->PostAction, 3u);
  EXPECT_EQ(m->InputDPI, 1);
  EXPECT_EQ(m->PrintWidth, 72000);
  EXPECT_EQ(m->PrintDirection, 1);
  EXPECT_EQ(m->PrinterType, 2);
  EXPECT_EQ(m->PrintingScale, 4);
  EXPECT_EQ(m->PaperSaving, 3);
  EXPECT_EQ(m->ShiftH, 2000);
  EXPECT_EQ(m->ShiftV, -1000);
  EXPECT_EQ(m->Rfid, 1);
  EXPECT_EQ(m->Accessories, 2);
  EXPECT_EQ(m->Config2Speed, 200);
  EXPECT_EQ(m->Config2SpeedMin, 50);
  EXPECT_EQ(m->Config2SpeedMax, 200);
  EXPECT_EQ(m->Config2SpeedStep, 25);
  EXPECT_EQ(m->Config2Darkness, 5);
  EXPECT_EQ(m->Config2DarknessMax, 9);
}

TEST_F(ModelTest, MistypedValuesReadAsZero) {
  std::string model = R"({"Model Name":"X","DPI":"203","Speed":{"Option":["a",{}]},"Density":{"Option":[null]},)"
                      R"("Maximum Print Width":104.9,"Printer Languages":{"Value":2,"Option":[2,"4",4.0]},"RFID":1})";
  ModelPtr m = Load(Catalogue(model), u"Tarnwell X");
  EXPECT_EQ(m->XDpi, 0u);
  EXPECT_EQ(m->SpeedMax, 0);
  EXPECT_EQ(m->MaxWidth, 104000);
  EXPECT_EQ(m->LanguageSet, 6);
  EXPECT_EQ(m->Rfid, 0);
}

TEST_F(ModelTest, ParseErrorKeepsDataFileValues) {
  winsim::ClearDebugLines();
  ModelPtr m = Load("{\"Venders\": [", u"Tarnwell TW-QX");
  EXPECT_TRUE(Logged("PrinterModel::LoadJson: Json reader parsing error:"));
  EXPECT_EQ(m->MaxCopies, 999);
  EXPECT_EQ(m->Forms.Data, nullptr);
}

TEST_F(ModelTest, ByteOrderMarkIsSkipped) {
  ModelPtr m = Load("\xEF\xBB\xBF" + Catalogue(Model("B", "", 300)), u"Tarnwell B");
  EXPECT_EQ(m->XDpi, 300u);
}

TEST_F(ModelTest, LoadModelRecordThroughSpooler) {
  DataFile df;
  HMODULE mod = ModuleWithCatalogue(Catalogue(Model("QX"), Paper("50mm x 30mm", 50, 30)));
  HANDLE h = InstallPrinter(u"Tarnwell QX", df.b, u"A printer with a name longer than thirty-one chars");
  ASSERT_NE(h, nullptr);
  WCHAR name[32];
  ModelPtr m(LoadModelRecord(h, name, mod));
  ASSERT_TRUE(m);
  EXPECT_EQ(WString(name), W(u"A printer with a name longer th"));
  EXPECT_EQ(ModelPaperCount(m.get()), 2);
  EXPECT_EQ(m->MaxCopies, 32767);

  // A module without the catalogue resource: data file values, no papers.
  HMODULE empty = winsim::RegisterModule(u"nocatalogue");
  ModelPtr bare(LoadModelRecord(h, nullptr, empty));
  ASSERT_TRUE(bare);
  EXPECT_EQ(bare->Forms.Data, nullptr);
  EXPECT_EQ(bare->MaxCopies, 999);
  ClosePrinter(h);
}

TEST_F(ModelTest, LoadModelRecordFailsWithoutValidDataFile) {
  HMODULE mod = ModuleWithCatalogue(Catalogue(Model("QX")));
  HANDLE h = InstallPrinter(u"Tarnwell QX", {});
  ASSERT_NE(h, nullptr);
  EXPECT_EQ(LoadModelRecord(h, nullptr, mod), nullptr);
  DataFile df;
  std::vector<uint8_t> shortFile(df.b.begin(), df.b.begin() + 200);
  winsim::WriteHostFile(u"C:\\Windows\\System32\\spool\\drivers\\x64\\3\\lbldrv6.dat", shortFile.data(), shortFile.size());
  EXPECT_EQ(LoadModelRecord(h, nullptr, mod), nullptr);
  EXPECT_EQ(LoadModelRecord(nullptr, nullptr, mod), nullptr);
  ClosePrinter(h);
}

}  // namespace
