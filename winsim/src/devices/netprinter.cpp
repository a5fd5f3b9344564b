// Simulated network label printers: they answer the discovery broadcast with their address and model.
#include <algorithm>
#include <cstring>

#include "internal.h"
#include "ws2_32/net.h"

using namespace winsim::detail;

namespace {

// The only request the printers answer: the installer's 32-byte discovery request.
const uint8_t kRequest[32] = {0x00, 0x20, 0x00, 0x01, 0x00, 0x01, 0x08, 0x00, 0x00, 0x02, 0x00,
                              0x00, 0x00, 0x06, 0x00, 0x00, 0x01, 0x00, 0x00, 0x00, 0x00, 0x00,
                              0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0x00, 0x00, 0x00, 0x00};

std::vector<std::shared_ptr<winsim::NetworkPrinter>>& Printers() {
  static auto* p = new std::vector<std::shared_ptr<winsim::NetworkPrinter>>;
  return *p;
}

void ResetNetworkPrinters() { Printers().clear(); }
const ResetRegistrar kResetNetworkPrinters(ResetNetworkPrinters);

}  // namespace

namespace winsim {

std::vector<uint8_t> NetworkPrinter::Answer() const {
  std::vector<uint8_t> a(116, 0);
  a[0] = 0x00;
  a[1] = 0x74;  // the answer's length, as the request carries its own
  a[2] = 0x00;
  a[3] = 0x02;
  uint32_t addr = 0;
  ParseIpv4(ip, &addr);
  a[44] = uint8_t(addr >> 24);
  a[45] = uint8_t(addr >> 16);
  a[46] = uint8_t(addr >> 8);
  a[47] = uint8_t(addr);
  const AnswerShape s = shape;
  if (s == AnswerShape::kUnterminatedModel64) {
    std::fill(a.begin() + 52, a.end(), uint8_t('#'));
    memcpy(a.data() + 52, model.data(), std::min<size_t>(model.size(), 64));
    return a;
  }
  memcpy(a.data() + 52, model.data(), std::min<size_t>(model.size(), 63));
  if (s == AnswerShape::kShort115) a.resize(115);
  if (s == AnswerShape::kLong117) a.push_back(0);
  return a;
}

std::shared_ptr<NetworkPrinter> AddNetworkPrinter(const std::string& ip, const std::string& model) {
  uint32_t addr;
  if (!ParseIpv4(ip, &addr)) return nullptr;
  auto p = std::make_shared<NetworkPrinter>();
  p->ip = ip;
  p->model = model;
  Guard g(Mutex());
  Printers().push_back(p);
  return p;
}

void RemoveNetworkPrinter(const std::shared_ptr<NetworkPrinter>& printer) {
  Guard g(Mutex());
  auto& v = Printers();
  v.erase(std::remove(v.begin(), v.end(), printer), v.end());
}

std::vector<std::shared_ptr<NetworkPrinter>> NetworkPrinters() {
  Guard g(Mutex());
  return Printers();
}

}  // namespace winsim

namespace winsim::detail {

std::vector<Datagram> NetworkPrinterAnswers(const std::vector<Subnet>& from, uint32_t toAddr, uint16_t toPort,
                                            const std::vector<uint8_t>& request) {
  std::vector<Datagram> out;
  if (toPort != kDiscoveryPort || request.size() != sizeof kRequest || memcmp(request.data(), kRequest, 32) != 0)
    return out;
  for (const auto& p : Printers()) {
    uint32_t addr;
    if (!p->present || !ParseIpv4(p->ip, &addr)) continue;
    if (toAddr != 0xFFFFFFFFu && toAddr != addr) continue;
    const bool reachable =
        std::any_of(from.begin(), from.end(), [&](const Subnet& s) { return (s.addr & s.mask) == (addr & s.mask); });
    if (!reachable) continue;
    ++p->requestsSeen;
    for (int i = 0; i < p->answersPerRequest; ++i) {
      Datagram d;
      d.fromIp = p->ip;
      d.fromPort = kDiscoveryPort;
      d.bytes = p->Answer();
      out.push_back(std::move(d));
    }
  }
  return out;
}

}  // namespace winsim::detail
