#include "ui/guard.h"

namespace {

// Appends ASCII or Latin-1 text; no allocation, since this runs when memory may be short.
size_t Append(WCHAR* line, size_t at, size_t cap, const char* text) {
  for (size_t i = 0; text[i] && at + 1 < cap; ++i) line[at++] = WCHAR(static_cast<unsigned char>(text[i]));
  line[at] = 0;
  return at;
}

}  // namespace

void ReportEscapedException(const char* where, const char* what) noexcept {
  constexpr size_t kCap = 384;
  WCHAR line[kCap];
  size_t at = Append(line, 0, kCap, "lbldrv6ui: exception in ");
  at = Append(line, at, kCap, where ? where : "?");
  at = Append(line, at, kCap, ": ");
  at = Append(line, at, kCap, what ? what : "not a standard exception");
  Append(line, at, kCap, "\n");
  OutputDebugStringW(line);
}
