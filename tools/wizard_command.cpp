#include "tools/wizard_command.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "common/wstr.h"
#include "installer/resource.h"
#include "installer/wizard.h"
#include "tools/embedded.h"
#include "tools/exit_status.h"
#include "tools/numbers.h"
#include "tools/state.h"
#include "tools/install_commands.h"
#include "tools/ui_language.h"
#include "winsim/clock.h"
#include "winsim/devices.h"
#include "winsim/machine.h"
#include "winsim/network.h"
#include "winsim/spooler.h"
#include "winsim/ui.h"

namespace lbl {

namespace {

namespace ui = winsim::ui;

// Moves the virtual clock while something waits on it, until done() or 30 s of real time.
template <class Done>
bool RunClockUntil(HWND sheet, Done done) {
  const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(30);
  while (std::chrono::steady_clock::now() < end) {
    ui::Settle(sheet);
    if (done()) return true;
    if (winsim::ThreadsWaitingOnClock()) winsim::AdvanceClock(100);
    else std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  return false;
}

struct Session {
  Wizard* w = nullptr;
  HWND sheet = nullptr;
  std::unique_ptr<ui::UiThread> thread;
  std::string pngDir;  // a picture of the sheet after each step when set
  int shots = 0;

  WORD Current() const {
    HWND page = ui::CurrentPage(sheet);
    for (WORD id : ui::PageIds(sheet))
      if (ui::Page(sheet, id) == page) return id;
    return 0;
  }
  HWND P(WORD id) const { return ui::Page(sheet, id); }
  bool Open() const { return thread && !thread->Done(); }
};

const char* PageName(WORD id) {
  switch (id) {
    case IDD_AGREEMENT: return "agreement";
    case IDD_MODE: return "mode";
    case IDD_INSTALL: return "install";
    case IDD_UPGRADE: return "upgrade";
    case IDD_UNINSTALL: return "uninstall";
    case IDD_RESULT: return "result";
    default: return "?";
  }
}

std::string Buttons(HWND sheet) {
  std::string s;
  auto add = [&s](const char* t) { s += s.empty() ? t : std::string(",") + t; };
  if (ui::Enabled(sheet, 0x3023)) add("back");
  if (ui::Visible(sheet, 0x3024) && ui::Enabled(sheet, 0x3024)) add("next");
  if (ui::Visible(sheet, 0x3025)) add(ui::Enabled(sheet, 0x3025) ? "finish" : "finish(disabled)");
  return s.empty() ? "none" : s;
}

// Prints the page and its buttons; with --png also writes the sheet as "NN-PAGE.png". False when the
// picture could not be written.
bool PrintPage(Session& s, std::string* error) {
  if (!s.Open()) {
    std::printf("wizard closed\n");
    return true;
  }
  const char* name = PageName(s.Current());
  std::printf("page %s [%s]\n", name, Buttons(s.sheet).c_str());
  if (s.pngDir.empty()) return true;
  char file[32];
  std::snprintf(file, sizeof file, "%02d-%s.png", s.shots++, name);
  const std::string path = s.pngDir + "/" + file;
  if (ui::WriteWindowPng(s.sheet, path)) return true;
  *error = "cannot write " + path;
  return false;
}

int PortTypeButton(int type) {
  switch (type) {
    case kPortTypeUsb: return IDC_PORT_USB;
    case kPortTypeNet: return IDC_PORT_NET;
    case kPortTypeCom: return IDC_PORT_COM;
    case kPortTypeLpt: return IDC_PORT_LPT;
    case kPortTypeOther: return IDC_PORT_OTHERS;
    default: return 0;
  }
}

// One scripted action; false with `error` set when the wizard refused it, or with `malformed` set too when
// the action itself is wrong (a usage error).
bool Act(Session& s, const std::string& action, std::string* error, bool* malformed) {
  const size_t eq = action.find('=');
  const std::string key = action.substr(0, eq), value = eq == std::string::npos ? "" : action.substr(eq + 1);
  const WORD page = s.Current();
  bool ok = true;
  if (key == "answer") {
    const int answer = value == "yes" ? IDYES : value == "no" ? IDNO : value == "ok" ? IDOK : value == "cancel" ? IDCANCEL : 0;
    if (!answer) {
      *error = "answer takes yes, no, ok or cancel";
      *malformed = true;
      return false;
    }
    ui::QueueMessageBox(answer);
    return true;
  }
  if (!s.Open()) {
    *error = "the wizard has ended";
    return false;
  }
  if (key == "wait") {
    // Simulated time passes: timers and the discovery threads run, and the pages handle what they send.
    int64_t ms = 0;
    if (!ParseWhole(value, 0, 0x7FFFFFFF, &ms)) {
      *error = "wait takes a number of milliseconds";
      *malformed = true;
      return false;
    }
    const uint64_t until = winsim::ClockNow() + uint64_t(ms);
    while (winsim::ClockNow() < until) {
      ui::Settle(s.sheet);
      winsim::AdvanceClock(DWORD(std::min<uint64_t>(100, until - winsim::ClockNow())));
    }
    ui::Settle(s.sheet);
    return true;
  }
  std::string why;
  if (key == "next") {
    const size_t boxes = ui::MessageBoxes().size();
    ok = ui::Press(s.sheet, ui::Button::Next);
    // The install page stays when it refuses the choice, after telling the user why.
    if (ok && page == IDD_INSTALL && s.Current() == IDD_INSTALL) {
      ok = false;
      const auto shown = ui::MessageBoxes();
      if (shown.size() > boxes) why = ": " + WideToUtf8(shown.back().text);
    }
  }
  else if (key == "back") ok = ui::Press(s.sheet, ui::Button::Back);
  else if (key == "finish") ok = ui::Press(s.sheet, ui::Button::Finish);
  else if (key == "cancel") ok = ui::Press(s.sheet, ui::Button::Cancel);
  else if (key == "accept") ok = ui::Click(s.P(IDD_AGREEMENT), IDC_ACCEPT);
  else if (key == "mode") {
    const int id = value == "install" ? IDC_INSTALL_MODE : value == "upgrade" ? IDC_UPGRADE_MODE
                 : value == "uninstall" ? IDC_UNINSTALL_MODE : 0;
    if (!id) {
      *error = "mode takes install, upgrade or uninstall";
      *malformed = true;
      return false;
    }
    ok = ui::Click(s.P(IDD_MODE), id);
  } else if (key == "port-type") {
    int64_t type = 0;
    const int id = ParseWhole(value, 0, 255, &type) ? PortTypeButton(int(type)) : 0;
    if (!id) {
      *error = "port-type takes 1 (USB), 3 (NET/Wi-Fi), 2 (COM/BT), 6 (LPT) or 7 (Others)";
      *malformed = true;
      return false;
    }
    ok = ui::Click(s.P(IDD_INSTALL), id);
  } else if (key == "row" || key == "tick" || key == "untick") {
    int64_t n = 0;
    if (!ParseWhole(value, 0, 1 << 20, &n)) {
      *error = key + " takes a row number from 0";
      *malformed = true;
      return false;
    }
    const int row = int(n);
    if (page == IDD_UPGRADE) ok = ui::CheckRow(s.P(page), IDC_UPGRADE_LIST, row, key != "untick");
    else if (page == IDD_INSTALL || page == IDD_UNINSTALL) ok = ui::SelectRow(s.P(page), IDC_PORT_LIST, row);
    else ok = false;
  } else if (key == "model") {
    ok = ui::SelectText(s.P(IDD_INSTALL), IDC_MODEL_LIST, Utf8ToU16(value));
  } else if (key == "name") {
    ok = ui::Type(s.P(IDD_INSTALL), IDC_PRINTER_NAME, Utf8ToU16(value));
  } else if (key == "ip") {
    const size_t colon = value.find(':');
    ok = ui::SetIpAddress(s.P(IDD_INSTALL), IDC_IP_ADDRESS, Utf8ToU16(value.substr(0, colon)));
    if (ok && colon != std::string::npos) ok = ui::Type(s.P(IDD_INSTALL), IDC_TCP_PORT, Utf8ToU16(value.substr(colon + 1)));
  } else if (key == "check") {
    // Uninstall options: delete-port, remove-driver, remove-package (toggles the box).
    const int id = value == "delete-port" ? IDC_DELETE_PORT : value == "remove-driver" ? IDC_REMOVE_DRIVER
                 : value == "remove-package" ? IDC_REMOVE_PACKAGE : 0;
    ok = id && ui::Click(s.P(IDD_UNINSTALL), id);
  } else {
    *error = "unknown action '" + action + "'";
    *malformed = true;
    return false;
  }
  if (!ok) *error = "the wizard refused '" + action + "' on the " + PageName(page) + " page" + why;
  return ok;
}

struct Options {
  Setup setup;
  std::vector<std::string> actions, networkPrinters;
  std::string pngDir;
};

bool SetUpMachine(const Options& o, std::string* error) {
  if (!o.networkPrinters.empty()) winsim::AddNetworkAdapter({});
  for (const auto& spec : o.networkPrinters) {
    // Checked with the options.
    const size_t eq = spec.find('=');
    if (!winsim::AddNetworkPrinter(spec.substr(0, eq), spec.substr(eq + 1))) {
      *error = "cannot add the network printer " + spec;
      return false;
    }
  }
  Engine e;
  WStrCopy(e.installerDir, MAX_PATH, ToWString(kPackage).c_str());
  return ApplySetup(o.setup, e, error);
}

int RunWizard(const std::vector<std::string>& args) {
  Options o;
  std::string error;
  for (size_t i = 0; i < args.size(); ++i) {
    const std::string& a = args[i];
    if (TakeSetupOption(args, i, o.setup, &error)) {
      if (!error.empty()) return Usage(error);
      continue;
    }
    if (a == "--png") {
      if (i + 1 >= args.size()) return Usage("--png needs a folder");
      o.pngDir = args[++i];
      continue;
    }
    std::vector<std::string>* into = a == "--do" ? &o.actions : a == "--net-printer" ? &o.networkPrinters : nullptr;
    if (!into) return Usage("unknown option '" + a + "' (try 'lbl help wizard')");
    if (i + 1 >= args.size()) return Usage(a + " needs a value");
    into->push_back(args[++i]);
    if (const std::string& spec = into->back(); into == &o.networkPrinters) {
      const size_t eq = spec.find('=');
      if (eq == std::string::npos || !IsDottedIpv4(Utf8ToWide(spec.substr(0, eq)).c_str()))
        return Usage("--net-printer takes IP=MODEL, the IP in dotted form (A.B.C.D, each 0 to 255): " + spec);
    }
  }
  if (!o.pngDir.empty()) {
    std::error_code ec;
    std::filesystem::create_directories(o.pngDir, ec);
    if (ec) return Usage("cannot create " + o.pngDir + ": " + ec.message());
  }
  // The wizard runs on the machine of the state folder, which keeps what it installs or removes.
  if (!OpenState(&error)) return Fail(error);
  const std::vector<std::u16string> before = PrinterNames();
  winsim::UseVirtualClock();
  if (!PreparePackage(&error) || !SetUpMachine(o, &error)) return Fail(error);

  Session s;
  s.pngDir = o.pngDir;
  s.w = new Wizard;
  WizardStart(s.w, ToWString(kPackage).c_str());
  Wizard* w = s.w;
  s.thread = std::make_unique<ui::UiThread>([w] { return intptr_t(WizardRun(w)); });
  s.sheet = ui::FindSheet();
  int status = 0;
  if (!s.sheet) {
    error = "the wizard did not open";
    status = 1;
  }
  // Network printers answer discovery from their own threads: let the answers reach the install page.
  for (const auto& spec : o.networkPrinters) {
    const WString ip = Utf8ToWide(spec.substr(0, spec.find('=')));
    const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    auto listed = [&] {
      PortListsLock lock(&w->lists);
      return FindPort(w->lists.Network, ip.c_str()) != nullptr;
    };
    while (status == 0 && !listed() && std::chrono::steady_clock::now() < end)
      std::this_thread::sleep_for(std::chrono::milliseconds(5));
    if (s.sheet) ui::Settle(s.sheet);
  }
  if (status == 0 && !PrintPage(s, &error)) status = 1;
  bool installFailed = false;
  for (const std::string& action : o.actions) {
    if (status != 0) break;
    // A run the result page started goes on through the clock; the next action waits for its end.
    ui::QueueProcess();  // "rundll32 printui.dll" after an install: started, ends at once
    bool malformed = false;
    if (!Act(s, action, &error, &malformed)) {
      status = malformed ? 2 : 1;
      break;
    }
    std::printf("> %s\n", action.c_str());
    if (action.rfind("answer", 0) == 0) continue;
    if (s.Open() && s.Current() == IDD_RESULT) {
      RunClockUntil(s.sheet, [&] { return !w->busy; });
      if (!PrintPage(s, &error)) status = 1;
      std::printf("result log:\n%s\n", WideToUtf8(ui::Text(s.P(IDD_RESULT), IDC_RESULT_LOG)).c_str());
      if (w->state.mode == kModeInstall && w->runFailed) installFailed = true;
    } else if (!PrintPage(s, &error)) {
      status = 1;
    }
  }
  if (s.Open()) {
    RunClockUntil(s.sheet, [&] { return !w->busy; });
    ui::Press(s.sheet, ui::Button::Cancel);
  }
  s.thread->Join();
  WizardEnd(w);
  delete w;
  InitialiseAddedPrinters(before);
  for (const std::string& line : ui::Unexpected()) std::printf("unanswered: %s\n", line.c_str());
  std::printf("printers:");
  for (const auto& p : winsim::Printers()) std::printf(" \"%s\" (%s on %s)", WideToUtf8(p.name).c_str(), WideToUtf8(p.driver).c_str(), WideToUtf8(p.port).c_str());
  std::printf("\n");
  if (status == 2) return Usage(error);
  if (status == 0 && installFailed) {
    status = 1;
    error = "the printer was not installed (see the result log)";
  }
  if (status != 0) return Fail(error);
  return 0;
}

}  // namespace

CommandSpec WizardCommand() {
  return {"wizard",
          "runs the installer wizard with scripted actions",
          "wizard [--do ACTION]... [--installed MODEL,PRINTER,PORT]... [--usb-printer ID]... [--net-printer IP=MODEL]...\n"
          "       [--png DIR]",
          "Runs lblinst32's wizard on the machine with the package in C:\\pkg\\, carries out the\n"
          "actions in order as a user would, printing the page and its buttons after each one, and prints\n"
          "the result log, any system dialog nobody answered and the printers at the end. A run the result\n"
          "page starts is waited for (on the simulated clock) before the next action. With --png, a picture\n"
          "of the wizard after the start and after each action: DIR/00-install.png, DIR/01-PAGE.png, ...\n\n"
          "Actions: next, back, finish, cancel, accept (the agreement), mode=install|upgrade|uninstall,\n"
          "port-type=N (1 USB, 3 NET/Wi-Fi, 2 COM/BT, 6 LPT, 7 Others), row=N (select a port or printer;\n"
          "on the upgrade page: tick it), untick=N, model=TEXT, name=TEXT, ip=A.B.C.D[:PORT],\n"
          "check=delete-port|remove-driver|remove-package (toggles), answer=yes|no|ok|cancel (the next\n"
          "message box), wait=MS (let MS milliseconds of simulated time pass: timers run and network\n"
          "printers are discovered again).",
          {{"--do", "ACTION", "an action, in order (repeatable)"},
           {"--installed", "MODEL,PRINTER,PORT", "a printer of the package installed before the wizard starts"},
           {"--usb-printer", "ID", "attach a USB printer with this IEEE 1284 device ID"},
           {"--net-printer", "IP=MODEL", "a network printer answering discovery (e.g. 192.0.2.20=TW-JA)"},
           {"--png", "DIR", "write a picture of the wizard after the start and after each action into DIR"}},
          "0  every action was carried out\n1  the wizard refused an action or did not open, or an install failed\n"
          "2  usage error (also an unknown action)",
          "lbl wizard --do port-type=7 --do row=0 --do name=Labels --do answer=ok --do next --do finish\n"
          "lbl wizard --installed 'Tarnwell TW-JA,Shipping,FILE:' --do mode=uninstall --do next --do row=0 \\\n"
          "    --do answer=ok --do next",
          "",
          RunWizard};
}

}  // namespace lbl
