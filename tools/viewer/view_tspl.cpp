// TSPL: text commands ending in CR LF; BITMAP carries width x height raw bytes right after its
// last comma, 0 = black dot. A label is the image buffer at PRINT, its size from SIZE.
#include <cmath>
#include <cstdlib>
#include <cstring>

#include "tools/viewer/viewer_internal.h"

namespace lblview::detail {

namespace {

struct Tspl : Stream {
  using Stream::Stream;
  uint64_t sizeW = 0, sizeH = 0;  // SIZE in dots
  Label image;                    // since the last CLS
  bool drawn = false;

  // Strict numbers: optional sign, digits, optional fraction; `at` is the offset of `text`.
  static bool Number(const std::string& text, double* v) {
    if (text.empty()) return false;
    char* end = nullptr;
    *v = std::strtod(text.c_str(), &end);
    return *end == 0 && std::isfinite(*v) && std::strchr("0123456789+-.", text[0]);
  }
  static std::string Trim(const std::string& s) {
    size_t a = s.find_first_not_of(' '), b = s.find_last_not_of(' ');
    return a == std::string::npos ? std::string() : s.substr(a, b - a + 1);
  }
  static std::vector<std::string> Split(const std::string& s) {
    std::vector<std::string> out;
    size_t start = 0;
    for (size_t comma; (comma = s.find(',', start)) != std::string::npos; start = comma + 1)
      out.push_back(Trim(s.substr(start, comma - start)));
    out.push_back(Trim(s.substr(start)));
    return out;
  }

  // A length with "mm" (millimetres) or without (inches), in dots.
  double Length(const std::string& arg, size_t at, const char* what) const {
    std::string t = arg;
    double scale = sink.options.dpi;  // inches
    if (t.size() >= 2 && t.compare(t.size() - 2, 2, "mm") == 0) {
      t = Trim(t.substr(0, t.size() - 2));
      scale = sink.options.dpi / 25.4;
    } else if (t.size() >= 3 && t.compare(t.size() - 3, 3, "dot") == 0) {
      t = Trim(t.substr(0, t.size() - 3));
      scale = 1;
    }
    double v;
    if (!Number(t, &v)) Fail(at, "%s: '%s' is not a length", what, arg.c_str());
    return v * scale;
  }

  long Integer(const std::string& arg, size_t at, const char* what, long lo, long hi) const {
    char* end = nullptr;
    long v = std::strtol(arg.c_str(), &end, 10);
    if (arg.empty() || *end || v < lo || v > hi) Fail(at, "%s: '%s' is not a number from %ld to %ld", what, arg.c_str(), lo, hi);
    return v;
  }

  void Args(const std::vector<std::string>& a, size_t n, size_t at, const char* what) const {
    if (a.size() != n) Fail(at, "%s takes %zu arguments, not %zu", what, n, a.size());
  }

  // Grows the image to cover (w, h) at least, keeping what is drawn.
  void Cover(uint64_t w, uint64_t h, size_t at) {
    if (image.width >= w && image.height >= h) return;
    Label bigger = sink.NewLabel(std::max<uint64_t>(w, image.width), std::max<uint64_t>(h, image.height), at);
    for (uint32_t y = 0; y < image.height; ++y)
      std::memcpy(&bigger.bits[y * bigger.Stride()], &image.bits[y * image.Stride()], image.Stride());
    image = std::move(bigger);
  }

  void Clear(size_t at) {
    image = Label{};
    drawn = false;
    if (sizeW && sizeH) Cover(sizeW, sizeH, at);
  }

  size_t Bitmap(size_t at, size_t argsAt) {
    // "BITMAP x,y,width,height,mode," then width x height bytes.
    size_t p = argsAt;
    long v[5];
    const char* names[5] = {"x", "y", "width", "height", "mode"};
    const long limits[5] = {65535, 65535, 65535, 65535, 2};
    for (int i = 0; i < 5; ++i) {
      size_t start = p;
      while (p < size && data[p] == ' ') ++p;
      size_t digits = p;
      while (p < size && data[p] >= '0' && data[p] <= '9' && p - digits < 9) ++p;
      if (p == digits) Fail(start, "BITMAP: the %s is not a number", names[i]);
      v[i] = std::strtol(std::string(data + digits, data + p).c_str(), nullptr, 10);
      if (v[i] > limits[i]) Fail(digits, "BITMAP: %s %ld is out of range (0 to %ld)", names[i], v[i], limits[i]);
      while (p < size && data[p] == ' ') ++p;
      if (p >= size || data[p] != ',') Fail(p, "BITMAP: a comma must follow the %s", names[i]);
      ++p;
    }
    const size_t bytes = size_t(v[2]) * size_t(v[3]);
    if (v[2] == 0 || v[3] == 0) Fail(argsAt, "BITMAP of %ld x %ld bytes has no area", v[2], v[3]);
    if (bytes > size - p) Fail(at, "BITMAP %ld,%ld,%ld,%ld,%ld needs %zu data bytes, only %zu follow", v[0], v[1], v[2], v[3], v[4],
                               bytes, size - p);
    static const char* const modes[] = {"overwrite", "OR", "XOR"};
    sink.Add(at, Format("BITMAP %ld,%ld,%ld,%ld,%ld (%s, %zu bytes)", v[0], v[1], v[2], v[3], v[4], modes[v[4]], bytes));
    Cover(uint64_t(v[0]) + uint64_t(v[2]) * 8, uint64_t(v[1]) + uint64_t(v[3]), at);
    DrawRows(image, v[0], v[1], data + p, size_t(v[2]), size_t(v[3]), false,
             v[4] == 0 ? DrawMode::Overwrite : v[4] == 1 ? DrawMode::Or : DrawMode::Xor);
    drawn = true;
    return p + bytes;
  }

  void Line(size_t at, const std::string& line) {
    size_t space = line.find(' ');
    std::string name = line.substr(0, space);
    std::string rest = space == std::string::npos ? "" : Trim(line.substr(space + 1));
    std::vector<std::string> a = Split(rest);
    if (name == "SIZE") {
      Args(a, 2, at, "SIZE");
      double w = Length(a[0], at, "SIZE width"), h = Length(a[1], at, "SIZE height");
      if (!(w >= 1 && h >= 1)) Fail(at, "SIZE %s is smaller than one dot", rest.c_str());
      sizeW = static_cast<uint64_t>(std::llround(std::min(w, 1e9)));
      sizeH = static_cast<uint64_t>(std::llround(std::min(h, 1e9)));
      sink.Add(at, Format("SIZE %s (%llu x %llu dots)", rest.c_str(), (unsigned long long)sizeW, (unsigned long long)sizeH));
      Cover(sizeW, sizeH, at);
    } else if (name == "GAP" || name == "BLINE") {
      Args(a, 2, at, name.c_str());
      double h = Length(a[0], at, name.c_str()), o = Length(a[1], at, name.c_str());
      if (h < 0) Fail(at, "%s %s is negative", name.c_str(), rest.c_str());
      sink.Add(at, Format("%s %s (%s %.0f dots, offset %.0f dots)", name.c_str(), rest.c_str(),
                          h == 0 ? "continuous media," : name == "GAP" ? "gap" : "black mark", h, o));
    } else if (name == "OFFSET") {
      Args(a, 1, at, "OFFSET");
      double o = Length(a[0], at, "OFFSET");
      sink.Add(at, Format("OFFSET %s (%.0f dots)", rest.c_str(), o));
    } else if (name == "SPEED") {
      Args(a, 1, at, "SPEED");
      double s;
      if (!Number(a[0], &s) || s <= 0 || s > 100) Fail(at, "SPEED '%s' is not a speed in inches per second", a[0].c_str());
      sink.Add(at, "SPEED " + rest);
    } else if (name == "DENSITY") {
      Args(a, 1, at, "DENSITY");
      Integer(a[0], at, "DENSITY", 0, 15);
      sink.Add(at, "DENSITY " + rest);
    } else if (name == "DIRECTION") {
      if (a.empty() || a.size() > 2) Fail(at, "DIRECTION takes 1 or 2 arguments");
      Integer(a[0], at, "DIRECTION", 0, 1);
      if (a.size() == 2) Integer(a[1], at, "DIRECTION mirror", 0, 1);
      sink.Add(at, "DIRECTION " + rest);
    } else if (name == "REFERENCE") {
      Args(a, 2, at, "REFERENCE");
      Integer(a[0], at, "REFERENCE x", 0, 65535);
      Integer(a[1], at, "REFERENCE y", 0, 65535);
      sink.Add(at, "REFERENCE " + rest);
    } else if (name == "SET") {
      size_t sp = rest.find(' ');
      std::string what = rest.substr(0, sp), value = sp == std::string::npos ? "" : Trim(rest.substr(sp + 1));
      if (what.empty() || value.empty()) Fail(at, "SET needs a setting and a value");
      if ((what == "RIBBON" || what == "TEAR" || what == "PEEL") && value != "ON" && value != "OFF")
        Fail(at, "SET %s takes ON or OFF, not '%s'", what.c_str(), value.c_str());
      sink.Add(at, "SET " + rest);
    } else if (name == "CUT") {
      if (!rest.empty()) Fail(at, "CUT takes no arguments");
      sink.Add(at, "CUT (cut now)");
    } else if (name == "CLS") {
      if (!rest.empty()) Fail(at, "CLS takes no arguments");
      sink.Add(at, "CLS");
      Clear(at);
    } else if (name == "PRINT") {
      if (a.empty() || a.size() > 2) Fail(at, "PRINT takes 1 or 2 arguments");
      long sets = Integer(a[0], at, "PRINT sets", 1, 999999999);
      long copies = a.size() == 2 ? Integer(a[1], at, "PRINT copies", 1, 999999999) : 1;
      if (!image.width) Fail(at, "PRINT without a label: no SIZE and nothing drawn");
      const uint64_t n = uint64_t(sets) * uint64_t(copies);
      sink.Add(at, Format("PRINT %s (%llu label%s)", rest.c_str(), (unsigned long long)n, n == 1 ? "" : "s"));
      sink.Emit(image, n, at);
      drawn = false;
    } else {
      sink.Add(at, "unknown command: " + line);
      sink.Note(Format("byte %zu: TSPL command '%s' is not known to the viewer and was skipped", at, name.c_str()));
    }
  }

  void Run() {
    size_t pos = 0;
    while (pos < size) {
      const uint8_t c = data[pos];
      if (c == '\r' || c == '\n' || c == ' ') {
        ++pos;
        continue;
      }
      if (size - pos >= 7 && std::memcmp(data + pos, "BITMAP ", 7) == 0) {
        pos = Bitmap(pos, pos + 7);
        continue;
      }
      size_t end = pos;
      while (end < size && data[end] != '\r' && data[end] != '\n') {
        if (!IsTextByte(data[end])) Fail(end, "byte 0x%02X does not belong in a TSPL command line", data[end]);
        ++end;
      }
      std::string line(data + pos, data + end);
      while (!line.empty() && (line.back() == ' ' || line.back() == '\t')) line.pop_back();
      Line(pos, line);
      pos = end;
    }
    if (drawn) sink.Note("the image drawn after the last PRINT was not printed");
  }
};

}  // namespace

void ViewTspl(const uint8_t* data, size_t size, Sink& sink) {
  Tspl t(data, size, sink);
  t.Run();
}

}  // namespace lblview::detail
