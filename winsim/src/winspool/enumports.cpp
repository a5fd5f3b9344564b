// EnumPortsW: the local ports of the simulated machine as the spooler lists them: the standard local ports
// and one USB port per attached USB printer (USB ports stay while the printer is unplugged, as the USB
// monitor keeps them).
#include <cstdio>
#include <cstring>

#include "internal.h"
#include "winsim/devices.h"

using namespace winsim::detail;

namespace {

struct PortRow {
  std::u16string name, monitor, description;
};

std::vector<PortRow> Ports() {
  std::vector<PortRow> rows = {{u"LPT1:", u"Local Port", u"Printer Port"},
                               {u"COM1:", u"Local Port", u"Serial Port"},
                               {u"COM2:", u"Local Port", u"Serial Port"},
                               {u"FILE:", u"Local Port", u"Print to File"}};
  for (const auto& dev : winsim::UsbPrinters()) {
    char name[16];
    snprintf(name, sizeof name, "USB%03u", unsigned(dev->portNumber));
    rows.push_back({FromUtf8(name), u"USB Monitor", u"Virtual printer port for USB"});
  }
  return rows;
}

}  // namespace

extern "C" BOOL WINAPI EnumPortsW(LPWSTR pName, DWORD Level, LPBYTE pPort, DWORD cbBuf, LPDWORD pcbNeeded,
                                  LPDWORD pcReturned) {
  if (!pcbNeeded || !pcReturned) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  *pcReturned = 0;
  if (pName && *pName) {
    SetLastError(ERROR_INVALID_NAME);  // only the local machine
    return FALSE;
  }
  if (Level != 1 && Level != 2) {
    SetLastError(ERROR_INVALID_LEVEL);
    return FALSE;
  }
  const auto rows = Ports();
  const size_t fixed = Level == 1 ? sizeof(PORT_INFO_1W) : sizeof(PORT_INFO_2W);
  size_t need = rows.size() * fixed;
  for (const auto& r : rows)
    need += (r.name.size() + 1 + (Level == 2 ? r.monitor.size() + 1 + r.description.size() + 1 : 0)) * sizeof(WCHAR);
  *pcbNeeded = DWORD(need);
  if (!pPort || cbBuf < need) {
    SetLastError(ERROR_INSUFFICIENT_BUFFER);
    return FALSE;
  }
  // Records first, strings packed from the end of the buffer, as the spooler lays them out.
  auto* end = reinterpret_cast<WCHAR*>(pPort + need);
  auto put = [&](const std::u16string& s) {
    end -= s.size() + 1;
    memcpy(end, s.c_str(), (s.size() + 1) * sizeof(WCHAR));
    return reinterpret_cast<LPWSTR>(end);
  };
  for (size_t i = 0; i < rows.size(); ++i) {
    if (Level == 1) {
      reinterpret_cast<PORT_INFO_1W*>(pPort)[i].pName = put(rows[i].name);
    } else {
      auto& p = reinterpret_cast<PORT_INFO_2W*>(pPort)[i];
      p.pPortName = put(rows[i].name);
      p.pMonitorName = put(rows[i].monitor);
      p.pDescription = put(rows[i].description);
      p.fPortType = PORT_TYPE_WRITE | PORT_TYPE_READ;
      p.Reserved = 0;
    }
  }
  *pcReturned = DWORD(rows.size());
  return TRUE;
}
