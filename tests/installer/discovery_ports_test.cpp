#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "common/wstr.h"
#include "installer/discovery.h"
#include "winsim/machine.h"

namespace {

PORT_INFO_2W Port(const WCHAR* name, const WCHAR* description) {
  return {const_cast<LPWSTR>(name), const_cast<LPWSTR>(TEXT("Local Port")), const_cast<LPWSTR>(description), 3, 0};
}

TEST(LocalPortClass, TestsRunInOrderAndAreCaseSensitive) {
  EXPECT_EQ(ClassifyLocalPort(TEXT("USB001"), TEXT("Standard TCP/IP Port")), kPortTypeUsb);
  EXPECT_EQ(ClassifyLocalPort(TEXT("IP_192.0.2.10"), TEXT("Standard TCP/IP Port")), kPortTypeNet);
  EXPECT_EQ(ClassifyLocalPort(TEXT("COM_NET"), TEXT("TCP/IP")), kPortTypeNet);
  EXPECT_EQ(ClassifyLocalPort(TEXT("COM1:"), TEXT("Serial Port")), kPortTypeCom);
  EXPECT_EQ(ClassifyLocalPort(TEXT("LPTCOM"), TEXT("")), kPortTypeCom);
  EXPECT_EQ(ClassifyLocalPort(TEXT("LPT1:"), TEXT("Printer Port")), kPortTypeLpt);
  EXPECT_EQ(ClassifyLocalPort(TEXT("usb001"), TEXT("tcp/ip")), kPortTypeOther);
  EXPECT_EQ(ClassifyLocalPort(TEXT("FILE:"), TEXT("Print to File")), kPortTypeOther);
}

bool OnlyCom1(const WCHAR* name) { return WStrEq(name, TEXT("COM1:")); }

TEST(LocalPorts, ComPortsThatDoNotOpenAndDuplicatesAreLeftOut) {
  winsim::Reset();
  PortLists lists;
  InitPortLists(&lists);
  auto* usb = new PortEntry{};
  WStrCopy(usb->PortName, kPortTextChars, TEXT("USB001"));
  lists.Usb = usb;
  const PORT_INFO_2W ports[] = {Port(TEXT("COM1:"), TEXT("Serial Port")), Port(TEXT("COM2:"), TEXT("Serial Port")),
                                Port(TEXT("USB001"), TEXT("Virtual printer port for USB")),
                                Port(TEXT("LPT1:"), TEXT("Printer Port")), Port(TEXT("LPT1:"), TEXT("Printer Port")),
                                Port(TEXT("FILE:"), nullptr)};
  EXPECT_EQ(AddLocalPorts(&lists, ports, 6, OnlyCom1), 3);
  std::vector<std::pair<std::string, uint16_t>> got;
  for (const PortEntry& e : CopyPortList(&lists, &PortLists::Local)) got.push_back({WideToUtf8(e.PortName), e.PortType});
  EXPECT_EQ(got, (std::vector<std::pair<std::string, uint16_t>>{
                     {"FILE:", kPortTypeOther}, {"LPT1:", kPortTypeLpt}, {"COM1:", kPortTypeCom}}));
  FreePortLists(&lists);
}

}  // namespace
