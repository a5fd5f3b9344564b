// The spooler's administration side: drivers (levels 3 and 8, replaced drivers upgrading their printers),
// print monitors, adding, renaming and deleting printers, purging their queues, the port list of every
// monitor and the default printer.
#include <cstdio>
#include <cstring>
#include <map>
#include <vector>

#include <winddiui.h>

#include "driver_fields.h"
#include "internal.h"
#include "machine_state.h"
#include "winsim/monitorhost.h"
#include "winsim/printpath.h"
#include "winsim/spooler.h"
#include "winsim/devices.h"

using namespace winsim::detail;

namespace {

const char16_t kEnvironment[] = u"Windows x64";

struct Admin {
  std::vector<winsim::MonitorSpec> monitors;  // registered by AddMonitorW
  std::u16string defaultPrinter;
  std::vector<winsim::DriverUpgrade> upgrades;
};

Admin& A() { return Lasting<Admin>(); }

void ResetAdmin() { A() = Admin{}; }
const ResetRegistrar kResetAdmin(ResetAdmin);

void SaveAdmin(StateWriter& w) {
  w.U32(uint32_t(A().monitors.size()));
  for (const auto& m : A().monitors) {
    w.Str(m.name);
    w.Str(m.environment);
    w.Str(m.dll);
  }
  w.Str(A().defaultPrinter);
}

// The spooler starting: registered monitors are loaded when a printer first needs one.
bool LoadAdmin(StateReader& r, uint32_t) {
  for (uint32_t i = 0, n = r.Count(24); i < n && r.Ok(); ++i) {
    winsim::MonitorSpec m;
    m.name = r.Str();
    m.environment = r.Str();
    m.dll = r.Str();
    if (!r.Ok()) break;
    std::u16string module = m.dll;
    if (module.size() > 4 && IEquals(module.substr(module.size() - 4), u".dll")) module.resize(module.size() - 4);
    if (m.name.empty() || module.empty() || module.find_first_of(u"\\/") != std::u16string::npos) {
      r.Fail("a monitor has no name or no plain DLL name");
      break;
    }
    RegisterLanguageMonitorOnUse(m.name, module);
    A().monitors.push_back(std::move(m));
  }
  A().defaultPrinter = r.Str();
  return r.Ok();
}
const StateRegistrar kAdminState("monitors", 1, SaveAdmin, LoadAdmin);

const winsim::MonitorSpec kBuiltInMonitors[] = {
    {u"Local Port", kEnvironment, u"localspl.dll"},
    {u"Standard TCP/IP Port", kEnvironment, u"tcpmon.dll"},
    {u"USB Monitor", kEnvironment, u"usbmon.dll"},
};

std::u16string EnvOf(LPCWSTR env) { return env && *env ? Wide(env) : std::u16string(kEnvironment); }

std::u16string DriverDirectory(const std::u16string& env) {
  WCHAR dir[MAX_PATH];
  DWORD needed = 0;
  if (!GetPrinterDriverDirectoryW(nullptr, const_cast<LPWSTR>(reinterpret_cast<LPCWSTR>(env.c_str())), 1,
                                  reinterpret_cast<LPBYTE>(dir), sizeof dir, &needed))
    return {};
  return Wide(dir);
}

bool FileExists(const std::u16string& path) {
  return GetFileAttributesW(reinterpret_cast<LPCWSTR>(path.c_str())) != INVALID_FILE_ATTRIBUTES;
}

// A driver file named alone lives in the driver directory.
std::u16string BaseName(const std::u16string& path) {
  size_t slash = path.find_last_of(u"\\/");
  return slash == std::u16string::npos ? path : path.substr(slash + 1);
}

// Lays out info records: fixed records first, then the strings from the end of the buffer backwards, as
// the spooler does. With a null buffer it only measures.
class Packer {
 public:
  Packer(LPBYTE buf, size_t fixedTotal, size_t total) : buf_(buf), fixed_(fixedTotal), end_(total) {}
  static size_t Need(const std::u16string& s) { return (s.size() + 1) * 2; }
  LPWSTR Str(const std::u16string& s) {
    if (!buf_) return nullptr;
    end_ -= Need(s);
    std::memcpy(buf_ + end_, s.data(), s.size() * 2);
    std::memset(buf_ + end_ + s.size() * 2, 0, 2);
    return reinterpret_cast<LPWSTR>(buf_ + end_);
  }
  LPWSTR StrOrNull(const std::u16string& s) { return s.empty() ? nullptr : Str(s); }
  // REG_MULTI_SZ: entries separated by NUL, the list ended by an empty entry; null when there is none.
  LPWSTR MultiSz(std::u16string s) {
    while (!s.empty() && s.back() == u'\0') s.pop_back();
    if (s.empty()) return nullptr;
    s.push_back(u'\0');
    return Str(s);
  }
  size_t fixed() const { return fixed_; }

 private:
  LPBYTE buf_;
  size_t fixed_, end_;
};

size_t MultiSzNeed(std::u16string s) {
  while (!s.empty() && s.back() == u'\0') s.pop_back();
  return s.empty() ? 0 : (s.size() + 2) * 2;
}

size_t DriverStrings(const winsim::DriverSpec& d, DWORD level) {
  size_t n = Packer::Need(d.name) + Packer::Need(d.environment) + Packer::Need(d.driverPath) +
             Packer::Need(d.dataFile) + Packer::Need(d.configFile);
  if (level >= 3) {
    n += (d.helpFile.empty() ? 0 : Packer::Need(d.helpFile)) + MultiSzNeed(d.dependentFiles) +
         (d.monitorName.empty() ? 0 : Packer::Need(d.monitorName)) +
         (d.defaultDataType.empty() ? 0 : Packer::Need(d.defaultDataType));
  }
  if (level == 8) {
    for (auto* s : {&d.manufacturer, &d.hardwareId, &d.provider, &d.infPath})
      n += s->empty() ? 0 : Packer::Need(*s);
    n += Packer::Need(u"winprint");
  }
  return n;
}

size_t DriverFixed(DWORD level) {
  return level == 8 ? sizeof(DRIVER_INFO_8W) : level == 3 ? sizeof(DRIVER_INFO_3W) : sizeof(DRIVER_INFO_2W);
}

void FillDriver(const winsim::DriverSpec& d, DWORD level, LPBYTE at, Packer& k) {
  DRIVER_INFO_8W i{};
  FillDriverFields(i, d, level, k);
  if (level == 8) {
    i.dwlDriverVersion = d.driverVersion;
    i.pszMfgName = k.StrOrNull(d.manufacturer);
    i.pszHardwareID = k.StrOrNull(d.hardwareId);
    i.pszProvider = k.StrOrNull(d.provider);
    i.pszInfPath = k.StrOrNull(d.infPath);
    i.pszPrintProcessor = k.Str(u"winprint");
  }
  std::memcpy(at, &i, DriverFixed(level));
}

// The Enum*W protocol over records of one fixed size.
template <class Rec, class StrFn, class FillFn>
BOOL PackAll(const std::vector<Rec>& recs, size_t fixed, StrFn strings, FillFn fill, LPBYTE buf, DWORD cbBuf,
             LPDWORD pcbNeeded, LPDWORD pcReturned) {
  if (!pcbNeeded || !pcReturned) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  size_t total = fixed * recs.size();
  for (const auto& r : recs) total += strings(r);
  *pcbNeeded = DWORD(total);
  *pcReturned = 0;
  if (cbBuf < total || (!buf && total)) {
    SetLastError(ERROR_INSUFFICIENT_BUFFER);
    return FALSE;
  }
  if (total) std::memset(buf, 0, total);
  Packer k(buf, fixed * recs.size(), total);
  for (size_t n = 0; n < recs.size(); ++n) fill(recs[n], buf + n * fixed, k);
  *pcReturned = DWORD(recs.size());
  return TRUE;
}

struct PortRec {
  std::u16string name, monitor, description;
  DWORD type;
};

std::vector<PortRec> AllPorts() {
  std::vector<PortRec> ports;
  for (const auto& dev : winsim::UsbPrinters()) {
    char buf[16];
    std::snprintf(buf, sizeof buf, "USB%03u", unsigned(dev->portNumber));
    ports.push_back({FromUtf8(buf), u"USB Monitor", u"Virtual printer port for USB", PORT_TYPE_WRITE | PORT_TYPE_READ});
  }
  for (const auto& p : winsim::TcpIpPorts())
    ports.push_back({p.name, u"Standard TCP/IP Port", u"Standard TCP/IP Port", PORT_TYPE_WRITE | PORT_TYPE_READ});
  // The local monitor's ports carry the descriptions the Ports page shows for them.
  for (const char16_t* n : {u"LPT1:", u"LPT2:", u"LPT3:"})
    ports.push_back({n, u"Local Port", u"Printer Port", PORT_TYPE_WRITE});
  for (const char16_t* n : {u"COM1:", u"COM2:", u"COM3:", u"COM4:"})
    ports.push_back({n, u"Local Port", u"Serial Port", PORT_TYPE_WRITE});
  ports.push_back({u"FILE:", u"Local Port", u"Print to File", PORT_TYPE_WRITE});
  return ports;
}

bool PortExists(std::u16string_view name) {
  for (const auto& p : AllPorts())
    if (IEquals(p.name, name)) return true;
  return false;
}

// A printer's port names: one, or several separated by commas ("LPT1:,LPT2:"); each must exist.
bool PortsExist(const std::u16string& list) {
  for (std::u16string_view one : PortNames(list))
    if (one.empty() || !PortExists(one)) return false;
  return true;
}

// Local printer names: not empty, at most 220 characters, without ',' or '\' (which separate server,
// printer and port names).
constexpr size_t kMaxPrinterNameChars = 220;
bool ValidPrinterName(const std::u16string& name) {
  return !name.empty() && name.size() <= kMaxPrinterNameChars && name.find_first_of(u",\\") == std::u16string::npos;
}

const char16_t kSystemDirectory[] = u"C:\\Windows\\System32\\";

bool MonitorRegistered(const std::u16string& name) {
  for (const auto& m : winsim::Monitors())
    if (IEquals(m.name, name)) return true;
  return false;
}

// Driver files are checked where the spooler keeps them.
bool DriverFilesPresent(const winsim::DriverSpec& d) {
  const std::u16string dir = DriverDirectory(d.environment);
  if (dir.empty()) return false;
  for (const auto* f : {&d.driverPath, &d.dataFile, &d.configFile}) {
    if (f->empty() || !FileExists(dir + u"\\" + BaseName(*f))) return false;
  }
  return true;
}

// Remote servers are not simulated: a call names the local one (null or "") at a level it takes, or fails
// with the last error set.
bool LocalServerLevel(LPCWSTR pName, bool levelTaken) {
  const DWORD error = pName && *pName ? ERROR_INVALID_NAME : levelTaken ? ERROR_SUCCESS : ERROR_INVALID_LEVEL;
  if (error) SetLastError(error);
  return error == ERROR_SUCCESS;
}

BOOL AddDriverRecord(LPWSTR pName, DWORD Level, LPBYTE pDriverInfo) {
  if (!LocalServerLevel(pName, Level == 3 || Level == 8)) return FALSE;
  if (!pDriverInfo) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  auto* i = reinterpret_cast<DRIVER_INFO_8W*>(pDriverInfo);  // level 3 is its prefix
  winsim::DriverSpec d;
  d.version = i->cVersion;
  d.name = Wide(i->pName);
  d.environment = EnvOf(i->pEnvironment);
  d.driverPath = BaseName(Wide(i->pDriverPath));
  d.dataFile = BaseName(Wide(i->pDataFile));
  d.configFile = BaseName(Wide(i->pConfigFile));
  d.helpFile = BaseName(Wide(i->pHelpFile));
  if (i->pDependentFiles) {
    const WCHAR* p = i->pDependentFiles;
    while (*p) {
      std::u16string one = Wide(p);
      d.dependentFiles += BaseName(one) + u'\0';
      p += one.size() + 1;
    }
  }
  d.monitorName = Wide(i->pMonitorName);
  d.defaultDataType = Wide(i->pDefaultDataType);
  if (Level == 8) {
    d.driverVersion = i->dwlDriverVersion;
    d.hardwareId = Wide(i->pszHardwareID);
    d.manufacturer = Wide(i->pszMfgName);
    d.provider = Wide(i->pszProvider);
    d.infPath = Wide(i->pszInfPath);
  }
  if (d.name.empty() || d.driverPath.empty() || d.configFile.empty() || d.dataFile.empty()) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  if (DriverDirectory(d.environment).empty()) {
    SetLastError(ERROR_INVALID_ENVIRONMENT);
    return FALSE;
  }
  if (!DriverFilesPresent(d)) {
    SetLastError(ERROR_FILE_NOT_FOUND);
    return FALSE;
  }
  if (!d.monitorName.empty() && !MonitorRegistered(d.monitorName)) {
    SetLastError(ERROR_UNKNOWN_PRINT_MONITOR);
    return FALSE;
  }
  const bool replaced = DriverInstalled(d.name, d.environment);
  winsim::AddDriver(d);
  if (replaced) UpgradePrintersOfDriver(d);
  return TRUE;
}

// Whether any installed driver other than `except` (of the same environment) lists the file.
bool FileListedByAnotherDriver(const std::u16string& file, const winsim::DriverSpec& except) {
  for (const auto& d : winsim::Drivers()) {
    if (!IEquals(d.environment, except.environment) || IEquals(d.name, except.name)) continue;
    for (const auto* f : {&d.driverPath, &d.dataFile, &d.configFile, &d.helpFile})
      if (IEquals(BaseName(*f), file)) return true;
    for (size_t at = 0; at < d.dependentFiles.size();) {
      const size_t end = d.dependentFiles.find(u'\0', at);
      if (IEquals(BaseName(d.dependentFiles.substr(at, end - at)), file)) return true;
      if (end == std::u16string::npos) break;
      at = end + 1;
    }
  }
  return false;
}

// The driver's files that no other driver lists go; a file in use goes at the next restart, as the spooler
// leaves it.
void DeleteUnusedDriverFiles(const winsim::DriverSpec& d) {
  const std::u16string dir = DriverDirectory(d.environment);
  if (dir.empty()) return;
  std::vector<std::u16string> files{d.driverPath, d.dataFile, d.configFile, d.helpFile};
  for (size_t at = 0; at < d.dependentFiles.size();) {
    const size_t end = d.dependentFiles.find(u'\0', at);
    files.push_back(d.dependentFiles.substr(at, end - at));
    if (end == std::u16string::npos) break;
    at = end + 1;
  }
  for (const auto& f : files) {
    if (f.empty() || FileListedByAnotherDriver(BaseName(f), d)) continue;
    const std::u16string path = dir + u"\\" + BaseName(f);
    LPCWSTR p = reinterpret_cast<LPCWSTR>(path.c_str());
    if (!DeleteFileW(p) && FileExists(path)) MoveFileExW(p, nullptr, MOVEFILE_DELAY_UNTIL_REBOOT);
  }
}

bool PrinterOfHandle(HANDLE h, winsim::PrinterSpec* out) {
  std::u16string name = PrinterName(h);
  if (name.empty()) return false;
  for (const auto& p : winsim::Printers())
    if (IEquals(p.name, name)) {
      *out = p;
      return true;
    }
  return false;
}

}  // namespace

namespace winsim {

std::vector<MonitorSpec> Monitors() {
  Guard g(Mutex());
  std::vector<MonitorSpec> out(std::begin(kBuiltInMonitors), std::end(kBuiltInMonitors));
  out.insert(out.end(), A().monitors.begin(), A().monitors.end());
  return out;
}

std::u16string DefaultPrinter() { return CopyLocked(A().defaultPrinter); }

std::vector<std::u16string> MonitorsFailingToLoad() {
  std::vector<std::u16string> failing;
  for (const auto& m : CopyLocked(A().monitors))
    if (!FileExists(kSystemDirectory + m.dll)) failing.push_back(m.name);
  return failing;
}

std::vector<DriverUpgrade> DriverUpgrades() { return CopyLocked(A().upgrades); }

}  // namespace winsim

namespace winsim::detail {

void UpgradePrintersOfDriver(const winsim::DriverSpec& driver) {
  std::vector<std::u16string> printers;
  for (const auto& p : winsim::Printers())
    if (IEquals(p.driver, driver.name)) printers.push_back(p.name);
  if (printers.empty()) return;
  std::u16string module = BaseName(driver.configFile);
  if (module.size() > 4 && IEquals(module.substr(module.size() - 4), u".dll")) module.resize(module.size() - 4);
  HMODULE m = winsim::LoadDriverModule(module);
  using Upgrade = BOOL(WINAPI*)(DWORD, LPBYTE);
  auto upgrade = m ? reinterpret_cast<Upgrade>(winsim::GetModuleProc(m, "DrvUpgradePrinter")) : nullptr;
  std::u16string directory = DriverDirectory(driver.environment);
  for (std::u16string& name : printers) {
    winsim::DriverUpgrade call{name, module, upgrade != nullptr, FALSE};
    if (upgrade) {
      DRIVER_UPGRADE_INFO_1W info{reinterpret_cast<LPWSTR>(name.data()), reinterpret_cast<LPWSTR>(directory.data())};
      call.result = upgrade(1, reinterpret_cast<LPBYTE>(&info));
    }
    Guard g(Mutex());
    A().upgrades.push_back(call);
  }
  if (m) winsim::UnloadDriverModule(m);
}

BOOL PackDriverInfo(const winsim::DriverSpec& d, DWORD level, LPBYTE buf, DWORD cbBuf, LPDWORD pcbNeeded) {
  DWORD count = 0;
  std::vector<winsim::DriverSpec> one{ReportedDriver(d)};
  BOOL ok = PackAll(
      one, DriverFixed(level), [level](const winsim::DriverSpec& r) { return DriverStrings(r, level); },
      [level](const winsim::DriverSpec& r, LPBYTE at, Packer& k) { FillDriver(r, level, at, k); }, buf, cbBuf,
      pcbNeeded, &count);
  return ok;
}

}  // namespace winsim::detail

extern "C" {

BOOL WINAPI AddPrinterDriverW(LPWSTR pName, DWORD Level, LPBYTE pDriverInfo) {
  return AddDriverRecord(pName, Level, pDriverInfo);
}

BOOL WINAPI AddPrinterDriverExW(LPWSTR pName, DWORD Level, LPBYTE pDriverInfo, DWORD /*dwFileCopyFlags*/) {
  return AddDriverRecord(pName, Level, pDriverInfo);
}

BOOL WINAPI EnumPrinterDriversW(LPWSTR pName, LPWSTR pEnvironment, DWORD Level, LPBYTE pDriverInfo, DWORD cbBuf,
                                LPDWORD pcbNeeded, LPDWORD pcReturned) {
  if (!LocalServerLevel(pName, Level == 2 || Level == 3 || Level == 8)) return FALSE;
  const std::u16string env = EnvOf(pEnvironment);
  const bool all = IEquals(env, u"all");
  std::vector<winsim::DriverSpec> recs;
  for (const auto& d : winsim::Drivers())
    if (all || IEquals(d.environment, env)) recs.push_back(ReportedDriver(d));
  return PackAll(
      recs, DriverFixed(Level), [Level](const winsim::DriverSpec& r) { return DriverStrings(r, Level); },
      [Level](const winsim::DriverSpec& r, LPBYTE at, Packer& k) { FillDriver(r, Level, at, k); }, pDriverInfo,
      cbBuf, pcbNeeded, pcReturned);
}

BOOL WINAPI DeletePrinterDriverW(LPWSTR pName, LPWSTR pEnvironment, LPWSTR pDriverName) {
  if (pName && *pName) {
    SetLastError(ERROR_INVALID_NAME);
    return FALSE;
  }
  if (!pDriverName) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  const std::u16string name = Wide(pDriverName), env = EnvOf(pEnvironment);
  Guard g(Mutex());
  for (const auto& p : winsim::Printers()) {
    if (IEquals(p.driver, name)) {
      SetLastError(ERROR_PRINTER_DRIVER_IN_USE);
      return FALSE;
    }
  }
  if (!winsim::RemoveDriver(name, env)) {
    SetLastError(ERROR_UNKNOWN_PRINTER_DRIVER);
    return FALSE;
  }
  return TRUE;
}

BOOL WINAPI DeletePrinterDriverExW(LPWSTR pName, LPWSTR pEnvironment, LPWSTR pDriverName, DWORD dwDeleteFlag,
                                   DWORD dwVersionFlag) {
  if (!LocalServerLevel(pName, true)) return FALSE;
  if (!pDriverName || (dwDeleteFlag & ~DWORD(DPD_DELETE_UNUSED_FILES | DPD_DELETE_SPECIFIC_VERSION | DPD_DELETE_ALL_FILES))) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  const std::u16string name = Wide(pDriverName), env = EnvOf(pEnvironment);
  winsim::DriverSpec driver;
  bool found = false;
  for (const auto& d : winsim::Drivers()) {
    if (!IEquals(d.name, name) || !IEquals(d.environment, env)) continue;
    if ((dwDeleteFlag & DPD_DELETE_SPECIFIC_VERSION) && d.version != dwVersionFlag) continue;
    driver = d;
    found = true;
  }
  if (!found) {
    SetLastError(ERROR_UNKNOWN_PRINTER_DRIVER);
    return FALSE;
  }
  if (!DeletePrinterDriverW(pName, pEnvironment, pDriverName)) return FALSE;
  if (dwDeleteFlag & (DPD_DELETE_UNUSED_FILES | DPD_DELETE_ALL_FILES)) DeleteUnusedDriverFiles(driver);
  return TRUE;
}

BOOL WINAPI AddMonitorW(LPWSTR pName, DWORD Level, LPBYTE pMonitors) {
  if (!LocalServerLevel(pName, Level == 2)) return FALSE;
  auto* info = reinterpret_cast<MONITOR_INFO_2W*>(pMonitors);
  if (!info || !info->pName || !*info->pName || !info->pDLLName || !*info->pDLLName) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  winsim::MonitorSpec m{Wide(info->pName), EnvOf(info->pEnvironment), BaseName(Wide(info->pDLLName))};
  if (MonitorRegistered(m.name)) {
    SetLastError(ERROR_PRINT_MONITOR_ALREADY_INSTALLED);
    return FALSE;
  }
  // The spooler loads monitors from the system directory only.
  if (!FileExists(kSystemDirectory + m.dll)) {
    SetLastError(ERROR_MOD_NOT_FOUND);
    return FALSE;
  }
  // Loading and InitializePrintMonitor2 run without the machine lock, as the monitor calls back into it.
  std::u16string module = m.dll;
  if (module.size() > 4 && IEquals(module.substr(module.size() - 4), u".dll")) module.resize(module.size() - 4);
  if (!winsim::AddLanguageMonitor(m.name, module)) {
    SetLastError(ERROR_MOD_NOT_FOUND);
    return FALSE;
  }
  Guard g(Mutex());
  A().monitors.push_back(m);
  return TRUE;
}

BOOL WINAPI DeleteMonitorW(LPWSTR pName, LPWSTR /*pEnvironment*/, LPWSTR pMonitorName) {
  if (!LocalServerLevel(pName, true)) return FALSE;
  const std::u16string name = Wide(pMonitorName);
  if (name.empty()) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  Guard g(Mutex());
  for (const auto& m : kBuiltInMonitors) {
    if (IEquals(m.name, name)) {
      SetLastError(ERROR_PRINT_MONITOR_IN_USE);  // their ports stay
      return FALSE;
    }
  }
  auto& monitors = A().monitors;
  for (auto it = monitors.begin(); it != monitors.end(); ++it) {
    if (!IEquals(it->name, name)) continue;
    for (const auto& d : winsim::Drivers()) {
      if (IEquals(d.monitorName, name)) {
        SetLastError(ERROR_PRINT_MONITOR_IN_USE);
        return FALSE;
      }
    }
    monitors.erase(it);
    return TRUE;
  }
  SetLastError(ERROR_UNKNOWN_PRINT_MONITOR);
  return FALSE;
}

BOOL WINAPI EnumMonitorsW(LPWSTR pName, DWORD Level, LPBYTE pMonitor, DWORD cbBuf, LPDWORD pcbNeeded,
                          LPDWORD pcReturned) {
  if (!LocalServerLevel(pName, Level == 1 || Level == 2)) return FALSE;
  auto recs = winsim::Monitors();
  const size_t fixed = Level == 1 ? sizeof(MONITOR_INFO_1W) : sizeof(MONITOR_INFO_2W);
  return PackAll(
      recs, fixed,
      [Level](const winsim::MonitorSpec& m) {
        return Packer::Need(m.name) + (Level == 2 ? Packer::Need(m.environment) + Packer::Need(m.dll) : 0);
      },
      [Level](const winsim::MonitorSpec& m, LPBYTE at, Packer& k) {
        MONITOR_INFO_2W i{};
        i.pName = k.Str(m.name);
        if (Level == 2) {
          i.pEnvironment = k.Str(m.environment);
          i.pDLLName = k.Str(m.dll);
        }
        std::memcpy(at, &i, Level == 1 ? sizeof(MONITOR_INFO_1W) : sizeof(MONITOR_INFO_2W));
      },
      pMonitor, cbBuf, pcbNeeded, pcReturned);
}

HANDLE WINAPI AddPrinterW(LPWSTR pName, DWORD Level, LPBYTE pPrinter) {
  if (!LocalServerLevel(pName, Level == 2)) return nullptr;
  auto* i = reinterpret_cast<PRINTER_INFO_2W*>(pPrinter);
  if (!i || !i->pPortName || !i->pDriverName || !i->pPrintProcessor) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return nullptr;
  }
  if (!ValidPrinterName(Wide(i->pPrinterName))) {
    SetLastError(ERROR_INVALID_PRINTER_NAME);
    return nullptr;
  }
  winsim::PrinterSpec spec;
  spec.name = Wide(i->pPrinterName);
  spec.port = Wide(i->pPortName);
  spec.driver = Wide(i->pDriverName);
  spec.comment = Wide(i->pComment);
  spec.location = Wide(i->pLocation);
  spec.attributes = i->Attributes & ~DWORD(PRINTER_ATTRIBUTE_LOCAL);
  {
    Guard g(Mutex());
    for (const auto& p : winsim::Printers()) {
      if (IEquals(p.name, spec.name)) {
        SetLastError(ERROR_PRINTER_ALREADY_EXISTS);
        return nullptr;
      }
    }
    bool driverKnown = false;
    for (const auto& d : winsim::Drivers())
      driverKnown = driverKnown || (IEquals(d.name, spec.driver) && IEquals(d.environment, kEnvironment));
    if (!driverKnown) {
      SetLastError(ERROR_UNKNOWN_PRINTER_DRIVER);
      return nullptr;
    }
    if (!PortsExist(spec.port)) {
      SetLastError(ERROR_UNKNOWN_PORT);
      return nullptr;
    }
    if (!winsim::AddPrinter(spec)) {
      SetLastError(ERROR_INVALID_PARAMETER);
      return nullptr;
    }
  }
  PRINTER_DEFAULTSW defaults{nullptr, nullptr, PRINTER_ALL_ACCESS};
  HANDLE h = nullptr;
  OpenPrinterW(i->pPrinterName, &h, &defaults);
  return h;
}

BOOL WINAPI DeletePrinter(HANDLE hPrinter) {
  Guard g(Mutex());
  winsim::PrinterSpec p;
  if (!PrinterOfHandle(hPrinter, &p)) {
    SetLastError(ERROR_INVALID_HANDLE);
    return FALSE;
  }
  if (p.queuedJobs) {
    winsim::UpdatePrinter(p.name, [](winsim::PrinterSpec& s) { s.pendingDeletion = true; });
    return TRUE;
  }
  winsim::RemovePrinter(p.name);
  if (IEquals(A().defaultPrinter, p.name)) A().defaultPrinter.clear();
  return TRUE;
}

namespace {

// SetPrinterW level 2: the name (a rename keeps the printer's settings and data), port, driver, comment and
// location; the rest of the record is not simulated.
BOOL SetPrinterInfo2(HANDLE hPrinter, const winsim::PrinterSpec& p, const PRINTER_INFO_2W* i) {
  if (!i || !i->pPrinterName || !i->pPortName || !i->pDriverName) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  if (!(PrinterHandleAccess(hPrinter) & PRINTER_ACCESS_ADMINISTER)) {
    SetLastError(ERROR_ACCESS_DENIED);
    return FALSE;
  }
  const std::u16string name = Wide(i->pPrinterName), port = Wide(i->pPortName), driver = Wide(i->pDriverName);
  if (!ValidPrinterName(name)) {
    SetLastError(ERROR_INVALID_PRINTER_NAME);
    return FALSE;
  }
  if (!PortsExist(port)) {
    SetLastError(ERROR_UNKNOWN_PORT);
    return FALSE;
  }
  if (!DriverInstalled(driver, kEnvironment)) {
    SetLastError(ERROR_UNKNOWN_PRINTER_DRIVER);
    return FALSE;
  }
  if (!RenamePrinterOfHandle(hPrinter, name)) {
    SetLastError(ERROR_PRINTER_ALREADY_EXISTS);
    return FALSE;
  }
  winsim::UpdatePrinter(name, [&](winsim::PrinterSpec& s) {
    s.port = port;
    s.driver = driver;
    s.comment = Wide(i->pComment);
    s.location = Wide(i->pLocation);
  });
  if (IEquals(A().defaultPrinter, p.name)) A().defaultPrinter = name;
  return TRUE;
}

}  // namespace

BOOL WINAPI SetPrinterW(HANDLE hPrinter, DWORD Level, LPBYTE pPrinter, DWORD Command) {
  Guard g(Mutex());
  winsim::PrinterSpec p;
  if (!PrinterOfHandle(hPrinter, &p)) {
    SetLastError(ERROR_INVALID_HANDLE);
    return FALSE;
  }
  if (Level == 2 && Command == 0) return SetPrinterInfo2(hPrinter, p, reinterpret_cast<PRINTER_INFO_2W*>(pPrinter));
  if (Level != 0 || Command != PRINTER_CONTROL_PURGE) {
    SetLastError(ERROR_NOT_SUPPORTED);  // only the purge of the queue and level 2 are simulated
    return FALSE;
  }
  if (p.pendingDeletion) {
    winsim::RemovePrinter(p.name);
    if (IEquals(A().defaultPrinter, p.name)) A().defaultPrinter.clear();
  } else {
    winsim::UpdatePrinter(p.name, [](winsim::PrinterSpec& s) { s.queuedJobs = 0; });
  }
  return TRUE;
}

BOOL WINAPI EnumPrintersW(DWORD Flags, LPWSTR Name, DWORD Level, LPBYTE pPrinterEnum, DWORD cbBuf, LPDWORD pcbNeeded,
                          LPDWORD pcReturned) {
  if (!LocalServerLevel(Name, Level == 1 || Level == 2 || Level == 4)) return FALSE;
  std::vector<winsim::PrinterSpec> recs;
  {
    Guard g(Mutex());
    if (Flags & (PRINTER_ENUM_LOCAL | PRINTER_ENUM_CONNECTIONS | PRINTER_ENUM_NAME)) recs = winsim::Printers();
    else if (Flags & PRINTER_ENUM_DEFAULT)
      for (const auto& p : winsim::Printers())
        if (IEquals(p.name, A().defaultPrinter)) recs.push_back(p);
  }
  const size_t fixed =
      Level == 1 ? sizeof(PRINTER_INFO_1W) : Level == 2 ? sizeof(PRINTER_INFO_2W) : sizeof(PRINTER_INFO_4W);
  auto strings = [Level](const winsim::PrinterSpec& p) {
    if (Level == 1) return Packer::Need(p.name + u"," + p.driver + u"," + p.location) + Packer::Need(p.name) +
                           Packer::Need(p.comment);
    if (Level == 4) return Packer::Need(p.name);
    return Packer::Need(p.name) + Packer::Need(p.port) + Packer::Need(p.driver) + Packer::Need(p.comment) +
           Packer::Need(p.location) + Packer::Need(u"winprint") + Packer::Need(u"RAW");
  };
  auto fill = [Level](const winsim::PrinterSpec& p, LPBYTE at, Packer& k) {
    if (Level == 1) {
      PRINTER_INFO_1W i{};
      i.Flags = 0x10;  // PRINTER_ENUM_ICON8
      i.pDescription = k.Str(p.name + u"," + p.driver + u"," + p.location);
      i.pName = k.Str(p.name);
      i.pComment = k.Str(p.comment);
      std::memcpy(at, &i, sizeof i);
    } else if (Level == 4) {
      PRINTER_INFO_4W i{};
      i.pPrinterName = k.Str(p.name);
      i.Attributes = p.attributes | PRINTER_ATTRIBUTE_LOCAL;
      std::memcpy(at, &i, sizeof i);
    } else {
      const PRINTER_INFO_2W i{.pPrinterName = k.Str(p.name), .pPortName = k.Str(p.port),
                              .pDriverName = k.Str(p.driver), .pComment = k.Str(p.comment),
                              .pLocation = k.Str(p.location), .pPrintProcessor = k.Str(u"winprint"),
                              .pDatatype = k.Str(u"RAW"), .Attributes = p.attributes | PRINTER_ATTRIBUTE_LOCAL,
                              .Priority = 1, .cJobs = p.queuedJobs};
      std::memcpy(at, &i, sizeof i);
    }
  };
  return PackAll(recs, fixed, strings, fill, pPrinterEnum, cbBuf, pcbNeeded, pcReturned);
}

BOOL WINAPI EnumPortsW(LPWSTR pName, DWORD Level, LPBYTE pPort, DWORD cbBuf, LPDWORD pcbNeeded, LPDWORD pcReturned) {
  if (!LocalServerLevel(pName, Level == 1 || Level == 2)) return FALSE;
  auto recs = AllPorts();
  const size_t fixed = Level == 1 ? sizeof(PORT_INFO_1W) : sizeof(PORT_INFO_2W);
  return PackAll(
      recs, fixed,
      [Level](const PortRec& p) {
        return Packer::Need(p.name) + (Level == 2 ? Packer::Need(p.monitor) + Packer::Need(p.description) : 0);
      },
      [Level](const PortRec& p, LPBYTE at, Packer& k) {
        PORT_INFO_2W i{};
        i.pPortName = k.Str(p.name);
        if (Level == 2) {
          i.pMonitorName = k.Str(p.monitor);
          i.pDescription = k.Str(p.description);
          i.fPortType = p.type;
        }
        std::memcpy(at, &i, Level == 1 ? sizeof(PORT_INFO_1W) : sizeof(PORT_INFO_2W));
      },
      pPort, cbBuf, pcbNeeded, pcReturned);
}

BOOL WINAPI SetDefaultPrinterW(LPCWSTR pszPrinter) {
  Guard g(Mutex());
  const std::u16string name = Wide(pszPrinter);
  if (name.empty()) {
    // No name: the first printer becomes the default, as Windows picks one.
    auto all = winsim::Printers();
    if (all.empty()) {
      SetLastError(ERROR_INVALID_PRINTER_NAME);
      return FALSE;
    }
    A().defaultPrinter = all.front().name;
    return TRUE;
  }
  for (const auto& p : winsim::Printers()) {
    if (IEquals(p.name, name)) {
      A().defaultPrinter = p.name;
      return TRUE;
    }
  }
  SetLastError(ERROR_INVALID_PRINTER_NAME);
  return FALSE;
}

BOOL WINAPI GetDefaultPrinterW(LPWSTR pszBuffer, LPDWORD pcchBuffer) {
  Guard g(Mutex());
  if (!pcchBuffer) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  const std::u16string& name = A().defaultPrinter;
  if (name.empty()) {
    SetLastError(ERROR_FILE_NOT_FOUND);
    return FALSE;
  }
  const DWORD need = DWORD(name.size() + 1);
  if (*pcchBuffer < need || !pszBuffer) {
    *pcchBuffer = need;
    SetLastError(ERROR_INSUFFICIENT_BUFFER);
    return FALSE;
  }
  std::memcpy(pszBuffer, name.c_str(), need * 2);
  *pcchBuffer = need;
  return TRUE;
}

}  // extern "C"
