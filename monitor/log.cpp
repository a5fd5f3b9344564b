// The monitor lock and the daily log file.
#include <cstdarg>
#include <new>
#include <string>

#include "common/service_folder.h"
#include "common/wstr.h"
#include "monitor/monitor.h"

namespace {

struct Locks {
  CRITICAL_SECTION monitor;
  CRITICAL_SECTION log;
  volatile LONG owner = 0;  // thread id holding `monitor`, 0 when free
  LONG depth = 0;           // recursion of `monitor`; touched by the owner only
  Locks() {
    InitializeCriticalSection(&monitor);
    InitializeCriticalSection(&log);
  }
};

// Built on first use, which the module's attach makes happen before any entry runs. Released only when
// the module is unloaded, not at process exit: a delivery thread may still log while the process ends.
Locks* g_locks = nullptr;

Locks& L() {
  static const bool built = (g_locks = new Locks, true);
  (void)built;
  return *g_locks;
}

LONG CurrentThread() { return static_cast<LONG>(GetCurrentThreadId()); }

int DaysFromCivil(int y, unsigned m, unsigned d) {
  y -= m <= 2;
  const int era = (y >= 0 ? y : y - 399) / 400;
  const unsigned yoe = static_cast<unsigned>(y - era * 400);
  const unsigned doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
  const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  return era * 146097 + static_cast<int>(doe) - 719468;
}

void CivilFromDays(int z, int* y, unsigned* m, unsigned* d) {
  z += 719468;
  const int era = (z >= 0 ? z : z - 146096) / 146097;
  const unsigned doe = static_cast<unsigned>(z - era * 146097);
  const unsigned yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
  const unsigned doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
  const unsigned mp = (5 * doy + 2) / 153;
  *d = doy - (153 * mp + 2) / 5 + 1;
  *m = mp < 10 ? mp + 3 : mp - 9;
  *y = static_cast<int>(yoe) + era * 400 + (*m <= 2);
}

// Wide text as the "chs" locale writes it (code page 936), with text-mode line ends. Falls back to the
// ANSI code page where 936 is not available.
std::string ToLogBytes(const WString& text) {
  WString crlf;
  crlf.reserve(text.size() + 8);
  for (WCHAR c : text) {
    if (c == '\n') crlf.push_back('\r');
    crlf.push_back(c);
  }
  std::string out;
  for (UINT cp : {936u, static_cast<UINT>(CP_ACP)}) {
    int n = WideCharToMultiByte(cp, 0, crlf.c_str(), static_cast<int>(crlf.size()), nullptr, 0, nullptr, nullptr);
    if (n <= 0) continue;
    out.resize(static_cast<size_t>(n));
    n = WideCharToMultiByte(cp, 0, crlf.c_str(), static_cast<int>(crlf.size()), &out[0], n, nullptr, nullptr);
    if (n > 0) {
      out.resize(static_cast<size_t>(n));
      return out;
    }
  }
  return WideToAnsi(crlf.c_str(), crlf.size());
}

void AppendToFile(const WCHAR* path, const std::string& bytes) {
  HANDLE h = CreateFileW(path, FILE_APPEND_DATA | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                         OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (h == INVALID_HANDLE_VALUE) return;  // this line is lost
  SetFilePointer(h, 0, nullptr, FILE_END);
  DWORD written = 0;
  WriteFile(h, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
  CloseHandle(h);
}

}  // namespace

// ---- lock ---------------------------------------------------------------------------------
void InitializeMonitorLock() { L(); }

void ReleaseMonitorLocks() {
  if (!g_locks) return;
  DeleteCriticalSection(&g_locks->monitor);
  DeleteCriticalSection(&g_locks->log);
  delete g_locks;
  g_locks = nullptr;
}

void EnterMonitorLock() {
  Locks& l = L();
  EnterCriticalSection(&l.monitor);
  if (l.depth++ == 0) InterlockedExchange(&l.owner, CurrentThread());
}

void LeaveMonitorLock() {
  Locks& l = L();
  if (!MonitorLockHeld()) {
    MonLog(TEXT("SplInSem: Not in spooler semaphore !!\n"));
    return;
  }
  if (--l.depth == 0) InterlockedExchange(&l.owner, 0);
  LeaveCriticalSection(&l.monitor);
}

bool MonitorLockHeld() {
  return InterlockedCompareExchange(&L().owner, 0, 0) == CurrentThread();
}

// ---- log ----------------------------------------------------------------------------------
void LogFileName(WORD year, WORD month, WORD day, WCHAR* out, size_t cap) {
  WFormatTo(out, cap, TEXT("%s\\mon_%d-%d-%d.log"), LBLMON_FOLDER, year, month, day);
}

void AddDays(WORD* year, WORD* month, WORD* day, int days) {
  int y;
  unsigned m, d;
  CivilFromDays(DaysFromCivil(*year, *month, *day) + days, &y, &m, &d);
  *year = static_cast<WORD>(y);
  *month = static_cast<WORD>(m);
  *day = static_cast<WORD>(d);
}

void MonLog(LPCWSTR fmt, ...) {
  const DWORD lastError = GetLastError();
  SYSTEMTIME now;
  GetLocalTime(&now);
  // Without memory for the line, the line is lost (as when the file cannot be opened); the caller goes on.
  // Everything that allocates happens here, before the log lock is taken.
  std::string bytes;
  WCHAR path[MAX_PATH];
  WCHAR old[MAX_PATH];
  va_list ap;
  va_start(ap, fmt);
  try {
    // Messages are cut at 1024 characters; a cut message still ends its line.
    WCHAR message[1025];
    if (WFormatToV(message, 1025, fmt, ap) < 0) message[1023] = '\n';
    WString line = WFormat(TEXT("%d-%d-%d %02d:%02d:%02d.%03d\t[%d]:%ws"), now.wYear, now.wMonth, now.wDay, now.wHour,
                           now.wMinute, now.wSecond, now.wMilliseconds, static_cast<int>(GetCurrentThreadId()), message);
    bytes = ToLogBytes(line);
    LogFileName(now.wYear, now.wMonth, now.wDay, path, MAX_PATH);
    // The log of three days ago goes; older ones were removed on their own day, or stay.
    WORD y = now.wYear, m = now.wMonth, d = now.wDay;
    AddDays(&y, &m, &d, -3);
    LogFileName(y, m, d, old, MAX_PATH);
  } catch (const std::bad_alloc&) {
    va_end(ap);
    SetLastError(lastError);
    return;
  }
  va_end(ap);

  Locks& l = L();
  EnterCriticalSection(&l.log);
  // A folder planted by someone else (or a junction elsewhere) gets neither the line nor the removal. A
  // folder made again (someone removed it while the spooler ran) gets its page folder too: the renderer,
  // running as the printing user, cannot make it.
  const bool existed = GetFileAttributesW(LBLMON_FOLDER) != INVALID_FILE_ATTRIBUTES;
  if (PrepareServiceFolder(LBLMON_FOLDER)) {
    if (!existed) PreparePageFolder();
    AppendToFile(path, bytes);
    DeleteFileW(old);
  }
  LeaveCriticalSection(&l.log);
  SetLastError(lastError);
}
