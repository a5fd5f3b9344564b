// user32: windows, the per-thread message queues, timers, focus, painting state and the window calls.
#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <cstring>
#include <deque>
#include <map>

#include "user32/window.h"
#include "winsim/clock.h"

using namespace winsim::detail;

namespace {

struct ClassInfo {
  std::u16string name;
  WNDPROC proc = nullptr;
  int cbWndExtra = 0;
  HINSTANCE inst = nullptr;
  bool system = false;
};

struct SentMsg {
  HWND h;
  UINT m;
  WPARAM w;
  LPARAM l;
  LRESULT result = 0;
  bool done = false;
};

struct Timer {
  HWND h;
  UINT_PTR id;
  UINT elapse;
  TIMERPROC proc;
  DWORD due;
  DWORD thread;
};

struct Queue {
  std::deque<MSG> posted;
  std::deque<std::shared_ptr<SentMsg>> sent;
  bool quit = false;
  int quitCode = 0;
  HWND focus = nullptr;
};

struct State {
  std::map<HWND, std::shared_ptr<Wnd>> windows;
  std::vector<HWND> order;  // creation order of live windows
  std::map<std::u16string, ClassInfo> classes;   // key: upper-case name
  std::map<std::u16string, ClassInfo> system;    // survives Reset
  std::map<DWORD, std::shared_ptr<Queue>> queues;
  std::vector<Timer> timers;
  uintptr_t next = 0x10010;
  UINT_PTR nextTimer = 0x7000;
};

State& S() { return Lasting<State>(); }
std::condition_variable_any& Cv() {
  static auto* cv = new std::condition_variable_any;
  return *cv;
}

std::shared_ptr<Queue> QueueOf(DWORD thread) {
  auto& q = S().queues[thread];
  if (!q) q = std::make_shared<Queue>();
  return q;
}

void ResetUser32() {
  auto& s = S();
  s.windows.clear();
  s.order.clear();
  s.classes = s.system;
  s.queues.clear();
  s.timers.clear();
}
const ResetRegistrar kReset(ResetUser32);

DWORD Now() { return DWORD(TickNow()); }

// Calls the window procedure; internal messages never reach it.
constexpr UINT kRunMsg = 0x03F5;
LRESULT Call(HWND h, UINT m, WPARAM w, LPARAM l) {
  if (m == kRunMsg) {
    (*reinterpret_cast<const std::function<void()>*>(l))();
    return 0;
  }
  WNDPROC proc;
  {
    Guard g(Mutex());
    auto it = S().windows.find(h);
    if (it == S().windows.end() || !it->second->proc) return 0;
    proc = it->second->proc;
  }
  return proc(h, m, w, l);
}

// Answers messages sent to the calling thread by others. Returns true when any ran.
bool ServeSent(std::unique_lock<std::recursive_mutex>& lk, const std::shared_ptr<Queue>& q) {
  bool any = false;
  while (!q->sent.empty()) {
    auto s = q->sent.front();
    q->sent.pop_front();
    lk.unlock();
    LRESULT r = Call(s->h, s->m, s->w, s->l);
    lk.lock();
    s->result = r;
    s->done = true;
    Cv().notify_all();
    any = true;
  }
  return any;
}

bool Matches(HWND filter, HWND h) {
  if (!filter) return true;
  return filter == h;
}

// Takes the next message for the calling thread: posted first, then due timers, then paints.
bool NextMessage(std::unique_lock<std::recursive_mutex>& lk, const std::shared_ptr<Queue>& q, MSG* out,
                 HWND filter, bool remove) {
  for (auto it = q->posted.begin(); it != q->posted.end(); ++it) {
    if (!Matches(filter, it->hwnd) && it->message != WM_QUIT) continue;
    *out = *it;
    if (remove) q->posted.erase(it);
    return true;
  }
  if (q->quit) {
    *out = MSG{nullptr, WM_QUIT, WPARAM(q->quitCode), 0, Now(), {}};
    if (remove) q->quit = false;
    return true;
  }
  const DWORD self = GetCurrentThreadId();
  const DWORD now = Now();
  for (auto& t : S().timers) {
    if (t.thread != self || !Matches(filter, t.h)) continue;
    if (LONG(now - t.due) < 0) continue;
    *out = MSG{t.h, WM_TIMER, t.id, LPARAM(t.proc), now, {}};
    if (remove) t.due = now + t.elapse;
    return true;
  }
  for (HWND h : S().order) {
    auto& w = S().windows[h];
    if (w->thread != self || !w->needsPaint || !Matches(filter, h)) continue;
    if (!IsWindowVisible(h)) continue;  // hidden windows are not painted
    *out = MSG{h, WM_PAINT, 0, 0, now, {}};
    return true;  // WM_PAINT stays until BeginPaint validates the window
  }
  (void)lk;
  return false;
}

LRESULT DispatchOne(const MSG& m) {
  if (m.message == WM_TIMER && m.lParam) {
    reinterpret_cast<TIMERPROC>(m.lParam)(m.hwnd, WM_TIMER, m.wParam, m.time);
    return 0;
  }
  if (m.message == WM_PAINT) {
    auto w = FindWnd(m.hwnd);
    LRESULT r = Call(m.hwnd, WM_PAINT, 0, 0);
    if (w) w->needsPaint = false;  // a window procedure that does not paint validates it through DefWindowProc
    return r;
  }
  return m.hwnd ? Call(m.hwnd, m.message, m.wParam, m.lParam) : 0;
}

// Waits for something to arrive for this thread, at most until its next timer is due or `limitMs`. On the
// virtual clock the wait for a timer is one of the clock's deadlines, so AdvanceClock stops there and lets
// this thread run the timer before moving on.
void WaitForInput(std::unique_lock<std::recursive_mutex>& lk, const std::shared_ptr<Queue>& q, DWORD limitMs) {
  const DWORD self = GetCurrentThreadId();
  const DWORD now = Now();
  bool timers = false;
  DWORD wait = limitMs;
  for (auto& t : S().timers)
    if (t.thread == self) {
      timers = true;
      wait = std::min<DWORD>(wait, LONG(t.due - now) > 0 ? t.due - now : 0);
    }
  auto ready = [&] { return !q->sent.empty() || !q->posted.empty() || q->quit; };
  if (timers && winsim::VirtualClockInUse()) {
    lk.unlock();
    VirtualWait(wait, [&] {
      Guard g(Mutex());
      return ready();
    });
    lk.lock();
    return;
  }
  Cv().wait_for(lk, std::chrono::milliseconds(timers ? std::min<DWORD>(wait, 5) : limitMs), ready);
}

void DestroyTree(HWND h) {
  auto w = FindWnd(h);
  if (!w) return;
  std::vector<HWND> kids;
  {
    Guard g(Mutex());
    kids = w->children;
  }
  Call(h, WM_DESTROY, 0, 0);
  for (HWND k : kids) DestroyTree(k);
  Call(h, WM_NCDESTROY, 0, 0);
  if (w->bitmap) DeleteObject(w->bitmap);
  Guard g(Mutex());
  w->destroyed = true;
  w->bitmap = nullptr;
  auto& s = S();
  s.windows.erase(h);
  s.order.erase(std::remove(s.order.begin(), s.order.end(), h), s.order.end());
  s.timers.erase(std::remove_if(s.timers.begin(), s.timers.end(), [h](const Timer& t) { return t.h == h; }),
                 s.timers.end());
  if (w->parent) {
    auto p = s.windows.find(w->parent);
    if (p != s.windows.end()) {
      auto& c = p->second->children;
      c.erase(std::remove(c.begin(), c.end(), h), c.end());
      if (p->second->lastFocus == h) p->second->lastFocus = nullptr;
    }
  }
  for (auto& [t, q] : s.queues)
    if (q->focus == h) q->focus = nullptr;
}

bool IsAncestor(HWND anc, HWND h) {
  for (auto w = FindWnd(h); w; w = FindWnd(w->parent))
    if (w->parent == anc) return true;
  return false;
}

}  // namespace

namespace winsim::detail {

std::shared_ptr<Wnd> FindWnd(HWND h) {
  Guard g(Mutex());
  auto it = S().windows.find(h);
  return it == S().windows.end() ? nullptr : it->second;
}

void SetState(HWND h, std::shared_ptr<ControlState> s) {
  auto w = FindWnd(h);
  if (!w) return;
  Guard g(Mutex());  // FindSheet reads the pointer from another thread
  w->state = std::move(s);
}

void RegisterSystemClass(const std::u16string& name, WNDPROC proc, int cbWndExtra) {
  Guard g(Mutex());
  ClassInfo c{name, proc, cbWndExtra, nullptr, true};
  S().system[Upper(name)] = c;
  S().classes[Upper(name)] = c;
}

void RunOnWindowThread(HWND h, const std::function<void()>& fn) {
  auto w = FindWnd(h);
  if (!w || w->thread == GetCurrentThreadId()) {
    fn();
    return;
  }
  SendMessageW(h, kRunMsg, 0, reinterpret_cast<LPARAM>(&fn));
}

void NotifyParent(HWND ctl, WORD code) {
  auto w = FindWnd(ctl);
  if (!w || !w->parent) return;
  SendMessageW(w->parent, WM_COMMAND, MAKEWPARAM(WORD(w->id), code), reinterpret_cast<LPARAM>(ctl));
}

LRESULT NotifyParentHdr(HWND ctl, NMHDR* hdr) {
  auto w = FindWnd(ctl);
  if (!w || !w->parent) return 0;
  hdr->hwndFrom = ctl;
  hdr->idFrom = UINT_PTR(w->id);
  return SendMessageW(w->parent, WM_NOTIFY, WPARAM(w->id), reinterpret_cast<LPARAM>(hdr));
}

bool PumpPending() {
  bool any = false;
  MSG m;
  while (PeekMessageW(&m, nullptr, 0, 0, PM_REMOVE)) {
    if (m.message == WM_QUIT) {
      PostQuitMessage(int(m.wParam));
      break;
    }
    DispatchOne(m);
    any = true;
  }
  return any;
}

bool PumpOne(bool wait) {
  MSG m;
  if (wait) {
    if (!GetMessageW(&m, nullptr, 0, 0)) return false;
  } else if (!PeekMessageW(&m, nullptr, 0, 0, PM_REMOVE)) {
    return true;
  }
  if (m.message == WM_QUIT) {
    PostQuitMessage(int(m.wParam));
    return false;
  }
  DispatchOne(m);
  return true;
}

void ModalLoop(const std::function<bool()>& done) {
  const DWORD self = GetCurrentThreadId();
  auto q = [&] {
    Guard g(Mutex());
    return QueueOf(self);
  }();
  while (!done()) {
    MSG m;
    {
      std::unique_lock<std::recursive_mutex> lk(Mutex());
      ServeSent(lk, q);
      if (done()) break;
      if (!NextMessage(lk, q, &m, nullptr, true)) {
        WaitForInput(lk, q, 50);
        continue;
      }
    }
    if (m.message == WM_QUIT) {  // a modal loop ends and passes the quit on
      PostQuitMessage(int(m.wParam));
      break;
    }
    DispatchOne(m);
  }
}

std::vector<HWND> TopLevelWindows() {
  Guard g(Mutex());
  std::vector<HWND> out;
  for (HWND h : S().order)
    if (!S().windows[h]->parent) out.push_back(h);
  return out;
}

DWORD NextTimerDelay(DWORD limit) {
  Guard g(Mutex());
  const DWORD self = GetCurrentThreadId(), now = Now();
  for (auto& t : S().timers)
    if (t.thread == self) limit = std::min<DWORD>(limit, LONG(t.due - now) > 0 ? t.due - now : 0);
  return limit;
}

DWORD NextTimerDelayAnyThread(DWORD limit) {
  Guard g(Mutex());
  const DWORD now = Now();
  for (auto& t : S().timers) limit = std::min<DWORD>(limit, LONG(t.due - now) > 0 ? t.due - now : 0);
  return limit;
}

std::vector<HWND> WindowPerOtherThread() {
  Guard g(Mutex());
  std::map<DWORD, HWND> one;
  for (HWND h : S().order) {
    DWORD t = S().windows[h]->thread;
    if (t != GetCurrentThreadId() && !one.count(t)) one[t] = h;
  }
  std::vector<HWND> out;
  for (auto& [t, h] : one) out.push_back(h);
  return out;
}

std::vector<HWND> AllWindows() { return CopyLocked(S().order); }

std::u16string IntText(long long v) { return FromUtf8(std::to_string(v)); }

}  // namespace winsim::detail

extern "C" {

ATOM WINAPI RegisterClassW(const WNDCLASSW* wc) {
  if (!wc || !wc->lpszClassName || !wc->lpfnWndProc || IS_INTRESOURCE(wc->lpszClassName)) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return 0;
  }
  Guard g(Mutex());
  auto key = Upper(Wide(wc->lpszClassName));
  auto& c = S().classes;
  if (c.count(key) && !c[key].system) {
    SetLastError(1410);  // ERROR_CLASS_ALREADY_EXISTS
    return 0;
  }
  c[key] = ClassInfo{Wide(wc->lpszClassName), wc->lpfnWndProc, wc->cbWndExtra, wc->hInstance, false};
  return ATOM(0xC000 + c.size());
}

HWND WINAPI CreateWindowExW(DWORD exStyle, LPCWSTR className, LPCWSTR windowName, DWORD style, int x, int y,
                            int cx, int cy, HWND parent, HMENU menu, HINSTANCE inst, LPVOID param) {
  ClassInfo cls;
  auto w = std::make_shared<Wnd>();
  {
    Guard g(Mutex());
    if (!className || IS_INTRESOURCE(className)) {
      SetLastError(1411);  // ERROR_CANNOT_FIND_WND_CLASS
      return nullptr;
    }
    auto it = S().classes.find(Upper(Wide(className)));
    if (it == S().classes.end()) {
      SetLastError(1411);
      return nullptr;
    }
    cls = it->second;
    if (parent && !S().windows.count(parent)) {
      SetLastError(1400);  // ERROR_INVALID_WINDOW_HANDLE
      return nullptr;
    }
    w->h = reinterpret_cast<HWND>(S().next);
    S().next += 4;
    w->cls = cls.name;
    w->proc = cls.proc;
    w->style = style;
    w->exStyle = exStyle;
    if (style & WS_CHILD) {
      w->parent = parent;
      w->id = int(reinterpret_cast<INT_PTR>(menu));
    } else {
      w->owner = parent;
    }
    w->text = Wide(windowName);
    if (cx == CW_USEDEFAULT) cx = 400, cy = 300;
    if (x == CW_USEDEFAULT) x = 0, y = 0;
    w->rect = RECT{x, y, x + cx, y + cy};
    w->inst = inst;
    w->thread = GetCurrentThreadId();
    w->commonControls = CommonControls6Active() ? 6 : 5;
    w->extra.assign(size_t(std::max(cls.cbWndExtra, 0)), 0);
    QueueOf(w->thread);
    S().windows[w->h] = w;
    S().order.push_back(w->h);
    if (w->parent) S().windows[parent]->children.push_back(w->h);
  }
  CREATESTRUCTW cs{param, inst, menu, parent, cy, cx, y, x, LONG(style), windowName, className, exStyle};
  if (!Call(w->h, WM_NCCREATE, 0, reinterpret_cast<LPARAM>(&cs)) || Call(w->h, WM_CREATE, 0, reinterpret_cast<LPARAM>(&cs)) == -1) {
    DestroyTree(w->h);
    SetLastError(1400);
    return nullptr;
  }
  if (style & WS_VISIBLE) w->needsPaint = true;
  return w->h;
}

BOOL WINAPI DestroyWindow(HWND h) {
  if (!FindWnd(h)) {
    SetLastError(1400);
    return FALSE;
  }
  DestroyTree(h);
  return TRUE;
}

BOOL WINAPI IsWindow(HWND h) { return FindWnd(h) ? TRUE : FALSE; }

LRESULT WINAPI DefWindowProcW(HWND h, UINT m, WPARAM wp, LPARAM lp) {
  auto w = FindWnd(h);
  if (!w) return 0;
  switch (m) {
    case WM_NCCREATE:
      return TRUE;
    case WM_SETTEXT: {
      Guard g(Mutex());
      w->text = Wide(reinterpret_cast<LPCWSTR>(lp));
      w->needsPaint = (w->style & WS_VISIBLE) != 0;
      return TRUE;
    }
    case WM_GETTEXT: {
      if (wp == 0) return 0;
      auto* out = reinterpret_cast<LPWSTR>(lp);
      Guard g(Mutex());
      size_t n = std::min(w->text.size(), size_t(wp) - 1);
      std::memcpy(out, w->text.data(), n * sizeof(WCHAR));
      out[n] = 0;
      return LRESULT(n);
    }
    case WM_GETTEXTLENGTH: {
      Guard g(Mutex());
      return LRESULT(w->text.size());
    }
    case WM_SETFONT:
      w->font = reinterpret_cast<HFONT>(wp);
      return 0;
    case WM_GETFONT:
      return reinterpret_cast<LRESULT>(w->font);
    case WM_PAINT: {
      PAINTSTRUCT ps;
      BeginPaint(h, &ps);
      EndPaint(h, &ps);
      return 0;
    }
    case WM_CLOSE:
      DestroyWindow(h);
      return 0;
    case WM_ERASEBKGND: {
      RECT r;
      GetClientRect(h, &r);
      FillRect(reinterpret_cast<HDC>(wp), &r, reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1));
      return 1;
    }
    case WM_CTLCOLORSTATIC:
    case WM_CTLCOLORBTN:
    case WM_CTLCOLORDLG:
    case WM_CTLCOLOREDIT:
    case WM_CTLCOLORLISTBOX:
      return 0;
    case WM_NOTIFY:
    case WM_COMMAND:
      return 0;
    default:
      return 0;
  }
}

LRESULT WINAPI CallWindowProcW(WNDPROC proc, HWND h, UINT m, WPARAM wp, LPARAM lp) {
  return proc ? proc(h, m, wp, lp) : 0;
}

LRESULT WINAPI SendMessageW(HWND h, UINT m, WPARAM wp, LPARAM lp) {
  auto w = FindWnd(h);
  if (!w) {
    SetLastError(1400);
    return 0;
  }
  const DWORD self = GetCurrentThreadId();
  if (w->thread == self) return Call(h, m, wp, lp);
  // Another thread's window: queue it there and serve our own incoming sends while waiting.
  auto s = std::make_shared<SentMsg>(SentMsg{h, m, wp, lp});
  std::unique_lock<std::recursive_mutex> lk(Mutex());
  auto target = QueueOf(w->thread);
  auto mine = QueueOf(self);
  target->sent.push_back(s);
  Cv().notify_all();
  while (!s->done) {
    ServeSent(lk, mine);
    if (s->done) break;
    if (!S().windows.count(h)) {  // destroyed while waiting
      auto& ts = target->sent;
      ts.erase(std::remove(ts.begin(), ts.end(), s), ts.end());
      return 0;
    }
    Cv().wait_for(lk, std::chrono::milliseconds(20), [&] { return s->done || !mine->sent.empty(); });
  }
  return s->result;
}

BOOL WINAPI PostMessageW(HWND h, UINT m, WPARAM wp, LPARAM lp) {
  Guard g(Mutex());
  DWORD thread = GetCurrentThreadId();
  if (h) {
    auto it = S().windows.find(h);
    if (it == S().windows.end()) {
      SetLastError(1400);
      return FALSE;
    }
    thread = it->second->thread;
  }
  QueueOf(thread)->posted.push_back(MSG{h, m, wp, lp, Now(), {}});
  Cv().notify_all();
  return TRUE;
}

void WINAPI PostQuitMessage(int code) {
  Guard g(Mutex());
  auto q = QueueOf(GetCurrentThreadId());
  q->quit = true;
  q->quitCode = code;
}

BOOL WINAPI PeekMessageW(LPMSG msg, HWND h, UINT, UINT, UINT remove) {
  std::unique_lock<std::recursive_mutex> lk(Mutex());
  auto q = QueueOf(GetCurrentThreadId());
  ServeSent(lk, q);
  MSG m;
  if (!NextMessage(lk, q, &m, h, (remove & PM_REMOVE) != 0)) return FALSE;
  if (msg) *msg = m;
  return TRUE;
}

BOOL WINAPI GetMessageW(LPMSG msg, HWND h, UINT, UINT) {
  std::unique_lock<std::recursive_mutex> lk(Mutex());
  auto q = QueueOf(GetCurrentThreadId());
  for (;;) {
    ServeSent(lk, q);
    MSG m;
    if (NextMessage(lk, q, &m, h, true)) {
      *msg = m;
      return m.message == WM_QUIT ? FALSE : TRUE;
    }
    WaitForInput(lk, q, 50);
  }
}

BOOL WINAPI TranslateMessage(const MSG*) { return FALSE; }

LRESULT WINAPI DispatchMessageW(const MSG* m) { return m ? DispatchOne(*m) : 0; }

UINT_PTR WINAPI SetTimer(HWND h, UINT_PTR id, UINT elapse, TIMERPROC proc) {
  Guard g(Mutex());
  if (h && !S().windows.count(h)) {
    SetLastError(1400);
    return 0;
  }
  elapse = std::max<UINT>(elapse, 10);  // USER_TIMER_MINIMUM
  auto& ts = S().timers;
  if (!h) id = ++S().nextTimer;
  for (auto& t : ts)
    if (t.h == h && t.id == id) {
      t.elapse = elapse;
      t.proc = proc;
      t.due = Now() + elapse;
      return h ? id : t.id;
    }
  ts.push_back(Timer{h, id, elapse, proc, Now() + elapse, GetCurrentThreadId()});
  return h ? (id ? id : 1) : id;
}

BOOL WINAPI KillTimer(HWND h, UINT_PTR id) {
  Guard g(Mutex());
  auto& ts = S().timers;
  auto it = std::find_if(ts.begin(), ts.end(), [&](const Timer& t) { return t.h == h && t.id == id; });
  if (it == ts.end()) {
    SetLastError(1402);  // ERROR_INVALID_TIMER_ID
    return FALSE;
  }
  ts.erase(it);
  // WM_TIMER messages already taken stay; none are queued ahead of time here.
  return TRUE;
}

HWND WINAPI GetParent(HWND h) {
  auto w = FindWnd(h);
  if (!w) return nullptr;
  return (w->style & WS_CHILD) ? w->parent : w->owner;
}

HWND WINAPI SetParent(HWND h, HWND parent) {
  auto w = FindWnd(h);
  if (!w) return nullptr;
  Guard g(Mutex());
  HWND old = w->parent;
  if (old) {
    auto& c = S().windows[old]->children;
    c.erase(std::remove(c.begin(), c.end(), h), c.end());
  }
  w->parent = parent;
  if (parent && S().windows.count(parent)) S().windows[parent]->children.push_back(h);
  return old;
}

HWND WINAPI GetWindow(HWND h, UINT cmd) {
  auto w = FindWnd(h);
  if (!w) return nullptr;
  Guard g(Mutex());
  if (cmd == GW_OWNER) return w->owner;
  if (cmd == GW_CHILD) return w->children.empty() ? nullptr : w->children.front();
  if (cmd == GW_HWNDNEXT && w->parent) {
    auto& c = S().windows[w->parent]->children;
    auto it = std::find(c.begin(), c.end(), h);
    if (it != c.end() && ++it != c.end()) return *it;
  }
  return nullptr;
}

BOOL WINAPI EnableWindow(HWND h, BOOL enable) {
  auto w = FindWnd(h);
  if (!w) return FALSE;
  BOOL wasDisabled = (w->style & WS_DISABLED) != 0;
  if (bool(enable) == !wasDisabled) return wasDisabled;
  {
    Guard g(Mutex());
    if (enable) w->style &= ~DWORD(WS_DISABLED);
    else w->style |= WS_DISABLED;
  }
  if (!enable) {
    HWND f = GetFocus();
    if (f == h || IsAncestor(h, f)) SetFocus(nullptr);
  }
  Call(h, WM_ENABLE, enable ? TRUE : FALSE, 0);
  InvalidateRect(h, nullptr, TRUE);
  return wasDisabled;
}

BOOL WINAPI IsWindowEnabled(HWND h) {
  auto w = FindWnd(h);
  return w && !(w->style & WS_DISABLED);
}

BOOL WINAPI ShowWindow(HWND h, int cmd) {
  auto w = FindWnd(h);
  if (!w) return FALSE;
  BOOL was = (w->style & WS_VISIBLE) != 0;
  bool show = cmd != SW_HIDE;
  if (show == bool(was)) return was;
  Call(h, WM_SHOWWINDOW, show, 0);
  {
    Guard g(Mutex());
    if (show) w->style |= WS_VISIBLE;
    else w->style &= ~DWORD(WS_VISIBLE);
    w->needsPaint = show;
  }
  if (!show) {
    HWND f = GetFocus();
    if (f == h || IsAncestor(h, f)) SetFocus(nullptr);
  }
  return was;
}

BOOL WINAPI IsWindowVisible(HWND h) {
  for (auto w = FindWnd(h); w; w = FindWnd(w->parent)) {
    if (!(w->style & WS_VISIBLE)) return FALSE;
    if (!w->parent) return TRUE;
  }
  return FALSE;
}

HWND WINAPI GetFocus(void) {
  Guard g(Mutex());
  return QueueOf(GetCurrentThreadId())->focus;
}

HWND WINAPI SetFocus(HWND h) {
  if (h) {
    auto w = FindWnd(h);
    if (!w || w->thread != GetCurrentThreadId() || (w->style & WS_DISABLED)) return nullptr;
  }
  HWND old;
  {
    Guard g(Mutex());
    auto q = QueueOf(GetCurrentThreadId());
    old = q->focus;
    if (old == h) return old;
    q->focus = h;
  }
  if (old && FindWnd(old)) Call(old, WM_KILLFOCUS, reinterpret_cast<WPARAM>(h), 0);
  if (h) {
    // A dialog remembers its focused control for when it is activated again.
    for (auto p = FindWnd(FindWnd(h)->parent); p; p = FindWnd(p->parent))
      if (p->isDialog) {
        p->lastFocus = h;
        break;
      }
    Call(h, WM_SETFOCUS, reinterpret_cast<WPARAM>(old), 0);
  }
  return old;
}

BOOL WINAPI SetWindowTextW(HWND h, LPCWSTR s) {
  if (!FindWnd(h)) {
    SetLastError(1400);
    return FALSE;
  }
  return BOOL(SendMessageW(h, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(s)));
}

int WINAPI GetWindowTextW(HWND h, LPWSTR s, int n) {
  if (!s || n <= 0) return 0;
  s[0] = 0;
  return int(SendMessageW(h, WM_GETTEXT, WPARAM(n), reinterpret_cast<LPARAM>(s)));
}

int WINAPI GetWindowTextLengthW(HWND h) { return int(SendMessageW(h, WM_GETTEXTLENGTH, 0, 0)); }

LONG_PTR WINAPI GetWindowLongPtrW(HWND h, int index) {
  auto w = FindWnd(h);
  if (!w) {
    SetLastError(1400);
    return 0;
  }
  Guard g(Mutex());
  switch (index) {
    case GWL_STYLE: return LONG_PTR(w->style);
    case GWL_EXSTYLE: return LONG_PTR(w->exStyle);
    case GWLP_WNDPROC: return reinterpret_cast<LONG_PTR>(w->proc);
    case GWLP_HINSTANCE: return reinterpret_cast<LONG_PTR>(w->inst);
    case GWLP_ID: return w->id;
    case GWLP_USERDATA: return w->userData;
    default:
      if (index >= 0 && size_t(index) + sizeof(LONG_PTR) <= w->extra.size()) {
        LONG_PTR v;
        std::memcpy(&v, w->extra.data() + index, sizeof v);
        return v;
      }
      SetLastError(1413);  // ERROR_INVALID_INDEX
      return 0;
  }
}

LONG_PTR WINAPI SetWindowLongPtrW(HWND h, int index, LONG_PTR value) {
  auto w = FindWnd(h);
  if (!w) {
    SetLastError(1400);
    return 0;
  }
  Guard g(Mutex());
  LONG_PTR old = 0;
  switch (index) {
    case GWL_STYLE: old = LONG_PTR(w->style); w->style = DWORD(value); return old;
    case GWL_EXSTYLE: old = LONG_PTR(w->exStyle); w->exStyle = DWORD(value); return old;
    case GWLP_WNDPROC: old = reinterpret_cast<LONG_PTR>(w->proc); w->proc = reinterpret_cast<WNDPROC>(value); return old;
    case GWLP_ID: old = w->id; w->id = int(value); return old;
    case GWLP_USERDATA: old = w->userData; w->userData = value; return old;
    default:
      if (index >= 0 && size_t(index) + sizeof(LONG_PTR) <= w->extra.size()) {
        std::memcpy(&old, w->extra.data() + index, sizeof old);
        std::memcpy(w->extra.data() + index, &value, sizeof value);
        return old;
      }
      SetLastError(1413);
      return 0;
  }
}

LONG WINAPI GetWindowLongW(HWND h, int index) { return LONG(GetWindowLongPtrW(h, index)); }
LONG WINAPI SetWindowLongW(HWND h, int index, LONG v) { return LONG(SetWindowLongPtrW(h, index, v)); }

BOOL WINAPI GetClientRect(HWND h, LPRECT r) {
  auto w = FindWnd(h);
  if (!w || !r) {
    SetLastError(1400);
    return FALSE;
  }
  *r = RECT{0, 0, w->rect.right - w->rect.left, w->rect.bottom - w->rect.top};
  return TRUE;
}

BOOL WINAPI GetWindowRect(HWND h, LPRECT r) {
  auto w = FindWnd(h);
  if (!w || !r) return FALSE;
  RECT out = w->rect;
  for (auto p = FindWnd(w->parent); p; p = FindWnd(p->parent)) {
    out.left += p->rect.left, out.right += p->rect.left;
    out.top += p->rect.top, out.bottom += p->rect.top;
  }
  *r = out;
  return TRUE;
}

BOOL WINAPI MoveWindow(HWND h, int x, int y, int cx, int cy, BOOL repaint) {
  auto w = FindWnd(h);
  if (!w) return FALSE;
  w->rect = RECT{x, y, x + cx, y + cy};
  Call(h, WM_SIZE, 0, MAKELPARAM(cx, cy));
  if (repaint) InvalidateRect(h, nullptr, TRUE);
  return TRUE;
}

BOOL WINAPI InvalidateRect(HWND h, const RECT*, BOOL) {
  auto w = FindWnd(h);
  if (!w) return FALSE;
  Guard g(Mutex());
  w->needsPaint = true;
  Cv().notify_all();
  return TRUE;
}

BOOL WINAPI UpdateWindow(HWND h) {
  auto w = FindWnd(h);
  if (!w) return FALSE;
  if (w->needsPaint && IsWindowVisible(h)) {
    Call(h, WM_PAINT, 0, 0);
    w->needsPaint = false;
  }
  return TRUE;
}

int WINAPI GetDlgCtrlID(HWND h) {
  auto w = FindWnd(h);
  return w ? w->id : 0;
}

BOOL WINAPI GetCursorPos(LPPOINT p) {
  if (!p) return FALSE;
  *p = POINT{0, 0};
  return TRUE;
}

}  // extern "C"
