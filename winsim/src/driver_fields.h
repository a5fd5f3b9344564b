// The DRIVER_INFO_2W/_3W fields of a driver, shared by GetPrinterDriverW and EnumPrinterDriversW
// (whose records start alike): each with its own packer `k`, which places the strings in this order.
#pragma once

#include <winspool.h>

#include <string>

#include "winsim/machine.h"

namespace winsim::detail {

// A driver as the spooler reports it: files that were added by name alone live in the environment's
// printer-driver directory and are reported with that path, as Windows reports them.
inline winsim::DriverSpec ReportedDriver(winsim::DriverSpec d) {
  WCHAR dir[MAX_PATH];
  DWORD needed = 0;
  std::u16string env = d.environment;
  if (!GetPrinterDriverDirectoryW(nullptr, reinterpret_cast<LPWSTR>(env.data()), 1, reinterpret_cast<LPBYTE>(dir),
                                  sizeof dir, &needed))
    return d;
  const std::u16string base = std::u16string(reinterpret_cast<const char16_t*>(dir)) + u"\\";
  for (auto* f : {&d.driverPath, &d.dataFile, &d.configFile, &d.helpFile})
    if (!f->empty() && f->find_first_of(u"\\/") == std::u16string::npos) *f = base + *f;
  return d;
}

template <class Info, class Packer>
void FillDriverFields(Info& i, const winsim::DriverSpec& d, DWORD level, Packer& k) {
  i.cVersion = d.version;
  i.pName = k.Str(d.name);
  i.pEnvironment = k.Str(d.environment);
  i.pDriverPath = k.Str(d.driverPath);
  i.pDataFile = k.Str(d.dataFile);
  i.pConfigFile = k.Str(d.configFile);
  if (level >= 3) {
    i.pHelpFile = k.StrOrNull(d.helpFile);
    i.pDependentFiles = k.MultiSz(d.dependentFiles);
    i.pMonitorName = k.StrOrNull(d.monitorName);
    i.pDefaultDataType = k.StrOrNull(d.defaultDataType);
  }
}

}  // namespace winsim::detail
