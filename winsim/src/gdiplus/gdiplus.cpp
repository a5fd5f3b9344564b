// gdiplus: the flat API the previews draw with, painted by Cairo into the bitmap of the graphics' DC.
// GDI+ samples pixel centres at integer coordinates, so device space is shifted by half a pixel; without
// anti-aliasing (the default smoothing mode) shapes cover whole pixels as GDI+ draws them.
#include <cairo.h>

#include <atomic>
#include <cmath>
#include <cstring>
#include <map>
#include <type_traits>
#include <typeinfo>
#include <string>
#include <vector>

#include <gdiplus.h>

#include "gdi32/surface.h"
#include "gdiplus/cairo_lazy.h"
#include "internal.h"
#include "winsim/gdiplus.h"

using namespace winsim::detail;
using namespace Gdiplus;

namespace {

constexpr double kPi = 3.14159265358979323846;

struct Graphics : GpGraphics {
  HDC hdc = nullptr;
  cairo_matrix_t world;  // world to page (pixels)
  SmoothingMode smoothing = SmoothingModeNone;
};

struct SolidFill : GpSolidFill {
  ARGB color = 0;
};

struct Pen : GpPen {
  ARGB color = 0;
  REAL width = 1;
  LineCap startCap = LineCapFlat, endCap = LineCapFlat;
  DashStyle dash = DashStyleSolid;
};

struct PathPart {
  enum Kind { kArc, kLine, kClose } kind;
  double v[6];
};
struct Path : GpPath {
  FillMode fill = FillModeAlternate;
  std::vector<PathPart> parts;
};

struct FontFamily : GpFontFamily {
  std::u16string name;
};
struct Font : GpFont {
  std::u16string family;
  REAL size = 0;  // em height in pixels
  INT style = 0;
};
struct StringFormat : GpStringFormat {
  StringAlignment align = StringAlignmentNear, lineAlign = StringAlignmentNear;
};
struct Bitmap : GpBitmap {
  int width = 0, height = 0;
  std::vector<uint8_t> own;  // 32-bit BGRX when GDI+ holds the pixels
  const uint8_t* scan0 = nullptr;
  int stride = 0;
  PixelFormat format = PixelFormat32bppRGB;
};

struct State {
  std::vector<winsim::GdipCall> calls;
  struct LiveObject {
    const std::type_info* type;  // a pen passed as a brush is no brush
    void (*deleter)(const void*);
  };
  std::map<const void*, LiveObject> live;
  int started = 0;
};
State g_gdip;


void ResetGdiplus() {
  g_gdip.calls.clear();
  // Objects made before a reset belong to code that no longer runs against this machine.
  for (const auto& [object, o] : g_gdip.live) o.deleter(object);
  g_gdip.live.clear();
}
const ResetRegistrar kResetGdiplus(ResetGdiplus);

template <class T>
T* Live(const void* p) {
  if (!p) return nullptr;
  auto it = g_gdip.live.find(p);
  if (it == g_gdip.live.end() || *it->second.type != typeid(T)) return nullptr;
  return static_cast<T*>(const_cast<void*>(p));
}
template <class T, class U>
T* Adopt(U** out) {
  T* t = new T;
  g_gdip.live.emplace(static_cast<const void*>(t), State::LiveObject{&typeid(T), [](const void* p) {
                        delete static_cast<const T*>(p);
                      }});
  *out = t;
  return t;
}
template <class T>
GpStatus Delete(const void* p) {
  Guard g(Mutex());
  T* t = Live<T>(p);
  if (!t) return InvalidParameter;
  g_gdip.live.erase(p);
  delete t;
  return Ok;
}

winsim::GdipCall& Record(const char* name, const Graphics* gr, std::initializer_list<double> args) {
  winsim::GdipCall c;
  c.name = name;
  c.args = args;
  if (gr) {
    c.hdc = gr->hdc;
    const cairo_matrix_t& m = gr->world;
    const double t[6] = {m.xx, m.yx, m.xy, m.yy, m.x0, m.y0};
    std::memcpy(c.transform, t, sizeof t);
  }
  g_gdip.calls.push_back(std::move(c));
  return g_gdip.calls.back();
}
void RecordPen(winsim::GdipCall& c, const Pen* p) {
  c.color = p->color;
  c.penWidth = p->width;
  c.startCap = p->startCap;
  c.endCap = p->endCap;
  c.dashStyle = p->dash;
}

// A Cairo context on the DC's bitmap for one call; the bitmap is written back when it goes. Strokes
// are centred on pixel centres (half a pixel from Cairo's grid); fills cover the pixels whose centres
// lie inside.
enum Align { kFill, kStroke };
class Canvas {
 public:
  Canvas(const Graphics& g, Align align) : hdc_(g.hdc) {
    if (!SurfaceOf(hdc_, &s_)) return;
    opened_ = true;
    surface_ = cairo_image_surface_create_for_data(s_.bits, CAIRO_FORMAT_RGB24, s_.width, s_.height, s_.stride);
    cr_ = cairo_create(surface_);
    if (align == kStroke) cairo_translate(cr_, 0.5, 0.5);
    cairo_transform(cr_, &g.world);
    const bool smooth = g.smoothing == SmoothingModeAntiAlias || g.smoothing == SmoothingModeAntiAlias8x8 ||
                        g.smoothing == SmoothingModeHighQuality;
    cairo_set_antialias(cr_, smooth ? CAIRO_ANTIALIAS_DEFAULT : CAIRO_ANTIALIAS_NONE);
  }
  ~Canvas() {
    if (cr_) cairo_destroy(cr_);
    if (surface_) {
      cairo_surface_flush(surface_);
      cairo_surface_destroy(surface_);
    }
    if (opened_) ReleaseSurface(hdc_);
  }
  Canvas(const Canvas&) = delete;
  Canvas& operator=(const Canvas&) = delete;
  cairo_t* cr() const { return cr_; }

 private:
  HDC hdc_;
  Surface s_;
  bool opened_ = false;
  cairo_surface_t* surface_ = nullptr;
  cairo_t* cr_ = nullptr;
};

void SetColour(cairo_t* cr, ARGB c) {
  cairo_set_source_rgba(cr, ((c >> 16) & 0xFF) / 255.0, ((c >> 8) & 0xFF) / 255.0, (c & 0xFF) / 255.0,
                        ((c >> 24) & 0xFF) / 255.0);
}

// Pens: dash lengths are multiples of the width, as in GDI+.
void SetPen(cairo_t* cr, const Pen& p) {
  SetColour(cr, p.color);
  const double w = p.width > 0 ? p.width : 1.0;  // a zero-width pen draws one pixel wide
  cairo_set_line_width(cr, w);
  // Dashes end flat (GDI+'s default dash cap); the line's own caps apply at its two ends only.
  const bool dashed = p.dash != DashStyleSolid;
  const bool round = !dashed && (p.startCap == LineCapRound || p.endCap == LineCapRound);
  const bool square = !dashed && (p.startCap == LineCapSquare || p.endCap == LineCapSquare);
  cairo_set_line_cap(cr, round ? CAIRO_LINE_CAP_ROUND : square ? CAIRO_LINE_CAP_SQUARE : CAIRO_LINE_CAP_BUTT);
  cairo_set_line_join(cr, CAIRO_LINE_JOIN_MITER);
  static const double kDash[] = {3, 1}, kDot[] = {1, 1}, kDashDot[] = {3, 1, 1, 1}, kDashDotDot[] = {3, 1, 1, 1, 1, 1};
  const double* pattern = nullptr;
  int n = 0;
  switch (p.dash) {
    case DashStyleDash: pattern = kDash, n = 2; break;
    case DashStyleDot: pattern = kDot, n = 2; break;
    case DashStyleDashDot: pattern = kDashDot, n = 4; break;
    case DashStyleDashDotDot: pattern = kDashDotDot, n = 6; break;
    default: break;
  }
  double scaled[6];
  for (int i = 0; i < n; ++i) scaled[i] = pattern[i] * w;
  cairo_set_dash(cr, scaled, n, 0);
}

// The arrow-anchor cap: a filled triangle whose tip is the line's end, two pen widths to each side.
void ArrowHead(cairo_t* cr, const Pen& p, double fromX, double fromY, double tipX, double tipY, double* baseX,
               double* baseY) {
  const double w = p.width > 0 ? p.width : 1.0;
  const double dx = tipX - fromX, dy = tipY - fromY, len = std::hypot(dx, dy);
  *baseX = tipX;
  *baseY = tipY;
  if (len == 0) return;
  const double ux = dx / len, uy = dy / len, back = 2 * w * std::sqrt(3.0), half = 2 * w;
  *baseX = tipX - ux * back;
  *baseY = tipY - uy * back;
  cairo_save(cr);
  cairo_set_dash(cr, nullptr, 0, 0);
  cairo_move_to(cr, tipX, tipY);
  cairo_line_to(cr, *baseX - uy * half, *baseY + ux * half);
  cairo_line_to(cr, *baseX + uy * half, *baseY - ux * half);
  cairo_close_path(cr);
  cairo_fill(cr);
  cairo_restore(cr);
}

void Line(const Graphics& g, const Pen& p, double x1, double y1, double x2, double y2) {
  Canvas c(g, kStroke);
  if (!c.cr()) return;
  SetPen(c.cr(), p);
  if (p.endCap == LineCapArrowAnchor) ArrowHead(c.cr(), p, x1, y1, x2, y2, &x2, &y2);
  if (p.startCap == LineCapArrowAnchor) ArrowHead(c.cr(), p, x2, y2, x1, y1, &x1, &y1);
  cairo_move_to(c.cr(), x1, y1);
  cairo_line_to(c.cr(), x2, y2);
  cairo_stroke(c.cr());
  if (p.dash != DashStyleSolid) {
    const double r = (p.width > 0 ? p.width : 1.0) / 2;
    if (p.startCap == LineCapRound) cairo_arc(c.cr(), x1, y1, r, 0, 2 * kPi);
    cairo_fill(c.cr());
    if (p.endCap == LineCapRound) cairo_arc(c.cr(), x2, y2, r, 0, 2 * kPi);
    cairo_fill(c.cr());
  }
}

// GDI+ angles are degrees clockwise from the x axis (y down), as Cairo's are in radians.
void AddArc(cairo_t* cr, const double* v) {
  const double x = v[0], y = v[1], w = v[2], h = v[3], start = v[4] * kPi / 180, sweep = v[5] * kPi / 180;
  if (w <= 0 || h <= 0) return;
  cairo_save(cr);
  cairo_translate(cr, x + w / 2, y + h / 2);
  cairo_scale(cr, w / 2, h / 2);
  if (sweep >= 0)
    cairo_arc(cr, 0, 0, 1, start, start + sweep);
  else
    cairo_arc_negative(cr, 0, 0, 1, start, start + sweep);
  cairo_restore(cr);
}

void BuildPath(cairo_t* cr, const Path& path) {
  cairo_new_path(cr);
  bool open = false;  // a figure is under way: the next part continues it with a line
  for (const PathPart& part : path.parts) {
    switch (part.kind) {
      case PathPart::kArc:
        if (!open) cairo_new_sub_path(cr);
        AddArc(cr, part.v);
        open = true;
        break;
      case PathPart::kLine:
        if (open)
          cairo_line_to(cr, part.v[0], part.v[1]);
        else
          cairo_move_to(cr, part.v[0], part.v[1]);
        cairo_line_to(cr, part.v[2], part.v[3]);
        open = true;
        break;
      case PathPart::kClose:
        if (open) cairo_close_path(cr);
        open = false;
        break;
    }
  }
}

// GdipFill* (a brush) and GdipDraw* (a pen) calls: recorded, then what shape(cr) puts on the path is filled
// or stroked.
template <class Shape>
GpStatus FillOrStroke(const char* name, GpGraphics* graphics, GpBrush* brush, GpPen* pen,
                      std::initializer_list<double> args, Shape shape) {
  Guard g(Mutex());
  Graphics* gr = Live<Graphics>(graphics);
  const SolidFill* fill = Live<SolidFill>(brush);
  const Pen* p = Live<Pen>(pen);
  if (!gr || (!fill && !p)) return InvalidParameter;
  winsim::GdipCall& call = Record(name, gr, args);
  if (fill)
    call.color = fill->color;
  else
    RecordPen(call, p);
  Canvas c(*gr, fill ? kFill : kStroke);
  if (!c.cr()) return Ok;
  shape(c.cr());
  if (fill) {
    SetColour(c.cr(), fill->color);
    cairo_fill(c.cr());
  } else {
    SetPen(c.cr(), *p);
    cairo_stroke(c.cr());
  }
  return Ok;
}

// MatrixOrderPrepend applies the new operation before the current transform (to world coordinates),
// MatrixOrderAppend after it.
GpStatus Transform(GpGraphics* graphics, const char* name, const cairo_matrix_t& op, GpMatrixOrder order,
                   std::initializer_list<double> args) {
  Guard g(Mutex());
  Graphics* gr = Live<Graphics>(graphics);
  if (!gr || (order != MatrixOrderPrepend && order != MatrixOrderAppend)) return InvalidParameter;
  cairo_matrix_t result;
  if (order == MatrixOrderPrepend)
    cairo_matrix_multiply(&result, &op, &gr->world);
  else
    cairo_matrix_multiply(&result, &gr->world, &op);
  gr->world = result;
  Record(name, gr, args);
  return Ok;
}

// A call on a graphics: apply(graphics) under the lock, or InvalidParameter when it is no live one.
template <class F>
GpStatus OnGraphics(GpGraphics* graphics, F apply) {
  Guard g(Mutex());
  Graphics* gr = Live<Graphics>(graphics);
  if (!gr) return InvalidParameter;
  apply(*gr);
  return Ok;
}

// The pen and string format settings; `valid` false refuses the value as GDI+ does.
template <class T, class V>
GpStatus SetField(const void* object, V T::*field, V value, const char* name, bool valid = true) {
  Guard g(Mutex());
  T* t = Live<T>(object);
  if (!t || !valid) return InvalidParameter;
  t->*field = value;
  winsim::GdipCall& c = Record(name, nullptr, {double(value)});
  if constexpr (std::is_same_v<T, Pen>) RecordPen(c, t);
  return Ok;
}

GpStatus AddPathPart(GpPath* path, const char* name, const PathPart& part, std::initializer_list<double> args) {
  Guard g(Mutex());
  Path* p = Live<Path>(path);
  if (!p) return InvalidParameter;
  p->parts.push_back(part);
  Record(name, nullptr, args);
  return Ok;
}

// GdipDrawLine and GdipDrawLineI.
GpStatus DrawLineCall(const char* name, GpGraphics* graphics, GpPen* pen, double x1, double y1, double x2, double y2) {
  Guard g(Mutex());
  Graphics* gr = Live<Graphics>(graphics);
  Pen* p = Live<Pen>(pen);
  if (!gr || !p) return InvalidParameter;
  RecordPen(Record(name, gr, {x1, y1, x2, y2}), p);
  Line(*gr, *p, x1, y1, x2, y2);
  return Ok;
}

// GdipDrawRectangle* with a pen, GdipFillRectangle* with a brush.
GpStatus RectangleCall(const char* name, GpGraphics* graphics, GpBrush* brush, GpPen* pen, double x, double y,
                       double width, double height) {
  return FillOrStroke(name, graphics, brush, pen, {x, y, width, height},
                      [&](cairo_t* cr) { cairo_rectangle(cr, x, y, width, height); });
}

// GdipFillPath with a brush, GdipDrawPath with a pen.
GpStatus PathCall(const char* name, GpGraphics* graphics, GpBrush* brush, GpPen* pen, GpPath* path) {
  Guard g(Mutex());  // held through FillOrStroke, so that no other thread deletes the path in between
  const Path* p = Live<Path>(path);
  if (!p) return InvalidParameter;
  return FillOrStroke(name, graphics, brush, pen, {double(p->parts.size())}, [p](cairo_t* cr) {
    BuildPath(cr, *p);
    cairo_set_fill_rule(cr, p->fill == FillModeWinding ? CAIRO_FILL_RULE_WINDING : CAIRO_FILL_RULE_EVEN_ODD);
  });
}

GpStatus CheckStarted() { return g_gdip.started > 0 ? Ok : GdiplusNotInitialized; }

std::string FamilyUtf8(const std::u16string& family) {
  return family.empty() ? std::string("sans-serif") : ToUtf8(family);
}

}  // namespace

namespace winsim::detail {
bool WriteSurfacePng(const Surface& s, const std::string& path) {
  if (!s.bits || s.width <= 0 || s.height <= 0) return false;
  cairo_surface_t* surface =
      cairo_image_surface_create_for_data(s.bits, CAIRO_FORMAT_RGB24, s.width, s.height, s.stride);
  const bool ok = cairo_surface_write_to_png(surface, path.c_str()) == CAIRO_STATUS_SUCCESS;
  cairo_surface_destroy(surface);
  return ok;
}
}  // namespace winsim::detail

namespace winsim {

std::vector<GdipCall> GdipCalls() {
  Guard g(Mutex());
  return g_gdip.calls;
}

void ClearGdipCalls() {
  Guard g(Mutex());
  g_gdip.calls.clear();
}

size_t LiveGdipObjects() {
  Guard g(Mutex());
  return g_gdip.live.size();
}

bool WriteDcPng(HDC hdc, const std::string& path) {
  Surface s;
  if (!SurfaceOf(hdc, &s)) return false;
  const bool ok = WriteSurfacePng(s, path);
  ReleaseSurface(hdc);
  return ok;
}

}  // namespace winsim

namespace Gdiplus {

extern "C" {

Status WINAPI GdiplusStartup(ULONG_PTR* token, const GdiplusStartupInput* input, GdiplusStartupOutput* output) {
  if (!token || !input) return InvalidParameter;
  if (input->GdiplusVersion < 1 || input->GdiplusVersion > 2) return UnsupportedGdiplusVersion;
  if (input->SuppressBackgroundThread && !output) return InvalidParameter;
  if (output) *output = GdiplusStartupOutput{};
  Guard g(Mutex());
  *token = ULONG_PTR(++g_gdip.started);
  Record("GdiplusStartup", nullptr, {});
  return Ok;
}

VOID WINAPI GdiplusShutdown(ULONG_PTR) {
  Guard g(Mutex());
  if (g_gdip.started > 0) --g_gdip.started;
  Record("GdiplusShutdown", nullptr, {});
}

}  // extern "C"

namespace DllExports {
extern "C" {

GpStatus WINAPI GdipCreateFromHDC(HDC hdc, GpGraphics** graphics) {
  if (!graphics) return InvalidParameter;
  Guard g(Mutex());
  if (GpStatus s = CheckStarted()) return s;
  Surface surface;
  if (!SurfaceOf(hdc, &surface)) return OutOfMemory;  // what GDI+ answers for a DC it cannot use
  ReleaseSurface(hdc);
  Graphics* gr = Adopt<Graphics>(graphics);
  gr->hdc = hdc;
  cairo_matrix_init_identity(&gr->world);
  Record("GdipCreateFromHDC", gr, {});
  return Ok;
}

GpStatus WINAPI GdipDeleteGraphics(GpGraphics* graphics) {
  Guard g(Mutex());
  if (Graphics* gr = Live<Graphics>(graphics)) Record("GdipDeleteGraphics", gr, {});
  return Delete<Graphics>(graphics);
}

GpStatus WINAPI GdipSetSmoothingMode(GpGraphics* graphics, SmoothingMode mode) {
  if (mode < SmoothingModeDefault || mode > SmoothingModeAntiAlias8x8) return InvalidParameter;
  return OnGraphics(graphics, [mode](Graphics& gr) {
    gr.smoothing = mode == SmoothingModeDefault || mode == SmoothingModeHighSpeed ? SmoothingModeNone : mode;
    Record("GdipSetSmoothingMode", &gr, {double(mode)});
  });
}

GpStatus WINAPI GdipSetTextRenderingHint(GpGraphics* graphics, TextRenderingHint mode) {
  return OnGraphics(graphics, [mode](Graphics& gr) { Record("GdipSetTextRenderingHint", &gr, {double(mode)}); });
}

GpStatus WINAPI GdipGraphicsClear(GpGraphics* graphics, ARGB color) {
  return OnGraphics(graphics, [color](Graphics& gr) {
    Record("GdipGraphicsClear", &gr, {}).color = color;
    Canvas c(gr, kFill);
    if (!c.cr()) return;
    cairo_identity_matrix(c.cr());
    cairo_set_operator(c.cr(), CAIRO_OPERATOR_SOURCE);
    SetColour(c.cr(), color | 0xFF000000u);  // the DC's bitmap has no alpha to keep
    cairo_paint(c.cr());
  });
}

GpStatus WINAPI GdipCreateSolidFill(ARGB color, GpSolidFill** brush) {
  if (!brush) return InvalidParameter;
  Guard g(Mutex());
  Adopt<SolidFill>(brush)->color = color;
  Record("GdipCreateSolidFill", nullptr, {}).color = color;
  return Ok;
}

GpStatus WINAPI GdipDeleteBrush(GpBrush* brush) { return Delete<SolidFill>(brush); }

GpStatus WINAPI GdipCreatePen1(ARGB color, REAL width, GpUnit unit, GpPen** pen) {
  if (!pen || unit == UnitDisplay) return InvalidParameter;
  Guard g(Mutex());
  Pen* p = Adopt<Pen>(pen);
  p->color = color;
  p->width = width;
  RecordPen(Record("GdipCreatePen1", nullptr, {double(width), double(unit)}), p);
  return Ok;
}

GpStatus WINAPI GdipDeletePen(GpPen* pen) { return Delete<Pen>(pen); }

GpStatus WINAPI GdipSetPenStartCap(GpPen* pen, GpLineCap startCap) {
  return SetField(pen, &Pen::startCap, startCap, "GdipSetPenStartCap");
}

GpStatus WINAPI GdipSetPenEndCap(GpPen* pen, GpLineCap endCap) {
  return SetField(pen, &Pen::endCap, endCap, "GdipSetPenEndCap");
}

GpStatus WINAPI GdipSetPenDashStyle(GpPen* pen, GpDashStyle dashStyle) {
  return SetField(pen, &Pen::dash, dashStyle, "GdipSetPenDashStyle",
                  dashStyle >= DashStyleSolid && dashStyle <= DashStyleCustom);
}

GpStatus WINAPI GdipDrawLine(GpGraphics* graphics, GpPen* pen, REAL x1, REAL y1, REAL x2, REAL y2) {
  return DrawLineCall("GdipDrawLine", graphics, pen, x1, y1, x2, y2);
}

GpStatus WINAPI GdipDrawLineI(GpGraphics* graphics, GpPen* pen, INT x1, INT y1, INT x2, INT y2) {
  return DrawLineCall("GdipDrawLineI", graphics, pen, x1, y1, x2, y2);
}

GpStatus WINAPI GdipDrawRectangle(GpGraphics* graphics, GpPen* pen, REAL x, REAL y, REAL width, REAL height) {
  return RectangleCall("GdipDrawRectangle", graphics, nullptr, pen, x, y, width, height);
}

GpStatus WINAPI GdipDrawRectangleI(GpGraphics* graphics, GpPen* pen, INT x, INT y, INT width, INT height) {
  return RectangleCall("GdipDrawRectangleI", graphics, nullptr, pen, x, y, width, height);
}

GpStatus WINAPI GdipFillRectangle(GpGraphics* graphics, GpBrush* brush, REAL x, REAL y, REAL width, REAL height) {
  return RectangleCall("GdipFillRectangle", graphics, brush, nullptr, x, y, width, height);
}

GpStatus WINAPI GdipFillRectangleI(GpGraphics* graphics, GpBrush* brush, INT x, INT y, INT width, INT height) {
  return RectangleCall("GdipFillRectangleI", graphics, brush, nullptr, x, y, width, height);
}

GpStatus WINAPI GdipCreatePath(GpFillMode brushMode, GpPath** path) {
  if (!path || (brushMode != FillModeAlternate && brushMode != FillModeWinding)) return InvalidParameter;
  Guard g(Mutex());
  Adopt<Path>(path)->fill = brushMode;
  Record("GdipCreatePath", nullptr, {double(brushMode)});
  return Ok;
}

GpStatus WINAPI GdipDeletePath(GpPath* path) { return Delete<Path>(path); }

GpStatus WINAPI GdipAddPathArc(GpPath* path, REAL x, REAL y, REAL width, REAL height, REAL startAngle,
                               REAL sweepAngle) {
  return AddPathPart(path, "GdipAddPathArc", {PathPart::kArc, {x, y, width, height, startAngle, sweepAngle}},
                     {x, y, width, height, startAngle, sweepAngle});
}

GpStatus WINAPI GdipAddPathLine(GpPath* path, REAL x1, REAL y1, REAL x2, REAL y2) {
  return AddPathPart(path, "GdipAddPathLine", {PathPart::kLine, {x1, y1, x2, y2, 0, 0}}, {x1, y1, x2, y2});
}

GpStatus WINAPI GdipClosePathFigure(GpPath* path) {
  return AddPathPart(path, "GdipClosePathFigure", {PathPart::kClose, {}}, {});
}

GpStatus WINAPI GdipFillPath(GpGraphics* graphics, GpBrush* brush, GpPath* path) {
  return PathCall("GdipFillPath", graphics, brush, nullptr, path);
}

GpStatus WINAPI GdipDrawPath(GpGraphics* graphics, GpPen* pen, GpPath* path) {
  return PathCall("GdipDrawPath", graphics, nullptr, pen, path);
}

GpStatus WINAPI GdipTranslateWorldTransform(GpGraphics* graphics, REAL dx, REAL dy, GpMatrixOrder order) {
  cairo_matrix_t m;
  cairo_matrix_init_translate(&m, dx, dy);
  return Transform(graphics, "GdipTranslateWorldTransform", m, order, {dx, dy, double(order)});
}

GpStatus WINAPI GdipRotateWorldTransform(GpGraphics* graphics, REAL angle, GpMatrixOrder order) {
  cairo_matrix_t m;
  cairo_matrix_init_rotate(&m, angle * kPi / 180);
  return Transform(graphics, "GdipRotateWorldTransform", m, order, {angle, double(order)});
}

GpStatus WINAPI GdipScaleWorldTransform(GpGraphics* graphics, REAL sx, REAL sy, GpMatrixOrder order) {
  cairo_matrix_t m;
  cairo_matrix_init_scale(&m, sx, sy);
  return Transform(graphics, "GdipScaleWorldTransform", m, order, {sx, sy, double(order)});
}

GpStatus WINAPI GdipResetWorldTransform(GpGraphics* graphics) {
  return OnGraphics(graphics, [](Graphics& gr) {
    cairo_matrix_init_identity(&gr.world);
    Record("GdipResetWorldTransform", &gr, {});
  });
}

GpStatus WINAPI GdipCreateFontFamilyFromName(const WCHAR* name, GpFontCollection* fontCollection,
                                             GpFontFamily** fontFamily) {
  (void)fontCollection;
  if (!name || !fontFamily) return InvalidParameter;
  Guard g(Mutex());
  if (!*name) return FontFamilyNotFound;
  Adopt<FontFamily>(fontFamily)->name = name;
  Record("GdipCreateFontFamilyFromName", nullptr, {}).text = name;
  return Ok;
}

GpStatus WINAPI GdipDeleteFontFamily(GpFontFamily* fontFamily) { return Delete<FontFamily>(fontFamily); }

GpStatus WINAPI GdipCreateFont(const GpFontFamily* fontFamily, REAL emSize, INT style, Unit unit, GpFont** font) {
  Guard g(Mutex());
  const FontFamily* f = Live<FontFamily>(fontFamily);
  if (!f || !font || emSize <= 0 || unit == UnitDisplay) return InvalidParameter;
  double pixels = emSize;  // world and pixel units: as given
  switch (unit) {
    case UnitPoint: pixels = emSize * 96.0 / 72.0; break;
    case UnitInch: pixels = emSize * 96.0; break;
    case UnitDocument: pixels = emSize * 96.0 / 300.0; break;
    case UnitMillimeter: pixels = emSize * 96.0 / 25.4; break;
    default: break;
  }
  Font* ft = Adopt<Font>(font);
  ft->family = f->name;
  ft->size = REAL(pixels);
  ft->style = style;
  auto& c = Record("GdipCreateFont", nullptr, {emSize, double(style), double(unit)});
  c.family = f->name;
  return Ok;
}

GpStatus WINAPI GdipDeleteFont(GpFont* font) { return Delete<Font>(font); }

GpStatus WINAPI GdipCreateStringFormat(INT formatAttributes, LANGID language, GpStringFormat** format) {
  if (!format) return InvalidParameter;
  Guard g(Mutex());
  Adopt<StringFormat>(format);
  Record("GdipCreateStringFormat", nullptr, {double(formatAttributes), double(language)});
  return Ok;
}

GpStatus WINAPI GdipDeleteStringFormat(GpStringFormat* format) { return Delete<StringFormat>(format); }

GpStatus WINAPI GdipSetStringFormatAlign(GpStringFormat* format, StringAlignment align) {
  return SetField(format, &StringFormat::align, align, "GdipSetStringFormatAlign",
                  align >= StringAlignmentNear && align <= StringAlignmentFar);
}

GpStatus WINAPI GdipSetStringFormatLineAlign(GpStringFormat* format, StringAlignment align) {
  return SetField(format, &StringFormat::lineAlign, align, "GdipSetStringFormatLineAlign",
                  align >= StringAlignmentNear && align <= StringAlignmentFar);
}

// Lines break at '\n' only; each is placed in the layout rectangle by the format's alignments (a
// rectangle of zero width or height places from its origin). GDI+ leaves a sixth of the em before
// near-aligned text.
GpStatus WINAPI GdipDrawString(GpGraphics* graphics, const WCHAR* string, INT length, const GpFont* font,
                               const RectF* layoutRect, const GpStringFormat* stringFormat, const GpBrush* brush) {
  Guard g(Mutex());
  Graphics* gr = Live<Graphics>(graphics);
  const Font* f = Live<Font>(font);
  const SolidFill* b = Live<SolidFill>(brush);
  const StringFormat* fmt = stringFormat ? Live<StringFormat>(stringFormat) : nullptr;
  if (!gr || !f || !b || !string || !layoutRect || (stringFormat && !fmt)) return InvalidParameter;
  std::u16string text = length < 0 ? std::u16string(string) : std::u16string(string, size_t(length));
  auto& rec = Record("GdipDrawString", gr,
                     {layoutRect->X, layoutRect->Y, layoutRect->Width, layoutRect->Height, f->size, double(f->style)});
  rec.text = text;
  rec.family = f->family;
  rec.color = b->color;
  Canvas c(*gr, kFill);
  if (!c.cr()) return Ok;
  cairo_t* cr = c.cr();
  UsedCairoText();
  cairo_select_font_face(cr, FamilyUtf8(f->family).c_str(),
                         (f->style & FontStyleItalic) ? CAIRO_FONT_SLANT_ITALIC : CAIRO_FONT_SLANT_NORMAL,
                         (f->style & FontStyleBold) ? CAIRO_FONT_WEIGHT_BOLD : CAIRO_FONT_WEIGHT_NORMAL);
  cairo_set_font_size(cr, f->size);
  cairo_font_options_t* options = cairo_font_options_create();
  cairo_font_options_set_antialias(options, gr->smoothing == SmoothingModeNone ? CAIRO_ANTIALIAS_GRAY
                                                                               : CAIRO_ANTIALIAS_DEFAULT);
  cairo_set_font_options(cr, options);
  cairo_font_options_destroy(options);
  SetColour(cr, b->color);
  cairo_font_extents_t fe;
  cairo_font_extents(cr, &fe);
  std::vector<std::string> lines;
  size_t start = 0;
  for (;;) {
    const size_t nl = text.find(u'\n', start);
    lines.push_back(ToUtf8(text.substr(start, nl == std::u16string::npos ? std::u16string::npos : nl - start)));
    if (nl == std::u16string::npos) break;
    start = nl + 1;
  }
  const StringAlignment align = fmt ? fmt->align : StringAlignmentNear;
  const StringAlignment lineAlign = fmt ? fmt->lineAlign : StringAlignmentNear;
  const double total = fe.height * double(lines.size());
  double y = layoutRect->Y;
  if (layoutRect->Height > 0) {
    if (lineAlign == StringAlignmentCenter) y += (layoutRect->Height - total) / 2;
    if (lineAlign == StringAlignmentFar) y += layoutRect->Height - total;
  }
  const double pad = f->size / 6;
  for (const std::string& line : lines) {
    cairo_text_extents_t te;
    cairo_text_extents(cr, line.c_str(), &te);
    double x = layoutRect->X + pad;
    if (layoutRect->Width > 0) {
      if (align == StringAlignmentCenter) x = layoutRect->X + (layoutRect->Width - te.x_advance) / 2;
      if (align == StringAlignmentFar) x = layoutRect->X + layoutRect->Width - te.x_advance - pad;
    }
    cairo_move_to(cr, x, y + fe.ascent);
    cairo_show_text(cr, line.c_str());
    y += fe.height;
  }
  return Ok;
}

GpStatus WINAPI GdipCreateBitmapFromScan0(INT width, INT height, INT stride, PixelFormat format, BYTE* scan0,
                                          GpBitmap** bitmap) {
  if (!bitmap || width <= 0 || height <= 0) return InvalidParameter;
  if (format != PixelFormat24bppRGB && format != PixelFormat32bppRGB && format != PixelFormat32bppARGB)
    return InvalidParameter;
  const int bytes = format == PixelFormat24bppRGB ? 3 : 4;
  if (scan0 && (stride == 0 || (stride < 0 ? -stride : stride) < width * bytes)) return InvalidParameter;
  Guard g(Mutex());
  Bitmap* b = Adopt<Bitmap>(bitmap);
  b->width = width;
  b->height = height;
  b->format = format;
  if (scan0) {
    b->scan0 = scan0;  // GDI+ draws from the caller's memory, which must outlive the bitmap
    b->stride = stride;
  } else {
    b->stride = (width * bytes + 3) / 4 * 4;
    b->own.assign(size_t(b->stride) * size_t(height), 0);
    b->scan0 = b->own.data();
  }
  Record("GdipCreateBitmapFromScan0", nullptr, {double(width), double(height), double(stride), double(format)});
  return Ok;
}

GpStatus WINAPI GdipCreateBitmapFromHBITMAP(HBITMAP hbm, HPALETTE hpal, GpBitmap** bitmap) {
  (void)hpal;
  if (!bitmap) return InvalidParameter;
  Guard g(Mutex());
  Surface s;
  if (!BitmapSurfaceOf(hbm, &s)) return InvalidParameter;
  Bitmap* b = Adopt<Bitmap>(bitmap);
  b->width = s.width;
  b->height = s.height;
  b->format = PixelFormat32bppRGB;
  b->stride = s.width * 4;
  b->own.resize(size_t(b->stride) * size_t(s.height));
  for (int y = 0; y < s.height; ++y)
    std::memcpy(&b->own[size_t(y) * size_t(b->stride)], s.bits + size_t(y) * size_t(s.stride), size_t(b->stride));
  b->scan0 = b->own.data();
  ReleaseBitmapSurface(hbm);
  Record("GdipCreateBitmapFromHBITMAP", nullptr, {double(s.width), double(s.height)});
  return Ok;
}

GpStatus WINAPI GdipDisposeImage(GpImage* image) { return Delete<Bitmap>(image); }

GpStatus WINAPI GdipDrawImageRect(GpGraphics* graphics, GpImage* image, REAL x, REAL y, REAL width, REAL height) {
  Guard g(Mutex());
  Graphics* gr = Live<Graphics>(graphics);
  const Bitmap* b = Live<Bitmap>(image);
  if (!gr || !b) return InvalidParameter;
  Record("GdipDrawImageRect", gr, {x, y, width, height, double(b->width), double(b->height)});
  // The pixels as a Cairo image, rows top-down.
  const bool alpha = b->format == PixelFormat32bppARGB;
  cairo_surface_t* img =
      cairo_image_surface_create(alpha ? CAIRO_FORMAT_ARGB32 : CAIRO_FORMAT_RGB24, b->width, b->height);
  cairo_surface_flush(img);
  uint8_t* dst = cairo_image_surface_get_data(img);
  const int dstStride = cairo_image_surface_get_stride(img);
  for (int row = 0; row < b->height; ++row) {
    const uint8_t* s = b->scan0 + ptrdiff_t(row) * b->stride;
    auto* d = reinterpret_cast<uint32_t*>(dst + size_t(row) * size_t(dstStride));
    for (int col = 0; col < b->width; ++col) {
      if (b->format == PixelFormat24bppRGB) {
        d[col] = 0xFF000000u | uint32_t(s[col * 3 + 2]) << 16 | uint32_t(s[col * 3 + 1]) << 8 | s[col * 3];
      } else {
        const uint32_t a = alpha ? s[col * 4 + 3] : 0xFF;
        // Cairo wants premultiplied alpha.
        d[col] = a << 24 | uint32_t(s[col * 4 + 2] * a / 255) << 16 | uint32_t(s[col * 4 + 1] * a / 255) << 8 |
                 uint32_t(s[col * 4] * a / 255);
      }
    }
  }
  cairo_surface_mark_dirty(img);
  {
    Canvas c(*gr, kFill);
    if (c.cr() && width != 0 && height != 0) {
      cairo_t* cr = c.cr();
      cairo_rectangle(cr, x, y, width, height);
      cairo_clip(cr);
      cairo_translate(cr, x, y);
      cairo_scale(cr, width / b->width, height / b->height);
      cairo_set_source_surface(cr, img, 0, 0);
      cairo_pattern_set_extend(cairo_get_source(cr), CAIRO_EXTEND_PAD);
      cairo_pattern_set_filter(cairo_get_source(cr), CAIRO_FILTER_GOOD);
      cairo_paint(cr);
    }
  }
  cairo_surface_destroy(img);
  return Ok;
}

GpStatus WINAPI GdipDrawImageRectI(GpGraphics* graphics, GpImage* image, INT x, INT y, INT width, INT height) {
  return GdipDrawImageRect(graphics, image, REAL(x), REAL(y), REAL(width), REAL(height));
}

}  // extern "C"
}  // namespace DllExports
}  // namespace Gdiplus
