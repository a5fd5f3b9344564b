// Standard TCP/IP ports: add or update before the printer, read back, delete only TCP/IP records.
#include "tests/installer/engine_fixture.h"

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
  EXPECT_EQ(winsim::XcvCommands(), (std::vector<std::string>{"ConfigPort IP_192.0.2.10"}));
  EXPECT_EQ(winsim::TcpIpPorts()[0].hostAddress, u"192.0.2.10");
  EXPECT_EQ(winsim::TcpIpPorts()[0].portNumber, 9101u);
}

TEST_F(EngineTcpIp, AnEmptyAddressOrPortZeroSendsNothingAndLogsNothing) {
  EXPECT_FALSE(AddTcpIpPort(engine, TEXT("IP_X"), TEXT(""), 9100));
  EXPECT_FALSE(ConfigTcpIpPort(engine, TEXT("IP_X"), TEXT("192.0.2.10"), 0));
  EXPECT_TRUE(winsim::XcvCommands().empty());
  EXPECT_EQ(Log(), "");
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
