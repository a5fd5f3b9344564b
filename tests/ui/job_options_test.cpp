// The job options of lbl check-job (and later lbl print) and the check they feed, through lbldrv6ui.so
// on the embedded default printer.
#include <gtest/gtest.h>

#include "tests/tools/refused_options.h"
#include "tools/embedded.h"
#include "tools/job_options.h"
#include "ui_fixture.h"
#include "winsim/printpath.h"

namespace uitest {
namespace {

TEST(JobOptions, TakesItsOptionsAndLeavesTheRest) {
  std::vector<std::string> args = {"--paper", "2 x 1", "extra", "--copies=3", "--orientation", "landscape"};
  lbl::JobOptions o;
  std::string error;
  ASSERT_TRUE(lbl::ParseJobOptions(&args, &o, &error)) << error;
  EXPECT_EQ(args, std::vector<std::string>{"extra"});
  EXPECT_EQ(o.paper, "2 x 1");
  EXPECT_EQ(o.copies, 3);
  EXPECT_EQ(o.orientation, DMORIENT_LANDSCAPE);

  args = {"--size", "101.6x152.4"};
  o = {};
  ASSERT_TRUE(lbl::ParseJobOptions(&args, &o, &error));
  EXPECT_EQ(o.widthTenths, 1016);
  EXPECT_EQ(o.lengthTenths, 1524);
}

TEST(JobOptions, RejectsBadOrConflictingValues) {
  const std::vector<std::vector<std::string>> bad = {
      {"--size", "100"}, {"--size", "0x10"}, {"--size", "4000x10"}, {"--copies", "0"}, {"--copies", "2x"},
      {"--orientation", "sideways"}, {"--paper"}, {"--paper", "a", "--size", "10x10"},
      {"--paper", "a name longer than thirty-one chars"}};
  lbltest::ExpectEachRefused(bad, lbl::ParseJobOptions);
}

class CheckJobCommand : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string error;
    ASSERT_TRUE(lbl::SetupPrinter(lbl::kDefaultDriver, lbl::kDefaultPort, &error)) << error;
    ui = winsim::LoadDriverModule(u"lbldrv6ui", &error);
    ASSERT_NE(ui, nullptr) << error;
    name = Utf8ToWide(lbl::kDefaultDriver);
    auto event = reinterpret_cast<decltype(DrvPrinterEvent)*>(winsim::GetModuleProc(ui, "DrvPrinterEvent"));
    ASSERT_TRUE(event(name.data(), PRINTER_EVENT_INITIALIZE, 0, 0));
    ASSERT_TRUE(OpenPrinterW(name.data(), &printer, nullptr));
  }
  void TearDown() override {
    if (printer) ClosePrinter(printer);
    if (ui) winsim::UnloadDriverModule(ui);
  }
  PrinterDevmode Build(std::vector<std::string> args) {
    lbl::JobOptions o;
    std::string error;
    EXPECT_TRUE(lbl::ParseJobOptions(&args, &o, &error)) << error;
    PrinterDevmode dm{};
    EXPECT_TRUE(lbl::BuildJobDevmode(printer, lbl::CatalogueModule(), o, &dm, &error)) << error;
    return dm;
  }
  BOOL Check(PrinterDevmode* dm) {
    auto check = reinterpret_cast<decltype(DevQueryPrintEx)*>(winsim::GetModuleProc(ui, "DevQueryPrintEx"));
    WCHAR buf[256] = {};
    DEVQUERYPRINT_INFO info{sizeof(DEVQUERYPRINT_INFO), 1, printer, &dm->dm, buf, 256, 0};
    BOOL ok = check(&info);
    text = U16(buf);
    return ok;
  }
  HMODULE ui = nullptr;
  HANDLE printer = nullptr;
  WString name;
  std::u16string text;
};

TEST_F(CheckJobCommand, PaperOptionSelectsTheStockByNumberAndName) {
  PrinterDevmode dm = Build({"--paper", "2 x 1", "--copies", "2"});
  EXPECT_EQ(dm.dm.dmPaperSize, 256 + 6);
  EXPECT_EQ(dm.dm.dmPaperWidth, 508);
  EXPECT_EQ(U16(dm.dm.dmFormName), u"2 x 1");
  EXPECT_EQ(dm.dm.dmFields & (DM_PAPERSIZE | DM_FORMNAME | DM_COPIES), DWORD(DM_PAPERSIZE | DM_FORMNAME | DM_COPIES));
  EXPECT_TRUE(Check(&dm));
  EXPECT_EQ(text, u"");

  PrinterDevmode custom = Build({"--size", "50x30"});
  EXPECT_EQ(custom.dm.dmPaperSize, DMPAPER_USER);
  EXPECT_EQ(custom.dm.dmFields & kPaperFieldsMask, DWORD(DM_PAPERSIZE | DM_PAPERLENGTH | DM_PAPERWIDTH));
  EXPECT_EQ(custom.dm.dmFormName[0], 0);
}

TEST_F(CheckJobCommand, UnknownStockIsRefusedWhenOnlyTheLoadedPaperMayPrint) {
  DWORD flags = 0;
  winsim::SetPrinterDataValue(name.c_str(), u"PPDataFlags", REG_DWORD, Bytes(&flags, 4));
  InstalledPaper roll = Installed(u"Roll 58", 58000, 0);
  winsim::SetPrinterDataValue(name.c_str(), u"InstalledForm", REG_BINARY, Bytes(&roll, sizeof roll));
  PrinterDevmode dm = Build({"--paper", "Not in the list"});
  EXPECT_EQ(dm.dm.dmFields & kPaperFieldsMask, DWORD(DM_FORMNAME));
  EXPECT_FALSE(Check(&dm));
  EXPECT_EQ(text, u"<USER> The selected paper has not been loaded.");
}

}  // namespace
}  // namespace uitest
