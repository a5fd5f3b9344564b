#include "throwing_new.h"

#include <execinfo.h>
#include <link.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <new>
#include <stdexcept>

namespace {

struct Fault {
  bool armed = false;
  bool paused = false;
  unsigned count = 0;
  unsigned failAt = 0;
  bool andAfter = false;
  bool fired = false;
  lbltest::NewFault kind = lbltest::NewFault::kBadAlloc;
};
thread_local Fault t_fault;
thread_local bool t_looking = false;  // backtrace and dladdr may allocate themselves

// Where libwinsim's code is, found once (asking the loader about each frame, as dladdr does, costs a
// search of the library's symbols every time).
struct CodeRange {
  uintptr_t begin, end;
};
CodeRange g_winsimCode[8];
int g_winsimRanges = 0;

int NoteWinsimCode(dl_phdr_info* info, size_t, void*) {
  if (!info->dlpi_name || !std::strstr(info->dlpi_name, "libwinsim")) return 0;
  for (int i = 0; i < info->dlpi_phnum && g_winsimRanges < 8; ++i) {
    const ElfW(Phdr)& ph = info->dlpi_phdr[i];
    if (ph.p_type == PT_LOAD && (ph.p_flags & PF_X))
      g_winsimCode[g_winsimRanges++] = {info->dlpi_addr + ph.p_vaddr, info->dlpi_addr + ph.p_vaddr + ph.p_memsz};
  }
  return 0;
}

bool InWinsim(const void* address) {
  const auto a = reinterpret_cast<uintptr_t>(address);
  for (int i = 0; i < g_winsimRanges; ++i)
    if (a >= g_winsimCode[i].begin && a < g_winsimCode[i].end) return true;
  return false;
}

// Whether the allocation is made by the simulated Windows (libwinsim), not by the code under test: its
// calls stand for system calls, which fail with an error code rather than throw. The C++ library's
// templates may run from the program's own copies, so any of the frames nearest the allocation in
// libwinsim decides (the calls under test are made straight from the tests, not from winsim).
__attribute__((noinline)) bool FromWinsim() {
  if (t_looking) return true;
  t_looking = true;
  void* frames[16];
  const int n = backtrace(frames, 16);
  bool winsim = false;
  for (int i = 4; i < n && !winsim; ++i) winsim = InWinsim(frames[i]);  // past FromWinsim, Count, Allocate and new
  t_looking = false;
  return winsim;
}

// Loads what backtrace needs, and finds libwinsim (linked, so loaded before this runs), before any fault
// is armed.
const bool g_warm = [] {
  void* frames[2];
  backtrace(frames, 2);
  dl_iterate_phdr(NoteWinsimCode, nullptr);
  return g_winsimRanges > 0;
}();

// Throws when this allocation is one to fail.
__attribute__((noinline)) void Count() {
  Fault& f = t_fault;
  if (!f.armed || f.paused || FromWinsim()) return;
  ++f.count;
  if (f.failAt == 0 || !(f.count == f.failAt || (f.andAfter && f.count > f.failAt))) return;
  f.fired = true;
  if (f.kind == lbltest::NewFault::kRuntimeError) {
    f.armed = false;  // the exception's own allocation must not fail too
    struct Rearm {
      ~Rearm() { t_fault.armed = true; }
    } rearm;
    throw std::runtime_error("test fault");
  }
  throw std::bad_alloc();
}

__attribute__((noinline)) void* Allocate(std::size_t size) {
  Count();
  void* p = std::malloc(size ? size : 1);
  if (!p) throw std::bad_alloc();
  return p;
}

}  // namespace

namespace lbltest {
void ArmNewFault(unsigned failAt, bool andAfter, NewFault kind) {
  t_fault = Fault{true, false, 0, failAt, andAfter, false, kind};
}
void PauseNewFault() { t_fault.paused = true; }
void ResumeNewFault() { t_fault.paused = false; }
void DisarmNewFault() { t_fault.armed = false; }
unsigned NewCount() { return t_fault.count; }
bool NewFaultFired() { return t_fault.fired; }
}  // namespace lbltest

__attribute__((noinline)) void* operator new(std::size_t size) { return Allocate(size); }
__attribute__((noinline)) void* operator new[](std::size_t size) { return Allocate(size); }
void* operator new(std::size_t size, const std::nothrow_t&) noexcept {
  try {
    return Allocate(size);
  } catch (...) {
    return nullptr;
  }
}
void* operator new[](std::size_t size, const std::nothrow_t&) noexcept {
  try {
    return Allocate(size);
  } catch (...) {
    return nullptr;
  }
}
void operator delete(void* p) noexcept { std::free(p); }
void operator delete[](void* p) noexcept { std::free(p); }
void operator delete(void* p, std::size_t) noexcept { std::free(p); }
void operator delete[](void* p, std::size_t) noexcept { std::free(p); }
void operator delete(void* p, const std::nothrow_t&) noexcept { std::free(p); }
void operator delete[](void* p, const std::nothrow_t&) noexcept { std::free(p); }
