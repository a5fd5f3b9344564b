// Install mode on the simulated machine: files, monitor, driver record, printer, result log.
#include <cstdio>

#include "tests/installer/engine_fixture.h"
#include "winsim/devices.h"

namespace {

using EngineInstall = EngineFixture;

const winsim::DriverSpec* FindDriver(const std::vector<winsim::DriverSpec>& all, const std::u16string& name) {
  for (const auto& d : all)
    if (d.name == name) return &d;
  return nullptr;
}

TEST_F(EngineInstall, NonUsbPortInstallsFromCopiedFilesWithAnEmptyHardwareId) {
  InstallRecord r = Record(TEXT("Tarnwell TW-JA"), TEXT("Label"), TEXT("FILE:"));
  engine.setDefault = true;
  ASSERT_TRUE(Install(r));
  EXPECT_EQ(Log(), "Installing the printer driver: Label, at port: FILE:.\r\nThe printer driver is installed successfully\r\n");
  ASSERT_EQ(commands.size(), 1u);
  EXPECT_EQ(commands[0], "rundll32.exe printui.dll,PrintUIEntryDPIAware /p /n \"Label\"");
  EXPECT_EQ(winsim::DefaultPrinter(), u"Label");

  for (auto f : {u"lbldrv6.dll", u"lbldrv6ui.dll", u"lbldrv6.dat", u"lblmon.dll"}) EXPECT_TRUE(Exists(driverDir + f)) << WideToUtf8(reinterpret_cast<const WCHAR*>(f));
  auto drivers = winsim::Drivers();
  const winsim::DriverSpec* d = FindDriver(drivers, u"Tarnwell TW-JA");
  ASSERT_NE(d, nullptr);
  // The spooler names them with their folder.
  EXPECT_EQ(d->driverPath, u"C:\\Windows\\System32\\spool\\DRIVERS\\x64\\lbldrv6.dll");
  EXPECT_EQ(d->configFile, u"C:\\Windows\\System32\\spool\\DRIVERS\\x64\\lbldrv6ui.dll");
  EXPECT_EQ(d->dataFile, u"C:\\Windows\\System32\\spool\\DRIVERS\\x64\\lbldrv6.dat");
  EXPECT_EQ(d->dependentFiles, std::u16string(u"lblmon.dll\0", 11));
  EXPECT_EQ(d->monitorName, u"Tarnwell Language Monitor V6");
  EXPECT_EQ(d->hardwareId, u"");
  bool monitor = false;
  for (const auto& m : winsim::Monitors()) monitor = monitor || m.name == u"Tarnwell Language Monitor V6";
  EXPECT_TRUE(monitor);
  auto printers = winsim::Printers();
  ASSERT_EQ(printers.size(), 1u);
  EXPECT_EQ(printers[0].port, u"FILE:");
  // The package went to the driver store; the Plug and Play update found no device and did nothing.
  ASSERT_EQ(winsim::DriverPackages().size(), 1u);
  EXPECT_TRUE(Exists(u"C:\\Windows\\INF\\oem0.inf"));
  EXPECT_TRUE(DebugHas("DoUploadDriverPackage, C:\\Windows\\System32\\DriverStore"));
}

TEST_F(EngineInstall, AnExistingPrinterSkipsUploadAndCopiesAndReportsSuccess) {
  AddForeignDriver(u"Other", u"o.dll", u"o.dat", u"oui.dll");
  ASSERT_TRUE(winsim::AddPrinter({.name = u"Label", .port = u"FILE:", .driver = u"Other"}));
  InstallRecord r = Record(TEXT("Tarnwell TW-JA"), TEXT("Label"), TEXT("FILE:"));
  ASSERT_TRUE(Install(r));
  EXPECT_EQ(Log(), "Installing the printer driver: Label, at port: FILE:.\r\nThe printer driver is installed successfully\r\n");
  EXPECT_TRUE(winsim::DriverPackages().empty());
  EXPECT_FALSE(Exists(driverDir + u"lbldrv6.dll"));
  ASSERT_EQ(commands.size(), 1u);  // the properties of the existing printer
}

TEST_F(EngineInstall, UsbPortTakesTheHardwareIdOfTheListedPrinter) {
  auto usb = std::make_shared<winsim::UsbPrinterDevice>();
  usb->deviceId = "MFG:Tarnwell;CMD:TWL;MDL:TW-JA;";
  ASSERT_TRUE(winsim::AttachUsbPrinter(usb));
  char hwid[64];
  std::snprintf(hwid, sizeof hwid, "USBPRINT\\TarnwellTW-JA%04X", winsim::Crc16Arc("TarnwellTW-JA"));
  engine.host.usbHardwareId = [&](const WCHAR* port, WCHAR* out, size_t cap) {
    return WStrEq(port, TEXT("USB001")) && WStrCopy(out, cap, AnsiToWide(hwid).c_str());
  };
  InstallRecord r = Record(TEXT("Tarnwell TW-JA"), TEXT("Tarnwell TW-JA"), TEXT("USB001"), kPortTypeUsb);
  ASSERT_TRUE(Install(r));
  EXPECT_EQ(WideToUtf8(r.hardwareId), hwid);
  // Plug and Play installed the printer from the package; the file copies were not needed.
  auto printers = winsim::Printers();
  ASSERT_EQ(printers.size(), 1u);
  EXPECT_EQ(printers[0].port, u"USB001");
  const auto drivers = winsim::Drivers();
  const winsim::DriverSpec* d = FindDriver(drivers, u"Tarnwell TW-JA");
  ASSERT_NE(d, nullptr);
  EXPECT_EQ(WideToUtf8(reinterpret_cast<const WCHAR*>(d->hardwareId.c_str())), hwid);
}

TEST_F(EngineInstall, MonitorAlreadyRegisteredCountsAsRegistered) {
  InstallRecord first = Record(TEXT("Tarnwell TW-JA"), TEXT("One"), TEXT("FILE:"));
  ASSERT_TRUE(Install(first));
  EXPECT_TRUE(InstallPrinterLanguageMonitor());  // 3006 the second time
  winsim::ClearDebugLines();
  InstallRecord second = Record(TEXT("Tarnwell TW-JB"), TEXT("Two"), TEXT("LPT1:"));
  ASSERT_TRUE(Install(second));
  EXPECT_FALSE(DebugHas("InstallPrinterLanguageMonitor failed"));
  EXPECT_EQ(winsim::Printers().size(), 2u);
}

TEST_F(EngineInstall, MissingMonitorFileFailsAfterFivePollsWithoutAddingTheDriver) {
  ASSERT_TRUE(DeleteFileW(TEXT("C:\\pkg\\amd64\\lblmon.dll")));
  ASSERT_TRUE(DeleteFileW(TEXT("C:\\pkg\\lblv6.inf")));  // no upload to bring the monitor either
  InstallRecord r = Record(TEXT("Tarnwell TW-JA"), TEXT("Label"), TEXT("FILE:"));
  uint64_t took = 0;
  EXPECT_FALSE(Install(r, &took));
  EXPECT_GE(took, 5000u);
  EXPECT_TRUE(DebugHas("InstallPrinterLanguageMonitor failed, errcode:126."));
  EXPECT_TRUE(DebugHas("AddPrinter failed, errcode:1797."));
  EXPECT_TRUE(winsim::Drivers().empty());
  EXPECT_EQ(Log(), "Installing the printer driver: Label, at port: FILE:.\r\nFailed to install the printer driver.\r\n");
  EXPECT_TRUE(commands.empty());
}

TEST_F(EngineInstall, APrinterThatNeverAppearsLeavesTheDriverStepAsResult) {
  // The driver registers, but AddPrinterW refuses the unknown port: five 1 s polls, then the monitor and
  // driver step's success stands.
  InstallRecord r = Record(TEXT("Tarnwell TW-JA"), TEXT("Label"), TEXT("NOPORT:"));
  uint64_t took = 0;
  EXPECT_TRUE(Install(r, &took));
  EXPECT_GE(took, 5000u);
  EXPECT_TRUE(DebugHas("AddPrinter failed, errcode:1796."));
  EXPECT_TRUE(winsim::Printers().empty());
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
}

}  // namespace
