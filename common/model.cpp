#include "common/model.h"

#include <cmath>
#include <cstring>
#include <limits>
#include <memory>

#include <rapidjson/document.h>

#include "common/alloc.h"
#include "common/debug.h"
#include "common/wstr.h"

namespace {

int32_t Rd32(const uint8_t* p) { return static_cast<int32_t>(p[0] | p[1] << 8 | p[2] << 16 | uint32_t(p[3]) << 24); }

int HalftoneSizeFor(uint32_t r) {
  if (r >= 2400) return 15;
  if (r >= 1800) return 13;
  if (r >= 1200) return 11;
  if (r >= 900) return 9;
  if (r >= 400) return 7;
  if (r >= 180) return 5;
  return 3;
}

const COLORINFO kDefaultColorInfo = {
    {6380, 3350, 0}, {2345, 6075, 0}, {1410, 932, 0},   {2000, 2450, 0}, {5210, 2100, 0},
    {4750, 5100, 0}, {3127, 3290, 0}, 12500, 12500, 12500, 585, 120, 0, 0, 0, 10000};

// ---- catalogue value access: a missing or mistyped key reads as 0 ----
using JValue = rapidjson::Value;

const JValue* Member(const JValue* obj, const char* key) {
  if (!obj || !obj->IsObject()) return nullptr;
  auto it = obj->FindMember(key);
  return it == obj->MemberEnd() ? nullptr : &it->value;
}

bool Has(const JValue* obj, const char* key) { return Member(obj, key) != nullptr; }

// Numbers read as 32-bit integers; fractions truncate toward zero, out-of-range values saturate.
int32_t AsInt(const JValue* v) {
  if (!v) return 0;
  if (v->IsInt()) return v->GetInt();
  if (v->IsUint()) return static_cast<int32_t>(v->GetUint());
  if (v->IsInt64()) return static_cast<int32_t>(v->GetInt64());
  if (v->IsUint64()) return static_cast<int32_t>(v->GetUint64());
  if (v->IsDouble()) {
    double d = v->GetDouble();
    if (!(d == d)) return 0;
    if (d >= 2147483647.0) return std::numeric_limits<int32_t>::max();
    if (d <= -2147483648.0) return std::numeric_limits<int32_t>::min();
    return static_cast<int32_t>(d);
  }
  return 0;
}

int32_t Int(const JValue* obj, const char* key) { return AsInt(Member(obj, key)); }
int32_t Int(const JValue* obj, const char* key, const char* sub) { return AsInt(Member(Member(obj, key), sub)); }

// Millimetres to micrometres in 32 bits, wrapping as the integer arithmetic of the record does.
int32_t Mm(int32_t v) { return static_cast<int32_t>(static_cast<int64_t>(v) * 1000); }

const JValue* Array(const JValue* obj, const char* key) {
  const JValue* v = Member(obj, key);
  return v && v->IsArray() ? v : nullptr;
}

// Paper sizes: read as a double, narrowed to single precision, scaled by 1000 in single precision.
int32_t PaperMm(const JValue* v) {
  double d = 0;
  if (v && v->IsNumber()) d = v->GetDouble();
  float f = static_cast<float>(d);
  volatile float scaled = f * 1000.0f;  // keep the single-precision rounding step
  float s = scaled;
  if (!(s == s)) return 0;
  if (s >= 2147483520.0f) return std::numeric_limits<int32_t>::max();
  if (s <= -2147483648.0f) return std::numeric_limits<int32_t>::min();
  return static_cast<int32_t>(s);
}

void ReadModelKeys(const JValue* m, ModelRecord* r) {
  uint32_t dpi = static_cast<uint32_t>(Int(m, "DPI"));
  r->XDpi = r->YDpi = dpi;
  r->RasterXDpi = r->RasterYDpi = static_cast<uint16_t>(dpi);
  r->DevicePelsDpi = dpi;
  r->MaxWidth = Mm(Int(m, "Maximum Print Width"));
  r->MaxLength = Mm(Int(m, "Maximum Print Length"));
  r->MinLabelLength = Mm(Int(m, "Minimum Label Length"));
  r->MinLabelWidth = Mm(Int(m, "Minimum Label Width"));
  r->GapHeight = static_cast<uint16_t>(Mm(Int(m, "Gap High")));
  r->GapOffset = static_cast<uint16_t>(Mm(Int(m, "Gap High Offset")));

  const JValue* density = Member(m, "Density");
  const JValue* speed = Member(m, "Speed");
  const JValue* langs = Member(m, "Printer Languages");
  r->Darkness = static_cast<uint16_t>(Int(density, "Value"));
  r->Speed = static_cast<uint16_t>(Int(speed, "Value"));
  r->LanguageDefault = static_cast<uint16_t>(Int(langs, "Value"));
  r->LanguageSet = 0;
  if (const JValue* opts = Array(langs, "Option"))
    for (const JValue& o : opts->GetArray()) r->LanguageSet |= static_cast<uint16_t>(AsInt(&o));

  r->DefaultSensorType = static_cast<uint16_t>(Int(m, "Sensor Type", "Value"));
  r->FlashSize = static_cast<uint16_t>(Int(m, "Memory Size", "FLASH"));
  r->SdramSize = static_cast<uint16_t>(Int(m, "Memory Size", "SDRAM"));

  // An empty or missing option list gives a one-step range at the model's own value,
  // so that the dialogs and the writers never index an empty list.
  const JValue* dOpts = Array(density, "Option");
  if (dOpts && !dOpts->Empty())
    r->DarknessMax = static_cast<uint16_t>(AsInt(&(*dOpts)[dOpts->Size() - 1]));
  else
    r->DarknessMax = r->Darkness;
  const JValue* sOpts = Array(speed, "Option");
  if (sOpts && !sOpts->Empty()) {
    r->SpeedMax = static_cast<uint16_t>(AsInt(&(*sOpts)[sOpts->Size() - 1]));
    r->SpeedMin = static_cast<uint16_t>(AsInt(&(*sOpts)[0]));
  } else {
    r->SpeedMax = r->SpeedMin = r->Speed;
  }
  r->SpeedStep = static_cast<uint16_t>(Int(speed, "Step"));
  if (!Has(speed, "SendThis")) r->Speed = 0;
  if (!Has(density, "SendThis")) r->Darkness = 0;

  const JValue* align = Member(m, "Paper Alignment");
  r->PaperAlignment = static_cast<uint16_t>(Int(align, "Value"));
  r->OutDirection = static_cast<uint16_t>(Int(align, "OutDirection"));
  const JValue* rfid = Member(m, "RFID");
  r->Rfid = (rfid && rfid->IsTrue()) ? 1 : 0;
  r->SensorType = static_cast<uint16_t>(Int(m, "Sensor Type", "Value"));
  if (Int(m, "Printing Mode", "Value") == 1)
    r->Flags |= kModelThermalTransfer;
  else
    r->Flags &= ~kModelThermalTransfer;
  r->Accessories = static_cast<uint16_t>((Int(m, "Accesories", "Cutter") ? 1 : 0) | (Int(m, "Accesories", "Peeler") ? 2 : 0));

  if (const JValue* c2 = Member(m, "Config2")) {
    const JValue* c2d = Member(c2, "Density");
    const JValue* c2s = Member(c2, "Speed");
    r->Config2Darkness = static_cast<uint16_t>(Int(c2d, "Value"));
    const JValue* o = Array(c2d, "Option");
    r->Config2DarknessMax = (o && !o->Empty()) ? static_cast<uint16_t>(AsInt(&(*o)[o->Size() - 1])) : r->Config2Darkness;
    r->Config2Speed = static_cast<uint16_t>(Int(c2s, "Value"));
    o = Array(c2s, "Option");
    if (o && !o->Empty()) {
      r->Config2SpeedMin = static_cast<uint16_t>(AsInt(&(*o)[0]));
      r->Config2SpeedMax = static_cast<uint16_t>(AsInt(&(*o)[o->Size() - 1]));
    } else {
      r->Config2SpeedMin = r->Config2SpeedMax = r->Config2Speed;
    }
    r->Config2SpeedStep = static_cast<uint16_t>(Int(c2s, "Step"));
  }
  if (const JValue* extra = Member(m, "ExtraSettings")) {
    r->ShiftH = Mm(Int(extra, "ShiftH"));
    r->ShiftV = Mm(Int(extra, "ShiftV"));
  }
  r->DitherLevel = Has(m, "DitherLevel") ? static_cast<uint32_t>(Int(m, "DitherLevel")) : 8;
  r->PostAction = Has(m, "PostAction") ? static_cast<uint32_t>(Int(m, "PostAction")) : 1;
  if (Has(m, "PaperSaving")) r->PaperSaving = static_cast<uint16_t>(Int(m, "PaperSaving", "Value"));
  if (Has(m, "PrinterType")) r->PrinterType = static_cast<uint16_t>(Int(m, "PrinterType"));
  if (Has(m, "PrintingScale")) r->PrintingScale = static_cast<uint16_t>(Int(m, "PrintingScale"));
  if (Has(m, "PrintWidth")) r->PrintWidth = Mm(Int(m, "PrintWidth"));
  if (Has(m, "PrintDirection")) r->PrintDirection = static_cast<uint16_t>(Int(m, "PrintDirection"));
  if (Has(m, "InputDPI")) r->InputDPI = static_cast<uint16_t>(Int(m, "InputDPI"));
}

void BuildPaperList(const JValue* papers, ModelRecord* r) {
  if (!papers) return;
  size_t n = papers->Size();
  if (n >= 0xFFFF) n = 0xFFFE;  // the descriptor counts in 16 bits
  auto* list = static_cast<PaperRecord*>(LocalAlloc(LPTR, (n + 1) * sizeof(PaperRecord)));
  if (!list) return;
  if (r->Forms.Data) LocalFree(r->Forms.Data);
  r->Forms.Data = list;
  r->Forms.Count = 1;
  r->Forms.EntrySize = sizeof(PaperRecord);
  bool transfer = (r->Flags & kModelThermalTransfer) != 0;
  for (size_t i = 0; i < n; ++i) {
    const JValue* p = &(*papers)[static_cast<rapidjson::SizeType>(i)];
    int32_t width = PaperMm(Member(p, "Width"));
    if (width > r->MaxWidth) continue;
    PaperRecord& e = list[r->Forms.Count];
    const JValue* name = Member(p, "Paper Name");
    if (name && name->IsString() && name->GetStringLength() < kPaperNameChars) {
      WString w = AnsiToWide(name->GetString(), name->GetStringLength());
      WStrCopy(e.Name, kPaperNameChars, w.c_str());
    }
    const JValue* margin = Member(p, "Margin");
    e.Width = width;
    e.Length = PaperMm(Member(p, "Height"));
    e.MarginLeft = PaperMm(Member(margin, "Left")) + r->MarginLeft;
    e.MarginTop = PaperMm(Member(margin, "Top")) + r->MarginTop;
    e.MarginRight = PaperMm(Member(margin, "Right")) + r->MarginRight;
    e.MarginBottom = PaperMm(Member(margin, "Bottom")) + r->MarginBottom;
    e.GapHeight = PaperMm(Member(p, "Gap"));
    e.GapOffset = PaperMm(Member(p, "GapOffset"));
    uint32_t type = static_cast<uint32_t>(Int(p, "Type"));
    e.Flags = (type & ~(kPaperDirectThermal | kPaperThermalTransfer)) |
              (transfer ? kPaperThermalTransfer : kPaperDirectThermal) | kPaperInUse;
    ++r->Forms.Count;
  }
  if (r->Forms.Count > 1) {
    list[0] = list[1];
    WStrCopy(list[0].Name, kPaperNameChars, TEXT("USER"));
  }
}

}  // namespace

void NormaliseModelRecord(ModelRecord* r) {
  r->DeviceName[sizeof(r->DeviceName) - 1] = 0;
  r->Flags &= 0x3FFF;
  if (int64_t(r->MaxWidth) - r->MarginLeft - r->MarginRight < 10000)
    r->MaxWidth = static_cast<int32_t>(int64_t(r->MarginLeft) + r->MarginRight + 10000);
  if (r->MaxLength < 10000) r->MaxLength = 15240000;
  if (int64_t(r->MaxLength) - r->MarginTop - r->MarginBottom < 10000)
    r->MaxLength = static_cast<int32_t>(int64_t(r->MarginTop) + r->MarginBottom + 10000);
  r->YDpi = r->XDpi;
  r->RasterYDpi = r->RasterXDpi;
  if (r->RopLevel > 3) r->RopLevel = 3;
  if (r->MaxScale > 10000) r->MaxScale = 10000;
  if (!(r->Flags & kModelRaster) && r->MaxPens > 32) r->MaxPens = 32;
  if (r->MaxPolygonPoints < 3) r->MaxPolygonPoints = 0;
  if (r->MaxQuality > 4) r->MaxQuality = 4;
  if (r->Flags & kModelPaperTrack) {
    if (r->PaperTrackWidth != r->MaxWidth && r->PaperTrackLength != r->MaxWidth) {
      r->PaperTrackWidth = r->MaxWidth;
      r->PaperTrackLength = r->MaxLength;
    }
  } else {
    r->PaperTrackWidth = r->PaperTrackLength = 0;
  }
  if (r->ColorInfo.Cyan.Y == 0) {
    r->ColorInfo = kDefaultColorInfo;
    r->DevicePelsDpi = 0;
  } else if (r->DevicePelsDpi < 30 || r->DevicePelsDpi > r->RasterXDpi) {
    r->DevicePelsDpi = 0;
  }
  if (r->HalftonePatternSize > 15)
    r->HalftonePatternSize = HalftoneSizeFor(r->RasterXDpi < r->RasterYDpi ? r->RasterXDpi : r->RasterYDpi);
  r->InitString = r->Forms = r->Pens = VarDescriptor{0, 0, nullptr};
  if (!(r->Flags & kModelRaster)) r->Flags |= 0x202;
}

ModelRecord* ParseDataFile(const void* bytes, size_t size) {
  const auto* p = static_cast<const uint8_t*>(bytes);
  if (!p || size < kDataFileHeaderSize || static_cast<uint32_t>(Rd32(p)) != kDataFileMagic ||
      (p[8] | p[9] << 8) != kDataFileHeaderSize) {
    SetLastError(ERROR_INVALID_DATA);
    return nullptr;
  }
  uint16_t extra = static_cast<uint16_t>(p[10] | p[11] << 8);
  auto* r = static_cast<ModelRecord*>(LocalAlloc(LPTR, sizeof(ModelRecord) + extra));
  if (!r) {
    SetLastError(ERROR_NOT_ENOUGH_MEMORY);
    return nullptr;
  }
  std::memcpy(r, p, kDataFileCopiedBytes);
  r->HeaderSize = sizeof(ModelRecord);
  NormaliseModelRecord(r);
  return r;
}

ModelRecord* ReadDataFile(LPCWSTR path) {
  HANDLE f = CreateFileW(path, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (f == INVALID_HANDLE_VALUE) return nullptr;
  uint8_t header[kDataFileHeaderSize];
  DWORD got = 0;
  BOOL ok = ReadFile(f, header, sizeof header, &got, nullptr);
  CloseHandle(f);
  if (!ok || got != sizeof header) {
    SetLastError(ERROR_INVALID_DATA);
    return nullptr;
  }
  return ParseDataFile(header, got);
}

void FreeModelRecord(ModelRecord* model) {
  if (!model) return;
  if (model->Forms.Data) LocalFree(model->Forms.Data);
  LocalFree(model);
}

void PrinterModel::LoadJsonText(const char* text, size_t size, ModelRecord* r, LPCWSTR driverName) {
  if (!r || !driverName) return;
  std::string name;
  if (WStrLen(driverName) < 50) name = WideToAnsi(driverName);
  size_t space = name.find(' ');
  if (space == std::string::npos) {
    OutputDebugStringA("Unable to split Vender name and Model name from the DeviceName.");
    return;
  }
  std::string vendor = name.substr(0, space);
  std::string modelName = name.substr(space + 1);
  if (!text || size == 0) return;
  if (size >= 3 && static_cast<uint8_t>(text[0]) == 0xEF && static_cast<uint8_t>(text[1]) == 0xBB &&
      static_cast<uint8_t>(text[2]) == 0xBF) {
    text += 3;
    size -= 3;
  }
  rapidjson::Document doc;
  doc.Parse(text, size);
  if (doc.HasParseError()) {
    DbgPrint(TEXT("PrinterModel::LoadJson: Json reader parsing error:%d\r\n"), static_cast<int>(doc.GetParseError()));
    return;
  }
  const JValue* models = nullptr;
  const JValue* papers = nullptr;
  bool vendorFound = false;
  if (const JValue* vendors = Array(&doc, "Venders")) {
    for (const JValue& v : vendors->GetArray()) {
      const JValue* vn = Member(&v, "Vender Name");
      if (vn && vn->IsString() && vendor == std::string(vn->GetString(), vn->GetStringLength())) {
        vendorFound = true;
        models = Array(&v, "Models");
        papers = Array(&v, "Papers");
      }
    }
  }
  const JValue* model = nullptr;
  if (models) {
    for (const JValue& m : models->GetArray()) {
      const JValue* mn = Member(&m, "Model Name");
      if (mn && mn->IsString() && modelName == std::string(mn->GetString(), mn->GetStringLength())) model = &m;
    }
  }
  if (model) ReadModelKeys(model, r);
  if (vendorFound) BuildPaperList(papers, r);
  r->MaxCopies = 32767;
  r->WatermarkX = 50;
  r->WatermarkY = 50;
  r->WatermarkScale = 100;
  r->WatermarkBrightness = 128;
}

void PrinterModel::LoadJson(HMODULE module, ModelRecord* r, LPCWSTR driverName) {
  if (!r || !driverName) return;
  // The split is checked before the resource so that its message comes out even without a catalogue.
  if (WStrLen(driverName) >= 50 || !WStrStr(driverName, TEXT(" "))) {
    OutputDebugStringA("Unable to split Vender name and Model name from the DeviceName.");
    return;
  }
  HRSRC res = FindResourceW(module, MAKEINTRESOURCEW(kCatalogueResourceId), TEXT("JSON"));
  if (!res) return;
  DWORD size = SizeofResource(module, res);
  HGLOBAL loaded = LoadResource(module, res);
  if (!loaded || size == 0) return;
  const char* text = static_cast<const char*>(LockResource(loaded));
  if (!text) return;
  LoadJsonText(text, size, r, driverName);
}

ModelRecord* LoadModelRecord(HANDLE printer, WCHAR* nameOut, HMODULE module) {
  if (!printer) {
    SetLastError(ERROR_INVALID_HANDLE);
    return nullptr;
  }
  DWORD needed = 0;
  if (GetPrinterDriverW(printer, nullptr, 2, nullptr, 0, &needed) || GetLastError() != ERROR_INSUFFICIENT_BUFFER ||
      needed < sizeof(DRIVER_INFO_2W))
    return nullptr;
  std::unique_ptr<DRIVER_INFO_2W, LocalDeleter> info(static_cast<DRIVER_INFO_2W*>(LocalAlloc(LPTR, needed)));
  if (!info) return nullptr;
  ModelRecord* model = nullptr;
  if (GetPrinterDriverW(printer, nullptr, 2, reinterpret_cast<LPBYTE>(info.get()), needed, &needed) && info->pDataFile) {
    if (nameOut) {
      nameOut[0] = 0;
      DWORD need1 = 0;
      GetPrinterW(printer, 1, nullptr, 0, &need1);
      if (need1 >= sizeof(PRINTER_INFO_1W)) {
        std::unique_ptr<PRINTER_INFO_1W, LocalDeleter> p1(static_cast<PRINTER_INFO_1W*>(LocalAlloc(LPTR, need1)));
        if (p1 && GetPrinterW(printer, 1, reinterpret_cast<LPBYTE>(p1.get()), need1, &need1) && p1->pName)
          WStrCopy(nameOut, 32, p1->pName);
      }
    }
    model = ReadDataFile(info->pDataFile);
    try {
      if (model) PrinterModel::LoadJson(module, model, info->pName);
    } catch (...) {
      FreeModelRecord(model);  // a throw must not take the record with it
      throw;
    }
  }
  return model;
}
