// The port's delivery thread: started at open, stopped at close.
#include "monitor/monitor.h"

namespace {

PVOID volatile g_step = nullptr;  // DeliveryStep or nullptr

}  // namespace

void SetDeliveryStep(DeliveryStep step) {
  InterlockedExchangePointer(&g_step, reinterpret_cast<PVOID>(step));
}

BOOL CreateUWriteThread(IniPort* port) {
  MonLog(TEXT("CreateUWriteThread: Enter CreateUWriteThread. Driver Version: %hs\n"), kDriverVersion);
  if (AtomicLoad(&port->status) & PP_THREAD_RUNNING) {
    MonLog(TEXT("CreateUWriteThread: Thread for Port %ws is already started.\n"), port->portName);
    return TRUE;
  }
  MonLog(TEXT("CreateUWriteThread: Thread for Port %ws is Starting.\n"), port->portName);
  SetFlags(&port->status, PP_THREAD_RUNNING);
  // Set here, not by the thread: a close that comes before the thread first runs must still stop it.
  InterlockedExchange(&port->threadRun, 1);
  InterlockedIncrement(&port->refCount);  // the thread's reference
  DWORD id = 0;
  HANDLE thread = CreateThread(nullptr, 0, UWriteThread, port, 0, &id);
  if (!thread) {
    InterlockedExchange(&port->threadRun, 0);
    ClearFlags(&port->status, PP_THREAD_RUNNING);
    InterlockedDecrement(&port->refCount);  // the list still holds one
    MonLog(TEXT("CreateUWriteThread: Exit CreateUWriteThread.\n"));
    return TRUE;
  }
  SetThreadPriority(thread, THREAD_PRIORITY_LOWEST);
  CloseHandle(thread);
  return TRUE;
}

DWORD WINAPI UWriteThread(LPVOID param) {
  auto* port = static_cast<IniPort*>(param);
  MonLog(TEXT("UWriteThread: Enter UWriteThread\n"));
  do {
    auto step = reinterpret_cast<DeliveryStep>(InterlockedCompareExchangePointer(&g_step, nullptr, nullptr));
    if (step) step(port);
    Sleep(50);
  } while (AtomicLoad(&port->threadRun));
  ClearFlags(&port->status, PP_THREAD_RUNNING);
  MonLog(TEXT("UWriteThread: Exit UWriteThread\n"));
  ReleasePort(port);
  return 0;
}
