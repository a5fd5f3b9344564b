#include "ui/docprops.h"

#include <algorithm>
#include <cstring>
#include <vector>

#include "common/wstr.h"
#include "ui/module.h"

namespace {

constexpr WORD kDevmodeHeaderBytes = offsetof(DEVMODEW, dmFields);  // name and the four version fields
constexpr DWORD kCustomSizeFields = DM_PAPERSIZE | DM_PAPERLENGTH | DM_PAPERWIDTH;

struct OutputShape {
  WORD size, specVersion, extra, driverVersion;
};

OutputShape ShapeFor(const DEVMODEW& settings, const DEVMODEW* caller) {
  OutputShape s{settings.dmSize, settings.dmSpecVersion, settings.dmDriverExtra, settings.dmDriverVersion};
  if (caller) {
    if (caller->dmSize < s.size) {
      s.size = caller->dmSize;
      s.specVersion = caller->dmSpecVersion;
    }
    if (caller->dmDriverExtra < s.extra) {
      s.extra = caller->dmDriverExtra;
      s.driverVersion = caller->dmDriverVersion;
    }
  }
  return s;
}

}  // namespace

BOOL OutputDevmodeShape(const PrinterDevmode* settings, const DEVMODEW* caller, size_t outBytes, WORD* size,
                        WORD* extra) {
  OutputShape s = ShapeFor(settings->dm, caller);
  if (s.size > outBytes) return FALSE;
  if (size) *size = s.size;
  if (extra) *extra = WORD(std::min<size_t>(s.extra, outBytes - s.size));
  return TRUE;
}

BOOL WriteOutputDevmode(const PrinterDevmode* settings, const DEVMODEW* caller, DEVMODEW* out, size_t outBytes) {
  if (!settings || !out) return FALSE;
  OutputShape s = ShapeFor(settings->dm, caller);
  WORD extra = 0;
  // The private block gives way first: a short buffer gets the public part and what fits of the rest.
  if (!OutputDevmodeShape(settings, caller, outBytes, nullptr, &extra)) {
    SetLastError(ERROR_INSUFFICIENT_BUFFER);
    return FALSE;
  }
  if (!caller) {
    std::memcpy(out, settings, size_t(settings->dm.dmSize) + extra);
    out->dmDriverExtra = extra;
    return TRUE;
  }
  if (s.size < kDevmodeHeaderBytes) return FALSE;  // not even the version fields would fit
  out->dmSize = s.size;
  out->dmSpecVersion = s.specVersion;
  out->dmDriverExtra = extra;
  out->dmDriverVersion = s.driverVersion;
  return CopyDevmode(&settings->dm, out);
}

void CommitCurrentPaper(PrinterContext* ctx) {
  DEVMODEW& dm = ctx->Settings.dm;
  int count = 0;
  if (PaperRecord* list = ReadPaperList(ctx->Printer, &count)) {
    int at = FindPaperByName(list, count, ctx->CurrentPaper.Name);
    if (at >= 0) {
      dm.dmPaperSize = static_cast<SHORT>(list[at].Index);
      // The user-defined size is the document's own, as the stock list shows "USER".
      const bool userSize = list[at].Index == DMPAPER_USER && dm.dmPaperWidth > 0 && dm.dmPaperLength > 0;
      ctx->CurrentPaper = userSize ? UserSizedPaper(PaperToInstalled(list[at]), dm) : PaperToInstalled(list[at]);
    }
    LocalFree(list);
  }
  const PaperArea& a = ctx->CurrentPaper.ImageableArea;
  dm.dmPaperWidth = static_cast<SHORT>((a.Right - a.Left) / 100);
  dm.dmPaperLength = static_cast<SHORT>((a.Bottom - a.Top) / 100);
  WStrCopyN(dm.dmFormName, CCHFORMNAME, ctx->CurrentPaper.Name, kPaperNameChars);
  dm.dmFields &= ~kPaperFieldsMask;
  if (dm.dmPaperSize == DMPAPER_USER || (dm.dmPaperSize == 0 && dm.dmPaperWidth > 0 && dm.dmPaperLength > 0))
    dm.dmFields |= kCustomSizeFields;
  else
    dm.dmFields |= kPaperFieldsMask;
  if (HANDLE h = OpenPrinterForWrite(ctx)) {
    WriteInstalledPaper(h, &ctx->CurrentPaper);
    ClosePrinter(h);
  }
}

LONG DocumentPropertiesNoSheet(DOCUMENTPROPERTYHEADER* header) {
  if (!header) return 0;
  if (header->fMode == 0 || !header->pdmOut) {
    header->cbOut = kDevmodeBytes;
    return kDevmodeBytes;
  }
  if (!(header->fMode & (DM_UPDATE | DM_COPY)) || (header->fMode & DM_NOPERMISSION)) return 1;
  ContextPtr ctx(MapPrinter(header->hPrinter, header->pdmIn, nullptr, 0));
  if (!ctx) return -1;
  const DEVMODEW* in = header->pdmIn;
  // pdmIn may be pdmOut itself: keep the caller's paper fields before the output is written.
  const bool keepPaper = in && in->dmSize >= offsetof(DEVMODEW, dmScale);
  const SHORT paperLength = keepPaper ? in->dmPaperLength : 0, paperSize = keepPaper ? in->dmPaperSize : 0,
              paperWidth = keepPaper ? in->dmPaperWidth : 0;
  DEVMODEW* out = header->pdmOut;
  SetLastError(ERROR_SUCCESS);
  BOOL written = WriteOutputDevmode(&ctx->Settings, in, out, header->cbOut);
  if (!written && GetLastError() == ERROR_INSUFFICIENT_BUFFER) {
    ctx.reset();
    SetLastError(ERROR_INSUFFICIENT_BUFFER);
    return -1;
  }
  if (written && keepPaper && out->dmSize >= offsetof(DEVMODEW, dmScale)) {
    // Applications keep their own paper numbers and sizes; the merge only validated them.
    out->dmPaperLength = paperLength;
    out->dmPaperSize = paperSize;
    out->dmPaperWidth = paperWidth;
  }
  return 1;
}

namespace {

BOOL ConvertCurrent(const DEVMODEW* in, DEVMODEW* out, LONG* size) {
  if (!out || !in) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  const LONG target = LONG(out->dmSize) + out->dmDriverExtra;
  if (*size < target || !CopyDevmode(in, out)) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  *size = target;
  return TRUE;
}

BOOL Convert351(const DEVMODEW* in, DEVMODEW* out, LONG* size) {
  if (*size < kDevmode351Bytes || !out) {
    *size = kDevmode351Bytes;
    SetLastError(ERROR_INSUFFICIENT_BUFFER);
    return FALSE;
  }
  if (!in || !(in->dmSize == 188 || in->dmSize == 212 || in->dmSize == 220 || in->dmSpecVersion != 0)) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  // The input may be the output itself: work from a copy of it.
  std::vector<uint8_t> source(size_t(in->dmSize) + in->dmDriverExtra);
  std::memcpy(source.data(), in, source.size());
  std::memset(out, 0, kDevmode351Bytes);
  out->dmSize = 188;
  out->dmSpecVersion = 0x320;
  out->dmDriverVersion = kDevmode351DriverVersion;
  out->dmDriverExtra = kDevmodePrivateSize;
  if (!CopyDevmode(reinterpret_cast<const DEVMODEW*>(source.data()), out)) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  *size = kDevmode351Bytes;
  return TRUE;
}

BOOL ConvertDriverDefault(LPWSTR printerName, DEVMODEW* out, LONG* size) {
  const LONG given = *size;
  *size = kDevmodeBytes;
  if (given < kDevmodeBytes || !out) {
    SetLastError(ERROR_INSUFFICIENT_BUFFER);
    return FALSE;
  }
  HANDLE printer = nullptr;
  if (!printerName || !OpenPrinterW(printerName, &printer, nullptr)) {
    SetLastError(ERROR_INVALID_DATA);
    return FALSE;
  }
  WCHAR name[32] = {};
  ModelRecord* model = LoadModelRecord(printer, name, UiModule());
  ClosePrinter(printer);
  if (!model) {
    SetLastError(ERROR_INVALID_DATA);
    return FALSE;
  }
  FillDevmodeDefaults(model, name, reinterpret_cast<PrinterDevmode*>(out));
  FreeModelRecord(model);
  return TRUE;
}

}  // namespace

BOOL ConvertDevmode(LPWSTR printerName, const DEVMODEW* in, DEVMODEW* out, LONG* size, DWORD mode) {
  if (!size) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  switch (mode) {
    case CDM_CONVERT: return ConvertCurrent(in, out, size);
    case CDM_CONVERT351: return Convert351(in, out, size);
    case CDM_DRIVER_DEFAULT: return ConvertDriverDefault(printerName, out, size);
    default: return FALSE;
  }
}
