// Counting the connections a server holds open on its port, as lbl serve does before it deletes a
// printer: real loopback sockets, each step of a connection's life.
#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include "ipp/connections.h"

namespace {

struct Fd {
  int fd = -1;
  explicit Fd(int f) : fd(f) {}
  ~Fd() { Close(); }
  void Close() {
    if (fd >= 0) ::close(fd);
    fd = -1;
  }
};

// A listening loopback socket on a port of the kernel's choosing.
int Listen(int* port) {
  const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t len = sizeof a;
  if (fd < 0 || ::bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0 || ::listen(fd, 8) != 0 ||
      ::getsockname(fd, reinterpret_cast<sockaddr*>(&a), &len) != 0)
    return -1;
  *port = ntohs(a.sin_port);
  return fd;
}

int Connect(int port) {
  const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  a.sin_port = htons(static_cast<uint16_t>(port));
  if (fd >= 0 && ::connect(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0) {
    ::close(fd);
    return -1;
  }
  return fd;
}

TEST(OpenConnections, CountsWhatTheServerHasAcceptedAndNotClosed) {
  int port = 0;
  Fd listener(Listen(&port));
  ASSERT_GE(listener.fd, 0);
  EXPECT_EQ(lblipp::OpenConnectionsOnPort(port), 0) << "a listening socket is no connection";

  Fd client(Connect(port));
  ASSERT_GE(client.fd, 0);
  // Waiting to be accepted: no request on it can have reached the server yet.
  EXPECT_EQ(lblipp::OpenConnectionsOnPort(port), 0);

  Fd served(::accept(listener.fd, nullptr, nullptr));
  ASSERT_GE(served.fd, 0);
  EXPECT_EQ(lblipp::OpenConnectionsOnPort(port), 1);
  Fd second(Connect(port));
  Fd served2(::accept(listener.fd, nullptr, nullptr));
  ASSERT_GE(served2.fd, 0);
  EXPECT_EQ(lblipp::OpenConnectionsOnPort(port), 2);

  // The client hung up, the server has not closed its end yet: still in its hands.
  client.Close();
  EXPECT_EQ(lblipp::OpenConnectionsOnPort(port), 2);
  served.Close();
  EXPECT_EQ(lblipp::OpenConnectionsOnPort(port), 1);
  // Closed by the server first: the kernel keeps it a while, nobody uses it.
  served2.Close();
  EXPECT_EQ(lblipp::OpenConnectionsOnPort(port), 0);

  // The client's own end is on another port, and connections to other ports do not count.
  int other = 0;
  Fd otherListener(Listen(&other));
  Fd otherClient(Connect(other));
  Fd otherServed(::accept(otherListener.fd, nullptr, nullptr));
  ASSERT_GE(otherServed.fd, 0);
  EXPECT_EQ(lblipp::OpenConnectionsOnPort(port), 0);
  EXPECT_EQ(lblipp::OpenConnectionsOnPort(other), 1);
}

}  // namespace
