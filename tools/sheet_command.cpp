#include "tools/sheet_command.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <memory>
#include <thread>
#include <utility>

#include <compstui.h>
#include <winddiui.h>

#include "common/devmode.h"
#include "common/wstr.h"
#include "tools/embedded.h"
#include "tools/exit_status.h"
#include "tools/job_options.h"
#include "tools/json_out.h"
#include "tools/numbers.h"
#include "tools/settings_fields.h"
#include "tools/ui_commands.h"
#include "winsim/spooler.h"
#include "winsim/ui.h"

namespace lbl {

namespace ui = winsim::ui;

namespace {

enum class Shape { Id, IdValue, Value };

struct Verb {
  const char* name;
  Shape shape;
};

const Verb kVerbs[] = {
    {"page", Shape::Id},          {"dialog", Shape::Id},       {"click", Shape::Id},     {"focus", Shape::Id},
    {"type", Shape::IdValue},     {"select", Shape::IdValue},  {"choose", Shape::IdValue}, {"spin", Shape::IdValue},
    {"slide", Shape::IdValue},    {"row", Shape::IdValue},     {"check-row", Shape::IdValue},
    {"wait", Shape::Value},       {"answer", Shape::Value},    {"file", Shape::Value},   {"folder", Shape::Value},
    {"menu", Shape::Value},       {"press", Shape::Value},     {"snap", Shape::Value},
};

bool ParseInt(const std::string& s, long long lo, long long hi, long long* out) {
  int64_t v = 0;
  if (!ParseWhole(s, lo, hi, &v)) return false;
  *out = v;
  return true;
}

const std::map<std::string, int>& Answers() {
  static const std::map<std::string, int> answers = {{"ok", IDOK},       {"cancel", IDCANCEL}, {"yes", IDYES},
                                                     {"no", IDNO},       {"retry", IDRETRY},   {"abort", IDABORT},
                                                     {"ignore", IDIGNORE}};
  return answers;
}

std::string AnswerName(int answer) {
  for (const auto& [name, value] : Answers())
    if (value == answer) return name;
  return std::to_string(answer);
}

// A dialog a click opened: it runs its modal loop inside the click, on the page's thread, so the click
// returns only once the dialog closes.
struct ModalDialog {
  std::unique_ptr<ui::UiThread> click;
  HWND owner = nullptr, dialog = nullptr;
  WORD templateId = 0;
  // Ended dialogs no longer count, also while their click still finishes what follows them.
  bool Open() const { return !click->Done() && ui::OwnedDialog(owner) == dialog; }
};

// The open sheet and where the actions go: a page of it, or a dialog opened from a page.
struct Driver {
  HWND sheet = nullptr;
  WORD dialog = 0;
  std::string pngDir;
  bool closed = false;
  std::vector<ModalDialog> modal;
  std::vector<WORD> cancelled;  // dialogs left open at the end, closed with Cancel

  // The newest dialog a click opened that is still open, or null.
  const ModalDialog* OpenModal() const {
    for (auto it = modal.rbegin(); it != modal.rend(); ++it)
      if (it->Open()) return &*it;
    return nullptr;
  }

  // Clicks a button on its own thread and waits until the click is done or has opened a dialog.
  bool Click(HWND target, int id) {
    auto click = std::make_unique<ui::UiThread>([target, id] { return intptr_t(ui::Click(target, id)); });
    for (;;) {
      if (click->Done()) return click->Join() != 0;
      WORD templateId = 0;
      if (HWND d = ui::OwnedDialog(target, &templateId)) {
        ui::Settle(d);  // its opening steps done
        modal.push_back(ModalDialog{std::move(click), target, d, templateId});
        return true;
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
  }

  // Closes the dialogs left open, newest first, as Cancel (or Esc) would, and waits for their clicks.
  void CloseDialogs() {
    for (auto it = modal.rbegin(); it != modal.rend(); ++it) {
      if (it->Open()) {
        cancelled.push_back(it->templateId);
        PostMessageW(it->dialog, WM_CLOSE, 0, 0);
      }
      it->click->Join();
    }
    modal.clear();
  }

  HWND Target() {
    if (dialog) {
      if (HWND d = ui::FindDialog(dialog, 0)) return d;
      dialog = 0;  // the dialog closed itself (its OK or Cancel): back to the sheet
    }
    return ui::CurrentPage(sheet);
  }

  bool Snap(HWND h, const std::string& name, std::string* error) {
    if (pngDir.empty()) {
      *error = "snap needs --png DIR";
      return false;
    }
    const std::string path = pngDir + "/" + name + ".png";
    if (!ui::WriteWindowPng(h, path)) {
      *error = "cannot write " + path;
      return false;
    }
    return true;
  }

  // Runs one action; false with a message when the sheet refused it (a disabled or hidden control, no
  // such page, control or item).
  bool Run(const SheetAction& a, std::string* error) {
    if (closed) {
      *error = "the sheet is already closed";
      return false;
    }
    const std::string& v = a.verb;
    // While a dialog a page opened is up, the sheet and that page take no input (as on Windows, where
    // the dialog disables its owner): only the dialog and the scripted answers do.
    if (const ModalDialog* m = OpenModal()) {
      const bool scripted = v == "dialog" || v == "wait" || v == "answer" || v == "file" || v == "folder" || v == "menu";
      const bool onSheet = v == "page" || v == "press";
      if (!scripted && (onSheet || !dialog || !ui::FindDialog(dialog, 0)))
        return Fail(error, "dialog " + std::to_string(m->templateId) + " is open: act on it with dialog=" +
                               std::to_string(m->templateId));
    }
    if (v == "page") {
      if (!ui::SelectPage(sheet, WORD(a.id))) return Fail(error, "the sheet has no page " + std::to_string(a.id));
      dialog = 0;
      return true;
    }
    if (v == "dialog") {
      if (!ui::FindDialog(WORD(a.id), 2000)) return Fail(error, "no dialog " + std::to_string(a.id) + " is open");
      dialog = WORD(a.id);
      return true;
    }
    if (v == "wait") {
      ui::Advance(DWORD(std::stoul(a.value)));
      return true;
    }
    if (v == "answer") {
      ui::QueueMessageBox(Answers().at(a.value));
      return true;
    }
    if (v == "file") {
      ui::QueueFileName(Utf8ToU16(a.value));
      return true;
    }
    if (v == "folder") {
      ui::QueueFolder(Utf8ToU16(a.value));
      return true;
    }
    if (v == "menu") {
      ui::QueueMenuChoice(UINT(std::stoul(a.value)));
      return true;
    }
    if (v == "press") {
      static const std::map<std::string, ui::Button> buttons = {
          {"ok", ui::Button::Ok}, {"apply", ui::Button::Apply}, {"cancel", ui::Button::Cancel}};
      const ui::Button b = buttons.at(a.value);
      if (!ui::Press(sheet, b)) return Fail(error, "the " + a.value + " button is disabled");
      closed = b != ui::Button::Apply;
      return true;
    }
    HWND target = Target();
    if (!target) return Fail(error, "no page is shown");
    if (v == "snap") return Snap(target, a.value, error);
    if (!GetDlgItem(target, a.id)) return Fail(error, "no control " + std::to_string(a.id) + " here");
    bool ok = false;
    long long n = 0;
    if (v == "click") {
      ok = ui::Enabled(target, a.id) && ui::Visible(target, a.id) && Click(target, a.id);
    } else if (v == "focus") {
      ok = ui::Focus(target, a.id);
    } else if (v == "type") {
      ok = ui::Type(target, a.id, Utf8ToU16(a.value));
    } else if (v == "choose") {
      ok = ui::SelectText(target, a.id, Utf8ToU16(a.value));
    } else if (v == "check-row") {
      const size_t colon = a.value.find(':');
      long long row = 0, on = 0;
      if (colon == std::string::npos || !ParseInt(a.value.substr(0, colon), 0, 1 << 20, &row) ||
          !ParseInt(a.value.substr(colon + 1), 0, 1, &on))
        return Fail(error, "check-row takes ID:ROW:0|1");
      ok = ui::CheckRow(target, a.id, int(row), on != 0);
    } else {
      if (!ParseInt(a.value, -(1LL << 31), (1LL << 31) - 1, &n)) return Fail(error, v + " takes ID:NUMBER");
      if (v == "select") ok = ui::Select(target, a.id, int(n));
      if (v == "spin") ok = ui::Spin(target, a.id, int(n));
      if (v == "slide") ok = ui::Slide(target, a.id, int(n));
      if (v == "row") ok = ui::SelectRow(target, a.id, int(n));
    }
    if (!ok) return Fail(error, "control " + std::to_string(a.id) + " refused it (disabled, hidden or no such item)");
    return true;
  }

  static bool Fail(std::string* error, const std::string& message) {
    *error = message;
    return false;
  }

  // Every page in tab order, each shown as a person clicking through the tabs would see it.
  bool SnapPages(std::string* error) {
    HWND current = ui::CurrentPage(sheet);
    WORD currentId = 0;
    for (WORD id : ui::PageIds(sheet))
      if (ui::Page(sheet, id) == current) currentId = id;
    for (WORD id : ui::PageIds(sheet)) {
      ui::SelectPage(sheet, id);
      if (!Snap(ui::Page(sheet, id), "page-" + std::to_string(id), error)) return false;
    }
    if (currentId) ui::SelectPage(sheet, currentId);
    return true;
  }
};

// The printer's stored default DEVMODE; empty when it has none.
std::vector<uint8_t> StoredDevmode(const WString& name) {
  for (const auto& printer : winsim::Printers())
    if (WStrEqNoCase(reinterpret_cast<const WCHAR*>(printer.name.c_str()), name.c_str())) return printer.devmode;
  return {};
}

}  // namespace

bool ParseSheetAction(const std::string& text, SheetAction* out, std::string* error) {
  const size_t eq = text.find('=');
  const std::string verb = text.substr(0, eq);
  const Verb* found = nullptr;
  for (const Verb& v : kVerbs)
    if (verb == v.name) found = &v;
  if (!found) {
    *error = "unknown action '" + text + "'";
    return false;
  }
  if (eq == std::string::npos) {
    *error = "action '" + text + "' needs a value (" + verb + "=...)";
    return false;
  }
  SheetAction a;
  a.verb = verb;
  a.text = text;
  const std::string args = text.substr(eq + 1);
  long long n = 0;
  switch (found->shape) {
    case Shape::Id:
      if (!ParseInt(args, 0, 0xFFFF, &n)) {
        *error = "action '" + text + "' takes a number";
        return false;
      }
      a.id = int(n);
      break;
    case Shape::IdValue: {
      const size_t colon = args.find(':');
      if (colon == std::string::npos || !ParseInt(args.substr(0, colon), 0, 0xFFFF, &n)) {
        *error = "action '" + text + "' takes ID:VALUE";
        return false;
      }
      a.id = int(n);
      a.value = args.substr(colon + 1);
      if ((verb == "select" || verb == "spin" || verb == "slide" || verb == "row") &&
          !ParseInt(a.value, -(1LL << 31), (1LL << 31) - 1, &n)) {
        *error = "action '" + text + "' takes ID:NUMBER";
        return false;
      }
      break;
    }
    case Shape::Value:
      a.value = args;
      if ((verb == "wait" || verb == "menu") && !ParseInt(args, 0, 0x7FFFFFFF, &n)) {
        *error = "action '" + text + "' takes a number";
        return false;
      }
      if (verb == "answer" && !Answers().count(args)) {
        *error = "answer takes ok, cancel, yes, no, retry, abort or ignore";
        return false;
      }
      if (verb == "press" && args != "ok" && args != "apply" && args != "cancel") {
        *error = "press takes ok, apply or cancel";
        return false;
      }
      if ((verb == "snap" || verb == "file" || verb == "folder") && args.empty()) {
        *error = "action '" + text + "' needs a value";
        return false;
      }
      break;
  }
  *out = a;
  return true;
}

int RunSheet(const std::vector<std::string>& arguments) {
  std::string kind, pngDir, error;
  bool json = false, preferences = false;
  std::vector<SheetAction> actions;
  // The printer and the document options, as lbl print takes them: the application's DEVMODE handed
  // to the sheet.
  std::vector<std::string> args = arguments;
  JobOptions job;
  if (!ParseJobOptions(&args, &job, &error)) return Usage(error);
  std::vector<std::pair<std::string, std::string>> set;
  for (size_t i = 0; i < args.size(); ++i) {
    const std::string& a = args[i];
    auto value = [&](std::string* out) {
      if (i + 1 >= args.size()) return false;
      *out = args[++i];
      return true;
    };
    std::string name, field;
    const bool inlineValue = SplitOption(a, &name, &field);
    if (name == "--set") {
      if (!TakeOptionValue(args, &i, name, inlineValue, &field, &error)) return Usage(error);
      const size_t eq = field.find('=');
      if (eq == std::string::npos || eq == 0) return Usage("--set needs FIELD=VALUE, not '" + field + "'");
      PrinterDevmode scratch{};
      if (!SetSettingsField(&scratch, field.substr(0, eq), field.substr(eq + 1), &error)) return Usage(error);
      set.emplace_back(field.substr(0, eq), field.substr(eq + 1));
    } else if (a == "--preferences") {
      preferences = true;
    } else if (a == "--png") {
      if (!value(&pngDir)) return Usage("--png needs a folder");
    } else if (a == "--json") {
      json = true;
    } else if (a == "--do") {
      std::string text;
      if (!value(&text)) return Usage("--do needs an action");
      SheetAction action;
      if (!ParseSheetAction(text, &action, &error)) return Usage(error);
      actions.push_back(action);
    } else if (kind.empty() && (a == "document" || a == "device")) {
      kind = a;
    } else {
      return Usage("unexpected argument '" + a + "'");
    }
  }
  if (kind.empty()) return Usage("which sheet: document or device");
  const bool documentOptions = !job.paper.empty() || job.hasSize || job.orientation || job.copies || !set.empty();
  if (kind == "device" && documentOptions)
    return Usage("--paper, --size, --orientation, --copies and --set are for the document sheet");
  if (preferences && kind != "document") return Usage("--preferences opens the document sheet");
  if (preferences && !job.model.empty())
    return Usage("--preferences keeps the settings with an installed printer: name it with --printer");
  if (preferences && documentOptions)
    return Usage("--preferences opens on the printer's own settings: no document options with it");
  for (const SheetAction& a : actions)
    if (a.verb == "snap" && pngDir.empty()) return Usage("snap needs --png DIR");
  if (!pngDir.empty()) {
    std::error_code ec;
    std::filesystem::create_directories(pngDir, ec);
    if (ec) return Usage("cannot create " + pngDir + ": " + ec.message());
  }

  UiPrinter p;
  const bool opened = OpenUiPrinter(job.printer, job.model, &p, &error);
  JsonOut j;
  j.Str("Printer", !p.target.name.empty() ? p.target.name : !job.model.empty() ? job.model : job.printer);
  j.Str("Sheet", kind);
  if (!opened) return json ? j.Emit(error) : Fail(error);
  const bool document = kind == "document";
  auto fn = p.Proc<LONG WINAPI(PPROPSHEETUI_INFO, LPARAM)>(document ? "DrvDocumentPropertySheets"
                                                                     : "DrvDevicePropertySheets");
  if (!fn) return Fail("lbldrv6ui does not export the sheet function");

  // With document options the sheet gets the DEVMODE an application would hand it; without, none.
  PrinterDevmode in{};
  if (documentOptions) {
    std::vector<std::string> papers;
    int count = 0;
    if (PaperRecord* list = ReadPaperList(p.printer, &count)) {
      for (int i = 0; i < count; ++i)
        papers.push_back(WideToUtf8(WString(list[i].Name, WStrNLen(list[i].Name, kPaperNameChars)).c_str()));
      LocalFree(list);
    }
    if (!CheckPaperName(job, p.target.name, papers, &error)) return Usage(error);
    if (!BuildJobDevmode(p.printer, CatalogueModule(), job, &in, &error)) return Fail(error);
    for (const auto& [field, value] : set)
      if (!SetSettingsField(&in, field, value, &error)) return Usage(error);
  }
  PrinterDevmode out{};
  DOCUMENTPROPERTYHEADER doc{};
  doc.cbSize = sizeof doc;
  doc.hPrinter = p.printer;
  doc.pszPrinterName = p.name.data();
  doc.pdmIn = documentOptions ? &in.dm : nullptr;
  doc.pdmOut = &out.dm;
  doc.cbOut = sizeof out;
  doc.fMode = DM_UPDATE | DM_COPY | DM_PROMPT;
  // Printing Preferences: the sheet opens on the printer's default settings, and OK makes its result
  // the new defaults, as the printer's folder stores them (SetPrinter).
  const std::vector<uint8_t> stored = preferences ? StoredDevmode(p.name) : std::vector<uint8_t>();
  if (!stored.empty()) doc.pdmIn = reinterpret_cast<PDEVMODEW>(const_cast<uint8_t*>(stored.data()));
  DEVICEPROPERTYHEADER dev{};
  dev.cbSize = sizeof dev;
  dev.hPrinter = p.printer;
  dev.pszPrinterName = p.name.data();
  const LPARAM header = document ? reinterpret_cast<LPARAM>(&doc) : reinterpret_cast<LPARAM>(&dev);

  std::vector<std::string> unanswered;
  ui::SetUnexpectedHook([&](const std::string& what) { unanswered.push_back(what); });
  DWORD result = 0;
  ui::UiThread thread([&] { return intptr_t(CommonPropertySheetUIW(nullptr, fn, header, &result)); });
  Driver d;
  d.pngDir = pngDir;
  d.sheet = ui::FindSheet();
  std::string failure;
  if (!d.sheet) {
    failure = "the sheet did not open";
  } else {
    for (const SheetAction& a : actions)
      if (!d.Run(a, &error)) {
        failure = "action '" + a.text + "': " + error;
        break;
      }
    // A dialog still open is cancelled, as a person closing it would, before the sheet closes.
    d.CloseDialogs();
    if (failure.empty() && !d.closed && !pngDir.empty() && !d.SnapPages(&error)) failure = error;
    // A failed action leaves the sheet as it was: cancel it, so nothing half-done is applied.
    if (!d.closed) ui::Press(d.sheet, failure.empty() ? ui::Button::Ok : ui::Button::Cancel);
  }
  const intptr_t shown = thread.Join();
  ui::SetUnexpectedHook(nullptr);
  if (failure.empty() && !unanswered.empty())
    failure = "a system dialog had no scripted answer: " + unanswered.front();

  const bool ok = shown == CPSUI_OK;
  if (preferences && ok && failure.empty()) {
    const auto* bytes = reinterpret_cast<const uint8_t*>(&out);
    if (!winsim::SetPrinterDevmode(p.name, std::vector<uint8_t>(bytes, bytes + out.dm.dmSize + out.dm.dmDriverExtra)))
      failure = "the printer's default settings could not be stored";
  }
  const std::string resultName = shown == CPSUI_OK ? "OK" : shown == CPSUI_CANCEL ? "Cancel" : "Error";
  PrinterPropData prop{kPropDefaultFlags, {}};
  if (!document) ReadPropData(p.printer, &prop);
  const auto boxes = ui::MessageBoxes();
  if (json) {
    j.Str("Result", resultName);
    j.BeginArray("MessageBoxes");
    for (const ui::MessageBoxCall& m : boxes) {
      j.W().StartObject();
      j.W().Key("Caption");
      j.W().String(WideToUtf8(m.caption).c_str());
      j.W().Key("Text");
      j.W().String(WideToUtf8(m.text).c_str());
      j.W().Key("Answer");
      j.W().String(AnswerName(m.answer).c_str());
      j.W().EndObject();
    }
    j.EndArray();
    j.BeginArray("CancelledDialogs");
    for (WORD id : d.cancelled) j.W().Uint(id);
    j.EndArray();
    if (document) {
      j.BeginObject("Settings");
      j.SetBlank(!ok);
      WriteAllSettingsFields(j, ok ? &out : nullptr);
      j.SetBlank(false);
      j.EndObject();
    } else {
      j.Uint("PPDataFlags", prop.Flags);
      j.WStr("LogFolder", prop.LogFolder, kLogFolderChars);
    }
    return j.Emit(failure);
  }
  for (const ui::MessageBoxCall& m : boxes)
    std::printf("Message box \"%s\": %s -> %s\n", WideToUtf8(m.caption).c_str(), WideToUtf8(m.text).c_str(),
                AnswerName(m.answer).c_str());
  for (WORD id : d.cancelled) std::printf("Dialog %u was still open: cancelled\n", unsigned(id));
  std::printf("Result: %s\n", resultName.c_str());
  if (document && ok) {
    for (const std::string& name : SettingsFieldNames()) {
      std::string value;
      if (GetSettingsField(out, name, &value)) std::printf("%s = %s\n", name.c_str(), value.c_str());
    }
  } else if (!document) {
    std::printf("PPDataFlags = 0x%02X\nLogFolder = %s\n", unsigned(prop.Flags),
                WideToUtf8(prop.LogFolder).c_str());
  }
  return failure.empty() ? 0 : Fail(failure);
}

CommandSpec SheetCommand() {
  return {
      "sheet",
      "open a property sheet of the driver, drive its pages and press OK",
      "sheet document|device [--printer NAME | --model DRIVER-NAME] [--preferences] [DOCUMENT OPTIONS] [--do ACTION]... [--png DIR] [--json]",
      "Opens the document or device property sheet of lbldrv6ui for the printer, as an\n"
      "application's Properties button does, runs the actions in order as a person would (each one is\n"
      "refused, and the sheet cancelled, when its control is disabled, hidden or missing), presses OK\n"
      "unless an action pressed OK or Cancel, and prints what the sheet left: the document settings it\n"
      "wrote, or the printer's \"PPDataFlags\" and \"LogFolder\". Message boxes the pages showed are\n"
      "listed with their answers; one that had no scripted answer is an error.\n\n"
      "The document options (--paper, --size, --orientation, --copies, --set) make the DEVMODE an\n"
      "application would hand the document sheet, as lbl print makes it for a job; without them the sheet\n"
      "opens on the printer's own settings. With --preferences the document sheet is the printer's\n"
      "Printing Preferences: it opens on the printer's default settings and OK stores what it wrote as\n"
      "the new defaults, which the next lbl print starts from. A button that opens a dialog (New... on\n"
      "page 106 opens the label stock editor, dialog 110) leaves it open for the actions that follow\n"
      "(dialog=110); the page and the sheet take no input meanwhile, and a dialog still open at the end\n"
      "is cancelled.\n\n"
      "Actions (IDs are dialog template and control ids):\n"
      "  page=ID            show the page with that template id; the following actions act on it\n"
      "  dialog=ID          act on the open dialog with that template id (one a page opened)\n"
      "  click=ID           click a button\n"
      "  type=ID:TEXT       select the field's text and type TEXT\n"
      "  select=ID:INDEX    choose an item of a list by position\n"
      "  choose=ID:TEXT     choose the list item with that text\n"
      "  spin=ID:N          click an up-down control's arrows N times (negative: down)\n"
      "  slide=ID:POS       drag a track bar to POS\n"
      "  focus=ID           move the focus to the control\n"
      "  row=ID:N           select row N of a list view; check-row=ID:N:0|1 sets its check box\n"
      "  wait=MS            let MS milliseconds pass (timers fire)\n"
      "  answer=yes|no|ok|cancel|retry|abort|ignore   the answer to the next message box\n"
      "  file=PATH, folder=PATH, menu=CMD   the choice of the next file, folder or menu\n"
      "  press=ok|apply|cancel   press a button of the sheet\n"
      "  snap=NAME          write a picture of the current page or dialog to DIR/NAME.png",
      {JobOptionTable()[0],
       JobOptionTable()[1],
       JobOptionTable()[2],
       JobOptionTable()[3],
       JobOptionTable()[4],
       JobOptionTable()[5],
       {"--set", "FIELD=VALUE", "a settings field of the document's DEVMODE, as lbl print --set takes it"},
       {"--preferences", nullptr, "the printer's Printing Preferences: its default document settings"},
       {"--do", "ACTION", "an action as listed above; repeat for more", ""},
       {"--png", "DIR", "before OK, show every page in turn and write DIR/page-ID.png of each", "@dir"},
       {"--json", nullptr, "print the result as JSON"}},
      "0  the sheet closed with every action done\n"
      "1  the printer could not be set up, an action was refused or a dialog had no scripted answer\n"
      "2  usage error: an unknown action or option",
      "lbl sheet document --png pages\n"
      "lbl sheet document --size 50x30 --copies 2 --set PostAction=3 --json\n"
      "lbl sheet document --do page=106 --do click=1004 --do dialog=110 --do type=1037:Shipping --do click=1\n"
      "lbl sheet document --preferences --do page=113 --do select=1042:12 --do press=ok\n"
      "lbl sheet device --do page=101 --do snap=about --png pages --json",
      "document device",
      RunSheet,
  };
}

}  // namespace lbl
