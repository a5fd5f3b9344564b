#include "ipp/sim_printer.h"

#include <arpa/inet.h>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstring>

namespace lblipp {

namespace {

bool SendAll(int fd, const void* data, size_t size) {
  const auto* p = static_cast<const uint8_t*>(data);
  while (size) {
    const ssize_t n = ::send(fd, p, size, MSG_NOSIGNAL);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    p += n;
    size -= size_t(n);
  }
  return true;
}

bool RecvAll(int fd, void* data, size_t size) {
  auto* p = static_cast<uint8_t*>(data);
  while (size) {
    const ssize_t n = ::recv(fd, p, size, 0);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    p += n;
    size -= size_t(n);
  }
  return true;
}

void PutU32(uint8_t* p, uint32_t v) {
  for (int i = 0; i < 4; ++i) p[i] = uint8_t(v >> (8 * i));
}
uint32_t GetU32(const uint8_t* p) { return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24; }

// Frames larger than this are refused: a page block of the widest model is far smaller.
constexpr uint32_t kMaxFrame = 64u << 20;

}  // namespace

SimPrinter::SimPrinter(std::shared_ptr<winsim::UsbPrinterDevice> device) : device_(std::move(device)) {}

SimPrinter::~SimPrinter() { Stop(); }

std::string SimPrinter::SocketUri() const { return "socket://127.0.0.1:" + std::to_string(port_.load()); }
std::string SimPrinter::SimUri() const { return "lblsim://127.0.0.1:" + std::to_string(port_.load()); }

bool SimPrinter::Listen(std::string* error) {
  const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (fd < 0) {
    *error = std::string("socket: ") + std::strerror(errno);
    return false;
  }
  int one = 1;
  ::setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  addr.sin_port = htons(uint16_t(port_.load()));
  if (::bind(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0 || ::listen(fd, 16) != 0) {
    *error = std::string("cannot listen on 127.0.0.1:") + std::to_string(port_.load()) + ": " + std::strerror(errno);
    ::close(fd);
    return false;
  }
  socklen_t len = sizeof addr;
  ::getsockname(fd, reinterpret_cast<sockaddr*>(&addr), &len);
  if (!port_) port_ = ntohs(addr.sin_port);  // coming back online listens on the same port again
  std::lock_guard<std::mutex> g(mutex_);
  listenFd_ = fd;
  return true;
}

void SimPrinter::CloseListener() {
  std::lock_guard<std::mutex> g(mutex_);
  if (listenFd_ >= 0) {
    // Stops the listening at once, also while the accept loop still polls the descriptor.
    ::shutdown(listenFd_, SHUT_RDWR);
    ::close(listenFd_);
  }
  listenFd_ = -1;
}

void SimPrinter::CloseConnections() {
  std::lock_guard<std::mutex> g(mutex_);
  for (int fd : open_) ::shutdown(fd, SHUT_RDWR);
}

bool SimPrinter::Start(std::string* error) {
  if (running_) return true;
  if (!Listen(error)) return false;
  running_ = true;
  acceptThread_ = std::thread([this] { AcceptLoop(); });
  return true;
}

void SimPrinter::Stop() {
  if (!running_.exchange(false)) return;
  if (acceptThread_.joinable()) acceptThread_.join();
  CloseListener();
  CloseConnections();
  std::vector<std::thread> threads;
  {
    std::lock_guard<std::mutex> g(mutex_);
    threads.swap(threads_);
  }
  for (auto& t : threads) t.join();
}

void SimPrinter::SetOffline(bool offline) {
  if (offline_.exchange(offline) == offline) return;
  if (offline) {
    CloseListener();
    CloseConnections();
  }
  // Coming back: the accept loop listens again on the same port.
}

void SimPrinter::DropAfterBytes(size_t bytes) { dropAfter_ = bytes; }

void SimPrinter::AcceptLoop() {
  while (running_) {
    int fd;
    {
      std::lock_guard<std::mutex> g(mutex_);
      fd = listenFd_;
    }
    if (fd < 0) {
      std::string ignored;
      if (offline_ || !Listen(&ignored)) {
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
        continue;
      }
      continue;
    }
    pollfd p{fd, POLLIN, 0};
    if (::poll(&p, 1, 50) <= 0) continue;
    const int c = ::accept4(fd, nullptr, nullptr, SOCK_CLOEXEC);
    if (c < 0) continue;
    if (offline_) {
      ::close(c);
      continue;
    }
    int one = 1;  // answers go out at once, not held back for more data
    ::setsockopt(c, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
    connections_++;
    std::lock_guard<std::mutex> g(mutex_);
    open_.push_back(c);
    threads_.emplace_back([this, c] { Serve(c); });
  }
}

void SimPrinter::Serve(int fd) {
  // Takes print data, as much as the drop fault lets through; false once the connection must end.
  auto take = [this](const uint8_t* data, size_t size, size_t* taken) {
    size_t limit = dropAfter_.load();
    size_t n = size;
    bool drop = false;
    if (limit) {
      if (size >= limit) {
        n = limit == size ? size : 0;  // a write the drop cuts is not taken at all
        drop = true;
        dropAfter_ = 0;
      } else {
        dropAfter_ = limit - size;
      }
    }
    DWORD written = 0;
    if (n && !device_->OnWrite(data, DWORD(n), &written)) written = 0;
    *taken = written;
    return !drop;
  };

  uint8_t head[sizeof kSimGreeting - 1];
  size_t got = 0;
  bool framed = false;
  while (got < sizeof head) {
    const ssize_t n = ::recv(fd, head + got, sizeof head - got, 0);
    if (n <= 0) break;
    got += size_t(n);
    if (std::memcmp(head, kSimGreeting, got) != 0) break;
  }
  framed = got == sizeof head && std::memcmp(head, kSimGreeting, sizeof head) == 0;
  if (!framed) {
    // Print data, with the status queries taken out and answered. A query cut by the end of one
    // read waits in `pending` for the rest.
    static const std::vector<std::pair<std::vector<uint8_t>, std::string>> kQueries = {
        {{0x1B, '!', '?'}, "tspl"}, {{'~', 'H', 'S'}, "zpl"}, {{0x10, 0x04, 0x01}, "esc"}};
    std::vector<uint8_t> pending(head, head + got), buf(65536);
    bool open = true;
    for (;;) {
      size_t from = 0, i = 0;
      size_t taken;
      while (open && i + 3 <= pending.size()) {
        const auto q = std::find_if(kQueries.begin(), kQueries.end(),
                                    [&](const auto& k) { return std::equal(k.first.begin(), k.first.end(), pending.begin() + ptrdiff_t(i)); });
        if (q == kQueries.end()) {
          ++i;
          continue;
        }
        if (i > from) open = take(pending.data() + from, i - from, &taken);
        if (!open) break;
        std::vector<uint8_t> answer;
        if (q->second == "tspl") answer = {rawStatus_.load()};
        else if (q->second == "esc") answer = {0x12};
        else {
          const std::string hs = "\x02""030,0,0,0245,000,0,0,0,000,0,0,0\x03\r\n\x02""000,0,0,0,0,2,4,0,00000000,1,000\x03\r\n"
                                 "\x02""1234,0\x03\r\n";
          answer.assign(hs.begin(), hs.end());
        }
        SendAll(fd, answer.data(), answer.size());
        i += 3;
        from = i;
      }
      // Keep the last two bytes back: they may start a query the next read completes.
      const size_t keep = std::min<size_t>(2, pending.size() - from);
      const size_t upto = pending.size() - keep;
      if (open && upto > from) open = take(pending.data() + from, upto - from, &taken);
      pending.erase(pending.begin(), pending.begin() + ptrdiff_t(upto));
      if (!open || !running_) break;
      const ssize_t n = ::recv(fd, buf.data(), buf.size(), 0);
      if (n <= 0) {
        if (!pending.empty()) take(pending.data(), pending.size(), &taken);
        break;
      }
      pending.insert(pending.end(), buf.begin(), buf.begin() + n);
    }
  } else {
    std::vector<uint8_t> payload;
    for (;;) {
      uint8_t frame[5];
      if (!RecvAll(fd, frame, sizeof frame)) break;
      const uint32_t len = GetU32(frame + 1);
      if (len > kMaxFrame) break;
      payload.resize(len);
      if (len && !RecvAll(fd, payload.data(), len)) break;
      std::vector<uint8_t> reply;
      bool ok = true, open = true;
      switch (frame[0]) {
        case 'W': {
          size_t taken = 0;
          open = take(payload.data(), len, &taken);
          ok = open && taken == len;
          reply.resize(4);
          PutU32(reply.data(), uint32_t(taken));
          break;
        }
        case 'G': ok = device_->OnVendorGet(payload, &reply); break;
        case 'S': ok = device_->OnVendorSet(payload); break;
        case 'I': {
          const std::string id = device_->OnQueryDeviceId();
          reply.assign(id.begin(), id.end());
          break;
        }
        default: ok = false;
      }
      if (!open) break;  // the printer went away in the middle of the write
      std::vector<uint8_t> answer(5 + reply.size());
      answer[0] = uint8_t(ok ? 0 : 1);
      PutU32(answer.data() + 1, uint32_t(reply.size()));
      std::copy(reply.begin(), reply.end(), answer.begin() + 5);
      if (!SendAll(fd, answer.data(), answer.size())) break;
    }
  }
  std::lock_guard<std::mutex> g(mutex_);
  open_.erase(std::remove(open_.begin(), open_.end(), fd), open_.end());
  ::close(fd);
}

std::vector<uint8_t> RawStatusQuery(const std::string& language) {
  if (language == "tspl") return {0x1B, '!', '?'};
  if (language == "zpl") return {'~', 'H', 'S'};
  if (language == "esc") return {0x10, 0x04, 0x01};
  return {};
}

bool RawStatusAnswered(const std::string& language, const std::vector<uint8_t>& reply, uint8_t* status) {
  *status = 0;
  if (language == "zpl") return std::count(reply.begin(), reply.end(), uint8_t(0x03)) >= 3;  // three ETX-ended strings
  if (reply.empty()) return false;
  if (language == "tspl") *status = reply[0];
  return true;
}

bool SplitHostPort(const std::string& uri, std::string* host, int* port) {
  const size_t sep = uri.find("://");
  std::string rest = sep == std::string::npos ? uri : uri.substr(sep + 3);
  rest = rest.substr(0, rest.find_first_of("/?"));
  const size_t colon = rest.rfind(':');
  *port = 9100;
  if (colon != std::string::npos) {
    char* end = nullptr;
    const long p = std::strtol(rest.c_str() + colon + 1, &end, 10);
    if (*end || p < 1 || p > 65535) return false;
    *port = int(p);
    rest.resize(colon);
  }
  *host = rest;
  return !host->empty();
}

SimLink::~SimLink() { Close(); }

void SimLink::Close() {
  if (fd_ >= 0) ::close(fd_);
  fd_ = -1;
}

bool SimLink::Connect(const std::string& host, int port, int timeoutMs, std::string* error) {
  Close();
  addrinfo hints{};
  hints.ai_family = AF_UNSPEC;
  hints.ai_socktype = SOCK_STREAM;
  addrinfo* found = nullptr;
  if (const int rc = ::getaddrinfo(host.c_str(), std::to_string(port).c_str(), &hints, &found); rc != 0) {
    *error = "cannot resolve " + host + ": " + gai_strerror(rc);
    return false;
  }
  int fd = -1;
  for (addrinfo* a = found; a && fd < 0; a = a->ai_next) {
    fd = ::socket(a->ai_family, a->ai_socktype | SOCK_CLOEXEC, a->ai_protocol);
    if (fd < 0) continue;
    timeval tv{timeoutMs / 1000, (timeoutMs % 1000) * 1000};
    ::setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &tv, sizeof tv);
    ::setsockopt(fd, SOL_SOCKET, SO_SNDTIMEO, &tv, sizeof tv);
    int one = 1;
    ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
    if (::connect(fd, a->ai_addr, a->ai_addrlen) != 0) {
      ::close(fd);
      fd = -1;
    }
  }
  ::freeaddrinfo(found);
  if (fd < 0) {
    *error = "cannot connect to " + host + ":" + std::to_string(port) + ": " + std::strerror(errno);
    return false;
  }
  if (!SendAll(fd, kSimGreeting, sizeof kSimGreeting - 1)) {
    ::close(fd);
    *error = "the printer at " + host + ":" + std::to_string(port) + " closed the connection";
    return false;
  }
  fd_ = fd;
  return true;
}

bool SimLink::Exchange(char type, const uint8_t* data, size_t size, std::vector<uint8_t>* reply) {
  std::lock_guard<std::mutex> g(mutex_);
  if (fd_ < 0 || size > kMaxFrame) return false;
  std::vector<uint8_t> frame(5 + size);
  frame[0] = uint8_t(type);
  PutU32(frame.data() + 1, uint32_t(size));
  if (size) std::copy(data, data + size, frame.begin() + 5);
  uint8_t answer[5];
  if (!SendAll(fd_, frame.data(), frame.size()) || !RecvAll(fd_, answer, sizeof answer)) {
    ::close(fd_);  // a broken connection stays broken: the caller connects again
    fd_ = -1;
    return false;
  }
  const uint32_t len = GetU32(answer + 1);
  if (len > kMaxFrame) {
    ::close(fd_);
    fd_ = -1;
    return false;
  }
  reply->resize(len);
  if (len && !RecvAll(fd_, reply->data(), len)) {
    ::close(fd_);
    fd_ = -1;
    return false;
  }
  return answer[0] == 0;
}

bool SimLink::Write(const uint8_t* data, size_t size) {
  std::vector<uint8_t> reply;
  lastTaken_ = 0;
  const bool ok = Exchange('W', data, size, &reply);
  if (reply.size() == 4) lastTaken_ = GetU32(reply.data());
  return ok && lastTaken_ == size;
}

bool SimLink::VendorGet(const std::vector<uint8_t>& input, std::vector<uint8_t>* reply) {
  return Exchange('G', input.data(), input.size(), reply);
}

bool SimLink::VendorSet(const std::vector<uint8_t>& input) {
  std::vector<uint8_t> reply;
  return Exchange('S', input.data(), input.size(), &reply);
}

bool SimLink::DeviceId(std::string* out) {
  std::vector<uint8_t> reply;
  if (!Exchange('I', nullptr, 0, &reply)) return false;
  out->assign(reply.begin(), reply.end());
  return true;
}

}  // namespace lblipp
