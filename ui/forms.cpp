// The printer's paper list "FORMS": enumeration for the capability queries and its maintenance by the
// printer events and the paper editor. The list is always rewritten whole.
#include <cstring>

#include "common/alloc.h"
#include "common/wstr.h"
#include "ui/context.h"

namespace {

bool SameName(const PaperRecord& p, LPCWSTR name) {
  size_t n = WStrNLen(p.Name, kPaperNameChars);
  return n == WStrNLen(name, kPaperNameChars) && std::memcmp(p.Name, name, n * sizeof(WCHAR)) == 0;
}

DWORD WriteForms(HANDLE printer, const PaperRecord* list, int count) {
  return SetPrinterDataW(printer, const_cast<LPWSTR>(LBL_VALUE_FORMS), REG_BINARY,
                         reinterpret_cast<LPBYTE>(const_cast<PaperRecord*>(list)), DWORD(count) * sizeof(PaperRecord));
}

// Writes `list` through a handle opened for writing; on success the context's paper list follows.
// Takes ownership of `list`.
BOOL ReplaceForms(PrinterContext* ctx, PaperRecord* list, int count) {
  HANDLE h = OpenPrinterForWrite(ctx);
  DWORD rc;
  if (h) {
    rc = WriteForms(h, list, count);
    ClosePrinter(h);
  } else {
    rc = GetLastError() ? GetLastError() : DWORD(ERROR_ACCESS_DENIED);
  }
  if (rc != ERROR_SUCCESS) {
    ctx->SheetFlags &= ~kSheetMayWrite;
    LocalFree(list);
    SetLastError(rc);
    return FALSE;
  }
  ModelRecord* m = ctx->Model;
  if (m->Forms.Data) LocalFree(m->Forms.Data);
  m->Forms.Data = list;
  m->Forms.Count = static_cast<uint16_t>(count > 0xFFFF ? 0xFFFF : count);
  m->Forms.EntrySize = sizeof(PaperRecord);
  return TRUE;
}

// The printer's paper list, *count entries, and in *at the index of the entry named `name` (*count when
// there is none). Null, with ERROR_FILE_NOT_FOUND, when the list cannot be read.
PaperRecord* ReadAndFind(PrinterContext* ctx, LPCWSTR name, int* count, int* at) {
  PaperRecord* list = ReadPaperList(ctx->Printer, count);
  if (!list) {
    SetLastError(ERROR_FILE_NOT_FOUND);
    return nullptr;
  }
  *at = 0;
  while (*at < *count && !SameName(list[*at], name)) ++*at;
  return list;
}

}  // namespace

int EnumPaperList(const PrinterContext* ctx, int limit, PaperEnumFn fn, void* request) {
  if (!ctx || !ctx->Model) return -1;
  int count = 0;
  std::unique_ptr<PaperRecord[], LocalDeleter> list(ReadPaperList(ctx->Printer, &count));
  if (!list) return -1;
  int reports = 0;
  for (int i = 1; i < count && (limit < 0 || reports < limit); ++i, ++reports) fn(&list[i], i, request);
  if (limit < 0 || reports < limit) fn(nullptr, count, request);
  return count;
}

BOOL AddPaper(PrinterContext* ctx, const PaperRecord* paper) {
  if (!ctx || !paper) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  int count = 0, at = 0;
  PaperRecord* list = ReadAndFind(ctx, paper->Name, &count, &at);
  if (!list) return FALSE;
  if (at == count) {
    auto* grown = static_cast<PaperRecord*>(LocalAlloc(LPTR, (size_t(count) + 1) * sizeof(PaperRecord)));
    if (!grown) {
      LocalFree(list);
      SetLastError(ERROR_NOT_ENOUGH_MEMORY);
      return FALSE;
    }
    std::memcpy(grown, list, size_t(count) * sizeof(PaperRecord));
    LocalFree(list);
    list = grown;
    ++count;
  }
  list[at] = *paper;
  list[at].Name[kPaperNameChars - 1] = 0;
  return ReplaceForms(ctx, list, count);
}

BOOL DeletePaper(PrinterContext* ctx, LPCWSTR name) {
  if (!ctx || !name) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  int count = 0, at = 0;
  PaperRecord* list = ReadAndFind(ctx, name, &count, &at);
  if (!list) return FALSE;
  if (at == count) {
    LocalFree(list);
    SetLastError(ERROR_FILE_NOT_FOUND);
    return FALSE;
  }
  std::memmove(&list[at], &list[at + 1], size_t(count - at - 1) * sizeof(PaperRecord));
  return ReplaceForms(ctx, list, count - 1);
}

BOOL StoreModelPapers(PrinterContext* ctx) {
  if (!ctx || !ctx->Model) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  ModelRecord* m = ctx->Model;
  PaperRecord* list = ModelPapers(m);
  int kept = 0;
  for (int i = 0; i < ModelPaperCount(m); ++i)
    if (list[i].Width >= m->MinLabelWidth && list[i].Length >= m->MinLabelLength) list[kept++] = list[i];
  if (list) m->Forms.Count = static_cast<uint16_t>(kept);
  if (kept == 0) return TRUE;
  DWORD rc = WriteForms(ctx->Printer, list, kept);
  if (rc != ERROR_SUCCESS) {
    ctx->SheetFlags &= ~kSheetMayWrite;
    SetLastError(rc);
    return FALSE;
  }
  ctx->SheetFlags |= kSheetMayWrite;
  return TRUE;
}
