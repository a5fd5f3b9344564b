// Windows Sockets over the simulated network: UDP sockets bound to the simulated adapters' addresses.
// Datagrams go to the simulated printers (devices/netprinter.cpp) and to other simulated sockets; the
// host's network is never used.
#include <algorithm>
#include <condition_variable>
#include <cstdio>
#include <cstring>
#include <deque>
#include <map>

#include <winsock2.h>

#include "internal.h"
#include "ws2_32/net.h"

using namespace winsim::detail;

namespace {

struct Sock {
  bool bound = false, broadcast = false, closed = false;
  uint32_t addr = 0;  // host order; 0 = INADDR_ANY
  uint16_t port = 0;
  std::deque<winsim::Datagram> queue;
};

struct Net {
  std::vector<winsim::NetworkAdapter> adapters;
  std::map<SOCKET, std::shared_ptr<Sock>> sockets;
  SOCKET nextSocket = 0x100;
  uint16_t nextEphemeral = 49152;
  int startups = 0;
  size_t blockedReceives = 0;
  int startupError = 0;
  std::vector<winsim::Datagram> sent;
};

Net& N() { return Lasting<Net>(); }

std::condition_variable_any& Arrived() {
  static auto* cv = new std::condition_variable_any;
  return *cv;
}

void CloseAll() {
  for (auto& [s, sock] : N().sockets) sock->closed = true;
  N().sockets.clear();
  Arrived().notify_all();
}

void ResetNetwork() {
  CloseAll();
  N().adapters.clear();
  N().nextSocket = 0x100;
  N().nextEphemeral = 49152;
  N().startups = 0;
  N().startupError = 0;
  N().sent.clear();
}
const ResetRegistrar kResetNetwork(ResetNetwork);

int Fail(int error) {
  SetLastError(DWORD(error));
  return SOCKET_ERROR;
}

// The socket behind s (machine lock held); sets the error when there is none.
std::shared_ptr<Sock> Find(SOCKET s) {
  if (N().startups == 0) {
    SetLastError(WSANOTINITIALISED);
    return nullptr;
  }
  auto it = N().sockets.find(s);
  if (it == N().sockets.end()) {
    SetLastError(WSAENOTSOCK);
    return nullptr;
  }
  return it->second;
}

bool IsLocalAddress(uint32_t addr) {
  for (const auto& a : N().adapters)
    for (const auto& [ip, mask] : a.addresses) {
      uint32_t v;
      if (ParseIpv4(ip, &v) && v == addr && v != 0) return true;
    }
  return false;
}

std::vector<Subnet> SubnetsOf(uint32_t bound) {
  std::vector<Subnet> out;
  for (const auto& a : N().adapters)
    for (const auto& [ip, mask] : a.addresses) {
      uint32_t v, m;
      if (!ParseIpv4(ip, &v) || !ParseIpv4(mask, &m) || v == 0) continue;
      if (bound == 0 || bound == v) out.push_back({v, m});
    }
  return out;
}

bool PortInUse(uint32_t addr, uint16_t port) {
  for (const auto& [s, sock] : N().sockets)
    if (sock->bound && sock->port == port && (sock->addr == addr || sock->addr == 0 || addr == 0)) return true;
  return false;
}

uint16_t EphemeralPort(uint32_t addr) {
  for (int i = 0; i < 16384; ++i) {
    uint16_t p = N().nextEphemeral;
    N().nextEphemeral = uint16_t(p == 65535 ? 49152 : p + 1);
    if (!PortInUse(addr, p)) return p;
  }
  return 0;
}

// Queues d to the open sockets bound to its destination (machine lock held).
size_t Deliver(const winsim::Datagram& d) {
  uint32_t to = 0;
  if (!ParseIpv4(d.toIp, &to)) return 0;
  size_t reached = 0;
  for (auto& [s, sock] : N().sockets) {
    if (!sock->bound || sock->port != d.toPort) continue;
    if (to != 0xFFFFFFFFu && sock->addr != 0 && sock->addr != to) continue;
    sock->queue.push_back(d);
    ++reached;
  }
  if (reached) Arrived().notify_all();
  return reached;
}

}  // namespace

namespace winsim::detail {

bool ParseIpv4(const std::string& text, uint32_t* addr) {
  unsigned parts[4];
  char tail;
  if (sscanf(text.c_str(), "%3u.%3u.%3u.%3u%c", &parts[0], &parts[1], &parts[2], &parts[3], &tail) != 4)
    return false;
  uint32_t v = 0;
  for (unsigned p : parts) {
    if (p > 255) return false;
    v = (v << 8) | p;
  }
  *addr = v;
  return true;
}

std::string Ipv4Text(uint32_t addr) {
  char buf[16];
  snprintf(buf, sizeof buf, "%u.%u.%u.%u", addr >> 24, (addr >> 16) & 0xFF, (addr >> 8) & 0xFF, addr & 0xFF);
  return buf;
}

}  // namespace winsim::detail

namespace winsim {

void AddNetworkAdapter(const NetworkAdapter& adapter) { AppendLocked(N().adapters, adapter); }

std::vector<NetworkAdapter> NetworkAdapters() { return CopyLocked(N().adapters); }

std::vector<Datagram> SentDatagrams() { return CopyLocked(N().sent); }

size_t InjectDatagram(const Datagram& datagram) {
  Guard g(Mutex());
  return Deliver(datagram);
}

size_t OpenSockets() {
  Guard g(Mutex());
  return N().sockets.size();
}

size_t QueuedDatagrams() {
  Guard g(Mutex());
  size_t n = 0;
  for (const auto& [s, sock] : N().sockets) n += sock->queue.size();
  return n;
}

size_t BlockedReceives() { return CopyLocked(N().blockedReceives); }

void SetWsaStartupError(int error) {
  Guard g(Mutex());
  N().startupError = error;
}

}  // namespace winsim

int WINAPI WSAStartup(WORD wVersionRequested, LPWSADATA lpWSAData) {
  Guard g(Mutex());
  if (N().startupError) return N().startupError;
  if (!lpWSAData) return WSAEFAULT;
  const BYTE major = LOBYTE(wVersionRequested), minor = HIBYTE(wVersionRequested);
  memset(lpWSAData, 0, sizeof *lpWSAData);
  lpWSAData->wHighVersion = MAKEWORD(2, 2);
  if (major < 1) {
    lpWSAData->wVersion = MAKEWORD(2, 2);
    return WSAVERNOTSUPPORTED;
  }
  lpWSAData->wVersion = (major > 2 || (major == 2 && minor > 2)) ? MAKEWORD(2, 2) : wVersionRequested;
  strcpy(lpWSAData->szDescription, "WinSock 2.0");
  strcpy(lpWSAData->szSystemStatus, "Running");
  ++N().startups;
  return 0;
}

int WINAPI WSACleanup() {
  Guard g(Mutex());
  if (N().startups == 0) return Fail(WSANOTINITIALISED);
  if (--N().startups == 0) CloseAll();  // blocking calls on the process's sockets end
  return 0;
}

int WINAPI WSAGetLastError() {
  return int(GetLastError());
}

void WINAPI WSASetLastError(int iError) {
  SetLastError(DWORD(iError));
}

SOCKET WINAPI socket(int af, int type, int protocol) {
  Guard g(Mutex());
  if (N().startups == 0) {
    SetLastError(WSANOTINITIALISED);
    return INVALID_SOCKET;
  }
  if (af != AF_INET) {
    SetLastError(WSAEAFNOSUPPORT);
    return INVALID_SOCKET;
  }
  if (type != SOCK_DGRAM || (protocol != 0 && protocol != IPPROTO_UDP)) {
    SetLastError(WSAEPROTONOSUPPORT);  // the simulated network carries datagrams only
    return INVALID_SOCKET;
  }
  SOCKET s = N().nextSocket;
  N().nextSocket += 4;
  N().sockets[s] = std::make_shared<Sock>();
  SetLastError(0);
  return s;
}

int WINAPI bind(SOCKET s, const struct sockaddr* name, int namelen) {
  Guard g(Mutex());
  auto sock = Find(s);
  if (!sock) return SOCKET_ERROR;
  if (!name || namelen < int(sizeof(sockaddr_in))) return Fail(WSAEFAULT);
  const auto* in = reinterpret_cast<const sockaddr_in*>(name);
  if (in->sin_family != AF_INET) return Fail(WSAEAFNOSUPPORT);
  if (sock->bound) return Fail(WSAEINVAL);
  const uint32_t addr = ntohl(in->sin_addr.s_addr);
  if (addr != 0 && !IsLocalAddress(addr)) return Fail(WSAEADDRNOTAVAIL);
  uint16_t port = ntohs(in->sin_port);
  if (port != 0 && PortInUse(addr, port)) return Fail(WSAEADDRINUSE);
  if (port == 0 && (port = EphemeralPort(addr)) == 0) return Fail(WSAEADDRINUSE);
  sock->bound = true;
  sock->addr = addr;
  sock->port = port;
  return 0;
}

int WINAPI setsockopt(SOCKET s, int level, int optname, const char* optval, int optlen) {
  Guard g(Mutex());
  auto sock = Find(s);
  if (!sock) return SOCKET_ERROR;
  if (level != SOL_SOCKET) return Fail(WSAENOPROTOOPT);
  if (!optval || optlen < 1) return Fail(WSAEFAULT);
  if (optname == SO_BROADCAST) {
    int v = 0;
    if (optlen >= int(sizeof(int)))
      memcpy(&v, optval, sizeof v);
    else
      v = optval[0];
    sock->broadcast = v != 0;
    return 0;
  }
  if (optname == SO_RCVTIMEO) return 0;  // recorded nowhere: the simulation's receives end on data or close
  return Fail(WSAENOPROTOOPT);
}

int WINAPI sendto(SOCKET s, const char* buf, int len, int flags, const struct sockaddr* to, int tolen) {
  Guard g(Mutex());
  auto sock = Find(s);
  if (!sock) return SOCKET_ERROR;
  if (!to || tolen < int(sizeof(sockaddr_in)) || (!buf && len) || len < 0) return Fail(WSAEFAULT);
  if (flags) return Fail(WSAEINVAL);
  const auto* in = reinterpret_cast<const sockaddr_in*>(to);
  if (in->sin_family != AF_INET) return Fail(WSAEAFNOSUPPORT);
  const uint32_t toAddr = ntohl(in->sin_addr.s_addr);
  const uint16_t toPort = ntohs(in->sin_port);
  if (toAddr == 0xFFFFFFFFu && !sock->broadcast) return Fail(WSAEACCES);
  if (len > 65507) return Fail(WSAEMSGSIZE);
  if (!sock->bound) {
    sock->bound = true;
    sock->port = EphemeralPort(0);
  }
  std::vector<Subnet> subnets = SubnetsOf(sock->addr);
  if (subnets.empty()) return Fail(WSAENETUNREACH);

  winsim::Datagram d;
  d.fromIp = Ipv4Text(sock->addr ? sock->addr : subnets.front().addr);
  d.fromPort = sock->port;
  d.toIp = Ipv4Text(toAddr);
  d.toPort = toPort;
  d.bytes.assign(reinterpret_cast<const uint8_t*>(buf), reinterpret_cast<const uint8_t*>(buf) + len);
  N().sent.push_back(d);
  Deliver(d);
  for (auto& answer : NetworkPrinterAnswers(subnets, toAddr, toPort, d.bytes)) {
    answer.toIp = d.fromIp;
    answer.toPort = d.fromPort;
    sock->queue.push_back(std::move(answer));
  }
  Arrived().notify_all();
  return len;
}

int WINAPI recvfrom(SOCKET s, char* buf, int len, int flags, struct sockaddr* from, int* fromlen) {
  std::unique_lock<std::recursive_mutex> l(Mutex());
  auto sock = Find(s);
  if (!sock) return SOCKET_ERROR;
  if ((!buf && len) || len < 0 || (from && (!fromlen || *fromlen < int(sizeof(sockaddr_in))))) return Fail(WSAEFAULT);
  if (flags) return Fail(WSAEINVAL);
  if (!sock->bound) return Fail(WSAEINVAL);
  ++N().blockedReceives;
  Arrived().wait(l, [&] { return sock->closed || !sock->queue.empty(); });
  --N().blockedReceives;
  if (sock->closed) return Fail(WSAEINTR);  // closed by another thread while blocked
  winsim::Datagram d = std::move(sock->queue.front());
  sock->queue.pop_front();
  if (from) {
    sockaddr_in sa{};
    sa.sin_family = AF_INET;
    sa.sin_port = htons(d.fromPort);
    uint32_t a = 0;
    ParseIpv4(d.fromIp, &a);
    sa.sin_addr.s_addr = htonl(a);
    memcpy(from, &sa, sizeof sa);
    *fromlen = sizeof sa;
  }
  const int n = int(std::min<size_t>(d.bytes.size(), size_t(len)));
  if (n) memcpy(buf, d.bytes.data(), size_t(n));
  if (d.bytes.size() > size_t(len)) return Fail(WSAEMSGSIZE);
  return n;
}

int WINAPI recv(SOCKET s, char* buf, int len, int flags) {
  return recvfrom(s, buf, len, flags, nullptr, nullptr);
}

int WINAPI closesocket(SOCKET s) {
  Guard g(Mutex());
  auto sock = Find(s);
  if (!sock) return SOCKET_ERROR;
  sock->closed = true;
  N().sockets.erase(s);
  Arrived().notify_all();
  return 0;
}

ULONG WINAPI inet_addr(const char* cp) {
  uint32_t v;
  if (!cp || !ParseIpv4(cp, &v)) return INADDR_NONE;
  return htonl(v);
}

char* WINAPI inet_ntoa(struct in_addr in) {
  thread_local char text[16];
  snprintf(text, sizeof text, "%s", Ipv4Text(ntohl(in.s_addr)).c_str());
  return text;
}
