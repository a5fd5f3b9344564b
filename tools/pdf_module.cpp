// lblpdf.so: PDF pages drawn by Poppler through Cairo, as a PDF viewer printing through the driver
// draws them.
#include "tools/pdf_module.h"

#include <cairo.h>
#include <poppler.h>

#include <cmath>
#include <memory>

namespace {

struct GObjectFree {
  void operator()(void* p) const { g_object_unref(p); }
};

void* Open(const std::string& bytes, std::string* error) {
  GBytes* data = g_bytes_new(bytes.data(), bytes.size());
  GError* gerror = nullptr;
  PopplerDocument* doc = poppler_document_new_from_bytes(data, nullptr, &gerror);
  g_bytes_unref(data);
  if (!doc) {
    *error = std::string("not a readable PDF (") + (gerror ? gerror->message : "unknown fault") + ")";
    if (gerror) g_error_free(gerror);
  }
  return doc;
}

int PageCount(void* doc) { return poppler_document_get_n_pages(static_cast<PopplerDocument*>(doc)); }

bool Render(void* doc, int number, int xDpi, int yDpi, lblview::RgbImage* out, std::string* error) {
  std::unique_ptr<PopplerPage, GObjectFree> page(
      poppler_document_get_page(static_cast<PopplerDocument*>(doc), number - 1));
  if (!page) {
    *error = "cannot read page " + std::to_string(number);
    return false;
  }
  double wPt = 0, hPt = 0;
  poppler_page_get_size(page.get(), &wPt, &hPt);
  const double w = std::round(wPt * xDpi / 72.0), h = std::round(hPt * yDpi / 72.0);
  // The page bitmap of the largest label is far smaller; this only keeps a bad page size from
  // asking for gigabytes.
  if (!(w >= 1 && h >= 1 && w <= 32767 && h <= 32767 && w * h <= double(1 << 27))) {
    *error = "page " + std::to_string(number) + " is too large to draw (" + std::to_string(wPt) + " x " +
             std::to_string(hPt) + " points)";
    return false;
  }
  cairo_surface_t* surface = cairo_image_surface_create(CAIRO_FORMAT_RGB24, int(w), int(h));
  cairo_t* cr = cairo_create(surface);
  cairo_set_source_rgb(cr, 1, 1, 1);
  cairo_paint(cr);
  cairo_scale(cr, xDpi / 72.0, yDpi / 72.0);
  poppler_page_render_for_printing(page.get(), cr);
  const cairo_status_t status = cairo_status(cr);
  cairo_destroy(cr);
  cairo_surface_flush(surface);
  if (status != CAIRO_STATUS_SUCCESS || cairo_surface_status(surface) != CAIRO_STATUS_SUCCESS) {
    cairo_surface_destroy(surface);
    *error = "page " + std::to_string(number) + " could not be drawn (" + cairo_status_to_string(status) + ")";
    return false;
  }
  out->width = uint32_t(w);
  out->height = uint32_t(h);
  out->rgb.resize(size_t(out->width) * out->height * 3);
  const unsigned char* bits = cairo_image_surface_get_data(surface);
  const int stride = cairo_image_surface_get_stride(surface);
  for (uint32_t y = 0; y < out->height; ++y) {
    const uint32_t* row = reinterpret_cast<const uint32_t*>(bits + size_t(y) * size_t(stride));
    uint8_t* px = &out->rgb[size_t(y) * out->width * 3];
    for (uint32_t x = 0; x < out->width; ++x, px += 3) {
      px[0] = uint8_t(row[x] >> 16);
      px[1] = uint8_t(row[x] >> 8);
      px[2] = uint8_t(row[x]);
    }
  }
  cairo_surface_destroy(surface);
  return true;
}

void Close(void* doc) { g_object_unref(doc); }

}  // namespace

extern "C" const lbl::PdfModule* LblPdfModule() {
  static const lbl::PdfModule module{lbl::PdfModule::kVersion, Open, PageCount, Render, Close};
  return &module;
}
