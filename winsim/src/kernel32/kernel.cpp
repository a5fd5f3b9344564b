// Kernel basics: last error, local memory, handle table, debug output, clock, thread and process ids.
#include <sys/syscall.h>
#include <time.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <thread>
#include <unordered_map>
#include <vector>

#include <algorithm>
#include <mutex>

#include "internal.h"
#include "winsim/clock.h"

namespace winsim::detail {

std::recursive_mutex& Mutex() {
  static auto* m = new std::recursive_mutex;  // never destroyed: threads may outlive static destructors
  return *m;
}

namespace {
struct HandleTable {
  std::unordered_map<uintptr_t, std::shared_ptr<Object>> objects;
  uintptr_t next = 0x1000;  // multiples of 4 like Windows handles; never reused, so stale handles stay invalid
};
HandleTable& Handles() { return Lasting<HandleTable>(); }
}  // namespace

HANDLE NewHandle(std::shared_ptr<Object> obj) {
  Guard g(Mutex());
  auto& t = Handles();
  uintptr_t v = t.next;
  t.next += 4;
  t.objects.emplace(v, std::move(obj));
  return reinterpret_cast<HANDLE>(v);
}

std::shared_ptr<Object> FindHandle(HANDLE h) {
  Guard g(Mutex());
  auto& t = Handles();
  auto it = t.objects.find(reinterpret_cast<uintptr_t>(h));
  return it == t.objects.end() ? nullptr : it->second;
}

std::shared_ptr<Object> TakeHandle(HANDLE h, bool (*match)(const Object*)) {
  Guard g(Mutex());
  auto& t = Handles();
  auto it = t.objects.find(reinterpret_cast<uintptr_t>(h));
  if (it == t.objects.end() || !match(it->second.get())) return nullptr;
  auto obj = std::move(it->second);
  t.objects.erase(it);
  return obj;
}

void ClearHandles() {
  Guard g(Mutex());
  Handles().objects.clear();
}

// ---- strings -------------------------------------------------------------------
std::string ToUtf8(std::u16string_view s) {
  std::string out;
  out.reserve(s.size());
  for (size_t i = 0; i < s.size(); ++i) {
    uint32_t c = s[i];
    if (c >= 0xD800 && c <= 0xDBFF && i + 1 < s.size() && s[i + 1] >= 0xDC00 && s[i + 1] <= 0xDFFF) {
      c = 0x10000 + ((c - 0xD800) << 10) + (s[++i] - 0xDC00);
    } else if (c >= 0xD800 && c <= 0xDFFF) {
      c = 0xFFFD;
    }
    if (c < 0x80) {
      out += char(c);
    } else if (c < 0x800) {
      out += char(0xC0 | (c >> 6));
      out += char(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
      out += char(0xE0 | (c >> 12));
      out += char(0x80 | ((c >> 6) & 0x3F));
      out += char(0x80 | (c & 0x3F));
    } else {
      out += char(0xF0 | (c >> 18));
      out += char(0x80 | ((c >> 12) & 0x3F));
      out += char(0x80 | ((c >> 6) & 0x3F));
      out += char(0x80 | (c & 0x3F));
    }
  }
  return out;
}

std::u16string FromUtf8(std::string_view s) {
  int n = MultiByteToWideChar(CP_UTF8, 0, s.data(), int(s.size()), nullptr, 0);
  std::u16string out(size_t(n > 0 ? n : 0), u'\0');
  if (n > 0) MultiByteToWideChar(CP_UTF8, 0, s.data(), int(s.size()), out.data(), n);
  return out;
}

std::u16string FromAcp(const char* s) {
  if (!s || !*s) return {};
  int len = int(strlen(s));
  std::u16string out(size_t(len), u'\0');  // 1252 is single-byte: one wide char per byte
  MultiByteToWideChar(CP_ACP, 0, s, len, out.data(), len);
  return out;
}

std::u16string Wide(LPCWSTR s) {
  return s ? std::u16string(s) : std::u16string();
}

char16_t FoldAscii(char16_t c) {
  return (c >= u'a' && c <= u'z') ? char16_t(c - 32) : c;
}

std::u16string Upper(std::u16string_view s) {
  std::u16string out(s);
  for (auto& c : out) c = FoldAscii(c);
  return out;
}

bool IEquals(std::u16string_view a, std::u16string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i)
    if (FoldAscii(a[i]) != FoldAscii(b[i])) return false;
  return true;
}

std::vector<std::u16string_view> PortNames(std::u16string_view list) {
  std::vector<std::u16string_view> out;
  for (size_t start = 0;;) {
    const size_t comma = list.find(u',', start);
    out.push_back(list.substr(start, comma == std::u16string_view::npos ? comma : comma - start));
    if (comma == std::u16string_view::npos) return out;
    start = comma + 1;
  }
}

// ---- debug capture -------------------------------------------------------------
namespace {
std::vector<std::string>& DebugStore() {
  static auto* v = new std::vector<std::string>;
  return *v;
}

void CaptureDebug(std::string line) {
  static const bool echo = [] {
    const char* e = getenv("WINSIM_DEBUG");
    return e && *e;
  }();
  Guard g(Mutex());
  if (echo) {
    fputs(line.c_str(), stderr);
    if (line.empty() || line.back() != '\n') fputc('\n', stderr);
  }
  DebugStore().push_back(std::move(line));
}

// ---- clock ---------------------------------------------------------------------
struct Clock {
  bool set = false;
  int64_t setMs = 0;  // local time at the moment it was set, in ms since 1970-01-01 (as if UTC)
  std::chrono::steady_clock::time_point setAt;
} g_clock;

// Days since 1970-01-01 of a civil date, and back (proleptic Gregorian).
int64_t DaysFromCivil(int64_t y, unsigned m, unsigned d) {
  y -= m <= 2;
  const int64_t era = (y >= 0 ? y : y - 399) / 400;
  const unsigned yoe = unsigned(y - era * 400);
  const unsigned doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
  const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  return era * 146097 + int64_t(doe) - 719468;
}

void CivilFromDays(int64_t z, int64_t* y, unsigned* m, unsigned* d) {
  z += 719468;
  const int64_t era = (z >= 0 ? z : z - 146096) / 146097;
  const unsigned doe = unsigned(z - era * 146097);
  const unsigned yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
  const unsigned doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
  const unsigned mp = (5 * doy + 2) / 153;
  *d = doy - (153 * mp + 2) / 5 + 1;
  *m = mp < 10 ? mp + 3 : mp - 9;
  *y = int64_t(yoe) + era * 400 + (*m <= 2);
}
}  // namespace

void ResetDebug() {
  DebugStore().clear();
}

void ResetClock() {
  g_clock = Clock{};
}

namespace {
struct Registered {
  void (*reset)();
  ResetRegistrar::Phase phase;
};
std::vector<Registered>& ResetParts() {
  static auto* parts = new std::vector<Registered>;  // filled during static initialisation
  return *parts;
}
const ResetRegistrar kResetDebug(ResetDebug);
const ResetRegistrar kResetClock(ResetClock);

// What loaded code registered with winsim::AtReset; its own lock, as modules come and go on any thread.
struct Forgetters {
  std::mutex m;
  int next = 1;
  std::vector<std::pair<int, void (*)()>> list;
};
Forgetters& F() {
  static auto* f = new Forgetters;
  return *f;
}
void RunForgetters() {
  std::vector<std::pair<int, void (*)()>> list;
  {
    std::lock_guard<std::mutex> l(F().m);
    list = F().list;
  }
  for (const auto& entry : list) entry.second();
}
const ResetRegistrar kRunForgetters(RunForgetters, ResetRegistrar::kBeforeLock);
}  // namespace

ResetRegistrar::ResetRegistrar(void (*reset)(), Phase phase) { ResetParts().push_back({reset, phase}); }

void RunResets(ResetRegistrar::Phase phase) {
  for (const Registered& r : ResetParts())
    if (r.phase == phase) r.reset();
}

}  // namespace winsim::detail

using namespace winsim::detail;

namespace winsim {
std::vector<std::string> DebugLines() {
  Guard g(Mutex());
  return DebugStore();
}

void ClearDebugLines() {
  Guard g(Mutex());
  DebugStore().clear();
}

void SetLocalTime(const SYSTEMTIME& st) {
  Guard g(Mutex());
  int64_t days = DaysFromCivil(st.wYear, st.wMonth, st.wDay);
  g_clock.set = true;
  g_clock.setMs = ((days * 24 + st.wHour) * 60 + st.wMinute) * 60000 + int64_t(st.wSecond) * 1000 + st.wMilliseconds;
  g_clock.setAt = std::chrono::steady_clock::now();
}

int AtReset(void (*forget)()) {
  std::lock_guard<std::mutex> l(F().m);
  F().list.emplace_back(F().next, forget);
  return F().next++;
}

void CancelAtReset(int registration) {
  std::lock_guard<std::mutex> l(F().m);
  auto& list = F().list;
  list.erase(std::remove_if(list.begin(), list.end(), [&](const auto& e) { return e.first == registration; }),
             list.end());
}

void Reset() {
  detail::RunResets(detail::ResetRegistrar::kBeforeLock);
  Guard g(Mutex());
  ClearHandles();
  detail::RunResets(detail::ResetRegistrar::kLocked);
}
}  // namespace winsim

// ---- Win32 ---------------------------------------------------------------------
namespace {
thread_local DWORD t_lastError = 0;

// Allocation faults are per thread: a test that fails its own job's allocations leaves the
// threads of the monitor and other printers alone.
struct AllocationFault {
  unsigned count = 0;   // LocalAlloc calls since the fault was set
  unsigned failAt = 0;  // 1-based; 0: no fault
  bool andAfter = false;
};
thread_local AllocationFault t_allocFault;

bool AllocationFails() {
  AllocationFault& f = t_allocFault;
  ++f.count;
  if (f.failAt == 0) return false;
  return f.count == f.failAt || (f.andAfter && f.count > f.failAt);
}
}  // namespace

namespace winsim {
void SetAllocationFault(unsigned failAt, bool andAfter) { t_allocFault = AllocationFault{0, failAt, andAfter}; }
unsigned AllocationCount() { return t_allocFault.count; }
}  // namespace winsim

extern "C" {

DWORD WINAPI GetLastError(void) {
  return t_lastError;
}

void WINAPI SetLastError(DWORD dwErrCode) {
  t_lastError = dwErrCode;
}

HLOCAL WINAPI LocalAlloc(UINT uFlags, SIZE_T uBytes) {
  // Only fixed memory is simulated: the handle is the pointer, as with LMEM_FIXED on Windows.
  if (AllocationFails()) {
    SetLastError(ERROR_NOT_ENOUGH_MEMORY);
    return nullptr;
  }
  void* p = (uFlags & LMEM_ZEROINIT) ? calloc(1, uBytes ? uBytes : 1) : malloc(uBytes ? uBytes : 1);
  if (!p) SetLastError(ERROR_NOT_ENOUGH_MEMORY);
  return p;
}

HLOCAL WINAPI LocalFree(HLOCAL hMem) {
  free(hMem);
  return nullptr;
}

void WINAPI OutputDebugStringW(LPCWSTR lpOutputString) {
  if (lpOutputString) CaptureDebug(ToUtf8(lpOutputString));
}

void WINAPI OutputDebugStringA(LPCSTR lpOutputString) {
  if (lpOutputString) CaptureDebug(ToUtf8(FromAcp(lpOutputString)));
}

void WINAPI GetLocalTime(LPSYSTEMTIME st) {
  if (!st) return;
  int64_t ms;
  {
    Guard g(Mutex());
    if (g_clock.set) {
      auto elapsed = std::chrono::steady_clock::now() - g_clock.setAt;
      ms = g_clock.setMs + std::chrono::duration_cast<std::chrono::milliseconds>(elapsed).count();
    } else {
      timespec ts;
      clock_gettime(CLOCK_REALTIME, &ts);
      tm lt;
      time_t secs = ts.tv_sec;
      localtime_r(&secs, &lt);
      ms = (int64_t(secs) + lt.tm_gmtoff) * 1000 + ts.tv_nsec / 1000000;
    }
  }
  int64_t days = ms >= 0 ? ms / 86400000 : (ms - 86399999) / 86400000;
  int64_t inDay = ms - days * 86400000;
  int64_t y;
  unsigned m, d;
  CivilFromDays(days, &y, &m, &d);
  st->wYear = WORD(y);
  st->wMonth = WORD(m);
  st->wDay = WORD(d);
  st->wDayOfWeek = WORD(((days % 7) + 11) % 7);  // 1970-01-01 was a Thursday (4)
  st->wHour = WORD(inDay / 3600000);
  st->wMinute = WORD(inDay / 60000 % 60);
  st->wSecond = WORD(inDay / 1000 % 60);
  st->wMilliseconds = WORD(inDay % 1000);
}

DWORD WINAPI GetTickCount(void) {
  return DWORD(TickNow());
}

ULONGLONG WINAPI GetTickCount64(void) {
  return TickNow();
}

void WINAPI Sleep(DWORD dwMilliseconds) {
  if (dwMilliseconds != INFINITE && dwMilliseconds != 0 && winsim::VirtualClockInUse()) {
    VirtualWait(dwMilliseconds, nullptr);
  } else if (dwMilliseconds == 0) {
    std::this_thread::yield();
  } else if (dwMilliseconds == INFINITE) {
    for (;;) std::this_thread::sleep_for(std::chrono::hours(24));
  } else {
    std::this_thread::sleep_for(std::chrono::milliseconds(dwMilliseconds));
  }
}

DWORD WINAPI GetCurrentThreadId(void) {
  return DWORD(syscall(SYS_gettid));
}

DWORD WINAPI GetCurrentProcessId(void) {
  return DWORD(getpid());
}

}  // extern "C"
