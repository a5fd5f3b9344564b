// Internals shared by the simulated network's parts (ws2_32, iphlpapi, devices/netprinter).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "winsim/network.h"

namespace winsim::detail {

constexpr uint16_t kDiscoveryPort = 22368;

// Dotted quad <-> host-order address; ParseIpv4 fails on anything but four decimal parts of 0..255.
bool ParseIpv4(const std::string& text, uint32_t* addr);
std::string Ipv4Text(uint32_t addr);

struct Subnet {
  uint32_t addr, mask;  // host order
};
// The answers of the present printers reachable from `from` to a datagram sent to `toAddr`:`toPort`
// (called with the machine lock held).
std::vector<Datagram> NetworkPrinterAnswers(const std::vector<Subnet>& from, uint32_t toAddr, uint16_t toPort,
                                            const std::vector<uint8_t>& request);

}  // namespace winsim::detail
