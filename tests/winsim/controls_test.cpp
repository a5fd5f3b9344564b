// comctl32 controls: trackbar, up-down with its buddy, progress bar, list view, IP address control.
#include "winsim/dialog_util.h"

using namespace dlgtest;
namespace ui = winsim::ui;

namespace {

class Controls : public UiTest {
 protected:
  void SetUp() override {
    UiTest::SetUp();
    Template t(WS_POPUP | WS_VISIBLE, u"Controls");
    t.Item(TRACKBAR_CLASSW, 10, TBS_HORZ)
        .Item(kEdit, 20, ES_NUMBER)
        .Item(UPDOWN_CLASSW, 21, UDS_AUTOBUDDY | UDS_SETBUDDYINT | UDS_ALIGNRIGHT)
        .Item(kEdit, 22, 0)
        .Item(UPDOWN_CLASSW, 23, UDS_AUTOBUDDY | UDS_SETBUDDYINT | UDS_WRAP)
        .Item(PROGRESS_CLASSW, 30, 0)
        .Item(WC_LISTVIEWW, 40, LVS_REPORT | LVS_SINGLESEL)
        .Item(WC_IPADDRESSW, 50, WS_TABSTOP);
    tmpl_ = t.bytes();
    dlg_ = CreateDialogIndirectParamW(nullptr, reinterpret_cast<const DLGTEMPLATE*>(tmpl_.data()), nullptr,
                                      LoggingProc, reinterpret_cast<LPARAM>(&log_));
    ASSERT_NE(dlg_, nullptr);
    log_.lines.clear();  // the initial focus (EN_SETFOCUS of the IP address control)
  }
  void TearDown() override {
    DestroyWindow(dlg_);
    UiTest::TearDown();
  }
  HWND Item(int id) { return GetDlgItem(dlg_, id); }
  std::vector<BYTE> tmpl_;
  HWND dlg_ = nullptr;
  Log log_;
};

TEST_F(Controls, TrackbarClampsAndReportsADrag) {
  SendMessageW(Item(10), TBM_SETRANGEMIN, FALSE, 5);
  SendMessageW(Item(10), TBM_SETRANGEMAX, FALSE, 15);
  SendMessageW(Item(10), TBM_SETPOS, TRUE, 99);
  EXPECT_EQ(ui::Position(dlg_, 10), 15);
  EXPECT_TRUE(log_.lines.empty());  // setting the position is silent
  ASSERT_TRUE(ui::Slide(dlg_, 10, 7));
  EXPECT_EQ(ui::Position(dlg_, 10), 7);
  EXPECT_EQ(log_.lines, (std::vector<std::string>{"scroll 5@7", "scroll 4@7", "scroll 8@0"}));
}

TEST_F(Controls, TrackbarTicMarksInsideTheRangeOnly) {
  SendMessageW(Item(10), TBM_SETRANGE, FALSE, MAKELPARAM(0, 200));
  EXPECT_EQ(SendMessageW(Item(10), TBM_GETNUMTICS, 0, 0), 2) << "the two ends";
  EXPECT_TRUE(SendMessageW(Item(10), TBM_SETTIC, 0, 10));
  EXPECT_TRUE(SendMessageW(Item(10), TBM_SETTIC, 0, 190));
  EXPECT_FALSE(SendMessageW(Item(10), TBM_SETTIC, 0, 201));
  EXPECT_FALSE(SendMessageW(Item(10), TBM_SETTIC, 0, -1));
  EXPECT_EQ(SendMessageW(Item(10), TBM_GETNUMTICS, 0, 0), 4);
}

INT_PTR CALLBACK RefuseOddSpins(HWND h, UINT m, WPARAM wp, LPARAM lp) {
  if (m == WM_NOTIFY && reinterpret_cast<NMHDR*>(lp)->code == UDN_DELTAPOS) {
    auto* nm = reinterpret_cast<NMUPDOWN*>(lp);
    SetWindowLongPtrW(h, DWLP_MSGRESULT, (nm->iPos + nm->iDelta) % 2 != 0);
    return TRUE;
  }
  return LoggingProc(h, m, wp, lp);
}

TEST_F(Controls, UpDownKeepsItsBuddyAndAsksBeforeEachStep) {
  HWND spin = Item(21);
  EXPECT_EQ(reinterpret_cast<HWND>(SendMessageW(spin, UDM_GETBUDDY, 0, 0)), Item(20));
  SendMessageW(spin, UDM_SETRANGE32, 0, 2000);
  SendMessageW(spin, UDM_SETPOS32, 0, 998);
  EXPECT_EQ(ui::Text(dlg_, 20), u"998");
  ASSERT_TRUE(ui::Spin(dlg_, 21, 2));
  EXPECT_EQ(ui::Text(dlg_, 20), u"1,000");  // thousands separators unless UDS_NOTHOUSANDS
  EXPECT_TRUE(log_.Has(Note(21, UDN_DELTAPOS)));
  EXPECT_TRUE(log_.Has("scroll 4@1000"));
  // The position follows what the user typed into the buddy.
  ui::Type(dlg_, 20, u"1999");
  ui::Spin(dlg_, 21, 3);
  EXPECT_EQ(ui::Position(dlg_, 21), 2000);
  ui::Type(dlg_, 20, u"");
  BOOL err = FALSE;
  SendMessageW(spin, UDM_GETPOS32, 0, reinterpret_cast<LPARAM>(&err));
  EXPECT_TRUE(err);

  // A non-zero answer to UDN_DELTAPOS cancels the step.
  SetWindowLongPtrW(dlg_, DWLP_DLGPROC, reinterpret_cast<LONG_PTR>(RefuseOddSpins));
  SendMessageW(spin, UDM_SETPOS32, 0, 10);
  ui::Spin(dlg_, 21, 1);
  EXPECT_EQ(ui::Position(dlg_, 21), 10);
  ui::Spin(dlg_, 21, -2);
  EXPECT_EQ(ui::Position(dlg_, 21), 10);  // 9 refused, then 9 again

  // UDS_WRAP wraps at the ends; the default range runs from 100 down to 0.
  HWND wrap = Item(23);
  int lo = 0, hi = 0;
  SendMessageW(wrap, UDM_GETRANGE32, reinterpret_cast<WPARAM>(&lo), reinterpret_cast<LPARAM>(&hi));
  EXPECT_EQ(lo, 100);
  EXPECT_EQ(hi, 0);
  SetWindowLongPtrW(dlg_, DWLP_DLGPROC, reinterpret_cast<LONG_PTR>(LoggingProc));
  SendMessageW(wrap, UDM_SETRANGE32, 0, 4);
  SendMessageW(wrap, UDM_SETPOS32, 0, 4);
  ui::Spin(dlg_, 23, 1);
  EXPECT_EQ(ui::Text(dlg_, 22), u"0");
}

TEST_F(Controls, ProgressBarRangeAndSteps) {
  HWND p = Item(30);
  SendMessageW(p, PBM_SETRANGE32, 0, 50);
  SendMessageW(p, PBM_SETSTEP, 20, 0);
  EXPECT_EQ(SendMessageW(p, PBM_SETPOS, 70, 0), 0);
  EXPECT_EQ(ui::Position(dlg_, 30), 50);
  SendMessageW(p, PBM_SETPOS, 40, 0);
  SendMessageW(p, PBM_STEPIT, 0, 0);
  EXPECT_EQ(ui::Position(dlg_, 30), 10);  // past the end wraps to the start
}

struct Changes {
  std::vector<NMLISTVIEW> seen;
  bool refuse = false;
};

INT_PTR CALLBACK ListViewProc(HWND h, UINT m, WPARAM, LPARAM lp) {
  if (m == WM_INITDIALOG) return TRUE;
  auto* ch = reinterpret_cast<Changes*>(GetWindowLongPtrW(h, DWLP_USER));
  if (m == WM_NOTIFY && ch) {
    auto* nm = reinterpret_cast<NMLISTVIEW*>(lp);
    if (nm->hdr.code == LVN_ITEMCHANGED) ch->seen.push_back(*nm);
    if (nm->hdr.code == LVN_ITEMCHANGING && ch->refuse) {
      SetWindowLongPtrW(h, DWLP_MSGRESULT, TRUE);
      return TRUE;
    }
  }
  return FALSE;
}

TEST_F(Controls, ListViewRowsCheckBoxesAndSelection) {
  Changes ch;
  SetWindowLongPtrW(dlg_, DWLP_DLGPROC, reinterpret_cast<LONG_PTR>(ListViewProc));
  SetWindowLongPtrW(dlg_, DWLP_USER, reinterpret_cast<LONG_PTR>(&ch));
  HWND lv = Item(40);
  ListView_SetExtendedListViewStyle(lv, LVS_EX_CHECKBOXES | LVS_EX_FULLROWSELECT);
  LVCOLUMNW col{};
  col.mask = LVCF_TEXT | LVCF_WIDTH;
  for (auto name : {u"Port", u"Printer"}) {
    col.pszText = const_cast<LPWSTR>(name);
    ListView_InsertColumn(lv, 9, &col);
  }
  for (int i = 0; i < 3; ++i) {
    std::u16string port = u"USB00" + std::u16string(1, char16_t(u'1' + i));
    LVITEMW it{};
    it.mask = LVIF_TEXT | LVIF_PARAM;
    it.iItem = i;
    it.pszText = port.data();
    it.lParam = 100 + i;
    ListView_InsertItem(lv, &it);
    ListView_SetItemText(lv, i, 1, const_cast<LPWSTR>(u"TW-QX"));
  }
  EXPECT_EQ(ui::Columns(dlg_, 40), (std::vector<std::u16string>{u"Port", u"Printer"}));
  auto rows = ui::Rows(dlg_, 40);
  ASSERT_EQ(rows.size(), 3u);
  EXPECT_EQ(rows[1].texts, (std::vector<std::u16string>{u"USB002", u"TW-QX"}));
  EXPECT_EQ(rows[1].lParam, 101);
  EXPECT_FALSE(rows[1].checked);
  EXPECT_EQ(ListView_GetCheckState(lv, 1), 0u);

  ASSERT_TRUE(ui::CheckRow(dlg_, 40, 2, true));
  EXPECT_EQ(ListView_GetCheckState(lv, 2), 1u);
  ASSERT_EQ(ch.seen.size(), 1u);
  EXPECT_EQ(ch.seen[0].iItem, 2);
  EXPECT_EQ(ch.seen[0].uOldState & LVIS_STATEIMAGEMASK, UINT(INDEXTOSTATEIMAGEMASK(1)));
  EXPECT_EQ(ch.seen[0].uNewState & LVIS_STATEIMAGEMASK, UINT(INDEXTOSTATEIMAGEMASK(2)));
  EXPECT_EQ(ch.seen[0].lParam, 102);

  // Single selection: selecting a row takes the selection from the other one.
  ui::SelectRow(dlg_, 40, 0);
  ui::SelectRow(dlg_, 40, 1);
  EXPECT_EQ(ListView_GetSelectedCount(lv), 1u);
  EXPECT_EQ(ListView_GetNextItem(lv, -1, LVNI_SELECTED), 1);
  // The parent may refuse a change.
  ch.refuse = true;
  ui::CheckRow(dlg_, 40, 0, true);
  EXPECT_EQ(ListView_GetCheckState(lv, 0), 0u);
}

TEST_F(Controls, IpAddressFieldsBlankAndNotify) {
  HWND ip = Item(50);
  EXPECT_TRUE(SendMessageW(ip, IPM_ISBLANK, 0, 0));
  SendMessageW(ip, IPM_SETADDRESS, 0, MAKEIPADDRESS(192, 168, 1, 20));
  EXPECT_EQ(ui::Text(dlg_, 50), u"192.168.1.20");
  ASSERT_TRUE(ui::SetIpAddress(dlg_, 50, u"10.0..300"));
  DWORD a = 0;
  EXPECT_EQ(SendMessageW(ip, IPM_GETADDRESS, 0, reinterpret_cast<LPARAM>(&a)), 3);  // one field blank
  EXPECT_EQ(a, DWORD(MAKEIPADDRESS(10, 0, 0, 255)));
  EXPECT_EQ(ui::Text(dlg_, 50), u"10.0..255");
  EXPECT_EQ(log_.Count(Note(50, IPN_FIELDCHANGED)), 4u);
  EXPECT_TRUE(log_.Has(Cmd(50, EN_CHANGE)));
  SendMessageW(ip, IPM_CLEARADDRESS, 0, 0);
  EXPECT_TRUE(SendMessageW(ip, IPM_ISBLANK, 0, 0));
}

}  // namespace
