#include "ipp/connections.h"

#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>

namespace lblipp {

int OpenConnectionsOnPort(int port) {
  constexpr unsigned long kListen = 0x0A;
  int count = 0;
  bool read = false;
  for (const char* table : {"/proc/net/tcp", "/proc/net/tcp6"}) {
    std::ifstream in(table);
    std::string line;
    if (!std::getline(in, line)) continue;  // no such table (no IPv6) or unreadable
    read = true;
    // sl local_address rem_address st tx_queue:rx_queue tr:tm->when retrnsmt uid timeout inode
    while (std::getline(in, line)) {
      std::istringstream fields(line);
      std::string slot, local, remote, state, queues, timer, retransmits, uid, timeout, inode;
      if (!(fields >> slot >> local >> remote >> state >> queues >> timer >> retransmits >> uid >> timeout >> inode))
        continue;
      const auto colon = local.rfind(':');
      if (colon == std::string::npos) continue;
      const unsigned long localPort = std::strtoul(local.c_str() + colon + 1, nullptr, 16);
      const unsigned long st = std::strtoul(state.c_str(), nullptr, 16);
      // Inode 0: no file refers to the socket, so no thread of its owner can be using it: not yet
      // accepted, or closed and only lingering in the kernel (TIME_WAIT, FIN_WAIT2).
      if (localPort == static_cast<unsigned long>(port) && st != kListen && inode != "0") ++count;
    }
  }
  return read ? count : -1;
}

}  // namespace lblipp
