// A picture of a window for people who look at dialogs without Windows: each visible control drawn the
// way a classic Windows dialog shows it (frames, texts, check marks, selections, track-bar thumbs), and
// what a window painted itself (previews, owner-drawn statics) put in its place.
#include <algorithm>
#include <cmath>

#include <cairo.h>
#include <richedit.h>

#include "gdi32/surface.h"
#include "gdiplus/cairo_lazy.h"
#include "user32/window.h"
#include "winsim/ui.h"

using namespace winsim::detail;

namespace {

struct Rgb {
  double r, g, b;
};
constexpr Rgb kFace{0.94, 0.94, 0.94}, kWhite{1, 1, 1}, kFrame{0.48, 0.48, 0.48}, kText{0, 0, 0},
    kGreyText{0.55, 0.55, 0.55}, kSelection{0.0, 0.47, 0.84}, kButton{0.88, 0.88, 0.88};

void SetColor(cairo_t* cr, Rgb c) { cairo_set_source_rgb(cr, c.r, c.g, c.b); }

void FillRect(cairo_t* cr, double x, double y, double w, double h, Rgb c) {
  SetColor(cr, c);
  cairo_rectangle(cr, x, y, w, h);
  cairo_fill(cr);
}

void FrameRect(cairo_t* cr, double x, double y, double w, double h, Rgb c) {
  SetColor(cr, c);
  cairo_set_line_width(cr, 1);
  cairo_rectangle(cr, x + 0.5, y + 0.5, w - 1, h - 1);
  cairo_stroke(cr);
}

using Align = ControlText::Align;

// Lines of text in the control's font, clipped to the box: centred vertically in it (vcenter) or from its
// top, one line height apart.
void Lines(cairo_t* cr, const DialogFont& f, const std::vector<std::u16string>& lines, double x, double y, double w,
           double h, Rgb c, Align align = ControlText::kLeft, bool vcenter = true) {
  if (lines.empty() || w <= 0 || h <= 0) return;
  const TextMetricsPx m = MetricsOf(f);
  cairo_save(cr);
  cairo_rectangle(cr, x, y, w, h);
  cairo_clip(cr);
  SetColor(cr, c);
  double top = y + (vcenter ? std::floor((h - double(lines.size()) * m.height) / 2) : 0);
  for (const std::u16string& line : lines) {
    const int width = TextWidth(f, line);
    double tx = x;
    if (align == ControlText::kCenter) tx = x + std::floor((w - width) / 2);
    if (align == ControlText::kRight) tx = x + w - width;
    ShowText(cr, f, line, tx, top + m.ascent);
    top += m.height;
  }
  cairo_restore(cr);
}

// One line of program-set text (edits, lists) as it is, centred vertically in the box.
void Text(cairo_t* cr, HWND h, const std::u16string& text, double x, double y, double w, double ht, Rgb c,
          Align align = ControlText::kLeft) {
  if (!text.empty()) Lines(cr, TextFontOf(h), {text}, x, y, w, ht, c, align);
}

// A control's own text where the control puts it.
void OwnText(cairo_t* cr, HWND h, double x, double y, Rgb c) {
  const ControlText t = ControlTextOf(h);
  Lines(cr, TextFontOf(h), ShownLines(h, t), x + t.area.left, y + t.area.top, t.area.right - t.area.left,
        t.area.bottom - t.area.top, c, t.align, t.vcenter);
}

// The height of one row of a list or of an edit's line.
double RowHeight(HWND h) { return MetricsOf(TextFontOf(h)).height + 3; }

std::u16string WindowTextOf(HWND h) {
  int n = GetWindowTextLengthW(h);
  std::u16string t(size_t(n) + 1, u'\0');
  GetWindowTextW(h, reinterpret_cast<LPWSTR>(t.data()), n + 1);
  t.resize(size_t(n));
  return t;
}

// What the window painted, copied over its rectangle. False when it never painted.
bool DrawPainted(cairo_t* cr, HWND h, double x, double y) {
  HBITMAP bm = WindowBitmap(h);
  Surface s;
  if (!bm || !BitmapSurfaceOf(bm, &s)) return false;
  cairo_surface_t* img = cairo_image_surface_create_for_data(s.bits, CAIRO_FORMAT_RGB24, s.width, s.height, s.stride);
  cairo_set_source_surface(cr, img, x, y);
  cairo_paint(cr);
  cairo_surface_destroy(img);
  ReleaseBitmapSurface(bm);
  return true;
}

void DrawButton(cairo_t* cr, HWND h, DWORD style, double x, double y, double w, double ht, Rgb fg) {
  const DWORD type = style & BS_TYPEMASK;
  const LRESULT state = SendMessageW(h, BM_GETCHECK, 0, 0);
  const ControlText t = ControlTextOf(h);
  const double lineH = MetricsOf(TextFontOf(h)).height;
  const double box = t.box.right - t.box.left, bx = x + t.box.left, by = y + t.box.top;
  cairo_new_path(cr);
  switch (type) {
    case BS_GROUPBOX: {
      FrameRect(cr, x, y + std::floor(lineH / 2), w, ht - std::floor(lineH / 2), kFrame);
      // The caption interrupts the top edge of the frame.
      if (t.kind != ControlText::kNone) {
        const double used = std::min<double>(TextWidth(TextFontOf(h), t.shown), t.area.right - t.area.left);
        FillRect(cr, x + t.area.left - 2, y, used + 4, lineH, kFace);
      }
      break;
    }
    case BS_CHECKBOX:
    case BS_AUTOCHECKBOX:
    case BS_3STATE:
    case BS_AUTO3STATE:
      FillRect(cr, bx, by, box, box, kWhite);
      FrameRect(cr, bx, by, box, box, kFrame);
      if (state != BST_UNCHECKED) {
        SetColor(cr, state == BST_CHECKED ? fg : kGreyText);
        cairo_set_line_width(cr, 2);
        cairo_move_to(cr, bx + 3, by + 6.5);
        cairo_line_to(cr, bx + 5.5, by + 9.5);
        cairo_line_to(cr, bx + 10, by + 3.5);
        cairo_stroke(cr);
      }
      break;
    case BS_RADIOBUTTON:
    case BS_AUTORADIOBUTTON: {
      const double r = box / 2, cx = bx + r, cy = by + r;
      SetColor(cr, kWhite);
      cairo_new_sub_path(cr);
      cairo_arc(cr, cx, cy, r - 0.5, 0, 2 * M_PI);
      cairo_fill_preserve(cr);
      SetColor(cr, kFrame);
      cairo_set_line_width(cr, 1);
      cairo_stroke(cr);
      if (state == BST_CHECKED) {
        SetColor(cr, fg);
        cairo_new_sub_path(cr);
        cairo_arc(cr, cx, cy, 2.5, 0, 2 * M_PI);
        cairo_fill(cr);
      }
      break;
    }
    default:  // push buttons
      FillRect(cr, x, y, w, ht, kButton);
      FrameRect(cr, x, y, w, ht, type == BS_DEFPUSHBUTTON ? kSelection : kFrame);
  }
  OwnText(cr, h, x, y, fg);
}

void DrawListView(cairo_t* cr, HWND h, double x, double y, double w, double ht, Rgb fg) {
  FillRect(cr, x, y, w, ht, kWhite);
  FrameRect(cr, x, y, w, ht, kFrame);
  const double rowH = RowHeight(h), headH = rowH + 2;
  std::vector<double> widths;
  double cx = x + 2;
  for (int k = 0;; ++k) {
    WCHAR buf[256] = {};
    LVCOLUMNW col{};
    col.mask = LVCF_TEXT | LVCF_WIDTH;
    col.pszText = buf;
    col.cchTextMax = 256;
    if (!SendMessageW(h, LVM_GETCOLUMNW, WPARAM(k), reinterpret_cast<LPARAM>(&col))) break;
    widths.push_back(col.cx);
    if (col.cx > 0) {
      FillRect(cr, cx, y + 1, col.cx - 1, headH, kButton);
      Text(cr, h, buf, cx + 3, y + 1, col.cx - 6, headH, fg);
    }
    cx += col.cx;
  }
  if (widths.empty()) widths.push_back(w);
  double row = y + (widths.size() > 1 || cx > x + 2 ? headH + 2 : 2);
  const int n = int(SendMessageW(h, LVM_GETITEMCOUNT, 0, 0));
  const bool checks = (SendMessageW(h, LVM_GETEXTENDEDLISTVIEWSTYLE, 0, 0) & LVS_EX_CHECKBOXES) != 0;
  for (int i = 0; i < n && row + rowH <= y + ht; ++i) {
    LVITEMW it{};
    it.mask = LVIF_STATE;
    it.iItem = i;
    it.stateMask = 0xFFFFFFFFu;
    SendMessageW(h, LVM_GETITEMW, 0, reinterpret_cast<LPARAM>(&it));
    const bool selected = (it.state & LVIS_SELECTED) != 0;
    if (selected) FillRect(cr, x + 1, row, w - 2, rowH, kSelection);
    double colX = x + 2;
    for (size_t k = 0; k < widths.size(); ++k) {
      WCHAR buf[512] = {};
      ListView_GetItemText(h, i, int(k), buf, 512);
      double indent = 3;
      if (k == 0 && checks) {
        FillRect(cr, colX + 2, row + 2, 10, 10, kWhite);
        FrameRect(cr, colX + 2, row + 2, 10, 10, kFrame);
        if (((it.state & LVIS_STATEIMAGEMASK) >> 12) == 2) FillRect(cr, colX + 4, row + 4, 6, 6, kText);
        indent = 16;
      }
      if (widths[k] > 0) Text(cr, h, buf, colX + indent, row, widths[k] - indent - 2, rowH, selected ? kWhite : fg);
      colX += widths[k];
    }
    row += rowH;
  }
}

void DrawControl(cairo_t* cr, HWND h, double x, double y) {
  auto w = FindWnd(h);
  if (!w) return;
  const double cw = w->rect.right - w->rect.left, ch = w->rect.bottom - w->rect.top;
  const Rgb fg = IsWindowEnabled(h) ? kText : kGreyText;
  const std::u16string& cls = w->cls;
  const DWORD style = w->style;
  if (IEquals(cls, u"Button")) {
    DrawButton(cr, h, style, x, y, cw, ch, fg);
  } else if (IEquals(cls, u"Edit") || IEquals(cls, RICHEDIT_CLASSW) || IEquals(cls, MSFTEDIT_CLASS) || IEquals(cls, WC_IPADDRESSW)) {
    FillRect(cr, x, y, cw, ch, (style & ES_READONLY) && !IEquals(cls, RICHEDIT_CLASSW) ? kFace : kWhite);
    FrameRect(cr, x, y, cw, ch, kFrame);
    if (style & ES_MULTILINE) {
      // Lines as the program broke them; a line longer than the edit runs past its edge.
      std::vector<std::u16string> lines;
      const std::u16string text = WindowTextOf(h);
      for (size_t start = 0; start <= text.size();) {
        size_t end = text.find(u'\n', start);
        if (end == std::u16string::npos) end = text.size();
        lines.push_back(text.substr(start, end - start));
        if (!lines.back().empty() && lines.back().back() == u'\r') lines.back().pop_back();
        start = end + 1;
      }
      Lines(cr, TextFontOf(h), lines, x + 3, y + 2, cw - 6, ch - 4, fg, ControlText::kLeft, false);
    } else {
      Text(cr, h, WindowTextOf(h), x + 3, y, cw - 6, ch, fg);
    }
  } else if (IEquals(cls, u"ComboBox")) {
    const double rowH = std::min(ch, RowHeight(h) + 6);
    FillRect(cr, x, y, cw, rowH, kWhite);
    FrameRect(cr, x, y, cw, rowH, kFrame);
    FillRect(cr, x + cw - rowH, y + 1, rowH - 1, rowH - 2, kButton);
    SetColor(cr, fg);
    cairo_move_to(cr, x + cw - rowH * 0.7, y + rowH * 0.4);
    cairo_line_to(cr, x + cw - rowH * 0.3, y + rowH * 0.4);
    cairo_line_to(cr, x + cw - rowH * 0.5, y + rowH * 0.65);
    cairo_close_path(cr);
    cairo_fill(cr);
    const RECT face = ItemTextArea(h);
    Text(cr, h, WindowTextOf(h), x + face.left, y, face.right - face.left, rowH, fg);
  } else if (IEquals(cls, u"ListBox")) {
    FillRect(cr, x, y, cw, ch, kWhite);
    FrameRect(cr, x, y, cw, ch, kFrame);
    const int sel = int(SendMessageW(h, LB_GETCURSEL, 0, 0));
    double row = y + 2;
    const double rowH = RowHeight(h);
    const std::vector<std::u16string> items = ItemsOf(h);
    for (size_t i = 0; i < items.size() && row + rowH <= y + ch; ++i, row += rowH) {
      if (int(i) == sel) FillRect(cr, x + 1, row, cw - 2, rowH, kSelection);
      const RECT area = ItemTextArea(h);
      Text(cr, h, items[i], x + area.left, row, area.right - area.left, rowH, int(i) == sel ? kWhite : fg);
    }
  } else if (IEquals(cls, TRACKBAR_CLASSW)) {
    const LRESULT lo = SendMessageW(h, TBM_GETRANGEMIN, 0, 0), hi = SendMessageW(h, TBM_GETRANGEMAX, 0, 0);
    const LRESULT pos = SendMessageW(h, TBM_GETPOS, 0, 0);
    const double track = y + ch / 2;
    FillRect(cr, x + 6, track - 2, cw - 12, 4, kButton);
    FrameRect(cr, x + 6, track - 2, cw - 12, 4, kFrame);
    const double t = hi > lo ? double(pos - lo) / double(hi - lo) : 0;
    const double tx = x + 6 + t * (cw - 12);
    FillRect(cr, tx - 4, track - 8, 8, 16, kSelection);
  } else if (IEquals(cls, UPDOWN_CLASSW)) {
    FillRect(cr, x, y, cw, ch, kButton);
    FrameRect(cr, x, y, cw, ch / 2, kFrame);
    FrameRect(cr, x, y + ch / 2, cw, ch / 2, kFrame);
  } else if (IEquals(cls, PROGRESS_CLASSW)) {
    PBRANGE range{};
    SendMessageW(h, PBM_GETRANGE, FALSE, reinterpret_cast<LPARAM>(&range));
    const LRESULT pos = SendMessageW(h, PBM_GETPOS, 0, 0);
    FillRect(cr, x, y, cw, ch, kWhite);
    const double t = range.iHigh > range.iLow ? double(pos - range.iLow) / double(range.iHigh - range.iLow) : 0;
    FillRect(cr, x + 1, y + 1, std::clamp(t, 0.0, 1.0) * (cw - 2), ch - 2, Rgb{0.02, 0.69, 0.15});
    FrameRect(cr, x, y, cw, ch, kFrame);
  } else if (IEquals(cls, WC_LISTVIEWW)) {
    DrawListView(cr, h, x, y, cw, ch, fg);
  } else if (IEquals(cls, u"Static")) {
    const DWORD type = style & SS_TYPEMASK;
    if (type == SS_ETCHEDHORZ) {
      FillRect(cr, x, y, cw, 1, kFrame);
    } else if (type == SS_ETCHEDFRAME || type == SS_BLACKFRAME || type == SS_GRAYFRAME) {
      FrameRect(cr, x, y, cw, ch, kFrame);
    } else {
      OwnText(cr, h, x, y, fg);
    }
  }
}

// What is still to be painted is painted first, as the screen shows a window only after it painted.
void UpdateTree(HWND h) {
  UpdateWindow(h);
  auto w = FindWnd(h);
  if (!w) return;
  const std::vector<HWND> children = w->children;
  for (HWND c : children) UpdateTree(c);
}

bool IsSystemControl(const std::u16string& cls) {
  for (const char16_t* name : {u"Button", u"Edit", u"ComboBox", u"ListBox", u"Static", RICHEDIT_CLASSW, MSFTEDIT_CLASS,
                               TRACKBAR_CLASSW, UPDOWN_CLASSW, PROGRESS_CLASSW, WC_LISTVIEWW, WC_IPADDRESSW})
    if (IEquals(cls, name)) return true;
  return false;
}

// The window's visible descendants, depth first in creation order (later siblings on top). System
// controls are drawn from their state; what the program draws itself (owner-drawn statics, dialogs and
// windows of its own classes) comes from the window's last paint, and a bitmap static shows its image.
void DrawChildren(cairo_t* cr, HWND parent, double ox, double oy) {
  auto p = FindWnd(parent);
  if (!p) return;
  for (HWND c : p->children) {
    auto w = FindWnd(c);
    if (!w || w->destroyed || !(w->style & WS_VISIBLE)) continue;
    const double x = ox + w->rect.left, y = oy + w->rect.top;
    const bool isStatic = IEquals(w->cls, u"Static");
    const DWORD type = w->style & SS_TYPEMASK;
    if (isStatic && type == SS_BITMAP) {
      auto image = reinterpret_cast<HBITMAP>(SendMessageW(c, STM_GETIMAGE, IMAGE_BITMAP, 0));
      Surface s;
      if (image && BitmapSurfaceOf(image, &s)) {
        cairo_surface_t* img =
            cairo_image_surface_create_for_data(s.bits, CAIRO_FORMAT_RGB24, s.width, s.height, s.stride);
        cairo_set_source_surface(cr, img, x, y);
        cairo_paint(cr);
        cairo_surface_destroy(img);
        ReleaseBitmapSurface(image);
      }
    } else if ((isStatic && type == SS_OWNERDRAW) || !IsSystemControl(w->cls)) {
      DrawPainted(cr, c, x, y);
    } else {
      DrawControl(cr, c, x, y);
    }
    DrawChildren(cr, c, x, y);
  }
}

}  // namespace

namespace winsim::ui {

bool WriteWindowPng(HWND h, const std::string& path) {
  bool ok = false;
  auto w = FindWnd(h);
  if (!w) return false;
  // Read the controls on their own thread, as a person looking at the screen sees a settled window.
  RunOnWindowThread(h, [&] {
    UpdateTree(h);
    RECT r;
    GetClientRect(h, &r);
    const int width = std::max<LONG>(r.right, 1), height = std::max<LONG>(r.bottom, 1);
    UsedCairoText();
    cairo_surface_t* surface = cairo_image_surface_create(CAIRO_FORMAT_RGB24, width, height);
    cairo_t* cr = cairo_create(surface);
    FillRect(cr, 0, 0, width, height, kFace);
    DrawPainted(cr, h, 0, 0);
    DrawChildren(cr, h, 0, 0);
    cairo_destroy(cr);
    cairo_surface_flush(surface);
    ok = cairo_surface_write_to_png(surface, path.c_str()) == CAIRO_STATUS_SUCCESS;
    cairo_surface_destroy(surface);
  });
  return ok;
}

}  // namespace winsim::ui
