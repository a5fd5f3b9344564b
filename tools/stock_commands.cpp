#include "tools/stock_commands.h"

#include <cstdio>
#include <cstdlib>
#include <memory>
#include <utility>

#include <gdiplus.h>
#include <winddiui.h>
#include "common/devmode.h"
#include "common/wstr.h"
#include "tools/embedded.h"
#include "tools/exit_status.h"
#include "tools/json_out.h"
#include "tools/job_options.h"
#include "tools/model_commands.h"
#include "tools/numbers.h"
#include "ui/context.h"
#include "ui/module.h"
#include "ui/pagesetup.h"
#include "ui/preview.h"
#include "ui/stockeditor.h"
#include "winsim/gdiplus.h"
#include "winsim/machine.h"
#include "winsim/printpath.h"

namespace lbl {

namespace {

// The printer (see OpenTargetPrinter), mapped the way the property sheet maps it.
struct StockPrinter {
  HMODULE ui = nullptr;
  HANDLE printer = nullptr;
  PrinterContext* ctx = nullptr;
  ~StockPrinter() {
    if (ctx) UnmapPrinter(ctx);
    if (printer) ClosePrinter(printer);
    if (ui) winsim::UnloadDriverModule(ui);
  }
  TargetPrinter target;
  bool Open(const JobOptions& choice, std::string* error) {
    if (!OpenTargetPrinter(choice.printer, choice.model, &target, error)) return false;
    ui = winsim::LoadDriverModule(u"lbldrv6ui", error);
    if (!ui) return false;
    SetUiModule(ui);  // catalogue and strings of the loaded module
    WString name = Utf8ToWide(target.name);
    PRINTER_DEFAULTSW def{nullptr, nullptr, PRINTER_ALL_ACCESS};
    if (!OpenPrinterW(name.data(), &printer, &def)) {
      *error = "cannot open the printer \"" + target.name + "\"";
      return false;
    }
    ctx = MapPrinter(printer, nullptr, nullptr, 0);
    if (!ctx) *error = "the printer could not be mapped";
    if (ctx) ctx->SheetFlags |= kSheetMayWrite;
    return ctx != nullptr;
  }
};

bool TakeValue(const std::vector<std::string>& a, size_t* i, const std::string& opt, std::string* out) {
  if (a[*i] == opt) {
    if (*i + 1 >= a.size()) return false;
    *out = a[++*i];
    return true;
  }
  if (a[*i].rfind(opt + "=", 0) == 0) {
    *out = a[*i].substr(opt.size() + 1);
    return true;
  }
  return false;
}

void WriteStock(JsonOut& j, const PaperRecord& p) {
  WritePaperMembers(j, p, true);
  WString text = StockItemText(p);
  j.Str("Text", WideToUtf8(text.c_str()));
}


struct ListRequest {
  const PrinterContext* ctx;
  std::vector<PaperRecord> stocks;
};

void Collect(const PaperRecord* entry, int, void* request) {
  auto* r = static_cast<ListRequest*>(request);
  PaperRecord p{};
  if (entry) {
    p = *entry;
  } else if (!LookupStock(r->ctx, TEXT("USER"), &p)) {
    return;
  }
  if (!entry) {
    // As the page lists it: the document's paper size.
    p.Width = int32_t(r->ctx->Settings.dm.dmPaperWidth) * 100;
    p.Length = int32_t(r->ctx->Settings.dm.dmPaperLength) * 100;
    p.MarginLeft = p.MarginRight = 0;
  }
  r->stocks.push_back(p);
}

int StockList(StockPrinter& p, bool json) {
  ListRequest r{p.ctx, {}};
  if (EnumPaperList(p.ctx, -1, Collect, &r) < 0) return Fail("the printer has no label stock list");
  if (!json) {
    for (const PaperRecord& s : r.stocks) std::printf("%s\n", WideToUtf8(StockItemText(s).c_str()).c_str());
    return 0;
  }
  JsonOut j;
  j.BeginArray("Stocks");
  for (const PaperRecord& s : r.stocks) {
    j.W().StartObject();
    WriteStock(j, s);
    j.W().EndObject();
  }
  j.EndArray();
  return j.Emit();
}

int StockShow(StockPrinter& p, const std::string& name, bool json) {
  PaperRecord s{};
  WString n = Utf8ToWide(name);
  if (!LookupStock(p.ctx, n.c_str(), &s)) return Fail("no label stock named \"" + name + "\"");
  JsonOut j;
  WriteStock(j, s);
  if (json) return j.Emit();
  std::printf("%s\n  Width %d um, Length %d um, liners %d/%d um, flags 0x%08X, gap %d um, offset %d um, speed %d, "
              "darkness %d\n",
              WideToUtf8(StockItemText(s).c_str()).c_str(), s.Width, s.Length, s.MarginLeft, s.MarginRight,
              unsigned(s.Flags), s.GapHeight, s.GapOffset, s.Speed, s.Darkness);
  return 0;
}

int StockAdd(StockPrinter& p, const std::vector<std::string>& a, size_t from, bool json) {
  std::string name, width, length = "", type = "gaps", gap, offset = "0", speed, darkness, replace;
  bool direct = false, transfer = false;
  for (size_t i = from; i < a.size(); ++i) {
    std::string v;
    if (TakeValue(a, &i, "--name", &name) || TakeValue(a, &i, "--width", &width) ||
        TakeValue(a, &i, "--length", &length) || TakeValue(a, &i, "--type", &type) ||
        TakeValue(a, &i, "--gap", &gap) || TakeValue(a, &i, "--offset", &offset) ||
        TakeValue(a, &i, "--speed", &speed) || TakeValue(a, &i, "--darkness", &darkness) ||
        TakeValue(a, &i, "--replace", &replace))
      continue;
    if (a[i] == "--direct") direct = true;
    else if (a[i] == "--transfer") transfer = true;
    else if (a[i] != "--json") return Usage("stock add: unknown option " + a[i]);
  }
  if (name.empty() || width.empty() || length.empty()) return Usage("stock add needs --name, --width and --length");
  if (name.find_first_not_of(" \t") == std::string::npos) return Usage("stock add: --name is blank");
  if (Utf8ToWide(name).size() >= size_t(kPaperNameChars)) return Usage("stock add: --name has at most 31 characters");
  // The editor's ranges, in millimetres to the micrometre the stock keeps.
  struct Length {
    const char* option;
    const std::string* text;
    double lo, hi;
  };
  const Length lengths[] = {{"--width", &width, kStockMinWidth / 1000.0, kStockMaxWidth / 1000.0},
                            {"--length", &length, kStockMinLength / 1000.0, kStockMaxLength / 1000.0},
                            // A negative gap would stack labels without end.
                            {"--gap", &gap, 0, kStockMaxMargin / 1000.0},
                            {"--offset", &offset, 0, kStockMaxMargin / 1000.0}};
  std::string error;
  double mm = 0;
  for (const Length& l : lengths)
    if (!l.text->empty() && !OptionDecimal(l.option, *l.text, l.lo, l.hi, &mm, &error, "millimetres", 3))
      return Usage(error);
  const char* types[] = {"gaps", "marks", "continuous", "unfixed"};
  int typeIndex = -1;
  for (int t = 0; t < 4; ++t)
    if (type == types[t]) typeIndex = t;
  if (typeIndex < 0) return Usage("stock add: --type is gaps, marks, continuous or unfixed");
  if (gap.empty()) gap = typeIndex <= 1 ? "3" : "0";  // as the editor's type change sets it
  // The editor empties and disables both fields for continuous paper: it has no gap a printer could find.
  auto nonZero = [](const std::string& text) { return std::strtod(text.c_str(), nullptr) != 0; };  // checked above
  if (typeIndex > 1 && (nonZero(gap) || nonZero(offset)))
    return Usage("stock add: continuous paper has no --gap or --offset");
  if (direct && transfer) return Usage("stock add: --direct and --transfer exclude each other");
  const ModelRecord* m = p.ctx->Model;
  int64_t speedValue = 0, level = -1;
  if (!speed.empty() && !OptionWhole("--speed", speed, 1, 65535, &speedValue, &error, "hundredths of an inch per second"))
    return Usage(error);
  if (!darkness.empty() && !OptionWhole("--darkness", darkness, 0, std::max(0, int(m->DarknessMax) - 1), &level, &error,
                                        "a darkness level of the model"))
    return Usage(error);
  if (p.ctx->Settings.PrintLanguage == kLangEsc) {
    typeIndex = 2;  // ESC printers feed continuous paper only
    gap = offset = "0";
  }
  if (transfer && !(m->Flags & 0x4)) return Fail("the model does not print with a ribbon (thermal transfer)");

  WString wn = Utf8ToWide(name), ww = Utf8ToWide(width), wl = Utf8ToWide(length), wg = Utf8ToWide(gap),
          wo = Utf8ToWide(offset), zero = Utf8ToWide("0");
  StockFields f{.Name = wn.c_str(), .LabelWidth = ww.c_str(), .Length = wl.c_str(), .LinerLeft = zero.c_str(),
                .LinerRight = zero.c_str(), .GapHeight = wg.c_str(), .GapOffset = wo.c_str(), .TypeIndex = typeIndex,
                .DirectThermal = direct, .ThermalTransfer = transfer,
                .OwnPrintSetting = !speed.empty() || !darkness.empty() || direct || transfer, .Speed = 0,
                .DarknessIndex = -1};
  if (!speed.empty()) {
    int32_t values[512];
    const int n = StockSpeeds(m, values, 512);
    bool found = false;
    for (int i = 0; i < n; ++i) found = found || values[i] == speedValue;
    if (!found) return Fail("speed " + speed + " is not one the model offers (hundredths of an inch per second)");
    f.Speed = int32_t(speedValue);
  }
  if (level >= 0) f.DarknessIndex = int(level);
  PaperRecord stock = StockFromFields(f, m);
  WString old = Utf8ToWide(replace);
  if (WStrEq(old.c_str(), TEXT("USER")) && !WStrEq(old.c_str(), wn.c_str()))
    return Fail("USER cannot be renamed");
  // A rename of a stock that is not there (a mistyped name) would add a stock and remove nothing.
  PaperRecord replaced{};
  if (!replace.empty() && !LookupStock(p.ctx, old.c_str(), &replaced))
    return Fail("no label stock named \"" + replace + "\" to replace");
  // As the editor: USER is the document's own size, and another stock is not replaced unasked.
  switch (CheckStockName(p.ctx, stock.Name, old.c_str())) {
    case StockNameProblem::kReserved: return Fail("USER is the document's own size: choose another name");
    case StockNameProblem::kTaken:
      return Fail("a label stock named \"" + name + "\" exists already: change it with --replace \"" + name +
                  "\", or remove it first");
    default: break;
  }
  if (!SaveStock(p.ctx, stock, old.c_str())) return Fail("Failed to save paper information.");
  JsonOut j;
  WriteStock(j, stock);
  if (json) return j.Emit();
  std::printf("saved %s\n", WideToUtf8(StockItemText(stock).c_str()).c_str());
  return 0;
}

int StockRemove(StockPrinter& p, const std::string& name) {
  WString n = Utf8ToWide(name);
  if (WStrEq(n.c_str(), TEXT("USER"))) return Fail("USER cannot be removed");
  if (!DeletePaper(p.ctx, n.c_str())) return Fail("Failed to remove paper \"" + name + "\".");
  std::printf("removed %s\n", name.c_str());
  return 0;
}

int RunPreview(const std::vector<std::string>& options) {
  std::string stock, out, orientation = "0", error;
  bool mirror = false, negative = false;
  std::vector<std::string> args = options;
  JobOptions choice;
  if (!ParsePrinterOptions(&args, &choice, &error)) return Usage(error);
  for (size_t i = 0; i < args.size(); ++i) {
    if (TakeValue(args, &i, "--stock", &stock) || TakeValue(args, &i, "-o", &out) ||
        TakeValue(args, &i, "--orientation", &orientation))
      continue;
    if (args[i] == "--mirror") mirror = true;
    else if (args[i] == "--negative") negative = true;
    else return Usage("preview: unknown option " + args[i]);
  }
  if (stock.empty() || out.empty()) return Usage("preview needs --stock NAME and -o FILE.png");
  // The page's four orientation buttons.
  int dmOrientation = DMORIENT_PORTRAIT;
  uint32_t flags = 0;
  if (orientation == "90") dmOrientation = DMORIENT_LANDSCAPE;
  else if (orientation == "180") flags = kFlagRotate180;
  else if (orientation == "270") dmOrientation = DMORIENT_LANDSCAPE, flags = kFlagRotate180;
  else if (orientation != "0") return Usage("--orientation is 0, 90, 180 or 270");

  StockPrinter p;
  if (!p.Open(choice, &error)) return Fail(error);
  PaperRecord s{};
  WString n = Utf8ToWide(stock);
  if (!LookupStock(p.ctx, n.c_str(), &s)) return Fail("no label stock named \"" + stock + "\"");
  if (PreviewPrintWidth(p.ctx->Model) <= 0) return Fail("the model has no print width to scale the preview by");

  ULONG_PTR token = 0;
  Gdiplus::GdiplusStartupInput input;
  if (Gdiplus::GdiplusStartup(&token, &input, nullptr) != Gdiplus::Ok) return Fail("GDI+ could not be started");
  HDC dc = CreateCompatibleDC(nullptr);
  HBITMAP bmp = CreateCompatibleBitmap(nullptr, kPreviewWidth, kPreviewHeight);
  HGDIOBJ old = SelectObject(dc, bmp);
  DrawStockPreview(dc, kPreviewWidth, kPreviewHeight, s, p.ctx, kArrowNone, PreviewAngle(dmOrientation, flags), mirror,
                   negative);
  const bool written = winsim::WriteDcPng(dc, out);
  SelectObject(dc, old);
  DeleteObject(bmp);
  DeleteDC(dc);
  Gdiplus::GdiplusShutdown(token);
  if (!written) return Fail("cannot write " + out);
  std::printf("%s\n", out.c_str());
  return 0;
}

int RunStock(const std::vector<std::string>& options) {
  if (options.empty()) return Usage("stock needs list, show, add or remove");
  bool json = false;
  std::string error;
  std::vector<std::string> args = options, rest;
  JobOptions choice;
  if (!ParsePrinterOptions(&args, &choice, &error)) return Usage(error);
  for (size_t i = 0; i < args.size(); ++i) {
    if (args[i] == "--json") json = true;
    else rest.push_back(args[i]);
  }
  if (rest.empty()) return Usage("stock needs list, show, add or remove");
  const std::string& verb = rest[0];
  if (verb != "list" && verb != "show" && verb != "add" && verb != "remove")
    return Usage("stock: unknown action '" + verb + "'");
  if ((verb == "show" || verb == "remove") && rest.size() != 2) return Usage("stock " + verb + " takes one NAME");
  StockPrinter p;
  if (!p.Open(choice, &error)) return Fail(error);
  if ((verb == "add" || verb == "remove") && p.target.scratch)
    std::fprintf(stderr, "lbl: note: --model works on a printer of its own that is not kept; to keep stocks, "
                         "install the printer and name it with --printer\n");
  if (verb == "list") return StockList(p, json);
  if (verb == "show") return StockShow(p, rest[1], json);
  if (verb == "remove") return StockRemove(p, rest[1]);
  return StockAdd(p, rest, 1, json);
}

}  // namespace

CommandSpec PreviewCommand() {
  return {
      "preview",
      "the Page Setup preview of a label stock as a PNG picture",
      "preview --stock NAME [--orientation 0|90|180|270] [--mirror] [--negative] [--printer NAME | --model DRIVER-NAME]"
      " -o FILE.png",
      "Draws the preview the Page Setup page shows for the label stock NAME of the printer and writes it\n"
      "as a PNG picture of the preview control's size.\n"
      "The orientations are the page's four buttons.",
      {{"--stock", "NAME", "the label stock, as 'lbl stock list' names it"},
       {"--orientation", "DEG", "0, 90, 180 or 270 (default 0)", "0 90 180 270"},
       {"--mirror", nullptr, "mirror the label"},
       {"--negative", nullptr, "white on black"},
       PrinterOptionTable()[0],
       PrinterOptionTable()[1],
       {"-o", "FILE", "the PNG file to write", "@file"}},
      "0  the picture was written\n1  no such stock, no print width, or the file could not be written\n2  usage error",
      "lbl preview --stock USER -o user.png\nlbl preview --stock USER --orientation 270 --mirror -o turned.png",
      "",
      RunPreview,
  };
}

CommandSpec StockCommand() {
  return {
      "stock",
      "list, show, add and remove the printer's label stocks",
      "stock list|show NAME|add OPTIONS|remove NAME [--printer NAME | --model DRIVER-NAME] [--json]",
      "Manages the label stocks (\"FORMS\") of the printer as the Page Setup page and its stock editor\n"
      "do; what is added or removed stays with the printer. 'add' takes the editor's fields: width and\n"
      "length within the editor's ranges (10 to 6553.5 mm and 10 to 655350 mm, to the micrometre),\n"
      "raised to the model's minimum label size; gap and offset 0 to 10.0 mm (0 for continuous paper).\n"
      "With --replace OLD (a stock that exists) the stock is saved and OLD removed (a rename); a stock of\n"
      "the name that exists is changed only with --replace NAME. \"USER\" cannot be renamed or removed,\n"
      "and no other stock takes its name.",
      {{"--name", "NAME", "add: the stock's name (at most 31 characters)"},
       {"--width", "MM", "add: the label width"},
       {"--length", "MM", "add: the label length"},
       {"--type", "TYPE", "add: gaps (default), marks, continuous or unfixed", "gaps marks continuous unfixed"},
       {"--gap", "MM", "add: gap or mark height (default 3 for gaps and marks, else 0)"},
       {"--offset", "MM", "add: gap or mark offset (default 0)"},
       {"--direct", nullptr, "add: direct thermal"},
       {"--transfer", nullptr, "add: thermal transfer (models with a ribbon)"},
       {"--speed", "N", "add: the stock's own speed, hundredths of an inch per second"},
       {"--darkness", "N", "add: the stock's own darkness as the editor lists it (0 ...)"},
       {"--replace", "OLD", "add: the stock being edited; removed after the save when renamed"},
       PrinterOptionTable()[0],
       PrinterOptionTable()[1],
       {"--json", nullptr, "JSON output"}},
      "0  done\n1  the stock could not be saved, found or removed (message on stderr)\n2  usage error",
      "lbl stock list\nlbl stock add --name Shipping --width 100 --length 150 --type gaps --gap 3\n"
      "lbl stock remove Shipping",
      "list show add remove",
      RunStock,
  };
}

}  // namespace lbl
