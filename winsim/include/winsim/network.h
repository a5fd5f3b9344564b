// winsim: the simulated network. Adapters (what GetAdaptersInfo reports and what sockets may bind to) and
// network label printers that answer the discovery broadcast. Nothing here touches the host's network.
//
// Delivery: a datagram sent from a socket to UDP port 22368, either to 255.255.255.255 or to a printer's own
// address, reaches every present printer on the sending socket's subnet (a socket bound to INADDR_ANY reaches
// all adapters' subnets). Each printer answers at once, from its address and port 22368, into the sender's
// queue. Every sent datagram is recorded. Reset() removes adapters, printers, sockets and records.
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include <windows.h>

namespace winsim {

struct NetworkAdapter {
  std::string name = "{8C1C5C6A-0000-4000-8000-000000000001}";
  std::string description = "Simulated Ethernet Adapter";
  UINT type = 6;  // MIB_IF_TYPE_ETHERNET
  // Addresses with their masks, dotted quads; "0.0.0.0" is an adapter without an address.
  std::vector<std::pair<std::string, std::string>> addresses = {{"192.0.2.1", "255.255.255.0"}};
};
void AddNetworkAdapter(const NetworkAdapter& adapter);
std::vector<NetworkAdapter> NetworkAdapters();

// How a printer answers a discovery request.
enum class AnswerShape {
  kNormal,               // 116 bytes, the model NUL-terminated at offset 52
  kUnterminatedModel64,  // 116 bytes, 64 model bytes from offset 52 without a NUL (the rest of the datagram non-zero)
  kShort115,             // the normal answer cut to 115 bytes
  kLong117,              // the normal answer and one more byte
};

class NetworkPrinter {
 public:
  std::string ip;     // dotted quad
  std::string model;  // model name as the printer reports it ("TW-JA")
  std::atomic<int> answersPerRequest{1};
  std::atomic<AnswerShape> shape{AnswerShape::kNormal};
  std::atomic<bool> present{true};  // false: vanished, answers nothing
  std::atomic<int> requestsSeen{0};

  // The answer bytes for the current shape.
  std::vector<uint8_t> Answer() const;
};
std::shared_ptr<NetworkPrinter> AddNetworkPrinter(const std::string& ip, const std::string& model);
void RemoveNetworkPrinter(const std::shared_ptr<NetworkPrinter>& printer);
std::vector<std::shared_ptr<NetworkPrinter>> NetworkPrinters();

struct Datagram {
  std::string fromIp, toIp;
  uint16_t fromPort = 0, toPort = 0;
  std::vector<uint8_t> bytes;
};
std::vector<Datagram> SentDatagrams();  // in send order
// Queues a datagram to every open socket bound to `toPort` whose address is `toIp` or INADDR_ANY;
// the number of sockets reached.
size_t InjectDatagram(const Datagram& datagram);
size_t OpenSockets();
size_t BlockedReceives();  // threads blocked in recvfrom on an empty queue
// Datagrams waiting in open sockets' queues. With none waiting and every receiving thread blocked again,
// everything sent so far has been received and handled.
size_t QueuedDatagrams();
// Makes WSAStartup fail with this error (0: succeed).
void SetWsaStartupError(int error);

}  // namespace winsim
