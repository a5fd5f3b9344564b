// Fuzz target: the virtual printer behind lbl view, and the PNG reader of lbl print. The first byte
// picks the language (0 detects it); a refused stream must say where, an accepted one must give
// labels within the limits that survive a PNG round trip.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "tools/viewer/png.h"
#include "tools/viewer/viewer.h"

namespace {

constexpr uint64_t kMaxPixels = 1u << 18;
constexpr uint64_t kMaxLabels = 16;

void CheckResult(bool ok, const lblview::ViewResult& r, const lblview::ViewError& e, size_t size) {
  if (!ok) {
    if (e.message.empty() || (e.file.empty() && e.offset > size)) std::abort();
    return;
  }
  if (r.labels.size() > kMaxLabels) std::abort();
  for (const lblview::Label& l : r.labels) {
    if (l.width == 0 || l.height == 0 || uint64_t{l.width} * l.height > kMaxPixels) std::abort();
    if (l.bits.size() != l.Stride() * l.height) std::abort();
  }
  if (r.labels.empty()) return;
  // The first label as the PNG lbl view writes, read back.
  const lblview::Label& l = r.labels.front();
  const std::vector<uint8_t> png = lblview::EncodeLabelPng(l);
  lblview::RgbImage img;
  std::string error;
  if (!lblview::DecodePng(png.data(), png.size(), &img, &error, kMaxPixels)) std::abort();
  for (uint32_t y = 0; y < l.height; ++y)
    for (uint32_t x = 0; x < l.width; ++x)
      if ((img.rgb[(size_t{y} * l.width + x) * 3] == 0) != l.Black(x, y)) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0) return 0;
  const uint8_t* body = data + 1;
  const size_t bodySize = size - 1;
  lblview::ViewOptions options;
  options.language = static_cast<lblview::Language>(data[0] % 5);
  options.maxLabelPixels = kMaxPixels;
  options.maxLabels = kMaxLabels;

  lblview::ViewResult r;
  lblview::ViewError e;
  CheckResult(lblview::ViewStream(body, bodySize, {}, options, &r, &e), r, e, bodySize);

  // The same bytes as the page file of one page marker.
  if (options.language == lblview::Language::Twl) {
    const uint32_t n = static_cast<uint32_t>(bodySize);
    const uint8_t marker[8] = {0x1D, 0x1D, 0x76, 0x76, uint8_t(n), uint8_t(n >> 8), uint8_t(n >> 16), uint8_t(n >> 24)};
    const std::vector<lblview::PageFile> files = {{"page_0002_jobid_001_0.dat", std::vector<uint8_t>(body, body + bodySize)}};
    CheckResult(lblview::ViewStream(marker, sizeof marker, files, options, &r, &e), r, e, sizeof marker);
  }

  lblview::RgbImage img;
  std::string error;
  if (lblview::DecodePng(body, bodySize, &img, &error, kMaxPixels)) {
    if (img.rgb.size() != size_t{img.width} * img.height * 3) std::abort();
  } else if (error.empty() || !img.rgb.empty()) {
    std::abort();
  }
  return 0;
}
