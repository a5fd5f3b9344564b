// Fuzz target: a job's IPP attributes, as a client sends them, mapped to the settings record of the
// printer that prints it. Whatever the attributes, the settings the driver is handed stay within the
// model's ranges: speed on the model's steps, darkness among its levels, a known post-print action
// and dithering method, and the driver's settings merge accepts the record.
//
// Input: byte 0 picks the model (bit 7: pages the driver turns itself, as PDF pages); the rest is an
// IPP message (a Print-Job request with its operation and job attributes).
#include <cups/cups.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <string>

#include "common/devmode.h"
#include "common/wstr.h"
#include "ipp/job_mapping.h"
#include "ipp/media_names.h"
#include "ipp/model_facts.h"
#include "tools/embedded.h"
#include "tools/print_job.h"
#include "tools/settings_fields.h"
#include "winsim/printpath.h"

namespace {

constexpr const char* kModels[] = {"Tarnwell TW-QX", "Tarnwell TW-LA", "Tarnwell TW-P300", "Tarnwell TW-KA_",
                                   "Tarnwell TW-RB"};

void Fault(const std::string& what) {
  std::fprintf(stderr, "ipp job fuzz: %s\n", what.c_str());
  std::abort();
}

struct Input {
  const uint8_t* data;
  size_t size, at;
};

ssize_t ReadInput(void* ctx, ipp_uchar_t* buffer, size_t bytes) {
  auto* in = static_cast<Input*>(ctx);
  const size_t n = std::min(bytes, in->size - in->at);
  std::memcpy(buffer, in->data + in->at, n);
  in->at += n;
  return ssize_t(n);
}

const lblipp::ModelFacts& Facts(size_t model) {
  static std::map<size_t, lblipp::ModelFacts> cache;
  auto it = cache.find(model);
  if (it == cache.end()) {
    lblipp::ModelFacts f;
    std::string error;
    if (!lblipp::ReadModelFacts(kModels[model], &f, &error)) Fault(error);
    lblipp::NameStocks(&f);
    it = cache.emplace(model, std::move(f)).first;
  }
  return it->second;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static const bool kept = winsim::LoadDriverModule(u"lbldrv6ui", nullptr) != nullptr;
  if (!kept) Fault("cannot load the user-interface library");
  if (size < 1) return 0;
  const size_t model = (data[0] & 0x7F) % (sizeof kModels / sizeof kModels[0]);
  Input in{data + 1, size - 1, 0};
  ipp_t* request = ippNew();
  if (ippReadIO(&in, ReadInput, 1, nullptr, request) != IPP_STATE_DATA) {
    ippDelete(request);
    return 0;
  }
  lblipp::JobRequest r = lblipp::ReadJobRequest([request](const char* name) {
    return ippFindAttribute(request, name, IPP_TAG_ZERO);
  });
  r.pagesOriented = !(data[0] & 0x80);
  const lblipp::ModelFacts& f = Facts(model);
  uint32_t language = 0;
  std::string error;
  lblipp::ChoosePrinterLanguage(f, "", &language, &error);
  std::vector<std::string> notes;
  const lbl::PrintOptions o = lblipp::MapJob(f, language, r, &notes);
  ippDelete(request);

  if (o.job.copies < 0 || o.job.copies > 32767) Fault("copies " + std::to_string(o.job.copies));
  if (o.job.hasSize && (o.job.widthTenths <= 0 || o.job.lengthTenths <= 0)) Fault("a size without area");
  for (const auto& [field, value] : o.set) {
    const long v = std::strtol(value.c_str(), nullptr, 10);
    if (field == "Speed" && (v < f.speedMin || v > f.speedMax || (v - f.speedMin) % std::max(1, f.speedStep)))
      Fault("speed " + value + " off the model's steps");
    if (field == "Darkness" && (v < 1 || v > f.darknessMax)) Fault("darkness " + value);
    if (field == "PostAction" && (v < 1 || v > 3)) Fault("post-print action " + value);
    if (field == "DitherLevel" && (v < 0 || v > 9)) Fault("dithering " + value);
  }

  // The driver's own merge takes the record as an application's DEVMODE.
  if (!lbl::InstallInitialisedPrinter(f.driver, &error)) Fault(error);
  WString name = Utf8ToWide(f.driver);
  HANDLE printer = nullptr;
  if (!OpenPrinterW(name.data(), &printer, nullptr)) Fault("cannot open the printer");
  PrinterDevmode dm{};
  const bool built = lbl::BuildPrintDevmode(printer, o, &dm, nullptr, &error);
  ClosePrinter(printer);
  if (!built) Fault("the settings record was not built: " + error);
  return 0;
}
