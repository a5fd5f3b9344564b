// user32: dialogs from templates, the dialog item calls, the standard controls, messages across threads.
#include "winsim/dialog_util.h"

#include "winsim/clock.h"

using namespace dlgtest;
namespace ui = winsim::ui;

namespace {

class Dialog : public UiTest {};

Template Sample() {
  Template t(WS_POPUP | WS_CAPTION | WS_VISIBLE, u"Sample");
  t.Item(kStatic, 100, SS_LEFT, u"Name:")
      .Item(kEdit, 101, ES_AUTOHSCROLL | WS_TABSTOP | WS_BORDER, u"abc")
      .Item(kButton, 102, BS_AUTOCHECKBOX | WS_TABSTOP, u"Check")
      .Item(kButton, 110, BS_AUTORADIOBUTTON | WS_GROUP | WS_TABSTOP, u"A")
      .Item(kButton, 111, BS_AUTORADIOBUTTON, u"B")
      .Item(kButton, 112, BS_AUTORADIOBUTTON, u"C")
      .Item(kButton, 120, BS_AUTORADIOBUTTON | WS_GROUP, u"X")
      .Item(kButton, 121, BS_AUTORADIOBUTTON, u"Y")
      .Item(kComboBox, 130, CBS_DROPDOWNLIST | CBS_SORT | WS_TABSTOP)
      .Item(kListBox, 131, LBS_SORT | LBS_NOTIFY)
      .Item(kEdit, 132, ES_MULTILINE | ES_READONLY, u"")
      .Item(kEdit, 133, ES_NUMBER, u"")
      .Item(kButton, IDOK, BS_DEFPUSHBUTTON | WS_TABSTOP, u"OK")
      .Item(kButton, IDCANCEL, BS_PUSHBUTTON | WS_DISABLED, u"Cancel");
  return t;
}

// The sample as a modeless dialog whose procedure logs into `log` (its DWLP_USER).
HWND CreateSample(Log* log) {
  auto t = Sample();
  return CreateDialogIndirectParamW(nullptr, t.get(), nullptr, LoggingProc, reinterpret_cast<LPARAM>(log));
}

// A module whose dialog resource `id` is the sample.
HMODULE ModuleWithSample(WORD id) {
  HMODULE mod = winsim::RegisterModule(u"dlgtest");
  auto t = Sample();
  winsim::AddResource(mod, RT_DIALOG, MAKEINTRESOURCEW(id), t.bytes().data(), t.bytes().size());
  return mod;
}

TEST_F(Dialog, BuildsControlsFromTheTemplateAndPassesTheInitParameter) {
  Log log;
  HWND dlg = CreateSample(&log);
  ASSERT_NE(dlg, nullptr);
  EXPECT_EQ(GetWindowLongPtrW(dlg, DWLP_USER), reinterpret_cast<LONG_PTR>(&log));
  EXPECT_EQ(ui::WindowText(dlg), u"Sample");
  EXPECT_EQ(ui::Text(dlg, 100), u"Name:");
  EXPECT_EQ(ui::Text(dlg, 101), u"abc");
  EXPECT_EQ(GetDlgCtrlID(GetDlgItem(dlg, 102)), 102);
  EXPECT_EQ(GetParent(GetDlgItem(dlg, 102)), dlg);
  EXPECT_EQ(GetDlgItem(dlg, 999), nullptr);
  EXPECT_FALSE(ui::Enabled(dlg, IDCANCEL));
  // The first tab stop took the focus because WM_INITDIALOG answered TRUE.
  EXPECT_TRUE(ui::HasFocus(dlg, 101));
  RECT r;
  ASSERT_TRUE(GetClientRect(GetDlgItem(dlg, 101), &r));
  EXPECT_EQ(r.right, 50 * 6 / 4);  // dialog units to pixels
  EXPECT_TRUE(DestroyWindow(dlg));
  EXPECT_FALSE(IsWindow(dlg));
}

TEST_F(Dialog, ResourceDialogsComeThroughFindResource) {
  HMODULE mod = ModuleWithSample(321);
  Log log;
  HWND dlg = CreateDialogParamW(mod, MAKEINTRESOURCEW(321), nullptr, LoggingProc, reinterpret_cast<LPARAM>(&log));
  ASSERT_NE(dlg, nullptr);
  EXPECT_EQ(ui::FindDialog(321, 0), dlg);
  EXPECT_EQ(CreateDialogParamW(mod, MAKEINTRESOURCEW(322), nullptr, LoggingProc, 0), nullptr);
  EXPECT_EQ(GetLastError(), DWORD(ERROR_RESOURCE_NAME_NOT_FOUND));
  winsim::RemoveResources(mod);
}

TEST_F(Dialog, ItemTextAndNumbers) {
  auto t = Sample();
  HWND dlg = CreateDialogIndirectParamW(nullptr, t.get(), nullptr, LoggingProc, 0);
  ASSERT_TRUE(SetDlgItemInt(dlg, 101, UINT(-42), TRUE));
  BOOL ok = FALSE;
  EXPECT_EQ(INT(GetDlgItemInt(dlg, 101, &ok, TRUE)), -42);
  EXPECT_TRUE(ok);
  GetDlgItemInt(dlg, 101, &ok, FALSE);  // unsigned: the minus sign is not a number
  EXPECT_FALSE(ok);
  SetDlgItemTextW(dlg, 101, u" 17 ");
  EXPECT_EQ(GetDlgItemInt(dlg, 101, &ok, FALSE), 17u);
  EXPECT_TRUE(ok);
  SetDlgItemTextW(dlg, 101, u"12x");
  EXPECT_EQ(GetDlgItemInt(dlg, 101, &ok, FALSE), 0u);
  EXPECT_FALSE(ok);
  WCHAR buf[4];
  SetDlgItemTextW(dlg, 101, u"abcdef");
  EXPECT_EQ(GetDlgItemTextW(dlg, 101, buf, 4), 3u);  // cut to the buffer, terminated
  EXPECT_EQ(std::u16string(buf), u"abc");
  DestroyWindow(dlg);
}

TEST_F(Dialog, ButtonsCheckBoxesAndRadioGroups) {
  Log log;
  HWND dlg = CreateSample(&log);
  EXPECT_TRUE(ui::Click(dlg, 102));
  EXPECT_EQ(ui::Checked(dlg, 102), UINT(BST_CHECKED));
  EXPECT_TRUE(log.Has(Cmd(102, BN_CLICKED)));
  ui::Click(dlg, 102);
  EXPECT_EQ(ui::Checked(dlg, 102), UINT(BST_UNCHECKED));

  ui::Click(dlg, 120);
  ui::Click(dlg, 110);
  ui::Click(dlg, 112);
  // Only the clicked button of each group is checked; the groups do not touch each other.
  EXPECT_EQ(ui::Checked(dlg, 110), UINT(BST_UNCHECKED));
  EXPECT_EQ(ui::Checked(dlg, 112), UINT(BST_CHECKED));
  EXPECT_EQ(ui::Checked(dlg, 120), UINT(BST_CHECKED));

  EXPECT_TRUE(CheckRadioButton(dlg, 110, 112, 111));
  EXPECT_EQ(IsDlgButtonChecked(dlg, 111), UINT(BST_CHECKED));
  EXPECT_EQ(IsDlgButtonChecked(dlg, 112), UINT(BST_UNCHECKED));
  CheckDlgButton(dlg, 102, BST_CHECKED);
  EXPECT_EQ(log.Count(Cmd(102, BN_CLICKED)), 2u);  // setting a check is not a click

  // A disabled or hidden button takes no clicks.
  EXPECT_FALSE(ui::Click(dlg, IDCANCEL));
  EXPECT_FALSE(log.Has(Cmd(IDCANCEL, BN_CLICKED)));
  ShowWindow(GetDlgItem(dlg, IDOK), SW_HIDE);
  EXPECT_FALSE(ui::Click(dlg, IDOK));
  EXPECT_FALSE(ui::Visible(dlg, IDOK));
  DestroyWindow(dlg);
}

TEST_F(Dialog, EditControlsTypingLimitsAndNotifications) {
  Log log;
  HWND dlg = CreateSample(&log);
  HWND edit = GetDlgItem(dlg, 101);
  log.lines.clear();
  ASSERT_TRUE(ui::Type(dlg, 101, u"hello"));
  EXPECT_EQ(ui::Text(dlg, 101), u"hello");
  EXPECT_EQ(log.Count(Cmd(101, EN_CHANGE)), 5u);  // one per character

  SendMessageW(edit, EM_LIMITTEXT, 7, 0);
  ui::Append(dlg, 101, u"world");
  EXPECT_EQ(ui::Text(dlg, 101), u"hellowo");
  EXPECT_TRUE(log.Has(Cmd(101, EN_MAXTEXT)));

  // EM_REPLACESEL replaces the selection and leaves the caret after the new text.
  SendMessageW(edit, EM_LIMITTEXT, 0, 0);
  SendMessageW(edit, EM_SETSEL, 1, 3);
  SendMessageW(edit, EM_REPLACESEL, FALSE, reinterpret_cast<LPARAM>(u"EL"));
  EXPECT_EQ(ui::Text(dlg, 101), u"hELlowo");
  DWORD a = 0, b = 0;
  SendMessageW(edit, EM_GETSEL, reinterpret_cast<WPARAM>(&a), reinterpret_cast<LPARAM>(&b));
  EXPECT_EQ(a, 3u);
  EXPECT_EQ(b, 3u);
  SendMessageW(edit, EM_REPLACESEL, FALSE, reinterpret_cast<LPARAM>(u"!"));
  EXPECT_EQ(ui::Text(dlg, 101), u"hEL!lowo");

  // Single-line edits report WM_SETTEXT as a change, multi-line ones do not.
  log.lines.clear();
  SetDlgItemTextW(dlg, 101, u"x");
  SetDlgItemTextW(dlg, 132, u"line1\r\nline2");
  EXPECT_TRUE(log.Has(Cmd(101, EN_CHANGE)));
  EXPECT_FALSE(log.Has(Cmd(132, EN_CHANGE)));
  EXPECT_EQ(SendDlgItemMessageW(dlg, 132, EM_GETLINECOUNT, 0, 0), 2);

  EXPECT_FALSE(ui::Type(dlg, 132, u"no"));  // read-only
  ui::Type(dlg, 133, u"1a2");                // digits only
  EXPECT_EQ(ui::Text(dlg, 133), u"12");

  // Focus moves send EN_KILLFOCUS to the old edit and EN_SETFOCUS to the new one.
  log.lines.clear();
  ui::Focus(dlg, 101);
  ui::Focus(dlg, 133);
  EXPECT_TRUE(log.Has(Cmd(101, EN_KILLFOCUS)));
  EXPECT_TRUE(log.Has(Cmd(133, EN_SETFOCUS)));
  EXPECT_EQ(GetFocus(), GetDlgItem(dlg, 133));
  DestroyWindow(dlg);
}

TEST_F(Dialog, ComboAndListBoxes) {
  Log log;
  HWND dlg = CreateSample(&log);
  HWND combo = GetDlgItem(dlg, 130);
  for (auto s : {u"pear", u"Apple", u"fig"}) {
    LRESULT i = SendMessageW(combo, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(s));
    SendMessageW(combo, CB_SETITEMDATA, WPARAM(i), LPARAM(s[0]));
  }
  EXPECT_EQ(ui::Items(dlg, 130), (std::vector<std::u16string>{u"Apple", u"fig", u"pear"}));
  EXPECT_EQ(ui::ItemData(dlg, 130, 2), LPARAM(u'p'));
  EXPECT_EQ(SendMessageW(combo, CB_FINDSTRINGEXACT, WPARAM(-1), reinterpret_cast<LPARAM>(u"FIG")), 1);
  EXPECT_EQ(SendMessageW(combo, CB_FINDSTRING, WPARAM(-1), reinterpret_cast<LPARAM>(u"pe")), 2);
  EXPECT_EQ(SendMessageW(combo, CB_GETITEMDATA, 7, 0), CB_ERR);

  SendMessageW(combo, CB_SETCURSEL, 1, 0);
  EXPECT_FALSE(log.Has(Cmd(130, CBN_SELCHANGE)));  // only the user's choice notifies
  EXPECT_EQ(ui::Text(dlg, 130), u"fig");
  ASSERT_TRUE(ui::SelectText(dlg, 130, u"pear"));
  EXPECT_TRUE(log.Has(Cmd(130, CBN_SELCHANGE)));
  EXPECT_EQ(ui::CurSel(dlg, 130), 2);
  SendMessageW(combo, CB_DELETESTRING, 0, 0);
  EXPECT_EQ(ui::CurSel(dlg, 130), 1);  // the selection follows its item

  HWND list = GetDlgItem(dlg, 131);
  for (auto s : {u"b", u"c", u"a"}) SendMessageW(list, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(s));
  EXPECT_EQ(ui::Items(dlg, 131), (std::vector<std::u16string>{u"a", u"b", u"c"}));
  ui::Select(dlg, 131, 2);
  EXPECT_TRUE(log.Has(Cmd(131, LBN_SELCHANGE)));
  EXPECT_EQ(ui::CurSel(dlg, 131), 2);
  DestroyWindow(dlg);
}

INT_PTR CALLBACK EndOnOk(HWND h, UINT m, WPARAM wp, LPARAM) {
  if (m == WM_COMMAND && LOWORD(wp) == IDOK) {
    EndDialog(h, 42);
    return TRUE;
  }
  if (m == WM_COMMAND && LOWORD(wp) == IDCANCEL) {
    EndDialog(h, IDCANCEL);
    return TRUE;
  }
  if (m == WM_USER) {
    SetWindowLongPtrW(h, DWLP_MSGRESULT, LONG_PTR(wp * 2));
    return TRUE;
  }
  return m == WM_INITDIALOG;
}

TEST_F(Dialog, ModalDialogRunsItsLoopOnItsThreadUntilEndDialog) {
  HMODULE mod = ModuleWithSample(400);
  ui::UiThread modal([&] { return intptr_t(DialogBoxParamW(mod, MAKEINTRESOURCEW(400), nullptr, EndOnOk, 0)); });
  HWND dlg = ui::FindDialog(400);
  ASSERT_NE(dlg, nullptr);
  // A send from this thread waits for the dialog's thread; DWLP_MSGRESULT is the answer.
  EXPECT_EQ(SendMessageW(dlg, WM_USER, 21, 0), 42);
  ASSERT_TRUE(ui::Type(dlg, 101, u"typed"));
  EXPECT_EQ(ui::Text(dlg, 101), u"typed");
  ASSERT_TRUE(ui::Click(dlg, IDOK));
  EXPECT_EQ(modal.Join(), 42);
  EXPECT_FALSE(IsWindow(dlg));
  winsim::RemoveResources(mod);
}

TEST_F(Dialog, PostedMessagesArriveInOrderThroughTheQueue) {
  Log log;
  HWND dlg = CreateSample(&log);
  log.lines.clear();
  PostMessageW(dlg, WM_COMMAND, MAKEWPARAM(7, 1), 0);
  PostMessageW(dlg, WM_COMMAND, MAKEWPARAM(8, 2), 0);
  EXPECT_TRUE(log.lines.empty());
  ui::Pump();
  EXPECT_EQ(log.lines, (std::vector<std::string>{Cmd(7, 1), Cmd(8, 2)}));
  DestroyWindow(dlg);
}

TEST_F(Dialog, TimersFireWhenTheVirtualClockPassesThem) {
  winsim::UseVirtualClock();
  Log log;
  HWND dlg = CreateSample(&log);
  log.lines.clear();
  ASSERT_EQ(SetTimer(dlg, 5, 100, nullptr), UINT_PTR(5));
  ui::Advance(99);
  EXPECT_TRUE(log.lines.empty());
  ui::Advance(1);
  EXPECT_EQ(log.lines, (std::vector<std::string>{"timer 5"}));
  ui::Advance(250);
  EXPECT_EQ(log.Count("timer 5"), 3u);
  ASSERT_TRUE(KillTimer(dlg, 5));
  ui::Advance(500);
  EXPECT_EQ(log.Count("timer 5"), 3u);
  EXPECT_FALSE(KillTimer(dlg, 5));
  DestroyWindow(dlg);
}

INT_PTR CALLBACK EndOnThirdTick(HWND h, UINT m, WPARAM, LPARAM) {
  static int ticks;
  if (m == WM_INITDIALOG) {
    ticks = 0;
    SetTimer(h, 1, 1000, nullptr);
    return TRUE;
  }
  if (m == WM_TIMER && ++ticks == 3) EndDialog(h, ticks);
  return FALSE;
}

TEST_F(Dialog, AModalDialogsTimerRunsOnItsThreadAsTheClockAdvances) {
  winsim::UseVirtualClock();
  HMODULE mod = ModuleWithSample(401);
  ui::UiThread modal([&] { return intptr_t(DialogBoxParamW(mod, MAKEINTRESOURCEW(401), nullptr, EndOnThirdTick, 0)); });
  HWND dlg = ui::FindDialog(401);
  ASSERT_NE(dlg, nullptr);
  ui::Advance(2500);
  EXPECT_FALSE(modal.Done());
  ui::Advance(500);
  EXPECT_EQ(modal.Join(), 3);
  winsim::RemoveResources(mod);
}

struct PaintSeen {
  int drawItems = 0;
  UINT ctlType = 0;
  HBRUSH brush = reinterpret_cast<HBRUSH>(0x1234);
};

INT_PTR CALLBACK PaintProc(HWND h, UINT m, WPARAM, LPARAM lp) {
  if (m == WM_INITDIALOG) {
    SetWindowLongPtrW(h, DWLP_USER, lp);
    return TRUE;
  }
  auto* seen = reinterpret_cast<PaintSeen*>(GetWindowLongPtrW(h, DWLP_USER));
  if (m == WM_DRAWITEM) {
    ++seen->drawItems;
    seen->ctlType = reinterpret_cast<DRAWITEMSTRUCT*>(lp)->CtlType;
    return TRUE;
  }
  if (m == WM_CTLCOLORSTATIC) return reinterpret_cast<INT_PTR>(seen->brush);
  return FALSE;
}

TEST_F(Dialog, OwnerDrawnStaticsAskTheirParentToDraw) {
  PaintSeen seen;
  Template t(WS_POPUP | WS_VISIBLE, u"Paint");
  t.Item(kStatic, 10, SS_OWNERDRAW).Item(kStatic, 11, SS_LEFT, u"text");
  HWND dlg = CreateDialogIndirectParamW(nullptr, t.get(), nullptr, PaintProc, reinterpret_cast<LPARAM>(&seen));
  ui::Pump();  // WM_PAINT comes from the queue once it is empty
  EXPECT_EQ(seen.drawItems, 1);
  EXPECT_EQ(seen.ctlType, UINT(ODT_STATIC));
  InvalidateRect(GetDlgItem(dlg, 10), nullptr, TRUE);
  UpdateWindow(GetDlgItem(dlg, 10));
  EXPECT_EQ(seen.drawItems, 2);
  UpdateWindow(GetDlgItem(dlg, 10));  // nothing left to paint
  EXPECT_EQ(seen.drawItems, 2);
  // The dialog procedure's brush answer to WM_CTLCOLORSTATIC is returned as is, and the static paints
  // its background with it.
  EXPECT_EQ(ui::ControlBrush(dlg, 11), reinterpret_cast<HANDLE>(seen.brush));
  DestroyWindow(dlg);

  seen.brush = CreateSolidBrush(RGB(255, 255, 255));
  dlg = CreateDialogIndirectParamW(nullptr, t.get(), nullptr, PaintProc, reinterpret_cast<LPARAM>(&seen));
  ui::Pump();
  HDC dc = GetDC(GetDlgItem(dlg, 11));
  EXPECT_EQ(GetPixel(dc, 2, 2), RGB(255, 255, 255));
  ReleaseDC(GetDlgItem(dlg, 11), dc);
  dc = GetDC(dlg);
  EXPECT_EQ(GetPixel(dc, 1, 1), GetSysColor(COLOR_BTNFACE));  // the dialog keeps the default background
  ReleaseDC(dlg, dc);
  BITMAP bm{};
  ASSERT_TRUE(GetObjectW(ui::PaintedBitmap(dlg), sizeof bm, &bm));
  RECT rc;
  GetClientRect(dlg, &rc);
  EXPECT_EQ(bm.bmWidth, rc.right);
  DestroyWindow(dlg);
  DeleteObject(seen.brush);
}

}  // namespace
