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

// Opens the transceive object, sends one command and closes it; true when XcvDataW returned true (the
// status word is not examined).
bool SendXcv(const WCHAR* object, const WCHAR* command, void* in, DWORD cbIn, void* out, DWORD cbOut,
             DWORD* status) {
  PRINTER_DEFAULTSW defaults{nullptr, nullptr, SERVER_ACCESS_ADMINISTER};
  HANDLE h = nullptr;
  if (!OpenPrinterW(const_cast<LPWSTR>(object), &h, &defaults) || !h) {
    DebugTrace("OpenPrinter %ws failed, errcode:%d.", object, GetLastError());
    return false;
  }
  DWORD needed = 0, st = 0;
  BOOL ok = XcvDataW(h, command, static_cast<PBYTE>(in), cbIn, static_cast<PBYTE>(out), cbOut, &needed, &st);
  ClosePrinter(h);
  if (status) *status = st;
  return ok != FALSE;
}

bool SendPortData(const Engine& e, const WCHAR* command, const WCHAR* logFmt, const WCHAR* port, const WCHAR* ip,
                  DWORD tcpPort) {
  if (!ip || !ip[0] || tcpPort == 0) return false;
  Log(e, logFmt, port, ip);
  PORT_DATA_1 data;
  std::memset(&data, 0, sizeof data);
  WStrCopy(data.sztPortName, MAX_PORTNAME_LEN, port);
  data.dwVersion = 1;
  data.dwProtocol = PROTOCOL_RAWTCP_TYPE;
  WStrCopy(data.sztHostAddress, MAX_NETWORKNAME_LEN, ip);
  data.dwPortNumber = tcpPort;
  BYTE out[260];
  bool ok = SendXcv(TEXT(",XcvMonitor Standard TCP/IP Port"), command, &data, sizeof data, out, sizeof out, nullptr);
  Log(e, InstallerString(ok ? IDS_OK : IDS_FAILED));
  return ok;
}

}  // namespace

bool AddTcpIpPort(const Engine& e, const WCHAR* port, const WCHAR* ip, DWORD tcpPort) {
  return SendPortData(e, TEXT("AddPort"), TEXT("Add port: %ws, %ws ..."), port, ip, tcpPort);
}

bool ConfigTcpIpPort(const Engine& e, const WCHAR* port, const WCHAR* ip, DWORD tcpPort) {
  return SendPortData(e, TEXT("ConfigPort"), TEXT("Update port: %ws, %ws ..."), port, ip, tcpPort);
}

void DeleteTcpIpPort(const Engine& e, const InstallRecord* records, size_t count) {
  for (size_t i = 0; i < count; ++i) {
    if (records[i].portType != kPortTypeTcpIp) continue;
    Log(e, TEXT("Remove port: %ws ..."), records[i].portName);
    DELETE_PORT_DATA_1 data;
    std::memset(&data, 0, sizeof data);
    WStrCopy(data.psztPortName, MAX_PORTNAME_LEN, records[i].portName);
    data.dwVersion = 1;
    BYTE out[260];
    bool ok = SendXcv(TEXT(",XcvMonitor Standard TCP/IP Port"), TEXT("DeletePort"), &data, sizeof data, out,
                      sizeof out, nullptr);
    Log(e, InstallerString(ok ? IDS_OK : IDS_FAILED));
  }
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
  DWORD status = 0;
  if (!SendXcv(object, TEXT("GetConfigInfo"), &config, sizeof config, &answer, sizeof answer, &status)) return false;
  if (status != ERROR_SUCCESS) return false;  // the answer was not filled
  WStrTerminate(answer.sztHostAddress, MAX_NETWORKNAME_LEN);
  const std::string host = WideToAnsi(answer.sztHostAddress);
  int a, b, c, d;
  if (std::sscanf(host.c_str(), "%d.%d.%d.%d", &a, &b, &c, &d) != 4) return false;
  WFormatTo(ip, 20, TEXT("%d.%d.%d.%d"), a, b, c, d);
  if (tcpPort) *tcpPort = answer.dwPortNumber;
  return true;
}

WORD PortTypeFromMonitor(const WCHAR* port) {
  DWORD count = 0;
  std::vector<BYTE> buf = PortRecords(&count);
  auto* ports = reinterpret_cast<PORT_INFO_2W*>(buf.data());
  for (DWORD i = 0; i < count; ++i) {
    if (!WStrEqNoCase(ports[i].pPortName, port)) continue;
    if (WStrEqNoCase(ports[i].pMonitorName, TEXT("Standard TCP/IP Port"))) return kPortTypeTcpIp;
    return 0;
  }
  return 0;
}
