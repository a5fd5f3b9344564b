// Upgrade mode and driver versions: the package's driver replaces an older one, and the spooler's upgrade
// call to the user-interface library leaves each printer's settings as the user made them.
#include <cstring>
#include <fstream>
#include <iterator>

#include "common/paper.h"
#include "installer/strings.h"
#include "tests/installer/engine_fixture.h"
#include "winsim/printpath.h"

namespace {

using EngineUpgrade = EngineFixture;

UpgradeRow Row(const WCHAR* printer, const WCHAR* model, bool ticked) {
  UpgradeRow r{};
  WStrCopy(r.printerName, 260, printer);
  WStrCopy(r.model, 260, model);
  r.ticked = ticked;
  return r;
}

// The installed driver as an older release left it.
void MakeDriverOlder(const std::u16string& name, uint64_t version) {
  for (auto d : winsim::Drivers()) {
    if (d.name != name) continue;
    d.driverVersion = version;
    winsim::AddDriver(d);
  }
}

TEST_F(EngineUpgrade, VersionsCompareAsFourSixteenBitParts) {
  EXPECT_EQ(ParseVersion(kPackageVersion), 0x07E8000200040001ull);
  EXPECT_GT(ParseVersion(TEXT("2024.02.04.1")), ParseVersion(TEXT("2024.02.03.9")));
  EXPECT_LT(ParseVersion(TEXT("1.65535.0.0")), ParseVersion(TEXT("2.0.0.0")));
  EXPECT_EQ(ParseVersion(TEXT("2024.2")), 0u);
  WCHAR text[32];
  FormatVersion(0x07E8000200040001ull, text);
  EXPECT_TRUE(WStrEq(text, TEXT("2024.2.4.1")));
}

TEST_F(EngineUpgrade, NoTickedRowDoesNothingAndShowsNoStatus) {
  std::vector<UpgradeRow> rows{Row(TEXT("A"), TEXT("Tarnwell TW-JA"), false)};
  std::vector<UINT> status;
  EXPECT_FALSE(UpgradeDrivers(engine, rows, [&](UINT id) { status.push_back(id); }));
  EXPECT_TRUE(status.empty());
  EXPECT_TRUE(winsim::DriverPackages().empty());
}

TEST_F(EngineUpgrade, TickedRowsGetThePackagesDriverAndItsVersion) {
  InstallRecord r = Record(TEXT("Tarnwell TW-JA"), TEXT("JA"), TEXT("FILE:"));
  ASSERT_TRUE(Install(r));
  EXPECT_EQ(GetDriverVersion(TEXT("JA")), ParseVersion(kPackageVersion)) << "installed at the package's version";
  EXPECT_EQ(GetDriverVersion(TEXT("Nobody")), 0u);
  MakeDriverOlder(u"Tarnwell TW-JA", ParseVersion(TEXT("2023.11.20.3")));
  EXPECT_EQ(GetDriverVersion(TEXT("JA")), ParseVersion(TEXT("2023.11.20.3")));
  std::vector<UpgradeRow> rows{Row(TEXT("Skip"), TEXT("Tarnwell TW-JB"), false), Row(TEXT("JA"), TEXT("Tarnwell TW-JA"), true)};
  std::vector<UINT> status;
  EXPECT_TRUE(UpgradeDrivers(engine, rows, [&](UINT id) { status.push_back(id); }));
  EXPECT_EQ(status, (std::vector<UINT>{IDS_UPGRADING, IDS_UPGRADE_OK}));
  EXPECT_FALSE(rows[1].ticked);
  EXPECT_TRUE(WStrEq(rows[1].version, TEXT("2024.2.4.1")));
  EXPECT_EQ(GetDriverVersion(TEXT("JA")), ParseVersion(kPackageVersion));
  EXPECT_EQ(rows[0].version[0], 0);
}

TEST_F(EngineUpgrade, AFailedUploadStopsTheRunAndLeavesTheRows) {
  ASSERT_TRUE(DeleteFileW(TEXT("C:\\pkg\\lblv6.inf")));
  std::vector<UpgradeRow> rows{Row(TEXT("A"), TEXT("Tarnwell TW-JA"), true), Row(TEXT("B"), TEXT("Tarnwell TW-JB"), true)};
  std::vector<UINT> status;
  EXPECT_FALSE(UpgradeDrivers(engine, rows, [&](UINT id) { status.push_back(id); }));
  EXPECT_EQ(status, (std::vector<UINT>{IDS_UPGRADING, IDS_UPGRADE_FAILED}));
  EXPECT_TRUE(rows[0].ticked);
  EXPECT_TRUE(rows[1].ticked);
}

// The printer's stored settings, as bytes.
struct Settings {
  std::vector<uint8_t> devmode, forms, flags;
  bool operator==(const Settings&) const = default;
};

Settings Stored(const std::u16string& printer) {
  Settings s;
  for (const auto& p : winsim::Printers())
    if (p.name == printer) s.devmode = p.devmode;
  winsim::GetPrinterDataValue(printer, u"FORMS", nullptr, &s.forms);
  winsim::GetPrinterDataValue(printer, u"PPDataFlags", nullptr, &s.flags);
  return s;
}

TEST_F(EngineUpgrade, AnUpgradeKeepsTheUsersDefaultsStocksAndToolFlags) {
  std::ifstream in(LBL_TEST_DAT, std::ios::binary);
  const std::string dat((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  ASSERT_FALSE(dat.empty()) << LBL_TEST_DAT;
  Put(u"C:\\pkg\\dat\\lbldrv6.dat", dat);
  InstallRecord r = Record(TEXT("Tarnwell TW-JA"), TEXT("Shipping"), TEXT("FILE:"));
  ASSERT_TRUE(Install(r));

  // The printer as the spooler initialises it, then as the user changed it.
  HMODULE ui = winsim::LoadDriverModule(u"lbldrv6ui");
  ASSERT_NE(ui, nullptr);
  auto event = reinterpret_cast<decltype(&DrvPrinterEvent)>(winsim::GetModuleProc(ui, "DrvPrinterEvent"));
  auto convert = reinterpret_cast<decltype(&DrvConvertDevMode)>(winsim::GetModuleProc(ui, "DrvConvertDevMode"));
  ASSERT_TRUE(event && convert);
  WString name = TEXT("Shipping");
  ASSERT_TRUE(event(name.data(), PRINTER_EVENT_INITIALIZE, 0, 0));
  LONG size = 0;
  convert(name.data(), nullptr, nullptr, &size, CDM_DRIVER_DEFAULT);
  ASSERT_GT(size, LONG(sizeof(DEVMODEW)));
  std::vector<uint8_t> devmode(size_t(size), 0);
  ASSERT_TRUE(convert(name.data(), nullptr, reinterpret_cast<DEVMODEW*>(devmode.data()), &size, CDM_DRIVER_DEFAULT));
  auto* dm = reinterpret_cast<DEVMODEW*>(devmode.data());
  dm->dmCopies = 3;
  dm->dmOrientation = DMORIENT_LANDSCAPE;
  ASSERT_TRUE(winsim::SetPrinterDevmode(u"Shipping", devmode));
  std::vector<uint8_t> forms;
  ASSERT_TRUE(winsim::GetPrinterDataValue(u"Shipping", u"FORMS", nullptr, &forms));
  ASSERT_GE(forms.size(), sizeof(PaperRecord));
  PaperRecord shelf;
  std::memcpy(&shelf, forms.data(), sizeof shelf);  // a stock of the model's size under the user's name
  WStrCopy(shelf.Name, kPaperNameChars, TEXT("Shelf label"));
  const auto* bytes = reinterpret_cast<const uint8_t*>(&shelf);
  forms.insert(forms.end(), bytes, bytes + sizeof shelf);
  ASSERT_TRUE(winsim::SetPrinterDataValue(u"Shipping", u"FORMS", REG_BINARY, forms));
  const std::vector<uint8_t> capture{8, 0, 0, 0};  // capture the printer code
  ASSERT_TRUE(winsim::SetPrinterDataValue(u"Shipping", u"PPDataFlags", REG_BINARY, capture));
  winsim::UnloadDriverModule(ui);
  const Settings before = Stored(u"Shipping");

  MakeDriverOlder(u"Tarnwell TW-JA", ParseVersion(TEXT("2023.11.20.3")));
  std::vector<UpgradeRow> rows{Row(TEXT("Shipping"), TEXT("Tarnwell TW-JA"), true)};
  ASSERT_TRUE(UpgradeDrivers(engine, rows, nullptr));
  EXPECT_EQ(GetDriverVersion(TEXT("Shipping")), ParseVersion(kPackageVersion));
  // The spooler told the user-interface library of the new driver, as Windows does.
  const auto upgrades = winsim::DriverUpgrades();
  ASSERT_EQ(upgrades.size(), 1u);
  EXPECT_EQ(upgrades[0].printer, u"Shipping");
  EXPECT_EQ(upgrades[0].module, u"lbldrv6ui");
  EXPECT_TRUE(upgrades[0].called);
  EXPECT_TRUE(upgrades[0].result);
  const Settings after = Stored(u"Shipping");
  EXPECT_EQ(after.devmode, before.devmode);
  EXPECT_EQ(after.flags, before.flags);
  EXPECT_EQ(after.forms, before.forms);
}

}  // namespace
