#include "ui/caps.h"

#include <cstring>

#include "common/wstr.h"
#include "ui/module.h"

namespace {

constexpr DWORD kMinExtent = 0x00640064;  // 10 mm x 10 mm
constexpr int32_t kUnlimitedLength = 3276700;  // (MaxLength + 50) / 100 no longer fits 15 bits
constexpr DWORD kOrientationAngle = 90;

// Copies `text` into a slot of `cap` characters, cut to cap - 1 and zero-filled to the end.
void PutName(WCHAR* slot, size_t cap, const WCHAR* text) {
  size_t n = WStrNLen(text, cap - 1);
  std::memcpy(slot, text, n * sizeof(WCHAR));
  std::memset(slot + n, 0, (cap - n) * sizeof(WCHAR));
}

void PutString(WCHAR* slot, size_t cap, UINT id) {
  WCHAR text[256];
  LoadUiString(id, text, 256);
  PutName(slot, cap, text);
}

// DC_PAPERSIZE values are cut to 16 bits and sign-extended.
LONG Tenths16(int64_t tenths) { return static_cast<SHORT>(static_cast<uint16_t>(tenths)); }

// Per-report writers; `number` runs 1..count, the last report (no entry) is the user-defined size.
struct ListQuery {
  const PrinterContext* ctx;
  WORD index;
  void* out;
};

void WriteListEntry(const PaperRecord* entry, int number, void* request) {
  auto* q = static_cast<ListQuery*>(request);
  if (!q->out) return;
  const int slot = number - 1;
  switch (q->index) {
    case DC_PAPERS:
      static_cast<WORD*>(q->out)[slot] = static_cast<WORD>(entry ? kPaperIndexBase + number : kPaperIndexBase);
      break;
    case DC_PAPERSIZE: {
      POINT& p = static_cast<POINT*>(q->out)[slot];
      if (entry) {
        p.x = Tenths16((int64_t(entry->Width) + 50) / 100);
        p.y = Tenths16((int64_t(entry->Length) + 50) / 100);
      } else if (ContextPaperCount(q->ctx) > 0) {
        const PaperRecord& user = ContextPapers(q->ctx)[0];
        p.x = Tenths16(user.Width / 100);
        p.y = Tenths16(user.Length / 100);
      } else {
        // No list in the context: the size of the paper in use.
        p.x = Tenths16(q->ctx->CurrentPaper.Width / 100);
        p.y = Tenths16(q->ctx->CurrentPaper.Length / 100);
      }
      break;
    }
    case DC_PAPERNAMES: {
      WCHAR* s = static_cast<WCHAR*>(q->out) + size_t(slot) * kPaperNameSlot;
      if (entry)
        PutName(s, kPaperNameSlot, entry->Name);
      else
        PutString(s, kPaperNameSlot, IDS_CUSTOM_SIZE);
      break;
    }
    case DC_MEDIAREADY:
      if (entry) PutName(static_cast<WCHAR*>(q->out) + size_t(slot) * kPaperNameSlot, kPaperNameSlot, entry->Name);
      break;
  }
}

DWORD ListCapability(PrinterContext* ctx, WORD index, void* output, int limit) {
  ListQuery q{ctx, index, output};
  int count = EnumPaperList(ctx, limit, WriteListEntry, &q);
  if (count < 0) return kCapsError;
  return index == DC_MEDIAREADY ? DWORD(count - 1) : DWORD(count);
}

DWORD Personality(const PrinterDevmode& s, void* output) {
  if (output) {
    const WCHAR* name;
    switch (s.PrintLanguage) {
      case kLangTwl: name = TEXT("TWL"); break;
      case kLangEsc: name = TEXT("ESC/POS"); break;
      case kLangTspl: name = TEXT("TSPL"); break;
      case kLangZpl: name = TEXT("ZPL/ZPL2"); break;
      default: name = TEXT("Unknown"); break;
    }
    PutName(static_cast<WCHAR*>(output), kPersonalitySlot, name);
  }
  return 1;
}

}  // namespace

DWORD QueryCapability(PrinterContext* ctx, WORD index, void* output, int nameLimit) {
  const ModelRecord* m = ctx->Model;
  const DEVMODEW& dm = ctx->Settings.dm;
  switch (index) {
    case DC_FIELDS: return dm.dmFields;
    case DC_PAPERS:
    case DC_PAPERSIZE: return ListCapability(ctx, index, output, -1);
    case DC_PAPERNAMES: return ListCapability(ctx, index, output, nameLimit);
    case DC_MINEXTENT: return kMinExtent;
    case DC_MAXEXTENT: {
      DWORD width = static_cast<WORD>((int64_t(m->MaxWidth) + 50) / 100);
      DWORD length = m->MaxLength >= kUnlimitedLength ? 0x7FFF : static_cast<WORD>((int64_t(m->MaxLength) + 50) / 100);
      return width | length << 16;
    }
    case DC_BINS:
      if (output) *static_cast<WORD*>(output) = DMBIN_ONLYONE;
      return 1;
    case DC_DUPLEX:
    case DC_TRUETYPE:
    case DC_COLLATE:
    case DC_STAPLE:
    case DC_NUP: return 0;
    case DC_SIZE: return dm.dmSize;
    case DC_EXTRA: return dm.dmDriverExtra;
    case DC_VERSION: return dm.dmSpecVersion;
    case DC_DRIVER: return dm.dmDriverVersion;
    case DC_BINNAMES:
      if (output)
        PutString(static_cast<WCHAR*>(output), kBinNameSlot, (m->Flags & kModelRollPaper) ? IDS_BIN_ROLL : IDS_BIN_MAIN);
      return 1;
    case DC_ENUMRESOLUTIONS:
      if (output) {
        LONG* r = static_cast<LONG*>(output);
        r[0] = m->RasterXDpi;
        r[1] = m->RasterYDpi;
      }
      return 1;
    case DC_FILEDEPENDENCIES:
      if (output) *static_cast<WCHAR*>(output) = 0;
      return 0;
    case DC_ORIENTATION: return kOrientationAngle;
    case DC_COPIES: return m->MaxCopies;
    case DC_PERSONALITY: return Personality(ctx->Settings, output);
    case DC_PRINTRATE: return DWORD(m->Speed / 100) * 60;
    case DC_PRINTRATEUNIT: return PRINTRATEUNIT_IPM;
    case DC_PRINTERMEM: return m->SdramSize;
    case DC_MEDIAREADY:
      if (ctx->CurrentPaper.Length != 0) return ListCapability(ctx, index, output, nameLimit);
      if (nameLimit == 0) return 0;
      if (output) PutName(static_cast<WCHAR*>(output), kPaperNameSlot, ctx->CurrentPaper.Name);
      return 1;
    case DC_COLORDEVICE: return (m->Flags & kModelColour) ? 1 : 0;
    default: return kCapsError;
  }
}
