#include "fixture.h"

namespace lbltest {

HANDLE InstallPrinter(const std::u16string& driver, const std::vector<uint8_t>& dataFile, const std::u16string& printer,
                      DWORD access) {
  const std::u16string dat = u"C:\\Windows\\System32\\spool\\drivers\\x64\\3\\lbldrv6.dat";
  if (!dataFile.empty()) winsim::WriteHostFile(dat, dataFile.data(), dataFile.size());
  winsim::DriverSpec d;
  d.name = driver;
  d.dataFile = dat;
  d.driverPath = u"C:\\Windows\\System32\\spool\\drivers\\x64\\3\\lbldrv6.dll";
  d.configFile = u"C:\\Windows\\System32\\spool\\drivers\\x64\\3\\lbldrv6ui.dll";
  winsim::AddDriver(d);
  winsim::PrinterSpec p;
  p.name = printer;
  p.driver = driver;
  winsim::AddPrinter(p);
  HANDLE h = nullptr;
  PRINTER_DEFAULTSW def{nullptr, nullptr, access};
  WString name = ToWString(printer.c_str());
  if (!OpenPrinterW(name.data(), &h, &def)) return nullptr;
  return h;
}

HMODULE ModuleWithCatalogue(const std::string& json) {
  static int n = 0;
  ++n;
  std::u16string name = u"catalogue";
  for (int v = n; v > 0; v /= 26) name += char16_t(u'a' + v % 26);
  HMODULE m = winsim::RegisterModule(name);
  winsim::RemoveResources(m);
  winsim::AddResource(m, TEXT("JSON"), MAKEINTRESOURCEW(119), json.data(), json.size());
  return m;
}

}  // namespace lbltest
