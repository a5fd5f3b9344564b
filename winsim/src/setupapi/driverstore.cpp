// The driver store and Plug and Play driver updates: uploading a printer INF ("oemN.inf" under the Windows
// INF folder, its files kept in a store folder), installing a model of it as a printer driver, removing
// the package, and matching attached USB printers' hardware IDs against its models.
#include <cstdio>
#include <algorithm>
#include <cstring>
#include <filesystem>
#include <vector>

#include <newdev.h>

#include "internal.h"
#include "machine_state.h"
#include "winsim/devices.h"
#include "winsim/monitorhost.h"
#include "winsim/spooler.h"

using namespace winsim::detail;

namespace {

struct Package {
  std::u16string oemInf;     // "oem0.inf"
  std::u16string sourceInf;  // where it was uploaded from
  std::u16string storeInf;   // the copy in its store folder, the path upload answers
};

std::vector<Package>& Store() {
  static auto* s = new std::vector<Package>;
  return *s;
}

void ResetStore() { Store().clear(); }
const ResetRegistrar kResetStore(ResetStore);

// The packages' records; their files are on C: with the rest.
void SaveStore(StateWriter& w) {
  w.U32(uint32_t(Store().size()));
  for (const auto& p : Store())
    for (const auto* t : {&p.oemInf, &p.sourceInf, &p.storeInf}) w.Str(*t);
}

bool LoadStore(StateReader& r, uint32_t) {
  for (uint32_t i = 0, n = r.Count(24); i < n && r.Ok(); ++i) {
    Package p;
    for (auto* t : {&p.oemInf, &p.sourceInf, &p.storeInf}) *t = r.Str();
    if (r.Ok() && p.oemInf.empty()) r.Fail("a driver package has no name");
    Store().push_back(std::move(p));
  }
  return r.Ok();
}
const StateRegistrar kStoreState("driverstore", 1, SaveStore, LoadStore);

HRESULT FromWin32(DWORD e) { return e ? HRESULT(0x80070000u | (e & 0xFFFF)) : S_OK; }

std::u16string Profile(const std::u16string& inf, const char16_t* section, const std::u16string& key) {
  WCHAR buf[512];
  GetPrivateProfileStringW(reinterpret_cast<LPCWSTR>(section), reinterpret_cast<LPCWSTR>(key.c_str()), TEXT(""), buf,
                           512, reinterpret_cast<LPCWSTR>(inf.c_str()));
  return Wide(buf);
}

// "%Name%" resolved through [Strings], as SetupAPI reads INF values.
std::u16string Resolve(const std::u16string& inf, const std::u16string& v) {
  if (v.size() > 2 && v.front() == u'%' && v.back() == u'%')
    return Profile(inf, u"Strings", v.substr(1, v.size() - 2));
  return v;
}

std::vector<std::u16string> Keys(const std::u16string& inf, const std::u16string& section) {
  std::vector<WCHAR> buf(8192);
  GetPrivateProfileStringW(reinterpret_cast<LPCWSTR>(section.c_str()), nullptr, TEXT(""), buf.data(), DWORD(buf.size()),
                           reinterpret_cast<LPCWSTR>(inf.c_str()));
  std::vector<std::u16string> out;
  for (const WCHAR* p = buf.data(); *p; p += out.back().size() + 1) out.push_back(Wide(p));
  return out;
}

std::vector<std::u16string> Split(const std::u16string& s) {
  std::vector<std::u16string> out;
  size_t pos = 0;
  while (true) {
    size_t c = s.find(u',', pos);
    std::u16string f = s.substr(pos, c == std::u16string::npos ? std::u16string::npos : c - pos);
    size_t b = f.find_first_not_of(u' '), e = f.find_last_not_of(u' ');
    out.push_back(b == std::u16string::npos ? u"" : f.substr(b, e - b + 1));
    if (c == std::u16string::npos) return out;
    pos = c + 1;
  }
}

struct Model {
  std::u16string name, section, hardwareId;
};

// The models of the INF's x64 decoration: "[Manufacturer] %Provider%=Tarnwell,NTamd64" names the
// section "Tarnwell.NTamd64" whose keys are the model names.
std::vector<Model> Models(const std::u16string& inf) {
  std::vector<Model> out;
  for (const auto& mfgKey : Keys(inf, u"Manufacturer")) {
    auto fields = Split(Profile(inf, u"Manufacturer", mfgKey));
    if (fields.empty()) continue;
    std::u16string section = fields[0];
    for (size_t i = 1; i < fields.size(); ++i)
      if (IEquals(fields[i], u"NTamd64")) section += u".NTamd64";
    for (const auto& key : Keys(inf, section)) {
      auto f = Split(Profile(inf, section.c_str(), key));
      std::u16string name = key;
      if (name.size() >= 2 && name.front() == u'"' && name.back() == u'"') name = name.substr(1, name.size() - 2);
      out.push_back({name, f.empty() ? u"" : f[0], f.size() > 1 ? f[1] : u""});
    }
  }
  return out;
}

// "mm/dd/yyyy,a.b.c.d" -> the four parts packed most significant first.
uint64_t DriverVer(const std::u16string& inf) {
  std::string v = ToUtf8(Profile(inf, u"Version", u"DriverVer"));
  unsigned m, d, y, a = 0, b = 0, c = 0, e = 0;
  if (std::sscanf(v.c_str(), "%u/%u/%u,%u.%u.%u.%u", &m, &d, &y, &a, &b, &c, &e) < 4) return 0;
  return uint64_t(a & 0xFFFF) << 48 | uint64_t(b & 0xFFFF) << 32 | uint64_t(c & 0xFFFF) << 16 | (e & 0xFFFF);
}

std::string Host(const std::u16string& win) { return winsim::HostPath(win); }

std::u16string Folder(const std::u16string& path) {
  size_t s = path.find_last_of(u'\\');
  return s == std::u16string::npos ? u"" : path.substr(0, s);
}

const Package* FindPackage(const std::u16string& inf) {
  for (const auto& p : Store())
    if (IEquals(p.storeInf, inf) || IEquals(p.sourceInf, inf) || IEquals(u"C:\\Windows\\INF\\" + p.oemInf, inf))
      return &p;
  return nullptr;
}

// Copies `file` from anywhere below the store folder (the x64 folder first) into the driver directory.
bool CopyFromStore(const std::u16string& storeDir, const std::u16string& file, const std::u16string& destDir) {
  namespace fs = std::filesystem;
  std::error_code ec;
  const fs::path root = Host(storeDir);
  std::vector<fs::path> found;
  for (auto it = fs::recursive_directory_iterator(root, ec); !ec && it != fs::recursive_directory_iterator();
       it.increment(ec)) {
    if (it->is_regular_file() && IEquals(FromUtf8(it->path().filename().string()), file)) found.push_back(it->path());
  }
  if (found.empty()) return false;
  const fs::path* pick = &found.front();
  for (const auto& f : found)
    if (f.parent_path().filename() == "amd64") pick = &f;
  std::string dest = Host(destDir + u"\\" + file);
  fs::create_directories(fs::path(dest).parent_path(), ec);
  return fs::copy_file(*pick, dest, fs::copy_options::overwrite_existing, ec);
}

// Installs one model of an uploaded package as a driver: files into the driver directory, the monitor
// registered when the INF names one.
HRESULT InstallModel(const Package& pkg, const Model& model) {
  const std::u16string inf = pkg.storeInf;
  const std::u16string storeDir = Folder(inf);
  const std::u16string driverDir = u"C:\\Windows\\System32\\spool\\DRIVERS\\x64";
  std::u16string dataSection = Profile(inf, model.section.c_str(), u"DataSection");
  winsim::DriverSpec d;
  d.name = model.name;
  d.driverPath = Profile(inf, dataSection.c_str(), u"DriverFile");
  d.configFile = Profile(inf, dataSection.c_str(), u"ConfigFile");
  d.dataFile = Profile(inf, dataSection.c_str(), u"DataFile");
  d.driverVersion = DriverVer(inf);
  d.hardwareId = model.hardwareId;
  d.provider = Resolve(inf, Profile(inf, u"Version", u"Provider"));
  d.manufacturer = d.provider;
  d.infPath = inf;
  auto monitor = Split(Resolve(inf, Profile(inf, model.section.c_str(), u"LanguageMonitor")));
  for (const auto* f : {&d.driverPath, &d.configFile, &d.dataFile})
    if (f->empty() || !CopyFromStore(storeDir, *f, driverDir)) return FromWin32(ERROR_FILE_NOT_FOUND);
  if (monitor.size() >= 2 && !monitor[0].empty()) {
    if (!CopyFromStore(storeDir, monitor[1], driverDir) ||
        !CopyFromStore(storeDir, monitor[1], u"C:\\Windows\\System32"))
      return FromWin32(ERROR_FILE_NOT_FOUND);
    MONITOR_INFO_2W mi{const_cast<LPWSTR>(reinterpret_cast<LPCWSTR>(monitor[0].c_str())), nullptr,
                       const_cast<LPWSTR>(reinterpret_cast<LPCWSTR>(monitor[1].c_str()))};
    if (!AddMonitorW(nullptr, 2, reinterpret_cast<LPBYTE>(&mi)) &&
        GetLastError() != ERROR_PRINT_MONITOR_ALREADY_INSTALLED)
      return FromWin32(GetLastError());
    d.monitorName = monitor[0];
    d.dependentFiles = monitor[1] + u'\0';
  }
  const bool replaced = DriverInstalled(d.name, d.environment);
  winsim::AddDriver(d);
  if (replaced) UpgradePrintersOfDriver(d);
  return S_OK;
}

}  // namespace

namespace winsim {

std::vector<DriverPackage> DriverPackages() {
  Guard g(Mutex());
  std::vector<DriverPackage> out;
  for (const auto& p : Store()) out.push_back({p.oemInf, p.sourceInf});
  return out;
}

std::string UsbPrintHardwareId(const std::string& deviceId) {
  std::string mfg, mdl;
  size_t pos = 0;
  while (pos < deviceId.size()) {
    size_t end = deviceId.find(';', pos);
    if (end == std::string::npos) end = deviceId.size();
    const std::string field = deviceId.substr(pos, end - pos);
    if (field.rfind("MFG:", 0) == 0) mfg = field.substr(4);
    if (field.rfind("MDL:", 0) == 0) mdl = field.substr(4);
    pos = end + 1;
  }
  char crc[8];
  std::snprintf(crc, sizeof crc, "%04X", Crc16Arc(mfg + mdl));
  return "USBPRINT\\" + mfg + mdl + crc;
}

}  // namespace winsim

extern "C" {

HRESULT WINAPI UploadPrinterDriverPackageW(LPCWSTR pszServer, LPCWSTR pszInfPath, LPCWSTR /*pszEnvironment*/,
                                           DWORD /*dwFlags*/, HWND /*hwnd*/, LPWSTR pszDestInfPath,
                                           PULONG pcchDestInfPath) {
  if ((pszServer && *pszServer) || !pszInfPath || !pszDestInfPath || !pcchDestInfPath) return E_INVALIDARG;
  const std::u16string src = Wide(pszInfPath);
  const std::vector<uint8_t> bytes = winsim::ReadHostFile(src);
  if (bytes.empty()) return FromWin32(ERROR_FILE_NOT_FOUND);
  if (!IEquals(Profile(src, u"Version", u"Class"), u"Printer")) return FromWin32(ERROR_INVALID_PARAMETER);
  Guard g(Mutex());
  const Package* existing = nullptr;
  for (const auto& p : Store())
    if (winsim::ReadHostFile(u"C:\\Windows\\INF\\" + p.oemInf) == bytes) existing = &p;
  Package pkg;
  if (existing) {
    pkg = *existing;
  } else {
    for (int n = 0;; ++n) {
      char name[32];
      std::snprintf(name, sizeof name, "oem%d.inf", n);
      pkg.oemInf = FromUtf8(name);
      if (GetFileAttributesW(reinterpret_cast<LPCWSTR>((u"C:\\Windows\\INF\\" + pkg.oemInf).c_str())) ==
          INVALID_FILE_ATTRIBUTES)
        break;
    }
    const std::u16string infName = src.substr(src.find_last_of(u'\\') + 1);
    char folder[64];
    std::snprintf(folder, sizeof folder, "_amd64_%zu", Store().size());
    const std::u16string storeDir =
        u"C:\\Windows\\System32\\DriverStore\\FileRepository\\" + Upper(infName) + FromUtf8(folder);
    pkg.sourceInf = src;
    pkg.storeInf = storeDir + u"\\" + infName;
    namespace fs = std::filesystem;
    std::error_code ec;
    fs::create_directories(Host(storeDir), ec);
    fs::copy(Host(Folder(src)), Host(storeDir), fs::copy_options::recursive | fs::copy_options::overwrite_existing,
             ec);
    if (ec || !winsim::WriteHostFile(u"C:\\Windows\\INF\\" + pkg.oemInf, bytes.data(), bytes.size()))
      return FromWin32(ERROR_ACCESS_DENIED);
    Store().push_back(pkg);
  }
  if (*pcchDestInfPath < pkg.storeInf.size() + 1) {
    *pcchDestInfPath = ULONG(pkg.storeInf.size() + 1);
    return FromWin32(ERROR_INSUFFICIENT_BUFFER);
  }
  std::copy(pkg.storeInf.begin(), pkg.storeInf.end(), reinterpret_cast<char16_t*>(pszDestInfPath));
  pszDestInfPath[pkg.storeInf.size()] = 0;
  *pcchDestInfPath = ULONG(pkg.storeInf.size() + 1);
  return S_OK;
}

HRESULT WINAPI InstallPrinterDriverFromPackageW(LPCWSTR pszServer, LPCWSTR pszInfPath, LPCWSTR pszDriverName,
                                                LPCWSTR /*pszEnvironment*/, DWORD /*dwFlags*/) {
  if ((pszServer && *pszServer) || !pszDriverName) return E_INVALIDARG;
  Package pkg;
  {
    Guard g(Mutex());
    const Package* p = pszInfPath ? FindPackage(Wide(pszInfPath)) : nullptr;
    if (!p) return FromWin32(ERROR_FILE_NOT_FOUND);
    pkg = *p;
  }
  for (const auto& m : Models(pkg.storeInf))
    if (m.name == Wide(pszDriverName)) return InstallModel(pkg, m);
  return FromWin32(ERROR_UNKNOWN_PRINTER_DRIVER);
}

BOOL WINAPI SetupUninstallOEMInfW(PCWSTR InfFileName, DWORD Flags, PVOID /*Reserved*/) {
  const std::u16string name = Wide(InfFileName);
  if (name.empty() || name.find(u'\\') != std::u16string::npos) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  Guard g(Mutex());
  auto& store = Store();
  for (auto it = store.begin(); it != store.end(); ++it) {
    if (!IEquals(it->oemInf, name)) continue;
    if (!(Flags & SUOI_FORCEDELETE)) {
      for (const auto& d : winsim::Drivers()) {
        if (IEquals(d.infPath, it->storeInf)) {
          SetLastError(ERROR_INF_IN_USE_BY_DEVICES);
          return FALSE;
        }
      }
    }
    DeleteFileW(reinterpret_cast<LPCWSTR>((u"C:\\Windows\\INF\\" + it->oemInf).c_str()));
    std::error_code ec;
    std::filesystem::remove_all(Host(Folder(it->storeInf)), ec);
    store.erase(it);
    return TRUE;
  }
  // An oemN.inf not in the store (placed by hand) is removed as a file.
  if (DeleteFileW(reinterpret_cast<LPCWSTR>((u"C:\\Windows\\INF\\" + name).c_str()))) return TRUE;
  SetLastError(ERROR_FILE_NOT_FOUND);
  return FALSE;
}

BOOL WINAPI UpdateDriverForPlugAndPlayDevicesW(HWND /*hwndParent*/, LPCWSTR HardwareId, LPCWSTR FullInfPath,
                                               DWORD /*InstallFlags*/, PBOOL bRebootRequired) {
  if (bRebootRequired) *bRebootRequired = FALSE;
  const std::u16string hwid = Wide(HardwareId), inf = Wide(FullInfPath);
  if (hwid.empty() || inf.empty()) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  // The attached, present USB printer with that hardware ID.
  std::shared_ptr<winsim::UsbPrinterDevice> device;
  for (const auto& dev : winsim::UsbPrinters()) {
    if (!dev->present) continue;
    if (IEquals(FromUtf8(winsim::UsbPrintHardwareId(dev->deviceId)), hwid)) device = dev;
  }
  if (!device) {
    SetLastError(ERROR_NO_SUCH_DEVINST);
    return FALSE;
  }
  // Upload (or find) the package, then install the model that names the hardware ID.
  WCHAR dest[MAX_PATH];
  ULONG cch = MAX_PATH;
  HRESULT hr = UploadPrinterDriverPackageW(nullptr, FullInfPath, nullptr, UPDP_SILENT_UPLOAD, nullptr, dest, &cch);
  if (hr != S_OK) {
    SetLastError(hr & 0xFFFF);
    return FALSE;
  }
  Package pkg;
  {
    Guard g(Mutex());
    pkg = *FindPackage(Wide(dest));
  }
  for (const auto& m : Models(pkg.storeInf)) {
    if (!IEquals(m.hardwareId, hwid)) continue;
    hr = InstallModel(pkg, m);
    if (hr != S_OK) {
      SetLastError(hr & 0xFFFF);
      return FALSE;
    }
    // The class installer creates a printer for the device's port when none prints there yet.
    char port[16];
    std::snprintf(port, sizeof port, "USB%03u", unsigned(device->portNumber));
    bool used = false;
    for (const auto& p : winsim::Printers()) used = used || IEquals(p.port, FromUtf8(port));
    if (!used) {
      winsim::PrinterSpec spec;
      spec.name = m.name;
      spec.driver = m.name;
      spec.port = FromUtf8(port);
      winsim::AddPrinter(spec);
    }
    return TRUE;
  }
  SetLastError(ERROR_NO_SUCH_DEVINST);  // the INF has no model for the device
  return FALSE;
}

}  // extern "C"

// INF information: the version block of one INF, here its absolute path, so that the original name can
// be looked up in the store.
extern "C" {

BOOL WINAPI SetupGetInfInformationW(LPCVOID InfSpec, DWORD SearchControl, PSP_INF_INFORMATION ReturnBuffer,
                                    DWORD ReturnBufferSize, PDWORD RequiredSize) {
  if (SearchControl != INFINFO_INF_NAME_IS_ABSOLUTE || !InfSpec) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  const std::u16string path = Wide(static_cast<LPCWSTR>(InfSpec));
  if (GetFileAttributesW(static_cast<LPCWSTR>(InfSpec)) == INVALID_FILE_ATTRIBUTES) {
    SetLastError(ERROR_FILE_NOT_FOUND);
    return FALSE;
  }
  const DWORD need = DWORD(offsetof(SP_INF_INFORMATION, VersionData) + (path.size() + 1) * 2);
  if (RequiredSize) *RequiredSize = need;
  if (!ReturnBuffer || ReturnBufferSize < need) {
    SetLastError(ERROR_INSUFFICIENT_BUFFER);
    return FALSE;
  }
  ReturnBuffer->InfStyle = INF_STYLE_WIN4;
  ReturnBuffer->InfCount = 1;
  std::memcpy(ReturnBuffer->VersionData, path.c_str(), (path.size() + 1) * 2);
  return TRUE;
}

BOOL WINAPI SetupQueryInfOriginalFileInformationW(PSP_INF_INFORMATION InfInformation, UINT InfIndex,
                                                  PVOID /*AlternatePlatformInfo*/,
                                                  PSP_ORIGINAL_FILE_INFO_W OriginalFileInfo) {
  if (!InfInformation || InfIndex != 0 || !OriginalFileInfo || OriginalFileInfo->cbSize != sizeof *OriginalFileInfo) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  std::u16string path = Wide(reinterpret_cast<LPCWSTR>(InfInformation->VersionData));
  std::u16string original = path.substr(path.find_last_of(u'\\') + 1);
  {
    Guard g(Mutex());
    for (const auto& p : Store())
      if (IEquals(u"C:\\Windows\\INF\\" + p.oemInf, path)) original = p.sourceInf.substr(p.sourceInf.find_last_of(u'\\') + 1);
  }
  std::memset(OriginalFileInfo->OriginalInfName, 0, sizeof OriginalFileInfo->OriginalInfName);
  std::memset(OriginalFileInfo->OriginalCatalogName, 0, sizeof OriginalFileInfo->OriginalCatalogName);
  original.resize(std::min<size_t>(original.size(), MAX_PATH - 1));
  std::memcpy(OriginalFileInfo->OriginalInfName, original.data(), original.size() * 2);
  return TRUE;
}

}  // extern "C"
