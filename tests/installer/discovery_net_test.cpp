#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <cstring>
#include <mutex>
#include <thread>
#include <vector>

#include "common/wstr.h"
#include "installer/discovery.h"
#include "winsim/clock.h"
#include "winsim/machine.h"
#include "winsim/network.h"

namespace {

std::string Narrow(const WCHAR* s) { return WideToUtf8(s); }

// Stands in for the install page: handles answers as the window would and records every message.
struct PageRecorder {
  PortLists* lists = nullptr;
  std::mutex m;
  std::condition_variable cv;
  std::vector<UINT> messages;
  std::vector<size_t> replyLengths;
  bool lockFreeDuringSend = true;

  static LRESULT Send(void* context, UINT msg, WPARAM wParam, LPARAM lParam) {
    auto* r = static_cast<PageRecorder*>(context);
    // Another thread must be able to take the lists' lock while a message is being handled.
    bool free = false;
    std::thread([&] {
      free = TryEnterCriticalSection(&r->lists->Lock);
      if (free) LeaveCriticalSection(&r->lists->Lock);
    }).join();
    if (msg == MSG_NETWORK_REPLY) HandleDiscoveryAnswer(r->lists, reinterpret_cast<const uint8_t*>(lParam), wParam);
    std::lock_guard<std::mutex> l(r->m);
    r->lockFreeDuringSend = r->lockFreeDuringSend && free;
    r->messages.push_back(msg);
    if (msg == MSG_NETWORK_REPLY) r->replyLengths.push_back(wParam);
    r->cv.notify_all();
    return 0;
  }
  DiscoveryTarget Target() { return {Send, this}; }
  size_t Count(UINT msg) {
    std::lock_guard<std::mutex> l(m);
    size_t n = 0;
    for (UINT x : messages) n += x == msg;
    return n;
  }
  // Waits (bounded, real time) until the receive threads delivered `n` messages of kind msg.
  bool WaitFor(UINT msg, size_t n) {
    std::unique_lock<std::mutex> l(m);
    return cv.wait_for(l, std::chrono::seconds(10), [&] {
      size_t c = 0;
      for (UINT x : messages) c += x == msg;
      return c >= n;
    });
  }
};

class NetworkDiscovery : public ::testing::Test {
 protected:
  void SetUp() override {
    winsim::Reset();
    winsim::AddNetworkAdapter({});  // 192.0.2.1/24
    InitPortLists(&lists);
    page.lists = &lists;
  }
  void TearDown() override {
    StopDiscovery(&discovery);
    FreePortLists(&lists);
    winsim::Reset();
  }
  void Start() { ASSERT_TRUE(StartDiscoverySockets(&discovery, &lists, ScanAdapters())); }
  std::vector<std::pair<std::string, std::string>> NetworkList() {
    std::vector<std::pair<std::string, std::string>> out;
    for (const PortEntry& e : CopyPortList(&lists, &PortLists::Network))
      out.push_back({Narrow(e.PortName), Narrow(e.Description)});
    return out;
  }

  PortLists lists;
  Discovery discovery;
  PageRecorder page;
};

std::vector<uint8_t> Answer(const char* ip, const char* model) {
  auto p = std::make_shared<winsim::NetworkPrinter>();
  p->ip = ip;
  p->model = model;
  return p->Answer();
}

TEST(DiscoveryAdapters, KeepsAddressesOfTheListedTypesOnly) {
  winsim::Reset();
  winsim::AddNetworkAdapter({"{A}", "Wired", 6, {{"192.0.2.1", "255.255.255.0"}, {"198.51.100.7", "255.255.255.0"}}});
  winsim::AddNetworkAdapter({"{B}", "Tunnel", 131, {{"10.9.9.9", "255.0.0.0"}}});
  winsim::AddNetworkAdapter({"{C}", "Wireless", 71, {{"0.0.0.0", "0.0.0.0"}}});
  winsim::AddNetworkAdapter({"{D}", "Loopback", 24, {{"127.0.0.1", "255.0.0.0"}}});
  winsim::ClearDebugLines();
  EXPECT_EQ(ScanAdapters(), (std::vector<std::string>{"192.0.2.1", "198.51.100.7", "127.0.0.1"}));
  const auto lines = winsim::DebugLines();
  auto has = [&](const std::string& l) { return std::find(lines.begin(), lines.end(), l) != lines.end(); };
  EXPECT_TRUE(has("Adapter Name:{B}\r\n"));
  EXPECT_TRUE(has("Adapter Description:Tunnel\r\n"));
  EXPECT_TRUE(has("Adapter Type:131\r\n"));
  EXPECT_FALSE(has("IP Address:10.9.9.9\r\n"));  // tunnels are not used
  EXPECT_TRUE(has("IP Address:0.0.0.0\r\n"));    // written, not kept
  for (UINT t : {1u, 6u, 9u, 15u, 23u, 24u, 28u, 71u}) EXPECT_TRUE(IsDiscoveryAdapterType(t)) << t;
  for (UINT t : {0u, 2u, 131u, 144u}) EXPECT_FALSE(IsDiscoveryAdapterType(t)) << t;
  winsim::Reset();
  EXPECT_TRUE(ScanAdapters().empty());
}

TEST(DiscoveryAnswerParser, ReadsAddressAndAtMost64ModelBytes) {
  std::vector<uint8_t> buffer(1024, 'Z');  // the receive buffer holds older bytes past the answer
  std::vector<uint8_t> a = Answer("192.0.2.10", "TW-JA");
  memcpy(buffer.data(), a.data(), a.size());
  WCHAR address[16];
  char model[65];
  ASSERT_TRUE(ParseDiscoveryAnswer(buffer.data(), 116, address, model));
  EXPECT_EQ(Narrow(address), "192.0.2.10");
  EXPECT_STREQ(model, "TW-JA");

  memset(buffer.data() + 52, 'M', 64);  // an unterminated model running to the end of the answer
  ASSERT_TRUE(ParseDiscoveryAnswer(buffer.data(), 116, address, model));
  EXPECT_EQ(std::string(model), std::string(64, 'M'));

  EXPECT_FALSE(ParseDiscoveryAnswer(buffer.data(), 115, address, model));
  EXPECT_FALSE(ParseDiscoveryAnswer(buffer.data(), 117, address, model));
}

TEST_F(NetworkDiscovery, AnswerHandlingKeepsKnownModelsOncePerAddress) {
  PORT_INFO_2W local{const_cast<LPWSTR>(TEXT("192.0.2.10")), nullptr, const_cast<LPWSTR>(TEXT("Standard TCP/IP Port")),
                     0, 0};
  ASSERT_EQ(AddLocalPorts(&lists, &local, 1, nullptr), 1);
  auto a = Answer("192.0.2.10", "TW-JA");
  EXPECT_TRUE(HandleDiscoveryAnswer(&lists, a.data(), a.size()));
  EXPECT_FALSE(HandleDiscoveryAnswer(&lists, a.data(), a.size()));  // the same printer again
  auto b = Answer("192.0.2.11", "TW-JA");
  EXPECT_TRUE(HandleDiscoveryAnswer(&lists, b.data(), b.size()));  // same model, another address
  auto unknown = Answer("192.0.2.12", "TW-ZZ");
  EXPECT_FALSE(HandleDiscoveryAnswer(&lists, unknown.data(), unknown.size()));
  auto bare = Answer("192.0.2.13", "Tarnwell TW-JA");  // the vendor is added by the lookup, not expected in the answer
  EXPECT_FALSE(HandleDiscoveryAnswer(&lists, bare.data(), bare.size()));
  EXPECT_EQ(NetworkList(), (std::vector<std::pair<std::string, std::string>>{{"192.0.2.11", "TW-JA"},
                                                                              {"192.0.2.10", "TW-JA"}}));
  EXPECT_TRUE(CopyPortList(&lists, &PortLists::Local).empty());  // the network printer hides its TCP/IP port
  const PortEntry e = CopyPortList(&lists, &PortLists::Network)[0];
  EXPECT_EQ(e.PortType, kPortTypeNet);
}

TEST_F(NetworkDiscovery, BroadcastsTheRequestFromEveryBoundAddress) {
  winsim::AddNetworkAdapter({"{W}", "Wireless", 71, {{"198.51.100.7", "255.255.255.0"}}});
  winsim::ClearDebugLines();
  Start();
  const auto lines = winsim::DebugLines();
  EXPECT_NE(std::find(lines.begin(), lines.end(), "Create UDP receiving thread for IP:192.0.2.1\r\n"), lines.end());
  EXPECT_NE(std::find(lines.begin(), lines.end(), "Create UDP receiving thread for IP:198.51.100.7\r\n"), lines.end());
  SendDiscoveryRequest(&discovery, nullptr);
  const auto sent = winsim::SentDatagrams();
  ASSERT_EQ(sent.size(), 2u);
  const std::vector<uint8_t> request(kDiscoveryRequest, kDiscoveryRequest + 32);
  for (const auto& d : sent) {
    EXPECT_EQ(d.toIp, "255.255.255.255");
    EXPECT_EQ(d.toPort, 22368);
    EXPECT_EQ(d.fromPort, 4001);
    EXPECT_EQ(d.bytes, request);
  }
  EXPECT_EQ(sent[0].fromIp, "198.51.100.7");  // newest record first
  EXPECT_EQ(sent[1].fromIp, "192.0.2.1");
  EXPECT_EQ(request[0], 0x00);
  EXPECT_EQ(request[1], 32);  // the request carries its own length
}

TEST_F(NetworkDiscovery, TwoPrintersOneAnsweringTwiceAreListedOnce) {
  winsim::AddNetworkPrinter("192.0.2.10", "TW-JA")->answersPerRequest = 2;
  winsim::AddNetworkPrinter("192.0.2.11", "TW-JA");
  winsim::AddNetworkPrinter("203.0.113.9", "TW-JA");  // another subnet: not reached
  Start();
  auto target = page.Target();
  SendDiscoveryRequest(&discovery, &target);
  ASSERT_TRUE(page.WaitFor(MSG_NETWORK_REPLY, 3));
  auto list = NetworkList();
  std::sort(list.begin(), list.end());
  EXPECT_EQ(list, (std::vector<std::pair<std::string, std::string>>{{"192.0.2.10", "TW-JA"}, {"192.0.2.11", "TW-JA"}}));
  EXPECT_TRUE(page.lockFreeDuringSend);
}

TEST_F(NetworkDiscovery, OnlyAnswersOfExactly116BytesReachThePage) {
  winsim::AddNetworkPrinter("192.0.2.20", "TW-JA")->shape = winsim::AnswerShape::kShort115;
  winsim::AddNetworkPrinter("192.0.2.21", "TW-JB")->shape = winsim::AnswerShape::kLong117;
  winsim::AddNetworkPrinter("192.0.2.22", "TW-JB")->shape = winsim::AnswerShape::kUnterminatedModel64;
  winsim::AddNetworkPrinter("192.0.2.23", "TW-JB");
  Start();
  auto target = page.Target();
  SendDiscoveryRequest(&discovery, &target);
  ASSERT_TRUE(page.WaitFor(MSG_NETWORK_REPLY, 2));
  // The last datagram queued is handled last: once it is in, the odd sizes have been passed over.
  winsim::Datagram marker{"192.0.2.23", "192.0.2.1", 22368, 4001, Answer("192.0.2.24", "TW-KA_")};
  ASSERT_EQ(winsim::InjectDatagram(marker), 1u);
  ASSERT_TRUE(page.WaitFor(MSG_NETWORK_REPLY, 3));
  EXPECT_EQ(page.Count(MSG_NETWORK_REPLY), 3u);
  for (size_t n : page.replyLengths) EXPECT_EQ(n, 116u);
  auto list = NetworkList();
  std::sort(list.begin(), list.end());
  // The 64-byte model is no known model; it is dropped without reading past the answer.
  EXPECT_EQ(list, (std::vector<std::pair<std::string, std::string>>{{"192.0.2.23", "TW-JB"}, {"192.0.2.24", "TW-KA_"}}));
}

TEST_F(NetworkDiscovery, NoWinsockOrNoAdapterMeansSilentDiscovery) {
  winsim::SetWsaStartupError(WSASYSNOTREADY);
  EXPECT_FALSE(StartDiscoverySockets(&discovery, &lists, ScanAdapters()));
  EXPECT_EQ(discovery.Sockets, nullptr);
  EXPECT_TRUE(StartRediscovery(&discovery));
  EXPECT_EQ(discovery.Rediscovery, nullptr);
  SendDiscoveryRequest(&discovery, nullptr);
  EXPECT_TRUE(winsim::SentDatagrams().empty());
}

TEST_F(NetworkDiscovery, AFailedBindKeepsTheRecordWithoutAThread) {
  winsim::ClearDebugLines();
  ASSERT_TRUE(StartDiscoverySockets(&discovery, &lists, {"192.0.2.1", "203.0.113.5"}));
  const auto lines = winsim::DebugLines();
  EXPECT_NE(std::find(lines.begin(), lines.end(), "Failed to bind with IP:203.0.113.5\r\n"), lines.end());
  ASSERT_NE(discovery.Sockets, nullptr);
  EXPECT_STREQ(discovery.Sockets->Address, "203.0.113.5");
  EXPECT_EQ(discovery.Sockets->Thread, nullptr);
  ASSERT_NE(discovery.Sockets->Next, nullptr);
  EXPECT_NE(discovery.Sockets->Next->Thread, nullptr);
  winsim::ClearDebugLines();
  SendDiscoveryRequest(&discovery, nullptr);  // the unbound socket's send does not reach the network
  EXPECT_EQ(winsim::SentDatagrams().size(), 2u);
}

TEST_F(NetworkDiscovery, StopEndsEveryThreadAndClosesTheSockets) {
  Start();
  ASSERT_TRUE(StartRediscovery(&discovery));
  EXPECT_EQ(winsim::OpenSockets(), 1u);
  StopDiscovery(&discovery);  // blocks until the receive and rediscovery threads ended
  EXPECT_EQ(winsim::OpenSockets(), 0u);
  EXPECT_EQ(discovery.Sockets, nullptr);
  EXPECT_EQ(discovery.Rediscovery, nullptr);
}

class Rediscovery : public NetworkDiscovery {
 protected:
  void SetUp() override {
    NetworkDiscovery::SetUp();
    winsim::UseVirtualClock();
  }
  // Until the rediscovery thread sits in its next timed wait.
  static void WaitUntilIdle() {
    for (int i = 0; i < 10000 && winsim::ThreadsWaitingOnClock() == 0; ++i)
      std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  size_t Requests() { return winsim::SentDatagrams().size(); }
};

TEST_F(Rediscovery, RepeatsEverySecondUntilAPrinterIsKnownThenEvery30Seconds) {
  auto printer = winsim::AddNetworkPrinter("192.0.2.10", "TW-JA");
  printer->present = false;
  Start();
  auto target = page.Target();
  SendDiscoveryRequest(&discovery, &target);  // the page is shown: its window is stored
  ASSERT_TRUE(StartRediscovery(&discovery));
  WaitUntilIdle();
  winsim::AdvanceClock(1000);  // first pause ends: the request is sent
  WaitUntilIdle();
  EXPECT_EQ(Requests(), 2u);
  winsim::AdvanceClock(1000);  // answers counted: none, as before, so no refresh
  WaitUntilIdle();
  EXPECT_EQ(page.Count(MSG_REFRESH_PORTS), 0u);

  printer->present = true;
  winsim::AdvanceClock(1000);
  ASSERT_TRUE(page.WaitFor(MSG_NETWORK_REPLY, 1));
  WaitUntilIdle();
  EXPECT_EQ(Requests(), 3u);
  winsim::AdvanceClock(1000);  // one printer now: the page is told to refresh
  ASSERT_TRUE(page.WaitFor(MSG_REFRESH_PORTS, 1));
  WaitUntilIdle();
  EXPECT_EQ(NetworkList().size(), 1u);

  winsim::AdvanceClock(29000);  // a printer is known: the pause is 30 s
  WaitUntilIdle();
  EXPECT_EQ(Requests(), 3u);
  printer->present = false;  // the printer vanishes
  winsim::AdvanceClock(1000);
  WaitUntilIdle();
  EXPECT_EQ(Requests(), 4u);
  winsim::AdvanceClock(1000);
  ASSERT_TRUE(page.WaitFor(MSG_REFRESH_PORTS, 2));
  EXPECT_TRUE(NetworkList().empty());
  EXPECT_TRUE(page.lockFreeDuringSend);
}

}  // namespace
