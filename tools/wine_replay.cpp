// lbl-wine-replay: replays a job that tools/wine-check.sh rendered with the Windows build under Wine
// through the Linux build: the same printer settings and printer data, the same application DEVMODE,
// the same page pixels and job id. Writes what WritePrinter received and the TWL page files, for a
// byte-for-byte comparison.
//   lbl-wine-replay JOB-DIR OUT-DIR
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>
#include <string>
#include <vector>

#include "common/wstr.h"
#include "tools/embedded.h"
#include "tools/print_job.h"
#include "winsim/gdi.h"
#include "winsim/machine.h"

namespace fs = std::filesystem;

namespace {

bool ReadFile(const fs::path& path, std::vector<uint8_t>* out) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return false;
  out->assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  return true;
}

bool WriteFile(const fs::path& path, const std::vector<uint8_t>& data) {
  std::ofstream out(path, std::ios::binary);
  out.write(reinterpret_cast<const char*>(data.data()), static_cast<std::streamsize>(data.size()));
  return static_cast<bool>(out);
}

struct Page {
  int32_t width = 0, height = 0, stride = 0;
  std::vector<uint8_t> rows;
};

int Replay(const fs::path& jobDir, const fs::path& outDir, std::string* error) {
  std::ifstream job(jobDir / "job.txt");
  std::string line, driver, document;
  unsigned long jobId = 0;
  int pages = 0;
  while (std::getline(job, line)) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    const size_t space = line.find(' ');
    if (space == std::string::npos) continue;
    const std::string key = line.substr(0, space), value = line.substr(space + 1);
    if (key == "driver") driver = value;
    else if (key == "document") document = value;
    else if (key == "jobid") jobId = std::strtoul(value.c_str(), nullptr, 10);
    else if (key == "pages") pages = std::atoi(value.c_str());
  }
  if (driver.empty() || !jobId || pages <= 0) {
    *error = "no driver, job id or page count in " + (jobDir / "job.txt").string();
    return 1;
  }

  // The printer as the Windows spooler held it: its stored DEVMODE and printer data, nothing else.
  if (!lbl::SetupPrinter(driver, lbl::kDefaultPort, error)) return 1;
  const std::u16string printer = Utf8ToWide(driver);
  std::vector<uint8_t> bytes;
  if (ReadFile(jobDir / "printer-devmode.bin", &bytes) && !winsim::SetPrinterDevmode(printer, bytes)) {
    *error = "cannot store the printer's DEVMODE";
    return 1;
  }
  for (const char* name : {"FORMS", "InstalledForm", "PPDataFlags", "LogFolder"}) {
    if (!ReadFile(jobDir / (std::string("data-") + name + ".bin"), &bytes)) continue;
    DWORD type = 0;
    if (bytes.size() < 4) {
      *error = std::string("short printer data file for ") + name;
      return 1;
    }
    std::memcpy(&type, bytes.data(), 4);
    if (!winsim::SetPrinterDataValue(printer, Utf8ToWide(name), type, std::vector<uint8_t>(bytes.begin() + 4, bytes.end()))) {
      *error = std::string("cannot store the printer data ") + name;
      return 1;
    }
  }

  std::vector<Page> pixels(static_cast<size_t>(pages));
  for (int i = 0; i < pages; ++i) {
    Page& p = pixels[static_cast<size_t>(i)];
    if (!ReadFile(jobDir / ("page-" + std::to_string(i + 1) + ".bgr"), &bytes) || bytes.size() < 12) {
      *error = "no pixels of page " + std::to_string(i + 1);
      return 1;
    }
    std::memcpy(&p.width, bytes.data(), 4);
    std::memcpy(&p.height, bytes.data() + 4, 4);
    std::memcpy(&p.stride, bytes.data() + 8, 4);
    p.rows.assign(bytes.begin() + 12, bytes.end());
  }

  winsim::JobSpec spec;
  spec.printer = printer;
  if (!ReadFile(jobDir / "devmode.bin", &spec.devmode)) {
    *error = "no devmode.bin";
    return 1;
  }
  spec.document = Utf8ToWide(document);
  spec.pages = pages;
  std::string drawError;
  spec.draw = [&](int page, const winsim::PageSurface& s) {
    const Page& p = pixels[static_cast<size_t>(page)];
    if (p.width != s.width || p.height != s.height || p.stride <= 0 ||
        p.rows.size() < static_cast<size_t>(p.stride) * static_cast<size_t>(p.height)) {
      drawError = "page " + std::to_string(page + 1) + " is " + std::to_string(p.width) + " x " +
                  std::to_string(p.height) + " under Wine but the Linux surface is " + std::to_string(s.width) +
                  " x " + std::to_string(s.height);
      return;
    }
    const size_t rowBytes = static_cast<size_t>(s.width) * 3;
    for (int32_t y = 0; y < s.height; ++y)
      std::memcpy(s.bits + static_cast<size_t>(y) * static_cast<size_t>(s.stride),
                  p.rows.data() + static_cast<size_t>(y) * static_cast<size_t>(p.stride), rowBytes);
  };
  winsim::SetNextJobId(static_cast<DWORD>(jobId));
  winsim::JobResult result = winsim::RunJob(spec);
  if (!drawError.empty()) {
    *error = drawError;
    return 1;
  }
  if (!result.ok) {
    *error = result.error.empty() ? "the job failed" : result.error;
    return 1;
  }

  fs::create_directories(outDir / "pages");
  WriteFile(outDir / "output.bin", result.output);
  for (const auto& file : lbl::JobPageFiles(result.jobId)) WriteFile(outDir / "pages" / file.name, file.data);
  std::printf("replayed job %lu: %zu bytes, %zu page files\n", jobId, result.output.size(),
              lbl::JobPageFiles(result.jobId).size());
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 3) {
    std::fprintf(stderr, "usage: lbl-wine-replay JOB-DIR OUT-DIR\n");
    return 2;
  }
  std::string error;
  const int rc = Replay(argv[1], argv[2], &error);
  if (rc != 0) std::fprintf(stderr, "lbl-wine-replay: %s\n", error.c_str());
  return rc;
}
