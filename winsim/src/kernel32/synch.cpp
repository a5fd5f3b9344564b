// Threads, events and critical sections on host threads and locks.
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <future>
#include <thread>

#include "advapi32/security.h"
#include "internal.h"
#include "winsim/clock.h"
#include "winsim/monitorhost.h"

using namespace winsim::detail;

namespace {

// A handle that WaitForSingleObject can wait on.
struct Waitable : KernelObject {
  std::mutex m;
  std::condition_variable cv;
  bool signaled = false;
  bool manualReset = true;

  void Set() {
    {
      std::lock_guard<std::mutex> g(m);
      signaled = true;
    }
    cv.notify_all();
  }
  void Reset() {
    std::lock_guard<std::mutex> g(m);
    signaled = false;
  }
  bool Wait(DWORD ms) {
    std::unique_lock<std::mutex> g(m);
    auto ready = [this] { return signaled; };
    if (ms == INFINITE) {
      cv.wait(g, ready);
    } else if (ms != 0 && winsim::VirtualClockInUse()) {
      g.unlock();
      bool got = VirtualWait(ms, [this] {
        std::lock_guard<std::mutex> l(m);
        if (!signaled) return false;
        if (!manualReset) signaled = false;
        return true;
      });
      return got;
    } else if (!cv.wait_for(g, std::chrono::milliseconds(ms), ready)) {
      return false;
    }
    if (!manualReset) signaled = false;
    return true;
  }
};

// ExitThread and FreeLibraryAndExitThread unwind the thread to its start in CreateThread, which then
// drops the module reference: the module's code is still there while its frames unwind.
struct ThreadExit {
  DWORD code;
  HMODULE module;
};

struct ThreadObj : Waitable {
  std::atomic<int> priority{THREAD_PRIORITY_NORMAL};
  std::atomic<DWORD> exitCode{STILL_ACTIVE};
  DWORD id = 0;
};

struct EventObj : Waitable {};

std::atomic<int> g_createThreadFailures{0};

// Threads created while held wait, after reporting their id, until the hold is lifted.
struct Gate {
  std::mutex m;
  std::condition_variable cv;
  bool held = false;
};
Gate& G() { return Lasting<Gate>(); }
void PassGate() {
  std::unique_lock<std::mutex> l(G().m);
  G().cv.wait(l, [] { return !G().held; });
}

}  // namespace

namespace winsim {
void FailNextCreateThreads(int count) {
  g_createThreadFailures.store(count);
}

void HoldNewThreads(bool hold) {
  {
    std::lock_guard<std::mutex> l(G().m);
    G().held = hold;
  }
  G().cv.notify_all();
}
}  // namespace winsim

extern "C" {

void WINAPI ExitThread(DWORD dwExitCode) { throw ThreadExit{dwExitCode, nullptr}; }

void WINAPI FreeLibraryAndExitThread(HMODULE hLibModule, DWORD dwExitCode) {
  throw ThreadExit{dwExitCode, hLibModule};
}

HANDLE WINAPI CreateThread(LPSECURITY_ATTRIBUTES, SIZE_T, LPTHREAD_START_ROUTINE lpStartAddress, LPVOID lpParameter,
                           DWORD dwCreationFlags, LPDWORD lpThreadId) {
  if (!lpStartAddress || (dwCreationFlags & CREATE_SUSPENDED)) {
    SetLastError(lpStartAddress ? ERROR_NOT_SUPPORTED : ERROR_INVALID_PARAMETER);
    return nullptr;
  }
  for (int n = g_createThreadFailures.load(); n > 0;) {
    if (g_createThreadFailures.compare_exchange_weak(n, n - 1)) {
      SetLastError(ERROR_NOT_ENOUGH_MEMORY);
      return nullptr;
    }
  }
  auto t = std::make_shared<ThreadObj>();
  // Shared so that the new thread may still be inside set_value when the creator returns.
  auto started = std::make_shared<std::promise<DWORD>>();
  auto idFuture = started->get_future();
  try {
    std::thread([t, lpStartAddress, lpParameter, started] {
      // The thread's token slot is made now, outside every lock: a thread_local's first use takes the
      // dynamic loader's lock, and a first use under the machine's lock deadlocks against a module being
      // loaded whose initializers wait for the machine's lock.
      winsim::detail::ThreadToken();
      started->set_value(GetCurrentThreadId());
      PassGate();
      DWORD code = 0;
      HMODULE release = nullptr;
      try {
        code = lpStartAddress(lpParameter);
      } catch (const ThreadExit& e) {  // ExitThread: the thread's frames are unwound before its module goes
        code = e.code;
        release = e.module;
      }
      if (release) FreeLibrary(release);
      t->exitCode.store(code);
      t->Set();
    }).detach();
  } catch (const std::system_error&) {
    SetLastError(ERROR_NOT_ENOUGH_MEMORY);
    return nullptr;
  }
  t->id = idFuture.get();
  if (lpThreadId) *lpThreadId = t->id;
  return NewHandle(t);
}

BOOL WINAPI SetThreadPriority(HANDLE hThread, int nPriority) {
  auto t = HandleOrError<ThreadObj>(hThread);
  if (!t) return FALSE;
  if ((nPriority < THREAD_PRIORITY_LOWEST || nPriority > THREAD_PRIORITY_HIGHEST) &&
      nPriority != THREAD_PRIORITY_IDLE && nPriority != THREAD_PRIORITY_TIME_CRITICAL) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  t->priority.store(nPriority);
  return TRUE;
}

int WINAPI GetThreadPriority(HANDLE hThread) {
  auto t = HandleOrError<ThreadObj>(hThread);
  if (!t) return THREAD_PRIORITY_ERROR_RETURN;
  return t->priority.load();
}

BOOL WINAPI GetExitCodeThread(HANDLE hThread, LPDWORD lpExitCode) {
  auto t = GetHandle<ThreadObj>(hThread);
  if (!t || !lpExitCode) {
    SetLastError(t ? ERROR_INVALID_PARAMETER : ERROR_INVALID_HANDLE);
    return FALSE;
  }
  *lpExitCode = t->exitCode.load();
  return TRUE;
}

DWORD WINAPI GetThreadId(HANDLE Thread) {
  auto t = HandleOrError<ThreadObj>(Thread);
  if (!t) return 0;
  return t->id;
}

HANDLE WINAPI CreateEventW(LPSECURITY_ATTRIBUTES, BOOL bManualReset, BOOL bInitialState, LPCWSTR lpName) {
  if (lpName && *lpName) {  // named (shared) events are not simulated
    SetLastError(ERROR_NOT_SUPPORTED);
    return nullptr;
  }
  auto e = std::make_shared<EventObj>();
  e->manualReset = bManualReset != FALSE;
  e->signaled = bInitialState != FALSE;
  SetLastError(ERROR_SUCCESS);
  return NewHandle(e);
}

BOOL WINAPI SetEvent(HANDLE hEvent) {
  auto e = HandleOrError<EventObj>(hEvent);
  if (!e) return FALSE;
  e->Set();
  return TRUE;
}

BOOL WINAPI ResetEvent(HANDLE hEvent) {
  auto e = HandleOrError<EventObj>(hEvent);
  if (!e) return FALSE;
  e->Reset();
  return TRUE;
}

DWORD WINAPI WaitForSingleObject(HANDLE hHandle, DWORD dwMilliseconds) {
  auto w = HandleOrError<Waitable>(hHandle);
  if (!w) return WAIT_FAILED;
  return w->Wait(dwMilliseconds) ? WAIT_OBJECT_0 : WAIT_TIMEOUT;
}

// ---- critical sections --------------------------------------------------------------
static std::recursive_mutex* HostLock(LPCRITICAL_SECTION cs) {
  return static_cast<std::recursive_mutex*>(cs->LockSemaphore);
}

static HANDLE SelfAsOwner() {
  return reinterpret_cast<HANDLE>(static_cast<ULONG_PTR>(GetCurrentThreadId()));
}

void WINAPI InitializeCriticalSection(LPCRITICAL_SECTION cs) {
  cs->DebugInfo = nullptr;
  cs->LockCount = -1;
  cs->RecursionCount = 0;
  cs->OwningThread = nullptr;
  cs->SpinCount = 0;
  cs->LockSemaphore = new std::recursive_mutex;
}

BOOL WINAPI InitializeCriticalSectionAndSpinCount(LPCRITICAL_SECTION cs, DWORD dwSpinCount) {
  InitializeCriticalSection(cs);
  cs->SpinCount = dwSpinCount;
  return TRUE;
}

static void Entered(LPCRITICAL_SECTION cs) {
  if (cs->RecursionCount++ == 0) __atomic_store_n(&cs->OwningThread, SelfAsOwner(), __ATOMIC_RELAXED);
}

void WINAPI EnterCriticalSection(LPCRITICAL_SECTION cs) {
  HostLock(cs)->lock();
  Entered(cs);
}

BOOL WINAPI TryEnterCriticalSection(LPCRITICAL_SECTION cs) {
  if (!HostLock(cs)->try_lock()) return FALSE;
  Entered(cs);
  return TRUE;
}

void WINAPI LeaveCriticalSection(LPCRITICAL_SECTION cs) {
  // Windows corrupts the section when a non-owner leaves it; the host lock would be undefined, so ignore it.
  if (__atomic_load_n(&cs->OwningThread, __ATOMIC_RELAXED) != SelfAsOwner()) return;
  if (--cs->RecursionCount == 0) __atomic_store_n(&cs->OwningThread, HANDLE(nullptr), __ATOMIC_RELAXED);
  HostLock(cs)->unlock();
}

void WINAPI DeleteCriticalSection(LPCRITICAL_SECTION cs) {
  delete HostLock(cs);
  cs->LockSemaphore = nullptr;
}

}  // extern "C"
