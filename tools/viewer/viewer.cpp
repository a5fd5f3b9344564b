#include "tools/viewer/viewer.h"

#include <zlib.h>

#include <algorithm>
#include <bit>
#include <cctype>
#include <cstdio>
#include <cstring>
#include <map>

#include "tools/viewer/viewer_internal.h"

namespace lblview {

using namespace detail;

const char* LanguageName(Language lang) {
  switch (lang) {
    case Language::Tspl: return "TSPL";
    case Language::Zpl: return "ZPL";
    case Language::Esc: return "ESC";
    case Language::Twl: return "TWL";
    default: return "unknown";
  }
}

Language LanguageFromName(const std::string& name) {
  std::string n;
  for (char c : name) n += static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  if (n == "tspl") return Language::Tspl;
  if (n == "zpl") return Language::Zpl;
  if (n == "esc") return Language::Esc;
  if (n == "twl") return Language::Twl;
  return Language::Unknown;
}

uint64_t Label::BlackDots() const {
  uint64_t n = 0;
  for (uint8_t b : bits) n += static_cast<uint64_t>(std::popcount(b));
  return n;
}

std::string ViewError::Describe() const {
  std::string where = file.empty() ? "" : "page file " + file + ", ";
  char buf[64];
  std::snprintf(buf, sizeof buf, "byte %zu (0x%zx)", offset, offset);
  return where + buf + ": " + message;
}

namespace {

size_t Find(const uint8_t* data, size_t size, const char* what, size_t len) {
  if (len == 0 || size < len) return SIZE_MAX;
  const uint8_t* end = data + size;
  const uint8_t* at = std::search(data, end, what, what + len);
  return at == end ? SIZE_MAX : static_cast<size_t>(at - data);
}

template <size_t N>
size_t Find(const uint8_t* data, size_t size, const char (&what)[N]) {
  return Find(data, size, what, N - 1);
}

}  // namespace

Language DetectLanguage(const uint8_t* data, size_t size) {
  if (!data || size == 0) return Language::Unknown;
  // TWL streams and page files say so in their first bytes.
  if (size >= 4 && std::memcmp(data, "\x1D\x1D\x76\x76", 4) == 0) return Language::Twl;
  if (size >= 4 && std::memcmp(data, "SIZ", 3) == 0 && data[3] <= 2) return Language::Twl;  // not "SIZE"
  if (size == 7 && data[0] == 0x1B && data[1] == 0x73) return Language::Twl;
  // Otherwise the language whose own command comes first (user command text may come before it);
  // the first commands of any of them lie well within the first 64 KB.
  size = std::min<size_t>(size, 64 * 1024);
  struct Candidate {
    Language lang;
    size_t at;
  };
  const Candidate candidates[] = {
      {Language::Zpl, std::min(Find(data, size, "^XA"), Find(data, size, "~SD"))},
      {Language::Esc, std::min({Find(data, size, "\x1F\x1B\x1F\x13\x14"), Find(data, size, "\x1D\x76\x30"),
                                Find(data, size, "\x1D\x57")})},
      {Language::Tspl, std::min({Find(data, size, "SIZE "), Find(data, size, "BITMAP "), Find(data, size, "DIRECTION "),
                                 Find(data, size, "CLS\r\n"), Find(data, size, "SET TEAR")})},
      {Language::Twl, Find(data, size, "\x1D\x1D\x76\x76")},
  };
  Candidate best{Language::Unknown, SIZE_MAX};
  for (const Candidate& c : candidates)
    if (c.at < best.at) best = c;
  return best.lang;
}

namespace {

template <class Body>
bool Run(ViewError* error, const std::string& currentFile, const Body& body) {
  try {
    body();
    return true;
  } catch (const Fault& f) {
    if (error) *error = ViewError{currentFile, f.offset, f.message};
    return false;
  }
}

}  // namespace

bool ViewStream(const uint8_t* data, size_t size, const std::vector<PageFile>& pageFiles, const ViewOptions& options,
                ViewResult* result, ViewError* error) {
  ViewResult local;
  ViewResult& r = result ? *result : local;
  r = ViewResult{};
  Sink sink{options, r, {}};
  r.language = options.language != Language::Unknown ? options.language : DetectLanguage(data, size);
  return Run(error, sink.file, [&] {
    if (size == 0) Fail(0, "the stream is empty");
    switch (r.language) {
      case Language::Tspl: ViewTspl(data, size, sink); break;
      case Language::Zpl: ViewZpl(data, size, sink); break;
      case Language::Esc: ViewEsc(data, size, sink); break;
      case Language::Twl: ViewTwl(data, size, pageFiles, sink); break;
      default: Fail(0, "cannot tell the language of the stream (give --language)");
    }
  });
}

bool ViewTwlPageFiles(const std::vector<PageFile>& pageFiles, const ViewOptions& options, ViewResult* result,
                      ViewError* error) {
  ViewResult local;
  ViewResult& r = result ? *result : local;
  r = ViewResult{};
  r.language = Language::Twl;
  Sink sink{options, r, {}};
  return Run(error, sink.file, [&] {
    if (pageFiles.empty()) Fail(0, "no page files");
    ViewTwlFiles(pageFiles, nullptr, sink);
  });
}

bool ViewTwlPageFile(const PageFile& file, const ViewOptions& options, ViewResult* result, ViewError* error) {
  ViewResult local;
  ViewResult& r = result ? *result : local;
  r = ViewResult{};
  r.language = Language::Twl;
  Sink sink{options, r, file.name};
  return Run(error, sink.file, [&] {
    if (file.data.empty()) Fail(0, "the page file is empty");
    std::vector<Label> blocks;
    ViewTwlData(file.data.data(), file.data.size(), sink, &blocks);
    for (const Label& l : blocks) sink.Emit(l, 1, 0);
  });
}

namespace detail {

void Fail(size_t offset, const char* format, ...) {
  char buf[512];
  va_list ap;
  va_start(ap, format);
  std::vsnprintf(buf, sizeof buf, format, ap);
  va_end(ap);
  throw Fault{offset, buf};
}

std::string Format(const char* format, ...) {
  char buf[512];
  va_list ap;
  va_start(ap, format);
  std::vsnprintf(buf, sizeof buf, format, ap);
  va_end(ap);
  return buf;
}

Label Sink::NewLabel(uint64_t width, uint64_t height, size_t offset) const {
  if (width == 0 || height == 0) Fail(offset, "a label of %llu x %llu dots has no area", (unsigned long long)width,
                                      (unsigned long long)height);
  if (width > UINT32_MAX || height > UINT32_MAX || width * height > options.maxLabelPixels)
    Fail(offset, "a label of %llu x %llu dots is larger than this viewer takes (%llu dots)",
         (unsigned long long)width, (unsigned long long)height, (unsigned long long)options.maxLabelPixels);
  Label l;
  l.width = static_cast<uint32_t>(width);
  l.height = static_cast<uint32_t>(height);
  l.bits.assign(l.Stride() * l.height, 0);
  return l;
}

void Sink::Emit(const Label& label, uint64_t copies, size_t offset) {
  if (copies > options.maxLabels || result.labels.size() + copies > options.maxLabels)
    Fail(offset, "more than %llu labels in one stream", (unsigned long long)options.maxLabels);
  for (uint64_t i = 0; i < copies; ++i) result.labels.push_back(label);
}

uint64_t DrawRows(Label& label, int64_t x, int64_t y, const uint8_t* rows, size_t rowBytes, size_t rowCount,
                  bool oneIsBlack, DrawMode mode) {
  uint64_t outside = 0;
  for (size_t r = 0; r < rowCount; ++r) {
    const int64_t ty = y + static_cast<int64_t>(r);
    const uint8_t* src = rows + r * rowBytes;
    for (size_t bx = 0; bx < rowBytes; ++bx) {
      const uint8_t byte = oneIsBlack ? src[bx] : static_cast<uint8_t>(~src[bx]);
      if (byte == 0 && mode != DrawMode::Overwrite) continue;
      for (int bit = 0; bit < 8; ++bit) {
        const bool black = byte & (0x80 >> bit);
        const int64_t tx = x + static_cast<int64_t>(bx * 8 + bit);
        const bool inside = tx >= 0 && ty >= 0 && tx < label.width && ty < label.height;
        if (!inside) {
          outside += black;
          continue;
        }
        uint8_t& dst = label.bits[static_cast<size_t>(ty) * label.Stride() + static_cast<size_t>(tx) / 8];
        const uint8_t mask = static_cast<uint8_t>(0x80u >> (tx % 8));
        switch (mode) {
          case DrawMode::Overwrite: dst = black ? (dst | mask) : (dst & ~mask); break;
          case DrawMode::Or: if (black) dst |= mask; break;
          case DrawMode::Xor: if (black) dst ^= mask; break;
        }
      }
    }
  }
  return outside;
}

bool IsTextByte(uint8_t b) { return (b >= 0x20 && b < 0x7F) || b == '\t' || b == '\r' || b == '\n'; }

std::string Printable(const uint8_t* data, size_t size, size_t limit) {
  std::string out;
  for (size_t i = 0; i < size && out.size() < limit; ++i) {
    const uint8_t b = data[i];
    if (b == '\r') out += "\\r";
    else if (b == '\n') out += "\\n";
    else if (b == '\\') out += "\\\\";
    else if (b >= 0x20 && b < 0x7F) out += static_cast<char>(b);
    else out += Format("\\x%02X", b);
  }
  if (out.size() >= limit) out += "...";
  return out;
}

uint16_t Crc16Xmodem(const uint8_t* data, size_t size) {
  uint16_t crc = 0;
  for (size_t i = 0; i < size; ++i) {
    crc ^= static_cast<uint16_t>(data[i] << 8);
    for (int b = 0; b < 8; ++b) crc = (crc & 0x8000) ? static_cast<uint16_t>((crc << 1) ^ 0x1021) : static_cast<uint16_t>(crc << 1);
  }
  return crc;
}

bool DecodeBase64(const uint8_t* text, size_t size, std::vector<uint8_t>* out, size_t* badAt, std::string* why) {
  auto value = [](uint8_t c) -> int {
    if (c >= 'A' && c <= 'Z') return c - 'A';
    if (c >= 'a' && c <= 'z') return c - 'a' + 26;
    if (c >= '0' && c <= '9') return c - '0' + 52;
    if (c == '+') return 62;
    if (c == '/') return 63;
    return -1;
  };
  out->clear();
  if (size % 4 != 0) {
    *badAt = size;
    *why = Format("Base64 text of %zu characters is not a multiple of 4", size);
    return false;
  }
  out->reserve(size / 4 * 3);
  for (size_t i = 0; i < size; i += 4) {
    int v[4];
    int pad = 0;
    for (int k = 0; k < 4; ++k) {
      const uint8_t c = text[i + k];
      if (c == '=' && i + 4 == size && k >= 2) {
        v[k] = 0;
        ++pad;
        continue;
      }
      v[k] = value(c);
      if (v[k] < 0 || pad) {
        *badAt = i + k;
        *why = Format("'%s' is not a Base64 character here", Printable(&c, 1).c_str());
        return false;
      }
    }
    const uint32_t n = (uint32_t(v[0]) << 18) | (uint32_t(v[1]) << 12) | (uint32_t(v[2]) << 6) | uint32_t(v[3]);
    out->push_back(static_cast<uint8_t>(n >> 16));
    if (pad < 2) out->push_back(static_cast<uint8_t>(n >> 8));
    if (pad < 1) out->push_back(static_cast<uint8_t>(n));
  }
  return true;
}

bool Inflate(const uint8_t* data, size_t size, size_t expected, std::vector<uint8_t>* out, std::string* why) {
  out->assign(expected + 1, 0);  // one more: a stream that inflates to more is caught
  z_stream z{};
  if (inflateInit(&z) != Z_OK) {
    *why = "zlib could not start";
    return false;
  }
  z.next_in = const_cast<Bytef*>(data);
  z.avail_in = static_cast<uInt>(size);
  z.next_out = out->data();
  z.avail_out = static_cast<uInt>(out->size());
  const int rc = inflate(&z, Z_FINISH);
  const size_t produced = out->size() - z.avail_out;
  const size_t unused = z.avail_in;
  const std::string zmsg = z.msg ? z.msg : "bad data";
  inflateEnd(&z);
  if (rc != Z_STREAM_END) {
    *why = produced > expected ? Format("the deflated data holds more than the %zu bytes announced", expected)
           : rc == Z_DATA_ERROR ? Format("the deflated data is not a valid zlib stream (%s)", zmsg.c_str())
                                : Format("the deflated data ends early (%zu of %zu bytes)", produced, expected);
    return false;
  }
  if (produced != expected) {
    *why = Format("the deflated data holds %zu bytes, not the %zu announced", produced, expected);
    return false;
  }
  if (unused != 0) {
    *why = Format("%zu bytes follow the end of the zlib stream", unused);
    return false;
  }
  out->resize(expected);
  return true;
}

}  // namespace detail
}  // namespace lblview
