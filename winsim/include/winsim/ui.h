// winsim user interface control: the side door through which tests and tools find the open dialogs and
// property sheets, act on them as a user would, read them back, and script the system's own dialogs.
//
// Threads: a modal dialog or sheet (DialogBoxParamW, PropertySheetW, CommonPropertySheetUIW) runs its
// own loop on the thread that opened it. Start it with UiThread; the calls below then act on its windows
// from the test's thread, each one carried out on the window's own thread (as SendMessageW does), so
// they return once the page has handled everything the action caused. Windows of the calling thread
// (modeless dialogs) are acted on directly; Pump() then runs what was posted.
//
// Actions are user input: a disabled or hidden control refuses them (the call returns false), and they
// send the notifications Windows sends (BN_CLICKED, EN_CHANGE per typed character, CBN_SELCHANGE,
// UDN_DELTAPOS, LVN_ITEMCHANGED, PSN_* ...).
//
// System dialogs (MessageBoxW, GetOpenFileNameW, GetSaveFileNameW, SHBrowseForFolderW, TrackPopupMenu)
// and CreateProcessW take the answers queued here, in order per kind, and every call is recorded. A call
// with nothing queued is recorded in Unexpected(), reported to the hook when one is set, and answered as
// a cancelled dialog (0, FALSE or NULL; CreateProcessW fails with ERROR_FILE_NOT_FOUND).
// winsim::Reset() clears the queues, records and windows (not the hook).
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include <windows.h>

namespace winsim::ui {

// ---- running modal UI -------------------------------------------------------------------------------
class UiThread {
 public:
  explicit UiThread(std::function<intptr_t()> body);  // starts body on a new thread
  ~UiThread();                                        // joins
  intptr_t Join();                                    // waits for body's result
  bool Done() const;
  UiThread(const UiThread&) = delete;
  UiThread& operator=(const UiThread&) = delete;

 private:
  struct Impl;
  std::unique_ptr<Impl> impl_;
};

// ---- finding windows (each waits up to waitMs of real time for the window to appear) ---------------
// A live dialog made from dialog resource `templateId`: top-level dialogs and property pages alike.
HWND FindDialog(WORD templateId, DWORD waitMs = 5000);
HWND FindSheet(DWORD waitMs = 5000);             // the newest open property sheet
// The newest open dialog that `owner` owns (a dialog it opened with DialogBoxParamW, whose modal loop
// runs on the owner's thread), or null; `templateId` (optional) gets its template id. Does not wait.
HWND OwnedDialog(HWND owner, WORD* templateId = nullptr);
HWND Page(HWND sheet, WORD templateId);          // a page window of the sheet (null until created)
HWND CurrentPage(HWND sheet);
std::vector<WORD> PageIds(HWND sheet);           // template ids of the sheet's pages, in tab order
std::u16string WindowText(HWND h);               // a window's text (a sheet's caption)
bool WaitClosed(HWND h, DWORD waitMs = 5000);    // true once h is destroyed

// ---- acting ---------------------------------------------------------------------------------------------
bool Click(HWND dlg, int id);                             // buttons: BM_CLICK
bool Focus(HWND dlg, int id);                             // moves the focus (WM_KILLFOCUS/WM_SETFOCUS)
bool Type(HWND dlg, int id, const std::u16string& text);  // focus, select all, type each character
bool Append(HWND dlg, int id, const std::u16string& text);  // types at the end of the text
bool Select(HWND dlg, int id, int index);                 // combo box, list box: the user's choice
bool SelectText(HWND dlg, int id, const std::u16string& itemText);  // the first item with that text
bool Spin(HWND dlg, int id, int clicks);                  // up-down arrows; positive: up
bool Slide(HWND dlg, int id, int pos);                    // trackbar drag to pos
bool SetIpAddress(HWND dlg, int id, const std::u16string& dotted);
bool SelectRow(HWND dlg, int id, int row);                // list view: selects and focuses one row
bool CheckRow(HWND dlg, int id, int row, bool checked);   // list view check box
enum class Button { Ok, Apply, Cancel, Next, Back, Finish };
bool Press(HWND sheet, Button b);                         // refused when the button is disabled or hidden
bool SelectPage(HWND sheet, WORD templateId);             // clicks the page's tab
void Pump();                         // runs everything waiting for the calling thread
void Settle(HWND h);                 // runs everything waiting for h's thread (posted messages too)
void Advance(DWORD ms);              // moves the clock; timers of every thread fire as it passes them

// ---- reading --------------------------------------------------------------------------------------------
std::u16string Text(HWND dlg, int id);  // the control's text (a drop-down list: its selected item)
UINT Checked(HWND dlg, int id);         // BST_*
bool Enabled(HWND dlg, int id);
bool Visible(HWND dlg, int id);         // the control and all its parents
bool HasFocus(HWND dlg, int id);
std::vector<std::u16string> Items(HWND dlg, int id);  // combo box or list box
int CurSel(HWND dlg, int id);
LPARAM ItemData(HWND dlg, int id, int index);
int Position(HWND dlg, int id);         // trackbar, up-down or progress bar position
struct Row {
  std::vector<std::u16string> texts;  // item text then sub-items
  LPARAM lParam = 0;
  UINT state = 0;
  bool checked = false;
};
std::vector<Row> Rows(HWND dlg, int id);  // list view
std::vector<std::u16string> Columns(HWND dlg, int id);
// The Common Controls version a control was made with: 6 when the creating thread had an activation
// context active whose manifest binds Common Controls 6 (a property page with PSP_USEFUSIONCONTEXT has
// its hActCtx active while it is made), else 5, as for a process without such a manifest. 0: no control.
int CommonControlsVersion(HWND dlg, int id);
// The ICC_* flags InitCommonControlsEx has registered in this machine's life for that version (5 or 6).
DWORD InitialisedCommonControls(int version);
bool SheetChanged(HWND sheet);           // any page marked changed (the Apply button's reason)
bool PageChanged(HWND sheet, WORD templateId);
// The brush a control's parent gives it for painting (WM_CTLCOLORSTATIC for static controls).
HANDLE ControlBrush(HWND dlg, int id);
// Hook for the GDI+ recorder and picture writers: called with each window after it painted (EndPaint).
void SetPaintHook(std::function<void(HWND)> hook);
// What h painted last: a 32 bpp bitmap of its client area (children paint into bitmaps of their own);
// null before its first paint. Owned by the window.
HBITMAP PaintedBitmap(HWND h);
// A picture of h's client area as a PNG file (host path): its visible controls drawn from their state
// (texts, check marks, selections, positions) and what the program painted itself (owner-drawn
// statics, previews) in place. For people who look at a dialog without Windows; tests read state.
bool WriteWindowPng(HWND h, const std::string& path);

// ---- text layout --------------------------------------------------------------------------------------
// Controls of dlg whose own text does not show whole in the dialog's font, measured as the picture above
// draws it: a line or word wider than where the control puts its text (after a check box's box, inside a
// button's edges, a group box's caption within its frame), more wrapped lines than the height holds,
// characters that no installed font has, a control reaching outside the dialog, or (both shown) text
// drawn over another control; and each item of a combo box or list box wider than where the control
// shows it (the face of a drop-down list left of its button; a row of a list box). Hidden controls are
// measured too: the program may show them.
struct TextProblem {
  int id = 0;
  std::u16string text;
  std::string problem;
};
std::vector<TextProblem> TextProblems(HWND dlg);

// ---- scripted system dialogs and programs ---------------------------------------------------------
struct MessageBoxCall {
  std::u16string text, caption;
  UINT type = 0;
  int answer = 0;
};
void QueueMessageBox(int answer);  // IDOK, IDYES, ...
std::vector<MessageBoxCall> MessageBoxes();

struct FileDialogCall {
  bool save = false;
  std::u16string title, filter, initialDir, fileName;  // filter: pairs joined with '|'
  DWORD flags = 0;
  std::u16string answer;  // empty: cancelled
};
void QueueFileName(const std::u16string& path);  // the next open or save dialog chooses path
void QueueFileCancel();
std::vector<FileDialogCall> FileDialogs();

struct FolderDialogCall {
  std::u16string title;
  UINT flags = 0;
  std::u16string answer;
};
void QueueFolder(const std::u16string& path);
void QueueFolderCancel();
std::vector<FolderDialogCall> FolderDialogs();

struct MenuCall {
  std::vector<std::u16string> items;  // texts of the enabled and disabled items, "-" for separators
  UINT flags = 0;
  UINT answer = 0;
};
void QueueMenuChoice(UINT commandId);  // 0: dismissed
std::vector<MenuCall> Menus();

struct ProcessCall {
  std::u16string application, commandLine, directory;
  HANDLE process = nullptr;  // as returned to the caller (valid while the caller keeps it open)
};
// The next CreateProcessW: fails with `error` when non-zero; otherwise starts a process that exits at
// once with exitCode, or keeps running (runsUntilEnded) until EndProcess.
void QueueProcess(DWORD exitCode = 0, bool runsUntilEnded = false, DWORD error = 0);
std::vector<ProcessCall> Processes();
bool EndProcess(size_t index, DWORD exitCode);  // index into Processes()

std::vector<std::string> Unexpected();  // one line per unanswered call: kind and text
void SetUnexpectedHook(std::function<void(const std::string&)> hook);

}  // namespace winsim::ui
