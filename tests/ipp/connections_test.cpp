// Telling whether clients of a server may be in a request, as lbl serve does before it deletes a
// printer: real loopback and unix sockets, each step of a connection's life.
#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <chrono>
#include <cstring>
#include <string>
#include <thread>

#include "ipp/connections.h"

namespace {

// "Quiet" in these tests: long enough that a loaded machine never makes fresh traffic look old, and
// short enough to wait out.
constexpr int kLong = 60000;
constexpr int kShort = 150;
void WaitOutShort() { std::this_thread::sleep_for(std::chrono::milliseconds(kShort * 3)); }

struct Fd {
  int fd = -1;
  explicit Fd(int f) : fd(f) {}
  Fd(Fd&& o) noexcept : fd(o.fd) { o.fd = -1; }
  ~Fd() { Close(); }
  void Close() {
    if (fd >= 0) ::close(fd);
    fd = -1;
  }
};

// The loopback (or, with `any`, wildcard) address of `family` with `port`; its length.
socklen_t Address(int family, int port, bool any, sockaddr_storage* a) {
  *a = {};
  if (family == AF_INET) {
    auto* v4 = reinterpret_cast<sockaddr_in*>(a);
    v4->sin_family = AF_INET;
    v4->sin_addr.s_addr = htonl(any ? INADDR_ANY : INADDR_LOOPBACK);
    v4->sin_port = htons(uint16_t(port));
    return sizeof *v4;
  }
  auto* v6 = reinterpret_cast<sockaddr_in6*>(a);
  v6->sin6_family = AF_INET6;
  v6->sin6_addr = any ? in6addr_any : in6addr_loopback;
  v6->sin6_port = htons(uint16_t(port));
  return sizeof *v6;
}

// A listening socket on a loopback (or, with `any`, every) address, on a port of the kernel's choosing.
Fd Listen(int family, int* port, bool any = false) {
  Fd fd(::socket(family, SOCK_STREAM, 0));
  sockaddr_storage a;
  socklen_t len = Address(family, 0, any, &a);
  const int no = 0;
  if (family == AF_INET6 && any) ::setsockopt(fd.fd, IPPROTO_IPV6, IPV6_V6ONLY, &no, sizeof no);
  if (fd.fd < 0 || ::bind(fd.fd, reinterpret_cast<sockaddr*>(&a), len) != 0 || ::listen(fd.fd, 8) != 0 ||
      ::getsockname(fd.fd, reinterpret_cast<sockaddr*>(&a), &len) != 0)
    return Fd(-1);
  *port = ntohs(family == AF_INET ? reinterpret_cast<sockaddr_in*>(&a)->sin_port
                                  : reinterpret_cast<sockaddr_in6*>(&a)->sin6_port);
  return fd;
}

Fd Connect(int family, int port) {
  Fd fd(::socket(family, SOCK_STREAM, 0));
  sockaddr_storage a;
  const socklen_t len = Address(family, port, false, &a);
  if (fd.fd >= 0 && ::connect(fd.fd, reinterpret_cast<sockaddr*>(&a), len) != 0) return Fd(-1);
  return fd;
}

int Busy(int port, int quietMs) { return lblipp::BusyConnections("localhost", port, quietMs); }

void Send(const Fd& fd, const char* text) { ASSERT_EQ(::send(fd.fd, text, std::strlen(text), 0), ssize_t(std::strlen(text))); }
void Receive(const Fd& fd, size_t n) {
  char buf[256];
  ASSERT_EQ(::recv(fd.fd, buf, n, MSG_WAITALL), ssize_t(n));
}

// One connection's life on a server of `family`.
void FollowOneConnection(int family) {
  int port = 0;
  Fd listener = Listen(family, &port);
  ASSERT_GE(listener.fd, 0);
  EXPECT_EQ(Busy(port, kLong), 0) << "a listening socket is no connection";

  Fd client = Connect(family, port);
  ASSERT_GE(client.fd, 0);
  // Not accepted yet: the server takes it and reads its request next.
  EXPECT_EQ(Busy(port, kShort), 1);
  WaitOutShort();
  EXPECT_EQ(Busy(port, kShort), 1) << "however long it waits to be accepted";

  Fd served(::accept(listener.fd, nullptr, nullptr));
  ASSERT_GE(served.fd, 0);
  EXPECT_EQ(Busy(port, kLong), 1) << "just accepted";
  WaitOutShort();
  EXPECT_EQ(Busy(port, kShort), 0) << "accepted, and nothing came for a while";

  // A request arrives; until the server has read it, the connection is busy however old it is.
  Send(client, "GET / HTTP/1.1\r\n\r\n");
  EXPECT_EQ(Busy(port, kLong), 1);
  WaitOutShort();
  EXPECT_EQ(Busy(port, kShort), 1) << "data not read yet";
  Receive(served, 18);
  EXPECT_EQ(Busy(port, kLong), 1) << "read just now";
  WaitOutShort();
  EXPECT_EQ(Busy(port, kShort), 0);
  // The answer goes out: busy while fresh, then quiet again (kept open between requests).
  Send(served, "HTTP/1.1 200 OK\r\n\r\n");
  EXPECT_EQ(Busy(port, kLong), 1);
  Receive(client, 19);
  WaitOutShort();
  EXPECT_EQ(Busy(port, kShort), 0);

  // The client hangs up: the server has not closed its end yet.
  client.Close();
  EXPECT_EQ(Busy(port, kLong), 1);
  // Closed by the server: only the kernel still winds it up.
  served.Close();
  EXPECT_EQ(Busy(port, kLong), 0);

  // Closed by the server first (the client's end lingers).
  Fd client2 = Connect(family, port);
  Fd served2(::accept(listener.fd, nullptr, nullptr));
  ASSERT_GE(served2.fd, 0);
  served2.Close();
  EXPECT_EQ(Busy(port, kLong), 0);
  client2.Close();
  EXPECT_EQ(Busy(port, kLong), 0);

  // A client that sent its request and hung up before the server accepted it: still served.
  Fd client3 = Connect(family, port);
  Send(client3, "GET / HTTP/1.1\r\n\r\n");
  client3.Close();
  EXPECT_EQ(Busy(port, kShort), 1);

  // Connections to other ports do not count.
  int other = 0;
  Fd otherListener = Listen(family, &other);
  Fd otherClient = Connect(family, other);
  ASSERT_GE(otherClient.fd, 0);
  EXPECT_EQ(Busy(port, kLong), 1);
  EXPECT_EQ(Busy(other, kLong), 1);
}

TEST(BusyConnections, FollowsAConnectionOverIPv4) { FollowOneConnection(AF_INET); }

TEST(BusyConnections, FollowsAConnectionOverIPv6) {
  int port = 0;
  if (Listen(AF_INET6, &port).fd < 0) GTEST_SKIP() << "no IPv6 loopback";
  FollowOneConnection(AF_INET6);
}

TEST(BusyConnections, CountsEveryAddressOfThePort) {
  // A server on every address, IPv6 and IPv4 alike, through one IPv6 socket: its IPv4 clients count
  // as its IPv6 ones do.
  int port = 0;
  Fd dual = Listen(AF_INET6, &port, true);
  if (dual.fd < 0) GTEST_SKIP() << "no IPv6";
  Fd v4client = Connect(AF_INET, port);
  ASSERT_GE(v4client.fd, 0);
  Fd v6client = Connect(AF_INET6, port);
  ASSERT_GE(v6client.fd, 0);
  EXPECT_EQ(Busy(port, kLong), 2);
  Fd a(::accept(dual.fd, nullptr, nullptr));
  Fd b(::accept(dual.fd, nullptr, nullptr));
  EXPECT_EQ(Busy(port, kLong), 2);
}

TEST(BusyConnections, CountsTheConnectionsOfAUnixSocket) {
  const std::string path = testing::TempDir() + "/busy_" + std::to_string(::getpid()) + ".sock";
  ::unlink(path.c_str());
  sockaddr_un a{};
  a.sun_family = AF_UNIX;
  ASSERT_LT(path.size(), sizeof a.sun_path);
  std::memcpy(a.sun_path, path.c_str(), path.size());
  Fd listener(::socket(AF_UNIX, SOCK_STREAM, 0));
  ASSERT_EQ(::bind(listener.fd, reinterpret_cast<sockaddr*>(&a), sizeof a), 0);
  ASSERT_EQ(::listen(listener.fd, 8), 0);
  // The TCP port is no matter for a server on a unix socket.
  EXPECT_EQ(lblipp::BusyConnections(path, 1, kShort), 0);
  Fd client(::socket(AF_UNIX, SOCK_STREAM, 0));
  ASSERT_EQ(::connect(client.fd, reinterpret_cast<sockaddr*>(&a), sizeof a), 0);
  EXPECT_EQ(lblipp::BusyConnections(path, 1, kShort), 1) << "waiting to be accepted";
  Fd served(::accept(listener.fd, nullptr, nullptr));
  ASSERT_GE(served.fd, 0);
  WaitOutShort();
  EXPECT_EQ(lblipp::BusyConnections(path, 1, kShort), 1) << "open: the kernel keeps no times for it";
  EXPECT_EQ(lblipp::BusyConnections(path + "x", 1, kShort), 0) << "another socket's";
  served.Close();
  EXPECT_EQ(lblipp::BusyConnections(path, 1, kShort), 0);
  ::unlink(path.c_str());
}

// Tables as the kernel wrote them (lines of other ports and other states left in), for a kernel
// without socket diagnostics: the count is worked out by hand from each line's state and inode.
TEST(BusyConnections, ReadsTheKernelsTcpTables) {
  const std::string tcp =
      "  sl  local_address rem_address   st tx_queue rx_queue tr tm->when retrnsmt   uid  timeout inode\n"
      "   1: 0100007F:89F9 00000000:0000 0A 00000000:00000000 00:00000000 00000000     0        0 5217497 1 0000000029c3cbaf 100 0 0 10 0\n"
      "   2: 0100007F:89F9 0100007F:B606 06 00000000:00000000 03:00001766 00000000     0        0 0 3 000000006c6a5370\n"
      " 102: 0100007F:89F9 0100007F:B612 08 00000000:00000001 00:00000000 00000000     0        0 5217501 1 00000000a25217d3 20 4 0 10 -1\n"
      " 103: 0100007F:B612 0100007F:89F9 05 00000000:00000000 03:00001766 00000000     0        0 0 3 00000000583664ba\n"
      " 104: 0100007F:B61C 0100007F:89F9 01 00000000:00000000 00:00000000 00000000     0        0 5217502 2 00000000d06b7a19 20 0 0 11 -1\n"
      " 106: 0100007F:89F9 0100007F:B61C 01 00000000:00000012 00:00000000 00000000     0        0 5217503 1 00000000f46a29e4 20 4 30 10 -1\n";
  // Port 0x89F9: listening, TIME_WAIT (closed), CLOSE_WAIT still held, held with a request unread;
  // the client ends (local ports 0xB612, 0xB61C) are other ports.
  EXPECT_EQ(lblipp::BusyConnectionsInTable(tcp, 0x89F9), 2);
  EXPECT_EQ(lblipp::BusyConnectionsInTable(tcp, 0xB612), 0) << "a client's end in FIN_WAIT2";
  EXPECT_EQ(lblipp::BusyConnectionsInTable(tcp, 0xB61C), 1) << "a client's end, open";
  EXPECT_EQ(lblipp::BusyConnectionsInTable(tcp, 9100), 0);

  const std::string tcp6 =
      "  sl  local_address                         remote_address                        st tx_queue rx_queue tr tm->when retrnsmt   uid  timeout inode\n"
      "   0: 00000000000000000000000000000000:9751 00000000000000000000000000000000:0000 0A 00000000:00000001 00:00000000 00000000     0        0 5214796 2 00000000c589ef9a 100 0 0 10 0\n"
      "   1: 00000000000000000000000001000000:9CD0 00000000000000000000000001000000:9751 08 00000000:00000001 00:00000000 00000000     0        0 5214799 2 000000005e41f53d 20 4 0 10 -1\n"
      "   2: 0000000000000000FFFF00000100007F:9751 0000000000000000FFFF00000100007F:871E 01 00000000:00000000 00:00000000 00000000     0        0 0 1 00000000159c9cc2 20 0 0 10 -1\n"
      "   3: 0000000000000000FFFF00000100007F:9751 0000000000000000FFFF00000100007F:8716 01 00000000:00000000 00:00000000 00000000     0        0 5214798 1 00000000c4ec6779 20 0 0 10 -1\n"
      "   4: 00000000000000000000000001000000:9751 00000000000000000000000001000000:9CD0 05 00000000:00000000 03:0000176F 00000000     0        0 0 3 000000006e12cc67\n";
  // Port 0x9751 on every address: an IPv4 client waiting to be accepted and one accepted (both
  // IPv4-mapped), one closed by the server (FIN_WAIT2).
  EXPECT_EQ(lblipp::BusyConnectionsInTable(tcp6, 0x9751), 2);

  EXPECT_EQ(lblipp::BusyConnectionsInTable(tcp.substr(0, tcp.find('\n') + 1), 0x89F9), 0) << "no sockets";
  EXPECT_EQ(lblipp::BusyConnectionsInTable("", 0x89F9), -1);
  EXPECT_EQ(lblipp::BusyConnectionsInTable("garbage\n1: 2 3\n", 0x89F9), -1);
  EXPECT_EQ(lblipp::BusyConnectionsInTable(tcp.substr(0, tcp.find('\n') + 1) + "  7: short line\n", 0x89F9), 0);
}

}  // namespace
