// kernel32: CreateProcessW for scripted programs. A process is an event that is set when it exits.
#include <map>

#include "user32/script.h"

using namespace winsim::detail;

namespace {

struct Proc {
  HANDLE event;
  DWORD exitCode;
};
std::vector<Proc>& Procs() {
  static auto* v = new std::vector<Proc>;
  return *v;
}
void ResetProcs() { Procs().clear(); }
const ResetRegistrar kReset(ResetProcs);
DWORD g_nextPid = 4000;

}  // namespace

namespace winsim::ui {

bool EndProcess(size_t index, DWORD exitCode) {
  HANDLE ev;
  {
    Guard g(Mutex());
    if (index >= Procs().size() || Procs()[index].exitCode != STILL_ACTIVE) return false;
    Procs()[index].exitCode = exitCode;
    ev = Procs()[index].event;
  }
  SetEvent(ev);
  return true;
}

}  // namespace winsim::ui

extern "C" {

BOOL WINAPI CreateProcessW(LPCWSTR app, LPWSTR cmd, LPSECURITY_ATTRIBUTES, LPSECURITY_ATTRIBUTES, BOOL, DWORD,
                           LPVOID, LPCWSTR dir, LPSTARTUPINFOW si, LPPROCESS_INFORMATION pi) {
  if ((!app && !cmd) || !si || !pi) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  winsim::ui::ProcessCall c{Wide(app), Wide(cmd), Wide(dir), nullptr};
  Answer a;
  if (!TakeAnswer(ScriptKind::Process, "CreateProcessW: " + ToUtf8(c.commandLine.empty() ? c.application : c.commandLine), &a)) {
    RecordProcess(c);
    SetLastError(ERROR_FILE_NOT_FOUND);
    return FALSE;
  }
  if (a.error) {
    RecordProcess(c);
    SetLastError(a.error);
    return FALSE;
  }
  HANDLE ev = CreateEventW(nullptr, TRUE, a.runs ? FALSE : TRUE, nullptr);
  HANDLE thread = CreateEventW(nullptr, TRUE, a.runs ? FALSE : TRUE, nullptr);
  c.process = ev;
  {
    Guard g(Mutex());
    Procs().push_back(Proc{ev, a.runs ? DWORD(STILL_ACTIVE) : a.exitCode});
  }
  RecordProcess(c);
  pi->hProcess = ev;
  pi->hThread = thread;
  pi->dwProcessId = ++g_nextPid;
  pi->dwThreadId = ++g_nextPid;
  return TRUE;
}

BOOL WINAPI GetExitCodeProcess(HANDLE h, LPDWORD code) {
  Guard g(Mutex());
  for (auto& p : Procs())
    if (p.event == h) {
      if (code) *code = p.exitCode;
      return TRUE;
    }
  SetLastError(ERROR_INVALID_HANDLE);
  return FALSE;
}

}  // extern "C"
