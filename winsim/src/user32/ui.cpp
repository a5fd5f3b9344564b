// The driving API of tests and tools (winsim/ui.h): finding windows, user actions, reading state.
#include "winsim/ui.h"

#include <chrono>
#include <future>
#include <thread>

#include "comctl32/propsheet.h"
#include "winsim/clock.h"

using namespace winsim::detail;

namespace winsim::ui {
namespace {

std::function<void(HWND)>& PaintHook() {
  static auto* h = new std::function<void(HWND)>;
  return *h;
}

bool IsClass(HWND h, const char16_t* cls) {
  auto w = FindWnd(h);
  return w && IEquals(w->cls, cls);
}

// Waits in real time for a window to appear (the UI thread creates it concurrently).
HWND Poll(const std::function<HWND()>& find, DWORD waitMs) {
  auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(waitMs);
  for (;;) {
    if (HWND h = find()) return h;
    if (std::chrono::steady_clock::now() >= until) return nullptr;
    PumpPending();
    std::this_thread::sleep_for(std::chrono::milliseconds(2));
  }
}

// Runs an action on the control's thread when the control can take user input.
bool Act(HWND dlg, int id, const std::function<bool(HWND)>& action) {
  HWND c = GetDlgItem(dlg, id);
  if (!c) return false;
  bool ok = false;
  RunOnWindowThread(c, [&] {
    if (IsWindowEnabled(c) && IsWindowVisible(c)) ok = action(c);
  });
  return ok;
}

template <class T>
T OnThread(HWND h, const std::function<T()>& fn) {
  T out{};
  RunOnWindowThread(h, [&] { out = fn(); });
  return out;
}

}  // namespace

struct UiThread::Impl {
  std::future<intptr_t> result;
  std::thread thread;
  bool joined = false;
  intptr_t value = 0;
};

UiThread::UiThread(std::function<intptr_t()> body) : impl_(new Impl) {
  std::packaged_task<intptr_t()> task(std::move(body));
  impl_->result = task.get_future();
  impl_->thread = std::thread(std::move(task));
}
UiThread::~UiThread() { Join(); }
intptr_t UiThread::Join() {
  if (!impl_->joined) {
    impl_->thread.join();
    impl_->value = impl_->result.get();
    impl_->joined = true;
  }
  return impl_->value;
}
bool UiThread::Done() const {
  return impl_->joined || impl_->result.wait_for(std::chrono::seconds(0)) == std::future_status::ready;
}

HWND FindDialog(WORD templateId, DWORD waitMs) {
  return Poll(
      [&]() -> HWND {
        auto all = AllWindows();
        for (auto it = all.rbegin(); it != all.rend(); ++it) {
          auto w = FindWnd(*it);
          if (w && w->isDialog && !w->ended && w->templateId == templateId) return *it;
        }
        return nullptr;
      },
      waitMs);
}

HWND OwnedDialog(HWND owner, WORD* templateId) {
  if (!owner) return nullptr;
  auto all = AllWindows();
  for (auto it = all.rbegin(); it != all.rend(); ++it) {
    auto w = FindWnd(*it);
    if (!w || !w->isDialog || w->ended || w->destroyed) continue;
    HWND by;
    {
      Guard g(Mutex());
      by = w->owner;
    }
    if (by != owner) continue;
    if (templateId) *templateId = w->templateId;
    return *it;
  }
  return nullptr;
}

HWND FindSheet(DWORD waitMs) {
  return Poll(
      [&]() -> HWND {
        auto all = AllWindows();
        for (auto it = all.rbegin(); it != all.rend(); ++it) {
          auto w = FindWnd(*it);
          std::shared_ptr<ControlState> st;
          if (w) {
            Guard g(Mutex());
            st = w->state;
          }
          auto* s = dynamic_cast<SheetState*>(st.get());
          if (s && !s->ended && s->current >= 0) return *it;
        }
        return nullptr;
      },
      waitMs);
}

HWND Page(HWND sheet, WORD templateId) {
  return OnThread<HWND>(sheet, [&]() -> HWND {
    auto* s = SheetOf(sheet);
    if (!s) return nullptr;
    for (auto& p : s->pages)
      if (PageTemplateId(p.page) == templateId) return p.hwnd;
    return nullptr;
  });
}

HWND CurrentPage(HWND sheet) { return reinterpret_cast<HWND>(SendMessageW(sheet, PSM_GETCURRENTPAGEHWND, 0, 0)); }

std::vector<WORD> PageIds(HWND sheet) {
  return OnThread<std::vector<WORD>>(sheet, [&] {
    std::vector<WORD> ids;
    if (auto* s = SheetOf(sheet))
      for (auto& p : s->pages) ids.push_back(PageTemplateId(p.page));
    return ids;
  });
}

std::u16string WindowText(HWND h) {
  int n = GetWindowTextLengthW(h);
  std::u16string t(size_t(n) + 1, u'\0');
  n = GetWindowTextW(h, t.data(), n + 1);
  t.resize(size_t(n));
  return t;
}

bool WaitClosed(HWND h, DWORD waitMs) {
  return Poll([&]() -> HWND { return IsWindow(h) ? nullptr : reinterpret_cast<HWND>(1); }, waitMs) != nullptr;
}

bool Click(HWND dlg, int id) {
  return Act(dlg, id, [](HWND c) {
    SendMessageW(c, BM_CLICK, 0, 0);
    return true;
  });
}

bool Focus(HWND dlg, int id) {
  return Act(dlg, id, [](HWND c) {
    SetFocus(c);
    return GetFocus() == c;
  });
}

static bool TypeInto(HWND c, const std::u16string& text, bool replace) {
  if (IsClass(c, WC_IPADDRESSW)) {
    SetFocus(c);
    return TypeIpAddress(c, text);
  }
  if (GetWindowLongPtrW(c, GWL_STYLE) & ES_READONLY) return false;
  SetFocus(c);
  if (replace) SendMessageW(c, EM_SETSEL, 0, -1);
  else SendMessageW(c, EM_SETSEL, WPARAM(-2), -1), SendMessageW(c, EM_SETSEL, WPARAM(GetWindowTextLengthW(c)), -1);
  if (replace && text.empty() && GetWindowTextLengthW(c) > 0) SendMessageW(c, WM_CHAR, 8, 0);
  for (char16_t ch : text) SendMessageW(c, WM_CHAR, ch, 0);
  return true;
}

bool Type(HWND dlg, int id, const std::u16string& text) {
  return Act(dlg, id, [&](HWND c) { return TypeInto(c, text, true); });
}

bool Append(HWND dlg, int id, const std::u16string& text) {
  return Act(dlg, id, [&](HWND c) { return TypeInto(c, text, false); });
}

bool Select(HWND dlg, int id, int index) {
  return Act(dlg, id, [&](HWND c) {
    if (IsClass(c, u"ComboBox")) {
      if (SendMessageW(c, CB_SETCURSEL, WPARAM(index), 0) == CB_ERR) return false;
      NotifyParent(c, CBN_SELCHANGE);
      NotifyParent(c, CBN_SELENDOK);
      return true;
    }
    if (IsClass(c, u"ListBox")) {
      if (SendMessageW(c, LB_SETCURSEL, WPARAM(index), 0) == LB_ERR) return false;
      if (GetWindowLongPtrW(c, GWL_STYLE) & LBS_NOTIFY) NotifyParent(c, LBN_SELCHANGE);
      return true;
    }
    return false;
  });
}

bool SelectText(HWND dlg, int id, const std::u16string& itemText) {
  auto items = Items(dlg, id);
  for (size_t i = 0; i < items.size(); ++i)
    if (items[i] == itemText) return Select(dlg, id, int(i));
  return false;
}

bool Spin(HWND dlg, int id, int clicks) {
  return Act(dlg, id, [&](HWND c) {
    for (int i = 0; i < (clicks < 0 ? -clicks : clicks); ++i)
      if (!SpinUpDown(c, clicks > 0)) return false;
    return true;
  });
}

bool Slide(HWND dlg, int id, int pos) {
  return Act(dlg, id, [&](HWND c) { return SlideTrackbar(c, pos); });
}

bool SetIpAddress(HWND dlg, int id, const std::u16string& dotted) { return Type(dlg, id, dotted); }

bool SelectRow(HWND dlg, int id, int row) {
  return Act(dlg, id, [&](HWND c) {
    SetFocus(c);
    // A click selects the row alone.
    int n = int(SendMessageW(c, LVM_GETITEMCOUNT, 0, 0));
    for (int i = 0; i < n; ++i)
      if (i != row) SetListViewItemState(c, i, 0, LVIS_SELECTED);
    return SetListViewItemState(c, row, LVIS_SELECTED | LVIS_FOCUSED, LVIS_SELECTED | LVIS_FOCUSED);
  });
}

bool CheckRow(HWND dlg, int id, int row, bool checked) {
  return Act(dlg, id, [&](HWND c) {
    return SetListViewItemState(c, row, INDEXTOSTATEIMAGEMASK(checked ? 2 : 1), LVIS_STATEIMAGEMASK);
  });
}

bool Press(HWND sheet, Button b) {
  int id = 0;
  switch (b) {
    case Button::Ok: id = IDOK; break;
    case Button::Apply: id = kIdApplyNow; break;
    case Button::Cancel: id = IDCANCEL; break;
    case Button::Next: id = kIdWizNext; break;
    case Button::Back: id = kIdWizBack; break;
    case Button::Finish: id = kIdWizFinish; break;
  }
  return Click(sheet, id);
}

bool SelectPage(HWND sheet, WORD templateId) {
  return OnThread<bool>(sheet, [&] {
    auto* s = SheetOf(sheet);
    if (!s) return false;
    for (size_t i = 0; i < s->pages.size(); ++i)
      if (PageTemplateId(s->pages[i].page) == templateId)
        return SendMessageW(sheet, PSM_SETCURSEL, i, 0) != 0;
    return false;
  });
}

void Pump() { PumpPending(); }

void Advance(DWORD ms) {
  // Step from timer to timer; at each step every thread with windows runs what became due (each is
  // asked in turn, as a send would, so it has finished when the clock moves on).
  auto settleAll = [] {
    for (HWND h : WindowPerOtherThread()) RunOnWindowThread(h, [] { PumpPending(); });
    PumpPending();
  };
  settleAll();
  const uint64_t target = winsim::ClockNow() + ms;
  for (;;) {
    uint64_t now = winsim::ClockNow();
    if (now >= target) break;
    uint64_t next = now + NextTimerDelayAnyThread(DWORD(target - now));
    if (next == now) next = now + 1;
    winsim::AdvanceClock(DWORD(next - now));
    settleAll();
  }
}

void Settle(HWND h) {
  RunOnWindowThread(h, [] { PumpPending(); });
}

std::u16string Text(HWND dlg, int id) {
  HWND c = GetDlgItem(dlg, id);
  return c ? WindowText(c) : std::u16string();
}

UINT Checked(HWND dlg, int id) { return IsDlgButtonChecked(dlg, id); }

bool Enabled(HWND dlg, int id) {
  HWND c = GetDlgItem(dlg, id);
  return c && IsWindowEnabled(c);
}

bool Visible(HWND dlg, int id) {
  HWND c = GetDlgItem(dlg, id);
  return c && IsWindowVisible(c);
}

bool HasFocus(HWND dlg, int id) {
  HWND c = GetDlgItem(dlg, id);
  return c && OnThread<bool>(c, [&] { return GetFocus() == c; });
}

std::vector<std::u16string> Items(HWND dlg, int id) {
  HWND c = GetDlgItem(dlg, id);
  return c ? ItemsOf(c) : std::vector<std::u16string>();
}

int CurSel(HWND dlg, int id) {
  HWND c = GetDlgItem(dlg, id);
  if (!c) return -1;
  return int(SendMessageW(c, IsClass(c, u"ComboBox") ? CB_GETCURSEL : LB_GETCURSEL, 0, 0));
}

LPARAM ItemData(HWND dlg, int id, int index) {
  HWND c = GetDlgItem(dlg, id);
  if (!c) return -1;
  return SendMessageW(c, IsClass(c, u"ComboBox") ? CB_GETITEMDATA : LB_GETITEMDATA, WPARAM(index), 0);
}

int CommonControlsVersion(HWND dlg, int id) {
  auto w = FindWnd(GetDlgItem(dlg, id));
  return w ? w->commonControls : 0;
}

DWORD InitialisedCommonControls(int version) { return detail::InitialisedCommonControls(version); }

int Position(HWND dlg, int id) {
  HWND c = GetDlgItem(dlg, id);
  if (!c) return 0;
  if (IsClass(c, TRACKBAR_CLASSW)) return int(SendMessageW(c, TBM_GETPOS, 0, 0));
  if (IsClass(c, UPDOWN_CLASSW)) return int(SendMessageW(c, UDM_GETPOS32, 0, 0));
  if (IsClass(c, PROGRESS_CLASSW)) return int(SendMessageW(c, PBM_GETPOS, 0, 0));
  return 0;
}

std::vector<Row> Rows(HWND dlg, int id) {
  HWND c = GetDlgItem(dlg, id);
  std::vector<Row> out;
  if (!c) return out;
  int n = int(SendMessageW(c, LVM_GETITEMCOUNT, 0, 0));
  size_t cols = std::max<size_t>(1, Columns(dlg, id).size());
  for (int i = 0; i < n; ++i) {
    Row r;
    for (size_t k = 0; k < cols; ++k) {
      WCHAR buf[512] = {};
      ListView_GetItemText(c, i, int(k), buf, 512);
      r.texts.push_back(buf);
    }
    LVITEMW it{};
    it.mask = LVIF_PARAM | LVIF_STATE;
    it.iItem = i;
    it.stateMask = 0xFFFFFFFFu;
    SendMessageW(c, LVM_GETITEMW, 0, reinterpret_cast<LPARAM>(&it));
    r.lParam = it.lParam;
    r.state = it.state;
    r.checked = ((it.state & LVIS_STATEIMAGEMASK) >> 12) == 2;
    out.push_back(r);
  }
  return out;
}

std::vector<std::u16string> Columns(HWND dlg, int id) {
  HWND c = GetDlgItem(dlg, id);
  std::vector<std::u16string> out;
  for (int k = 0; c; ++k) {
    WCHAR buf[256] = {};
    LVCOLUMNW col{};
    col.mask = LVCF_TEXT;
    col.pszText = buf;
    col.cchTextMax = 256;
    if (!SendMessageW(c, LVM_GETCOLUMNW, WPARAM(k), reinterpret_cast<LPARAM>(&col))) break;
    out.push_back(buf);
  }
  return out;
}

bool SheetChanged(HWND sheet) {
  return OnThread<bool>(sheet, [&] {
    auto* s = SheetOf(sheet);
    if (!s) return false;
    for (auto& p : s->pages)
      if (p.changed) return true;
    return false;
  });
}

bool PageChanged(HWND sheet, WORD templateId) {
  return OnThread<bool>(sheet, [&] {
    auto* s = SheetOf(sheet);
    if (!s) return false;
    for (auto& p : s->pages)
      if (PageTemplateId(p.page) == templateId) return p.changed;
    return false;
  });
}

HANDLE ControlBrush(HWND dlg, int id) {
  HWND c = GetDlgItem(dlg, id);
  if (!c) return nullptr;
  return OnThread<HANDLE>(c, [&]() -> HANDLE {
    UINT msg = IsClass(c, u"Static") ? WM_CTLCOLORSTATIC
               : IsClass(c, u"Edit") ? ((GetWindowLongPtrW(c, GWL_STYLE) & ES_READONLY) ? WM_CTLCOLORSTATIC : WM_CTLCOLOREDIT)
               : IsClass(c, u"ListBox") ? WM_CTLCOLORLISTBOX
                                        : WM_CTLCOLORBTN;
    HDC dc = GetDC(c);
    LRESULT r = SendMessageW(dlg, msg, reinterpret_cast<WPARAM>(dc), reinterpret_cast<LPARAM>(c));
    ReleaseDC(c, dc);
    return reinterpret_cast<HANDLE>(r);
  });
}

void SetPaintHook(std::function<void(HWND)> hook) { PaintHook() = std::move(hook); }

HBITMAP PaintedBitmap(HWND h) { return WindowBitmap(h); }

}  // namespace winsim::ui

namespace winsim::detail {
void AfterPaint(HWND h) {
  if (winsim::ui::PaintHook()) winsim::ui::PaintHook()(h);
}
}  // namespace winsim::detail

namespace winsim::detail {
std::vector<std::u16string> ItemsOf(HWND c) {
  std::vector<std::u16string> out;
  const bool combo = IEquals(FindWnd(c) ? FindWnd(c)->cls : std::u16string(), u"ComboBox");
  LRESULT n = SendMessageW(c, combo ? CB_GETCOUNT : LB_GETCOUNT, 0, 0);
  for (LRESULT i = 0; i < n; ++i) {
    LRESULT len = SendMessageW(c, combo ? CB_GETLBTEXTLEN : LB_GETTEXTLEN, WPARAM(i), 0);
    std::u16string t(size_t(len) + 1, u'\0');
    SendMessageW(c, combo ? CB_GETLBTEXT : LB_GETTEXT, WPARAM(i), reinterpret_cast<LPARAM>(t.data()));
    t.resize(size_t(len));
    out.push_back(t);
  }
  return out;
}
}  // namespace winsim::detail
