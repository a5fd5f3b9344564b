// lbl: runs the driver code on the simulated machine from the command line.
#include <cstdio>
#include <cstring>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include <rapidjson/prettywriter.h>
#include <rapidjson/stringbuffer.h>

#include "common/devmode.h"
#include "common/model.h"
#include "common/wstr.h"
#include "tools/embedded.h"
#include "tools/exit_status.h"
#include "tools/print_commands.h"
#include "tools/print_job.h"
#include "tools/ui_commands.h"

namespace {

using Writer = rapidjson::PrettyWriter<rapidjson::StringBuffer>;

struct Command {
  const char* usage;
  const char* help;
  std::function<int(const std::vector<std::string>&)> run;
};

using lbl::Fail;
using lbl::Usage;

void Str(Writer& w, const char* key, const std::string& v) {
  w.Key(key);
  w.String(v.c_str());
}
void WStr(Writer& w, const char* key, const WCHAR* v, size_t cap) {
  WString s(v, WStrNLen(v, cap));
  Str(w, key, WideToUtf8(s.c_str()));
}
void Int(Writer& w, const char* key, int64_t v) {
  w.Key(key);
  w.Int64(v);
}

void WritePaper(Writer& w, const PaperRecord& p) {
  w.StartObject();
  Int(w, "Index", p.Index);
  WStr(w, "Name", p.Name, kPaperNameChars);
  Int(w, "Width", p.Width);
  Int(w, "Length", p.Length);
  Int(w, "MarginLeft", p.MarginLeft);
  Int(w, "MarginTop", p.MarginTop);
  Int(w, "MarginRight", p.MarginRight);
  Int(w, "MarginBottom", p.MarginBottom);
  Int(w, "Flags", p.Flags);
  Int(w, "GapHeight", p.GapHeight);
  Int(w, "GapOffset", p.GapOffset);
  Int(w, "Speed", p.Speed);
  Int(w, "Darkness", p.Darkness);
  w.EndObject();
}

void WriteModel(Writer& w, const ModelRecord* m) {
  w.StartObject();
  Int(w, "Magic", m->Magic);
  Int(w, "Version", m->Version);
  Int(w, "HeaderSize", m->HeaderSize);
  Int(w, "ExtraSize", m->ExtraSize);
  Str(w, "DeviceName", std::string(m->DeviceName, strnlen(m->DeviceName, sizeof m->DeviceName)));
#define F(name) Int(w, #name, m->name)
  F(MaxWidth); F(MaxLength); F(MarginLeft); F(MarginTop); F(MarginRight); F(MarginBottom); F(Flags);
  F(XDpi); F(YDpi); F(RasterXDpi); F(RasterYDpi); F(RopLevel); F(MaxScale); F(MaxPens); F(MaxCopies);
  F(MaxPolygonPoints); F(MaxQuality); F(PaperTrackWidth); F(PaperTrackLength);
  w.Key("ColorInfo");
  w.StartArray();
  const LONG* ci = reinterpret_cast<const LONG*>(&m->ColorInfo);
  for (size_t i = 0; i < sizeof(COLORINFO) / sizeof(LONG); ++i) w.Int64(ci[i]);
  w.EndArray();
  F(DevicePelsDpi); F(HalftonePatternSize); F(PrintDirection); F(SdramSize); F(FlashSize); F(Accessories); F(Rfid);
  F(PaperAlignment); F(OutDirection); F(SensorType); F(DefaultSensorType); F(GapHeight); F(GapOffset);
  F(MinLabelWidth); F(MinLabelLength); F(SpeedMax); F(SpeedMin); F(Speed); F(SpeedStep); F(DarknessMax); F(Darkness);
  F(PaperSaving); F(LanguageSet); F(LanguageDefault); F(Config2SpeedMax); F(Config2SpeedMin); F(Config2Speed);
  F(Config2SpeedStep); F(Config2DarknessMax); F(Config2Darkness); F(ShiftH); F(ShiftV); F(DitherLevel); F(PostAction);
  F(WatermarkX); F(WatermarkY); F(WatermarkScale); F(WatermarkBrightness); F(PrinterType); F(PrintingScale);
  F(PrintWidth); F(InputDPI);
#undef F
  w.Key("Papers");
  w.StartArray();
  for (int i = 0; i < ModelPaperCount(m); ++i) WritePaper(w, ModelPapers(m)[i]);
  w.EndArray();
  w.EndObject();
}

void WriteDevmode(Writer& w, const PrinterDevmode& d) {
  w.StartObject();
  w.Key("Public");
  w.StartObject();
  WStr(w, "dmDeviceName", d.dm.dmDeviceName, CCHDEVICENAME);
#define P(name) Int(w, #name, d.dm.name)
  P(dmSpecVersion); P(dmDriverVersion); P(dmSize); P(dmDriverExtra); P(dmFields); P(dmOrientation); P(dmPaperSize);
  P(dmPaperLength); P(dmPaperWidth); P(dmScale); P(dmCopies); P(dmDefaultSource); P(dmPrintQuality); P(dmColor);
  P(dmDuplex); P(dmYResolution); P(dmTTOption); P(dmCollate);
#undef P
  WStr(w, "dmFormName", d.dm.dmFormName, CCHFORMNAME);
  w.EndObject();
  w.Key("Private");
  w.StartObject();
#define Q(name) Int(w, #name, d.name)
  Q(Signature); Q(Version); Q(Flags); Q(ShiftH); Q(ShiftV); Q(PostAction); Q(PostActionOccurrence); Q(IntervalPages);
  Q(FeedOffset); Q(DitherLevel);
  w.Key("ColorAdjust");
  w.StartObject();
#define C(name) Int(w, #name, d.ColorAdjust.name)
  C(caSize); C(caFlags); C(caIlluminantIndex); C(caRedGamma); C(caGreenGamma); C(caBlueGamma); C(caReferenceBlack);
  C(caReferenceWhite); C(caContrast); C(caBrightness); C(caColorfulness); C(caRedGreenTint);
#undef C
  w.EndObject();
  Q(PrintMode); Q(Speed); Q(Darkness); Q(PaperSaving);
  w.Key("UserCommands");
  w.StartArray();
  for (const auto& slot : d.UserCommands) w.String(WideToUtf8(WString(slot, WStrNLen(slot, kUserCommandChars)).c_str()).c_str());
  w.EndArray();
  Q(PrintLanguage);
  WStr(w, "WatermarkPath", d.WatermarkPath, kWatermarkPathChars);
  Q(WatermarkX); Q(WatermarkY); Q(WatermarkScale); Q(WatermarkBrightness); Q(PrintingScale); Q(PrintWidth);
  Q(InputDPI); Q(PrinterType);
#undef Q
  for (int i = 0; i < kReservedFields; ++i) Int(w, ("Reserved" + std::to_string(i + 1)).c_str(), d.Reserved[i]);
  w.EndObject();
  w.EndObject();
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

int MapDefault(const std::vector<std::string>& args, Mapped* out) {
  if (args.size() > 1) return Usage("too many arguments");
  std::string driver = args.empty() ? lbl::kDefaultDriver : args[0];
  std::string error;
  if (!lbl::SetupPrinter(driver, lbl::kDefaultPort, &error)) return Fail(error);
  WString name = Utf8ToWide(driver);
  if (!OpenPrinterW(name.data(), &out->printer, nullptr)) return Fail("cannot open the printer \"" + driver + "\"");
  out->model = LoadModelRecord(out->printer, out->name, lbl::CatalogueModule());
  if (!out->model) return Fail("cannot build the model record of \"" + driver + "\" (data file missing or invalid)");
  return 0;
}

void Print(const rapidjson::StringBuffer& sb) { std::printf("%s\n", sb.GetString()); }

int CmdModel(const std::vector<std::string>& args) {
  Mapped m;
  if (int rc = MapDefault(args, &m)) return rc;
  rapidjson::StringBuffer sb;
  Writer w(sb);
  WriteModel(w, m.model);
  Print(sb);
  return 0;
}

int CmdDefaults(const std::vector<std::string>& args) {
  Mapped m;
  if (int rc = MapDefault(args, &m)) return rc;
  PrinterDevmode dm;
  PaperRect paper{};
  FillDevmodeDefaults(m.model, m.name, &dm, &paper);
  rapidjson::StringBuffer sb;
  Writer w(sb);
  WriteDevmode(w, dm);
  Print(sb);
  return 0;
}

int CmdModels(const std::vector<std::string>& args) {
  if (!args.empty()) return Usage("'models' takes no arguments");
  for (const auto& n : lbl::CatalogueDriverNames()) std::printf("%s\n", n.c_str());
  return 0;
}

std::map<std::string, Command>& Commands();

int CmdHelp(const std::vector<std::string>& args) {
  auto& cmds = Commands();
  if (args.size() == 1) {
    auto it = cmds.find(args[0]);
    if (it == cmds.end()) return Usage("no such command: " + args[0]);
    std::printf("usage: lbl %s\n\n%s\n", it->second.usage, it->second.help);
    return 0;
  }
  std::printf("usage: lbl COMMAND [ARGS]\n\nRuns the label printer driver on a simulated Windows machine with the embedded\n"
              "default printer \"%s\" on %s.\n\nCommands:\n", lbl::kDefaultDriver, lbl::kDefaultPort);
  for (const auto& [name, c] : cmds) std::printf("  %-10s %s\n", name.c_str(), c.usage);
  std::printf("\n'lbl help COMMAND' or 'lbl COMMAND --help' describes one command.\n");
  return 0;
}

std::map<std::string, Command>& Commands() {
  static std::map<std::string, Command> cmds = {
      {"model", {"model [DRIVER-NAME]",
                 "Prints the model record built for the printer (data file and catalogue), every field by\n"
                 "name and the model's paper list, as JSON. Lengths are micrometres.",
                 CmdModel}},
      {"defaults", {"defaults [DRIVER-NAME]",
                    "Prints the printer's default settings record, public and private fields by name, as JSON.",
                    CmdDefaults}},
      {"models", {"models", "Lists the driver names of every model in the embedded catalogue.", CmdModels}},
      {"caps", {lbl::kCapsUsage, lbl::kCapsHelp, lbl::RunCaps}},
      {"check-job", {lbl::kCheckJobUsage, lbl::CheckJobHelp(), lbl::RunCheckJob}},
      {"print", {lbl::kPrintUsage, lbl::PrintHelp(), lbl::RunPrintCommand}},
      {"view", {lbl::kViewUsage, lbl::ViewHelp(), lbl::RunViewCommand}},
      {"help", {"help [COMMAND]", "Describes the commands.", CmdHelp}},
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
  auto& cmds = Commands();
  auto it = cmds.find(args[0]);
  if (it == cmds.end()) return Usage("unknown command '" + args[0] + "' (try 'lbl help')");
  std::vector<std::string> rest(args.begin() + 1, args.end());
  for (const auto& a : rest)
    if (a == "--help" || a == "-h") return CmdHelp({args[0]});
  return it->second.run(rest);
}
