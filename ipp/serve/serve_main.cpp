// lbl-serve: `lbl serve` runs it. The printers come from the printer store; printers added or
// removed with `lbl printer` while it runs are picked up within a second or two.
#include <signal.h>
#include <sys/stat.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "common/product.h"
#include "ipp/serve/serve.h"

namespace lblserve {

namespace {

ServeConfig g_config;

struct Args {
  int port = 8631;
  std::string listen = "localhost";
  bool dnssd = false;
  std::string logFile = "-";
  pappl_loglevel_t logLevel = PAPPL_LOGLEVEL_INFO;
  std::string authService = "login";
};

int Usage(const std::string& message) {
  std::fprintf(stderr, "lbl: %s (see 'lbl help serve')\n", message.c_str());
  return 2;
}

bool ParseInt(const std::string& text, long lo, long hi, long* out) {
  char* end = nullptr;
  const long v = std::strtol(text.c_str(), &end, 10);
  if (text.empty() || *end || v < lo || v > hi) return false;
  *out = v;
  return true;
}

bool IsLoopback(const std::string& listen) {
  return listen == "localhost" || listen == "127.0.0.1" || listen == "::1" || listen == "[::1]";
}

// The printers of the store that the system lacks, and those it has that the store no longer lists.
struct StoreSync {
  pappl_system_t* system = nullptr;
  long long seen = -1;  // modification time of the store, nanoseconds
  bool dnssd = false;
  std::map<std::string, lblipp::PrinterEntry> served;  // by name: the entry each printer was made from
  std::set<std::string> stopping;                       // removed while a job prints: cancelled, deleted once stopped
};

bool CreateFromStore(pappl_system_t* system, const lblipp::PrinterEntry& e, bool dnssd) {
  const std::string driver = PapplDriverName(e.driver);
  if (driver.empty()) {
    papplLog(system, PAPPL_LOGLEVEL_ERROR, "Printer '%s': unknown model '%s'.", e.name.c_str(), e.driver.c_str());
    return false;
  }
  SetPendingPrinter(&e);
  pappl_printer_t* printer = papplPrinterCreate(system, e.id, e.name.c_str(), driver.c_str(), nullptr, e.deviceUri.c_str());
  SetPendingPrinter(nullptr);
  if (!printer) {
    papplLog(system, PAPPL_LOGLEVEL_ERROR, "Printer '%s' could not be created.", e.name.c_str());
    return false;
  }
  if (!dnssd) papplPrinterSetDNSSDName(printer, nullptr);
  papplLog(system, PAPPL_LOGLEVEL_INFO, "Printer '%s': %s on %s.", e.name.c_str(), e.driver.c_str(), e.deviceUri.c_str());
  return true;
}

bool SyncStore(pappl_system_t* system, StoreSync* data) {
  StoreSync* sync = data;
  struct stat st{};
  const std::string path = Config().stateDir + "/printers.json";
  const long long mtime = stat(path.c_str(), &st) == 0 ? st.st_mtim.tv_sec * 1000000000LL + st.st_mtim.tv_nsec : 0;
  if (mtime == sync->seen) return true;
  sync->seen = mtime;
  std::vector<lblipp::PrinterEntry> entries;
  std::string error;
  if (!lblipp::OpenFileStore(Config().stateDir)->List(&entries, &error)) {
    papplLog(system, PAPPL_LOGLEVEL_ERROR, "%s", error.c_str());
    return true;
  }
  // A printer the web interface added is served as the store took it in. One the store refused (a
  // name with a space) is left alone: it serves until the server stops, as its log said.
  std::map<std::string, pappl_printer_t*> live;
  papplSystemIteratePrinters(
      system,
      [](pappl_printer_t* p, void* d) { (*static_cast<std::map<std::string, pappl_printer_t*>*>(d))[papplPrinterGetName(p)] = p; },
      &live);
  std::erase_if(sync->served, [&](const auto& s) { return !live.count(s.first); });
  for (const auto& [name, p] : live)
    if (!sync->served.count(name)) {
      auto it = std::find_if(entries.begin(), entries.end(), [&](const lblipp::PrinterEntry& e) { return e.name == name; });
      if (it != entries.end()) sync->served[name] = *it;
    }
  // A printer removed and added again under its name with another model, device or language is
  // made anew: the old one would go on printing to the old device.
  const lblipp::SyncPlan plan = lblipp::PlanSync(entries, sync->served);
  // A printer is deleted only when no job prints on it: the job's thread uses the printer to its
  // end. Paused, no other job starts; the job printing is cancelled, and the printer goes at a
  // later look once the job has stopped.
  bool waiting = false;
  for (const std::string& name : plan.remove) {
    pappl_printer_t* p = live.at(name);
    papplPrinterPause(p);
    if (papplPrinterGetState(p) == IPP_PSTATE_PROCESSING) {
      if (sync->stopping.insert(name).second) {
        papplLog(system, PAPPL_LOGLEVEL_INFO, "Printer '%s' was removed: its jobs are cancelled.", name.c_str());
        papplPrinterCancelAllJobs(p);
      }
      waiting = true;
      continue;
    }
    papplLog(system, PAPPL_LOGLEVEL_INFO, "Printer '%s' was removed.", name.c_str());
    papplPrinterDelete(p);
    sync->served.erase(name);
    sync->stopping.erase(name);
    live.erase(name);
  }
  for (const auto& e : plan.create)
    if (!live.count(e.name) && CreateFromStore(system, e, sync->dnssd)) sync->served[e.name] = e;
  if (waiting) sync->seen = -1;  // look again at the next turn
  return true;
}

}  // namespace

const ServeConfig& Config() { return g_config; }
void SetConfig(const ServeConfig& config) { g_config = config; }

// The USB printers connected now, with the model each names (lbl serve --devices).
int ListDevices() {
  papplDeviceList(
      PAPPL_DEVTYPE_USB,
      [](const char* info, const char* uri, const char* id, void*) {
        const std::string driver = DriverForDeviceId(id);
        std::printf("%s\t%s\t%s\n", uri, driver.empty() ? "(no model of the catalogue)" : driver.c_str(),
                    info ? info : "");
        return false;
      },
      nullptr, nullptr, nullptr);
  return 0;
}

int Main(int argc, char** argv) {
  if (argc == 2 && std::string(argv[1]) == "--devices") return ListDevices();
  Args args;
  ServeConfig config;
  config.stateDir = lblipp::StateDirectory();
  for (int i = 1; i < argc; ++i) {
    const std::string a = argv[i];
    auto value = [&](std::string* out) {
      if (i + 1 >= argc) return false;
      *out = argv[++i];
      return true;
    };
    std::string v;
    long n = 0;
    if (a == "--port") {
      if (!value(&v) || !ParseInt(v, 1, 65535, &n)) return Usage("--port takes a port number from 1 to 65535");
      args.port = int(n);
    } else if (a == "--listen") {
      if (!value(&args.listen) || args.listen.empty()) return Usage("--listen needs an address or host name");
    } else if (a == "--dnssd") {
      args.dnssd = true;
    } else if (a == "--log") {
      if (!value(&args.logFile) || args.logFile.empty()) return Usage("--log needs a file (- for stderr)");
    } else if (a == "--log-level") {
      if (!value(&v)) return Usage("--log-level needs a level");
      static const std::map<std::string, pappl_loglevel_t> levels = {{"debug", PAPPL_LOGLEVEL_DEBUG},
                                                                      {"info", PAPPL_LOGLEVEL_INFO},
                                                                      {"warn", PAPPL_LOGLEVEL_WARN},
                                                                      {"error", PAPPL_LOGLEVEL_ERROR}};
      if (!levels.count(v)) return Usage("--log-level takes debug, info, warn or error");
      args.logLevel = levels.at(v);
    } else if (a == "--fault-timeout") {
      if (!value(&v) || !ParseInt(v, 0, 86400 * 7, &n)) return Usage("--fault-timeout takes seconds (0: wait until cancelled)");
      config.faultTimeoutSeconds = int(n);
    } else if (a == "--auth-service") {
      if (!value(&args.authService) || args.authService.empty()) return Usage("--auth-service needs a PAM service name");
    } else {
      return Usage("unknown option '" + a + "'");
    }
  }
  SetConfig(config);
  std::error_code ec;
  std::filesystem::create_directories(config.stateDir + "/spool", ec);
  if (ec) {
    std::fprintf(stderr, "lbl: cannot create %s/spool: %s\n", config.stateDir.c_str(), ec.message().c_str());
    return 1;
  }
  signal(SIGPIPE, SIG_IGN);  // a printer that closes its socket fails the write, not the server

  // Beyond this machine, PAPPL asks clients for a login of this machine (PAM) for jobs, changes and
  // the web pages; only printer and job queries stay open.
  const bool remote = !IsLoopback(args.listen);
  pappl_soptions_t options = PAPPL_SOPTIONS_MULTI_QUEUE | PAPPL_SOPTIONS_WEB_INTERFACE | PAPPL_SOPTIONS_WEB_LOG;
  if (remote)
    options |= PAPPL_SOPTIONS_WEB_REMOTE | PAPPL_SOPTIONS_WEB_SECURITY;
  else
    options |= PAPPL_SOPTIONS_NO_TLS;
  pappl_system_t* system =
      papplSystemCreate(options, "Label printers", args.port, args.dnssd ? "_print,_universal" : nullptr,
                        (config.stateDir + "/spool").c_str(), args.logFile.c_str(), args.logLevel,
                        remote ? args.authService.c_str() : nullptr, false);
  if (!system) {
    std::fprintf(stderr, "lbl: cannot create the printer application\n");
    return 1;
  }
  if (!papplSystemAddListeners(system, args.listen.c_str())) {
    std::fprintf(stderr, "lbl: cannot listen on %s port %d\n", args.listen.c_str(), args.port);
    papplSystemDelete(system);
    return 1;
  }
  static const std::string footer = std::string("Label printers of the lbl package, driver version ") + kProductVersion + ".";
  papplSystemSetFooterHTML(system, footer.c_str());
  papplSystemSetMaxImageSize(system, 256u << 20, 16384, 16384);
  RegisterSimScheme();
  RegisterDrivers(system);
  RegisterFilters(system);
  static StoreSync sync;
  sync.system = system;
  sync.dnssd = args.dnssd;
  // Printers are created and deleted outside PAPPL's own timers, which run with the system locked,
  // and only once the system runs: starting it makes every printer's attributes anew, which would
  // drop what SetUpSupplies adds.
  std::atomic<bool> running{true};
  std::thread watcher([&] {
    while (running && !papplSystemIsRunning(system)) std::this_thread::sleep_for(std::chrono::milliseconds(10));
    while (running) {
      if (papplSystemIsRunning(system)) SyncStore(system, &sync);
      for (int i = 0; i < 10 && running; ++i) std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
  });
  if (!args.dnssd) papplSystemSetDNSSDName(system, nullptr);
  std::fprintf(stderr, "lbl: serving on http://%s:%d/ (state in %s)\n", args.listen.c_str(), args.port,
               config.stateDir.c_str());
  papplSystemRun(system);
  running = false;
  watcher.join();
  papplSystemDelete(system);
  return 0;
}

}  // namespace lblserve

int main(int argc, char** argv) { return lblserve::Main(argc, argv); }
