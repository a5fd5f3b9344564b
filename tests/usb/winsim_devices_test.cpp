// The simulated USB printers, SetupAPI enumeration, registry and device I/O that the driver, monitor,
// tools and installer share.
#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "winsim/devices.h"
#include "winsim/machine.h"
#include <windows.h>
#include <setupapi.h>
#include <usbprint.h>
#include <ntddpar.h>

namespace {

const std::u16string kParams =
    u"SYSTEM\\CurrentControlSet\\Control\\DeviceClasses\\{28d78fad-5a12-11d1-ae5b-0000f803a8c2}\\"
    u"##?#usb#vid_5e71&pid_0001#TW0000001#{28d78fad-5a12-11d1-ae5b-0000f803a8c2}\\#\\Device Parameters";

class Devices : public ::testing::Test {
 protected:
  void SetUp() override {
    winsim::Reset();
    dev = winsim::AttachUsbPrinter(std::make_shared<winsim::UsbPrinterDevice>());
  }
  static HDEVINFO Set(DWORD flags = DIGCF_PRESENT | DIGCF_DEVICEINTERFACE) {
    return SetupDiGetClassDevsW(&GUID_DEVINTERFACE_USBPRINT, nullptr, nullptr, flags);
  }
  static std::vector<std::u16string> Paths(HDEVINFO set) {
    std::vector<std::u16string> out;
    SP_DEVICE_INTERFACE_DATA iface{sizeof iface, {}, 0, 0};
    for (DWORD i = 0; SetupDiEnumDeviceInterfaces(set, nullptr, &GUID_DEVINTERFACE_USBPRINT, i, &iface); ++i) {
      std::vector<uint64_t> buf(64);
      auto* detail = reinterpret_cast<SP_DEVICE_INTERFACE_DETAIL_DATA_W*>(buf.data());
      detail->cbSize = sizeof *detail;
      EXPECT_TRUE(SetupDiGetDeviceInterfaceDetailW(set, &iface, detail, 512, nullptr, nullptr));
      out.push_back(detail->DevicePath);
    }
    EXPECT_EQ(GetLastError(), DWORD(ERROR_NO_MORE_ITEMS));
    return out;
  }
  static HANDLE Open(const std::u16string& path, DWORD access = GENERIC_READ | GENERIC_WRITE) {
    return CreateFileW(path.c_str(), access, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0, nullptr);
  }
  std::shared_ptr<winsim::UsbPrinterDevice> dev;
};

TEST_F(Devices, DetailFollowsSizeQueryAndCbSizeRules) {
  EXPECT_EQ(dev->InterfacePath(), u"\\\\?\\usb#vid_5e71&pid_0001#TW0000001#{28d78fad-5a12-11d1-ae5b-0000f803a8c2}");
  HDEVINFO set = Set();
  ASSERT_NE(set, INVALID_HANDLE_VALUE);
  SP_DEVICE_INTERFACE_DATA iface{};
  EXPECT_FALSE(SetupDiEnumDeviceInterfaces(set, nullptr, &GUID_DEVINTERFACE_USBPRINT, 0, &iface));
  EXPECT_EQ(GetLastError(), DWORD(ERROR_INVALID_USER_BUFFER));
  iface.cbSize = sizeof iface;
  ASSERT_TRUE(SetupDiEnumDeviceInterfaces(set, nullptr, &GUID_DEVINTERFACE_USBPRINT, 0, &iface));
  EXPECT_TRUE(IsEqualGUID(iface.InterfaceClassGuid, GUID_DEVINTERFACE_USBPRINT));
  EXPECT_EQ(iface.Flags, DWORD(SPINT_ACTIVE));

  DWORD need = 0;
  EXPECT_FALSE(SetupDiGetDeviceInterfaceDetailW(set, &iface, nullptr, 0, &need, nullptr));
  EXPECT_EQ(GetLastError(), DWORD(ERROR_INSUFFICIENT_BUFFER));
  EXPECT_EQ(need, 4 + (dev->InterfacePath().size() + 1) * 2);

  std::vector<uint64_t> buf(need / 8 + 1);
  auto* detail = reinterpret_cast<SP_DEVICE_INTERFACE_DETAIL_DATA_W*>(buf.data());
  detail->cbSize = need;  // the buffer size is the classic mistake
  EXPECT_FALSE(SetupDiGetDeviceInterfaceDetailW(set, &iface, detail, need, nullptr, nullptr));
  EXPECT_EQ(GetLastError(), DWORD(ERROR_INVALID_USER_BUFFER));
  detail->cbSize = 8;
  EXPECT_FALSE(SetupDiGetDeviceInterfaceDetailW(set, &iface, detail, need - 2, nullptr, nullptr));
  EXPECT_EQ(GetLastError(), DWORD(ERROR_INSUFFICIENT_BUFFER));
  SP_DEVINFO_DATA info{sizeof info, {}, 0, 0};
  ASSERT_TRUE(SetupDiGetDeviceInterfaceDetailW(set, &iface, detail, need, nullptr, &info));
  EXPECT_EQ(std::u16string(detail->DevicePath), dev->InterfacePath());
  EXPECT_NE(info.DevInst, 0u);

  EXPECT_FALSE(SetupDiEnumDeviceInterfaces(set, nullptr, &GUID_DEVINTERFACE_USBPRINT, 1, &iface));
  EXPECT_EQ(GetLastError(), DWORD(ERROR_NO_MORE_ITEMS));
  EXPECT_FALSE(CloseHandle(set));  // not a kernel object
  EXPECT_TRUE(SetupDiDestroyDeviceInfoList(set));
  EXPECT_FALSE(SetupDiDestroyDeviceInfoList(set));
  EXPECT_EQ(GetLastError(), DWORD(ERROR_INVALID_HANDLE));
}

TEST_F(Devices, EnumerationIsASnapshotFilteredByPresence) {
  auto two = std::make_shared<winsim::UsbPrinterDevice>();
  two->serial = "TW0000002";
  two->present = false;
  winsim::AttachUsbPrinter(two);
  HDEVINFO present = Set(), all = Set(DIGCF_DEVICEINTERFACE);
  EXPECT_EQ(Paths(present), std::vector<std::u16string>{dev->InterfacePath()});
  EXPECT_EQ(Paths(all), (std::vector<std::u16string>{dev->InterfacePath(), two->InterfacePath()}));
  winsim::DetachUsbPrinter(dev);
  EXPECT_EQ(Paths(present), std::vector<std::u16string>{dev->InterfacePath()});  // taken before the detach
  HDEVINFO after = Set();
  EXPECT_TRUE(Paths(after).empty());

  EXPECT_EQ(SetupDiGetClassDevsW(nullptr, nullptr, nullptr, DIGCF_PRESENT), INVALID_HANDLE_VALUE);
  EXPECT_EQ(GetLastError(), DWORD(ERROR_INVALID_PARAMETER));
  for (HDEVINFO s : {present, all, after}) SetupDiDestroyDeviceInfoList(s);
  // A second printer with the same path is refused; attaching the same one again is harmless.
  auto again = winsim::AttachUsbPrinter(std::make_shared<winsim::UsbPrinterDevice>());
  ASSERT_NE(again, nullptr);
  EXPECT_EQ(winsim::AttachUsbPrinter(std::make_shared<winsim::UsbPrinterDevice>()), nullptr);
  EXPECT_EQ(winsim::AttachUsbPrinter(again), again);
  EXPECT_EQ(winsim::UsbPrinters().size(), 2u);
}

TEST_F(Devices, RegistryHoldsDeviceParameters) {
  HKEY key;
  ASSERT_EQ(RegOpenKeyExW(HKEY_LOCAL_MACHINE, kParams.c_str(), 0, KEY_QUERY_VALUE, &key), ERROR_SUCCESS);
  DWORD type = 0, port = 0, size = sizeof port;
  ASSERT_EQ(RegQueryValueExW(key, u"PORT NUMBER", nullptr, &type, reinterpret_cast<BYTE*>(&port), &size),
            ERROR_SUCCESS);
  EXPECT_EQ(type, DWORD(REG_DWORD));
  EXPECT_EQ(port, 1u);
  EXPECT_EQ(size, 4u);

  size = 0;
  EXPECT_EQ(RegQueryValueExW(key, u"Port Description", nullptr, &type, nullptr, &size), ERROR_SUCCESS);
  EXPECT_EQ(size, (dev->portDescription.size() + 1) * 2);
  std::vector<WCHAR> desc(size / 2);
  DWORD small = size - 2;
  EXPECT_EQ(RegQueryValueExW(key, u"Port Description", nullptr, &type, reinterpret_cast<BYTE*>(desc.data()), &small),
            ERROR_MORE_DATA);
  EXPECT_EQ(small, size);
  EXPECT_EQ(RegQueryValueExW(key, u"Port Description", nullptr, &type, reinterpret_cast<BYTE*>(desc.data()), &size),
            ERROR_SUCCESS);
  EXPECT_EQ(std::u16string(desc.data()), dev->portDescription);
  EXPECT_EQ(RegQueryValueExW(key, u"Port Name", nullptr, &type, nullptr, &size), ERROR_FILE_NOT_FOUND);
  EXPECT_EQ(RegSetValueExW(key, u"Port Number", 0, REG_DWORD, reinterpret_cast<BYTE*>(&port), 4), ERROR_ACCESS_DENIED);
  EXPECT_EQ(RegCloseKey(key), ERROR_SUCCESS);
  EXPECT_EQ(RegQueryValueExW(key, u"Port Number", nullptr, &type, nullptr, &size), ERROR_INVALID_HANDLE);
  EXPECT_EQ(RegCloseKey(key), ERROR_INVALID_HANDLE);

  // Key names are case-insensitive; detaching removes the interface's key.
  std::u16string lower = kParams;
  for (auto& c : lower) c = (c >= u'A' && c <= u'Z') ? char16_t(c + 32) : c;
  ASSERT_EQ(RegOpenKeyExW(HKEY_LOCAL_MACHINE, lower.c_str(), 0, KEY_READ, &key), ERROR_SUCCESS);
  winsim::DetachUsbPrinter(dev);
  EXPECT_EQ(RegQueryValueExW(key, u"Port Number", nullptr, &type, nullptr, &size), ERROR_KEY_DELETED);
  RegCloseKey(key);
  EXPECT_EQ(RegOpenKeyExW(HKEY_LOCAL_MACHINE, kParams.c_str(), 0, KEY_READ, &key), ERROR_FILE_NOT_FOUND);
}

TEST(Registry, CreatesEnumeratesAndDeletesKeys) {
  winsim::Reset();
  HKEY a, b;
  DWORD disp = 0;
  ASSERT_EQ(RegCreateKeyExW(HKEY_LOCAL_MACHINE, u"SOFTWARE\\Tarnwell\\Beta", 0, nullptr, 0, KEY_ALL_ACCESS, nullptr,
                            &b, &disp),
            ERROR_SUCCESS);
  EXPECT_EQ(disp, DWORD(REG_CREATED_NEW_KEY));
  ASSERT_EQ(RegCreateKeyExW(HKEY_LOCAL_MACHINE, u"software\\TARNWELL\\alpha", 0, nullptr, 0, KEY_ALL_ACCESS, nullptr,
                            &a, &disp),
            ERROR_SUCCESS);
  EXPECT_EQ(disp, DWORD(REG_CREATED_NEW_KEY));
  HKEY parent;
  ASSERT_EQ(RegCreateKeyExW(HKEY_LOCAL_MACHINE, u"Software\\Tarnwell", 0, nullptr, 0, KEY_READ, nullptr, &parent,
                            &disp),
            ERROR_SUCCESS);
  EXPECT_EQ(disp, DWORD(REG_OPENED_EXISTING_KEY));
  WCHAR name[8];
  DWORD cch = 8;
  ASSERT_EQ(RegEnumKeyExW(parent, 0, name, &cch, nullptr, nullptr, nullptr, nullptr), ERROR_SUCCESS);
  EXPECT_EQ(std::u16string(name), u"alpha");  // case-insensitive order, stored spelling
  EXPECT_EQ(cch, 5u);
  cch = 4;
  EXPECT_EQ(RegEnumKeyExW(parent, 1, name, &cch, nullptr, nullptr, nullptr, nullptr), ERROR_MORE_DATA);
  cch = 8;
  EXPECT_EQ(RegEnumKeyExW(parent, 2, name, &cch, nullptr, nullptr, nullptr, nullptr), ERROR_NO_MORE_ITEMS);

  EXPECT_EQ(RegDeleteKeyW(HKEY_LOCAL_MACHINE, u"SOFTWARE\\Tarnwell"), ERROR_ACCESS_DENIED);  // has subkeys
  EXPECT_EQ(RegDeleteKeyW(parent, u"Alpha"), ERROR_SUCCESS);
  EXPECT_EQ(RegDeleteKeyW(parent, u"Alpha"), ERROR_FILE_NOT_FOUND);
  EXPECT_EQ(RegSetValueExW(a, u"x", 0, REG_DWORD, reinterpret_cast<const BYTE*>("\1\0\0\0"), 4), ERROR_KEY_DELETED);
  EXPECT_EQ(RegDeleteTreeW(HKEY_LOCAL_MACHINE, u"SOFTWARE"), ERROR_SUCCESS);
  EXPECT_EQ(RegEnumKeyExW(parent, 0, name, &cch, nullptr, nullptr, nullptr, nullptr), ERROR_KEY_DELETED);
  for (HKEY k : {a, b, parent}) EXPECT_EQ(RegCloseKey(k), ERROR_SUCCESS);

  ASSERT_EQ(RegCreateKeyExW(HKEY_CURRENT_USER, u"Kept", 0, nullptr, 0, KEY_READ, nullptr, &a, nullptr), ERROR_SUCCESS);
  RegCloseKey(a);
  winsim::Reset();
  EXPECT_EQ(RegOpenKeyExW(HKEY_CURRENT_USER, u"Kept", 0, KEY_READ, &a), ERROR_FILE_NOT_FOUND);
}

// A printer that answers vendor requests and sends back status bytes.
struct TalkingPrinter : winsim::UsbPrinterDevice {
  std::vector<uint8_t> lastSet;
  bool OnVendorGet(const std::vector<uint8_t>& input, std::vector<uint8_t>* reply) override {
    *reply = {uint8_t(input.empty() ? 0 : input[0]), 0xAA, 0xBB, 0xCC};
    return true;
  }
  bool OnVendorSet(const std::vector<uint8_t>& input) override {
    lastSet = input;
    return true;
  }
  BOOL OnRead(uint8_t* buffer, DWORD size, DWORD* read) override {
    *read = size < 2 ? size : 2;
    memcpy(buffer, "OK", *read);
    return TRUE;
  }
};

TEST_F(Devices, HandleCarriesDataAndControlRequests) {
  HANDLE h = Open(u"\\\\.\\USB#VID_5E71&PID_0001#tw0000001#{28D78FAD-5A12-11D1-AE5B-0000F803A8C2}");
  ASSERT_NE(h, INVALID_HANDLE_VALUE);
  DWORD n = 0;
  ASSERT_TRUE(WriteFile(h, "SIZE 4,3\r\n", 10, &n, nullptr));
  EXPECT_EQ(n, 10u);
  EXPECT_EQ(dev->Received(), (std::vector<uint8_t>{'S', 'I', 'Z', 'E', ' ', '4', ',', '3', '\r', '\n'}));

  char id[16];
  ASSERT_TRUE(DeviceIoControl(h, IOCTL_PAR_QUERY_DEVICE_ID, nullptr, 0, id, sizeof id, &n, nullptr));
  EXPECT_EQ(n, 16u);
  EXPECT_EQ(std::string(id, n), dev->deviceId.substr(0, 16));
  uint8_t raw[8];
  ASSERT_TRUE(DeviceIoControl(h, IOCTL_USBPRINT_GET_1284_ID, nullptr, 0, raw, sizeof raw, &n, nullptr));
  EXPECT_EQ(raw[0] * 256 + raw[1], int(dev->deviceId.size() + 2));
  EXPECT_FALSE(DeviceIoControl(h, IOCTL_USBPRINT_VENDOR_GET_COMMAND, raw, 3, raw, sizeof raw, &n, nullptr));
  EXPECT_EQ(GetLastError(), DWORD(ERROR_GEN_FAILURE));  // the plain device answers no vendor requests
  EXPECT_FALSE(DeviceIoControl(h, 0x220040, nullptr, 0, nullptr, 0, &n, nullptr));
  EXPECT_EQ(GetLastError(), DWORD(ERROR_INVALID_FUNCTION));

  winsim::DetachUsbPrinter(dev);
  EXPECT_FALSE(WriteFile(h, "x", 1, &n, nullptr));
  EXPECT_EQ(GetLastError(), DWORD(ERROR_DEVICE_NOT_CONNECTED));
  EXPECT_FALSE(DeviceIoControl(h, IOCTL_PAR_QUERY_DEVICE_ID, nullptr, 0, id, sizeof id, &n, nullptr));
  EXPECT_EQ(GetLastError(), DWORD(ERROR_DEVICE_NOT_CONNECTED));
  EXPECT_TRUE(CloseHandle(h));
  EXPECT_EQ(Open(dev->InterfacePath()), INVALID_HANDLE_VALUE);
  EXPECT_EQ(GetLastError(), DWORD(ERROR_FILE_NOT_FOUND));
}

TEST_F(Devices, DeviceModelsAnswerThroughTheirHooks) {
  auto talk = std::make_shared<TalkingPrinter>();
  talk->serial = "T2";
  talk->portNumber = 2;
  winsim::AttachUsbPrinter(talk);
  EXPECT_EQ(winsim::UsbPrinterOnPort(u"usb002"), talk);
  EXPECT_EQ(winsim::UsbPrinterOnPort(u"USB001"), dev);
  EXPECT_EQ(winsim::UsbPrinterOnPort(u"USB003"), nullptr);

  HANDLE h = Open(talk->InterfacePath(), GENERIC_WRITE);
  ASSERT_NE(h, INVALID_HANDLE_VALUE);
  uint8_t in[5] = {0x21, 0x01, 0x00, 7, 8}, out[3] = {};
  DWORD n = 0;
  ASSERT_TRUE(DeviceIoControl(h, IOCTL_USBPRINT_VENDOR_GET_COMMAND, in, 3, out, sizeof out, &n, nullptr));
  EXPECT_EQ(n, 3u);  // the four-byte reply is cut to the output buffer
  EXPECT_EQ(out[0], 0x21);
  EXPECT_EQ(out[2], 0xBB);
  ASSERT_TRUE(DeviceIoControl(h, IOCTL_USBPRINT_VENDOR_SET_COMMAND, in, 5, nullptr, 0, &n, nullptr));
  EXPECT_EQ(n, 0u);
  EXPECT_EQ(talk->lastSet, std::vector<uint8_t>(in, in + 5));
  char buf[8];
  EXPECT_FALSE(ReadFile(h, buf, sizeof buf, &n, nullptr));  // opened for writing only
  EXPECT_EQ(GetLastError(), DWORD(ERROR_ACCESS_DENIED));
  CloseHandle(h);
  h = Open(talk->InterfacePath(), GENERIC_READ);
  ASSERT_TRUE(ReadFile(h, buf, sizeof buf, &n, nullptr));
  EXPECT_EQ(std::string(buf, n), "OK");
  talk->present = false;
  EXPECT_FALSE(ReadFile(h, buf, sizeof buf, &n, nullptr));
  EXPECT_EQ(GetLastError(), DWORD(ERROR_DEVICE_NOT_CONNECTED));
  CloseHandle(h);

  // Files are no devices, and the long-path prefix still reaches the C: drive.
  HANDLE f = CreateFileW(u"\\\\?\\C:\\note.txt", GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
  ASSERT_NE(f, INVALID_HANDLE_VALUE);
  EXPECT_FALSE(DeviceIoControl(f, IOCTL_PAR_QUERY_DEVICE_ID, nullptr, 0, buf, sizeof buf, &n, nullptr));
  EXPECT_EQ(GetLastError(), DWORD(ERROR_INVALID_FUNCTION));
  CloseHandle(f);
  EXPECT_EQ(Open(u"\\\\.\\COM1"), INVALID_HANDLE_VALUE);
  EXPECT_EQ(GetLastError(), DWORD(ERROR_FILE_NOT_FOUND));

  winsim::Reset();
  EXPECT_TRUE(winsim::UsbPrinters().empty());
}

}  // namespace
