#include "tools/discover_command.h"

#include <cstdio>
#include <cstring>
#include <memory>
#include <thread>
#include <utility>
#include <vector>

#include "common/wstr.h"
#include "installer/discovery.h"
#include "tools/exit_status.h"
#include "tools/install_commands.h"
#include "tools/numbers.h"
#include "tools/state.h"
#include "tools/json_out.h"
#include "winsim/devices.h"
#include "winsim/network.h"

namespace lbl {

namespace {

bool ParseNetPrinter(const std::string& spec, std::string* error) {
  const size_t eq = spec.find('=');
  if (eq == std::string::npos || eq == 0 || eq + 1 == spec.size()) {
    *error = "--net-printer wants IP=MODEL[/twice|/115|/117|/unterminated]: " + spec;
    return false;
  }
  std::string model = spec.substr(eq + 1), how;
  if (const size_t slash = model.find('/'); slash != std::string::npos) {
    how = model.substr(slash + 1);
    model.resize(slash);
  }
  const std::string ip = spec.substr(0, eq);
  auto p = IsDottedIpv4(Utf8ToWide(ip).c_str()) ? winsim::AddNetworkPrinter(ip, model) : nullptr;
  if (!p) {
    *error = "--net-printer: not an IPv4 address in dotted form (A.B.C.D, each 0 to 255): " + ip;
    return false;
  }
  if (how == "twice") {
    p->answersPerRequest = 2;
  } else if (how == "115") {
    p->shape = winsim::AnswerShape::kShort115;
  } else if (how == "117") {
    p->shape = winsim::AnswerShape::kLong117;
  } else if (how == "unterminated") {
    p->shape = winsim::AnswerShape::kUnterminatedModel64;
  } else if (!how.empty()) {
    *error = "unknown answer kind '" + how + "' (twice, 115, 117, unterminated)";
    return false;
  }
  return true;
}

bool ParseAdapter(const std::string& spec, std::string* error) {
  // IP/BITS[=TYPE]
  winsim::NetworkAdapter a;
  std::string rest = spec;
  int64_t type = a.type, bits = 24;
  bool numbers = true;
  if (const size_t eq = rest.find('='); eq != std::string::npos) {
    numbers = ParseWhole(rest.substr(eq + 1), 0, 0xFFFFFFFF, &type);
    a.type = UINT(type);
    rest.resize(eq);
  }
  if (const size_t slash = rest.find('/'); slash != std::string::npos) {
    numbers = numbers && ParseWhole(rest.substr(slash + 1), 0, 32, &bits);
    rest.resize(slash);
  }
  unsigned b[4];
  char tail;
  if (!numbers || !IsDottedIpv4(Utf8ToWide(rest).c_str()) ||
      std::sscanf(rest.c_str(), "%u.%u.%u.%u%c", &b[0], &b[1], &b[2], &b[3], &tail) != 4) {
    *error = "--adapter wants IP[/BITS][=TYPE]: " + spec;
    return false;
  }
  const uint32_t mask = bits ? ~uint32_t(0) << (32 - bits) : 0;
  char m[16];
  std::snprintf(m, sizeof m, "%u.%u.%u.%u", mask >> 24, (mask >> 16) & 255, (mask >> 8) & 255, mask & 255);
  a.name = "{lbl-adapter-" + std::to_string(winsim::NetworkAdapters().size() + 1) + "}";
  a.addresses = {{rest, m}};
  winsim::AddNetworkAdapter(a);
  return true;
}

LRESULT HandleReply(void* context, UINT msg, WPARAM wParam, LPARAM lParam) {
  if (msg == MSG_NETWORK_REPLY)
    HandleDiscoveryAnswer(static_cast<PortLists*>(context), reinterpret_cast<const uint8_t*>(lParam), wParam);
  return 0;
}

void WriteList(JsonOut& j, const char* key, const std::vector<PortEntry>& list) {
  j.BeginArray(key);
  for (const PortEntry& e : list) {
    auto& w = j.W();
    w.StartObject();
    auto str = [&](const char* k, const WCHAR* v) {
      w.Key(k);
      w.String(WideToUtf8(v).c_str());
    };
    str("PortName", e.PortName);
    str("Description", e.Description);
    w.Key("PortType");
    w.Uint(e.PortType);
    if (e.PortType == kPortTypeUsb && e.Vendor[0]) {
      str("Vendor", e.Vendor);
      str("Checksum", e.Checksum);
      str("SerialNumber", e.SerialNumber);
      str("HardwareId", e.HardwareId);
    }
    w.Key("Model");
    WCHAR model[100];
    IdentifyAttachedModel(e.PortName, e.Description, model, 100);
    const ModelTableRow* row = FindModelForDescription(model);
    if (row) {
      w.String((std::string(row->vendor) + " " + row->model).c_str());
    } else {
      w.Null();
    }
    w.EndObject();
  }
  j.EndArray();
}

}  // namespace

int RunDiscover(const std::vector<std::string>& args) {
  std::vector<std::pair<std::string, std::string>> options;
  for (size_t i = 0; i < args.size(); ++i) {
    const std::string& a = args[i];
    if (a != "--usb-printer" && a != "--net-printer" && a != "--adapter") return Usage("unknown option " + a);
    if (i + 1 >= args.size()) return Usage(a + " wants a value");
    options.emplace_back(a, args[++i]);
  }
  // Discovery looks at the machine of the state folder: the USB printers plugged in before are there,
  // and those plugged in now stay, as install's do. The network is set up on it (it is not kept), and
  // only once every option has been taken is a printer plugged in.
  std::string error;
  if (!OpenState(&error)) return Fail(error);
  bool adapters = false;
  for (const auto& [a, v] : options) {
    if (a == "--net-printer" && !ParseNetPrinter(v, &error)) return Usage(error);
    if (a == "--adapter" && !ParseAdapter(v, &error)) return Usage(error);
    adapters = adapters || a == "--adapter";
  }
  for (const auto& [a, v] : options)
    if (a == "--usb-printer" && !PlugUsbPrinter(v, &error)) return Fail(error);
  if (!adapters && !winsim::NetworkPrinters().empty()) winsim::AddNetworkAdapter({});  // 192.0.2.1/24

  PortLists lists;
  InitPortLists(&lists);
  Discovery discovery;
  const std::vector<std::string> addresses = ScanAdapters();
  const bool network = StartDiscoverySockets(&discovery, &lists, addresses);
  EnumLocalPorts(&lists);
  ScanUsbPrinters(&lists);
  size_t receivers = 0;
  for (const DiscoverySocket* s = discovery.Sockets; s; s = s->Next) receivers += s->Thread != nullptr;
  // The receive threads are blocked on their empty sockets; the printers answer within the send.
  while (winsim::BlockedReceives() < receivers) std::this_thread::yield();
  const DiscoveryTarget target{HandleReply, &lists};
  SendDiscoveryRequest(&discovery, &target);
  while (winsim::QueuedDatagrams() > 0 || winsim::BlockedReceives() < receivers)
    std::this_thread::yield();  // every answer handled
  StopDiscovery(&discovery);

  JsonOut j;
  j.BeginArray("Addresses");
  for (const std::string& a : addresses) j.W().String(a.c_str());
  j.EndArray();
  j.Bool("NetworkDiscovery", network && receivers > 0);
  WriteList(j, "UsbPrinters", CopyPortList(&lists, &PortLists::Usb));
  WriteList(j, "NetworkPrinters", CopyPortList(&lists, &PortLists::Network));
  WriteList(j, "LocalPorts", CopyPortList(&lists, &PortLists::Local));
  FreePortLists(&lists);
  return j.Emit();
}

CommandSpec DiscoverCommand() {
  return {
      "discover",
      "the installer's printer discovery on the simulated machine, as JSON",
      "discover [--usb-printer DEVICE-ID]... [--net-printer IP=MODEL[/KIND]]... [--adapter IP[/BITS][=TYPE]]...",
      "Sets up the machine of the state folder with the given USB printers (kept, as plugged in),\n"
      "network printers and network adapters (for this run only), then runs the installer's\n"
      "discovery as the install page does: the spooler's local\n"
      "ports, the USB printers of the USB printing interface, and one broadcast request from every\n"
      "usable adapter address. Prints the three lists (\"UsbPrinters\", \"NetworkPrinters\",\n"
      "\"LocalPorts\") with each entry's fields and the model the installer would select (null: none).\n"
      "Nothing leaves the machine: the network is simulated.",
      {{"--usb-printer", "DEVICE-ID",
        "attach a USB printer with this IEEE 1284 device ID on the next USB port (USB001, USB002, ...);\n"
        "its port description is the MFG value followed by the MDL value"},
       {"--net-printer", "IP=MODEL[/KIND]",
        "a network printer that answers the discovery request with its model; KIND: twice (answers\n"
        "twice), 115 or 117 (a short or long answer), unterminated (a 64-byte model)"},
       {"--adapter", "IP[/BITS][=TYPE]",
        "a network adapter (default, when network printers are given: 192.0.2.1/24 of type 6,\n"
        "Ethernet); TYPE is the adapter type number, e.g. 71 for IEEE 802.11, 131 for a tunnel"}},
      "0  discovery ran\n"
      "1  the state could not be read, or a USB printer could not be plugged in\n"
      "2  usage error: a bad option or value",
      "lbl discover --usb-printer \"MFG:Tarnwell;CMD:TWL;MDL:TW-JA;\"\n"
      "lbl discover --net-printer 192.0.2.10=TW-JA --net-printer 192.0.2.11=TW-JB/twice",
      "",
      RunDiscover,
  };
}

}  // namespace lbl
