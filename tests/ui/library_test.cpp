// lbldrv6ui.so through winsim's loader, as the spooler and applications reach it: its exports, its own
// string table and catalogue, and a printer initialised by its printer event.
#include <gtest/gtest.h>

#include "common/fixture.h"
#include "ui/caps.h"
#include "ui_fixture.h"
#include "winsim/printpath.h"

namespace uitest {
namespace {

class Library : public ::testing::Test {
 protected:
  void SetUp() override {
    winsim::Reset();
    std::string error;
    module = winsim::LoadDriverModule(u"lbldrv6ui", &error);
    ASSERT_NE(module, nullptr) << error;
  }
  void TearDown() override {
    if (module) winsim::UnloadDriverModule(module);
  }
  template <class Fn>
  Fn* Proc(const char* name) {
    return reinterpret_cast<Fn*>(winsim::GetModuleProc(module, name));
  }
  HMODULE module = nullptr;
};

TEST_F(Library, ExportsTheUserInterfaceEntryPoints) {
  for (const char* name : {"DrvDeviceCapabilities", "DrvSplDeviceCaps", "DrvDocumentPropertySheets",
                           "DrvDevicePropertySheets", "DrvConvertDevMode", "DrvPrinterEvent", "DrvUpgradePrinter",
                           "DevQueryPrintEx"})
    EXPECT_NE(winsim::GetModuleProc(module, name), nullptr) << name;
  EXPECT_EQ(winsim::GetModuleProc(module, "MapPrinter"), nullptr) << "internals stay internal";
}

TEST_F(Library, CarriesItsStringTable) {
  WCHAR text[64];
  EXPECT_EQ(LoadStringW(module, 2200, text, 64), 11);
  EXPECT_EQ(U16(text), u"Custom size");
  EXPECT_EQ(LoadStringW(module, 1900, text, 64), 35);
  EXPECT_EQ(U16(text), u"Ambervin Printer Driver for Windows");
  EXPECT_EQ(LoadStringW(module, 1901, text, 64), 25);
  EXPECT_EQ(U16(text), u"Un-fixed Continuous paper");
  EXPECT_EQ(LoadStringW(module, 1999, text, 64), 0);
}

TEST_F(Library, InitialisedPrinterAnswersWithTheEmbeddedCatalogue) {
  HANDLE printer = lbltest::InstallPrinter(u"Tarnwell TW-QX", lbltest::DataFile().b, u"Dock printer");
  ASSERT_NE(printer, nullptr);
  auto event = Proc<decltype(DrvPrinterEvent)>("DrvPrinterEvent");
  auto caps = Proc<decltype(DrvDeviceCapabilities)>("DrvDeviceCapabilities");
  WString name = ToWString(u"Dock printer");
  EXPECT_EQ(caps(printer, name.data(), DC_PAPERNAMES, nullptr, nullptr), kCapsError) << "no papers before initialisation";
  ASSERT_TRUE(event(name.data(), PRINTER_EVENT_INITIALIZE, 0, 0));
  const DWORD count = caps(printer, name.data(), DC_PAPERNAMES, nullptr, nullptr);
  ASSERT_GT(count, 2u);
  std::vector<WCHAR> names(count * kPaperNameSlot);
  ASSERT_EQ(caps(printer, name.data(), DC_PAPERNAMES, names.data(), nullptr), count);
  EXPECT_EQ(U16(&names[0]), u"4 x 6") << "A4 and A5 are wider than the model prints";
  EXPECT_EQ(U16(&names[(count - 1) * kPaperNameSlot]), u"Custom size");
  EXPECT_EQ(caps(printer, name.data(), DC_PRINTRATE, nullptr, nullptr), 0u) << "the model sends no speed of its own";
  ClosePrinter(printer);
}

}  // namespace
}  // namespace uitest
