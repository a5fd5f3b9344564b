#include "ui/events.h"

#include <cstring>
#include <utility>

#include "common/wstr.h"
#include "ui/context.h"
#include "ui/module.h"

namespace {

constexpr int kMessageStringChars = 256;  // %! texts: at most 255 characters

// Output of FormatMessageText: writes while there is room before the last slot, counts throughout.
struct TextSink {
  WCHAR* out;
  size_t cap;
  size_t pos = 0;
  size_t total = 0;
  void Put(WCHAR c) {
    if (out && pos + 1 < cap) out[pos++] = c;
    ++total;
  }
  void Put(const WCHAR* s) {
    for (; s && *s; ++s) Put(*s);
  }
  bool Full() const { return !out || pos + 1 >= cap; }
};

}  // namespace

int FormatMessageText(HINSTANCE module, WCHAR* out, size_t cap, DWORD* needed, const WCHAR* format,
                      const ULONG_PTR* values, size_t count) {
  TextSink sink{out, cap};
  size_t next = 0;
  auto value = [&]() -> ULONG_PTR { return next < count && values ? values[next++] : (++next, 0); };
  for (const WCHAR* f = format; f && *f; ++f) {
    if (sink.Full() && !needed) break;
    if (*f != TEXT('%')) {
      sink.Put(*f);
      continue;
    }
    const WCHAR spec = *++f;
    if (!spec) break;
    switch (spec) {
      case TEXT('!'): {
        WCHAR text[kMessageStringChars] = {};
        LoadStringW(module, static_cast<UINT>(value()), text, kMessageStringChars);
        sink.Put(text);
        break;
      }
      case TEXT('X'):
      case TEXT('x'):
      case TEXT('u'):
      case TEXT('d'): {
        const WCHAR fmt[] = {TEXT('%'), TEXT('l'), spec, 0};
        const DWORD v = static_cast<DWORD>(value());
        sink.Put(spec == TEXT('d') ? WFormat(fmt, static_cast<LONG>(v)).c_str() : WFormat(fmt, v).c_str());
        break;
      }
      case TEXT('s'): {
        const auto* s = reinterpret_cast<const WCHAR*>(value());
        if (s)
          sink.Put(s);
        else if (!sink.Full())
          sink.out[sink.pos] = TEXT(' ');  // overwritten by whatever follows, the terminator at the latest
        break;
      }
      case TEXT('c'): sink.Put(static_cast<WCHAR>(value())); break;
      default: sink.Put(spec); break;
    }
  }
  if (out && cap > 0) out[sink.pos] = 0;
  if (needed) *needed = static_cast<DWORD>(sink.total + 1);
  return static_cast<int>(sink.pos);
}

BOOL StorePrinterForms(LPWSTR printerName, bool* reached) {
  *reached = false;
  PRINTER_DEFAULTSW defaults{nullptr, nullptr, PRINTER_ALL_ACCESS};
  HANDLE printer = nullptr;
  if (!printerName || !OpenPrinterW(printerName, &printer, &defaults)) return FALSE;
  struct Closer {
    HANDLE printer;
    ~Closer() { ClosePrinter(printer); }
  } closer{printer};
  ContextPtr ctx(MapPrinter(printer, nullptr, nullptr, kMapQuiet));
  if (!ctx) return FALSE;
  *reached = true;
  return StoreModelPapers(ctx.get());
}

namespace {

bool SameName(const WCHAR* a, const WCHAR* b) {
  size_t n = WStrNLen(a, kPaperNameChars);
  return n == WStrNLen(b, CCHFORMNAME) && std::memcmp(a, b, n * sizeof(WCHAR)) == 0;
}

void Explain(DEVQUERYPRINT_INFO* info, const PrinterContext* ctx, UINT id, bool withForm) {
  WCHAR form[CCHFORMNAME + 1] = {};
  if (ctx) WStrCopyN(form, CCHFORMNAME + 1, ctx->Settings.dm.dmFormName, CCHFORMNAME);
  const ULONG_PTR withFormValues[] = {reinterpret_cast<ULONG_PTR>(form), id};
  const ULONG_PTR plainValues[] = {id};
  DWORD needed = 0;
  WCHAR* out = info->cchErrorStr ? info->pszErrorStr : nullptr;
  if (withForm)
    FormatMessageText(UiModule(), out, info->cchErrorStr, &needed, TEXT("<%s> %!"), withFormValues, 2);
  else
    FormatMessageText(UiModule(), out, info->cchErrorStr, &needed, TEXT("%!"), plainValues, 1);
  info->cchNeeded = needed;
}

// The verdict for a mapped job: 0 when it can print, else the string id of the reason. A paper size
// the printer cannot take is explained right away (*explained).
UINT JudgeJob(PrinterContext* ctx, DEVQUERYPRINT_INFO* info, bool* explained) {
  ReadPropData(ctx->Printer, &ctx->Prop);
  const DEVMODEW& dm = ctx->Settings.dm;
  const InstalledPaper& paper = ctx->CurrentPaper;
  if (ctx->MergeMask & kPaperFieldsMask) return IDS_ERR_PAPER_NOT_LOADED;
  if ((dm.dmFields & DM_FORMNAME) && SameName(paper.Name, dm.dmFormName)) return 0;

  const DWORD sizeFields = DM_PAPERSIZE | DM_PAPERLENGTH | DM_PAPERWIDTH;
  const bool continuous = paper.Length == 0;
  const bool customSize = (dm.dmFields & sizeFields) == sizeFields && dm.dmPaperSize == DMPAPER_USER;
  const bool acceptAny = (ctx->Prop.Flags & kPropAcceptAnyPaper) != 0;
  if (!continuous && !customSize && !acceptAny) return IDS_ERR_PAPER_NOT_LOADED;

  const int64_t W = paper.Width;
  const int64_t L = continuous ? ctx->Model->MaxLength : paper.Length;
  int64_t w = int64_t(dm.dmPaperWidth) * 100, l = int64_t(dm.dmPaperLength) * 100;
  auto refuse = [&]() -> UINT {
    Explain(info, ctx, IDS_ERR_PAPER_RANGE, true);
    *explained = true;
    return IDS_ERR_PAPER_RANGE;
  };
  if (W < w || L < l) {
    if (W < l) return refuse();
    std::swap(w, l);  // the page fits turned
  }
  if (L < l) return refuse();
  if (continuous || acceptAny) return 0;
  return (w < W || l < L) ? UINT(IDS_ERR_PAPER_NOT_LOADED) : 0u;
}

}  // namespace

BOOL CheckJob(DEVQUERYPRINT_INFO* info) {
  info->cchNeeded = 0;
  UINT error = 0;
  bool explained = false;
  ContextPtr ctx;
  if (!info->pDevMode) {
    error = IDS_ERR_INVALID_DATA;
  } else {
    ctx.reset(MapPrinter(info->hPrinter, info->pDevMode, &error, kMapQuiet));
    if (ctx)
      error = JudgeJob(ctx.get(), info, &explained);
    else if (!error)
      error = IDS_ERR_MEMORY;
  }
  if (error && !explained) Explain(info, ctx.get(), error, error == IDS_ERR_PAPER_NOT_LOADED && ctx);
  return error == 0 && !explained;
}
