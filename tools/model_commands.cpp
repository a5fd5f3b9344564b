#include "tools/model_commands.h"

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "common/devmode.h"
#include "common/model.h"
#include "common/wstr.h"
#include "tools/embedded.h"
#include "tools/exit_status.h"
#include "tools/job_options.h"
#include "tools/json_out.h"
#include "tools/settings_fields.h"

namespace lbl {

void WritePaperMembers(JsonOut& j, const PaperRecord& p, bool stock) {
  if (!stock) j.Int("Index", p.Index);
  j.WStr("Name", p.Name, kPaperNameChars);
  j.Int("Width", p.Width);
  j.Int("Length", p.Length);
  j.Int("MarginLeft", p.MarginLeft);
  if (!stock) j.Int("MarginTop", p.MarginTop);
  j.Int("MarginRight", p.MarginRight);
  if (!stock) j.Int("MarginBottom", p.MarginBottom);
  j.Int("Flags", p.Flags);
  j.Int("GapHeight", p.GapHeight);
  j.Int("GapOffset", p.GapOffset);
  j.Int("Speed", p.Speed);
  j.Int("Darkness", p.Darkness);
}

namespace {

void WritePaper(JsonOut& j, const PaperRecord& p) {
  j.W().StartObject();
  WritePaperMembers(j, p, false);
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

// The printer of --printer NAME, --model DRIVER-NAME or a DRIVER-NAME operand (the same as --model), else
// the default printer. 2 for a usage error (message printed), 1 when it cannot be opened, else 0.
int MapPrinter(const std::vector<std::string>& args, Mapped* out, std::string* error) {
  std::vector<std::string> rest = args;
  JobOptions choice;
  if (!ParsePrinterOptions(&rest, &choice, error)) return Usage(*error);
  if (rest.size() > 1 || (rest.size() == 1 && (!choice.model.empty() || !choice.printer.empty())))
    return Usage("too many arguments");
  if (rest.size() == 1) choice.model = rest[0];
  TargetPrinter target;
  if (!OpenTargetPrinter(choice.printer, choice.model, &target, error)) return 1;
  WString name = Utf8ToWide(target.name);
  if (!OpenPrinterW(name.data(), &out->printer, nullptr)) {
    *error = "cannot open the printer \"" + target.name + "\"";
    return 1;
  }
  out->model = LoadModelRecord(out->printer, out->name, CatalogueModule());
  if (!out->model) {
    *error = "cannot build the model record of \"" + target.name + "\" (data file missing or invalid)";
    return 1;
  }
  return 0;
}

int CmdModel(const std::vector<std::string>& args) {
  Mapped m;
  std::string error;
  if (MapPrinter(args, &m, &error) == 2) return 2;
  JsonOut j;
  WriteModel(j, m.model);
  return j.Emit(error);
}

int CmdDefaults(const std::vector<std::string>& args) {
  Mapped m;
  std::string error;
  PrinterDevmode dm;
  const int mapped = MapPrinter(args, &m, &error);
  if (mapped == 2) return 2;
  // The model's defaults with the printer's own (its Printing Preferences) over them.
  const bool built = mapped == 0 && BuildJobDevmode(m.printer, CatalogueModule(), JobOptions{}, &dm, &error);
  JsonOut j;
  WriteAllSettingsFields(j, built ? &dm : nullptr);
  return j.Emit(error);
}

int CmdModels(const std::vector<std::string>& args) {
  if (!args.empty()) return Usage("'models' takes no arguments");
  for (const auto& n : CatalogueDriverNames()) std::printf("%s\n", n.c_str());
  return 0;
}

const char* const kUsageStatus = "0  success\n1  the operation failed (message on stderr)\n2  usage error";

}  // namespace

CommandSpec ModelCommand() {
  return {"model", "the model record (every field, and the paper list) as JSON",
          "model [DRIVER-NAME | --printer NAME | --model DRIVER-NAME]",
          "Prints the model record built for the printer (data file and catalogue), every field by\n"
          "name and the model's paper list, as JSON. Lengths are micrometres. DRIVER-NAME is --model's.",
          PrinterOptionTable(), kUsageStatus, "lbl model \"Tarnwell TW-JA\"", "@models", CmdModel};
}

CommandSpec DefaultsCommand() {
  return {"defaults", "the printer's default settings record as JSON",
          "defaults [DRIVER-NAME | --printer NAME | --model DRIVER-NAME]",
          "Prints the printer's default settings record as JSON: the model's defaults with the printer's\n"
          "Printing Preferences over them (what an application starts a job from), every field, under\n"
          "\"Public\" and \"Private\", by the name lbl print --set takes. DRIVER-NAME is --model's.",
          PrinterOptionTable(), kUsageStatus, "lbl defaults --printer Labels", "@models", CmdDefaults};
}

CommandSpec ModelsCommand() {
  return {"models", "the driver names the catalogue knows", "models",
          "Lists the driver names of every model in the embedded catalogue, one a line.",
          {}, "0  success\n2  usage error", "lbl models", "", CmdModels};
}

}  // namespace lbl
