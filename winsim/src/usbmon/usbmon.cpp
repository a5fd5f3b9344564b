// The USB port monitor (usbmon) that a language monitor forwards to: its ports are the USB printers'
// ports, every call is recorded, and tests inject faults per port.
#include <cstdio>
#include <cstdlib>
#include <map>
#include <set>

#include "internal.h"
#include "winsim/devices.h"
#include "winsim/monitorhost.h"

using namespace winsim::detail;

namespace {

struct PortState {
  std::map<std::u16string, winsim::PortFaults> faults;  // upper-cased port name
  std::vector<std::string> calls;
  size_t openPorts = 0;
  std::set<uintptr_t> closedPorts;  // port handles the port monitor has closed
};

PortState& H() { return Lasting<PortState>(); }

struct PortObj : Object {
  std::u16string name;
  bool inDocument = false;  // between a StartDocPort and its EndDocPort; machine lock
};

// The port's document: a port monitor server opens its connection to the device in StartDocPort and
// closes it in EndDocPort, so a write outside a document has no connection to go through
// (ERROR_INVALID_HANDLE), and a second start before the end would open it twice (ERROR_BUSY).
bool InDocument(const PortObj& port) {
  Guard g(Mutex());
  return port.inDocument;
}
void SetInDocument(PortObj& port, bool value) {
  Guard g(Mutex());
  port.inDocument = value;
}

const winsim::PortFaults* FaultsOf(const std::u16string& port) {
  auto it = H().faults.find(Upper(port));
  return it == H().faults.end() ? nullptr : &it->second;
}

winsim::PortFaults FaultsFor(const std::u16string& port) {
  Guard g(Mutex());
  const winsim::PortFaults* f = FaultsOf(port);
  return f ? *f : winsim::PortFaults{};
}

void Record(const std::string& call) { AppendLocked(H().calls, call); }

}  // namespace

namespace winsim::detail {
void RecordPortMonitorCall(const std::string& call) { Record(call); }
}  // namespace winsim::detail

namespace {

std::string Narrow(const std::u16string& s) {
  return ToUtf8(s);
}

std::shared_ptr<PortObj> PortOf(HANDLE h) {
  {
    Guard g(Mutex());
    if (H().closedPorts.count(reinterpret_cast<uintptr_t>(h))) {
      // On Windows the handle is freed memory inside the spooler: a caller's bug, never an offline printer.
      fprintf(stderr, "winsim: port monitor called with the closed port handle %p\n", h);
      abort();
    }
  }
  return HandleOrError<PortObj>(h);
}

// Opens the device of the port's printer for one operation; INVALID_HANDLE_VALUE with the error set.
HANDLE OpenDeviceOf(const PortObj& port) {
  auto device = winsim::UsbPrinterOnPort(port.name);
  if (!device) {
    SetLastError(ERROR_DEVICE_NOT_CONNECTED);
    return INVALID_HANDLE_VALUE;
  }
  HANDLE h = CreateFileW(device->InterfacePath().c_str(), GENERIC_READ | GENERIC_WRITE,
                         FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0, nullptr);
  if (h == INVALID_HANDLE_VALUE && GetLastError() == ERROR_FILE_NOT_FOUND) SetLastError(ERROR_DEVICE_NOT_CONNECTED);
  return h;
}

// Closes a device handle without disturbing the last error of the operation.
void CloseDevice(HANDLE h) {
  DWORD e = GetLastError();
  CloseHandle(h);
  SetLastError(e);
}

BOOL WINAPI PmOpenPort(HANDLE, LPWSTR pName, PHANDLE pHandle) {
  std::u16string name = Wide(pName);
  Record("OpenPort " + Narrow(name));
  if (!pHandle) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  if (!winsim::UsbPrinterOnPort(name)) {
    SetLastError(ERROR_UNKNOWN_PORT);
    return FALSE;
  }
  if (FaultsFor(name).failOpen) {
    SetLastError(ERROR_ACCESS_DENIED);
    return FALSE;
  }
  auto port = std::make_shared<PortObj>();
  port->name = name;
  *pHandle = NewHandle(port);
  Guard g(Mutex());
  ++H().openPorts;
  return TRUE;
}

BOOL WINAPI PmStartDocPort(HANDLE hPort, LPWSTR, DWORD JobId, DWORD Level, LPBYTE pDocInfo) {
  auto port = PortOf(hPort);
  if (!port) return FALSE;
  Record("StartDocPort " + Narrow(port->name) + " " + std::to_string(JobId));
  if (Level != 1 || !pDocInfo) {
    SetLastError(Level != 1 ? ERROR_INVALID_LEVEL : ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  if (InDocument(*port)) {
    Record("StartDocPort " + Narrow(port->name) + " refused: a document is open");
    SetLastError(ERROR_BUSY);
    return FALSE;
  }
  if (FaultsFor(port->name).failStartDoc) {
    SetLastError(ERROR_NOT_READY);
    return FALSE;
  }
  SetInDocument(*port, true);
  return TRUE;
}

BOOL WINAPI PmWritePort(HANDLE hPort, LPBYTE pBuffer, DWORD cbBuf, LPDWORD pcbWritten) {
  if (pcbWritten) *pcbWritten = 0;
  auto port = PortOf(hPort);
  if (!port) return FALSE;
  if (!InDocument(*port)) {
    Record("WritePort " + Narrow(port->name) + " " + std::to_string(cbBuf) + " refused: no document");
    SetLastError(ERROR_INVALID_HANDLE);
    return FALSE;
  }
  Record("WritePort " + Narrow(port->name) + " " + std::to_string(cbBuf));
  winsim::PortFaults f = FaultsFor(port->name);
  if (f.failWrites) {
    SetLastError(ERROR_NOT_READY);
    return FALSE;
  }
  HANDLE dev = OpenDeviceOf(*port);
  if (dev == INVALID_HANDLE_VALUE) return FALSE;
  DWORD size = f.writeLimit && cbBuf > f.writeLimit ? f.writeLimit : cbBuf;
  BOOL ok = WriteFile(dev, pBuffer, size, pcbWritten, nullptr);
  CloseDevice(dev);
  return ok;
}

BOOL WINAPI PmReadPort(HANDLE hPort, LPBYTE pBuffer, DWORD cbBuffer, LPDWORD pcbRead) {
  if (pcbRead) *pcbRead = 0;
  auto port = PortOf(hPort);
  if (!port) return FALSE;
  Record("ReadPort " + Narrow(port->name));
  HANDLE dev = OpenDeviceOf(*port);
  if (dev == INVALID_HANDLE_VALUE) return FALSE;
  BOOL ok = ReadFile(dev, pBuffer, cbBuffer, pcbRead, nullptr);
  CloseDevice(dev);
  return ok;
}

BOOL WINAPI PmEndDocPort(HANDLE hPort) {
  auto port = PortOf(hPort);
  if (!port) return FALSE;
  Record("EndDocPort " + Narrow(port->name));
  SetInDocument(*port, false);
  return TRUE;
}

BOOL WINAPI PmClosePort(HANDLE hPort) {
  PortOf(hPort);  // a second close is a call on a closed handle
  auto port = TakeHandleOf<PortObj>(hPort);
  if (!port) {
    SetLastError(ERROR_INVALID_HANDLE);
    return FALSE;
  }
  Record("ClosePort " + Narrow(port->name));
  Guard g(Mutex());
  --H().openPorts;
  H().closedPorts.insert(reinterpret_cast<uintptr_t>(hPort));
  return TRUE;
}

BOOL WINAPI PmGetPrinterDataFromPort(HANDLE hPort, DWORD ControlID, LPWSTR, LPWSTR lpInBuffer, DWORD cbInBuffer,
                                     LPWSTR lpOutBuffer, DWORD cbOutBuffer, LPDWORD lpcbReturned) {
  if (lpcbReturned) *lpcbReturned = 0;
  auto port = PortOf(hPort);
  if (!port) return FALSE;
  char code[16];
  snprintf(code, sizeof code, "0x%x", unsigned(ControlID));
  Record("GetPrinterData " + Narrow(port->name) + " " + code);
  if (ControlID == 0) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  if (FaultsFor(port->name).failGetData) {
    SetLastError(ERROR_GEN_FAILURE);
    return FALSE;
  }
  HANDLE dev = OpenDeviceOf(*port);
  if (dev == INVALID_HANDLE_VALUE) return FALSE;
  BOOL ok = DeviceIoControl(dev, ControlID, lpInBuffer, cbInBuffer, lpOutBuffer, cbOutBuffer, lpcbReturned, nullptr);
  CloseDevice(dev);
  return ok;
}

// The port monitor's own monitor handle; a distinct address the entries ignore, as the USB one does.
char g_portMonitorTag;

// Port handles went with the handle table.
void ResetPortMonitor() {
  H() = PortState{};
}
const ResetRegistrar kResetPortMonitor(ResetPortMonitor);

}  // namespace

namespace winsim {

MONITOR2 UsbPortMonitor() {
  return MONITOR2{.cbSize = sizeof(MONITOR2), .pfnOpenPort = PmOpenPort, .pfnStartDocPort = PmStartDocPort,
                  .pfnWritePort = PmWritePort, .pfnReadPort = PmReadPort, .pfnEndDocPort = PmEndDocPort,
                  .pfnClosePort = PmClosePort, .pfnGetPrinterDataFromPort = PmGetPrinterDataFromPort};
}

HANDLE UsbPortMonitorHandle() {
  return &g_portMonitorTag;
}

void SetPortFaults(const std::u16string& port, const PortFaults& faults) {
  Guard g(Mutex());
  H().faults[Upper(port)] = faults;
}

std::vector<std::string> PortMonitorCalls() { return CopyLocked(H().calls); }

void ClearPortMonitorCalls() {
  Guard g(Mutex());
  H().calls.clear();
}

size_t OpenPortHandles() { return CopyLocked(H().openPorts); }

}  // namespace winsim
