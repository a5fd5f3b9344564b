// The spooler's administration side: drivers, printers and their queues, ports, the TCP/IP port monitor,
// the default printer, the driver store, postponed deletions, profile files and version checks.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include <newdev.h>
#include <tcpxcv.h>
#include <windows.h>
#include <setupapi.h>
#include <winspool.h>

#include "winsim/devices.h"
#include "winsim/machine.h"
#include "winsim/spooler.h"

namespace {

using namespace std::string_literals;

LPWSTR W(const char16_t* s) { return const_cast<LPWSTR>(reinterpret_cast<LPCWSTR>(s)); }

void PutFile(const std::u16string& path, const std::string& text = "x") {
  ASSERT_TRUE(winsim::WriteHostFile(path, text.data(), text.size()));
}

const char16_t kDriverDir[] = u"C:\\Windows\\System32\\spool\\DRIVERS\\x64\\";

class SpoolerAdminTest : public ::testing::Test {
 protected:
  void SetUp() override {
    winsim::Reset();
    for (auto f : {u"drv.dll", u"ui.dll", u"drv.dat"}) PutFile(kDriverDir + std::u16string(f));
  }
  BOOL AddDriver8(const char16_t* name, uint64_t version = 0) {
    DRIVER_INFO_8W d{};
    d.cVersion = 3;
    d.pName = W(name);
    d.pDriverPath = W(u"drv.dll");
    d.pDataFile = W(u"drv.dat");
    d.pConfigFile = W(u"ui.dll");
    d.dwlDriverVersion = version;
    d.pszHardwareID = W(u"USBPRINT\\X");
    return AddPrinterDriverW(nullptr, 8, reinterpret_cast<LPBYTE>(&d));
  }
  HANDLE AddPrinter2(const char16_t* name, const char16_t* port, const char16_t* driver) {
    PRINTER_INFO_2W p{};
    p.pPrinterName = W(name);
    p.pPortName = W(port);
    p.pDriverName = W(driver);
    p.pPrintProcessor = W(u"WinPrint");
    p.pDatatype = W(u"RAW");
    p.Attributes = PRINTER_ATTRIBUTE_LOCAL;
    return AddPrinterW(nullptr, 2, reinterpret_cast<LPBYTE>(&p));
  }
};

TEST_F(SpoolerAdminTest, DriversAtLevelsThreeAndEightWithVersionsAndDeletion) {
  ASSERT_TRUE(AddDriver8(u"Model A", 0x07E8000200040001ull));
  DWORD needed = 0, count = 0;
  EXPECT_FALSE(EnumPrinterDriversW(nullptr, nullptr, 8, nullptr, 0, &needed, &count));
  EXPECT_EQ(GetLastError(), DWORD(ERROR_INSUFFICIENT_BUFFER));
  std::vector<BYTE> buf(needed);
  ASSERT_TRUE(EnumPrinterDriversW(nullptr, nullptr, 8, buf.data(), needed, &needed, &count));
  ASSERT_EQ(count, 1u);
  auto* d8 = reinterpret_cast<DRIVER_INFO_8W*>(buf.data());
  EXPECT_EQ(d8->dwlDriverVersion, 0x07E8000200040001ull);
  EXPECT_EQ(std::u16string(reinterpret_cast<const char16_t*>(d8->pszHardwareID)), u"USBPRINT\\X");
  EXPECT_EQ(std::u16string(reinterpret_cast<const char16_t*>(d8->pEnvironment)), u"Windows x64");

  // Missing files and unknown monitors are refused.
  DRIVER_INFO_3W d3{};
  d3.cVersion = 3;
  d3.pName = W(u"Model B");
  d3.pDriverPath = W(u"missing.dll");
  d3.pDataFile = W(u"drv.dat");
  d3.pConfigFile = W(u"ui.dll");
  EXPECT_FALSE(AddPrinterDriverW(nullptr, 3, reinterpret_cast<LPBYTE>(&d3)));
  EXPECT_EQ(GetLastError(), DWORD(ERROR_FILE_NOT_FOUND));
  d3.pDriverPath = W(u"drv.dll");
  d3.pMonitorName = W(u"No Such Monitor");
  EXPECT_FALSE(AddPrinterDriverW(nullptr, 3, reinterpret_cast<LPBYTE>(&d3)));
  EXPECT_EQ(GetLastError(), DWORD(ERROR_UNKNOWN_PRINT_MONITOR));

  // A driver in use stays; without printers it goes (its files stay).
  HANDLE h = AddPrinter2(u"P1", u"FILE:", u"Model A");
  ASSERT_NE(h, nullptr);
  ClosePrinter(h);
  EXPECT_FALSE(DeletePrinterDriverW(nullptr, nullptr, W(u"Model A")));
  EXPECT_EQ(GetLastError(), DWORD(ERROR_PRINTER_DRIVER_IN_USE));
  ASSERT_TRUE(winsim::RemovePrinter(u"P1"));
  EXPECT_TRUE(DeletePrinterDriverW(nullptr, W(u"Windows x64"), W(u"Model A")));
  EXPECT_TRUE(winsim::Drivers().empty());
  EXPECT_FALSE(winsim::ReadHostFile(kDriverDir + std::u16string(u"drv.dll")).empty());
  EXPECT_FALSE(DeletePrinterDriverW(nullptr, nullptr, W(u"Model A")));
  EXPECT_EQ(GetLastError(), DWORD(ERROR_UNKNOWN_PRINTER_DRIVER));
}

TEST_F(SpoolerAdminTest, AddPrinterChecksDriverPortAndNameThenDeleteWaitsForPurge) {
  ASSERT_TRUE(AddDriver8(u"Model A"));
  EXPECT_EQ(AddPrinter2(u"P1", u"NOPORT:", u"Model A"), nullptr);
  EXPECT_EQ(GetLastError(), DWORD(ERROR_UNKNOWN_PORT));
  EXPECT_EQ(AddPrinter2(u"P1", u"FILE:", u"Nobody"), nullptr);
  EXPECT_EQ(GetLastError(), DWORD(ERROR_UNKNOWN_PRINTER_DRIVER));
  HANDLE h = AddPrinter2(u"P1", u"FILE:", u"Model A");
  ASSERT_NE(h, nullptr);
  EXPECT_EQ(AddPrinter2(u"p1", u"FILE:", u"Model A"), nullptr);
  EXPECT_EQ(GetLastError(), DWORD(ERROR_PRINTER_ALREADY_EXISTS));

  winsim::UpdatePrinter(u"P1", [](winsim::PrinterSpec& s) { s.queuedJobs = 2; });
  DWORD needed = 0;
  GetPrinterW(h, 2, nullptr, 0, &needed);
  std::vector<BYTE> buf(needed);
  ASSERT_TRUE(GetPrinterW(h, 2, buf.data(), needed, &needed));
  EXPECT_EQ(reinterpret_cast<PRINTER_INFO_2W*>(buf.data())->cJobs, 2u);
  // With jobs queued the printer only becomes pending deletion; the purge removes it.
  ASSERT_TRUE(DeletePrinter(h));
  EXPECT_EQ(winsim::Printers().size(), 1u);
  ASSERT_TRUE(SetPrinterW(h, 0, nullptr, PRINTER_CONTROL_PURGE));
  EXPECT_TRUE(winsim::Printers().empty());
  ClosePrinter(h);
}

TEST_F(SpoolerAdminTest, AddPrinterRefusesNamesAndPortsWindowsRefuses) {
  ASSERT_TRUE(AddDriver8(u"Model A"));
  const std::u16string tooLong(221, u'n'), longest(220, u'n');
  for (const std::u16string& name : {std::u16string(), std::u16string(u"A,B"), std::u16string(u"\\\\srv\\A"), tooLong}) {
    SetLastError(0);
    EXPECT_EQ(AddPrinter2(name.c_str(), u"FILE:", u"Model A"), nullptr) << name.size();
    EXPECT_EQ(GetLastError(), DWORD(ERROR_INVALID_PRINTER_NAME)) << name.size();
  }
  HANDLE h = AddPrinter2(longest.c_str(), u"LPT1:,LPT2:", u"Model A");
  ASSERT_NE(h, nullptr) << "220 characters, and a list of ports that all exist";
  ClosePrinter(h);
  EXPECT_EQ(AddPrinter2(u"P2", u"LPT1:,NOPORT:", u"Model A"), nullptr);
  EXPECT_EQ(GetLastError(), DWORD(ERROR_UNKNOWN_PORT));
  // The system's texts for these refusals.
  WCHAR text[128];
  ASSERT_GT(FormatMessageW(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, ERROR_INVALID_PRINTER_NAME,
                           0, text, 128, nullptr),
            0u);
  EXPECT_EQ(std::u16string(reinterpret_cast<const char16_t*>(text)), u"The printer name is invalid.\r\n");
  EXPECT_EQ(FormatMessageW(FORMAT_MESSAGE_FROM_SYSTEM, nullptr, 0xE0000200, 0, text, 128, nullptr), 0u);
  EXPECT_EQ(GetLastError(), 317u);
}

TEST_F(SpoolerAdminTest, SetPrinterRenamesKeepingTheDataAndChecksAsAddPrinterDoes) {
  ASSERT_TRUE(AddDriver8(u"Model A"));
  HANDLE h = AddPrinter2(u"Old", u"FILE:", u"Model A");
  ASSERT_NE(h, nullptr);
  ClosePrinter(h);
  ASSERT_NE(h = AddPrinter2(u"Taken", u"FILE:", u"Model A"), nullptr);
  ClosePrinter(h);
  ASSERT_TRUE(winsim::SetPrinterDataValue(u"Old", u"FORMS", REG_BINARY, {1, 2, 3}));
  ASSERT_TRUE(SetDefaultPrinterW(TEXT("Old")));
  PRINTER_DEFAULTSW all{nullptr, nullptr, PRINTER_ALL_ACCESS};
  ASSERT_TRUE(OpenPrinterW(W(u"Old"), &h, &all));
  PRINTER_INFO_2W p{};
  p.pPortName = W(u"LPT1:");
  p.pDriverName = W(u"Model A");
  p.pPrinterName = W(u"Taken");
  EXPECT_FALSE(SetPrinterW(h, 2, reinterpret_cast<LPBYTE>(&p), 0));
  EXPECT_EQ(GetLastError(), DWORD(ERROR_PRINTER_ALREADY_EXISTS));
  p.pPrinterName = W(u"A\\B");
  EXPECT_FALSE(SetPrinterW(h, 2, reinterpret_cast<LPBYTE>(&p), 0));
  EXPECT_EQ(GetLastError(), DWORD(ERROR_INVALID_PRINTER_NAME));
  p.pPrinterName = W(u"New");
  ASSERT_TRUE(SetPrinterW(h, 2, reinterpret_cast<LPBYTE>(&p), 0));
  ClosePrinter(h);
  std::vector<uint8_t> forms;
  EXPECT_TRUE(winsim::GetPrinterDataValue(u"New", u"FORMS", nullptr, &forms));
  EXPECT_EQ(forms, (std::vector<uint8_t>{1, 2, 3}));
  EXPECT_EQ(winsim::DefaultPrinter(), u"New");
  EXPECT_FALSE(winsim::GetPrinterDataValue(u"Old", u"FORMS", nullptr, &forms));
  // Without the right to administer the printer, nothing changes.
  ASSERT_TRUE(OpenPrinterW(W(u"New"), &h, nullptr));
  p.pPrinterName = W(u"Newer");
  EXPECT_FALSE(SetPrinterW(h, 2, reinterpret_cast<LPBYTE>(&p), 0));
  EXPECT_EQ(GetLastError(), DWORD(ERROR_ACCESS_DENIED));
  ClosePrinter(h);
}

TEST_F(SpoolerAdminTest, TheTcpIpMonitorsStatusWordRefusesWhatItCannotTake) {
  auto port = [](const char16_t* name, const char16_t* host, DWORD number) {
    PORT_DATA_1 pd{};
    std::memcpy(pd.sztPortName, name, (std::char_traits<char16_t>::length(name) + 1) * 2);
    std::memcpy(pd.sztHostAddress, host, (std::char_traits<char16_t>::length(host) + 1) * 2);
    pd.dwVersion = 1;
    pd.dwProtocol = 1;
    pd.dwPortNumber = number;
    return pd;
  };
  auto send = [](HANDLE xcv, const WCHAR* command, void* in, DWORD size) {
    BYTE out[260];
    DWORD needed = 0, status = 0xFFFF;
    EXPECT_TRUE(XcvDataW(xcv, command, static_cast<PBYTE>(in), size, out, sizeof out, &needed, &status));
    return status;
  };
  HANDLE user = nullptr, admin = nullptr;
  PRINTER_DEFAULTSW administer{nullptr, nullptr, SERVER_ACCESS_ADMINISTER};
  ASSERT_TRUE(OpenPrinterW(W(u",XcvMonitor Standard TCP/IP Port"), &user, nullptr));
  ASSERT_TRUE(OpenPrinterW(W(u",XcvMonitor Standard TCP/IP Port"), &admin, &administer));
  PORT_DATA_1 good = port(u"P1", u"192.0.2.10", 9100);
  EXPECT_EQ(send(user, TEXT("AddPort"), &good, sizeof good), DWORD(ERROR_ACCESS_DENIED));
  EXPECT_EQ(send(admin, TEXT("AddPort"), nullptr, 0), DWORD(ERROR_INVALID_DATA));
  PORT_DATA_1 v2 = good;
  v2.dwVersion = 2;
  EXPECT_EQ(send(admin, TEXT("AddPort"), &v2, sizeof v2), DWORD(ERROR_INVALID_LEVEL));
  struct Bad {
    const char16_t* name;
    const char16_t* host;
    DWORD number;
  };
  for (const Bad& b : {Bad{u"P1", u"192.0.2.10", 0}, Bad{u"P1", u"192.0.2.10", 65536}, Bad{u"P1", u"999.1.1.1", 9100},
                       Bad{u"P1", u"192.0.2", 9100}, Bad{u"P1", u"two words", 9100}, Bad{u"P1", u"", 9100},
                       Bad{u"", u"192.0.2.10", 9100}, Bad{u"A,B", u"192.0.2.10", 9100}}) {
    PORT_DATA_1 pd = port(b.name, b.host, b.number);
    EXPECT_EQ(send(admin, TEXT("AddPort"), &pd, sizeof pd), DWORD(ERROR_INVALID_PARAMETER))
        << std::string(b.host, b.host + std::char_traits<char16_t>::length(b.host)) << " " << b.number;
  }
  PORT_DATA_1 named = port(u"P2", u"printer-2.example", 9100);
  EXPECT_EQ(send(admin, TEXT("AddPort"), &named, sizeof named), 0u) << "a host name";
  EXPECT_EQ(send(admin, TEXT("AddPort"), &good, sizeof good), 0u);
  EXPECT_EQ(send(admin, TEXT("AddPort"), &good, sizeof good), DWORD(ERROR_ALREADY_EXISTS));
  PORT_DATA_1 missing = port(u"P9", u"192.0.2.10", 9100);
  EXPECT_EQ(send(admin, TEXT("ConfigPort"), &missing, sizeof missing), DWORD(ERROR_UNKNOWN_PORT));
  // A port a printer prints to cannot go.
  ASSERT_TRUE(AddDriver8(u"Model A"));
  HANDLE h = AddPrinter2(u"On P1", u"P1", u"Model A");
  ASSERT_NE(h, nullptr);
  ClosePrinter(h);
  DELETE_PORT_DATA_1 del{};
  std::memcpy(del.psztPortName, u"P1", 6);
  del.dwVersion = 1;
  EXPECT_EQ(send(admin, TEXT("DeletePort"), &del, sizeof del), DWORD(ERROR_BUSY));
  EXPECT_EQ(winsim::TcpIpPorts().size(), 2u);
  ClosePrinter(user);
  ClosePrinter(admin);
}

TEST_F(SpoolerAdminTest, MonitorsLoadFromTheSystemDirectoryAndAreDeletedOnlyWhenUnused) {
  PutFile(kDriverDir + std::u16string(u"other.dll"));
  MONITOR_INFO_2W m{W(u"Other Monitor"), nullptr, W(u"other.dll")};
  EXPECT_FALSE(AddMonitorW(nullptr, 2, reinterpret_cast<LPBYTE>(&m)));
  EXPECT_EQ(GetLastError(), DWORD(ERROR_MOD_NOT_FOUND)) << "the spooler does not look in the driver directory";
  EXPECT_FALSE(DeleteMonitorW(nullptr, nullptr, W(u"Other Monitor")));
  EXPECT_EQ(GetLastError(), DWORD(ERROR_UNKNOWN_PRINT_MONITOR));
  EXPECT_FALSE(DeleteMonitorW(nullptr, nullptr, W(u"Local Port")));
  EXPECT_EQ(GetLastError(), DWORD(ERROR_PRINT_MONITOR_IN_USE));
  EXPECT_TRUE(winsim::MonitorsFailingToLoad().empty());
}

TEST_F(SpoolerAdminTest, DeletePrinterDriverExTakesTheFilesNoOtherDriverUses) {
  ASSERT_TRUE(AddDriver8(u"Model A"));
  PutFile(kDriverDir + std::u16string(u"b.dll"));
  DRIVER_INFO_3W b{};
  b.cVersion = 3;
  b.pName = W(u"Model B");
  b.pDriverPath = W(u"b.dll");
  b.pDataFile = W(u"drv.dat");  // shared with Model A
  b.pConfigFile = W(u"ui.dll");
  ASSERT_TRUE(AddPrinterDriverW(nullptr, 3, reinterpret_cast<LPBYTE>(&b)));
  // Reported with the driver directory, as the spooler keeps them.
  DWORD needed = 0, count = 0;
  EnumPrinterDriversW(nullptr, nullptr, 3, nullptr, 0, &needed, &count);
  std::vector<BYTE> buf(needed);
  ASSERT_TRUE(EnumPrinterDriversW(nullptr, nullptr, 3, buf.data(), needed, &needed, &count));
  EXPECT_EQ(std::u16string(reinterpret_cast<const char16_t*>(reinterpret_cast<DRIVER_INFO_3W*>(buf.data())->pDataFile)),
            kDriverDir + std::u16string(u"drv.dat"));

  EXPECT_FALSE(DeletePrinterDriverExW(nullptr, nullptr, W(u"Model B"), DPD_DELETE_UNUSED_FILES | DPD_DELETE_SPECIFIC_VERSION, 2));
  EXPECT_EQ(GetLastError(), DWORD(ERROR_UNKNOWN_PRINTER_DRIVER)) << "no version-2 driver of that name";
  ASSERT_TRUE(DeletePrinterDriverExW(nullptr, nullptr, W(u"Model B"), DPD_DELETE_UNUSED_FILES | DPD_DELETE_SPECIFIC_VERSION, 3));
  EXPECT_TRUE(winsim::ReadHostFile(kDriverDir + std::u16string(u"b.dll")).empty());
  EXPECT_FALSE(winsim::ReadHostFile(kDriverDir + std::u16string(u"drv.dat")).empty()) << "Model A still uses it";
  EXPECT_FALSE(winsim::ReadHostFile(kDriverDir + std::u16string(u"ui.dll")).empty());
  ASSERT_TRUE(DeletePrinterDriverExW(nullptr, nullptr, W(u"Model A"), 0, 0));
  EXPECT_FALSE(winsim::ReadHostFile(kDriverDir + std::u16string(u"drv.dll")).empty()) << "no flag: files stay";
}

TEST_F(SpoolerAdminTest, PortsOfEveryMonitorAndTheTcpIpMonitorsRecords) {
  auto usb = std::make_shared<winsim::UsbPrinterDevice>();
  ASSERT_TRUE(winsim::AttachUsbPrinter(usb));
  PRINTER_DEFAULTSW admin{nullptr, nullptr, SERVER_ACCESS_ADMINISTER};
  HANDLE xcv = nullptr;
  ASSERT_TRUE(OpenPrinterW(W(u",XcvMonitor Standard TCP/IP Port"), &xcv, &admin));
  PORT_DATA_1 pd{};
  std::u16string name = u"IP_192.0.2.10", host = u"192.0.2.10";
  std::memcpy(pd.sztPortName, name.c_str(), (name.size() + 1) * 2);
  std::memcpy(pd.sztHostAddress, host.c_str(), (host.size() + 1) * 2);
  pd.dwVersion = 1;
  pd.dwProtocol = 1;
  pd.dwPortNumber = 9100;
  BYTE out[260];
  DWORD needed = 0, status = 1;
  ASSERT_TRUE(XcvDataW(xcv, TEXT("AddPort"), reinterpret_cast<PBYTE>(&pd), sizeof pd, out, sizeof out, &needed, &status));
  EXPECT_EQ(status, 0u);
  ASSERT_TRUE(XcvDataW(xcv, TEXT("AddPort"), reinterpret_cast<PBYTE>(&pd), sizeof pd, out, sizeof out, &needed, &status));
  EXPECT_EQ(status, DWORD(ERROR_ALREADY_EXISTS));  // the call succeeds, the status word refuses
  pd.dwPortNumber = 9101;
  ASSERT_TRUE(XcvDataW(xcv, TEXT("ConfigPort"), reinterpret_cast<PBYTE>(&pd), sizeof pd, out, sizeof out, &needed, &status));
  EXPECT_EQ(status, 0u);

  DWORD count = 0;
  EnumPortsW(nullptr, 2, nullptr, 0, &needed, &count);
  std::vector<BYTE> buf(needed);
  ASSERT_TRUE(EnumPortsW(nullptr, 2, buf.data(), needed, &needed, &count));
  auto* ports = reinterpret_cast<PORT_INFO_2W*>(buf.data());
  std::u16string usbMonitor, tcpMonitor, fileMonitor, lptDescription, comDescription;
  for (DWORD i = 0; i < count; ++i) {
    std::u16string n = reinterpret_cast<const char16_t*>(ports[i].pPortName);
    std::u16string m = reinterpret_cast<const char16_t*>(ports[i].pMonitorName);
    if (n == u"USB001") usbMonitor = m;
    if (n == name) tcpMonitor = m;
    if (n == u"FILE:") fileMonitor = m;
    if (n == u"LPT1:") lptDescription = reinterpret_cast<const char16_t*>(ports[i].pDescription);
    if (n == u"COM2:") comDescription = reinterpret_cast<const char16_t*>(ports[i].pDescription);
  }
  EXPECT_EQ(usbMonitor, u"USB Monitor");
  EXPECT_EQ(tcpMonitor, u"Standard TCP/IP Port");
  EXPECT_EQ(fileMonitor, u"Local Port");
  EXPECT_EQ(lptDescription, u"Printer Port");  // discovery tells local ports apart by these
  EXPECT_EQ(comDescription, u"Serial Port");

  // Read back through the port's own transceive handle.
  HANDLE port = nullptr;
  ASSERT_TRUE(OpenPrinterW(W(u",XcvPort IP_192.0.2.10"), &port, &admin));
  CONFIG_INFO_DATA_1 ci{};
  ci.dwVersion = 1;
  PORT_DATA_1 answer{};
  ASSERT_TRUE(XcvDataW(port, TEXT("GetConfigInfo"), reinterpret_cast<PBYTE>(&ci), sizeof ci,
                       reinterpret_cast<PBYTE>(&answer), sizeof answer, &needed, &status));
  EXPECT_EQ(status, 0u);
  EXPECT_EQ(answer.dwPortNumber, 9101u);
  EXPECT_EQ(std::u16string(reinterpret_cast<const char16_t*>(answer.sztHostAddress)), host);
  ClosePrinter(port);

  DELETE_PORT_DATA_1 del{};
  std::memcpy(del.psztPortName, name.c_str(), (name.size() + 1) * 2);
  del.dwVersion = 1;
  ASSERT_TRUE(XcvDataW(xcv, TEXT("DeletePort"), reinterpret_cast<PBYTE>(&del), sizeof del, out, sizeof out, &needed, &status));
  EXPECT_EQ(status, 0u);
  EXPECT_TRUE(winsim::TcpIpPorts().empty());
  EXPECT_FALSE(OpenPrinterW(W(u",XcvPort IP_192.0.2.10"), &port, &admin));
  ClosePrinter(xcv);
}

TEST_F(SpoolerAdminTest, DefaultPrinterIsSetByNameAndClearedWithThePrinter) {
  ASSERT_TRUE(AddDriver8(u"Model A"));
  HANDLE h = AddPrinter2(u"Label", u"FILE:", u"Model A");
  ASSERT_NE(h, nullptr);
  EXPECT_FALSE(SetDefaultPrinterW(TEXT("Nobody")));
  ASSERT_TRUE(SetDefaultPrinterW(TEXT("label")));
  WCHAR name[64];
  DWORD cch = 64;
  ASSERT_TRUE(GetDefaultPrinterW(name, &cch));
  EXPECT_EQ(std::u16string(reinterpret_cast<const char16_t*>(name)), u"Label");
  ASSERT_TRUE(DeletePrinter(h));
  ClosePrinter(h);
  EXPECT_EQ(winsim::DefaultPrinter(), u"");
}

TEST_F(SpoolerAdminTest, DriverStoreNamesOemInfsAndRefusesAPackageInUseUnlessForced) {
  const std::string inf =
      "[Version]\r\nProvider=%P%\r\nClass=Printer\r\nDriverVer=02/04/2024,2024.2.4.1\r\n"
      "[Manufacturer]\r\n%P%=T,NTamd64\r\n[T.NTamd64]\r\n\"T One\" = S1, USBPRINT\\TOne1234\r\n"
      "[S1]\r\nDataSection=D\r\n[D]\r\nDriverFile=drv.dll\r\nConfigFile=ui.dll\r\nDataFile=drv.dat\r\n"
      "[Strings]\r\nP=\"T\"\r\n";
  PutFile(u"C:\\src\\pkg.inf", inf);
  for (auto f : {u"drv.dll", u"ui.dll", u"drv.dat"}) PutFile(u"C:\\src\\amd64\\" + std::u16string(f));
  WCHAR dest[MAX_PATH];
  ULONG cch = MAX_PATH;
  ASSERT_EQ(UploadPrinterDriverPackageW(nullptr, TEXT("C:\\src\\pkg.inf"), nullptr, 3, nullptr, dest, &cch), S_OK);
  EXPECT_FALSE(winsim::ReadHostFile(u"C:\\Windows\\INF\\oem0.inf").empty());
  cch = MAX_PATH;
  ASSERT_EQ(UploadPrinterDriverPackageW(nullptr, TEXT("C:\\src\\pkg.inf"), nullptr, 3, nullptr, dest, &cch), S_OK);
  EXPECT_EQ(winsim::DriverPackages().size(), 1u);  // the same INF keeps its name

  WCHAR provider[50];
  GetPrivateProfileStringW(TEXT("Version"), TEXT("Provider"), TEXT("-"), provider, 50, TEXT("C:\\Windows\\INF\\oem0.inf"));
  EXPECT_EQ(std::u16string(reinterpret_cast<const char16_t*>(provider)), u"%P%");  // no string substitution

  ASSERT_EQ(InstallPrinterDriverFromPackageW(nullptr, dest, TEXT("T One"), nullptr, 1), S_OK);
  auto drivers = winsim::Drivers();
  ASSERT_EQ(drivers.size(), 1u);
  EXPECT_EQ(drivers[0].driverVersion, 0x07E8000200040001ull);
  EXPECT_NE(InstallPrinterDriverFromPackageW(nullptr, dest, TEXT("T Two"), nullptr, 1), S_OK);

  EXPECT_FALSE(SetupUninstallOEMInfW(TEXT("oem0.inf"), 0, nullptr));
  EXPECT_EQ(GetLastError(), DWORD(ERROR_INF_IN_USE_BY_DEVICES));
  EXPECT_TRUE(SetupUninstallOEMInfW(TEXT("oem0.inf"), SUOI_FORCEDELETE, nullptr));
  EXPECT_TRUE(winsim::ReadHostFile(u"C:\\Windows\\INF\\oem0.inf").empty());
  EXPECT_FALSE(SetupUninstallOEMInfW(TEXT(""), 0, nullptr));
}

TEST_F(SpoolerAdminTest, PlugAndPlayMatchesAttachedPrintersOnly) {
  const std::string inf =
      "[Version]\r\nProvider=T\r\nClass=Printer\r\n[Manufacturer]\r\nT=T,NTamd64\r\n[T.NTamd64]\r\n"
      "\"Tarnwell TW-JA\" = S1, USBPRINT\\TarnwellTW-JA" +
      std::string([] {
        char b[8];
        std::snprintf(b, sizeof b, "%04X", winsim::Crc16Arc("TarnwellTW-JA"));
        return std::string(b);
      }()) +
      "\r\n[S1]\r\nDataSection=D\r\n[D]\r\nDriverFile=drv.dll\r\nConfigFile=ui.dll\r\nDataFile=drv.dat\r\n";
  PutFile(u"C:\\src\\pkg.inf", inf);
  for (auto f : {u"drv.dll", u"ui.dll", u"drv.dat"}) PutFile(u"C:\\src\\amd64\\" + std::u16string(f));
  char hwid[64];
  std::snprintf(hwid, sizeof hwid, "USBPRINT\\TarnwellTW-JA%04X", winsim::Crc16Arc("TarnwellTW-JA"));
  std::u16string id(hwid, hwid + std::strlen(hwid));
  EXPECT_FALSE(UpdateDriverForPlugAndPlayDevicesW(nullptr, reinterpret_cast<LPCWSTR>(id.c_str()),
                                                  TEXT("C:\\src\\pkg.inf"), INSTALLFLAG_FORCE, nullptr));
  auto usb = std::make_shared<winsim::UsbPrinterDevice>();
  usb->deviceId = "MFG:Tarnwell;CMD:TWL;MDL:TW-JA;";
  ASSERT_TRUE(winsim::AttachUsbPrinter(usb));
  ASSERT_TRUE(UpdateDriverForPlugAndPlayDevicesW(nullptr, reinterpret_cast<LPCWSTR>(id.c_str()),
                                                 TEXT("C:\\src\\pkg.inf"), INSTALLFLAG_FORCE, nullptr));
  auto printers = winsim::Printers();
  ASSERT_EQ(printers.size(), 1u);
  EXPECT_EQ(printers[0].port, u"USB001");
  EXPECT_EQ(printers[0].driver, u"Tarnwell TW-JA");
  EXPECT_FALSE(UpdateDriverForPlugAndPlayDevicesW(nullptr, TEXT(""), TEXT("C:\\src\\pkg.inf"), 1, nullptr));
}

TEST_F(SpoolerAdminTest, PostponedDeletionsProfilesAndVersions) {
  PutFile(u"C:\\f.dll");
  ASSERT_TRUE(MoveFileExW(TEXT("C:\\f.dll"), nullptr, MOVEFILE_DELAY_UNTIL_REBOOT));
  ASSERT_EQ(winsim::PendingFileOperations().size(), 1u);
  EXPECT_FALSE(winsim::ReadHostFile(u"C:\\f.dll").empty());
  winsim::ApplyPendingFileOperations();
  EXPECT_EQ(GetFileAttributesW(TEXT("C:\\f.dll")), INVALID_FILE_ATTRIBUTES);

  PutFile(u"C:\\a.ini", "; c\r\n[One]\r\nKey = \"v 1\"\r\n[Two]\r\nKey=two\r\n");
  WCHAR buf[4];
  EXPECT_EQ(GetPrivateProfileStringW(TEXT("two"), TEXT("KEY"), TEXT(""), buf, 4, TEXT("C:\\a.ini")), 3u);
  EXPECT_EQ(GetPrivateProfileStringW(TEXT("One"), TEXT("Key"), TEXT(""), buf, 4, TEXT("C:\\a.ini")), 3u);  // cut
  EXPECT_EQ(std::u16string(reinterpret_cast<const char16_t*>(buf)), u"v 1");
  EXPECT_EQ(GetPrivateProfileStringW(TEXT("One"), TEXT("None"), TEXT("d"), buf, 4, TEXT("C:\\a.ini")), 1u);

  OSVERSIONINFOEXW v{};
  v.dwOSVersionInfoSize = sizeof v;
  v.dwMajorVersion = 6;
  DWORDLONG mask = 0;
  mask = VerSetConditionMask(mask, VER_MAJORVERSION, VER_GREATER_EQUAL);
  mask = VerSetConditionMask(mask, VER_MINORVERSION, VER_GREATER_EQUAL);
  mask = VerSetConditionMask(mask, VER_SERVICEPACKMAJOR, VER_GREATER_EQUAL);
  const DWORD types = VER_MAJORVERSION | VER_MINORVERSION | VER_SERVICEPACKMAJOR;
  EXPECT_TRUE(VerifyVersionInfoW(&v, types, mask));
  winsim::SetWindowsVersion(5, 1, 3);
  EXPECT_FALSE(VerifyVersionInfoW(&v, types, mask));
  winsim::SetWindowsVersion(6, 0, 0);
  EXPECT_TRUE(VerifyVersionInfoW(&v, types, mask));

  SYSTEM_INFO si{};
  GetNativeSystemInfo(&si);
  EXPECT_EQ(si.wProcessorArchitecture, PROCESSOR_ARCHITECTURE_AMD64);
}

}  // namespace
