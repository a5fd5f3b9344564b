// Documents for the printer application's checks, made here so that none has to be shipped, and
// a free loopback port for its server:
//   png W H FILE           an 8-bit picture of W x H pixels (a label: frame, bars, grey steps)
//   jpeg W H FILE          the same picture as a greyscale JPEG
//   pdf W H PAGES FILE     a PDF of PAGES pages of W x H points, a shipping label on each
//   pwg W H DPI TYPE FILE  a one-page PWG raster of W x H pixels, TYPE sgray_8 or black_1
//   ps FILE                a one-page PostScript document
//   port                   prints a TCP port free on 127.0.0.1 now
#include <cstdio>  // before jpeglib.h, which uses FILE

#include <cairo-pdf.h>
#include <cairo.h>
#include <cups/raster.h>
#include <fcntl.h>
#include <fontconfig/fontconfig.h>
#include <jpeglib.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <string>
#include <vector>

#include "free_port.h"
#include "tools/viewer/png.h"

namespace {

// Grey level of the label picture at (x, y): a frame, a row of bars, a band of grey steps.
uint8_t Pixel(int x, int y, int w, int h) {
  const int m = std::max(2, w / 40);
  if (x < m || y < m || x >= w - m || y >= h - m) return 0;
  if (y > h / 4 && y < h / 2 && (x / std::max(1, w / 32)) % 3 == 0) return 0;
  if (y > (h * 5) / 8 && y < (h * 7) / 8) return uint8_t((x * 255) / std::max(1, w - 1));
  return 255;
}

int Usage() {
  std::fprintf(stderr, "usage: lbl-ipp-fixtures png|jpeg W H FILE | pdf W H PAGES FILE | pwg W H DPI TYPE FILE | ps FILE | port\n");
  return 2;
}

bool WritePng(int w, int h, const std::string& file) {
  lblview::RgbImage img;
  img.width = uint32_t(w);
  img.height = uint32_t(h);
  img.rgb.resize(size_t(w) * h * 3);
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x)
      for (int c = 0; c < 3; ++c) img.rgb[(size_t(y) * w + x) * 3 + c] = Pixel(x, y, w, h);
  const std::vector<uint8_t> png = lblview::EncodeRgbPng(img);
  std::ofstream out(file, std::ios::binary);
  out.write(reinterpret_cast<const char*>(png.data()), std::streamsize(png.size()));
  return bool(out);
}

bool WriteJpeg(int w, int h, const std::string& file) {
  FILE* f = std::fopen(file.c_str(), "wb");
  if (!f) return false;
  jpeg_compress_struct c;
  jpeg_error_mgr err;
  c.err = jpeg_std_error(&err);
  jpeg_create_compress(&c);
  jpeg_stdio_dest(&c, f);
  c.image_width = JDIMENSION(w);
  c.image_height = JDIMENSION(h);
  c.input_components = 1;
  c.in_color_space = JCS_GRAYSCALE;
  jpeg_set_defaults(&c);
  jpeg_set_quality(&c, 90, TRUE);
  jpeg_start_compress(&c, TRUE);
  std::vector<uint8_t> row(static_cast<size_t>(w));
  for (int y = 0; y < h; ++y) {
    for (int x = 0; x < w; ++x) row[size_t(x)] = Pixel(x, y, w, h);
    JSAMPROW r = row.data();
    jpeg_write_scanlines(&c, &r, 1);
  }
  jpeg_finish_compress(&c);
  jpeg_destroy_compress(&c);
  return std::fclose(f) == 0;
}

bool WritePdf(double w, double h, int pages, const std::string& file) {
  cairo_surface_t* s = cairo_pdf_surface_create(file.c_str(), w, h);
  cairo_t* cr = cairo_create(s);
  for (int p = 1; p <= pages; ++p) {
    cairo_set_source_rgb(cr, 0, 0, 0);
    cairo_set_line_width(cr, 2);
    cairo_rectangle(cr, 4, 4, w - 8, h - 8);
    cairo_stroke(cr);
    cairo_select_font_face(cr, "sans-serif", CAIRO_FONT_SLANT_NORMAL, CAIRO_FONT_WEIGHT_BOLD);
    cairo_set_font_size(cr, h / 8);
    cairo_move_to(cr, 12, h / 5);
    cairo_show_text(cr, ("SHIP TO " + std::to_string(p)).c_str());
    for (int i = 0; i < 12; ++i) cairo_rectangle(cr, 12 + i * w / 16, h / 3, (i % 3 + 1) * 1.5, h / 4);
    cairo_fill(cr);
    cairo_show_page(cr);
  }
  cairo_destroy(cr);
  cairo_surface_finish(s);
  const bool ok = cairo_surface_status(s) == CAIRO_STATUS_SUCCESS;
  cairo_surface_destroy(s);
  cairo_debug_reset_static_data();
  FcFini();
  return ok;
}

bool WritePwg(int w, int h, int dpi, const std::string& type, const std::string& file) {
  const int fd = ::open(file.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
  if (fd < 0) return false;
  cups_raster_t* ras = cupsRasterOpen(fd, CUPS_RASTER_WRITE_PWG);
  cups_page_header2_t header;
  pwg_media_t media{};
  media.width = w * 2540 / dpi;
  media.length = h * 2540 / dpi;
  char name[128];
  pwgFormatSizeName(name, sizeof name, "custom", nullptr, media.width, media.length, nullptr);
  media.pwg = name;
  bool ok = ras && cupsRasterInitPWGHeader(&header, &media, type.c_str(), dpi, dpi, "one-sided", "normal");
  if (ok) {
    header.cupsWidth = unsigned(w);
    header.cupsHeight = unsigned(h);
    header.cupsBytesPerLine = (header.cupsWidth * header.cupsBitsPerPixel + 7) / 8;
    header.cupsInteger[CUPS_RASTER_PWG_TotalPageCount] = 1;
    ok = cupsRasterWriteHeader2(ras, &header);
  }
  std::vector<uint8_t> line(ok ? header.cupsBytesPerLine : 0);
  for (int y = 0; ok && y < h; ++y) {
    std::fill(line.begin(), line.end(), 0);
    for (int x = 0; x < w; ++x) {
      const uint8_t v = Pixel(x, y, w, h);
      if (header.cupsBitsPerPixel == 1) {
        if (v < 128) line[size_t(x / 8)] |= uint8_t(0x80 >> (x % 8));  // black_1: 1 is black
      } else {
        line[size_t(x)] = v;
      }
    }
    ok = cupsRasterWritePixels(ras, line.data(), header.cupsBytesPerLine) == header.cupsBytesPerLine;
  }
  if (ras) cupsRasterClose(ras);
  return ::close(fd) == 0 && ok;
}

bool WritePs(const std::string& file) {
  std::ofstream out(file);
  out << "%!PS-Adobe-3.0\n%%Pages: 1\n%%EndComments\n%%Page: 1 1\n"
         "newpath 20 20 moveto 200 20 lineto 200 100 lineto 20 100 lineto closepath stroke\nshowpage\n%%EOF\n";
  return bool(out);
}

int Number(const char* s, int lo, int hi) {
  char* end = nullptr;
  const long v = std::strtol(s, &end, 10);
  return *end || v < lo || v > hi ? -1 : int(v);
}

}  // namespace

int PrintFreePort() {
  const int port = ipptest::FreePort();
  if (port) std::printf("%d\n", port);
  return port ? 0 : 1;
}

int main(int argc, char** argv) {
  if (argc == 2 && std::string(argv[1]) == "port") return PrintFreePort();
  if (argc < 3) return Usage();
  const std::string kind = argv[1];
  bool ok;
  if ((kind == "png" || kind == "jpeg") && argc == 5) {
    const int w = Number(argv[2], 1, 20000), h = Number(argv[3], 1, 20000);
    if (w < 0 || h < 0) return Usage();
    ok = kind == "png" ? WritePng(w, h, argv[4]) : WriteJpeg(w, h, argv[4]);
  } else if (kind == "pdf" && argc == 6) {
    const int w = Number(argv[2], 1, 5000), h = Number(argv[3], 1, 5000), pages = Number(argv[4], 1, 1000);
    if (w < 0 || h < 0 || pages < 0) return Usage();
    ok = WritePdf(w, h, pages, argv[5]);
  } else if (kind == "pwg" && argc == 7) {
    const int w = Number(argv[2], 1, 20000), h = Number(argv[3], 1, 20000), dpi = Number(argv[4], 72, 2400);
    if (w < 0 || h < 0 || dpi < 0) return Usage();
    ok = WritePwg(w, h, dpi, argv[5], argv[6]);
  } else if (kind == "ps" && argc == 3) {
    ok = WritePs(argv[2]);
  } else {
    return Usage();
  }
  if (!ok) std::fprintf(stderr, "lbl-ipp-fixtures: cannot write %s\n", argv[argc - 1]);
  return ok ? 0 : 1;
}
