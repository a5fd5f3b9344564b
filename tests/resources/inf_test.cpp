#include <gtest/gtest.h>

#include <fstream>
#include <iterator>
#include <sstream>
#include <string>

#include <rapidjson/document.h>

#include "installer/model_table.h"
#include "resources/catalogue_blob.h"

namespace {

std::string ReadInf() {
  std::ifstream f(LBL_INF_PATH, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(f), std::istreambuf_iterator<char>());
}

std::string PnpIdOf(const std::string& model) {
  rapidjson::Document doc;
  doc.Parse(reinterpret_cast<const char*>(g_CatalogueJson), g_CatalogueJsonSize);
  for (const auto& v : doc["Venders"].GetArray())
    for (const auto& m : v["Models"].GetArray())
      if (model == m["Model Name"].GetString()) return m["PnP ID"].GetString();
  return "";
}

TEST(PackageInf, ListsEveryModelTableRowWithItsCatalogueHardwareId) {
  std::string inf = ReadInf();
  ASSERT_FALSE(inf.empty());
  int rows = 0;
  for (const auto& row : kModelTable) {
    if (!*row.model) break;
    ++rows;
    std::string pnp = PnpIdOf(row.model);
    ASSERT_EQ(pnp.size(), 4u) << row.model;
    std::string entry = std::string("\"Tarnwell ") + row.model + "\" = LBLV6, USBPRINT\\Tarnwell" + row.model + pnp;
    // Once for each architecture section.
    size_t first = inf.find(entry);
    ASSERT_NE(first, std::string::npos) << entry;
    EXPECT_NE(inf.find(entry, first + 1), std::string::npos) << entry;
  }
  EXPECT_EQ(rows, 7);
}

TEST(PackageInf, NamesTheDriverFilesMonitorAndProvider) {
  std::string inf = ReadInf();
  for (const char* text : {"DriverFile=lbldrv6.dll", "ConfigFile=lbldrv6ui.dll", "DataFile=lbldrv6.dat",
                           "LanguageMonitor=%MonitorName%,lblmon.dll", "MonitorName=\"Tarnwell Language Monitor V6\"",
                           "Provider=\"Tarnwell\"", "Class=Printer", "DriverVer=02/04/2024,2024.2.4.1",
                           "1=%Disk%,,,amd64", "1=%Disk%,,,i386", "2=%Disk%,,,dat"})
    EXPECT_NE(inf.find(text), std::string::npos) << text;
  // Every line ends in CR LF, as the setup API reads INF files of any origin.
  for (size_t i = inf.find('\n'); i != std::string::npos; i = inf.find('\n', i + 1)) ASSERT_EQ(inf[i - 1], '\r');
}

}  // namespace
