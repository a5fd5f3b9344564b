// The picture of a window that lbl sheet --png writes: controls drawn from their state at their places,
// owner-drawn controls from their own paint, hidden controls left out.
#include <gtest/gtest.h>

#include <cairo.h>

#include <unistd.h>

#include <cstdio>
#include <string>

#include "dialog_util.h"

namespace dlgtest {
namespace {

constexpr int kCheck = 10, kOwner = 11, kHidden = 12, kEdit = 13;

// A picture file of this process alone: another test program may run the same test at the same time.
std::string PicturePath(const std::string& name) {
  return testing::TempDir() + name + "_" + std::to_string(getpid()) + ".png";
}

INT_PTR CALLBACK RedOwnerDraw(HWND, UINT m, WPARAM, LPARAM lp) {
  if (m == WM_INITDIALOG) return TRUE;
  if (m == WM_DRAWITEM) {
    auto* di = reinterpret_cast<DRAWITEMSTRUCT*>(lp);
    HBRUSH red = CreateSolidBrush(RGB(255, 0, 0));
    FillRect(di->hDC, &di->rcItem, red);
    DeleteObject(red);
    return TRUE;
  }
  return FALSE;
}

struct Picture {
  cairo_surface_t* s;
  explicit Picture(const std::string& path) : s(cairo_image_surface_create_from_png(path.c_str())) {}
  ~Picture() { cairo_surface_destroy(s); }
  bool ok() const { return cairo_surface_status(s) == CAIRO_STATUS_SUCCESS; }
  int width() const { return cairo_image_surface_get_width(s); }
  int height() const { return cairo_image_surface_get_height(s); }
  uint32_t at(int x, int y) const {
    const uint8_t* row = cairo_image_surface_get_data(s) + y * cairo_image_surface_get_stride(s);
    return reinterpret_cast<const uint32_t*>(row)[x] & 0xFFFFFF;
  }
  // Pixels of the rectangle darker than mid-grey.
  int Dark(const RECT& r) const {
    int n = 0;
    for (int y = r.top; y < r.bottom; ++y)
      for (int x = r.left; x < r.right; ++x) {
        const uint32_t p = at(x, y);
        n += ((p >> 16 & 0xFF) + (p >> 8 & 0xFF) + (p & 0xFF)) < 3 * 128;
      }
    return n;
  }
};

RECT Dlu(HWND dlg, int x, int y, int cx, int cy) {
  RECT r{x, y, x + cx, y + cy};
  MapDialogRect(dlg, &r);
  return r;
}

using Snapshot = UiTest;

TEST_F(Snapshot, ControlsAppearByTheirStateAndOwnerDrawnOnesByTheirPaint) {
  Template t(WS_POPUP | WS_VISIBLE, u"Snap", 160, 100);
  t.Item(kButton, kCheck, BS_AUTOCHECKBOX, u"Check", 10, 10, 60, 10)
      .Item(kStatic, kOwner, SS_OWNERDRAW, u"", 90, 10, 40, 30)
      .Item(kEdit, kEdit, ES_LEFT, u"Typed text", 10, 50, 80, 14)
      .Item(kStatic, kHidden, SS_LEFT, u"HIDDEN TEXT", 10, 75, 100, 10);
  HWND dlg = CreateDialogIndirectParamW(nullptr, t.get(), nullptr, RedOwnerDraw, 0);
  ASSERT_NE(dlg, nullptr);
  ShowWindow(GetDlgItem(dlg, kHidden), SW_HIDE);
  winsim::ui::Pump();

  const std::string before = PicturePath("snapshot_before");
  ASSERT_TRUE(winsim::ui::WriteWindowPng(dlg, before));
  CheckDlgButton(dlg, kCheck, BST_CHECKED);
  const std::string after = PicturePath("snapshot_after");
  ASSERT_TRUE(winsim::ui::WriteWindowPng(dlg, after));

  Picture a(before), b(after);
  ASSERT_TRUE(a.ok());
  ASSERT_TRUE(b.ok());
  RECT client;
  GetClientRect(dlg, &client);
  EXPECT_EQ(a.width(), client.right);
  EXPECT_EQ(a.height(), client.bottom);

  // The owner-drawn static shows what its parent drew into it.
  const RECT owner = Dlu(dlg, 90, 10, 40, 30);
  EXPECT_EQ(a.at((owner.left + owner.right) / 2, (owner.top + owner.bottom) / 2), 0xFF0000u);
  // The check box gains its mark; its label is drawn either way.
  const RECT box = Dlu(dlg, 10, 10, 8, 10);
  EXPECT_GT(b.Dark(box), a.Dark(box));
  EXPECT_GT(a.Dark(Dlu(dlg, 18, 10, 52, 10)), 0);
  // The edit's text is there; the hidden static's area is blank.
  EXPECT_GT(a.Dark(Dlu(dlg, 10, 50, 80, 14)), 0);
  EXPECT_EQ(a.Dark(Dlu(dlg, 10, 75, 100, 10)), 0);

  std::remove(before.c_str());
  std::remove(after.c_str());
  EXPECT_FALSE(winsim::ui::WriteWindowPng(reinterpret_cast<HWND>(0x7777), before));
  DestroyWindow(dlg);
}

// An owner-drawn control whose parent draws through GetDC while the control paints (inside its
// BeginPaint), as a preview does; the picture shows it without anyone pumping messages first.
INT_PTR CALLBACK BlueThroughGetDC(HWND, UINT m, WPARAM, LPARAM lp) {
  if (m == WM_INITDIALOG) return TRUE;
  if (m == WM_DRAWITEM) {
    auto* di = reinterpret_cast<DRAWITEMSTRUCT*>(lp);
    HDC dc = GetDC(di->hwndItem);
    if (!dc) return TRUE;
    HBRUSH blue = CreateSolidBrush(RGB(0, 0, 255));
    RECT r;
    GetClientRect(di->hwndItem, &r);
    FillRect(dc, &r, blue);
    DeleteObject(blue);
    ReleaseDC(di->hwndItem, dc);
    return TRUE;
  }
  return FALSE;
}

TEST_F(Snapshot, OwnerDrawnThroughGetDCShowsWithoutAPump) {
  Template t(WS_POPUP | WS_VISIBLE, u"Preview", 160, 100);
  t.Item(kStatic, kOwner, SS_OWNERDRAW, u"", 60, 10, 90, 80);
  HWND dlg = CreateDialogIndirectParamW(nullptr, t.get(), nullptr, BlueThroughGetDC, 0);
  ASSERT_NE(dlg, nullptr);
  const std::string path = PicturePath("snapshot_getdc");
  ASSERT_TRUE(winsim::ui::WriteWindowPng(dlg, path));
  Picture p(path);
  ASSERT_TRUE(p.ok());
  const RECT owner = Dlu(dlg, 60, 10, 90, 80);
  EXPECT_EQ(p.at((owner.left + owner.right) / 2, (owner.top + owner.bottom) / 2), 0x0000FFu);
  std::remove(path.c_str());
  DestroyWindow(dlg);
}

// Radio buttons in a group box: nothing is drawn between the rows or to the right of the texts (a path
// left open by one control's text must not join the next control's circle).
TEST_F(Snapshot, RadioButtonsAndGroupBoxesDrawNoStrayLines) {
  Template t(WS_POPUP | WS_VISIBLE, u"Radios", 200, 120);
  t.Item(kButton, 20, BS_GROUPBOX, u"Orientation", 7, 7, 150, 80)
      .Item(kButton, 21, BS_AUTORADIOBUTTON | WS_GROUP, u"0    -Portrait(&P)", 14, 20, 120, 10)
      .Item(kButton, 22, BS_AUTORADIOBUTTON, u"90  -Landscape(&L)", 14, 35, 120, 10)
      .Item(kButton, 23, BS_AUTORADIOBUTTON, u"180-Portrait(&O)", 14, 50, 120, 10)
      .Item(kButton, 24, BS_AUTORADIOBUTTON, u"270-Landscape(&S)", 14, 65, 120, 10)
      .Item(kButton, 25, BS_AUTOCHECKBOX, u"Mirror(&M)", 7, 95, 80, 10);
  HWND dlg = CreateDialogIndirectParamW(nullptr, t.get(), nullptr, RedOwnerDraw, 0);
  ASSERT_NE(dlg, nullptr);
  CheckRadioButton(dlg, 21, 24, 22);
  const std::string path = PicturePath("snapshot_radios");
  ASSERT_TRUE(winsim::ui::WriteWindowPng(dlg, path));
  Picture p(path);
  ASSERT_TRUE(p.ok());
  // Between the rows (10 units tall, 15 apart) and right of the longest text, inside the frame.
  for (int row = 0; row < 4; ++row) {
    SCOPED_TRACE(row);
    EXPECT_EQ(p.Dark(Dlu(dlg, 9, 30 + 15 * row, 146, 5)), 0);
  }
  EXPECT_EQ(p.Dark(Dlu(dlg, 100, 18, 55, 66)), 0);
  // Each circle, the check box and the texts are there.
  for (int row = 0; row < 4; ++row) EXPECT_GT(p.Dark(Dlu(dlg, 14, 20 + 15 * row, 10, 10)), 0);
  EXPECT_GT(p.Dark(Dlu(dlg, 7, 95, 8, 10)), 0);
  std::remove(path.c_str());
  DestroyWindow(dlg);
}

}  // namespace
}  // namespace dlgtest
