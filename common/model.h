// The model record: the driver data file header completed from the JSON model catalogue.
#pragma once

#include <cstddef>
#include <cstdint>

#include "common/paper.h"
#include "common/platform.h"

constexpr uint32_t kDataFileMagic = 0x6C776E54;  // "Tnwl" read little-endian
constexpr uint16_t kDataFileHeaderSize = 360;
constexpr size_t kDataFileCopiedBytes = 336;     // the header up to its (ignored) descriptors
constexpr int kCatalogueResourceId = 119;

// Model flag bits.
constexpr uint32_t kModelRaster = 0x001;
constexpr uint32_t kModelColour = 0x002;
constexpr uint32_t kModelThermalTransfer = 0x004;
constexpr uint32_t kModelLowQuality = 0x008;
constexpr uint32_t kModelRollPaper = 0x080;
constexpr uint32_t kModelPaperTrack = 0x100;

// Catalogue language bits.
constexpr uint16_t kLangBitEsc = 1;
constexpr uint16_t kLangBitTspl = 2;
constexpr uint16_t kLangBitZpl = 4;
constexpr uint16_t kLangBitTwl = 8;

struct VarDescriptor {
  uint16_t Count;
  uint16_t EntrySize;
  void* Data;
};

struct ModelRecord {
  uint32_t Magic;
  uint32_t Version;
  uint16_t HeaderSize;
  uint16_t ExtraSize;
  char DeviceName[32];
  int32_t MaxWidth;
  int32_t MaxLength;
  int32_t MarginLeft;
  int32_t MarginTop;
  int32_t MarginRight;
  int32_t MarginBottom;
  uint32_t Flags;
  uint32_t XDpi;
  uint32_t YDpi;
  uint16_t RasterXDpi;
  uint16_t RasterYDpi;
  uint16_t RopLevel;
  uint16_t MaxScale;
  uint16_t MaxPens;
  uint16_t MaxCopies;
  uint16_t MaxPolygonPoints;
  uint16_t MaxQuality;
  int32_t PaperTrackWidth;
  int32_t PaperTrackLength;
  COLORINFO ColorInfo;
  uint32_t DevicePelsDpi;
  uint32_t HalftonePatternSize;
  // model block, filled from the catalogue
  uint16_t PrintDirection;
  uint16_t Pad0;
  uint16_t SdramSize;
  uint16_t FlashSize;
  uint16_t Accessories;
  uint16_t Rfid;
  uint16_t PaperAlignment;
  uint16_t OutDirection;
  uint16_t SensorType;
  uint16_t DefaultSensorType;
  uint16_t GapHeight;
  uint16_t GapOffset;
  uint32_t Unused0;
  int32_t MinLabelWidth;
  int32_t MinLabelLength;
  uint16_t SpeedMax;
  uint16_t SpeedMin;
  uint16_t Speed;
  uint16_t SpeedStep;
  uint16_t DarknessMax;
  uint16_t Darkness;
  uint16_t PaperSaving;
  uint16_t LanguageSet;
  uint16_t LanguageDefault;
  uint16_t Config2SpeedMax;
  uint16_t Config2SpeedMin;
  uint16_t Config2Speed;
  uint16_t Config2SpeedStep;
  uint16_t Config2DarknessMax;
  uint16_t Config2Darkness;
  uint16_t Pad1;
  int32_t ShiftH;
  int32_t ShiftV;
  uint32_t DitherLevel;
  uint32_t PostAction;
  uint16_t WatermarkX;
  uint16_t WatermarkY;
  uint16_t WatermarkScale;
  uint16_t WatermarkBrightness;
  uint16_t PrinterType;
  uint16_t PrintingScale;
  int32_t PrintWidth;
  uint16_t InputDPI;
  uint16_t Pad2;
  // in memory only
  VarDescriptor InitString;
  VarDescriptor Forms;  // the model's paper list: PaperRecord entries, entry 0 is "USER"
  VarDescriptor Pens;
};

static_assert(offsetof(ModelRecord, HeaderSize) == 8);
static_assert(offsetof(ModelRecord, ExtraSize) == 10);
static_assert(offsetof(ModelRecord, DeviceName) == 12);
static_assert(offsetof(ModelRecord, MaxWidth) == 44);
static_assert(offsetof(ModelRecord, MarginLeft) == 52);
static_assert(offsetof(ModelRecord, MarginBottom) == 64);
static_assert(offsetof(ModelRecord, Flags) == 68);
static_assert(offsetof(ModelRecord, XDpi) == 72);
static_assert(offsetof(ModelRecord, RasterXDpi) == 80);
static_assert(offsetof(ModelRecord, RopLevel) == 84);
static_assert(offsetof(ModelRecord, MaxQuality) == 94);
static_assert(offsetof(ModelRecord, PaperTrackWidth) == 96);
static_assert(offsetof(ModelRecord, ColorInfo) == 104);
static_assert(offsetof(ModelRecord, DevicePelsDpi) == 224);
static_assert(offsetof(ModelRecord, HalftonePatternSize) == 228);
static_assert(offsetof(ModelRecord, PrintDirection) == 232);
static_assert(offsetof(ModelRecord, SdramSize) == 236);
static_assert(offsetof(ModelRecord, GapHeight) == 252);
static_assert(offsetof(ModelRecord, MinLabelWidth) == 260);
static_assert(offsetof(ModelRecord, SpeedMax) == 268);
static_assert(offsetof(ModelRecord, LanguageDefault) == 284);
static_assert(offsetof(ModelRecord, Config2Darkness) == 296);
static_assert(offsetof(ModelRecord, ShiftH) == 300);
static_assert(offsetof(ModelRecord, DitherLevel) == 308);
static_assert(offsetof(ModelRecord, WatermarkX) == 316);
static_assert(offsetof(ModelRecord, PrinterType) == 324);
static_assert(offsetof(ModelRecord, PrintWidth) == 328);
static_assert(offsetof(ModelRecord, InputDPI) == 332);
static_assert(offsetof(ModelRecord, InitString) == kDataFileCopiedBytes);
static_assert(sizeof(void*) != 8 || sizeof(ModelRecord) == 384, "64-bit in-memory record is 384 bytes");

// Reads and normalises a data file image (at least 360 bytes). Returns a LocalAlloc'd record
// of sizeof(ModelRecord) + ExtraSize bytes, or nullptr with ERROR_INVALID_DATA / ERROR_NOT_ENOUGH_MEMORY.
ModelRecord* ParseDataFile(const void* bytes, size_t size);
// Opens and reads the data file; nullptr when missing, short or with a wrong header.
ModelRecord* ReadDataFile(LPCWSTR path);
void NormaliseModelRecord(ModelRecord* model);

// Builds the record for a printer: data file of its driver, then the catalogue in `module`.
// nameOut (optional, 32 WCHARs) receives the printer name. Free with FreeModelRecord.
ModelRecord* LoadModelRecord(HANDLE printer, WCHAR* nameOut, HMODULE module);
// Releases the record and its paper list.
void FreeModelRecord(ModelRecord* model);

// The model's paper list: entries 0..count-1; entry 0 is "USER" when papers were taken.
inline PaperRecord* ModelPapers(const ModelRecord* m) { return static_cast<PaperRecord*>(m->Forms.Data); }
inline int ModelPaperCount(const ModelRecord* m) { return m->Forms.Data ? m->Forms.Count : 0; }
// True when the catalogue gave the model at least one paper.
inline bool ModelHasPapers(const ModelRecord* m) { return m->Forms.Data && m->Forms.Count > 1; }

class PrinterModel {
 public:
  // Completes `model` from the catalogue resource "JSON" 119 of `module` for the driver name
  // "<vendor> <model>". Failures leave the record as the data file made it.
  static void LoadJson(HMODULE module, ModelRecord* model, LPCWSTR driverName);
  // Same over a catalogue text already in memory.
  static void LoadJsonText(const char* text, size_t size, ModelRecord* model, LPCWSTR driverName);
};
