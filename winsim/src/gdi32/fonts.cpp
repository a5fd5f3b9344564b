// gdi32 internals: dialog fonts resolved through fontconfig and drawn with Cairo (fonts.h).
#include "gdi32/fonts.h"

#include <atomic>
#include <cmath>
#include <map>
#include <mutex>
#include <utility>

#include <fontconfig/fontconfig.h>

#include "gdi32/surface.h"
#include "internal.h"

namespace winsim::detail {
namespace {

// Faces a dialog template names that are Windows' own: all of them have (nearly) the widths of the face
// that Liberation Sans copies, so text measures as wide as on Windows.
constexpr const char16_t* kShellFaces[] = {u"MS Shell Dlg", u"MS Shell Dlg 2", u"MS Sans Serif",
                                           u"Microsoft Sans Serif", u"Tahoma", u"Arial"};
constexpr const char* kShellSubstitute = "Liberation Sans";

// Text fills Cairo's font caches and fontconfig's state; they go at exit so that the leak checker of
// the sanitizer build sees only real leaks. The caches below hold no fontconfig objects.
struct FontCaches {
  std::atomic<bool> used{false};
  ~FontCaches() {
    if (!used) return;
    cairo_debug_reset_static_data();
    FcFini();
  }
};
FontCaches g_fontCaches;

std::mutex& CacheMutex() {
  static std::mutex m;
  return m;
}
// (face, character) -> the family that draws it ("" when none has it).
std::map<std::pair<std::string, char32_t>, std::string>& Faces() {
  static std::map<std::pair<std::string, char32_t>, std::string> faces;
  return faces;
}
// requested face -> installed family fontconfig resolves it to.
std::map<std::string, std::string>& Installed() {
  static std::map<std::string, std::string> installed;
  return installed;
}

// The fonts fontconfig would draw `face` with, best first: the face itself (or its substitute) and then
// the faces that fill in the characters it lacks.
FcFontSet* SortedFonts(const std::string& face) {
  FcPattern* p = FcPatternCreate();
  FcPatternAddString(p, FC_FAMILY, reinterpret_cast<const FcChar8*>(face.c_str()));
  FcConfigSubstitute(nullptr, p, FcMatchPattern);
  FcDefaultSubstitute(p);
  FcResult result;
  FcFontSet* set = FcFontSort(nullptr, p, FcTrue, nullptr, &result);
  FcPatternDestroy(p);
  return set;
}

std::string FamilyOf(FcPattern* font) {
  FcChar8* family = nullptr;
  return FcPatternGetString(font, FC_FAMILY, 0, &family) == FcResultMatch ? reinterpret_cast<char*>(family) : "";
}

std::string InstalledFamily(const std::string& face) {
  {
    std::lock_guard<std::mutex> g(CacheMutex());
    auto it = Installed().find(face);
    if (it != Installed().end()) return it->second;
  }
  g_fontCaches.used = true;
  std::string family = face;
  if (FcFontSet* set = SortedFonts(face)) {
    if (set->nfont > 0) family = FamilyOf(set->fonts[0]);
    FcFontSetDestroy(set);
  }
  std::lock_guard<std::mutex> g(CacheMutex());
  return Installed().emplace(face, family).first->second;
}

// Code points of a UTF-16 text (a lone surrogate stands for itself).
std::u32string CodePoints(const std::u16string& s) {
  std::u32string out;
  for (size_t i = 0; i < s.size(); ++i) {
    char32_t c = s[i];
    if (c >= 0xD800 && c < 0xDC00 && i + 1 < s.size() && s[i + 1] >= 0xDC00 && s[i + 1] < 0xE000)
      c = 0x10000 + ((c - 0xD800) << 10) + (s[++i] - 0xDC00);
    out.push_back(c);
  }
  return out;
}

std::string Utf8(const std::u32string& s) {
  std::string out;
  for (char32_t c : s) {
    if (c < 0x80) {
      out += char(c);
    } else if (c < 0x800) {
      out += char(0xC0 | (c >> 6)), out += char(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
      out += char(0xE0 | (c >> 12)), out += char(0x80 | ((c >> 6) & 0x3F)), out += char(0x80 | (c & 0x3F));
    } else {
      out += char(0xF0 | (c >> 18)), out += char(0x80 | ((c >> 12) & 0x3F));
      out += char(0x80 | ((c >> 6) & 0x3F)), out += char(0x80 | (c & 0x3F));
    }
  }
  return out;
}

void SelectFace(cairo_t* cr, const DialogFont& f, const std::string& family) {
  cairo_select_font_face(cr, family.c_str(), f.italic ? CAIRO_FONT_SLANT_ITALIC : CAIRO_FONT_SLANT_NORMAL,
                         f.bold ? CAIRO_FONT_WEIGHT_BOLD : CAIRO_FONT_WEIGHT_NORMAL);
  cairo_set_font_size(cr, f.pixelHeight);
  // Whole-pixel advances, as GDI lays text out on the screen.
  cairo_font_options_t* o = cairo_font_options_create();
  cairo_font_options_set_hint_metrics(o, CAIRO_HINT_METRICS_ON);
  cairo_set_font_options(cr, o);
  cairo_font_options_destroy(o);
}

// Runs of characters drawn by one family, in order.
std::vector<std::pair<std::string, std::u32string>> Runs(const DialogFont& f, const std::u16string& text) {
  std::vector<std::pair<std::string, std::u32string>> runs;
  for (char32_t c : CodePoints(text)) {
    std::string face = FaceFor(f, c);
    if (face.empty()) face = f.face;  // drawn as the face's missing-glyph box
    if (runs.empty() || runs.back().first != face) runs.emplace_back(face, std::u32string());
    runs.back().second += c;
  }
  return runs;
}

// Runs fn with a Cairo context on a scratch surface (measuring needs no pixels).
template <class Fn>
auto Measure(Fn fn) {
  g_fontCaches.used = true;
  cairo_surface_t* s = cairo_image_surface_create(CAIRO_FORMAT_RGB24, 1, 1);
  cairo_t* cr = cairo_create(s);
  auto r = fn(cr);
  cairo_destroy(cr);
  cairo_surface_destroy(s);
  return r;
}

}  // namespace

void UsedCairoText() { g_fontCaches.used = true; }

DialogFont ResolveDialogFont(const std::u16string& typeface, int pointSize, int weight, bool italic) {
  DialogFont f;
  std::string face = ToUtf8(typeface);
  for (const char16_t* shell : kShellFaces)
    if (IEquals(typeface, shell)) face = kShellSubstitute;
  if (face.empty()) face = kShellSubstitute;
  f.face = InstalledFamily(face);
  // The logical font's height is -MulDiv(points, 96, 72): the character height in whole pixels.
  if (pointSize <= 0) pointSize = 8;
  f.pixelHeight = (pointSize * 96 + 36) / 72;
  f.bold = weight >= 600;
  f.italic = italic;
  return f;
}

const DialogFont& DefaultDialogFont() {
  static const DialogFont f = ResolveDialogFont(u"MS Shell Dlg", 8, 400, false);
  return f;
}

std::string FaceFor(const DialogFont& f, char32_t ch) {
  const auto key = std::make_pair(f.face, ch);
  {
    std::lock_guard<std::mutex> g(CacheMutex());
    auto it = Faces().find(key);
    if (it != Faces().end()) return it->second;
  }
  g_fontCaches.used = true;
  std::string face;
  if (FcFontSet* set = SortedFonts(f.face)) {
    for (int i = 0; i < set->nfont && face.empty(); ++i) {
      FcCharSet* cs = nullptr;
      if (FcPatternGetCharSet(set->fonts[i], FC_CHARSET, 0, &cs) == FcResultMatch && FcCharSetHasChar(cs, ch))
        face = FamilyOf(set->fonts[i]);
    }
    FcFontSetDestroy(set);
  }
  std::lock_guard<std::mutex> g(CacheMutex());
  return Faces().emplace(key, face).first->second;
}

TextMetricsPx MetricsOf(const DialogFont& f) {
  return Measure([&](cairo_t* cr) {
    SelectFace(cr, f, f.face);
    cairo_font_extents_t e;
    cairo_font_extents(cr, &e);
    TextMetricsPx m;
    m.ascent = int(std::ceil(e.ascent));
    m.height = m.ascent + int(std::ceil(e.descent));
    // The dialog manager's average width: the extent of the 52 letters, (cx / 26 + 1) / 2.
    const int letters = TextWidth(f, u"ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz");
    m.aveWidth = (letters / 26 + 1) / 2;
    return m;
  });
}

int TextWidth(const DialogFont& f, const std::u16string& text) {
  if (text.empty()) return 0;
  const auto runs = Runs(f, text);
  return Measure([&](cairo_t* cr) {
    double w = 0;
    for (const auto& [face, chars] : runs) {
      SelectFace(cr, f, face);
      cairo_text_extents_t e;
      cairo_text_extents(cr, Utf8(chars).c_str(), &e);
      w += e.x_advance;
    }
    return int(std::lround(w));
  });
}

void ShowText(cairo_t* cr, const DialogFont& f, const std::u16string& text, double x, double baseline) {
  g_fontCaches.used = true;
  double at = x;
  for (const auto& [face, chars] : Runs(f, text)) {
    SelectFace(cr, f, face);
    const std::string utf8 = Utf8(chars);
    cairo_move_to(cr, at, baseline);
    cairo_show_text(cr, utf8.c_str());
    cairo_text_extents_t e;
    cairo_text_extents(cr, utf8.c_str(), &e);
    at += e.x_advance;
  }
  cairo_new_path(cr);  // show_text leaves a current point that the next figure would join
}

}  // namespace winsim::detail
