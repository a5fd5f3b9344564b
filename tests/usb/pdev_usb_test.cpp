// The print language of a PDEV follows the USB printer attached to the printer's port.
#include <algorithm>
#include <atomic>
#include <memory>

#include "render/driver_fixture.h"
#include "counting_printer.h"
#include "winsim/devices.h"

using namespace drvtest;

namespace {

class PdevUsb : public DriverTest {
 protected:
  static std::shared_ptr<winsim::UsbPrinterDevice> Attach(const std::string& id, uint16_t vendor = 0x5E71,
                                                          DWORD port = 1) {
    auto dev = std::make_shared<winsim::UsbPrinterDevice>();
    dev->deviceId = id;
    dev->vendorId = vendor;
    dev->portNumber = port;
    return winsim::AttachUsbPrinter(dev);
  }
  // Enables a PDEV with the defaults changed to `language` and `feed`; returns its settings.
  PrinterDevmode Enable(uint32_t language, int32_t feed, HANDLE on = nullptr) {
    PrinterDevmode app = Defaults();
    app.PrintLanguage = language;
    app.FeedOffset = feed;
    Device dev(on ? on : printer);
    winsim::ClearDebugLines();
    EXPECT_TRUE(dev.Enable(&app));
    return dev.P() ? dev.P()->Settings : PrinterDevmode{};
  }
  static bool Logged(const std::string& line) {
    auto lines = winsim::DebugLines();
    return std::find(lines.begin(), lines.end(), line) != lines.end();
  }
};

TEST_F(PdevUsb, CommandSetTwlWins) {
  const std::string id = "MFG:Tarnwell;CMD:TWL;MDL:TW-LA;";
  Attach(id);
  for (uint32_t language : {kLangEsc, kLangTspl, kLangZpl}) {
    PrinterDevmode dm = Enable(language, 5000);
    EXPECT_EQ(dm.PrintLanguage, kLangTwl) << language;
    EXPECT_EQ(dm.FeedOffset, 5000);
  }
  EXPECT_TRUE(Logged("GetUSBDeviceID:"));
  EXPECT_TRUE(Logged(id));
}

TEST_F(PdevUsb, CpeOnSwitchingModelSelectsEsc) {
  auto dev = Attach("MDL:AV-MB;CMD:CPE;");
  PrinterDevmode dm = Enable(kLangTspl, 0);
  EXPECT_EQ(dm.PrintLanguage, kLangEsc);
  EXPECT_EQ(dm.FeedOffset, 27000);
  dm = Enable(kLangTspl, 5000);
  EXPECT_EQ(dm.PrintLanguage, kLangEsc);
  EXPECT_EQ(dm.FeedOffset, 5000);

  // Another printer of the model, set to TSPL, in its place.
  winsim::DetachUsbPrinter(dev);
  auto other = std::make_shared<winsim::UsbPrinterDevice>();
  other->deviceId = "MDL:AV-MB;CMD:TSPL;";
  other->serial = "AVMB0002";
  ASSERT_TRUE(winsim::AttachUsbPrinter(other));
  dm = Enable(kLangEsc, 20000);
  EXPECT_EQ(dm.PrintLanguage, kLangTspl);
  EXPECT_EQ(dm.FeedOffset, 0);
}

TEST_F(PdevUsb, OtherModelsOnlyLeaveTwl) {
  Attach("MDL:TW-QX;CMD:TSPL,ZPL;");
  EXPECT_EQ(Enable(kLangTwl, 0).PrintLanguage, kLangTspl);
  EXPECT_EQ(Enable(kLangZpl, 0).PrintLanguage, kLangZpl);
  PrinterDevmode dm = Enable(kLangEsc, 20000);
  EXPECT_EQ(dm.PrintLanguage, kLangEsc);
  EXPECT_EQ(dm.FeedOffset, 20000);
}

TEST_F(PdevUsb, UnidentifiedDeviceLeavesTheMergedSettings) {
  auto dev = Attach("MFG:Tarnwell;MDL:TW-LA;");  // no command set
  PrinterDevmode dm = Enable(kLangTwl, 0);
  EXPECT_EQ(dm.PrintLanguage, kLangTwl);
  EXPECT_TRUE(Logged("GetUSBDeviceID failed."));
  EXPECT_FALSE(Logged("GetUSBDeviceID:"));

  winsim::DetachUsbPrinter(dev);
  Attach("MDL:TW-LA;CMD:TSPL;", 0x5E73);  // not a recognised vendor
  EXPECT_EQ(Enable(kLangTwl, 0).PrintLanguage, kLangTwl);
  EXPECT_TRUE(Logged("GetUSBDeviceID failed."));
}

using usbtest::CountingPrinter;

TEST_F(PdevUsb, EveryPdevOfThePrinterSharesOneLookupAndAFreshMachineForgetsIt) {
  auto dev = std::make_shared<CountingPrinter>();
  dev->deviceId = "MDL:TW-QX;CMD:TWL;";
  ASSERT_TRUE(winsim::AttachUsbPrinter(dev));
  for (int job = 0; job < 5; ++job) EXPECT_EQ(Enable(kLangTspl, 0).PrintLanguage, kLangTwl);
  EXPECT_EQ(dev->asked.load(), 1);
  // A machine started afresh, with a printer of the same serial number set to TSPL on USB001.
  Install();
  auto again = std::make_shared<CountingPrinter>();
  again->deviceId = "MDL:TW-QX;CMD:TSPL;";
  ASSERT_TRUE(winsim::AttachUsbPrinter(again));
  EXPECT_EQ(Enable(kLangTwl, 0).PrintLanguage, kLangTspl);
  EXPECT_EQ(again->asked.load(), 1);
}

TEST_F(PdevUsb, PortNameMatchesCaseSensitively) {
  Attach("MDL:TW-QX;CMD:TWL;");
  winsim::PrinterSpec spec;
  spec.name = u"Label Lower";
  spec.port = u"usb001";
  spec.driver = u"Tarnwell TW-QX";
  ASSERT_TRUE(winsim::AddPrinter(spec));
  HANDLE lower = nullptr;
  ASSERT_TRUE(OpenPrinterW(spec.name.data(), &lower, nullptr));
  EXPECT_EQ(Enable(kLangTspl, 0, lower).PrintLanguage, kLangTspl);
  EXPECT_TRUE(Logged("GetUSBDeviceID failed."));
  EXPECT_EQ(Enable(kLangTspl, 0).PrintLanguage, kLangTwl);  // "Label One" is on USB001
  ClosePrinter(lower);
}

}  // namespace
