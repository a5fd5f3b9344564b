// user32: where the standard controls show their own text, in the font of their dialog, the way the
// controls of a classic Windows dialog lay it out: push buttons centre one line inside their edges, check
// boxes and radio buttons put it after the box, group boxes in the top edge of the frame, static text
// wraps words into its rectangle. The picture writer draws by it and the layout check measures by it.
#include <algorithm>
#include <cstdio>

#include "user32/window.h"
#include "winsim/ui.h"

using namespace winsim::detail;

namespace {

// Pixels on a 96-dpi screen.
constexpr int kButtonEdge = 3;  // push buttons: the 3-D edge and the focus rectangle inside it
constexpr int kCheckBox = 13;   // the box of a check box or radio button (SM_CXMENUCHECK)
constexpr int kCheckGap = 4;    // from the box to its text
constexpr int kGroupIndent = 8; // a group box's caption from either end of its frame

bool IsCjk(char16_t c) {
  return (c >= 0x2E80 && c <= 0x9FFF) || (c >= 0xF900 && c <= 0xFAFF) || (c >= 0xFF00 && c <= 0xFFEF);
}

// Where the line may break before character i: after blanks, and between CJK characters, which are
// written without blanks.
bool BreakBefore(const std::u16string& s, size_t i) {
  if (i == 0 || i >= s.size()) return false;
  if (s[i] == u' ') return false;
  return s[i - 1] == u' ' || IsCjk(s[i]) || IsCjk(s[i - 1]);
}

std::u16string TrimRight(std::u16string s) {
  while (!s.empty() && s.back() == u' ') s.pop_back();
  return s;
}

std::u16string WindowTextOf(HWND h) {
  auto w = FindWnd(h);
  Guard g(Mutex());
  return w ? w->text : std::u16string();
}

}  // namespace

namespace winsim::detail {

std::u16string WithoutPrefixes(const std::u16string& text) {
  std::u16string out;
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] == u'&' && i + 1 < text.size()) ++i;  // "&x" shows x underlined, "&&" one ampersand
    else if (text[i] == u'&') continue;
    out += text[i];
  }
  return out;
}

std::vector<std::u16string> WrapLines(const DialogFont& f, const std::u16string& text, int width) {
  std::vector<std::u16string> lines;
  size_t start = 0;
  for (;;) {
    size_t end = text.find_first_of(u"\r\n", start);
    const std::u16string para = text.substr(start, end == std::u16string::npos ? std::u16string::npos : end - start);
    // Greedy: a line takes words while they fit; a word wider than the line stands alone on its own.
    std::u16string line;
    size_t i = 0;
    while (i < para.size()) {
      size_t j = i + 1;
      while (j < para.size() && !BreakBefore(para, j)) ++j;
      const std::u16string word = para.substr(i, j - i);
      if (!line.empty() && TextWidth(f, TrimRight(line + word)) > width) {
        lines.push_back(TrimRight(line));
        line.clear();
      }
      line += word;
      i = j;
    }
    lines.push_back(TrimRight(line));
    if (end == std::u16string::npos) break;
    start = end + (text.compare(end, 2, u"\r\n") == 0 ? 2 : 1);
  }
  return lines;
}

ControlText ControlTextOf(HWND h) {
  ControlText t;
  auto w = FindWnd(h);
  if (!w) return t;
  const DWORD style = w->style;
  const int cw = w->rect.right - w->rect.left, ch = w->rect.bottom - w->rect.top;
  const int lineH = MetricsOf(TextFontOf(h)).height;
  const std::u16string text = WindowTextOf(h);
  t.shown = WithoutPrefixes(text);
  t.area = RECT{0, 0, cw, ch};
  if (IEquals(w->cls, u"Button")) {
    const DWORD type = style & BS_TYPEMASK;
    const DWORD horz = style & BS_CENTER;
    const bool box = (type == BS_CHECKBOX || type == BS_AUTOCHECKBOX || type == BS_3STATE || type == BS_AUTO3STATE ||
                      type == BS_RADIOBUTTON || type == BS_AUTORADIOBUTTON) && !(style & BS_PUSHLIKE);
    t.kind = (style & BS_MULTILINE) ? ControlText::kWrapped : ControlText::kLine;
    t.vcenter = true;
    if (type == BS_GROUPBOX) {
      t.kind = ControlText::kLine;
      t.vcenter = false;
      t.area = RECT{kGroupIndent, 0, cw - kGroupIndent, std::min(ch, lineH)};
      t.align = horz == BS_CENTER ? ControlText::kCenter : horz == BS_RIGHT ? ControlText::kRight : ControlText::kLeft;
    } else if (box) {
      const int boxLeft = (style & BS_LEFTTEXT) ? cw - kCheckBox : 0, boxTop = (ch - kCheckBox) / 2;
      t.box = RECT{boxLeft, boxTop, boxLeft + kCheckBox, boxTop + kCheckBox};
      if (style & BS_LEFTTEXT) t.area.right = cw - kCheckBox - kCheckGap;
      else t.area.left = kCheckBox + kCheckGap;
      t.align = horz == BS_CENTER ? ControlText::kCenter : horz == BS_RIGHT ? ControlText::kRight : ControlText::kLeft;
    } else if (type == BS_OWNERDRAW) {
      t.kind = ControlText::kNone;
    } else {
      t.area = RECT{kButtonEdge, kButtonEdge, cw - kButtonEdge, ch - kButtonEdge};
      t.align = horz == BS_LEFT ? ControlText::kLeft : horz == BS_RIGHT ? ControlText::kRight : ControlText::kCenter;
    }
  } else if (IEquals(w->cls, u"Static")) {
    const DWORD type = style & SS_TYPEMASK;
    if (type == SS_LEFT || type == SS_CENTER || type == SS_RIGHT) {
      t.kind = (style & SS_CENTERIMAGE) ? ControlText::kLine : ControlText::kWrapped;
      t.align = type == SS_CENTER ? ControlText::kCenter : type == SS_RIGHT ? ControlText::kRight : ControlText::kLeft;
    } else if (type == SS_LEFTNOWORDWRAP || type == SS_SIMPLE) {
      t.kind = ControlText::kLine;
    }
    t.vcenter = (style & SS_CENTERIMAGE) != 0;
    if (style & SS_NOPREFIX) t.shown = text;
  }
  if (t.shown.empty()) t.kind = ControlText::kNone;
  return t;
}

RECT ItemTextArea(HWND h) {
  auto w = FindWnd(h);
  if (!w) return RECT{};
  const int cw = w->rect.right - w->rect.left, ch = w->rect.bottom - w->rect.top;
  const int rowH = MetricsOf(TextFontOf(h)).height + 3;
  if (IEquals(w->cls, u"ComboBox")) {
    // The face is one row and its padding high (the template's height holds the dropped list too); the
    // button is as wide as the face is high.
    const int face = std::min(ch, rowH + 6);
    return RECT{3, 0, std::max(3, cw - face - 3), face};
  }
  if (IEquals(w->cls, u"ListBox")) return RECT{4, 2, std::max(4, cw - 4), std::max(2, ch - 2)};
  return RECT{};
}

std::vector<std::u16string> ShownLines(HWND h, const ControlText& t) {
  if (t.kind == ControlText::kNone) return {};
  if (t.kind == ControlText::kLine) return {t.shown};
  return WrapLines(TextFontOf(h), t.shown, t.area.right - t.area.left);
}

}  // namespace winsim::detail

namespace winsim::ui {
namespace {

std::string Hex(char32_t c) {
  char buf[16];
  std::snprintf(buf, sizeof buf, "U+%04X", unsigned(c));
  return buf;
}

bool Intersect(const RECT& a, const RECT& b) {
  return a.left < b.right && b.left < a.right && a.top < b.bottom && b.top < a.bottom;
}

// The rectangle the text of c covers, in its parent's coordinates (empty without text).
RECT DrawnText(HWND c, const ControlText& t, const std::vector<std::u16string>& lines) {
  auto w = FindWnd(c);
  const DialogFont& f = TextFontOf(c);
  const int lineH = MetricsOf(f).height;
  int widest = 0;
  for (const std::u16string& l : lines) widest = std::max(widest, TextWidth(f, l));
  const int areaW = t.area.right - t.area.left, areaH = t.area.bottom - t.area.top;
  const int used = std::min(widest, areaW), height = std::min(int(lines.size()) * lineH, areaH);
  int left = t.area.left;
  if (t.align == ControlText::kCenter) left += (areaW - used) / 2;
  if (t.align == ControlText::kRight) left += areaW - used;
  int top = t.area.top + (t.vcenter ? (areaH - height) / 2 : 0);
  // Text past the edge is cut by the control itself; what shows stays inside it.
  return RECT{w->rect.left + left, w->rect.top + top, w->rect.left + left + used, w->rect.top + top + height};
}

}  // namespace

std::vector<TextProblem> TextProblems(HWND dlg) {
  std::vector<TextProblem> out;
  if (!FindWnd(dlg)) return out;
  RunOnWindowThread(dlg, [&] {
    auto d = FindWnd(dlg);
    RECT client;
    GetClientRect(dlg, &client);
    for (HWND c : d->children) {
      auto w = FindWnd(c);
      if (!w || w->destroyed) continue;
      // The items of a list, each where the control draws it: the program fills them while it runs.
      const RECT items = ItemTextArea(c);
      if (items.right > items.left) {
        const DialogFont& f = TextFontOf(c);
        const int areaW = items.right - items.left;
        for (const std::u16string& item : ItemsOf(c)) {
          auto report = [&](const std::string& what) { out.push_back(TextProblem{w->id, item, "item " + what}); };
          for (char16_t ch : item)
            if (!(ch >= 0xD800 && ch < 0xE000) && ch >= 0x20 && FaceFor(f, ch).empty())
              report("has " + Hex(ch) + ", which no installed font has");
          const int need = TextWidth(f, item);
          if (need > areaW) report("needs " + std::to_string(need) + " px of width, has " + std::to_string(areaW));
        }
      }
      const ControlText t = ControlTextOf(c);
      if (t.kind == ControlText::kNone) continue;
      auto report = [&](const std::string& what) { out.push_back(TextProblem{w->id, WindowTextOf(c), what}); };
      const DialogFont& f = TextFontOf(c);
      const int lineH = MetricsOf(f).height;
      const int areaW = t.area.right - t.area.left, areaH = t.area.bottom - t.area.top;
      for (char16_t ch : t.shown)
        if (!(ch >= 0xD800 && ch < 0xE000) && ch >= 0x20 && FaceFor(f, ch).empty())
          report("no installed font has " + Hex(ch));
      const std::vector<std::u16string> lines = ShownLines(c, t);
      for (const std::u16string& l : lines) {
        const int need = TextWidth(f, l);
        if (need > areaW)
          report((lines.size() > 1 ? "a word " : "") + std::string("needs ") + std::to_string(need) + " px of width, has " +
                 std::to_string(areaW));
      }
      if (int(lines.size()) * lineH > areaH)
        report(std::to_string(lines.size()) + (lines.size() > 1 ? " lines need " : " line needs ") +
               std::to_string(int(lines.size()) * lineH) + " px of height, has " + std::to_string(areaH));
      if (w->rect.left < 0 || w->rect.top < 0 || w->rect.right > client.right || w->rect.bottom > client.bottom)
        report("reaches outside the dialog");
      // Drawn over a neighbour: only where both show (a group box frames its controls by design).
      if (!(w->style & WS_VISIBLE)) continue;
      const RECT drawn = DrawnText(c, t, lines);
      for (HWND o : d->children) {
        auto ow = FindWnd(o);
        if (o == c || !ow || ow->destroyed || !(ow->style & WS_VISIBLE)) continue;
        if (IEquals(ow->cls, u"Button") && (ow->style & BS_TYPEMASK) == BS_GROUPBOX) continue;
        if (Intersect(drawn, ow->rect)) report("drawn over control " + std::to_string(ow->id));
      }
    }
  });
  return out;
}

}  // namespace winsim::ui
