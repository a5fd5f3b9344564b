// The Standard TCP/IP port monitor behind XcvDataW: port records added, configured, deleted and read
// back through the monitor's transceive handle (",XcvMonitor Standard TCP/IP Port") and a port's
// (",XcvPort NAME").
#include <cstring>
#include <vector>

#include <tcpxcv.h>

#include "internal.h"
#include "machine_state.h"
#include "winsim/spooler.h"

using namespace winsim::detail;

namespace {

const char16_t kMonitor[] = u"Standard TCP/IP Port";

struct XcvHandle : Object {
  bool monitor = false;   // ",XcvMonitor ..." (else ",XcvPort ...")
  std::u16string port;    // of a port handle
  DWORD access = 0;       // as OpenPrinterW asked for it
};

struct TcpMon {
  std::vector<winsim::TcpIpPort> ports;
  std::vector<std::string> commands;
};

TcpMon& T() { return Lasting<TcpMon>(); }

void ResetTcpMon() { T() = TcpMon{}; }
const ResetRegistrar kResetTcpMon(ResetTcpMon);

// The port records (the monitor's registry keys); not the commands received.
void SaveTcpMon(StateWriter& w) {
  w.U32(uint32_t(T().ports.size()));
  for (const auto& p : T().ports) {
    for (const auto* t : {&p.name, &p.hostAddress, &p.snmpCommunity, &p.queue}) w.Str(*t);
    for (DWORD v : {p.protocol, p.portNumber, p.snmpEnabled, p.snmpDevIndex, p.doubleSpool}) w.U32(v);
  }
}

bool LoadTcpMon(StateReader& r, uint32_t) {
  for (uint32_t i = 0, n = r.Count(4 * 8 + 5 * 4); i < n && r.Ok(); ++i) {
    winsim::TcpIpPort p;
    for (auto* t : {&p.name, &p.hostAddress, &p.snmpCommunity, &p.queue}) *t = r.Str();
    for (DWORD* v : {&p.protocol, &p.portNumber, &p.snmpEnabled, &p.snmpDevIndex, &p.doubleSpool}) *v = r.U32();
    bool twice = false;
    for (const auto& q : T().ports) twice = twice || IEquals(q.name, p.name);
    if (r.Ok() && (p.name.empty() || twice)) r.Fail("a port is unnamed or listed twice");
    T().ports.push_back(std::move(p));
  }
  return r.Ok();
}
const StateRegistrar kTcpMonState("tcpmon", 1, SaveTcpMon, LoadTcpMon);

winsim::TcpIpPort* FindPort(const std::u16string& name) {
  for (auto& p : T().ports)
    if (IEquals(p.name, name)) return &p;
  return nullptr;
}

// A fixed-size text field, read up to its first NUL or its end.
std::u16string Field(const WCHAR* f, size_t n) {
  size_t len = 0;
  while (len < n && f[len]) ++len;
  return std::u16string(reinterpret_cast<const char16_t*>(f), len);
}

void PutField(WCHAR* f, size_t n, const std::u16string& s) {
  size_t len = s.size() < n ? s.size() : n - 1;
  std::memcpy(f, s.data(), len * 2);
  f[len] = 0;
}

// A command's version-1 input record; ERROR_SUCCESS, or the status word for input that is missing, short
// or of another version.
template <class Rec>
DWORD ReadInput(const BYTE* in, DWORD cbIn, Rec* rec) {
  if (!in) return ERROR_INVALID_DATA;
  if (cbIn < sizeof(Rec)) return ERROR_INVALID_PARAMETER;
  std::memcpy(rec, in, sizeof(Rec));
  return rec->dwVersion == 1 ? ERROR_SUCCESS : ERROR_INVALID_LEVEL;
}

// A host the monitor can print to: a dotted IPv4 address (four numbers of at most 255) or a host name of
// letters, digits, '-' and '.' that is not made of digits and dots alone.
bool ValidHost(const std::u16string& host) {
  if (host.empty() || host.size() > 255 || host.front() == u'.' || host.back() == u'.' || host.front() == u'-')
    return false;
  bool numeric = true;
  for (char16_t c : host) {
    const bool digit = c >= u'0' && c <= u'9';
    const bool letter = (c >= u'a' && c <= u'z') || (c >= u'A' && c <= u'Z');
    if (!digit && !letter && c != u'-' && c != u'.') return false;
    numeric = numeric && (digit || c == u'.');
  }
  if (!numeric) return true;
  int parts = 0, value = -1;
  for (size_t i = 0; i <= host.size(); ++i) {
    if (i < host.size() && host[i] != u'.') {
      value = (value < 0 ? 0 : value * 10) + (host[i] - u'0');
      if (value > 255) return false;
      continue;
    }
    if (value < 0) return false;
    ++parts;
    value = -1;
  }
  return parts == 4;
}

// Whether a printer's port list ("LPT1:,IP_192.0.2.10" for a pool) names the port.
bool NamesPort(const std::u16string& list, const std::u16string& port) {
  for (std::u16string_view one : PortNames(list))
    if (IEquals(one, port)) return true;
  return false;
}

// The settings of an AddPort or ConfigPort record: a name the spooler can list (no ','), a host, a TCP
// port of 1 to 65535 and the raw or LPR protocol.
DWORD CheckPortData(const PORT_DATA_1& d) {
  const std::u16string name = Field(d.sztPortName, MAX_PORTNAME_LEN);
  if (name.empty() || name.find(u',') != std::u16string::npos) return ERROR_INVALID_PARAMETER;
  if (!ValidHost(Field(d.sztHostAddress, MAX_NETWORKNAME_LEN))) return ERROR_INVALID_PARAMETER;
  if (d.dwPortNumber == 0 || d.dwPortNumber > 65535) return ERROR_INVALID_PARAMETER;
  if (d.dwProtocol != PROTOCOL_RAWTCP_TYPE && d.dwProtocol != PROTOCOL_LPR_TYPE) return ERROR_INVALID_PARAMETER;
  return ERROR_SUCCESS;
}

// The settings AddPort and ConfigPort take from the record (all but the name).
void StoreSettings(const PORT_DATA_1& d, winsim::TcpIpPort* p) {
  p->hostAddress = Field(d.sztHostAddress, MAX_NETWORKNAME_LEN);
  p->snmpCommunity = Field(d.sztSNMPCommunity, MAX_SNMP_COMMUNITY_STR_LEN);
  p->queue = Field(d.sztQueue, MAX_QUEUENAME_LEN);
  p->protocol = d.dwProtocol;
  p->portNumber = d.dwPortNumber;
  p->snmpEnabled = d.dwSNMPEnabled;
  p->snmpDevIndex = d.dwSNMPDevIndex;
  p->doubleSpool = d.dwDoubleSpool;
}

// The status word of each command: ERROR_SUCCESS or why it was refused.
DWORD Command(const XcvHandle& h, const std::u16string& cmd, const BYTE* in, DWORD cbIn, BYTE* out, DWORD cbOut,
              DWORD* needed) {
  // Changing ports needs the monitor opened for administration.
  const bool changes = cmd == u"AddPort" || cmd == u"ConfigPort" || cmd == u"DeletePort";
  if (h.monitor && changes && !(h.access & SERVER_ACCESS_ADMINISTER)) return ERROR_ACCESS_DENIED;
  if (h.monitor && cmd == u"AddPort") {
    PORT_DATA_1 d;
    if (DWORD status = ReadInput(in, cbIn, &d)) return status;
    if (DWORD status = CheckPortData(d)) return status;
    winsim::TcpIpPort p;
    p.name = Field(d.sztPortName, MAX_PORTNAME_LEN);
    StoreSettings(d, &p);
    if (FindPort(p.name)) return ERROR_ALREADY_EXISTS;
    T().ports.push_back(p);
    return ERROR_SUCCESS;
  }
  if (h.monitor && cmd == u"ConfigPort") {
    PORT_DATA_1 d;
    if (DWORD status = ReadInput(in, cbIn, &d)) return status;
    winsim::TcpIpPort* p = FindPort(Field(d.sztPortName, MAX_PORTNAME_LEN));
    if (!p) return ERROR_UNKNOWN_PORT;
    if (DWORD status = CheckPortData(d)) return status;
    StoreSettings(d, p);
    return ERROR_SUCCESS;
  }
  if (h.monitor && cmd == u"DeletePort") {
    DELETE_PORT_DATA_1 d;
    if (DWORD status = ReadInput(in, cbIn, &d)) return status;
    const std::u16string name = Field(d.psztPortName, MAX_PORTNAME_LEN);
    for (const auto& pr : winsim::Printers())
      if (NamesPort(pr.port, name)) return ERROR_BUSY;  // a printer still uses it
    for (auto it = T().ports.begin(); it != T().ports.end(); ++it) {
      if (IEquals(it->name, name)) {
        T().ports.erase(it);
        return ERROR_SUCCESS;
      }
    }
    return ERROR_UNKNOWN_PORT;
  }
  if (!h.monitor && cmd == u"GetConfigInfo") {
    CONFIG_INFO_DATA_1 c;
    if (DWORD status = ReadInput(in, cbIn, &c)) return status;
    *needed = sizeof(PORT_DATA_1);
    if (!out || cbOut < sizeof(PORT_DATA_1)) return ERROR_INSUFFICIENT_BUFFER;
    const winsim::TcpIpPort* p = FindPort(h.port);
    if (!p) return ERROR_UNKNOWN_PORT;
    PORT_DATA_1 d{.dwVersion = 1, .dwProtocol = p->protocol, .cbSize = sizeof(PORT_DATA_1),
                  .dwDoubleSpool = p->doubleSpool, .dwPortNumber = p->portNumber, .dwSNMPEnabled = p->snmpEnabled,
                  .dwSNMPDevIndex = p->snmpDevIndex};
    PutField(d.sztPortName, MAX_PORTNAME_LEN, p->name);
    PutField(d.sztHostAddress, MAX_NETWORKNAME_LEN, p->hostAddress);
    PutField(d.sztSNMPCommunity, MAX_SNMP_COMMUNITY_STR_LEN, p->snmpCommunity);
    PutField(d.sztQueue, MAX_QUEUENAME_LEN, p->queue);
    std::memcpy(out, &d, sizeof d);
    return ERROR_SUCCESS;
  }
  return ERROR_INVALID_PARAMETER;
}

}  // namespace

namespace winsim {

std::vector<TcpIpPort> TcpIpPorts() { return CopyLocked(T().ports); }

void AddTcpIpPortRecord(const TcpIpPort& port) {
  Guard g(Mutex());
  if (TcpIpPort* p = FindPort(port.name)) *p = port;
  else T().ports.push_back(port);
}

std::vector<std::string> XcvCommands() { return CopyLocked(T().commands); }

}  // namespace winsim

namespace winsim::detail {

BOOL OpenXcv(LPWSTR name, DWORD access, LPHANDLE phXcv) {
  const std::u16string n = Wide(name);
  auto h = std::make_shared<XcvHandle>();
  h->access = access;
  Guard g(Mutex());
  if (n == std::u16string(u",XcvMonitor ") + kMonitor) {
    h->monitor = true;
  } else if (n.rfind(u",XcvPort ", 0) == 0 && FindPort(n.substr(9))) {
    h->port = n.substr(9);
  } else {
    SetLastError(ERROR_INVALID_PRINTER_NAME);
    return FALSE;
  }
  *phXcv = NewHandle(h);
  return TRUE;
}

bool CloseXcv(HANDLE h) { return TakeHandleOf<XcvHandle>(h) != nullptr; }

}  // namespace winsim::detail

extern "C" {

BOOL WINAPI XcvDataW(HANDLE hXcv, PCWSTR pszDataName, PBYTE pInputData, DWORD cbInputData, PBYTE pOutputData,
                     DWORD cbOutputData, PDWORD pcbOutputNeeded, PDWORD pdwStatus) {
  Guard g(Mutex());
  auto h = HandleOrError<XcvHandle>(hXcv);
  if (!h) return FALSE;
  if (!pszDataName || !pcbOutputNeeded || !pdwStatus) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  const std::u16string cmd = Wide(pszDataName);
  std::string line = ToUtf8(cmd) + " ";
  if (cbInputData >= MAX_PORTNAME_LEN * 2 && pInputData && cmd != u"GetConfigInfo")
    line += ToUtf8(Field(reinterpret_cast<const WCHAR*>(pInputData), MAX_PORTNAME_LEN));
  else
    line += ToUtf8(h->port);
  T().commands.push_back(line);
  *pcbOutputNeeded = 0;
  *pdwStatus = Command(*h, cmd, pInputData, cbInputData, pOutputData, cbOutputData, pcbOutputNeeded);
  return TRUE;
}

}  // extern "C"
