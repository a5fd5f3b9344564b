// The spooler side of print monitors: GetJobW / SetJobW, bidirectional response memory, the USB port
// monitor, and loading a monitor by name.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <mutex>
#include <set>

#include "internal.h"
#include "winsim/devices.h"
#include "winsim/gdi.h"
#include "winsim/monitorhost.h"

using namespace winsim::detail;

namespace {

struct ExtraJob {
  std::u16string printer, document;
};

struct Host {
  std::map<DWORD, ExtraJob> extraJobs;
  std::map<DWORD, DWORD> status;  // job id -> JOB_STATUS_* bits
  std::vector<winsim::JobControlRecord> controls;
  std::map<std::u16string, winsim::PortFaults> faults;  // upper-cased port name
  std::vector<std::string> calls;
  std::set<void*> bidi;  // live RouterAllocBidi* blocks
  size_t openPorts = 0;
  std::set<uintptr_t> closedPorts;  // port handles the port monitor has closed
};

Host& H() {
  static auto* h = new Host;
  return *h;
}

struct JobView {
  std::u16string printer, document;
  DWORD size = 0;
};

// With the machine lock held.
bool FindJob(DWORD id, JobView* out) {
  auto extra = H().extraJobs.find(id);
  if (extra != H().extraJobs.end()) {
    *out = JobView{extra->second.printer, extra->second.document, 0};
    return true;
  }
  for (const auto& j : winsim::SpoolJobs()) {
    if (j.id == id) {
      *out = JobView{j.printer, j.document, DWORD(j.data.size())};
      return true;
    }
  }
  return false;
}

// Lays out a job record: the fixed part, then its strings. A null buffer only measures.
class Packer {
 public:
  Packer(LPBYTE buf, size_t fixed) : buf_(buf), pos_(fixed) {}
  size_t size() const { return pos_; }
  LPWSTR Str(const std::u16string& s) {
    pos_ = (pos_ + 1) & ~size_t(1);
    LPWSTR at = buf_ ? reinterpret_cast<LPWSTR>(buf_ + pos_) : nullptr;
    if (buf_) memcpy(buf_ + pos_, s.c_str(), (s.size() + 1) * 2);
    pos_ += (s.size() + 1) * 2;
    return at;
  }

 private:
  LPBYTE buf_;
  size_t pos_;
};

void FillJob(DWORD id, const JobView& j, DWORD status, DWORD level, LPBYTE buf, Packer& k) {
  if (level == 1) {
    JOB_INFO_1W i{};
    i.JobId = id;
    i.pPrinterName = k.Str(j.printer);
    i.pMachineName = k.Str(u"\\\\WINSIM");
    i.pUserName = k.Str(u"user");
    i.pDocument = k.Str(j.document);
    i.pDatatype = k.Str(u"RAW");
    i.Status = status;
    i.Priority = 1;
    i.Position = 1;
    if (buf) memcpy(buf, &i, sizeof i);
  } else {
    JOB_INFO_2W i{};
    i.JobId = id;
    i.pPrinterName = k.Str(j.printer);
    i.pMachineName = k.Str(u"\\\\WINSIM");
    i.pUserName = k.Str(u"user");
    i.pDocument = k.Str(j.document);
    i.pNotifyName = k.Str(u"user");
    i.pDatatype = k.Str(u"RAW");
    i.pPrintProcessor = k.Str(u"winprint");
    i.pParameters = k.Str(u"");
    i.pDriverName = k.Str(u"");
    i.Status = status;
    i.Priority = 1;
    i.Position = 1;
    i.Size = j.size;
    if (buf) memcpy(buf, &i, sizeof i);
  }
}

// ---- the USB port monitor ----------------------------------------------------------------------
struct PortObj : Object {
  std::u16string name;
};

const winsim::PortFaults* FaultsOf(const std::u16string& port) {
  auto it = H().faults.find(Upper(port));
  return it == H().faults.end() ? nullptr : &it->second;
}

winsim::PortFaults FaultsFor(const std::u16string& port) {
  Guard g(Mutex());
  const winsim::PortFaults* f = FaultsOf(port);
  return f ? *f : winsim::PortFaults{};
}

void Record(const std::string& call) {
  Guard g(Mutex());
  H().calls.push_back(call);
}

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
  auto p = GetHandle<PortObj>(h);
  if (!p) SetLastError(ERROR_INVALID_HANDLE);
  return p;
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
  if (FaultsFor(port->name).failStartDoc) {
    SetLastError(ERROR_NOT_READY);
    return FALSE;
  }
  return TRUE;
}

BOOL WINAPI PmWritePort(HANDLE hPort, LPBYTE pBuffer, DWORD cbBuf, LPDWORD pcbWritten) {
  if (pcbWritten) *pcbWritten = 0;
  auto port = PortOf(hPort);
  if (!port) return FALSE;
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

// ---- language monitors in the print path ---------------------------------------------------------
// Their own lock, never held across a monitor call and never taken with the machine lock held.
struct MonitorPort {
  LPMONITOR2 table = nullptr;
  HANDLE hPort = nullptr;
};

struct Routes {
  std::mutex m;
  std::mutex opening;  // one port open at a time, so a port is opened once
  std::map<std::u16string, winsim::LoadedMonitor> modules;  // upper-cased module name; for the process
  std::map<std::u16string, std::u16string> monitors;        // upper-cased monitor name -> module key
  std::map<std::u16string, MonitorPort> ports;              // upper-cased port name
  std::map<uintptr_t, MonitorPort> docs;                    // printer handle -> port of its document
};

Routes& R() {
  static auto* r = new Routes;
  return *r;
}

// The monitor that the printer's driver names, and the printer's name and port; false when none is registered.
bool MonitorOfPrinter(HANDLE hPrinter, winsim::LoadedMonitor* monitor, std::u16string* printer, std::u16string* port) {
  DWORD needed = 0;
  GetPrinterW(hPrinter, 2, nullptr, 0, &needed);
  if (needed < sizeof(PRINTER_INFO_2W)) return false;
  std::vector<uint8_t> info(needed);
  if (!GetPrinterW(hPrinter, 2, info.data(), needed, &needed)) return false;
  auto* p2 = reinterpret_cast<PRINTER_INFO_2W*>(info.data());
  needed = 0;
  GetPrinterDriverW(hPrinter, nullptr, 3, nullptr, 0, &needed);
  if (needed < sizeof(DRIVER_INFO_3W)) return false;
  std::vector<uint8_t> driver(needed);
  if (!GetPrinterDriverW(hPrinter, nullptr, 3, driver.data(), needed, &needed)) return false;
  std::u16string monitorName = Wide(reinterpret_cast<DRIVER_INFO_3W*>(driver.data())->pMonitorName);
  if (monitorName.empty()) return false;
  std::lock_guard<std::mutex> l(R().m);
  auto it = R().monitors.find(Upper(monitorName));
  if (it == R().monitors.end()) return false;
  *monitor = R().modules[it->second];
  *printer = Wide(p2->pPrinterName);
  *port = Wide(p2->pPortName);
  return true;
}

bool OpenMonitorPort(const winsim::LoadedMonitor& monitor, const std::u16string& port, const std::u16string& printer,
                     MonitorPort* out) {
  std::lock_guard<std::mutex> opening(R().opening);
  const std::u16string key = Upper(port);
  {
    std::lock_guard<std::mutex> l(R().m);
    auto it = R().ports.find(key);
    if (it != R().ports.end()) {
      *out = it->second;
      return true;
    }
  }
  static MONITOR2 usb = winsim::UsbPortMonitor();
  std::u16string portName = port, printerName = printer;
  HANDLE h = nullptr;
  if (!monitor.table->pfnOpenPortEx ||
      !monitor.table->pfnOpenPortEx(monitor.hMonitor, &g_portMonitorTag, portName.data(), printerName.data(), &h, &usb))
    return false;
  std::lock_guard<std::mutex> l(R().m);
  *out = R().ports[key] = MonitorPort{monitor.table, h};
  return true;
}

void ClosePorts(bool forget) {
  std::map<std::u16string, MonitorPort> ports;
  {
    std::lock_guard<std::mutex> l(R().m);
    ports.swap(R().ports);
    R().docs.clear();
    if (forget) R().monitors.clear();
  }
  for (auto& [name, port] : ports)
    if (port.table->pfnClosePort) port.table->pfnClosePort(port.hPort);
}

// ---- bidirectional memory ----------------------------------------------------------------------
void* BidiAlloc(size_t bytes) {
  void* p = calloc(1, bytes ? bytes : 1);
  if (!p) return nullptr;
  Guard g(Mutex());
  H().bidi.insert(p);
  return p;
}

}  // namespace

namespace winsim::detail {
bool MonitorStartDoc(HANDLE hPrinter, DWORD jobId, LPBYTE docInfo) {
  winsim::LoadedMonitor monitor;
  std::u16string printer, port;
  if (!MonitorOfPrinter(hPrinter, &monitor, &printer, &port)) return true;
  MonitorPort mp;
  if (!OpenMonitorPort(monitor, port, printer, &mp)) return false;
  if (!mp.table->pfnStartDocPort(mp.hPort, printer.data(), jobId, 1, docInfo)) return false;
  std::lock_guard<std::mutex> l(R().m);
  R().docs[reinterpret_cast<uintptr_t>(hPrinter)] = mp;
  return true;
}

bool MonitorWrite(HANDLE hPrinter, const void* data, DWORD size, BOOL* ok, DWORD* taken) {
  MonitorPort mp;
  {
    std::lock_guard<std::mutex> l(R().m);
    auto it = R().docs.find(reinterpret_cast<uintptr_t>(hPrinter));
    if (it == R().docs.end()) return false;
    mp = it->second;
  }
  // As the spooler despools: the rest again after a short write.
  auto* bytes = static_cast<BYTE*>(const_cast<void*>(data));
  *taken = 0;
  *ok = TRUE;
  while (*taken < size) {
    DWORD written = 0;
    if (!mp.table->pfnWritePort(mp.hPort, bytes + *taken, size - *taken, &written)) {
      *ok = FALSE;
      break;
    }
    if (written == 0) break;
    *taken += written > size - *taken ? size - *taken : written;
  }
  return true;
}

void MonitorEndDoc(HANDLE hPrinter) {
  MonitorPort mp;
  {
    std::lock_guard<std::mutex> l(R().m);
    auto it = R().docs.find(reinterpret_cast<uintptr_t>(hPrinter));
    if (it == R().docs.end()) return;
    mp = it->second;
    R().docs.erase(it);
  }
  if (mp.table->pfnEndDocPort) mp.table->pfnEndDocPort(mp.hPort);
}

void CloseMonitorPorts() { ClosePorts(true); }

void ResetMonitorHost() {
  Host& h = H();
  h.extraJobs.clear();
  h.status.clear();
  h.controls.clear();
  h.faults.clear();
  h.calls.clear();
  // Port handles went with the handle table; bidirectional blocks stay tracked until they are released.
  h.openPorts = 0;
  h.closedPorts.clear();
}
}  // namespace winsim::detail

namespace winsim {

MONITORINIT SpoolerMonitorInit() {
  static MONITORREG reg = [] {
    MONITORREG r{};
    r.cbSize = sizeof r;
    return r;
  }();
  static char spooler, registryRoot;
  MONITORINIT init{};
  init.cbSize = sizeof init;
  init.hSpooler = &spooler;
  init.hckRegistryRoot = &registryRoot;
  init.pMonitorReg = &reg;
  init.bLocal = TRUE;
  init.pszServerName = nullptr;
  return init;
}

bool LoadPrintMonitor(const std::u16string& name, LoadedMonitor* out, std::string* error) {
  *out = LoadedMonitor{};
  HMODULE module = LoadDriverModule(name, error);
  if (!module) return false;
  using InitFn = LPMONITOR2(WINAPI*)(PMONITORINIT, PHANDLE);
  auto init = reinterpret_cast<InitFn>(GetModuleProc(module, "InitializePrintMonitor2"));
  if (!init) {
    if (error) *error = "InitializePrintMonitor2 is not exported";
    UnloadDriverModule(module);
    return false;
  }
  MONITORINIT mi = SpoolerMonitorInit();
  HANDLE hMonitor = nullptr;
  LPMONITOR2 table = init(&mi, &hMonitor);
  if (!table) {
    if (error) *error = "InitializePrintMonitor2 failed (error " + std::to_string(GetLastError()) + ")";
    UnloadDriverModule(module);
    return false;
  }
  *out = LoadedMonitor{module, hMonitor, table};
  return true;
}

bool AddLanguageMonitor(const std::u16string& monitorName, const std::u16string& module, std::string* error) {
  const std::u16string key = Upper(module);
  {
    std::lock_guard<std::mutex> l(R().m);
    if (R().modules.count(key)) {
      R().monitors[Upper(monitorName)] = key;
      return true;
    }
  }
  LoadedMonitor loaded;
  if (!LoadPrintMonitor(module, &loaded, error)) return false;
  std::lock_guard<std::mutex> l(R().m);
  if (!R().modules.count(key)) R().modules[key] = loaded;
  else UnloadDriverModule(loaded.module);  // registered meanwhile
  R().monitors[Upper(monitorName)] = key;
  return true;
}

void CloseLanguageMonitorPorts() { ClosePorts(false); }

std::vector<std::u16string> LanguageMonitorPorts() {
  std::lock_guard<std::mutex> l(R().m);
  std::vector<std::u16string> out;
  for (const auto& [name, port] : R().ports) out.push_back(name);
  return out;
}

void AddSpoolerJob(const std::u16string& printer, DWORD jobId, const std::u16string& document) {
  Guard g(Mutex());
  H().extraJobs[jobId] = ExtraJob{printer, document};
}

bool SetJobStatus(DWORD jobId, DWORD status) {
  Guard g(Mutex());
  JobView j;
  if (!FindJob(jobId, &j)) return false;
  H().status[jobId] = status;
  return true;
}

DWORD JobStatus(DWORD jobId) {
  Guard g(Mutex());
  auto it = H().status.find(jobId);
  return it == H().status.end() ? 0 : it->second;
}

std::vector<JobControlRecord> JobControls() {
  Guard g(Mutex());
  return H().controls;
}

MONITOR2 UsbPortMonitor() {
  MONITOR2 t{};
  t.cbSize = sizeof t;
  t.pfnOpenPort = PmOpenPort;
  t.pfnStartDocPort = PmStartDocPort;
  t.pfnWritePort = PmWritePort;
  t.pfnReadPort = PmReadPort;
  t.pfnEndDocPort = PmEndDocPort;
  t.pfnClosePort = PmClosePort;
  t.pfnGetPrinterDataFromPort = PmGetPrinterDataFromPort;
  return t;
}

HANDLE UsbPortMonitorHandle() {
  return &g_portMonitorTag;
}

void SetPortFaults(const std::u16string& port, const PortFaults& faults) {
  Guard g(Mutex());
  H().faults[Upper(port)] = faults;
}

std::vector<std::string> PortMonitorCalls() {
  Guard g(Mutex());
  return H().calls;
}

void ClearPortMonitorCalls() {
  Guard g(Mutex());
  H().calls.clear();
}

size_t OpenPortHandles() {
  Guard g(Mutex());
  return H().openPorts;
}

size_t LiveBidiAllocations() {
  Guard g(Mutex());
  return H().bidi.size();
}

}  // namespace winsim

extern "C" {

BOOL WINAPI GetJobW(HANDLE hPrinter, DWORD JobId, DWORD Level, LPBYTE pJob, DWORD cbBuf, LPDWORD pcbNeeded) {
  std::u16string printer = winsim::detail::PrinterName(hPrinter);
  if (printer.empty()) return FALSE;
  if (Level != 1 && Level != 2) {
    SetLastError(ERROR_INVALID_LEVEL);
    return FALSE;
  }
  if (!pcbNeeded) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  Guard g(Mutex());
  JobView j;
  if (!FindJob(JobId, &j) || !IEquals(j.printer, printer)) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  DWORD status = H().status.count(JobId) ? H().status[JobId] : 0;
  const size_t fixed = Level == 1 ? sizeof(JOB_INFO_1W) : sizeof(JOB_INFO_2W);
  Packer measure(nullptr, fixed);
  FillJob(JobId, j, status, Level, nullptr, measure);
  *pcbNeeded = DWORD(measure.size());
  if (cbBuf < measure.size()) {
    SetLastError(ERROR_INSUFFICIENT_BUFFER);
    return FALSE;
  }
  if (!pJob) {
    SetLastError(ERROR_INVALID_USER_BUFFER);
    return FALSE;
  }
  memset(pJob, 0, measure.size());
  Packer put(pJob, fixed);
  FillJob(JobId, j, status, Level, pJob, put);
  return TRUE;
}

BOOL WINAPI SetJobW(HANDLE hPrinter, DWORD JobId, DWORD Level, LPBYTE pJob, DWORD Command) {
  std::u16string printer = winsim::detail::PrinterName(hPrinter);
  Guard g(Mutex());
  H().controls.push_back(winsim::JobControlRecord{printer, JobId, Level, Command, false});
  if (printer.empty()) {
    SetLastError(ERROR_INVALID_HANDLE);
    return FALSE;
  }
  JobView j;
  if (!FindJob(JobId, &j) || !IEquals(j.printer, printer)) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  if (Level != 0 || pJob) {  // changing the job's fields is not simulated
    SetLastError(Level > 4 ? ERROR_INVALID_LEVEL : ERROR_NOT_SUPPORTED);
    return FALSE;
  }
  DWORD& status = H().status[JobId];
  switch (Command) {
    case JOB_CONTROL_PAUSE: status |= JOB_STATUS_PAUSED; break;
    case JOB_CONTROL_RESUME: status &= ~DWORD(JOB_STATUS_PAUSED); break;
    case JOB_CONTROL_CANCEL:
    case JOB_CONTROL_DELETE: status |= JOB_STATUS_DELETING; break;
    case JOB_CONTROL_RESTART: status |= JOB_STATUS_RESTART; break;
    case JOB_CONTROL_SENT_TO_PRINTER: break;
    case JOB_CONTROL_LAST_PAGE_EJECTED: status |= JOB_STATUS_PRINTED; break;
    default:
      SetLastError(ERROR_INVALID_PARAMETER);
      return FALSE;
  }
  H().controls.back().accepted = true;
  return TRUE;
}

PBIDI_RESPONSE_CONTAINER WINAPI RouterAllocBidiResponseContainer(DWORD Count) {
  size_t bytes = offsetof(BIDI_RESPONSE_CONTAINER, aData) + size_t(Count ? Count : 1) * sizeof(BIDI_RESPONSE_DATA);
  auto* c = static_cast<PBIDI_RESPONSE_CONTAINER>(BidiAlloc(bytes));
  if (!c) {
    SetLastError(ERROR_NOT_ENOUGH_MEMORY);
    return nullptr;
  }
  c->Count = Count;
  return c;
}

PVOID WINAPI RouterAllocBidiMem(size_t NumBytes) {
  void* p = BidiAlloc(NumBytes);
  if (!p) SetLastError(ERROR_NOT_ENOUGH_MEMORY);
  return p;
}

VOID WINAPI RouterFreeBidiMem(PVOID pMemPointer) {
  if (!pMemPointer) return;
  {
    Guard g(Mutex());
    if (!H().bidi.erase(pMemPointer)) {  // not ours, or released twice
      fprintf(stderr, "winsim: RouterFreeBidiMem of unknown block %p\n", pMemPointer);
      abort();
    }
  }
  free(pMemPointer);
}

DWORD WINAPI RouterFreeBidiResponseContainer(PBIDI_RESPONSE_CONTAINER pData) {
  if (!pData) return ERROR_INVALID_PARAMETER;
  for (DWORD i = 0; i < pData->Count; ++i) {
    BIDI_RESPONSE_DATA& e = pData->aData[i];
    RouterFreeBidiMem(e.pSchema);
    switch (e.data.dwBidiType) {
      case BIDI_STRING:
      case BIDI_TEXT:
      case BIDI_ENUM: RouterFreeBidiMem(e.data.u.sData); break;
      case BIDI_BLOB: RouterFreeBidiMem(e.data.u.biData.pData); break;
      default: break;
    }
  }
  RouterFreeBidiMem(pData);
  return ERROR_SUCCESS;
}

}  // extern "C"
