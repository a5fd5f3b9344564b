// lbl-serve: `lbl serve` runs it. The printers are those of the state folder's machine that have a
// device; what other lbl commands change on the machine while it runs is picked up within a second or
// two. The server never holds the state's lock: it reads the state file, which every save replaces
// whole, and makes its own changes through lbl.
#include <execinfo.h>
#include <limits.h>
#include <signal.h>
#include <unistd.h>
#include <sys/stat.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "common/product.h"
#include "ipp/connections.h"
#include "ipp/machine.h"
#include "ipp/media_names.h"
#include "ipp/printer_store.h"
#include "ipp/serve/serve.h"
#include "ipp/served_printers.h"
#include "tools/embedded.h"
#include "tools/numbers.h"
#include "tools/state.h"
#include "winsim/machine.h"

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
  int64_t v = 0;
  if (!lbl::ParseWhole(text, lo, hi, &v)) return false;
  *out = long(v);
  return true;
}

std::string SelfPath() {
  char self[PATH_MAX];
  const ssize_t n = ::readlink("/proc/self/exe", self, sizeof self - 1);
  if (n <= 0) return "lbl-serve";
  self[n] = 0;
  return self;
}

// A printers.json of the earlier layout: lbl moves its printers onto the machine (and renames it).
void MoveLegacyPrinters(const ServeConfig& config) {
  std::error_code ec;
  if (!std::filesystem::exists(config.stateDir + "/printers.json", ec)) return;
  const std::string command = "'" + config.lblProgram + "' --state '" + config.stateDir + "' printer list >/dev/null";
  if (config.lblProgram.find('\'') != std::string::npos || config.stateDir.find('\'') != std::string::npos ||
      std::system(command.c_str()) != 0)
    std::fprintf(stderr, "lbl: the printers of %s/printers.json could not be moved onto the machine\n", config.stateDir.c_str());
}

bool IsLoopback(const std::string& listen) {
  return listen == "localhost" || listen == "127.0.0.1" || listen == "::1" || listen == "[::1]";
}

// The state file as last seen: a change of any of these is a new state to load.
struct Stamp {
  bool exists = false;
  long long mtime = 0;
  long long size = 0;
  unsigned long long inode = 0;
  bool operator==(const Stamp&) const = default;
};

Stamp StampOf(const std::string& path) {
  Stamp s;
  struct stat st{};
  if (stat(path.c_str(), &st) != 0) return s;
  s.exists = true;
  s.mtime = st.st_mtim.tv_sec * 1000000000LL + st.st_mtim.tv_nsec;
  s.size = st.st_size;
  s.inode = st.st_ino;
  return s;
}

// The state's machine as bytes: the file (replaced whole by every save, so it is read without the
// lock), or a freshly installed machine when there is none yet.
bool ReadState(const std::string& path, std::vector<uint8_t>* out, std::string* error) {
  std::ifstream in(path, std::ios::binary);
  if (in) {
    out->assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    if (in.bad()) {
      *error = "cannot read the state file " + path;
      return false;
    }
    return true;
  }
  std::lock_guard<std::mutex> lock(lblipp::MachineMutex());
  if (!lbl::BuildFreshMachine(error)) return false;
  *out = winsim::SaveMachine();
  return true;
}

// The printers of the machine that have a device, with their facts.
bool PlansOf(const std::vector<uint8_t>& state, const std::string& path, std::map<std::string, PrinterPlan>* out,
             std::string* error) {
  std::lock_guard<std::mutex> lock(lblipp::MachineMutex());
  std::string why;
  if (!winsim::LoadMachine(state, &why)) {
    *error = "the state file " + path + " is " + why;
    return false;
  }
  std::vector<lblipp::ServedPrinter> served;
  if (!lblipp::ListServedPrinters(&served, error)) return false;
  out->clear();
  for (const lblipp::ServedPrinter& p : served) {
    std::string problem;
    if (!lblipp::CheckPrinterName(p.name, &problem) || !lblipp::CheckDeviceUri(p.deviceUri, &problem)) {
      std::fprintf(stderr, "lbl: the printer \"%s\" is not served: %s\n", p.name.c_str(), problem.c_str());
      continue;
    }
    // The facts ListServedPrinters read, and the language it chose from them.
    lblipp::NameStocks(p.facts.get());
    PrinterPlan plan;
    plan.name = p.name;
    plan.deviceUri = p.deviceUri;
    plan.port = p.port;
    plan.id = p.id;
    plan.language = p.printLanguage;
    plan.facts = p.facts;
    (*out)[p.name] = std::move(plan);
  }
  return true;
}

// The system's printers by name.
std::map<std::string, pappl_printer_t*> PrintersOf(pappl_system_t* system) {
  std::map<std::string, pappl_printer_t*> out;
  papplSystemIteratePrinters(
      system,
      [](pappl_printer_t* p, void* d) {
        try {
          (*static_cast<std::map<std::string, pappl_printer_t*>*>(d))[papplPrinterGetName(p)] = p;
        } catch (...) {
        }
      },
      &out);
  return out;
}

// The server follows the state folder's machine: printers that got a device are created, those that
// lost it (or are gone) deleted, and new stocks or default settings taken into those it has.
//
// PAPPL frees a printer it deletes at once, even while a job thread of it still runs: a printer with a
// job is first retired (it takes no jobs, its jobs are cancelled) and deleted once it has been idle
// for a whole round; one of the same name set up anew is created after that.
//
// A client's request also goes on using the printer it found, unlocked, until it is answered: the
// deletion waits for a moment when no client may be in a request, that is no connection is waiting
// to be accepted or has carried data within kQuietMs (a connection kept open between requests does
// not hold it up). Clients that never fall quiet delay it by kMaxDeleteWaits rounds at most. This
// narrows the race but cannot close it (PAPPL 1.3 has no hold on a printer): a client that connects
// between the look at the connections and the deletion may still find the printer.
struct MachineWatch {
  static constexpr int kMaxDeleteWaits = 30;
  static constexpr int kQuietMs = 2000;
  pappl_system_t* system = nullptr;
  std::string listen;  // the address listened on (a path: a unix socket)
  int port = 0;
  bool connectionsUnknown = false;  // said once in the log
  bool dnssd = false;
  bool first = true;
  Stamp seen;
  std::map<std::string, PrinterPlan> plans;
  struct Retiring {
    pappl_printer_t* printer;
    bool idleBefore = false;  // idle in the round before
    int waits = 0;            // rounds it waited for the clients to fall quiet
  };
  std::map<std::string, Retiring> retiring;  // by name, which is unique among a system's printers
  std::set<std::string> toCreate;

  void Sync() {
    Reload();
    Retire();
    for (auto it = toCreate.begin(); it != toCreate.end();) {
      const auto plan = plans.find(*it);
      if (retiring.count(*it)) {
        ++it;
        continue;
      }
      if (plan != plans.end()) CreatePrinter(system, plan->second, dnssd);
      it = toCreate.erase(it);
    }
  }

  void Reload() {
    const std::string path = Config().stateDir + "/" + lbl::kStateFileName;
    const Stamp now = StampOf(path);
    if (!first && now == seen) return;
    first = false;
    seen = now;
    std::vector<uint8_t> state;
    std::map<std::string, PrinterPlan> next;
    std::string error;
    if (!ReadState(path, &state, &error) || !PlansOf(state, path, &next, &error)) {
      std::fprintf(stderr, "lbl: %s; the printers stay as they were\n", error.c_str());
      papplLog(system, PAPPL_LOGLEVEL_ERROR, "%s", error.c_str());
      return;
    }
    lblipp::SetMachineSnapshot(std::make_shared<const std::vector<uint8_t>>(std::move(state)));
    const std::map<std::string, pappl_printer_t*> have = PrintersOf(system);
    toCreate.clear();
    for (const auto& [name, printer] : have) {
      const auto plan = next.find(name);
      if (retiring.count(name)) {
        if (plan != next.end()) toCreate.insert(name);
        continue;
      }
      const auto ctx = ContextOf(printer);
      // One added in the web interface that the machine could not take (a name with a space) serves
      // on as it is until the server stops, as its log said; other changes leave it alone.
      if (plan == next.end() && ctx && !ctx->ownsDevice) continue;
      const bool same = plan != next.end() && ctx && ctx->ownsDevice && ctx->deviceUri == plan->second.deviceUri &&
                        ctx->language == plan->second.language && ctx->port == plan->second.port &&
                        papplPrinterGetID(printer) == plan->second.id &&
                        ctx->Facts()->driver == plan->second.facts->driver;
      if (same) {
        if (!(*ctx->Facts() == *plan->second.facts)) UpdatePrinter(printer, plan->second);
        continue;
      }
      papplLog(system, PAPPL_LOGLEVEL_INFO, "Printer '%s' %s.", name.c_str(),
               plan == next.end() ? "was removed" : "is set up anew from the machine");
      MarkDeletedForMachine(printer);
      papplPrinterDisable(printer);
      papplPrinterCancelAllJobs(printer);
      retiring[name] = Retiring{printer};
      if (plan != next.end()) toCreate.insert(name);
    }
    for (const auto& [name, plan] : next)
      if (!have.count(name)) toCreate.insert(name);
    plans = std::move(next);
  }

  // Deletes the retiring printers that were idle in this round and the one before.
  void Retire() {
    const std::map<std::string, pappl_printer_t*> have = PrintersOf(system);
    for (auto it = retiring.begin(); it != retiring.end();) {
      Retiring& r = it->second;
      const auto found = have.find(it->first);
      if (found == have.end() || found->second != r.printer) {  // deleted by a client meanwhile
        it = retiring.erase(it);
        continue;
      }
      const bool idle =
          papplPrinterGetState(r.printer) != IPP_PSTATE_PROCESSING && papplPrinterGetNumberOfActiveJobs(r.printer) == 0;
      if (!idle || !r.idleBefore) {
        r.idleBefore = idle;
        ++it;
        continue;
      }
      const int busy = lblipp::BusyConnections(listen, port, kQuietMs);
      if (busy < 0 && !connectionsUnknown) {
        connectionsUnknown = true;
        papplLog(system, PAPPL_LOGLEVEL_WARN,
                 "The server's connections cannot be read; printers are deleted without waiting for requests in progress.");
      }
      if (busy > 0 && ++r.waits < kMaxDeleteWaits) {
        ++it;
        continue;
      }
      if (busy > 0)
        papplLog(system, PAPPL_LOGLEVEL_WARN, "Printer '%s' is deleted while clients keep talking to the server.",
                 it->first.c_str());
      papplPrinterDelete(r.printer);
      it = retiring.erase(it);
    }
  }
};

// A crash of the server leaves its stack on stderr, for the log of whoever runs it (the sanitizers
// report their own).
void ReportCrash(int sig) {
  static const char head[] = "lbl-serve: crashed; its stack:\n";
  void* frames[64];
  const int n = backtrace(frames, 64);
  (void)!write(STDERR_FILENO, head, sizeof head - 1);
  backtrace_symbols_fd(frames, n, STDERR_FILENO);
  signal(sig, SIG_DFL);
  raise(sig);
}

}  // namespace

const ServeConfig& Config() { return g_config; }
void SetConfig(const ServeConfig& config) { g_config = config; }

// The USB printers connected now, with the model each names (lbl serve --devices).
int ListDevices() {
  papplDeviceList(
      PAPPL_DEVTYPE_USB,
      [](const char* info, const char* uri, const char* id, void*) {
        try {
          const std::string driver = DriverForDeviceId(id);
          std::printf("%s\t%s\t%s\n", uri, driver.empty() ? "(no model of the catalogue)" : driver.c_str(),
                      info ? info : "");
        } catch (...) {
        }
        return false;
      },
      nullptr, nullptr, nullptr);
  return 0;
}

int Main(int argc, char** argv) {
  if (argc == 2 && std::string(argv[1]) == "--devices") return ListDevices();
  Args args;
  ServeConfig config;
  config.stateDir = lbl::StateFolder();
  // lbl is beside lbl-serve in the build, in bin/ above lib/lbl when installed.
  const std::filesystem::path here = std::filesystem::path(SelfPath()).parent_path();
  config.lblProgram = (here / "lbl").string();
  if (::access(config.lblProgram.c_str(), X_OK) != 0) config.lblProgram = (here / ".." / ".." / "bin" / "lbl").string();
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
#if !defined(__SANITIZE_ADDRESS__) && !defined(__SANITIZE_THREAD__)
  {
    void* frame[1];
    backtrace(frame, 1);  // its first call loads the unwinder (and allocates): not in the handler
  }
  for (int sig : {SIGSEGV, SIGBUS, SIGABRT, SIGFPE, SIGILL}) signal(sig, ReportCrash);
#endif

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
  RegisterSchemes();
  RegisterDrivers(system);
  RegisterFilters(system);
  MoveLegacyPrinters(config);
  static MachineWatch watch;
  watch.system = system;
  watch.listen = args.listen;
  watch.port = args.port;
  watch.dnssd = args.dnssd;
  // Printers are created and deleted outside PAPPL's own timers, which run with the system locked,
  // and only once the system runs: starting it makes every printer's attributes anew, which would
  // drop what SetUpSupplies adds.
  std::atomic<bool> running{true};
  std::thread watcher([&] {
    while (running && !papplSystemIsRunning(system)) std::this_thread::sleep_for(std::chrono::milliseconds(10));
    while (running) {
      if (papplSystemIsRunning(system)) {
        try {
          watch.Sync();
        } catch (const std::exception& e) {
          papplLog(system, PAPPL_LOGLEVEL_ERROR, "Following the machine: %s", e.what());
        }
      }
      for (int i = 0; i < 10 && running; ++i) std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
  });
  if (!args.dnssd) papplSystemSetDNSSDName(system, nullptr);
  std::fprintf(stderr, "lbl: serving on http://%s:%d/ (state in %s)\n", args.listen.c_str(), args.port,
               config.stateDir.c_str());
  papplSystemRun(system);
  running = false;
  watcher.join();
  ShuttingDown();
  papplSystemDelete(system);
  return 0;
}

}  // namespace lblserve

#if defined(__SANITIZE_ADDRESS__)
// PAPPL 1.3 leaves some of its own allocations behind when the system is deleted (the footer, job
// file names, the devices of its printers).
extern "C" const char* __lsan_default_suppressions() { return "leak:libpappl.so\n"; }
#endif

#if defined(__SANITIZE_THREAD__)
// PAPPL's own doings, of a library that is not instrumented: it takes its system and printer locks
// (both for reading, and readers do not block each other) in either order when a printer is created
// while a request is served, at its end closes its log while threads it never joins had used it, and
// papplJobSetMessage replaces a job's message while a client's request reads it.
extern "C" const char* __tsan_default_suppressions() {
  return "deadlock:_papplSystemFindMIMEFilter\nrace:papplSystemDelete\nrace:papplJobSetMessage\n";
}
#endif

int main(int argc, char** argv) { return lblserve::Main(argc, argv); }
