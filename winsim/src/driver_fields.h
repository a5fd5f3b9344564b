// The DRIVER_INFO_2W/_3W fields of a driver, shared by GetPrinterDriverW and EnumPrinterDriversW
// (whose records start alike): each with its own packer `k`, which places the strings in this order.
#pragma once

#include <winspool.h>

#include "winsim/machine.h"

namespace winsim::detail {

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
