// Upgrade mode and driver versions.
#include "tests/installer/engine_fixture.h"
#include "installer/strings.h"

namespace {

using EngineUpgrade = EngineFixture;

UpgradeRow Row(const WCHAR* printer, const WCHAR* model, bool ticked) {
  UpgradeRow r{};
  WStrCopy(r.printerName, 260, printer);
  WStrCopy(r.model, 260, model);
  r.ticked = ticked;
  return r;
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
  EXPECT_EQ(GetDriverVersion(TEXT("JA")), 0u);  // added without a version by AddPrinterDriverW
  EXPECT_EQ(GetDriverVersion(TEXT("Nobody")), 0u);
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

}  // namespace
