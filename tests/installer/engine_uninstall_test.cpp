// Uninstall mode: printers, TCP/IP ports, the package's drivers and files, the package, the restart.
#include "tests/installer/engine_fixture.h"

namespace {

class EngineUninstall : public EngineFixture {
 protected:
  // Installs printer on port with the engine, as the uninstall tests' starting point.
  void Installed(const WCHAR* model, const WCHAR* printer, const WCHAR* port) {
    InstallRecord r = Record(model, printer, port);
    ASSERT_TRUE(Install(r));
    ClearLog();
    winsim::ClearDebugLines();
  }
  void Uninstall(std::vector<InstallRecord>& recs) {
    RunWork([&] { UninstallRun(engine, recs.data(), recs.size()); });
  }
};

TEST_F(EngineUninstall, EverythingOfAPackagePrinterOnATcpIpPortGoes) {
  winsim::TcpIpPort port;
  port.name = u"IP_192.0.2.10";
  port.hostAddress = u"192.0.2.10";
  winsim::AddTcpIpPortRecord(port);
  Installed(TEXT("Tarnwell TW-JA"), TEXT("Net"), TEXT("IP_192.0.2.10"));
  ASSERT_TRUE(Exists(u"C:\\Windows\\INF\\oem0.inf"));
  WCHAR inf[21];
  FindPackageInf(inf);
  EXPECT_TRUE(WStrEq(inf, TEXT("oem0.inf")));
  Put(u"C:\\Windows\\System32\\lblmon.dll", "MZ");
  engine.deletePort = engine.removeDriver = engine.removePackage = true;
  // As the uninstall list fills it: printer, model and port only.
  std::vector<InstallRecord> recs{Record(TEXT("Tarnwell TW-JA"), TEXT("Net"), TEXT("IP_192.0.2.10"), 0)};
  Uninstall(recs);
  EXPECT_EQ(questions, std::vector<UINT>{110});
  EXPECT_EQ(Log(),
            "Remove printer: Net ...OK\r\n"
            "Remove port: IP_192.0.2.10 ...OK\r\n"
            "Remove printer driver Tarnwell TW-JA OK. code:0\r\n"
            "Remove language monitor: Tarnwell Language Monitor V6 ...OK\r\n"
            "Delete printer driver package, inf: oem0.inf...OK\r\n");
  EXPECT_TRUE(winsim::Printers().empty());
  EXPECT_TRUE(winsim::TcpIpPorts().empty());
  EXPECT_TRUE(winsim::Drivers().empty());
  EXPECT_TRUE(WStrEq(recs[0].environment, TEXT("Windows x64")));
  for (auto f : {u"lbldrv6.dll", u"lbldrv6ui.dll", u"lbldrv6.dat", u"lblmon.dll"}) EXPECT_FALSE(Exists(driverDir + f)) << WideToUtf8(reinterpret_cast<const WCHAR*>(f));
  EXPECT_FALSE(Exists(u"C:\\Windows\\System32\\lblmon.dll"));
  EXPECT_FALSE(Exists(u"C:\\Windows\\INF\\oem0.inf"));
  EXPECT_FALSE(RebootPending());
  EXPECT_EQ(winsim::Monitors().size(), 3u) << "only the built-in monitors are left";
}

TEST_F(EngineUninstall, TheMonitorGoesWithTheLastDriverThatNamesIt) {
  Installed(TEXT("Tarnwell TW-JA"), TEXT("JA"), TEXT("FILE:"));
  Installed(TEXT("Tarnwell TW-JB"), TEXT("JB"), TEXT("LPT1:"));
  engine.removeDriver = true;
  std::vector<InstallRecord> one{Record(TEXT("Tarnwell TW-JA"), TEXT("JA"), TEXT("FILE:"))};
  Uninstall(one);
  EXPECT_EQ(Log(), "Remove printer: JA ...OK\r\nRemove printer driver Tarnwell TW-JA OK. code:0\r\n");
  EXPECT_EQ(winsim::Monitors().size(), 4u) << "TW-JB still names the monitor";
  EXPECT_TRUE(Exists(u"C:\\Windows\\System32\\lblmon.dll"));
  ClearLog();
  std::vector<InstallRecord> other{Record(TEXT("Tarnwell TW-JB"), TEXT("JB"), TEXT("LPT1:"))};
  Uninstall(other);
  EXPECT_EQ(Log(),
            "Remove printer: JB ...OK\r\n"
            "Remove printer driver Tarnwell TW-JB OK. code:0\r\n"
            "Remove language monitor: Tarnwell Language Monitor V6 ...OK\r\n");
  // Unregistered before its DLL went: the spooler's next start finds nothing it cannot load.
  EXPECT_EQ(winsim::Monitors().size(), 3u);
  EXPECT_FALSE(Exists(u"C:\\Windows\\System32\\lblmon.dll"));
  EXPECT_TRUE(winsim::MonitorsFailingToLoad().empty());
  // The spooler took the driver files with the driver.
  for (auto f : {u"lbldrv6.dll", u"lbldrv6ui.dll", u"lbldrv6.dat", u"lblmon.dll"}) EXPECT_FALSE(Exists(driverDir + f));
}

TEST_F(EngineUninstall, OnlyPrinterNotFoundCountsAsNothingToRemove) {
  EXPECT_TRUE(DoRemovePrinter(engine, TEXT("Nobody")));
  EXPECT_EQ(Log(), "Remove printer: Nobody ...Not found\r\n");
  ClearLog();
  EXPECT_TRUE(DoRemovePrinter(engine, TEXT("")));  // names no printer, and never the print server
  EXPECT_EQ(Log(), "Remove printer:  ...Not found\r\n");
  ClearLog();
  AddForeignDriver(u"Other", u"o.dll", u"o.dat", u"oui.dll");
  ASSERT_TRUE(winsim::AddPrinter({.name = u"Locked", .port = u"FILE:", .driver = u"Other", .userMayAdminister = false}));
  EXPECT_FALSE(DoRemovePrinter(engine, TEXT("Locked")));
  EXPECT_EQ(Log(), "Remove printer: Locked ...Failed\r\n");
  EXPECT_TRUE(DebugHas("DoRemovePrinter: OpenPrinter failed:5"));
}

TEST_F(EngineUninstall, QueuedJobsArePurgedBeforeTheDelete) {
  Installed(TEXT("Tarnwell TW-JA"), TEXT("Busy"), TEXT("FILE:"));
  winsim::UpdatePrinter(u"Busy", [](winsim::PrinterSpec& s) { s.queuedJobs = 3; });
  bool ok = false;
  const uint64_t took = RunWork([&] { ok = DoRemovePrinter(engine, TEXT("Busy")); });
  EXPECT_TRUE(ok);
  EXPECT_GE(took, 500u);
  EXPECT_TRUE(winsim::Printers().empty());
  EXPECT_EQ(Log(), "Remove printer: Busy ...OK\r\n");
}

TEST_F(EngineUninstall, AnotherVendorsDriverLosesNoFiles) {
  Installed(TEXT("Tarnwell TW-JA"), TEXT("Ours"), TEXT("FILE:"));
  // A foreign driver that happens to share the rendering DLL's name.
  Put(driverDir + u"other.dat", "x");
  AddForeignDriver(u"Other Printer", u"lbldrv6.dll", u"other.dat", u"lbldrv6ui.dll");
  engine.removeDriver = true;
  std::vector<InstallRecord> recs{Record(TEXT("Other Printer"), TEXT("Gone"), TEXT("FILE:"))};
  Uninstall(recs);
  EXPECT_EQ(winsim::Drivers().size(), 1u);  // ours stays
  EXPECT_TRUE(Exists(driverDir + u"other.dat"));
  EXPECT_TRUE(Exists(driverDir + u"lbldrv6.dll"));
  EXPECT_NE(Log().find("Remove printer driver Other Printer OK. code:0"), std::string::npos) << Log();
}

TEST_F(EngineUninstall, RemovingOneOfTwoModelsLeavesTheOtherPrinting) {
  Installed(TEXT("Tarnwell TW-JA"), TEXT("JA"), TEXT("FILE:"));
  Installed(TEXT("Tarnwell TW-JB"), TEXT("JB"), TEXT("LPT1:"));
  engine.removeDriver = true;
  std::vector<InstallRecord> recs{Record(TEXT("Tarnwell TW-JA"), TEXT("JA"), TEXT("FILE:"))};
  Uninstall(recs);
  auto drivers = winsim::Drivers();
  ASSERT_EQ(drivers.size(), 1u);
  EXPECT_EQ(drivers[0].name, u"Tarnwell TW-JB");
  for (auto f : {u"lbldrv6.dll", u"lbldrv6ui.dll", u"lbldrv6.dat", u"lblmon.dll"}) EXPECT_TRUE(Exists(driverDir + f)) << WideToUtf8(reinterpret_cast<const WCHAR*>(f));
}

TEST_F(EngineUninstall, ADriverNotFoundOrInUseDeletesNothing) {
  Installed(TEXT("Tarnwell TW-JA"), TEXT("JA"), TEXT("FILE:"));
  engine.removeDriver = true;
  std::vector<InstallRecord> recs{Record(TEXT("Tarnwell TW-KA_"), TEXT("Missing"), TEXT("FILE:"))};
  Uninstall(recs);
  EXPECT_NE(Log().find("Remove printer driver Tarnwell TW-KA_ Failed. code:1797\r\n"), std::string::npos) << Log();
  // Still used by the printer "JA", which was not selected.
  InstallRecord inUse = Record(TEXT("Tarnwell TW-JA"), TEXT("Unselected"), TEXT("FILE:"));
  ClearLog();
  RunWork([&] { DoRemovePrinterDriver(engine, &inUse, 1); });
  EXPECT_EQ(Log(), "Remove printer driver Tarnwell TW-JA Failed. code:3001\r\n");
  EXPECT_TRUE(Exists(driverDir + u"lbldrv6.dll"));
}

TEST_F(EngineUninstall, TheRunSaysWhetherEveryStepAskedForWasDone) {
  Installed(TEXT("Tarnwell TW-JA"), TEXT("One"), TEXT("FILE:"));
  Installed(TEXT("Tarnwell TW-JA"), TEXT("Two"), TEXT("LPT1:"));
  engine.removeDriver = true;
  bool ok = true;
  // The driver cannot go while "Two" uses it.
  std::vector<InstallRecord> one{Record(TEXT("Tarnwell TW-JA"), TEXT("One"), TEXT("FILE:"))};
  RunWork([&] { ok = UninstallRun(engine, one.data(), one.size()); });
  EXPECT_FALSE(ok) << Log();
  ClearLog();
  std::vector<InstallRecord> two{Record(TEXT("Tarnwell TW-JA"), TEXT("Two"), TEXT("LPT1:"))};
  RunWork([&] { ok = UninstallRun(engine, two.data(), two.size()); });
  EXPECT_TRUE(ok) << Log();
  // A printer that is not there counts as removed; with no printer there is no driver to name.
  ClearLog();
  std::vector<InstallRecord> nobody{Record(TEXT(""), TEXT("Nobody"), TEXT(""))};
  RunWork([&] { ok = UninstallRun(engine, nobody.data(), nobody.size()); });
  EXPECT_TRUE(ok);
  EXPECT_EQ(Log(), "Remove printer: Nobody ...Not found\r\n");
  // A printer the user may not delete.
  AddForeignDriver(u"Other", u"o.dll", u"o.dat", u"oui.dll");
  ASSERT_TRUE(winsim::AddPrinter({.name = u"Locked", .port = u"FILE:", .driver = u"Other", .userMayAdminister = false}));
  engine.removeDriver = false;
  std::vector<InstallRecord> locked{Record(TEXT("Other"), TEXT("Locked"), TEXT("FILE:"))};
  RunWork([&] { ok = UninstallRun(engine, locked.data(), locked.size()); });
  EXPECT_FALSE(ok);
}

TEST_F(EngineUninstall, LockedFilesWaitForTheRestartAndTheUserIsAsked) {
  Installed(TEXT("Tarnwell TW-JA"), TEXT("JA"), TEXT("FILE:"));
  // The monitor's DLL in the system directory is the engine's to delete; a process still holds it.
  const std::u16string monitorDll = u"C:\\Windows\\System32\\lblmon.dll";
  HANDLE locked = CreateFileW(reinterpret_cast<LPCWSTR>(monitorDll.c_str()), GENERIC_READ,
                              FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
  ASSERT_NE(locked, INVALID_HANDLE_VALUE);
  engine.removeDriver = true;
  answer = IDYES;
  std::vector<InstallRecord> recs{Record(TEXT("Tarnwell TW-JA"), TEXT("JA"), TEXT("FILE:"))};
  Uninstall(recs);
  CloseHandle(locked);
  EXPECT_TRUE(RebootPending());
  EXPECT_EQ(questions, (std::vector<UINT>{110, 134}));
  EXPECT_EQ(commands, std::vector<std::string>{"cmd.exe /c shutdown /r /t 0"});
  auto pending = winsim::PendingFileOperations();
  ASSERT_EQ(pending.size(), 1u);
  EXPECT_EQ(pending[0].from, monitorDll);
  winsim::ApplyPendingFileOperations();
  EXPECT_FALSE(Exists(monitorDll));
  // The next run starts with the flag cleared.
  std::vector<InstallRecord> none;
  Uninstall(none);
  EXPECT_FALSE(RebootPending());
}

TEST_F(EngineUninstall, WithoutOurPackageNothingIsUninstalledAndFailedIsLogged) {
  // An INF of ours by content but not by original name, and one of another provider.
  std::vector<uint8_t> inf = winsim::ReadHostFile(u"C:\\pkg\\lblv6.inf");
  Put(u"C:\\Windows\\INF\\oem3.inf", std::string(inf.begin(), inf.end()));
  Put(u"C:\\Windows\\INF\\oem4.inf", "[Version]\r\nProvider=Tarnwell\r\nClass=Image\r\n");
  WCHAR name[21];
  FindPackageInf(name);
  EXPECT_EQ(name[0], 0);
  engine.removePackage = true;
  answer = IDYES;
  std::vector<InstallRecord> none;
  Uninstall(none);
  EXPECT_EQ(Log(), "Delete printer driver package, inf: ...Failed\r\n");
  EXPECT_EQ(questions, std::vector<UINT>{110});
  EXPECT_TRUE(Exists(u"C:\\Windows\\INF\\oem3.inf"));
}

TEST_F(EngineUninstall, APackageInUseIsRemovedOnlyWhenForced) {
  // Plug and Play installs the driver from the package; it stays installed.
  std::vector<InstallRecord> none;
  WCHAR dest[MAX_PATH];
  ULONG cch = MAX_PATH;
  ASSERT_EQ(UploadPrinterDriverPackageW(nullptr, TEXT("C:\\pkg\\lblv6.inf"), nullptr, 3, nullptr, dest, &cch), S_OK);
  ASSERT_EQ(InstallPrinterDriverFromPackageW(nullptr, dest, TEXT("Tarnwell TW-JA"), nullptr, 1), S_OK);
  engine.removePackage = true;
  answer = IDNO;
  Uninstall(none);
  EXPECT_EQ(questions, (std::vector<UINT>{110, 124}));
  EXPECT_EQ(Log(), "Delete printer driver package, inf: oem0.inf...Failed\r\n");
  EXPECT_TRUE(Exists(u"C:\\Windows\\INF\\oem0.inf"));
  ClearLog();
  answer = IDYES;
  Uninstall(none);
  EXPECT_EQ(Log(), "Delete printer driver package, inf: oem0.inf...OK\r\n");
  EXPECT_FALSE(Exists(u"C:\\Windows\\INF\\oem0.inf"));
}

}  // namespace
