#include "tools/embedded.h"

#include <fstream>
#include <iterator>

#include <rapidjson/document.h>

#include "common/product.h"
#include "common/wstr.h"
#include "resources/catalogue_blob.h"
#include "tools/ui_language.h"
#include "winsim/machine.h"

#ifndef LBL_DATFILE_PATH
#error "LBL_DATFILE_PATH must name the generated data file"
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

std::u16string DataFilePath() { return u"C:\\Windows\\System32\\spool\\drivers\\x64\\3\\lbldrv6.dat"; }

bool SetupPrinter(const std::string& driverName, const std::string& port, std::string* error) {
  if (!IsKnownDriver(driverName)) {
    if (error) *error = "unknown driver \"" + driverName + "\": no such model in the catalogue (see 'lbl models')";
    return false;
  }
  CatalogueModule();
  winsim::Reset();
  lbl::ApplyUiLanguage();
  std::ifstream in(LBL_DATFILE_PATH, std::ios::binary);
  std::vector<char> dat((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  if (dat.empty()) {
    if (error) *error = std::string("cannot read the driver data file ") + LBL_DATFILE_PATH;
    return false;
  }
  const std::u16string dir = u"C:\\Windows\\System32\\spool\\drivers\\x64\\3\\";
  winsim::WriteHostFile(DataFilePath(), dat.data(), dat.size());
  std::u16string driver = Utf8ToWide(driverName);
  winsim::DriverSpec d;
  d.name = driver;
  d.driverPath = dir + u"lbldrv6.dll";
  d.dataFile = DataFilePath();
  d.configFile = dir + u"lbldrv6ui.dll";
  d.monitorName = TEXT(LBL_LANGUAGE_MONITOR_NAME);
  winsim::AddDriver(d);
  winsim::PrinterSpec p;
  p.name = driver;
  p.port = Utf8ToWide(port);
  p.driver = driver;
  if (!winsim::AddPrinter(p)) {
    if (error) *error = "cannot add the printer \"" + driverName + "\"";
    return false;
  }
  return true;
}

}  // namespace lbl
