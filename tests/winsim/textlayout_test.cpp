// Dialogs laid out in their font as the dialog manager does it, and the check of control texts that do not
// show whole: widths after a check box's box, inside a button's edges, a group box caption within its
// frame, wrapped static text, CJK text in the linked CJK face, texts drawn over a neighbour.
#include <gtest/gtest.h>

#include <string>

#include "dialog_util.h"

namespace dlgtest {
namespace {

constexpr int kA = 10, kB = 11, kC = 12;

RECT WindowRectIn(HWND dlg, int id) {
  RECT r{};
  GetWindowRect(GetDlgItem(dlg, id), &r);
  return r;
}

// What the check says of control id, problems joined by "; " (empty: the text shows whole).
std::string Problems(HWND dlg, int id) {
  std::string out;
  for (const auto& p : winsim::ui::TextProblems(dlg))
    if (p.id == id) out += (out.empty() ? "" : "; ") + p.problem;
  return out;
}

using DialogFont = UiTest;

// The 8-point shell dialog font has base units of 6 by 13 pixels on a 96-dpi screen (the values Windows
// gives for it); MapDialogRect and the controls' places round as MulDiv does.
TEST_F(DialogFont, BaseUnitsOfTheShellFontAndMulDivRounding) {
  Template t(WS_POPUP, u"Units");
  t.Item(kButton, kA, BS_PUSHBUTTON, u"OK", 7, 33, 39, 14);
  HWND dlg = CreateDialogIndirectParamW(nullptr, t.get(), nullptr, nullptr, 0);
  ASSERT_NE(dlg, nullptr);
  RECT r{0, 0, 4, 8};
  ASSERT_TRUE(MapDialogRect(dlg, &r));
  EXPECT_EQ(r.right, 6);
  EXPECT_EQ(r.bottom, 13);
  r = RECT{7, 33, 7 + 39, 33 + 14};
  ASSERT_TRUE(MapDialogRect(dlg, &r));
  EXPECT_EQ(r.left, 11) << "7 * 6 / 4 = 10.5 rounds up";
  EXPECT_EQ(r.right, 69) << "46 * 6 / 4 = 69";
  EXPECT_EQ(r.top, 54) << "33 * 13 / 8 = 53.6";
  RECT b = WindowRectIn(dlg, kA);
  EXPECT_EQ(b.right - b.left, 59) << "39 * 6 / 4 = 58.5 rounds up";
  EXPECT_EQ(b.bottom - b.top, 23) << "14 * 13 / 8 = 22.75";

  // Only dialogs have base units.
  HWND plain = GetDlgItem(dlg, kA);
  SetLastError(0);
  EXPECT_FALSE(MapDialogRect(plain, &r));
  EXPECT_EQ(GetLastError(), DWORD(ERROR_INVALID_WINDOW_HANDLE));
  DestroyWindow(dlg);
}

TEST_F(DialogFont, ALargerFontGivesLargerUnits) {
  Template small(WS_POPUP, u"8 pt"), large(WS_POPUP, u"12 pt", 200, 120, 12);
  HWND a = CreateDialogIndirectParamW(nullptr, small.get(), nullptr, nullptr, 0);
  HWND b = CreateDialogIndirectParamW(nullptr, large.get(), nullptr, nullptr, 0);
  ASSERT_TRUE(a && b);
  RECT ra{0, 0, 400, 800}, rb = ra;
  MapDialogRect(a, &ra);
  MapDialogRect(b, &rb);
  // 12 pt is 16 pixels against 11: half as large again, give or take the rounding of whole pixels.
  EXPECT_GT(rb.right, ra.right * 13 / 10);
  EXPECT_GT(rb.bottom, ra.bottom * 13 / 10);
  DestroyWindow(a);
  DestroyWindow(b);
}

// A drop-down combo box is as tall as its selection field (21 pixels in the 8-point font); the height in
// the template is the list's. An up-down aligned right sits inside its buddy's right edge.
TEST_F(DialogFont, ComboBoxFieldAndUpDownInsideItsBuddy) {
  Template t(WS_POPUP, u"Fields");
  t.Item(kComboBox, kA, CBS_DROPDOWNLIST, u"", 10, 10, 80, 120)
      .Item(kEdit, kB, ES_LEFT, u"5", 10, 40, 40, 12)
      .Item(UPDOWN_CLASSW, kC, UDS_ALIGNRIGHT | UDS_AUTOBUDDY, u"", 60, 40, 10, 12);
  HWND dlg = CreateDialogIndirectParamW(nullptr, t.get(), nullptr, nullptr, 0);
  ASSERT_NE(dlg, nullptr);
  const RECT combo = WindowRectIn(dlg, kA);
  EXPECT_EQ(combo.bottom - combo.top, 21);
  const RECT edit = WindowRectIn(dlg, kB), spin = WindowRectIn(dlg, kC);
  EXPECT_EQ(spin.right, 75) << "the edit's right edge: (10 + 40) * 6 / 4";
  EXPECT_EQ(spin.right - spin.left, 15);
  EXPECT_EQ(spin.top, edit.top);
  EXPECT_EQ(spin.bottom, edit.bottom);
  EXPECT_EQ(edit.right, 62) << "the edit gives up the width the up-down covers, less their shared border";
  DestroyWindow(dlg);
}

using TextFit = UiTest;

// Widths below are those of Liberation Sans at 11 pixels (the 8-point shell font), measured on their own.
TEST_F(TextFit, ButtonCaptionsInsideTheirEdges) {
  Template t(WS_POPUP, u"Buttons");
  t.Item(kButton, kA, BS_PUSHBUTTON, u"&WWWWWWWW", 10, 10, 20, 14)  // 80 px; the mnemonic marker takes none
      .Item(kButton, kB, BS_PUSHBUTTON, u"OK", 40, 10, 20, 14)
      .Item(kButton, kC, BS_DEFPUSHBUTTON, u"A&&B", 70, 10, 30, 14);
  HWND dlg = CreateDialogIndirectParamW(nullptr, t.get(), nullptr, nullptr, 0);
  ASSERT_NE(dlg, nullptr);
  EXPECT_EQ(Problems(dlg, kA), "needs 80 px of width, has 24") << "30 px less 3 on each side";
  EXPECT_EQ(Problems(dlg, kB), "");
  EXPECT_EQ(Problems(dlg, kC), "");
  DestroyWindow(dlg);
}

// A check box's text starts after its 13-pixel box and a 4-pixel gap: 60 units (90 pixels) hold the
// 79-pixel text alone, not after the box.
TEST_F(TextFit, CheckBoxAndRadioTextsAfterTheirBox) {
  Template t(WS_POPUP, u"Boxes");
  t.Item(kStatic, kA, SS_LEFTNOWORDWRAP, u"Mirror the image", 10, 10, 60, 8)
      .Item(kButton, kB, BS_AUTOCHECKBOX, u"Mirror the image", 10, 30, 60, 10)
      .Item(kButton, kC, BS_AUTORADIOBUTTON, u"Mirror the image", 10, 50, 80, 10);
  HWND dlg = CreateDialogIndirectParamW(nullptr, t.get(), nullptr, nullptr, 0);
  ASSERT_NE(dlg, nullptr);
  EXPECT_EQ(Problems(dlg, kA), "");
  EXPECT_EQ(Problems(dlg, kB), "needs 79 px of width, has 73");
  EXPECT_EQ(Problems(dlg, kC), "") << "120 pixels leave room after the box";
  DestroyWindow(dlg);
}

// Static text wraps at blanks; the lines must fit the height. A group box caption stays inside its frame.
TEST_F(TextFit, WrappedStaticsAndGroupCaptions) {
  Template t(WS_POPUP, u"Wrap");
  t.Item(kStatic, kA, SS_LEFT, u"Horizontal offset:", 10, 10, 40, 8)  // 82 px: "Horizontal" and "offset:"
      .Item(kStatic, kB, SS_LEFT, u"Horizontal offset:", 10, 30, 40, 16)
      .Item(kButton, kC, BS_GROUPBOX, u"Orientation and mirroring", 10, 60, 40, 40);  // 120 px
  HWND dlg = CreateDialogIndirectParamW(nullptr, t.get(), nullptr, nullptr, 0);
  ASSERT_NE(dlg, nullptr);
  EXPECT_EQ(Problems(dlg, kA), "2 lines need 26 px of height, has 13");
  EXPECT_EQ(Problems(dlg, kB), "") << "16 units hold both lines";
  EXPECT_EQ(Problems(dlg, kC), "needs 120 px of width, has 44") << "60 pixels less 8 at either end";
  DestroyWindow(dlg);
}

// CJK ideographs come from the linked CJK face, one em (11 pixels) each; Chinese text breaks between
// ideographs. A character that no installed face has is reported.
TEST_F(TextFit, CjkTextInItsFaceAndMissingCharacters) {
  Template t(WS_POPUP, u"CJK");
  t.Item(kStatic, kA, SS_LEFTNOWORDWRAP, u"打印速度", 10, 10, 30, 8)   // 44 px in 45
      .Item(kStatic, kB, SS_LEFTNOWORDWRAP, u"打印速度", 10, 30, 28, 8)  // 44 px in 42
      .Item(kStatic, kC, SS_LEFT, u"打印速度打印速度", 10, 50, 30, 16);  // two lines of four
  HWND dlg = CreateDialogIndirectParamW(nullptr, t.get(), nullptr, nullptr, 0);
  ASSERT_NE(dlg, nullptr);
  EXPECT_EQ(Problems(dlg, kA), "") << "is a CJK font installed?";
  EXPECT_EQ(Problems(dlg, kB), "needs 44 px of width, has 42");
  EXPECT_EQ(Problems(dlg, kC), "");
  SetWindowTextW(GetDlgItem(dlg, kA), u"\u0378");  // unassigned: in no font
  EXPECT_NE(Problems(dlg, kA).find("no installed font has U+0378"), std::string::npos);
  DestroyWindow(dlg);
}

// Text that runs into the next control is reported where both show; a label whose rectangle overlaps but
// whose text stops short is not, and a hidden control's text is still measured.
TEST_F(TextFit, TextOverNeighboursAndHiddenControls) {
  Template t(WS_POPUP, u"Over");
  t.Item(kStatic, kA, SS_LEFT, u"A long label text", 10, 10, 100, 8)  // 76 px from x = 15
      .Item(kEdit, kB, ES_LEFT, u"", 40, 8, 40, 12)                    // from x = 60
      .Item(kStatic, kC, SS_LEFT, u"Short", 10, 30, 100, 8);
  HWND dlg = CreateDialogIndirectParamW(nullptr, t.get(), nullptr, nullptr, 0);
  ASSERT_NE(dlg, nullptr);
  EXPECT_EQ(Problems(dlg, kA), "drawn over control 11");
  MoveWindow(GetDlgItem(dlg, kB), 60, 42, 60, 18, FALSE);  // now over "Short"'s rectangle, right of its text
  EXPECT_EQ(Problems(dlg, kC), "");
  ShowWindow(GetDlgItem(dlg, kB), SW_HIDE);
  EXPECT_EQ(Problems(dlg, kA), "") << "the edit is hidden";
  ShowWindow(GetDlgItem(dlg, kA), SW_HIDE);
  SetWindowTextW(GetDlgItem(dlg, kA), u"Averyveryverylongwordthatcannotwrap");
  EXPECT_NE(Problems(dlg, kA).find("px of width, has 150"), std::string::npos) << "hidden, yet measured";
  SetWindowTextW(GetDlgItem(dlg, kA), u"");
  EXPECT_EQ(Problems(dlg, kA), "") << "no text, nothing to show";
  DestroyWindow(dlg);
}

// The items a program puts into a drop-down list show in its face, left of the drop-down button (as wide as
// the 21-pixel face is high) and 3 pixels in from either side; a list box shows each row 4 pixels in.
TEST_F(TextFit, ListItemsWhereTheListShowsThem) {
  Template t(WS_POPUP, u"Lists");
  t.Item(kComboBox, kA, CBS_DROPDOWNLIST, u"", 10, 10, 60, 80)  // 90 px: 63 for the text
      .Item(kComboBox, kB, CBS_DROPDOWNLIST, u"", 80, 10, 80, 80)  // 120 px: 93
      .Item(kListBox, kC, LBS_NOTIFY, u"", 10, 40, 55, 40);         // 83 px: 75
  HWND dlg = CreateDialogIndirectParamW(nullptr, t.get(), nullptr, nullptr, 0);
  ASSERT_NE(dlg, nullptr);
  EXPECT_EQ(Problems(dlg, kA), "") << "no items yet";
  for (int id : {kA, kB}) {
    SendDlgItemMessageW(dlg, id, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(u"None"));
    SendDlgItemMessageW(dlg, id, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(u"Mirror the image"));  // 79 px
  }
  SendDlgItemMessageW(dlg, kC, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(u"Mirror the image"));
  EXPECT_EQ(Problems(dlg, kA), "item needs 79 px of width, has 63") << "measured whether selected or not";
  EXPECT_EQ(Problems(dlg, kB), "");
  EXPECT_EQ(Problems(dlg, kC), "item needs 79 px of width, has 75");
  SendDlgItemMessageW(dlg, kB, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(u"\u0378"));
  EXPECT_NE(Problems(dlg, kB).find("item has U+0378, which no installed font has"), std::string::npos);
  DestroyWindow(dlg);
}

}  // namespace
}  // namespace dlgtest
