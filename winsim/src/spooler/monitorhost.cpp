// The spooler's monitor host: loading a print monitor by name, and routing the documents of printers
// whose driver names a language monitor through it to the USB or TCP/IP port monitor. The spooler runs its
// monitors as SYSTEM: whatever account the calling thread acts as, monitor calls run without it.
#include <map>
#include <mutex>

#include "advapi32/security.h"
#include "internal.h"
#include "winsim/monitorhost.h"
#include "winsim/printpath.h"
#include "winsim/spooler.h"

using namespace winsim::detail;

namespace {

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
  std::map<std::u16string, std::u16string> onUse;           // module key -> module name, not loaded yet
  std::map<std::u16string, MonitorPort> ports;              // upper-cased port name
  std::map<uintptr_t, MonitorPort> docs;                    // printer handle -> port of its document
};

Routes& R() { return Lasting<Routes>(); }

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
  std::unique_lock<std::mutex> l(R().m);
  auto it = R().monitors.find(Upper(monitorName));
  if (it == R().monitors.end()) return false;
  if (auto pending = R().onUse.find(it->second); pending != R().onUse.end() && !R().modules.count(it->second)) {
    const std::u16string module = pending->second;
    l.unlock();  // loading calls the monitor, which calls back into the machine
    if (!winsim::AddLanguageMonitor(monitorName, module)) return false;
    l.lock();
    it = R().monitors.find(Upper(monitorName));
    if (it == R().monitors.end()) return false;
  }
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
  static MONITOR2 tcp = winsim::TcpIpPortMonitor();
  bool tcpPort = false;
  for (const auto& p : winsim::TcpIpPorts()) tcpPort = tcpPort || IEquals(p.name, port);
  std::u16string portName = port, printerName = printer;
  HANDLE h = nullptr;
  if (!monitor.table->pfnOpenPortEx ||
      !monitor.table->pfnOpenPortEx(monitor.hMonitor,
                                    tcpPort ? winsim::TcpIpPortMonitorHandle() : winsim::UsbPortMonitorHandle(),
                                    portName.data(), printerName.data(), &h, tcpPort ? &tcp : &usb))
    return false;
  std::lock_guard<std::mutex> l(R().m);
  *out = R().ports[key] = MonitorPort{monitor.table, h};
  return true;
}

void ClosePorts(bool forget) {
  AsSpooler spooler;
  std::map<std::u16string, MonitorPort> ports;
  {
    std::lock_guard<std::mutex> l(R().m);
    ports.swap(R().ports);
    R().docs.clear();
    if (forget) {
      R().monitors.clear();
      R().onUse.clear();
    }
  }
  for (auto& [name, port] : ports)
    if (port.table->pfnClosePort) port.table->pfnClosePort(port.hPort);
}

}  // namespace

namespace winsim::detail {
thread_local bool t_keepSpooled = false;

void KeepJobsSpooled(bool keep) { t_keepSpooled = keep; }

bool MonitorStartDoc(HANDLE hPrinter, DWORD jobId, LPBYTE docInfo) {
  if (t_keepSpooled) return true;
  AsSpooler spooler;
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
  AsSpooler spooler;
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
  AsSpooler spooler;
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

bool MonitorGetPrinterData(HANDLE hPrinter, LPCWSTR valueName, LPBYTE data, DWORD size, DWORD* returned, BOOL* ok) {
  AsSpooler spooler;
  winsim::LoadedMonitor monitor;
  std::u16string printer, port;
  if (!MonitorOfPrinter(hPrinter, &monitor, &printer, &port)) return false;
  *ok = FALSE;
  *returned = 0;
  MonitorPort mp;
  if (!OpenMonitorPort(monitor, port, printer, &mp) || !mp.table->pfnGetPrinterDataFromPort) return true;
  std::u16string name = valueName ? Wide(valueName) : std::u16string();
  *ok = mp.table->pfnGetPrinterDataFromPort(mp.hPort, 0, name.data(), nullptr, 0, reinterpret_cast<LPWSTR>(data),
                                            size, returned);
  return true;
}

void RegisterLanguageMonitorOnUse(const std::u16string& monitorName, const std::u16string& module) {
  std::lock_guard<std::mutex> l(R().m);
  const std::u16string key = Upper(module);
  R().monitors[Upper(monitorName)] = key;
  if (!R().modules.count(key)) R().onUse[key] = module;
}

void CloseMonitorPorts() { ClosePorts(true); }
const ResetRegistrar kCloseMonitorPorts(CloseMonitorPorts, ResetRegistrar::kBeforeLock);  // their threads need the machine
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
  AsSpooler spooler;
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

}  // namespace winsim
