// Standard TCP/IP ports: add or update before the printer, read back, delete only TCP/IP records.
#include "tests/installer/engine_fixture.h"
#include "winsim/resources.h"

namespace {

using EngineTcpIp = EngineFixture;

void AddPort(const std::u16string& name, const std::u16string& host) {
  winsim::TcpIpPort p;
  p.name = name;
  p.hostAddress = host;
  winsim::AddTcpIpPortRecord(p);
}

InstallRecord TcpRecord(const WCHAR* ip, DWORD tcpPort) {
  InstallRecord r = EngineFixture::Record(TEXT("Tarnwell TW-JA"), TEXT("Net"), TEXT("IP_192.0.2.10"), kPortTypeTcpIp);
  WStrCopy(r.ipAddress, 20, ip);
  r.tcpPort = tcpPort;
  return r;
}

TEST_F(EngineTcpIp, ANewPortIsAddedThenConfiguredAndThePrinterUsesIt) {
  InstallRecord r = TcpRecord(TEXT("192.0.2.10"), 9100);
  ASSERT_TRUE(Install(r));
  EXPECT_EQ(winsim::XcvCommands(), (std::vector<std::string>{"AddPort IP_192.0.2.10", "ConfigPort IP_192.0.2.10"}));
  EXPECT_EQ(Log().rfind("Add port: IP_192.0.2.10, 192.0.2.10 ...OK\r\n"
                        "Update port: IP_192.0.2.10, 192.0.2.10 ...OK\r\nInstalling the printer driver: Net",
                        0),
            0u)
      << Log();
  auto ports = winsim::TcpIpPorts();
  ASSERT_EQ(ports.size(), 1u);
  EXPECT_EQ(ports[0].hostAddress, u"192.0.2.10");
  EXPECT_EQ(ports[0].portNumber, 9100u);
  EXPECT_EQ(ports[0].protocol, 1u);
  EXPECT_EQ(ports[0].snmpEnabled, 0u);
  EXPECT_EQ(ports[0].doubleSpool, 0u);
  auto printers = winsim::Printers();
  ASSERT_EQ(printers.size(), 1u);
  EXPECT_EQ(printers[0].port, u"IP_192.0.2.10");

  WCHAR ip[20];
  DWORD port = 0;
  ASSERT_TRUE(GetTcpIpPortConfig(TEXT("IP_192.0.2.10"), ip, &port));
  EXPECT_TRUE(WStrEq(ip, TEXT("192.0.2.10")));
  EXPECT_EQ(port, 9100u);
  EXPECT_FALSE(GetTcpIpPortConfig(TEXT("IP_198.51.100.1"), ip, &port));
}

TEST_F(EngineTcpIp, AListedPortIsOnlyUpdated) {
  AddPort(u"IP_192.0.2.10", u"192.0.2.99");
  engine.host.localPortListed = [](const WCHAR* port) { return WStrEq(port, TEXT("IP_192.0.2.10")); };
  InstallRecord r = TcpRecord(TEXT("192.0.2.10"), 9101);
  ASSERT_TRUE(Install(r));
  // Its settings are read first, to be put back should the run fail.
  EXPECT_EQ(winsim::XcvCommands(), (std::vector<std::string>{"GetConfigInfo IP_192.0.2.10", "ConfigPort IP_192.0.2.10"}));
  EXPECT_EQ(winsim::TcpIpPorts()[0].hostAddress, u"192.0.2.10");
  EXPECT_EQ(winsim::TcpIpPorts()[0].portNumber, 9101u);
}

TEST_F(EngineTcpIp, AnEmptyAddressOrPortZeroSendsNothingAndLogsNothing) {
  EXPECT_FALSE(AddTcpIpPort(engine, TEXT("IP_X"), TEXT(""), 9100));
  EXPECT_FALSE(ConfigTcpIpPort(engine, TEXT("IP_X"), TEXT("192.0.2.10"), 0));
  EXPECT_TRUE(winsim::XcvCommands().empty());
  EXPECT_EQ(Log(), "");
}

TEST_F(EngineTcpIp, OkOnlyWhenTheMonitorsStatusWordSaysSo) {
  AddPort(u"IP_192.0.2.10", u"192.0.2.10");
  EXPECT_FALSE(AddTcpIpPort(engine, TEXT("IP_192.0.2.10"), TEXT("192.0.2.10"), 9100));
  EXPECT_EQ(GetLastError(), DWORD(ERROR_ALREADY_EXISTS));
  EXPECT_FALSE(AddTcpIpPort(engine, TEXT("IP_A"), TEXT("999.1.1.1"), 9100));
  EXPECT_EQ(GetLastError(), DWORD(ERROR_INVALID_PARAMETER));
  EXPECT_FALSE(ConfigTcpIpPort(engine, TEXT("IP_192.0.2.10"), TEXT("192.0.2.10"), 70000));
  EXPECT_EQ(GetLastError(), DWORD(ERROR_INVALID_PARAMETER));
  EXPECT_FALSE(ConfigTcpIpPort(engine, TEXT("IP_NONE"), TEXT("192.0.2.11"), 9100));
  EXPECT_EQ(GetLastError(), DWORD(ERROR_UNKNOWN_PORT));
  EXPECT_EQ(Log(),
            "Add port: IP_192.0.2.10, 192.0.2.10 ...Failed\r\n"
            "Add port: IP_A, 999.1.1.1 ...Failed\r\n"
            "Update port: IP_192.0.2.10, 192.0.2.10 ...Failed\r\n"
            "Update port: IP_NONE, 192.0.2.11 ...Failed\r\n");
  EXPECT_EQ(winsim::TcpIpPorts().size(), 1u);
  EXPECT_EQ(winsim::TcpIpPorts()[0].portNumber, 9100u);
}

TEST_F(EngineTcpIp, APortStaysWhileAnotherPrinterUsesItAndTheLogSaysWhy) {
  InstallRecord a = TcpRecord(TEXT("192.0.2.10"), 9100), b = TcpRecord(TEXT("192.0.2.10"), 9100);
  WStrCopy(a.portName, 260, TEXT("192.0.2.10_9100"));
  WStrCopy(b.portName, 260, TEXT("192.0.2.10_9100"));
  WStrCopy(a.printerName, 260, TEXT("A"));
  WStrCopy(b.printerName, 260, TEXT("B"));
  ASSERT_TRUE(Install(a));
  ASSERT_TRUE(Install(b));
  EXPECT_EQ(winsim::XcvCommands(), (std::vector<std::string>{"AddPort 192.0.2.10_9100", "ConfigPort 192.0.2.10_9100",
                                                             "GetConfigInfo 192.0.2.10_9100", "ConfigPort 192.0.2.10_9100"}))
      << "the second printer's port is there already";
  ClearLog();
  engine.deletePort = true;
  std::vector<InstallRecord> first{Record(TEXT("Tarnwell TW-JA"), TEXT("A"), TEXT("192.0.2.10_9100"), 0)};
  RunWork([&] { UninstallRun(engine, first.data(), first.size()); });
  EXPECT_EQ(Log(), "Remove printer: A ...OK\r\nRemove port: 192.0.2.10_9100 ...Kept: printer B still uses it\r\n");
  EXPECT_EQ(winsim::TcpIpPorts().size(), 1u);
  ClearLog();
  std::vector<InstallRecord> second{Record(TEXT("Tarnwell TW-JA"), TEXT("B"), TEXT("192.0.2.10_9100"), 0)};
  RunWork([&] { UninstallRun(engine, second.data(), second.size()); });
  EXPECT_EQ(Log(), "Remove printer: B ...OK\r\nRemove port: 192.0.2.10_9100 ...OK\r\n");
  EXPECT_TRUE(winsim::TcpIpPorts().empty());
}

TEST_F(EngineTcpIp, AnotherPrintersPortKeepsItsAddress) {
  InstallRecord a = TcpRecord(TEXT("192.0.2.10"), 9100);
  WStrCopy(a.printerName, 260, TEXT("A"));
  ASSERT_TRUE(Install(a));
  // A second printer on that port with another address would send A's labels there: refused, A unchanged.
  for (const auto& [ip, port] : {std::pair{TEXT("192.0.2.99"), DWORD(9100)}, std::pair{TEXT("192.0.2.10"), DWORD(9101)}}) {
    ClearLog();
    InstallRecord b = TcpRecord(ip, port);
    WStrCopy(b.printerName, 260, TEXT("B"));
    DWORD error = 0;
    bool ok = true;
    RunWork([&] { ok = InstallRun(engine, b, &error); });
    EXPECT_FALSE(ok);
    EXPECT_EQ(error, DWORD(ERROR_BUSY));
    EXPECT_NE(Log().find("...Kept: printer A still uses it\r\n"), std::string::npos) << Log();
    EXPECT_NE(Log().find("Error 170: "), std::string::npos) << Log();
    const auto ports = winsim::TcpIpPorts();
    ASSERT_EQ(ports.size(), 1u);
    EXPECT_EQ(ports[0].hostAddress, u"192.0.2.10");
    EXPECT_EQ(ports[0].portNumber, 9100u);
    EXPECT_EQ(winsim::Printers().size(), 1u);
  }
  // The same address is no change: B joins A on the port.
  InstallRecord b = TcpRecord(TEXT("192.0.2.10"), 9100);
  WStrCopy(b.printerName, 260, TEXT("B"));
  EXPECT_TRUE(Install(b)) << Log();
  EXPECT_EQ(winsim::Printers().size(), 2u);
  // A itself, installed again with a new address, moves its own port.
  InstallRecord again = TcpRecord(TEXT("192.0.2.20"), 9100);
  WStrCopy(again.printerName, 260, TEXT("A"));
  RunWork([&] { ASSERT_TRUE(DoRemovePrinter(engine, TEXT("B"))); });
  EXPECT_TRUE(Install(again)) << Log();
  EXPECT_EQ(winsim::TcpIpPorts()[0].hostAddress, u"192.0.2.20");
}

TEST_F(EngineTcpIp, APortInAPrintersPoolStaysToo) {
  AddPort(u"IP_192.0.2.10", u"192.0.2.10");
  InstallRecord a = TcpRecord(TEXT("192.0.2.10"), 9100);
  WStrCopy(a.printerName, 260, TEXT("A"));
  ASSERT_TRUE(Install(a));
  // "Pool" prints to the port and to LPT1:, whichever is free.
  ASSERT_TRUE(winsim::AddPrinter({.name = u"Pool", .port = u"LPT1:,IP_192.0.2.10", .driver = u"Tarnwell TW-JA"}));
  ClearLog();
  engine.deletePort = true;
  std::vector<InstallRecord> recs{Record(TEXT("Tarnwell TW-JA"), TEXT("A"), TEXT("IP_192.0.2.10"), 0)};
  bool ok = false;
  RunWork([&] { ok = UninstallRun(engine, recs.data(), recs.size()); });
  EXPECT_TRUE(ok);
  EXPECT_EQ(Log(), "Remove printer: A ...OK\r\nRemove port: IP_192.0.2.10 ...Kept: printer Pool still uses it\r\n");
  ASSERT_EQ(winsim::TcpIpPorts().size(), 1u);
  // The monitor refuses it as well while the pool names it.
  EXPECT_FALSE(RemoveTcpIpPort(engine, TEXT("ip_192.0.2.10")));
  EXPECT_EQ(GetLastError(), DWORD(ERROR_BUSY));
  EXPECT_EQ(winsim::TcpIpPorts().size(), 1u);
}

TEST_F(EngineTcpIp, AFailedInstallRemovesThePortItMadeAndLeavesOneThatWasThereAsItWas) {
  // The package lacks a file: the run fails after making the port.
  ASSERT_TRUE(DeleteFileW(TEXT("C:\\pkg\\lblv6.inf")));
  ASSERT_TRUE(DeleteFileW(TEXT("C:\\pkg\\amd64\\lblmon.dll")));
  InstallRecord r = TcpRecord(TEXT("192.0.2.10"), 9100);
  EXPECT_FALSE(Install(r));
  EXPECT_EQ(Log(),
            "Add port: IP_192.0.2.10, 192.0.2.10 ...OK\r\n"
            "Update port: IP_192.0.2.10, 192.0.2.10 ...OK\r\n"
            "Installing the printer driver: Net, at port: IP_192.0.2.10.\r\n"
            "Failed to install the printer driver.\r\n"
            "Error 2: The system cannot find the file specified.\r\n"
            "Undoing the changes of this installation:\r\n"
            "Remove port: IP_192.0.2.10 ...OK\r\n");
  EXPECT_TRUE(winsim::TcpIpPorts().empty());

  // A port that was there keeps its address.
  ClearLog();
  AddPort(u"IP_192.0.2.10", u"192.0.2.99");
  EXPECT_FALSE(Install(r));
  EXPECT_NE(Log().find("Undoing the changes of this installation:\r\n"
                       "Update port: IP_192.0.2.10, 192.0.2.99 ...OK\r\n"),
            std::string::npos)
      << Log();
  ASSERT_EQ(winsim::TcpIpPorts().size(), 1u);
  EXPECT_EQ(winsim::TcpIpPorts()[0].hostAddress, u"192.0.2.99");

  // A printer name that is another printer's is refused before any port command.
  AddForeignDriver(u"Other", u"o.dll", u"o.dat", u"oui.dll");
  ASSERT_TRUE(winsim::AddPrinter({.name = u"Net", .port = u"FILE:", .driver = u"Other"}));
  const size_t commands = winsim::XcvCommands().size();
  EXPECT_FALSE(Install(r));
  EXPECT_EQ(winsim::XcvCommands().size(), commands);
}

TEST_F(EngineTcpIp, PortLinesAreInTheUsersLanguage) {
  winsim::SetUserUiLanguage(0x0419);  // Russian
  InstallRecord r = TcpRecord(TEXT("192.0.2.10"), 9100);
  ASSERT_TRUE(Install(r));
  EXPECT_EQ(Log().rfind("Добавление порта: IP_192.0.2.10, 192.0.2.10 ...Успешно\r\n"
                        "Обновление порта: IP_192.0.2.10, 192.0.2.10 ...Успешно\r\n",
                        0),
            0u)
      << Log();
  ClearLog();
  engine.deletePort = true;
  std::vector<InstallRecord> recs{Record(TEXT("Tarnwell TW-JA"), TEXT("Net"), TEXT("IP_192.0.2.10"), 0)};
  RunWork([&] { UninstallRun(engine, recs.data(), recs.size()); });
  EXPECT_NE(Log().find("Удаление порта: IP_192.0.2.10 ...Успешно\r\n"), std::string::npos) << Log();
  winsim::SetUserUiLanguage(0x0409);
}

TEST_F(EngineTcpIp, AnAddressIsNeverGivenToAPortOfAnotherMonitor) {
  // A port name stands for one port: "FILE:" and "LPT1:" are the local monitor's.
  for (const WCHAR* port : {TEXT("FILE:"), TEXT("LPT1:"), TEXT("lpt2:")}) {
    SCOPED_TRACE(WideToUtf8(port));
    ClearLog();
    InstallRecord r = TcpRecord(TEXT("192.0.2.10"), 9100);
    WStrCopy(r.portName, 260, port);
    EXPECT_FALSE(Install(r));
    EXPECT_NE(Log().find("Failed to install the printer driver.\r\nError 183: "), std::string::npos) << Log();
    EXPECT_EQ(Log().find("Add port"), std::string::npos) << Log();
    EXPECT_TRUE(winsim::XcvCommands().empty());
    EXPECT_TRUE(winsim::TcpIpPorts().empty());
    EXPECT_TRUE(winsim::Printers().empty());
  }
}

TEST_F(EngineTcpIp, DeleteActsOnTcpIpRecordsOnly) {
  AddPort(u"IP_192.0.2.10", u"192.0.2.10");
  InstallRecord recs[2] = {Record(TEXT("M"), TEXT("A"), TEXT("FILE:"), kPortTypeOther),
                           Record(TEXT("M"), TEXT("B"), TEXT("IP_192.0.2.10"), kPortTypeTcpIp)};
  DeleteTcpIpPort(engine, recs, 2);
  EXPECT_EQ(winsim::XcvCommands(), (std::vector<std::string>{"DeletePort IP_192.0.2.10"}));
  EXPECT_EQ(Log(), "Remove port: IP_192.0.2.10 ...OK\r\n");
  EXPECT_TRUE(winsim::TcpIpPorts().empty());
  EXPECT_EQ(PortTypeFromMonitor(TEXT("IP_192.0.2.10")), 0);
  AddPort(u"IP_192.0.2.11", u"192.0.2.11");
  EXPECT_EQ(PortTypeFromMonitor(TEXT("ip_192.0.2.11")), kPortTypeTcpIp);
  EXPECT_EQ(PortTypeFromMonitor(TEXT("FILE:")), 0);
}

}  // namespace
