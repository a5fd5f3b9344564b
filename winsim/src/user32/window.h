// user32 internals shared with comctl32, compstui and the driving API: the window record, the class
// table, and running code on a window's own thread.
#pragma once

#include <atomic>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include <commctrl.h>

#include "gdi32/fonts.h"
#include "internal.h"

namespace winsim::detail {

// Class-specific state of a control (edit text selection, combo items, ...).
struct ControlState {
  virtual ~ControlState() = default;
};

struct Wnd {
  HWND h = nullptr;
  std::u16string cls;  // as registered
  WNDPROC proc = nullptr;
  DWORD style = 0, exStyle = 0;
  int id = 0;
  HWND parent = nullptr, owner = nullptr;
  std::u16string text;
  RECT rect{};  // in the parent's client coordinates (screen for top-level windows)
  HINSTANCE inst = nullptr;
  DWORD thread = 0;
  LONG_PTR userData = 0;
  std::vector<BYTE> extra;  // cbWndExtra bytes (dialogs: DWLP_MSGRESULT, DWLP_DLGPROC, DWLP_USER)
  // Dialogs
  // Atomic: the driving API looks for dialogs from the test's thread while the UI thread makes them.
  std::atomic<bool> isDialog{false};
  std::atomic<bool> ended{false};
  INT_PTR endResult = 0;
  std::atomic<WORD> templateId{0};  // the resource id the dialog came from; 0 for in-memory templates
  int commonControls = 5;  // 6: created while an activation context bound Common Controls 6
  HWND lastFocus = nullptr;
  bool needsPaint = false;
  bool destroyed = false;
  HFONT font = nullptr;
  // The font the window's text is drawn and measured with: a dialog's template font, which the dialog
  // manager gives its controls too (null: the default dialog font).
  std::shared_ptr<const DialogFont> textFont;
  int baseX = 0, baseY = 0;  // dialogs: the base units of their font (MapDialogRect)
  HBITMAP bitmap = nullptr;  // what the window painted (client area, 32 bpp), made on first paint
  std::vector<HWND> children;  // creation order
  std::shared_ptr<ControlState> state;
};

std::shared_ptr<Wnd> FindWnd(HWND h);  // null for a destroyed or unknown window
template <class T>
T* StateOf(HWND h) {
  auto w = FindWnd(h);
  return w ? dynamic_cast<T*>(w->state.get()) : nullptr;
}
void SetState(HWND h, std::shared_ptr<ControlState> s);
// The state of a control window for message m; WM_CREATE gives the window its new state first.
template <class T>
T* StateFor(HWND h, UINT m) {
  if (m == WM_CREATE) SetState(h, std::make_shared<T>());
  return StateOf<T>(h);
}

// Registers a system class (case-insensitive name) with its window procedure and extra bytes.
void RegisterSystemClass(const std::u16string& name, WNDPROC proc, int cbWndExtra = 0);

// Runs fn on the thread that owns h (directly when that is the calling thread), as SendMessageW would.
void RunOnWindowThread(HWND h, const std::function<void()>& fn);

// WM_COMMAND notification of a control to its parent.
void NotifyParent(HWND ctl, WORD code);
// WM_SETFOCUS or WM_KILLFOCUS (m) of a control told to its parent with the control's own codes; answers 0.
inline LRESULT NotifyFocus(HWND ctl, UINT m, WORD setFocus, WORD killFocus) {
  NotifyParent(ctl, m == WM_SETFOCUS ? setFocus : killFocus);
  return 0;
}
// WM_NOTIFY with the given header (hwndFrom, idFrom filled in) to the parent; returns the parent's answer.
LRESULT NotifyParentHdr(HWND ctl, NMHDR* hdr);

// Dialog from template bytes (DLGTEMPLATEEX or DLGTEMPLATE). templateId: for lookup by the driving API.
// asChild: as a property page (WS_CHILD | DS_CONTROL, no caption or popup style, hidden).
HWND CreateDialogFromTemplate(HINSTANCE inst, const void* tmpl, HWND parent, DLGPROC proc, LPARAM param,
                              WORD templateId, bool asChild = false);
// Template bytes of a dialog resource (null with the last error when missing).
const void* LoadDialogTemplate(HINSTANCE inst, LPCWSTR name);

// Processes everything waiting for the calling thread (sent and posted messages, due timers, paints);
// true when anything ran.
bool PumpPending();
// Runs one message of the calling thread's queue, waiting for one when none is there; false on WM_QUIT.
bool PumpOne(bool wait);
// Modal loop: runs messages of the calling thread until done() is true.
void ModalLoop(const std::function<bool()>& done);

std::vector<HWND> TopLevelWindows();  // every live window without a parent, in creation order
std::vector<HWND> AllWindows();       // every live window, in creation order
void AfterPaint(HWND h);              // the driving API's paint hook
HBITMAP WindowBitmap(HWND h);         // what the window painted last (null before its first paint)
// Milliseconds until the calling thread's next timer is due (at most `limit`; 0 when one is due).
DWORD NextTimerDelay(DWORD limit);
DWORD NextTimerDelayAnyThread(DWORD limit);  // the same over the timers of every thread
std::vector<HWND> WindowPerOtherThread();    // one live window of each other thread that has windows

// Unexpected system dialogs (no queued answer): recorded and, when a hook is set, reported to it.
void ReportUnexpected(const std::string& what);

// The font of h's text (its dialog's font, else the default dialog font).
const DialogFont& TextFontOf(HWND h);

// Where a standard control shows its own text (controltext.cpp): buttons, check boxes, radio buttons,
// group boxes, static text; kNone for the others and for empty texts.
struct ControlText {
  enum Kind { kNone, kLine, kWrapped } kind = kNone;
  enum Align { kLeft, kCenter, kRight } align = kLeft;
  RECT area{};          // in the control's client coordinates
  RECT box{};           // check boxes and radio buttons: their box
  bool vcenter = false; // the lines centred vertically in the area, else from its top
  std::u16string shown; // the text as drawn: mnemonic markers taken out
};
ControlText ControlTextOf(HWND h);
// The lines the text shows in: one for kLine, word-wrapped into the area's width for kWrapped.
std::vector<std::u16string> ShownLines(HWND h, const ControlText& t);
// Word wrap as DrawText's DT_WORDBREAK: at blanks and between CJK characters; line breaks kept.
std::vector<std::u16string> WrapLines(const DialogFont& f, const std::u16string& text, int width);
std::u16string WithoutPrefixes(const std::u16string& text);  // "&Save" -> "Save", "&&" -> "&"

// The item texts of a combo box or list box.
std::vector<std::u16string> ItemsOf(HWND c);
// Where a combo box or list box shows an item, in its client coordinates: the face of a combo box left of
// its drop-down button (one row high), each row of a list box inside its frame. Empty for other classes.
RECT ItemTextArea(HWND c);

// Numbers as SetDlgItemInt writes them.
std::u16string IntText(long long v);

}  // namespace winsim::detail
