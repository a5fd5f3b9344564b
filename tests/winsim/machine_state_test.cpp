// The machine kept between runs: what a saved machine brings back (registry, spooler, ports, store,
// files, devices), what it leaves out, and how a state that is not whole is refused.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include <aclapi.h>
#include <sddl.h>
#include <tcpxcv.h>
#include <usbprint.h>
#include <windows.h>
#include <winioctl.h>
#include <winspool.h>

#include "winsim/devices.h"
#include "winsim/machine.h"
#include "winsim/spooler.h"
#include "winsim/twlprinter.h"
#include "tests/winsim/state_seal.h"

namespace {

using namespace std::string_literals;

LPWSTR W(const char16_t* s) { return const_cast<LPWSTR>(reinterpret_cast<LPCWSTR>(s)); }

using statetest::Reseal;

std::string Text(const std::vector<uint8_t>& b) { return std::string(b.begin(), b.end()); }

FILETIME WriteTime(const char16_t* path) {
  WIN32_FIND_DATAW fd{};
  HANDLE find = FindFirstFileW(path, &fd);
  EXPECT_NE(find, INVALID_HANDLE_VALUE);
  if (find != INVALID_HANDLE_VALUE) FindClose(find);
  return fd.ftLastWriteTime;
}

class MachineState : public ::testing::Test {
 protected:
  void SetUp() override { winsim::Reset(); }
  void TearDown() override { winsim::Reset(); }

  // A machine with something in every part that is kept.
  void Furnish() {
    winsim::AddDriver({.name = u"Tarnwell TW-JA", .driverPath = u"C:\\drv\\drv.dll", .dataFile = u"C:\\drv\\drv.dat",
                       .configFile = u"C:\\drv\\ui.dll", .driverVersion = 0x07E8000200040001ull,
                       .hardwareId = u"USBPRINT\\TarnwellTW-JA1234"});
    PRINTER_INFO_2W p{};
    p.pPrinterName = W(u"Labels");
    p.pPortName = W(u"FILE:");
    p.pDriverName = W(u"Tarnwell TW-JA");
    p.pPrintProcessor = W(u"WinPrint");
    p.pComment = W(u"dock 4");
    HANDLE h = AddPrinterW(nullptr, 2, reinterpret_cast<LPBYTE>(&p));
    ASSERT_NE(h, nullptr);
    const uint8_t forms[112 * 2] = {1, 2, 3, 0xFF};
    ASSERT_EQ(SetPrinterDataW(h, W(u"FORMS"), REG_BINARY, const_cast<LPBYTE>(forms), sizeof forms), DWORD(ERROR_SUCCESS));
    ClosePrinter(h);
    ASSERT_TRUE(winsim::SetPrinterDevmode(u"Labels", {0xDE, 0xAD, 0xBE, 0xEF}));
    ASSERT_TRUE(SetDefaultPrinterW(u"Labels"));

    HKEY key = nullptr;
    ASSERT_EQ(RegCreateKeyExW(HKEY_LOCAL_MACHINE, u"SOFTWARE\\Tarnwell\\Label", 0, nullptr, 0, KEY_ALL_ACCESS, nullptr,
                              &key, nullptr),
              ERROR_SUCCESS);
    const DWORD value = 0x12345678;
    ASSERT_EQ(RegSetValueExW(key, u"Counter", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&value), 4), ERROR_SUCCESS);
    RegCloseKey(key);

    winsim::TcpIpPort port;
    port.name = u"IP_192.0.2.7";
    port.hostAddress = u"192.0.2.7";
    port.portNumber = 9101;
    winsim::AddTcpIpPortRecord(port);
    ASSERT_TRUE(winsim::WriteHostFile(u"C:\\old.dll", "old", 3));
    ASSERT_TRUE(MoveFileExW(u"C:\\old.dll", nullptr, MOVEFILE_DELAY_UNTIL_REBOOT));

    ASSERT_TRUE(winsim::WriteHostFile(u"C:\\Printer Log\\Labels\\job 1.prt", "SIZE 4,6\r\n", 10));
    ASSERT_TRUE(winsim::WriteHostFile(u"C:\\Fixed\\ro.txt", "keep", 4));
    ASSERT_EQ(chmod(winsim::HostPath(u"C:\\Fixed\\ro.txt").c_str(), 0444), 0);  // as a read-only file is kept
    ASSERT_TRUE(CreateDirectoryW(u"C:\\Empty", nullptr));
    ASSERT_TRUE(winsim::CreateJunction(u"C:\\Link", u"C:\\Printer Log"));
    ASSERT_TRUE(winsim::SetFileOwner(u"C:\\Fixed\\ro.txt", "S-1-5-21-9"));

    auto twl = std::make_shared<winsim::TwlPrinterDevice>();
    twl->portNumber = 2;
    twl->SetFirmware("V2.10", 0xBEEF);
    twl->SetPageCounter(41);
    ASSERT_TRUE(winsim::AttachUsbPrinter(twl));
    auto usb = std::make_shared<winsim::UsbPrinterDevice>();
    usb->deviceId = "MFG:Tarnwell;CMD:ZPL;MDL:TW-JA;";
    usb->present = false;
    ASSERT_TRUE(winsim::AttachUsbPrinter(usb));
  }
};

TEST_F(MachineState, ASavedMachineComesBackWhole) {
  Furnish();
  const FILETIME written = WriteTime(u"C:\\Printer Log\\Labels\\job 1.prt");
  const std::vector<uint8_t> state = winsim::SaveMachine();
  winsim::Reset();
  ASSERT_TRUE(winsim::Printers().empty());
  std::string error;
  ASSERT_TRUE(winsim::LoadMachine(state, &error)) << error;

  // The spooler: the driver with its level-8 fields, the printer with its data, DEVMODE and default.
  auto drivers = winsim::Drivers();
  ASSERT_EQ(drivers.size(), 1u);
  EXPECT_EQ(drivers[0].driverVersion, 0x07E8000200040001ull);
  EXPECT_EQ(drivers[0].hardwareId, u"USBPRINT\\TarnwellTW-JA1234");
  auto printers = winsim::Printers();
  ASSERT_EQ(printers.size(), 1u);
  EXPECT_EQ(printers[0].name, u"Labels");
  EXPECT_EQ(printers[0].comment, u"dock 4");
  EXPECT_EQ(printers[0].devmode, (std::vector<uint8_t>{0xDE, 0xAD, 0xBE, 0xEF}));
  DWORD type = 0;
  std::vector<uint8_t> forms;
  ASSERT_TRUE(winsim::GetPrinterDataValue(u"Labels", u"forms", &type, &forms));
  EXPECT_EQ(type, DWORD(REG_BINARY));
  ASSERT_EQ(forms.size(), 224u);
  EXPECT_EQ(forms[3], 0xFF);
  WCHAR name[64];
  DWORD cch = 64;
  ASSERT_TRUE(GetDefaultPrinterW(name, &cch));
  EXPECT_EQ(std::u16string(reinterpret_cast<const char16_t*>(name)), u"Labels");

  // The registry, the ports, the restart's pending deletion.
  HKEY key = nullptr;
  ASSERT_EQ(RegOpenKeyExW(HKEY_LOCAL_MACHINE, u"software\\TARNWELL\\label", 0, KEY_READ, &key), ERROR_SUCCESS);
  DWORD value = 0, size = 4;
  ASSERT_EQ(RegQueryValueExW(key, u"Counter", nullptr, &type, reinterpret_cast<BYTE*>(&value), &size), ERROR_SUCCESS);
  EXPECT_EQ(value, 0x12345678u);
  RegCloseKey(key);
  auto ports = winsim::TcpIpPorts();
  ASSERT_EQ(ports.size(), 1u);
  EXPECT_EQ(ports[0].portNumber, 9101u);
  ASSERT_EQ(winsim::PendingFileOperations().size(), 1u);
  EXPECT_EQ(winsim::PendingFileOperations()[0].from, u"C:\\old.dll");

  // The files: contents, times, read-only, an empty folder, the junction, owners.
  EXPECT_EQ(Text(winsim::ReadHostFile(u"C:\\Printer Log\\Labels\\job 1.prt")), "SIZE 4,6\r\n");
  const FILETIME now = WriteTime(u"C:\\Printer Log\\Labels\\job 1.prt");
  EXPECT_EQ(now.dwLowDateTime, written.dwLowDateTime);
  EXPECT_EQ(now.dwHighDateTime, written.dwHighDateTime);
  EXPECT_TRUE(GetFileAttributesW(u"C:\\Fixed\\ro.txt") & FILE_ATTRIBUTE_READONLY);
  EXPECT_EQ(GetFileAttributesW(u"C:\\Empty"), DWORD(FILE_ATTRIBUTE_DIRECTORY));
  EXPECT_TRUE(GetFileAttributesW(u"C:\\Link") & FILE_ATTRIBUTE_REPARSE_POINT);
  EXPECT_EQ(Text(winsim::ReadHostFile(u"C:\\Link\\Labels\\job 1.prt")), "SIZE 4,6\r\n");
  EXPECT_EQ(winsim::FileOwner(u"C:\\Fixed\\ro.txt"), "S-1-5-21-9");

  // The devices: the TWL printer answers with the firmware it ran, the other stays unplugged.
  auto devices = winsim::UsbPrinters();
  ASSERT_EQ(devices.size(), 2u);
  auto twl = std::dynamic_pointer_cast<winsim::TwlPrinterDevice>(devices[0]);
  ASSERT_NE(twl, nullptr);
  EXPECT_EQ(twl->FirmwareVersion(), "V2.10");
  EXPECT_EQ(twl->FirmwareChecksum(), 0xBEEF);
  EXPECT_EQ(twl->PageCounter(), 41u);
  EXPECT_EQ(winsim::UsbPrinterOnPort(u"usb002"), devices[0]);
  HANDLE dev = CreateFileW(reinterpret_cast<LPCWSTR>(twl->InterfacePath().c_str()), GENERIC_READ | GENERIC_WRITE, 0,
                           nullptr, OPEN_EXISTING, 0, nullptr);
  ASSERT_NE(dev, INVALID_HANDLE_VALUE);
  uint8_t request[3] = {2, 0, 0};
  char version[64] = {};
  DWORD got = 0;
  ASSERT_TRUE(DeviceIoControl(dev, IOCTL_USBPRINT_VENDOR_GET_COMMAND, request, 3, version, sizeof version, &got, nullptr));
  EXPECT_EQ(std::string(version, got).substr(5), "V2.10");
  CloseHandle(dev);
  EXPECT_EQ(devices[1]->deviceId, "MFG:Tarnwell;CMD:ZPL;MDL:TW-JA;");
  EXPECT_FALSE(devices[1]->present);

  // The same machine gives the same bytes.
  EXPECT_EQ(winsim::SaveMachine(), state);
}

TEST_F(MachineState, JobsHandlesAndDebugLinesAreNotKept) {
  Furnish();
  HANDLE h = nullptr;
  ASSERT_TRUE(OpenPrinterW(W(u"Labels"), &h, nullptr));
  OutputDebugStringW(u"before the restart");
  const auto state = winsim::SaveMachine();
  std::string error;
  ASSERT_TRUE(winsim::LoadMachine(state, &error)) << error;
  EXPECT_TRUE(winsim::DebugLines().empty());
  DWORD needed = 0;
  EXPECT_FALSE(GetPrinterW(h, 2, nullptr, 0, &needed));
  EXPECT_EQ(GetLastError(), DWORD(ERROR_INVALID_HANDLE)) << "handles do not outlive the machine";
}

TEST_F(MachineState, AStateThatIsNotWholeIsRefusedAndLeavesAFreshMachine) {
  Furnish();
  const std::vector<uint8_t> good = winsim::SaveMachine();
  std::string error;
  auto refused = [&](std::vector<uint8_t> bytes, const std::string& says) {
    error.clear();
    EXPECT_FALSE(winsim::LoadMachine(bytes, &error));
    EXPECT_NE(error.find(says), std::string::npos) << error;
    EXPECT_TRUE(winsim::Printers().empty()) << "a refused state leaves a fresh machine";
  };
  refused({}, "not a saved machine");
  refused(std::vector<uint8_t>(good.begin(), good.begin() + 40), "damaged");
  std::vector<uint8_t> flipped = good;
  flipped[good.size() / 2] ^= 0x10;
  refused(flipped, "damaged");

  // Another format, sealed as that version would: refused as such, not as damage; a later one as newer.
  std::vector<uint8_t> other = good;
  other[8] = uint8_t(winsim::kMachineStateFormat + 1);
  Reseal(&other);
  refused(other, "written by a newer version (state format " + std::to_string(winsim::kMachineStateFormat + 1));
  other[8] = 0;
  Reseal(&other);
  refused(other, "written by another version (state format 0");

  // A part this version does not know (a name changed, its length kept), sealed.
  std::vector<uint8_t> unknown = good;
  const char* part = "registry";
  auto at = std::search(unknown.begin(), unknown.end(), part, part + 8);
  ASSERT_NE(at, unknown.end());
  *at = 'R';
  Reseal(&unknown);
  refused(unknown, "part \"Registry\" this one does not know");

  ASSERT_TRUE(winsim::LoadMachine(good, &error)) << error;
  EXPECT_EQ(winsim::Printers().size(), 1u);
}

// A state edited to put a file outside C: (or through a junction) must not write there.
TEST_F(MachineState, FilePathsOutsideTheDriveAreRefused) {
  ASSERT_TRUE(winsim::WriteHostFile(u"C:\\aaaa\\x", "1", 1));
  ASSERT_TRUE(CreateDirectoryW(u"C:\\Target", nullptr));
  ASSERT_TRUE(winsim::CreateJunction(u"C:\\Jump", u"C:\\Target"));  // saved before "aaaa" (byte order)
  const std::vector<uint8_t> good = winsim::SaveMachine();
  // The file "aaaa/x" renamed in place (same length, so every length field stays right).
  for (const std::string to : {"../zzz", "Jump/x", "aaaa/."}) {
    SCOPED_TRACE(to);
    std::vector<uint8_t> edited = good;
    const std::string from = "aaaa/x";
    auto at = std::search(edited.begin(), edited.end(), from.begin(), from.end());
    ASSERT_NE(at, edited.end());
    std::copy(to.begin(), to.end(), at);
    Reseal(&edited);
    const std::string parent = winsim::RootDir() + "/..";
    std::string error;
    EXPECT_FALSE(winsim::LoadMachine(edited, &error));
    EXPECT_NE(error.find("damaged: part \"files\""), std::string::npos) << error;
    struct stat st;
    EXPECT_NE(stat((parent + "/zzz").c_str(), &st), 0) << "nothing written beside the drive";
  }
}

}  // namespace
