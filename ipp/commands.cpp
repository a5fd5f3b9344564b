#include "ipp/commands.h"

#include <limits.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include <rapidjson/document.h>

#include "ipp/printer_store.h"
#include "ipp/served_printers.h"
#include "resources/catalogue_blob.h"
#include "tools/embedded.h"
#include "tools/exit_status.h"
#include "tools/install_commands.h"
#include "tools/job_options.h"
#include "tools/json_out.h"
#include "tools/state.h"

namespace lbl {

namespace {

// The print languages a model of the catalogue lists: "tspl", "zpl", "esc", "twl".
std::vector<std::string> CatalogueLanguages(const std::string& driver) {
  std::vector<std::string> out;
  rapidjson::Document doc;
  doc.Parse(reinterpret_cast<const char*>(g_CatalogueJson), g_CatalogueJsonSize);
  if (doc.HasParseError() || !doc.IsObject() || !doc.HasMember("Venders") || !doc["Venders"].IsArray()) return out;
  unsigned bits = 0;
  for (const auto& v : doc["Venders"].GetArray()) {
    if (!v.IsObject() || !v.HasMember("Vender Name") || !v["Vender Name"].IsString() || !v.HasMember("Models") ||
        !v["Models"].IsArray())
      continue;
    for (const auto& m : v["Models"].GetArray()) {
      if (!m.IsObject() || !m.HasMember("Model Name") || !m["Model Name"].IsString() ||
          std::string(v["Vender Name"].GetString()) + " " + m["Model Name"].GetString() != driver)
        continue;
      bits = 0;
      if (m.HasMember("Printer Languages") && m["Printer Languages"].IsObject() &&
          m["Printer Languages"].HasMember("Option") && m["Printer Languages"]["Option"].IsArray())
        for (const auto& o : m["Printer Languages"]["Option"].GetArray())
          if (o.IsInt()) bits |= unsigned(o.GetInt());
    }
  }
  for (auto [bit, name] : {std::pair<unsigned, const char*>{2, "tspl"}, {4, "zpl"}, {1, "esc"}, {8, "twl"}})
    if (bits & bit) out.push_back(name);
  return out;
}

std::string Joined(const std::vector<std::string>& items) {
  std::string s;
  for (const auto& i : items) s += (s.empty() ? "" : ", ") + i;
  return s;
}

// The printers of printers.json, the earlier layout's own list, move onto the machine once; the file
// is then renamed aside (printers.json.migrated) so that nothing is read twice and nothing is lost.
void MigrateLegacyStore() {
  const std::string dir = StateFolder(), file = dir + "/printers.json";
  std::error_code ec;
  if (!std::filesystem::exists(file, ec)) return;
  std::vector<lblipp::PrinterEntry> entries;
  std::string error;
  if (!lblipp::OpenFileStore(dir)->List(&entries, &error)) {
    std::fprintf(stderr, "lbl: the printers of %s stay there: %s\n", file.c_str(), error.c_str());
    return;
  }
  bool all = true;
  for (lblipp::PrinterEntry& e : entries) {
    lblipp::ServedPrinter found;
    bool served = false;
    const bool there = lblipp::FindMachinePrinter(e.name, &found, &served);
    if (there && served) continue;  // moved by an earlier run
    std::string why;
    bool ok = there ? found.driver == e.driver : lbl::InstallOnMachine(e.driver, e.name, lblipp::kServedPort, &why);
    if (there && !ok) why = "an installed printer of that name has the driver " + found.driver;
    ok = ok && lblipp::SetServedDevice(e.name, e.deviceUri, &e.id, &why);
    ok = ok && (e.language.empty() || lblipp::SetDefaultLanguage(e.name, e.language, &why));
    if (!ok) {
      std::fprintf(stderr, "lbl: the printer \"%s\" of %s was not moved onto the machine: %s\n", e.name.c_str(),
                   file.c_str(), why.c_str());
      all = false;
    }
  }
  if (!all) return;
  std::string aside = file + ".migrated";
  for (int n = 2; std::filesystem::exists(aside, ec); ++n) aside = file + ".migrated-" + std::to_string(n);
  std::filesystem::rename(file, aside, ec);
  std::fprintf(stderr, "lbl: the printers of %s are on the machine now%s%s\n", file.c_str(),
               ec ? "; the file could not be renamed: " : "; the file is kept as ", ec ? ec.message().c_str() : aside.c_str());
}

// The machine of the state folder, with the earlier layout's printers moved onto it.
bool OpenMachine(std::string* error) {
  if (!OpenState(error)) return false;
  MigrateLegacyStore();
  return true;
}

int PrinterAdd(const std::vector<std::string>& args) {
  lblipp::PrinterEntry entry;
  std::string error;
  for (size_t i = 0; i < args.size(); ++i) {
    std::string name, value;
    const bool inlineValue = SplitOption(args[i], &name, &value);
    std::string* field = name == "--model" ? &entry.driver : name == "--device" ? &entry.deviceUri
                         : name == "--language" ? &entry.language : nullptr;
    if (field) {
      if (!TakeOptionValue(args, &i, name, inlineValue, &value, &error)) return Usage(error);
      *field = value;
    } else if (!args[i].empty() && args[i][0] == '-') {
      return Usage("unknown option '" + args[i] + "' (see 'lbl help printer')");
    } else if (entry.name.empty()) {
      entry.name = args[i];
    } else {
      return Usage("one NAME at a time");
    }
  }
  if (entry.name.empty()) return Usage("printer add needs a NAME");
  if (!lblipp::CheckPrinterName(entry.name, &error)) return Usage(error);
  if (entry.driver.empty()) return Usage("printer add needs --model DRIVER-NAME (see 'lbl models')");
  if (!IsKnownDriver(entry.driver)) return Usage("unknown model \"" + entry.driver + "\" (see 'lbl models')");
  if (entry.deviceUri.empty()) return Usage("printer add needs --device URI");
  if (!lblipp::CheckDeviceUri(entry.deviceUri, &error)) return Usage(error);
  if (!entry.language.empty()) {
    const auto spoken = CatalogueLanguages(entry.driver);
    if (std::find(spoken.begin(), spoken.end(), entry.language) == spoken.end())
      return Usage(entry.driver + " does not speak '" + entry.language + "' (it speaks " + Joined(spoken) + ")");
  }
  if (!OpenMachine(&error)) return Fail(error);
  lblipp::ServedPrinter found;
  bool served = false;
  if (!lblipp::CheckServedPathFree(entry.name, &error)) return Fail(error);
  if (lblipp::FindMachinePrinter(entry.name, &found, &served)) {
    // An installed printer of the model is served as it is, with its stocks and settings.
    if (served) return Fail("the printer \"" + found.name + "\" is served already, on " + found.deviceUri);
    if (found.driver != entry.driver)
      return Fail("the installed printer \"" + found.name + "\" is a " + found.driver + ", not a " + entry.driver);
    entry.name = found.name;
  } else if (!InstallOnMachine(entry.driver, entry.name, lblipp::kServedPort, &error)) {
    return Fail(error);
  }
  if (!lblipp::SetServedDevice(entry.name, entry.deviceUri, &entry.id, &error)) return Fail(error);
  if (!entry.language.empty() && !lblipp::SetDefaultLanguage(entry.name, entry.language, &error)) return Fail(error);
  std::printf("added %s (%s on %s): ipp://localhost:PORT%s\n", entry.name.c_str(), entry.driver.c_str(),
              entry.deviceUri.c_str(), lblipp::PrinterResource(entry.name).c_str());
  return 0;
}

int PrinterList(const std::vector<std::string>& args) {
  if (!args.empty()) return Usage("printer list takes no arguments");
  std::vector<lblipp::ServedPrinter> list;
  std::string error;
  const bool ok = OpenMachine(&error) && lblipp::ListServedPrinters(&list, &error);
  JsonOut j;
  j.BeginArray("Printers");
  for (const auto& e : list) {
    j.W().StartObject();
    j.Str("Name", e.name);
    j.Int("Id", e.id);
    j.Str("Driver", e.driver);
    j.Str("Port", e.port);
    j.Str("DeviceUri", e.deviceUri);
    if (e.language.empty())
      j.Null("Language");
    else
      j.Str("Language", e.language);
    j.Str("Resource", lblipp::PrinterResource(e.name));
    j.W().EndObject();
  }
  j.EndArray();
  std::fputs(j.Finish(ok ? "" : error).c_str(), stdout);
  return ok ? 0 : Fail(error);
}

int PrinterRemove(const std::vector<std::string>& args) {
  if (args.size() != 1) return Usage("printer remove takes one NAME");
  std::string error;
  if (!OpenMachine(&error)) return Fail(error);
  lblipp::ServedPrinter found;
  bool served = false;
  if (!lblipp::FindMachinePrinter(args[0], &found, &served)) return Fail("no printer named \"" + args[0] + "\"");
  if (!served)
    return Fail("\"" + found.name + "\" is not a printer of lbl serve (it has no device); 'lbl uninstall' removes it");
  if (!UninstallFromMachine(found.name, &error)) return Fail(error);
  std::printf("removed %s\n", found.name.c_str());
  return 0;
}

int RunPrinter(const std::vector<std::string>& args) {
  if (args.empty()) return Usage("printer needs add, list or remove");
  const std::vector<std::string> rest(args.begin() + 1, args.end());
  if (args[0] == "add") return PrinterAdd(rest);
  if (args[0] == "list") return PrinterList(rest);
  if (args[0] == "remove") return PrinterRemove(rest);
  return Usage("unknown printer command '" + args[0] + "' (add, list or remove)");
}

// The printer application is a program of its own beside lbl, so that lbl itself never loads it.
int RunServe(const std::vector<std::string>& args) {
  char self[PATH_MAX];
  const ssize_t n = ::readlink("/proc/self/exe", self, sizeof self - 1);
  if (n <= 0) return Fail("cannot find lbl's own folder");
  self[n] = 0;
  // Beside lbl in the build, with the modules in lib/lbl when installed.
  const std::filesystem::path bin = std::filesystem::path(self).parent_path();
  std::string program = (bin / "lbl-serve").string();
  if (::access(program.c_str(), X_OK) != 0) program = (bin / ".." / "lib" / "lbl" / "lbl-serve").string();
  std::vector<char*> argv = {const_cast<char*>(program.c_str())};
  for (const auto& a : args) argv.push_back(const_cast<char*>(a.c_str()));
  argv.push_back(nullptr);
  // The server reads the same state folder (--state included) and runs this lbl for its changes.
  if (::setenv("LBL_STATE_DIR", StateFolder().c_str(), 1) != 0) return Fail("cannot pass on the state folder");
  std::fflush(nullptr);
  ::execv(program.c_str(), argv.data());
  return Fail("cannot run " + program + ": " + std::strerror(errno));
}

}  // namespace

CommandSpec ServeCommand() {
  return {
      "serve",
      "the printers of `lbl printer` as IPP Everywhere printers, in the foreground",
      "serve [--port N] [--listen ADDR] [--dnssd] [--log FILE] [--log-level LEVEL] [--fault-timeout S] | serve --devices",
      "Runs the printer application in the foreground until it is stopped (Ctrl-C): every printer that\n"
      "'lbl printer add' added is an IPP Everywhere printer at ipp://HOST:PORT/ipp/print/NAME, with a web\n"
      "interface at http://HOST:PORT/ (status, media, defaults, adding printers). Windows, macOS, iOS,\n"
      "Android, ChromeOS and Linux print to it with their own IPP Everywhere driver.\n\n"
      "Each page (PNG and JPEG read and fitted as lbl print reads and fits them, PDF drawn at the\n"
      "printer's resolution, PWG and Apple raster as the printer application rasterised them) goes\n"
      "through the same settings record, page raster pipeline and writers as the Windows driver, so a\n"
      "job prints the bytes 'lbl print' prints for the same pictures and settings.\n"
      "TWL printers get their pages through the language monitor's delivery. A printer that stops\n"
      "(offline, paper out, head open) shows in printer-state-reasons and holds the job, which goes on\n"
      "with the labels that did not come out once the printer is back.\n\n"
      "It listens on localhost unless --listen names another address; then jobs, changes and the web\n"
      "pages need a login of this machine (PAM service --auth-service, default login) and TLS is offered. DNS-SD\n"
      "announcements are off unless --dnssd. The printers are those of the state folder's machine that\n"
      "have a device ('lbl printer add'), each with its own stocks ('lbl stock add --printer NAME') and\n"
      "default settings ('lbl sheet document --printer NAME --preferences'); what other lbl commands change\n"
      "is picked up within two seconds. The server does not keep the state folder locked. Job files are\n"
      "kept in the state folder's spool while printing.\n"
      "'lbl serve --devices' lists the USB printers connected, with their usb:// URIs for 'lbl printer add'.",
      {
          {"--port", "N", "the TCP port (default 8631)"},
          {"--listen", "ADDR", "the address or host name to listen on (default localhost)"},
          {"--dnssd", nullptr, "announce the printers with DNS-SD"},
          {"--log", "FILE", "the log file (default -: standard error)", "@file"},
          {"--log-level", "LEVEL", "debug, info, warn or error (default info)", "debug info warn error"},
          {"--fault-timeout", "S", "seconds a job waits for a stopped printer before it fails\n(default 0: until cancelled)"},
          {"--auth-service", "NAME", "the PAM service that checks logins beyond localhost (default login)"},
          {"--devices", nullptr, "list the USB printers connected now (URI, the catalogue model its device\n"
                                 "ID names, description) and exit"},
      },
      "0  stopped\n1  the server could not start (the port is taken, the state folder cannot be written)\n2  usage error",
      "lbl printer add shipping --model \"Tarnwell TW-QX\" --device usb://Tarnwell/TW-QX?serial=TW0000001\n"
      "lbl serve --port 8631",
      "",
      RunServe,
  };
}

CommandSpec PrinterCommand() {
  return {
      "printer",
      "the printers lbl serve serves: add, list, remove",
      "printer add NAME --model DRIVER-NAME --device URI [--language LANG] | printer list | printer remove NAME",
      "The printers of 'lbl serve' are printers of the state folder's machine with a device. 'add' installs\n"
      "the model as NAME on the port FILE: as 'lbl install' does (an installed printer of that NAME and\n"
      "model is served as it is) and keeps the device URI with the printer; 'remove' uninstalls it.\n"
      "A printer has a NAME (letters, digits, '-', '_', '.'), a model of the catalogue ('lbl models'),\n"
      "a device and optionally a print language the model speaks, stored as its default settings' (else\n"
      "the one the Windows driver chooses; a USB printer's device ID can still change it, as on Windows).\n"
      "Its stocks and default settings are the printer's: 'lbl stock add --printer NAME', 'lbl sheet\n"
      "document --printer NAME --preferences'. A printers.json of an earlier version is moved onto the\n"
      "machine by the first of these commands and kept as printers.json.migrated. Devices:\n"
      "  usb://MAKE/MODEL?serial=...   a USB printer (the web interface lists those connected)\n"
      "  socket://HOST[:PORT]          a network printer's raw port (9100)\n"
      "  file:///PATH                  a file (for tests)\n"
      "  lblsim://HOST:PORT            a simulated printer with its control channel\n"
      "'printer list' prints the printers as JSON, each with the path the server serves it at\n"
      "(/ipp/print/NAME, /ipp/print/_NAME for a NAME that starts with a digit); a running 'lbl serve'\n"
      "picks up changes by itself.",
      {
          {"--model", "DRIVER-NAME", "the model, as 'lbl models' names it", "@models"},
          {"--device", "URI", "the printer's device URI"},
          {"--language", "LANG", "tspl, zpl, esc or twl", "tspl zpl esc twl"},
      },
      "0  success\n1  the state could not be read or saved, the install failed, or the name is taken\n2  usage error",
      "lbl printer add desk --model \"Tarnwell TW-QX\" --device socket://192.0.2.20\n"
      "lbl printer list\nlbl printer remove desk",
      "add list remove",
      RunPrinter,
  };
}

}  // namespace lbl
