#include "ipp/connections.h"

#include <arpa/inet.h>
#include <errno.h>
#include <linux/inet_diag.h>
#include <linux/netlink.h>
#include <linux/rtnetlink.h>
#include <linux/sock_diag.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cstddef>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <sstream>
#include <vector>

namespace lblipp {

namespace {

// One TCP socket of the kernel's table.
struct TcpSocket {
  int state = 0;
  int localPort = 0;
  unsigned inode = 0;      // 0: no file refers to it (not accepted yet, or closed by its owner)
  unsigned unread = 0;     // received, not read by its owner
  unsigned unsent = 0;     // written by its owner, not delivered yet
  bool timed = false;      // the times below are known
  unsigned sinceReceived = 0, sinceSent = 0;  // milliseconds since data last went either way
};

// The TCP sockets of one address family, through the kernel's socket diagnostics (which, unlike
// /proc/net/tcp, tell how long a connection has been quiet). False when the kernel refuses;
// `*absent` when it has no such family.
bool DumpTcp(int family, std::vector<TcpSocket>* out, bool* absent) {
  *absent = false;
  const int fd = ::socket(AF_NETLINK, SOCK_DGRAM | SOCK_CLOEXEC, NETLINK_SOCK_DIAG);
  if (fd < 0) return false;
  struct {
    nlmsghdr header;
    inet_diag_req_v2 request;
  } message{};
  message.header.nlmsg_len = sizeof message;
  message.header.nlmsg_type = SOCK_DIAG_BY_FAMILY;
  message.header.nlmsg_flags = NLM_F_REQUEST | NLM_F_DUMP;
  message.request.sdiag_family = uint8_t(family);
  message.request.sdiag_protocol = IPPROTO_TCP;
  message.request.idiag_states = ~0u;
  message.request.idiag_ext = 1 << (INET_DIAG_INFO - 1);
  sockaddr_nl kernel{};
  kernel.nl_family = AF_NETLINK;
  if (::sendto(fd, &message, sizeof message, 0, reinterpret_cast<sockaddr*>(&kernel), sizeof kernel) !=
      ssize_t(sizeof message)) {
    ::close(fd);
    return false;
  }
  std::vector<uint64_t> buffer(8192);  // aligned for the headers
  for (;;) {
    ssize_t n = ::recv(fd, buffer.data(), buffer.size() * sizeof buffer[0], 0);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) break;
    for (auto* h = reinterpret_cast<nlmsghdr*>(buffer.data()); NLMSG_OK(h, n); h = NLMSG_NEXT(h, n)) {
      if (h->nlmsg_type == NLMSG_DONE) {
        ::close(fd);
        return true;
      }
      if (h->nlmsg_type == NLMSG_ERROR) {
        const auto* e = static_cast<const nlmsgerr*>(NLMSG_DATA(h));
        if (h->nlmsg_len >= NLMSG_LENGTH(sizeof *e) && e->error == 0) continue;  // an acknowledgement
        *absent = h->nlmsg_len >= NLMSG_LENGTH(sizeof *e) && e->error == -ENOENT;
        ::close(fd);
        return false;
      }
      if (h->nlmsg_type != SOCK_DIAG_BY_FAMILY || h->nlmsg_len < NLMSG_LENGTH(sizeof(inet_diag_msg))) continue;
      const auto* m = static_cast<const inet_diag_msg*>(NLMSG_DATA(h));
      TcpSocket s;
      s.state = m->idiag_state;
      s.localPort = ntohs(m->id.idiag_sport);
      s.inode = m->idiag_inode;
      s.unread = m->idiag_rqueue;
      s.unsent = m->idiag_wqueue;
      int left = int(h->nlmsg_len - NLMSG_LENGTH(sizeof *m));
      for (auto* a = reinterpret_cast<rtattr*>(const_cast<inet_diag_msg*>(m) + 1); RTA_OK(a, left);
           a = RTA_NEXT(a, left)) {
        if (a->rta_type != INET_DIAG_INFO || RTA_PAYLOAD(a) < offsetof(tcp_info, tcpi_last_ack_recv)) continue;
        tcp_info info{};
        std::memcpy(&info, RTA_DATA(a), std::min<size_t>(RTA_PAYLOAD(a), sizeof info));
        s.timed = true;
        s.sinceReceived = info.tcpi_last_data_recv;
        s.sinceSent = info.tcpi_last_data_sent;
      }
      out->push_back(s);
    }
  }
  ::close(fd);
  return false;
}

// The sockets of a table in /proc/net/tcp's format; false when it has not that format.
bool ParseTcpTable(const std::string& table, std::vector<TcpSocket>* out) {
  std::istringstream in(table);
  std::string line;
  if (!std::getline(in, line) || line.find("local_address") == std::string::npos) return false;
  while (std::getline(in, line)) {
    // sl local_address rem_address st tx_queue:rx_queue tr:tm->when retrnsmt uid timeout inode
    std::istringstream fields(line);
    std::string slot, local, remote, state, queues, timer, retransmits, uid, timeout, inode;
    if (!(fields >> slot >> local >> remote >> state >> queues >> timer >> retransmits >> uid >> timeout >> inode))
      continue;
    const size_t colon = local.rfind(':'), queueColon = queues.find(':');
    if (colon == std::string::npos || queueColon == std::string::npos) continue;
    TcpSocket s;
    s.localPort = int(std::strtoul(local.c_str() + colon + 1, nullptr, 16));
    s.state = int(std::strtoul(state.c_str(), nullptr, 16));
    s.unsent = unsigned(std::strtoul(queues.c_str(), nullptr, 16));
    s.unread = unsigned(std::strtoul(queues.c_str() + queueColon + 1, nullptr, 16));
    s.inode = unsigned(std::strtoul(inode.c_str(), nullptr, 10));
    out->push_back(s);
  }
  return true;
}

bool ReadTcpTables(std::vector<TcpSocket>* out) {
  bool read = false;
  for (const char* path : {"/proc/net/tcp", "/proc/net/tcp6"}) {
    std::ifstream in(path);
    const std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    read = ParseTcpTable(text, out) || read;  // no tcp6 without IPv6
  }
  return read;
}

int CountBusy(const std::vector<TcpSocket>& sockets, int port, int quietMs) {
  int count = 0;
  for (const TcpSocket& s : sockets) {
    if (s.localPort != port || s.state == TCP_LISTEN) continue;
    if (s.inode == 0) {
      // Without an owner: one the server will accept and read a request from, or one it has closed
      // and only the kernel still winds up (FIN_WAIT, TIME_WAIT, LAST_ACK).
      if (s.state == TCP_ESTABLISHED || s.state == TCP_SYN_RECV || s.state == TCP_CLOSE_WAIT) ++count;
      continue;
    }
    const bool quiet = s.timed && s.unread == 0 && s.unsent == 0 && s.sinceReceived >= unsigned(quietMs) &&
                       s.sinceSent >= unsigned(quietMs);
    if (!quiet) ++count;
  }
  return count;
}

int BusyTcp(int port, int quietMs) {
  std::vector<TcpSocket> sockets;
  bool dumped = true;
  for (int family : {AF_INET, AF_INET6}) {
    bool absent = false;
    dumped = dumped && (DumpTcp(family, &sockets, &absent) || (family == AF_INET6 && absent));
  }
  if (!dumped) {
    sockets.clear();
    if (!ReadTcpTables(&sockets)) return -1;
  }
  return CountBusy(sockets, port, quietMs);
}

// /proc/net/unix: every socket bound to the path but the listening one (flagged as accepting
// connections) is a connection, accepted or waiting to be.
int BusyUnix(const std::string& path) {
  constexpr unsigned long kAcceptsConnections = 0x10000;  // __SO_ACCEPTCON
  std::ifstream in("/proc/net/unix");
  std::string line;
  if (!std::getline(in, line)) return -1;
  int count = 0;
  while (std::getline(in, line)) {
    // Num RefCount Protocol Flags Type St Inode Path
    std::istringstream fields(line);
    std::string slot, refs, protocol, flags, type, state, inode, name;
    if (!(fields >> slot >> refs >> protocol >> flags >> type >> state >> inode)) continue;
    std::getline(fields >> std::ws, name);
    if (name == path && !(std::strtoul(flags.c_str(), nullptr, 16) & kAcceptsConnections)) ++count;
  }
  return count;
}

}  // namespace

int BusyConnections(const std::string& listen, int port, int quietMs) {
  return !listen.empty() && listen[0] == '/' ? BusyUnix(listen) : BusyTcp(port, quietMs);
}

int BusyConnectionsInTable(const std::string& table, int port) {
  std::vector<TcpSocket> sockets;
  return ParseTcpTable(table, &sockets) ? CountBusy(sockets, port, 0) : -1;
}

}  // namespace lblipp
