// The Standard TCP/IP port monitor's print side: its ports are its port records, and each document is one
// connection to the port's host. The connection is made in StartDocPort and closed in EndDocPort, so a
// write outside a document fails (there is no connection), and a second start before the end is refused.
// The bytes of each document are kept, by port and job.
#include <string>
#include <vector>

#include "internal.h"
#include "winsim/monitorhost.h"
#include "winsim/spooler.h"

using namespace winsim::detail;

namespace {

struct TcpPortObj : Object {
  std::u16string name;
  bool inDocument = false;  // machine lock
  size_t document = 0;      // index into the documents of the one open
};

struct TcpPrint {
  std::vector<winsim::TcpIpDocument> documents;
};

TcpPrint& P() { return Lasting<TcpPrint>(); }

void ResetTcpPrint() { P() = TcpPrint{}; }
const ResetRegistrar kResetTcpPrint(ResetTcpPrint);

bool IsTcpIpPort(const std::u16string& name) {
  for (const auto& p : winsim::TcpIpPorts())
    if (IEquals(p.name, name)) return true;
  return false;
}

BOOL WINAPI TcpOpenPort(HANDLE, LPWSTR pName, PHANDLE pHandle) {
  const std::u16string name = Wide(pName);
  RecordPortMonitorCall("OpenPort " + ToUtf8(name));
  if (!pHandle) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  if (!IsTcpIpPort(name)) {
    SetLastError(ERROR_UNKNOWN_PORT);
    return FALSE;
  }
  auto port = std::make_shared<TcpPortObj>();
  port->name = name;
  *pHandle = NewHandle(port);
  return TRUE;
}

BOOL WINAPI TcpStartDocPort(HANDLE hPort, LPWSTR, DWORD JobId, DWORD Level, LPBYTE pDocInfo) {
  auto port = HandleOrError<TcpPortObj>(hPort);
  if (!port) return FALSE;
  RecordPortMonitorCall("StartDocPort " + ToUtf8(port->name) + " " + std::to_string(JobId));
  if (Level != 1 || !pDocInfo) {
    SetLastError(Level != 1 ? ERROR_INVALID_LEVEL : ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  Guard g(Mutex());
  if (port->inDocument) {
    RecordPortMonitorCall("StartDocPort " + ToUtf8(port->name) + " refused: a document is open");
    SetLastError(ERROR_BUSY);
    return FALSE;
  }
  port->inDocument = true;
  port->document = P().documents.size();
  P().documents.push_back({port->name, JobId, {}, false});
  return TRUE;
}

BOOL WINAPI TcpWritePort(HANDLE hPort, LPBYTE pBuffer, DWORD cbBuf, LPDWORD pcbWritten) {
  if (pcbWritten) *pcbWritten = 0;
  auto port = HandleOrError<TcpPortObj>(hPort);
  if (!port) return FALSE;
  Guard g(Mutex());
  if (!port->inDocument) {
    RecordPortMonitorCall("WritePort " + ToUtf8(port->name) + " " + std::to_string(cbBuf) + " refused: no document");
    SetLastError(ERROR_INVALID_HANDLE);
    return FALSE;
  }
  RecordPortMonitorCall("WritePort " + ToUtf8(port->name) + " " + std::to_string(cbBuf));
  if (!pBuffer && cbBuf) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  auto& bytes = P().documents[port->document].bytes;
  bytes.insert(bytes.end(), pBuffer, pBuffer + cbBuf);
  if (pcbWritten) *pcbWritten = cbBuf;
  return TRUE;
}

BOOL WINAPI TcpReadPort(HANDLE hPort, LPBYTE, DWORD, LPDWORD pcbRead) {
  if (pcbRead) *pcbRead = 0;
  auto port = HandleOrError<TcpPortObj>(hPort);
  if (!port) return FALSE;
  RecordPortMonitorCall("ReadPort " + ToUtf8(port->name));
  SetLastError(ERROR_NOT_SUPPORTED);  // raw TCP printing has no back channel
  return FALSE;
}

BOOL WINAPI TcpEndDocPort(HANDLE hPort) {
  auto port = HandleOrError<TcpPortObj>(hPort);
  if (!port) return FALSE;
  RecordPortMonitorCall("EndDocPort " + ToUtf8(port->name));
  Guard g(Mutex());
  if (port->inDocument) P().documents[port->document].ended = true;
  port->inDocument = false;
  return TRUE;
}

BOOL WINAPI TcpClosePort(HANDLE hPort) {
  auto port = TakeHandleOf<TcpPortObj>(hPort);
  if (!port) {
    SetLastError(ERROR_INVALID_HANDLE);
    return FALSE;
  }
  RecordPortMonitorCall("ClosePort " + ToUtf8(port->name));
  return TRUE;
}

char g_tcpMonitorTag;

}  // namespace

namespace winsim {

MONITOR2 TcpIpPortMonitor() {
  return MONITOR2{.cbSize = sizeof(MONITOR2), .pfnOpenPort = TcpOpenPort, .pfnStartDocPort = TcpStartDocPort,
                  .pfnWritePort = TcpWritePort, .pfnReadPort = TcpReadPort, .pfnEndDocPort = TcpEndDocPort,
                  .pfnClosePort = TcpClosePort};
}

HANDLE TcpIpPortMonitorHandle() { return &g_tcpMonitorTag; }

std::vector<TcpIpDocument> TcpIpDocuments() { return CopyLocked(P().documents); }

}  // namespace winsim
