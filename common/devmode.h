// The printer settings record: public DEVMODEW followed by the driver's private block,
// plus the printer-data values that travel beside it.
#pragma once

#include <cstddef>
#include <cstdint>

#include "common/model.h"
#include "common/paper.h"
#include "common/platform.h"

constexpr uint32_t kDevmodeSignature = 0x5457444D;  // 'TWDM', stored as the bytes "MDWT"
constexpr uint32_t kDevmodeVersion = 0x1010;
constexpr WORD kDevmodePublicSize = 220;
constexpr WORD kDevmodePrivateSize = 2748;
constexpr WORD kDevmodeSpecVersion = 0x401;
constexpr WORD kDevmodeDriverVersion = 0x600;
constexpr int kUserCommandSlots = 4;
constexpr int kUserCommandChars = 262;
constexpr int kWatermarkPathChars = 260;
constexpr int kReservedFields = 13;

// Private Flags bits.
constexpr uint32_t kFlagMirror = 0x001;
constexpr uint32_t kFlagNegative = 0x002;
constexpr uint32_t kFlagOutDir0 = 0x004;
constexpr uint32_t kFlagOutDir1 = 0x008;
constexpr uint32_t kFlagAlignMask = 0x070;
constexpr uint32_t kFlagAlignCentre = 0x020;
constexpr uint32_t kFlagAlignRight = 0x040;
constexpr uint32_t kFlagRotate180 = 0x080;
constexpr uint32_t kFlagWatermark = 0x100;
constexpr uint32_t kFlagStoredMask = 0xFFF;

// Print languages of PrintLanguage.
enum PrintLanguage : uint32_t { kLangTwl = 0, kLangEsc = 1, kLangTspl = 2, kLangZpl = 3 };

// Extra bit of the merge mask: ColorAdjust had to be repaired.
constexpr DWORD kMaskColorAdjust = 0x20000000;
// Extra bit of the merge mask: a private field lay outside what the settings pages can produce
// and kept its previous value.
constexpr DWORD kMaskPrivateRange = 0x40000000;
constexpr DWORD kPaperFieldsMask = DM_PAPERSIZE | DM_PAPERLENGTH | DM_PAPERWIDTH | DM_FORMNAME;  // 0x1000E

struct PrinterDevmode {
  DEVMODEW dm;
  uint32_t Signature;
  uint32_t Version;
  uint32_t Flags;
  int32_t ShiftH;
  int32_t ShiftV;
  uint32_t PostAction;
  uint32_t PostActionOccurrence;
  uint32_t IntervalPages;
  int32_t FeedOffset;
  uint32_t DitherLevel;
  COLORADJUSTMENT ColorAdjust;
  uint32_t PrintMode;
  uint32_t Speed;
  uint32_t Darkness;
  uint32_t PaperSaving;
  WCHAR UserCommands[kUserCommandSlots][kUserCommandChars];
  uint32_t PrintLanguage;
  WCHAR WatermarkPath[kWatermarkPathChars];
  int16_t WatermarkX;
  int16_t WatermarkY;
  int16_t WatermarkScale;
  int16_t WatermarkBrightness;
  int16_t PrintingScale;
  int16_t Pad0;
  int32_t PrintWidth;
  int16_t InputDPI;
  int16_t PrinterType;
  int16_t Reserved[kReservedFields];  // Reserved1 .. Reserved13
  int16_t Pad1;
};

static_assert(sizeof(PrinterDevmode) == 2968);
static_assert(offsetof(PrinterDevmode, Signature) == 220);
static_assert(offsetof(PrinterDevmode, Version) == 224);
static_assert(offsetof(PrinterDevmode, Flags) == 228);
static_assert(offsetof(PrinterDevmode, ShiftH) == 232);
static_assert(offsetof(PrinterDevmode, ShiftV) == 236);
static_assert(offsetof(PrinterDevmode, PostAction) == 240);
static_assert(offsetof(PrinterDevmode, PostActionOccurrence) == 244);
static_assert(offsetof(PrinterDevmode, IntervalPages) == 248);
static_assert(offsetof(PrinterDevmode, FeedOffset) == 252);
static_assert(offsetof(PrinterDevmode, DitherLevel) == 256);
static_assert(offsetof(PrinterDevmode, ColorAdjust) == 260);
static_assert(offsetof(PrinterDevmode, PrintMode) == 284);
static_assert(offsetof(PrinterDevmode, Speed) == 288);
static_assert(offsetof(PrinterDevmode, Darkness) == 292);
static_assert(offsetof(PrinterDevmode, PaperSaving) == 296);
static_assert(offsetof(PrinterDevmode, UserCommands) == 300);
static_assert(offsetof(PrinterDevmode, PrintLanguage) == 2396);
static_assert(offsetof(PrinterDevmode, WatermarkPath) == 2400);
static_assert(offsetof(PrinterDevmode, WatermarkX) == 2920);
static_assert(offsetof(PrinterDevmode, WatermarkY) == 2922);
static_assert(offsetof(PrinterDevmode, WatermarkScale) == 2924);
static_assert(offsetof(PrinterDevmode, WatermarkBrightness) == 2926);
static_assert(offsetof(PrinterDevmode, PrintingScale) == 2928);
static_assert(offsetof(PrinterDevmode, PrintWidth) == 2932);
static_assert(offsetof(PrinterDevmode, InputDPI) == 2936);
static_assert(offsetof(PrinterDevmode, PrinterType) == 2938);
static_assert(offsetof(PrinterDevmode, Reserved) == 2940);
static_assert(sizeof(PrinterDevmode) - sizeof(DEVMODEW) == kDevmodePrivateSize);

constexpr int kLogFolderChars = 260;

// Printer option flags "PPDataFlags".
constexpr DWORD kPropAcceptAnyPaper = 0x02;
constexpr DWORD kPropDefaultBit = 0x04;
constexpr DWORD kPropCaptureCode = 0x08;
constexpr DWORD kPropLockSettings = 0x10;
constexpr DWORD kPropDefaultFlags = 6;

struct PrinterPropData {
  DWORD Flags;
  WCHAR LogFolder[kLogFolderChars];
};

// Printer-data value names.
#define LBL_VALUE_FORMS TEXT("FORMS")
#define LBL_VALUE_INSTALLED_FORM TEXT("InstalledForm")
#define LBL_VALUE_PPDATAFLAGS TEXT("PPDataFlags")
#define LBL_VALUE_LOGFOLDER TEXT("LogFolder")

// The COLORADJUSTMENT the driver starts from.
COLORADJUSTMENT DefaultColorAdjust();
// Repairs out-of-range members; true when anything was replaced.
bool RepairColorAdjust(COLORADJUSTMENT* ca);

// The default InstalledPaper of a model: its first paper, or "USER" 78.6 x 130 mm.
InstalledPaper DefaultInstalledPaper(const ModelRecord* model);

// Fills `out` with the printer's defaults. `model` may be adjusted (device name, colour bit,
// ESC darkness range) as the defaults require. `paper` (optional) gets the default paper.
void FillDevmodeDefaults(ModelRecord* model, LPCWSTR printerName, PrinterDevmode* out, PaperRect* paper = nullptr);

// Validates `incoming` and merges its valid fields into `target` (which holds the defaults).
// Returns the mask of rejected fields. `incomingBytes` bounds what is read of `incoming`
// (0: trust dmSize + dmDriverExtra). `paper` (optional) gets the resolved paper; `paperResolved`
// tells whether one was.
DWORD MergeDevmode(HANDLE printer, const ModelRecord* model, const DEVMODEW* incoming, PrinterDevmode* target,
                   size_t incomingBytes = 0, PaperRect* paper = nullptr, bool* paperResolved = nullptr);

// Whether a speed (hundredths of an inch per second) or a stored darkness (level plus one) is one that
// the model's lists offer, 0 ("the printer's setting") included.
bool SpeedAllowed(const ModelRecord* model, int64_t speed);
bool DarknessAllowed(const ModelRecord* model, int64_t darkness);

// Size-aware copy between DEVMODE versions; the target's dmSize and dmDriverExtra describe its buffer.
BOOL CopyDevmode(const DEVMODEW* source, DEVMODEW* target);

// "FORMS": a LocalAlloc'd array (free with LocalFree) and its count; nullptr when absent or empty.
PaperRecord* ReadPaperList(HANDLE printer, int* count);
BOOL ReadInstalledPaper(HANDLE printer, InstalledPaper* out);
BOOL WriteInstalledPaper(HANDLE printer, const InstalledPaper* paper);
// Flags stay as given when "PPDataFlags" is absent; success is that of the "LogFolder" read.
BOOL ReadPropData(HANDLE printer, PrinterPropData* out);
// The capture folder the Printer Settings page offers when none is stored: "C:\Printer Log\<printer>".
void DefaultLogFolder(PrinterPropData* prop, LPCWSTR printerName);

// The first entry named `formName`; its Index becomes 256 + position. -1 when none.
int FindPaperByName(PaperRecord* list, int count, LPCWSTR formName);
// Current paper for saved or shown settings: the "FORMS" entry named like the settings' form.
BOOL SelectPaperByName(PaperRecord* list, int count, LPCWSTR formName, InstalledPaper* out);
