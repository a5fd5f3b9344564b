// The exports, the DDI table, DrvEnablePDEV's settings and capability records, and the PDEV check
// of every entry point.
#include <cstring>

#include "driver_fixture.h"

using namespace drvtest;

namespace {

TEST(DriverExports, QueryDriverInfoReportsUserMode) {
  DWORD value = 0, needed = 0;
  EXPECT_TRUE(DrvQueryDriverInfo(DRVQUERY_USERMODE, &value, sizeof value, &needed));
  EXPECT_EQ(value, 1u);
  EXPECT_EQ(needed, 4u);

  needed = 0;
  SetLastError(0);
  EXPECT_FALSE(DrvQueryDriverInfo(DRVQUERY_USERMODE, &value, 3, &needed));
  EXPECT_EQ(GetLastError(), DWORD(ERROR_INSUFFICIENT_BUFFER));
  EXPECT_EQ(needed, 4u);
  EXPECT_FALSE(DrvQueryDriverInfo(DRVQUERY_USERMODE, nullptr, 4, &needed));
  EXPECT_EQ(GetLastError(), DWORD(ERROR_INSUFFICIENT_BUFFER));

  EXPECT_FALSE(DrvQueryDriverInfo(2, &value, sizeof value, &needed));
  EXPECT_EQ(GetLastError(), DWORD(ERROR_INVALID_PARAMETER));
}

TEST(DriverExports, EnableDriverChecksVersionAndSize) {
  DRVENABLEDATA ded{};
  SetLastError(0);
  EXPECT_FALSE(DrvEnableDriver(0x1FFFF, sizeof ded, &ded));
  EXPECT_EQ(GetLastError(), DWORD(ERROR_BAD_DRIVER_LEVEL));
  EXPECT_FALSE(DrvEnableDriver(0x20000, 15, &ded));
  EXPECT_EQ(GetLastError(), DWORD(ERROR_INVALID_PARAMETER));
  EXPECT_EQ(ded.pdrvfn, nullptr);
}

TEST(DriverExports, EnableDriverHandsTwelveFunctionsInOrder) {
  DRVENABLEDATA ded{};
  ASSERT_TRUE(DrvEnableDriver(DDI_DRIVER_VERSION_NT5_01_SP1, sizeof ded, &ded));
  EXPECT_EQ(ded.iDriverVersion, 0x20000u);
  ASSERT_EQ(ded.c, 12u);
  const ULONG order[] = {8, 0, 7, 1, 2, 3, 4, 32, 33, 35, 34, 24};
  const void* functions[] = {
      reinterpret_cast<void*>(&DrvDisableDriver),  reinterpret_cast<void*>(&DrvEnablePDEV),
      reinterpret_cast<void*>(&DrvResetPDEV),      reinterpret_cast<void*>(&DrvCompletePDEV),
      reinterpret_cast<void*>(&DrvDisablePDEV),    reinterpret_cast<void*>(&DrvEnableSurface),
      reinterpret_cast<void*>(&DrvDisableSurface), reinterpret_cast<void*>(&DrvSendPage),
      reinterpret_cast<void*>(&DrvStartPage),      reinterpret_cast<void*>(&DrvStartDoc),
      reinterpret_cast<void*>(&DrvEndDoc),         reinterpret_cast<void*>(&DrvEscape)};
  for (ULONG i = 0; i < 12; ++i) {
    EXPECT_EQ(ded.pdrvfn[i].iFunc, order[i]) << "entry " << i;
    EXPECT_EQ(reinterpret_cast<void*>(ded.pdrvfn[i].pfn), functions[i]) << "entry " << i;
  }
}

class EnablePdevTest : public DriverTest {
 protected:
  // Hardware margins of the data file: left 2 mm, top 1 mm, right 3 mm, bottom 4 mm.
  void InstallWithMargins() {
    lbltest::DataFile data;
    data.i32(52, 2000).i32(56, 1000).i32(60, 3000).i32(64, 4000);
    Install(data);
  }
  // A 60 x 40 mm custom size in the given orientation.
  PrinterDevmode CustomPage(SHORT orientation, SHORT scale = 100) {
    PrinterDevmode dm = Defaults();
    dm.dm.dmFields |= DM_ORIENTATION | DM_PAPERSIZE | DM_PAPERWIDTH | DM_PAPERLENGTH | DM_SCALE;
    dm.dm.dmOrientation = orientation;
    dm.dm.dmPaperSize = DMPAPER_USER;
    dm.dm.dmPaperWidth = 600;
    dm.dm.dmPaperLength = 400;
    dm.dm.dmScale = scale;
    return dm;
  }
};

TEST_F(EnablePdevTest, CataloguePaperGivesPortraitRecords) {
  Device dev(printer);
  ASSERT_TRUE(dev.Enable());
  const GDIINFO& gi = dev.gi;
  // 50 x 30 mm at 203 dpi, no margins.
  EXPECT_EQ(gi.ulVersion, 0x500u);
  EXPECT_EQ(gi.ulTechnology, ULONG(DT_RASPRINTER));
  EXPECT_EQ(gi.ulHorzSize, 50u);
  EXPECT_EQ(gi.ulVertSize, 30u);
  EXPECT_EQ(gi.ulHorzRes, 400u);
  EXPECT_EQ(gi.ulVertRes, 240u);
  EXPECT_EQ(gi.cBitsPixel, 24u);
  EXPECT_EQ(gi.cPlanes, 1u);
  EXPECT_EQ(gi.ulLogPixelsX, 203u);
  EXPECT_EQ(gi.ulLogPixelsY, 203u);
  EXPECT_EQ(gi.ulAspectX, 203u);
  EXPECT_EQ(gi.ulAspectY, 203u);
  EXPECT_EQ(gi.ulAspectXY, 288u);
  EXPECT_EQ(gi.xStyleStep, 1);
  EXPECT_EQ(gi.denStyleStep, 8);
  EXPECT_EQ(gi.ptlPhysOffset.x, 0);
  EXPECT_EQ(gi.ptlPhysOffset.y, 0);
  EXPECT_EQ(gi.szlPhysSize.cx, 400);
  EXPECT_EQ(gi.szlPhysSize.cy, 240);
  EXPECT_EQ(gi.ulPrimaryOrder, ULONG(PRIMARY_ORDER_CBA));
  EXPECT_EQ(gi.ulHTOutputFormat, ULONG(HT_FORMAT_1BPP));
  EXPECT_EQ(gi.flHTFlags, ULONG(HT_FLAG_HAS_BLACK_DYE));
  EXPECT_EQ(gi.ulVRefresh, 0u);
  EXPECT_EQ(gi.flRaster, 0u);

  EXPECT_EQ(dev.di.flGraphicsCaps, 0x2D4u);
  EXPECT_EQ(dev.di.iDitherFormat, ULONG(BMF_24BPP));
  winsim::PaletteInfo pal;
  ASSERT_TRUE(winsim::GetPaletteInfo(dev.di.hpalDefault, &pal));
  EXPECT_EQ(pal.mode, ULONG(PAL_BGR));

  // The page bitmap has the printable size and is drawn on by GDI alone.
  winsim::SurfaceInfo surface;
  ASSERT_TRUE(winsim::GetSurfaceInfo(dev.surface, &surface));
  EXPECT_EQ(surface.size.cx, 400);
  EXPECT_EQ(surface.size.cy, 240);
  EXPECT_EQ(surface.format, ULONG(BMF_24BPP));
  EXPECT_TRUE(surface.associated);
  EXPECT_EQ(surface.hooks, 0u);
  EXPECT_EQ(dev.so->dhpdev, dev.pdev);
  EXPECT_GT(dev.so->lDelta, 0);  // top-down
}

// The hardware margins cut the 60 x 40 mm page in either orientation; the page bitmap has the printable size.
TEST_F(EnablePdevTest, HardwareMarginsCutThePageInEitherOrientation) {
  struct Case {
    SHORT orientation, scale;
    LONG offsetX, offsetY;
    ULONG horzRes, vertRes;
    LONG physCx, physCy;
    ULONG horzSize, vertSize, logPixelsX;
  } cases[] = {
      // Printable 2..57 mm by 1..36 mm. Scale 50%: sizes in millimetres and logical pixels follow it.
      {DMORIENT_PORTRAIT, 50, 16, 8, 440, 280, 480, 320, 110, 70, 101},
      // Offset (H - bottom', left') = (4 mm, 2 mm); size 35 x 55 mm; the page is 40 x 60 mm.
      {DMORIENT_LANDSCAPE, 100, 32, 16, 280, 440, 320, 480, 35, 55, 203},
  };
  InstallWithMargins();
  for (const Case& c : cases) {
    SCOPED_TRACE(c.orientation == DMORIENT_PORTRAIT ? "portrait" : "landscape");
    PrinterDevmode dm = CustomPage(c.orientation, c.scale);
    Device dev(printer);
    ASSERT_TRUE(dev.Enable(&dm));
    EXPECT_EQ(dev.gi.ptlPhysOffset.x, c.offsetX);
    EXPECT_EQ(dev.gi.ptlPhysOffset.y, c.offsetY);
    EXPECT_EQ(dev.gi.ulHorzRes, c.horzRes);
    EXPECT_EQ(dev.gi.ulVertRes, c.vertRes);
    EXPECT_EQ(dev.gi.szlPhysSize.cx, c.physCx);
    EXPECT_EQ(dev.gi.szlPhysSize.cy, c.physCy);
    EXPECT_EQ(dev.gi.ulHorzSize, c.horzSize);
    EXPECT_EQ(dev.gi.ulVertSize, c.vertSize);
    EXPECT_EQ(dev.gi.ulLogPixelsX, c.logPixelsX);
    winsim::SurfaceInfo surface;
    ASSERT_TRUE(winsim::GetSurfaceInfo(dev.surface, &surface));
    EXPECT_EQ(surface.size.cx, LONG(c.horzRes));
    EXPECT_EQ(surface.size.cy, LONG(c.vertRes));
  }
}

TEST_F(EnablePdevTest, InputDpiMultipliesTheResolution) {
  Install(lbltest::DataFile(), TestCatalogue(R"("InputDPI":1)"));
  Device dev(printer);
  ASSERT_TRUE(dev.Enable());
  EXPECT_EQ(dev.P()->Resolution, 406u);
  EXPECT_EQ(dev.gi.ulAspectX, 406u);
  EXPECT_EQ(dev.gi.ulAspectXY, 575u);  // 406 x 1.41421 = 574.17
  EXPECT_EQ(dev.gi.ulHorzRes, 799u);   // (406 x 500 + 127) / 254
}

TEST_F(EnablePdevTest, VectorModelGetsAnIndexedPaletteAndPlotterCaps) {
  lbltest::DataFile data;
  data.u32(68, 0x80);  // no raster flag: the record gets the colour bit
  Install(data);
  Device dev(printer);
  ASSERT_TRUE(dev.Enable());
  EXPECT_EQ(dev.gi.ulTechnology, ULONG(DT_PLOTTER));
  EXPECT_EQ(dev.di.flGraphicsCaps, 0x2C4u);
  EXPECT_EQ(dev.di.iDitherFormat, ULONG(BMF_4BPP));
  winsim::PaletteInfo pal;
  ASSERT_TRUE(winsim::GetPaletteInfo(dev.di.hpalDefault, &pal));
  EXPECT_EQ(pal.mode, ULONG(PAL_INDEXED));
  EXPECT_EQ(pal.colors, std::vector<ULONG>{0x00FFFFFF});
}

TEST_F(EnablePdevTest, ModelListingTsplAndZplChoosesZpl) {
  Install(lbltest::DataFile(), TestCatalogue("", kLangBitTspl | kLangBitZpl));
  Device dev(printer);
  ASSERT_TRUE(dev.Enable());
  EXPECT_EQ(dev.P()->Settings.PrintLanguage, uint32_t(kLangZpl));
}

TEST_F(EnablePdevTest, ApplicationSettingsOverridePrinterDefaults) {
  PrinterDevmode stored = Defaults();
  stored.PrintLanguage = kLangEsc;
  stored.DitherLevel = 3;
  std::vector<uint8_t> bytes(sizeof stored);
  std::memcpy(bytes.data(), &stored, sizeof stored);
  ASSERT_TRUE(winsim::SetPrinterDevmode(u"Label One", bytes));

  Device fromPrinter(printer);
  ASSERT_TRUE(fromPrinter.Enable());
  EXPECT_EQ(fromPrinter.P()->Settings.PrintLanguage, uint32_t(kLangEsc));
  EXPECT_EQ(fromPrinter.P()->Settings.DitherLevel, 3u);

  PrinterDevmode app = Defaults();
  app.DitherLevel = 5;
  Device fromApp(printer);
  ASSERT_TRUE(fromApp.Enable(&app));
  EXPECT_EQ(fromApp.P()->Settings.DitherLevel, 5u);
  EXPECT_EQ(fromApp.P()->Settings.PrintLanguage, uint32_t(kLangTspl));
}

TEST_F(EnablePdevTest, TruncatedStoredDevmodeIsReadOnlyAsFarAsItGoes) {
  // The stored record claims a full private block but carries only the public part.
  PrinterDevmode stored = Defaults();
  stored.dm.dmOrientation = DMORIENT_LANDSCAPE;
  std::vector<uint8_t> bytes(sizeof(DEVMODEW));
  std::memcpy(bytes.data(), &stored, bytes.size());
  ASSERT_TRUE(winsim::SetPrinterDevmode(u"Label One", bytes));
  Device dev(printer);
  ASSERT_TRUE(dev.Enable());
  EXPECT_EQ(dev.P()->Settings.dm.dmOrientation, DMORIENT_LANDSCAPE);
  EXPECT_EQ(dev.P()->Settings.Signature, kDevmodeSignature);
}

TEST_F(EnablePdevTest, FailsWithoutDataFile) {
  winsim::Reset();
  HANDLE noData = lbltest::InstallPrinter(u"Tarnwell TW-QX", {});
  ASSERT_NE(noData, nullptr);
  Device dev(noData);
  EXPECT_FALSE(dev.Enable());
  EXPECT_EQ(dev.pdev, nullptr);
  EXPECT_EQ(winsim::LivePalettes(), 0u);
  ClosePrinter(noData);
}

TEST_F(EnablePdevTest, CopiesTheRecordsOnlyAsFarAsTheCallerAllows) {
  HDEV hdev = winsim::CreateEngineDevice();
  std::vector<uint8_t> caps(sizeof(GDIINFO) + 8, 0xAB), info(sizeof(DEVINFO) + 8, 0xAB);
  HSURF patterns[HS_DDI_MAX];
  for (auto& p : patterns) p = reinterpret_cast<HSURF>(uintptr_t{1});
  WString name = W(u"Label One");
  DHPDEV pdev = DrvEnablePDEV(nullptr, nullptr, HS_DDI_MAX, patterns, 8, reinterpret_cast<ULONG*>(caps.data()), 4,
                              reinterpret_cast<DEVINFO*>(info.data()), hdev, name.data(), printer);
  ASSERT_NE(pdev, nullptr);
  ULONG version;
  std::memcpy(&version, caps.data(), 4);
  EXPECT_EQ(version, 0x500u);
  EXPECT_EQ(caps[8], 0xAB);
  EXPECT_EQ(info[4], 0xAB);
  for (auto p : patterns) EXPECT_EQ(p, nullptr);
  DrvDisablePDEV(pdev);
  EXPECT_EQ(winsim::LivePalettes(), 0u);
  winsim::DeleteEngineDevice(hdev);
}

TEST_F(EnablePdevTest, LongDeviceNameIsCutTo31Characters) {
  HDEV hdev = winsim::CreateEngineDevice();
  GDIINFO gi;
  DEVINFO di;
  WString name = W(u"A printer name of forty characters long!");
  ASSERT_EQ(name.size(), 40u);
  DHPDEV dhpdev = DrvEnablePDEV(nullptr, nullptr, 0, nullptr, sizeof gi, reinterpret_cast<ULONG*>(&gi), sizeof di,
                                &di, hdev, name.data(), printer);
  ASSERT_NE(dhpdev, nullptr);
  const DEVMODEW& dm = reinterpret_cast<Pdev*>(dhpdev)->Settings.dm;
  EXPECT_EQ(WString(dm.dmDeviceName), name.substr(0, 31));  // and its terminator inside the field
  DrvDisablePDEV(dhpdev);
  winsim::DeleteEngineDevice(hdev);
}

TEST_F(EnablePdevTest, ResetPdevNeedsTheSameDevice) {
  Device a(printer), b(printer);
  ASSERT_TRUE(a.Enable());
  ASSERT_TRUE(b.Enable());
  EXPECT_TRUE(DrvResetPDEV(a.pdev, b.pdev));
  b.P()->Settings.dm.dmDeviceName[0] = u'X';
  SetLastError(0);
  EXPECT_FALSE(DrvResetPDEV(a.pdev, b.pdev));
  EXPECT_EQ(GetLastError(), DWORD(ERROR_INVALID_PARAMETER));
}

// Every entry point refuses a PDEV whose size word or either magic is wrong.
TEST_F(EnablePdevTest, InvalidPdevIsRefusedEverywhere) {
  Device dev(printer);
  ASSERT_TRUE(dev.Enable());
  Pdev* p = dev.P();
  struct Corruption {
    const char* what;
    uint32_t* field;
    uint32_t bad;
  };
  const Corruption corruptions[] = {
      {"head magic", &p->HeadMagic, 0x746F6C51},
      {"size", &p->Size, uint32_t(sizeof(Pdev) - 8)},
      {"tail magic", &p->TailMagic, 0x56454451},
  };
  WString doc = W(u"Label");
  for (const auto& c : corruptions) {
    SCOPED_TRACE(c.what);
    const uint32_t good = *c.field;
    *c.field = c.bad;
    const HDEV hdevBefore = p->EngineDevice;
    auto refused = [](BOOL result) {
      EXPECT_FALSE(result);
      EXPECT_EQ(GetLastError(), DWORD(ERROR_INVALID_HANDLE));
      SetLastError(0);
    };
    refused(DrvStartDoc(dev.so, doc.data(), 1));
    refused(DrvStartPage(dev.so));
    refused(DrvSendPage(dev.so));
    refused(DrvEndDoc(dev.so, 0));
    DWORD query = QUERYESCSUPPORT;
    refused(BOOL(DrvEscape(dev.so, QUERYESCSUPPORT, sizeof query, &query, 0, nullptr)));
    refused(DrvEnableSurface(dev.pdev) != nullptr);
    refused(DrvResetPDEV(dev.pdev, dev.pdev));
    DrvCompletePDEV(dev.pdev, nullptr);
    refused(FALSE);
    EXPECT_EQ(p->EngineDevice, hdevBefore);
    DrvDisableSurface(dev.pdev);
    refused(FALSE);
    EXPECT_TRUE(winsim::GetSurfaceInfo(dev.surface, nullptr));
    DrvDisablePDEV(dev.pdev);
    refused(FALSE);
    EXPECT_EQ(winsim::LivePalettes(), 1u);
    *c.field = good;
  }
  EXPECT_TRUE(DrvStartPage(dev.so));
}

}  // namespace
