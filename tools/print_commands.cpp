#include "tools/print_commands.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>

#include <rapidjson/prettywriter.h>
#include <rapidjson/stringbuffer.h>

#include "tools/deliver.h"
#include "tools/exit_status.h"
#include "tools/print_job.h"
#include "tools/viewer/png.h"
#include "tools/viewer/viewer.h"

namespace lbl {

namespace fs = std::filesystem;

const char* const kViewUsage = "view FILE [--language tspl|zpl|esc|twl] [--dpi N] [--pages DIR] [--json] [-o PREFIX]";

const char* ViewHelp() {
  return "A virtual printer: parses what lbl print wrote (or any stream of the four languages, a TWL page\n"
         "file, or a folder of them), checks every length, band size, Base64 text, CRC and zlib stream, lists\n"
         "the commands it found with their byte offsets and writes each printed label as a PNG file,\n"
         "PREFIX-1.png, PREFIX-2.png, ... (default PREFIX: FILE). A malformed stream\n"
         "is reported with the byte offset of the fault and exit status 1.\n\n"
         "Options:\n"
         "  --language L   the stream's language (default: recognised from its commands)\n"
         "  --dpi N        resolution for TSPL sizes given in millimetres (default 203)\n"
         "  --pages DIR    TWL: the job's page files (default: FILE.pages when it exists)\n"
         "  --json         the commands, notes and labels as JSON\n"
         "  -o PREFIX      where the PNG files go";
}

namespace {

using JsonWriter = rapidjson::PrettyWriter<rapidjson::StringBuffer>;

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
    if (!entry.is_regular_file() || !lblview::ParsePageFileName(name, nullptr, nullptr, nullptr)) continue;
    lblview::PageFile f{name, {}};
    ReadFile(entry.path(), &f.data);
    files.push_back(std::move(f));
  }
  std::sort(files.begin(), files.end(), [](const auto& a, const auto& b) { return a.name < b.name; });
  return files;
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

  std::vector<RgbImage> pictures(opts.inputs.size());
  for (size_t i = 0; i < opts.inputs.size(); ++i)
    if (!LoadPicture(opts.inputs[i], &pictures[i], &error)) return Fail(error);

  if (deliver) {
    // Through the spooler, lblmon and the port monitor to a simulated printer; OUT gets what it received.
    DeliveryReport report;
    std::vector<uint8_t> received;
    if (!DeliverPrint(opts, pictures, &report, &received, &error)) return Fail(error);
    std::string writeError;
    if (!WriteFile(opts.output, received, &writeError)) return Fail(writeError);
    std::printf("%s", DeliveryReportJson(report).c_str());
    for (const DeliveredJob& job : report.jobs) {
      if (!job.rendered) return Fail(job.error.empty() ? "the job failed" : job.error);
      if (report.commandSet == "TWL" && !job.ejected) return Fail("the monitor did not deliver the whole job");
    }
    return 0;
  }

  PrintResult result;
  const bool printed = RunPrint(opts, pictures, &result, &error);
  for (const std::string& w : result.warnings) std::fprintf(stderr, "lbl: warning: %s\n", w.c_str());
  if (!printed && result.output.empty() && result.pageFiles.empty()) return Fail(error);

  std::string writeError;
  if (!WriteFile(opts.output, result.output, &writeError)) return Fail(writeError);
  std::vector<std::string> written;
  if (!result.pageFiles.empty()) {
    const fs::path dir = opts.output + ".pages";
    std::error_code ec;
    fs::create_directories(dir, ec);
    // Page files of an earlier run would be taken for this job's.
    for (const lblview::PageFile& old : ReadPageFolder(dir)) fs::remove(dir / old.name, ec);
    for (const lblview::PageFile& f : result.pageFiles) {
      if (!WriteFile(dir / f.name, f.data, &writeError)) return Fail(writeError);
      written.push_back((dir / f.name).string());
    }
  }

  rapidjson::StringBuffer sb;
  JsonWriter w(sb);
  w.StartObject();
  w.Key("JobId");
  w.Uint(result.jobId);
  w.Key("Language");
  w.String(lblview::LanguageName(result.language));
  w.Key("Pages");
  w.Int(result.pages);
  w.Key("Copies");
  w.Int(result.devmode.dm.dmCopies);
  w.Key("PageWidth");
  w.Int(result.surfaceWidth);
  w.Key("PageHeight");
  w.Int(result.surfaceHeight);
  w.Key("Output");
  w.String(opts.output.c_str());
  w.Key("Bytes");
  w.Uint64(result.output.size());
  w.Key("PageFiles");
  w.StartArray();
  for (const std::string& p : written) w.String(p.c_str());
  w.EndArray();
  w.EndObject();
  std::printf("%s\n", sb.GetString());
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
      char* end = nullptr;
      long dpi = value(&v) ? std::strtol(v.c_str(), &end, 10) : 0;
      if (!end || *end || dpi < 50 || dpi > 2400) return Usage("--dpi takes a resolution from 50 to 2400");
      options.dpi = static_cast<uint32_t>(dpi);
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

  std::error_code ec;
  fs::path path(file);
  while (path.has_filename() == false && path.has_parent_path() && path != path.parent_path()) path = path.parent_path();
  const bool isFolder = fs::is_directory(path, ec);
  std::vector<uint8_t> bytes;
  if (!isFolder && !ReadFile(path, &bytes)) return Fail("cannot read " + file);
  if (pagesDir.empty() && !isFolder && fs::is_directory(file + ".pages", ec)) pagesDir = file + ".pages";
  std::vector<lblview::PageFile> pages;
  if (!pagesDir.empty()) {
    if (!fs::is_directory(pagesDir, ec)) return Fail("no folder " + pagesDir);
    pages = ReadPageFolder(pagesDir);
  }
  if (isFolder) pages = ReadPageFolder(path);
  if (prefix.empty()) prefix = path.string();

  lblview::ViewResult result;
  lblview::ViewError fault;
  bool ok;
  if (isFolder) {
    if (pages.empty()) return Fail("no page files (page_*.dat) in " + file);
    ok = lblview::ViewTwlPageFiles(pages, options, &result, &fault);
  } else {
    ok = lblview::ViewStream(bytes.data(), bytes.size(), pages, options, &result, &fault);
  }

  std::vector<std::string> pngs;
  if (ok) {
    std::string error;
    for (size_t i = 0; i < result.labels.size(); ++i) {
      const std::string name = prefix + "-" + std::to_string(i + 1) + ".png";
      if (!WriteFile(name, lblview::EncodeLabelPng(result.labels[i]), &error)) return Fail(error);
      pngs.push_back(name);
    }
  }

  if (json) {
    rapidjson::StringBuffer sb;
    JsonWriter w(sb);
    w.StartObject();
    w.Key("File");
    w.String(file.c_str());
    w.Key("Language");
    w.String(lblview::LanguageName(result.language));
    w.Key("Bytes");
    w.Uint64(bytes.size());
    w.Key("Commands");
    w.StartArray();
    for (const lblview::Command& c : result.commands) {
      w.StartObject();
      if (!c.file.empty()) {
        w.Key("File");
        w.String(c.file.c_str());
      }
      w.Key("Offset");
      w.Uint64(c.offset);
      w.Key("Command");
      w.String(c.text.c_str());
      w.EndObject();
    }
    w.EndArray();
    w.Key("Notes");
    w.StartArray();
    for (const std::string& n : result.notes) w.String(n.c_str());
    w.EndArray();
    w.Key("Labels");
    w.StartArray();
    for (size_t i = 0; ok && i < result.labels.size(); ++i) {
      const lblview::Label& l = result.labels[i];
      w.StartObject();
      w.Key("Width");
      w.Uint(l.width);
      w.Key("Height");
      w.Uint(l.height);
      w.Key("BlackDots");
      w.Uint64(l.BlackDots());
      w.Key("Png");
      w.String(pngs[i].c_str());
      w.EndObject();
    }
    w.EndArray();
    if (!ok) {
      w.Key("Error");
      w.StartObject();
      if (!fault.file.empty()) {
        w.Key("File");
        w.String(fault.file.c_str());
      }
      w.Key("Offset");
      w.Uint64(fault.offset);
      w.Key("Message");
      w.String(fault.message.c_str());
      w.EndObject();
    }
    w.EndObject();
    std::printf("%s\n", sb.GetString());
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

}  // namespace lbl
