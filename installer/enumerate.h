// The two-call enumerations of the spooler (EnumPrintersW, EnumPortsW, EnumPrinterDriversW): one call for
// the size, one to fill.
#pragma once

#include <vector>

#include "common/platform.h"

// `call(buffer, bytes, &needed, &count)` runs the enumeration. The records, empty with `count` 0 when there
// are none or the second call fails.
template <class Call>
std::vector<BYTE> EnumerateRecords(DWORD* count, Call call) {
  DWORD needed = 0;
  *count = 0;
  call(nullptr, 0, &needed, count);
  std::vector<BYTE> buf(needed);
  if (needed == 0 || !call(buf.data(), needed, &needed, count)) {
    *count = 0;
    buf.clear();
  }
  return buf;
}

// Local printers as PRINTER_INFO_2W records.
inline std::vector<BYTE> LocalPrinterRecords(DWORD* count) {
  return EnumerateRecords(count, [](BYTE* buf, DWORD bytes, DWORD* needed, DWORD* n) {
    return EnumPrintersW(PRINTER_ENUM_LOCAL, nullptr, 2, buf, bytes, needed, n);
  });
}

// Ports as PORT_INFO_2W records.
inline std::vector<BYTE> PortRecords(DWORD* count) {
  return EnumerateRecords(count, [](BYTE* buf, DWORD bytes, DWORD* needed, DWORD* n) {
    return EnumPortsW(nullptr, 2, buf, bytes, needed, n);
  });
}

// Installed drivers of `env` ("all": every environment; null: this one) as DRIVER_INFO_<level>W records.
inline std::vector<BYTE> DriverRecords(DWORD level, const WCHAR* env, DWORD* count) {
  return EnumerateRecords(count, [level, env](BYTE* buf, DWORD bytes, DWORD* needed, DWORD* n) {
    return EnumPrinterDriversW(nullptr, const_cast<LPWSTR>(env), level, buf, bytes, needed, n);
  });
}
