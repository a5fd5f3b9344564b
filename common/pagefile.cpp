#include "common/pagefile.h"

#include <climits>
#include <cstdint>

namespace {

template <class C>
bool IsDigit(C c) {
  return c >= '0' && c <= '9';
}

template <class C>
bool Literal(const C** at, const char* text) {
  const C* p = *at;
  for (; *text; ++text, ++p)
    if (*p != static_cast<C>(*text)) return false;
  *at = p;
  return true;
}

// One or more digits, no sign or blank, at most INT_MAX.
template <class C>
bool Digits(const C** at, int* out) {
  const C* p = *at;
  if (!IsDigit(*p)) return false;
  long long value = 0;
  for (; IsDigit(*p); ++p) {
    value = value * 10 + (*p - '0');
    if (value > INT_MAX) return false;
  }
  *out = static_cast<int>(value);
  *at = p;
  return true;
}

template <class C>
bool ParseLeaf(const C* name, int* page, int* jobId, int* sequence) {
  if (!name) return false;
  int p = 0, j = 0, s = 0;
  if (!Literal(&name, "page_") || !Digits(&name, &p) || !Literal(&name, "_jobid_") || !Digits(&name, &j) ||
      !Literal(&name, "_") || !Digits(&name, &s) || !Literal(&name, ".dat") || *name != 0)
    return false;
  if (page) *page = p;
  if (jobId) *jobId = j;
  if (sequence) *sequence = s;
  return true;
}

bool IsSpace(WCHAR c) { return c == ' ' || (c >= '\t' && c <= '\r'); }

// "%d" as scanf reads it: blanks, a sign, one or more digits. False when there are no digits or the
// number does not fit 32 bits.
bool ReadNumber(const WCHAR** at, DWORD* out) {
  const WCHAR* p = *at;
  while (IsSpace(*p)) ++p;
  bool negative = false;
  if (*p == '+' || *p == '-') negative = *p++ == '-';
  if (!IsDigit(*p)) return false;
  long long value = 0;
  for (; IsDigit(*p); ++p) {
    value = value * 10 + (*p - '0');
    if (value > 0xFFFFFFFFLL) return false;
  }
  *out = static_cast<DWORD>(negative ? -value : value);
  *at = p;
  return true;
}

}  // namespace

std::string PageFileLeaf(int page, DWORD jobId, int sequence) {
  return FormatA("page_%04d_jobid_%03d_%d.dat", page, static_cast<int>(jobId), sequence);
}

std::string PageFileName(int page, DWORD jobId, int sequence) {
  return LBL_PAGE_FOLDER "\\" + PageFileLeaf(page, jobId, sequence);
}

bool ParsePageFileLeaf(const std::string& name, int* page, int* jobId, int* sequence) {
  // A name with a NUL inside is not the one the folder holds.
  if (name.find('\0') != std::string::npos) return false;
  return ParseLeaf(name.c_str(), page, jobId, sequence);
}

bool ParsePageFileLeaf(const WCHAR* name, int* page, int* jobId, int* sequence) {
  return ParseLeaf(name, page, jobId, sequence);
}

void ParsePageFileName(const WCHAR* path, DWORD* pageNumber, DWORD* jobId) {
  *pageNumber = 0;
  *jobId = 0;
  if (!path) return;
  const WCHAR* p = path;
  while (*p && *p != '_') ++p;
  DWORD page = 0, job = 0;
  if (!Literal(&p, "_") || !ReadNumber(&p, &page)) return;
  *pageNumber = page;
  if (!Literal(&p, "_jobid_") || !ReadNumber(&p, &job)) return;
  *jobId = job;
}

namespace {

// Appends `text` at out[*at]; false when it does not fit with its terminator.
bool Append(WCHAR* out, size_t cap, size_t* at, const WCHAR* text) {
  for (; *text; ++text) {
    if (*at + 1 >= cap) return false;
    out[(*at)++] = *text;
  }
  out[*at] = 0;
  return true;
}

}  // namespace

bool PageFileSearchPatternTo(DWORD jobId, WCHAR* out, size_t cap) {
  // "%03d" of the job id as the renderer writes it (an int), built without allocating.
  WCHAR digits[16];
  size_t n = 0;
  const bool negative = static_cast<int>(jobId) < 0;
  uint32_t v = negative ? 0u - jobId : jobId;
  do {
    digits[n++] = static_cast<WCHAR>('0' + v % 10);
    v /= 10;
  } while (v);
  while (n < (negative ? 2u : 3u)) digits[n++] = '0';  // the sign takes a place of the width
  if (negative) digits[n++] = '-';
  WCHAR number[16];
  for (size_t i = 0; i < n; ++i) number[i] = digits[n - 1 - i];
  number[n] = 0;
  size_t at = 0;
  if (!cap) return false;
  out[0] = 0;
  return Append(out, cap, &at, TEXT(LBL_PAGE_FOLDER)) && Append(out, cap, &at, TEXT("\\*jobid_")) &&
         Append(out, cap, &at, number) && Append(out, cap, &at, TEXT("*.dat"));
}

bool PageFilePathTo(const WCHAR* leaf, WCHAR* out, size_t cap) {
  size_t at = 0;
  if (!cap) return false;
  out[0] = 0;
  return Append(out, cap, &at, TEXT(LBL_PAGE_FOLDER)) && Append(out, cap, &at, TEXT("\\")) &&
         Append(out, cap, &at, leaf);
}

WString PageFileSearchPattern(DWORD jobId) {
  WCHAR pattern[MAX_PATH];
  PageFileSearchPatternTo(jobId, pattern, MAX_PATH);
  return pattern;
}

bool PageFileNamesJob(const WCHAR* name, DWORD jobId) {
  WCHAR token[32];
  WFormatTo(token, 32, TEXT("jobid_%03d"), static_cast<int>(jobId));
  const size_t n = WStrLen(token);
  for (const WCHAR* p = name; *p; ++p) {
    size_t i = 0;
    while (i < n && p[i] == token[i]) ++i;
    if (i == n && !IsDigit(p[n])) return true;
  }
  return false;
}
