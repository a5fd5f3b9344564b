#include "tools/sample_commands.h"

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "image/image.h"
#include "tools/embedded.h"
#include "tools/exit_status.h"
#include "tools/numbers.h"
#include "tools/viewer/png.h"
#include "ui/sample.h"
#include "winsim/machine.h"
#include "winsim/printpath.h"

namespace lbl {
namespace {

// The page's buttons in its order, then the ordered (Bayer) level that has none.
const uint32_t kAllLevels[] = {8, 1, 0, 2, 3, 4, 5, 6, 7};
constexpr uint32_t kGap = 6;

bool ParseInt(const std::string& text, int lo, int hi, int* out) {
  int64_t v = 0;
  if (!ParseWhole(text, lo, hi, &v)) return false;
  *out = int(v);
  return true;
}

// A 24-bit image (stored bottom-up, B, G, R) into `out` at (left, top), rows top-down RGB.
void Paste(const RasterImage& img, lblview::RgbImage& out, uint32_t left, uint32_t top) {
  for (uint32_t y = 0; y < img.Height(); ++y) {
    const uint8_t* src = img.Row(img.Height() - 1 - y);
    uint8_t* dst = &out.rgb[(size_t(top + y) * out.width + left) * 3];
    for (uint32_t x = 0; x < img.Width(); ++x, src += 3, dst += 3) {
      dst[0] = src[2];
      dst[1] = src[1];
      dst[2] = src[0];
    }
  }
}

int Run(const std::vector<std::string>& args) {
  int dither = 8, contrast = 0, brightness = 0;
  bool all = false, original = false;
  std::string output;
  for (size_t i = 0; i < args.size(); ++i) {
    const std::string& a = args[i];
    auto value = [&](const char* what) -> const std::string* {
      if (i + 1 >= args.size()) return nullptr;
      (void)what;
      return &args[++i];
    };
    const std::string* v = nullptr;
    if (a == "--all") {
      all = true;
    } else if (a == "--original") {
      original = true;
    } else if (a == "--dither") {
      if (!(v = value("N")) || !ParseInt(*v, 0, 255, &dither)) return Usage("--dither takes a level 0 to 255");
    } else if (a == "--contrast") {
      if (!(v = value("C")) || !ParseInt(*v, -100, 100, &contrast)) return Usage("--contrast takes -100 to 100");
    } else if (a == "--brightness") {
      if (!(v = value("B")) || !ParseInt(*v, -100, 100, &brightness))
        return Usage("--brightness takes -100 to 100");
    } else if (a == "-o") {
      if (!(v = value("FILE"))) return Usage("-o takes a file name");
      output = *v;
    } else {
      return Usage("unknown argument '" + a + "' (try 'lbl help sample')");
    }
  }
  if (output.empty()) return Usage("-o FILE.png is required");
  if (all && original) return Usage("--all and --original exclude each other");

  winsim::Reset();
  std::string error;
  HMODULE ui = winsim::LoadDriverModule(u"lbldrv6ui", &error);
  if (!ui) return Fail("cannot load lbldrv6ui: " + error);
  RasterImage picture;
  const bool loaded = LoadSamplePicture(ui, picture);
  winsim::UnloadDriverModule(ui);
  if (!loaded) return Fail("lbldrv6ui has no sample picture (bitmap 112)");

  const std::vector<uint32_t> levels = all ? std::vector<uint32_t>(std::begin(kAllLevels), std::end(kAllLevels))
                                           : std::vector<uint32_t>{uint32_t(dither)};
  const uint32_t cols = all ? 3 : 1, rows = (uint32_t(levels.size()) + cols - 1) / cols;
  lblview::RgbImage out;
  out.width = cols * picture.Width() + (cols - 1) * kGap;
  out.height = rows * picture.Height() + (rows - 1) * kGap;
  out.rgb.assign(size_t(out.width) * out.height * 3, 255);
  for (size_t i = 0; i < levels.size(); ++i) {
    RasterImage s;
    if (!ProcessSample(picture, contrast, brightness, levels[i], original, s)) return Fail("the sample could not be made");
    Paste(s, out, uint32_t(i % cols) * (picture.Width() + kGap), uint32_t(i / cols) * (picture.Height() + kGap));
  }
  const std::vector<uint8_t> png = lblview::EncodeRgbPng(out);
  FILE* f = std::fopen(output.c_str(), "wb");
  if (!f || std::fwrite(png.data(), 1, png.size(), f) != png.size()) {
    if (f) std::fclose(f);
    return Fail("cannot write " + output);
  }
  std::fclose(f);
  return 0;
}

}  // namespace

CommandSpec SampleCommand() {
  return {
      "sample",
      "the Graphics Property page's sample picture after a dithering method, as PNG",
      "sample [--dither N | --all | --original] [--contrast C] [--brightness B] -o FILE.png",
      "Makes the sample picture of the Graphics Property page (bitmap 112 of lbldrv6ui) as the page\n"
      "shows it: contrast, then brightness on every channel, then grey and the dithering of the\n"
      "settings' level, through the same operations the rendering DLL prints with. --all puts the\n"
      "nine methods side by side, three to a row in the page's order: None (8), Adaptive Threshold (1),\n"
      "Floyd-Steinberg (0), Burkes (2), Stucki (3), Jarvis (4), Sierra (5), Stevenson-Arce (6) and the\n"
      "ordered dither (7).",
      {{"--dither", "N", "the DitherLevel (default 8, the fixed threshold; above 9 as 8)", "0 1 2 3 4 5 6 7 8 9"},
       {"--all", nullptr, "the nine methods side by side"},
       {"--original", nullptr, "contrast and brightness only, no dithering (\"View the original image\")"},
       {"--contrast", "C", "contrast -100 to 100 (default 0)"},
       {"--brightness", "B", "brightness -100 to 100 (default 0)"},
       {"-o", "FILE", "the PNG file to write", "@file"}},
      "0  the picture was written\n1  the library or the file failed\n2  usage error",
      "lbl sample --dither 3 --contrast 20 -o stucki.png\nlbl sample --all --brightness -10 -o methods.png",
      "",
      Run,
  };
}

}  // namespace lbl
