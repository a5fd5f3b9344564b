// ESC: binary raster commands in the manner of receipt printers. GS W and GS L start a page (print
// area width, left margin); GS v 0 bands stack up from the top, 1 = black dot; feeds and cuts
// move the paper. A label ends at the next page start, at a cut or at the end of the stream.
#include <cstring>

#include "tools/viewer/viewer_internal.h"

namespace lblview::detail {

namespace {

struct Band {
  uint32_t rowBytes, rows;
  int xScale, yScale;
  size_t offset;  // of its data
};

struct Esc : Stream {
  using Stream::Stream;
  uint32_t areaWidth = 0, left = 0;
  std::vector<Band> bands;
  size_t pageAt = 0;

  void Need(size_t pos, size_t n, const char* what) const {
    if (size - pos < n) Fail(pos, "%s needs %zu bytes, the stream ends after %zu", what, n, size - pos);
  }

  void Finish(size_t at) {
    if (bands.empty()) return;
    uint64_t width = areaWidth, height = 0;
    for (const Band& b : bands) {
      width = std::max<uint64_t>(width, left + uint64_t(b.rowBytes) * 8 * b.xScale);
      height += uint64_t(b.rows) * b.yScale;
    }
    Label label = sink.NewLabel(width, height, pageAt);
    int64_t y = 0;
    for (const Band& b : bands) {
      const uint8_t* rows = data + b.offset;
      if (b.xScale == 1 && b.yScale == 1) {
        DrawRows(label, left, y, rows, b.rowBytes, b.rows, true);
      } else {
        for (uint32_t r = 0; r < b.rows; ++r)
          for (uint32_t x = 0; x < b.rowBytes * 8; ++x)
            if (rows[r * b.rowBytes + x / 8] & (0x80 >> (x % 8)))
              for (int dy = 0; dy < b.yScale; ++dy)
                for (int dx = 0; dx < b.xScale; ++dx)
                  label.SetBlack(left + x * b.xScale + dx, static_cast<uint32_t>(y) + r * b.yScale + dy);
      }
      y += int64_t(b.rows) * b.yScale;
    }
    sink.Emit(label, 1, at);
    bands.clear();
  }

  void Run() {
    size_t pos = 0;
    while (pos < size) {
      const uint8_t b = data[pos];
      const uint8_t n1 = size - pos > 1 ? data[pos + 1] : 0;
      if (b == 0x1D && n1 == 0x57) {
        Need(pos, 4, "GS W (print area width)");
        Finish(pos);
        pageAt = pos;
        areaWidth = U16(data + pos + 2);
        sink.Add(pos, Format("GS W %u (print area width %u dots)", areaWidth, areaWidth));
        pos += 4;
      } else if (b == 0x1D && n1 == 0x4C) {
        Need(pos, 4, "GS L (left margin)");
        left = U16(data + pos + 2);
        sink.Add(pos, Format("GS L %u (left margin %u dots)", left, left));
        pos += 4;
      } else if (b == 0x1D && n1 == 0x76) {
        Need(pos, 8, "GS v 0 (raster band)");
        if (data[pos + 2] != 0x30) Fail(pos + 2, "GS v must be followed by '0' (0x30), not 0x%02X", data[pos + 2]);
        const uint8_t m = data[pos + 3];
        if (m > 3 && !(m >= 0x30 && m <= 0x33)) Fail(pos + 3, "GS v 0 mode %u is not 0 to 3", m);
        const uint32_t x = U16(data + pos + 4), rows = U16(data + pos + 6);
        if (x == 0 || rows == 0) Fail(pos + 4, "GS v 0 band of %u bytes x %u rows has no area", x, rows);
        const size_t bytes = size_t(x) * rows;
        if (size - pos - 8 < bytes)
          Fail(pos, "GS v 0 band of %u x %u needs %zu data bytes, only %zu follow", x, rows, bytes, size - pos - 8);
        const int mode = m & 3;
        sink.Add(pos, Format("GS v 0 %u: %u bytes x %u rows (%zu bytes)", m, x, rows, bytes));
        bands.push_back(Band{x, rows, (mode & 1) ? 2 : 1, (mode & 2) ? 2 : 1, pos + 8});
        pos += 8 + bytes;
      } else if (b == 0x1D && n1 == 0x56) {
        Need(pos, 3, "GS V (cut)");
        const uint8_t m = data[pos + 2];
        if (m == 0 || m == 1 || m == 0x30 || m == 0x31) {
          sink.Add(pos, Format("GS V %u (cut)", m));
          Finish(pos);
          pos += 3;
        } else if (m == 0x41 || m == 0x42) {
          Need(pos, 4, "GS V (feed and cut)");
          sink.Add(pos, Format("GS V %u %u (feed %u dots and cut)", m, data[pos + 3], data[pos + 3]));
          Finish(pos);
          pos += 4;
        } else {
          Fail(pos + 2, "GS V mode %u is not a cut", m);
        }
      } else if (b == 0x1B && n1 == 0x4A) {
        Need(pos, 3, "ESC J (feed)");
        sink.Add(pos, Format("ESC J %u (feed %u dots)", data[pos + 2], data[pos + 2]));
        pos += 3;
      } else if (b == 0x1B && n1 == 0x4B) {
        Need(pos, 4, "ESC K (feed)");
        sink.Add(pos, Format("ESC K %u %u (feed %u dots)", data[pos + 2], data[pos + 3], U16(data + pos + 2)));
        pos += 4;
      } else if (b == 0x1B && n1 == 0x40) {
        sink.Add(pos, "ESC @ (initialise)");
        pos += 2;
      } else if (b == 0x1F) {
        Need(pos, 6, "darkness command");
        if (std::memcmp(data + pos, "\x1F\x1B\x1F\x13\x14", 5) != 0)
          Fail(pos, "unknown command 1F %02X", n1);
        sink.Add(pos, Format("darkness %u", data[pos + 5]));
        pos += 6;
      } else if (b == 0x1B || b == 0x1D) {
        if (size - pos < 2) Fail(pos, "the stream ends inside a command");
        Fail(pos, "unknown command %02X %02X", b, n1);
      } else if (IsTextByte(b)) {
        size_t end = pos;
        while (end < size && IsTextByte(data[end])) ++end;
        sink.Add(pos, "text: " + Printable(data + pos, end - pos));
        sink.Note(Format("byte %zu: text is listed, not rendered", pos));
        pos = end;
      } else {
        Fail(pos, "byte 0x%02X starts no ESC command", b);
      }
    }
    Finish(size);
  }
};

}  // namespace

void ViewEsc(const uint8_t* data, size_t size, Sink& sink) {
  Esc e(data, size, sink);
  e.Run();
}

}  // namespace lblview::detail
