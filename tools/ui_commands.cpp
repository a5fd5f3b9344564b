#include "tools/ui_commands.h"

#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "common/wstr.h"
#include "tools/embedded.h"
#include "tools/exit_status.h"
#include "tools/job_options.h"
#include "tools/json_out.h"
#include "tools/numbers.h"
#include "tools/print_job.h"
#include "tools/settings_fields.h"
#include "winsim/printpath.h"
#include "winsim/machine.h"

namespace lbl {

namespace {

using Writer = JsonOut::Writer;

std::string Utf8(const WCHAR* s, size_t cap) {
  WString w(s, WStrNLen(s, cap));
  return WideToUtf8(w.c_str());
}

}  // namespace

UiPrinter::~UiPrinter() {
  if (printer) ClosePrinter(printer);
  if (ui) winsim::UnloadDriverModule(ui);
}

bool OpenUiPrinter(const std::string& printer, const std::string& model, UiPrinter* out, std::string* error) {
  if (!OpenTargetPrinter(printer, model, &out->target, error)) return false;
  out->ui = winsim::LoadDriverModule(u"lbldrv6ui", error);
  if (!out->ui) return false;
  out->name = Utf8ToWide(out->target.name);
  if (!OpenPrinterW(out->name.data(), &out->printer, nullptr)) {
    *error = "cannot open the printer \"" + out->target.name + "\"";
    return false;
  }
  return true;
}

namespace {

enum class Shape { Scalar, Words, Points, Resolutions, Names };

struct CapInfo {
  WORD index;
  const char* name;
  Shape shape;
  size_t slot;  // characters per name
};

const CapInfo kCaps[] = {
    {DC_FIELDS, "DC_FIELDS", Shape::Scalar, 0},
    {DC_PAPERS, "DC_PAPERS", Shape::Words, 0},
    {DC_PAPERSIZE, "DC_PAPERSIZE", Shape::Points, 0},
    {DC_MINEXTENT, "DC_MINEXTENT", Shape::Scalar, 0},
    {DC_MAXEXTENT, "DC_MAXEXTENT", Shape::Scalar, 0},
    {DC_BINS, "DC_BINS", Shape::Words, 0},
    {DC_DUPLEX, "DC_DUPLEX", Shape::Scalar, 0},
    {DC_SIZE, "DC_SIZE", Shape::Scalar, 0},
    {DC_EXTRA, "DC_EXTRA", Shape::Scalar, 0},
    {DC_VERSION, "DC_VERSION", Shape::Scalar, 0},
    {DC_DRIVER, "DC_DRIVER", Shape::Scalar, 0},
    {DC_BINNAMES, "DC_BINNAMES", Shape::Names, 24},
    {DC_ENUMRESOLUTIONS, "DC_ENUMRESOLUTIONS", Shape::Resolutions, 0},
    {DC_FILEDEPENDENCIES, "DC_FILEDEPENDENCIES", Shape::Names, 64},
    {DC_TRUETYPE, "DC_TRUETYPE", Shape::Scalar, 0},
    {DC_PAPERNAMES, "DC_PAPERNAMES", Shape::Names, 64},
    {DC_ORIENTATION, "DC_ORIENTATION", Shape::Scalar, 0},
    {DC_COPIES, "DC_COPIES", Shape::Scalar, 0},
    {DC_COLLATE, "DC_COLLATE", Shape::Scalar, 0},
    {DC_PERSONALITY, "DC_PERSONALITY", Shape::Names, 32},
    {DC_PRINTRATE, "DC_PRINTRATE", Shape::Scalar, 0},
    {DC_PRINTRATEUNIT, "DC_PRINTRATEUNIT", Shape::Scalar, 0},
    {DC_PRINTERMEM, "DC_PRINTERMEM", Shape::Scalar, 0},
    {DC_MEDIAREADY, "DC_MEDIAREADY", Shape::Names, 64},
    {DC_STAPLE, "DC_STAPLE", Shape::Scalar, 0},
    {DC_COLORDEVICE, "DC_COLORDEVICE", Shape::Scalar, 0},
    {DC_NUP, "DC_NUP", Shape::Scalar, 0},
};

bool SameNoCase(const std::string& a, const std::string& b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i)
    if (std::tolower(static_cast<unsigned char>(a[i])) != std::tolower(static_cast<unsigned char>(b[i]))) return false;
  return true;
}

// A number, or a name with or without "DC_".
bool ParseIndex(const std::string& arg, CapInfo* out) {
  int64_t n = 0;
  if (!arg.empty() && (arg.find_first_not_of("0123456789+-") == std::string::npos)) {
    if (!ParseWhole(arg, 0, 0xFFFF, &n)) return false;
    *out = CapInfo{static_cast<WORD>(n), "", Shape::Scalar, 0};
    for (const CapInfo& c : kCaps)
      if (c.index == n) *out = c;
    return true;
  }
  for (const CapInfo& c : kCaps)
    if (SameNoCase(arg, c.name) || SameNoCase(arg, c.name + 3)) {
      *out = c;
      return true;
    }
  return false;
}

void WriteCapability(Writer& w, UiPrinter& p, const CapInfo& cap) {
  auto caps = p.Proc<decltype(DrvDeviceCapabilities)>("DrvDeviceCapabilities");
  const DWORD count = caps(p.printer, p.name.data(), cap.index, nullptr, nullptr);
  w.StartObject();
  w.Key("Capability");
  if (*cap.name)
    w.String(cap.name);
  else
    w.Null();
  w.Key("Index");
  w.Uint(cap.index);
  w.Key("Result");
  w.Int64(count == 0xFFFFFFFF ? -1 : int64_t(count));
  if (cap.index == DC_MINEXTENT || cap.index == DC_MAXEXTENT) {
    w.Key("Width");
    w.Uint(LOWORD(count));
    w.Key("Length");
    w.Uint(HIWORD(count));
  }
  if (cap.shape == Shape::Scalar || count == 0xFFFFFFFF) {
    w.EndObject();
    return;
  }
  // Room for the answer; a result of 0 may still write one empty name.
  const size_t n = count > 0 ? count : 1;
  std::vector<uint8_t> buf(n * (cap.slot ? cap.slot * sizeof(WCHAR) : sizeof(POINT)) + sizeof(WCHAR));
  caps(p.printer, p.name.data(), cap.index, buf.data(), nullptr);
  w.Key("Values");
  w.StartArray();
  for (size_t i = 0; i < count; ++i) {
    switch (cap.shape) {
      case Shape::Words: w.Uint(reinterpret_cast<const WORD*>(buf.data())[i]); break;
      case Shape::Points: {
        const POINT& pt = reinterpret_cast<const POINT*>(buf.data())[i];
        w.StartObject();
        w.Key("Width");
        w.Int(pt.x);
        w.Key("Length");
        w.Int(pt.y);
        w.EndObject();
        break;
      }
      case Shape::Resolutions: {
        const LONG* r = reinterpret_cast<const LONG*>(buf.data()) + 2 * i;
        w.StartObject();
        w.Key("X");
        w.Int(r[0]);
        w.Key("Y");
        w.Int(r[1]);
        w.EndObject();
        break;
      }
      case Shape::Names:
        w.String(Utf8(reinterpret_cast<const WCHAR*>(buf.data()) + i * cap.slot, cap.slot).c_str());
        break;
      case Shape::Scalar: break;
    }
  }
  w.EndArray();
  w.EndObject();
}

}  // namespace

int RunCaps(const std::vector<std::string>& args) {
  std::vector<std::string> rest = args;
  JobOptions choice;
  std::string error;
  if (!ParsePrinterOptions(&rest, &choice, &error)) return Usage(error);
  std::vector<CapInfo> wanted;
  for (const std::string& a : rest) {
    CapInfo c;
    if (!ParseIndex(a, &c)) return Usage("unknown capability index '" + a + "'");
    wanted.push_back(c);
  }
  if (wanted.empty()) wanted.assign(std::begin(kCaps), std::end(kCaps));
  UiPrinter p;
  const bool opened = OpenUiPrinter(choice.printer, choice.model, &p, &error);
  JsonOut j;
  j.Str("Printer", !p.target.name.empty() ? p.target.name : !choice.model.empty() ? choice.model : choice.printer);
  j.BeginArray("Capabilities");
  if (!opened) {
    j.EndArray();
    return j.Emit(error);
  }
  if (!p.Proc<decltype(DrvDeviceCapabilities)>("DrvDeviceCapabilities")) {
    j.EndArray();
    return j.Emit("lbldrv6ui does not export DrvDeviceCapabilities");
  }
  for (const CapInfo& c : wanted) WriteCapability(j.W(), p, c);
  j.EndArray();
  return j.Emit();
}

int RunCheckJob(const std::vector<std::string>& args) {
  std::vector<std::string> rest = args;
  JobOptions opts;
  std::string error;
  if (!ParseJobOptions(&rest, &opts, &error)) return Usage(error);
  if (!rest.empty()) return Usage("unexpected argument '" + rest[0] + "'");

  // The verdict, then the job's paper fields; all there, null, when the check never ran.
  PrinterDevmode dm;
  BOOL printable = FALSE;
  WCHAR text[512] = {};
  DEVQUERYPRINT_INFO info{};
  auto emit = [&](bool ran, const std::string& failure) {
    JsonOut j;
    j.SetBlank(!ran);
    j.Bool("Printable", printable != FALSE);
    j.WStr("Text", text, 512);
    j.Uint("Needed", info.cchNeeded);
    j.SetBlank(false);
    j.BeginObject("Job");
    WriteSettingsFields(j, ran ? &dm : nullptr,
                        {"dmFields", "dmOrientation", "dmPaperSize", "dmPaperWidth", "dmPaperLength", "dmCopies",
                         "dmFormName"});
    j.EndObject();
    return j.Emit(failure);
  };

  UiPrinter p;
  if (!OpenUiPrinter(opts.printer, opts.model, &p, &error)) return emit(false, error);
  PrinterFacts facts;
  if (ReadPrinterFacts(p.target.name, &facts, &error) && !CheckPaperName(opts, p.target.name, facts.papers, &error))
    return Usage(error);
  if (!BuildJobDevmode(p.printer, CatalogueModule(), opts, &dm, &error)) return emit(false, error);
  auto check = p.Proc<decltype(DevQueryPrintEx)>("DevQueryPrintEx");
  if (!check) return emit(false, "lbldrv6ui does not export DevQueryPrintEx");

  info.cbSize = sizeof info;
  info.Level = 1;
  info.hPrinter = p.printer;
  info.pDevMode = &dm.dm;
  info.pszErrorStr = text;
  info.cchErrorStr = 512;
  printable = check(&info);
  return emit(true, printable ? "" : "the job was refused: " + Utf8(text, 512));
}

CommandSpec CapsCommand() {
  return {
      "caps",
      "what DrvDeviceCapabilities of lbldrv6ui answers, as JSON",
      "caps [--printer NAME | --model DRIVER-NAME] [INDEX...]",
      "Prints what DrvDeviceCapabilities of lbldrv6ui answers for the printer, as JSON: under \"Capabilities\", for every index its\n"
      "name, number, result (-1 for an error) and what it wrote. INDEX is a number or a name such as\n"
      "DC_PAPERS or papernames; without one, every capability index is queried. Sizes are tenths of a\n"
      "millimetre.",
      PrinterOptionTable(),
      "0  the capabilities were queried\n"
      "1  the printer could not be set up (message on stderr and under \"Error\")\n"
      "2  usage error: an unknown capability index",
      "lbl caps DC_PAPERNAMES DC_PAPERSIZE\n"
      "lbl caps --model \"Tarnwell TW-JA\" 16",
      "",
      RunCaps,
  };
}

CommandSpec CheckJobCommand() {
  return {
      "check-job",
      "whether DevQueryPrintEx lets a job print on the loaded paper",
      "check-job [--printer NAME | --model DRIVER-NAME] [--paper NAME | --size WxH] [--orientation portrait|landscape] [--copies N]",
      "Builds the job settings an application would pass to the printer for the options and\n"
      "asks DevQueryPrintEx of lbldrv6ui whether the job can print on the loaded paper. Prints the\n"
      "verdict, the explanation and the job's paper fields as JSON.",
      JobOptionTable(),
      "0  the job can print\n"
      "1  the job is refused (the explanation on stderr and under \"Error\") or the check failed\n"
      "2  usage error: a bad option or value, an unknown paper name",
      "lbl check-job --paper \"4 x 6\"\n"
      "lbl check-job --size 120x80 --orientation landscape",
      "",
      RunCheckJob,
  };
}

}  // namespace lbl
