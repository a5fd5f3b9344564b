#include "tools/print_commands.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>

#include "common/pagefile.h"
#include "tools/deliver.h"
#include "tools/embedded.h"
#include "tools/exit_status.h"
#include "tools/input_pdf.h"
#include "tools/json_out.h"
#include "tools/numbers.h"
#include "tools/print_job.h"
#include "tools/progress.h"
#include "tools/viewer/png.h"
#include "tools/viewer/viewer.h"

namespace lbl {

namespace fs = std::filesystem;

namespace {

bool WriteFile(const fs::path& path, const std::vector<uint8_t>& bytes, std::string* error) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
  out.close();
  if (!out) {
    *error = "cannot write " + path.string();
    return false;
  }
  return true;
}

bool ReadFile(const fs::path& path, std::vector<uint8_t>* bytes) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return false;
  bytes->assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  return true;
}

// The page files of a folder (page_*.dat), by name.
std::vector<lblview::PageFile> ReadPageFolder(const fs::path& dir) {
  std::vector<lblview::PageFile> files;
  std::error_code ec;
  for (const auto& entry : fs::directory_iterator(dir, ec)) {
    const std::string name = entry.path().filename().string();
    if (!entry.is_regular_file() || !ParsePageFileLeaf(name, nullptr, nullptr, nullptr)) continue;
    lblview::PageFile f{name, {}};
    ReadFile(entry.path(), &f.data);
    files.push_back(std::move(f));
  }
  std::sort(files.begin(), files.end(), [](const auto& a, const auto& b) { return a.name < b.name; });
  return files;
}

}  // namespace

namespace {

// The summary of lbl print; blank (every value null) when the job never ran.
std::string PrintSummaryJson(const PrintOptions& opts, const PrintResult* r, const std::vector<std::string>& pageFiles,
                             const std::vector<std::string>& warnings, const std::string& error) {
  static const PrintResult none;
  JsonOut j;
  j.SetBlank(r == nullptr);
  if (!r) r = &none;
  j.Uint("JobId", r->jobId);
  j.Str("Language", lblview::LanguageName(r->language));
  j.Int("Pages", r->pages);
  j.Int("Copies", r->devmode.dm.dmCopies);
  j.Int("PageWidth", r->surfaceWidth);
  j.Int("PageHeight", r->surfaceHeight);
  j.SetBlank(false);
  j.Str("Output", opts.output);
  j.Uint("Bytes", r->output.size());
  j.BeginArray("PageFiles");
  for (const std::string& p : pageFiles) j.W().String(p.c_str());
  j.EndArray();
  j.BeginArray("Warnings");
  for (const std::string& w : warnings) j.W().String(w.c_str());
  j.EndArray();
  return j.Finish(error);
}

int PrintFailure(const PrintOptions& opts, bool deliver, const std::vector<std::string>& warnings,
                 const std::string& error) {
  if (deliver) {
    DeliveryReport report;
    report.warnings = warnings;
    std::fputs(DeliveryReportJson(report, error).c_str(), stdout);
  } else {
    std::fputs(PrintSummaryJson(opts, nullptr, {}, warnings, error).c_str(), stdout);
  }
  return Fail(error);
}

void Warn(const std::vector<std::string>& warnings) {
  for (const std::string& w : warnings) std::fprintf(stderr, "lbl: warning: %s\n", w.c_str());
}

// Where a command or a fault is: its TWL page file (null in the stream itself) and byte offset.
void WritePlace(JsonOut& j, const std::string& file, size_t offset) {
  if (file.empty())
    j.Null("File");
  else
    j.Str("File", file);
  j.Uint("Offset", offset);
}

}  // namespace

int RunPrintCommand(const std::vector<std::string>& args) {
  std::vector<std::string> rest = args;
  PrintOptions opts;
  std::string error;
  if (!ParsePrintOptions(&rest, &opts, &error)) return Usage(error);
  const auto deliverFlag = std::find(rest.begin(), rest.end(), "--deliver");
  const bool deliver = deliverFlag != rest.end();
  if (deliver) rest.erase(deliverFlag);
  if (!rest.empty()) return Usage("unknown option '" + rest[0] + "' (see 'lbl help print')");
  if (opts.output.empty()) return Usage("-o OUT is required");
  if (opts.inputs.empty() && !opts.blankPages) return Usage("give INPUT files or --blank N");
  const std::vector<std::string> idWarnings = DeviceIdWarnings(opts.usbDeviceId);

  // The printer's resolution for PDF pages, and its paper names for --paper.
  PrinterFacts facts;
  if (!OpenTargetPrinter(opts.job.printer, opts.job.model, &opts.target, &error) ||
      !ReadPrinterFacts(opts.target.name, &facts, &error))
    return PrintFailure(opts, deliver, idWarnings, error);
  if (!CheckPaperName(opts.job, opts.target.name, facts.papers, &error)) return Usage(error);

  PageSelection selection;
  if (!opts.pages.empty()) ParsePageSelection(opts.pages, &selection, &error);
  std::vector<RgbImage> pictures;
  bool anyPdf = false;
  for (const std::string& input : opts.inputs) {
    std::ifstream in(input, std::ios::binary);
    char head[1024];
    const size_t got = in ? size_t(in.read(head, sizeof head).gcount()) : 0;
    if (in.bad() || (!in && got == 0 && !in.eof())) return PrintFailure(opts, deliver, idWarnings, "cannot open " + input);
    if (IsPdf(reinterpret_cast<const uint8_t*>(head), got)) {
      anyPdf = true;
      if (!LoadPdfPages(input, selection, facts.xDpi, facts.yDpi, &pictures, &error))
        return PrintFailure(opts, deliver, idWarnings, error);
    } else {
      pictures.emplace_back();
      if (!LoadPicture(input, &pictures.back(), &error)) return PrintFailure(opts, deliver, idWarnings, error);
    }
  }
  if (!opts.pages.empty() && !anyPdf) return Usage("--pages selects pages of PDF INPUT files; none was given");

  // Progress on a terminal only: for more than a few pages, and always while a printer prints.
  Progress progress;
  const int pages = pictures.empty() ? opts.blankPages : int(pictures.size());
  const bool showProgress = progress.Enabled() && (pages > 3 || deliver);
  if (showProgress) {
    opts.onPage = [&progress](int page, int total) { progress.Show("rendered", page, total); };
    opts.onPrinted = [&progress](int printed, int total) { progress.Show("printed", printed, total); };
  }

  if (deliver) {
    // Through the spooler, lblmon and the port monitor to a simulated printer; OUT gets what it received.
    DeliveryReport report;
    std::vector<uint8_t> received;
    const bool ran = DeliverPrint(opts, pictures, &report, &received, &error);
    progress.End();
    Warn(report.warnings);
    if (!ran) return PrintFailure(opts, deliver, report.warnings, error);
    std::string writeError;
    if (!WriteFile(opts.output, received, &writeError)) return PrintFailure(opts, deliver, report.warnings, writeError);
    for (const DeliveredJob& job : report.jobs) {
      if (!job.rendered) error = job.error.empty() ? "the job failed" : job.error;
      else if (report.twl && !job.ejected) error = "the monitor did not deliver the whole job";
    }
    std::fputs(DeliveryReportJson(report, error).c_str(), stdout);
    return error.empty() ? 0 : Fail(error);
  }

  PrintResult result;
  const bool printed = RunPrint(opts, pictures, &result, &error);
  if (printed && showProgress) progress.Show("rendered", result.pages, result.pages);
  progress.End();
  Warn(result.warnings);
  if (!printed && result.output.empty() && result.pageFiles.empty())
    return PrintFailure(opts, deliver, result.warnings, error);

  std::string writeError;
  if (!WriteFile(opts.output, result.output, &writeError)) return PrintFailure(opts, deliver, result.warnings, writeError);
  std::vector<std::string> written;
  if (!result.pageFiles.empty()) {
    const fs::path dir = opts.output + ".pages";
    std::error_code ec;
    fs::create_directories(dir, ec);
    // Page files of an earlier run would be taken for this job's.
    for (const lblview::PageFile& old : ReadPageFolder(dir)) fs::remove(dir / old.name, ec);
    for (const lblview::PageFile& f : result.pageFiles) {
      if (!WriteFile(dir / f.name, f.data, &writeError))
        return PrintFailure(opts, deliver, result.warnings, writeError);
      written.push_back((dir / f.name).string());
    }
  }
  std::fputs(PrintSummaryJson(opts, &result, written, result.warnings, printed ? "" : error).c_str(), stdout);
  if (!printed) return Fail(error);
  return 0;
}

int RunViewCommand(const std::vector<std::string>& args) {
  std::string file, prefix, pagesDir;
  bool json = false;
  lblview::ViewOptions options;
  for (size_t i = 0; i < args.size(); ++i) {
    const std::string& a = args[i];
    auto value = [&](std::string* out) {
      if (i + 1 >= args.size()) return false;
      *out = args[++i];
      return true;
    };
    std::string v;
    if (a == "--language") {
      if (!value(&v) || (options.language = lblview::LanguageFromName(v)) == lblview::Language::Unknown)
        return Usage("--language takes tspl, zpl, esc or twl");
    } else if (a == "--dpi") {
      std::string error;
      if (!value(&v)) return Usage("--dpi needs a value");
      if (!OptionWholeInto(a, v, 50, 2400, &options.dpi, &error, "a resolution")) return Usage(error);
    } else if (a == "--pages") {
      if (!value(&pagesDir)) return Usage("--pages needs a folder");
    } else if (a == "-o" || a == "--output") {
      if (!value(&prefix) || prefix.empty()) return Usage(a + " needs a prefix");
    } else if (a == "--json") {
      json = true;
    } else if (!a.empty() && a[0] == '-' && a != "-") {
      return Usage("unknown option '" + a + "' (see 'lbl help view')");
    } else if (file.empty()) {
      file = a;
    } else {
      return Usage("one FILE at a time");
    }
  }
  if (file.empty()) return Usage("view needs a FILE");
  // With --json a failure before the stream is read still prints the document, empty.
  auto failView = [&](const std::string& message) {
    if (!json) return Fail(message);
    JsonOut j;
    j.Str("File", file);
    j.Null("Language");
    j.Null("Bytes");
    for (const char* key : {"Commands", "Notes", "Labels"}) {
      j.BeginArray(key);
      j.EndArray();
    }
    // The members of a stream fault, unknown here.
    j.OpenError(message);
    for (const char* key : {"File", "Offset", "Fault"}) j.Null(key);
    std::fputs(j.CloseError().c_str(), stdout);
    return Fail(message);
  };

  std::error_code ec;
  fs::path path(file);
  while (path.has_filename() == false && path.has_parent_path() && path != path.parent_path()) path = path.parent_path();
  const bool isFolder = fs::is_directory(path, ec);
  std::vector<uint8_t> bytes;
  if (!isFolder && !ReadFile(path, &bytes)) return failView("cannot read " + file);
  if (pagesDir.empty() && !isFolder && fs::is_directory(file + ".pages", ec)) pagesDir = file + ".pages";
  std::vector<lblview::PageFile> pages;
  if (!pagesDir.empty()) {
    if (!fs::is_directory(pagesDir, ec)) return failView("no folder " + pagesDir);
    pages = ReadPageFolder(pagesDir);
  }
  if (isFolder) pages = ReadPageFolder(path);
  if (prefix.empty()) prefix = path.string();

  lblview::ViewResult result;
  lblview::ViewError fault;
  bool ok;
  if (isFolder) {
    if (pages.empty()) return failView("no page files (page_*.dat) in " + file);
    ok = lblview::ViewTwlPageFiles(pages, options, &result, &fault);
  } else {
    ok = lblview::ViewStream(bytes.data(), bytes.size(), pages, options, &result, &fault);
  }

  std::vector<std::string> pngs;
  if (ok) {
    std::string error;
    for (size_t i = 0; i < result.labels.size(); ++i) {
      const std::string name = prefix + "-" + std::to_string(i + 1) + ".png";
      if (!WriteFile(name, lblview::EncodeLabelPng(result.labels[i]), &error)) return failView(error);
      pngs.push_back(name);
    }
  }

  if (json) {
    JsonOut j;
    auto& w = j.W();
    j.Str("File", file);
    j.Str("Language", lblview::LanguageName(result.language));
    j.Uint("Bytes", bytes.size());
    j.BeginArray("Commands");
    for (const lblview::Command& c : result.commands) {
      w.StartObject();
      WritePlace(j, c.file, c.offset);
      j.Str("Command", c.text);
      w.EndObject();
    }
    j.EndArray();
    j.BeginArray("Notes");
    for (const std::string& n : result.notes) w.String(n.c_str());
    j.EndArray();
    j.BeginArray("Labels");
    for (size_t i = 0; ok && i < result.labels.size(); ++i) {
      const lblview::Label& l = result.labels[i];
      w.StartObject();
      j.Uint("Width", l.width);
      j.Uint("Height", l.height);
      j.Uint("BlackDots", l.BlackDots());
      j.Str("Png", pngs[i]);
      w.EndObject();
    }
    j.EndArray();
    std::string text;
    if (ok) {
      text = j.Finish();
    } else {
      j.OpenError("malformed " + std::string(lblview::LanguageName(result.language)) + " stream at " + fault.Describe());
      WritePlace(j, fault.file, fault.offset);
      j.Str("Fault", fault.message);
      text = j.CloseError();
    }
    std::fputs(text.c_str(), stdout);
  } else {
    std::printf("%s: %s, %zu bytes%s\n", file.c_str(), lblview::LanguageName(result.language), bytes.size(),
                pages.empty() ? "" : (", " + std::to_string(pages.size()) + " page files").c_str());
    std::string lastFile;
    for (const lblview::Command& c : result.commands) {
      if (c.file != lastFile) {
        std::printf("%s:\n", c.file.empty() ? file.c_str() : c.file.c_str());
        lastFile = c.file;
      }
      std::printf("%10zu  %s\n", c.offset, c.text.c_str());
    }
    for (const std::string& n : result.notes) std::printf("note: %s\n", n.c_str());
    for (size_t i = 0; i < pngs.size(); ++i) {
      const lblview::Label& l = result.labels[i];
      std::printf("label %zu: %u x %u dots, %llu black -> %s\n", i + 1, l.width, l.height,
                  static_cast<unsigned long long>(l.BlackDots()), pngs[i].c_str());
    }
  }
  if (!ok)
    return Fail(file + ": malformed " + lblview::LanguageName(result.language) + " stream at " + fault.Describe());
  return 0;
}

CommandSpec PrintCommand() {
  return {
      "print",
      "print pictures and PDF labels through the rendering library",
      "print [OPTIONS] -o OUT (INPUT... | --blank N)",
      "Prints through the real rendering library (lbldrv6) on the simulated machine, as an application\n"
      "would: the printer is installed fresh and initialised by lbldrv6ui (its \"FORMS\" is the model's\n"
      "paper list), the options become the application's DEVMODE, and winsim runs the job through the\n"
      "driver's entry points. OUT gets exactly the bytes WritePrinter received; for TWL the job's page\n"
      "files are copied into the folder OUT.pages. A JSON summary goes to stdout (\"Error\" is null\n"
      "unless the job failed).\n\n"
      "Each picture INPUT (PNG, JPEG, BMP or PNM) is one page, scaled to fit the page's printable area keeping\n"
      "its aspect ratio and centred; --actual-size draws it pixel for pixel at the top left. Each page of\n"
      "a PDF INPUT is one page, drawn at the printer's resolution as a PDF viewer printing through the\n"
      "driver draws it, then fitted the same way (--actual-size keeps its size in the PDF).\n\n"
      "A --paper name that is not on the printer's paper list is a usage error listing the list. Every\n"
      "value of the options the driver's settings merge does not take from the job is reported as a\n"
      "warning on stderr (and under \"Warnings\"). On a terminal, jobs of more than three pages and\n"
      "--deliver show their progress on stderr.",
      PrintOptionTable(),
      "0  the job printed\n"
      "1  the job or its set-up failed, or an INPUT could not be read (message on stderr)\n"
      "2  usage error: a bad option or value, an unknown paper name",
      "lbl print --language zpl --paper \"4 x 6\" -o label.zpl shipping-label.pdf\n"
      "lbl view label.zpl",
      "@file",
      RunPrintCommand,
  };
}

CommandSpec ViewCommand() {
  return {
      "view",
      "the virtual printer: check a printer stream, list its commands, write its labels as PNG",
      "view FILE [--language tspl|zpl|esc|twl] [--dpi N] [--pages DIR] [--json] [-o PREFIX]",
      "A virtual printer: parses what lbl print wrote (or any stream of the four languages, a TWL page\n"
      "file, or a folder of them), checks every length, band size, Base64 text, CRC and zlib stream, lists\n"
      "the commands it found with their byte offsets and writes each printed label as a PNG file,\n"
      "PREFIX-1.png, PREFIX-2.png, ... (default PREFIX: FILE). A malformed stream is reported with the\n"
      "byte offset of the fault.",
      {
          {"--language", "LANG", "the stream's language (default: recognised from its commands)", "tspl zpl esc twl"},
          {"--dpi", "N", "resolution for TSPL sizes given in millimetres (default 203)", "203 300 600"},
          {"--pages", "DIR", "TWL: the job's page files (default: FILE.pages when it exists)", "@dir"},
          {"--json", nullptr, "the commands, notes and labels as JSON; a fault under \"Error\""},
          {"-o", "PREFIX", "where the PNG files go", "@file"},
      },
      "0  the stream is well formed\n"
      "1  the stream is malformed (the message names the byte offset) or cannot be read\n"
      "2  usage error",
      "lbl view label.zpl            # label.zpl-1.png, ...\n"
      "lbl view --json -o page label.tspl",
      "@file",
      RunViewCommand,
  };
}

}  // namespace lbl
