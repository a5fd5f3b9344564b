// The language monitor under Wine: InitializePrintMonitor2 with a MONITORINIT, a TSPL and a TWL job through
// the MONITOR2 table it returns, on top of a port monitor table that records what it is sent and answers
// the vendor requests as a TWL printer does. The delivery thread, critical sections and page files are
// Wine's own. Before that lblmon is registered through AddMonitorW, which loads it.
#include <windows.h>
#include <winspool.h>
#include <winsplp.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <map>
#include <string>
#include <vector>

#include "check.h"
#include "engine.h"

namespace winecheck {
namespace {

constexpr DWORD kIoctlQueryDeviceId = 0x16000C;
constexpr DWORD kIoctlVendorGet = 0x22003C;
constexpr DWORD kIoctlVendorSet = 0x220038;
constexpr size_t kMonitor2Size = sizeof(void*) == 8 ? 184 : 92;  // through pfnPowerEvent

// One port of the recording port monitor. Port "USB002" is a TWL printer, any other a TSPL one.
struct FakePort {
  std::wstring name;
  bool twl = false;
  std::vector<std::vector<uint8_t>> writes;
  int starts = 0, ends = 0, closes = 0, statusQueries = 0;
  // As the system's port monitors: writes only inside a document, one document at a time.
  bool inDocument = false;
  int outsideWrites = 0, nestedStarts = 0;
  uint32_t pageCounter = 0;
  uint16_t recent[8] = {};
  std::vector<uint16_t> printed;
};

CRITICAL_SECTION g_lock;  // the monitor's threads and the check's share the recorded state
std::vector<FakePort*> g_ports;
std::vector<std::pair<DWORD, DWORD>> g_setJob;  // (job id, command) of lblmon's SetJobW calls

struct Lock {
  Lock() { EnterCriticalSection(&g_lock); }
  ~Lock() { LeaveCriticalSection(&g_lock); }
};

BOOL WINAPI PmOpenPort(HANDLE, LPWSTR name, PHANDLE handle) {
  Lock g;
  auto* p = new FakePort;
  p->name = name ? name : TEXT("");
  p->twl = p->name == TEXT("USB002");
  g_ports.push_back(p);
  *handle = p;
  return TRUE;
}

BOOL WINAPI PmStartDocPort(HANDLE h, LPWSTR, DWORD, DWORD, LPBYTE) {
  Lock g;
  auto* p = static_cast<FakePort*>(h);
  if (p->inDocument) {
    ++p->nestedStarts;
    SetLastError(ERROR_BUSY);
    return FALSE;
  }
  ++p->starts;
  p->inDocument = true;
  return TRUE;
}

// A TWL page block: "SIZ", then the page number little-endian at bytes 12-13. The printer prints it
// and reports it among the recent pages.
BOOL WINAPI PmWritePort(HANDLE h, LPBYTE data, DWORD size, LPDWORD written) {
  Lock g;
  auto* p = static_cast<FakePort*>(h);
  if (!p->inDocument) {
    ++p->outsideWrites;
    *written = 0;
    SetLastError(ERROR_INVALID_HANDLE);
    return FALSE;
  }
  p->writes.emplace_back(data, data + size);
  if (p->twl && size >= 22 && std::memcmp(data, "SIZ", 3) == 0) {
    const uint16_t number = static_cast<uint16_t>(data[12] | (data[13] << 8));
    p->printed.push_back(number);
    p->pageCounter = number;
    std::memmove(p->recent + 1, p->recent, sizeof p->recent - sizeof p->recent[0]);
    p->recent[0] = number;
  }
  *written = size;
  return TRUE;
}

BOOL WINAPI PmReadPort(HANDLE, LPBYTE, DWORD, LPDWORD read) {
  *read = 0;
  return TRUE;
}

BOOL WINAPI PmEndDocPort(HANDLE h) {
  Lock g;
  auto* p = static_cast<FakePort*>(h);
  ++p->ends;
  p->inDocument = false;
  return TRUE;
}

BOOL WINAPI PmClosePort(HANDLE h) {
  Lock g;
  ++static_cast<FakePort*>(h)->closes;
  return TRUE;
}

BOOL Reply(const void* data, DWORD size, LPWSTR out, DWORD cbOut, LPDWORD returned) {
  if (!out || cbOut < size) {
    SetLastError(ERROR_INSUFFICIENT_BUFFER);
    return FALSE;
  }
  std::memcpy(out, data, size);
  *returned = size;
  return TRUE;
}

BOOL WINAPI PmGetPrinterDataFromPort(HANDLE h, DWORD control, LPWSTR, LPWSTR in, DWORD cbIn, LPWSTR out, DWORD cbOut,
                                     LPDWORD returned) {
  Lock g;
  auto* p = static_cast<FakePort*>(h);
  if (control == kIoctlQueryDeviceId) {
    const char* id = p->twl ? "MFG:Tarnwell;CMD:TWL;MDL:TW-QX;" : "MFG:Tarnwell;CMD:TSPL;MDL:TW-QX;";
    return Reply(id, DWORD(std::strlen(id)), out, cbOut, returned);
  }
  const BYTE request = in && cbIn ? *reinterpret_cast<const BYTE*>(in) : 0;
  if (control == kIoctlVendorGet && request == 1) {
    // Two hexadecimal digits of status, six decimal digits of page counter, eight recent pages high byte first.
    ++p->statusQueries;
    char reply[24] = {};
    char text[9];
    std::snprintf(text, sizeof text, "%02X%06u", 0u, static_cast<unsigned>(p->pageCounter % 1000000));
    std::memcpy(reply, text, 8);
    for (int i = 0; i < 8; ++i) {
      reply[8 + 2 * i] = static_cast<char>(p->recent[i] >> 8);
      reply[9 + 2 * i] = static_cast<char>(p->recent[i] & 0xFF);
    }
    return Reply(reply, sizeof reply, out, cbOut, returned);
  }
  if (control == kIoctlVendorGet && request == 2) return Reply("V1.00 Wine", 11, out, cbOut, returned);
  if (control == kIoctlVendorSet) {
    *returned = 0;
    return TRUE;
  }
  SetLastError(ERROR_NOT_SUPPORTED);
  return FALSE;
}

BOOL WINAPI RecordSetJobW(HANDLE, DWORD jobId, DWORD, LPBYTE, DWORD command) {
  Lock g;
  g_setJob.emplace_back(jobId, command);
  return TRUE;
}
static_assert(std::is_same_v<decltype(&RecordSetJobW), decltype(&SetJobW)>);

LONG WINAPI RegNotFound(HANDLE, LPCWSTR, PDWORD, PBYTE, PDWORD, HANDLE) { return ERROR_FILE_NOT_FOUND; }

MONITOR2 PortMonitorTable() {
  return {.cbSize = sizeof(MONITOR2), .pfnOpenPort = PmOpenPort, .pfnStartDocPort = PmStartDocPort,
          .pfnWritePort = PmWritePort, .pfnReadPort = PmReadPort, .pfnEndDocPort = PmEndDocPort,
          .pfnClosePort = PmClosePort, .pfnGetPrinterDataFromPort = PmGetPrinterDataFromPort};
}

std::vector<std::string> PageFilesIn(const std::string& dir) {
  std::vector<std::string> names;
  WIN32_FIND_DATAA found;
  HANDLE find = FindFirstFileA((dir + "\\page_*.dat").c_str(), &found);
  if (find == INVALID_HANDLE_VALUE) return names;
  do names.emplace_back(found.cFileName);
  while (FindNextFileA(find, &found));
  FindClose(find);
  std::sort(names.begin(), names.end());
  return names;
}

bool ReadJobId(const std::string& dir, DWORD* jobId) {
  std::vector<uint8_t> text;
  if (!ReadBytes(dir + "\\job.txt", &text)) return false;
  text.push_back(0);
  const char* at = std::strstr(reinterpret_cast<const char*>(text.data()), "jobid ");
  return at && (*jobId = std::strtoul(at + 6, nullptr, 10)) != 0;
}

// Lines of the monitor's log files in c:\prtmonlog that contain `text`.
int LogCount(const char* text) {
  int count = 0;
  WIN32_FIND_DATAA found;
  HANDLE find = FindFirstFileA("c:\\prtmonlog\\mon_*.log", &found);
  if (find == INVALID_HANDLE_VALUE) return 0;
  do {
    std::vector<uint8_t> log;
    ReadBytes(std::string("c:\\prtmonlog\\") + found.cFileName, &log);
    const std::string all(log.begin(), log.end());
    for (size_t at = all.find(text); at != std::string::npos; at = all.find(text, at + 1)) ++count;
  } while (FindNextFileA(find, &found));
  FindClose(find);
  return count;
}

struct Job {
  LPMONITOR2 mon;
  HANDLE hMonitor;
  std::wstring printer;
};

// One document through the monitor's table: open, start, the writes, end. The port stays open.
bool RunDocument(const Job& job, const WCHAR* port, DWORD jobId, const std::vector<std::vector<uint8_t>>& writes,
                 HANDLE* hPort, MONITOR2* pm) {
  std::wstring portName = port, printer = job.printer;
  if (!job.mon->pfnOpenPortEx(job.hMonitor, nullptr, portName.data(), printer.data(), hPort, pm))
    return Fail("MonOpenPortEx", Narrow(port));
  WCHAR doc[] = TEXT("Wine monitor check");
  DOC_INFO_1W di{doc, nullptr, nullptr};
  if (!job.mon->pfnStartDocPort(*hPort, printer.data(), jobId, 1, reinterpret_cast<LPBYTE>(&di)))
    return Fail("MonStartDocPort", Narrow(port));
  for (const auto& w : writes) {
    DWORD written = 0;
    std::vector<uint8_t> copy = w;
    if (!job.mon->pfnWritePort(*hPort, copy.data(), DWORD(copy.size()), &written) || written != copy.size())
      return Fail("MonWritePort", Narrow(port) + ": " + std::to_string(written) + " of " + std::to_string(copy.size()));
  }
  if (!job.mon->pfnEndDocPort(*hPort)) return Fail("MonEndDocPort", Narrow(port));
  return true;
}

}  // namespace

int MonitorJobs(const std::string& driver, const std::string& monitorDll, const std::string& tsplJobDir,
                const std::string& twlJobDir, const std::string& outDir) {
  InitializeCriticalSection(&g_lock);
  CreateDirectoryA(outDir.c_str(), nullptr);
  WCHAR sys[MAX_PATH];
  GetSystemDirectoryW(sys, MAX_PATH);
  const std::wstring installed = std::wstring(sys) + TEXT("\\lblmon.dll");
  if (!CopyFileW(Widen(monitorDll).c_str(), installed.c_str(), FALSE)) return Fail("copy lblmon.dll", Narrow(sys)), 1;
  // Registration through the spooler first: Wine's AddMonitorW loads the DLL and initialises it.
  const int attachedBefore = LogCount("DLL PROCESS ATTACHED");
  WCHAR monitorName[] = TEXT("Tarnwell Language Monitor V6"), dllName[] = TEXT("lblmon.dll");
  MONITOR_INFO_2W info{monitorName, nullptr, dllName};
  if (!AddMonitorW(nullptr, 2, reinterpret_cast<LPBYTE>(&info)) && GetLastError() != ERROR_PRINT_MONITOR_ALREADY_INSTALLED)
    return Fail("AddMonitorW", "Tarnwell Language Monitor V6"), 1;
  DWORD needed = 0, count = 0;
  EnumMonitorsW(nullptr, 1, nullptr, 0, &needed, &count);
  std::vector<BYTE> list(needed ? needed : 1);
  bool listed = false;
  if (EnumMonitorsW(nullptr, 1, list.data(), needed, &needed, &count)) {
    const auto* m = reinterpret_cast<MONITOR_INFO_1W*>(list.data());
    for (DWORD i = 0; i < count; ++i) listed = listed || lstrcmpW(m[i].pName, monitorName) == 0;
  }
  if (!listed) return Fail("EnumMonitorsW", "the monitor is not listed after AddMonitorW", false), 1;
  // Wine's spooler loads the DLL in the calling process and lets it go again; its load message stays.
  if (LogCount("DLL PROCESS ATTACHED") <= attachedBefore)
    return Fail("AddMonitorW", "lblmon.dll logged no load", false), 1;
  Ok("AddMonitorW: lblmon.dll loaded by the spooler and listed by EnumMonitorsW");
  HMODULE module = LoadLibraryW(installed.c_str());
  if (!module) return Fail("LoadLibraryW", "lblmon.dll"), 1;
  // lblmon takes the spooler calls from spoolss.dll, as a monitor in the spooler process does; Wine's
  // spoolss.dll has them only as stubs that abort, so the check hands it winspool.drv's. Ending a job
  // goes to the spooler's job list, which Wine keeps per process: the check records those calls.
  HMODULE winspool = GetModuleHandleA("winspool.drv");
  for (const char* name : {"OpenPrinterW", "ClosePrinter", "GetJobW"}) {
    FARPROC fn = winspool ? GetProcAddress(winspool, name) : nullptr;
    if (!fn || PatchImport(module, name, reinterpret_cast<void*>(fn)) != 1)
      return Fail("patch lblmon's imports", std::string(name) + " is not imported once or not in winspool.drv", false), 1;
  }
  if (PatchImport(module, "SetJobW", reinterpret_cast<void*>(&RecordSetJobW)) != 1)
    return Fail("patch lblmon's imports", "SetJobW is not imported once", false), 1;
  auto init = reinterpret_cast<decltype(&InitializePrintMonitor2)>(
      reinterpret_cast<void*>(GetProcAddress(module, "InitializePrintMonitor2")));
  if (!init) return Fail("GetProcAddress", "InitializePrintMonitor2"), 1;

  HKEY root = nullptr;
  RegCreateKeyExW(HKEY_CURRENT_USER, TEXT("Software\\LblWineCheck\\Monitor"), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr,
                  &root, nullptr);
  MONITORREG reg{};
  reg.cbSize = sizeof reg;
  reg.fpQueryValue = RegNotFound;
  MONITORINIT mi{};
  mi.cbSize = sizeof mi;
  mi.hSpooler = reinterpret_cast<HANDLE>(root);
  mi.hckRegistryRoot = reinterpret_cast<HKEYMONITOR>(root);
  mi.pMonitorReg = &reg;
  mi.bLocal = TRUE;
  HANDLE hMonitor = nullptr;
  LPMONITOR2 mon = init(&mi, &hMonitor);
  if (!mon) return Fail("InitializePrintMonitor2", ""), 1;
  if (mon->cbSize != kMonitor2Size || !mon->pfnOpenPortEx || !mon->pfnStartDocPort || !mon->pfnWritePort ||
      !mon->pfnEndDocPort || !mon->pfnClosePort || !mon->pfnGetPrinterDataFromPort || !mon->pfnSendRecvBidiDataFromPort)
    return Fail("InitializePrintMonitor2", "MONITOR2 of " + std::to_string(mon->cbSize) + " bytes or an entry missing",
                false),
           1;
  Ok("InitializePrintMonitor2: MONITOR2 of " + std::to_string(mon->cbSize) + " bytes");
  MONITOR2 pm = PortMonitorTable();
  Job job{mon, hMonitor, Widen(driver)};

  // TSPL: a job the rendering DLL made under Wine passes through unchanged, write by write.
  std::vector<uint8_t> tsplBytes;
  if (!ReadBytes(tsplJobDir + "\\output.bin", &tsplBytes) || tsplBytes.empty())
    return Fail("TSPL job", "no output.bin in " + tsplJobDir, false), 1;
  std::vector<std::vector<uint8_t>> tspl;
  for (size_t i = 0; i < tsplBytes.size(); i += 0x10000)
    tspl.emplace_back(tsplBytes.begin() + i, tsplBytes.begin() + std::min(tsplBytes.size(), i + 0x10000));
  HANDLE tsplPort = nullptr;
  if (!RunDocument(job, TEXT("USB001"), 41, tspl, &tsplPort, &pm)) return 1;
  if (!mon->pfnClosePort(tsplPort)) return Fail("MonClosePort", "USB001"), 1;
  {
    Lock g;
    FakePort* p = g_ports.empty() ? nullptr : g_ports[0];
    if (!p || p->writes != tspl || p->starts != 1 || p->ends != 1 || p->closes != 1)
      return Fail("TSPL job", "the port monitor got " + std::to_string(p ? p->writes.size() : 0) + " writes (expected " +
                                  std::to_string(tspl.size()) + " unchanged), starts/ends/closes " +
                                  (p ? std::to_string(p->starts) + "/" + std::to_string(p->ends) + "/" +
                                           std::to_string(p->closes)
                                     : std::string("-")),
                  false),
             1;
  }
  Ok("TSPL job on USB001: " + std::to_string(tsplBytes.size()) + " bytes in " + std::to_string(tspl.size()) +
     " writes passed through unchanged");

  // TWL: the page files the rendering DLL wrote under Wine, delivered by the monitor's thread.
  DWORD jobId = 0;
  if (!ReadJobId(twlJobDir, &jobId)) return Fail("TWL job", "no job id in " + twlJobDir, false), 1;
  const std::vector<std::string> files = PageFilesIn(twlJobDir + "\\pages");
  if (files.empty()) return Fail("TWL job", "no page files in " + twlJobDir, false), 1;
  // The monitor made its page folder when it was loaded.
  if (GetFileAttributesA("c:\\prtmonlog\\pages") == INVALID_FILE_ATTRIBUTES)
    return Fail("TWL job", "the monitor did not make c:\\prtmonlog\\pages", false), 1;
  std::vector<std::vector<uint8_t>> pages;
  for (const std::string& f : files) {
    pages.emplace_back();
    ReadBytes(twlJobDir + "\\pages\\" + f, &pages.back());
    if (!CopyFileA((twlJobDir + "\\pages\\" + f).c_str(), ("c:\\prtmonlog\\pages\\" + f).c_str(), FALSE))
      return Fail("copy page file", f), 1;
  }
  std::vector<uint8_t> markers;
  ReadBytes(twlJobDir + "\\output.bin", &markers);
  std::vector<std::vector<uint8_t>> markerWrites;
  for (size_t i = 0; i < markers.size(); i += 8)
    markerWrites.emplace_back(markers.begin() + i, markers.begin() + std::min(markers.size(), i + 8));
  HANDLE twlPort = nullptr;
  if (!RunDocument(job, TEXT("USB002"), jobId, markerWrites, &twlPort, &pm)) return 1;

  bool ended = false;
  for (int wait = 0; wait < 300 && !ended; ++wait) {
    Sleep(100);
    Lock g;
    for (const auto& [id, command] : g_setJob) ended = ended || (id == jobId && command == JOB_CONTROL_LAST_PAGE_EJECTED);
  }
  if (!mon->pfnClosePort(twlPort)) return Fail("MonClosePort", "USB002"), 1;
  const std::vector<std::string> left = PageFilesIn("c:\\prtmonlog\\pages");
  {
    Lock g;
    FakePort* p = g_ports.size() > 1 ? g_ports[1] : nullptr;
    if (!p) return Fail("TWL job", "USB002 was never opened on the port monitor", false), 1;
    // Every page file went out whole in one write, and nothing else did (the order is the listing's).
    std::vector<bool> matched(p->writes.size(), false);
    bool sent = p->writes.size() == pages.size();
    for (const auto& page : pages) {
      size_t i = 0;
      while (i < p->writes.size() && (matched[i] || p->writes[i] != page)) ++i;
      if (i == p->writes.size()) sent = false;
      else matched[i] = true;
    }
    std::printf("     TWL job %lu: %zu page files, %zu writes, %zu pages printed, %d status queries, ended %s, %zu files left\n",
                static_cast<unsigned long>(jobId), pages.size(), p->writes.size(), p->printed.size(), p->statusQueries,
                ended ? "yes" : "no", left.size());
    if (!sent) return Fail("TWL job", "the port monitor did not get exactly the page files", false), 1;
    if (!ended) return Fail("TWL job", "no SetJobW(JOB_CONTROL_LAST_PAGE_EJECTED) for the job within 30 s", false), 1;
    if (!left.empty()) return Fail("TWL job", "page files left in c:\\prtmonlog\\pages: " + left[0], false), 1;
    if (p->closes != 1) return Fail("TWL job", "ClosePort not passed on once", false), 1;
    // The spooler's document, and one of the delivery's own for each page file it wrote.
    if (p->outsideWrites || p->nestedStarts || p->starts != 1 + int(pages.size()) || p->ends != p->starts)
      return Fail("TWL job", "port documents: " + std::to_string(p->starts) + " starts, " + std::to_string(p->ends) +
                                 " ends, " + std::to_string(p->outsideWrites) + " writes outside one, " +
                                 std::to_string(p->nestedStarts) + " starts inside one", false),
             1;
  }
  Ok("TWL job on USB002: page files delivered, pages acknowledged, job ended, files removed");
  mon->pfnShutdown(hMonitor);

  return 0;
}

}  // namespace winecheck
