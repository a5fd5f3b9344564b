// lbl: runs the driver code on the simulated machine from the command line.
#include <cstdio>
#include <cstring>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "common/devmode.h"
#include "common/model.h"
#include "common/wstr.h"
#include "tools/command_help.h"
#include "tools/embedded.h"
#include "tools/exit_status.h"
#include "tools/install_commands.h"
#include "tools/job_options.h"
#include "tools/json_out.h"
#include "tools/print_commands.h"
#include "tools/print_job.h"
#include "tools/discover_command.h"
#include "tools/ui_commands.h"

namespace {

using lbl::CommandSpec;
using lbl::Fail;
using lbl::JsonOut;
using lbl::Usage;

void WritePaper(JsonOut& j, const PaperRecord& p) {
  j.W().StartObject();
  j.Int("Index", p.Index);
  j.WStr("Name", p.Name, kPaperNameChars);
  j.Int("Width", p.Width);
  j.Int("Length", p.Length);
  j.Int("MarginLeft", p.MarginLeft);
  j.Int("MarginTop", p.MarginTop);
  j.Int("MarginRight", p.MarginRight);
  j.Int("MarginBottom", p.MarginBottom);
  j.Int("Flags", p.Flags);
  j.Int("GapHeight", p.GapHeight);
  j.Int("GapOffset", p.GapOffset);
  j.Int("Speed", p.Speed);
  j.Int("Darkness", p.Darkness);
  j.W().EndObject();
}

// The model record's fields; with no record (it could not be built) every field is there, null.
void WriteModel(JsonOut& j, const ModelRecord* model) {
  static const ModelRecord none{};
  const ModelRecord* m = model ? model : &none;
  j.SetBlank(!model);
  j.Int("Magic", m->Magic);
  j.Int("Version", m->Version);
  j.Int("HeaderSize", m->HeaderSize);
  j.Int("ExtraSize", m->ExtraSize);
  j.Str("DeviceName", std::string(m->DeviceName, strnlen(m->DeviceName, sizeof m->DeviceName)));
#define F(name) j.Int(#name, m->name)
  F(MaxWidth); F(MaxLength); F(MarginLeft); F(MarginTop); F(MarginRight); F(MarginBottom); F(Flags);
  F(XDpi); F(YDpi); F(RasterXDpi); F(RasterYDpi); F(RopLevel); F(MaxScale); F(MaxPens); F(MaxCopies);
  F(MaxPolygonPoints); F(MaxQuality); F(PaperTrackWidth); F(PaperTrackLength);
  j.BeginArray("ColorInfo");
  const LONG* ci = reinterpret_cast<const LONG*>(&m->ColorInfo);
  for (size_t i = 0; model && i < sizeof(COLORINFO) / sizeof(LONG); ++i) j.W().Int64(ci[i]);
  j.EndArray();
  F(DevicePelsDpi); F(HalftonePatternSize); F(PrintDirection); F(SdramSize); F(FlashSize); F(Accessories); F(Rfid);
  F(PaperAlignment); F(OutDirection); F(SensorType); F(DefaultSensorType); F(GapHeight); F(GapOffset);
  F(MinLabelWidth); F(MinLabelLength); F(SpeedMax); F(SpeedMin); F(Speed); F(SpeedStep); F(DarknessMax); F(Darkness);
  F(PaperSaving); F(LanguageSet); F(LanguageDefault); F(Config2SpeedMax); F(Config2SpeedMin); F(Config2Speed);
  F(Config2SpeedStep); F(Config2DarknessMax); F(Config2Darkness); F(ShiftH); F(ShiftV); F(DitherLevel); F(PostAction);
  F(WatermarkX); F(WatermarkY); F(WatermarkScale); F(WatermarkBrightness); F(PrinterType); F(PrintingScale);
  F(PrintWidth); F(InputDPI);
#undef F
  j.BeginArray("Papers");
  for (int i = 0; model && i < ModelPaperCount(model); ++i) WritePaper(j, ModelPapers(model)[i]);
  j.EndArray();
  j.SetBlank(false);
}

// The settings record's fields, public and private; null when there is none.
void WriteDevmode(JsonOut& j, const PrinterDevmode* devmode) {
  static const PrinterDevmode none{};
  const PrinterDevmode& d = devmode ? *devmode : none;
  j.SetBlank(!devmode);
  j.BeginObject("Public");
  j.WStr("dmDeviceName", d.dm.dmDeviceName, CCHDEVICENAME);
#define P(name) j.Int(#name, d.dm.name)
  P(dmSpecVersion); P(dmDriverVersion); P(dmSize); P(dmDriverExtra); P(dmFields); P(dmOrientation); P(dmPaperSize);
  P(dmPaperLength); P(dmPaperWidth); P(dmScale); P(dmCopies); P(dmDefaultSource); P(dmPrintQuality); P(dmColor);
  P(dmDuplex); P(dmYResolution); P(dmTTOption); P(dmCollate);
#undef P
  j.WStr("dmFormName", d.dm.dmFormName, CCHFORMNAME);
  j.EndObject();
  j.BeginObject("Private");
#define Q(name) j.Int(#name, d.name)
  Q(Signature); Q(Version); Q(Flags); Q(ShiftH); Q(ShiftV); Q(PostAction); Q(PostActionOccurrence); Q(IntervalPages);
  Q(FeedOffset); Q(DitherLevel);
  j.BeginObject("ColorAdjust");
#define C(name) j.Int(#name, d.ColorAdjust.name)
  C(caSize); C(caFlags); C(caIlluminantIndex); C(caRedGamma); C(caGreenGamma); C(caBlueGamma); C(caReferenceBlack);
  C(caReferenceWhite); C(caContrast); C(caBrightness); C(caColorfulness); C(caRedGreenTint);
#undef C
  j.EndObject();
  Q(PrintMode); Q(Speed); Q(Darkness); Q(PaperSaving);
  j.BeginArray("UserCommands");
  for (const auto& slot : d.UserCommands)
    if (devmode) j.W().String(WideToUtf8(WString(slot, WStrNLen(slot, kUserCommandChars)).c_str()).c_str());
  j.EndArray();
  Q(PrintLanguage);
  j.WStr("WatermarkPath", d.WatermarkPath, kWatermarkPathChars);
  Q(WatermarkX); Q(WatermarkY); Q(WatermarkScale); Q(WatermarkBrightness); Q(PrintingScale); Q(PrintWidth);
  Q(InputDPI); Q(PrinterType);
#undef Q
  for (int i = 0; i < kReservedFields; ++i) j.Int(("Reserved" + std::to_string(i + 1)).c_str(), d.Reserved[i]);
  j.EndObject();
  j.SetBlank(false);
}

// Opens the embedded printer for `driver` and builds its model record.
struct Mapped {
  HANDLE printer = nullptr;
  ModelRecord* model = nullptr;
  WCHAR name[32] = {};
  ~Mapped() {
    FreeModelRecord(model);
    if (printer) ClosePrinter(printer);
  }
};

int MapDefault(const std::vector<std::string>& args, Mapped* out, std::string* error) {
  const std::string driver = args.empty() ? lbl::kDefaultDriver : args[0];
  if (!lbl::SetupPrinter(driver, lbl::kDefaultPort, error)) return 1;
  WString name = Utf8ToWide(driver);
  if (!OpenPrinterW(name.data(), &out->printer, nullptr)) {
    *error = "cannot open the printer \"" + driver + "\"";
    return 1;
  }
  out->model = LoadModelRecord(out->printer, out->name, lbl::CatalogueModule());
  if (!out->model) {
    *error = "cannot build the model record of \"" + driver + "\" (data file missing or invalid)";
    return 1;
  }
  return 0;
}

int CmdModel(const std::vector<std::string>& args) {
  if (args.size() > 1) return Usage("too many arguments");
  Mapped m;
  std::string error;
  MapDefault(args, &m, &error);
  JsonOut j;
  WriteModel(j, m.model);
  return j.Emit(error);
}

int CmdDefaults(const std::vector<std::string>& args) {
  if (args.size() > 1) return Usage("too many arguments");
  Mapped m;
  std::string error;
  PrinterDevmode dm;
  const bool mapped = MapDefault(args, &m, &error) == 0;
  if (mapped) {
    PaperRect paper{};
    FillDevmodeDefaults(m.model, m.name, &dm, &paper);
  }
  JsonOut j;
  WriteDevmode(j, mapped ? &dm : nullptr);
  return j.Emit(error);
}

int CmdModels(const std::vector<std::string>& args) {
  if (!args.empty()) return Usage("'models' takes no arguments");
  for (const auto& n : lbl::CatalogueDriverNames()) std::printf("%s\n", n.c_str());
  return 0;
}

const char* const kVersion = LBL_VERSION;
const char* const kCommit = LBL_COMMIT;

int CmdVersion(const std::vector<std::string>& args) {
  if (!args.empty()) return Usage("'version' takes no arguments");
  std::printf("lbl %s (driver version %s, commit %s)\n", kVersion, kVersion, kCommit);
  return 0;
}

const std::vector<CommandSpec>& Commands();

const CommandSpec* FindCommand(const std::string& name) {
  for (const CommandSpec& c : Commands())
    if (name == c.name) return &c;
  return nullptr;
}

int CmdHelp(const std::vector<std::string>& args) {
  if (args.size() > 1) return Usage("'help' takes one COMMAND at most");
  if (args.size() == 1) {
    const CommandSpec* c = FindCommand(args[0]);
    if (!c) return Usage("no such command: " + args[0] + " (try 'lbl help')");
    std::fputs(lbl::CommandPage(*c).c_str(), stdout);
    return 0;
  }
  std::printf("usage: lbl COMMAND [ARGS]\n\nRuns the label printer driver on a simulated Windows machine with the embedded\n"
              "default printer \"%s\" on %s.\n\nCommands:\n", lbl::kDefaultDriver, lbl::kDefaultPort);
  for (const CommandSpec& c : Commands()) std::printf("  %-11s %s\n", c.name, c.summary);
  std::printf("\n'lbl help COMMAND' or 'lbl COMMAND --help' describes one command.\n"
              "Exit status: 0 success, 1 the operation failed (message on stderr), 2 usage error.\n");
  return 0;
}

int CmdCompletion(const std::vector<std::string>& args) {
  if (args.size() != 1 || args[0] != "bash") return Usage("completion takes the shell: bash");
  std::fputs(lbl::BashCompletion(Commands()).c_str(), stdout);
  return 0;
}

const char* const kUsageStatus = "0  success\n1  the operation failed (message on stderr)\n2  usage error";

const std::vector<CommandSpec>& Commands() {
  static const std::vector<CommandSpec> cmds = {
      {"model", "the model record (every field, and the paper list) as JSON", "model [DRIVER-NAME]",
       "Prints the model record built for the printer (data file and catalogue), every field by\n"
       "name and the model's paper list, as JSON. Lengths are micrometres.",
       {}, kUsageStatus, "lbl model \"Tarnwell TW-JA\"", "@models", CmdModel},
      {"defaults", "the printer's default settings record as JSON", "defaults [DRIVER-NAME]",
       "Prints the printer's default settings record, public and private fields by name, as JSON.",
       {}, kUsageStatus, "lbl defaults", "@models", CmdDefaults},
      {"models", "the driver names the catalogue knows", "models",
       "Lists the driver names of every model in the embedded catalogue, one a line.",
       {}, "0  success\n2  usage error", "lbl models", "", CmdModels},
      lbl::CapsCommand(),
      lbl::CheckJobCommand(),
      lbl::DiscoverCommand(),
      lbl::PrintCommand(),
      lbl::ViewCommand(),
      lbl::InstallCommand(),
      lbl::UninstallCommand(),
      {"version", "the driver version and the commit lbl was built from", "version",
       "Prints the driver version of the package and the commit lbl was built from; also 'lbl --version'.",
       {}, "0  success\n2  usage error", "lbl --version", "", CmdVersion},
      {"completion", "a bash completion script for lbl", "completion bash",
       "Prints a bash completion script for lbl's commands, their options and the values they take,\n"
       "made from the same option tables as the help pages.",
       {}, "0  success\n2  usage error", "source <(lbl completion bash)", "bash", CmdCompletion},
      {"help", "a list of the commands, or the page of one", "help [COMMAND]",
       "Without COMMAND, lists every command with one line each; with one, prints its page.",
       {}, "0  success\n2  usage error: no such command", "lbl help print", "@commands", CmdHelp},
  };
  return cmds;
}

}  // namespace

int main(int argc, char** argv) {
  std::vector<std::string> args(argv + 1, argv + argc);
  if (args.empty()) {
    CmdHelp({});
    return 2;
  }
  if (args[0] == "--version" || args[0] == "-V") return CmdVersion({args.begin() + 1, args.end()});
  if (args[0] == "--help" || args[0] == "-h") return CmdHelp({args.begin() + 1, args.end()});
  const CommandSpec* command = FindCommand(args[0]);
  if (!command) return Usage("unknown command '" + args[0] + "' (try 'lbl help')");
  std::vector<std::string> rest(args.begin() + 1, args.end());
  for (const auto& a : rest)
    if (a == "--help" || a == "-h") return CmdHelp({args[0]});
  return command->run(rest);
}
