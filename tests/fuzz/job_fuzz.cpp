// Fuzz target: a whole job through the rendering library with an application's DEVMODE that the input
// patches byte by byte, so that every settings value the merge lets through reaches the geometry, the
// pipeline and the writers. Whatever the settings, the job either fails cleanly or sends a stream that
// the virtual printer reads without a fault, in its own language.
//
// Input: byte 0 picks the model, byte 1 the drawing (bit 7: the printer's own label size, else a
// 30 x 20 mm label); then patches of three bytes each: a 16-bit offset and the byte to put there. The
// offset's top bit clear patches the DEVMODE (modulo its size), set the printer's stored stock list
// "FORMS" (modulo its size).
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "common/devmode.h"
#include "common/wstr.h"
#include "tools/embedded.h"
#include "tools/print_job.h"
#include "winsim/printpath.h"
#include "winsim/machine.h"

namespace {

// Both resolutions, every language, the resolution multiplier, narrow and very wide heads.
constexpr const char* kModels[] = {"Tarnwell TW-QX", "Tarnwell TW-QE", "Tarnwell TW-LA", "Tarnwell TW-LC",
                                   "Tarnwell TW-KB_", "Tarnwell TW-KE_", "Tarnwell TW-NB", "Tarnwell TW-TA"};
constexpr size_t kModelCount = sizeof kModels / sizeof kModels[0];

void Fault(const std::string& what) {
  std::fprintf(stderr, "job fuzz: %s\n", what.c_str());
  if (!std::getenv("JOB_FUZZ_GO_ON")) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  // Loaded once for the process, as the spooler keeps them: coverage counters of a library that is
  // unloaded after each job would vanish under the fuzzer.
  static const bool kept = winsim::LoadDriverModule(u"lbldrv6", nullptr) && winsim::LoadDriverModule(u"lbldrv6ui", nullptr);
  if (!kept) return Fault("cannot load the driver libraries"), 0;
  if (size < 2) return 0;
  const char* driver = kModels[data[0] % kModelCount];
  const uint8_t drawing = data[1];

  std::string error;
  if (!lbl::InstallInitialisedPrinter(driver, &error)) return Fault(error), 0;
  WString name = Utf8ToWide(driver);
  HANDLE printer = nullptr;
  if (!OpenPrinterW(name.data(), &printer, nullptr)) return Fault("cannot open the printer"), 0;
  PrinterDevmode dm{};
  const bool built = lbl::BuildPrintDevmode(printer, lbl::PrintOptions{}, &dm, nullptr, &error);
  ClosePrinter(printer);
  if (!built) return Fault(error), 0;

  if (!(drawing & 0x80)) {
    // A small label keeps most runs quick; the patches can still make it any size.
    dm.dm.dmFields |= DM_PAPERSIZE | DM_PAPERWIDTH | DM_PAPERLENGTH;
    dm.dm.dmPaperSize = DMPAPER_USER;
    dm.dm.dmPaperWidth = 300;
    dm.dm.dmPaperLength = 200;
  }
  auto* bytes = reinterpret_cast<uint8_t*>(&dm);
  DWORD formsType = 0;
  std::vector<uint8_t> forms;
  winsim::GetPrinterDataValue(name, u"FORMS", &formsType, &forms);
  bool formsPatched = false;
  for (size_t i = 2; i + 3 <= size; i += 3) {
    const size_t offset = size_t{data[i]} | size_t{data[i + 1] & 0x7Fu} << 8;
    if (!(data[i + 1] & 0x80)) {
      bytes[offset % sizeof dm] = data[i + 2];
    } else if (!forms.empty()) {  // the printer's stored stock list, as another program may have left it
      forms[offset % forms.size()] = data[i + 2];
      formsPatched = true;
    }
  }
  if (formsPatched) winsim::SetPrinterDataValue(name, u"FORMS", formsType, forms);
  // User command strings are the application's own printer code, and a watermark is a file: neither
  // is the driver's output to check.
  std::memset(dm.UserCommands, 0, sizeof dm.UserCommands);
  std::memset(dm.WatermarkPath, 0, sizeof dm.WatermarkPath);
  // Thousands of copies are valid but only repeat the same bytes: a few keep each run short.
  if (dm.dm.dmCopies > 4) dm.dm.dmCopies = static_cast<short>(1 + dm.dm.dmCopies % 4);

  winsim::JobSpec spec;
  spec.printer = name;
  spec.devmode.assign(bytes, bytes + sizeof dm);
  spec.pages = 1 + (drawing & 1);
  spec.draw = [drawing](int page, const winsim::PageSurface& s) {
    // Stripes and a box whose place and width follow the input: edges for the dithering, the
    // trimming of blank paper and the placement to meet.
    const int32_t step = 3 + (drawing >> 2 & 15) + page;
    for (int32_t y = 0; y < s.height; ++y) {
      uint8_t* row = s.bits + size_t(y) * size_t(s.stride);
      for (int32_t x = 0; x < s.width; ++x) {
        const bool black = (drawing & 2) ? ((x / step + y / step) % 3 == 0) : (y > s.height / 4 && x < s.width / 2);
        if (black) row[x * 3] = row[x * 3 + 1] = row[x * 3 + 2] = static_cast<uint8_t>(drawing & 0xC0);
      }
    }
  };
  const winsim::JobResult job = winsim::RunJob(spec);
  if (std::getenv("JOB_FUZZ_TRACE")) std::fprintf(stderr, "%s: %s, %zu bytes\n", driver, job.ok ? "ok" : job.error.c_str(), job.output.size());
  if (!job.ok || job.output.empty()) return 0;

  lblview::ViewOptions options;
  options.dpi = 203;
  if (std::strstr(driver, "QE") || std::strstr(driver, "KB_") || std::strstr(driver, "NB")) options.dpi = 300;
  lblview::ViewResult result;
  lblview::ViewError viewError;
  const std::vector<lblview::PageFile> files = lbl::JobPageFiles(job.jobId);
  if (!lblview::ViewStream(job.output.data(), job.output.size(), files, options, &result, &viewError))
    Fault(std::string(driver) + ": the driver sent a stream the printer cannot read: " + viewError.Describe());
  return 0;
}
