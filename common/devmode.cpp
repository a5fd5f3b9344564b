#include "common/devmode.h"

#include <algorithm>
#include <cstring>
#include <memory>

#include "common/alloc.h"
#include "common/wstr.h"

namespace {

constexpr DWORD kTemplateFields = 0x1051F;
// Ranges of the settings pages' spin controls, micrometres.
constexpr int32_t kMaxFeedOffset = 254000;
constexpr int32_t kMinPrintWidth = 2500;
constexpr int32_t kMaxPrintWidth = 6553500;
// Shifts run to plus and minus the selected stock's total width or length, and the stock editor
// allows stocks wider than the print head: label width up to 6553.5 mm plus two 10 mm liners,
// length up to 655350 mm.
constexpr int32_t kMaxStockWidth = 6553500 + 2 * 10000;
constexpr int32_t kMaxStockLength = 655350000;
// The speed and darkness lists offer the model's own steps (hundredths of an inch per second; darkness
// level plus one, at most 16 levels); without them, the widest any printer language takes.
constexpr uint32_t kMaxSpeed = 3000;
constexpr uint32_t kMaxDarkness = 16;

uint32_t SpeedCeiling(const ModelRecord* m) {
  const uint32_t most = std::max<uint32_t>(m->SpeedMax, m->Config2SpeedMax);
  return most ? most : kMaxSpeed;
}

uint32_t DarknessCeiling(const ModelRecord* m) {
  const uint32_t most = std::max<uint32_t>(m->DarknessMax, m->Config2DarknessMax);
  return most ? std::min(most, kMaxDarkness) : kMaxDarkness;
}

}  // namespace

bool SpeedAllowed(const ModelRecord* model, int64_t speed) { return speed >= 0 && speed <= SpeedCeiling(model); }
bool DarknessAllowed(const ModelRecord* model, int64_t darkness) {
  return darkness >= 0 && darkness <= DarknessCeiling(model);
}

namespace {

template <size_t N>
void SetName(WCHAR (&field)[N], LPCWSTR text) {
  WStrCopy(field, N, text);
}

bool NameEquals(const WCHAR* field, size_t cap, LPCWSTR name) {
  size_t n = WStrNLen(field, cap);
  size_t m = WStrLen(name);
  return n == m && std::memcmp(field, name, n * sizeof(WCHAR)) == 0;
}

void FillTemplate(PrinterDevmode* d) {
  std::memset(d, 0, sizeof *d);
  SetName(d->dm.dmDeviceName, TEXT("USER"));
  d->dm.dmSpecVersion = kDevmodeSpecVersion;
  d->dm.dmDriverVersion = kDevmodeDriverVersion;
  d->dm.dmSize = kDevmodePublicSize;
  d->dm.dmDriverExtra = kDevmodePrivateSize;
  d->dm.dmFields = kTemplateFields;
  d->dm.dmOrientation = DMORIENT_PORTRAIT;
  d->dm.dmPaperSize = DMPAPER_USER;
  d->dm.dmPaperLength = 1300;
  d->dm.dmPaperWidth = 786;
  d->dm.dmScale = 100;
  d->dm.dmCopies = 1;
  d->dm.dmPrintQuality = DMRES_HIGH;
  d->dm.dmColor = DMCOLOR_MONOCHROME;
  d->dm.dmDuplex = DMDUP_SIMPLEX;
  SetName(d->dm.dmFormName, TEXT("USER"));
  d->Signature = kDevmodeSignature;
  d->Version = kDevmodeVersion;
  d->Flags = kFlagAlignCentre | kFlagOutDir1;
  d->PostAction = 1;
  d->IntervalPages = 1;
  d->DitherLevel = 8;
  d->ColorAdjust = DefaultColorAdjust();
  d->WatermarkX = 50;
  d->WatermarkY = 50;
  d->WatermarkScale = 100;
  d->WatermarkBrightness = 128;
  d->Reserved[1] = d->Reserved[5] = d->Reserved[8] = 1;
}

WORD SpecVersionForSize(WORD size, WORD own) {
  switch (size) {
    case 188: return 0x320;
    case 212: return 0x400;
    case 220: return 0x401;
    default: return own;
  }
}

bool UsableSource(const DEVMODEW* dm) {
  return dm->dmSize == 188 || dm->dmSize == 212 || dm->dmSize == 220 || dm->dmSpecVersion != 0;
}

int InstalledIndexInList(HANDLE printer, const PaperRecord* list, int count) {
  InstalledPaper installed;
  if (!ReadInstalledPaper(printer, &installed)) return 0;
  for (int i = 0; i < count; ++i)
    if (NameEquals(list[i].Name, kPaperNameChars, installed.Name)) return i;
  // Not in the list (renamed or deleted stock): the user-defined entry 0.
  return 0;
}

}  // namespace

COLORADJUSTMENT DefaultColorAdjust() {
  COLORADJUSTMENT ca{};
  ca.caSize = sizeof(COLORADJUSTMENT);
  ca.caRedGamma = ca.caGreenGamma = ca.caBlueGamma = 10000;
  ca.caReferenceWhite = 10000;
  return ca;
}

bool RepairColorAdjust(COLORADJUSTMENT* ca) {
  const COLORADJUSTMENT def = DefaultColorAdjust();
  if (ca->caSize != sizeof(COLORADJUSTMENT)) {
    *ca = def;
    return true;
  }
  bool fixed = false;
  auto fixU = [&](WORD& v, WORD lo, WORD hi, WORD d) {
    if (v < lo || v > hi) { v = d; fixed = true; }
  };
  auto fixS = [&](SHORT& v) {
    if (v < -100 || v > 100) { v = 0; fixed = true; }
  };
  fixU(ca->caIlluminantIndex, 0, 8, def.caIlluminantIndex);
  fixU(ca->caRedGamma, 1344, 65000, def.caRedGamma);
  fixU(ca->caGreenGamma, 1344, 65000, def.caGreenGamma);
  fixU(ca->caBlueGamma, 1344, 65000, def.caBlueGamma);
  fixU(ca->caReferenceBlack, 0, 4000, def.caReferenceBlack);
  fixU(ca->caReferenceWhite, 6000, 10000, def.caReferenceWhite);
  fixS(ca->caContrast);
  fixS(ca->caBrightness);
  fixS(ca->caColorfulness);
  fixS(ca->caRedGreenTint);
  return fixed;
}

InstalledPaper DefaultInstalledPaper(const ModelRecord* model) {
  if (model && ModelPaperCount(model) > 0 && ModelHasPapers(model)) return PaperToInstalled(ModelPapers(model)[0]);
  InstalledPaper p{};
  SetName(p.Name, TEXT("USER"));
  p.Width = 78600;
  p.Length = 130000;
  p.ImageableArea = {0, 0, 78600, 130000};
  p.Flags = kPaperGap;
  p.GapHeight = 3000;
  return p;
}

void FillDevmodeDefaults(ModelRecord* model, LPCWSTR printerName, PrinterDevmode* out, PaperRect* paper) {
  if (!model || !out) return;
  WCHAR name[32] = {};
  if (printerName && printerName[0]) {
    WStrCopy(name, 32, printerName);  // longer names are cut to 31 characters
    std::string ansi = WideToAnsi(name);
    StrCopy(model->DeviceName, sizeof model->DeviceName, ansi.c_str());
  } else {
    model->DeviceName[sizeof model->DeviceName - 1] = 0;
    WString w = AnsiToWide(model->DeviceName, sizeof model->DeviceName);
    WStrCopy(name, 32, w.c_str());
  }
  FillTemplate(out);
  SetName(out->dm.dmDeviceName, name);
  DEVMODEW& dm = out->dm;

  if (model->MaxScale != 0) {
    if (dm.dmScale > model->MaxScale) dm.dmScale = static_cast<SHORT>(model->MaxScale);
  } else {
    dm.dmFields &= ~DM_SCALE;
  }
  if (model->MaxCopies <= 1) dm.dmFields &= ~DM_COPIES;
  if (model->MaxQuality == 0) dm.dmFields &= ~DM_PRINTQUALITY;
  if (model->Flags & kModelLowQuality) dm.dmPrintQuality = DMRES_LOW;

  if (!(model->Flags & kModelColour)) {
    if (model->Flags & kModelRaster) {
      dm.dmFields &= ~DM_COLOR;
      dm.dmColor = DMCOLOR_MONOCHROME;
    } else {
      model->Flags |= kModelColour;
    }
  }

  out->PostActionOccurrence = 0;
  out->IntervalPages = 1;

  if (model->LanguageDefault & kLangBitTwl) out->PrintLanguage = kLangTwl;
  if (model->LanguageDefault & kLangBitZpl) {
    out->PrintLanguage = kLangZpl;
  } else if (model->LanguageDefault & kLangBitTspl) {
    out->PrintLanguage = kLangTspl;
  } else if (model->LanguageDefault & kLangBitEsc) {
    out->PrintLanguage = kLangEsc;
    model->DarknessMax = 8;
    out->FeedOffset = 20000;
  }

  out->Flags &= ~(kFlagOutDir0 | kFlagOutDir1);
  dm.dmOrientation = model->PrintDirection == 1 ? DMORIENT_LANDSCAPE : DMORIENT_PORTRAIT;

  out->ShiftH = model->ShiftH;
  out->ShiftV = model->ShiftV;
  out->DitherLevel = model->DitherLevel;
  out->PostAction = model->PostAction;
  out->Speed = model->Speed;
  out->Darkness = model->Darkness;
  out->PaperSaving = model->PaperSaving;
  out->WatermarkBrightness = static_cast<int16_t>(model->WatermarkBrightness);
  out->WatermarkX = static_cast<int16_t>(model->WatermarkX);
  out->WatermarkY = static_cast<int16_t>(model->WatermarkY);
  out->WatermarkScale = static_cast<int16_t>(model->WatermarkScale);
  out->PrinterType = static_cast<int16_t>(model->PrinterType);
  out->PrintingScale = static_cast<int16_t>(model->PrintingScale);
  out->PrintWidth = model->PrintWidth;
  out->InputDPI = static_cast<int16_t>(model->InputDPI);
  if (out->PrintWidth == 0) out->PrintWidth = ModelHasPapers(model) ? ModelPapers(model)[0].Width : model->MaxWidth;
  out->Reserved[1] = out->Reserved[5] = out->Reserved[8] = 1;

  if (model->OutDirection == 0) {
    out->Flags |= kFlagOutDir0;
  } else if (model->OutDirection == 1) {
    out->Flags |= kFlagOutDir1;
    if (out->PrintLanguage >= kLangEsc && out->PrintLanguage <= kLangZpl) out->Flags |= kFlagRotate180;
  }

  InstalledPaper ip = DefaultInstalledPaper(model);
  dm.dmFields = (dm.dmFields & ~kPaperFieldsMask) | DM_PAPERSIZE | DM_FORMNAME;
  dm.dmPaperSize = DMPAPER_USER;
  dm.dmPaperWidth = static_cast<SHORT>((ip.ImageableArea.Right - ip.ImageableArea.Left + 50) / 100);
  dm.dmPaperLength = static_cast<SHORT>((ip.ImageableArea.Bottom - ip.ImageableArea.Top + 50) / 100);
  SetName(dm.dmFormName, ip.Name);
  if (paper) *paper = InstalledToRect(ip);
}

DWORD MergeDevmode(HANDLE printer, const ModelRecord* model, const DEVMODEW* in, PrinterDevmode* target,
                   size_t inBytes, PaperRect* paper, bool* paperResolved) {
  if (paperResolved) *paperResolved = false;
  if (!model || !in || !target) return 0;
  if (inBytes == 0) inBytes = size_t(in->dmSize) + in->dmDriverExtra;

  // W: the target with the usable parts of the incoming record over it.
  PrinterDevmode w = *target;
  if (inBytes >= offsetof(DEVMODEW, dmFields) && UsableSource(in)) {
    WORD spec = SpecVersionForSize(w.dm.dmSize, w.dm.dmSpecVersion);
    if (spec != 0) {
      const WORD wSize = w.dm.dmSize, wDriverVersion = w.dm.dmDriverVersion, wExtra = w.dm.dmDriverExtra;
      size_t pub = std::min<size_t>({wSize, in->dmSize, inBytes, sizeof(DEVMODEW)});
      std::memcpy(&w.dm, in, pub);
      w.dm.dmSpecVersion = spec;
      w.dm.dmDriverVersion = wDriverVersion;
      w.dm.dmSize = wSize;
      w.dm.dmDriverExtra = wExtra;
      size_t priv = std::min<size_t>(wExtra, in->dmDriverExtra);
      priv = std::min(priv, sizeof(PrinterDevmode) - sizeof(DEVMODEW));
      if (size_t(in->dmSize) < inBytes) priv = std::min(priv, inBytes - in->dmSize);
      else priv = 0;
      std::memcpy(reinterpret_cast<uint8_t*>(&w) + sizeof(DEVMODEW), reinterpret_cast<const uint8_t*>(in) + in->dmSize,
                  priv);
    }
  }
  // Texts copied raw from another application may lack their terminators.
  w.dm.dmDeviceName[CCHDEVICENAME - 1] = 0;
  w.dm.dmFormName[CCHFORMNAME - 1] = 0;

  DEVMODEW& t = target->dm;
  DWORD mask = 0;
  // A public field W sets is taken and marked present when the printer accepts its value, else reported.
  auto takeField = [&](DWORD field, SHORT& to, SHORT value, bool accepted) {
    if (!(w.dm.dmFields & field)) return;
    if (accepted) {
      to = value;
      t.dmFields |= field;
    } else {
      mask |= field;
    }
  };

  const SHORT orientation = w.dm.dmOrientation;
  takeField(DM_ORIENTATION, t.dmOrientation, orientation,
            orientation == DMORIENT_PORTRAIT || orientation == DMORIENT_LANDSCAPE);

  // Paper: a custom size that fits the printer (also turned), else a stock of "FORMS".
  mask |= w.dm.dmFields & kPaperFieldsMask;
  const DWORD sizeFields = DM_PAPERSIZE | DM_PAPERLENGTH | DM_PAPERWIDTH;
  const int32_t cw = int32_t(w.dm.dmPaperWidth) * 100, cl = int32_t(w.dm.dmPaperLength) * 100;
  if ((w.dm.dmFields & sizeFields) == sizeFields && (w.dm.dmPaperSize == 0 || w.dm.dmPaperSize == DMPAPER_USER) &&
      cw >= 10000 && cl >= 10000 &&
      ((cw <= model->MaxWidth && cl <= model->MaxLength) || (cl <= model->MaxWidth && cw <= model->MaxLength))) {
    t.dmPaperWidth = w.dm.dmPaperWidth;
    t.dmPaperLength = w.dm.dmPaperLength;
    t.dmPaperSize = DMPAPER_USER;
    t.dmFormName[0] = 0;
    t.dmFields = (t.dmFields & ~kPaperFieldsMask) | sizeFields;
    mask &= ~kPaperFieldsMask;
    if (paper) *paper = PaperRect{cw, cl, {0, 0, cw, cl}};
    if (paperResolved) *paperResolved = true;
  } else if (w.dm.dmFields & (DM_PAPERSIZE | DM_FORMNAME)) {
    int count = 0;
    std::unique_ptr<PaperRecord[], LocalDeleter> list(ReadPaperList(printer, &count));
    if (list) {
      int sel = -1;
      if ((w.dm.dmFields & DM_PAPERSIZE) && w.dm.dmPaperSize > kPaperIndexBase &&
          w.dm.dmPaperSize < kPaperIndexBase + count && (list[w.dm.dmPaperSize - kPaperIndexBase].Flags & kPaperInUse))
        sel = w.dm.dmPaperSize - kPaperIndexBase;
      if (sel < 0 && (w.dm.dmFields & DM_FORMNAME)) {
        for (int i = 0; i < count; ++i)
          if ((list[i].Flags & kPaperInUse) && NameEquals(list[i].Name, kPaperNameChars, w.dm.dmFormName)) {
            sel = i;
            break;
          }
      }
      bool fallback = sel < 0 || NameEquals(list[sel].Name, kPaperNameChars, TEXT("USER"));
      if (fallback) sel = InstalledIndexInList(printer, list.get(), count);
      PaperRecord chosen = list[sel];
      chosen.Index = kPaperIndexBase + sel;
      chosen.Name[kPaperNameChars - 1] = 0;
      if (fallback && chosen.Index == kPaperIndexBase) {
        chosen.Width = int32_t(w.dm.dmPaperWidth) * 100;
        chosen.Length = int32_t(w.dm.dmPaperLength) * 100;
      }
      t.dmFields = (t.dmFields & ~kPaperFieldsMask) | DM_PAPERSIZE | DM_FORMNAME;
      t.dmPaperSize = static_cast<SHORT>(chosen.Index);
      t.dmPaperWidth = static_cast<SHORT>((chosen.Width + 50) / 100);
      t.dmPaperLength = static_cast<SHORT>((chosen.Length + 50) / 100);
      SetName(t.dmFormName, chosen.Name);
      mask &= ~kPaperFieldsMask;
      if (paper) *paper = InstalledToRect(PaperToInstalled(chosen));
      if (paperResolved) *paperResolved = true;
    }
  }

  const SHORT scale = w.dm.dmScale, copies = w.dm.dmCopies, q = w.dm.dmPrintQuality, c = w.dm.dmColor;
  // A printer without a scale ignores the field.
  if (model->MaxScale != 0) takeField(DM_SCALE, t.dmScale, scale, scale >= 1 && scale <= model->MaxScale);
  takeField(DM_COPIES, t.dmCopies, copies, copies >= 1 && copies <= model->MaxCopies);
  takeField(DM_PRINTQUALITY, t.dmPrintQuality, q,
            model->MaxQuality != 0 && ((q >= DMRES_HIGH && q <= DMRES_DRAFT) || q == 203 || q == 300));
  const bool colourOk = (model->Flags & kModelColour)
                            ? c == DMCOLOR_COLOR || (c == DMCOLOR_MONOCHROME && (model->Flags & kModelRaster))
                            : c == DMCOLOR_MONOCHROME;
  takeField(DM_COLOR, t.dmColor, c, colourOk);

  if (w.Signature != kDevmodeSignature || w.Version != kDevmodeVersion || w.dm.dmDriverExtra != kDevmodePrivateSize)
    return mask;

  // Values no settings page can produce would make the renderer divide by zero or size buffers
  // from garbage: they keep the previous value.
  bool rangeRejected = false;
  auto take = [&rangeRejected](auto& field, auto value, long long lo, long long hi) {
    if (static_cast<long long>(value) < lo || static_cast<long long>(value) > hi) {
      rangeRejected = true;
      return;
    }
    field = value;
  };
  target->Flags = w.Flags & kFlagStoredMask;
  take(target->ShiftH, w.ShiftH, -kMaxStockWidth, kMaxStockWidth);
  take(target->ShiftV, w.ShiftV, -kMaxStockLength, kMaxStockLength);
  target->PostAction = w.PostAction;
  target->PostActionOccurrence = w.PostActionOccurrence;
  take(target->IntervalPages, w.IntervalPages, 1, 999);
  take(target->FeedOffset, w.FeedOffset, -kMaxFeedOffset, kMaxFeedOffset);
  target->DitherLevel = w.DitherLevel;
  target->ColorAdjust = w.ColorAdjust;
  target->PrintMode = w.PrintMode;
  take(target->Speed, w.Speed, 0, SpeedCeiling(model));
  take(target->Darkness, w.Darkness, 0, DarknessCeiling(model));
  target->PaperSaving = w.PaperSaving;
  std::memcpy(target->UserCommands, w.UserCommands, sizeof target->UserCommands);
  for (auto& slot : target->UserCommands) slot[kUserCommandChars - 1] = 0;
  target->PrintLanguage = w.PrintLanguage;
  WStrCopyN(target->WatermarkPath, kWatermarkPathChars, w.WatermarkPath, kWatermarkPathChars - 1);
  take(target->WatermarkX, w.WatermarkX, 0, 100);
  take(target->WatermarkY, w.WatermarkY, 0, 100);
  take(target->WatermarkScale, w.WatermarkScale, 0, 100);
  take(target->WatermarkBrightness, w.WatermarkBrightness, 0, 255);
  target->PrintingScale = w.PrintingScale;
  take(target->PrintWidth, w.PrintWidth, kMinPrintWidth, kMaxPrintWidth);
  take(target->InputDPI, w.InputDPI, 0, 1);
  target->PrinterType = static_cast<int16_t>(model->PrinterType);
  std::memcpy(target->Reserved, w.Reserved, sizeof target->Reserved);
  if (rangeRejected) mask |= kMaskPrivateRange;

  if (RepairColorAdjust(&target->ColorAdjust)) mask |= kMaskColorAdjust;
  return mask;
}

BOOL CopyDevmode(const DEVMODEW* src, DEVMODEW* dst) {
  if (!src || !dst || !UsableSource(src)) return FALSE;
  WORD spec = SpecVersionForSize(dst->dmSize, dst->dmSpecVersion);
  if (spec == 0) return FALSE;
  const WORD size = dst->dmSize, extra = dst->dmDriverExtra, driverVersion = dst->dmDriverVersion;
  size_t pub = std::min<size_t>(size, src->dmSize);
  size_t priv = std::min<size_t>(extra, src->dmDriverExtra);
  std::memmove(dst, src, pub);
  dst->dmSize = size;
  dst->dmDriverExtra = extra;
  dst->dmDriverVersion = driverVersion;
  dst->dmSpecVersion = spec;
  std::memmove(reinterpret_cast<uint8_t*>(dst) + size, reinterpret_cast<const uint8_t*>(src) + src->dmSize, priv);
  return (pub + priv) > 0;
}

PaperRecord* ReadPaperList(HANDLE printer, int* count) {
  if (count) *count = 0;
  DWORD type = 0, needed = 0;
  DWORD rc = GetPrinterDataW(printer, const_cast<LPWSTR>(LBL_VALUE_FORMS), &type, nullptr, 0, &needed);
  if ((rc != ERROR_MORE_DATA && rc != ERROR_SUCCESS) || needed < sizeof(PaperRecord)) return nullptr;
  std::unique_ptr<PaperRecord[], LocalDeleter> list(static_cast<PaperRecord*>(LocalAlloc(LPTR, needed)));
  if (!list) return nullptr;
  DWORD got = 0;
  rc = GetPrinterDataW(printer, const_cast<LPWSTR>(LBL_VALUE_FORMS), &type, reinterpret_cast<LPBYTE>(list.get()),
                       needed, &got);
  int n = static_cast<int>(std::min(got, needed) / sizeof(PaperRecord));
  if (rc != ERROR_SUCCESS || n == 0) return nullptr;
  for (int i = 0; i < n; ++i) list[i].Name[kPaperNameChars - 1] = 0;
  if (count) *count = n;
  return list.release();
}

BOOL ReadInstalledPaper(HANDLE printer, InstalledPaper* out) {
  if (!out) return FALSE;
  InstalledPaper tmp;
  DWORD type = 0, got = 0;
  DWORD rc = GetPrinterDataW(printer, const_cast<LPWSTR>(LBL_VALUE_INSTALLED_FORM), &type,
                             reinterpret_cast<LPBYTE>(&tmp), sizeof tmp, &got);
  if (rc != ERROR_SUCCESS || type != REG_BINARY || got != sizeof tmp) return FALSE;
  tmp.Name[kPaperNameChars - 1] = 0;
  *out = tmp;
  return TRUE;
}

BOOL WriteInstalledPaper(HANDLE printer, const InstalledPaper* paper) {
  if (!paper) return FALSE;
  DWORD rc = SetPrinterDataW(printer, const_cast<LPWSTR>(LBL_VALUE_INSTALLED_FORM), REG_BINARY,
                             reinterpret_cast<LPBYTE>(const_cast<InstalledPaper*>(paper)), sizeof *paper);
  if (rc != ERROR_SUCCESS) SetLastError(rc);
  return rc == ERROR_SUCCESS;
}

BOOL ReadPropData(HANDLE printer, PrinterPropData* out) {
  if (!out) return FALSE;
  DWORD type = 0, got = 0, flags = 0;
  if (GetPrinterDataW(printer, const_cast<LPWSTR>(LBL_VALUE_PPDATAFLAGS), &type, reinterpret_cast<LPBYTE>(&flags),
                      sizeof flags, &got) == ERROR_SUCCESS &&
      got == sizeof flags)
    out->Flags = flags;
  WCHAR folder[kLogFolderChars] = {};
  DWORD rc = GetPrinterDataW(printer, const_cast<LPWSTR>(LBL_VALUE_LOGFOLDER), &type, reinterpret_cast<LPBYTE>(folder),
                             sizeof folder, &got);
  folder[kLogFolderChars - 1] = 0;
  if (rc != ERROR_SUCCESS) {
    out->LogFolder[0] = 0;
    return FALSE;
  }
  WStrCopy(out->LogFolder, kLogFolderChars, folder);
  return TRUE;
}

void DefaultLogFolder(PrinterPropData* prop, LPCWSTR printerName) {
  if (!prop->LogFolder[0] && printerName)
    WFormatTo(prop->LogFolder, kLogFolderChars, TEXT("C:\\Printer Log\\%ws"), printerName);
}

int FindPaperByName(PaperRecord* list, int count, LPCWSTR formName) {
  if (!list || !formName) return -1;
  for (int i = 0; i < count; ++i) {
    if (NameEquals(list[i].Name, kPaperNameChars, formName)) {
      list[i].Index = kPaperIndexBase + i;
      return i;
    }
  }
  return -1;
}

BOOL SelectPaperByName(PaperRecord* list, int count, LPCWSTR formName, InstalledPaper* out) {
  int i = FindPaperByName(list, count, formName);
  if (i < 0 || !out) return FALSE;
  *out = PaperToInstalled(list[i]);
  return TRUE;
}
