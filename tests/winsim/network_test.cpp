#include "winsim/network.h"

#include <gtest/gtest.h>

#include <atomic>
#include <thread>
#include <vector>

#include <iphlpapi.h>
#include <winsock2.h>

#include "winsim/machine.h"

namespace {

class SimulatedNetwork : public ::testing::Test {
 protected:
  void SetUp() override {
    winsim::Reset();
    winsim::AddNetworkAdapter({});  // 192.0.2.1/24
    WSADATA wsa;
    ASSERT_EQ(WSAStartup(MAKEWORD(1, 1), &wsa), 0);
    EXPECT_EQ(wsa.wVersion, MAKEWORD(1, 1));
  }
  void TearDown() override {
    WSACleanup();
    winsim::Reset();
  }
  static sockaddr_in Addr(const char* ip, USHORT port) {
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_port = htons(port);
    a.sin_addr.s_addr = inet_addr(ip);
    return a;
  }
  static SOCKET Bound(const char* ip, USHORT port) {
    SOCKET s = socket(AF_INET, SOCK_DGRAM, IPPROTO_UDP);
    sockaddr_in a = Addr(ip, port);
    EXPECT_EQ(bind(s, reinterpret_cast<sockaddr*>(&a), sizeof a), 0);
    return s;
  }
};

TEST_F(SimulatedNetwork, BindAcceptsOnlyLocalAddressesAndFreePorts) {
  SOCKET a = Bound("192.0.2.1", 4001);
  SOCKET b = socket(AF_INET, SOCK_DGRAM, IPPROTO_UDP);
  sockaddr_in same = Addr("192.0.2.1", 4001), foreign = Addr("203.0.113.5", 4001);
  EXPECT_EQ(bind(b, reinterpret_cast<sockaddr*>(&same), sizeof same), SOCKET_ERROR);
  EXPECT_EQ(WSAGetLastError(), WSAEADDRINUSE);
  EXPECT_EQ(bind(b, reinterpret_cast<sockaddr*>(&foreign), sizeof foreign), SOCKET_ERROR);
  EXPECT_EQ(WSAGetLastError(), WSAEADDRNOTAVAIL);
  EXPECT_EQ(socket(AF_INET, SOCK_STREAM, IPPROTO_TCP), INVALID_SOCKET);
  EXPECT_EQ(closesocket(a), 0);
  EXPECT_EQ(closesocket(a), SOCKET_ERROR);
  EXPECT_EQ(WSAGetLastError(), WSAENOTSOCK);
  closesocket(b);
}

TEST_F(SimulatedNetwork, BroadcastNeedsSoBroadcastAndReachesPrintersOnTheSubnet) {
  auto near = winsim::AddNetworkPrinter("192.0.2.10", "TW-JA");
  auto far = winsim::AddNetworkPrinter("198.51.100.10", "TW-JA");
  SOCKET s = Bound("192.0.2.1", 4001);
  const uint8_t request[32] = {0x00, 0x20, 0x00, 0x01, 0x00, 0x01, 0x08, 0x00, 0x00, 0x02, 0x00,
                               0x00, 0x00, 0x06, 0x00, 0x00, 0x01, 0x00, 0x00, 0x00, 0x00, 0x00,
                               0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0x00, 0x00, 0x00, 0x00};
  sockaddr_in to = Addr("255.255.255.255", 22368);
  auto send = [&] {
    return sendto(s, reinterpret_cast<const char*>(request), 32, 0, reinterpret_cast<sockaddr*>(&to), sizeof to);
  };
  EXPECT_EQ(send(), SOCKET_ERROR);
  EXPECT_EQ(WSAGetLastError(), WSAEACCES);
  BOOL on = TRUE;
  ASSERT_EQ(setsockopt(s, SOL_SOCKET, SO_BROADCAST, reinterpret_cast<const char*>(&on), sizeof on), 0);
  EXPECT_EQ(send(), 32);
  EXPECT_EQ(near->requestsSeen, 1);
  EXPECT_EQ(far->requestsSeen, 0);
  char buf[1024];
  sockaddr_in from{};
  int fromLen = sizeof from;
  ASSERT_EQ(recvfrom(s, buf, sizeof buf, 0, reinterpret_cast<sockaddr*>(&from), &fromLen), 116);
  EXPECT_EQ(from.sin_addr.s_addr, inet_addr("192.0.2.10"));
  EXPECT_EQ(ntohs(from.sin_port), 22368);
  EXPECT_EQ(uint8_t(buf[44]), 192);
  EXPECT_STREQ(buf + 52, "TW-JA");
  // A datagram larger than the buffer is cut and reported.
  send();
  EXPECT_EQ(recvfrom(s, buf, 100, 0, nullptr, nullptr), SOCKET_ERROR);
  EXPECT_EQ(WSAGetLastError(), WSAEMSGSIZE);
  closesocket(s);
}

TEST_F(SimulatedNetwork, ClosingASocketEndsABlockingReceiveOnAnotherThread) {
  SOCKET s = Bound("192.0.2.1", 4001);
  std::atomic<int> result{0}, error{0};
  std::thread t([&] {
    char buf[64];
    result = recvfrom(s, buf, sizeof buf, 0, nullptr, nullptr);
    error = WSAGetLastError();
  });
  while (winsim::BlockedReceives() == 0) std::this_thread::yield();
  EXPECT_EQ(closesocket(s), 0);
  t.join();
  EXPECT_EQ(result, SOCKET_ERROR);
  EXPECT_EQ(error, WSAEINTR);
}

TEST(SimulatedAdapters, GetAdaptersInfoAsksForItsSizeFirst) {
  winsim::Reset();
  ULONG size = 0;
  EXPECT_EQ(GetAdaptersInfo(nullptr, &size), ULONG(ERROR_NO_DATA));
  winsim::AddNetworkAdapter({"{A}", "Wired", 6, {{"192.0.2.1", "255.255.255.0"}, {"192.0.2.2", "255.255.255.0"}}});
  winsim::AddNetworkAdapter({"{B}", "Wireless", 71, {}});
  ASSERT_EQ(GetAdaptersInfo(nullptr, &size), ULONG(ERROR_BUFFER_OVERFLOW));
  std::vector<BYTE> buffer(size);
  auto* info = reinterpret_cast<IP_ADAPTER_INFO*>(buffer.data());
  ULONG small = size - 1;
  EXPECT_EQ(GetAdaptersInfo(info, &small), ULONG(ERROR_BUFFER_OVERFLOW));
  ASSERT_EQ(GetAdaptersInfo(info, &size), ULONG(ERROR_SUCCESS));
  EXPECT_STREQ(info->AdapterName, "{A}");
  EXPECT_EQ(info->Type, 6u);
  EXPECT_STREQ(info->IpAddressList.IpAddress.String, "192.0.2.1");
  ASSERT_NE(info->IpAddressList.Next, nullptr);
  EXPECT_STREQ(info->IpAddressList.Next->IpAddress.String, "192.0.2.2");
  ASSERT_NE(info->Next, nullptr);
  EXPECT_STREQ(info->Next->IpAddressList.IpAddress.String, "0.0.0.0");
  EXPECT_EQ(info->Next->Next, nullptr);
  winsim::Reset();
}

}  // namespace
