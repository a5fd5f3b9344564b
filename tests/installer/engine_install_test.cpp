// Install mode on the simulated machine: the driver from the driver store or from the package files, the
// printer, the checks before anything changes, the system's reason for a failure and the undoing of it.
#include <cstdio>
#include <new>
#include <stdexcept>

#include "tests/installer/engine_fixture.h"
#include "winsim/devices.h"

namespace {

class EngineInstall : public EngineFixture {
 protected:
  // Without the INF the driver store cannot be used: the driver comes from the package files.
  void WithoutDriverStore() { ASSERT_TRUE(DeleteFileW(TEXT("C:\\pkg\\lblv6.inf"))); }
  static std::string Bytes(const std::u16string& path) {
    const std::vector<uint8_t> b = winsim::ReadHostFile(path);
    return std::string(b.begin(), b.end());
  }
  static bool MonitorRegistered() {
    for (const auto& m : winsim::Monitors())
      if (m.name == u"Tarnwell Language Monitor V6") return true;
    return false;
  }
  // A TW-JA plugged in on USB001, listed by discovery with its hardware ID; returns that ID.
  std::string AttachTwJaOnUsb001() {
    auto usb = std::make_shared<winsim::UsbPrinterDevice>();
    usb->deviceId = "MFG:Tarnwell;CMD:TWL;MDL:TW-JA;";
    EXPECT_TRUE(winsim::AttachUsbPrinter(usb));
    char hwid[64];
    std::snprintf(hwid, sizeof hwid, "USBPRINT\\TarnwellTW-JA%04X", winsim::Crc16Arc("TarnwellTW-JA"));
    const WString wide = AnsiToWide(hwid);
    engine.host.usbHardwareId = [wide](const WCHAR* port, WCHAR* out, size_t cap) {
      return WStrEq(port, TEXT("USB001")) && WStrCopy(out, cap, wide.c_str());
    };
    return hwid;
  }
  // Nothing of the package is left on the machine.
  void ExpectNothingInstalled() {
    EXPECT_TRUE(winsim::Printers().empty());
    EXPECT_TRUE(winsim::Drivers().empty());
    EXPECT_TRUE(winsim::DriverPackages().empty());
    EXPECT_FALSE(MonitorRegistered());
    EXPECT_TRUE(winsim::TcpIpPorts().empty());
    for (auto f : {u"lbldrv6.dll", u"lbldrv6ui.dll", u"lbldrv6.dat", u"lblmon.dll"})
      EXPECT_FALSE(Exists(driverDir + f)) << WideToUtf8(std::u16string(f));
    EXPECT_FALSE(Exists(u"C:\\Windows\\System32\\lblmon.dll"));
    EXPECT_TRUE(commands.empty()) << "no properties for a printer that is not there";
  }
};

const winsim::DriverSpec* FindDriver(const std::vector<winsim::DriverSpec>& all, const std::u16string& name) {
  for (const auto& d : all)
    if (d.name == name) return &d;
  return nullptr;
}

TEST_F(EngineInstall, AFilePortPrinterGetsItsDriverFromTheDriverStore) {
  InstallRecord r = Record(TEXT("Tarnwell TW-JA"), TEXT("Label"), TEXT("FILE:"));
  engine.setDefault = true;
  ASSERT_TRUE(Install(r));
  EXPECT_EQ(Log(), "Installing the printer driver: Label, at port: FILE:.\r\nThe printer driver is installed successfully\r\n");
  ASSERT_EQ(commands.size(), 1u);
  EXPECT_EQ(commands[0], "rundll32.exe printui.dll,PrintUIEntryDPIAware /p /n \"Label\"");
  EXPECT_EQ(winsim::DefaultPrinter(), u"Label");

  // Installed from the uploaded package, as Windows installs it: the INF's version and monitor.
  ASSERT_EQ(winsim::DriverPackages().size(), 1u);
  EXPECT_TRUE(DebugHas("DoUploadDriverPackage, C:\\Windows\\System32\\DriverStore"));
  const auto drivers = winsim::Drivers();
  const winsim::DriverSpec* d = FindDriver(drivers, u"Tarnwell TW-JA");
  ASSERT_NE(d, nullptr);
  EXPECT_EQ(d->driverPath, u"lbldrv6.dll");
  EXPECT_EQ(d->configFile, u"lbldrv6ui.dll");
  EXPECT_EQ(d->dataFile, u"lbldrv6.dat");
  EXPECT_EQ(d->monitorName, u"Tarnwell Language Monitor V6");
  EXPECT_EQ(d->driverVersion, 0x07E8000200040001ull);  // DriverVer 2024.2.4.1
  EXPECT_TRUE(MonitorRegistered());
  EXPECT_TRUE(Exists(u"C:\\Windows\\System32\\lblmon.dll"));
  auto printers = winsim::Printers();
  ASSERT_EQ(printers.size(), 1u);
  EXPECT_EQ(printers[0].port, u"FILE:");
  EXPECT_EQ(printers[0].driver, u"Tarnwell TW-JA");
}

// An older version's package already in the driver store: a failed install takes out the package it
// uploaded, and only that one.
TEST_F(EngineInstall, AFailedInstallRemovesItsOwnPackageAndKeepsAnOlderOne) {
  std::vector<uint8_t> older = winsim::ReadHostFile(u"C:\\pkg\\lblv6.inf");
  ASSERT_FALSE(older.empty());
  const std::string note = "; an older build\r\n";
  older.insert(older.end(), note.begin(), note.end());
  ASSERT_TRUE(winsim::WriteHostFile(u"C:\\old\\lblv6.inf", older.data(), older.size()));
  WCHAR dest[MAX_PATH];
  ULONG cch = MAX_PATH;
  ASSERT_EQ(UploadPrinterDriverPackageW(nullptr, TEXT("C:\\old\\lblv6.inf"), nullptr, 3, nullptr, dest, &cch), S_OK);
  ASSERT_EQ(winsim::DriverPackages().size(), 1u);
  const std::u16string olderInf = winsim::DriverPackages()[0].oemInf;

  InstallRecord r = Record(TEXT("Tarnwell TW-JA"), TEXT("Label"), TEXT("NOPORT:"));
  EXPECT_FALSE(Install(r));
  const auto left = winsim::DriverPackages();
  ASSERT_EQ(left.size(), 1u) << Log();
  EXPECT_EQ(left[0].oemInf, olderInf);
  EXPECT_EQ(left[0].sourceInf, u"C:\\old\\lblv6.inf");
  EXPECT_NE(Log().find("Delete printer driver package, inf: "), std::string::npos) << Log();
  EXPECT_EQ(Log().find("Delete printer driver package, inf: " + WideToUtf8(olderInf)), std::string::npos) << Log();

  // The same package as the one in the store: nothing new was uploaded, nothing is taken out.
  ClearLog();
  ASSERT_TRUE(winsim::WriteHostFile(u"C:\\pkg\\lblv6.inf", older.data(), older.size()));
  EXPECT_FALSE(Install(r));
  EXPECT_EQ(winsim::DriverPackages().size(), 1u);
  EXPECT_EQ(Log().find("Delete printer driver package"), std::string::npos) << Log();
}

TEST_F(EngineInstall, WithoutTheDriverStoreTheFilesGiveTheDriverItsVersionAndTheMonitorItsPlace) {
  WithoutDriverStore();
  InstallRecord r = Record(TEXT("Tarnwell TW-JB"), TEXT("Label"), TEXT("LPT1:"));
  ASSERT_TRUE(Install(r));
  for (auto f : {u"lbldrv6.dll", u"lbldrv6ui.dll", u"lbldrv6.dat", u"lblmon.dll"})
    EXPECT_TRUE(Exists(driverDir + f)) << WideToUtf8(std::u16string(f));
  // The spooler loads language monitors from the system directory only.
  EXPECT_TRUE(Exists(u"C:\\Windows\\System32\\lblmon.dll"));
  EXPECT_TRUE(MonitorRegistered());
  EXPECT_TRUE(winsim::MonitorsFailingToLoad().empty());
  const auto drivers = winsim::Drivers();
  const winsim::DriverSpec* d = FindDriver(drivers, u"Tarnwell TW-JB");
  ASSERT_NE(d, nullptr);
  EXPECT_EQ(d->driverVersion, (uint64_t(2024) << 48) | (uint64_t(2) << 32) | (uint64_t(4) << 16) | 1u)
      << "the product version 2024.02.04.1, so that the upgrade page can compare it";
  EXPECT_EQ(d->dependentFiles, std::u16string(u"lblmon.dll\0", 11));
  EXPECT_EQ(d->hardwareId, u"");
  EXPECT_TRUE(winsim::DriverPackages().empty());
  // No temporary or set-aside copies are left beside the files.
  EXPECT_FALSE(Exists(driverDir + u"lbldrv6.dll.lblnew"));
  EXPECT_FALSE(Exists(driverDir + u"lbldrv6.dll.lblold"));
}

TEST_F(EngineInstall, AFailedInstallIsReportedWithTheSystemsReasonAndUndone) {
  // The driver, monitor and package go in, then the spooler refuses the port.
  InstallRecord r = Record(TEXT("Tarnwell TW-JA"), TEXT("Label"), TEXT("NOPORT:"));
  EXPECT_FALSE(Install(r));
  EXPECT_EQ(Log(),
            "Installing the printer driver: Label, at port: NOPORT:.\r\n"
            "Failed to install the printer driver.\r\n"
            "Error 1796: The specified port is unknown.\r\n"
            "Undoing the changes of this installation:\r\n"
            "Remove printer driver Tarnwell TW-JA OK. code:0\r\n"
            "Remove language monitor: Tarnwell Language Monitor V6 ...OK\r\n"
            "Delete printer driver package, inf: oem0.inf...OK\r\n");
  ExpectNothingInstalled();

  // The same from the files: the files this run put there go again.
  ClearLog();
  WithoutDriverStore();
  EXPECT_FALSE(Install(r));
  EXPECT_NE(Log().find("Error 1796: The specified port is unknown.\r\n"), std::string::npos) << Log();
  ExpectNothingInstalled();
}

TEST_F(EngineInstall, ARunBrokenOffByAnExceptionIsUndoneToo) {
  // The host runs out of memory after the run made the TCP/IP port: a failure like any other.
  engine.host.usbHardwareId = [](const WCHAR*, WCHAR*, size_t) -> bool { throw std::bad_alloc(); };
  InstallRecord r = Record(TEXT("Tarnwell TW-JA"), TEXT("Net"), TEXT("IP_192.0.2.10"), kPortTypeTcpIp);
  WStrCopy(r.ipAddress, 20, TEXT("192.0.2.10"));
  r.tcpPort = 9100;
  DWORD error = 0;
  bool ok = true;
  RunWork([&] { EXPECT_NO_THROW(ok = InstallRun(engine, r, &error)); });
  EXPECT_FALSE(ok);
  EXPECT_EQ(error, DWORD(ERROR_NOT_ENOUGH_MEMORY));
  EXPECT_NE(Log().find("Failed to install the printer driver.\r\n"
                       "Error 8: Not enough memory resources are available to process this command.\r\n"
                       "Undoing the changes of this installation:\r\n"
                       "Remove port: IP_192.0.2.10 ...OK\r\n"),
            std::string::npos)
      << Log();
  ExpectNothingInstalled();

  // Any other exception still goes to the caller's guard, after the undoing.
  ClearLog();
  engine.host.usbHardwareId = [](const WCHAR*, WCHAR*, size_t) -> bool { throw std::runtime_error("hook"); };
  RunWork([&] { EXPECT_THROW(InstallRun(engine, r, &error), std::runtime_error); });
  EXPECT_NE(Log().find("Remove port: IP_192.0.2.10 ...OK\r\n"), std::string::npos) << Log();
  ExpectNothingInstalled();
}

TEST_F(EngineInstall, WhatExistedBeforeAFailedRunStays) {
  WithoutDriverStore();
  InstallRecord first = Record(TEXT("Tarnwell TW-JA"), TEXT("First"), TEXT("FILE:"));
  ASSERT_TRUE(Install(first));
  // The package now carries other bytes; the second run replaces the files, then fails.
  for (auto f : {u"lbldrv6.dll", u"lbldrv6ui.dll", u"lblmon.dll"}) Put(u"C:\\pkg\\amd64\\" + std::u16string(f), "NEW");
  InstallRecord second = Record(TEXT("Tarnwell TW-JA"), TEXT("Second"), TEXT("NOPORT:"));
  EXPECT_FALSE(Install(second));
  for (auto f : {u"lbldrv6.dll", u"lbldrv6ui.dll", u"lblmon.dll"}) EXPECT_EQ(Bytes(driverDir + f), "MZ");
  EXPECT_EQ(Bytes(u"C:\\Windows\\System32\\lblmon.dll"), "MZ");
  ASSERT_EQ(winsim::Printers().size(), 1u);
  EXPECT_EQ(winsim::Drivers().size(), 1u);
  EXPECT_TRUE(MonitorRegistered());
  EXPECT_EQ(Log().find("Remove printer driver"), std::string::npos) << "the driver was there before:\n" << Log();
}

TEST_F(EngineInstall, APackageMissingAFileLeavesTheInstalledPrinterAsItWas) {
  WithoutDriverStore();
  InstallRecord first = Record(TEXT("Tarnwell TW-JA"), TEXT("First"), TEXT("FILE:"));
  ASSERT_TRUE(Install(first));
  Put(u"C:\\pkg\\amd64\\lbldrv6.dll", "NEW");
  ASSERT_TRUE(DeleteFileW(TEXT("C:\\pkg\\amd64\\lblmon.dll")));
  ClearLog();
  InstallRecord second = Record(TEXT("Tarnwell TW-JB"), TEXT("Second"), TEXT("LPT1:"));
  EXPECT_FALSE(Install(second));
  EXPECT_EQ(Log(),
            "Installing the printer driver: Second, at port: LPT1:.\r\n"
            "Failed to install the printer driver.\r\n"
            "Error 2: The system cannot find the file specified.\r\n");
  EXPECT_TRUE(DebugHas("Missing package file:C:\\pkg\\amd64\\lblmon.dll."));
  // The first printer's files are untouched, none deleted or replaced.
  for (auto f : {u"lbldrv6.dll", u"lbldrv6ui.dll", u"lbldrv6.dat", u"lblmon.dll"})
    EXPECT_TRUE(Exists(driverDir + f)) << WideToUtf8(std::u16string(f));
  EXPECT_EQ(Bytes(driverDir + u"lbldrv6.dll"), "MZ");
  EXPECT_EQ(winsim::Printers().size(), 1u);
  EXPECT_EQ(winsim::Drivers().size(), 1u);
}

TEST_F(EngineInstall, InputIsCheckedBeforeAnythingChanges) {
  struct Case {
    const char* what;
    InstallRecord record;
    const char* reason;
  };
  auto tcp = [](const WCHAR* ip, DWORD port) {
    InstallRecord r = Record(TEXT("Tarnwell TW-JA"), TEXT("Net"), TEXT("IP_X"), kPortTypeTcpIp);
    WStrCopy(r.ipAddress, 20, ip);
    r.tcpPort = port;
    return r;
  };
  WString longName(221, WCHAR('n'));
  // A standard TCP/IP port's record holds 63 characters of its name.
  InstallRecord longPort = tcp(TEXT("192.0.2.10"), 9100);
  WStrCopy(longPort.portName, 260, WString(64, WCHAR('p')).c_str());
  const Case cases[] = {
      {"empty name", Record(TEXT("Tarnwell TW-JA"), TEXT(""), TEXT("FILE:")), "Error 1801: The printer name is invalid."},
      {"comma", Record(TEXT("Tarnwell TW-JA"), TEXT("A,B"), TEXT("FILE:")), "Error 1801: The printer name is invalid."},
      {"backslash", Record(TEXT("Tarnwell TW-JA"), TEXT("\\\\server\\A"), TEXT("FILE:")),
       "Error 1801: The printer name is invalid."},
      {"221 characters", Record(TEXT("Tarnwell TW-JA"), longName.c_str(), TEXT("FILE:")),
       "Error 1801: The printer name is invalid."},
      {"unknown model", Record(TEXT("Acme X1"), TEXT("Label"), TEXT("FILE:")), "Error 1797: The printer driver is unknown."},
      {"no port", Record(TEXT("Tarnwell TW-JA"), TEXT("Label"), TEXT("")), "Error 1796: The specified port is unknown."},
      {"address 999.1.1.1", tcp(TEXT("999.1.1.1"), 9100), "Error 87: The parameter is incorrect."},
      {"address 192.0.2", tcp(TEXT("192.0.2"), 9100), "Error 87: The parameter is incorrect."},
      {"TCP port 0", tcp(TEXT("192.0.2.10"), 0), "Error 87: The parameter is incorrect."},
      {"TCP port 65536", tcp(TEXT("192.0.2.10"), 65536), "Error 87: The parameter is incorrect."},
      {"TCP/IP port name of 64 characters", longPort, "Error 87: The parameter is incorrect."},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    ClearLog();
    InstallRecord r = c.record;
    DWORD error = 0;
    bool ok = true;
    RunWork([&] { ok = InstallRun(engine, r, &error); });
    EXPECT_FALSE(ok);
    EXPECT_NE(error, 0u);
    EXPECT_NE(Log().find(std::string("Failed to install the printer driver.\r\n") + c.reason + "\r\n"), std::string::npos)
        << Log();
    EXPECT_TRUE(winsim::XcvCommands().empty());
    ExpectNothingInstalled();
  }
  // The limits themselves are taken.
  EXPECT_TRUE(IsValidPrinterName(WString(220, WCHAR('n')).c_str()));
  EXPECT_TRUE(IsDottedIpv4(TEXT("255.255.255.255")));
  EXPECT_FALSE(IsDottedIpv4(TEXT("1.2.3.4.5")));
  EXPECT_FALSE(IsDottedIpv4(TEXT("1..3.4")));
}

TEST_F(EngineInstall, AnExistingPrinterCountsOnlyWhenItIsTheOneAskedFor) {
  AddForeignDriver(u"Other", u"o.dll", u"o.dat", u"oui.dll");
  ASSERT_TRUE(winsim::AddPrinter({.name = u"Label", .port = u"FILE:", .driver = u"Other"}));
  InstallRecord r = Record(TEXT("Tarnwell TW-JA"), TEXT("Label"), TEXT("FILE:"));
  EXPECT_FALSE(Install(r));
  EXPECT_EQ(Log(),
            "Installing the printer driver: Label, at port: FILE:.\r\n"
            "Failed to install the printer driver.\r\n"
            "Error 1802: The printer already exists.\r\n");
  EXPECT_TRUE(commands.empty());
  ASSERT_EQ(winsim::Printers().size(), 1u);
  EXPECT_EQ(winsim::Printers()[0].driver, u"Other");
  EXPECT_TRUE(winsim::DriverPackages().empty()) << "refused before anything was uploaded";

  // A printer that is exactly the one asked for: nothing to do, reported installed.
  InstallRecord ours = Record(TEXT("Tarnwell TW-JA"), TEXT("Ours"), TEXT("LPT1:"));
  ASSERT_TRUE(Install(ours));
  ClearLog();
  winsim::ClearDebugLines();
  ASSERT_TRUE(Install(ours));
  EXPECT_EQ(Log(), "Installing the printer driver: Ours, at port: LPT1:.\r\nThe printer driver is installed successfully\r\n");
  EXPECT_FALSE(DebugHas("DoUploadDriverPackage"));
  EXPECT_EQ(commands.size(), 1u);
  // The same name on another port is another printer.
  InstallRecord moved = Record(TEXT("Tarnwell TW-JA"), TEXT("Ours"), TEXT("LPT2:"));
  EXPECT_FALSE(Install(moved));
}

TEST_F(EngineInstall, APlugAndPlayQueueIsNamedAsChosenAndNeverDoubled) {
  const std::string hwid = AttachTwJaOnUsb001();
  InstallRecord r = Record(TEXT("Tarnwell TW-JA"), TEXT("Shipping"), TEXT("USB001"), kPortTypeUsb);
  ASSERT_TRUE(Install(r)) << Log();
  EXPECT_EQ(WideToUtf8(r.hardwareId), hwid);
  // Plug and Play made the device's queue; it carries the name the user chose, and it is the only one.
  auto printers = winsim::Printers();
  ASSERT_EQ(printers.size(), 1u);
  EXPECT_EQ(printers[0].name, u"Shipping");
  EXPECT_EQ(printers[0].port, u"USB001");
  const auto drivers = winsim::Drivers();
  const winsim::DriverSpec* d = FindDriver(drivers, u"Tarnwell TW-JA");
  ASSERT_NE(d, nullptr);
  EXPECT_EQ(WideToUtf8(d->hardwareId), hwid);

  // Another run for the same printer under another name adds no second queue.
  ClearLog();
  InstallRecord again = Record(TEXT("Tarnwell TW-JA"), TEXT("Returns"), TEXT("USB001"), kPortTypeUsb);
  EXPECT_FALSE(Install(again));
  EXPECT_NE(Log().find("The printer Shipping already prints to port USB001.\r\n"), std::string::npos) << Log();
  EXPECT_EQ(winsim::Printers().size(), 1u);
}

TEST_F(EngineInstall, AModelChosenForAnotherDevicesPortGetsOneQueueOnly) {
  AttachTwJaOnUsb001();
  // The user chose TW-JB for the TW-JA on USB001: the printer is what the user chose, and nothing else.
  InstallRecord r = Record(TEXT("Tarnwell TW-JB"), TEXT("Chosen"), TEXT("USB001"), kPortTypeUsb);
  ASSERT_TRUE(Install(r)) << Log();
  auto printers = winsim::Printers();
  ASSERT_EQ(printers.size(), 1u);
  EXPECT_EQ(printers[0].name, u"Chosen");
  EXPECT_EQ(printers[0].driver, u"Tarnwell TW-JB");
  const auto drivers = winsim::Drivers();
  ASSERT_EQ(drivers.size(), 1u);
  EXPECT_EQ(drivers[0].name, u"Tarnwell TW-JB");

  // A failed run of that kind leaves nothing of its own behind either.
  InstallRecord bad = Record(TEXT("Tarnwell TW-KB_"), TEXT("Bad,Name"), TEXT("USB001"), kPortTypeUsb);
  EXPECT_FALSE(Install(bad));
  EXPECT_EQ(winsim::Printers().size(), 1u);
  EXPECT_EQ(winsim::Drivers().size(), 1u);
}

TEST_F(EngineInstall, MonitorAlreadyRegisteredCountsAsRegistered) {
  InstallRecord first = Record(TEXT("Tarnwell TW-JA"), TEXT("One"), TEXT("FILE:"));
  ASSERT_TRUE(Install(first));
  EXPECT_TRUE(InstallPrinterLanguageMonitor());  // 3006 the second time
  winsim::ClearDebugLines();
  WithoutDriverStore();
  InstallRecord second = Record(TEXT("Tarnwell TW-JB"), TEXT("Two"), TEXT("LPT1:"));
  ASSERT_TRUE(Install(second));
  EXPECT_FALSE(DebugHas("InstallPrinterLanguageMonitor failed"));
  EXPECT_EQ(winsim::Printers().size(), 2u);
}

TEST_F(EngineInstall, TheResultLogKeepsLineEndsAndThePropertiesCommandItsQuotes) {
  // A long name: the first line is cut to 100 characters and still ends its line.
  WString name(120, WCHAR('L'));
  InstallRecord r = Record(TEXT("Tarnwell TW-JA"), name.c_str(), TEXT("FILE:"));
  ASSERT_TRUE(Install(r));
  const std::string log = Log();
  const size_t end = log.find("\r\n");
  ASSERT_NE(end, std::string::npos);
  EXPECT_EQ(end + 2, 100u) << log;
  EXPECT_EQ(log.substr(end + 2), "The printer driver is installed successfully\r\n");

  // A cut never splits a character written as two UTF-16 units: the line ends before it.
  ClearLog();
  WString pairs;
  for (int i = 0; i < 50; ++i) pairs += Utf8ToWide("\xF0\x9F\x8F\xB7");  // U+1F3F7, a label
  InstallRecord tagged = Record(TEXT("Tarnwell TW-JA"), pairs.c_str(), TEXT("COM1:"));
  ASSERT_TRUE(Install(tagged));
  std::string expected = "Installing the printer driver: ";
  for (int i = 0; i < 33; ++i) expected += "\xF0\x9F\x8F\xB7";  // 31 + 66 units, then the line end
  EXPECT_EQ(Log().substr(0, Log().find("\r\n") + 2), expected + "\r\n");

  // A name with a quote cannot be passed to the properties command: none is started.
  ClearLog();
  InstallRecord quoted = Record(TEXT("Tarnwell TW-JA"), TEXT("Label \"A\""), TEXT("LPT1:"));
  ASSERT_TRUE(Install(quoted));
  EXPECT_TRUE(commands.empty());
}

TEST_F(EngineInstall, OtherArchitecturesAndOverlongPathsCopyNothing) {
  winsim::SetNativeArchitecture(6);  // IA64
  EXPECT_EQ(ArchitectureFolder(), nullptr);
  EXPECT_FALSE(CopyDriverFile(engine, TEXT("lbldrv6.dll")));
  winsim::SetNativeArchitecture(12);
  EXPECT_TRUE(WStrEq(ArchitectureFolder(), TEXT("arm64")));
  winsim::SetNativeArchitecture(9);

  WString longDir = TEXT("C:\\");
  while (longDir.size() < 250) longDir += TEXT("d");
  longDir += TEXT("\\");
  WStrCopy(engine.installerDir, MAX_PATH, longDir.c_str());
  EXPECT_FALSE(CopyDriverFile(engine, TEXT("lbldrv6ui.dll")));
  EXPECT_TRUE(DebugHas("Path too long"));
  WCHAR inf[MAX_PATH];
  EXPECT_FALSE(PackageInfPath(engine, inf));
  // An install from there fails for that reason, whatever an earlier call left as the last error.
  InstallRecord r = Record(TEXT("Tarnwell TW-JA"), TEXT("Label"), TEXT("FILE:"));
  DWORD error = 0;
  bool ok = true;
  RunWork([&] {
    SetLastError(ERROR_SUCCESS);
    ok = InstallRun(engine, r, &error);
  });
  EXPECT_FALSE(ok);
  EXPECT_EQ(error, DWORD(ERROR_FILENAME_EXCED_RANGE));
  EXPECT_NE(Log().find("Failed to install the printer driver.\r\nError 206"), std::string::npos) << Log();
  ExpectNothingInstalled();
}

TEST_F(EngineInstall, EnvironmentArgumentFollowsTheWindowsVersion) {
  EXPECT_EQ(EnvironmentArgument(), nullptr);
  winsim::SetWindowsVersion(5, 2, 2);
  EXPECT_TRUE(WStrEq(EnvironmentArgument(), TEXT("all")));
  winsim::SetWindowsVersion(6, 0, 0);
  EXPECT_EQ(EnvironmentArgument(), nullptr);
}

TEST_F(EngineInstall, InstallerDirectoryIsTheModulePathUpToItsLastBackslash) {
  WCHAR dir[MAX_PATH];
  ASSERT_TRUE(InstallerDirFromModulePath(TEXT("D:\\setup\\lblinst32.exe"), dir, MAX_PATH));
  EXPECT_TRUE(WStrEq(dir, TEXT("D:\\setup\\")));
  EXPECT_FALSE(InstallerDirFromModulePath(TEXT("lblinst32.exe"), dir, MAX_PATH));
  // The package's programs sit in its architecture folders, beside the DLLs they install.
  ASSERT_TRUE(InstallerDirFromModulePath(TEXT("D:\\lblv6\\amd64\\lblinst32.exe"), dir, MAX_PATH));
  EXPECT_TRUE(WStrEq(dir, TEXT("D:\\lblv6\\")));
  ASSERT_TRUE(InstallerDirFromModulePath(TEXT("E:\\I386\\lblinst32.exe"), dir, MAX_PATH));
  EXPECT_TRUE(WStrEq(dir, TEXT("E:\\")));
  ASSERT_TRUE(InstallerDirFromModulePath(TEXT("D:\\tools\\amd64x\\lblinst32.exe"), dir, MAX_PATH));
  EXPECT_TRUE(WStrEq(dir, TEXT("D:\\tools\\amd64x\\"))) << "only an architecture's own folder";
  ASSERT_TRUE(InstallerDirFromModulePath(TEXT("amd64\\lblinst32.exe"), dir, MAX_PATH));
  EXPECT_TRUE(WStrEq(dir, TEXT("amd64\\"))) << "no folder above it";
}

}  // namespace
