// The local spooler: drivers, printers, their default DEVMODE and printer data, and printer handles.
// Printer names and printer-data value names are case-insensitive, as in the registry behind them.
#include <cstring>
#include <map>
#include <vector>

#include "driver_fields.h"
#include "info_packer.h"
#include "internal.h"
#include "machine_state.h"
#include "winsim/spooler.h"

using namespace winsim::detail;

namespace {

struct Value {
  DWORD type;
  std::vector<uint8_t> data;
};

struct Printer {
  winsim::PrinterSpec spec;
  std::map<std::u16string, Value> data;  // keyed by upper-cased value name
};

struct Spooler {
  std::map<std::u16string, Printer> printers;  // keyed by upper-cased name
  std::vector<winsim::DriverSpec> drivers;
};

Spooler& S() { return Lasting<Spooler>(); }

const char16_t kEnvironment[] = u"Windows x64";

struct PrinterHandle : Object {
  std::u16string key;  // upper-cased printer name; empty for the local server
  DWORD access;
};

Printer* FindPrinter(const std::u16string& name) {
  auto it = S().printers.find(Upper(name));
  return it == S().printers.end() ? nullptr : &it->second;
}

const winsim::DriverSpec* FindDriver(const std::u16string& name, const std::u16string& env) {
  for (auto& d : S().drivers)
    if (IEquals(d.name, name) && IEquals(d.environment, env)) return &d;
  return nullptr;
}

// Resolves a printer handle (not the server handle) with the lock held; sets ERROR_INVALID_HANDLE.
Printer* PrinterOf(HANDLE h, std::shared_ptr<PrinterHandle>* out = nullptr) {
  auto ph = GetHandle<PrinterHandle>(h);
  Printer* p = nullptr;
  if (ph && !ph->key.empty()) {
    auto it = S().printers.find(ph->key);
    if (it != S().printers.end()) p = &it->second;
  }
  if (out) *out = ph;
  return p;
}

// The printer of a Get*W query whose level and pcbNeeded are good; null with the error set otherwise.
Printer* QueriedPrinter(HANDLE h, bool levelTaken, LPDWORD pcbNeeded) {
  Printer* p = PrinterOf(h);
  const DWORD error = !p            ? ERROR_INVALID_HANDLE
                      : !levelTaken ? ERROR_INVALID_LEVEL
                      : !pcbNeeded  ? ERROR_INVALID_PARAMETER
                                    : ERROR_SUCCESS;
  if (error) SetLastError(error);
  return error ? nullptr : p;
}

void Fill(const Printer& p, DWORD level, LPBYTE buf, Packer& k) {
  const auto& s = p.spec;
  if (level == 1) {
    PRINTER_INFO_1W i{};
    i.Flags = PRINTER_ENUM_ICON8;
    i.pDescription = k.Str(s.name + u"," + s.driver + u"," + s.location);
    i.pName = k.Str(s.name);
    i.pComment = k.Str(s.comment);
    if (buf) memcpy(buf, &i, sizeof i);
  } else if (level == 2) {
    auto* devMode = static_cast<LPDEVMODEW>(k.Bytes(s.devmode));  // right after the record, before the strings
    const DWORD pendingDeletion = 0x00000004;                     // PRINTER_STATUS_PENDING_DELETION
    const PRINTER_INFO_2W i{.pPrinterName = k.Str(s.name), .pPortName = k.Str(s.port), .pDriverName = k.Str(s.driver),
                            .pComment = k.Str(s.comment), .pLocation = k.Str(s.location), .pDevMode = devMode,
                            .pSepFile = k.Str(u""), .pPrintProcessor = k.Str(u"winprint"), .pDatatype = k.Str(u"RAW"),
                            .pParameters = k.Str(u""), .Attributes = s.attributes | PRINTER_ATTRIBUTE_LOCAL,
                            .Priority = 1, .Status = s.pendingDeletion ? pendingDeletion : 0, .cJobs = s.queuedJobs};
    if (buf) memcpy(buf, &i, sizeof i);
  } else {
    PRINTER_INFO_5W i{};
    i.pPrinterName = k.Str(s.name);
    i.pPortName = k.Str(s.port);
    i.Attributes = s.attributes | PRINTER_ATTRIBUTE_LOCAL;
    i.DeviceNotSelectedTimeout = 15000;
    i.TransmissionRetryTimeout = 45000;
    if (buf) memcpy(buf, &i, sizeof i);
  }
}

void Fill(const winsim::DriverSpec& d, DWORD level, LPBYTE buf, Packer& k) {
  DRIVER_INFO_3W i{};  // levels 2 and 3 (8 is packed by PackDriverInfo)
  FillDriverFields(i, d, level, k);
  if (buf) memcpy(buf, &i, level == 3 ? sizeof(DRIVER_INFO_3W) : sizeof(DRIVER_INFO_2W));
}

template <class Rec>
BOOL Pack(const Rec& rec, DWORD level, size_t fixed, LPBYTE buf, DWORD cbBuf, LPDWORD pcbNeeded) {
  return PackRecord(fixed, [&](LPBYTE at, Packer& k) { Fill(rec, level, at, k); }, buf, cbBuf, pcbNeeded);
}

}  // namespace

namespace winsim::detail {
bool DriverInstalled(const std::u16string& name, const std::u16string& environment) {
  Guard g(Mutex());
  return FindDriver(name, environment) != nullptr;
}

DWORD PrinterHandleAccess(HANDLE h) {
  auto ph = GetHandle<PrinterHandle>(h);
  return ph ? ph->access : 0;
}

bool RenamePrinterOfHandle(HANDLE h, const std::u16string& to) {
  Guard g(Mutex());
  std::shared_ptr<PrinterHandle> ph;
  Printer* p = PrinterOf(h, &ph);
  if (!p) return false;
  const std::u16string key = Upper(to);
  if (key != ph->key) {
    if (S().printers.count(key)) return false;
    Printer moved = std::move(*p);
    S().printers.erase(ph->key);
    p = &(S().printers[key] = std::move(moved));
    ph->key = key;  // other handles to the printer keep its old name
  }
  p->spec.name = to;
  return true;
}

void ResetSpooler() {
  S().printers.clear();
  S().drivers.clear();
}
const ResetRegistrar kResetSpooler(ResetSpooler);

void SaveSpooler(StateWriter& w) {
  w.U32(uint32_t(S().drivers.size()));
  for (const auto& d : S().drivers) {
    for (const auto* t : {&d.name, &d.environment, &d.driverPath, &d.dataFile, &d.configFile, &d.helpFile,
                          &d.dependentFiles, &d.monitorName, &d.defaultDataType, &d.hardwareId, &d.manufacturer,
                          &d.provider, &d.infPath})
      w.Str(*t);
    w.U32(d.version);
    w.U64(d.driverVersion);
  }
  w.U32(uint32_t(S().printers.size()));
  for (const auto& [key, p] : S().printers) {
    const auto& s = p.spec;
    for (const auto* t : {&s.name, &s.port, &s.driver, &s.comment, &s.location}) w.Str(*t);
    w.Bytes(s.devmode);
    w.U32(s.attributes);
    w.Bool(s.userMayAdminister);
    w.U32(s.queuedJobs);
    w.Bool(s.pendingDeletion);
    w.U32(uint32_t(p.data.size()));
    for (const auto& [name, v] : p.data) {
      w.Str(name);
      w.U32(v.type);
      w.Bytes(v.data);
    }
  }
}

bool LoadSpooler(StateReader& r, uint32_t) {
  for (uint32_t i = 0, n = r.Count(13 * 8 + 12); i < n && r.Ok(); ++i) {
    winsim::DriverSpec d;
    for (auto* t : {&d.name, &d.environment, &d.driverPath, &d.dataFile, &d.configFile, &d.helpFile,
                    &d.dependentFiles, &d.monitorName, &d.defaultDataType, &d.hardwareId, &d.manufacturer,
                    &d.provider, &d.infPath})
      *t = r.Str();
    d.version = r.U32();
    d.driverVersion = r.U64();
    if (r.Ok() && (d.name.empty() || FindDriver(d.name, d.environment))) r.Fail("a driver is unnamed or listed twice");
    S().drivers.push_back(std::move(d));
  }
  for (uint32_t i = 0, n = r.Count(5 * 8 + 8 + 14); i < n && r.Ok(); ++i) {
    Printer p;
    auto& s = p.spec;
    for (auto* t : {&s.name, &s.port, &s.driver, &s.comment, &s.location}) *t = r.Str();
    s.devmode = r.Bytes();
    s.attributes = r.U32();
    s.userMayAdminister = r.Bool();
    s.queuedJobs = r.U32();
    s.pendingDeletion = r.Bool();
    for (uint32_t k = 0, values = r.Count(20); k < values && r.Ok(); ++k) {
      std::u16string name = r.Str();
      Value v;
      v.type = r.U32();
      v.data = r.Bytes();
      if (!p.data.emplace(Upper(name), std::move(v)).second) r.Fail("a printer-data value appears twice");
    }
    if (!r.Ok()) break;
    if (s.name.empty() || FindPrinter(s.name)) r.Fail("a printer is unnamed or listed twice");
    else if (!FindDriver(s.driver, kEnvironment)) r.Fail("a printer's driver is not installed");
    else S().printers[Upper(s.name)] = std::move(p);
  }
  return r.Ok();
}
const StateRegistrar kSpoolerState("spooler", 1, SaveSpooler, LoadSpooler);
}  // namespace winsim::detail

namespace winsim {
void AddDriver(const DriverSpec& d) {
  Guard g(Mutex());
  for (auto& e : S().drivers) {
    if (IEquals(e.name, d.name) && IEquals(e.environment, d.environment)) {
      e = d;
      return;
    }
  }
  S().drivers.push_back(d);
}

bool AddPrinter(const PrinterSpec& p) {
  Guard g(Mutex());
  if (p.name.empty() || FindPrinter(p.name) || !FindDriver(p.driver, kEnvironment)) return false;
  S().printers[Upper(p.name)].spec = p;
  return true;
}

bool RemovePrinter(const std::u16string& name) {
  Guard g(Mutex());
  return S().printers.erase(Upper(name)) > 0;
}

std::vector<DriverSpec> Drivers() { return CopyLocked(S().drivers); }

bool RemoveDriver(const std::u16string& name, const std::u16string& environment) {
  Guard g(Mutex());
  for (auto it = S().drivers.begin(); it != S().drivers.end(); ++it) {
    if (IEquals(it->name, name) && IEquals(it->environment, environment)) {
      S().drivers.erase(it);
      return true;
    }
  }
  return false;
}

std::vector<PrinterSpec> Printers() {
  Guard g(Mutex());
  std::vector<PrinterSpec> out;
  for (const auto& [key, p] : S().printers) out.push_back(p.spec);
  return out;
}

bool UpdatePrinter(const std::u16string& name, const std::function<void(PrinterSpec&)>& change) {
  Guard g(Mutex());
  Printer* p = FindPrinter(name);
  if (p) change(p->spec);
  return p != nullptr;
}

bool SetPrinterDevmode(const std::u16string& printer, const std::vector<uint8_t>& devmode) {
  Guard g(Mutex());
  Printer* p = FindPrinter(printer);
  if (p) p->spec.devmode = devmode;
  return p != nullptr;
}

bool SetPrinterDataValue(const std::u16string& printer, const std::u16string& value, DWORD type,
                         const std::vector<uint8_t>& data) {
  Guard g(Mutex());
  Printer* p = FindPrinter(printer);
  if (p) p->data[Upper(value)] = Value{type, data};
  return p != nullptr;
}

bool GetPrinterDataValue(const std::u16string& printer, const std::u16string& value, DWORD* type,
                         std::vector<uint8_t>* data) {
  Guard g(Mutex());
  Printer* p = FindPrinter(printer);
  if (!p) return false;
  auto it = p->data.find(Upper(value));
  if (it == p->data.end()) return false;
  if (type) *type = it->second.type;
  if (data) *data = it->second.data;
  return true;
}
}  // namespace winsim

namespace {
// A value the spooler holds; the caller holds the machine lock.
DWORD StoredPrinterData(Printer* p, LPWSTR pValueName, LPDWORD pType, LPBYTE pData, DWORD nSize, LPDWORD pcbNeeded) {
  const Value& v = p->data.find(Upper(Wide(pValueName)))->second;
  if (pType) *pType = v.type;
  *pcbNeeded = DWORD(v.data.size());
  if (nSize < v.data.size()) return ERROR_MORE_DATA;
  if (!v.data.empty()) {
    if (!pData) return ERROR_INVALID_USER_BUFFER;
    memcpy(pData, v.data.data(), v.data.size());
  }
  return ERROR_SUCCESS;
}

}  // namespace

extern "C" {

BOOL WINAPI OpenPrinterW(LPWSTR pPrinterName, LPHANDLE phPrinter, LPPRINTER_DEFAULTSW pDefault) {
  if (!phPrinter) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  *phPrinter = nullptr;
  if (pPrinterName && pPrinterName[0] == u',')
    return OpenXcv(pPrinterName, pDefault ? pDefault->DesiredAccess : 0, phPrinter);
  auto h = std::make_shared<PrinterHandle>();
  h->access = pDefault && pDefault->DesiredAccess ? pDefault->DesiredAccess : PRINTER_ACCESS_USE;
  Guard g(Mutex());
  if (pPrinterName && *pPrinterName) {
    Printer* p = FindPrinter(pPrinterName);
    if (!p) {
      SetLastError(ERROR_INVALID_PRINTER_NAME);
      return FALSE;
    }
    if ((h->access & PRINTER_ACCESS_ADMINISTER) && !p->spec.userMayAdminister) {
      SetLastError(ERROR_ACCESS_DENIED);
      return FALSE;
    }
    h->key = Upper(p->spec.name);
  }
  *phPrinter = NewHandle(h);
  return TRUE;
}

BOOL WINAPI ClosePrinter(HANDLE hPrinter) {
  if (!TakeHandleOf<PrinterHandle>(hPrinter) && !CloseXcv(hPrinter)) {
    SetLastError(ERROR_INVALID_HANDLE);
    return FALSE;
  }
  return TRUE;
}

BOOL WINAPI GetPrinterW(HANDLE hPrinter, DWORD Level, LPBYTE pPrinter, DWORD cbBuf, LPDWORD pcbNeeded) {
  Guard g(Mutex());
  Printer* p = QueriedPrinter(hPrinter, Level == 1 || Level == 2 || Level == 5, pcbNeeded);
  if (!p) return FALSE;
  size_t fixed = Level == 1 ? sizeof(PRINTER_INFO_1W) : Level == 2 ? sizeof(PRINTER_INFO_2W) : sizeof(PRINTER_INFO_5W);
  return Pack(*p, Level, fixed, pPrinter, cbBuf, pcbNeeded);
}

BOOL WINAPI GetPrinterDriverW(HANDLE hPrinter, LPWSTR pEnvironment, DWORD Level, LPBYTE pDriverInfo, DWORD cbBuf,
                              LPDWORD pcbNeeded) {
  Guard g(Mutex());
  Printer* p = QueriedPrinter(hPrinter, Level == 2 || Level == 3 || Level == 8, pcbNeeded);
  if (!p) return FALSE;
  const winsim::DriverSpec* d = FindDriver(p->spec.driver, pEnvironment ? pEnvironment : kEnvironment);
  if (!d) {
    SetLastError(ERROR_UNKNOWN_PRINTER_DRIVER);
    return FALSE;
  }
  if (Level == 8) return PackDriverInfo(*d, Level, pDriverInfo, cbBuf, pcbNeeded);
  return Pack(ReportedDriver(*d), Level, Level == 3 ? sizeof(DRIVER_INFO_3W) : sizeof(DRIVER_INFO_2W), pDriverInfo,
              cbBuf, pcbNeeded);
}

DWORD WINAPI GetPrinterDataW(HANDLE hPrinter, LPWSTR pValueName, LPDWORD pType, LPBYTE pData, DWORD nSize,
                             LPDWORD pcbNeeded) {
  {
    Guard g(Mutex());
    std::shared_ptr<PrinterHandle> ph;
    Printer* p = PrinterOf(hPrinter, &ph);
    if (!ph || (!p && !ph->key.empty())) return ERROR_INVALID_HANDLE;
    if (!pcbNeeded) return ERROR_INVALID_PARAMETER;
    if (!p) return ERROR_FILE_NOT_FOUND;  // the server handle has no values here
    if (p->data.count(Upper(Wide(pValueName)))) return StoredPrinterData(p, pValueName, pType, pData, nSize, pcbNeeded);
  }
  // A name the spooler does not hold goes to the port's language monitor, without the machine lock.
  BOOL ok = FALSE;
  DWORD returned = 0;
  if (!pData && nSize) return ERROR_INVALID_USER_BUFFER;
  if (!MonitorGetPrinterData(hPrinter, pValueName, pData, nSize, &returned, &ok)) return ERROR_FILE_NOT_FOUND;
  if (!ok) {
    DWORD e = GetLastError();
    return e == ERROR_INSUFFICIENT_BUFFER || e == ERROR_MORE_DATA ? ERROR_MORE_DATA : ERROR_FILE_NOT_FOUND;
  }
  if (pType) *pType = REG_BINARY;
  *pcbNeeded = returned;
  return ERROR_SUCCESS;
}

DWORD WINAPI SetPrinterDataW(HANDLE hPrinter, LPWSTR pValueName, DWORD Type, LPBYTE pData, DWORD cbData) {
  Guard g(Mutex());
  std::shared_ptr<PrinterHandle> ph;
  Printer* p = PrinterOf(hPrinter, &ph);
  if (!ph || (!p && !ph->key.empty())) return ERROR_INVALID_HANDLE;
  if (!p) return ERROR_NOT_SUPPORTED;  // server values are not simulated
  if (!(ph->access & PRINTER_ACCESS_ADMINISTER)) return ERROR_ACCESS_DENIED;
  if (!pData && cbData) return ERROR_INVALID_PARAMETER;
  p->data[Upper(Wide(pValueName))] = Value{Type, std::vector<uint8_t>(pData, pData + cbData)};
  return ERROR_SUCCESS;
}

DWORD WINAPI DeletePrinterDataW(HANDLE hPrinter, LPWSTR pValueName) {
  Guard g(Mutex());
  std::shared_ptr<PrinterHandle> ph;
  Printer* p = PrinterOf(hPrinter, &ph);
  if (!ph || (!p && !ph->key.empty())) return ERROR_INVALID_HANDLE;
  if (!p) return ERROR_NOT_SUPPORTED;
  if (!(ph->access & PRINTER_ACCESS_ADMINISTER)) return ERROR_ACCESS_DENIED;
  return p->data.erase(Upper(Wide(pValueName))) ? ERROR_SUCCESS : ERROR_FILE_NOT_FOUND;
}

}  // extern "C"
