#include "tools/embedded.h"

#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>

#include <rapidjson/document.h>

#include <winddiui.h>

#include "common/product.h"
#include "common/wstr.h"
#include "resources/catalogue_blob.h"
#include "tools/state.h"
#include "tools/ui_language.h"
#include "winsim/machine.h"
#include "winsim/printpath.h"
#include "winsim/spooler.h"

#ifndef LBL_DATFILE_BUILD
#error "LBL_DATFILE_BUILD must name the generated data file, relative to the build's module folder"
#endif

namespace lbl {

std::vector<std::string> CatalogueDriverNames() {
  std::vector<std::string> names;
  rapidjson::Document doc;
  doc.Parse(reinterpret_cast<const char*>(g_CatalogueJson), g_CatalogueJsonSize);
  if (doc.HasParseError() || !doc.IsObject() || !doc.HasMember("Venders") || !doc["Venders"].IsArray()) return names;
  for (const auto& v : doc["Venders"].GetArray()) {
    if (!v.IsObject() || !v.HasMember("Vender Name") || !v["Vender Name"].IsString()) continue;
    if (!v.HasMember("Models") || !v["Models"].IsArray()) continue;
    for (const auto& m : v["Models"].GetArray())
      if (m.IsObject() && m.HasMember("Model Name") && m["Model Name"].IsString())
        names.push_back(std::string(v["Vender Name"].GetString()) + " " + m["Model Name"].GetString());
  }
  return names;
}

bool IsKnownDriver(const std::string& driverName) {
  for (const auto& n : CatalogueDriverNames())
    if (n == driverName) return true;
  return false;
}

HMODULE CatalogueModule() {
  static HMODULE module = [] {
    HMODULE m = winsim::RegisterModule(u"lbldrv6");
    winsim::AddResource(m, TEXT("JSON"), MAKEINTRESOURCEW(119), g_CatalogueJson, g_CatalogueJsonSize);
    return m;
  }();
  return module;
}

std::string DataFile(const char* name, const char* buildPath) {
  const std::string modules = winsim::ModuleDirectory();
  const std::string installed = modules + "/../../share/lbl/" + name, built = modules + "/" + buildPath;
  struct stat st;
  if (stat(installed.c_str(), &st) != 0 && stat(built.c_str(), &st) == 0) return built;
  return installed;
}

std::u16string DataFilePath() { return u"C:\\Windows\\System32\\spool\\drivers\\x64\\3\\lbldrv6.dat"; }

namespace {

// False, with the reason, for a driver the catalogue has no model of.
bool CheckKnownDriver(const std::string& driverName, std::string* error) {
  if (IsKnownDriver(driverName)) return true;
  if (error) *error = "unknown driver \"" + driverName + "\": no such model in the catalogue (see 'lbl models')";
  return false;
}

}  // namespace

bool SetupPrinter(const std::string& driverName, const std::string& port, std::string* error) {
  if (!CheckKnownDriver(driverName, error)) return false;
  CatalogueModule();
  winsim::Reset();
  lbl::ApplyUiLanguage();
  if (!AddCatalogueDriver(driverName, error)) return false;
  winsim::PrinterSpec p;
  p.name = Utf8ToWide(driverName);
  p.port = Utf8ToWide(port);
  p.driver = p.name;
  if (!winsim::AddPrinter(p)) {
    if (error) *error = "cannot add the printer \"" + driverName + "\"";
    return false;
  }
  return true;
}

bool AddCatalogueDriver(const std::string& driverName, std::string* error) {
  if (!CheckKnownDriver(driverName, error)) return false;
  CatalogueModule();
  const std::string datFile = DataFile("lbldrv6.dat", LBL_DATFILE_BUILD);
  std::ifstream in(datFile, std::ios::binary);
  std::vector<char> dat((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  if (dat.empty()) {
    if (error) *error = "cannot read the driver data file " + datFile;
    return false;
  }
  const std::u16string dir = u"C:\\Windows\\System32\\spool\\drivers\\x64\\3\\";
  // A machine without its data file would be saved broken: a full temporary folder fails here instead.
  if (!winsim::WriteHostFile(DataFilePath(), dat.data(), dat.size())) {
    if (error) *error = "cannot write the driver data file to " + winsim::HostPath(DataFilePath()) + ": " + std::strerror(errno);
    return false;
  }
  std::u16string driver = Utf8ToWide(driverName);
  winsim::DriverSpec d;
  d.name = driver;
  d.driverPath = dir + u"lbldrv6.dll";
  d.dataFile = DataFilePath();
  d.configFile = dir + u"lbldrv6ui.dll";
  d.monitorName = TEXT(LBL_LANGUAGE_MONITOR_NAME);
  winsim::AddDriver(d);
  return true;
}

bool InitialisePrinter(const std::string& printer, std::string* error) {
  HMODULE ui = winsim::LoadDriverModule(u"lbldrv6ui", error);
  if (!ui) return false;
  auto event = reinterpret_cast<decltype(DrvPrinterEvent)*>(winsim::GetModuleProc(ui, "DrvPrinterEvent"));
  WString name = Utf8ToWide(printer);
  const BOOL ok = event && event(name.data(), PRINTER_EVENT_INITIALIZE, 0, 0);
  if (!ok) *error = "DrvPrinterEvent(PRINTER_EVENT_INITIALIZE) failed (error " + std::to_string(GetLastError()) + ")";
  winsim::UnloadDriverModule(ui);
  return ok;
}

std::vector<std::u16string> PrinterNames() {
  std::vector<std::u16string> names;
  for (const auto& p : winsim::Printers()) names.push_back(p.name);
  return names;
}

void InitialiseAddedPrinters(const std::vector<std::u16string>& before) {
  for (const std::u16string& name : PrinterNames()) {
    if (std::find(before.begin(), before.end(), name) != before.end()) continue;
    std::string error;
    if (!InitialisePrinter(WideToUtf8(name), &error))
      std::fprintf(stderr, "lbl: the printer \"%s\" was not initialised: %s\n", WideToUtf8(name).c_str(), error.c_str());
  }
}

bool BuildFreshMachine(std::string* error) {
  if (!SetupPrinter(kDefaultDriver, kDefaultPort, error) || !InitialisePrinter(kDefaultDriver, error)) return false;
  WString name = Utf8ToWide(kDefaultDriver);
  if (!SetDefaultPrinterW(name.c_str())) {
    *error = "cannot make the embedded printer the default printer";
    return false;
  }
  return true;
}

bool OpenTargetPrinter(const std::string& printer, const std::string& model, TargetPrinter* out, std::string* error) {
  *out = TargetPrinter{};
  if (!model.empty()) {
    if (!SetupPrinter(model, kDefaultPort, error) || !InitialisePrinter(model, error)) return false;
    *out = TargetPrinter{model, model, kDefaultPort, true};
    return true;
  }
  if (!OpenState(error)) return false;
  std::u16string wanted = printer.empty() ? winsim::DefaultPrinter() : std::u16string(Utf8ToU16(printer));
  if (wanted.empty()) {
    *error = "the machine has no default printer: name one with --printer ('lbl printers' lists them)";
    return false;
  }
  for (const auto& p : winsim::Printers()) {
    if (WStrEqNoCase(reinterpret_cast<const WCHAR*>(p.name.c_str()), reinterpret_cast<const WCHAR*>(wanted.c_str()))) {
      *out = TargetPrinter{WideToUtf8(p.name), WideToUtf8(p.driver), WideToUtf8(p.port), false};
      return true;
    }
  }
  *error = "no printer named \"" + WideToUtf8(wanted) + "\" is installed ('lbl printers' lists them)";
  return false;
}

std::string DeviceIdFor(const std::string& driver, const std::string& commandSet) {
  return "MFG:Tarnwell;CMD:" + commandSet + ";MDL:" + driver.substr(driver.find(' ') + 1) + ";CLS:PRINTER;";
}

bool DeviceIdSpeaksTwl(const std::string& deviceId) {
  // As the language monitor reads the device's answer: "CMD:TWL;" within its first 64 bytes.
  return deviceId.substr(0, 64).find("CMD:TWL;") != std::string::npos;
}

DWORD UsbPortNumber(const std::string& port) {
  if (port.size() != 6 || !(port[0] == 'U' || port[0] == 'u') || !(port[1] == 'S' || port[1] == 's') ||
      !(port[2] == 'B' || port[2] == 'b') || port.find_first_not_of("0123456789", 3) != std::string::npos)
    return 0;
  const WString wide = Utf8ToWide(port);
  for (const auto& tcp : winsim::TcpIpPorts())
    if (WStrEqNoCase(ToWString(tcp.name.c_str()).c_str(), wide.c_str())) return 0;
  return DWORD(std::strtoul(port.c_str() + 3, nullptr, 10));
}

}  // namespace lbl
