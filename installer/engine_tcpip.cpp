// Standard TCP/IP ports through the port monitor's XcvDataW commands.
#include <cstdio>
#include <cstring>
#include <vector>

#include <tcpxcv.h>

#include "installer/debugtrace.h"
#include "installer/engine.h"
#include "installer/enumerate.h"
#include "installer/strings.h"

namespace {

const WCHAR kTcpMonitor[] = TEXT(",XcvMonitor Standard TCP/IP Port");

// Opens the transceive object, sends one command and closes it. True only when XcvDataW returned true and
// the monitor's status word is ERROR_SUCCESS; otherwise the last error says why (the status word when the
// monitor answered).
bool SendXcv(const WCHAR* object, const WCHAR* command, void* in, DWORD cbIn, void* out, DWORD cbOut) {
  PRINTER_DEFAULTSW defaults{nullptr, nullptr, SERVER_ACCESS_ADMINISTER};
  HANDLE h = nullptr;
  if (!OpenPrinterW(const_cast<LPWSTR>(object), &h, &defaults) || !h) {
    DWORD err = GetLastError();
    DebugTrace("OpenPrinter %ws failed, errcode:%d.", object, err);
    SetLastError(err ? err : ERROR_INVALID_PRINTER_NAME);
    return false;
  }
  DWORD needed = 0, status = ERROR_SUCCESS;
  BOOL ok = XcvDataW(h, command, static_cast<PBYTE>(in), cbIn, static_cast<PBYTE>(out), cbOut, &needed, &status);
  DWORD err = ok ? status : GetLastError();
  if (!ok && err == ERROR_SUCCESS) err = ERROR_INVALID_FUNCTION;  // a failed call is never taken as done
  ClosePrinter(h);
  if (err != ERROR_SUCCESS) DebugTrace("XcvData %ws on %ws: %d, status:%d.", command, object, ok, err);
  SetLastError(err);
  return err == ERROR_SUCCESS;
}

bool SendPortData(const Engine& e, const WCHAR* command, UINT logText, const WCHAR* port, const WCHAR* ip,
                  DWORD tcpPort) {
  if (!ip || !ip[0] || tcpPort == 0) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return false;
  }
  Log(e, InstallerString(logText), port, ip);
  PORT_DATA_1 data;
  std::memset(&data, 0, sizeof data);
  WStrCopy(data.sztPortName, MAX_PORTNAME_LEN, port);
  data.dwVersion = 1;
  data.dwProtocol = PROTOCOL_RAWTCP_TYPE;
  WStrCopy(data.sztHostAddress, MAX_NETWORKNAME_LEN, ip);
  data.dwPortNumber = tcpPort;
  BYTE out[260];
  bool ok = SendXcv(kTcpMonitor, command, &data, sizeof data, out, sizeof out);
  const DWORD err = GetLastError();
  Log(e, InstallerString(ok ? IDS_OK : IDS_FAILED));
  SetLastError(err);
  return ok;
}

}  // namespace

bool AddTcpIpPort(const Engine& e, const WCHAR* port, const WCHAR* ip, DWORD tcpPort) {
  return SendPortData(e, TEXT("AddPort"), IDS_ADD_PORT, port, ip, tcpPort);
}

bool ConfigTcpIpPort(const Engine& e, const WCHAR* port, const WCHAR* ip, DWORD tcpPort) {
  return SendPortData(e, TEXT("ConfigPort"), IDS_UPDATE_PORT, port, ip, tcpPort);
}

bool RemoveTcpIpPort(const Engine&, const WCHAR* port) {
  DELETE_PORT_DATA_1 data;
  std::memset(&data, 0, sizeof data);
  WStrCopy(data.psztPortName, MAX_PORTNAME_LEN, port);
  data.dwVersion = 1;
  BYTE out[260];
  return SendXcv(kTcpMonitor, TEXT("DeletePort"), &data, sizeof data, out, sizeof out);
}

namespace {

// Whether a printer's port list ("LPT1:,IP_192.0.2.10" for a pool) names the port.
bool NamesPort(const WCHAR* list, const WCHAR* port) {
  if (!list) return false;
  const size_t len = WStrLen(port);
  for (const WCHAR* p = list;;) {
    const WCHAR* end = p;
    while (*end && *end != ',') ++end;
    if (size_t(end - p) == len && WStrEqNoCase(WString(p, end).c_str(), port)) return true;
    if (!*end) return false;
    p = end + 1;
  }
}

}  // namespace

bool PrinterOnPort(const WCHAR* port, const WCHAR* except, WString* printer) {
  DWORD count = 0;
  std::vector<BYTE> buf = LocalPrinterRecords(&count);
  auto* printers = reinterpret_cast<PRINTER_INFO_2W*>(buf.data());
  for (DWORD i = 0; i < count; ++i) {
    if (!NamesPort(printers[i].pPortName, port)) continue;
    if (except && WStrEqNoCase(printers[i].pPrinterName, except)) continue;
    if (printer) *printer = printers[i].pPrinterName;
    return true;
  }
  return false;
}

bool DeleteTcpIpPort(const Engine& e, const InstallRecord* records, size_t count) {
  bool all = true;
  for (size_t i = 0; i < count; ++i) {
    if (records[i].portType != kPortTypeTcpIp) continue;
    bool seen = false;  // two selected printers on one port: it goes once
    for (size_t k = 0; k < i; ++k)
      seen = seen || (records[k].portType == kPortTypeTcpIp && WStrEqNoCase(records[k].portName, records[i].portName));
    if (seen) continue;
    Log(e, InstallerString(IDS_REMOVE_PORT), records[i].portName);
    WString user;
    if (PrinterOnPort(records[i].portName, nullptr, &user)) {
      Log(e, InstallerString(IDS_PORT_IN_USE), user.c_str());
      continue;
    }
    const bool removed = RemoveTcpIpPort(e, records[i].portName);
    Log(e, InstallerString(removed ? IDS_OK : IDS_FAILED));
    all = all && removed;
  }
  return all;
}

bool GetTcpIpPortConfig(const WCHAR* port, WCHAR (&ip)[20], DWORD* tcpPort) {
  ip[0] = 0;
  WCHAR object[MAX_PATH];
  if (!FormatPath(object, TEXT(",XcvPort %ws"), port)) return false;
  CONFIG_INFO_DATA_1 config;
  std::memset(&config, 0, sizeof config);
  config.dwVersion = 1;
  PORT_DATA_1 answer;
  std::memset(&answer, 0, sizeof answer);
  if (!SendXcv(object, TEXT("GetConfigInfo"), &config, sizeof config, &answer, sizeof answer)) return false;
  WStrTerminate(answer.sztHostAddress, MAX_NETWORKNAME_LEN);
  const std::string host = WideToAnsi(answer.sztHostAddress);
  int a, b, c, d;
  if (std::sscanf(host.c_str(), "%d.%d.%d.%d", &a, &b, &c, &d) != 4) return false;
  WFormatTo(ip, 20, TEXT("%d.%d.%d.%d"), a, b, c, d);
  if (tcpPort) *tcpPort = answer.dwPortNumber;
  return true;
}

bool SpoolerPortMonitor(const WCHAR* port, WString* monitor) {
  DWORD count = 0;
  std::vector<BYTE> buf = PortRecords(&count);
  auto* ports = reinterpret_cast<PORT_INFO_2W*>(buf.data());
  for (DWORD i = 0; i < count; ++i) {
    if (!WStrEqNoCase(ports[i].pPortName, port)) continue;
    if (monitor) *monitor = ports[i].pMonitorName ? ports[i].pMonitorName : TEXT("");
    return true;
  }
  return false;
}

WORD PortTypeFromMonitor(const WCHAR* port) {
  WString monitor;
  return SpoolerPortMonitor(port, &monitor) && WStrEqNoCase(monitor.c_str(), TEXT("Standard TCP/IP Port")) ? kPortTypeTcpIp
                                                                                                           : 0;
}
