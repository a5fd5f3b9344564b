#include "tools/input_pdf.h"

#include <cairo.h>
#include <poppler.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <memory>

namespace lbl {

namespace {

bool ParsePageNumber(const std::string& text, int* n) {
  if (text.empty() || text.size() > 6 || text.find_first_not_of("0123456789") != std::string::npos) return false;
  *n = std::atoi(text.c_str());
  return *n >= 1;
}

struct GObjectFree {
  void operator()(void* p) const { g_object_unref(p); }
};

}  // namespace

bool ParsePageSelection(const std::string& text, PageSelection* out, std::string* error) {
  out->clear();
  size_t start = 0;
  while (true) {
    const size_t comma = text.find(',', start);
    const std::string part = text.substr(start, comma == std::string::npos ? std::string::npos : comma - start);
    const size_t dash = part.find('-');
    int first = 0, last = 0;
    bool ok;
    if (dash == std::string::npos) {
      ok = ParsePageNumber(part, &first);
      last = first;
    } else {
      const std::string a = part.substr(0, dash), b = part.substr(dash + 1);
      ok = (a.empty() || ParsePageNumber(a, &first)) && (b.empty() || ParsePageNumber(b, &last)) &&
           !(a.empty() && b.empty());
      if (a.empty()) first = 1;
      if (b.empty()) last = 0x7FFFFFFF;
      ok = ok && first <= last;
    }
    if (!ok) {
      *error = "bad value for --pages: '" + text + "' (page numbers from 1 and ranges, e.g. 1-3,5)";
      return false;
    }
    out->emplace_back(first, last);
    if (comma == std::string::npos) return true;
    start = comma + 1;
  }
}

bool SelectPages(const PageSelection& selection, int count, std::vector<int>* pages, std::string* error) {
  pages->clear();
  if (selection.empty()) {
    for (int i = 1; i <= count; ++i) pages->push_back(i);
    return true;
  }
  for (const auto& [first, last] : selection) {
    const int end = last == 0x7FFFFFFF ? count : last;
    if (first > count || end > count) {
      *error = "page " + std::to_string(std::max(first, end)) + " is not in the document (it has " +
               std::to_string(count) + (count == 1 ? " page)" : " pages)");
      return false;
    }
    for (int p = first; p <= end; ++p) pages->push_back(p);
  }
  return true;
}

bool IsPdf(const uint8_t* data, size_t size) {
  // Readers accept the header anywhere in the first kilobyte.
  const size_t n = std::min<size_t>(size, 1024);
  for (size_t i = 0; i + 5 <= n; ++i)
    if (std::memcmp(data + i, "%PDF-", 5) == 0) return true;
  return false;
}

bool LoadPdfPages(const std::string& path, const PageSelection& selection, int xDpi, int yDpi,
                  std::vector<RgbImage>* out, std::string* error) {
  std::ifstream in(path, std::ios::binary);
  if (!in) {
    *error = "cannot open " + path;
    return false;
  }
  const std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  GBytes* data = g_bytes_new(bytes.data(), bytes.size());
  GError* gerror = nullptr;
  std::unique_ptr<PopplerDocument, GObjectFree> doc(poppler_document_new_from_bytes(data, nullptr, &gerror));
  g_bytes_unref(data);
  if (!doc) {
    *error = path + ": not a readable PDF (" + (gerror ? gerror->message : "unknown fault") + ")";
    if (gerror) g_error_free(gerror);
    return false;
  }
  std::vector<int> pages;
  if (!SelectPages(selection, poppler_document_get_n_pages(doc.get()), &pages, error)) {
    *error = path + ": " + *error;
    return false;
  }
  for (int number : pages) {
    std::unique_ptr<PopplerPage, GObjectFree> page(poppler_document_get_page(doc.get(), number - 1));
    if (!page) {
      *error = path + ": cannot read page " + std::to_string(number);
      return false;
    }
    double wPt = 0, hPt = 0;
    poppler_page_get_size(page.get(), &wPt, &hPt);
    const double w = std::round(wPt * xDpi / 72.0), h = std::round(hPt * yDpi / 72.0);
    // The page bitmap of the largest label is far smaller; this only keeps a bad page size from
    // asking for gigabytes.
    if (!(w >= 1 && h >= 1 && w <= 32767 && h <= 32767 && w * h <= double(1 << 27))) {
      *error = path + ": page " + std::to_string(number) + " is too large to draw (" + std::to_string(wPt) + " x " +
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
      *error = path + ": page " + std::to_string(number) + " could not be drawn (" + cairo_status_to_string(status) + ")";
      return false;
    }
    RgbImage img;
    img.width = uint32_t(w);
    img.height = uint32_t(h);
    img.rgb.resize(size_t(img.width) * img.height * 3);
    const unsigned char* bits = cairo_image_surface_get_data(surface);
    const int stride = cairo_image_surface_get_stride(surface);
    for (uint32_t y = 0; y < img.height; ++y) {
      const uint32_t* row = reinterpret_cast<const uint32_t*>(bits + size_t(y) * size_t(stride));
      uint8_t* px = &img.rgb[size_t(y) * img.width * 3];
      for (uint32_t x = 0; x < img.width; ++x, px += 3) {
        px[0] = uint8_t(row[x] >> 16);
        px[1] = uint8_t(row[x] >> 8);
        px[2] = uint8_t(row[x]);
      }
    }
    cairo_surface_destroy(surface);
    out->push_back(std::move(img));
  }
  return true;
}

}  // namespace lbl
