#include <gtest/gtest.h>

#include <atomic>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "common/usbport.h"
#include "counting_printer.h"
#include "winsim/devices.h"
#include "winsim/clock.h"
#include "winsim/machine.h"

namespace {

struct Fields {
  char model[kDeviceIdFieldChars];
  char cmd[kDeviceIdFieldChars];
};

bool Parse(const std::string& reply, Fields* f) {
  return ParseDeviceId(reply.data(), reply.size(), f->model, f->cmd);
}

TEST(ParseDeviceId, TakesModelAndCommandSetInAnyOrder) {
  Fields f;
  ASSERT_TRUE(Parse("MFG:Tarnwell;CMD:TWL;MDL:TW-LA;CLS:PRINTER;", &f));
  EXPECT_STREQ(f.model, "TW-LA");
  EXPECT_STREQ(f.cmd, "TWL");
  ASSERT_TRUE(Parse("MDL:TW-QX;CMD:TSPL,ZPL;", &f));
  EXPECT_STREQ(f.model, "TW-QX");
  EXPECT_STREQ(f.cmd, "TSPL,ZPL");
  ASSERT_TRUE(Parse("MDL:;CMD:;", &f));
  EXPECT_STREQ(f.model, "");
}

TEST(ParseDeviceId, FailsWithoutEitherKeyOrItsTerminator) {
  Fields f;
  EXPECT_FALSE(Parse("MFG:Tarnwell;MDL:TW-LA;", &f));
  EXPECT_STREQ(f.model, "");  // nothing half-filled
  EXPECT_FALSE(Parse("MFG:Tarnwell;CMD:TWL;", &f));
  EXPECT_FALSE(Parse("MDL:TW-LA;CMD:TWL", &f));
  EXPECT_FALSE(Parse("CMD:TWL;MDL:TW-LA", &f));
  EXPECT_FALSE(Parse("", &f));
  // The length bounds the search: the last ';' lies past it.
  const std::string reply = "MDL:TW-LA;CMD:TWL;";
  EXPECT_FALSE(ParseDeviceId(reply.data(), reply.size() - 1, f.model, f.cmd));
  // So does a NUL: the text ends there.
  const char withNul[] = "MDL:TW-LA;\0CMD:TWL;";
  EXPECT_FALSE(ParseDeviceId(withNul, sizeof withNul - 1, f.model, f.cmd));
}

TEST(ParseDeviceId, CutsValuesOf32OrMoreCharactersTo31) {
  Fields f;
  const std::string v31(31, 'A'), v32 = std::string(31, 'B') + "Z", v40 = "TWL" + std::string(37, 'C');
  ASSERT_TRUE(Parse("MDL:" + v31 + ";CMD:" + v32 + ";", &f));
  EXPECT_EQ(std::string(f.model), v31);
  EXPECT_EQ(std::string(f.cmd), v32.substr(0, 31));
  ASSERT_TRUE(Parse("MDL:" + v40 + ";CMD:" + v40 + ";", &f));
  EXPECT_EQ(std::string(f.model), v40.substr(0, 31));
  EXPECT_EQ(std::string(f.cmd), v40.substr(0, 31));
}

TEST(ParseDeviceId, FullReplyWithoutTerminatorStaysInBounds) {
  // Exactly 1024 bytes on the heap, no terminator: the address sanitizer catches any read past them.
  std::string text = "MDL:TW-LA;";
  text += std::string(kDeviceIdReplyBytes - text.size() - 8, 'x');
  text += "CMD:TWL;";
  ASSERT_EQ(text.size(), kDeviceIdReplyBytes);
  auto buf = std::make_unique<char[]>(kDeviceIdReplyBytes);
  memcpy(buf.get(), text.data(), kDeviceIdReplyBytes);
  Fields f;
  ASSERT_TRUE(ParseDeviceId(buf.get(), kDeviceIdReplyBytes, f.model, f.cmd));
  EXPECT_STREQ(f.cmd, "TWL");
  buf[kDeviceIdReplyBytes - 1] = 'x';  // the final ';' gone: the value runs to the end of the buffer
  EXPECT_FALSE(ParseDeviceId(buf.get(), kDeviceIdReplyBytes, f.model, f.cmd));
}

TEST(UsbVendor, RecognisesFourTextsExactly) {
  for (const char16_t* p : {u"\\\\?\\usb#vid_5e71&pid_0001#S#{x}", u"\\\\?\\usb#vid_5e72&pid_0001#S#{x}",
                            u"\\\\?\\USB#VID_5E71&PID_0001#S#{x}", u"\\\\?\\USB#VID_5E72&PID_0001#S#{x}"})
    EXPECT_TRUE(IsRecognisedUsbVendor(p, std::u16string(p).size())) << std::string(p, p + 30);
  for (const char16_t* p : {u"\\\\?\\usb#vid_5e73&pid_0001#S#{x}", u"\\\\?\\usb#vid__5e71&pid_0001#S#{x}",
                            u"\\\\?\\usb#vid_5e7", u""})
    EXPECT_FALSE(IsRecognisedUsbVendor(p, std::u16string(p).size()));
  // A 15-character path without a terminator: nothing past it is read.
  const std::u16string shortPath = u"\\\\?\\usb#vid_5e7";
  auto buf = std::make_unique<WCHAR[]>(shortPath.size());
  memcpy(buf.get(), shortPath.data(), shortPath.size() * sizeof(WCHAR));
  EXPECT_FALSE(IsRecognisedUsbVendor(buf.get(), shortPath.size()));
}

struct Case {
  const char* model;
  const char* cmd;
  uint32_t language;
  int32_t feed;
  uint32_t wantLanguage;
  int32_t wantFeed;
};

TEST(ApplyDeviceId, CorrectsLanguageAndFeedOffset) {
  const std::string longModel = ("TW-LA" + std::string(30, '-')).substr(0, 31), longCmd = "TWL" + std::string(28, ' ');
  const Case cases[] = {
      // TWL wins over any language, also on the four switching models; the feed offset is left alone.
      {"TW-QX", "TWL", kLangTspl, 0, kLangTwl, 0},
      {"TW-QX", "TWL", kLangEsc, 20000, kLangTwl, 20000},
      {"TW-LA", "TWL", kLangEsc, 5000, kLangTwl, 5000},
      {"TW-LB", "TWL", kLangZpl, 0, kLangTwl, 0},
      {"AV-MA", "TWL", kLangTspl, 0, kLangTwl, 0},
      {"AV-MB", "TWL", kLangEsc, 0, kLangTwl, 0},
      // "CPE" on the four models: ESC, with 27 mm only when no feed offset is set.
      {"TW-LA", "CPE", kLangTspl, 0, kLangEsc, 27000},
      {"TW-LA", "CPE", kLangTwl, 5000, kLangEsc, 5000},
      {"TW-LB", "CPE", kLangZpl, 0, kLangEsc, 27000},
      {"AV-MA", "CPE", kLangEsc, 0, kLangEsc, 27000},
      {"AV-MB", "CPE", kLangEsc, -1, kLangEsc, -1},
      // Another command set on the four models turns ESC into TSPL without feed offset.
      {"TW-LA", "TSPL", kLangEsc, 20000, kLangTspl, 0},
      {"AV-MB", "ESC", kLangEsc, 27000, kLangTspl, 0},
      {"TW-LB", "TSPL", kLangTwl, 5000, kLangTspl, 5000},
      {"AV-MA", "TSPL", kLangZpl, 5000, kLangZpl, 5000},
      // Other models: TWL becomes TSPL, the rest stays, "CPE" means nothing.
      {"TW-QX", "TSPL,ZPL", kLangTwl, 0, kLangTspl, 0},
      {"TW-QX", "TSPL,ZPL", kLangZpl, 0, kLangZpl, 0},
      {"TW-QX", "TSPL,ZPL", kLangEsc, 20000, kLangEsc, 20000},
      {"TW-QX", "CPE", kLangEsc, 0, kLangEsc, 0},
      {"tw-la", "CPE", kLangEsc, 0, kLangEsc, 0},
      {"", "", kLangTwl, 0, kLangTspl, 0},
      // Cut 31-character values compare like the whole values: not the listed model, not TWL.
      {longModel.c_str(), "CPE", kLangTwl, 0, kLangTspl, 0},
      {"TW-LA", longCmd.c_str(), kLangTwl, 0, kLangTspl, 0},
  };
  for (const Case& c : cases) {
    PrinterDevmode dm{};
    dm.PrintLanguage = c.language;
    dm.FeedOffset = c.feed;
    ApplyDeviceId(c.model, c.cmd, &dm);
    EXPECT_EQ(dm.PrintLanguage, c.wantLanguage) << c.model << " / " << c.cmd << " from " << c.language;
    EXPECT_EQ(dm.FeedOffset, c.wantFeed) << c.model << " / " << c.cmd << " from " << c.language;
  }
}

TEST(DeviceParametersKey, DropsThePrefixOfThePath) {
  EXPECT_EQ(DeviceParametersKeyPath(u"\\\\?\\usb#vid_5e71&pid_0001#S1#{28d78fad-5a12-11d1-ae5b-0000f803a8c2}"),
            u"SYSTEM\\CurrentControlSet\\Control\\DeviceClasses\\{28d78fad-5a12-11d1-ae5b-0000f803a8c2}\\"
            u"##?#usb#vid_5e71&pid_0001#S1#{28d78fad-5a12-11d1-ae5b-0000f803a8c2}\\#\\Device Parameters");
}

// ---- through the simulated machine ----------------------------------------------------

class UsbPort : public ::testing::Test {
 protected:
  void SetUp() override {
    winsim::Reset();
    winsim::AddDriver({.name = u"Tarnwell Label V6", .driverPath = u"C:\\drv\\lbldrv6.dll"});
  }

  HANDLE Printer(const std::u16string& port) {
    winsim::PrinterSpec p{.name = u"Label " + port, .port = port, .driver = u"Tarnwell Label V6"};
    EXPECT_TRUE(winsim::AddPrinter(p));
    HANDLE h = nullptr;
    EXPECT_TRUE(OpenPrinterW(p.name.data(), &h, nullptr));
    handles.push_back(h);
    return h;
  }
  void TearDown() override {
    for (HANDLE h : handles) ClosePrinter(h);
  }

  static std::shared_ptr<winsim::UsbPrinterDevice> Attach(DWORD port, const std::string& id,
                                                          uint16_t vendor = 0x5E71, const std::string& serial = "S1") {
    auto dev = std::make_shared<winsim::UsbPrinterDevice>();
    dev->portNumber = port;
    dev->deviceId = id;
    dev->vendorId = vendor;
    dev->serial = serial;
    return winsim::AttachUsbPrinter(dev);
  }

  static std::u16string Find(const char16_t* port) {
    WCHAR path[kDevicePathChars];
    BOOL ok = FindUsbDevicePath(port, path);
    EXPECT_EQ(ok != FALSE, path[0] != 0);
    return path;
  }

  std::vector<HANDLE> handles;
};

TEST_F(UsbPort, MatchesPortNumberCaseSensitively) {
  auto dev = Attach(1, "MDL:TW-QX;CMD:TWL;");
  EXPECT_EQ(Find(u"USB001"), dev->InterfacePath());
  EXPECT_EQ(Find(u"usb001"), u"");
  EXPECT_EQ(Find(u"USB01"), u"");
  EXPECT_EQ(Find(u"USB002"), u"");
}

TEST_F(UsbPort, PicksTheDeviceOnThePortAmongSeveral) {
  auto one = Attach(1, "MDL:A;CMD:TSPL;", 0x5E71, "S1");
  auto two = Attach(2, "MDL:B;CMD:TWL;", 0x5E72, "S2");
  EXPECT_EQ(Find(u"USB001"), one->InterfacePath());
  EXPECT_EQ(Find(u"USB002"), two->InterfacePath());
  EXPECT_EQ(Find(u"USB003"), u"");
}

TEST_F(UsbPort, SkipsOtherVendorsAndUnusableInterfaces) {
  Attach(1, "MDL:A;CMD:TWL;", 0x5E73, "S1");
  EXPECT_EQ(Find(u"USB001"), u"");
  auto ours = Attach(1, "MDL:B;CMD:TWL;", 0x5E71, "S2");
  EXPECT_EQ(Find(u"USB001"), ours->InterfacePath());

  // Upper-case ids in the path are recognised too.
  winsim::DetachUsbPrinter(ours);
  auto upper = std::make_shared<winsim::UsbPrinterDevice>();
  upper->interfacePath = u"\\\\?\\USB#VID_5E72&PID_0003#S3#{28d78fad-5a12-11d1-ae5b-0000f803a8c2}";
  winsim::AttachUsbPrinter(upper);
  EXPECT_EQ(Find(u"USB001"), upper->interfacePath);
  winsim::DetachUsbPrinter(upper);

  // A path too short to hold a vendor id.
  auto stub = std::make_shared<winsim::UsbPrinterDevice>();
  stub->interfacePath = u"\\\\?\\usb#vid_5e";
  winsim::AttachUsbPrinter(stub);
  EXPECT_EQ(Find(u"USB001"), u"");
}

// A path cut to the buffer would name another device: a longer one is passed over.
TEST_F(UsbPort, SkipsDevicePathsLongerThanTheBuffer) {
  auto longOne = std::make_shared<winsim::UsbPrinterDevice>();
  longOne->portNumber = 1;
  longOne->serial = "S";
  const size_t base = longOne->InterfacePath().size();
  longOne->serial = std::string(kDevicePathChars - base + 1, 'L');  // the path is 260 characters
  winsim::AttachUsbPrinter(longOne);
  ASSERT_EQ(longOne->InterfacePath().size(), kDevicePathChars);
  EXPECT_EQ(Find(u"USB001"), u"");
  auto fits = Attach(1, "MDL:B;CMD:TWL;", 0x5E71, "S2");
  EXPECT_EQ(Find(u"USB001"), fits->InterfacePath());
}

TEST_F(UsbPort, NeedsAPresentDeviceWithADwordPortNumber) {
  auto dev = Attach(1, "MDL:A;CMD:TWL;");
  dev->present = false;
  EXPECT_EQ(Find(u"USB001"), u"");
  dev->present = true;
  ASSERT_EQ(Find(u"USB001"), dev->InterfacePath());

  HKEY key;
  ASSERT_EQ(RegOpenKeyExW(HKEY_LOCAL_MACHINE, DeviceParametersKeyPath(dev->InterfacePath()).c_str(), 0, KEY_ALL_ACCESS,
                          &key),
            ERROR_SUCCESS);
  const std::u16string text = u"1";
  RegSetValueExW(key, u"Port Number", 0, REG_SZ, reinterpret_cast<const BYTE*>(text.c_str()), 4);
  EXPECT_EQ(Find(u"USB001"), u"");
  RegDeleteValueW(key, u"Port Number");
  EXPECT_EQ(Find(u"USB001"), u"");
  RegCloseKey(key);

  winsim::DetachUsbPrinter(dev);
  EXPECT_EQ(Find(u"USB001"), u"");
}

TEST_F(UsbPort, PortDevicePathFollowsThePrintersPort) {
  auto dev = Attach(1, "MDL:A;CMD:TWL;");
  WCHAR path[kDevicePathChars];
  EXPECT_FALSE(GetPortDevicePath(nullptr, path));
  EXPECT_EQ(GetLastError(), DWORD(ERROR_INVALID_HANDLE));
  ASSERT_TRUE(GetPortDevicePath(Printer(u"USB001"), path));
  EXPECT_EQ(std::u16string(path), dev->InterfacePath());
  for (const char16_t* port : {u"COM1", u"IP_10.0.0.5", u"USB002"}) {
    ASSERT_TRUE(GetPortDevicePath(Printer(port), path));
    EXPECT_EQ(path[0], 0);
  }
}

// A printer whose device ID reply is longer than the reply buffer.
struct LongIdPrinter : winsim::UsbPrinterDevice {
  std::string reply;
  std::string OnQueryDeviceId() override { return reply; }
};

TEST_F(UsbPort, ReadDeviceIdStaysWithinTheReplyBuffer) {
  auto dev = std::make_shared<LongIdPrinter>();
  dev->reply = "MDL:TW-LB;CMD:CPE;" + std::string(2000, 'x');
  winsim::AttachUsbPrinter(dev);
  Fields f;
  std::vector<char> text(kDeviceIdTextBytes, '?');
  ASSERT_TRUE(ReadDeviceId(dev->InterfacePath().c_str(), f.model, f.cmd, text.data()));
  EXPECT_STREQ(f.model, "TW-LB");
  EXPECT_STREQ(f.cmd, "CPE");
  EXPECT_EQ(strlen(text.data()), kDeviceIdReplyBytes);
  EXPECT_EQ(std::string(text.data()), dev->reply.substr(0, kDeviceIdReplyBytes));

  // The command set lies past the 1024 bytes the driver asks for.
  dev->reply = "MDL:TW-LB;" + std::string(kDeviceIdReplyBytes, 'x') + "CMD:CPE;";
  EXPECT_FALSE(ReadDeviceId(dev->InterfacePath().c_str(), f.model, f.cmd, text.data()));

  EXPECT_FALSE(ReadDeviceId(u"", f.model, f.cmd));
  winsim::DetachUsbPrinter(dev);
  EXPECT_FALSE(ReadDeviceId(dev->InterfacePath().c_str(), f.model, f.cmd));
}

TEST_F(UsbPort, AdjustFollowsTheAttachedDeviceAndLogs) {
  winsim::UseVirtualClock();
  HANDLE printer = Printer(u"USB001");
  const std::string id = "MFG:Tarnwell;CMD:CPE;MDL:TW-LA;CLS:PRINTER;";
  auto dev = Attach(1, id);
  PrinterDevmode dm{};
  dm.PrintLanguage = kLangTspl;
  winsim::ClearDebugLines();
  ASSERT_TRUE(AdjustForAttachedDevice(printer, &dm));
  EXPECT_EQ(dm.PrintLanguage, kLangEsc);
  EXPECT_EQ(dm.FeedOffset, 27000);
  EXPECT_EQ(winsim::DebugLines(), (std::vector<std::string>{"GetUSBDeviceID:", id}));

  // The printer switched to TWL at its panel: seen once the identifier is asked again.
  dev->deviceId = "MDL:TW-LA;CMD:TWL;";
  winsim::AdvanceClock(DWORD(kDeviceIdRefreshMs));
  ASSERT_TRUE(AdjustForAttachedDevice(printer, &dm));
  EXPECT_EQ(dm.PrintLanguage, kLangTwl);
  EXPECT_EQ(dm.FeedOffset, 27000);
}

using usbtest::CountingPrinter;

TEST_F(UsbPort, TheIdentifierIsAskedOncePerPrinterAndPortUntilSomethingChanges) {
  winsim::UseVirtualClock();
  auto dev = std::make_shared<CountingPrinter>();
  dev->deviceId = "MDL:TW-QX;CMD:TWL;";
  dev->serial = "S1";
  ASSERT_TRUE(winsim::AttachUsbPrinter(dev));
  HANDLE printer = Printer(u"USB001");
  PrinterDevmode dm{};
  for (int call = 0; call < 20; ++call) {
    dm.PrintLanguage = kLangTspl;
    ASSERT_TRUE(AdjustForAttachedDevice(printer, &dm));
    EXPECT_EQ(dm.PrintLanguage, kLangTwl);
  }
  EXPECT_EQ(dev->asked.load(), 1);
  // The device is replaced by another on the same port: the one found is gone, the new one is asked.
  winsim::DetachUsbPrinter(dev);
  auto replacement = std::make_shared<CountingPrinter>();
  replacement->deviceId = "MDL:TW-QX;CMD:TSPL;";
  replacement->serial = "S2";
  ASSERT_TRUE(winsim::AttachUsbPrinter(replacement));
  dm.PrintLanguage = kLangTwl;
  ASSERT_TRUE(AdjustForAttachedDevice(printer, &dm));
  EXPECT_EQ(dm.PrintLanguage, kLangTspl);
  EXPECT_EQ(replacement->asked.load(), 1);
  // Unplugged: no identifier, and the next plug-in is looked for again soon.
  replacement->present = false;
  EXPECT_FALSE(AdjustForAttachedDevice(printer, &dm));
  replacement->present = true;
  EXPECT_FALSE(AdjustForAttachedDevice(printer, &dm)) << "the port was just found empty";
  winsim::AdvanceClock(DWORD(kNoDeviceIdRefreshMs));
  EXPECT_TRUE(AdjustForAttachedDevice(printer, &dm));
  EXPECT_EQ(replacement->asked.load(), 2);
}

TEST_F(UsbPort, APrinterMovedToAnotherPortIsLookedUpThere) {
  auto one = std::make_shared<CountingPrinter>();
  one->deviceId = "MDL:TW-QX;CMD:TWL;";
  one->serial = "S1";
  ASSERT_TRUE(winsim::AttachUsbPrinter(one));
  auto two = std::make_shared<CountingPrinter>();
  two->deviceId = "MDL:TW-QX;CMD:TSPL;";
  two->serial = "S2";
  two->portNumber = 2;
  ASSERT_TRUE(winsim::AttachUsbPrinter(two));
  HANDLE printer = Printer(u"USB001");
  PrinterDevmode dm{};
  dm.PrintLanguage = kLangTspl;
  ASSERT_TRUE(AdjustForAttachedDevice(printer, &dm));
  EXPECT_EQ(dm.PrintLanguage, kLangTwl);
  // The printer "Label USB001" now prints to USB002.
  ClosePrinter(printer);
  handles.clear();
  ASSERT_TRUE(winsim::RemovePrinter(u"Label USB001"));
  ASSERT_TRUE(winsim::AddPrinter({.name = u"Label USB001", .port = u"USB002", .driver = u"Tarnwell Label V6"}));
  std::u16string name = u"Label USB001";
  ASSERT_TRUE(OpenPrinterW(name.data(), &printer, nullptr));
  handles.push_back(printer);
  ASSERT_TRUE(AdjustForAttachedDevice(printer, &dm));
  EXPECT_EQ(dm.PrintLanguage, kLangTspl);
  EXPECT_EQ(one->asked.load(), 1);
  EXPECT_EQ(two->asked.load(), 1);
}

TEST_F(UsbPort, PortsThatCannotBeUsbPortsAreNeverLookedUp) {
  auto dev = std::make_shared<CountingPrinter>();
  dev->deviceId = "MDL:TW-QX;CMD:TWL;";
  ASSERT_TRUE(winsim::AttachUsbPrinter(dev));
  PrinterDevmode dm{};
  for (const char16_t* port : {u"COM1", u"IP_10.0.0.5", u"FILE:", u"USB01", u"USBPRINT", u"usb001"})
    EXPECT_FALSE(AdjustForAttachedDevice(Printer(port), &dm)) << std::string(port, port + 3);
  EXPECT_EQ(dev->asked.load(), 0);
}

TEST_F(UsbPort, AdjustChangesNothingOnFailure) {
  HANDLE usb = Printer(u"USB001"), com = Printer(u"COM1"), net = Printer(u"IP_10.0.0.5");
  auto dev = Attach(1, "MFG:Tarnwell;MDL:TW-LA;");  // no "CMD:"
  PrinterDevmode dm{};
  dm.PrintLanguage = kLangTwl;
  dm.FeedOffset = 1234;
  const PrinterDevmode before = dm;
  auto failsQuietly = [&](HANDLE printer, const char* what) {
    winsim::ClearDebugLines();
    EXPECT_FALSE(AdjustForAttachedDevice(printer, &dm)) << what;
    EXPECT_EQ(memcmp(&dm, &before, sizeof dm), 0) << what;
    EXPECT_EQ(winsim::DebugLines(), std::vector<std::string>{"GetUSBDeviceID failed."}) << what;
  };
  failsQuietly(usb, "reply without CMD");
  failsQuietly(com, "serial port");
  failsQuietly(net, "network port");
  failsQuietly(nullptr, "no printer");
  dev->deviceId = "MDL:TW-LA;CMD:TSPL;";
  dev->present = false;
  failsQuietly(usb, "unplugged");
  winsim::DetachUsbPrinter(dev);
  failsQuietly(usb, "detached");
}

}  // namespace
