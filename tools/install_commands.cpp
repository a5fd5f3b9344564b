#include "tools/install_commands.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <set>
#include <string>
#include <vector>

#include "common/wstr.h"
#include "installer/engine.h"
#include "installer/model.h"
#include "tools/embedded.h"
#include "tools/exit_status.h"
#include "tools/numbers.h"
#include "tools/state.h"
#include "tools/ui_language.h"
#include "tools/json_out.h"
#include "winsim/clock.h"
#include "winsim/devices.h"
#include "winsim/machine.h"
#include "winsim/spooler.h"

namespace lbl {

namespace {

// What a run saw: the result log, the questions asked (answered by --yes/--no) and the programs started.
struct Run {
  std::string log;
  std::vector<unsigned> questions;
  std::vector<std::string> commands;
  int answer = IDNO;
};

void MakeEngine(Engine& e, Run& run) {
  WStrCopy(e.installerDir, MAX_PATH, ToWString(kPackage).c_str());
  e.host.appendLog = [&run](const WCHAR* line) { run.log += WideToUtf8(line); };
  e.host.ask = [&run](UINT text, UINT, UINT type) {
    run.questions.push_back(text);
    return type == MB_OK ? IDOK : run.answer;
  };
  e.host.startProcess = [&run](const WCHAR* cmd) {
    run.commands.push_back(WideToUtf8(cmd));
    return true;
  };
  // The USB printer list and the local port list as discovery would fill them from this machine.
  e.host.usbHardwareId = [](const WCHAR* port, WCHAR* out, size_t cap) {
    auto dev = winsim::UsbPrinterOnPort(reinterpret_cast<const char16_t*>(Utf8ToWide(WideToUtf8(port)).c_str()));
    if (!dev) return false;
    return WStrCopy(out, cap, Utf8ToWide(winsim::UsbPrintHardwareId(dev->deviceId)).c_str());
  };
  e.host.localPortListed = [](const WCHAR* port) {
    for (const auto& p : winsim::TcpIpPorts())
      if (WStrEqNoCase(reinterpret_cast<const WCHAR*>(p.name.c_str()), port)) return true;
    return false;
  };
}

void WriteMachine(JsonOut& j, const Run& run) {
  j.Str("Log", run.log);
  j.BeginArray("Questions");
  for (unsigned q : run.questions) j.W().Uint(q);
  j.EndArray();
  j.BeginArray("Commands");
  for (const auto& c : run.commands) j.W().String(c.c_str());
  j.EndArray();
  j.ObjectArray("Printers", winsim::Printers(), [&j](const auto& p) {
    j.Str("Name", WideToUtf8(p.name));
    j.Str("Port", WideToUtf8(p.port));
    j.Str("Driver", WideToUtf8(p.driver));
  });
  j.Str("DefaultPrinter", WideToUtf8(winsim::DefaultPrinter()));
  j.ObjectArray("Drivers", winsim::Drivers(), [&j](const auto& d) {
    j.Str("Name", WideToUtf8(d.name));
    j.Str("Environment", WideToUtf8(d.environment));
    j.Str("MonitorName", WideToUtf8(d.monitorName));
    j.Str("HardwareId", WideToUtf8(d.hardwareId));
  });
  j.ObjectArray("TcpIpPorts", winsim::TcpIpPorts(), [&j](const auto& p) {
    j.Str("Name", WideToUtf8(p.name));
    j.Str("HostAddress", WideToUtf8(p.hostAddress));
    j.Uint("PortNumber", p.portNumber);
  });
  j.BeginArray("DriverPackages");
  for (const auto& p : winsim::DriverPackages()) j.W().String(WideToUtf8(p.oemInf).c_str());
  j.EndArray();
  j.BeginArray("PendingDeletions");
  for (const auto& p : winsim::PendingFileOperations()) j.W().String(WideToUtf8(p.from).c_str());
  j.EndArray();
}

// The engine runs on the machine of the state folder, which keeps what it did.
bool Start(std::string* error) {
  if (!OpenState(error)) return false;
  lbl::AddInstallerResources();
  winsim::UseVirtualClock();
  return PreparePackage(error);
}

// The system's text for an error, without its line end.
std::string SystemMessage(DWORD error) {
  WCHAR text[256] = {};
  if (!FormatMessageW(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, error, 0, text, 256, nullptr))
    return "error " + std::to_string(error);
  std::string s = WideToUtf8(text);
  while (!s.empty() && (s.back() == '\n' || s.back() == '\r' || s.back() == ' ')) s.pop_back();
  return s;
}

// The record of an install of `model` as `printer` on `port`, a port without an address of its own.
InstallRecord InstallRecordFor(const std::string& model, const std::string& printer, const std::string& port) {
  InstallRecord r{};
  WStrCopy(r.model, 260, Utf8ToWide(model).c_str());
  WStrCopy(r.printerName, 260, Utf8ToWide(printer).c_str());
  WStrCopy(r.portName, 260, Utf8ToWide(port).c_str());
  r.portType = port.rfind("USB", 0) == 0 ? kPortTypeUsb : kPortTypeOther;
  return r;
}

// The record of the printer as the uninstall list fills it: printer, model (its driver) and port.
InstallRecord UninstallRecordFor(const std::string& printer) {
  InstallRecord r{};
  WStrCopy(r.printerName, 260, Utf8ToWide(printer).c_str());
  for (const auto& p : winsim::Printers()) {
    if (WStrEqNoCase(reinterpret_cast<const WCHAR*>(p.name.c_str()), r.printerName)) {
      WStrCopy(r.model, 260, reinterpret_cast<const WCHAR*>(p.driver.c_str()));
      WStrCopy(r.portName, 260, reinterpret_cast<const WCHAR*>(p.port.c_str()));
    }
  }
  return r;
}

std::string ModelNames() {
  std::string names;
  for (const ModelTableRow* m = kModelTable; m->model[0]; ++m)
    names += std::string(names.empty() ? "" : ", ") + m->vendor + " " + m->model;
  return names;
}

int RunInstall(const std::vector<std::string>& args) {
  std::string model, port, ip, printer, error;
  DWORD tcpPort = 9100;
  bool setDefault = false, printerGiven = false, tcpPortGiven = false;
  Setup setup;
  for (size_t i = 0; i < args.size(); ++i) {
    const std::string& a = args[i];
    if (TakeSetupOption(args, i, setup, &error)) {
      if (!error.empty()) return Usage(error);
      continue;
    }
    auto value = [&](std::string* out) {
      if (i + 1 >= args.size()) return false;
      *out = args[++i];
      return true;
    };
    std::string n;
    if (a == "--model") { if (!value(&model)) return Usage("--model needs a value"); }
    else if (a == "--port") { if (!value(&port)) return Usage("--port needs a value"); }
    else if (a == "--printer") {
      if (!value(&printer)) return Usage("--printer needs a value");
      printerGiven = true;
    }
    else if (a == "--ip") { if (!value(&ip)) return Usage("--ip needs a value"); }
    else if (a == "--tcp-port") {
      if (!value(&n)) return Usage("--tcp-port needs a value");
      if (!OptionWholeInto(a, n, 1, 65535, &tcpPort, &error, "a TCP port")) return Usage(error);
      tcpPortGiven = true;
    } else if (a == "--default") setDefault = true;
    else return Usage("unknown option " + a);
  }
  if (model.empty() || port.empty()) return Usage("install needs --model and --port");
  if (!FindModel(Utf8ToWide(model).c_str()))
    return Usage("the package has no driver for \"" + model + "\"; its models: " + ModelNames());
  if (!ip.empty() && !IsDottedIpv4(Utf8ToWide(ip).c_str()))
    return Usage("--ip takes an IPv4 address in dotted form (A.B.C.D, each 0 to 255): " + ip);
  if (tcpPortGiven && ip.empty()) return Usage("--tcp-port needs --ip (the port's address)");
  // An empty name given is the user's choice, and the engine refuses it; only a name not given is the model's.
  if (!printerGiven) printer = model;
  if (!Start(&error)) return Fail(error);
  const std::vector<std::u16string> before = PrinterNames();
  Run run;
  Engine e;
  MakeEngine(e, run);
  e.setDefault = setDefault;
  if (!ApplySetup(setup, e, &error)) return Fail(error);
  InstallRecord r = InstallRecordFor(model, printer, port);
  // Without an address a standard TCP/IP port that is there is used as it is.
  if (!ip.empty()) {
    r.portType = kPortTypeTcpIp;
    WStrCopy(r.ipAddress, 20, Utf8ToWide(ip).c_str());
    r.tcpPort = tcpPort;
  }
  bool ok = false;
  DWORD failure = 0;
  winsim::RunOnClockedThread([&] { ok = InstallRun(e, r, &failure); });
  InitialiseAddedPrinters(before);
  JsonOut j;
  j.Bool("Installed", ok);
  j.Str("HardwareId", WideToUtf8(r.hardwareId));
  WriteMachine(j, run);
  return j.Emit(ok ? "" : "the printer was not installed: " + SystemMessage(failure));
}

int RunUninstall(const std::vector<std::string>& args) {
  std::vector<std::string> printers;
  std::string error;
  Setup setup;
  Run run;
  Engine e;
  for (size_t i = 0; i < args.size(); ++i) {
    const std::string& a = args[i];
    if (TakeSetupOption(args, i, setup, &error)) {
      if (!error.empty()) return Usage(error);
      continue;
    }
    if (a == "--delete-port") e.deletePort = true;
    else if (a == "--remove-driver") e.removeDriver = true;
    else if (a == "--remove-package") e.removePackage = true;
    else if (a == "--yes") run.answer = IDYES;
    else if (a.rfind("--", 0) == 0) return Usage("unknown option " + a);
    else printers.push_back(a);
  }
  if (printers.empty()) return Usage("uninstall needs at least one PRINTER");
  if (!Start(&error)) return Fail(error);
  const std::vector<std::u16string> before = PrinterNames();
  MakeEngine(e, run);
  if (!ApplySetup(setup, e, &error)) return Fail(error);
  InitialiseAddedPrinters(before);
  std::vector<InstallRecord> records;
  for (const auto& name : printers) records.push_back(UninstallRecordFor(name));
  bool ok = false;
  winsim::RunOnClockedThread([&] { ok = UninstallRun(e, records.data(), records.size()); });
  JsonOut j;
  j.Bool("Uninstalled", ok);
  j.Bool("RebootPending", RebootPending());
  WriteMachine(j, run);
  return j.Emit(ok ? "" : "a removal step failed (see the log)");
}

const char* const kStatus = "0  success\n1  the operation failed (message on stderr)\n2  usage error";

}  // namespace

const char16_t kPackage[] = u"C:\\pkg\\";

bool InstallOnMachine(const std::string& model, const std::string& printer, const std::string& port, std::string* error,
                      std::string* log) {
  if (!Start(error)) return false;
  const std::vector<std::u16string> before = PrinterNames();
  if (!FindModel(Utf8ToWide(model).c_str())) {
    // A model the package does not carry: the catalogue's driver as the embedded printer has it, and
    // the printer added as Windows' Add Printer adds one for a driver that is there.
    bool have = false;
    for (const auto& d : winsim::Drivers()) have = have || WideToUtf8(d.name) == model;
    if (!have && !AddCatalogueDriver(model, error)) return false;
    WString name = Utf8ToWide(printer), portName = Utf8ToWide(port), driver = Utf8ToWide(model);
    PRINTER_INFO_2W info{};
    info.pPrinterName = name.data();
    info.pPortName = portName.data();
    info.pDriverName = driver.data();
    info.pPrintProcessor = const_cast<LPWSTR>(TEXT("winprint"));
    info.pDatatype = const_cast<LPWSTR>(TEXT("RAW"));
    HANDLE added = AddPrinterW(nullptr, 2, reinterpret_cast<LPBYTE>(&info));
    if (!added) {
      *error = "the printer was not installed: " + SystemMessage(GetLastError());
      return false;
    }
    ClosePrinter(added);
    InitialiseAddedPrinters(before);
    if (log) log->clear();
    return true;
  }
  Run run;
  Engine e;
  MakeEngine(e, run);
  e.host.startProcess = nullptr;  // no printer properties window
  InstallRecord r = InstallRecordFor(model, printer, port);
  bool ok = false;
  DWORD failure = 0;
  winsim::RunOnClockedThread([&] { ok = InstallRun(e, r, &failure); });
  InitialiseAddedPrinters(before);
  if (log) *log = run.log;
  if (!ok) *error = "the printer was not installed: " + SystemMessage(failure);
  return ok;
}

bool UninstallFromMachine(const std::string& printer, std::string* error) {
  if (!Start(error)) return false;
  Run run;
  Engine e;
  MakeEngine(e, run);
  InstallRecord r = UninstallRecordFor(printer);
  winsim::RunOnClockedThread([&] { UninstallRun(e, &r, 1); });
  for (const auto& p : winsim::Printers())
    if (WStrEqNoCase(reinterpret_cast<const WCHAR*>(p.name.c_str()), r.printerName)) {
      *error = "the printer \"" + printer + "\" was not removed: " + run.log;
      return false;
    }
  return true;
}

bool PreparePackage(std::string* error) {
  const std::string infFile = DataFile("lblv6.inf", LBL_INF_BUILD);
  std::ifstream in(infFile, std::ios::binary);
  std::string inf((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  if (inf.empty()) {
    *error = "cannot read the package INF " + infFile;
    return false;
  }
  const std::u16string root = kPackage;
  bool ok = winsim::WriteHostFile(root + u"lblv6.inf", inf.data(), inf.size());
  for (const char16_t* arch : {u"amd64", u"i386"})
    for (const char16_t* f : {u"lbldrv6.dll", u"lbldrv6ui.dll", u"lblmon.dll"})
      ok = ok && winsim::WriteHostFile(root + arch + u"\\" + f, "MZ", 2);
  // The real data file, so that an installed printer can be used: the DLLs are found by name.
  const std::string datFile = DataFile("lbldrv6.dat", LBL_DATFILE_BUILD);
  std::ifstream datIn(datFile, std::ios::binary);
  const std::string dat((std::istreambuf_iterator<char>(datIn)), std::istreambuf_iterator<char>());
  if (dat.empty()) {
    *error = "cannot read the driver data file " + datFile;
    return false;
  }
  ok = ok && winsim::WriteHostFile(root + u"dat\\lbldrv6.dat", dat.data(), dat.size());
  if (!ok) *error = "cannot write the package folder";
  return ok;
}

bool TakeSetupOption(const std::vector<std::string>& args, size_t& i, Setup& s, std::string* error) {
  const std::string& a = args[i];
  if (a != "--usb-printer" && a != "--installed") return false;
  if (i + 1 >= args.size()) {
    *error = a + " needs a value";
    return true;
  }
  (a == "--usb-printer" ? s.usbPrinters : s.installed).push_back(args[++i]);
  return true;
}

std::u16string UsbDescriptionFromDeviceId(const std::string& id) {
  auto field = [&id](const char* key) {
    // Keys start the text or follow a ';'.
    for (size_t at = id.find(key); at != std::string::npos; at = id.find(key, at + 1)) {
      if (at != 0 && id[at - 1] != ';') continue;
      const size_t from = at + std::strlen(key), end = id.find(';', from);
      return id.substr(from, end == std::string::npos ? std::string::npos : end - from);
    }
    return std::string();
  };
  return Utf8ToU16(field("MFG:") + field("MDL:"));
}

std::shared_ptr<winsim::UsbPrinterDevice> PlugUsbPrinter(const std::string& deviceId, std::string* error) {
  std::set<DWORD> ports;
  std::set<std::u16string> paths;
  for (const auto& d : winsim::UsbPrinters()) {
    ports.insert(d->portNumber);
    paths.insert(d->InterfacePath());
  }
  auto dev = std::make_shared<winsim::UsbPrinterDevice>();
  dev->deviceId = deviceId;
  dev->portDescription = UsbDescriptionFromDeviceId(deviceId);  // what the printer reports, as USB printing stores it
  for (DWORD port = 1; port <= 999; ++port) {
    char serial[16];
    std::snprintf(serial, sizeof serial, "TW%07u", unsigned(port));
    dev->portNumber = port;
    dev->serial = serial;
    if (ports.count(port) || paths.count(dev->InterfacePath())) continue;
    if (winsim::AttachUsbPrinter(dev)) return dev;
    break;
  }
  *error = "cannot attach the USB printer " + deviceId;
  return nullptr;
}

bool ApplySetup(const Setup& s, Engine& e, std::string* error) {
  // The machine keeps the printers an earlier command plugged in: one with the same device ID is that
  // printer (plugged in again); a new one takes the first free port.
  std::vector<std::shared_ptr<winsim::UsbPrinterDevice>> earlier = winsim::UsbPrinters();
  for (const auto& id : s.usbPrinters) {
    const auto same = std::find_if(earlier.begin(), earlier.end(), [&id](const auto& d) { return d->deviceId == id; });
    if (same != earlier.end()) {
      (*same)->present = true;
      earlier.erase(same);
      continue;
    }
    if (!PlugUsbPrinter(id, error)) return false;
  }
  for (const auto& spec : s.installed) {
    size_t c1 = spec.find(','), c2 = c1 == std::string::npos ? c1 : spec.find(',', c1 + 1);
    if (c2 == std::string::npos) {
      *error = "--installed takes MODEL,PRINTER,PORT: " + spec;
      return false;
    }
    InstallRecord r{};
    WStrCopy(r.model, 260, Utf8ToWide(spec.substr(0, c1)).c_str());
    WStrCopy(r.printerName, 260, Utf8ToWide(spec.substr(c1 + 1, c2 - c1 - 1)).c_str());
    WStrCopy(r.portName, 260, Utf8ToWide(spec.substr(c2 + 1)).c_str());
    r.portType = kPortTypeOther;
    Engine quiet = e;
    quiet.host.appendLog = nullptr;
    quiet.host.startProcess = nullptr;
    quiet.setDefault = false;
    bool ok = false;
    winsim::RunOnClockedThread([&] { ok = InstallRun(quiet, r); });
    if (!ok) {
      *error = "cannot install " + spec;
      return false;
    }
  }
  return true;
}

CommandSpec InstallCommand() {
  return {"install",
          "install a printer with the install engine on the simulated machine",
          "install --model MODEL --port PORT [--printer NAME] [--ip ADDRESS --tcp-port N] [--default]",
          "Runs the installer's install mode on the machine with the driver package in C:\\pkg\n"
          "(the generated INF, stand-ins for the DLLs): files, language monitor, driver, a standard TCP/IP\n"
          "port when --ip is given, the printer. Prints the result log, the questions the engine asked, the\n"
          "programs it started and the machine's printers, drivers, ports and driver packages as JSON.",
          {{"--model", "MODEL", "driver name, e.g. \"Tarnwell TW-JA\"", "@models"},
           {"--port", "PORT", "port name: USB001, FILE:, LPT1:, COM1:, or a TCP/IP port name", "USB001 FILE: LPT1: COM1:"},
           {"--printer", "NAME", "printer name (default: the model; an empty one is refused)"},
           {"--ip", "ADDRESS", "IPv4 address of a standard TCP/IP port, dotted (makes PORT one)"},
           {"--tcp-port", "N", "the TCP port of --ip, 1 to 65535 (default 9100)"},
           {"--default", nullptr, "make the printer the default printer"},
           {"--usb-printer", "DEVICE-ID", "attach a USB printer first (repeatable; USB001, USB002, ...),\n"
                                          "e.g. \"MFG:Tarnwell;CMD:TWL;MDL:TW-JA;\""},
           {"--installed", "MODEL,PRINTER,PORT", "install this printer first, quietly (repeatable)"}},
          kStatus,
          "lbl install --model \"Tarnwell TW-JA\" --port IP_192.0.2.10 --ip 192.0.2.10 --default",
          "",
          RunInstall};
}

CommandSpec UninstallCommand() {
  return {"uninstall",
          "remove printers with the install engine on the simulated machine",
          "uninstall PRINTER... [--delete-port] [--remove-driver] [--remove-package] [--yes] [--installed M,P,PORT]",
          "Runs the installer's uninstall mode for the printers named, on the machine (after --installed\n"
          "and --usb-printer). Questions are answered No unless --yes is given. Prints the result log and\n"
          "the machine afterwards as JSON; a step that failed (a printer, port, driver or package that\n"
          "stayed) fails the command. A printer that is not there counts as removed.",
          {{"--delete-port", nullptr, "delete the printers' standard TCP/IP ports"},
           {"--remove-driver", nullptr, "remove the printers' drivers"},
           {"--remove-package", nullptr, "remove the driver package from the driver store"},
           {"--yes", nullptr, "answer Yes to the engine's questions (force removal, restart)"},
           {"--usb-printer", "DEVICE-ID", "attach a USB printer first (repeatable)"},
           {"--installed", "MODEL,PRINTER,PORT", "install this printer first, quietly (repeatable)"}},
          kStatus,
          "lbl uninstall Label --installed \"Tarnwell TW-JA,Label,FILE:\" --remove-driver --remove-package",
          "",
          RunUninstall};
}

}  // namespace lbl
