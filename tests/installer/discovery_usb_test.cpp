#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "common/crc16.h"
#include "common/wstr.h"
#include "installer/discovery.h"
#include "winsim/devices.h"
#include "winsim/machine.h"

namespace {

std::string Narrow(const WCHAR* s) { return WideToUtf8(s); }

std::shared_ptr<winsim::UsbPrinterDevice> Attach(DWORD port, const std::u16string& description,
                                                 uint16_t vendor = 0x5E71, const std::string& serial = "TW0000001") {
  auto d = std::make_shared<winsim::UsbPrinterDevice>();
  d->portNumber = port;
  d->portDescription = description;
  d->vendorId = vendor;
  d->serial = serial;
  return winsim::AttachUsbPrinter(d);
}

std::u16string KeyOf(const std::shared_ptr<winsim::UsbPrinterDevice>& d) {
  return u"SYSTEM\\CurrentControlSet\\Control\\DeviceClasses\\{28d78fad-5a12-11d1-ae5b-0000f803a8c2}\\##?#" +
         d->InterfacePath().substr(4) + u"\\#\\Device Parameters";
}

class UsbDiscovery : public ::testing::Test {
 protected:
  void SetUp() override {
    winsim::Reset();
    InitPortLists(&lists);
  }
  void TearDown() override {
    FreePortLists(&lists);
    winsim::Reset();
  }
  std::vector<PortEntry> Usb() { return CopyPortList(&lists, &PortLists::Usb); }
  std::vector<std::string> LocalNames() {
    std::vector<std::string> out;
    for (const PortEntry& e : CopyPortList(&lists, &PortLists::Local)) out.push_back(Narrow(e.PortName));
    return out;
  }
  PortLists lists;
};

TEST_F(UsbDiscovery, ListsEveryPresentPrinterWithItsIdsNewestFirst) {
  Attach(1, u"TarnwellTW-JA");
  Attach(2, u"Other Label Printer", 0x1234, "SN2");
  ASSERT_EQ(ScanUsbPrinters(&lists), 2);
  const auto usb = Usb();
  ASSERT_EQ(usb.size(), 2u);
  EXPECT_EQ(Narrow(usb[0].PortName), "USB002");  // any vendor is taken
  EXPECT_EQ(Narrow(usb[0].Vendor), "1234");
  EXPECT_EQ(Narrow(usb[0].SerialNumber), "SN2");
  const PortEntry& e = usb[1];
  EXPECT_EQ(Narrow(e.PortName), "USB001");
  EXPECT_EQ(Narrow(e.Vendor), "5e71");
  EXPECT_EQ(Narrow(e.Description), "TarnwellTW-JA");
  EXPECT_EQ(e.PortType, kPortTypeUsb);
  // The checksum of the description is the model's catalogue checksum: the same CRC-16/ARC.
  char crc[8];
  snprintf(crc, sizeof crc, "%04x", Crc16ArcText("TarnwellTW-JA"));
  EXPECT_EQ(Narrow(e.Checksum), crc);
  EXPECT_EQ(Narrow(e.HardwareId), std::string("usbprint\\tarnwelltw-ja") + crc);
}

TEST_F(UsbDiscovery, LongDescriptionsAreShownAndHashedOnTheirFirst32Characters) {
  const std::u16string longName = u"Tarnwell Industrial Label Printer Model 4000 Series";
  Attach(1, longName);
  ASSERT_EQ(ScanUsbPrinters(&lists), 1);
  const PortEntry e = Usb()[0];
  const std::string first32 = WideToUtf8(ToWString(longName.substr(0, 32).c_str()).c_str());
  EXPECT_EQ(Narrow(e.Description), first32);
  char crc[8];
  snprintf(crc, sizeof crc, "%04x", Crc16Arc(first32.data(), first32.size()));
  EXPECT_EQ(Narrow(e.Checksum), crc);
  EXPECT_EQ(UsbDescriptionChecksum(TEXT("TarnwellTW-JA")), Crc16ArcText("TarnwellTW-JA"));
}

TEST_F(UsbDiscovery, StringValuesWithoutTerminatorEndInsideTheirFields) {
  auto d = Attach(1, u"x");
  HKEY key;
  ASSERT_EQ(RegOpenKeyExW(HKEY_LOCAL_MACHINE, KeyOf(d).c_str(), 0, KEY_ALL_ACCESS, &key), ERROR_SUCCESS);
  const std::u16string desc = u"TarnwellTW-JB";  // stored without its terminating zero
  RegSetValueExW(key, u"Port Description", 0, REG_SZ, reinterpret_cast<const BYTE*>(desc.data()),
                 DWORD(desc.size() * sizeof(WCHAR)));
  const std::u16string serial(400, u'7');  // longer than the field, unterminated
  RegSetValueExW(key, u"Serial Number", 0, REG_SZ, reinterpret_cast<const BYTE*>(serial.data()),
                 DWORD(serial.size() * sizeof(WCHAR)));
  RegCloseKey(key);
  ASSERT_EQ(ScanUsbPrinters(&lists), 1);
  const PortEntry e = Usb()[0];
  EXPECT_EQ(Narrow(e.Description), "TarnwellTW-JB");
  EXPECT_EQ(Narrow(e.SerialNumber), std::string(32, '7'));
}

TEST_F(UsbDiscovery, SkipsShortPathsAndInterfacesWithoutTheirKey) {
  auto shortPath = std::make_shared<winsim::UsbPrinterDevice>();
  shortPath->interfacePath = u"\\\\?\\usb#vid_5e7";  // 15 characters
  shortPath->portNumber = 3;
  winsim::AttachUsbPrinter(shortPath);
  auto longPath = std::make_shared<winsim::UsbPrinterDevice>();
  longPath->interfacePath = u"\\\\?\\usb#vid_5e71&pid_0001#" + std::u16string(600, u'S') + u"#{x}";
  longPath->portNumber = 4;
  winsim::AttachUsbPrinter(longPath);
  auto noKey = Attach(5, u"TarnwellTW-JA", 0x5E71, "NOKEY");
  RegDeleteTreeW(HKEY_LOCAL_MACHINE, KeyOf(noKey).c_str());
  Attach(1, u"TarnwellTW-JA");
  ASSERT_EQ(ScanUsbPrinters(&lists), 1);
  EXPECT_EQ(Narrow(Usb()[0].PortName), "USB001");
}

TEST_F(UsbDiscovery, AUsbPrinterHidesTheSpoolersPortOfTheSameName) {
  auto d = Attach(1, u"TarnwellTW-JA");
  ASSERT_GT(EnumLocalPorts(&lists), 0);
  ASSERT_NE(std::find(LocalNames().begin(), LocalNames().end(), "USB001"), LocalNames().end());
  EXPECT_EQ(ScanUsbPrinters(&lists), 1);
  const auto local = LocalNames();
  EXPECT_EQ(std::find(local.begin(), local.end(), "USB001"), local.end());
  // Enumerating again does not bring it back while the printer is listed.
  EXPECT_EQ(EnumLocalPorts(&lists), 0);

  // Unplugged: gone from the USB list at the next USB device notification; its port comes back only
  // with a new page.
  const GUID usbDevice = {0xa5dcbf10, 0x6530, 0x11d2, {0x90, 0x1f, 0x00, 0xc0, 0x4f, 0xb9, 0x51, 0xed}};
  const GUID otherClass = {0x53f56307, 0xb6bf, 0x11d0, {0x94, 0xf2, 0x00, 0xa0, 0xc9, 0x1e, 0xfb, 0x8b}};
  int remembered = 1;
  d->present = false;
  EXPECT_FALSE(UsbDeviceChanged(&lists, otherClass, &remembered));  // another class: no scan
  EXPECT_EQ(Usb().size(), 1u);
  EXPECT_TRUE(UsbDeviceChanged(&lists, usbDevice, &remembered));
  EXPECT_EQ(remembered, 0);
  EXPECT_TRUE(Usb().empty());
  EXPECT_FALSE(UsbDeviceChanged(&lists, usbDevice, &remembered));  // nothing changed since
  const auto after = LocalNames();
  EXPECT_EQ(std::find(after.begin(), after.end(), "USB001"), after.end());
  FreePortLists(&lists);
  InitPortLists(&lists);
  EnumLocalPorts(&lists);
  const auto fresh = LocalNames();
  EXPECT_NE(std::find(fresh.begin(), fresh.end(), "USB001"), fresh.end());
}

TEST(AttachedModel, TheCommandSetTellsTheTwoKaModelsApart) {
  WCHAR model[64];
  auto from = [&](const char* id) {
    ModelFromDeviceId(id, strlen(id), model, 64);
    return Narrow(model);
  };
  EXPECT_EQ(from("MFG:Tarnwell;CMD:TWL;MDL:TW-KA;"), "Tarnwell TW-KA_");
  EXPECT_EQ(from("MFG:Tarnwell;CMD:TSPL,ZPL;MDL:TW-KA;"), "Tarnwell TW-KA");
  EXPECT_EQ(from("MFG:Tarnwell;MDL:TW-KA;"), "Tarnwell TW-KA");   // no CMD key
  EXPECT_EQ(from("MFG:Tarnwell;MDL:TW-KA;CMD:TWL"), "Tarnwell TW-KA");  // no ';' after it
  EXPECT_EQ(from("CMD:TWLX;"), "Tarnwell TW-KA");
}

TEST_F(UsbDiscovery, AnAttachedTwKaIsAskedForItsDeviceId) {
  auto d = Attach(1, u"TarnwellTW-KA");
  d->deviceId = "MFG:Tarnwell;CMD:TWL;MDL:TW-KA;";
  WCHAR model[64];
  IdentifyAttachedModel(TEXT("USB001"), TEXT("TarnwellTW-KA"), model, 64);
  EXPECT_EQ(Narrow(model), "Tarnwell TW-KA_");
  d->deviceId = "MFG:Tarnwell;CMD:TSPL;MDL:TW-KA;";
  IdentifyAttachedModel(TEXT("USB001"), TEXT("TarnwellTW-KA"), model, 64);
  EXPECT_EQ(Narrow(model), "Tarnwell TW-KA");
  // Other descriptions, other ports and unplugged printers keep the description.
  IdentifyAttachedModel(TEXT("USB001"), TEXT("TarnwellTW-JA"), model, 64);
  EXPECT_EQ(Narrow(model), "TarnwellTW-JA");
  IdentifyAttachedModel(TEXT("USB002"), TEXT("TarnwellTW-KA"), model, 64);
  EXPECT_EQ(Narrow(model), "TarnwellTW-KA");
  d->present = false;
  IdentifyAttachedModel(TEXT("USB001"), TEXT("TarnwellTW-KA"), model, 64);
  EXPECT_EQ(Narrow(model), "TarnwellTW-KA");
}

TEST(DescriptionLookup, ANetworkPrintersBareModelFindsItsRow) {
  ASSERT_NE(FindModelForDescription(TEXT("TW-JA")), nullptr);
  EXPECT_STREQ(FindModelForDescription(TEXT("TW-JA"))->model, "TW-JA");
  EXPECT_STREQ(FindModelForDescription(TEXT("TarnwellTW-JB"))->model, "TW-JB");
  EXPECT_EQ(FindModelForDescription(TEXT("TW-ZZ")), nullptr);
  EXPECT_EQ(FindModelForDescription(TEXT("")), nullptr);
}

}  // namespace
