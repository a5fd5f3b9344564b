// A TCP port free on 127.0.0.1 at the moment of asking (0 when none could be had).
#pragma once

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

namespace ipptest {

inline int FreePort() {
  const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t len = sizeof a;
  const bool ok = fd >= 0 && ::bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0 &&
                  ::getsockname(fd, reinterpret_cast<sockaddr*>(&a), &len) == 0;
  if (fd >= 0) ::close(fd);
  return ok ? ntohs(a.sin_port) : 0;
}

}  // namespace ipptest
