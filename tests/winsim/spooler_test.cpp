#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "winsim/devices.h"
#include "winsim/machine.h"
#include "winsim/monitorhost.h"
#include <windows.h>
#include <winspool.h>

using namespace std::string_literals;

namespace {

class Spooler : public ::testing::Test {
 protected:
  void SetUp() override {
    winsim::Reset();
    winsim::AddDriver({.name = u"Tarnwell Label V6", .driverPath = u"C:\\drv\\lbldrv6.dll",
                       .dataFile = u"C:\\drv\\lbldrv6.dat", .configFile = u"C:\\drv\\lbldrv6ui.dll",
                       .dependentFiles = u"lblmon.dll\0extra.dll\0"s, .monitorName = u"Tarnwell Language Monitor V6"});
    devmode.assign(sizeof(DEVMODEW) + 12, 0xA5);
    ASSERT_TRUE(winsim::AddPrinter({.name = u"Tarnwell TW-QX", .driver = u"Tarnwell Label V6", .comment = u"front desk",
                                    .location = u"hall", .devmode = devmode}));
  }

  static HANDLE OpenTW(DWORD access = 0) {
    PRINTER_DEFAULTSW def{nullptr, nullptr, access};
    HANDLE h = nullptr;
    EXPECT_TRUE(OpenPrinterW(const_cast<LPWSTR>(u"tarnwell tw-qx"), &h, access ? &def : nullptr));
    return h;
  }

  // The size-query protocol every Get*W info call follows; returns the filled buffer.
  template <class Call>
  static std::vector<uint8_t> Query(Call call) {
    DWORD needed = 0;
    EXPECT_FALSE(call(nullptr, 0, &needed));
    EXPECT_EQ(GetLastError(), DWORD(ERROR_INSUFFICIENT_BUFFER));
    EXPECT_GT(needed, 0u);
    std::vector<uint8_t> buf(needed + 8, 0xCC);
    DWORD again = 0;
    EXPECT_FALSE(call(buf.data(), needed - 1, &again)) << "one byte short";
    EXPECT_EQ(again, needed);
    EXPECT_TRUE(call(buf.data(), needed, &again));
    EXPECT_EQ(buf[needed], 0xCC) << "wrote past the size it reported";
    return buf;
  }
  static std::vector<uint8_t> PrinterInfo(HANDLE h, DWORD level) {
    return Query([&](LPBYTE b, DWORD n, LPDWORD need) { return GetPrinterW(h, level, b, n, need); });
  }

  static bool Inside(const void* p, const std::vector<uint8_t>& buf) {
    auto* b = static_cast<const uint8_t*>(p);
    return b >= buf.data() && b < buf.data() + buf.size();
  }

  std::vector<uint8_t> devmode;
};

TEST_F(Spooler, OpenPrinterByNameIgnoringCase) {
  HANDLE h = nullptr;
  EXPECT_FALSE(OpenPrinterW(const_cast<LPWSTR>(u"Nope"), &h, nullptr));
  EXPECT_EQ(GetLastError(), DWORD(ERROR_INVALID_PRINTER_NAME));
  h = OpenTW();
  ASSERT_NE(h, nullptr);
  EXPECT_NE(h, INVALID_HANDLE_VALUE);
  EXPECT_FALSE(CloseHandle(h)) << "printer handles close with ClosePrinter only";
  EXPECT_TRUE(ClosePrinter(h));
  EXPECT_FALSE(ClosePrinter(h));
  EXPECT_EQ(GetLastError(), DWORD(ERROR_INVALID_HANDLE));

  HANDLE server = nullptr;
  ASSERT_TRUE(OpenPrinterW(nullptr, &server, nullptr));
  DWORD needed;
  EXPECT_FALSE(GetPrinterW(server, 2, nullptr, 0, &needed));
  EXPECT_EQ(GetLastError(), DWORD(ERROR_INVALID_HANDLE));
  ClosePrinter(server);
}

TEST_F(Spooler, GetPrinterLevel2PacksStringsAndDevmode) {
  HANDLE h = OpenTW();
  auto buf = PrinterInfo(h, 2);
  auto* pi = reinterpret_cast<PRINTER_INFO_2W*>(buf.data());
  EXPECT_EQ(std::u16string(pi->pPrinterName), u"Tarnwell TW-QX");
  EXPECT_EQ(std::u16string(pi->pPortName), u"USB001");
  EXPECT_EQ(std::u16string(pi->pDriverName), u"Tarnwell Label V6");
  EXPECT_EQ(std::u16string(pi->pComment), u"front desk");
  EXPECT_TRUE(Inside(pi->pPrinterName, buf) && Inside(pi->pDriverName, buf));
  ASSERT_NE(pi->pDevMode, nullptr);
  ASSERT_TRUE(Inside(pi->pDevMode, buf));
  EXPECT_EQ(reinterpret_cast<uintptr_t>(pi->pDevMode) % 8, 0u);
  EXPECT_EQ(memcmp(pi->pDevMode, devmode.data(), devmode.size()), 0);
  EXPECT_TRUE(pi->Attributes & PRINTER_ATTRIBUTE_LOCAL);

  ASSERT_TRUE(winsim::SetPrinterDevmode(u"TARNWELL TW-QX", {}));
  buf = PrinterInfo(h, 2);
  EXPECT_EQ(reinterpret_cast<PRINTER_INFO_2W*>(buf.data())->pDevMode, nullptr);
  ClosePrinter(h);
}

TEST_F(Spooler, GetPrinterLevels1And5AndErrors) {
  HANDLE h = OpenTW();
  auto buf = PrinterInfo(h, 1);
  auto* p1 = reinterpret_cast<PRINTER_INFO_1W*>(buf.data());
  EXPECT_EQ(std::u16string(p1->pName), u"Tarnwell TW-QX");
  EXPECT_EQ(std::u16string(p1->pDescription), u"Tarnwell TW-QX,Tarnwell Label V6,hall");

  buf = PrinterInfo(h, 5);
  auto* p5 = reinterpret_cast<PRINTER_INFO_5W*>(buf.data());
  EXPECT_EQ(std::u16string(p5->pPortName), u"USB001");

  DWORD needed;
  EXPECT_FALSE(GetPrinterW(h, 4, nullptr, 0, &needed));
  EXPECT_EQ(GetLastError(), DWORD(ERROR_INVALID_LEVEL));
  EXPECT_FALSE(GetPrinterW(reinterpret_cast<HANDLE>(0x55), 2, nullptr, 0, &needed));
  EXPECT_EQ(GetLastError(), DWORD(ERROR_INVALID_HANDLE));
  ClosePrinter(h);
}

TEST_F(Spooler, GetPrinterDriverLevels2And3) {
  HANDLE h = OpenTW();
  auto buf = Query([&](LPBYTE b, DWORD n, LPDWORD need) { return GetPrinterDriverW(h, nullptr, 3, b, n, need); });
  auto* d3 = reinterpret_cast<DRIVER_INFO_3W*>(buf.data());
  EXPECT_EQ(d3->cVersion, 3u);
  EXPECT_EQ(std::u16string(d3->pEnvironment), u"Windows x64");
  EXPECT_EQ(std::u16string(d3->pDataFile), u"C:\\drv\\lbldrv6.dat");
  EXPECT_EQ(std::u16string(d3->pMonitorName), u"Tarnwell Language Monitor V6");
  // Entries end in NUL and the list in an empty entry.
  EXPECT_EQ(std::u16string(d3->pDependentFiles, 22), u"lblmon.dll\0extra.dll\0\0"s);

  buf = Query([&](LPBYTE b, DWORD n, LPDWORD need) {
    return GetPrinterDriverW(h, const_cast<LPWSTR>(u"windows X64"), 2, b, n, need);
  });
  EXPECT_EQ(std::u16string(reinterpret_cast<DRIVER_INFO_2W*>(buf.data())->pConfigFile), u"C:\\drv\\lbldrv6ui.dll");

  DWORD needed;
  EXPECT_FALSE(GetPrinterDriverW(h, const_cast<LPWSTR>(u"Windows NT x86"), 3, nullptr, 0, &needed));
  EXPECT_EQ(GetLastError(), DWORD(ERROR_UNKNOWN_PRINTER_DRIVER));
  EXPECT_FALSE(GetPrinterDriverW(h, nullptr, 1, nullptr, 0, &needed));
  EXPECT_EQ(GetLastError(), DWORD(ERROR_INVALID_LEVEL));
  ClosePrinter(h);
}

TEST_F(Spooler, PrinterDataSizeQueryAndNames) {
  const DWORD flags = 8;
  ASSERT_TRUE(winsim::SetPrinterDataValue(u"Tarnwell TW-QX", u"PPDataFlags", REG_BINARY,
                                          std::vector<uint8_t>{8, 0, 0, 0}));
  HANDLE h = OpenTW();
  DWORD type = 0, needed = 0;
  BYTE buf[8] = {};
  EXPECT_EQ(GetPrinterDataW(h, const_cast<LPWSTR>(u"Missing"), &type, buf, sizeof buf, &needed),
            DWORD(ERROR_FILE_NOT_FOUND));
  EXPECT_EQ(GetPrinterDataW(h, const_cast<LPWSTR>(u"ppdataflags"), &type, buf, 2, &needed), DWORD(ERROR_MORE_DATA));
  EXPECT_EQ(needed, 4u);
  EXPECT_EQ(type, DWORD(REG_BINARY));
  EXPECT_EQ(GetPrinterDataW(h, const_cast<LPWSTR>(u"PPDATAFLAGS"), nullptr, buf, sizeof buf, &needed),
            DWORD(ERROR_SUCCESS));
  EXPECT_EQ(memcmp(buf, &flags, 4), 0);
  EXPECT_EQ(GetPrinterDataW(reinterpret_cast<HANDLE>(0x55), const_cast<LPWSTR>(u"PPDataFlags"), nullptr, buf,
                            sizeof buf, &needed),
            DWORD(ERROR_INVALID_HANDLE));
  ClosePrinter(h);
}

TEST_F(Spooler, SetPrinterDataNeedsAdministerAccess) {
  BYTE v[] = {1, 2, 3};
  HANDLE user = OpenTW();  // no defaults: PRINTER_ACCESS_USE
  EXPECT_EQ(SetPrinterDataW(user, const_cast<LPWSTR>(u"LogFolder"), REG_SZ, v, 3), DWORD(ERROR_ACCESS_DENIED));
  EXPECT_EQ(DeletePrinterDataW(user, const_cast<LPWSTR>(u"LogFolder")), DWORD(ERROR_ACCESS_DENIED));
  HANDLE use = OpenTW(PRINTER_ACCESS_USE);
  EXPECT_EQ(SetPrinterDataW(use, const_cast<LPWSTR>(u"LogFolder"), REG_SZ, v, 3), DWORD(ERROR_ACCESS_DENIED));

  HANDLE admin = OpenTW(PRINTER_ALL_ACCESS);
  EXPECT_EQ(SetPrinterDataW(admin, const_cast<LPWSTR>(u"LogFolder"), REG_SZ, v, 3), DWORD(ERROR_SUCCESS));
  DWORD type = 0;
  std::vector<uint8_t> data;
  ASSERT_TRUE(winsim::GetPrinterDataValue(u"tarnwell tw-qx", u"LOGFOLDER", &type, &data));
  EXPECT_EQ(type, DWORD(REG_SZ));
  EXPECT_EQ(data, (std::vector<uint8_t>{1, 2, 3}));
  DWORD needed = 0;
  BYTE out[3];
  EXPECT_EQ(GetPrinterDataW(user, const_cast<LPWSTR>(u"logfolder"), &type, out, 3, &needed), DWORD(ERROR_SUCCESS))
      << "other handles see the value";

  EXPECT_EQ(DeletePrinterDataW(admin, const_cast<LPWSTR>(u"logFolder")), DWORD(ERROR_SUCCESS));
  EXPECT_EQ(DeletePrinterDataW(admin, const_cast<LPWSTR>(u"logFolder")), DWORD(ERROR_FILE_NOT_FOUND));
  EXPECT_FALSE(winsim::GetPrinterDataValue(u"Tarnwell TW-QX", u"LogFolder", nullptr, nullptr));
  for (HANDLE h : {user, use, admin}) ClosePrinter(h);
}

TEST_F(Spooler, MachineSetupRulesAndReset) {
  winsim::PrinterSpec p;
  p.name = u"TARNWELL tw-qx";
  p.driver = u"Tarnwell Label V6";
  EXPECT_FALSE(winsim::AddPrinter(p)) << "name taken";
  p.name = u"Other";
  p.driver = u"Unknown Driver";
  EXPECT_FALSE(winsim::AddPrinter(p));

  HANDLE h = OpenTW();
  winsim::Reset();
  DWORD needed;
  EXPECT_FALSE(GetPrinterW(h, 2, nullptr, 0, &needed));
  EXPECT_EQ(GetLastError(), DWORD(ERROR_INVALID_HANDLE));
  EXPECT_FALSE(OpenPrinterW(const_cast<LPWSTR>(u"Tarnwell TW-QX"), &h, nullptr));
  EXPECT_EQ(GetLastError(), DWORD(ERROR_INVALID_PRINTER_NAME));
}

TEST(UsbPortMonitor, ACallWithAClosedPortHandleIsABugNotAnOfflinePrinter) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  winsim::Reset();
  winsim::AttachUsbPrinter(std::make_shared<winsim::UsbPrinterDevice>());
  MONITOR2 pm = winsim::UsbPortMonitor();
  std::u16string name = u"USB001";
  HANDLE port = nullptr;
  ASSERT_TRUE(pm.pfnOpenPort(winsim::UsbPortMonitorHandle(), name.data(), &port));
  BYTE data[4] = {1, 2, 3, 4};
  DWORD written = 0;
  DOC_INFO_1W doc{name.data(), nullptr, nullptr};
  ASSERT_TRUE(pm.pfnStartDocPort(port, name.data(), 1, 1, reinterpret_cast<LPBYTE>(&doc)));
  ASSERT_TRUE(pm.pfnWritePort(port, data, sizeof data, &written));
  ASSERT_TRUE(pm.pfnClosePort(port));
  EXPECT_DEATH(pm.pfnWritePort(port, data, sizeof data, &written), "closed port handle");
  EXPECT_DEATH(pm.pfnClosePort(port), "closed port handle");
  // A handle that never was one is an ordinary error.
  SetLastError(0);
  EXPECT_FALSE(pm.pfnWritePort(reinterpret_cast<HANDLE>(0x7FF0), data, sizeof data, &written));
  EXPECT_EQ(GetLastError(), DWORD(ERROR_INVALID_HANDLE));
}

}  // namespace
